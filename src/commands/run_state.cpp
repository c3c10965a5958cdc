#include "commands/run_state.h"

RunState::RunState(Log& run_log) : log(run_log) {}

// Nothing here calls into a loaded library: what the end of the run closes,
// close_connection() has closed; after "connect failed!" nothing is closed.
RunState::~RunState() = default;

void RunState::close_connection()
{
    if (cam_port()) connection->close();
}
