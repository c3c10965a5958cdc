// Frames from a GenTL camera, taken as image consumers take them: buffers of
// our own announced and queued, a new-buffer event to wait on, the transport
// parameters locked, the stream started and the camera told to acquire; and
// on the way out, whatever happened, the camera stopped, the stream stopped,
// flushed and its buffers revoked, the parameters unlocked and the stream
// closed, so that a camera is never left streaming.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camera/gentl_device.h"

// The few features of the camera's description a grab uses; a feature the
// camera does not have is skipped by the caller.
class CameraFeatures {
public:
    virtual ~CameraFeatures() = default;
    virtual bool has(const std::string& feature) const = 0;
    virtual bool read_integer(const std::string& feature, int64_t& value, std::string& error) = 0;
    virtual bool read_enumeration(const std::string& feature, std::string& entry,
                                  std::string& error) = 0;
    virtual bool set_enumeration(const std::string& feature, const std::string& entry,
                                 std::string& error) = 0;
    virtual bool write_integer(const std::string& feature, int64_t value, std::string& error) = 0;
    virtual bool execute(const std::string& command, std::string& error) = 0;
};

// A delivered buffer, valid until the next wait.
struct StreamFrame {
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t pixel_format = 0;
    uint64_t frame_id = 0;
    const uint8_t* bytes = nullptr;
    size_t size = 0;  // the bytes filled
    bool incomplete = false;
};

class FrameStream {
public:
    // Opens the device's first stream with `buffers` buffers (at least the
    // stream's own minimum) and starts it. Null with a one-line reason in
    // `error`; whatever was started is stopped again.
    static std::unique_ptr<FrameStream> start(const GenTLDevice& device, CameraFeatures& features,
                                              size_t buffers, std::string& error);
    ~FrameStream();
    FrameStream(const FrameStream&) = delete;
    FrameStream& operator=(const FrameStream&) = delete;

    enum class Wait { frame, timeout, failed };
    // Waits up to `timeout_ms` for the next buffer; the one handed out before
    // is queued again first.
    Wait next(uint64_t timeout_ms, StreamFrame& frame, std::string& error);

    size_t payload_size() const { return payload_size_; }
    // The camera had no AcquisitionStart: it is taken to run on its own.
    bool free_running() const { return free_running_; }

private:
    FrameStream(const GenTLDevice& device, CameraFeatures& features);
    bool begin(size_t buffers, std::string& error);
    bool open_stream(std::string& error);
    // At least `buffers` of the payload size, and the stream's minimum.
    bool announce_buffers(size_t buffers, std::string& error);
    bool announce_buffer(size_t buffers, std::string& error);
    bool start_acquisition(std::string& error);
    void queue_handed_out();
    bool describe(gentl::BUFFER_HANDLE buffer, StreamFrame& frame, std::string& error) const;

    const GenTLDevice& device_;
    const GenTLProducer& gentl_;
    CameraFeatures& features_;
    gentl::DS_HANDLE stream_ = nullptr;
    gentl::EVENT_HANDLE event_ = nullptr;
    size_t payload_size_ = 0;
    std::vector<std::unique_ptr<uint8_t[]>> memory_;
    std::vector<gentl::BUFFER_HANDLE> buffers_;
    gentl::BUFFER_HANDLE handed_out_ = nullptr;
    bool locked_ = false;
    bool stream_started_ = false;
    bool camera_started_ = false;
    bool free_running_ = false;
};
