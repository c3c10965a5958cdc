// What lives for one run of the program: the accumulated images, the maps,
// the detection settings and the camera connection. Commands share nothing
// else; only the commands layer and the driver touch it.
#pragma once

#include <cstdint>
#include <memory>

#include "camera/gentl_connection.h"
#include "camera/port.h"
#include "camera/serial_connection.h"
#include "correction/defpix.h"
#include "correction/defpix_detect.h"
#include "lib/float_map.h"
#include "lib/image_sum.h"

class Log;

struct RunState {
    explicit RunState(Log& run_log);
    ~RunState();
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    // The end-of-run close of whichever connection made cam_port.
    void close_connection();

    Log& log;

    // The images loaded since the last map creation.
    ImageSum img_accum;

    // Known defects: detected, loaded from files or read from the camera.
    DefpixTable defpix_table;
    DetectionSettings detection;

    std::unique_ptr<FloatMap> shading_map;

    // The open register port to the camera, owned by the connection that
    // opened it.
    IPort* cam_port = nullptr;

    // The bound GenTL producer (from the first --cti that loaded) and the
    // Camera Link serial ports (from the first --clser).
    std::unique_ptr<GenTLConnection> gentl;
    std::unique_ptr<SerialConnection> clser;
};
