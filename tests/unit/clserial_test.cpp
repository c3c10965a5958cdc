#include "camera/clserial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fake_serial_library.h"
#include "lib/log.h"
#include "platform/directory.h"
#include "platform/library.h"

namespace fs = std::filesystem;

namespace {

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

Log quiet_log(nullptr, LOG_INFO);

const std::string suffix = platform::shared_library_suffix();
const std::string other_suffix = suffix == ".dll" ? ".so" : ".dll";

// A folder of empty files standing in for installed libraries; the loader
// binds the fake library for each file it is asked to load.
class ClSerialDiscovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_fake_serial();
        fs::remove_all(folder_);
        fs::create_directory(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    void add_file(const std::string& name) { std::ofstream(folder_ + "/" + name) << "x"; }

    ClSerialPortList::Loader loader()
    {
        return [this](const String& path) {
            loaded_.push_back(path.c_str());
            if (refused_from_load_ >= 0 && static_cast<int>(loaded_.size()) > refused_from_load_)
                throw int(clser_library_refused);
            return std::unique_ptr<ClSerial>(new ClSerial(path, fake_serial_lookup, quiet_log));
        };
    }

    std::string path_of(const std::string& name) const
    {
        return folder_ + platform::path_separator() + name;
    }

    std::vector<std::string> sorted_loads() const
    {
        std::vector<std::string> loads = loaded_;
        std::sort(loads.begin(), loads.end());
        return loads;
    }

    const std::string folder_ = "clserial_test_files";
    std::vector<std::string> loaded_;
    int refused_from_load_ = -1;  // loads after this many raise
};

TEST_F(ClSerialDiscovery, TakesOnlyLibrariesNamedForTheSerialInterface)
{
    const std::vector<std::string> taken = {"CLSerABC" + upper(suffix), "clser" + suffix};
    const std::vector<std::string> skipped = {
        "clserabc_w64" + suffix,      "ClSerialAll" + suffix,    "myclser" + suffix,
        "clserabc" + suffix + ".bak", "clserabc" + other_suffix, "readme.txt"};
    for (const std::string& name : taken) add_file(name);
    for (const std::string& name : skipped) add_file(name);

    ClSerialPortList list(loader());
    EXPECT_TRUE(list.scan(folder_.c_str()));

    std::vector<std::string> expected = {path_of(taken[0]), path_of(taken[1])};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted_loads(), expected);
    EXPECT_EQ(list.ports.count(), 2);
}

class ClSerialDiscoveryFolder : public ClSerialDiscovery,
                                public ::testing::WithParamInterface<bool> {};

TEST_P(ClSerialDiscoveryFolder, TrailingSeparatorMakesNoDifference)
{
    add_file("clsera" + suffix);
    const std::string folder = GetParam() ? folder_ + platform::path_separator() : folder_;

    ClSerialPortList list(loader());
    EXPECT_TRUE(list.scan(folder.c_str()));
    EXPECT_EQ(loaded_, std::vector<std::string>{path_of("clsera" + suffix)});
    ASSERT_EQ(list.ports.count(), 1);
    EXPECT_EQ(list.ports.at(0)->name, "Mfr#COM1#Port0");
}

INSTANTIATE_TEST_SUITE_P(Folders, ClSerialDiscoveryFolder, ::testing::Bool());

TEST_F(ClSerialDiscovery, AFolderThatCannotBeListedGivesNoPorts)
{
    ClSerialPortList list(loader());
    EXPECT_FALSE(list.scan("no_such_folder_here"));
    EXPECT_EQ(list.ports.count(), 0);
    EXPECT_TRUE(loaded_.empty());
}

TEST_F(ClSerialDiscovery, ALibraryWithThreePortsIsLoadedOncePerPort)
{
    add_file("clsertriple" + suffix);
    fake_serial.ports = 3;
    fake_serial.identifiers = {"A", "B", "C"};

    ClSerialPortList list(loader());
    ASSERT_TRUE(list.scan(folder_.c_str()));

    EXPECT_EQ(loaded_, std::vector<std::string>(3, path_of("clsertriple" + suffix)));
    ASSERT_EQ(list.ports.count(), 3);
    const char* const names[] = {"Mfr#A#Port0", "Mfr#B#Port1", "Mfr#C#Port2"};
    for (int32_t i = 0; i < 3; ++i) {
        const ClSerialPort& port = *list.ports.at(i);
        EXPECT_EQ(port.index, static_cast<uint32_t>(i));
        EXPECT_EQ(port.name, names[i]);
        for (int32_t j = 0; j < i; ++j)
            EXPECT_NE(port.serial.get(), list.ports.at(j)->serial.get());
    }
    EXPECT_EQ(list.find("Mfr#B#Port1"), list.ports.at(1));
    EXPECT_EQ(list.find("mfr#B#Port1"), nullptr);

    // Each binding opens its own port.
    list.ports.at(2)->serial->open(list.ports.at(2)->index);
    EXPECT_EQ(fake_serial.init_indexes, std::vector<uint32_t>{2});
}

