// What lives for one run of the program: the accumulated images, the maps,
// the detection settings and the camera connection. Commands share nothing
// else.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "camera/gentl.h"
#include "camera/port.h"
#include "correction/defpix.h"
#include "lib/float_map.h"
#include "lib/text.h"

// A command that raised an error it does not handle itself ends the run; the
// driver reports it unless the command already did.
struct RunAborted {
    int32_t code;
};

// "connect failed!" was printed: the run ends at once, nothing is closed.
struct ConnectFailed {};

struct RunState {
    RunState();
    ~RunState();
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

    // Sum of the images loaded since the last map creation, and their number.
    std::unique_ptr<FloatMap> img_accum;
    int32_t img_count = 0;

    // Known defects: detected, loaded from files or read from the camera.
    DefpixTable defpix_table;

    // Detection settings; kept from one map creation to the next.
    int32_t lt_v = 16;
    int32_t lt_w = 128;

    std::unique_ptr<FloatMap> shading_map;

    // The open register port to the camera, over whichever transport.
    std::unique_ptr<IPort> cam_port;

    // The bound GenTL producer and what is open through it.
    std::unique_ptr<GenTLProducer> gentl;
    gentl::TL_HANDLE tl_handle = nullptr;
    gentl::IF_HANDLE if_handle = nullptr;
    gentl::DEV_HANDLE dev_handle = nullptr;
    gentl::PORT_HANDLE port_handle = nullptr;
    // The device IDs the last --if listed.
    PtrList<String> device_ids;
    // Producers replaced by a later --cti stay loaded for the rest of the run.
    std::vector<std::unique_ptr<GenTLProducer>> earlier_producers;
};
