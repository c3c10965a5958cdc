// clsertty: the Camera Link serial entry points over the operating system's
// serial ports. The ports are the device names in CLSERTTY_PORTS (separated
// by ':'), or else the ones the system offers; a port's identifier is its
// device name. Lines run raw at 8N1, 9600 baud unless CLSERTTY_BAUD or
// clSetBaudRate says otherwise. Every read and write returns within the
// caller's time-out, and at once when the line has gone.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "clserial_exports.h"
#include "port_discovery.h"
#include "serial_line.h"

using namespace clser;

namespace {

constexpr char manufacturer[] = "clsertty";
constexpr uint32_t default_baud = 9600;

struct OpenPort {
    std::string device;
    std::unique_ptr<clsertty::SerialLine> line;
};

std::vector<std::string> split_ports(const std::string& text)
{
    std::vector<std::string> ports;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(':', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) ports.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return ports;
}

// A list that names no port leaves the choice to the system.
std::vector<std::string> configured_ports()
{
    const char* listed = std::getenv("CLSERTTY_PORTS");
    std::vector<std::string> ports = listed ? split_ports(listed) : std::vector<std::string>();
    return ports.empty() ? clsertty::system_serial_ports() : ports;
}

// Decimal bits per second; false for anything else.
bool parse_baud(const char* text, uint32_t& baud)
{
    if (!*text || std::strspn(text, "0123456789") != std::strlen(text) || std::strlen(text) > 9)
        return false;
    baud = static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
    return baud > 0;
}

bool starting_baud(uint32_t& baud)
{
    const char* text = std::getenv("CLSERTTY_BAUD");
    baud = default_baud;
    if (!text || !*text || parse_baud(text, baud)) return true;
    std::fprintf(stderr, "clsertty: CLSERTTY_BAUD is not a number of bits per second: %s\n", text);
    return false;
}

// clSetBaudRate takes the standard's CL_BAUDRATE_* flags (1 for 9600 up to
// 128 for 921600); no real rate is a power of two that small, so a plain
// number of bits per second is taken too.
uint32_t baud_from_argument(uint32_t argument)
{
    static const struct {
        uint32_t flag;
        uint32_t baud;
    } flagged[] = {{CL_BAUDRATE_9600, 9600},     {CL_BAUDRATE_19200, 19200},
                   {CL_BAUDRATE_38400, 38400},   {CL_BAUDRATE_57600, 57600},
                   {CL_BAUDRATE_115200, 115200}, {CL_BAUDRATE_230400, 230400},
                   {CL_BAUDRATE_460800, 460800}, {CL_BAUDRATE_921600, 921600}};
    for (const auto& rate : flagged)
        if (argument == rate.flag) return rate.baud;
    return argument;
}

// The standard has no status for a device that refuses: an index that
// names no usable port. The reason goes to standard error.
int32_t status_of(clsertty::OpenFailure failure)
{
    return failure == clsertty::OpenFailure::busy ? CL_ERR_PORT_IN_USE : CL_ERR_INVALID_INDEX;
}

// Moves bytes a piece at a time until all have gone, the time is up or the
// line has gone; step(offset, count, milliseconds left) moves some of them.
template <typename Step>
uint32_t transfer_within(uint32_t size, uint32_t timeout_ms, Step step)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    uint32_t done = 0;
    while (done < size) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const uint32_t left_ms = left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0;
        const int32_t moved = step(done, size - done, left_ms);
        if (moved < 0) break;
        done += static_cast<uint32_t>(moved);
        if (moved == 0 && left_ms == 0) break;
    }
    return done;
}

// Calls from several threads on different ports are safe: the lists are
// guarded, and each line is used only by its own caller.
class Library {
public:
    // The list as the system has it now; ports come and go (USB adapters).
    size_t refresh()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return list().size();
    }

    // False for an index beyond the list.
    bool port(uint32_t index, std::string& device)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        const std::vector<std::string>& ports = listed_ ? ports_ : list();
        if (index >= ports.size()) return false;
        device = ports[index];
        return true;
    }

    int32_t open(uint32_t index, void** serial_ref)
    {
        std::string device;
        if (!port(index, device)) return CL_ERR_INVALID_INDEX;
        std::lock_guard<std::mutex> guard(mutex_);
        for (const std::unique_ptr<OpenPort>& port : open_)
            if (port->device == device) return CL_ERR_PORT_IN_USE;
        uint32_t baud;
        if (!starting_baud(baud)) return CL_ERR_BAUD_RATE_NOT_SUPPORTED;
        clsertty::OpenProblem problem;
        std::unique_ptr<OpenPort> port(
            new OpenPort{device, clsertty::SerialLine::open(device, baud, problem)});
        if (!port->line) {
            // The program above may say no more than that the port did not
            // open; a user with a camera on the line needs the reason.
            std::fprintf(stderr, "clsertty: cannot open %s: %s\n", device.c_str(),
                         problem.reason.c_str());
            return status_of(problem.failure);
        }
        *serial_ref = port.get();
        open_.push_back(std::move(port));
        return CL_ERR_NO_ERR;
    }

    void close(void* serial_ref)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (size_t i = 0; i < open_.size(); ++i) {
            if (open_[i].get() == serial_ref) {
                open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(i));
                return;
            }
        }
    }

    // The line behind a reference this library gave and has not closed.
    clsertty::SerialLine* line(void* serial_ref)
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (const std::unique_ptr<OpenPort>& port : open_)
            if (port.get() == serial_ref) return port->line.get();
        return nullptr;
    }

