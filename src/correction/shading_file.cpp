#include "correction/shading_file.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "lib/atomic_file.h"
#include "lib/log.h"
#include "lib/number_text.h"

namespace {

const char* const line_end = "\r\n";

bool write_line(AtomicFile& file, const std::string& line)
{
    return file.write(line.data(), line.size());
}

bool write_map(const FloatMap& map, AtomicFile& file)
{
    std::string line = String::format("%d; %d;", map.width(), map.height()).c_str();
    line += line_end;
    if (!write_line(file, line)) return false;
    for (int32_t j = 0; j < map.height(); ++j) {
        line.clear();
        for (int32_t i = 0; i < map.width(); ++i) {
            append_fixed6(line, map.get(i, j));
            line += "; ";
        }
        line += line_end;
        if (!write_line(file, line)) return false;
    }
    return true;
}

// A map of that many values can be addressed with the 32-bit indexes the
// rest of the program uses.
bool is_possible_map_size(int32_t width, int32_t height)
{
    return width >= 0 && height >= 0 &&
           static_cast<int64_t>(width) * static_cast<int64_t>(height) <= INT32_MAX;
}

// Takes the map file's lines one at a time: the header first, then the rows.
class ShadingMapReader {
public:
    void take_line(MapFields& fields)
    {
        if (!header_read_) {
            header_read_ = true;
            take_header(fields);
        } else if (result_.map && rows_taken_ < result_.map->height()) {
            take_row(fields, rows_taken_++);
        }
    }

    ShadingMapRead result() { return std::move(result_); }

private:
    void take_header(MapFields& fields)
    {
        const char* first;
        const char* last;
        fields.next(first, last);
        const int32_t width = parse_int(first, last);
        fields.next(first, last);
        const int32_t height = parse_int(first, last);
        if (!is_possible_map_size(width, height)) {
            result_.failed = true;
            return;
        }
        try {
            result_.map.reset(new FloatMap(width, height));
        } catch (const std::bad_alloc&) {
            result_.failed = true;
        }
    }

    // A new map holds 0.0 everywhere, so the gains a short line lacks need
    // not be stored.
    void take_row(MapFields& fields, int32_t row)
    {
        FloatMap& map = *result_.map;
        for (int32_t i = 0; i < map.width() && !fields.exhausted(); ++i) {
            const char* first;
            const char* last;
            fields.next(first, last);
            map.set(i, row, narrow_to_float(parse_double(first, last)));
        }
    }

    ShadingMapRead result_;
    bool header_read_ = false;
    int32_t rows_taken_ = 0;
};

}  // namespace

bool write_shading_map(const FloatMap& map, const char* path)
{
    AtomicFile file(path);
    if (!file.is_open()) return false;
    return write_map(map, file) && file.commit();
}

ShadingMapRead read_shading_map(const char* path)
{
    struct Closer {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    const std::unique_ptr<FILE, Closer> file(std::fopen(path, "rb"));
    if (!file) {
        ShadingMapRead unopened;
        unopened.failed = true;
        return unopened;
    }
    ShadingMapReader reader;
    MapLineReader(file.get()).for_each_line([&reader](MapFields& fields) {
        reader.take_line(fields);
    });
    return reader.result();
}

bool save_shading_map(const FloatMap* shading_map, const String& name)
{
    console_print("save_shading_map('%s')\n", name.c_str());
    if (!shading_map) {
        console_print("no shading_map available\n");
        return false;
    }
    if (write_shading_map(*shading_map, name.c_str())) return true;
    console_print("save_shading_map('%s') - failed\n", name.c_str());
    return false;
}

ShadingMapRead load_shading_map(const String& name)
{
    console_print("load_shading_map('%s')\n", name.c_str());
    ShadingMapRead read = read_shading_map(name.c_str());
    if (read.failed) console_print("load_shading_map('%s') - failed\n", name.c_str());
    return read;
}
