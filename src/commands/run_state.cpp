#include "commands/run_state.h"

RunState::RunState(Log& run_log) : log(run_log) {}

// Nothing here calls into a loaded library: what the end of the run closes,
// close_connection() has closed; after "connect failed!" nothing is closed.
RunState::~RunState() = default;

void RunState::close_connection()
{
    if (!cam_port) return;
    if (gentl) {
        if (gentl->close()) cam_port = nullptr;
        return;
    }
    if (clser && clser->has_chosen_port()) {
        cam_port = nullptr;
        clser->close();
    }
}