private:
    const std::vector<std::string>& list()
    {
        ports_ = configured_ports();
        listed_ = true;
        return ports_;
    }

    std::mutex mutex_;
    std::vector<std::string> ports_;
    bool listed_ = false;
    std::vector<std::unique_ptr<OpenPort>> open_;
};

Library& library()
{
    static Library instance;
    return instance;
}

}  // namespace

extern "C" {

int32_t CLSER_CALLTYPE clGetNumSerialPorts(uint32_t* num_ports)
{
    if (!num_ports) return CL_ERR_INVALID_REFERENCE;
    *num_ports = static_cast<uint32_t>(library().refresh());
    return CL_ERR_NO_ERR;
}

int32_t CLSER_CALLTYPE clGetSerialPortIdentifier(uint32_t serial_index, char* port_id,
                                                 uint32_t* buffer_size)
{
    std::string device;
    if (!library().port(serial_index, device)) return CL_ERR_INVALID_INDEX;
    return copy_text(device, port_id, buffer_size);
}

int32_t CLSER_CALLTYPE clGetManufacturerInfo(char* manufacturer_name, uint32_t* buffer_size,
                                             uint32_t* version)
{
    if (version) *version = CL_DLL_VERSION_1_1;
    return copy_text(manufacturer, manufacturer_name, buffer_size);
}

int32_t CLSER_CALLTYPE clSerialInit(uint32_t serial_index, void** serial_ref)
{
    if (!serial_ref) return CL_ERR_INVALID_REFERENCE;
    *serial_ref = nullptr;
    return library().open(serial_index, serial_ref);
}

void CLSER_CALLTYPE clSerialClose(void* serial_ref) { library().close(serial_ref); }

int32_t CLSER_CALLTYPE clFlushPort(void* serial_ref)
{
    clsertty::SerialLine* line = library().line(serial_ref);
    if (!line) return CL_ERR_INVALID_REFERENCE;
    return line->discard_input() ? CL_ERR_NO_ERR : CL_ERR_INVALID_REFERENCE;
}

int32_t CLSER_CALLTYPE clSerialWrite(void* serial_ref, char* buffer, uint32_t* buffer_size,
                                     uint32_t timeout_ms)
{
    clsertty::SerialLine* line = library().line(serial_ref);
    if (!buffer_size) return CL_ERR_INVALID_REFERENCE;
    if (!line || (!buffer && *buffer_size)) {
        *buffer_size = 0;
        return CL_ERR_INVALID_REFERENCE;
    }
    const uint32_t wanted = *buffer_size;
    *buffer_size =
        transfer_within(wanted, timeout_ms, [&](uint32_t offset, uint32_t count, uint32_t left_ms) {
            return line->write(buffer + offset, count, left_ms);
        });
    return *buffer_size == wanted ? CL_ERR_NO_ERR : CL_ERR_TIMEOUT;
}

int32_t CLSER_CALLTYPE clSerialRead(void* serial_ref, char* buffer, uint32_t* num_bytes,
                                    uint32_t timeout_ms)
{
    clsertty::SerialLine* line = library().line(serial_ref);
    if (!num_bytes) return CL_ERR_INVALID_REFERENCE;
    if (!line || (!buffer && *num_bytes)) {
        *num_bytes = 0;
        return CL_ERR_INVALID_REFERENCE;
    }
    const uint32_t wanted = *num_bytes;
    *num_bytes =
        transfer_within(wanted, timeout_ms, [&](uint32_t offset, uint32_t count, uint32_t left_ms) {
            return line->read(buffer + offset, count, left_ms);
        });
    return *num_bytes == wanted ? CL_ERR_NO_ERR : CL_ERR_TIMEOUT;
}

int32_t CLSER_CALLTYPE clGetNumBytesAvail(void* serial_ref, uint32_t* num_bytes)
{
    clsertty::SerialLine* line = library().line(serial_ref);
    if (!line || !num_bytes) return CL_ERR_INVALID_REFERENCE;
    return line->bytes_available(*num_bytes) ? CL_ERR_NO_ERR : CL_ERR_INVALID_REFERENCE;
}

int32_t CLSER_CALLTYPE clSetBaudRate(void* serial_ref, uint32_t baud_rate)
{
    clsertty::SerialLine* line = library().line(serial_ref);
    if (!line) return CL_ERR_INVALID_REFERENCE;
    return line->set_baud(baud_from_argument(baud_rate)) ? CL_ERR_NO_ERR
                                                         : CL_ERR_BAUD_RATE_NOT_SUPPORTED;
}

}  // extern "C"
