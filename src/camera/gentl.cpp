#include "camera/gentl.h"

#include <cstring>
#include <vector>

#include "camera/ctl.h"
#include "lib/log.h"
#include "platform/library.h"
#include "run_state.h"

using namespace gentl;

namespace {

// Positions in entry_names, for the entry points the program calls.
enum Entry : int32_t {
    GCInitLib_entry = 2,
    GCReadPort_entry = 4,
    GCWritePort_entry = 5,
    TLOpen_entry = 15,
    TLGetNumInterfaces_entry = 18,
    TLGetInterfaceID_entry = 19,
    TLOpenInterface_entry = 21,
    TLUpdateInterfaceList_entry = 22,
    IFClose_entry = 23,
    IFGetNumDevices_entry = 25,
    IFGetDeviceID_entry = 26,
    IFUpdateDeviceList_entry = 27,
    IFGetDeviceInfo_entry = 28,
    IFOpenDevice_entry = 29,
    DevGetPort_entry = 30,
    DevClose_entry = 35,
};

constexpr size_t id_buffer_size = 1024;
constexpr size_t info_buffer_size = 64;
constexpr uint64_t device_list_timeout_ms = 2000;
// A producer that reports an absurd ID size gets the usual buffer.
constexpr size_t largest_id_size = size_t(1) << 20;

// A text buffer the producer fills; whatever it does, the text ends inside
// the buffer.
class TextBuffer {
public:
    explicit TextBuffer(size_t size) : bytes_(size + 1, '\0') {}
    char* data() { return bytes_.data(); }
    size_t size() const { return bytes_.size() - 1; }
    // The text, cut to what fits the buffer with its terminating NUL.
    String text()
    {
        bytes_[size() - 1] = '\0';
        return String(bytes_.data());
    }

private:
    std::vector<char> bytes_;
};

}  // namespace

const char* const GenTLProducer::entry_names[GenTLProducer::entry_count] = {
    "GCGetInfo", "GCGetLastError", "GCInitLib", "GCCloseLib", "GCReadPort", "GCWritePort",
    "GCGetPortURL", "GCGetPortInfo", "GCRegisterEvent", "GCUnregisterEvent", "EventGetData",
    "EventGetDataInfo", "EventGetInfo", "EventFlush", "EventKill", "TLOpen", "TLClose",
    "TLGetInfo", "TLGetNumInterfaces", "TLGetInterfaceID", "TLGetInterfaceInfo",
    "TLOpenInterface", "TLUpdateInterfaceList", "IFClose", "IFGetInfo", "IFGetNumDevices",
    "IFGetDeviceID", "IFUpdateDeviceList", "IFGetDeviceInfo", "IFOpenDevice", "DevGetPort",
    "DevGetNumDataStreams", "DevGetDataStreamID", "DevOpenDataStream", "DevGetInfo", "DevClose",
    "DSAnnounceBuffer", "DSAllocAndAnnounceBuffer", "DSFlushQueue", "DSStartAcquisition",
    "DSStopAcquisition", "DSGetInfo", "DSGetBufferID", "DSClose", "DSRevokeBuffer",
    "DSQueueBuffer", "DSGetBufferInfo", "GCGetNumPortURLs", "GCGetPortURLInfo",
    "GCReadPortStacked", "GCWritePortStacked", "DSGetBufferChunkData", "IFGetParentTL",
    "DevGetParentIF", "DSGetParentDev", "DSGetNumBufferParts", "DSGetBufferPartInfo",
};

std::unique_ptr<GenTLProducer> GenTLProducer::open(const String& path)
{
    std::unique_ptr<platform::SharedLibrary> library =
        platform::SharedLibrary::open(path.c_str());
    if (!library) return nullptr;
    const platform::SharedLibrary& loaded = *library;
    std::unique_ptr<GenTLProducer> producer(new GenTLProducer(
        [&loaded](const char* name) { return loaded.function<AnyEntry>(name); }));
    producer->library_ = std::move(library);
    return producer;
}

GenTLProducer::GenTLProducer(const Lookup& lookup)
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

template <typename F, typename... Args>
GC_ERROR GenTLProducer::call(int32_t entry, Args... args) const
{
    if (!entries_[entry]) return GC_ERR_NOT_IMPLEMENTED;
    return reinterpret_cast<F>(entries_[entry])(args...);
}

GC_ERROR GenTLProducer::GCInitLib() const { return call<PGCInitLib>(GCInitLib_entry); }

GC_ERROR GenTLProducer::TLOpen(TL_HANDLE* system) const
{
    return call<PTLOpen>(TLOpen_entry, system);
}

