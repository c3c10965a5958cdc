// Camera Link serial libraries: the binding of one library file (ClSerial),
// the ports found in the installed libraries (ClSerialPortList) and the
// character-level line on which the register protocol runs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "clserial_api.h"
#include "lib/text.h"
#include "platform/lock.h"

class Log;

namespace platform {
class SharedLibrary;
}

// Raised (thrown as int) when a library file does not load or lacks an entry
// point the program cannot do without.
constexpr int32_t clser_library_refused = -2;
// Raised by ClSerial::open when the port cannot be opened and flushed.
constexpr int32_t clser_open_failed = -3;
// Raised by ClSerial::serialWrite when a character is not taken twice.
constexpr int32_t clser_write_failed = -4;

class ClSerial {
public:
    // Any entry point before it is cast to its own type.
    typedef void(CLSER_CALLTYPE* AnyEntry)();
    // Finds an exported name; null when the library does not offer it.
    using Lookup = std::function<AnyEntry(const char* name)>;

    static constexpr uint32_t timeout_ms = 1000;
    // A reply line keeps at most this many characters; a device that never
    // sends a line feed cannot make the program take all memory.
    static constexpr int32_t max_line_length = 4096;

    // Loads the library file and binds it, tracing to log; raises
    // clser_library_refused. The library stays loaded until the process ends.
    ClSerial(const String& path, Log& log);
    // Binds through lookup instead of a loaded file (an in-process library),
    // with the same log lines and checks.
    ClSerial(const String& path, const Lookup& lookup, Log& log);
    // Calls nothing in the library: an open line is closed by close() at the
    // end of the run, and only there.
    virtual ~ClSerial();
    ClSerial(const ClSerial&) = delete;
    ClSerial& operator=(const ClSerial&) = delete;

    // The number of ports the library reports; 0 without clGetNumSerialPorts.
    int32_t num_serial_ports() const;

    // Opens port `index` (closing a port open on this binding first);
    // raises clser_open_failed.
    void open(uint32_t index);
    void close();

    // Raises clser_write_failed.
    void serialWrite(char c);
    // The text up to its end or its first NUL, then carriage return and line feed.
    void serialWriteLine(const String& text);
    // The printable characters up to a line feed or a read that brings nothing.
    String serialReadLine();

    // "<manufacturer>#<identifier up to '#'>#Port<index>".
    String serialPortName(uint32_t index) const;
    // "<manufacturer>#<port ID>" from the aggregator's clGetPortInfo.
    String portInfoName(uint32_t index) const;

private:
    struct Entries {
        clser::PclSerialInit clSerialInit = nullptr;
        clser::PclSerialClose clSerialClose = nullptr;
        clser::PclSerialWrite clSerialWrite = nullptr;
        clser::PclSerialRead clSerialRead = nullptr;
        clser::PclGetNumSerialPorts clGetNumSerialPorts = nullptr;
        clser::PclGetNumPorts clGetNumPorts = nullptr;
        clser::PclGetPortInfo clGetPortInfo = nullptr;
        clser::PclGetSerialPortIdentifier clGetSerialPortIdentifier = nullptr;
        clser::PclFlushPort clFlushPort = nullptr;
        clser::PclGetNumBytesAvail clGetNumBytesAvail = nullptr;
        clser::PclSetBaudRate clSetBaudRate = nullptr;
        clser::PclGetManufacturerInfo clGetManufacturerInfo = nullptr;
    };

    void bind(const Lookup& lookup);
    bool offers_required_entries() const;
    void log_ports() const;

    Log& log_;
    std::unique_ptr<platform::SharedLibrary> module_;
    void* serial_ref_ = nullptr;
    Entries entries_;
};

// One serial port of an installed library, with a binding of its own.
struct ClSerialPort {
    ClSerialPort(uint32_t port_index, std::unique_ptr<ClSerial> binding, const String& port_name)
        : index(port_index), serial(std::move(binding)), name(port_name)
    {
    }

    uint32_t index;
    std::unique_ptr<ClSerial> serial;
    String name;
    // Held for one request and its reply.
    platform::Lock lock;
};

class ClSerialPortList {
public:
    // Makes a binding of a library file; raises clser_library_refused.
    using Loader = std::function<std::unique_ptr<ClSerial>(const String& path)>;

    // Searches the directory the system names for serial libraries.
    explicit ClSerialPortList(Log& log);
    // An empty list that loads libraries with loader; nothing searched yet.
    explicit ClSerialPortList(const Loader& loader);
    ClSerialPortList(const ClSerialPortList&) = delete;
    ClSerialPortList& operator=(const ClSerialPortList&) = delete;

    // Adds a port for every port of every serial library in directory;
    // false when the directory cannot be listed.
    bool scan(const String& directory);

    // The first port of that exact name, or null.
    ClSerialPort* find(const String& name) const;

    PtrList<ClSerialPort> ports;

private:
    void add_library_ports(const String& path);

    Loader loader_;
};

// True for a file name the search takes as a serial library, for libraries
// ending in suffix (".dll", ".so").
bool is_serial_library_name(const String& name, const char* suffix);
