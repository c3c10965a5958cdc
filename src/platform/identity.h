// Who runs the program, and where: for the log's start line.
#pragma once

#include <string>

namespace platform {

// Each returns false (and leaves `name` alone) when the name cannot be fetched.
bool user_name(std::string& name);
bool computer_name(std::string& name);

}  // namespace platform
