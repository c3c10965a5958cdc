// camsim.cti: the simulated camera behind the GenTL producer entry points.
// The camera's registers travel big-endian, as a GenTL device's do. Besides
// its registers the device port serves the camera's GenApi description and
// three text registers of the device's own; the device has one data stream.
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera_model.h"
#include "genapi_description.h"
#include "gentl_exports.h"
#include "gentl_info.h"
#include "gentl_stream.h"
#include "sensor.h"
#include "sim_config.h"

using namespace gentl;
using camsim::answer_info;
using camsim::answer_text;
using camsim::CameraModel;
using camsim::DataStream;
using camsim::info_number;
using camsim::info_text;
using camsim::InfoValue;
using camsim::SimConfig;

namespace {

const char* const vendor_name = "Kervo CamSim";
const char* const transport_type = "Custom";
const char* const stream_name = "Stream0";
// The name of the device port, which the description's Port node carries.
const char* const device_port_name = "Device";

struct Interface;

struct Device {
    std::string id;
    std::string model;
    std::string serial_number;
    bool model_query_fails = false;
    bool open = false;
    Interface* parent = nullptr;
    char port = 0;  // its address is the device's port handle
    std::unique_ptr<DataStream> stream;
    bool stream_open = false;
};

struct Interface {
    std::string id;
    bool open = false;
    std::vector<Device> devices;
};

// One instance between GCInitLib and GCCloseLib. Every device reaches the
// same camera, and the camera's one sensor.
struct Producer : camsim::FrameSource {
    explicit Producer(const SimConfig& settings)
        : config(settings),
          format(*camsim::find_pixel_format(settings.pixel_format)),
          camera(settings, camsim::state_file_from_environment())
    {
        interfaces.resize(static_cast<size_t>(config.interfaces));
        for (int32_t i = 0; i < config.interfaces; ++i) {
            Interface& iface = interfaces[static_cast<size_t>(i)];
            iface.id = config.interface_id(i);
            iface.devices.resize(static_cast<size_t>(config.devices));
            for (int32_t d = 0; d < config.devices; ++d) {
                Device& device = iface.devices[static_cast<size_t>(d)];
                device.id = config.device_id(d);
                device.model = config.device_model(d);
                device.serial_number = "CS" + std::to_string(100001 + d);
                device.model_query_fails = config.model_query_fails.count(d) != 0;
                device.parent = &iface;
            }
        }
    }

    uint32_t width() const override { return config.width; }
    uint32_t height() const override { return config.height; }
    const camsim::PixelFormat& pixel_format() const override { return format; }
    bool acquiring() override
    {
        std::lock_guard<std::mutex> guard(lock);
        const bool stalled = config.stall_after != 0 && next_frame >= config.stall_after;
        return camera.acquiring() && !stalled;
    }
    camsim::FrameClaim claim_frame() override
    {
        std::lock_guard<std::mutex> guard(lock);
        camsim::FrameClaim claim{next_frame, camera.correction()};
        claim.incomplete = config.incomplete_frames.count(static_cast<uint32_t>(next_frame)) != 0;
        claim.half_height = config.half_height_frames.count(static_cast<uint32_t>(next_frame)) != 0;
        ++next_frame;
        camera.frame_delivered();
        return claim;
    }
    void render(uint64_t index, uint8_t* pixels) const override { sensor->frame(index, pixels); }

