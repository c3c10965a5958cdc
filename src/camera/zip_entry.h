// The one file of a zip archive, as a camera hands over a zipped GenApi
// description: only the first entry counts, so the archive's central
// directory is never needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Larger than any camera's description; a bound so that a size claimed by
// a broken archive or camera cannot make us allocate gigabytes.
constexpr size_t max_description_size = 64u << 20;

// The contents of the archive's first entry, stored or deflated. False with
// a one-line reason in `error` for anything else: a truncated or malformed
// archive, an encrypted entry, another compression method, a checksum that
// does not match, contents larger than max_description_size.
bool unzip_first_entry(const uint8_t* data, size_t size, std::string& contents, std::string& error);
