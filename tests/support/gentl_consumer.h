// A small GenTL consumer for tests: a producer loaded through the platform's
// library loader, its entry points bound by name, and the system, interface,
// device and port a consumer opens first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gentl_api.h"
#include "platform/library.h"

struct GenTLConsumer {
    // Null when the library does not load or lacks an entry point named here.
    static std::unique_ptr<GenTLConsumer> load(const std::string& path);

    std::unique_ptr<platform::SharedLibrary> library;
#define KD_CONSUMER_ENTRY(name) gentl::P##name name = nullptr;
// clang-format off
#define KD_CONSUMER_ENTRIES(X)                                                                  \
    X(GCInitLib) X(GCCloseLib) X(GCGetInfo) X(GCReadPort) X(GCWritePort) X(GCGetPortURL)        \
    X(GCGetPortInfo) X(GCGetNumPortURLs) X(GCGetPortURLInfo) X(GCRegisterEvent)                 \
    X(GCUnregisterEvent) X(EventGetData) X(EventGetDataInfo) X(EventGetInfo) X(EventFlush)      \
    X(EventKill) X(TLOpen) X(TLClose) X(TLGetInfo) X(TLUpdateInterfaceList)                     \
    X(TLGetNumInterfaces) X(TLGetInterfaceID) X(TLGetInterfaceInfo) X(TLOpenInterface)          \
    X(IFClose) X(IFGetInfo) X(IFUpdateDeviceList) X(IFGetNumDevices) X(IFGetDeviceID)           \
    X(IFGetDeviceInfo) X(IFOpenDevice) X(DevGetPort) X(DevGetInfo) X(DevGetNumDataStreams)      \
    X(DevGetDataStreamID) X(DevOpenDataStream) X(DevClose) X(DSAnnounceBuffer)                  \
    X(DSAllocAndAnnounceBuffer) X(DSFlushQueue) X(DSStartAcquisition) X(DSStopAcquisition)      \
    X(DSGetInfo) X(DSGetBufferID) X(DSClose) X(DSRevokeBuffer) X(DSQueueBuffer)                 \
    X(DSGetBufferInfo)
    // clang-format on
    KD_CONSUMER_ENTRIES(KD_CONSUMER_ENTRY)
#undef KD_CONSUMER_ENTRY
};

// An info answer read as consumers read it: the size with a null buffer,
// then the value; the type and status of the second call.
struct InfoAnswer {
    gentl::GC_ERROR status;
    gentl::INFO_DATATYPE type;
    std::vector<char> bytes;
    std::string text() const { return bytes.empty() ? "" : std::string(bytes.data()); }
    uint64_t number() const;
};

template <typename Query>
InfoAnswer ask_info(Query query)
{
    InfoAnswer answer{0, -1, {}};
    size_t size = 0;
    answer.status = query(&answer.type, nullptr, &size);
    if (answer.status != gentl::GC_ERR_SUCCESS) return answer;
    answer.bytes.assign(size, '\0');
    answer.status = query(&answer.type, answer.bytes.data(), &size);
    answer.bytes.resize(size);
    return answer;
}

// GCInitLib to the device's port, closed again in reverse order.
class OpenCamera {
public:
    explicit OpenCamera(const GenTLConsumer& consumer);
    ~OpenCamera();
    OpenCamera(const OpenCamera&) = delete;
    OpenCamera& operator=(const OpenCamera&) = delete;

    bool opened() const { return port != nullptr; }
    // A register through the port, big-endian as the camera keeps it.
    gentl::GC_ERROR read_register(uint32_t address, uint32_t& value) const;
    gentl::GC_ERROR write_register(uint32_t address, uint32_t value) const;

    const GenTLConsumer& gentl;
    gentl::TL_HANDLE system = nullptr;
    gentl::IF_HANDLE iface = nullptr;
    gentl::DEV_HANDLE device = nullptr;
    gentl::PORT_HANDLE port = nullptr;
    std::string interface_id;
    std::string device_id;
};
