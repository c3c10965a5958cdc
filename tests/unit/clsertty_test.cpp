// clsertty as a program loads it, against the far end of a pseudo-terminal
// where the system has them: counts, statuses and time-outs on good and bad
// lines.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <list>
#include <memory>
#include <string>

#include "clserial_api.h"
#include "platform/library.h"
#include "serial_line.h"

using namespace clser;
using Clock = std::chrono::steady_clock;

namespace {

// Generous: a bound on waiting, not a measure of speed.
constexpr long slack_ms = 1500;

void set_environment(const std::string& name, const std::string& value)
{
    // putenv keeps the text it is given.
    static std::list<std::string> kept;
    kept.push_back(name + "=" + value);
    putenv(&kept.back()[0]);
}

// What one clSerialRead or clSerialWrite did.
struct Moved {
    std::string bytes;
    int32_t status;
    long elapsed_ms;
};

class ClserttyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library_ = platform::SharedLibrary::open(KD_CLSERTTY_FILE);
        ASSERT_TRUE(library_) << "cannot load " << KD_CLSERTTY_FILE;
    }

    void TearDown() override
    {
        if (ref_) entry<PclSerialClose>("clSerialClose")(ref_);
    }

    template <typename F>
    F entry(const char* name) const
    {
        F function = library_->function<F>(name);
        EXPECT_TRUE(function) << name;
        return function;
    }

    uint32_t list_ports(const std::string& ports)
    {
        set_environment("CLSERTTY_PORTS", ports);
        uint32_t count = 0;
        EXPECT_EQ(CL_ERR_NO_ERR, entry<PclGetNumSerialPorts>("clGetNumSerialPorts")(&count));
        return count;
    }

    int32_t init(uint32_t index, void** ref)
    {
        return entry<PclSerialInit>("clSerialInit")(index, ref);
    }

    // Reads up to size bytes, or writes the bytes given.
    Moved read(uint32_t size, uint32_t timeout_ms)
    {
        return move(std::string(size, '\0'), timeout_ms, false);
    }
    Moved write(const std::string& bytes, uint32_t timeout_ms)
    {
        return move(bytes, timeout_ms, true);
    }

    Moved move(std::string bytes, uint32_t timeout_ms, bool writing)
    {
        uint32_t count = static_cast<uint32_t>(bytes.size());
        const Clock::time_point start = Clock::now();
        const int32_t status =
            writing ? entry<PclSerialWrite>("clSerialWrite")(ref_, &bytes[0], &count, timeout_ms)
                    : entry<PclSerialRead>("clSerialRead")(ref_, &bytes[0], &count, timeout_ms);
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        bytes.resize(count);
        return {bytes, status, static_cast<long>(elapsed.count())};
    }

    std::unique_ptr<platform::SharedLibrary> library_;
    void* ref_ = nullptr;
};

