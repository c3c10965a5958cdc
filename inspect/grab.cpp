#include "grab.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "camera/device_features.h"
#include "camera/frame_stream.h"
#include "camera/gentl_device.h"
#include "lib/bmp.h"
#include "lib/image.h"
#include "lib/pixel_formats.h"
#include "platform/directory.h"
#include "progress.h"

namespace {

// Enough for the camera to fill one buffer while we write another.
constexpr size_t stream_buffers = 3;

bool is_frame_file(const std::string& name)
{
    return name.size() > 10 && name.compare(0, 6, "frame_") == 0 &&
           name.compare(name.size() - 4, 4, ".bmp") == 0;
}

std::string in_folder(const std::string& folder, const std::string& name)
{
    return folder + platform::path_separator() + name;
}

std::string frame_name(int32_t number)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame_%04d.bmp", static_cast<int>(number));
    return name;
}

// The folder made ready: frames of an earlier run are refused, or with
// `replace` removed, so frames of two runs never mix.
bool prepare_folder(const GrabOptions& options, std::string& error)
{
    if (!platform::make_directories(options.out_dir)) {
        error = options.out_dir + ": cannot be made";
        return false;
    }
    std::vector<std::string> names;
    if (!platform::list_directory(options.out_dir, names)) {
        error = options.out_dir + ": cannot be read";
        return false;
    }
    for (const std::string& name : names) {
        if (!is_frame_file(name)) continue;
        if (!options.replace) {
            error = options.out_dir + " already holds frames (" + name +
                    "); --replace removes them first";
            return false;
        }
        if (std::remove(in_folder(options.out_dir, name).c_str()) != 0) {
            error = in_folder(options.out_dir, name) + ": cannot be removed";
            return false;
        }
    }
    return true;
}

std::string feature_or(CameraFeatures& features, const std::string& name)
{
    int64_t value = 0;
    std::string ignored;
    if (!features.has(name) || !features.read_integer(name, value, ignored)) return "?";
    return std::to_string(value);
}

std::string format_of(CameraFeatures& features)
{
    std::string entry;
    std::string ignored;
    if (!features.has("PixelFormat") || !features.read_enumeration("PixelFormat", entry, ignored))
        return "?";
    return entry;
}

class Grab {
public:
    explicit Grab(const GrabOptions& options) : options_(options), progress_(stderr) {}

    int run()
    {
        std::string error;
        if (!prepare_folder(options_, error)) return fail(error);
        std::unique_ptr<GenTLDevice> device =
            GenTLDevice::open(options_.producer, options_.interface_id, options_.device_id, error);
        if (!device) return fail(error);
        std::unique_ptr<CameraFeatures> features = read_device_features(*device, error);
        if (!features) return fail(error);
        print_camera(*device, *features);
        std::unique_ptr<FrameStream> stream =
            FrameStream::start(*device, *features, stream_buffers, error);
        if (!stream) return fail(error);
        if (stream->free_running())
            std::printf("the camera has no AcquisitionStart: taken to run on its own\n");
        const auto started = std::chrono::steady_clock::now();
        while (written_ < options_.frames) {
            if (!take_one(*stream, error)) {
                progress_.clear();
                return fail(error);
            }
        }
        progress_.clear();
        stream.reset();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("grabbed %d frames of %u x %u (%s) into %s in %.1f s", written_, width_,
                    height_, pixel_format_name(format_).c_str(), options_.out_dir.c_str(), seconds);
        if (incomplete_ > 0) std::printf(", %d incomplete skipped", incomplete_);
        std::printf("\n");
        return 0;
    }

private:
    int fail(const std::string& error)
    {
        std::fflush(stdout);
        std::fprintf(stderr, "kd-inspect grab: %s\n", error.c_str());
        return 2;
    }

    void print_camera(const GenTLDevice& device, CameraFeatures& features)
    {
        const DeviceIdentity& id = device.identity();
        std::printf("camera: %s %s, serial number %s, %s x %s, %s (%s, %s)\n", id.vendor.c_str(),
                    id.model.c_str(), id.serial_number.c_str(),
                    feature_or(features, "Width").c_str(), feature_or(features, "Height").c_str(),
                    format_of(features).c_str(), device.interface_id().c_str(),
                    device.device_id().c_str());
        std::fflush(stdout);
    }

    std::string arrived() const
    {
        return std::to_string(written_) + " of " + std::to_string(options_.frames) +
               " frames written";
    }

    bool take_one(FrameStream& stream, std::string& error)
    {
        StreamFrame frame;
        switch (stream.next(static_cast<uint64_t>(options_.timeout_ms), frame, error)) {
        case FrameStream::Wait::timeout:
            error = "no frame within " + std::to_string(options_.timeout_ms) + " ms; " + arrived();
            return false;
        case FrameStream::Wait::failed: error += "; " + arrived(); return false;
        case FrameStream::Wait::frame: break;
        }
        const MonoFormat* format = find_mono_format(frame.pixel_format);
        if (!format) {
            error = "pixel format " + pixel_format_name(frame.pixel_format) +
                    " is not supported (Mono8, Mono10, Mono12, Mono16, Mono12Packed); " + arrived();
            return false;
        }
        if (written_ == 0 && incomplete_in_row_ == 0 && incomplete_ == 0) {
            width_ = frame.width;
            height_ = frame.height;
            format_ = frame.pixel_format;
        }
        const size_t pixels = size_t(frame.width) * frame.height;
        if (frame.incomplete || frame.size < mono_frame_bytes(*format, pixels))
            return skip_incomplete(error);
        incomplete_in_row_ = 0;
        if (frame.width != width_ || frame.height != height_) {
            error = "frame " + std::to_string(written_ + incomplete_ + 1) + " is " +
                    std::to_string(frame.width) + " x " + std::to_string(frame.height) +
                    ", the first was " + std::to_string(width_) + " x " + std::to_string(height_) +
                    "; " + arrived();
            return false;
        }
        return write(*format, frame, error);
    }

    bool skip_incomplete(std::string& error)
    {
        ++incomplete_;
        if (++incomplete_in_row_ > options_.frames) {
            error = "more than " + std::to_string(options_.frames) +
                    " incomplete frames in a row; " + arrived();
            return false;
        }
        return true;
    }

    bool write(const MonoFormat& format, const StreamFrame& frame, std::string& error)
    {
        if (frame.width == 0 || frame.height == 0 || frame.width > INT32_MAX ||
            frame.height > INT32_MAX) {
            error = "the camera delivered a frame of " + std::to_string(frame.width) + " x " +
                    std::to_string(frame.height) + "; " + arrived();
            return false;
        }
        if (!image_ || image_->width() != frame.width || image_->height() != frame.height)
            image_.reset(
                new ImageBW(static_cast<int32_t>(frame.width), static_cast<int32_t>(frame.height)));
        reduce_to_8_bits(format, frame.bytes, size_t(frame.width) * frame.height, image_->data());
        const std::string path = in_folder(options_.out_dir, frame_name(written_ + 1));
        if (!save_bmp(*image_, path.c_str())) {
            error = path + ": cannot be written; " + arrived();
            return false;
        }
        ++written_;
        progress_.show("grabbing frames", written_, options_.frames);
        return true;
    }

    const GrabOptions& options_;
    Progress progress_;
    std::unique_ptr<ImageBW> image_;
    int32_t written_ = 0;
    int32_t incomplete_ = 0;
    int32_t incomplete_in_row_ = 0;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint64_t format_ = 0;
};

}  // namespace

int run_grab(const GrabOptions& options) { return Grab(options).run(); }
