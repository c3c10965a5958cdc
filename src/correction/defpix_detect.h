// Finding defect pixels in the mean of the loaded images: every pixel that
// lies more than a threshold above or below the mean of a large window around
// it.
#pragma once

#include <cstdint>
#include <optional>

// The filter and outlier rule detection runs, which its callers compare with.
#include "correction/box_filter.h"

class DefpixTable;
class ImageBW;
class MeanImage;

// Kept from one map creation to the next within a run.
struct DetectionSettings {
    int32_t lt_v = 16;   // threshold
    int32_t lt_w = 128;  // window width
};

// --create_defpix_map: takes the given threshold and width into the settings
// (a width below 1 is refused and the previous one kept), then adds every
// outlier of the mean image to the defect table. `mean` is none when no image
// was loaded. False when it reported a failure: no image, no memory, a refused
// width, a full table.
bool create_defpix_map(const MeanImage* mean, DetectionSettings& settings, DefpixTable& table,
                       std::optional<int32_t> threshold = std::nullopt,
                       std::optional<int32_t> width = std::nullopt);
