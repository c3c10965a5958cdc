#include "camera/clserial_ctl.h"
#include "camera/map_transfer.h"

#include <gtest/gtest.h>

#include "log_traces.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fake_serial_library.h"
#include "lib/log.h"

namespace {

const char* const log_name = "clserial_ctl_test.log";

class ClSerialCtlTest : public ::testing::Test {
protected:
    // The binding's own discovery lines are not what these tests read.
    Log quiet_log_{nullptr, LOG_INFO};
    void SetUp() override
    {
        reset_fake_serial();
        std::remove(log_name);
        // Every level, so the DIAGNOSTIC traces can be checked too.
        log_.reset(new Log(log_name, LOG_DETAIL));
        port_.reset(new ClSerialPort(
            0, std::unique_ptr<ClSerial>(new ClSerial("fake", fake_serial_lookup, quiet_log_)),
            "Mfr#COM1#Port0"));
        port_->serial->open(0);
        ctl_.reset(new CLSerial_CTL(*port_, *log_));
    }
    void TearDown() override
    {
        ctl_.reset();
        port_.reset();
        log_.reset();
        std::remove(log_name);
    }

    std::unique_ptr<Log> log_;
    std::unique_ptr<ClSerialPort> port_;
    std::unique_ptr<CLSerial_CTL> ctl_;
};

TEST_F(ClSerialCtlTest, ReadRequestIsTheAddressInUpperCaseHex)
{
    fake_serial.replies = {"1\r\n"};
    uint32_t value = 0;
    EXPECT_EQ(ctl_->readreg(0x10004040, &value), 0);
    EXPECT_EQ(fake_serial.sent, "rV10004040\r\n");
}

struct WriteRequest {
    uint32_t address;
    uint32_t value;
    const char* sent;
};

class ClSerialCtlWriteRequest : public ClSerialCtlTest,
                                public ::testing::WithParamInterface<WriteRequest> {};

TEST_P(ClSerialCtlWriteRequest, AddressAndValueInUpperCaseHexWithoutLeadingZeros)
{
    fake_serial.replies = {"OK\r\n"};
    EXPECT_EQ(ctl_->writereg(GetParam().address, GetParam().value), 0);
    EXPECT_EQ(fake_serial.sent, GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(Requests, ClSerialCtlWriteRequest,
                         ::testing::Values(WriteRequest{0xBF00, 1, "VBF00,1\r\n"},
                                           WriteRequest{0x10025000, 0x30005, "V10025000,30005\r\n"},
                                           WriteRequest{0x10004030, 0, "V10004030,0\r\n"}));

struct ReadReply {
    const char* bytes;
    uint32_t value;
    const char* shown;  // the reply as the trace shows it
};

class ClSerialCtlReadReply : public ClSerialCtlTest,
                             public ::testing::WithParamInterface<ReadReply> {};

TEST_P(ClSerialCtlReadReply, LeadingHexDigitsAreTheValue)
{
    fake_serial.replies = {GetParam().bytes};
    uint32_t value = 0x77;
    EXPECT_EQ(ctl_->readreg(0xB008, &value), 0);
    EXPECT_EQ(value, GetParam().value);
    // The trace is written before the reply is parsed: it shows the value passed in.
    EXPECT_EQ(trace_lines(log_name),
              std::vector<std::string>{std::string("DIAGNOSTIC main CLSerial_CTL::readreg : "
                                                   "readreg(0xb008, 0x0077) = ") +
                                       GetParam().shown});
}

std::string reply_name(const ::testing::TestParamInfo<ReadReply>& info)
{
    static const char* const names[] = {"Hex",        "PrefixStops", "LeadingBlank", "LowerCase",
                                        "NineDigits", "Err",         "Silence"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ClSerialCtlReadReply,
    ::testing::Values(ReadReply{"1A2B\r\n", 0x1A2B, "1A2B"}, ReadReply{"0x1A\r\n", 0, "0x1A"},
                      ReadReply{" 1A\r\n", 0, " 1A"},
                      ReadReply{"fedcba98\r\n", 0xFEDCBA98, "fedcba98"},
                      ReadReply{"123456789\r\n", 0x23456789, "123456789"},
                      ReadReply{"err\r\n", 0xE, "err"},
                      // Silence: nothing within the time-out is the empty reply.
                      ReadReply{"", 0, ""}),
    reply_name);

class ClSerialCtlErrorReply : public ClSerialCtlTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(ClSerialCtlErrorReply, ReadFailsAndLeavesTheValue)
{
    fake_serial.replies = {std::string(GetParam()) + "\r\n"};
    uint32_t value = 0x55;
    EXPECT_EQ(ctl_->readreg(0x10004040, &value), -1001);
    EXPECT_EQ(value, 0x55u);
    EXPECT_EQ(trace_lines(log_name),
              std::vector<std::string>{std::string("ERROR main CLSerial_CTL::readreg : "
                                                   "readreg(0x10004040) failed: ") +
                                       GetParam()});
}

TEST_P(ClSerialCtlErrorReply, WriteFails)
{
    fake_serial.replies = {std::string(GetParam()) + "\r\n"};
    EXPECT_EQ(ctl_->writereg(0xBF00, 1), -1001);
    EXPECT_EQ(trace_lines(log_name),
              std::vector<std::string>{std::string("ERROR main CLSerial_CTL::writereg : "
                                                   "writereg(0xbf00, 0x0001) failed: ") +
                                       GetParam()});
}

INSTANTIATE_TEST_SUITE_P(Replies, ClSerialCtlErrorReply,
                         ::testing::Values("ERROR", "Error 12", "errorcode"));

TEST_F(ClSerialCtlTest, WriteSuccessTraceEndsWithAParenthesis)
{
    fake_serial.replies = {"OK\r\n"};
    EXPECT_EQ(ctl_->writereg(0x10004014, 0x12345678), 0);
    EXPECT_EQ(trace_lines(log_name),
              std::vector<std::string>{"DIAGNOSTIC main CLSerial_CTL::writereg : "
                                       "writereg(0x10004014, 0x12345678) = OK)"});
}

TEST_F(ClSerialCtlTest, SilenceOnAWriteIsSuccess)
{
    EXPECT_EQ(ctl_->writereg(0xBF04, 1), 0);
    EXPECT_EQ(fake_serial.requests, std::vector<std::string>{"VBF04,1"});
}

TEST_F(ClSerialCtlTest, WritememOfNothingSendsNothing)
{
    const uint32_t words[] = {1};
    EXPECT_EQ(ctl_->writemem(0x10025000, words, 0), 0);
    EXPECT_TRUE(fake_serial.sent.empty());
}

TEST_F(ClSerialCtlTest, WritememWritesEachWordInHostOrder)
{
    fake_serial.replies = {"OK\r\n", "OK\r\n"};
    const uint32_t words[] = {0x00030005, 0xFFFFFFFF};
    EXPECT_FALSE(ctl_->is_big_endian());
    EXPECT_EQ(ctl_->get_status(), 0);
    EXPECT_EQ(ctl_->writemem(0x10025000, words, 8), 0);
    EXPECT_EQ(fake_serial.requests,
              (std::vector<std::string>{"V10025000,30005", "V10025004,FFFFFFFF"}));
}

TEST_F(ClSerialCtlTest, WritememStopsAtTheFirstFailingWord)
{
    fake_serial.replies = {"ERROR 3\r\n", "OK\r\n"};
    const uint32_t words[] = {7, 8};
    EXPECT_EQ(ctl_->writemem(0x10100000, words, 8), -1001);
    EXPECT_EQ(fake_serial.requests, std::vector<std::string>{"V10100000,7"});
}

// An odd shading map ends in half a word; the gain in its upper half must
// reach the camera, as it does over GenTL.
TEST_F(ClSerialCtlTest, WritememSendsTheWholeLastWordOfAnOddShadingMap)
{
    fake_serial.replies = {"OK\r\n", "OK\r\n"};
    const float gains[3] = {1.0f, 2.0f, 0.5f};
    const std::vector<uint32_t> words = shading_words(gains, 3, false);
    EXPECT_EQ(ctl_->writemem(0x10100000, words.data(), 6), 0);
    EXPECT_EQ(fake_serial.requests,
              (std::vector<std::string>{"V10100000,10002000", "V10100004,8000000"}));
}

TEST_F(ClSerialCtlTest, ACharacterThatCannotBeSentIsRaised)
{
    fake_serial.refused_writes = 2;
    uint32_t value = 0;
    try {
        ctl_->readreg(0xB008, &value);
        FAIL() << "no error raised";
    } catch (int code) {
        EXPECT_EQ(code, -4);
    }
    // The line is still usable for the next exchange.
    fake_serial.replies = {"10\r\n"};
    EXPECT_EQ(ctl_->readreg(0xB00C, &value), 0);
    EXPECT_EQ(value, 0x10u);
}

}  // namespace
