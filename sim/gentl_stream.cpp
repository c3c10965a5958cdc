#include "gentl_stream.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "gentl_info.h"

using namespace gentl;

namespace camsim {

namespace {

uint64_t now_ns()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// Enough for every consumer: one buffer can be filled, handed out, queued again.
constexpr size_t minimum_buffers = 1;

}  // namespace

DataStream::DataStream(FrameSource& camera, std::string id)
    : camera_(camera), id_(std::move(id)), worker_([this] { deliver_frames(); })
{
}

DataStream::~DataStream()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        quitting_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void DataStream::close()
{
    stop(ACQ_STOP_FLAGS_KILL);
    std::lock_guard<std::mutex> guard(lock_);
    input_.clear();
    output_.clear();
    buffers_.clear();
    event_registered_ = false;
    kills_pending_ = 0;
    changed_.notify_all();
}

void DataStream::camera_changed()
{
    // Taking the lock orders this after a delivery thread's test of the
    // camera, so the wake-up cannot fall between its test and its wait.
    {
        std::lock_guard<std::mutex> guard(lock_);
    }
    changed_.notify_all();
}

size_t DataStream::payload_size() const
{
    return payload_bytes(camera_.pixel_format(), size_t(camera_.width()) * camera_.height());
}

DataStream::Buffer* DataStream::find(BUFFER_HANDLE handle)
{
    for (const auto& buffer : buffers_)
        if (buffer.get() == handle) return buffer.get();
    return nullptr;
}

GC_ERROR DataStream::add(std::unique_ptr<Buffer> buffer, BUFFER_HANDLE* handle)
{
    *handle = buffer.get();
    buffers_.push_back(std::move(buffer));
    return GC_ERR_SUCCESS;
}

GC_ERROR DataStream::announce(void* memory, size_t size, void* user, BUFFER_HANDLE* handle)
{
    if (!memory || size == 0 || !handle) return GC_ERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& buffer : buffers_)
        if (buffer->base == memory) return GC_ERR_RESOURCE_IN_USE;
    auto buffer = std::make_unique<Buffer>();
    buffer->base = static_cast<uint8_t*>(memory);
    buffer->size = size;
    buffer->user = user;
    return add(std::move(buffer), handle);
}

GC_ERROR DataStream::allocate(size_t size, void* user, BUFFER_HANDLE* handle)
{
    if (size == 0 || !handle) return GC_ERR_INVALID_PARAMETER;
    auto buffer = std::make_unique<Buffer>();
    buffer->owned.reset(new (std::nothrow) uint8_t[size]);
    if (!buffer->owned) return GC_ERR_OUT_OF_MEMORY;
    buffer->base = buffer->owned.get();
    buffer->size = size;
    buffer->user = user;
    std::lock_guard<std::mutex> guard(lock_);
    return add(std::move(buffer), handle);
}

GC_ERROR DataStream::revoke(BUFFER_HANDLE handle, void** memory, void** user)
{
    std::lock_guard<std::mutex> guard(lock_);
    Buffer* buffer = find(handle);
    if (!buffer) return GC_ERR_INVALID_HANDLE;
    if (buffer->in_input || buffer->in_output || buffer->filling) return GC_ERR_BUSY;
    if (memory) *memory = buffer->owned ? nullptr : buffer->base;
    if (user) *user = buffer->user;
    buffers_.erase(
        std::find_if(buffers_.begin(), buffers_.end(),
                     [&](const std::unique_ptr<Buffer>& b) { return b.get() == buffer; }));
    return GC_ERR_SUCCESS;
}

GC_ERROR DataStream::queue(BUFFER_HANDLE handle)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        Buffer* buffer = find(handle);
        if (!buffer) return GC_ERR_INVALID_HANDLE;
        if (buffer->in_input || buffer->filling) return GC_ERR_RESOURCE_IN_USE;
        // A buffer the consumer took without its event goes back all the same.
        if (buffer->in_output) {
            output_.erase(std::find(output_.begin(), output_.end(), buffer));
            buffer->in_output = false;
        }
        buffer->in_input = true;
        buffer->new_data = false;
        input_.push_back(buffer);
    }
    changed_.notify_all();
    return GC_ERR_SUCCESS;
}

