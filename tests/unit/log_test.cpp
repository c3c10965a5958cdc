#include "lib/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace {

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    std::string text = content.str();
    // Windows builds write CR LF through the text-mode stream.
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) plain += text[i];
    return plain;
}

class LogFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = std::string("log_test_") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        std::replace(path_.begin(), path_.end(), '/', '_');
        std::remove(path_.c_str());
    }
    void TearDown() override { std::remove(path_.c_str()); }
    std::string path_;
};

}  // namespace

TEST_F(LogFile, BlockOfStartLinesMessageAndEnd)
{
    {
        Log log(path_.c_str(), LOG_INFO);
        EXPECT_EQ(27, log.write(LOG_INFO, "main", "CTL::readreg", "readreg(0x%04x, 0x%04x) = %d",
                                0xB008, 0x1400, 0));
    }
    const std::string text = read_file(path_);
    const std::regex block(
        "\n\\* start [^\n]+ on [^\n/]+/[^\n]+\n"
        "\\d+\\.\\d{6} INFO main CTL::readreg : readreg\\(0xb008, 0x1400\\) = 0\n"
        "\\* end [^\n]+\n");
    EXPECT_TRUE(std::regex_match(text, block)) << text;
}

TEST_F(LogFile, SecondRunAppends)
{
    {
        Log log(path_.c_str(), LOG_INFO);
    }
    {
        Log log(path_.c_str(), LOG_INFO);
    }
    const std::string text = read_file(path_);
    EXPECT_EQ(2, std::count(text.begin(), text.end(), '*') / 2);
    EXPECT_EQ(0u, text.find("\n* start "));
    EXPECT_NE(std::string::npos, text.find("\n\n* start ", 1));
}

struct LevelCase {
    int32_t level;
    const char* name;
    bool written;
};

class LogLevels : public LogFile, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(LogLevels, ThresholdAndNames)
{
    const LevelCase& c = GetParam();
    int32_t result;
    {
        Log log(path_.c_str(), LOG_INFO);
        result = log.write(c.level, "main", "f", "%s", "msg");
    }
    const std::string text = read_file(path_);
    EXPECT_EQ(c.written ? 3 : -1, result);
    EXPECT_EQ(c.written,
              text.find(std::string(" ") + c.name + " main f : msg\n") != std::string::npos)
        << text;
}

INSTANTIATE_TEST_SUITE_P(All, LogLevels,
                         ::testing::Values(LevelCase{0, "CRITICAL", true},
                                           LevelCase{1, "ERROR", true}, LevelCase{2, "WARN", true},
                                           LevelCase{3, "INFO", true},
                                           LevelCase{4, "DIAGNOSTIC", false},
                                           LevelCase{5, "DEBUG", false},
                                           LevelCase{6, "DETAIL", false}));

TEST_F(LogFile, FileFieldIsLastBackslashComponent)
{
    {
        Log log(path_.c_str(), LOG_INFO);
        log.write(LOG_INFO, "lib\\CLSerial", "ClSerial::ClSerial", "loaded");
        log.write(LOG_INFO, "a\\b\\", "g", "empty field");
    }
    const std::string text = read_file(path_);
    EXPECT_NE(std::string::npos, text.find(" INFO CLSerial ClSerial::ClSerial : loaded\n")) << text;
    EXPECT_NE(std::string::npos, text.find(" INFO  g : empty field\n")) << text;
}

TEST(Log, WithoutFileWritesNothing)
{
    Log log("no_such_directory/sub/x.log", LOG_INFO);
    EXPECT_FALSE(log.is_open());
    EXPECT_EQ(-1, log.write(LOG_CRITICAL, "main", "f", "x"));
}

TEST(LogLevelName, OutsideRange)
{
    EXPECT_STREQ("?", log_level_name(7));
    EXPECT_STREQ("?", log_level_name(-1));
    EXPECT_STREQ("DETAIL", log_level_name(6));
}
