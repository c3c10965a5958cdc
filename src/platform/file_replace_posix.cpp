#include "platform/file_replace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace platform {

namespace {

// More links in a row than this is a loop; the kernel gives up at 40 too.
constexpr int most_links_followed = 40;

std::string link_text(const std::string& path)
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0) return std::string();
        if (static_cast<size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

std::string folder_of(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool replace_file(const char* from, const char* to) { return std::rename(from, to) == 0; }

std::string written_file(const char* path)
{
    std::string current = path;
    for (int hop = 0; hop < most_links_followed; ++hop) {
        struct stat status;
        if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
        const std::string target = link_text(current);
        if (target.empty()) return current;
        current = target[0] == '/' ? target : folder_of(current) + target;
    }
    return current;
}

bool marked_read_only(const char*) { return false; }

void keep_file_mode(const char* existing, const char* replacement)
{
    struct stat status;
    if (stat(existing, &status) != 0) return;
    // Only root may hand a file to another owner; anyone else keeps their own.
    if (chown(replacement, status.st_uid, status.st_gid) != 0) {
        // Not allowed: the replacement stays the writer's, as a new file would.
    }
    chmod(replacement, status.st_mode & 07777);
}

}  // namespace platform
