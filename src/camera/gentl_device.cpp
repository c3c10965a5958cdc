#include "camera/gentl_device.h"

#include <vector>

using namespace gentl;

namespace {

// Listing waits this long for a producer that discovers devices.
constexpr uint64_t list_timeout_ms = 2000;

// The entry points a consumer of images cannot do without.
const char* const stream_entry_points[] = {"GCInitLib",          "TLOpen",
                                           "TLGetNumInterfaces", "TLGetInterfaceID",
                                           "TLOpenInterface",    "IFGetNumDevices",
                                           "IFGetDeviceID",      "IFOpenDevice",
                                           "DevGetPort",         "GCReadPort",
                                           "GCWritePort",        "GCGetPortURLInfo",
                                           "DevOpenDataStream",  "DSAnnounceBuffer",
                                           "DSQueueBuffer",      "DSGetBufferInfo",
                                           "DSStartAcquisition", "DSStopAcquisition",
                                           "GCRegisterEvent",    "EventGetData"};

const char* status_name(GC_ERROR status)
{
    switch (status) {
    case GC_ERR_ERROR: return "GC_ERR_ERROR";
    case GC_ERR_NOT_INITIALIZED: return "GC_ERR_NOT_INITIALIZED";
    case GC_ERR_NOT_IMPLEMENTED: return "GC_ERR_NOT_IMPLEMENTED";
    case GC_ERR_RESOURCE_IN_USE: return "GC_ERR_RESOURCE_IN_USE";
    case GC_ERR_ACCESS_DENIED: return "GC_ERR_ACCESS_DENIED";
    case GC_ERR_INVALID_HANDLE: return "GC_ERR_INVALID_HANDLE";
    case GC_ERR_INVALID_ID: return "GC_ERR_INVALID_ID";
    case GC_ERR_NO_DATA: return "GC_ERR_NO_DATA";
    case GC_ERR_INVALID_PARAMETER: return "GC_ERR_INVALID_PARAMETER";
    case GC_ERR_IO: return "GC_ERR_IO";
    case GC_ERR_TIMEOUT: return "GC_ERR_TIMEOUT";
    case GC_ERR_ABORT: return "GC_ERR_ABORT";
    case GC_ERR_INVALID_BUFFER: return "GC_ERR_INVALID_BUFFER";
    case GC_ERR_NOT_AVAILABLE: return "GC_ERR_NOT_AVAILABLE";
    case GC_ERR_INVALID_ADDRESS: return "GC_ERR_INVALID_ADDRESS";
    case GC_ERR_BUFFER_TOO_SMALL: return "GC_ERR_BUFFER_TOO_SMALL";
    case GC_ERR_INVALID_INDEX: return "GC_ERR_INVALID_INDEX";
    case GC_ERR_BUSY: return "GC_ERR_BUSY";
    case GC_ERR_OUT_OF_MEMORY: return "GC_ERR_OUT_OF_MEMORY";
    default: return "a producer's own code";
    }
}

// A text a producer gives through a size query and a fill; empty on failure.
template <typename Ask>
std::string ask_text(Ask ask)
{
    size_t size = 0;
    if (ask(nullptr, &size) != GC_ERR_SUCCESS || size == 0 || size > (size_t(1) << 20)) return "";
    std::vector<char> text(size + 1, '\0');
    if (ask(text.data(), &size) != GC_ERR_SUCCESS) return "";
    return std::string(text.data());
}

}  // namespace

std::string gentl_failure(const char* call, GC_ERROR status)
{
    return std::string(call) + " failed (" + std::to_string(status) + ", " + status_name(status) +
           ")";
}

GenTLDevice::GenTLDevice(std::unique_ptr<GenTLProducer> producer) : producer_(std::move(producer))
{
}

std::unique_ptr<GenTLDevice> GenTLDevice::open(const std::string& producer_path,
                                               const std::string& interface_id,
                                               const std::string& device_id, std::string& error)
{
    std::unique_ptr<GenTLProducer> producer = GenTLProducer::open(producer_path.c_str());
    if (!producer) {
        error = "cannot load the GenTL producer " + producer_path;
        return nullptr;
    }
    for (const char* name : stream_entry_points)
        if (!producer->offers(name)) {
            error = "the GenTL producer " + producer_path + " lacks " + name +
                    ", which taking frames needs";
            return nullptr;
        }
    std::unique_ptr<GenTLDevice> device(new GenTLDevice(std::move(producer)));
    const GenTLProducer& gentl = *device->producer_;
    GC_ERROR status = gentl.GCInitLib();
    if (status != GC_ERR_SUCCESS) {
        error = gentl_failure("GCInitLib", status);
        return nullptr;
    }
    device->initialised_ = true;
    status = gentl.TLOpen(&device->system_);
    if (status != GC_ERR_SUCCESS) {
        error = gentl_failure("TLOpen", status);
        return nullptr;
    }
    if (!device->open_interface(interface_id, error) || !device->open_device(device_id, error))
        return nullptr;
    return device;
}

