#include "environment.h"

#include <stdlib.h>
#include <windows.h>

namespace test_env {

// The C runtime's copy, which getenv reads, and the process's own block.
void set_environment(const char* name, const char* value)
{
    _putenv_s(name, value);
    SetEnvironmentVariableA(name, value);
}

}  // namespace test_env
