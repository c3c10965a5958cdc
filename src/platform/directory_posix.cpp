#include "platform/directory.h"

#include <dirent.h>
#include <sys/stat.h>

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

namespace {

bool is_directory(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

bool make_directories(const std::string& directory)
{
    for (size_t end = directory.find('/', 1);; end = directory.find('/', end + 1)) {
        const std::string part = directory.substr(0, end);
        if (!part.empty() && !is_directory(part) && mkdir(part.c_str(), 0777) != 0 &&
            !is_directory(part))
            return false;
        if (end == std::string::npos) return true;
    }
}

char path_separator() { return '/'; }

bool is_path_separator(char c) { return c == '/'; }

}  // namespace platform
