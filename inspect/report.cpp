#include "report.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "correction/defpix.h"
#include "correction/defpix_apply.h"
#include "correction/shading.h"
#include "image_figures.h"
#include "lib/accumulate.h"
#include "lib/atomic_file.h"
#include "lib/bmp.h"
#include "lib/float_map.h"
#include "lib/image_sum.h"
#include "lib/parallel.h"
#include "map_geometry.h"
#include "map_input.h"
#include "outlier_scan.h"
#include "pictures.h"
#include "platform/directory.h"
#include "progress.h"
#include "report_data.h"
#include "report_page.h"
#include "temporal_noise.h"

namespace {

// What the frame's header says of its size and depth; false when the file
// is too short to hold one.
bool frame_header(const std::string& path, BmpLayout& layout, uint64_t& file_size)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    uint8_t header[bmp_header_size];
    const bool read = std::fread(header, 1, sizeof header, file) == sizeof header &&
                      std::fseek(file, 0, SEEK_END) == 0;
    const long end = read ? std::ftell(file) : -1;
    std::fclose(file);
    if (end < 0) return false;
    layout = parse_bmp_header(header);
    file_size = static_cast<uint64_t>(end);
    return true;
}

// Why reading the frames stopped at `path`.
std::string frame_problem(const std::vector<std::string>& frames, const std::string& path)
{
    BmpLayout layout;
    uint64_t file_size = 0;
    if (!frame_header(path, layout, file_size)) return path + ": cannot be read as a BMP file";
    const uint32_t bytes_per_pixel = bmp_bytes_per_pixel(layout.bits_per_pixel);
    if (bytes_per_pixel == 0)
        return path + ": has " + std::to_string(layout.bits_per_pixel) +
               " bits a pixel; frames have 8, 24 or 32";
    if (!bmp_pixels_readable(layout, bytes_per_pixel, UINT64_MAX))
        return path + ": is not an uncompressed BMP file with pixels";
    if (!bmp_pixels_readable(layout, bytes_per_pixel, file_size))
        return path + ": is cut short: its header asks for " + std::to_string(layout.width) +
               " x " + std::to_string(layout.height) + " pixels, the file ends before them";
    BmpLayout first;
    uint64_t first_size = 0;
    if (path != frames.front() && frame_header(frames.front(), first, first_size) &&
        (first.width != layout.width || first.height != layout.height))
        return path + ": is " + std::to_string(layout.width) + " x " +
               std::to_string(layout.height) + " pixels, " + frames.front() + " is " +
               std::to_string(first.width) + " x " + std::to_string(first.height);
    return path + ": was cut short or changed while being read";
}

std::string entry_text(const DefpixEntry& entry)
{
    return std::to_string(entry.x) + ";" + std::to_string(entry.y) + ";" +
           std::to_string(entry.kind);
}

// Entries that name no pixel of the frames make the map one of another sensor.
bool check_map_fits(const std::string& path, const DefpixTable& table, int32_t width,
                    int32_t height, std::string& error)
{
    int64_t outside = 0;
    const DefpixEntry* first = nullptr;
    for (const DefpixEntry& entry : table) {
        const bool column = entry.kind >= defpix_kind_column;
        const bool inside =
            entry.x >= 0 && entry.x < width && (column || (entry.y >= 0 && entry.y < height));
        if (inside) continue;
        ++outside;
        if (!first) first = &entry;
    }
    if (!outside) return true;
    error = path + ": " + std::to_string(outside) +
            (outside == 1 ? " entry lies" : " entries lie") + " outside the " +
            std::to_string(width) + " x " + std::to_string(height) +
            " frames (the first: " + entry_text(*first) + ")";
    return false;
}

bool check_blocks_fit(const std::string& path, const FloatMap& gains, int32_t width, int32_t height,
                      std::string& error)
{
    const int32_t across = shading_block_count(width);
    const int32_t down = shading_block_count(height);
    if (gains.width() == across && gains.height() == down) return true;
    error = path + ": " + std::to_string(gains.width()) + " x " + std::to_string(gains.height()) +
            " blocks, the " + std::to_string(width) + " x " + std::to_string(height) +
            " frames have " + std::to_string(across) + " x " + std::to_string(down) +
            " blocks of " + std::to_string(shading_block_size) + " x " +
            std::to_string(shading_block_size) + " pixels";
    return false;
}

double percent_of(int64_t count, int64_t pixels)
{
    return 100.0 * static_cast<double>(count) / static_cast<double>(pixels);
}

// A '/' joins the folder and the name on every system (Windows takes it too),
// so that every build prints the same path.
std::string path_in(const std::string& folder, const std::string& name)
{
    if (folder.empty() || platform::is_path_separator(folder.back())) return folder + name;
    return folder + "/" + name;
}

