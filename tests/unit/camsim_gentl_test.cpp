// camsim.cti as standard GenTL consumers use it: the call sequences common
// consumers make, each checking what that consumer relies on and grabbing
// frames whose bytes are the sensor's, corrected as the camera corrects them;
// and the camera's correction set against the program's own of the same maps.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bmp_files.h"
#include "camera/ctl.h"
#include "camera/gentl.h"
#include "camera/map_transfer.h"
#include "camera_model.h"
#include "correction/defpix.h"
#include "correction/defpix_apply.h"
#include "correction/shading.h"
#include "correction/shading_gain.h"
#include "environment.h"
#include "genapi_description.h"
#include "gentl_consumer.h"
#include "lib/float_map.h"
#include "lib/image.h"
#include "lib/log.h"
#include "sensor.h"

using namespace gentl;

namespace {

constexpr uint32_t width = 200;
constexpr uint32_t height = 120;
constexpr size_t payload = size_t(width) * height;

Log quiet_log(nullptr, LOG_INFO);
const TransferTools no_waits{[](uint32_t) {}, &quiet_log};

camsim::SensorSettings sensor_settings()
{
    camsim::SensorSettings settings;
    settings.width = width;
    settings.height = height;
    settings.hot_pixels = 6;
    settings.dead_pixels = 6;
    return settings;
}

// A camera of its own for each test: settings, an empty store, the library.
class CamsimTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(config_, std::ios::binary)
            << "width=" << width << "\nheight=" << height << "\nhot_pixels=6\ndead_pixels=6\n";
        std::remove(state_.c_str());
        test_env::set_environment("CAMSIM_CONFIG", config_.c_str());
        test_env::set_environment("CAMSIM_STATE", state_.c_str());
        consumer_ = GenTLConsumer::load(KD_CAMSIM_FILE);
        ASSERT_TRUE(consumer_) << KD_CAMSIM_FILE;
    }

    test_files::Scratch scratch_{"camsim_gentl_"};
    std::string config_ = scratch_.path("camsim.conf");
    std::string state_ = scratch_.path("camsim.state");
    std::unique_ptr<GenTLConsumer> consumer_;
};

// The description as consumers fetch it: the URL's address and length, and
// one read of that whole length.
std::string read_description(const OpenCamera& camera)
{
    const InfoAnswer url = ask_info([&](INFO_DATATYPE* type, void* buffer, size_t* size) {
        return camera.gentl.GCGetPortURLInfo(camera.port, 0, URL_INFO_URL, type, buffer, size);
    });
    EXPECT_EQ(url.status, GC_ERR_SUCCESS);
    EXPECT_EQ(url.type, INFO_DATATYPE_STRING);
    const std::string text = url.text();
    const std::string prefix = "Local:camsim.xml;";
    EXPECT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
    const size_t split = text.find(';', prefix.size());
    const uint64_t address = std::stoull(text.substr(prefix.size(), split - prefix.size()), 0, 16);
    const size_t length = std::stoull(text.substr(split + 1), 0, 16);
    EXPECT_EQ(length % 4, 0u);
    std::string bytes(length, '\0');
    size_t size = length;
    EXPECT_EQ(camera.gentl.GCReadPort(camera.port, address, &bytes[0], &size), GC_ERR_SUCCESS);
    EXPECT_EQ(size, length);
    // Nothing is served past its end.
    char beyond[4];
    size_t four = sizeof beyond;
    EXPECT_NE(camera.gentl.GCReadPort(camera.port, address + length, beyond, &four),
              GC_ERR_SUCCESS);
    return bytes;
}

// The frame the camera must deliver as `index`: the sensor's, corrected by
// the camera's rule for what it holds.
std::vector<uint8_t> expected_frame(uint64_t index, const camsim::CameraCorrection& correction)
{
    std::vector<uint8_t> frame(payload);
    camsim::Sensor(sensor_settings()).frame(index, frame.data());
    camsim::correct_frame(correction, frame.data(), width, height);
    return frame;
}

