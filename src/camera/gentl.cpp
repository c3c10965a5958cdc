#include "camera/gentl.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "lib/log.h"
#include "platform/library.h"

using namespace gentl;

namespace {

// Every name the program binds, in lookup order; the list gives each entry
// point its name and its slot at once.
// clang-format off
#define KD_GENTL_ENTRY_POINTS(X)                                                              \
    X(GCGetInfo) X(GCGetLastError) X(GCInitLib) X(GCCloseLib) X(GCReadPort) X(GCWritePort)     \
    X(GCGetPortURL) X(GCGetPortInfo) X(GCRegisterEvent) X(GCUnregisterEvent) X(EventGetData)   \
    X(EventGetDataInfo) X(EventGetInfo) X(EventFlush) X(EventKill) X(TLOpen) X(TLClose)        \
    X(TLGetInfo) X(TLGetNumInterfaces) X(TLGetInterfaceID) X(TLGetInterfaceInfo)               \
    X(TLOpenInterface) X(TLUpdateInterfaceList) X(IFClose) X(IFGetInfo) X(IFGetNumDevices)     \
    X(IFGetDeviceID) X(IFUpdateDeviceList) X(IFGetDeviceInfo) X(IFOpenDevice) X(DevGetPort)    \
    X(DevGetNumDataStreams) X(DevGetDataStreamID) X(DevOpenDataStream) X(DevGetInfo)           \
    X(DevClose) X(DSAnnounceBuffer) X(DSAllocAndAnnounceBuffer) X(DSFlushQueue)                \
    X(DSStartAcquisition) X(DSStopAcquisition) X(DSGetInfo) X(DSGetBufferID) X(DSClose)        \
    X(DSRevokeBuffer) X(DSQueueBuffer) X(DSGetBufferInfo) X(GCGetNumPortURLs)                  \
    X(GCGetPortURLInfo) X(GCReadPortStacked) X(GCWritePortStacked) X(DSGetBufferChunkData)     \
    X(IFGetParentTL) X(DevGetParentIF) X(DSGetParentDev) X(DSGetNumBufferParts)               \
    X(DSGetBufferPartInfo)
// clang-format on

enum Entry : int32_t {
#define KD_GENTL_SLOT(name) name##_entry,
    KD_GENTL_ENTRY_POINTS(KD_GENTL_SLOT)
#undef KD_GENTL_SLOT
        entry_total
};

// The pointer type of each slot is the published one of the same name, so an
// entry point is called through its own signature and no other.
template <int32_t entry>
struct EntryType;
#define KD_GENTL_TYPE(name)          \
    template <>                      \
    struct EntryType<name##_entry> { \
        using type = P##name;        \
    };
KD_GENTL_ENTRY_POINTS(KD_GENTL_TYPE)
#undef KD_GENTL_TYPE

}  // namespace

const char* const GenTLProducer::entry_names[GenTLProducer::entry_count] = {
#define KD_GENTL_NAME(name) #name,
    KD_GENTL_ENTRY_POINTS(KD_GENTL_NAME)
#undef KD_GENTL_NAME
};
static_assert(entry_total == GenTLProducer::entry_count, "one slot for every name");

std::unique_ptr<GenTLProducer> GenTLProducer::open(const String& path, Log* log)
{
    // Loading runs the library's own start-up code.
    std::fflush(stdout);
    std::string reason;
    std::unique_ptr<platform::SharedLibrary> library =
        platform::SharedLibrary::open(path.c_str(), &reason);
    if (!library) {
        if (log)
            log->write(LOG_ERROR, "main", "GenTLProducer::open", "cannot load %s: %s", path.c_str(),
                       reason.c_str());
        return nullptr;
    }
    const platform::SharedLibrary& loaded = *library;
    std::unique_ptr<GenTLProducer> producer(new GenTLProducer(
        [&loaded](const char* name) { return loaded.function<AnyEntry>(name); }, log));
    producer->library_ = std::move(library);
    return producer;
}

GenTLProducer::GenTLProducer(const Lookup& lookup, Log* log) : log_(log)
{
    for (int32_t i = 0; i < entry_count; ++i) entries_[i] = lookup(entry_names[i]);
}

GenTLProducer::~GenTLProducer() = default;

bool GenTLProducer::offers(const char* name) const
{
    for (int32_t i = 0; i < entry_count; ++i)
        if (std::strcmp(entry_names[i], name) == 0) return entries_[i] != nullptr;
    return false;
}

