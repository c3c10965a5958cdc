// A camera reached through a GenTL producer: the binding, the system, the
// interface and the device it opened, and the register port over the device.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "camera/connection.h"
#include "camera/gentl.h"
#include "camera/port.h"
#include "lib/text.h"

class CTL;
class Log;

class GenTLConnection : public Connection {
public:
    // `earlier` is the run's connection before the first producer loaded:
    // its port serves until a device of this one opens.
    explicit GenTLConnection(Log& log, std::unique_ptr<Connection> earlier = nullptr);
    ~GenTLConnection() override;
    GenTLConnection(const GenTLConnection&) = delete;
    GenTLConnection& operator=(const GenTLConnection&) = delete;

    // Takes a newly loaded producer in place of the bound one, opens its
    // system and lists its interfaces. 0, else the first failing code.
    int32_t bind(std::unique_ptr<GenTLProducer> producer);

    // Opens the named interface and lists its devices.
    bool open_interface(const String& name) override;

    // Opens the named device (the first listed when the name is empty) and
    // makes the port over it. 0 or the failing code.
    int32_t open_device(const String& name);
    ConnectResult connect(const String& device) override;

    // The port of the last device opened, else the earlier connection's.
    IPort* port() const override;

    // With an interface open, prints "closeGenTLDevice", releases the port
    // and closes the device and the interface; else nothing.
    void close() override;

private:
    Log& log_;
    std::unique_ptr<Connection> earlier_;
    std::unique_ptr<GenTLProducer> producer_;
    // Producers replaced by a later --cti stay bound: a port made through one
    // of them may still be the run's port.
    std::vector<std::unique_ptr<GenTLProducer>> earlier_producers_;
    gentl::TL_HANDLE tl_handle_ = nullptr;
    gentl::IF_HANDLE if_handle_ = nullptr;
    gentl::DEV_HANDLE dev_handle_ = nullptr;
    gentl::PORT_HANDLE port_handle_ = nullptr;
    // The device IDs the last --if listed.
    PtrList<String> device_ids_;
    std::unique_ptr<CTL> ctl_;
};
