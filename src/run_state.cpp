#include "run_state.h"

RunState::RunState() = default;

// The port goes first: it borrows the producer binding or the serial port.
RunState::~RunState() { cam_port.reset(); }