// Acquisition as a consumer that waits on events does it: buffers of its own
// memory and of the producer's, a new-buffer event, waits of 1 ms in a loop,
// each buffer checked against its frame and queued again.
void grab_with_events(const OpenCamera& camera, DS_HANDLE stream, int frames,
                      const camsim::CameraCorrection& correction)
{
    const GenTLConsumer& gentl = camera.gentl;
    std::vector<std::vector<uint8_t>> memory(2, std::vector<uint8_t>(payload));
    std::vector<BUFFER_HANDLE> buffers(3);
    ASSERT_EQ(gentl.DSAnnounceBuffer(stream, memory[0].data(), payload, &memory[0], &buffers[0]),
              GC_ERR_SUCCESS);
    ASSERT_EQ(gentl.DSAnnounceBuffer(stream, memory[1].data(), payload, nullptr, &buffers[1]),
              GC_ERR_SUCCESS);
    ASSERT_EQ(gentl.DSAllocAndAnnounceBuffer(stream, payload, nullptr, &buffers[2]),
              GC_ERR_SUCCESS);
    for (BUFFER_HANDLE buffer : buffers) ASSERT_EQ(gentl.DSQueueBuffer(stream, buffer), 0);
    EVENT_HANDLE event = nullptr;
    ASSERT_EQ(gentl.GCRegisterEvent(stream, EVENT_NEW_BUFFER, &event), GC_ERR_SUCCESS);
    ASSERT_EQ(gentl.DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), 0);
    ASSERT_EQ(camera.write_register(camsim::reg::acquisition_start, 1), GC_ERR_SUCCESS);
    for (int got = 0; got < frames;) {
        EVENT_NEW_BUFFER_DATA data{};
        size_t size = sizeof data;
        const GC_ERROR status = gentl.EventGetData(event, &data, &size, 1);
        if (status == GC_ERR_TIMEOUT) continue;
        ASSERT_EQ(status, GC_ERR_SUCCESS);
        const InfoAnswer base = ask_info([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return gentl.DSGetBufferInfo(stream, data.BufferHandle, BUFFER_INFO_BASE, t, b, s);
        });
        const InfoAnswer frame_id = ask_info([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return gentl.DSGetBufferInfo(stream, data.BufferHandle, BUFFER_INFO_FRAMEID, t, b, s);
        });
        const InfoAnswer incomplete = ask_info([&](INFO_DATATYPE* t, void* b, size_t* s) {
            return gentl.DSGetBufferInfo(stream, data.BufferHandle, BUFFER_INFO_IS_INCOMPLETE, t, b,
                                         s);
        });
        ASSERT_EQ(incomplete.number() & 0xFF, 0u);
        const uint8_t* pixels = reinterpret_cast<const uint8_t*>(base.number());
        EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + payload),
                  expected_frame(frame_id.number(), correction))
            << "frame " << frame_id.number();
        ASSERT_EQ(gentl.DSQueueBuffer(stream, data.BufferHandle), GC_ERR_SUCCESS);
        ++got;
    }
    EXPECT_EQ(camera.write_register(camsim::reg::acquisition_stop, 1), GC_ERR_SUCCESS);
    EXPECT_EQ(gentl.DSStopAcquisition(stream, ACQ_STOP_FLAGS_KILL), GC_ERR_SUCCESS);
    // A queued buffer cannot be revoked; flushed out of the pool, it can.
    EXPECT_EQ(gentl.DSRevokeBuffer(stream, buffers[0], nullptr, nullptr), GC_ERR_BUSY);
    EXPECT_EQ(gentl.DSFlushQueue(stream, ACQ_QUEUE_ALL_DISCARD), GC_ERR_SUCCESS);
    EXPECT_EQ(gentl.EventFlush(event), GC_ERR_SUCCESS);
    void* given = nullptr;
    void* user = nullptr;
    EXPECT_EQ(gentl.DSRevokeBuffer(stream, buffers[0], &given, &user), GC_ERR_SUCCESS);
    EXPECT_EQ(given, memory[0].data());
    EXPECT_EQ(user, &memory[0]);
    EXPECT_EQ(gentl.DSRevokeBuffer(stream, buffers[1], nullptr, nullptr), GC_ERR_SUCCESS);
    EXPECT_EQ(gentl.DSRevokeBuffer(stream, buffers[2], &given, nullptr), GC_ERR_SUCCESS);
    EXPECT_EQ(given, nullptr);
    EXPECT_EQ(gentl.GCUnregisterEvent(stream, EVENT_NEW_BUFFER), GC_ERR_SUCCESS);
}

DS_HANDLE open_stream(const OpenCamera& camera)
{
    uint32_t streams = 0;
    EXPECT_EQ(camera.gentl.DevGetNumDataStreams(camera.device, &streams), GC_ERR_SUCCESS);
    EXPECT_EQ(streams, 1u);
    char id[64];
    size_t size = sizeof id;
    EXPECT_EQ(camera.gentl.DevGetDataStreamID(camera.device, 0, id, &size), GC_ERR_SUCCESS);
    DS_HANDLE stream = nullptr;
    EXPECT_EQ(camera.gentl.DevOpenDataStream(camera.device, id, &stream), GC_ERR_SUCCESS);
    return stream;
}