void DataStream::clear_input()
{
    for (Buffer* buffer : input_) buffer->in_input = false;
    input_.clear();
}

void DataStream::clear_output()
{
    for (Buffer* buffer : output_) buffer->in_output = false;
    output_.clear();
}

void DataStream::to_output(Buffer* buffer)
{
    buffer->in_output = true;
    output_.push_back(buffer);
    ++events_fired_;
}

GC_ERROR DataStream::flush(ACQ_QUEUE_TYPE operation)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        switch (operation) {
        case ACQ_QUEUE_INPUT_TO_OUTPUT:
            for (Buffer* buffer : input_) {
                buffer->in_input = false;
                buffer->new_data = false;
                to_output(buffer);
            }
            input_.clear();
            break;
        case ACQ_QUEUE_OUTPUT_DISCARD: clear_output(); break;
        case ACQ_QUEUE_ALL_TO_INPUT:
            clear_output();
            for (const auto& buffer : buffers_)
                if (!buffer->in_input && !buffer->filling) {
                    buffer->in_input = true;
                    input_.push_back(buffer.get());
                }
            break;
        case ACQ_QUEUE_UNQUEUED_TO_INPUT:
            for (const auto& buffer : buffers_)
                if (!buffer->in_input && !buffer->in_output && !buffer->filling) {
                    buffer->in_input = true;
                    input_.push_back(buffer.get());
                }
            break;
        case ACQ_QUEUE_ALL_DISCARD:
            clear_input();
            clear_output();
            break;
        default: return GC_ERR_INVALID_PARAMETER;
        }
    }
    changed_.notify_all();
    return GC_ERR_SUCCESS;
}

GC_ERROR DataStream::start(uint64_t frames)
{
    if (frames == 0) return GC_ERR_INVALID_PARAMETER;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (started_) return GC_ERR_RESOURCE_IN_USE;
        started_ = true;
        frames_left_ = frames;
    }
    changed_.notify_all();
    return GC_ERR_SUCCESS;
}

GC_ERROR DataStream::stop(ACQ_STOP_FLAGS flags)
{
    std::unique_lock<std::mutex> guard(lock_);
    started_ = false;
    // A frame being made is finished first; killed, it goes back to the
    // input pool instead of being delivered.
    if (flags == ACQ_STOP_FLAGS_KILL) killed_while_filling_ = true;
    changed_.wait(guard, [&] {
        for (const auto& buffer : buffers_)
            if (buffer->filling) return false;
        return true;
    });
    killed_while_filling_ = false;
    return GC_ERR_SUCCESS;
}

bool DataStream::ready_to_fill()
{
    return quitting_ || (started_ && frames_left_ > 0 && !input_.empty() && camera_.acquiring());
}

void DataStream::deliver_frames()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [&] { return ready_to_fill(); });
        if (quitting_) return;
        Buffer* buffer = input_.front();
        input_.pop_front();
        buffer->in_input = false;
        buffer->filling = true;
        if (frames_left_ != GENTL_INFINITE) --frames_left_;
        if (frames_left_ == 0) started_ = false;
        ++frames_started_;
        guard.unlock();
        const FrameClaim claim = camera_.claim_frame();
        fill(*buffer, claim);
        guard.lock();
        buffer->filling = false;
        if (killed_while_filling_) {
            buffer->in_input = true;
            input_.push_front(buffer);
        } else {
            buffer->new_data = true;
            ++delivered_;
            to_output(buffer);
        }
        changed_.notify_all();
    }
}

