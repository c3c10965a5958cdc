// kd-inspect grab: frames from a GenTL camera, written as the 8-bit BMP files
// the program and the report read.
#pragma once

#include <cstdint>
#include <string>

struct GrabOptions {
    std::string producer;
    std::string interface_id;  // empty: the first that lists a device
    std::string device_id;     // empty: the first
    int32_t frames = 0;
    std::string out_dir;
    int32_t timeout_ms = 5000;
    bool replace = false;
};

// Takes the frames into out_dir/frame_0001.bmp ...; 0 when all were written,
// 2 after printing on standard error why not (the frames written before stay,
// and the camera is stopped). Out of memory throws std::bad_alloc, for
// kd-inspect's main to report, once the camera is stopped.
int run_grab(const GrabOptions& options);