GC_ERROR GenTLProducer::TLUpdateInterfaceList(TL_HANDLE system, bool8_t* changed,
                                              uint64_t timeout) const
{
    return call<PTLUpdateInterfaceList>(TLUpdateInterfaceList_entry, system, changed, timeout);
}

GC_ERROR GenTLProducer::TLGetNumInterfaces(TL_HANDLE system, uint32_t* count) const
{
    return call<PTLGetNumInterfaces>(TLGetNumInterfaces_entry, system, count);
}

GC_ERROR GenTLProducer::TLGetInterfaceID(TL_HANDLE system, uint32_t index, char* id,
                                         size_t* size) const
{
    return call<PTLGetInterfaceID>(TLGetInterfaceID_entry, system, index, id, size);
}

GC_ERROR GenTLProducer::TLOpenInterface(TL_HANDLE system, const char* id,
                                        IF_HANDLE* interface_handle) const
{
    return call<PTLOpenInterface>(TLOpenInterface_entry, system, id, interface_handle);
}

GC_ERROR GenTLProducer::IFUpdateDeviceList(IF_HANDLE interface_handle, bool8_t* changed,
                                           uint64_t timeout) const
{
    return call<PIFUpdateDeviceList>(IFUpdateDeviceList_entry, interface_handle, changed,
                                     timeout);
}

GC_ERROR GenTLProducer::IFGetNumDevices(IF_HANDLE interface_handle, uint32_t* count) const
{
    return call<PIFGetNumDevices>(IFGetNumDevices_entry, interface_handle, count);
}

GC_ERROR GenTLProducer::IFGetDeviceID(IF_HANDLE interface_handle, uint32_t index, char* id,
                                      size_t* size) const
{
    return call<PIFGetDeviceID>(IFGetDeviceID_entry, interface_handle, index, id, size);
}

GC_ERROR GenTLProducer::IFGetDeviceInfo(IF_HANDLE interface_handle, const char* id,
                                        DEVICE_INFO_CMD command, INFO_DATATYPE* type,
                                        void* buffer, size_t* size) const
{
    return call<PIFGetDeviceInfo>(IFGetDeviceInfo_entry, interface_handle, id, command, type,
                                  buffer, size);
}

GC_ERROR GenTLProducer::IFOpenDevice(IF_HANDLE interface_handle, const char* id,
                                     DEVICE_ACCESS_FLAGS flags, DEV_HANDLE* device) const
{
    return call<PIFOpenDevice>(IFOpenDevice_entry, interface_handle, id, flags, device);
}

GC_ERROR GenTLProducer::DevGetPort(DEV_HANDLE device, PORT_HANDLE* port) const
{
    return call<PDevGetPort>(DevGetPort_entry, device, port);
}

GC_ERROR GenTLProducer::DevClose(DEV_HANDLE device) const
{
    return call<PDevClose>(DevClose_entry, device);
}

GC_ERROR GenTLProducer::IFClose(IF_HANDLE interface_handle) const
{
    return call<PIFClose>(IFClose_entry, interface_handle);
}

GC_ERROR GenTLProducer::GCReadPort(PORT_HANDLE port, uint64_t address, void* buffer,
                                   size_t* size) const
{
    return call<PGCReadPort>(GCReadPort_entry, port, address, buffer, size);
}

GC_ERROR GenTLProducer::GCWritePort(PORT_HANDLE port, uint64_t address, const void* buffer,
                                    size_t* size) const
{
    return call<PGCWritePort>(GCWritePort_entry, port, address, buffer, size);
}

namespace {

void list_interfaces(const GenTLProducer& producer, TL_HANDLE system, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        size_t size = 0;
        producer.TLGetInterfaceID(system, i, nullptr, &size);
        // An ID longer than the usual buffer still arrives whole and is then cut.
        TextBuffer id(size > id_buffer_size && size <= largest_id_size ? size : id_buffer_size);
        size_t offered = size > id.size() ? id.size() : size;
        producer.TLGetInterfaceID(system, i, id.data(), &offered);
        String text = id.text();
        if (text.length() >= static_cast<int32_t>(id_buffer_size))
            text = text.substring(0, static_cast<int32_t>(id_buffer_size) - 1);
        console_print("Interface %d - '%s'\n", static_cast<int>(i), text.c_str());
    }
}

// Keeps an earlier binding loaded: a port made through it may still be in use.
void replace_producer(RunState& state, std::unique_ptr<GenTLProducer> producer)
{
    if (state.gentl) state.earlier_producers.push_back(std::move(state.gentl));
    state.gentl = std::move(producer);
}

}  // namespace

