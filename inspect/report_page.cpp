#include "report_page.h"

#include <algorithm>
#include <cstdio>

namespace {

const char* const none_shown = "\xE2\x80\x93";  // an en dash

std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::vector<std::string> key_parts(const std::string& key)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t dot = key.find('.'); dot != std::string::npos; dot = key.find('.', start)) {
        parts.push_back(key.substr(start, dot - start));
        start = dot + 1;
    }
    parts.push_back(key.substr(start));
    return parts;
}

std::string indent(size_t depth) { return std::string(2 * depth, ' '); }

// What each figure means, for the page's readers.
struct Explanation {
    const char* key;
    const char* text;
};

const Explanation explanations[] = {
    {"frames.count", "frames read"},
    {"frames.width", "frame width in pixels"},
    {"frames.height", "frame height in pixels"},
    {"frames.mean", "mean grey level of the mean image"},
    {"frames.temporal_noise", "root mean square of each pixel's spread across the frames"},
    {"defects.map_pixels", "single-pixel entries of the defect map"},
    {"defects.map_columns", "column entries of the defect map"},
    {"defects.clusters", "the map's pixel entries in 8-connected clusters"},
    {"defects.clusters.1", "clusters of one pixel"},
    {"defects.clusters.2-4", "clusters of two to four pixels"},
    {"defects.clusters.5+", "clusters of five pixels or more"},
    {"defects.clusters.largest", "pixels of the largest cluster"},
    {"defects.outliers_bright", "pixels above their window mean by more than the threshold"},
    {"defects.outliers_dark", "pixels below their window mean by more than the threshold"},
    {"defects.confirmed", "outliers the map holds"},
    {"defects.stale", "map pixel entries that are no outlier in these frames"},
    {"defects.missed", "outliers the map lacks"},
    {"defects.deviating_before", "outliers, % of all pixels"},
    {"defects.deviating_after", "outliers after defect correction, % of all pixels"},
    {"shading.blocks_x", "shading map blocks across"},
    {"shading.blocks_y", "shading map blocks down"},
    {"shading.gain_min", "smallest gain"},
    {"shading.gain_max", "largest gain"},
    {"shading.gain_mean", "mean gain"},
    {"shading.gains_clamped", "gains of 16 or more, which the camera cannot hold"},
    {"shading.spread_before", "(largest - smallest) / mean of the block means, %"},
    {"shading.spread_after", "the same after shading correction, %"},
    {"shading.scatter_before", "standard deviation / mean of the block means, %"},
    {"shading.scatter_after", "the same after shading correction, %"},
    {"shading.corner_centre_before", "corner blocks' mean / centre block's mean"},
    {"shading.corner_centre_after", "the same after shading correction"},
    {"nonuniformity.before", "standard deviation / mean of the pixels, %"},
    {"nonuniformity.after", "the same after both maps are applied, %"},
};

const char* explanation_of(const std::string& key)
{
    for (const Explanation& e : explanations)
        if (key == e.key) return e.text;
    return "";
}

std::string figure(const std::vector<Metric>& metrics, const char* key)
{
    const Metric* metric = find_metric(metrics, key);
    return metric ? metric_text(*metric, "-") : "-";
}

std::string summary_line(const char* label, const std::string& before, const std::string& after)
{
    char line[256];
    std::snprintf(line, sizeof line, "%-20s %-18s %s\n", label, before.c_str(), after.c_str());
    return line;
}

