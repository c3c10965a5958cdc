// Writes a file beside its target and puts it in place only when complete, so
// a failed write never leaves a half-written file where a good one was.
#pragma once

#include <cstdio>
#include <string>

class AtomicFile {
public:
    // Opens the temporary file for binary writing; check is_open().
    explicit AtomicFile(const char* target);
    // Removes the temporary file unless commit() succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool is_open() const { return stream_ != nullptr; }
    bool write(const void* bytes, size_t size);

    // Flushes, closes and renames over the target. False (target untouched)
    // when any write, the close or the rename failed.
    bool commit();

private:
    std::string target_;
    std::string temporary_;
    FILE* stream_;
    bool failed_;
};