struct ReportFile {
    std::string name;
    std::string bytes;
};

bool write_files(const std::string& folder, const std::vector<ReportFile>& files,
                 std::string& error)
{
    if (!platform::make_directories(folder)) {
        error = folder + ": the folder cannot be made";
        return false;
    }
    for (const ReportFile& file : files) {
        const std::string path = path_in(folder, file.name);
        AtomicFile out(path.c_str());
        if (!out.is_open() || !out.write(file.bytes.data(), file.bytes.size()) || !out.commit()) {
            error = path + ": cannot be written";
            return false;
        }
    }
    return true;
}

class Report {
public:
    explicit Report(const ReportOptions& options) : options_(options), progress_(stdout) {}

    bool run(std::string& error)
    {
        if (!read_maps(error) || !read_frames(error)) return false;
        if (table_ && !check_map_fits(options_.defect_map, *table_, width(), height(), error))
            return false;
        if (gains_ && !check_blocks_fit(options_.shading_map, *gains_, width(), height(), error))
            return false;
        std::vector<ReportFile> files;
        measure_and_draw(files);
        const std::vector<Metric> metrics = report_metrics(data_);
        if (!options_.requirements.empty()) verdict_ = judge(options_.requirements, metrics);
        add_text_files(metrics, files);
        progress_.clear();
        if (!write_files(options_.out_dir, files, error)) return false;
        std::fputs(summary_text(data_, metrics).c_str(), stdout);
        std::printf("report: %s\n", path_in(options_.out_dir, "report.html").c_str());
        // Last, so that the final line is the verdict.
        if (verdict_) std::fputs(verdict_text(*verdict_).c_str(), stdout);
        return true;
    }

    bool passed() const { return !verdict_ || verdict_->pass(); }

private:
    int32_t width() const { return data_.width; }
    int32_t height() const { return data_.height; }
    int64_t pixels() const { return int64_t{data_.width} * data_.height; }

    bool read_maps(std::string& error)
    {
        if (!options_.defect_map.empty()) {
            table_.reset(new DefpixTable);
            if (!read_defpix_map_strictly(*table_, options_.defect_map, error)) return false;
        }
        if (!options_.shading_map.empty()) {
            gains_ = read_shading_map_strictly(options_.shading_map, error);
            if (!gains_) return false;
        }
        return true;
    }

    // The frames as --load_img sums them, the squares of their pixels for the
    // temporal noise, and their mean as the map creations make it.
    bool read_frames(std::string& error)
    {
        const std::vector<std::string>& frames = options_.frames;
        const int64_t count = static_cast<int64_t>(frames.size());
        FrameSquares squares(frames.size());
        std::string failed;
        AccumulateEvents events;
        events.failed = [&failed](const char* path) { failed = path; };
        events.progress = [&](int64_t done, int64_t total) {
            progress_.show("reading frames", done * count / total, count);
        };
        events.band_read = [&squares](const FileBand& band) { squares.add(band); };
        Accumulated sum = accumulate_bmp_files(frames, ImageSum(), events);
        if (!sum.done) {
            error = frame_problem(frames, failed);
            return false;
        }
        data_.frame_count = sum.images.count;
        data_.width = sum.images.sum->width();
        data_.height = sum.images.sum->height();
        noise_read_again_ = count >= 2 && !squares.usable();
        if (!noise_read_again_) data_.temporal_noise = squares.noise(*sum.images.sum);
        const MeanImage mean(std::move(sum.images));
        // M8 first: making it finds M's mean on the same pass.
        grey_ = mean.grey();
        data_.frames_mean = mean.mean();
        return true;
    }

    // Every figure into data_ and every picture into `pictures`, in two parts
    // of about equal work, side by side when a second processor is there: the
    // figures of M8 itself with the pictures, and those of M8 with the maps
    // applied. Running out of memory in either is thrown once both are done.
    void measure_and_draw(std::vector<ReportFile>& pictures)
    {
        data_.threshold = options_.threshold;
        data_.window = options_.window;
        if (table_) measure_map();
        const bool beside = parallel_parts() >= 2;
        const auto part = [&](int32_t index) {
            if (index == 0) {
                measure_mean_image();
                pictures = make_pictures();
            } else {
                measure_with_maps(!beside);
            }
        };
        if (beside) {
            run_parts(2, part);
        } else {
            part(0);
            part(1);
        }
        pictures.push_back({"profiles.svg", profiles_svg(before_, after_ ? &*after_ : nullptr)});
        pictures.push_back({"deviation.svg", deviation_svg(scan_, scan_after_.get(), pixels())});
    }

