#include "correction/defpix_file.h"

#include <cstdio>
#include <new>

#include "correction/defpix.h"
#include "lib/atomic_file.h"
#include "lib/log.h"
#include "lib/number_text.h"
#include "lib/text.h"

namespace {

struct LineCounts {
    int32_t pixels = 0;
    int32_t columns = 0;
};

// atoi's reading, but a number beyond 32 bits stops at the nearest limit, on
// every platform alike, instead of being undefined: wrapped around it could
// name a real pixel.
int32_t next_number(Tokenizer& fields) { return parse_int(fields.next_token().c_str()); }

void add_entry_line(DefpixTable& table, Tokenizer& fields, LineCounts& counts)
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
bool read_entries(DefpixTable& table, FILE* stream, LineCounts& counts)
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

bool load_defpix_map(DefpixTable& table, const char* path)
{
    console_print("load_defpix_map('%s')\n", path);
    FILE* stream = std::fopen(path, "rb");
    LineCounts counts;
    const int32_t refused_before = table.refused_adds();
    if (!stream || !read_entries(table, stream, counts)) {
        console_print("load_defpix_map('%s') - failed\n", path);
        return false;
    }
    console_print("defpix_pixel_cnt %d, defpix_column_cnt %d\n", counts.pixels, counts.columns);
    return table.refused_adds() == refused_before;
}

bool save_defpix_map(const DefpixTable& table, const char* path)
{
    console_print("save_defpix_map('%s')\n", path);
    bool written = false;
    try {
        AtomicFile file(path);
        for (const DefpixEntry& entry : table) {
            const String line = String::format("%d;%d;%d", entry.x, entry.y, entry.kind);
            file.write(line.c_str(), static_cast<size_t>(line.length()));
            file.write("\r\n", 2);
        }
        written = file.commit();
    } catch (const std::bad_alloc&) {
        written = false;
    }
    if (!written) console_print("save_defpix_map('%s') - failed\n", path);
    return written;
}
