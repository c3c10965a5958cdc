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

#include "lib/clserial_api.h"
#include "platform/library.h"
#include "serial_line.h"

using namespace clser;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int32_t CL_ERR_PORT_IN_USE = -10003;
constexpr int32_t CL_ERR_BAUD_RATE_NOT_SUPPORTED = -10008;

// Generous: a bound on waiting, not a measure of speed.
constexpr long slack_ms = 1500;

void set_environment(const std::string& name, const std::string& value)
{
    // putenv keeps the text it is given.
    static std::list<std::string> kept;
    kept.push_back(name + "=" + value);
    putenv(&kept.back()[0]);
}

long ms_since(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

struct Api {
    explicit Api(const platform::SharedLibrary& library)
        : num_ports(library.function<PclGetNumSerialPorts>("clGetNumSerialPorts")),
          identifier(library.function<PclGetSerialPortIdentifier>("clGetSerialPortIdentifier")),
          manufacturer(library.function<PclGetManufacturerInfo>("clGetManufacturerInfo")),
          init(library.function<PclSerialInit>("clSerialInit")),
          close(library.function<PclSerialClose>("clSerialClose")),
          read(library.function<PclSerialRead>("clSerialRead")),
          write(library.function<PclSerialWrite>("clSerialWrite")),
          flush(library.function<PclFlushPort>("clFlushPort")),
          available(library.function<PclGetNumBytesAvail>("clGetNumBytesAvail")),
          set_baud(library.function<PclSetBaudRate>("clSetBaudRate"))
    {
    }

    PclGetNumSerialPorts num_ports;
    PclGetSerialPortIdentifier identifier;
    PclGetManufacturerInfo manufacturer;
    PclSerialInit init;
    PclSerialClose close;
    PclSerialRead read;
    PclSerialWrite write;
    PclFlushPort flush;
    PclGetNumBytesAvail available;
    PclSetBaudRate set_baud;
};

class ClserttyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library_ = platform::SharedLibrary::open(KD_CLSERTTY_FILE);
        ASSERT_TRUE(library_) << "cannot load " << KD_CLSERTTY_FILE;
        api_.reset(new Api(*library_));
        ASSERT_TRUE(api_->set_baud) << "an entry point is missing";
    }

    void TearDown() override
    {
        if (ref_) api_->close(ref_);
    }

    uint32_t list_ports(const std::string& ports)
    {
        set_environment("CLSERTTY_PORTS", ports);
        uint32_t count = 0;
        EXPECT_EQ(CL_ERR_NO_ERR, api_->num_ports(&count));
        return count;
    }

    // The far end of a new pseudo-terminal, with this library's port 0 open
    // on it; skips where the system has none.
    void open_far_end()
    {
        std::string name;
        std::string reason;
        far_ = clsertty::SerialLine::open_pseudo_terminal(name, reason);
        if (!far_) GTEST_SKIP() << "no pseudo-terminal: " << reason;
        ASSERT_EQ(1u, list_ports(name));
        ASSERT_EQ(CL_ERR_NO_ERR, api_->init(0, &ref_));
        ASSERT_EQ(CL_ERR_NO_ERR, api_->flush(ref_));
    }

    void far_end_sends(const std::string& bytes)
    {
        ASSERT_EQ(static_cast<int32_t>(bytes.size()),
                  far_->write(bytes.data(), static_cast<uint32_t>(bytes.size()), 1000));
    }

    std::string far_end_receives(uint32_t size)
    {
        std::string bytes(size, '\0');
        const int32_t got = far_->read(&bytes[0], size, 1000);
        bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return bytes;
    }

    // clSerialRead of up to size bytes: the bytes, the status and the time taken.
    struct Read {
        std::string bytes;
        int32_t status;
        long elapsed_ms;
    };
    Read read(uint32_t size, uint32_t timeout_ms)
    {
        std::string buffer(size, '\0');
        uint32_t count = size;
        const Clock::time_point start = Clock::now();
        const int32_t status = api_->read(ref_, &buffer[0], &count, timeout_ms);
        buffer.resize(count);
        return {buffer, status, ms_since(start)};
    }

    std::unique_ptr<platform::SharedLibrary> library_;
    std::unique_ptr<Api> api_;
    std::unique_ptr<clsertty::SerialLine> far_;
    void* ref_ = nullptr;
};

// Tests on a line: this library's port 0 open on a new pseudo-terminal.
class ClserttyLine : public ClserttyTest {
protected:
    void SetUp() override
    {
        ClserttyTest::SetUp();
        if (!HasFatalFailure()) open_far_end();
    }
};

