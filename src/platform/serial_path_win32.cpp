#include "platform/serial_path.h"

#include <windows.h>

namespace platform {

bool serial_library_directory(std::string& directory)
{
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\cameralink", &key) != ERROR_SUCCESS)
        return false;
    char buffer[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer - 1;
    LONG result = RegQueryValueExA(key, "CLSERIALPATH", nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    buffer[size < sizeof buffer ? size : sizeof buffer - 1] = '\0';
    directory = buffer;
    return true;
}

}  // namespace platform
