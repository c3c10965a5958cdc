#include "lib/accumulate.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "lib/bmp.h"
#include "lib/parallel.h"

namespace {

PixelFormat format_for(uint32_t bytes_per_pixel)
{
    switch (bytes_per_pixel) {
    case 1: return PixelFormat::bw8;
    case 3: return PixelFormat::rgb24;
    default: return PixelFormat::rgb32;
    }
}

bool same_layout(const BmpLayout& a, const BmpLayout& b)
{
    return a.width == b.width && a.height == b.height && a.data_offset == b.data_offset &&
           a.bits_per_pixel == b.bits_per_pixel;
}

struct Source {
    const char* path = nullptr;
    BmpLayout layout;
    // Open while the source's group is summed (and from the checks on, for
    // the first group).
    std::unique_ptr<BmpReader> reader;
};

// What one part of the summing works with of its own: a strip for a band of
// a file's lines, the band's whole-number totals (one per value) and the
// open files of the group being summed.
struct Lane {
    std::vector<uint8_t> strip;
    std::vector<uint16_t> counts;
    std::vector<BmpReader*> files;
    // The files a lane past the first opens for itself.
    std::vector<std::unique_ptr<BmpReader>> own_files;
};

// Which file of which part failed; parts hold bands in order, so the first
// part that failed holds the first band that failed.
struct PartFailure {
    bool failed = false;
    size_t index = 0;
};

class Accumulation {
public:
    Accumulation(const std::vector<std::string>& paths, std::unique_ptr<FloatMap>& sum,
                 const AccumulateEvents& events, const AccumulateOptions& options)
        : sources_(paths.size()), sum_(sum), events_(events), options_(options), lanes_(1)
    {
        for (size_t i = 0; i < paths.size(); ++i) sources_[i].path = paths[i].c_str();
        if (sum_) {
            width_ = sum_->width();
            height_ = sum_->height();
        }
    }

    // Opens the file and checks it against the sum; the first file of a new
    // sum also sets its size and gets the working memory.
    bool check(size_t index)
    {
        Source& source = sources_[index];
        source.reader.reset(new BmpReader);
        if (!source.reader->open(source.path)) return false;
        source.layout = source.reader->layout();
        if (index == 0 && !sum_) {
            width_ = source.layout.width;
            height_ = source.layout.height;
        }
        if (source.layout.width != width_ || source.layout.height != height_) return false;
        if (index == 0) choose_band();
        if (!make_working_memory(source.reader->line_size())) return false;
        if (index >= options_.files_per_group) source.reader.reset();
        return true;
    }

    // Sums every checked file; on a read error `failed_index` names the file.
    bool sum_all(size_t& failed_index)
    {
        FloatMap& target = sum_ ? *sum_ : *new_sum_;
        const size_t group = std::max<size_t>(1, options_.files_per_group);
        for (size_t begin = 0; begin < sources_.size(); begin += group) {
            const size_t end = std::min(sources_.size(), begin + group);
            if (!open_group(begin, end, failed_index) ||
                !sum_group(begin, end, target, failed_index))
                return false;
            for (size_t i = begin; i < end; ++i) sources_[i].reader.reset();
        }
        return true;
    }

    // Hands a newly made sum to the caller.
    void finish()
    {
        if (new_sum_) sum_ = std::move(new_sum_);
    }

private:
    void choose_band()
    {
        const uint64_t map_line_bytes = static_cast<uint64_t>(width_) * sizeof(float);
        const uint64_t lines = std::max<uint64_t>(1, options_.band_bytes / map_line_bytes);
        band_lines_ =
            static_cast<int32_t>(std::min<uint64_t>(lines, static_cast<uint64_t>(height_)));
    }

