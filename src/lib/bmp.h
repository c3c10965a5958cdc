// Uncompressed BMP files: 8-, 24- and 32-bit reading, 8-bit grey writing.
// Lines are exactly line_size bytes, without padding, bottom line first.
#pragma once

#include <memory>

#include "lib/image.h"

// An ImageBW, ImageRGB24 or ImageRGB32 by the file's bit depth; null when the
// file cannot be opened, is malformed or has another depth.
std::unique_ptr<Image> load_bmp(const char* path);

// The pixel area read as 8-bit grey whatever the depth; null when the file
// cannot be opened or is malformed.
std::unique_ptr<ImageBW> load_bmp_bw(const char* path);

// Writes the image as 8 bits a pixel with a grey palette. The file appears
// complete or not at all; false when it could not be written.
bool save_bmp(const Image& image, const char* path);