template <int32_t entry, typename... Args>
GC_ERROR GenTLProducer::call(Args... args) const
{
    if (!entries_[entry]) return GC_ERR_NOT_IMPLEMENTED;
    // What was printed survives a crash inside the producer.
    std::fflush(stdout);
    using F = typename EntryType<entry>::type;
    const GC_ERROR status = reinterpret_cast<F>(entries_[entry])(args...);
    if (status != GC_ERR_SUCCESS) log_failure(entry, status);
    return status;
}

void GenTLProducer::log_failure(int32_t entry, GC_ERROR status) const
{
    if (!log_) return;
    const char* const function = "GenTLProducer::call";
    char text[1024] = {};
    size_t size = sizeof text - 1;
    GC_ERROR reported = status;
    const auto last_error = reinterpret_cast<PGCGetLastError>(entries_[GCGetLastError_entry]);
    // One byte of the buffer is never offered, so the text ends inside it.
    if (last_error && last_error(&reported, text, &size) == GC_ERR_SUCCESS && text[0]) {
        log_->write(LOG_ERROR, "main", function, "%s failed - error %d: %s", entry_names[entry],
                    static_cast<int>(status), text);
        return;
    }
    log_->write(LOG_ERROR, "main", function, "%s failed - error %d", entry_names[entry],
                static_cast<int>(status));
}

GC_ERROR GenTLProducer::GCInitLib() const { return call<GCInitLib_entry>(); }

GC_ERROR GenTLProducer::GCCloseLib() const { return call<GCCloseLib_entry>(); }

GC_ERROR GenTLProducer::TLOpen(TL_HANDLE* system) const { return call<TLOpen_entry>(system); }

GC_ERROR GenTLProducer::TLUpdateInterfaceList(TL_HANDLE system, bool8_t* changed,
                                              uint64_t timeout) const
{
    return call<TLUpdateInterfaceList_entry>(system, changed, timeout);
}

GC_ERROR GenTLProducer::TLGetNumInterfaces(TL_HANDLE system, uint32_t* count) const
{
    return call<TLGetNumInterfaces_entry>(system, count);
}

GC_ERROR GenTLProducer::TLGetInterfaceID(TL_HANDLE system, uint32_t index, char* id,
                                         size_t* size) const
{
    return call<TLGetInterfaceID_entry>(system, index, id, size);
}

GC_ERROR GenTLProducer::TLOpenInterface(TL_HANDLE system, const char* id,
                                        IF_HANDLE* interface_handle) const
{
    return call<TLOpenInterface_entry>(system, id, interface_handle);
}

GC_ERROR GenTLProducer::IFUpdateDeviceList(IF_HANDLE interface_handle, bool8_t* changed,
                                           uint64_t timeout) const
{
    return call<IFUpdateDeviceList_entry>(interface_handle, changed, timeout);
}

GC_ERROR GenTLProducer::IFGetNumDevices(IF_HANDLE interface_handle, uint32_t* count) const
{
    return call<IFGetNumDevices_entry>(interface_handle, count);
}

GC_ERROR GenTLProducer::IFGetDeviceID(IF_HANDLE interface_handle, uint32_t index, char* id,
                                      size_t* size) const
{
    return call<IFGetDeviceID_entry>(interface_handle, index, id, size);
}

GC_ERROR GenTLProducer::IFGetDeviceInfo(IF_HANDLE interface_handle, const char* id,
                                        DEVICE_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                        size_t* size) const
{
    return call<IFGetDeviceInfo_entry>(interface_handle, id, command, type, buffer, size);
}

GC_ERROR GenTLProducer::IFOpenDevice(IF_HANDLE interface_handle, const char* id,
                                     DEVICE_ACCESS_FLAGS flags, DEV_HANDLE* device) const
{
    return call<IFOpenDevice_entry>(interface_handle, id, flags, device);
}

GC_ERROR GenTLProducer::DevGetPort(DEV_HANDLE device, PORT_HANDLE* port) const
{
    return call<DevGetPort_entry>(device, port);
}

GC_ERROR GenTLProducer::DevClose(DEV_HANDLE device) const { return call<DevClose_entry>(device); }

GC_ERROR GenTLProducer::IFClose(IF_HANDLE interface_handle) const
{
    return call<IFClose_entry>(interface_handle);
}

GC_ERROR GenTLProducer::GCReadPort(PORT_HANDLE port, uint64_t address, void* buffer,
                                   size_t* size) const
{
    return call<GCReadPort_entry>(port, address, buffer, size);
}