bool GenTLDevice::open_interface(const std::string& wanted, std::string& error)
{
    const GenTLProducer& gentl = *producer_;
    gentl.TLUpdateInterfaceList(system_, nullptr, list_timeout_ms);
    uint32_t count = 0;
    gentl.TLGetNumInterfaces(system_, &count);
    for (uint32_t i = 0; i < count; ++i) {
        const std::string id = ask_text([&](char* text, size_t* size) {
            return gentl.TLGetInterfaceID(system_, i, text, size);
        });
        if (id.empty() || (!wanted.empty() && id != wanted)) continue;
        IF_HANDLE handle = nullptr;
        if (gentl.TLOpenInterface(system_, id.c_str(), &handle) != GC_ERR_SUCCESS) continue;
        uint32_t devices = 0;
        gentl.IFUpdateDeviceList(handle, nullptr, list_timeout_ms);
        gentl.IFGetNumDevices(handle, &devices);
        // Without a name, the first interface that lists a device is the one.
        if (wanted.empty() && devices == 0) {
            gentl.IFClose(handle);
            continue;
        }
        interface_ = handle;
        interface_id_ = id;
        return true;
    }
    error = wanted.empty() ? "no interface of the GenTL producer lists a device"
                           : "the GenTL producer has no interface \"" + wanted + "\"";
    return false;
}

bool GenTLDevice::open_device(const std::string& wanted, std::string& error)
{
    const GenTLProducer& gentl = *producer_;
    uint32_t count = 0;
    gentl.IFGetNumDevices(interface_, &count);
    for (uint32_t i = 0; i < count; ++i) {
        const std::string id = ask_text([&](char* text, size_t* size) {
            return gentl.IFGetDeviceID(interface_, i, text, size);
        });
        if (id.empty() || (!wanted.empty() && id != wanted)) continue;
        const GC_ERROR status =
            gentl.IFOpenDevice(interface_, id.c_str(), DEVICE_ACCESS_EXCLUSIVE, &device_);
        if (status != GC_ERR_SUCCESS) {
            device_ = nullptr;
            error = "device \"" + id + "\" does not open: " + gentl_failure("IFOpenDevice", status);
            return false;
        }
        device_id_ = id;
        const GC_ERROR port_status = gentl.DevGetPort(device_, &port_);
        if (port_status != GC_ERR_SUCCESS) {
            error = gentl_failure("DevGetPort", port_status);
            return false;
        }
        auto info = [&](DEVICE_INFO_CMD command) {
            return ask_text([&](char* text, size_t* size) {
                INFO_DATATYPE type;
                return gentl.IFGetDeviceInfo(interface_, id.c_str(), command, &type, text, size);
            });
        };
        identity_ = {info(DEVICE_INFO_VENDOR), info(DEVICE_INFO_MODEL),
                     info(DEVICE_INFO_SERIAL_NUMBER)};
        return true;
    }
    error = wanted.empty() ? "interface \"" + interface_id_ + "\" lists no device"
                           : "interface \"" + interface_id_ + "\" has no device \"" + wanted + "\"";
    return false;
}

GenTLDevice::~GenTLDevice()
{
    const GenTLProducer& gentl = *producer_;
    if (device_) gentl.DevClose(device_);
    if (interface_) gentl.IFClose(interface_);
    if (system_) gentl.TLClose(system_);
    if (initialised_) gentl.GCCloseLib();
}

bool GenTLDevice::description_url(std::string& url, std::string& error) const
{
    GC_ERROR status = GC_ERR_SUCCESS;
    url = ask_text([&](char* text, size_t* size) {
        INFO_DATATYPE type;
        status = producer_->GCGetPortURLInfo(port_, 0, URL_INFO_URL, &type, text, size);
        return status;
    });
    if (url.empty()) {
        error = "the device's description cannot be found: " +
                gentl_failure("GCGetPortURLInfo", status == GC_ERR_SUCCESS ? GC_ERR_ERROR : status);
        return false;
    }
    return true;
}

bool GenTLDevice::read(uint64_t address, void* bytes, size_t size, std::string& error) const
{
    size_t done = size;
    const GC_ERROR status = producer_->GCReadPort(port_, address, bytes, &done);
    if (status == GC_ERR_SUCCESS && done == size) return true;
    error = gentl_failure("GCReadPort", status == GC_ERR_SUCCESS ? GC_ERR_IO : status);
    return false;
}

bool GenTLDevice::write(uint64_t address, const void* bytes, size_t size, std::string& error) const
{
    size_t done = size;
    const GC_ERROR status = producer_->GCWritePort(port_, address, bytes, &done);
    if (status == GC_ERR_SUCCESS && done == size) return true;
    error = gentl_failure("GCWritePort", status == GC_ERR_SUCCESS ? GC_ERR_IO : status);
    return false;
}
