#include "map_input.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "correction/defpix.h"
#include "correction/defpix_file.h"
#include "correction/shading_file.h"
#include "lib/float_map.h"
#include "lib/number_text.h"
#include "lib/text.h"

namespace {

// The fields of each map line, as the program's readers split them.
using MapLines = std::vector<std::vector<std::string>>;

bool read_map_lines(const std::string& path, MapLines& lines, std::string& error)
{
    FILE* stream = std::fopen(path.c_str(), "rb");
    if (!stream) {
        error = path + ": cannot be opened";
        return false;
    }
    MapLineReader(stream).for_each_line([&lines](MapFields& fields) {
        std::vector<std::string> line;
        while (!fields.exhausted()) {
            const char* first;
            const char* last;
            fields.next(first, last);
            line.emplace_back(first, last);
        }
        lines.push_back(line);
    });
    const bool read = !std::ferror(stream);
    std::fclose(stream);
    if (!read) error = path + ": cannot be read";
    return read;
}

std::string without_blanks(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The fields that hold something; a line's ending ';' leaves an empty last one.
std::vector<std::string> filled_fields(const std::vector<std::string>& fields)
{
    std::vector<std::string> filled;
    for (const std::string& field : fields) filled.push_back(without_blanks(field));
    while (!filled.empty() && filled.back().empty()) filled.pop_back();
    return filled;
}

bool is_whole_number(const std::string& text)
{
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

// Digits with at most one point, an optional sign and exponent; no
// infinities, no NaN, no hexadecimal.
bool is_decimal_number(const std::string& text)
{
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    size_t digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (std::isdigit(static_cast<unsigned char>(c)))
            ++digits;
        else if (c == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        const size_t exponent_start = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        if (i == exponent_start) return false;
    }
    return i == text.size() && std::isfinite(parse_double(text.c_str()));
}

std::string joined(const std::vector<std::string>& fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i ? ";" : "") + fields[i];
    return line;
}

std::string map_line_name(const std::string& path, size_t index)
{
    return path + ": map line " + std::to_string(index + 1);
}

bool check_defect_line(const std::string& path, size_t index,
                       const std::vector<std::string>& fields, std::string& error)
{
    const std::vector<std::string> filled = filled_fields(fields);
    if (filled.size() != 3 || !is_whole_number(filled[0]) || !is_whole_number(filled[1]) ||
        !is_whole_number(filled[2])) {
        error = map_line_name(path, index) + " is not x;y;kind: '" + joined(fields) + "'";
        return false;
    }
    const int32_t kind = parse_int(filled[2].c_str());
    if (kind < 0 || kind > defpix_kind_column) {
        error = map_line_name(path, index) + " has kind " + filled[2] + ", not 0 to 4";
        return false;
    }
    return true;
}

bool check_shading_lines(const std::string& path, const MapLines& lines, std::string& error)
{
    const std::vector<std::string> header =
        lines.empty() ? std::vector<std::string>() : filled_fields(lines[0]);
    if (header.size() != 2 || !is_whole_number(header[0]) || !is_whole_number(header[1]) ||
        parse_int(header[0].c_str()) <= 0 || parse_int(header[1].c_str()) <= 0) {
        error = path + ": the first line is not a shading map's 'width; height;'";
        return false;
    }
    const size_t width = static_cast<size_t>(parse_int(header[0].c_str()));
    const size_t height = static_cast<size_t>(parse_int(header[1].c_str()));
    if (lines.size() - 1 != height) {
        error = path + ": holds " + std::to_string(lines.size() - 1) +
                " rows of gains, its header " + std::to_string(height);
        return false;
    }
    for (size_t row = 1; row < lines.size(); ++row) {
        const std::vector<std::string> gains = filled_fields(lines[row]);
        if (gains.size() != width) {
            error = map_line_name(path, row) + " holds " + std::to_string(gains.size()) +
                    " gains, the header " + std::to_string(width);
            return false;
        }
        for (const std::string& gain : gains) {
            if (!is_decimal_number(gain)) {
                error = map_line_name(path, row) + " has a gain that is no number: '" + gain + "'";
                return false;
            }
            // The program keeps gains as floats: one beyond their range
            // would be read as an infinity.
            if (!std::isfinite(narrow_to_float(parse_double(gain.c_str())))) {
                error =
                    map_line_name(path, row) + " has a gain beyond the float range: '" + gain + "'";
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool map_kind_of(const std::string& path, MapKind& kind, std::string& error)
{
    MapLines lines;
    if (!read_map_lines(path, lines, error)) return false;
    const size_t fields = lines.empty() ? 3 : filled_fields(lines[0]).size();
    if (fields == 3) {
        kind = MapKind::defect;
        return true;
    }
    if (fields == 2) {
        kind = MapKind::shading;
        return true;
    }
    error = path + ": neither a defect map nor a shading map";
    return false;
}

bool read_defpix_map_strictly(DefpixTable& table, const std::string& path, std::string& error)
{
    MapLines lines;
    if (!read_map_lines(path, lines, error)) return false;
    for (size_t i = 0; i < lines.size(); ++i)
        if (!check_defect_line(path, i, lines[i], error)) return false;
    if (lines.size() > static_cast<size_t>(defpix_table_capacity)) {
        error = path + ": holds " + std::to_string(lines.size()) + " entries, more than the " +
                std::to_string(defpix_table_capacity) + " a map can hold";
        return false;
    }
    DefpixLineCounts counts;
    if (!read_defpix_map(table, path.c_str(), counts)) {
        error = path + ": cannot be read";
        return false;
    }
    return true;
}

std::unique_ptr<FloatMap> read_shading_map_strictly(const std::string& path, std::string& error)
{
    MapLines lines;
    if (!read_map_lines(path, lines, error) || !check_shading_lines(path, lines, error))
        return nullptr;
    ShadingMapRead read = read_shading_map(path.c_str());
    if (read.failed || !read.map) {
        error = path + ": cannot be read";
        return nullptr;
    }
    return std::move(read.map);
}