std::string padded(const std::string& text, size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

const char* const no_value = "no value";

std::string held_text(const Verdict& verdict)
{
    return std::to_string(verdict.held()) + " of " + std::to_string(verdict.requirements.size()) +
           (verdict.requirements.size() == 1 ? " requirement holds" : " requirements hold");
}

std::string verdict_json(const Verdict& verdict)
{
    std::string json = ",\n  \"verdict\": {\n    \"pass\": ";
    json += verdict.pass() ? "true" : "false";
    json += ",\n    \"requirements\": [";
    const char* separator = "\n";
    for (const Judged& judged : verdict.requirements) {
        json += separator;
        json += "      {\"key\": \"" + judged.requirement.key + "\", \"op\": \"" +
                judged.requirement.op + "\", \"limit\": " + limit_text(judged.requirement.limit) +
                ", \"value\": " + metric_text(judged.metric, "null") +
                ", \"pass\": " + (judged.pass ? "true" : "false") + "}";
        separator = ",\n";
    }
    return json + "\n    ]\n  }";
}

// What a reader must act on comes first: the failing requirements, each
// part in the order given.
std::string verdict_html(const Verdict& verdict)
{
    const char* result = verdict.pass() ? "PASS" : "FAIL";
    std::string html = std::string("<h2 id=\"verdict\" class=\"") +
                       (verdict.pass() ? "pass" : "fail") + "\">" + result + ": " +
                       held_text(verdict) + "</h2>\n";
    html +=
        "<table id=\"requirements\">\n"
        "<tr><th>requirement</th><th>value</th><th>result</th></tr>\n";
    std::vector<Judged> failing_first = verdict.requirements;
    std::stable_partition(failing_first.begin(), failing_first.end(),
                          [](const Judged& judged) { return !judged.pass; });
    for (const Judged& judged : failing_first)
        html += std::string("<tr class=\"") + (judged.pass ? "pass" : "fail") + "\"><td><code>" +
                escaped(requirement_text(judged.requirement)) + "</code></td><td class=\"value\">" +
                metric_text(judged.metric, no_value) + "</td><td>" +
                (judged.pass ? "pass" : "FAIL") + "</td></tr>\n";
    return html + "</table>\n";
}

const char* const page_style =
    "body{font-family:sans-serif;margin:2em;color:#222}"
    "table{border-collapse:collapse;margin-bottom:2em}"
    "td,th{border-bottom:1px solid #ddd;padding:3px 10px;text-align:left}"
    "td.value{text-align:right;font-variant-numeric:tabular-nums}"
    "figure{margin:0 0 2em 0}figcaption{margin-top:.4em;color:#555}"
    ".bright{color:#e61e1e}.dark{color:#1e6eff}.map{color:#c89600}"
    ".pass{color:#1a7f37}.fail{color:#c62828}";

std::string picture_html(const char* file, const char* caption)
{
    return std::string("<figure><img src=\"") + file + "\" alt=\"" + file + "\"><figcaption>" +
           caption + "</figcaption></figure>\n";
}

}  // namespace

std::string metrics_json(const std::vector<Metric>& metrics, const Verdict* verdict)
{
    std::string json = "{";
    std::vector<std::string> open;  // the objects open around the current key
    bool first_in_object = true;
    for (const Metric& metric : metrics) {
        const std::vector<std::string> parts = key_parts(metric.key);
        size_t shared = 0;
        while (shared < open.size() && shared + 1 < parts.size() && open[shared] == parts[shared])
            ++shared;
        while (open.size() > shared) {
            open.pop_back();
            json += "\n" + indent(open.size() + 1) + "}";
            first_in_object = false;
        }
        for (size_t i = shared; i + 1 < parts.size(); ++i) {
            json += (first_in_object ? "\n" : ",\n") + indent(open.size() + 1) + "\"" + parts[i] +
                    "\": {";
            open.push_back(parts[i]);
            first_in_object = true;
        }
        json += (first_in_object ? "\n" : ",\n") + indent(open.size() + 1) + "\"" + parts.back() +
                "\": " + metric_text(metric, "null");
        first_in_object = false;
    }
    while (!open.empty()) {
        open.pop_back();
        json += "\n" + indent(open.size() + 1) + "}";
    }
    if (verdict) json += verdict_json(*verdict);
    return json + "\n}\n";
}

