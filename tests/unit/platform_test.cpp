#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ios>
#include <string>
#include <vector>

#include "platform/bits.h"
#include "platform/counter.h"
#include "platform/directory.h"
#include "platform/file_replace.h"
#include "platform/identity.h"
#include "platform/library.h"
#include "platform/workers.h"

namespace {

void write_text(const char* path, const char* text)
{
    FILE* f = std::fopen(path, "wb");
    ASSERT_NE(nullptr, f);
    std::fputs(text, f);
    std::fclose(f);
}

std::string read_text(const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (!f) return "<missing>";
    char buffer[64] = {};
    size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    return std::string(buffer, n);
}

}  // namespace

TEST(Platform, ReplaceFileOverwritesTarget)
{
    write_text("replace_from.txt", "new");
    write_text("replace_to.txt", "old");
    EXPECT_TRUE(platform::replace_file("replace_from.txt", "replace_to.txt"));
    EXPECT_EQ("new", read_text("replace_to.txt"));
    EXPECT_EQ("<missing>", read_text("replace_from.txt"));
    EXPECT_FALSE(platform::replace_file("replace_from.txt", "replace_to.txt"));
    std::remove("replace_to.txt");
}

TEST(Platform, ListsDirectoryWithoutDotEntries)
{
    write_text("listed_file.txt", "x");
    std::vector<std::string> names;
    ASSERT_TRUE(platform::list_directory(".", names));
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), "listed_file.txt"));
    EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), "."));
    EXPECT_EQ(names.end(), std::find(names.begin(), names.end(), ".."));
    std::remove("listed_file.txt");
    std::vector<std::string> none;
    EXPECT_FALSE(platform::list_directory("no_such_directory_here", none));
}

// Each part runs once, the calling thread's part too, and all have
// returned when run_parts does.
TEST(Platform, RunPartsRunsEveryPartOnce)
{
    for (int32_t count : {1, 2, 3}) {
        std::vector<int> runs(static_cast<size_t>(count), 0);
        platform::run_parts(count, [&](int32_t part) { ++runs[static_cast<size_t>(part)]; });
        EXPECT_EQ(runs, std::vector<int>(static_cast<size_t>(count), 1)) << count;
    }
    EXPECT_GE(platform::processor_count(), 1);
}

TEST(Platform, CounterAdvances)
{
    const int64_t first = platform::counter_value();
    const int64_t second = platform::counter_value();
    EXPECT_LE(first, second);
    EXPECT_GT(platform::counter_frequency(), 0);
}

TEST(Platform, NamesAreFetched)
{
    std::string user, computer;
    EXPECT_TRUE(platform::user_name(user));
    EXPECT_TRUE(platform::computer_name(computer));
    EXPECT_FALSE(user.empty());
    EXPECT_FALSE(computer.empty());
}

TEST(Platform, MissingLibraryDoesNotLoad)
{
    EXPECT_EQ(nullptr, platform::SharedLibrary::open("no_such_library_anywhere.cti"));
    EXPECT_NE(std::string(), platform::shared_library_suffix());
}

// Every single bit, and words with bits above the lowest, through the
// compiler's scan and the portable one.
TEST(Platform, LowestSetBitOfEveryPosition)
{
    for (int32_t bit = 0; bit < 64; ++bit) {
        const uint64_t single = uint64_t{1} << bit;
        const uint64_t with_higher = single | (~uint64_t{0} << bit) | (uint64_t{1} << 63);
        for (uint64_t word : {single, with_higher}) {
            EXPECT_EQ(platform::lowest_set_bit(word), bit) << std::hex << word;
            EXPECT_EQ(platform::lowest_set_bit_by_halves(word), bit) << std::hex << word;
        }
    }
}
