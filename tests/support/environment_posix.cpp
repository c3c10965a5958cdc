#include "environment.h"

#include <cstdlib>

namespace test_env {

void set_environment(const char* name, const char* value) { setenv(name, value, 1); }

}  // namespace test_env
