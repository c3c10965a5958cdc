#include "platform/directory.h"

#include <dirent.h>

#include <cstring>

namespace platform {

bool list_directory(const std::string& directory, std::vector<std::string>& names)
{
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (!dir) return false;
    while (struct dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        names.emplace_back(entry->d_name);
    }
    closedir(dir);
    return true;
}

char path_separator() { return '/'; }

bool is_path_separator(char c) { return c == '/'; }

}  // namespace platform