TEST_F(ClSerialDiscovery, APortWhoseBindingFailsEndsThatLibrarysPorts)
{
    add_file("clserpair" + suffix);
    fake_serial.ports = 3;
    fake_serial.identifiers = {"A", "B", "C"};
    refused_from_load_ = 2;

    ClSerialPortList list(loader());
    ASSERT_TRUE(list.scan(folder_.c_str()));
    EXPECT_EQ(loaded_.size(), 3u);
    ASSERT_EQ(list.ports.count(), 2);
    EXPECT_EQ(list.ports.at(1)->name, "Mfr#B#Port1");
}

struct Offered {
    const char* name;
    uint32_t ports;
    std::set<std::string> missing;
};

class ClSerialDiscoveryNoPorts : public ClSerialDiscovery,
                                 public ::testing::WithParamInterface<Offered> {};

TEST_P(ClSerialDiscoveryNoPorts, ALibraryOfferingNoPortIsLeftOut)
{
    add_file("clserempty" + suffix);
    fake_serial.ports = GetParam().ports;
    fake_serial.missing.insert(GetParam().missing.begin(), GetParam().missing.end());

    ClSerialPortList list(loader());
    ASSERT_TRUE(list.scan(folder_.c_str()));
    EXPECT_EQ(list.ports.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, ClSerialDiscoveryNoPorts,
    ::testing::Values(
        Offered{"NoPorts", 0, {}}, Offered{"NegativeCount", 0xFFFFFFFFu, {}},
        Offered{"NoPortCount", 2, {"clGetNumSerialPorts"}}, Offered{"NoInit", 1, {"clSerialInit"}},
        Offered{"NoClose", 1, {"clSerialClose"}}, Offered{"NoWrite", 1, {"clSerialWrite"}},
        Offered{"NoRead", 1, {"clSerialRead"}}, Offered{"NoFlush", 1, {"clFlushPort"}},
        Offered{"NoIdentifier", 1, {"clGetSerialPortIdentifier"}},
        Offered{"NoManufacturer", 1, {"clGetManufacturerInfo"}}),
    [](const ::testing::TestParamInfo<Offered>& info) { return std::string(info.param.name); });

struct NameCase {
    std::vector<std::string> identifiers;
    bool fills_manufacturer;
    uint32_t index;
    const char* name;
};

class ClSerialPortName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ClSerialPortName, ManufacturerIdentifierPrefixAndPortNumber)
{
    reset_fake_serial();
    fake_serial.identifiers = GetParam().identifiers;
    fake_serial.fills_manufacturer = GetParam().fills_manufacturer;
    ClSerial serial("fake", fake_serial_lookup, quiet_log);
    EXPECT_EQ(serial.serialPortName(GetParam().index), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Names, ClSerialPortName,
                         ::testing::Values(NameCase{{"COM3#ext"}, true, 0, "Mfr#COM3#Port0"},
                                           NameCase{{"COM1", "COM3"}, true, 1, "Mfr#COM3#Port1"},
                                           NameCase{{"#ext"}, true, 0, "Mfr##Port0"},
                                           NameCase{{"a#b#c"}, true, 0, "Mfr#a#Port0"},
                                           NameCase{{}, true, 0, "Mfr#0#Port0"},
                                           NameCase{{"COM3"}, false, 0, "0#COM3#Port0"}));

class ClSerialLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_fake_serial();
        serial_.reset(new ClSerial("fake", fake_serial_lookup, quiet_log));
        serial_->open(0);
    }
    std::unique_ptr<ClSerial> serial_;
};

struct LineCase {
    std::string bytes;
    std::string line;
};

class ClSerialReadLine : public ClSerialLine, public ::testing::WithParamInterface<LineCase> {};

