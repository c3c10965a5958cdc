#include "camera/frame_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace gentl;

namespace {

// An info answer of any integer type, as the producer sized it.
template <typename Ask>
bool ask_number(Ask ask, uint64_t& value)
{
    unsigned char bytes[8] = {};
    size_t size = sizeof bytes;
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    if (ask(&type, bytes, &size) != GC_ERR_SUCCESS || size > sizeof bytes) return false;
    uint64_t number = 0;
    std::memcpy(&number, bytes, size);  // little-endian hosts only, as every target is
    value = number;
    return true;
}

template <typename Ask>
bool ask_pointer(Ask ask, const void*& pointer)
{
    size_t size = sizeof pointer;
    INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
    return ask(&type, &pointer, &size) == GC_ERR_SUCCESS && size == sizeof pointer;
}

}  // namespace

FrameStream::FrameStream(const GenTLDevice& device, CameraFeatures& features)
    : device_(device), gentl_(device.producer()), features_(features)
{
}

std::unique_ptr<FrameStream> FrameStream::start(const GenTLDevice& device, CameraFeatures& features,
                                                size_t buffers, std::string& error)
{
    std::unique_ptr<FrameStream> stream(new FrameStream(device, features));
    if (!stream->begin(buffers, error)) return nullptr;
    return stream;
}

bool FrameStream::begin(size_t buffers, std::string& error)
{
    return open_stream(error) && announce_buffers(buffers, error) && start_acquisition(error);
}

bool FrameStream::open_stream(std::string& error)
{
    uint32_t streams = 0;
    gentl_.DevGetNumDataStreams(device_.device(), &streams);
    char id[256] = {};
    size_t id_size = sizeof id - 1;
    if (streams == 0 ||
        gentl_.DevGetDataStreamID(device_.device(), 0, id, &id_size) != GC_ERR_SUCCESS) {
        error = "device \"" + device_.device_id() + "\" has no data stream";
        return false;
    }
    const GC_ERROR status = gentl_.DevOpenDataStream(device_.device(), id, &stream_);
    if (status != GC_ERR_SUCCESS) {
        stream_ = nullptr;
        error = "the data stream does not open: " + gentl_failure("DevOpenDataStream", status);
        return false;
    }
    return true;
}

bool FrameStream::announce_buffers(size_t buffers, std::string& error)
{
    uint64_t payload = 0;
    uint64_t minimum = 1;
    ask_number(
        [&](INFO_DATATYPE* t, void* b, size_t* s) {
            return gentl_.DSGetInfo(stream_, STREAM_INFO_PAYLOAD_SIZE, t, b, s);
        },
        payload);
    ask_number(
        [&](INFO_DATATYPE* t, void* b, size_t* s) {
            return gentl_.DSGetInfo(stream_, STREAM_INFO_BUF_ANNOUNCE_MIN, t, b, s);
        },
        minimum);
    if (payload == 0 || payload > (uint64_t(1) << 32)) {
        error = "the data stream reports no usable payload size";
        return false;
    }
    payload_size_ = static_cast<size_t>(payload);
    buffers = std::max<size_t>(buffers, static_cast<size_t>(std::min<uint64_t>(minimum, 64)));
    for (size_t i = 0; i < buffers; ++i)
        if (!announce_buffer(buffers, error)) return false;
    return true;
}

bool FrameStream::announce_buffer(size_t buffers, std::string& error)
{
    std::unique_ptr<uint8_t[]> memory(new (std::nothrow) uint8_t[payload_size_]);
    if (!memory) {
        error = "no memory for " + std::to_string(buffers) + " buffers of " +
                std::to_string(payload_size_) + " bytes";
        return false;
    }
    BUFFER_HANDLE handle = nullptr;
    GC_ERROR status =
        gentl_.DSAnnounceBuffer(stream_, memory.get(), payload_size_, nullptr, &handle);
    if (status != GC_ERR_SUCCESS) {
        error = gentl_failure("DSAnnounceBuffer", status);
        return false;
    }
    memory_.push_back(std::move(memory));
    buffers_.push_back(handle);
    status = gentl_.DSQueueBuffer(stream_, handle);
    if (status != GC_ERR_SUCCESS) {
        error = gentl_failure("DSQueueBuffer", status);
        return false;
    }
    return true;
}

