#include "lib/atomic_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bmp_files.h"

namespace {

using test_files::file_exists;
using test_files::read_file;
using test_files::Scratch;

TEST(AtomicFile, TargetChangesOnlyOnCommit)
{
    Scratch scratch("atomic_commit_");
    const std::string target = scratch.write("t.bin", {1, 2, 3});
    AtomicFile file(target.c_str());
    ASSERT_TRUE(file.is_open());
    EXPECT_TRUE(file.write("abcd", 4));
    EXPECT_EQ(read_file(target), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(file.commit());
    EXPECT_EQ(read_file(target), (std::vector<uint8_t>{'a', 'b', 'c', 'd'}));
    EXPECT_FALSE(file_exists(target + ".kd0.tmp"));
    EXPECT_FALSE(file.commit());  // once only
}

TEST(AtomicFile, AbandonedWriteLeavesTargetAndNoTemporary)
{
    Scratch scratch("atomic_abandon_");
    const std::string target = scratch.write("t.bin", {1, 2, 3});
    {
        AtomicFile file(target.c_str());
        ASSERT_TRUE(file.is_open());
        file.write("xyz", 3);
    }
    EXPECT_EQ(read_file(target), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(file_exists(target + ".kd0.tmp"));
}

TEST(AtomicFile, TemporaryNameSkipsExistingFiles)
{
    Scratch scratch("atomic_names_");
    const std::string target = scratch.path("t.bin");
    const std::string first = scratch.write("t.bin.kd0.tmp", {9});
    const std::string second = scratch.write("t.bin.kd1.tmp", {8});
    AtomicFile file(target.c_str());
    ASSERT_TRUE(file.is_open());
    file.write("n", 1);
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(read_file(first), (std::vector<uint8_t>{9}));
    EXPECT_EQ(read_file(second), (std::vector<uint8_t>{8}));
    EXPECT_EQ(read_file(target), (std::vector<uint8_t>{'n'}));
    EXPECT_FALSE(file_exists(target + ".kd2.tmp"));
}

TEST(AtomicFile, UnusablePlacesFail)
{
    AtomicFile nowhere("atomic_no_such_folder/t.bin");
    EXPECT_FALSE(nowhere.is_open());
    EXPECT_FALSE(nowhere.write("a", 1));
    EXPECT_FALSE(nowhere.commit());
    AtomicFile empty("");
    EXPECT_FALSE(empty.is_open());
}

}  // namespace
