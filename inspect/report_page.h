// The report's text files and its summary: metrics.json for scripts,
// report.html for a person, and the short table printed on standard output.
#pragma once

#include <string>
#include <vector>

#include "report_data.h"
#include "verdict.h"

// What the report was made from, as the page names it.
struct ReportInputs {
    std::vector<std::string> frames;
    std::string defect_map;   // empty: none given
    std::string shading_map;  // empty: none given
};

// The figures nested by the parts of their keys, two spaces an indent, and
// the verdict after them when there is one (`verdict` null: none).
std::string metrics_json(const std::vector<Metric>& metrics, const Verdict* verdict);

// The page: the verdict with its requirements, failing ones first, when
// there is one; the summary table, one row a figure with its key; then the
// pictures beside it (gains.png only with a shading map).
std::string report_html(const ReportInputs& inputs, const ReportData& data,
                        const std::vector<Metric>& metrics, const Verdict* verdict);

// A few lines: each figure with its value before and after the maps.
std::string summary_text(const ReportData& data, const std::vector<Metric>& metrics);

// One line a requirement, in the order given, with its figure's value and
// whether it holds; then the verdict's line, PASS or FAIL in its last column.
std::string verdict_text(const Verdict& verdict);
