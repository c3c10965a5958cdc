// The simulated camera: what one frame of its sensor costs, and what a frame
// costs delivered through camsim.cti's data stream into a consumer's buffers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "bench.h"
#include "camera_model.h"
#include "gentl_consumer.h"
#include "lib/bmp.h"
#include "lib/image.h"
#include "sensor.h"

using namespace gentl;

namespace {

constexpr int stream_frames = 16;
const size_t frame_bytes = static_cast<size_t>(bench_frame_side) * bench_frame_side;

// A file beside the program under measure (and kd_bench, unless --program
// names another).
std::string beside_program(const BenchContext& context, const char* name)
{
    return std::filesystem::path(context.program()).replace_filename(name).string();
}

// kd-inspect grab of 16 frames into BMP files, as one process, against making
// the same frames with the sensor model and writing them with save_bmp.
void report_grab(BenchContext& context, const camsim::Sensor& sensor)
{
    ImageBW image(bench_frame_side, bench_frame_side);
    uint64_t index = 0;
    const double floor_ms = context.best_ms([&] {
        for (int i = 0; i < stream_frames; ++i, ++index) {
            sensor.frame(index, image.data());
            save_bmp(image, context.path("floor_" + std::to_string(i) + ".bmp").c_str());
        }
    });
    for (int i = 0; i < stream_frames; ++i)
        std::remove(context.path("floor_" + std::to_string(i) + ".bmp").c_str());
    const std::vector<std::string> command = {beside_program(context, "kd-inspect"),
                                              "grab",
                                              "--cti",
                                              beside_program(context, "camsim.cti"),
                                              "--frames",
                                              std::to_string(stream_frames),
                                              "--out",
                                              context.path("grab"),
                                              "--replace"};
    const std::string output = context.path("grab_output.txt");
    const ChildRun grab =
        best_child_run(context.repeats(), command, context.folder(), output, [] {});
    if (grab.status != 0)
        std::fprintf(bench_out(), "  KD-INSPECT GRAB EXITED WITH %d\n", grab.status);
    context.report("kd-inspect grab, 16 frames into BMP files", grab.ms,
                   "sensor model + save_bmp, 16 frames", floor_ms);
    context.note(peak_note("kd-inspect grab (16 frames, 3 buffers of 25 MiB)", grab));
    std::filesystem::remove_all(context.path("grab"));
    std::remove(output.c_str());
}

// The whole of a stream's work for `stream_frames` frames: three buffers of
// the consumer's own, each waited for, and queued again.
class StreamRun {
public:
    explicit StreamRun(const OpenCamera& camera) : camera_(camera), memory_(3)
    {
        const GenTLConsumer& gentl = camera.gentl;
        gentl.DevOpenDataStream(camera.device, "Stream0", &stream_);
        for (std::vector<uint8_t>& buffer : memory_) {
            buffer.assign(frame_bytes, 0);
            BUFFER_HANDLE handle = nullptr;
            gentl.DSAnnounceBuffer(stream_, buffer.data(), frame_bytes, nullptr, &handle);
            handles_.push_back(handle);
        }
        gentl.GCRegisterEvent(stream_, EVENT_NEW_BUFFER, &event_);
    }
    ~StreamRun()
    {
        camera_.gentl.GCUnregisterEvent(stream_, EVENT_NEW_BUFFER);
        camera_.gentl.DSClose(stream_);
    }

    // False when a frame did not arrive.
    bool grab()
    {
        const GenTLConsumer& gentl = camera_.gentl;
        for (BUFFER_HANDLE handle : handles_) gentl.DSQueueBuffer(stream_, handle);
        gentl.DSStartAcquisition(stream_, ACQ_START_FLAGS_DEFAULT, stream_frames);
        camera_.write_register(camsim::reg::acquisition_start, 1);
        bool complete = true;
        for (int i = 0; i < stream_frames && complete; ++i) {
            EVENT_NEW_BUFFER_DATA data{};
            size_t size = sizeof data;
            complete = gentl.EventGetData(event_, &data, &size, 10000) == GC_ERR_SUCCESS;
            if (complete) gentl.DSQueueBuffer(stream_, data.BufferHandle);
        }
        camera_.write_register(camsim::reg::acquisition_stop, 1);
        gentl.DSStopAcquisition(stream_, ACQ_STOP_FLAGS_KILL);
        gentl.DSFlushQueue(stream_, ACQ_QUEUE_ALL_DISCARD);
        return complete;
    }

private:
    const OpenCamera& camera_;
    DS_HANDLE stream_ = nullptr;
    EVENT_HANDLE event_ = nullptr;
    std::vector<std::vector<uint8_t>> memory_;
    std::vector<BUFFER_HANDLE> handles_;
};

void run_camsim(BenchContext& context)
{
    camsim::SensorSettings settings;
    settings.width = bench_frame_side;
    settings.height = bench_frame_side;
    const camsim::Sensor sensor(settings);
    // Three buffers in turn, as the stream below fills them: one frame's
    // bytes may stay in the processor's cache, three do not.
    std::vector<std::vector<uint8_t>> frames(3, std::vector<uint8_t>(frame_bytes));
    // Once untimed, so the frames' pages are in place as a stream buffer's would be.
    for (std::vector<uint8_t>& frame : frames) sensor.frame(0, frame.data());
    // A new index each run, as a stream asks for them.
    uint64_t index = 1;
    // 16 frames a run, as the stream's runs take them, so that both figures
    // meet the machine's slower moments alike.
    const double model_ms = context.best_ms([&] {
        for (int i = 0; i < stream_frames; ++i, ++index)
            sensor.frame(index, frames[index % frames.size()].data());
    }) / stream_frames;
    context.report("sensor model, per frame of 16", model_ms, "copy of a 5120 x 5120 image",
                   context.image_copy_ms());

    // The camera's defaults: a 5120 x 5120 sensor, nothing stored.
    const std::string config = context.path("camsim.conf");
    std::ofstream(config) << "width=5120\nheight=5120\n";
    setenv("CAMSIM_CONFIG", config.c_str(), 1);
    unsetenv("CAMSIM_STATE");
    const std::string camsim = beside_program(context, "camsim.cti");
    const std::unique_ptr<GenTLConsumer> consumer = GenTLConsumer::load(camsim);
    if (!consumer) {
        context.note("camsim stream: " + camsim + " does not load; build target camsim");
        return;
    }
    const OpenCamera camera(*consumer);
    StreamRun run(camera);
    bool complete = true;
    const double stream_ms = context.best_ms([&] { complete = run.grab() && complete; });
    if (!complete) context.note("camsim stream: a frame did not arrive within 10 s");
    context.report("camsim stream, per frame of 16", stream_ms / stream_frames,
                   "sensor model, per frame of 16", model_ms);
    report_grab(context, sensor);
}

}  // namespace

KD_BENCH_STAGE(camsim,
               "the simulated camera: its sensor, frames through its stream, kd-inspect grab",
               run_camsim);
