#include "camera/ctl.h"

#include <gtest/gtest.h>

#include "log_traces.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "lib/log.h"

using namespace gentl;

namespace {

// A producer port that records every access and answers as told.
struct FakePort {
    struct Access {
        PORT_HANDLE port;
        uint64_t address;
        size_t size;
        std::vector<unsigned char> bytes;  // sent by a write
    };
    std::vector<Access> reads;
    std::vector<Access> writes;
    std::vector<unsigned char> register_bytes;  // what a read delivers; none: buffer untouched
    GC_ERROR status = GC_ERR_SUCCESS;
};

FakePort fake;

GC_ERROR GC_CALLTYPE fake_read(PORT_HANDLE port, uint64_t address, void* buffer, size_t* size)
{
    fake.reads.push_back({port, address, *size, {}});
    if (!fake.register_bytes.empty())
        std::memcpy(buffer, fake.register_bytes.data(), fake.register_bytes.size());
    return fake.status;
}

GC_ERROR GC_CALLTYPE fake_write(PORT_HANDLE port, uint64_t address, const void* buffer,
                                size_t* size)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    fake.writes.push_back({port, address, *size, std::vector<unsigned char>(bytes, bytes + *size)});
    return fake.status;
}

GenTLProducer::AnyEntry port_entries(const char* name)
{
    if (std::strcmp(name, "GCReadPort") == 0)
        return reinterpret_cast<GenTLProducer::AnyEntry>(&fake_read);
    if (std::strcmp(name, "GCWritePort") == 0)
        return reinterpret_cast<GenTLProducer::AnyEntry>(&fake_write);
    return nullptr;
}

GenTLProducer::AnyEntry no_entries(const char*) { return nullptr; }

const char* const log_name = "ctl_test.log";

class CtlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = FakePort();
        std::remove(log_name);
        log_.reset(new Log(log_name, LOG_INFO));
    }
    void TearDown() override
    {
        log_.reset();
        std::remove(log_name);
    }

    int port_tag_ = 0;
    PORT_HANDLE port_ = &port_tag_;
    std::unique_ptr<Log> log_;
};

struct ReadCase {
    std::vector<unsigned char> bytes;
    GC_ERROR status;
    uint32_t preset;
    uint32_t expected;
    const char* trace;
};

class CtlReadreg : public CtlTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(CtlReadreg, SwapsTheBigEndianRegisterAndTracesIt)
{
    const ReadCase& c = GetParam();
    fake.register_bytes = c.bytes;
    fake.status = c.status;
    GenTLProducer producer(port_entries);
    CTL ctl(producer, port_, *log_);

    uint32_t value = c.preset;
    EXPECT_EQ(ctl.readreg(0xB008, &value), c.status);
    EXPECT_EQ(value, c.expected);
    ASSERT_EQ(fake.reads.size(), 1u);
    EXPECT_EQ(fake.reads[0].port, port_);
    EXPECT_EQ(fake.reads[0].address, 0xB008u);
    EXPECT_EQ(fake.reads[0].size, 4u);
    EXPECT_EQ(trace_lines(log_name), std::vector<std::string>{c.trace});
}

INSTANTIATE_TEST_SUITE_P(
    Registers, CtlReadreg,
    ::testing::Values(
        ReadCase{{0x00, 0x00, 0x05, 0x00},
                 0,
                 0,
                 0x500,
                 "INFO main CTL::readreg : readreg(0xb008, 0x0500) = 0"},
        ReadCase{{0x12, 0x34, 0x56, 0x78},
                 0,
                 0,
                 0x12345678,
                 "INFO main CTL::readreg : readreg(0xb008, 0x12345678) = 0"},
        // A failed read that delivered nothing leaves a preset 0 at 0 ...
        ReadCase{
            {}, GC_ERR_TIMEOUT, 0, 0, "INFO main CTL::readreg : readreg(0xb008, 0x0000) = -1011"},
        // ... and is swapped all the same, whatever the buffer held.
        ReadCase{{},
                 GC_ERR_TIMEOUT,
                 0x01000000,
                 1,
                 "INFO main CTL::readreg : readreg(0xb008, 0x0001) = -1011"}));

struct WriteCase {
    uint32_t address;
    uint32_t value;
    GC_ERROR status;
    std::vector<unsigned char> sent;
    const char* trace;
};

class CtlWritereg : public CtlTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(CtlWritereg, SendsTheValueBigEndianAndTracesIt)
{
    const WriteCase& c = GetParam();
    fake.status = c.status;
    GenTLProducer producer(port_entries);
    CTL ctl(producer, port_, *log_);

