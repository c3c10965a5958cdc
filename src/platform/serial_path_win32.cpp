#include "platform/serial_path.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {

constexpr DWORD value_buffer_size = 1024;

// A REG_EXPAND_SZ value names its folder with %VARIABLES% in it.
std::string expand_variables(const char* text)
{
    const DWORD needed = ExpandEnvironmentStringsA(text, nullptr, 0);
    if (needed == 0) return text;
    std::vector<char> expanded(needed + 1, '\0');
    if (ExpandEnvironmentStringsA(text, expanded.data(), needed) == 0) return text;
    return expanded.data();
}

}  // namespace

bool serial_library_directory(std::string& directory)
{
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\cameralink", &key) != ERROR_SUCCESS)
        return false;
    // One byte beyond what the registry may fill, so a value stored without
    // its terminating NUL still ends inside the buffer.
    char buffer[value_buffer_size + 1] = {};
    DWORD type = 0;
    DWORD size = value_buffer_size;
    LONG result = RegQueryValueExA(key, "CLSERIALPATH", nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    buffer[size <= value_buffer_size ? size : value_buffer_size] = '\0';
    directory = type == REG_EXPAND_SZ ? expand_variables(buffer) : std::string(buffer);
    return true;
}

}  // namespace platform
