#include "platform/environment.h"

#include <cstdlib>

namespace platform {

void set_environment(const char* name, const char* value) { setenv(name, value, 1); }

}  // namespace platform
