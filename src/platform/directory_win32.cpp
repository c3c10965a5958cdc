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

namespace {

bool is_directory(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool make_directories(const std::string& directory)
{
    for (size_t end = directory.find_first_of("\\/", 1);;
         end = directory.find_first_of("\\/", end + 1)) {
        const std::string part = directory.substr(0, end);
        // "C:" alone is the drive, not a directory to make.
        const bool drive = part.size() == 2 && part[1] == ':';
        if (!part.empty() && !drive && !is_directory(part) &&
            !CreateDirectoryA(part.c_str(), nullptr) && !is_directory(part))
            return false;
        if (end == std::string::npos) return true;
    }
}

char path_separator() { return '\\'; }

bool is_path_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace platform
