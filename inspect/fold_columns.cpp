#include "fold_columns.h"

#include <cstdio>
#include <map>
#include <vector>

#include "correction/defpix.h"
#include "correction/defpix_file.h"
#include "map_input.h"

std::vector<FoldedColumn> fold_columns(DefpixTable& table, int32_t height, double min_fraction)
{
    std::map<int32_t, int32_t> pixels_in_column;
    std::map<int32_t, bool> column_entry;
    for (const DefpixEntry& entry : table) {
        if (entry.kind >= defpix_kind_column)
            column_entry[entry.x] = true;
        else if (entry.y >= 0 && entry.y < height)
            ++pixels_in_column[entry.x];
    }
    const double needed = min_fraction * static_cast<double>(height);
    // A column with a column entry already takes in all its pixel entries.
    auto folds = [&](int32_t x) {
        return column_entry.count(x) != 0 || static_cast<double>(pixels_in_column[x]) >= needed;
    };

    std::vector<DefpixEntry> kept;
    std::vector<FoldedColumn> folded;
    std::map<int32_t, size_t> column_at;  // x -> index into `folded`
    auto note = [&](int32_t x, bool had_column_entry) -> FoldedColumn& {
        auto found = column_at.find(x);
        if (found != column_at.end()) return folded[found->second];
        column_at[x] = folded.size();
        folded.push_back(FoldedColumn{x, 0, had_column_entry});
        return folded.back();
    };
    for (const DefpixEntry& entry : table) {
        if (entry.kind >= defpix_kind_column) {
            kept.push_back(entry);
            continue;
        }
        if (!folds(entry.x)) {
            kept.push_back(entry);
            continue;
        }
        const bool had_column_entry = column_entry.count(entry.x) != 0;
        FoldedColumn& column = note(entry.x, had_column_entry);
        if (!had_column_entry && column.pixels == 0)
            kept.push_back(DefpixEntry{entry.x, entry.y, defpix_kind_column});
        ++column.pixels;
    }
    table.clear();
    for (const DefpixEntry& entry : kept) table.defpix_add(entry.x, entry.y, entry.kind);
    return folded;
}

int run_fold_columns(const FoldOptions& options)
{
    DefpixTable table;
    std::string error;
    if (!read_defpix_map_strictly(table, options.in, error)) {
        std::fprintf(stderr, "kd-inspect fold-columns: %s\n", error.c_str());
        return 2;
    }
    const int32_t before = table.defpix_count();
    const std::vector<FoldedColumn> folded =
        fold_columns(table, options.height, options.min_fraction);
    if (!write_defpix_map(table, options.out.c_str())) {
        std::fprintf(stderr, "kd-inspect fold-columns: %s: cannot be written\n",
                     options.out.c_str());
        return 2;
    }
    for (const FoldedColumn& column : folded) {
        if (column.had_column_entry)
            std::printf("column %d: its column entry takes in %d pixel entries\n", column.x,
                        column.pixels);
        else
            std::printf("column %d: %d pixel entries folded into one column entry\n", column.x,
                        column.pixels);
    }
    std::printf("entries: %d before, %d after\n", before, table.defpix_count());
    return 0;
}