    // A strip for a band of this file's lines, and the new sum. A band holds
    // more than one line only when it is smaller than band_bytes, and one
    // line of a readable file is below 2^31 bytes, so the size fits.
    bool make_working_memory(uint32_t line_size)
    {
        try {
            const size_t strip_bytes = static_cast<size_t>(band_lines_) * line_size;
            std::vector<uint8_t>& strip = lanes_[0].strip;
            if (strip.size() < strip_bytes) strip.resize(strip_bytes);
            if (!sum_ && !new_sum_)
                new_sum_.reset(new FloatMap(width_, height_, FloatMap::Unfilled()));
            if (lanes_[0].counts.empty()) {
                const uint64_t band_values = static_cast<uint64_t>(band_lines_) * width_;
                if (band_values > SIZE_MAX / sizeof(uint16_t)) return false;
                lanes_[0].counts.resize(static_cast<size_t>(band_values));
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    // Lanes for the parts the group's bands are split into, each past the
    // first with working memory and open files of its own; fewer parts
    // (down to the first alone) when these cannot be had.
    int32_t make_lanes(size_t begin, size_t end, int32_t bands)
    {
        lanes_[0].files.clear();
        for (size_t i = begin; i < end; ++i) lanes_[0].files.push_back(sources_[i].reader.get());
        const int32_t wanted = std::min(parallel_parts(), bands);
        int32_t parts = 1;
        try {
            if (lanes_.size() < static_cast<size_t>(wanted)) lanes_.resize(wanted);
            const Lane& first = lanes_[0];
            for (; parts < wanted; ++parts) {
                Lane& lane = lanes_[parts];
                lane.strip.resize(first.strip.size());
                lane.counts.resize(first.counts.size());
                lane.own_files.clear();
                lane.files.clear();
                for (size_t i = begin; i < end; ++i) {
                    lane.own_files.emplace_back(new BmpReader);
                    BmpReader& reader = *lane.own_files.back();
                    if (!reader.open(sources_[i].path) ||
                        !same_layout(reader.layout(), sources_[i].layout))
                        return parts;
                    lane.files.push_back(&reader);
                }
            }
        } catch (const std::bad_alloc&) {
        }
        return parts;
    }

    bool open_group(size_t begin, size_t end, size_t& failed_index)
    {
        for (size_t i = begin; i < end; ++i) {
            Source& source = sources_[i];
            if (source.reader) continue;
            source.reader.reset(new BmpReader);
            if (!source.reader->open(source.path) ||
                !same_layout(source.reader->layout(), source.layout)) {
                failed_index = i;
                return false;
            }
        }
        return true;
    }

    // The bands are split into parts, each summed by a thread of its own: a
    // band's values depend on no other band.
    bool sum_group(size_t begin, size_t end, FloatMap& target, size_t& failed_index)
    {
        const int32_t bands = (height_ + band_lines_ - 1) / band_lines_;
        const int32_t parts = make_lanes(begin, end, bands);
        std::vector<PartFailure> failures(static_cast<size_t>(parts));
        const int64_t group_lines =
            static_cast<int64_t>(height_) * static_cast<int64_t>(end - begin);
        run_parts(parts, [&](int32_t part) {
            int64_t first_band = 0;
            int64_t last_band = 0;
            part_range(bands, parts, part, first_band, last_band);
            Lane& lane = lanes_[static_cast<size_t>(part)];
            PartFailure& failure = failures[static_cast<size_t>(part)];
            // File order: the bottom band of the picture first.
            for (int64_t band = first_band; band < last_band && !failure.failed; ++band) {
                const int32_t first = static_cast<int32_t>(band) * band_lines_;
                const int32_t lines = std::min(band_lines_, height_ - first);
                const bool ok =
                    sums_are_whole(begin, end, target, first, lines)
                        ? sum_band_whole(lane, begin, end, target, first, lines, failure.index)
                        : sum_band_each(lane, begin, end, target, first, lines, failure.index);
                failure.failed = !ok;
                // Part 0 runs on the calling thread; its share of its bands
                // stands for the whole group's.
                if (part == 0 && events_.progress)
                    events_.progress(lines_done_ + (band + 1 - first_band) * group_lines /
                                                       (last_band - first_band),
                                     total_lines());
            }
        });
        lines_done_ += group_lines;
        for (size_t part = 1; part < lanes_.size(); ++part) lanes_[part].own_files.clear();
        for (const PartFailure& failure : failures) {
            if (failure.failed) {
                failed_index = failure.index;
                return false;
            }
        }
        return true;
    }

    // The values of picture lines [top, top + lines) for the band of file
    // lines [first, first + lines).
    float* band_values(FloatMap& target, int32_t first, int32_t lines) const
    {
        const int32_t top = height_ - first - lines;
        return target.data() + static_cast<size_t>(top) * width_;
    }

    int64_t total_lines() const
    {
        return static_cast<int64_t>(height_) * static_cast<int64_t>(sources_.size());
    }

    bool sets_first_image(size_t index) const { return index == 0 && !sum_; }

    // Whether adding the group's whole-number pixel values one file after the
    // other keeps every partial sum a whole number below 2^24. Floats hold
    // those exactly, so the files' values may then be totalled as integers
    // first and added once, with the same result.
    bool sums_are_whole(size_t begin, size_t end, FloatMap& target, int32_t first,
                        int32_t lines) const
    {
        const uint32_t files = static_cast<uint32_t>(end - begin);
        if (files * 255u > UINT16_MAX) return false;
        // A new sum starts from nothing unless its first image is a colour
        // one, whose first values are exact channel means.
        if (sets_first_image(begin)) return sources_[begin].reader->bytes_per_pixel() == 1;
        const float limit = 16777216.0f - 255.0f * static_cast<float>(files);
        const float* values = band_values(target, first, lines);
        const size_t count = static_cast<size_t>(lines) * width_;
        for (size_t i = 0; i < count; ++i) {
            const float v = values[i];
            if (!(v >= 0.0f && v <= limit) || v != static_cast<float>(static_cast<int32_t>(v)))
                return false;
        }
        return true;
    }

    bool sum_band_whole(Lane& lane, size_t begin, size_t end, FloatMap& target, int32_t first,
                        int32_t lines, size_t& failed_index)
    {
        const size_t count = static_cast<size_t>(lines) * width_;
        std::fill(lane.counts.begin(), lane.counts.begin() + count, uint16_t(0));
        for (size_t i = begin; i < end; ++i) {
            BmpReader& reader = *lane.files[i - begin];
            if (!reader.read_lines(first, lines, lane.strip.data())) {
                failed_index = i;
                return false;
            }
            hand_over(lane, reader, i, first, lines);
            count_band(lane, reader, lines);
        }
        float* values = band_values(target, first, lines);
        const uint16_t* counts = lane.counts.data();
        if (sets_first_image(begin))
            for (size_t i = 0; i < count; ++i) values[i] = counts[i];
        else
            for (size_t i = 0; i < count; ++i) values[i] += counts[i];
        return true;
    }

    void hand_over(const Lane& lane, const BmpReader& reader, size_t file, int32_t first,
                   int32_t lines) const
    {
        if (!events_.band_read) return;
        events_.band_read(FileBand{file, first, lines, lane.strip.data(), reader.line_size(),
                                   reader.bytes_per_pixel()});
    }

    // Adds the strip's whole-number pixel values to the counts, file line j
    // to band row lines - 1 - j.
    void count_band(Lane& lane, const BmpReader& reader, int32_t lines) const
    {
        const size_t line_size = reader.line_size();
        const size_t width = static_cast<size_t>(width_);
        for (int32_t j = 0; j < lines; ++j) {
            const uint8_t* pixels = lane.strip.data() + line_size * static_cast<size_t>(j);
            uint16_t* counts = lane.counts.data() + width * static_cast<size_t>(lines - 1 - j);
            switch (reader.bytes_per_pixel()) {
            case 1: count_grey(counts, pixels, width); break;
            case 3: count_colour<3>(counts, pixels, width); break;
            default: count_colour<4>(counts, pixels, width); break;
            }
        }
    }

    static void count_grey(uint16_t* counts, const uint8_t* pixels, size_t n)
    {
        for (size_t i = 0; i < n; ++i) counts[i] = static_cast<uint16_t>(counts[i] + pixels[i]);
    }

    // The channel mean rounded down, as adding a colour image does.
    template <int BytesPerPixel>
    static void count_colour(uint16_t* counts, const uint8_t* pixels, size_t n)
    {
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* pixel = pixels + BytesPerPixel * i;
            counts[i] = static_cast<uint16_t>(counts[i] + channel_mean_rounded_down(pixel));
        }
    }

    bool sum_band_each(Lane& lane, size_t begin, size_t end, FloatMap& target, int32_t first,
                       int32_t lines, size_t& failed_index)
    {
        for (size_t i = begin; i < end; ++i) {
            BmpReader& reader = *lane.files[i - begin];
            if (!reader.read_lines(first, lines, lane.strip.data())) {
                failed_index = i;
                return false;
            }
            hand_over(lane, reader, i, first, lines);
            add_band(lane, reader, first, lines, target, sets_first_image(i));
        }
        return true;
    }

    // File line `first` + j is picture line height - 1 - (first + j).
    void add_band(const Lane& lane, const BmpReader& reader, int32_t first, int32_t lines,
                  FloatMap& target, bool sets) const
    {
        const PixelFormat format = format_for(reader.bytes_per_pixel());
        const size_t line_size = reader.line_size();
        for (int32_t j = 0; j < lines; ++j) {
            const int32_t y = height_ - 1 - (first + j);
            const uint8_t* pixels = lane.strip.data() + line_size * static_cast<size_t>(j);
            if (sets)
                target.set_pixels(format, pixels, y * width_, width_);
            else
                target.add_pixels(format, pixels, y * width_, width_);
        }
    }

    std::vector<Source> sources_;
    std::unique_ptr<FloatMap>& sum_;
    std::unique_ptr<FloatMap> new_sum_;
    const AccumulateEvents& events_;
    const AccumulateOptions& options_;
    int64_t lines_done_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t band_lines_ = 1;
    // The first lane's working memory is made while the files are checked.
    std::vector<Lane> lanes_;
};

bool add_files(const std::vector<std::string>& paths, ImageSum& images,
               const AccumulateEvents& events, const AccumulateOptions& options)
{
    if (paths.empty()) return true;
    Accumulation accumulation(paths, images.sum, events, options);
    for (size_t i = 0; i < paths.size(); ++i) {
        if (events.announce) events.announce(paths[i].c_str());
        if (!accumulation.check(i)) {
            if (events.failed) events.failed(paths[i].c_str());
            return false;
        }
    }
    size_t failed_index = 0;
    if (!accumulation.sum_all(failed_index)) {
        if (events.failed) events.failed(paths[failed_index].c_str());
        if (images.sum) images = ImageSum();
        return false;
    }
    accumulation.finish();
    images.count += static_cast<int32_t>(paths.size());
    return true;
}

}  // namespace

Accumulated accumulate_bmp_files(const std::vector<std::string>& paths, ImageSum images,
                                 const AccumulateEvents& events, const AccumulateOptions& options)
{
    Accumulated result;
    result.images = std::move(images);
    result.done = add_files(paths, result.images, events, options);
    return result;
}
