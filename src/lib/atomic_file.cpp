#include "lib/atomic_file.h"

#include "platform/file_replace.h"

AtomicFile::AtomicFile(const char* target)
    : target_(target), temporary_(std::string(target) + ".part"), stream_(nullptr), failed_(false)
{
    if (!target_.empty()) stream_ = std::fopen(temporary_.c_str(), "wb");
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
