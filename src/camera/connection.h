// The run's way to the camera: a GenTL producer's device or a Camera Link
// serial port, opened by name, with the register port over it.
#pragma once

#include <cstdint>
#include <memory>

#include "camera/port.h"
#include "lib/text.h"

class Log;

enum class ConnectResult {
    // The device or line opened, or there was nothing to open.
    done,
    // The device did not open; a port opened before stays the run's port.
    refused,
    // The serial line did not open: the run ends at once.
    line_failed,
};

class Connection {
public:
    virtual ~Connection() = default;

    // --if: opens the named interface or chooses the named port. False when
    // it reported a failure.
    virtual bool open_interface(const String& name) = 0;

    // --connect: opens the named device (empty: the first one listed) or the
    // chosen port, and makes the register port over it.
    virtual ConnectResult connect(const String& device) = 0;

    // The register port of the camera opened last; null before.
    virtual IPort* port() const = 0;

    // The end-of-run close, made only when there is a port. Nothing is
    // closed anywhere else: destructors call nothing in a loaded library.
    virtual void close() = 0;
};

// How --cti and --clser choose the run's connection.
//
// The first producer that loads makes the connection a GenTL one for the rest
// of the run; until then --clser makes it a serial one. A GenTL connection
// made after a serial one keeps it: the serial port stays the run's port
// until a GenTL device opens, and the end of the run closes only what the
// GenTL connection opened, never that serial line. A --clser after a producer
// has loaded only lists the ports.

// --cti: loads the producer and binds it to the run's connection. `status`
// is 0, -1001 when the library cannot be loaded (the connection stays as it
// was), else the producer's first failing code.
struct CtiOpened {
    std::unique_ptr<Connection> connection;
    int32_t status = 0;
};
CtiOpened open_cti(std::unique_ptr<Connection> connection, const String& file_name, Log& log);

// --clser: searches the serial libraries and lists their ports.
std::unique_ptr<Connection> open_clser(std::unique_ptr<Connection> connection, Log& log);
