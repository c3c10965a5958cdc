#include "report_data.h"

#include <cstdio>

namespace {

void add(std::vector<Metric>& metrics, const char* key, std::optional<double> value,
         bool count = false)
{
    metrics.push_back(Metric{key, value, count});
}

void add_count(std::vector<Metric>& metrics, const char* key, std::optional<int64_t> value)
{
    add(metrics, key, value ? std::optional<double>(static_cast<double>(*value)) : std::nullopt,
        true);
}

template <typename T>
std::optional<T> when(bool given, T value)
{
    return given ? std::optional<T>(value) : std::nullopt;
}

}  // namespace

std::vector<Metric> report_metrics(const ReportData& d)
{
    std::vector<Metric> m;
    add_count(m, "frames.count", d.frame_count);
    add_count(m, "frames.width", d.width);
    add_count(m, "frames.height", d.height);
    add(m, "frames.mean", d.frames_mean);
    add(m, "frames.temporal_noise", d.temporal_noise);

    const bool defects = d.has_defect_map;
    add_count(m, "defects.map_pixels", when(defects, d.map_pixels));
    add_count(m, "defects.map_columns", when(defects, d.map_columns));
    if (defects) {
        add_count(m, "defects.clusters.1", d.clusters.single);
        add_count(m, "defects.clusters.2-4", d.clusters.two_to_four);
        add_count(m, "defects.clusters.5+", d.clusters.five_or_more);
        add_count(m, "defects.clusters.largest", d.clusters.largest);
    } else {
        add(m, "defects.clusters", std::nullopt);
    }
    add_count(m, "defects.outliers_bright", d.outliers_bright);
    add_count(m, "defects.outliers_dark", d.outliers_dark);
    add_count(m, "defects.confirmed", when(defects, d.agreement.confirmed));
    add_count(m, "defects.stale", when(defects, d.agreement.stale));
    add_count(m, "defects.missed", when(defects, d.agreement.missed));
    add(m, "defects.deviating_before", d.deviating_before);
    add(m, "defects.deviating_after", when(defects, d.deviating_after));

    const bool shading = d.has_shading_map;
    add_count(m, "shading.blocks_x", when<int64_t>(shading, d.blocks_x));
    add_count(m, "shading.blocks_y", when<int64_t>(shading, d.blocks_y));
    add(m, "shading.gain_min", when(shading, d.gains.min));
    add(m, "shading.gain_max", when(shading, d.gains.max));
    add(m, "shading.gain_mean", when(shading, d.gains.mean));
    add_count(m, "shading.gains_clamped", when(shading, d.gains.clamped));
    add(m, "shading.spread_before", d.blocks_before.spread);
    add(m, "shading.spread_after", shading ? d.blocks_after.spread : std::nullopt);
    add(m, "shading.scatter_before", d.blocks_before.scatter);
    add(m, "shading.scatter_after", shading ? d.blocks_after.scatter : std::nullopt);
    add(m, "shading.corner_centre_before", d.blocks_before.corner_centre);
    add(m, "shading.corner_centre_after", shading ? d.blocks_after.corner_centre : std::nullopt);

    add(m, "nonuniformity.before", d.nonuniformity_before);
    add(m, "nonuniformity.after", d.nonuniformity_after);
    return m;
}

std::vector<std::string> metric_keys()
{
    ReportData both_maps;
    both_maps.has_defect_map = true;
    both_maps.has_shading_map = true;
    std::vector<std::string> keys;
    for (const Metric& metric : report_metrics(both_maps)) keys.push_back(metric.key);
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
