#include "correction/defpix_file.h"

#include <charconv>
#include <cstdio>
#include <new>
#include <vector>

#include "correction/defpix.h"
#include "lib/atomic_file.h"
#include "lib/log.h"
#include "lib/number_text.h"
#include "lib/text.h"

namespace {

// atoi's reading, but a number beyond 32 bits stops at the nearest limit, on
// every platform alike, instead of being undefined: wrapped around it could
// name a real pixel.
int32_t next_number(MapFields& fields)
{
    const char* first;
    const char* last;
    fields.next(first, last);
    return parse_int(first, last);
}

void add_entry_line(DefpixTable& table, MapFields& fields, DefpixLineCounts& counts)
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
    bool read = true;
    try {
        MapLineReader lines(stream);
        lines.for_each_line([&](MapFields& fields) { add_entry_line(table, fields, counts); });
        // A read error looks like the end of the file to the line reader.
        read = !std::ferror(stream);
    } catch (const std::bad_alloc&) {
        read = false;
    }
    std::fclose(stream);
    return read;
}

// "x;y;kind" and CR LF, as "%d;%d;%d\r\n" prints them.
char* entry_line(const DefpixEntry& entry, char* out, char* end)
{
    out = std::to_chars(out, end, entry.x).ptr;
    *out++ = ';';
    out = std::to_chars(out, end, entry.y).ptr;
    *out++ = ';';
    out = std::to_chars(out, end, entry.kind).ptr;
    *out++ = '\r';
    *out++ = '\n';
    return out;
}

// Three numbers of at most 11 characters, two separators, CR LF.
constexpr size_t longest_entry_line = 3 * 11 + 2 + 2;
// Lines are written to the file this many bytes at a time.
constexpr size_t written_piece = size_t(1) << 16;

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
        std::vector<char> piece(written_piece + longest_entry_line);
        char* const full = piece.data() + written_piece;
        char* end = piece.data();
        for (const DefpixEntry& entry : table) {
            end = entry_line(entry, end, end + longest_entry_line);
            if (end >= full) {
                file.write(piece.data(), static_cast<size_t>(end - piece.data()));
                end = piece.data();
            }
        }
        file.write(piece.data(), static_cast<size_t>(end - piece.data()));
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