TEST_F(ClserttyTest, ListsTheNamedPortsUnderTheirDeviceNames)
{
    ASSERT_EQ(2u, list_ports("/dev/ttyUSB7::COM12:"));
    char text[64];
    uint32_t size = sizeof text;
    EXPECT_EQ(CL_ERR_NO_ERR, api_->identifier(1, text, &size));
    EXPECT_STREQ("COM12", text);
    EXPECT_EQ(6u, size);
    size = 5;
    EXPECT_EQ(CL_ERR_BUFFER_TOO_SMALL, api_->identifier(1, text, &size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ(CL_ERR_INVALID_INDEX, api_->identifier(2, text, &size));

    uint32_t version = 0;
    size = sizeof text;
    EXPECT_EQ(CL_ERR_NO_ERR, api_->manufacturer(text, &size, &version));
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
    EXPECT_EQ(GetParam().status, api_->init(GetParam().index, &ref_));
    EXPECT_EQ(nullptr, ref_);
    EXPECT_LT(ms_since(start), slack_ms);
    set_environment("CLSERTTY_BAUD", "");
    std::remove("clsertty_test_plain_file");
}

INSTANTIATE_TEST_SUITE_P(Ports, ClserttyOpen, ::testing::Values(
    OpenCase{"/no/such/tty", "", 0, CL_ERR_INVALID_INDEX},
    OpenCase{"COM199", "", 0, CL_ERR_INVALID_INDEX},
    OpenCase{"./clsertty_test_plain_file", "", 0, CL_ERR_INVALID_INDEX},
    OpenCase{"/no/such/tty", "", 1, CL_ERR_INVALID_INDEX},
    OpenCase{"/no/such/tty", "fast", 0, CL_ERR_BAUD_RATE_NOT_SUPPORTED}));

TEST_F(ClserttyLine, CarriesBytesBothWays)
{
    char request[] = "rVB008\r\n";
    uint32_t count = 8;
    EXPECT_EQ(CL_ERR_NO_ERR, api_->write(ref_, request, &count, 1000));
    EXPECT_EQ(8u, count);
    EXPECT_EQ("rVB008\r\n", far_end_receives(64));

    far_end_sends("1A2B\r\n");
    const Read first = read(2, 1000);
    EXPECT_EQ(CL_ERR_NO_ERR, first.status);
    EXPECT_EQ("1A", first.bytes);
    uint32_t pending = 0;
    EXPECT_EQ(CL_ERR_NO_ERR, api_->available(ref_, &pending));
    EXPECT_EQ(4u, pending);
    EXPECT_EQ("2B\r\n", read(4, 1000).bytes);
}

// What a camera sends is handed over as it is, control bytes and all; a read
// that wants more than comes ends at its time-out with what came.
TEST_F(ClserttyLine, AReadWithoutEnoughBytesEndsAtItsTimeout)
{
    const std::string garbage("\x00\xff\x1b[2J12", 8);
    far_end_sends(garbage);
    const Read partial = read(64, 300);
    EXPECT_EQ(CL_ERR_TIMEOUT, partial.status);
    EXPECT_EQ(garbage, partial.bytes);
    EXPECT_GE(partial.elapsed_ms, 250);
    EXPECT_LT(partial.elapsed_ms, 300 + slack_ms);

    const Read silence = read(1, 0);
    EXPECT_EQ(CL_ERR_TIMEOUT, silence.status);
    EXPECT_EQ("", silence.bytes);
    EXPECT_LT(silence.elapsed_ms, slack_ms);
}

TEST_F(ClserttyLine, AFarEndThatClosesIsReportedAtOnce)
{
    far_end_sends("12");
    EXPECT_EQ("12", read(2, 1000).bytes);
    far_.reset();

    const Read after = read(10, 5000);
    EXPECT_EQ(CL_ERR_TIMEOUT, after.status);
    EXPECT_EQ("", after.bytes);
    EXPECT_LT(after.elapsed_ms, slack_ms);

    char byte = 'V';
    uint32_t count = 1;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(CL_ERR_TIMEOUT, api_->write(ref_, &byte, &count, 5000));
    EXPECT_EQ(0u, count);
    EXPECT_LT(ms_since(start), slack_ms);
}

TEST_F(ClserttyLine, AWriteNobodyTakesEndsAtItsTimeout)
{
    std::string flood(1 << 20, 'x');
    uint32_t count = static_cast<uint32_t>(flood.size());
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(CL_ERR_TIMEOUT, api_->write(ref_, &flood[0], &count, 300));
    EXPECT_LT(count, flood.size());
    EXPECT_LT(ms_since(start), 300 + slack_ms);
}

TEST_F(ClserttyLine, RefusesWhatItDidNotOpen)
{
    void* second = nullptr;
    EXPECT_EQ(CL_ERR_PORT_IN_USE, api_->init(0, &second));
    EXPECT_EQ(CL_ERR_BAUD_RATE_NOT_SUPPORTED, api_->set_baud(ref_, 12345));
    EXPECT_EQ(CL_ERR_NO_ERR, api_->set_baud(ref_, 16));  // the flag for 115200
    EXPECT_EQ(CL_ERR_NO_ERR, api_->set_baud(ref_, 19200));

    api_->close(ref_);
    char byte = 0;
    uint32_t count = 1;
    EXPECT_EQ(CL_ERR_INVALID_REFERENCE, api_->read(ref_, &byte, &count, 100));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(CL_ERR_INVALID_REFERENCE, api_->flush(ref_));
    // Closed, the port opens again.
    EXPECT_EQ(CL_ERR_NO_ERR, api_->init(0, &ref_));
}

}  // namespace
