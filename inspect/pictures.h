// The report's pictures: the shading gains as a heat map, the mean image
// with its defects, the row and column profiles and the deviation curve.
#pragma once

#include <cstdint>
#include <string>

#include "image_figures.h"
#include "outlier_scan.h"
#include "picture.h"

class DefpixTable;
class FloatMap;
class ImageBW;

// The longest side of the defects picture.
constexpr int32_t defects_picture_side = 1024;

// One cell per block, coloured from the smallest gain to the largest, with
// the colour scale and its two ends beside it.
Picture gains_picture(const FloatMap& gains);

// The 8-bit mean image scaled down to at most defects_picture_side pixels on
// its longer side (each picture pixel the mean of the block it covers), the
// map's pixel entries ringed and its columns drawn as lines, the outliers of
// `scan` marked, bright ones red and dark ones blue. Every mark is a few
// picture pixels wide, so that a single defect pixel stays visible.
Picture defects_picture(const ImageBW& mean, const DefpixTable* map, const OutlierScan& scan);

// Row means and column means, before the maps are applied and after.
std::string profiles_svg(const Profiles& before, const Profiles* after);

// The share of pixels deviating from their window mean by more than x, for
// x = 0 to largest_plotted_deviation, on a log scale; before and after
// defect correction.
std::string deviation_svg(const OutlierScan& before, const OutlierScan* after, int64_t pixels);