bool FrameStream::start_acquisition(std::string& error)
{
    GC_ERROR status = gentl_.GCRegisterEvent(stream_, EVENT_NEW_BUFFER, &event_);
    if (status != GC_ERR_SUCCESS) {
        event_ = nullptr;
        error = gentl_failure("GCRegisterEvent", status);
        return false;
    }
    if (features_.has("TLParamsLocked")) {
        if (!features_.write_integer("TLParamsLocked", 1, error)) return false;
        locked_ = true;
    }
    status = gentl_.DSStartAcquisition(stream_, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE);
    if (status != GC_ERR_SUCCESS) {
        error = gentl_failure("DSStartAcquisition", status);
        return false;
    }
    stream_started_ = true;
    if (features_.has("AcquisitionMode") &&
        !features_.set_enumeration("AcquisitionMode", "Continuous", error))
        return false;
    free_running_ = !features_.has("AcquisitionStart");
    if (!free_running_) {
        if (!features_.execute("AcquisitionStart", error)) return false;
        camera_started_ = true;
    }
    return true;
}

FrameStream::~FrameStream()
{
    std::string ignored;
    if (camera_started_ && features_.has("AcquisitionStop"))
        features_.execute("AcquisitionStop", ignored);
    if (stream_started_) gentl_.DSStopAcquisition(stream_, ACQ_STOP_FLAGS_KILL);
    if (stream_) gentl_.DSFlushQueue(stream_, ACQ_QUEUE_ALL_DISCARD);
    for (BUFFER_HANDLE buffer : buffers_) gentl_.DSRevokeBuffer(stream_, buffer, nullptr, nullptr);
    if (event_) gentl_.GCUnregisterEvent(stream_, EVENT_NEW_BUFFER);
    if (locked_) features_.write_integer("TLParamsLocked", 0, ignored);
    if (stream_) gentl_.DSClose(stream_);
}

void FrameStream::queue_handed_out()
{
    if (!handed_out_) return;
    gentl_.DSQueueBuffer(stream_, handed_out_);
    handed_out_ = nullptr;
}

FrameStream::Wait FrameStream::next(uint64_t timeout_ms, StreamFrame& frame, std::string& error)
{
    queue_handed_out();
    EVENT_NEW_BUFFER_DATA data{};
    size_t size = sizeof data;
    const GC_ERROR status = gentl_.EventGetData(event_, &data, &size, timeout_ms);
    if (status == GC_ERR_TIMEOUT) return Wait::timeout;
    if (status != GC_ERR_SUCCESS) {
        error = gentl_failure("EventGetData", status);
        return Wait::failed;
    }
    handed_out_ = data.BufferHandle;
    return describe(data.BufferHandle, frame, error) ? Wait::frame : Wait::failed;
}

bool FrameStream::describe(BUFFER_HANDLE buffer, StreamFrame& frame, std::string& error) const
{
    auto info = [&](BUFFER_INFO_CMD command, uint64_t& value) {
        return ask_number(
            [&](INFO_DATATYPE* t, void* b, size_t* s) {
                return gentl_.DSGetBufferInfo(stream_, buffer, command, t, b, s);
            },
            value);
    };
    uint64_t width = 0, height = 0, format = 0, filled = 0, incomplete = 0;
    const void* base = nullptr;
    if (!info(BUFFER_INFO_WIDTH, width) || !info(BUFFER_INFO_HEIGHT, height) ||
        !info(BUFFER_INFO_PIXELFORMAT, format) || !info(BUFFER_INFO_SIZE_FILLED, filled) ||
        !ask_pointer(
            [&](INFO_DATATYPE* t, void* b, size_t* s) {
                return gentl_.DSGetBufferInfo(stream_, buffer, BUFFER_INFO_BASE, t, b, s);
            },
            base)) {
        error = "the producer does not describe a delivered buffer (DSGetBufferInfo)";
        return false;
    }
    // Not every producer tells; a buffer it does not call incomplete is whole.
    info(BUFFER_INFO_IS_INCOMPLETE, incomplete);
    frame.frame_id = 0;
    info(BUFFER_INFO_FRAMEID, frame.frame_id);
    frame.width = static_cast<uint32_t>(std::min<uint64_t>(width, UINT32_MAX));
    frame.height = static_cast<uint32_t>(std::min<uint64_t>(height, UINT32_MAX));
    frame.pixel_format = format;
    frame.bytes = static_cast<const uint8_t*>(base);
    frame.size = static_cast<size_t>(std::min<uint64_t>(filled, payload_size_));
    frame.incomplete = (incomplete & 0xFF) != 0;
    // A base outside our own buffers is not to be trusted with a read.
    bool ours = false;
    for (const auto& memory : memory_) ours = ours || memory.get() == frame.bytes;
    if (!ours) {
        error = "the producer delivered a buffer that is not one of ours";
        return false;
    }
    return true;
}
