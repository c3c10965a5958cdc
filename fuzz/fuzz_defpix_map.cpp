// The defect map reader on arbitrary file contents.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "correction/defpix.h"
#include "correction/defpix_file.h"
#include "quiet_console.h"

namespace {

const char* const input_path = "fuzz_defpix_map_input.map";
const char* const saved_path = "fuzz_defpix_map_saved.map";

bool same_entries(const DefpixTable& a, const DefpixTable& b)
{
    return a.defpix_count() == b.defpix_count() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](const DefpixEntry& p, const DefpixEntry& q) {
                          return p.x == q.x && p.y == q.y && p.kind == q.kind;
                      });
}

bool has_duplicate_position(const DefpixTable& table)
{
    std::vector<std::pair<int32_t, int32_t>> positions;
    for (const DefpixEntry& entry : table) positions.emplace_back(entry.x, entry.y);
    std::sort(positions.begin(), positions.end());
    return std::adjacent_find(positions.begin(), positions.end()) != positions.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quiet_console("fuzz_defpix_map.stdout");
    FILE* file = std::fopen(input_path, "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    // Kept from input to input: a table of 100000 entries is costly to make,
    // and a cleared table must behave as a new one anyway.
    static DefpixTable table;
    static DefpixTable reread;
    table.clear();
    reread.clear();
    load_defpix_map(table, input_path);
    if (table.defpix_count() < 0 || table.defpix_count() > defpix_table_capacity) __builtin_trap();
    if (has_duplicate_position(table)) __builtin_trap();
    for (const DefpixEntry& entry : table)
        if (entry.kind > defpix_kind_column) __builtin_trap();

    // Every position of the file is in the table now: a second load adds nothing.
    const int32_t loaded = table.defpix_count();
    load_defpix_map(table, input_path);
    if (table.defpix_count() != loaded) __builtin_trap();

    // What was read is written so that it reads back entry for entry.
    save_defpix_map(table, saved_path);
    load_defpix_map(reread, saved_path);
    if (!same_entries(table, reread)) __builtin_trap();
    return 0;
}
