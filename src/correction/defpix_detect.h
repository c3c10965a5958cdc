// Finding defect pixels in the mean of the loaded images: every pixel that
// lies more than a threshold above or below the mean of a large window around
// it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

class DefpixTable;
class FloatMap;
class ImageBW;

// Kept from one map creation to the next within a run.
struct DetectionSettings {
    int32_t lt_v = 16;   // threshold
    int32_t lt_w = 128;  // window width
};

// Turns the image in place into a mask: 255 where a pixel lies strictly more
// than t above or below the rounded-down mean of the window of wh × wv pixels
// around it (an even window reaches one pixel further right and down; pixels
// outside the image do not count), 0 elsewhere. Windows below 1 count as 1.
void box_filter_threshold(ImageBW& image, int32_t wh, int32_t wv, int32_t t);

// --create_defpix_map: takes the given threshold and width into the settings
// (a width below 1 is refused and the previous one kept), then adds every
// outlier of the mean image to the defect table and empties the image
// accumulation, whether or not there was anything to detect. False when it
// reported a failure: no image, no memory, a refused width, a full table.
bool create_defpix_map(std::unique_ptr<FloatMap>& img_accum, int32_t& img_count,
                       DetectionSettings& settings, DefpixTable& table,
                       std::optional<int32_t> threshold = std::nullopt,
                       std::optional<int32_t> width = std::nullopt);
