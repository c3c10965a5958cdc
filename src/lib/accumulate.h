// Summing BMP files into the accumulation map.
//
// The files of one call are summed band by band: a strip of lines from every
// file goes into a strip of the map that stays in the cache, instead of one
// pass over the whole map per file. Each value still receives the files'
// pixels one file after the other, in the order given, so the sums are the
// same as adding whole images one by one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lib/image_sum.h"

// A band of one file's lines as it was read, for a caller that wants more of
// the pixels than their sum.
struct FileBand {
    // The file's index in the list.
    size_t file;
    // File line k is picture line height - 1 - k.
    int32_t first_line;
    int32_t lines;
    // lines × line_size bytes, pixels of bytes_per_pixel bytes.
    const uint8_t* bytes;
    uint32_t line_size;
    uint32_t bytes_per_pixel;
};

// What the caller hears about each file, in the order of the files.
struct AccumulateEvents {
    // Before the file is looked at.
    std::function<void(const char* path)> announce;
    // The file cannot be read, has a depth the readers refuse or a size other
    // than the sum's; nothing more is done.
    std::function<void(const char* path)> failed;
    // While summing: how many of all the files' lines are summed so far.
    // Called from the first of the parts the summing is split into; like
    // band_read it may throw std::bad_alloc and nothing else, which ends the
    // summing and leaves accumulate_bmp_files once every part has stopped.
    std::function<void(int64_t lines_done, int64_t lines_total)> progress;
    // Each band of each file once it is read, on the thread that sums it:
    // calls may come from several threads at once.
    std::function<void(const FileBand& band)> band_read;
};

struct AccumulateOptions {
    // Size of the map strip that one band fills.
    uint32_t band_bytes = 1u << 20;
    // Files open at the same time; longer lists are summed in groups.
    uint32_t files_per_group = 16;
};

// The sum after a call: the files added when done; otherwise the sum as it
// was, or none (count 0) when a read error spoiled it.
struct Accumulated {
    ImageSum images;
    bool done = false;
};

// Adds the images of `paths` (8-, 24- or 32-bit BMP files), in order, to
// `images`; when it holds no sum the first image makes it, as the map's image
// constructor does. The count grows by the number of files.
//
// Every file's header is checked before anything is summed, so a file that
// fails leaves the sum and count as they were and no later file is opened.
// Only a read error after the checks (a file cut short or changed while
// being read) can fail once summing has begun: the sum then may hold part of
// an image, so an existing one is discarded; a new one is never handed out.
// Not done after `failed` in both cases.
Accumulated accumulate_bmp_files(const std::vector<std::string>& paths, ImageSum images,
                                 const AccumulateEvents& events,
                                 const AccumulateOptions& options = AccumulateOptions());
