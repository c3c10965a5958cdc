// What a report says, as one list of figures under their metrics.json keys:
// the same rows make metrics.json, the page's summary table and the summary
// printed on standard output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image_figures.h"
#include "map_geometry.h"
#include "outlier_scan.h"

// Everything measured for one report; what needs a map that was not given
// stays empty.
struct ReportData {
    int32_t frame_count = 0;
    int32_t width = 0;
    int32_t height = 0;
    double frames_mean = 0.0;
    std::optional<double> temporal_noise;
    int32_t threshold = 0;
    int32_t window = 0;

    int64_t outliers_bright = 0;
    int64_t outliers_dark = 0;
    double deviating_before = 0.0;

    bool has_defect_map = false;
    int64_t map_pixels = 0;
    int64_t map_columns = 0;
    ClusterCounts clusters;
    MapAgreement agreement;
    double deviating_after = 0.0;

    bool has_shading_map = false;
    int32_t blocks_x = 0;
    int32_t blocks_y = 0;
    GainFigures gains;
    BlockFigures blocks_before;
    BlockFigures blocks_after;

    std::optional<double> nonuniformity_before;
    std::optional<double> nonuniformity_after;
};

// The rows of the summary printed on standard output, in their order.
enum class SummaryRow {
    none,  // the figure is on the page and in metrics.json only
    frames,
    outliers,
    defect_map,
    map_vs_outliers,
    deviating,
    shading_map,
    block_spread,
    block_scatter,
    corner_centre,
    nonuniformity,
};

// Where a figure stands in the summary: its row, the column before or after
// the maps are applied, and the words written before and after its value.
struct SummaryPlace {
    SummaryRow row = SummaryRow::none;
    bool after = false;
    const char* prefix = "";
    const char* suffix = "";
};

// One figure: its key ("frames.count"), its value (none is null), whether
// it is a count, what it means (the page's words) and its summary place.
struct Metric {
    std::string key;
    std::optional<double> value;
    bool count = false;
    const char* meaning = "";
    SummaryPlace place = {};
};

// In the order of metrics.json. Where the defect map was not given,
// "defects.clusters" is one null row instead of its four.
std::vector<Metric> report_metrics(const ReportData& data);

// Every key a figure of a report can have, in the same order: those of a
// report with both maps ("defects.clusters" then holds figures of its own).
std::vector<std::string> metric_keys();

// A figure's value as metrics.json and the page show it: a count in whole
// digits, other figures to six significant digits, none as `none_text`.
std::string metric_text(const Metric& metric, const char* none_text);

// The metric of that key, for keys the user names; none when the list holds
// no such key.
const Metric* find_metric(const std::vector<Metric>& metrics, const std::string& key);
