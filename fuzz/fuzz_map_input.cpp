// kd-inspect's strict map readers on arbitrary file contents: each either
// reads a map the program itself would read whole, or refuses with a reason.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "correction/defpix.h"
#include "correction/defpix_file.h"
#include "lib/float_map.h"
#include "map_input.h"
#include "quiet_console.h"

namespace {

const char* const input_path = "fuzz_map_input.map";
const char* const saved_path = "fuzz_map_input_saved.map";

bool same_entries(const DefpixTable& a, const DefpixTable& b)
{
    if (a.defpix_count() != b.defpix_count()) return false;
    auto q = b.begin();
    for (const DefpixEntry& p : a) {
        if (p.x != q->x || p.y != q->y || p.kind != q->kind) return false;
        ++q;
    }
    return true;
}

void check_defect_map()
{
    static DefpixTable table;
    static DefpixTable reread;
    table.clear();
    reread.clear();
    std::string error;
    if (!read_defpix_map_strictly(table, input_path, error)) {
        if (error.empty()) __builtin_trap();
        return;
    }
    if (table.defpix_count() > defpix_table_capacity) __builtin_trap();
    for (const DefpixEntry& entry : table)
        if (entry.kind > defpix_kind_column) __builtin_trap();
    // A map it accepts, written by the program, is accepted again as it was.
    if (!write_defpix_map(table, saved_path)) return;
    if (!read_defpix_map_strictly(reread, saved_path, error) || !same_entries(table, reread))
        __builtin_trap();
}

void check_shading_map()
{
    std::string error;
    const std::unique_ptr<FloatMap> map = read_shading_map_strictly(input_path, error);
    if (!map) {
        if (error.empty()) __builtin_trap();
        return;
    }
    if (map->width() <= 0 || map->height() <= 0) __builtin_trap();
    for (int32_t i = 0; i < map->count(); ++i)
        if (!std::isfinite(map->data()[i])) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quiet_console("fuzz_map_input.stdout");
    FILE* file = std::fopen(input_path, "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    MapKind kind = MapKind::defect;
    std::string error;
    if (!map_kind_of(input_path, kind, error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    // Both readers see every input: the kind only says which one a user gets.
    check_defect_map();
    check_shading_map();
    return 0;
}
