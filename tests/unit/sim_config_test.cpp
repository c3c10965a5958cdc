#include "sim_config.h"

#include <gtest/gtest.h>

#include <string>

using namespace camsim;

namespace {

TEST(SimConfig, DefaultsDescribeOneCameraOnOneInterface)
{
    SimConfig config = parse_sim_config("");
    EXPECT_TRUE(config.problems.empty());
    EXPECT_EQ(config.interfaces, 1);
    EXPECT_EQ(config.devices, 1);
    EXPECT_EQ(config.interface_id(0), "camsim-if0");
    EXPECT_EQ(config.device_id(2), "camsim-dev2");
    EXPECT_EQ(config.serial_port_id(0), "COM1");
    EXPECT_EQ(config.width, 5120u);
    EXPECT_EQ(config.height, 5120u);
    EXPECT_FALSE(config.mapsize_injected);

    const SensorSettings sensor = sensor_settings(config);
    const SensorSettings defaults;
    EXPECT_EQ(sensor.width, 5120u);
    EXPECT_EQ(sensor.height, 5120u);
    EXPECT_EQ(sensor.seed, defaults.seed);
    EXPECT_EQ(sensor.hot_pixels, defaults.hot_pixels);
    EXPECT_EQ(sensor.dead_pixels, defaults.dead_pixels);
    EXPECT_TRUE(sensor.has_bad_column);
    EXPECT_FALSE(sensor.bad_column_set);
}

TEST(SimConfig, ReadsEveryKindOfKey)
{
    SimConfig config = parse_sim_config(
        "# a comment\n"
        "\n"
        "interfaces = 2\r\n"
        "interface_id.1=GigE Vision #2\n"
        "devices=3\n"
        "device_id.0=cam-A\n"
        "device_model.1=a long model name\n"
        "model_query_fails=1, 2\n"
        "fail_entry.IFGetNumDevices=-1001\n"
        "width=0x800\n"
        "defect_limit=250\n"
        "mapsize=100001\n"
        "write_protected_maps=0,3\n"
        "revision_unreadable=1\n"
        "fail_read.0xB008=-1011\n"
        "fail_write.0x101001F8=-1010\n"
        "serial_ports=2\n"
        "serial_port_id.1=COM3#ext\n"
        "serial_manufacturer=Mfr\n"
        "error_reply.0x10004018=Error: 5\n"
        "silent=0xB008,0xB00C\n"
        "sensor_seed=0xFEDCBA9876543210\n"
        "hot_pixels=100000\n"
        "dead_pixels=0\n"
        "bad_column=0x7FF\n"
        "pixel_format=Mono12Packed\n"
        "stall_after=40\n"
        "incomplete_frames=2,5\n"
        "half_height_frames=7\n");
    EXPECT_TRUE(config.problems.empty()) << config.problems.front();
    EXPECT_EQ(config.interfaces, 2);
    EXPECT_EQ(config.interface_id(1), "GigE Vision #2");
    EXPECT_EQ(config.devices, 3);
    EXPECT_EQ(config.device_id(0), "cam-A");
    EXPECT_EQ(config.device_model(1), "a long model name");
    EXPECT_EQ(config.model_query_fails, (std::set<int32_t>{1, 2}));
    EXPECT_EQ(config.failing_entries.at("IFGetNumDevices"), -1001);
    EXPECT_EQ(config.width, 0x800u);
    EXPECT_EQ(config.defect_limit, 250u);
    EXPECT_TRUE(config.mapsize_injected);
    EXPECT_EQ(config.mapsize, 100001u);
    EXPECT_EQ(config.write_protected_maps, (std::set<uint32_t>{0, 3}));
    EXPECT_TRUE(config.revision_unreadable);
    EXPECT_EQ(config.read_faults.at(0xB008), -1011);
    EXPECT_EQ(config.write_faults.at(0x101001F8), -1010);
    EXPECT_EQ(config.serial_ports, 2);
    EXPECT_EQ(config.serial_port_id(1), "COM3#ext");
    EXPECT_EQ(config.serial_manufacturer, "Mfr");
    EXPECT_EQ(config.error_replies.at(0x10004018), "Error: 5");
    EXPECT_EQ(config.silent_registers, (std::set<uint32_t>{0xB008, 0xB00C}));
    EXPECT_EQ(config.pixel_format, "Mono12Packed");
    EXPECT_EQ(config.stall_after, 40u);
    EXPECT_EQ(config.incomplete_frames, (std::set<uint32_t>{2, 5}));
    EXPECT_EQ(config.half_height_frames, (std::set<uint32_t>{7}));
    const SensorSettings sensor = sensor_settings(config);
    EXPECT_EQ(sensor.width, 0x800u);
    EXPECT_EQ(sensor.height, 5120u);
    EXPECT_EQ(sensor.seed, 0xFEDCBA9876543210ull);
    EXPECT_EQ(sensor.hot_pixels, 100000u);
    EXPECT_EQ(sensor.dead_pixels, 0u);
    EXPECT_TRUE(sensor.has_bad_column);
    EXPECT_TRUE(sensor.bad_column_set);
    EXPECT_EQ(sensor.bad_column, 0x7FFu);
}

class SimConfigProblems : public ::testing::TestWithParam<const char*> {};

TEST_P(SimConfigProblems, AreReportedWithTheirLine)
{
    SimConfig config = parse_sim_config(std::string("devices=2\n") + GetParam() + "\n");
    ASSERT_EQ(config.problems.size(), 1u);
    EXPECT_EQ(config.problems[0], std::string("line 2: ") + GetParam());
    EXPECT_EQ(config.devices, 2);
}

INSTANTIATE_TEST_SUITE_P(Lines, SimConfigProblems,
                         ::testing::Values("no_such_key=1", "devices", "devices=two", "devices=-1",
                                           "width=0x100000000", "mapsize=", "revision_unreadable=2",
                                           "fail_read.0xB008=x", "fail_write.nowhere=-1",
                                           "device_id.x=a", "write_protected_maps=1,,2",
                                           "interface_id.-1=a", "sensor_seed=-1",
                                           "sensor_seed=0x10000000000000000", "hot_pixels=100001",
                                           "dead_pixels=-3", "bad_column=left",
                                           "bad_column=", "bad_column=5120", "pixel_format=Mono9",
                                           "incomplete_frames=a"));

struct BadColumnCase {
    const char* text;
    bool has_bad_column;
    bool bad_column_set;
    uint32_t bad_column;
    // The problem reported; empty: none.
    const char* problem;
};

class SimConfigBadColumn : public ::testing::TestWithParam<BadColumnCase> {};

// The column is held against the width the whole file ends with.
TEST_P(SimConfigBadColumn, IsInsideTheFinalWidthOrNone)
{
    const BadColumnCase& row = GetParam();
    const SimConfig config = parse_sim_config(row.text);
    const SensorSettings sensor = sensor_settings(config);
    EXPECT_EQ(sensor.has_bad_column, row.has_bad_column);
    EXPECT_EQ(sensor.bad_column_set, row.bad_column_set);
    if (row.bad_column_set) {
        EXPECT_EQ(sensor.bad_column, row.bad_column);
    }
    if (*row.problem == '\0') {
        EXPECT_TRUE(config.problems.empty()) << config.problems.front();
    } else {
        ASSERT_EQ(config.problems.size(), 1u);
        EXPECT_EQ(config.problems[0], row.problem);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimConfigBadColumn,
    ::testing::Values(
        BadColumnCase{"bad_column=none", false, false, 0, ""},
        BadColumnCase{"bad_column=6000\nwidth=8000", true, true, 6000, ""},
        BadColumnCase{"bad_column=100\nwidth=64", true, true, 100, "line 1: bad_column=100"},
        BadColumnCase{"width=64\nbad_column=63", true, true, 63, ""},
        BadColumnCase{"width=64\nbad_column=64", true, true, 64, "line 2: bad_column=64"},
        BadColumnCase{"bad_column=9000\nbad_column=none", false, true, 9000, ""},
        BadColumnCase{"bad_column=none\nbad_column=12", true, true, 12, ""}));

}  // namespace
