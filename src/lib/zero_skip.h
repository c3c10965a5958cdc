// Finding the few non-zero bytes of a mask that is mostly zero, such as the
// outliers of an image, by passing over zero bytes many at a time.
#pragma once

#include <cstddef>
#include <cstdint>

// The index of the first non-zero byte of bytes[from, end), or end.
size_t next_nonzero(const uint8_t* bytes, size_t from, size_t end);