GC_ERROR GenTLProducer::GCWritePort(PORT_HANDLE port, uint64_t address, const void* buffer,
                                    size_t* size) const
{
    return call<GCWritePort_entry>(port, address, buffer, size);
}

GC_ERROR GenTLProducer::TLClose(TL_HANDLE system) const { return call<TLClose_entry>(system); }

GC_ERROR GenTLProducer::GCGetPortURLInfo(PORT_HANDLE port, uint32_t index, URL_INFO_CMD command,
                                         INFO_DATATYPE* type, void* buffer, size_t* size) const
{
    return call<GCGetPortURLInfo_entry>(port, index, command, type, buffer, size);
}

GC_ERROR GenTLProducer::DevGetInfo(DEV_HANDLE device, DEVICE_INFO_CMD command, INFO_DATATYPE* type,
                                   void* buffer, size_t* size) const
{
    return call<DevGetInfo_entry>(device, command, type, buffer, size);
}

GC_ERROR GenTLProducer::DevGetNumDataStreams(DEV_HANDLE device, uint32_t* count) const
{
    return call<DevGetNumDataStreams_entry>(device, count);
}

GC_ERROR GenTLProducer::DevGetDataStreamID(DEV_HANDLE device, uint32_t index, char* id,
                                           size_t* size) const
{
    return call<DevGetDataStreamID_entry>(device, index, id, size);
}

GC_ERROR GenTLProducer::DevOpenDataStream(DEV_HANDLE device, const char* id,
                                          DS_HANDLE* stream) const
{
    return call<DevOpenDataStream_entry>(device, id, stream);
}

GC_ERROR GenTLProducer::DSGetInfo(DS_HANDLE stream, STREAM_INFO_CMD command, INFO_DATATYPE* type,
                                  void* buffer, size_t* size) const
{
    return call<DSGetInfo_entry>(stream, command, type, buffer, size);
}

GC_ERROR GenTLProducer::DSAnnounceBuffer(DS_HANDLE stream, void* memory, size_t size, void* user,
                                         BUFFER_HANDLE* buffer) const
{
    return call<DSAnnounceBuffer_entry>(stream, memory, size, user, buffer);
}

GC_ERROR GenTLProducer::DSQueueBuffer(DS_HANDLE stream, BUFFER_HANDLE buffer) const
{
    return call<DSQueueBuffer_entry>(stream, buffer);
}

GC_ERROR GenTLProducer::DSGetBufferInfo(DS_HANDLE stream, BUFFER_HANDLE buffer,
                                        BUFFER_INFO_CMD command, INFO_DATATYPE* type, void* out,
                                        size_t* size) const
{
    return call<DSGetBufferInfo_entry>(stream, buffer, command, type, out, size);
}

GC_ERROR GenTLProducer::DSStartAcquisition(DS_HANDLE stream, ACQ_START_FLAGS flags,
                                           uint64_t frames) const
{
    return call<DSStartAcquisition_entry>(stream, flags, frames);
}

GC_ERROR GenTLProducer::DSStopAcquisition(DS_HANDLE stream, ACQ_STOP_FLAGS flags) const
{
    return call<DSStopAcquisition_entry>(stream, flags);
}

GC_ERROR GenTLProducer::DSFlushQueue(DS_HANDLE stream, ACQ_QUEUE_TYPE operation) const
{
    return call<DSFlushQueue_entry>(stream, operation);
}

GC_ERROR GenTLProducer::DSRevokeBuffer(DS_HANDLE stream, BUFFER_HANDLE buffer, void** memory,
                                       void** user) const
{
    return call<DSRevokeBuffer_entry>(stream, buffer, memory, user);
}

GC_ERROR GenTLProducer::DSClose(DS_HANDLE stream) const { return call<DSClose_entry>(stream); }

GC_ERROR GenTLProducer::GCRegisterEvent(EVENTSRC_HANDLE source, EVENT_TYPE type,
                                        EVENT_HANDLE* event) const
{
    return call<GCRegisterEvent_entry>(source, type, event);
}

GC_ERROR GenTLProducer::GCUnregisterEvent(EVENTSRC_HANDLE source, EVENT_TYPE type) const
{
    return call<GCUnregisterEvent_entry>(source, type);
}

GC_ERROR GenTLProducer::EventGetData(EVENT_HANDLE event, void* data, size_t* size,
                                     uint64_t timeout) const
{
    return call<EventGetData_entry>(event, data, size, timeout);
}

GC_ERROR GenTLProducer::EventKill(EVENT_HANDLE event) const { return call<EventKill_entry>(event); }
