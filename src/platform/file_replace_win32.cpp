#include "platform/file_replace.h"

#include <windows.h>

#include <vector>

namespace platform {

bool replace_file(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::string written_file(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return path;
    std::vector<char> final_path(MAX_PATH + 1);
    DWORD length = GetFinalPathNameByHandleA(file, final_path.data(),
                                             static_cast<DWORD>(final_path.size()), 0);
    if (length >= final_path.size()) {
        final_path.resize(length + 1);
        length = GetFinalPathNameByHandleA(file, final_path.data(),
                                           static_cast<DWORD>(final_path.size()), 0);
    }
    CloseHandle(file);
    if (length == 0 || length >= final_path.size()) return path;
    return std::string(final_path.data(), length);
}

bool marked_read_only(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// Access on Windows comes from the folder's inherited ACL, as it does for a
// file created in place; the read-only attribute is refused before writing.
void keep_file_mode(const char*, const char*) {}

}  // namespace platform