TEST_F(ClserttyTest, ListsTheNamedPortsUnderTheirDeviceNames)
{
    ASSERT_EQ(2u, list_ports("/dev/ttyUSB7::COM12:"));
    const auto identifier = entry<PclGetSerialPortIdentifier>("clGetSerialPortIdentifier");
    char text[64];
    uint32_t size = sizeof text;
    EXPECT_EQ(CL_ERR_NO_ERR, identifier(1, text, &size));
    EXPECT_STREQ("COM12", text);
    size = 5;
    EXPECT_EQ(CL_ERR_BUFFER_TOO_SMALL, identifier(1, text, &size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ(CL_ERR_INVALID_INDEX, identifier(2, text, &size));

    uint32_t version = 0;
    size = sizeof text;
    EXPECT_EQ(CL_ERR_NO_ERR,
              entry<PclGetManufacturerInfo>("clGetManufacturerInfo")(text, &size, &version));
    EXPECT_STREQ("clsertty", text);
    EXPECT_EQ(3u, version);  // the 1.1 interface
}

struct OpenCase {
    const char* ports;
    const char* baud;
    uint32_t index;
    int32_t status;
};

class ClserttyOpen : public ClserttyTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(ClserttyOpen, FailsAtOnceWithTheStandardStatus)
{
    std::ofstream("clsertty_test_plain_file") << "not a line\n";
    list_ports(GetParam().ports);
    set_environment("CLSERTTY_BAUD", GetParam().baud);
    ref_ = reinterpret_cast<void*>(1);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(GetParam().status, init(GetParam().index, &ref_));
    EXPECT_EQ(nullptr, ref_);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(slack_ms));
    set_environment("CLSERTTY_BAUD", "");
    std::remove("clsertty_test_plain_file");
}

INSTANTIATE_TEST_SUITE_P(
    Ports, ClserttyOpen,
    ::testing::Values(OpenCase{"/no/such/tty", "", 0, CL_ERR_INVALID_INDEX},
                      OpenCase{"COM199", "", 0, CL_ERR_INVALID_INDEX},
                      OpenCase{"./clsertty_test_plain_file", "", 0, CL_ERR_INVALID_INDEX},
                      OpenCase{"/no/such/tty", "", 1, CL_ERR_INVALID_INDEX},
                      OpenCase{"/no/such/tty", "fast", 0, CL_ERR_BAUD_RATE_NOT_SUPPORTED}));

// This library's port 0 open on a new pseudo-terminal whose far end the
// test holds; skipped where the system has none.
class ClserttyLine : public ClserttyTest {
protected:
    void SetUp() override
    {
        ClserttyTest::SetUp();
        if (HasFatalFailure()) return;
        std::string name;
        std::string reason;
        far_ = clsertty::SerialLine::open_pseudo_terminal(name, reason);
        if (!far_) GTEST_SKIP() << "no pseudo-terminal: " << reason;
        ASSERT_EQ(1u, list_ports(name));
        ASSERT_EQ(CL_ERR_NO_ERR, init(0, &ref_));
        ASSERT_EQ(CL_ERR_NO_ERR, entry<PclFlushPort>("clFlushPort")(ref_));
    }

    void far_end_sends(const std::string& bytes)
    {
        ASSERT_EQ(static_cast<int32_t>(bytes.size()),
                  far_->write(bytes.data(), static_cast<uint32_t>(bytes.size()), 1000));
    }

    std::unique_ptr<clsertty::SerialLine> far_;
};

TEST_F(ClserttyLine, CarriesBytesBothWays)
{
    EXPECT_EQ(CL_ERR_NO_ERR, write("rVB008\r\n", 1000).status);
    char request[64] = {};
    EXPECT_EQ(8, far_->read(request, sizeof request, 1000));
    EXPECT_STREQ("rVB008\r\n", request);

    far_end_sends("1A2B\r\n");
    EXPECT_EQ("1A", read(2, 1000).bytes);
    uint32_t pending = 0;
    EXPECT_EQ(CL_ERR_NO_ERR, entry<PclGetNumBytesAvail>("clGetNumBytesAvail")(ref_, &pending));
    EXPECT_EQ(4u, pending);
    const Moved rest = read(4, 1000);
    EXPECT_EQ(CL_ERR_NO_ERR, rest.status);
    EXPECT_EQ("2B\r\n", rest.bytes);
}

// What a camera sends is handed over as it is, control bytes and all; a read
// that wants more than comes ends at its time-out with what came.
TEST_F(ClserttyLine, AReadWithoutEnoughBytesEndsAtItsTimeout)
{
    const std::string garbage("\x00\xff\x1b[2J12", 8);
    far_end_sends(garbage);
    const Moved partial = read(64, 300);
    EXPECT_EQ(CL_ERR_TIMEOUT, partial.status);
    EXPECT_EQ(garbage, partial.bytes);
    EXPECT_GE(partial.elapsed_ms, 250);
    EXPECT_LT(partial.elapsed_ms, 300 + slack_ms);

    const Moved silence = read(1, 0);
    EXPECT_EQ(CL_ERR_TIMEOUT, silence.status);
    EXPECT_EQ("", silence.bytes);
}

TEST_F(ClserttyLine, AFarEndThatClosesIsReportedAtOnce)
{
    far_end_sends("12");
    EXPECT_EQ("12", read(2, 1000).bytes);
    far_.reset();

    const Moved after = read(10, 5000);
    EXPECT_EQ(CL_ERR_TIMEOUT, after.status);
    EXPECT_EQ("", after.bytes);
    EXPECT_LT(after.elapsed_ms, slack_ms);
    const Moved sent = write("V", 5000);
    EXPECT_EQ(CL_ERR_TIMEOUT, sent.status);
    EXPECT_EQ("", sent.bytes);
    EXPECT_LT(sent.elapsed_ms, slack_ms);
}

TEST_F(ClserttyLine, AWriteNobodyTakesEndsAtItsTimeout)
{
    const std::string flood(1 << 20, 'x');
    const Moved sent = write(flood, 300);
    EXPECT_EQ(CL_ERR_TIMEOUT, sent.status);
    EXPECT_LT(sent.bytes.size(), flood.size());
    EXPECT_LT(sent.elapsed_ms, 300 + slack_ms);
}

TEST_F(ClserttyLine, RefusesWhatItDidNotOpen)
{
    void* second = nullptr;
    EXPECT_EQ(CL_ERR_PORT_IN_USE, init(0, &second));
    const auto set_baud = entry<PclSetBaudRate>("clSetBaudRate");
    EXPECT_EQ(CL_ERR_BAUD_RATE_NOT_SUPPORTED, set_baud(ref_, 12345));
    EXPECT_EQ(CL_ERR_NO_ERR, set_baud(ref_, CL_BAUDRATE_115200));
    EXPECT_EQ(CL_ERR_NO_ERR, set_baud(ref_, 19200));

    entry<PclSerialClose>("clSerialClose")(ref_);
    const Moved after = read(1, 100);
    EXPECT_EQ(CL_ERR_INVALID_REFERENCE, after.status);
    EXPECT_EQ("", after.bytes);
    EXPECT_EQ(CL_ERR_INVALID_REFERENCE, entry<PclFlushPort>("clFlushPort")(ref_));
    // Closed, the port opens again.
    EXPECT_EQ(CL_ERR_NO_ERR, init(0, &ref_));
}

}  // namespace
