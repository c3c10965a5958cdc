#include "platform/directory.h"

#include <windows.h>

#include <cstring>

namespace platform {

bool list_directory(const std::string& directory, std::vector<std::string>& names)
{
    std::string pattern = directory.empty() ? std::string(".") : directory;
    if (pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    do {
        if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0)
            continue;
        names.emplace_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return true;
}

char path_separator() { return '\\'; }

bool is_path_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace platform
