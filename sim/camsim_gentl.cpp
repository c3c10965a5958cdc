// camsim.cti: the simulated camera behind the GenTL producer entry points.
// The camera's registers travel big-endian, as a GenTL device's do.
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "camera_model.h"
#include "gentl_exports.h"
#include "sim_config.h"

using namespace gentl;
using camsim::CameraModel;
using camsim::SimConfig;

namespace {

struct Device {
    std::string id;
    std::string model;
    bool model_query_fails = false;
    bool open = false;
    char port = 0;  // its address is the device's port handle
};

struct Interface {
    std::string id;
    bool open = false;
    std::vector<Device> devices;
};

// One instance between GCInitLib and GCCloseLib. Every device reaches the
// same camera.
struct Producer {
    explicit Producer(const SimConfig& settings)
        : config(settings), camera(settings, camsim::state_file_from_environment())
    {
        for (int32_t i = 0; i < config.interfaces; ++i) {
            Interface iface;
            iface.id = config.interface_id(i);
            for (int32_t d = 0; d < config.devices; ++d) {
                Device device;
                device.id = config.device_id(d);
                device.model = config.device_model(d);
                device.model_query_fails = config.model_query_fails.count(d) != 0;
                iface.devices.push_back(device);
            }
            interfaces.push_back(iface);
        }
    }

    SimConfig config;
    CameraModel camera;
    uint32_t port_accesses = 0;
    bool system_open = false;
    char system = 0;  // its address is the system handle
    std::vector<Interface> interfaces;
};

std::unique_ptr<Producer> producer;

// What GCGetLastError tells: the last failure the configuration asked for.
GC_ERROR last_error_code = GC_ERR_SUCCESS;
std::string last_error_text;

GC_ERROR injected(const char* name, GC_ERROR code)
{
    last_error_code = code;
    last_error_text = std::string(name) + " refused as CAMSIM_CONFIG asks";
    return code;
}

// The code an entry point answers before doing anything: not initialised,
// or a failure the configuration asks for.
GC_ERROR entry_check(const char* name)
{
    if (!producer) return GC_ERR_NOT_INITIALIZED;
    auto failing = producer->config.failing_entries.find(name);
    if (failing != producer->config.failing_entries.end()) return injected(name, failing->second);
    return GC_ERR_SUCCESS;
}

// Counts one register access; the one the configuration names is refused.
GC_ERROR injected_access_fault()
{
    const uint32_t access = ++producer->port_accesses;
    return access == producer->config.fail_access ? GC_ERR_IO : GC_ERR_SUCCESS;
}

GC_ERROR copy_text(const std::string& text, char* buffer, size_t* size)
{
    if (!size) return GC_ERR_INVALID_PARAMETER;
    const size_t needed = text.size() + 1;
    if (!buffer) {
        *size = needed;
        return GC_ERR_SUCCESS;
    }
    if (*size < needed) return GC_ERR_BUFFER_TOO_SMALL;
    std::memcpy(buffer, text.c_str(), needed);
    *size = needed;
    return GC_ERR_SUCCESS;
}

Interface* find_interface(IF_HANDLE handle)
{
    for (Interface& iface : producer->interfaces)
        if (&iface == handle && iface.open) return &iface;
    return nullptr;
}

Device* find_device(IF_HANDLE handle, const char* id)
{
    Interface* iface = find_interface(handle);
    if (!iface || !id) return nullptr;
    for (Device& device : iface->devices)
        if (device.id == id) return &device;
    return nullptr;
}

Device* find_open_device(DEV_HANDLE handle)
{
    for (Interface& iface : producer->interfaces)
        for (Device& device : iface.devices)
            if (&device == handle && device.open) return &device;
    return nullptr;
}

Device* find_port(PORT_HANDLE handle)
{
    for (Interface& iface : producer->interfaces)
        for (Device& device : iface.devices)
            if (&device.port == handle && device.open) return &device;
    return nullptr;
}

GC_ERROR gentl_code(const CameraModel::Result& result)
{
    switch (result.outcome) {
    case CameraModel::Outcome::ok: return GC_ERR_SUCCESS;
    case CameraModel::Outcome::unmapped: return GC_ERR_INVALID_ADDRESS;
    case CameraModel::Outcome::refused: return GC_ERR_ACCESS_DENIED;
    case CameraModel::Outcome::injected: return result.code;
    }
    return GC_ERR_ERROR;
}

enum class Span { whole_words, may_end_in_part };

// Port accesses start on a word inside the 32-bit space and cover whole
// words; a write may end inside its last word (a shading map of an odd
// number of gains ends in half a word).
GC_ERROR check_port_access(PORT_HANDLE port, uint64_t address, const void* buffer, size_t* size,
                           Span span)
{
    if (!find_port(port)) return GC_ERR_INVALID_HANDLE;
    if (!size || (!buffer && *size != 0)) return GC_ERR_INVALID_PARAMETER;
    if (address % 4 != 0) return GC_ERR_INVALID_PARAMETER;
    if (span == Span::whole_words && *size % 4 != 0) return GC_ERR_INVALID_PARAMETER;
    if (address + *size > uint64_t(0x100000000)) return GC_ERR_INVALID_ADDRESS;
    return GC_ERR_SUCCESS;
}

// Up to four bytes, most significant first; missing low bytes are 0.
uint32_t big_endian_word(const unsigned char* bytes, size_t available)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | (i < available ? bytes[i] : 0u);
    return value;
}

