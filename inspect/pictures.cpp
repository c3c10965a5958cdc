#include "pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "correction/defpix.h"
#include "lib/float_map.h"
#include "lib/image.h"
#include "lib/zero_skip.h"

namespace {

const Colour white{255, 255, 255};
const Colour black{0, 0, 0};
const Colour map_colour{255, 200, 0};
const Colour bright_colour{230, 30, 30};
const Colour dark_colour{30, 110, 255};

// Five stops from dark violet to yellow, evenly spaced; perceived brightness
// rises all the way, so the scale reads in grey too.
const Colour scale_stops[] = {
    {68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}};

Colour scale_colour(double t)
{
    const double position = std::min(std::max(t, 0.0), 1.0) * 4.0;
    const int32_t stop = std::min(static_cast<int32_t>(position), 3);
    const double f = position - stop;
    const Colour& a = scale_stops[stop];
    const Colour& b = scale_stops[stop + 1];
    auto mix = [f](uint8_t p, uint8_t q) {
        return static_cast<uint8_t>(std::lround(p + (q - p) * f));
    };
    return Colour{mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

std::string number_text(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

int32_t ceil_div(int64_t a, int64_t b) { return static_cast<int32_t>((a + b - 1) / b); }

// Scales a value range onto a length of the drawing.
struct Axis {
    double low;
    double high;
    double start;
    double length;

    // `low` maps to start and `high` to start + length; either may be the
    // larger, so that one Axis type runs up or down the drawing.
    double at(double value) const
    {
        const double span = high != low ? high - low : 1.0;
        return start + (value - low) / span * length;
    }
};

std::string polyline(const std::vector<double>& values, const Axis& x, const Axis& y,
                     const char* colour)
{
    std::string points;
    for (size_t i = 0; i < values.size(); ++i) {
        char point[64];
        std::snprintf(point, sizeof point, "%s%.1f,%.1f", i ? " " : "",
                      x.at(static_cast<double>(i)), y.at(values[i]));
        points += point;
    }
    return std::string("<polyline fill=\"none\" stroke-width=\"1.2\" stroke=\"") + colour +
           "\" points=\"" + points + "\"/>\n";
}

std::string svg_text(double x, double y, const std::string& text, const char* anchor)
{
    char head[128];
    std::snprintf(head, sizeof head, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\">", x, y,
                  anchor);
    return head + text + "</text>\n";
}

std::string svg_line(double x1, double y1, double x2, double y2, const char* colour)
{
    char line[160];
    std::snprintf(line, sizeof line,
                  "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\"/>\n", x1, y1,
                  x2, y2, colour);
    return line;
}

std::string svg_head(int32_t width, int32_t height)
{
    char head[256];
    std::snprintf(head, sizeof head,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                  "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\" font-size=\"12\">\n"
                  "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                  width, height, width, height);
    return head;
}

const char* const before_colour = "#777777";
const char* const after_colour = "#1f6fd0";

std::string legend(double x, double y, bool with_after, const char* after_label)
{
    std::string svg = svg_line(x, y - 4, x + 24, y - 4, before_colour);
    svg += svg_text(x + 30, y, "before", "start");
    if (with_after) {
        svg += svg_line(x + 90, y - 4, x + 114, y - 4, after_colour);
        svg += svg_text(x + 120, y, after_label, "start");
    }
    return svg;
}

// One panel of the profiles: the curves over their index, grey levels up.
std::string profile_panel(const char* title, const std::vector<double>& before,
                          const std::vector<double>* after, double top, double width, double height)
{
    double low = *std::min_element(before.begin(), before.end());
    double high = *std::max_element(before.begin(), before.end());
    if (after && !after->empty()) {
        low = std::min(low, *std::min_element(after->begin(), after->end()));
        high = std::max(high, *std::max_element(after->begin(), after->end()));
    }
    const double margin = std::max((high - low) * 0.05, 0.5);
    low = std::max(0.0, low - margin);
    high = std::min(255.0, high + margin);
    const double left = 60.0;
    const Axis x{0.0, static_cast<double>(std::max<size_t>(before.size(), 2) - 1), left,
                 width - left - 20.0};
    const Axis y{high, low, top + 30.0, height - 60.0};
    std::string svg = svg_text(left, top + 18, title, "start");
    svg += svg_line(left, y.at(low), left + x.length, y.at(low), "black");
    svg += svg_line(left, y.at(low), left, y.at(high), "black");
    svg += svg_text(left - 6, y.at(high) + 4, number_text("%.1f", high), "end");
    svg += svg_text(left - 6, y.at(low) + 4, number_text("%.1f", low), "end");
    svg += svg_text(left, y.at(low) + 16, "0", "middle");
    svg += svg_text(left + x.length, y.at(low) + 16,
                    number_text("%.0f", static_cast<double>(before.size() - 1)), "middle");
    svg += polyline(before, x, y, before_colour);
    if (after) svg += polyline(*after, x, y, after_colour);
    return svg;
}

// Each pixel of `picture` the mean of the step x step block of `mean` it
// covers; blocks at the right and bottom edge may be partial.
void draw_scaled_down(Picture& picture, const ImageBW& mean, int32_t step)
{
    const int32_t W = static_cast<int32_t>(mean.width());
    const int32_t H = static_cast<int32_t>(mean.height());
    const int32_t width = ceil_div(W, step);
    const int32_t height = ceil_div(H, step);
    // Column sums of a band of `step` lines first, a plain loop the compiler
    // vectorises; then each picture pixel's share of them.
    std::vector<uint32_t> column_sums(static_cast<size_t>(W));
    for (int32_t j = 0; j < height; ++j) {
        std::fill(column_sums.begin(), column_sums.end(), 0u);
        const int32_t y0 = j * step;
        const int32_t y1 = std::min(H, y0 + step);
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t* row = mean.data() + static_cast<size_t>(y) * W;
            for (int32_t x = 0; x < W; ++x) column_sums[static_cast<size_t>(x)] += row[x];
        }
        for (int32_t i = 0; i < width; ++i) {
            const int32_t x0 = i * step;
            const int32_t x1 = std::min(W, x0 + step);
            uint32_t sum = 0;
            for (int32_t x = x0; x < x1; ++x) sum += column_sums[static_cast<size_t>(x)];
            const uint8_t grey =
                static_cast<uint8_t>(sum / static_cast<uint32_t>((x1 - x0) * (y1 - y0)));
            picture.set(i, j, Colour{grey, grey, grey});
        }
    }
}

// The map's columns as lines and its pixel entries ringed, on a picture
// scaled down by `step` from frames `frame_width` pixels wide.
void draw_map_marks(Picture& picture, const DefpixTable& map, int32_t frame_width, int32_t step)
{
    const int32_t height = picture.height();
    for (const DefpixEntry& entry : map)
        if (entry.kind >= defpix_kind_column && entry.x >= 0 && entry.x < frame_width)
            picture.fill(entry.x / step, 0, 1, height, map_colour);
    for (const DefpixEntry& entry : map) {
        if (entry.kind >= defpix_kind_column) continue;
        const int32_t cx = entry.x / step;
        const int32_t cy = entry.y / step;
        picture.fill(cx - 2, cy - 2, 5, 1, map_colour);
        picture.fill(cx - 2, cy + 2, 5, 1, map_colour);
        picture.fill(cx - 2, cy - 1, 1, 3, map_colour);
        picture.fill(cx + 2, cy - 1, 1, 3, map_colour);
    }
}

// The outliers of `scan`, bright ones red and dark ones blue.
void draw_outlier_marks(Picture& picture, const OutlierScan& scan, int32_t frame_width,
                        int32_t step)
{
    const int32_t W = frame_width;
    const uint8_t* kinds = scan.kind.data();
    const size_t count = scan.kind.size();
    for (size_t i = next_nonzero(kinds, 0, count); i < count;
         i = next_nonzero(kinds, i + 1, count)) {
        const int32_t x = static_cast<int32_t>(i % static_cast<size_t>(W)) / step;
        const int32_t y = static_cast<int32_t>(i / static_cast<size_t>(W)) / step;
        picture.fill(x - 1, y - 1, 3, 3,
                     scan.kind[i] == outlier_bright ? bright_colour : dark_colour);
    }
}

}  // namespace

Picture gains_picture(const FloatMap& gains)
{
    const int32_t columns = std::max(gains.width(), 1);
    const int32_t rows = std::max(gains.height(), 1);
    const int32_t cell = std::min(32, std::max(1, 512 / std::max(columns, rows)));
    const int32_t margin = 10;
    const int32_t map_width = columns * cell;
    const int32_t map_height = std::max(rows * cell, 80);
    const int32_t bar_x = margin + map_width + 16;
    const int32_t bar_width = 20;
    const int32_t text_scale = 2;

    const FloatMap& map = gains;
    float low = map.count() ? map.data()[0] : 0.0f;
    float high = low;
    for (int32_t i = 0; i < map.count(); ++i) {
        low = std::min(low, map.data()[i]);
        high = std::max(high, map.data()[i]);
    }
    const std::string high_text = number_text("%.4f", high);
    const std::string low_text = number_text("%.4f", low);
    const int32_t text_width = std::max(Picture::text_width(high_text, text_scale),
                                        Picture::text_width(low_text, text_scale));
    Picture picture(bar_x + bar_width + 8 + text_width + margin, map_height + 2 * margin, white);

    const double span = high > low ? static_cast<double>(high) - low : 0.0;
    auto position = [&](double value) { return span > 0.0 ? (value - low) / span : 0.5; };
    for (int32_t j = 0; j < map.height(); ++j)
        for (int32_t i = 0; i < map.width(); ++i)
            picture.fill(margin + i * cell, margin + j * cell, cell, cell,
                         scale_colour(position(map.get(i, j))));
    for (int32_t y = 0; y < map_height; ++y)
        picture.fill(bar_x, margin + y, bar_width, 1,
                     scale_colour(1.0 - static_cast<double>(y) / std::max(map_height - 1, 1)));
    picture.text(bar_x + bar_width + 8, margin, high_text, black, text_scale);
    picture.text(bar_x + bar_width + 8, margin + map_height - 7 * text_scale, low_text, black,
                 text_scale);
    return picture;
}

Picture defects_picture(const ImageBW& mean, const DefpixTable* map, const OutlierScan& scan)
{
    const int32_t W = static_cast<int32_t>(mean.width());
    const int32_t H = static_cast<int32_t>(mean.height());
    const int32_t step = std::max(1, ceil_div(std::max(W, H), defects_picture_side));
    Picture picture(ceil_div(W, step), ceil_div(H, step), black);
    draw_scaled_down(picture, mean, step);
    if (map) draw_map_marks(picture, *map, W, step);
    draw_outlier_marks(picture, scan, W, step);
    return picture;
}

std::string profiles_svg(const Profiles& before, const Profiles* after)
{
    const int32_t width = 900;
    const int32_t panel = 300;
    std::string svg = svg_head(width, 2 * panel + 30);
    svg += profile_panel("Row means (grey level over row)", before.rows,
                         after ? &after->rows : nullptr, 0.0, width, panel);
    svg += profile_panel("Column means (grey level over column)", before.columns,
                         after ? &after->columns : nullptr, panel, width, panel);
    svg += legend(60.0, 2.0 * panel + 18.0, after != nullptr, "after the maps");
    return svg + "</svg>\n";
}

std::string deviation_svg(const OutlierScan& before, const OutlierScan* after, int64_t pixels)
{
    const int32_t width = 700;
    const int32_t height = 440;
    const double left = 70.0;
    const double floor_percent = 100.0 / static_cast<double>(std::max<int64_t>(pixels, 1));
    const double lowest_decade = std::floor(std::log10(floor_percent));
    const Axis x{0.0, largest_plotted_deviation, left, width - left - 20.0};
    const Axis y{2.0, lowest_decade, 40.0, height - 120.0};
    auto curve = [&](const OutlierScan& scan) {
        std::vector<double> values;
        for (int64_t count : scan.deviating) {
            const double percent = 100.0 * static_cast<double>(count) / static_cast<double>(pixels);
            values.push_back(std::log10(std::max(percent, std::pow(10.0, lowest_decade))));
        }
        return values;
    };
    std::string svg = svg_head(width, height);
    svg +=
        svg_text(left, 22, "Pixels deviating from their window mean by more than x (%)", "start");
    svg += svg_line(left, y.at(lowest_decade), left + x.length, y.at(lowest_decade), "black");
    svg += svg_line(left, y.at(lowest_decade), left, y.at(2.0), "black");
    for (int32_t decade = static_cast<int32_t>(lowest_decade); decade <= 2; ++decade) {
        const double at = y.at(decade);
        svg += svg_line(left - 4, at, left + x.length, at, "#dddddd");
        svg += svg_text(left - 8, at + 4, number_text("%g", std::pow(10.0, decade)), "end");
    }
    for (int32_t d = 0; d <= largest_plotted_deviation; d += 8) {
        svg += svg_line(x.at(d), y.at(lowest_decade), x.at(d), y.at(lowest_decade) + 4, "black");
        svg += svg_text(x.at(d), y.at(lowest_decade) + 18, number_text("%.0f", d), "middle");
    }
    svg += svg_text(left + x.length / 2, y.at(lowest_decade) + 38, "x (grey levels)", "middle");
    svg += polyline(curve(before), x, y, before_colour);
    if (after) svg += polyline(curve(*after), x, y, after_colour);
    svg += legend(left, y.at(lowest_decade) + 62, after != nullptr, "after defect correction");
    return svg + "</svg>\n";
}
