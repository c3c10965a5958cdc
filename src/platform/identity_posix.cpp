#include "platform/identity.h"

#include <pwd.h>
#include <unistd.h>

namespace platform {

bool user_name(std::string& name)
{
    const struct passwd* entry = getpwuid(geteuid());
    if (!entry || !entry->pw_name) return false;
    name = entry->pw_name;
    return true;
}

bool computer_name(std::string& name)
{
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return false;
    name = buffer;
    return true;
}

}  // namespace platform
