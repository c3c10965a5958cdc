// kd-inspect report: how good a calibration is, from the frames it was made
// from and the maps it made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "correction/defpix_detect.h"
#include "verdict.h"

struct ReportOptions {
    std::vector<std::string> frames;
    std::string defect_map;   // empty: none
    std::string shading_map;  // empty: none
    int32_t threshold = DetectionSettings().lt_v;
    int32_t window = DetectionSettings().lt_w;
    std::string out_dir = "kd-report";
    std::vector<Requirement> requirements;  // none: no verdict
};

// Reads everything, checks it, measures, then writes the report's files
// into the folder and prints the summary. 0 when done and every requirement
// holds; 1 when done and a requirement fails; 2 after printing on standard
// error why not. Frames or maps that are refused leave nothing written. When
// a file of the report cannot be written, the folder may have been made and
// the files written before that one stay, each whole.
int run_report(const ReportOptions& options);
