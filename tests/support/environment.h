// Setting a variable of the process's own environment, for what the process
// later reads or loads (the simulated camera reads its settings from there).
#pragma once

namespace test_env {

void set_environment(const char* name, const char* value);

}  // namespace test_env
