// camsim's GenTL data stream: the buffers a consumer announces, the input
// pool and output queue they move through, the new-buffer event that hands
// them back, and the thread that fills them with the camera's frames.
//
// Consumers wait for events on one thread and queue, flush and stop on
// another, so every member may be called from any thread. The stream's lock
// may be held while the camera's is taken (FrameSource), never the reverse.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera_correction.h"
#include "gentl_api.h"
#include "pixel_format.h"

namespace camsim {

// The next frame to be delivered: its index in the sensor's sequence, the
// correction the camera applies to it, and the faults it is to show.
struct FrameClaim {
    uint64_t index;
    CameraCorrection correction;
    bool incomplete = false;
    bool half_height = false;
};

// What a stream needs of the camera behind it.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual uint32_t width() const = 0;
    virtual uint32_t height() const = 0;
    virtual const PixelFormat& pixel_format() const = 0;
    // Whether the camera is acquiring (AcquisitionStart written, not stopped)
    // and has a frame to make.
    virtual bool acquiring() = 0;
    // Takes the next frame, which ends a SingleFrame acquisition.
    virtual FrameClaim claim_frame() = 0;
    // The sensor's frame `index`, width x height bytes; called without locks.
    virtual void render(uint64_t index, uint8_t* pixels) const = 0;
};

// What the new-buffer event's handle points at.
struct EventSlot {
    class DataStream* stream;
};

class DataStream {
public:
    DataStream(FrameSource& camera, std::string id);
    ~DataStream();
    DataStream(const DataStream&) = delete;
    DataStream& operator=(const DataStream&) = delete;

    const std::string& id() const { return id_; }
    // Stops delivery and revokes every buffer, as DSClose does; the object
    // stays for the next open.
    void close();
    // The camera's registers changed: a waiting delivery may go on.
    void camera_changed();

    gentl::GC_ERROR announce(void* memory, size_t size, void* user, gentl::BUFFER_HANDLE* handle);
    gentl::GC_ERROR allocate(size_t size, void* user, gentl::BUFFER_HANDLE* handle);
    gentl::GC_ERROR revoke(gentl::BUFFER_HANDLE handle, void** memory, void** user);
    gentl::GC_ERROR queue(gentl::BUFFER_HANDLE handle);
    gentl::GC_ERROR flush(gentl::ACQ_QUEUE_TYPE operation);
    gentl::GC_ERROR start(uint64_t frames);
    gentl::GC_ERROR stop(gentl::ACQ_STOP_FLAGS flags);
    gentl::GC_ERROR buffer_id(uint32_t index, gentl::BUFFER_HANDLE* handle);
    gentl::GC_ERROR info(gentl::STREAM_INFO_CMD command, gentl::INFO_DATATYPE* type, void* buffer,
                         size_t* size);
    gentl::GC_ERROR buffer_info(gentl::BUFFER_HANDLE handle, gentl::BUFFER_INFO_CMD command,
                                gentl::INFO_DATATYPE* type, void* buffer, size_t* size);

    // The new-buffer event.
    bool owns_event(gentl::EVENT_HANDLE handle) const { return handle == &event_slot_; }
    gentl::GC_ERROR register_event(gentl::EVENT_TYPE type, gentl::EVENT_HANDLE* handle);
    gentl::GC_ERROR unregister_event(gentl::EVENT_TYPE type);
    gentl::GC_ERROR wait_event(void* data, size_t* size, uint64_t timeout_ms);
    gentl::GC_ERROR kill_event();
    gentl::GC_ERROR flush_events();
    gentl::GC_ERROR event_info(gentl::EVENT_INFO_CMD command, gentl::INFO_DATATYPE* type,
                               void* buffer, size_t* size);
    gentl::GC_ERROR event_data_info(const void* data, size_t size,
                                    gentl::EVENT_DATA_INFO_CMD command, gentl::INFO_DATATYPE* type,
                                    void* buffer, size_t* size_out);

private:
    struct Buffer {
        uint8_t* base = nullptr;
        size_t size = 0;
        void* user = nullptr;
        std::unique_ptr<uint8_t[]> owned;
        bool in_input = false;
        bool in_output = false;
        bool filling = false;
        bool new_data = false;
        bool incomplete = false;
        size_t filled = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        uint64_t frame_id = 0;
        uint64_t timestamp_ns = 0;
    };

    size_t payload_size() const;
    Buffer* find(gentl::BUFFER_HANDLE handle);
    gentl::GC_ERROR add(std::unique_ptr<Buffer> buffer, gentl::BUFFER_HANDLE* handle);
    bool ready_to_fill();
    void deliver_frames();
    void fill(Buffer& buffer, const FrameClaim& claim);
    void to_output(Buffer* buffer);
    void clear_input();
    void clear_output();

    FrameSource& camera_;
    const std::string id_;
    EventSlot event_slot_{this};

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Buffer>> buffers_;
    std::deque<Buffer*> input_;
    std::deque<Buffer*> output_;
    bool started_ = false;
    uint64_t frames_left_ = 0;
    bool killed_while_filling_ = false;
    bool quitting_ = false;
    bool event_registered_ = false;
    uint32_t kills_pending_ = 0;
    uint64_t delivered_ = 0;
    uint64_t frames_started_ = 0;
    uint64_t events_fired_ = 0;
    std::vector<uint8_t> scratch_;
    std::thread worker_;
};

}  // namespace camsim