void DataStream::fill(Buffer& buffer, const FrameClaim& claim)
{
    const uint32_t width = camera_.width();
    const uint32_t height = claim.half_height ? camera_.height() / 2 : camera_.height();
    const PixelFormat& format = camera_.pixel_format();
    const size_t pixels = size_t(width) * camera_.height();
    const size_t payload = payload_bytes(format, size_t(width) * height);
    // Straight into the buffer when it takes the whole frame as it is made.
    const bool direct = format.bits == 8 && buffer.size >= pixels;
    if (!direct) scratch_.resize(pixels + payload);
    uint8_t* frame = direct ? buffer.base : scratch_.data();
    camera_.render(claim.index, frame);
    correct_frame(claim.correction, frame, width, camera_.height());
    if (!direct) {
        uint8_t* encoded = scratch_.data() + pixels;
        encode_frame(format, frame, size_t(width) * height, encoded);
        std::memcpy(buffer.base, encoded, std::min(buffer.size, payload));
    }
    buffer.filled = std::min(buffer.size, claim.incomplete ? payload / 2 : payload);
    buffer.incomplete = claim.incomplete || buffer.size < payload;
    buffer.width = width;
    buffer.height = height;
    buffer.frame_id = claim.index;
    buffer.timestamp_ns = now_ns();
}

GC_ERROR DataStream::buffer_id(uint32_t index, BUFFER_HANDLE* handle)
{
    if (!handle) return GC_ERR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(lock_);
    if (index >= buffers_.size()) return GC_ERR_INVALID_INDEX;
    *handle = buffers_[index].get();
    return GC_ERR_SUCCESS;
}

GC_ERROR DataStream::info(STREAM_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    std::unique_lock<std::mutex> guard(lock_);
    InfoValue value;
    switch (command) {
    case STREAM_INFO_ID: value = info_text(id_); break;
    case STREAM_INFO_NUM_DELIVERED: value = info_number(INFO_DATATYPE_UINT64, delivered_); break;
    case STREAM_INFO_NUM_UNDERRUN: value = info_number(INFO_DATATYPE_UINT64, 0); break;
    case STREAM_INFO_NUM_ANNOUNCED:
        value = info_number(INFO_DATATYPE_SIZET, buffers_.size());
        break;
    case STREAM_INFO_NUM_QUEUED: value = info_number(INFO_DATATYPE_SIZET, input_.size()); break;
    case STREAM_INFO_NUM_AWAIT_DELIVERY:
        value = info_number(INFO_DATATYPE_SIZET, output_.size());
        break;
    case STREAM_INFO_NUM_STARTED: value = info_number(INFO_DATATYPE_UINT64, frames_started_); break;
    case STREAM_INFO_PAYLOAD_SIZE: value = info_number(INFO_DATATYPE_SIZET, payload_size()); break;
    case STREAM_INFO_IS_GRABBING: value = info_number(INFO_DATATYPE_BOOL8, started_); break;
    case STREAM_INFO_DEFINES_PAYLOADSIZE: value = info_number(INFO_DATATYPE_BOOL8, 1); break;
    case STREAM_INFO_TLTYPE: value = info_text("Custom"); break;
    case STREAM_INFO_NUM_CHUNKS_MAX: value = info_number(INFO_DATATYPE_SIZET, 0); break;
    case STREAM_INFO_BUF_ANNOUNCE_MIN:
        value = info_number(INFO_DATATYPE_SIZET, minimum_buffers);
        break;
    case STREAM_INFO_BUF_ALIGNMENT: value = info_number(INFO_DATATYPE_SIZET, 1); break;
    default: return GC_ERR_NOT_IMPLEMENTED;
    }
    guard.unlock();
    return answer_info(value, type, buffer, size);
}