// Runs code of this library for as long as the process lives: a consumer
// that unloads the library under it crashes.
std::atomic<uint64_t> heartbeats{0};

void start_heartbeat()
{
    std::thread([] {
        for (;;) {
            heartbeats.fetch_add(1, std::memory_order_relaxed);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }).detach();
}

}  // namespace

extern "C" {

GC_ERROR GC_CALLTYPE GCInitLib()
{
    if (producer) return GC_ERR_RESOURCE_IN_USE;
    SimConfig config = camsim::load_sim_config();
    if (camsim::report_config_problems(config, "camsim")) return GC_ERR_INVALID_PARAMETER;
    auto failing = config.failing_entries.find("GCInitLib");
    if (failing != config.failing_entries.end()) return injected("GCInitLib", failing->second);
    producer.reset(new Producer(config));
    if (config.heartbeat_thread) start_heartbeat();
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE GCCloseLib()
{
    if (GC_ERROR status = entry_check("GCCloseLib")) return status;
    producer.reset();
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE TLOpen(TL_HANDLE* system)
{
    if (GC_ERROR status = entry_check("TLOpen")) return status;
    if (!system) return GC_ERR_INVALID_PARAMETER;
    if (producer->system_open) return GC_ERR_RESOURCE_IN_USE;
    producer->system_open = true;
    *system = &producer->system;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE TLClose(TL_HANDLE system)
{
    if (GC_ERROR status = entry_check("TLClose")) return status;
    if (system != &producer->system || !producer->system_open) return GC_ERR_INVALID_HANDLE;
    producer->system_open = false;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE TLUpdateInterfaceList(TL_HANDLE system, bool8_t* changed, uint64_t)
{
    if (GC_ERROR status = entry_check("TLUpdateInterfaceList")) return status;
    if (system != &producer->system || !producer->system_open) return GC_ERR_INVALID_HANDLE;
    if (changed) *changed = 0;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE TLGetNumInterfaces(TL_HANDLE system, uint32_t* count)
{
    if (GC_ERROR status = entry_check("TLGetNumInterfaces")) return status;
    if (system != &producer->system || !producer->system_open) return GC_ERR_INVALID_HANDLE;
    if (!count) return GC_ERR_INVALID_PARAMETER;
    *count = static_cast<uint32_t>(producer->interfaces.size());
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE TLGetInterfaceID(TL_HANDLE system, uint32_t index, char* id, size_t* size)
{
    if (GC_ERROR status = entry_check("TLGetInterfaceID")) return status;
    if (system != &producer->system || !producer->system_open) return GC_ERR_INVALID_HANDLE;
    if (index >= producer->interfaces.size()) return GC_ERR_INVALID_INDEX;
    return copy_text(producer->interfaces[index].id, id, size);
}

GC_ERROR GC_CALLTYPE TLOpenInterface(TL_HANDLE system, const char* id, IF_HANDLE* handle)
{
    if (GC_ERROR status = entry_check("TLOpenInterface")) return status;
    if (system != &producer->system || !producer->system_open) return GC_ERR_INVALID_HANDLE;
    if (!id || !handle) return GC_ERR_INVALID_PARAMETER;
    for (Interface& iface : producer->interfaces) {
        if (iface.id != id) continue;
        if (iface.open) return GC_ERR_RESOURCE_IN_USE;
        iface.open = true;
        *handle = &iface;
        return GC_ERR_SUCCESS;
    }
    return GC_ERR_INVALID_ID;
}

GC_ERROR GC_CALLTYPE IFClose(IF_HANDLE handle)
{
    if (GC_ERROR status = entry_check("IFClose")) return status;
    Interface* iface = find_interface(handle);
    if (!iface) return GC_ERR_INVALID_HANDLE;
    iface->open = false;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE IFUpdateDeviceList(IF_HANDLE handle, bool8_t* changed, uint64_t)
{
    if (GC_ERROR status = entry_check("IFUpdateDeviceList")) return status;
    if (!find_interface(handle)) return GC_ERR_INVALID_HANDLE;
    if (changed) *changed = 0;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE IFGetNumDevices(IF_HANDLE handle, uint32_t* count)
{
    if (GC_ERROR status = entry_check("IFGetNumDevices")) return status;
    Interface* iface = find_interface(handle);
    if (!iface) return GC_ERR_INVALID_HANDLE;
    if (!count) return GC_ERR_INVALID_PARAMETER;
    *count = static_cast<uint32_t>(iface->devices.size());
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE IFGetDeviceID(IF_HANDLE handle, uint32_t index, char* id, size_t* size)
{
    if (GC_ERROR status = entry_check("IFGetDeviceID")) return status;
    Interface* iface = find_interface(handle);
    if (!iface) return GC_ERR_INVALID_HANDLE;
    if (index >= iface->devices.size()) return GC_ERR_INVALID_INDEX;
    return copy_text(iface->devices[index].id, id, size);
}

GC_ERROR GC_CALLTYPE IFGetDeviceInfo(IF_HANDLE handle, const char* id, DEVICE_INFO_CMD command,
                                     INFO_DATATYPE* type, void* buffer, size_t* size)
{
    if (GC_ERROR status = entry_check("IFGetDeviceInfo")) return status;
    if (!find_interface(handle)) return GC_ERR_INVALID_HANDLE;
    Device* device = find_device(handle, id);
    if (!device) return GC_ERR_INVALID_ID;
    std::string text;
    switch (command) {
    case DEVICE_INFO_ID: text = device->id; break;
    case DEVICE_INFO_VENDOR: text = "Kervo CamSim"; break;
    case DEVICE_INFO_MODEL:
        if (device->model_query_fails) return GC_ERR_ERROR;
        text = device->model;
        break;
    default: return GC_ERR_NOT_IMPLEMENTED;
    }
    if (type) *type = INFO_DATATYPE_STRING;
    return copy_text(text, static_cast<char*>(buffer), size);
}

GC_ERROR GC_CALLTYPE IFOpenDevice(IF_HANDLE handle, const char* id, DEVICE_ACCESS_FLAGS,
                                  DEV_HANDLE* device_handle)
{
    if (GC_ERROR status = entry_check("IFOpenDevice")) return status;
    if (!find_interface(handle)) return GC_ERR_INVALID_HANDLE;
    if (!device_handle) return GC_ERR_INVALID_PARAMETER;
    Device* device = find_device(handle, id);
    if (!device) return GC_ERR_INVALID_ID;
    if (device->open) return GC_ERR_RESOURCE_IN_USE;
    device->open = true;
    *device_handle = device;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE DevGetPort(DEV_HANDLE handle, PORT_HANDLE* port)
{
    if (GC_ERROR status = entry_check("DevGetPort")) return status;
    Device* device = find_open_device(handle);
    if (!device) return GC_ERR_INVALID_HANDLE;
    if (!port) return GC_ERR_INVALID_PARAMETER;
    *port = &device->port;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE DevClose(DEV_HANDLE handle)
{
    if (GC_ERROR status = entry_check("DevClose")) return status;
    Device* device = find_open_device(handle);
    if (!device) return GC_ERR_INVALID_HANDLE;
    device->open = false;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE GCReadPort(PORT_HANDLE port, uint64_t address, void* buffer, size_t* size)
{
    if (GC_ERROR status = entry_check("GCReadPort")) return status;
    if (GC_ERROR status = check_port_access(port, address, buffer, size, Span::whole_words))
        return status;
    if (GC_ERROR status = injected_access_fault()) return status;
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    for (size_t done = 0; done < *size; done += 4) {
        uint32_t value = 0;
        CameraModel::Result result =
            producer->camera.read(static_cast<uint32_t>(address + done), value);
        if (!result.ok()) {
            *size = done;
            return gentl_code(result);
        }
        bytes[done] = static_cast<unsigned char>(value >> 24);
        bytes[done + 1] = static_cast<unsigned char>(value >> 16);
        bytes[done + 2] = static_cast<unsigned char>(value >> 8);
        bytes[done + 3] = static_cast<unsigned char>(value);
    }
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE GCWritePort(PORT_HANDLE port, uint64_t address, const void* buffer,
                                 size_t* size)
{
    if (GC_ERROR status = entry_check("GCWritePort")) return status;
    if (GC_ERROR status = check_port_access(port, address, buffer, size, Span::may_end_in_part))
        return status;
    if (GC_ERROR status = injected_access_fault()) return status;
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    for (size_t done = 0; done < *size; done += 4) {
        const uint32_t value = big_endian_word(bytes + done, *size - done);
        CameraModel::Result result =
            producer->camera.write(static_cast<uint32_t>(address + done), value);
        if (!result.ok()) {
            *size = done;
            return gentl_code(result);
        }
    }
    return GC_ERR_SUCCESS;
}

// The rest of the interface: bound by consumers, not offered by this camera.
GC_ERROR GC_CALLTYPE GCGetInfo(TL_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE GCGetLastError(GC_ERROR* code, char* text, size_t* size)
{
    if (!code) return GC_ERR_INVALID_PARAMETER;
    *code = last_error_code;
    return copy_text(last_error_text, text, size);
}
GC_ERROR GC_CALLTYPE GCGetPortURL(PORT_HANDLE, char*, size_t*) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE GCGetPortInfo(PORT_HANDLE, PORT_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE GCRegisterEvent(EVENTSRC_HANDLE, EVENT_TYPE, EVENT_HANDLE*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE GCUnregisterEvent(EVENTSRC_HANDLE, EVENT_TYPE)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE EventGetData(EVENT_HANDLE, void*, size_t*, uint64_t)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE EventGetDataInfo(EVENT_HANDLE, const void*, size_t, EVENT_DATA_INFO_CMD,
                                      INFO_DATATYPE*, void*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE EventGetInfo(EVENT_HANDLE, EVENT_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE EventFlush(EVENT_HANDLE) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE EventKill(EVENT_HANDLE) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE TLGetInfo(TL_HANDLE, TL_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE TLGetInterfaceInfo(TL_HANDLE, const char*, INTERFACE_INFO_CMD, INFO_DATATYPE*,
                                        void*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE IFGetInfo(IF_HANDLE, INTERFACE_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DevGetNumDataStreams(DEV_HANDLE, uint32_t*) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE DevGetDataStreamID(DEV_HANDLE, uint32_t, char*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DevOpenDataStream(DEV_HANDLE, const char*, DS_HANDLE*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DevGetInfo(DEV_HANDLE, DEVICE_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DSAnnounceBuffer(DS_HANDLE, void*, size_t, void*, BUFFER_HANDLE*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DSAllocAndAnnounceBuffer(DS_HANDLE, size_t, void*, BUFFER_HANDLE*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DSFlushQueue(DS_HANDLE, ACQ_QUEUE_TYPE) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE DSStartAcquisition(DS_HANDLE, ACQ_START_FLAGS, uint64_t)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DSStopAcquisition(DS_HANDLE, ACQ_STOP_FLAGS) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE DSGetInfo(DS_HANDLE, STREAM_INFO_CMD, INFO_DATATYPE*, void*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DSGetBufferID(DS_HANDLE, uint32_t, BUFFER_HANDLE*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DSClose(DS_HANDLE) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE DSRevokeBuffer(DS_HANDLE, BUFFER_HANDLE, void**, void**)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DSQueueBuffer(DS_HANDLE, BUFFER_HANDLE) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE DSGetBufferInfo(DS_HANDLE, BUFFER_HANDLE, BUFFER_INFO_CMD, INFO_DATATYPE*,
                                     void*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE GCGetNumPortURLs(PORT_HANDLE, uint32_t*) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE GCGetPortURLInfo(PORT_HANDLE, uint32_t, URL_INFO_CMD, INFO_DATATYPE*, void*,
                                      size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE GCReadPortStacked(PORT_HANDLE, PORT_REGISTER_STACK_ENTRY*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE GCWritePortStacked(PORT_HANDLE, PORT_REGISTER_STACK_ENTRY*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DSGetBufferChunkData(DS_HANDLE, BUFFER_HANDLE, SINGLE_CHUNK_DATA*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE IFGetParentTL(IF_HANDLE, TL_HANDLE*) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE DevGetParentIF(DEV_HANDLE, IF_HANDLE*) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE DSGetParentDev(DS_HANDLE, DEV_HANDLE*) { return GC_ERR_NOT_IMPLEMENTED; }
GC_ERROR GC_CALLTYPE DSGetNumBufferParts(DS_HANDLE, BUFFER_HANDLE, uint32_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}
GC_ERROR GC_CALLTYPE DSGetBufferPartInfo(DS_HANDLE, BUFFER_HANDLE, uint32_t, BUFFER_PART_INFO_CMD,
                                         INFO_DATATYPE*, void*, size_t*)
{
    return GC_ERR_NOT_IMPLEMENTED;
}

}  // extern "C"
