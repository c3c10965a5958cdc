// The simulated camera's settings and injected faults, read from the small
// key=value file named by CAMSIM_CONFIG. One format serves both simulator
// libraries (GenTL and Camera Link serial); keys are listed in README.md.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sensor.h"

namespace camsim {

struct SimConfig {
    // GenTL: the producer's interfaces and the devices on each of them.
    int32_t interfaces = 1;
    std::map<int32_t, std::string> interface_ids;
    int32_t devices = 1;
    std::map<int32_t, std::string> device_ids;
    std::map<int32_t, std::string> device_models;
    std::set<int32_t> model_query_fails;
    // Entry point name -> the code it answers instead of doing its work.
    std::map<std::string, int32_t> failing_entries;

    // The camera.
    uint32_t width = 5120;
    uint32_t height = 5120;
    uint32_t defect_limit = 100000;
    bool mapsize_injected = false;
    uint32_t mapsize = 0;
    uint32_t defect_maps = 4;
    uint32_t shading_maps = 4;
    std::set<uint32_t> write_protected_maps;
    bool revision_unreadable = false;
    // GCInitLib starts a thread of the producer's own that runs until the
    // process ends, as the heartbeat thread of a GigE Vision producer does.
    bool heartbeat_thread = false;
    // The Nth register access over the port (a GCReadPort or GCWritePort call
    // since GCInitLib, a request line since clSerialInit; counted from 1) is
    // refused with GC_ERR_IO, without reaching the camera; 0 refuses none.
    uint32_t fail_access = 0;
    // Address -> code of a word access that fails there.
    std::map<uint32_t, int32_t> read_faults;
    std::map<uint32_t, int32_t> write_faults;

    // The sensor, whose size is the image size above.
    uint64_t sensor_seed = SensorSettings().seed;
    uint32_t hot_pixels = SensorSettings().hot_pixels;
    uint32_t dead_pixels = SensorSettings().dead_pixels;
    bool has_bad_column = SensorSettings().has_bad_column;
    bool bad_column_set = SensorSettings().bad_column_set;
    uint32_t bad_column = SensorSettings().bad_column;

    // The stream: the pixel format frames travel in, and its faults. Frames
    // are counted from 0 since GCInitLib, as the buffers' frame IDs are.
    std::string pixel_format = "Mono8";
    // Frames after this many are never made, so a consumer times out; 0: no limit.
    uint32_t stall_after = 0;
    // Frames delivered with only their first half filled and marked incomplete.
    std::set<uint32_t> incomplete_frames;
    // Frames delivered half as high as the others.
    std::set<uint32_t> half_height_frames;

    // Camera Link serial: the library's ports and the camera's replies.
    int32_t serial_ports = 1;
    std::map<int32_t, std::string> serial_port_ids;
    std::string serial_manufacturer = "CamSim";
    std::map<uint32_t, std::string> error_replies;
    std::set<uint32_t> silent_registers;

    // Lines that could not be understood, each with its line number.
    std::vector<std::string> problems;

    std::string interface_id(int32_t index) const;
    std::string device_id(int32_t index) const;
    std::string device_model(int32_t index) const;
    std::string serial_port_id(int32_t index) const;
};

// Reads the settings from the text of a configuration file.
SimConfig parse_sim_config(const std::string& text);

// The sensor the settings describe.
SensorSettings sensor_settings(const SimConfig& config);

// The settings from the file named by CAMSIM_CONFIG; the defaults when it is
// not set. A file that cannot be read is a problem, not a silent default.
SimConfig load_sim_config();

// Tells each problem of config on standard error, one line each, as
// "<program>: CAMSIM_CONFIG not understood: <problem>"; true when there was
// one. What a mistaken file then means is the caller's to decide.
bool report_config_problems(const SimConfig& config, const char* program);

// The file named by CAMSIM_STATE, or empty.
std::string state_file_from_environment();

}  // namespace camsim
