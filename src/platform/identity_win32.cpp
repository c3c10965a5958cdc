#include "platform/identity.h"

#include <windows.h>

namespace platform {

bool user_name(std::string& name)
{
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    if (!GetUserNameA(buffer, &size)) return false;
    buffer[sizeof buffer - 1] = '\0';
    name = buffer;
    return true;
}

bool computer_name(std::string& name)
{
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    if (!GetComputerNameA(buffer, &size)) return false;
    buffer[sizeof buffer - 1] = '\0';
    name = buffer;
    return true;
}

}  // namespace platform