TEST_P(ClSerialReadLine, KeepsThePrintableCharactersUpToTheLineFeed)
{
    fake_serial.pending = GetParam().bytes;
    EXPECT_EQ(std::string(serial_->serialReadLine().c_str()), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Lines, ClSerialReadLine,
                         ::testing::Values(LineCase{"1A2B\r\n", "1A2B"}, LineCase{"1A2B", "1A2B"},
                                           LineCase{"", ""}, LineCase{"\n1A2B\r\n", ""},
                                           LineCase{std::string("O\x01K\t\x7F\x80\xff!\r\n", 10),
                                                    "OK\x7F!"},
                                           LineCase{std::string("A\0B\n", 4), "AB"}));

TEST_F(ClSerialLine, AnOverlongLineIsCutButReadToItsEnd)
{
    fake_serial.pending = std::string(5000, 'F') + "\r\nNEXT\r\n";
    const String first = serial_->serialReadLine();
    EXPECT_EQ(first.length(), ClSerial::max_line_length);
    EXPECT_EQ(std::string(first.c_str()), std::string(ClSerial::max_line_length, 'F'));
    EXPECT_EQ(serial_->serialReadLine(), "NEXT");
}

TEST_F(ClSerialLine, WriteLineSendsTheTextUpToANulThenCarriageReturnAndLineFeed)
{
    serial_->serialWriteLine(String("rV1\0xyz", 7));
    EXPECT_EQ(fake_serial.sent, "rV1\r\n");
    EXPECT_EQ(fake_serial.write_calls, 5);
}

TEST_F(ClSerialLine, ACharacterIsTriedTwice)
{
    fake_serial.refused_writes = 1;
    serial_->serialWrite('V');
    EXPECT_EQ(fake_serial.sent, "V");
    EXPECT_EQ(fake_serial.write_calls, 2);

    fake_serial.refused_writes = 2;
    try {
        serial_->serialWrite('W');
        FAIL() << "no error raised";
    } catch (int code) {
        EXPECT_EQ(code, clser_write_failed);
    }
    EXPECT_EQ(fake_serial.write_calls, 4);
}

struct OpenCase {
    const char* name;
    int32_t init_status;
    bool gives_reference;
    int32_t flush_status;
};

class ClSerialOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(ClSerialOpen, FailsWhenInitOrFlushFails)
{
    reset_fake_serial();
    fake_serial.init_status = GetParam().init_status;
    fake_serial.init_gives_reference = GetParam().gives_reference;
    fake_serial.flush_status = GetParam().flush_status;
    ClSerial serial("fake", fake_serial_lookup, quiet_log);
    try {
        serial.open(0);
        FAIL() << "no error raised";
    } catch (int code) {
        EXPECT_EQ(code, clser_open_failed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ClSerialOpen,
    ::testing::Values(OpenCase{"InitFails", clser::CL_ERR_INVALID_INDEX, true, 0},
                      OpenCase{"NoReference", 0, false, 0},
                      OpenCase{"FlushFails", 0, true, clser::CL_ERR_INVALID_REFERENCE}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

// Only the end of the run closes a line: after "connect failed!" nothing is
// to be closed, so releasing the binding calls nothing in the library.
TEST(ClSerialLifetime, ReopeningClosesFirstAndReleasingClosesNothing)
{
    reset_fake_serial();
    {
        ClSerial serial("fake", fake_serial_lookup, quiet_log);
        serial.open(0);
        serial.open(0);
        EXPECT_EQ(fake_serial.inits, 2);
        EXPECT_EQ(fake_serial.flushes, 2);
        EXPECT_EQ(fake_serial.closes, 1);
        serial.close();
        serial.close();
        EXPECT_EQ(fake_serial.closes, 2);
        serial.open(0);
    }
    EXPECT_EQ(fake_serial.closes, 2);
}

TEST(ClSerialAggregator, PortsOfAnAggregatorArePrintedWithoutLineBreaks)
{
    reset_fake_serial();
    fake_serial.missing.clear();
    fake_serial.aggregated_ports = 2;
    ::testing::internal::CaptureStdout();
    ClSerial serial("fake", fake_serial_lookup, quiet_log);
    std::fflush(stdout);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "port 0 - Agg#P0port 1 - Agg#P1");
    EXPECT_EQ(serial.portInfoName(1), "Agg#P1");
}

TEST(ClSerialAggregator, WithoutPortInfoTheNameIsEmpty)
{
    reset_fake_serial();
    fake_serial.missing = {"clGetPortInfo"};
    fake_serial.aggregated_ports = 1;
    ::testing::internal::CaptureStdout();
    ClSerial serial("fake", fake_serial_lookup, quiet_log);
    std::fflush(stdout);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "port 0 - #");
}

}  // namespace
