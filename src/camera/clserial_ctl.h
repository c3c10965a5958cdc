// The register port over a Camera Link serial line: every register access is
// one request line of text and one reply line.
#pragma once

#include "camera/port.h"
#include "lib/text.h"

class Log;
struct ClSerialPort;

class CLSerial_CTL : public IPort {
public:
    // The status of a request the camera answered with an error.
    static constexpr int32_t error_reply_status = -1001;

    // Borrows the open port; releasing the CLSerial_CTL leaves the line open.
    // Register traces go to log (the program's log unless a test gives its own).
    CLSerial_CTL(ClSerialPort& port, Log& log);

    bool is_big_endian() override;
    int32_t get_status() override;
    int32_t read_port(void* buffer, uint64_t address, uint64_t size) override;
    int32_t write_port(const void* buffer, uint64_t address, uint64_t size) override;
    int32_t readreg(uint32_t address, uint32_t* value) override;
    int32_t writereg(uint32_t address, uint32_t value) override;
    // One writereg per 32-bit word, in host order.
    int32_t writemem(uint32_t address, const void* data, uint32_t length) override;

private:
    // Sends the request and reads its reply under the port's lock.
    String exchange(const String& request);

    ClSerialPort& serial_port_;
    Log& log_;
};

// True for a reply that starts with "error" in any letter case.
bool is_error_reply(const String& reply);

// The leading hexadecimal digits of a reply as a number, low 32 bits kept;
// 0 when it starts with none.
uint32_t parse_hex_reply(const String& reply);