    EXPECT_EQ(ctl.writereg(c.address, c.value), c.status);
    ASSERT_EQ(fake.writes.size(), 1u);
    EXPECT_EQ(fake.writes[0].port, port_);
    EXPECT_EQ(fake.writes[0].address, c.address);
    EXPECT_EQ(fake.writes[0].size, 4u);
    EXPECT_EQ(fake.writes[0].bytes, c.sent);
    EXPECT_EQ(trace_lines(log_name), std::vector<std::string>{c.trace});
}

INSTANTIATE_TEST_SUITE_P(
    Registers, CtlWritereg,
    ::testing::Values(WriteCase{0xBF00,
                                1,
                                0,
                                {0x00, 0x00, 0x00, 0x01},
                                "INFO main CTL::writereg : writereg(0xbf00, 0x0001) = 0"},
                      WriteCase{0x10004014,
                                0x12345678,
                                0,
                                {0x12, 0x34, 0x56, 0x78},
                                "INFO main CTL::writereg : writereg(0x10004014, 0x12345678) = 0"},
                      WriteCase{0x10004018,
                                2,
                                GC_ERR_ACCESS_DENIED,
                                {0x00, 0x00, 0x00, 0x02},
                                "INFO main CTL::writereg : writereg(0x10004018, 0x0002) = -1005"}));

TEST_F(CtlTest, WritememSendsTheBytesAsLaidOutWithoutATrace)
{
    GenTLProducer producer(port_entries);
    CTL ctl(producer, port_, *log_);
    const unsigned char data[] = {0x01, 0x02, 0x03, 0x04, 0xAA, 0xBB, 0xCC, 0xDD};

    EXPECT_TRUE(ctl.is_big_endian());
    EXPECT_EQ(ctl.writemem(0x10025000, data, sizeof data), 0);
    fake.status = GC_ERR_INVALID_ADDRESS;
    EXPECT_EQ(ctl.writemem(0x10100000, data, 0), GC_ERR_INVALID_ADDRESS);

    ASSERT_EQ(fake.writes.size(), 2u);
    EXPECT_EQ(fake.writes[0].address, 0x10025000u);
    EXPECT_EQ(fake.writes[0].bytes, std::vector<unsigned char>(data, data + sizeof data));
    EXPECT_EQ(fake.writes[1].address, 0x10100000u);
    EXPECT_EQ(fake.writes[1].size, 0u);
    EXPECT_TRUE(trace_lines(log_name).empty());
}

TEST_F(CtlTest, PortAccessesPassBytesAndStatusThrough)
{
    GenTLProducer producer(port_entries);
    CTL ctl(producer, port_, *log_);
    fake.register_bytes = {0xDE, 0xAD, 0xBE, 0xEF};
    fake.status = GC_ERR_TIMEOUT;
    unsigned char buffer[4] = {};
    const unsigned char out[] = {9, 8, 7, 6};

    EXPECT_EQ(ctl.read_port(buffer, 0x1'0000'0000ull, 4), GC_ERR_TIMEOUT);
    EXPECT_EQ(ctl.write_port(out, 0x20, 4), GC_ERR_TIMEOUT);

    EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 4), fake.register_bytes);
    ASSERT_EQ(fake.reads.size(), 1u);
    EXPECT_EQ(fake.reads[0].address, 0x1'0000'0000ull);
    ASSERT_EQ(fake.writes.size(), 1u);
    EXPECT_EQ(fake.writes[0].bytes, std::vector<unsigned char>(out, out + 4));
    EXPECT_TRUE(trace_lines(log_name).empty());
}

TEST_F(CtlTest, AProducerWithoutPortAccessAnswersNotImplemented)
{
    GenTLProducer producer(no_entries);
    CTL ctl(producer, port_, *log_);
    uint32_t value = 0;

    EXPECT_EQ(ctl.readreg(0xB00C, &value), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(ctl.writereg(0xBF04, 1), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(ctl.writemem(0x10025000, &value, 4), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(
        trace_lines(log_name),
        (std::vector<std::string>{"INFO main CTL::readreg : readreg(0xb00c, 0x0000) = -1003",
                                  "INFO main CTL::writereg : writereg(0xbf04, 0x0001) = -1003"}));
}

TEST(IPort, IsReleasedThroughItsInterface)
{
    EXPECT_TRUE(std::has_virtual_destructor<IPort>::value);
}

}  // namespace
