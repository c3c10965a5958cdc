#include "platform/serial_path.h"

#include <cstdlib>

namespace platform {

bool serial_library_directory(std::string& directory)
{
    const char* value = std::getenv("CLSERIALPATH");
    if (!value) return false;
    directory = value;
    return true;
}

}  // namespace platform
