// The binding of a GenTL producer library: its entry points, called by name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "gentl_api.h"
#include "lib/text.h"

class Log;

namespace platform {
class SharedLibrary;
}

class GenTLProducer {
public:
    // Any entry point before it is cast to its own type; a function pointer of
    // this type may be converted to every other function pointer type.
    typedef void(GC_CALLTYPE* AnyEntry)();
    // Finds an exported name; null when the producer does not offer it.
    using Lookup = std::function<AnyEntry(const char* name)>;

    static constexpr int32_t entry_count = 57;
    // The exported names, in the order they are looked up.
    static const char* const entry_names[entry_count];

    // Loads the library and binds it; null when the file cannot be loaded.
    // A failed call then leaves an ERROR line in log, when one is given.
    static std::unique_ptr<GenTLProducer> open(const String& path, Log* log = nullptr);
    // Binds the entry points that lookup finds; the others stay absent.
    explicit GenTLProducer(const Lookup& lookup, Log* log = nullptr);
    ~GenTLProducer();
    GenTLProducer(const GenTLProducer&) = delete;
    GenTLProducer& operator=(const GenTLProducer&) = delete;

    bool offers(const char* name) const;

    // The calls the program makes. An absent entry point is not called: the
    // call answers GC_ERR_NOT_IMPLEMENTED as a producer would.
    gentl::GC_ERROR GCInitLib() const;
    gentl::GC_ERROR GCCloseLib() const;
    gentl::GC_ERROR TLOpen(gentl::TL_HANDLE* system) const;
    gentl::GC_ERROR TLUpdateInterfaceList(gentl::TL_HANDLE system, gentl::bool8_t* changed,
                                          uint64_t timeout) const;
    gentl::GC_ERROR TLGetNumInterfaces(gentl::TL_HANDLE system, uint32_t* count) const;
    gentl::GC_ERROR TLGetInterfaceID(gentl::TL_HANDLE system, uint32_t index, char* id,
                                     size_t* size) const;
    gentl::GC_ERROR TLOpenInterface(gentl::TL_HANDLE system, const char* id,
                                    gentl::IF_HANDLE* interface_handle) const;
    gentl::GC_ERROR IFUpdateDeviceList(gentl::IF_HANDLE interface_handle, gentl::bool8_t* changed,
                                       uint64_t timeout) const;
    gentl::GC_ERROR IFGetNumDevices(gentl::IF_HANDLE interface_handle, uint32_t* count) const;
    gentl::GC_ERROR IFGetDeviceID(gentl::IF_HANDLE interface_handle, uint32_t index, char* id,
                                  size_t* size) const;
    gentl::GC_ERROR IFGetDeviceInfo(gentl::IF_HANDLE interface_handle, const char* id,
                                    gentl::DEVICE_INFO_CMD command, gentl::INFO_DATATYPE* type,
                                    void* buffer, size_t* size) const;
    gentl::GC_ERROR IFOpenDevice(gentl::IF_HANDLE interface_handle, const char* id,
                                 gentl::DEVICE_ACCESS_FLAGS flags, gentl::DEV_HANDLE* device) const;
    gentl::GC_ERROR DevGetPort(gentl::DEV_HANDLE device, gentl::PORT_HANDLE* port) const;
    gentl::GC_ERROR DevClose(gentl::DEV_HANDLE device) const;
    gentl::GC_ERROR IFClose(gentl::IF_HANDLE interface_handle) const;
    gentl::GC_ERROR GCReadPort(gentl::PORT_HANDLE port, uint64_t address, void* buffer,
                               size_t* size) const;
    gentl::GC_ERROR GCWritePort(gentl::PORT_HANDLE port, uint64_t address, const void* buffer,
                                size_t* size) const;

    // What a consumer of images adds: the port's description, the device's
    // information and its data stream, and the stream's new-buffer event.
    gentl::GC_ERROR TLClose(gentl::TL_HANDLE system) const;
    gentl::GC_ERROR GCGetPortURLInfo(gentl::PORT_HANDLE port, uint32_t index,
                                     gentl::URL_INFO_CMD command, gentl::INFO_DATATYPE* type,
                                     void* buffer, size_t* size) const;
    gentl::GC_ERROR DevGetInfo(gentl::DEV_HANDLE device, gentl::DEVICE_INFO_CMD command,
                               gentl::INFO_DATATYPE* type, void* buffer, size_t* size) const;
    gentl::GC_ERROR DevGetNumDataStreams(gentl::DEV_HANDLE device, uint32_t* count) const;
    gentl::GC_ERROR DevGetDataStreamID(gentl::DEV_HANDLE device, uint32_t index, char* id,
                                       size_t* size) const;
    gentl::GC_ERROR DevOpenDataStream(gentl::DEV_HANDLE device, const char* id,
                                      gentl::DS_HANDLE* stream) const;
    gentl::GC_ERROR DSGetInfo(gentl::DS_HANDLE stream, gentl::STREAM_INFO_CMD command,
                              gentl::INFO_DATATYPE* type, void* buffer, size_t* size) const;
    gentl::GC_ERROR DSAnnounceBuffer(gentl::DS_HANDLE stream, void* memory, size_t size, void* user,
                                     gentl::BUFFER_HANDLE* buffer) const;
    gentl::GC_ERROR DSQueueBuffer(gentl::DS_HANDLE stream, gentl::BUFFER_HANDLE buffer) const;
    gentl::GC_ERROR DSGetBufferInfo(gentl::DS_HANDLE stream, gentl::BUFFER_HANDLE buffer,
                                    gentl::BUFFER_INFO_CMD command, gentl::INFO_DATATYPE* type,
                                    void* out, size_t* size) const;
    gentl::GC_ERROR DSStartAcquisition(gentl::DS_HANDLE stream, gentl::ACQ_START_FLAGS flags,
                                       uint64_t frames) const;
    gentl::GC_ERROR DSStopAcquisition(gentl::DS_HANDLE stream, gentl::ACQ_STOP_FLAGS flags) const;
    gentl::GC_ERROR DSFlushQueue(gentl::DS_HANDLE stream, gentl::ACQ_QUEUE_TYPE operation) const;
    gentl::GC_ERROR DSRevokeBuffer(gentl::DS_HANDLE stream, gentl::BUFFER_HANDLE buffer,
                                   void** memory, void** user) const;
    gentl::GC_ERROR DSClose(gentl::DS_HANDLE stream) const;
    gentl::GC_ERROR GCRegisterEvent(gentl::EVENTSRC_HANDLE source, gentl::EVENT_TYPE type,
                                    gentl::EVENT_HANDLE* event) const;
    gentl::GC_ERROR GCUnregisterEvent(gentl::EVENTSRC_HANDLE source, gentl::EVENT_TYPE type) const;
    gentl::GC_ERROR EventGetData(gentl::EVENT_HANDLE event, void* data, size_t* size,
                                 uint64_t timeout) const;
    gentl::GC_ERROR EventKill(gentl::EVENT_HANDLE event) const;

private:
    // Calls the entry point bound in that slot, through its published pointer type.
    template <int32_t entry, typename... Args>
    gentl::GC_ERROR call(Args... args) const;
    void log_failure(int32_t entry, gentl::GC_ERROR status) const;

    Log* log_;
    std::unique_ptr<platform::SharedLibrary> library_;
    AnyEntry entries_[entry_count];
};