    SimConfig config;
    const camsim::PixelFormat& format;
    // Guards the camera and the modules' tables; a stream's own lock may be
    // held when this one is taken, never the reverse.
    std::mutex lock;
    CameraModel camera;
    // Made when a stream first opens: the program's map transfers need none.
    std::unique_ptr<camsim::Sensor> sensor;
    uint64_t next_frame = 0;
    uint32_t port_accesses = 0;
    bool system_open = false;
    char system = 0;  // its address is the system handle
    // Declared last, so the streams' threads end before the camera goes.
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

std::unique_lock<std::mutex> hold() { return std::unique_lock<std::mutex>(producer->lock); }

// Counts one register access; the one the configuration names is refused.
GC_ERROR injected_access_fault()
{
    const uint32_t access = ++producer->port_accesses;
    return access == producer->config.fail_access ? GC_ERR_IO : GC_ERR_SUCCESS;
}

bool system_is_open(TL_HANDLE handle)
{
    return handle == &producer->system && producer->system_open;
}

Interface* find_interface(IF_HANDLE handle)
{
    for (Interface& iface : producer->interfaces)
        if (&iface == handle && iface.open) return &iface;
    return nullptr;
}

Interface* find_interface_by_id(const char* id)
{
    if (!id) return nullptr;
    for (Interface& iface : producer->interfaces)
        if (iface.id == id) return &iface;
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

template <typename Match>
Device* find_open(Match match)
{
    for (Interface& iface : producer->interfaces)
        for (Device& device : iface.devices)
            if (device.open && match(device)) return &device;
    return nullptr;
}

Device* find_open_device(DEV_HANDLE handle)
{
    return find_open([&](const Device& device) { return &device == handle; });
}

Device* find_port(PORT_HANDLE handle)
{
    return find_open([&](const Device& device) { return &device.port == handle; });
}

DataStream* find_stream(DS_HANDLE handle)
{
    Device* device = find_open([&](const Device& d) {
        return d.stream_open && static_cast<const void*>(d.stream.get()) == handle;
    });
    return device ? device->stream.get() : nullptr;
}

DataStream* find_event_stream(EVENT_HANDLE handle)
{
    Device* device =
        find_open([&](const Device& d) { return d.stream_open && d.stream->owns_event(handle); });
    return device ? device->stream.get() : nullptr;
}

std::vector<DataStream*> open_streams()
{
    std::vector<DataStream*> streams;
    find_open([&](const Device& d) {
        if (d.stream_open) streams.push_back(d.stream.get());
        return false;
    });
    return streams;
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

// The device's memory that is bytes rather than camera registers: the
// description, and its vendor, model and serial number texts.
struct ByteArea {
    uint64_t address;
    std::string bytes;
};

std::vector<ByteArea> byte_areas(const Device& device)
{
    auto text_register = [](uint64_t address, const std::string& text) {
        std::string bytes(camsim::genapi_string_length, '\0');
        bytes.replace(0, std::min(text.size(), bytes.size() - 1), text, 0, bytes.size() - 1);
        return ByteArea{address, bytes};
    };
    const uint64_t texts = camsim::genapi_string_registers;
    const uint64_t step = camsim::genapi_string_length;
    return {ByteArea{camsim::genapi_address, camsim::genapi_description()},
            text_register(texts, vendor_name), text_register(texts + step, device.model),
            text_register(texts + 2 * step, device.serial_number)};
}

// Answers a read that falls in a byte area; false when it touches none.
// A read that only partly lies in one is refused.
bool read_byte_area(const Device& device, uint64_t address, void* buffer, size_t size,
                    GC_ERROR& status)
{
    for (const ByteArea& area : byte_areas(device)) {
        const uint64_t end = area.address + area.bytes.size();
        if (address + size <= area.address || address >= end) continue;
        if (address < area.address || address + size > end) {
            status = GC_ERR_INVALID_ADDRESS;
        } else {
            std::memcpy(buffer, area.bytes.data() + (address - area.address), size);
            status = GC_ERR_SUCCESS;
        }
        return true;
    }
    // Right past the description nothing is mapped, so a consumer that reads
    // beyond the length its URL gives is told so.
    if (address >= camsim::genapi_address) {
        status = GC_ERR_INVALID_ADDRESS;
        return true;
    }
    return false;
}

bool in_byte_area(const Device& device, uint64_t address, size_t size)
{
    for (const ByteArea& area : byte_areas(device))
        if (address < area.address + area.bytes.size() && address + size > area.address)
            return true;
    return address >= camsim::genapi_address;
}

InfoValue device_value(const Device& device, DEVICE_INFO_CMD command, bool& known)
{
    known = true;
    switch (command) {
    case DEVICE_INFO_ID: return info_text(device.id);
    case DEVICE_INFO_VENDOR: return info_text(vendor_name);
    case DEVICE_INFO_MODEL: return info_text(device.model);
    case DEVICE_INFO_TLTYPE: return info_text(transport_type);
    case DEVICE_INFO_DISPLAYNAME: return info_text(device.model + " (" + device.id + ")");
    case DEVICE_INFO_ACCESS_STATUS:
        return info_number(INFO_DATATYPE_INT32, device.open ? DEVICE_ACCESS_STATUS_OPEN_READWRITE
                                                            : DEVICE_ACCESS_STATUS_READWRITE);
    case DEVICE_INFO_USER_DEFINED_NAME: return info_text("");
    case DEVICE_INFO_SERIAL_NUMBER: return info_text(device.serial_number);
    case DEVICE_INFO_VERSION: return info_text("1.0");
    case DEVICE_INFO_TIMESTAMP_FREQUENCY: return info_number(INFO_DATATYPE_UINT64, 1000000000);
    default: known = false; return info_text("");
    }
}

GC_ERROR device_info(const Device& device, DEVICE_INFO_CMD command, INFO_DATATYPE* type,
                     void* buffer, size_t* size)
{
    if (command == DEVICE_INFO_MODEL && device.model_query_fails) return GC_ERR_ERROR;
    bool known;
    const InfoValue value = device_value(device, command, known);
    if (!known) return GC_ERR_NOT_IMPLEMENTED;
    return answer_info(value, type, buffer, size);
}

GC_ERROR system_info(TL_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    InfoValue value;
    switch (command) {
    case TL_INFO_ID: value = info_text("camsim"); break;
    case TL_INFO_VENDOR: value = info_text(vendor_name); break;
    case TL_INFO_MODEL: value = info_text("CamSim GenTL producer"); break;
    case TL_INFO_VERSION: value = info_text("1.0"); break;
    case TL_INFO_TLTYPE: value = info_text(transport_type); break;
    case TL_INFO_NAME:
    case TL_INFO_PATHNAME: value = info_text("camsim.cti"); break;
    case TL_INFO_DISPLAYNAME: value = info_text("Kervo CamSim simulated camera"); break;
    case TL_INFO_CHAR_ENCODING: value = info_number(INFO_DATATYPE_INT32, 0); break;
    case TL_INFO_GENTL_VER_MAJOR: value = info_number(INFO_DATATYPE_UINT32, 1); break;
    case TL_INFO_GENTL_VER_MINOR: value = info_number(INFO_DATATYPE_UINT32, 5); break;
    default: return GC_ERR_NOT_IMPLEMENTED;
    }
    return answer_info(value, type, buffer, size);
}

GC_ERROR interface_info(const Interface& iface, INTERFACE_INFO_CMD command, INFO_DATATYPE* type,
                        void* buffer, size_t* size)
{
    InfoValue value;
    switch (command) {
    case INTERFACE_INFO_ID: value = info_text(iface.id); break;
    case INTERFACE_INFO_DISPLAYNAME: value = info_text("CamSim interface " + iface.id); break;
    case INTERFACE_INFO_TLTYPE: value = info_text(transport_type); break;
    default: return GC_ERR_NOT_IMPLEMENTED;
    }
    return answer_info(value, type, buffer, size);
}

// What the port info tells of a port: the device's, or a module's own.
struct PortFacts {
    std::string id;
    std::string model;
    std::string module;
    std::string name;
    bool device_port;
};

bool port_facts(PORT_HANDLE port, PortFacts& facts)
{
    if (Device* device = find_port(port)) {
        facts = {device->id, device->model, "Device", device_port_name, true};
        return true;
    }
    if (system_is_open(port)) {
        facts = {"camsim", "CamSim GenTL producer", "TLSystem", "TLPort", false};
        return true;
    }
    if (Interface* iface = find_interface(port)) {
        facts = {iface->id, "CamSim interface", "TLInterface", "TLPort", false};
        return true;
    }
    if (Device* device = find_open_device(port)) {
        facts = {device->id, device->model, "TLDevice", "TLPort", false};
        return true;
    }
    if (DataStream* stream = find_stream(port)) {
        facts = {stream->id(), "CamSim stream", "TLDataStream", "TLPort", false};
        return true;
    }
    return false;
}

GC_ERROR port_info(const PortFacts& facts, PORT_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                   size_t* size)
{
    InfoValue value;
    switch (command) {
    case PORT_INFO_ID: value = info_text(facts.id); break;
    case PORT_INFO_VENDOR: value = info_text(vendor_name); break;
    case PORT_INFO_MODEL: value = info_text(facts.model); break;
    case PORT_INFO_TLTYPE: value = info_text(transport_type); break;
    case PORT_INFO_MODULE: value = info_text(facts.module); break;
    case PORT_INFO_LITTLE_ENDIAN: value = info_number(INFO_DATATYPE_BOOL8, 0); break;
    case PORT_INFO_BIG_ENDIAN: value = info_number(INFO_DATATYPE_BOOL8, facts.device_port); break;
    case PORT_INFO_ACCESS_READ:
    case PORT_INFO_ACCESS_WRITE: value = info_number(INFO_DATATYPE_BOOL8, facts.device_port); break;
    case PORT_INFO_ACCESS_NA: value = info_number(INFO_DATATYPE_BOOL8, !facts.device_port); break;
    case PORT_INFO_ACCESS_NI: value = info_number(INFO_DATATYPE_BOOL8, 0); break;
    case PORT_INFO_VERSION: value = info_text("1.0"); break;
    case PORT_INFO_PORTNAME: value = info_text(facts.name); break;
    default: return GC_ERR_NOT_IMPLEMENTED;
    }
    return answer_info(value, type, buffer, size);
}

GC_ERROR url_info(URL_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    const auto& schema = camsim::genapi_schema_version;
    const auto& file = camsim::genapi_file_version;
    InfoValue value;
    switch (command) {
    case URL_INFO_URL: value = info_text(camsim::genapi_url()); break;
    case URL_INFO_SCHEMA_VER_MAJOR: value = info_number(INFO_DATATYPE_INT32, schema.major); break;
    case URL_INFO_SCHEMA_VER_MINOR: value = info_number(INFO_DATATYPE_INT32, schema.minor); break;
    case URL_INFO_FILE_VER_MAJOR: value = info_number(INFO_DATATYPE_INT32, file.major); break;
    case URL_INFO_FILE_VER_MINOR: value = info_number(INFO_DATATYPE_INT32, file.minor); break;
    case URL_INFO_FILE_VER_SUBMINOR: value = info_number(INFO_DATATYPE_INT32, file.subminor); break;
    case URL_INFO_FILE_REGISTER_ADDRESS:
        value = info_number(INFO_DATATYPE_UINT64, camsim::genapi_address);
        break;
    case URL_INFO_FILE_SIZE:
        value = info_number(INFO_DATATYPE_UINT64, camsim::genapi_description().size());
        break;
    case URL_INFO_SCHEME: value = info_number(INFO_DATATYPE_INT32, URL_SCHEME_LOCAL); break;
    case URL_INFO_FILENAME: value = info_text("camsim.xml"); break;
    default: return GC_ERR_NOT_IMPLEMENTED;
    }
    return answer_info(value, type, buffer, size);
}

// The URL queries: the device port has one description; the modules' own
// ports have none, which they tell as "not implemented" (some consumers take
// a count of 0 for an error).
GC_ERROR check_url_port(PORT_HANDLE port)
{
    PortFacts facts;
    if (!port_facts(port, facts)) return GC_ERR_INVALID_HANDLE;
    return facts.device_port ? GC_ERR_SUCCESS : GC_ERR_NOT_IMPLEMENTED;
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

GC_ERROR GC_CALLTYPE GCGetInfo(TL_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    if (GC_ERROR status = entry_check("GCGetInfo")) return status;
    return system_info(command, type, buffer, size);
}

GC_ERROR GC_CALLTYPE GCGetLastError(GC_ERROR* code, char* text, size_t* size)
{
    if (!code) return GC_ERR_INVALID_PARAMETER;
    *code = last_error_code;
    return answer_text(last_error_text, text, size);
}

GC_ERROR GC_CALLTYPE TLOpen(TL_HANDLE* system)
{
    if (GC_ERROR status = entry_check("TLOpen")) return status;
    if (!system) return GC_ERR_INVALID_PARAMETER;
    auto guard = hold();
    if (producer->system_open) return GC_ERR_RESOURCE_IN_USE;
    producer->system_open = true;
    *system = &producer->system;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE TLClose(TL_HANDLE system)
{
    if (GC_ERROR status = entry_check("TLClose")) return status;
    auto guard = hold();
    if (!system_is_open(system)) return GC_ERR_INVALID_HANDLE;
    producer->system_open = false;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE TLGetInfo(TL_HANDLE system, TL_INFO_CMD command, INFO_DATATYPE* type,
                               void* buffer, size_t* size)
{
    if (GC_ERROR status = entry_check("TLGetInfo")) return status;
    auto guard = hold();
    if (!system_is_open(system)) return GC_ERR_INVALID_HANDLE;
    return system_info(command, type, buffer, size);
}

GC_ERROR GC_CALLTYPE TLUpdateInterfaceList(TL_HANDLE system, bool8_t* changed, uint64_t)
{
    if (GC_ERROR status = entry_check("TLUpdateInterfaceList")) return status;
    auto guard = hold();
    if (!system_is_open(system)) return GC_ERR_INVALID_HANDLE;
    if (changed) *changed = 0;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE TLGetNumInterfaces(TL_HANDLE system, uint32_t* count)
{
    if (GC_ERROR status = entry_check("TLGetNumInterfaces")) return status;
    auto guard = hold();
    if (!system_is_open(system)) return GC_ERR_INVALID_HANDLE;
    if (!count) return GC_ERR_INVALID_PARAMETER;
    *count = static_cast<uint32_t>(producer->interfaces.size());
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE TLGetInterfaceID(TL_HANDLE system, uint32_t index, char* id, size_t* size)
{
    if (GC_ERROR status = entry_check("TLGetInterfaceID")) return status;
    auto guard = hold();
    if (!system_is_open(system)) return GC_ERR_INVALID_HANDLE;
    if (index >= producer->interfaces.size()) return GC_ERR_INVALID_INDEX;
    return answer_text(producer->interfaces[index].id, id, size);
}

GC_ERROR GC_CALLTYPE TLGetInterfaceInfo(TL_HANDLE system, const char* id,
                                        INTERFACE_INFO_CMD command, INFO_DATATYPE* type,
                                        void* buffer, size_t* size)
{
    if (GC_ERROR status = entry_check("TLGetInterfaceInfo")) return status;
    auto guard = hold();
    if (!system_is_open(system)) return GC_ERR_INVALID_HANDLE;
    const Interface* iface = find_interface_by_id(id);
    if (!iface) return GC_ERR_INVALID_ID;
    return interface_info(*iface, command, type, buffer, size);
}

GC_ERROR GC_CALLTYPE TLOpenInterface(TL_HANDLE system, const char* id, IF_HANDLE* handle)
{
    if (GC_ERROR status = entry_check("TLOpenInterface")) return status;
    auto guard = hold();
    if (!system_is_open(system)) return GC_ERR_INVALID_HANDLE;
    if (!id || !handle) return GC_ERR_INVALID_PARAMETER;
    Interface* iface = find_interface_by_id(id);
    if (!iface) return GC_ERR_INVALID_ID;
    if (iface->open) return GC_ERR_RESOURCE_IN_USE;
    iface->open = true;
    *handle = iface;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE IFClose(IF_HANDLE handle)
{
    if (GC_ERROR status = entry_check("IFClose")) return status;
    auto guard = hold();
    Interface* iface = find_interface(handle);
    if (!iface) return GC_ERR_INVALID_HANDLE;
    iface->open = false;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE IFGetInfo(IF_HANDLE handle, INTERFACE_INFO_CMD command, INFO_DATATYPE* type,
                               void* buffer, size_t* size)
{
    if (GC_ERROR status = entry_check("IFGetInfo")) return status;
    auto guard = hold();
    const Interface* iface = find_interface(handle);
    if (!iface) return GC_ERR_INVALID_HANDLE;
    return interface_info(*iface, command, type, buffer, size);
}

GC_ERROR GC_CALLTYPE IFGetParentTL(IF_HANDLE handle, TL_HANDLE* system)
{
    if (GC_ERROR status = entry_check("IFGetParentTL")) return status;
    auto guard = hold();
    if (!find_interface(handle)) return GC_ERR_INVALID_HANDLE;
    if (!system) return GC_ERR_INVALID_PARAMETER;
    *system = &producer->system;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE IFUpdateDeviceList(IF_HANDLE handle, bool8_t* changed, uint64_t)
{
    if (GC_ERROR status = entry_check("IFUpdateDeviceList")) return status;
    auto guard = hold();
    if (!find_interface(handle)) return GC_ERR_INVALID_HANDLE;
    if (changed) *changed = 0;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE IFGetNumDevices(IF_HANDLE handle, uint32_t* count)
{
    if (GC_ERROR status = entry_check("IFGetNumDevices")) return status;
    auto guard = hold();
    Interface* iface = find_interface(handle);
    if (!iface) return GC_ERR_INVALID_HANDLE;
    if (!count) return GC_ERR_INVALID_PARAMETER;
    *count = static_cast<uint32_t>(iface->devices.size());
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE IFGetDeviceID(IF_HANDLE handle, uint32_t index, char* id, size_t* size)
{
    if (GC_ERROR status = entry_check("IFGetDeviceID")) return status;
    auto guard = hold();
    Interface* iface = find_interface(handle);
    if (!iface) return GC_ERR_INVALID_HANDLE;
    if (index >= iface->devices.size()) return GC_ERR_INVALID_INDEX;
    return answer_text(iface->devices[index].id, id, size);
}

GC_ERROR GC_CALLTYPE IFGetDeviceInfo(IF_HANDLE handle, const char* id, DEVICE_INFO_CMD command,
                                     INFO_DATATYPE* type, void* buffer, size_t* size)
{
    if (GC_ERROR status = entry_check("IFGetDeviceInfo")) return status;
    auto guard = hold();
    if (!find_interface(handle)) return GC_ERR_INVALID_HANDLE;
    Device* device = find_device(handle, id);
    if (!device) return GC_ERR_INVALID_ID;
    return device_info(*device, command, type, buffer, size);
}

GC_ERROR GC_CALLTYPE IFOpenDevice(IF_HANDLE handle, const char* id, DEVICE_ACCESS_FLAGS,
                                  DEV_HANDLE* device_handle)
{
    if (GC_ERROR status = entry_check("IFOpenDevice")) return status;
    auto guard = hold();
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
    auto guard = hold();
    Device* device = find_open_device(handle);
    if (!device) return GC_ERR_INVALID_HANDLE;
    if (!port) return GC_ERR_INVALID_PARAMETER;
    *port = &device->port;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE DevGetInfo(DEV_HANDLE handle, DEVICE_INFO_CMD command, INFO_DATATYPE* type,
                                void* buffer, size_t* size)
{
    if (GC_ERROR status = entry_check("DevGetInfo")) return status;
    auto guard = hold();
    Device* device = find_open_device(handle);
    if (!device) return GC_ERR_INVALID_HANDLE;
    return device_info(*device, command, type, buffer, size);
}

GC_ERROR GC_CALLTYPE DevGetParentIF(DEV_HANDLE handle, IF_HANDLE* iface)
{
    if (GC_ERROR status = entry_check("DevGetParentIF")) return status;
    auto guard = hold();
    Device* device = find_open_device(handle);
    if (!device) return GC_ERR_INVALID_HANDLE;
    if (!iface) return GC_ERR_INVALID_PARAMETER;
    *iface = device->parent;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE DevGetNumDataStreams(DEV_HANDLE handle, uint32_t* count)
{
    if (GC_ERROR status = entry_check("DevGetNumDataStreams")) return status;
    auto guard = hold();
    if (!find_open_device(handle)) return GC_ERR_INVALID_HANDLE;
    if (!count) return GC_ERR_INVALID_PARAMETER;
    *count = 1;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE DevGetDataStreamID(DEV_HANDLE handle, uint32_t index, char* id, size_t* size)
{
    if (GC_ERROR status = entry_check("DevGetDataStreamID")) return status;
    auto guard = hold();
    if (!find_open_device(handle)) return GC_ERR_INVALID_HANDLE;
    if (index != 0) return GC_ERR_INVALID_INDEX;
    return answer_text(stream_name, id, size);
}

GC_ERROR GC_CALLTYPE DevOpenDataStream(DEV_HANDLE handle, const char* id, DS_HANDLE* stream)
{
    if (GC_ERROR status = entry_check("DevOpenDataStream")) return status;
    auto guard = hold();
    Device* device = find_open_device(handle);
    if (!device) return GC_ERR_INVALID_HANDLE;
    if (!id || !stream) return GC_ERR_INVALID_PARAMETER;
    if (std::strcmp(id, stream_name) != 0) return GC_ERR_INVALID_ID;
    if (device->stream_open) return GC_ERR_RESOURCE_IN_USE;
    if (!producer->sensor)
        producer->sensor.reset(new camsim::Sensor(camsim::sensor_settings(producer->config)));
    if (!device->stream) device->stream.reset(new DataStream(*producer, stream_name));
    device->stream_open = true;
    *stream = device->stream.get();
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE DevClose(DEV_HANDLE handle)
{
    if (GC_ERROR status = entry_check("DevClose")) return status;
    auto guard = hold();
    Device* device = find_open_device(handle);
    if (!device) return GC_ERR_INVALID_HANDLE;
    DataStream* stream = device->stream_open ? device->stream.get() : nullptr;
    device->stream_open = false;
    device->open = false;
    guard.unlock();
    // A device closed with its stream open closes the stream with it.
    if (stream) stream->close();
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE GCReadPort(PORT_HANDLE port, uint64_t address, void* buffer, size_t* size)
{
    if (GC_ERROR status = entry_check("GCReadPort")) return status;
    auto guard = hold();
    if (GC_ERROR status = check_port_access(port, address, buffer, size, Span::whole_words))
        return status;
    if (GC_ERROR status = injected_access_fault()) return status;
    GC_ERROR area_status;
    if (read_byte_area(*find_port(port), address, buffer, *size, area_status)) return area_status;
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
    auto guard = hold();
    if (GC_ERROR status = check_port_access(port, address, buffer, size, Span::may_end_in_part))
        return status;
    if (GC_ERROR status = injected_access_fault()) return status;
    if (in_byte_area(*find_port(port), address, *size)) return GC_ERR_ACCESS_DENIED;
    GC_ERROR status = GC_ERR_SUCCESS;
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    for (size_t done = 0; done < *size; done += 4) {
        const uint32_t value = big_endian_word(bytes + done, *size - done);
        CameraModel::Result result =
            producer->camera.write(static_cast<uint32_t>(address + done), value);
        if (!result.ok()) {
            *size = done;
            status = gentl_code(result);
            break;
        }
    }
    const std::vector<DataStream*> streams = open_streams();
    guard.unlock();
    for (DataStream* stream : streams) stream->camera_changed();
    return status;
}

GC_ERROR GC_CALLTYPE GCGetNumPortURLs(PORT_HANDLE port, uint32_t* count)
{
    if (GC_ERROR status = entry_check("GCGetNumPortURLs")) return status;
    auto guard = hold();
    if (GC_ERROR status = check_url_port(port)) return status;
    if (!count) return GC_ERR_INVALID_PARAMETER;
    *count = 1;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE GCGetPortURL(PORT_HANDLE port, char* url, size_t* size)
{
    if (GC_ERROR status = entry_check("GCGetPortURL")) return status;
    auto guard = hold();
    if (GC_ERROR status = check_url_port(port)) return status;
    return answer_text(camsim::genapi_url(), url, size);
}

GC_ERROR GC_CALLTYPE GCGetPortURLInfo(PORT_HANDLE port, uint32_t index, URL_INFO_CMD command,
                                      INFO_DATATYPE* type, void* buffer, size_t* size)
{
    if (GC_ERROR status = entry_check("GCGetPortURLInfo")) return status;
    auto guard = hold();
    if (GC_ERROR status = check_url_port(port)) return status;
    if (index != 0) return GC_ERR_INVALID_INDEX;
    return url_info(command, type, buffer, size);
}

GC_ERROR GC_CALLTYPE GCGetPortInfo(PORT_HANDLE port, PORT_INFO_CMD command, INFO_DATATYPE* type,
                                   void* buffer, size_t* size)
{
    if (GC_ERROR status = entry_check("GCGetPortInfo")) return status;
    auto guard = hold();
    PortFacts facts;
    if (!port_facts(port, facts)) return GC_ERR_INVALID_HANDLE;
    return port_info(facts, command, type, buffer, size);
}

// The stream's entry points find their stream under the producer's lock and
// work under the stream's own, so a wait for an event never blocks the port.
#define KD_WITH_STREAM(entry, handle)                        \
    if (GC_ERROR status = entry_check(entry)) return status; \
    DataStream* stream;                                      \
    {                                                        \
        auto guard = hold();                                 \
        stream = find_stream(handle);                        \
    }                                                        \
    if (!stream) return GC_ERR_INVALID_HANDLE

GC_ERROR GC_CALLTYPE DSAnnounceBuffer(DS_HANDLE handle, void* memory, size_t size, void* user,
                                      BUFFER_HANDLE* buffer)
{
    KD_WITH_STREAM("DSAnnounceBuffer", handle);
    return stream->announce(memory, size, user, buffer);
}

GC_ERROR GC_CALLTYPE DSAllocAndAnnounceBuffer(DS_HANDLE handle, size_t size, void* user,
                                              BUFFER_HANDLE* buffer)
{
    KD_WITH_STREAM("DSAllocAndAnnounceBuffer", handle);
    return stream->allocate(size, user, buffer);
}

GC_ERROR GC_CALLTYPE DSFlushQueue(DS_HANDLE handle, ACQ_QUEUE_TYPE operation)
{
    KD_WITH_STREAM("DSFlushQueue", handle);
    return stream->flush(operation);
}

GC_ERROR GC_CALLTYPE DSStartAcquisition(DS_HANDLE handle, ACQ_START_FLAGS, uint64_t frames)
{
    KD_WITH_STREAM("DSStartAcquisition", handle);
    return stream->start(frames);
}

GC_ERROR GC_CALLTYPE DSStopAcquisition(DS_HANDLE handle, ACQ_STOP_FLAGS flags)
{
    KD_WITH_STREAM("DSStopAcquisition", handle);
    return stream->stop(flags);
}

GC_ERROR GC_CALLTYPE DSGetInfo(DS_HANDLE handle, STREAM_INFO_CMD command, INFO_DATATYPE* type,
                               void* buffer, size_t* size)
{
    KD_WITH_STREAM("DSGetInfo", handle);
    return stream->info(command, type, buffer, size);
}

GC_ERROR GC_CALLTYPE DSGetBufferID(DS_HANDLE handle, uint32_t index, BUFFER_HANDLE* buffer)
{
    KD_WITH_STREAM("DSGetBufferID", handle);
    return stream->buffer_id(index, buffer);
}

GC_ERROR GC_CALLTYPE DSClose(DS_HANDLE handle)
{
    if (GC_ERROR status = entry_check("DSClose")) return status;
    DataStream* stream = nullptr;
    {
        auto guard = hold();
        Device* device = find_open([&](const Device& d) {
            return d.stream_open && static_cast<const void*>(d.stream.get()) == handle;
        });
        if (!device) return GC_ERR_INVALID_HANDLE;
        device->stream_open = false;
        stream = device->stream.get();
    }
    stream->close();
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE DSRevokeBuffer(DS_HANDLE handle, BUFFER_HANDLE buffer, void** memory,
                                    void** user)
{
    KD_WITH_STREAM("DSRevokeBuffer", handle);
    return stream->revoke(buffer, memory, user);
}

GC_ERROR GC_CALLTYPE DSQueueBuffer(DS_HANDLE handle, BUFFER_HANDLE buffer)
{
    KD_WITH_STREAM("DSQueueBuffer", handle);
    return stream->queue(buffer);
}

GC_ERROR GC_CALLTYPE DSGetBufferInfo(DS_HANDLE handle, BUFFER_HANDLE buffer,
                                     BUFFER_INFO_CMD command, INFO_DATATYPE* type, void* out,
                                     size_t* size)
{
    KD_WITH_STREAM("DSGetBufferInfo", handle);
    return stream->buffer_info(buffer, command, type, out, size);
}

GC_ERROR GC_CALLTYPE DSGetParentDev(DS_HANDLE handle, DEV_HANDLE* device)
{
    if (GC_ERROR status = entry_check("DSGetParentDev")) return status;
    auto guard = hold();
    Device* owner = find_open([&](const Device& d) {
        return d.stream_open && static_cast<const void*>(d.stream.get()) == handle;
    });
    if (!owner) return GC_ERR_INVALID_HANDLE;
    if (!device) return GC_ERR_INVALID_PARAMETER;
    *device = owner;
    return GC_ERR_SUCCESS;
}

GC_ERROR GC_CALLTYPE GCRegisterEvent(EVENTSRC_HANDLE source, EVENT_TYPE type, EVENT_HANDLE* event)
{
    if (GC_ERROR status = entry_check("GCRegisterEvent")) return status;
    DataStream* stream;
    {
        auto guard = hold();
        stream = find_stream(source);
        if (!stream) {
            PortFacts facts;
            // The other modules exist but fire no events.
            return port_facts(source, facts) ? GC_ERR_NOT_IMPLEMENTED : GC_ERR_INVALID_HANDLE;
        }
    }
    return stream->register_event(type, event);
}

GC_ERROR GC_CALLTYPE GCUnregisterEvent(EVENTSRC_HANDLE source, EVENT_TYPE type)
{
    KD_WITH_STREAM("GCUnregisterEvent", source);
    return stream->unregister_event(type);
}

#define KD_WITH_EVENT(entry, handle)                         \
    if (GC_ERROR status = entry_check(entry)) return status; \
    DataStream* stream;                                      \
    {                                                        \
        auto guard = hold();                                 \
        stream = find_event_stream(handle);                  \
    }                                                        \
    if (!stream) return GC_ERR_INVALID_HANDLE

GC_ERROR GC_CALLTYPE EventGetData(EVENT_HANDLE event, void* data, size_t* size, uint64_t timeout)
{
    KD_WITH_EVENT("EventGetData", event);
    return stream->wait_event(data, size, timeout);
}

GC_ERROR GC_CALLTYPE EventGetDataInfo(EVENT_HANDLE event, const void* data, size_t data_size,
                                      EVENT_DATA_INFO_CMD command, INFO_DATATYPE* type,
                                      void* buffer, size_t* size)
{
    KD_WITH_EVENT("EventGetDataInfo", event);
    return stream->event_data_info(data, data_size, command, type, buffer, size);
}

GC_ERROR GC_CALLTYPE EventGetInfo(EVENT_HANDLE event, EVENT_INFO_CMD command, INFO_DATATYPE* type,
                                  void* buffer, size_t* size)
{
    KD_WITH_EVENT("EventGetInfo", event);
    return stream->event_info(command, type, buffer, size);
}

GC_ERROR GC_CALLTYPE EventFlush(EVENT_HANDLE event)
{
    KD_WITH_EVENT("EventFlush", event);
    return stream->flush_events();
}

GC_ERROR GC_CALLTYPE EventKill(EVENT_HANDLE event)
{
    KD_WITH_EVENT("EventKill", event);
    return stream->kill_event();
}

// The rest of the interface: bound by consumers, not offered by this camera.
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