std::string report_html(const ReportInputs& inputs, const ReportData& data,
                        const std::vector<Metric>& metrics, const Verdict* verdict)
{
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>Calibration report</title>\n<style>";
    html += page_style;
    html += "</style>\n</head>\n<body>\n<h1>Calibration report</h1>\n";
    if (verdict) html += verdict_html(*verdict);
    html += "<p>";
    html += std::to_string(inputs.frames.size()) + " frame" +
            (inputs.frames.size() == 1 ? "" : "s") + " of " + std::to_string(data.width) +
            " &times; " + std::to_string(data.height) + " pixels";
    if (!inputs.defect_map.empty())
        html += "; defect map <code>" + escaped(inputs.defect_map) + "</code>";
    if (!inputs.shading_map.empty())
        html += "; shading map <code>" + escaped(inputs.shading_map) + "</code>";
    html += "; detection with window " + std::to_string(data.window) + " and threshold " +
            std::to_string(data.threshold) + ".</p>\n";

    html += "<table id=\"summary\">\n<tr><th>figure</th><th>value</th><th>meaning</th></tr>\n";
    for (const Metric& metric : metrics)
        html += "<tr><td><code>" + metric.key + "</code></td><td class=\"value\" data-key=\"" +
                metric.key + "\">" + metric_text(metric, none_shown) + "</td><td>" +
                explanation_of(metric.key) + "</td></tr>\n";
    html += "</table>\n";

    if (data.has_shading_map)
        html += picture_html("gains.png",
                             "Shading gains, one cell per block, with their colour scale.");
    html += picture_html(
        "defects.png",
        "The mean image; <span class=\"map\">defect map entries ringed, its columns as "
        "lines</span>; outliers <span class=\"bright\">above</span> and <span "
        "class=\"dark\">below</span> their window mean.");
    html += picture_html("profiles.svg",
                         "Row and column means of the 8-bit mean image, before and after the "
                         "maps are applied.");
    html += picture_html("deviation.svg",
                         "Pixels deviating from their window mean by more than x, before and "
                         "after defect correction.");
    return html + "</body>\n</html>\n";
}

std::string summary_text(const ReportData& data, const std::vector<Metric>& m)
{
    std::string text = summary_line("", "before", "after");
    text += summary_line("frames",
                         figure(m, "frames.count") + " of " + figure(m, "frames.width") + " x " +
                             figure(m, "frames.height"),
                         "mean " + figure(m, "frames.mean") + ", temporal noise " +
                             figure(m, "frames.temporal_noise"));
    text += summary_line("outliers", figure(m, "defects.outliers_bright") + " bright",
                         figure(m, "defects.outliers_dark") + " dark");
    if (data.has_defect_map) {
        text += summary_line("defect map", figure(m, "defects.map_pixels") + " pixels",
                             figure(m, "defects.map_columns") + " columns, clusters " +
                                 figure(m, "defects.clusters.1") + " / " +
                                 figure(m, "defects.clusters.2-4") + " / " +
                                 figure(m, "defects.clusters.5+") + ", largest " +
                                 figure(m, "defects.clusters.largest"));
        text += summary_line(
            "map vs outliers", figure(m, "defects.confirmed") + " confirmed",
            figure(m, "defects.stale") + " stale, " + figure(m, "defects.missed") + " missed");
    }
    text += summary_line("deviating %", figure(m, "defects.deviating_before"),
                         figure(m, "defects.deviating_after"));
    if (data.has_shading_map)
        text += summary_line(
            "shading map", figure(m, "shading.blocks_x") + " x " + figure(m, "shading.blocks_y"),
            "gains " + figure(m, "shading.gain_min") + " to " + figure(m, "shading.gain_max") +
                ", mean " + figure(m, "shading.gain_mean") + ", " +
                figure(m, "shading.gains_clamped") + " clamped");
    text += summary_line("block spread %", figure(m, "shading.spread_before"),
                         figure(m, "shading.spread_after"));
    text += summary_line("block scatter %", figure(m, "shading.scatter_before"),
                         figure(m, "shading.scatter_after"));
    text += summary_line("corner / centre", figure(m, "shading.corner_centre_before"),
                         figure(m, "shading.corner_centre_after"));
    text += summary_line("nonuniformity %", figure(m, "nonuniformity.before"),
                         figure(m, "nonuniformity.after"));
    return text;
}

std::string verdict_text(const Verdict& verdict)
{
    // The first column as wide as the summary's, wider for a long requirement,
    // so that values and results line up under its "before" and "after".
    size_t width = 20;
    for (const Judged& judged : verdict.requirements)
        width = std::max(width, requirement_text(judged.requirement).size());
    const auto line = [width](const std::string& first, const std::string& second,
                              const char* third) {
        return padded(first, width) + " " + padded(second, 18) + " " + third + "\n";
    };
    std::string text = line("requirement", "value", "result");
    for (const Judged& judged : verdict.requirements)
        text += line(requirement_text(judged.requirement), metric_text(judged.metric, no_value),
                     judged.pass ? "pass" : "FAIL");
    const std::string held = std::to_string(verdict.held()) + " of " +
                             std::to_string(verdict.requirements.size()) + " hold";
    return text + line("verdict", held, verdict.pass() ? "PASS" : "FAIL");
}
