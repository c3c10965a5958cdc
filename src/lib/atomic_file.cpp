#include "lib/atomic_file.h"

#include "platform/file_replace.h"

namespace {

bool file_exists(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

// A name beside the target that no file holds yet, so a file of the user's
// that happens to carry the first choice is never overwritten.
std::string free_temporary_name(const std::string& target)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = target + ".kd" + std::to_string(attempt) + ".tmp";
        if (!file_exists(name)) return name;
    }
    return std::string();
}

// An existing file that the user may not write (a read-only file, the
// read-only attribute on Windows) is refused, as writing it in place would be.
// Appending opens it for writing without changing a byte.
bool may_overwrite(const std::string& path)
{
    if (!file_exists(path)) return true;
    if (platform::marked_read_only(path.c_str())) return false;
    FILE* file = std::fopen(path.c_str(), "ab");
    if (!file) return false;
    std::fclose(file);
    return true;
}

}  // namespace

AtomicFile::AtomicFile(const char* target)
    : target_(target ? target : ""), stream_(nullptr), failed_(false)
{
    if (target_.empty()) return;
    // Through a symbolic link the file it points to is replaced; the link stays.
    target_ = platform::written_file(target_.c_str());
    if (!may_overwrite(target_)) return;
    temporary_ = free_temporary_name(target_);
    if (temporary_.empty()) return;
    stream_ = std::fopen(temporary_.c_str(), "wb");
    if (stream_ && file_exists(target_))
        platform::keep_file_mode(target_.c_str(), temporary_.c_str());
}

AtomicFile::~AtomicFile()
{
    if (stream_) {
        std::fclose(stream_);
        std::remove(temporary_.c_str());
    }
}

bool AtomicFile::write(const void* bytes, size_t size)
{
    if (!stream_ || failed_) return false;
    if (size > 0 && std::fwrite(bytes, 1, size, stream_) != size) failed_ = true;
    return !failed_;
}

bool AtomicFile::commit()
{
    if (!stream_) return false;
    if (std::ferror(stream_) || std::fflush(stream_) != 0) failed_ = true;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (failed_ || !closed || !platform::replace_file(temporary_.c_str(), target_.c_str())) {
        std::remove(temporary_.c_str());
        return false;
    }
    return true;
}
