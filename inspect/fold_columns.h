// kd-inspect fold-columns: a defect map whose bad columns are listed pixel by
// pixel, rewritten with one column entry each, so that it stays within the
// camera's entry limit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class DefpixTable;

struct FoldOptions {
    std::string in;
    std::string out;
    int32_t height = 0;
    double min_fraction = 0.5;
};

// A column folded or absorbed: its x and the pixel entries that went.
struct FoldedColumn {
    int32_t x;
    int32_t pixels;
    bool had_column_entry;
};

// Rewrites `table` in place: a column x with at least min_fraction × height
// distinct pixel entries (0 <= y < height) becomes one column entry where its
// first pixel entry stood (kind 4, the same x and y), and its other pixel
// entries go; an existing column entry takes in the pixel entries of its
// column and stays where it is. Every other entry keeps its place and kind.
// The columns changed, in the order of their first pixel entries.
std::vector<FoldedColumn> fold_columns(DefpixTable& table, int32_t height, double min_fraction);

// Reads IN, folds, writes OUT with the program's map writer and prints a
// line per column and the entry counts. 0 when done; 2 after printing on
// standard error why not. Out of memory throws std::bad_alloc, for
// kd-inspect's main to report.
int run_fold_columns(const FoldOptions& options);
