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

std::string summary_line(const char* label, const std::string& before, const std::string& after)
{
    char line[256];
    std::snprintf(line, sizeof line, "%-20s %-18s %s\n", label, before.c_str(), after.c_str());
    return line;
}

// The summary's rows in order, each with its figures' place in the list of
// metrics; a row about a map only when that map was given.
struct SummaryLine {
    SummaryRow row;
    const char* label;
    bool needs_defect_map;
    bool needs_shading_map;
};

const SummaryLine summary_lines[] = {
    {SummaryRow::frames, "frames", false, false},
    {SummaryRow::outliers, "outliers", false, false},
    {SummaryRow::defect_map, "defect map", true, false},
    {SummaryRow::map_vs_outliers, "map vs outliers", true, false},
    {SummaryRow::deviating, "deviating %", false, false},
    {SummaryRow::shading_map, "shading map", false, true},
    {SummaryRow::block_spread, "block spread %", false, false},
    {SummaryRow::block_scatter, "block scatter %", false, false},
    {SummaryRow::corner_centre, "corner / centre", false, false},
    {SummaryRow::nonuniformity, "nonuniformity %", false, false},
};

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
                metric.meaning + "</td></tr>\n";
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

std::string summary_text(const ReportData& data, const std::vector<Metric>& metrics)
{
    std::string text = summary_line("", "before", "after");
    for (const SummaryLine& line : summary_lines) {
        if ((line.needs_defect_map && !data.has_defect_map) ||
            (line.needs_shading_map && !data.has_shading_map))
            continue;
        std::string columns[2];
        for (const Metric& metric : metrics)
            if (metric.place.row == line.row)
                columns[metric.place.after] +=
                    metric.place.prefix + metric_text(metric, "-") + metric.place.suffix;
        text += summary_line(line.label, columns[0], columns[1]);
    }
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
