#include "map_diff.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "correction/defpix.h"
#include "correction/shading_gain.h"
#include "lib/float_map.h"
#include "map_input.h"

namespace {

constexpr size_t differences_shown = 20;

using Position = std::pair<int32_t, int32_t>;

// Pixel entries by (x, y) whatever their kind, column entries by x; each in
// the map's own order.
struct MapEntries {
    std::vector<DefpixEntry> pixels;
    std::vector<DefpixEntry> columns;
};

MapEntries entries_of(const DefpixTable& table)
{
    MapEntries entries;
    std::set<int32_t> columns;
    for (const DefpixEntry& entry : table) {
        if (entry.kind < defpix_kind_column)
            entries.pixels.push_back(entry);
        else if (columns.insert(entry.x).second)
            entries.columns.push_back(entry);
    }
    return entries;
}

struct Comparison {
    std::vector<DefpixEntry> only_a;
    std::vector<DefpixEntry> only_b;
    size_t both = 0;
};

template <typename Key, typename KeyOf>
Comparison compare(const std::vector<DefpixEntry>& a, const std::vector<DefpixEntry>& b,
                   KeyOf key_of)
{
    std::set<Key> in_a;
    std::set<Key> in_b;
    for (const DefpixEntry& entry : a) in_a.insert(key_of(entry));
    for (const DefpixEntry& entry : b) in_b.insert(key_of(entry));
    Comparison result;
    for (const DefpixEntry& entry : a) {
        if (in_b.count(key_of(entry)))
            ++result.both;
        else
            result.only_a.push_back(entry);
    }
    for (const DefpixEntry& entry : b)
        if (!in_a.count(key_of(entry))) result.only_b.push_back(entry);
    return result;
}

void print_entries(const char* what, const char* side, const std::vector<DefpixEntry>& entries)
{
    for (size_t i = 0; i < std::min(entries.size(), differences_shown); ++i)
        std::printf("only in %s: %s %d;%d;%d\n", side, what, entries[i].x, entries[i].y,
                    entries[i].kind);
    if (entries.size() > differences_shown)
        std::printf("only in %s: %zu %ss more\n", side, entries.size() - differences_shown, what);
}

void print_counts(const char* what, const Comparison& c)
{
    std::printf("%s: %zu only in A, %zu only in B, %zu in both\n", what, c.only_a.size(),
                c.only_b.size(), c.both);
}

int diff_defect_maps(const DiffOptions& options)
{
    DefpixTable a;
    DefpixTable b;
    std::string error;
    if (!read_defpix_map_strictly(a, options.a, error) ||
        !read_defpix_map_strictly(b, options.b, error)) {
        std::fprintf(stderr, "kd-inspect diff: %s\n", error.c_str());
        return 2;
    }
    const MapEntries ea = entries_of(a);
    const MapEntries eb = entries_of(b);
    const auto pixels = compare<Position>(ea.pixels, eb.pixels,
                                          [](const DefpixEntry& e) { return Position(e.x, e.y); });
    const auto columns =
        compare<int32_t>(ea.columns, eb.columns, [](const DefpixEntry& e) { return e.x; });
    const bool pixels_same = pixels.only_a.empty() && pixels.only_b.empty();
    const bool columns_same =
        options.ignore_columns || (columns.only_a.empty() && columns.only_b.empty());
    if (pixels_same && columns_same) {
        std::printf("identical\n");
        return 0;
    }
    print_counts("pixels", pixels);
    if (!options.ignore_columns) print_counts("columns", columns);
    print_entries("pixel", "A", pixels.only_a);
    print_entries("pixel", "B", pixels.only_b);
    if (!options.ignore_columns) {
        print_entries("column", "A", columns.only_a);
        print_entries("column", "B", columns.only_b);
    }
    return 1;
}

int diff_shading_maps(const DiffOptions& options)
{
    std::string error;
    const std::unique_ptr<FloatMap> a = read_shading_map_strictly(options.a, error);
    const std::unique_ptr<FloatMap> b = a ? read_shading_map_strictly(options.b, error) : nullptr;
    if (!a || !b) {
        std::fprintf(stderr, "kd-inspect diff: %s\n", error.c_str());
        return 2;
    }
    if (a->width() != b->width() || a->height() != b->height()) {
        std::printf("sizes differ: A %d x %d blocks, B %d x %d blocks\n", a->width(), a->height(),
                    b->width(), b->height());
        return 1;
    }
    const double steps_per_gain_of_one = shading_gain_scale;
    int64_t differing = 0;
    int32_t largest = 0;
    std::vector<std::pair<int32_t, int32_t>> shown;
    for (int32_t j = 0; j < a->height(); ++j)
        for (int32_t i = 0; i < a->width(); ++i) {
            const int32_t stored_a = shading_gain(a->get(i, j));
            const int32_t stored_b = shading_gain(b->get(i, j));
            if (stored_a == stored_b) continue;
            ++differing;
            largest = std::max(largest, std::abs(stored_a - stored_b));
            if (shown.size() < differences_shown) shown.emplace_back(i, j);
        }
    if (differing == 0) {
        std::printf("identical\n");
        return 0;
    }
    std::printf(
        "%lld of %d blocks differ as the camera stores them; largest difference %.6f "
        "(%d steps of 1/%d)\n",
        static_cast<long long>(differing), a->count(), largest / steps_per_gain_of_one, largest,
        shading_gain_scale);
    for (const auto& [i, j] : shown) {
        const uint16_t stored_a = shading_gain(a->get(i, j));
        const uint16_t stored_b = shading_gain(b->get(i, j));
        std::printf("block %d, %d: A %.6f (%u), B %.6f (%u)\n", i, j,
                    stored_a / steps_per_gain_of_one, static_cast<unsigned>(stored_a),
                    stored_b / steps_per_gain_of_one, static_cast<unsigned>(stored_b));
    }
    return 1;
}

}  // namespace

int run_diff(const DiffOptions& options)
{
    MapKind kind_a;
    MapKind kind_b;
    std::string error;
    if (!map_kind_of(options.a, kind_a, error) || !map_kind_of(options.b, kind_b, error)) {
        std::fprintf(stderr, "kd-inspect diff: %s\n", error.c_str());
        return 2;
    }
    if (kind_a != kind_b) {
        std::fprintf(stderr, "kd-inspect diff: %s is a %s map, %s a %s map\n", options.a.c_str(),
                     kind_a == MapKind::defect ? "defect" : "shading", options.b.c_str(),
                     kind_b == MapKind::defect ? "defect" : "shading");
        return 2;
    }
    return kind_a == MapKind::defect ? diff_defect_maps(options) : diff_shading_maps(options);
}
