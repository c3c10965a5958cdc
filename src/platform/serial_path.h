// Where the Camera Link serial libraries are installed: the registry value
// HKLM\SOFTWARE\cameralink\CLSERIALPATH on Windows, the environment variable
// CLSERIALPATH elsewhere.
#pragma once

#include <string>

namespace platform {

// False when the setting is absent or cannot be read.
bool serial_library_directory(std::string& directory);

}  // namespace platform
