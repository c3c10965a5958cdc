// One serial line of the operating system: a device opened raw, 8 data bits,
// no parity, one stop bit, no flow control, and reads and writes bounded by a
// time-out. Also the controlling end of a pseudo-terminal, where the system
// has them, so a simulated camera or a test can be the far end of a line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace clsertty {

enum class OpenFailure { none, missing, busy, refused };

// Why a device did not open, and the system's words for it.
struct OpenProblem {
    OpenFailure failure = OpenFailure::none;
    std::string reason;
};

class SerialLine {
public:
    // Null when the device does not open or refuses the settings.
    static std::unique_ptr<SerialLine> open(const std::string& device, uint32_t baud,
                                            OpenProblem& problem);
    // The controlling end of a new pseudo-terminal in raw mode; other_end
    // names the device a client opens. The line keeps the other end open
    // itself, so clients can come and go without the line going down.
    // Null (with the reason) where the system has no pseudo-terminals.
    static std::unique_ptr<SerialLine> open_pseudo_terminal(std::string& other_end,
                                                            std::string& reason);
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Waits at most timeout_ms for the first byte, then takes what has come,
    // up to size bytes. The count, 0 when nothing came, -1 once the line has
    // gone (the far end closed, the device was removed).
    int32_t read(char* buffer, uint32_t size, uint32_t timeout_ms);
    // Hands over what the line accepts within timeout_ms: the count, or -1
    // once the line has gone.
    int32_t write(const char* buffer, uint32_t size, uint32_t timeout_ms);
    // Bytes received and not yet read; false when the system cannot tell.
    bool bytes_available(uint32_t& count);
    // Drops the bytes received and not yet read.
    bool discard_input();
    // False for a rate the device or the system does not offer.
    bool set_baud(uint32_t baud);

    struct System;

private:
    explicit SerialLine(std::unique_ptr<System> system);
    std::unique_ptr<System> system_;
};

}  // namespace clsertty