int32_t open_cti(RunState& state, const String& file_name)
{
    console_print("open_cti('%s')\n", file_name.c_str());
    std::unique_ptr<GenTLProducer> producer = GenTLProducer::open(file_name);
    if (!producer) {
        console_print("cannot open cti\n");
        return GC_ERR_ERROR;
    }
    replace_producer(state, std::move(producer));
    const GenTLProducer& gentl = *state.gentl;

    GC_ERROR status = gentl.GCInitLib();
    if (status != GC_ERR_SUCCESS) return status;
    state.tl_handle = nullptr;
    state.if_handle = nullptr;
    state.dev_handle = nullptr;
    state.port_handle = nullptr;
    status = gentl.TLOpen(&state.tl_handle);
    if (status != GC_ERR_SUCCESS) return status;
    status = gentl.TLUpdateInterfaceList(state.tl_handle, nullptr, GENTL_INFINITE);
    if (status != GC_ERR_SUCCESS) return status;
    uint32_t count = 0;
    status = gentl.TLGetNumInterfaces(state.tl_handle, &count);
    if (status != GC_ERR_SUCCESS) return status;
    console_print("NumInterfaces %d\n", static_cast<int>(count));
    list_interfaces(gentl, state.tl_handle, count);
    return GC_ERR_SUCCESS;
}

void open_gentl_interface(RunState& state, const String& name)
{
    const GenTLProducer& gentl = *state.gentl;
    GC_ERROR status = gentl.TLOpenInterface(state.tl_handle, name.c_str(), &state.if_handle);
    console_print("TLOpenInterface('%s') -> %d\n", name.c_str(), static_cast<int>(status));
    if (status != GC_ERR_SUCCESS) {
        console_print("TLOpenInterface failed\n");
        return;
    }
    gentl.IFUpdateDeviceList(state.if_handle, nullptr, device_list_timeout_ms);
    uint32_t count = 0;
    if (gentl.IFGetNumDevices(state.if_handle, &count) != GC_ERR_SUCCESS) {
        console_print("IFGetNumDevices failed\n");
        return;
    }
    console_print("NumDevices %d\n", static_cast<int>(count));
    state.device_ids.clear();
    for (uint32_t i = 0; i < count; ++i) {
        TextBuffer id(id_buffer_size);
        size_t id_size = id.size();
        gentl.IFGetDeviceID(state.if_handle, i, id.data(), &id_size);
        String device_id = id.text();

        TextBuffer model(info_buffer_size);
        size_t model_size = model.size();
        INFO_DATATYPE type = 0;
        if (gentl.IFGetDeviceInfo(state.if_handle, device_id.c_str(), DEVICE_INFO_MODEL, &type,
                                  model.data(), &model_size) != GC_ERR_SUCCESS)
            continue;
        console_print("Device %d - '%s'\n", static_cast<int>(i), device_id.c_str());
        state.device_ids.add(new String(device_id));
    }
}

int32_t open_gentl_device(RunState& state, const String& name)
{
    const GenTLProducer& gentl = *state.gentl;
    String device = name;
    if (device.empty() && state.device_ids.count() > 0) device = *state.device_ids.at(0);
    console_print("IFOpenDevice('%s')\n", device.c_str());
    GC_ERROR status = gentl.IFOpenDevice(state.if_handle, device.c_str(),
                                         DEVICE_ACCESS_EXCLUSIVE, &state.dev_handle);
    if (status != GC_ERR_SUCCESS) {
        console_print("IFOpenDevice('%s') failed - %d\n", device.c_str(),
                      static_cast<int>(status));
        return status;
    }
    status = gentl.DevGetPort(state.dev_handle, &state.port_handle);
    if (status != GC_ERR_SUCCESS) {
        console_print("DevGetPort() failed - %d\n", static_cast<int>(status));
        gentl.IFClose(state.if_handle);
        state.if_handle = nullptr;
        return status;
    }
    state.cam_port.reset(new CTL(gentl, state.port_handle));
    return GC_ERR_SUCCESS;
}

void closeGenTLDevice(RunState& state)
{
    if (!state.cam_port || !state.gentl || !state.if_handle) return;
    console_print("closeGenTLDevice\n");
    state.cam_port.reset();
    state.gentl->DevClose(state.dev_handle);
    state.dev_handle = nullptr;
    state.gentl->IFClose(state.if_handle);
    state.if_handle = nullptr;
}