    // What the defect map says by itself, and D as a mask.
    void measure_map()
    {
        const DefpixTable& table = *table_;
        data_.has_defect_map = true;
        for (const DefpixEntry& entry : table)
            ++(entry.kind >= defpix_kind_column ? data_.map_columns : data_.map_pixels);
        data_.clusters = count_clusters(table);
        mask_ = defect_mask(table, width(), height());
    }

    // Detection on M8 and how the map agrees with it. Part 0 runs on the
    // calling thread, the only one that may show progress.
    void measure_mean_image()
    {
        progress_.show("detecting outliers", 0, 1);
        scan_ = scan_outliers(*grey_, options_.threshold, options_.window);
        data_.outliers_bright = scan_.bright;
        data_.outliers_dark = scan_.dark;
        data_.deviating_before = percent_of(scan_.outliers(), pixels());
        if (table_) data_.agreement = compare_with_map(scan_, mask_, *table_, width());
    }

    // The temporal noise when the frames must be read again, the block
    // means, nonuniformity and profiles of M8, and the same of M8 with the
    // maps applied: one working copy of M8 serves every map in turn.
    void measure_with_maps(bool show_progress)
    {
        if (noise_read_again_) measure_noise(show_progress);
        data_.blocks_before = block_figures(*block_means(*grey_), width(), height());
        data_.nonuniformity_before = nonuniformity(*grey_, mask_.empty() ? nullptr : &mask_);
        before_ = profiles_of(*grey_);
        if (!table_ && !gains_) return;
        std::unique_ptr<ImageBW> work = copy_of(*grey_);
        if (gains_) measure_shading(*work);
        if (table_) measure_correction(*work);
        if (gains_) apply_gains(*gains_, *work);
        data_.nonuniformity_after = nonuniformity(*work, mask_.empty() ? nullptr : &mask_);
        after_ = profiles_of(*work);
    }

    // The frames read again, when their squares could not be taken while
    // they were summed (colour frames, or too many for exact sums).
    void measure_noise(bool show_progress)
    {
        const std::vector<std::string>& frames = options_.frames;
        const int64_t count = static_cast<int64_t>(frames.size());
        data_.temporal_noise =
            temporal_noise(frames, width(), height(), [&](int64_t done, int64_t total) {
                if (show_progress)
                    progress_.show("reading frames again", done * count / total, count);
            });
    }

    // `image` comes back with the defects corrected as --apply_defpix_map
    // corrects an image.
    void measure_correction(ImageBW& image)
    {
        correct_defects(*table_, image, false);
        scan_after_.reset(new OutlierScan(
            scan_outliers(image, options_.threshold, options_.window, OutlierKinds::counted)));
        data_.deviating_after = percent_of(scan_after_->outliers(), pixels());
    }

    // The block means of M8 with the gains applied as --apply_shading_map
    // applies them, made in `scratch`, a copy of M8, which is then M8 again.
    void measure_shading(ImageBW& scratch)
    {
        const FloatMap& gains = *gains_;
        data_.has_shading_map = true;
        data_.blocks_x = gains.width();
        data_.blocks_y = gains.height();
        data_.gains = gain_figures(gains);
        apply_gains(gains, scratch);
        data_.blocks_after = block_figures(*block_means(scratch), width(), height());
        std::memcpy(scratch.data(), grey_->data(), static_cast<size_t>(pixels()));
    }

    std::vector<ReportFile> make_pictures() const
    {
        std::vector<ReportFile> files;
        if (gains_) files.push_back({"gains.png", gains_picture(*gains_).png()});
        files.push_back({"defects.png", defects_picture(*grey_, table_.get(), scan_).png()});
        return files;
    }

    // The page last, so that it appears when every picture it shows is there.
    void add_text_files(const std::vector<Metric>& metrics, std::vector<ReportFile>& files) const
    {
        const Verdict* verdict = verdict_ ? &*verdict_ : nullptr;
        files.push_back({"metrics.json", metrics_json(metrics, verdict)});
        ReportInputs inputs{options_.frames, options_.defect_map, options_.shading_map};
        files.push_back({"report.html", report_html(inputs, data_, metrics, verdict)});
    }

    const ReportOptions& options_;
    Progress progress_;
    std::unique_ptr<DefpixTable> table_;
    std::unique_ptr<FloatMap> gains_;
    std::unique_ptr<ImageBW> grey_;
    ReportData data_;
    OutlierScan scan_;
    std::unique_ptr<OutlierScan> scan_after_;
    std::vector<uint8_t> mask_;
    bool noise_read_again_ = false;
    Profiles before_;
    std::optional<Profiles> after_;
    std::optional<Verdict> verdict_;
};

}  // namespace

int run_report(const ReportOptions& options)
{
    std::string error;
    Report report(options);
    if (report.run(error)) return report.passed() ? 0 : 1;
    std::fprintf(stderr, "kd-inspect report: %s\n", error.c_str());
    return 2;
}