GC_ERROR DataStream::buffer_info(BUFFER_HANDLE handle, BUFFER_INFO_CMD command, INFO_DATATYPE* type,
                                 void* out, size_t* size)
{
    std::unique_lock<std::mutex> guard(lock_);
    Buffer* buffer = find(handle);
    if (!buffer) return GC_ERR_INVALID_HANDLE;
    const bool image = buffer->new_data;
    InfoValue value;
    switch (command) {
    case BUFFER_INFO_BASE: value = info_pointer(buffer->base); break;
    case BUFFER_INFO_SIZE: value = info_number(INFO_DATATYPE_SIZET, buffer->size); break;
    case BUFFER_INFO_USER_PTR: value = info_pointer(buffer->user); break;
    case BUFFER_INFO_TIMESTAMP:
    case BUFFER_INFO_TIMESTAMP_NS:
        value = info_number(INFO_DATATYPE_UINT64, buffer->timestamp_ns);
        break;
    case BUFFER_INFO_NEW_DATA: value = info_number(INFO_DATATYPE_BOOL8, buffer->new_data); break;
    case BUFFER_INFO_IS_QUEUED: value = info_number(INFO_DATATYPE_BOOL8, buffer->in_input); break;
    case BUFFER_INFO_IS_ACQUIRING: value = info_number(INFO_DATATYPE_BOOL8, buffer->filling); break;
    case BUFFER_INFO_IS_INCOMPLETE:
        value = info_number(INFO_DATATYPE_BOOL8, buffer->incomplete);
        break;
    case BUFFER_INFO_TLTYPE: value = info_text("Custom"); break;
    case BUFFER_INFO_SIZE_FILLED:
    case BUFFER_INFO_DATA_SIZE:
        value = info_number(INFO_DATATYPE_SIZET, image ? buffer->filled : 0);
        break;
    case BUFFER_INFO_WIDTH: value = info_number(INFO_DATATYPE_SIZET, buffer->width); break;
    case BUFFER_INFO_HEIGHT:
    case BUFFER_INFO_DELIVERED_IMAGEHEIGHT:
        value = info_number(INFO_DATATYPE_SIZET, buffer->height);
        break;
    case BUFFER_INFO_XOFFSET:
    case BUFFER_INFO_YOFFSET:
    case BUFFER_INFO_XPADDING:
    case BUFFER_INFO_YPADDING:
    case BUFFER_INFO_IMAGEOFFSET:
    case BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE: value = info_number(INFO_DATATYPE_SIZET, 0); break;
    case BUFFER_INFO_FRAMEID: value = info_number(INFO_DATATYPE_UINT64, buffer->frame_id); break;
    case BUFFER_INFO_IMAGEPRESENT: value = info_number(INFO_DATATYPE_BOOL8, image); break;
    case BUFFER_INFO_PAYLOADTYPE:
        value = info_number(INFO_DATATYPE_SIZET, PAYLOAD_TYPE_IMAGE);
        break;
    case BUFFER_INFO_PIXELFORMAT:
        value = info_number(INFO_DATATYPE_UINT64, camera_.pixel_format().code);
        break;
    case BUFFER_INFO_PIXELFORMAT_NAMESPACE:
        value = info_number(INFO_DATATYPE_UINT64, PIXELFORMAT_NAMESPACE_PFNC_32BIT);
        break;
    case BUFFER_INFO_DATA_LARGER_THAN_BUFFER:
        value = info_number(INFO_DATATYPE_BOOL8, buffer->incomplete);
        break;
    case BUFFER_INFO_CONTAINS_CHUNKDATA: value = info_number(INFO_DATATYPE_BOOL8, 0); break;
    default: return GC_ERR_NOT_IMPLEMENTED;
    }
    guard.unlock();
    return answer_info(value, type, out, size);
}

GC_ERROR DataStream::register_event(EVENT_TYPE type, EVENT_HANDLE* handle)
{
    if (!handle) return GC_ERR_INVALID_PARAMETER;
    if (type != EVENT_NEW_BUFFER) return GC_ERR_NOT_IMPLEMENTED;
    std::lock_guard<std::mutex> guard(lock_);
    if (event_registered_) return GC_ERR_RESOURCE_IN_USE;
    event_registered_ = true;
    kills_pending_ = 0;
    *handle = &event_slot_;
    return GC_ERR_SUCCESS;
}

GC_ERROR DataStream::unregister_event(EVENT_TYPE type)
{
    if (type != EVENT_NEW_BUFFER) return GC_ERR_NOT_IMPLEMENTED;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!event_registered_) return GC_ERR_INVALID_ID;
        event_registered_ = false;
    }
    changed_.notify_all();
    return GC_ERR_SUCCESS;
}

