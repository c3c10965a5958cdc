// A camera reached over a Camera Link serial line: the ports the last --clser
// found, the one --if chose, and the register port over it once open.
#pragma once

#include <memory>
#include <vector>

#include "camera/port.h"
#include "lib/text.h"

class CLSerial_CTL;
class ClSerialPortList;
class Log;
struct ClSerialPort;

class SerialConnection {
public:
    explicit SerialConnection(Log& log);
    ~SerialConnection();
    SerialConnection(const SerialConnection&) = delete;
    SerialConnection& operator=(const SerialConnection&) = delete;

    // --clser: searches the serial libraries again; the new list replaces the
    // earlier one, the port chosen before stays chosen.
    void search();

    // --if: the first port of exactly that name becomes the chosen one; none
    // when no port has it.
    void choose(const String& name);
    bool has_chosen_port() const { return chosen_ != nullptr; }

    // --connect: opens the chosen port's line and makes the port over it.
    // False when the line does not open.
    bool open();

    // The port over the line opened last; null before.
    IPort* port() const;

    // The end-of-run close: releases the port and closes the chosen port's line.
    void close();

private:
    Log& log_;
    std::unique_ptr<ClSerialPortList> ports_;
    // Lists replaced by a later --clser stay alive: the chosen port and the
    // open line may still be one of theirs.
    std::vector<std::unique_ptr<ClSerialPortList>> earlier_ports_;
    ClSerialPort* chosen_ = nullptr;
    std::unique_ptr<CLSerial_CTL> ctl_;
};