// A consumer that lists everything, reads every module's information and
// fetches the description with a single read of the URL's length.
void enumerating_consumer(const OpenCamera& camera)
{
    const GenTLConsumer& gentl = camera.gentl;
    struct Expected {
        const char* what;
        std::function<InfoAnswer()> ask;
        INFO_DATATYPE type;
        std::string text;
        uint64_t number;
    };
    auto device_info = [&](DEVICE_INFO_CMD command) {
        return [&, command] {
            return ask_info([&](INFO_DATATYPE* t, void* b, size_t* s) {
                return gentl.IFGetDeviceInfo(camera.iface, camera.device_id.c_str(), command, t, b,
                                             s);
            });
        };
    };
    auto system_info = [&](TL_INFO_CMD command) {
        return [&, command] {
            return ask_info([&](INFO_DATATYPE* t, void* b, size_t* s) {
                return gentl.TLGetInfo(camera.system, command, t, b, s);
            });
        };
    };
    const std::vector<Expected> expected = {
        {"TL vendor", system_info(TL_INFO_VENDOR), INFO_DATATYPE_STRING, "Kervo CamSim", 0},
        {"TL type", system_info(TL_INFO_TLTYPE), INFO_DATATYPE_STRING, "Custom", 0},
        {"GenTL major", system_info(TL_INFO_GENTL_VER_MAJOR), INFO_DATATYPE_UINT32, "", 1},
        {"GenTL minor", system_info(TL_INFO_GENTL_VER_MINOR), INFO_DATATYPE_UINT32, "", 5},
        {"device ID", device_info(DEVICE_INFO_ID), INFO_DATATYPE_STRING, "camsim-dev0", 0},
        {"vendor", device_info(DEVICE_INFO_VENDOR), INFO_DATATYPE_STRING, "Kervo CamSim", 0},
        {"model", device_info(DEVICE_INFO_MODEL), INFO_DATATYPE_STRING, "CamSim 5120", 0},
        {"serial", device_info(DEVICE_INFO_SERIAL_NUMBER), INFO_DATATYPE_STRING, "CS100001", 0},
        {"display name", device_info(DEVICE_INFO_DISPLAYNAME), INFO_DATATYPE_STRING,
         "CamSim 5120 (camsim-dev0)", 0},
        {"access", device_info(DEVICE_INFO_ACCESS_STATUS), INFO_DATATYPE_INT32, "",
         uint64_t(DEVICE_ACCESS_STATUS_OPEN_READWRITE)},
        {"timestamp frequency", device_info(DEVICE_INFO_TIMESTAMP_FREQUENCY), INFO_DATATYPE_UINT64,
         "", 1000000000},
        {"interface type",
         [&] {
             return ask_info([&](INFO_DATATYPE* t, void* b, size_t* s) {
                 return gentl.IFGetInfo(camera.iface, INTERFACE_INFO_TLTYPE, t, b, s);
             });
         },
         INFO_DATATYPE_STRING, "Custom", 0},
    };
    for (const Expected& e : expected) {
        const InfoAnswer answer = e.ask();
        EXPECT_EQ(answer.status, GC_ERR_SUCCESS) << e.what;
        EXPECT_EQ(answer.type, e.type) << e.what;
        if (e.type == INFO_DATATYPE_STRING) {
            EXPECT_EQ(answer.text(), e.text) << e.what;
        } else {
            EXPECT_EQ(answer.number(), e.number) << e.what;
        }
    }
    uint32_t urls = 0;
    EXPECT_EQ(gentl.GCGetNumPortURLs(camera.port, &urls), GC_ERR_SUCCESS);
    EXPECT_EQ(urls, 1u);
    for (void* module_port : {camera.system, camera.iface, camera.device})
        EXPECT_EQ(gentl.GCGetNumPortURLs(module_port, &urls), GC_ERR_NOT_IMPLEMENTED);
    const std::string description = read_description(camera);
    EXPECT_EQ(description, camsim::genapi_description());
    EXPECT_EQ(description.compare(0, 5, "<?xml"), 0);
}