GC_ERROR DataStream::wait_event(void* data, size_t* size, uint64_t timeout_ms)
{
    if (!size) return GC_ERR_INVALID_PARAMETER;
    if (!data || *size < sizeof(EVENT_NEW_BUFFER_DATA)) {
        *size = sizeof(EVENT_NEW_BUFFER_DATA);
        return data ? GC_ERR_BUFFER_TOO_SMALL : GC_ERR_INVALID_PARAMETER;
    }
    std::unique_lock<std::mutex> guard(lock_);
    if (!event_registered_) return GC_ERR_INVALID_HANDLE;
    auto woken = [&] { return kills_pending_ > 0 || !output_.empty() || !event_registered_; };
    if (timeout_ms == GENTL_INFINITE) {
        changed_.wait(guard, woken);
    } else {
        // Beyond a day a time-out is as good as infinite, and the clock's
        // arithmetic stays far from overflowing.
        const auto limit = std::chrono::milliseconds(std::min<uint64_t>(timeout_ms, 86400000));
        if (!changed_.wait_for(guard, limit, woken)) return GC_ERR_TIMEOUT;
    }
    if (kills_pending_ > 0) {
        --kills_pending_;
        return GC_ERR_ABORT;
    }
    if (!event_registered_) return GC_ERR_ABORT;
    Buffer* buffer = output_.front();
    output_.pop_front();
    buffer->in_output = false;
    EVENT_NEW_BUFFER_DATA event{buffer, buffer->user};
    std::memcpy(data, &event, sizeof event);
    *size = sizeof event;
    return GC_ERR_SUCCESS;
}

GC_ERROR DataStream::kill_event()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!event_registered_) return GC_ERR_INVALID_HANDLE;
        ++kills_pending_;
    }
    changed_.notify_all();
    return GC_ERR_SUCCESS;
}

GC_ERROR DataStream::flush_events()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!event_registered_) return GC_ERR_INVALID_HANDLE;
    clear_output();
    return GC_ERR_SUCCESS;
}

GC_ERROR DataStream::event_info(EVENT_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                size_t* size)
{
    std::unique_lock<std::mutex> guard(lock_);
    if (!event_registered_) return GC_ERR_INVALID_HANDLE;
    InfoValue value;
    switch (command) {
    case EVENT_EVENT_TYPE: value = info_number(INFO_DATATYPE_INT32, EVENT_NEW_BUFFER); break;
    case EVENT_NUM_IN_QUEUE: value = info_number(INFO_DATATYPE_SIZET, output_.size()); break;
    case EVENT_NUM_FIRED: value = info_number(INFO_DATATYPE_UINT64, events_fired_); break;
    case EVENT_SIZE_MAX:
    case EVENT_INFO_DATA_SIZE_MAX:
        value = info_number(INFO_DATATYPE_SIZET, sizeof(EVENT_NEW_BUFFER_DATA));
        break;
    default: return GC_ERR_NOT_IMPLEMENTED;
    }
    guard.unlock();
    return answer_info(value, type, buffer, size);
}

GC_ERROR DataStream::event_data_info(const void* data, size_t size, EVENT_DATA_INFO_CMD command,
                                     INFO_DATATYPE* type, void* buffer, size_t* size_out)
{
    if (!data || size < sizeof(EVENT_NEW_BUFFER_DATA)) return GC_ERR_INVALID_PARAMETER;
    EVENT_NEW_BUFFER_DATA event;
    std::memcpy(&event, data, sizeof event);
    switch (command) {
    case EVENT_DATA_ID:
        return answer_info(info_pointer(event.BufferHandle), type, buffer, size_out);
    case EVENT_DATA_VALUE:
        return answer_info(info_pointer(event.pUserPointer), type, buffer, size_out);
    default: return GC_ERR_NOT_IMPLEMENTED;
    }
}

}  // namespace camsim
