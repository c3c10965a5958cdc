#include "correction/defpix_file.h"

#include <cstdio>
#include <new>

#include "correction/defpix.h"
#include "lib/atomic_file.h"
#include "lib/log.h"
#include "lib/number_text.h"
#include "lib/text.h"

namespace {

// atoi's reading, but a number beyond 32 bits stops at the nearest limit, on
// every platform alike, instead of being undefined: wrapped around it could
// name a real pixel.
int32_t next_number(Tokenizer& fields) { return parse_int(fields.next_token().c_str()); }

void add_entry_line(DefpixTable& table, Tokenizer& fields, DefpixLineCounts& counts)
{
    const int32_t x = next_number(fields);
    const int32_t y = next_number(fields);
    const int32_t kind = next_number(fields);
    if (kind < defpix_kind_column) {
        table.defpix_add(x, y, kind);
        ++counts.pixels;
    } else if (kind == defpix_kind_column) {
        table.defpix_add(x, y, kind);
        ++counts.columns;
    }
}

// False when reading was stopped by an error rather than by its end.
bool read_entries(DefpixTable& table, FILE* stream, DefpixLineCounts& counts)
{
    TextFile file(stream);
    try {
        for_each_map_line(file, [&](Tokenizer& fields) { add_entry_line(table, fields, counts); });
    } catch (const std::bad_alloc&) {
        return false;
    }
    // A read error looks like the end of the file to the line reader.
    return !std::ferror(stream);
}

}  // namespace

bool read_defpix_map(DefpixTable& table, const char* path, DefpixLineCounts& counts)
{
    FILE* stream = std::fopen(path, "rb");
    return stream && read_entries(table, stream, counts);
}

bool load_defpix_map(DefpixTable& table, const char* path)
{
    console_print("load_defpix_map('%s')\n", path);
    DefpixLineCounts counts;
    const int32_t refused_before = table.refused_adds();
    if (!read_defpix_map(table, path, counts)) {
        console_print("load_defpix_map('%s') - failed\n", path);
        return false;
    }
    console_print("defpix_pixel_cnt %d, defpix_column_cnt %d\n", counts.pixels, counts.columns);
    return table.refused_adds() == refused_before;
}

bool write_defpix_map(const DefpixTable& table, const char* path)
{
    try {
        AtomicFile file(path);
        for (const DefpixEntry& entry : table) {
            const String line = String::format("%d;%d;%d", entry.x, entry.y, entry.kind);
            file.write(line.c_str(), static_cast<size_t>(line.length()));
            file.write("\r\n", 2);
        }
        return file.commit();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool save_defpix_map(const DefpixTable& table, const char* path)
{
    console_print("save_defpix_map('%s')\n", path);
    const bool written = write_defpix_map(table, path);
    if (!written) console_print("save_defpix_map('%s') - failed\n", path);
    return written;
}