// A consumer that matches the port's name with the description's Port node
// and checks that a write reports the size it was given.
void port_matching_consumer(const OpenCamera& camera)
{
    const InfoAnswer name = ask_info([&](INFO_DATATYPE* t, void* b, size_t* s) {
        return camera.gentl.GCGetPortInfo(camera.port, PORT_INFO_PORTNAME, t, b, s);
    });
    ASSERT_EQ(name.status, GC_ERR_SUCCESS);
    EXPECT_NE(read_description(camera).find("<Port Name=\"" + name.text() + "\""),
              std::string::npos)
        << name.text();
    const unsigned char single_frame[4] = {0, 0, 0, 1};
    size_t size = sizeof single_frame;
    EXPECT_EQ(
        camera.gentl.GCWritePort(camera.port, camsim::reg::acquisition_mode, single_frame, &size),
        GC_ERR_SUCCESS);
    EXPECT_EQ(size, sizeof single_frame);
    uint32_t mode = 0;
    EXPECT_EQ(camera.read_register(camsim::reg::acquisition_mode, mode), GC_ERR_SUCCESS);
    EXPECT_EQ(mode, camsim::acquisition_mode_single_frame);
    EXPECT_EQ(camera.write_register(camsim::reg::acquisition_mode, 0), GC_ERR_SUCCESS);
}

struct ConsumerCase {
    const char* name;
    void (*before_grabbing)(const OpenCamera& camera);
};

class Consumers : public CamsimTest, public testing::WithParamInterface<ConsumerCase> {};

TEST_P(Consumers, FindWhatTheyRelyOnAndGrabTheSensorsFrames)
{
    OpenCamera camera(*consumer_);
    ASSERT_TRUE(camera.opened());
    GetParam().before_grabbing(camera);
    DS_HANDLE stream = open_stream(camera);
    ASSERT_NE(stream, nullptr);
    grab_with_events(camera, stream, 5, camsim::CameraCorrection());
    EXPECT_EQ(camera.gentl.DSClose(stream), GC_ERR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Camsim, Consumers,
                         testing::Values(ConsumerCase{"Enumerating", enumerating_consumer},
                                         ConsumerCase{"PortMatching", port_matching_consumer},
                                         ConsumerCase{"EventWaiting", [](const OpenCamera&) {}}),
                         [](const testing::TestParamInfo<ConsumerCase>& info) {
                             return info.param.name;
                         });

TEST_F(CamsimTest, AWaitKilledFromAnotherThreadIsAborted)
{
    OpenCamera camera(*consumer_);
    DS_HANDLE stream = open_stream(camera);
    EVENT_HANDLE event = nullptr;
    ASSERT_EQ(camera.gentl.GCRegisterEvent(stream, EVENT_NEW_BUFFER, &event), GC_ERR_SUCCESS);
    GC_ERROR status = GC_ERR_SUCCESS;
    std::thread waiter([&] {
        EVENT_NEW_BUFFER_DATA data{};
        size_t size = sizeof data;
        status = camera.gentl.EventGetData(event, &data, &size, GENTL_INFINITE);
    });
    // Killed before the wait began or during it, the wait ends the same way.
    EXPECT_EQ(camera.gentl.EventKill(event), GC_ERR_SUCCESS);
    waiter.join();
    EXPECT_EQ(status, GC_ERR_ABORT);
    EXPECT_EQ(camera.gentl.DSClose(stream), GC_ERR_SUCCESS);
}

TEST_F(CamsimTest, SingleFrameDeliversOneFrame)
{
    OpenCamera camera(*consumer_);
    DS_HANDLE stream = open_stream(camera);
    std::vector<BUFFER_HANDLE> buffers(2);
    for (BUFFER_HANDLE& buffer : buffers) {
        ASSERT_EQ(camera.gentl.DSAllocAndAnnounceBuffer(stream, payload, nullptr, &buffer), 0);
        ASSERT_EQ(camera.gentl.DSQueueBuffer(stream, buffer), GC_ERR_SUCCESS);
    }
    EVENT_HANDLE event = nullptr;
    ASSERT_EQ(camera.gentl.GCRegisterEvent(stream, EVENT_NEW_BUFFER, &event), GC_ERR_SUCCESS);
    // The camera first, then the stream: the order is the consumer's choice.
    ASSERT_EQ(camera.write_register(camsim::reg::acquisition_mode, 1), GC_ERR_SUCCESS);
    ASSERT_EQ(camera.write_register(camsim::reg::acquisition_start, 1), GC_ERR_SUCCESS);
    ASSERT_EQ(camera.gentl.DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE), 0);
    EVENT_NEW_BUFFER_DATA data{};
    size_t size = sizeof data;
    EXPECT_EQ(camera.gentl.EventGetData(event, &data, &size, 5000), GC_ERR_SUCCESS);
    EXPECT_EQ(camera.gentl.EventGetData(event, &data, &size, 200), GC_ERR_TIMEOUT);
    EXPECT_EQ(camera.gentl.DSStopAcquisition(stream, ACQ_STOP_FLAGS_DEFAULT), GC_ERR_SUCCESS);
    EXPECT_EQ(camera.gentl.DSClose(stream), GC_ERR_SUCCESS);
}

