// What lives for one run of the program: the accumulated images, the maps,
// the detection settings and the camera connection. Commands share nothing
// else; only the commands layer and the driver touch it.
#pragma once

#include <cstdint>
#include <memory>

#include "camera/connection.h"
#include "camera/port.h"
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

    // The end-of-run close, when a camera was opened.
    void close_connection();

    // The register port to the camera; null before a --connect opened one.
    IPort* cam_port() const { return connection ? connection->port() : nullptr; }

    Log& log;

    // The images loaded since the last map creation.
    ImageSum img_accum;

    // Known defects: detected, loaded from files or read from the camera.
    DefpixTable defpix_table;
    DetectionSettings detection;

    std::unique_ptr<FloatMap> shading_map;

    // GenTL or serial, as --cti and --clser chose it.
    std::unique_ptr<Connection> connection;
};
