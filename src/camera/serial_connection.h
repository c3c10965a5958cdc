// A camera reached over a Camera Link serial line: the ports the last --clser
// found, the one --if chose, and the register port over it once open.
#pragma once

#include <memory>
#include <vector>

#include "camera/connection.h"
#include "camera/port.h"
#include "lib/text.h"

class CLSerial_CTL;
class ClSerialPortList;
class Log;
struct ClSerialPort;

class SerialConnection : public Connection {
public:
    explicit SerialConnection(Log& log);
    ~SerialConnection() override;
    SerialConnection(const SerialConnection&) = delete;
    SerialConnection& operator=(const SerialConnection&) = delete;

    // A new list of ports replaces the earlier one; the port chosen before
    // stays chosen.
    void take_ports(std::unique_ptr<ClSerialPortList> ports);

    // The first port of exactly that name becomes the chosen one; none when
    // no port has it. Always true.
    bool open_interface(const String& name) override;

    // Opens the chosen port's line and makes the port over it; without a
    // chosen port nothing happens.
    ConnectResult connect(const String& device) override;

    // The port over the line opened last; null before.
    IPort* port() const override;

    // With a port chosen, releases the register port and closes the chosen
    // port's line.
    void close() override;

private:
    Log& log_;
    std::unique_ptr<ClSerialPortList> ports_;
    // Lists replaced by a later --clser stay alive: the chosen port and the
    // open line may still be one of theirs.
    std::vector<std::unique_ptr<ClSerialPortList>> earlier_ports_;
    ClSerialPort* chosen_ = nullptr;
    std::unique_ptr<CLSerial_CTL> ctl_;
};
