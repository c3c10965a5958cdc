// A GenTL camera opened the way image consumers open one: the producer
// loaded, its system, an interface and a device opened, the device's port
// and information at hand. Everything opened is closed again, in reverse
// order, when the object goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "camera/gentl.h"

struct DeviceIdentity {
    std::string vendor;
    std::string model;
    std::string serial_number;
};

class GenTLDevice {
public:
    // Opens `interface_id` (empty: the first interface that lists a device)
    // and `device_id` on it (empty: the first). Null with a one-line reason in
    // `error` when the producer does not load, lacks an entry point a stream
    // needs, or has no such interface or device.
    static std::unique_ptr<GenTLDevice> open(const std::string& producer_path,
                                             const std::string& interface_id,
                                             const std::string& device_id, std::string& error);
    ~GenTLDevice();
    GenTLDevice(const GenTLDevice&) = delete;
    GenTLDevice& operator=(const GenTLDevice&) = delete;

    const GenTLProducer& producer() const { return *producer_; }
    gentl::DEV_HANDLE device() const { return device_; }
    gentl::PORT_HANDLE port() const { return port_; }
    const std::string& interface_id() const { return interface_id_; }
    const std::string& device_id() const { return device_id_; }
    const DeviceIdentity& identity() const { return identity_; }

    // The URL of the device's description (the port's first), or false.
    bool description_url(std::string& url, std::string& error) const;
    // Bytes of the device's memory through its port.
    bool read(uint64_t address, void* bytes, size_t size, std::string& error) const;
    bool write(uint64_t address, const void* bytes, size_t size, std::string& error) const;

private:
    explicit GenTLDevice(std::unique_ptr<GenTLProducer> producer);
    bool open_interface(const std::string& wanted, std::string& error);
    bool open_device(const std::string& wanted, std::string& error);

    std::unique_ptr<GenTLProducer> producer_;
    bool initialised_ = false;
    gentl::TL_HANDLE system_ = nullptr;
    gentl::IF_HANDLE interface_ = nullptr;
    gentl::DEV_HANDLE device_ = nullptr;
    gentl::PORT_HANDLE port_ = nullptr;
    std::string interface_id_;
    std::string device_id_;
    DeviceIdentity identity_;
};

// "GCReadPort failed (-1015, GC_ERR_INVALID_ADDRESS)": the call and its status.
std::string gentl_failure(const char* call, gentl::GC_ERROR status);
