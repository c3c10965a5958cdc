#include "run_state.h"

RunState::RunState() = default;
RunState::~RunState() = default;
