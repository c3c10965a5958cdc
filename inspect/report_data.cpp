#include "report_data.h"

#include <cstdio>

namespace {

// Which reports hold a figure: most every report; the clusters' own figures
// only one with a defect map, and one without holds "defects.clusters" alone.
enum class Held { always, with_defect_map, without_defect_map };

// A figure as the report knows it: everything about it in one place, so
// that metrics.json, the page and the summary cannot disagree on it.
struct Definition {
    const char* key;
    bool count;
    Held held;
    std::optional<double> (*value)(const ReportData&);
    const char* meaning;
    SummaryPlace place;
};

template <typename T>
std::optional<double> figure(T value)
{
    return static_cast<double>(value);
}

std::optional<double> figure(std::optional<double> value) { return value; }

template <typename T>
std::optional<double> with_defect_map(const ReportData& d, T value)
{
    return d.has_defect_map ? figure(value) : std::nullopt;
}

template <typename T>
std::optional<double> with_shading_map(const ReportData& d, T value)
{
    return d.has_shading_map ? figure(value) : std::nullopt;
}

constexpr bool counted = true;
constexpr bool measured = false;
constexpr bool before = false;
constexpr bool after = true;
using Row = SummaryRow;
using D = const ReportData&;

// In the order of metrics.json.
const Definition definitions[] = {
    {"frames.count",
     counted,
     Held::always,
     [](D d) { return figure(d.frame_count); },
     "frames read",
     {Row::frames, before, "", ""}},
    {"frames.width",
     counted,
     Held::always,
     [](D d) { return figure(d.width); },
     "frame width in pixels",
     {Row::frames, before, " of ", ""}},
    {"frames.height",
     counted,
     Held::always,
     [](D d) { return figure(d.height); },
     "frame height in pixels",
     {Row::frames, before, " x ", ""}},
    {"frames.mean",
     measured,
     Held::always,
     [](D d) { return figure(d.frames_mean); },
     "mean grey level of the mean image",
     {Row::frames, after, "mean ", ""}},
    {"frames.temporal_noise",
     measured,
     Held::always,
     [](D d) { return d.temporal_noise; },
     "root mean square of each pixel's spread across the frames",
     {Row::frames, after, ", temporal noise ", ""}},
    {"defects.map_pixels",
     counted,
     Held::always,
     [](D d) { return with_defect_map(d, d.map_pixels); },
     "single-pixel entries of the defect map",
     {Row::defect_map, before, "", " pixels"}},
    {"defects.map_columns",
     counted,
     Held::always,
     [](D d) { return with_defect_map(d, d.map_columns); },
     "column entries of the defect map",
     {Row::defect_map, after, "", " columns"}},
    {"defects.clusters",
     measured,
     Held::without_defect_map,
     [](D) { return std::optional<double>(); },
     "the map's pixel entries in 8-connected clusters",
     {}},
    {"defects.clusters.1",
     counted,
     Held::with_defect_map,
     [](D d) { return figure(d.clusters.single); },
     "clusters of one pixel",
     {Row::defect_map, after, ", clusters ", ""}},
    {"defects.clusters.2-4",
     counted,
     Held::with_defect_map,
     [](D d) { return figure(d.clusters.two_to_four); },
     "clusters of two to four pixels",
     {Row::defect_map, after, " / ", ""}},
    {"defects.clusters.5+",
     counted,
     Held::with_defect_map,
     [](D d) { return figure(d.clusters.five_or_more); },
     "clusters of five pixels or more",
     {Row::defect_map, after, " / ", ""}},
    {"defects.clusters.largest",
     counted,
     Held::with_defect_map,
     [](D d) { return figure(d.clusters.largest); },
     "pixels of the largest cluster",
     {Row::defect_map, after, ", largest ", ""}},
    {"defects.outliers_bright",
     counted,
     Held::always,
     [](D d) { return figure(d.outliers_bright); },
     "pixels above their window mean by more than the threshold",
     {Row::outliers, before, "", " bright"}},
    {"defects.outliers_dark",
     counted,
     Held::always,
     [](D d) { return figure(d.outliers_dark); },
     "pixels below their window mean by more than the threshold",
     {Row::outliers, after, "", " dark"}},
    {"defects.confirmed",
     counted,
     Held::always,
     [](D d) { return with_defect_map(d, d.agreement.confirmed); },
     "outliers the map holds",
     {Row::map_vs_outliers, before, "", " confirmed"}},
    {"defects.stale",
     counted,
     Held::always,
     [](D d) { return with_defect_map(d, d.agreement.stale); },
     "map pixel entries that are no outlier in these frames",
     {Row::map_vs_outliers, after, "", " stale"}},
    {"defects.missed",
     counted,
     Held::always,
     [](D d) { return with_defect_map(d, d.agreement.missed); },
     "outliers the map lacks",
     {Row::map_vs_outliers, after, ", ", " missed"}},
    {"defects.deviating_before",
     measured,
     Held::always,
     [](D d) { return figure(d.deviating_before); },
     "outliers, % of all pixels",
     {Row::deviating, before, "", ""}},
    {"defects.deviating_after",
     measured,
     Held::always,
     [](D d) { return with_defect_map(d, d.deviating_after); },
     "outliers after defect correction, % of all pixels",
     {Row::deviating, after, "", ""}},
    {"shading.blocks_x",
     counted,
     Held::always,
     [](D d) { return with_shading_map(d, d.blocks_x); },
     "shading map blocks across",
     {Row::shading_map, before, "", ""}},
    {"shading.blocks_y",
     counted,
     Held::always,
     [](D d) { return with_shading_map(d, d.blocks_y); },
     "shading map blocks down",
     {Row::shading_map, before, " x ", ""}},
    {"shading.gain_min",
     measured,
     Held::always,
     [](D d) { return with_shading_map(d, d.gains.min); },
     "smallest gain",
     {Row::shading_map, after, "gains ", ""}},
    {"shading.gain_max",
     measured,
     Held::always,
     [](D d) { return with_shading_map(d, d.gains.max); },
     "largest gain",
     {Row::shading_map, after, " to ", ""}},
    {"shading.gain_mean",
     measured,
     Held::always,
     [](D d) { return with_shading_map(d, d.gains.mean); },
     "mean gain",
     {Row::shading_map, after, ", mean ", ""}},
    {"shading.gains_clamped",
     counted,
     Held::always,
     [](D d) { return with_shading_map(d, d.gains.clamped); },
     "gains of 16 or more, which the camera cannot hold",
     {Row::shading_map, after, ", ", " clamped"}},
    {"shading.spread_before",
     measured,
     Held::always,
     [](D d) { return d.blocks_before.spread; },
     "(largest - smallest) / mean of the block means, %",
     {Row::block_spread, before, "", ""}},
    {"shading.spread_after",
     measured,
     Held::always,
     [](D d) { return with_shading_map(d, d.blocks_after.spread); },
     "the same after shading correction, %",
     {Row::block_spread, after, "", ""}},
    {"shading.scatter_before",
     measured,
     Held::always,
     [](D d) { return d.blocks_before.scatter; },
     "standard deviation / mean of the block means, %",
     {Row::block_scatter, before, "", ""}},
    {"shading.scatter_after",
     measured,
     Held::always,
     [](D d) { return with_shading_map(d, d.blocks_after.scatter); },
     "the same after shading correction, %",
     {Row::block_scatter, after, "", ""}},
    {"shading.corner_centre_before",
     measured,
     Held::always,
     [](D d) { return d.blocks_before.corner_centre; },
     "corner blocks' mean / centre block's mean",
     {Row::corner_centre, before, "", ""}},
    {"shading.corner_centre_after",
     measured,
     Held::always,
     [](D d) { return with_shading_map(d, d.blocks_after.corner_centre); },
     "the same after shading correction",
     {Row::corner_centre, after, "", ""}},
    {"nonuniformity.before",
     measured,
     Held::always,
     [](D d) { return d.nonuniformity_before; },
     "standard deviation / mean of the pixels, %",
     {Row::nonuniformity, before, "", ""}},
    {"nonuniformity.after",
     measured,
     Held::always,
     [](D d) { return d.nonuniformity_after; },
     "the same after both maps are applied, %",
     {Row::nonuniformity, after, "", ""}},
};

bool held_in(const Definition& definition, bool has_defect_map)
{
    switch (definition.held) {
    case Held::with_defect_map: return has_defect_map;
    case Held::without_defect_map: return !has_defect_map;
    default: return true;
    }
}

}  // namespace

std::vector<Metric> report_metrics(const ReportData& data)
{
    std::vector<Metric> metrics;
    for (const Definition& d : definitions)
        if (held_in(d, data.has_defect_map))
            metrics.push_back(Metric{d.key, d.value(data), d.count, d.meaning, d.place});
    return metrics;
}

std::vector<std::string> metric_keys()
{
    std::vector<std::string> keys;
    for (const Definition& d : definitions)
        if (held_in(d, true)) keys.push_back(d.key);
    return keys;
}

std::string metric_text(const Metric& metric, const char* none_text)
{
    if (!metric.value) return none_text;
    char text[64];
    if (metric.count)
        std::snprintf(text, sizeof text, "%.0f", *metric.value);
    else
        std::snprintf(text, sizeof text, "%.6g", *metric.value);
    return text;
}

const Metric* find_metric(const std::vector<Metric>& metrics, const std::string& key)
{
    for (const Metric& metric : metrics)
        if (metric.key == key) return &metric;
    return nullptr;
}
