// kd-inspect diff: two defect maps or two shading maps side by side, as a
// user checks what a camera holds against what was sent to it.
#pragma once

#include <string>

struct DiffOptions {
    std::string a;
    std::string b;
    // Compare the pixels of defect maps only: maps read back from a camera
    // hold no columns.
    bool ignore_columns = false;
};

// Prints "identical" (0) or the differences (1); 2 after printing on
// standard error why the maps cannot be compared. Out of memory throws
// std::bad_alloc, for kd-inspect's main to report.
int run_diff(const DiffOptions& options);