// The maps a calibration of this sensor would give: its defects (the column
// first, as the camera applies columns before pixels, and a pixel in column
// 0), and a shading map of `gain_step` steps.
struct Maps {
    DefpixTable table;
    std::unique_ptr<FloatMap> shading;
};

void make_maps(Maps& maps, bool gains_in_camera_steps)
{
    const camsim::Sensor sensor(sensor_settings());
    if (sensor.bad_column() >= 0) maps.table.defpix_add(int32_t(sensor.bad_column()), 0, 4);
    for (const camsim::SensorDefect& d : sensor.hot()) maps.table.defpix_add(d.x, d.y, 0);
    for (const camsim::SensorDefect& d : sensor.dead()) maps.table.defpix_add(d.x, d.y, 0);
    maps.table.defpix_add(0, 7, 0);
    ImageBW frame(width, height);
    sensor.frame(0, frame.data());
    maps.shading = shading_gains(frame);
    if (gains_in_camera_steps) {
        for (int32_t j = 0; j < maps.shading->height(); ++j)
            for (int32_t i = 0; i < maps.shading->width(); ++i)
                maps.shading->set(
                    i, j, float(shading_gain(maps.shading->get(i, j))) / shading_gain_scale);
    }
}

class Correction : public CamsimTest, public testing::WithParamInterface<bool> {};

// Defects are corrected alike, byte for byte. Gains differ where the
// program's float product and the camera's gain (the value x 4096 truncated)
// fall on two sides of an integer: the camera then delivers one less, never
// more; gains the camera holds exactly give the same bytes.
TEST_P(Correction, TheCameraCorrectsAsTheProgramDoesTheSameMaps)
{
    const bool exact_gains = GetParam();
    Maps maps;
    make_maps(maps, exact_gains);
    {
        OpenCamera camera(*consumer_);
        ASSERT_TRUE(camera.opened());
        GenTLProducer binding([&](const char* name) {
            return consumer_->library->function<GenTLProducer::AnyEntry>(name);
        });
        CTL port(binding, camera.port, quiet_log);
        testing::internal::CaptureStdout();
        EXPECT_TRUE(upload_defpix_map(&port, maps.table, 1, no_waits));
        EXPECT_TRUE(upload_shading_map(&port, maps.shading.get(), 0, no_waits));
        testing::internal::GetCapturedStdout();
    }
    // A camera started again applies what it saved.
    OpenCamera camera(*consumer_);
    DS_HANDLE stream = open_stream(camera);
    std::vector<uint8_t> memory(payload);
    BUFFER_HANDLE buffer = nullptr;
    ASSERT_EQ(camera.gentl.DSAnnounceBuffer(stream, memory.data(), payload, nullptr, &buffer), 0);
    ASSERT_EQ(camera.gentl.DSQueueBuffer(stream, buffer), GC_ERR_SUCCESS);
    EVENT_HANDLE event = nullptr;
    ASSERT_EQ(camera.gentl.GCRegisterEvent(stream, EVENT_NEW_BUFFER, &event), GC_ERR_SUCCESS);
    ASSERT_EQ(camera.gentl.DSStartAcquisition(stream, ACQ_START_FLAGS_DEFAULT, 1), GC_ERR_SUCCESS);
    ASSERT_EQ(camera.write_register(camsim::reg::acquisition_start, 1), GC_ERR_SUCCESS);
    EVENT_NEW_BUFFER_DATA data{};
    size_t size = sizeof data;
    ASSERT_EQ(camera.gentl.EventGetData(event, &data, &size, 5000), GC_ERR_SUCCESS);

    ImageBW expected(width, height);
    camsim::Sensor(sensor_settings()).frame(0, expected.data());
    correct_defects(maps.table, expected, false);
    apply_gains(*maps.shading, expected);
    size_t one_less = 0;
    for (size_t i = 0; i < payload; ++i) {
        const int difference = int(expected.data()[i]) - int(memory[i]);
        ASSERT_TRUE(difference == 0 || (!exact_gains && difference == 1)) << "pixel " << i;
        one_less += difference;
    }
    if (exact_gains) {
        EXPECT_EQ(one_less, 0u);
    }
    // The maps were at work: no hot pixel is left.
    const camsim::Sensor sensor(sensor_settings());
    for (const camsim::SensorDefect& d : sensor.hot())
        EXPECT_LT(memory[d.y * width + d.x], 255) << d.x << ", " << d.y;
    EXPECT_EQ(camera.gentl.DSClose(stream), GC_ERR_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Camsim, Correction, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "GainsTheCameraHoldsExactly" : "GainsOfTheProgram";
                         });

}  // namespace
