#include "camera/clserial_ctl.h"

#include <cstring>

#include "camera/clserial.h"
#include "lib/log.h"

namespace {

int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool is_error_reply(const String& reply)
{
    static const char prefix[] = "error";
    const int32_t prefix_length = sizeof prefix - 1;
    if (reply.length() < prefix_length) return false;
    for (int32_t i = 0; i < prefix_length; ++i)
        if (lower(reply[i]) != prefix[i]) return false;
    return true;
}

uint32_t parse_hex_reply(const String& reply)
{
    uint32_t value = 0;
    for (int32_t i = 0; i < reply.length(); ++i) {
        const int digit = hex_digit_value(reply[i]);
        if (digit < 0) break;
        value = value * 16u + static_cast<uint32_t>(digit);
    }
    return value;
}

CLSerial_CTL::CLSerial_CTL(ClSerialPort& port, Log& log) : serial_port_(port), log_(log) {}

bool CLSerial_CTL::is_big_endian() { return false; }

int32_t CLSerial_CTL::get_status() { return 0; }

// Nothing in the program moves raw port bytes over serial.
int32_t CLSerial_CTL::read_port(void*, uint64_t, uint64_t) { return 0; }

int32_t CLSerial_CTL::write_port(const void*, uint64_t, uint64_t) { return 0; }

String CLSerial_CTL::exchange(const String& request)
{
    platform::LockGuard guard(serial_port_.lock);
    serial_port_.serial->serialWriteLine(request);
    return serial_port_.serial->serialReadLine();
}

int32_t CLSerial_CTL::readreg(uint32_t address, uint32_t* value)
{
    const String reply = exchange(String::format("rV%X", static_cast<unsigned>(address)));
    if (is_error_reply(reply)) {
        log_.write(LOG_ERROR, "main", "CLSerial_CTL::readreg", "readreg(0x%04x) failed: %s",
                   static_cast<unsigned>(address), reply.c_str());
        return error_reply_status;
    }
    log_.write(LOG_DIAGNOSTIC, "main", "CLSerial_CTL::readreg", "readreg(0x%04x, 0x%04x) = %s",
               static_cast<unsigned>(address), static_cast<unsigned>(*value), reply.c_str());
    *value = parse_hex_reply(reply);
    return 0;
}

int32_t CLSerial_CTL::writereg(uint32_t address, uint32_t value)
{
    const String reply = exchange(
        String::format("V%X,%X", static_cast<unsigned>(address), static_cast<unsigned>(value)));
    if (is_error_reply(reply)) {
        log_.write(LOG_ERROR, "main", "CLSerial_CTL::writereg",
                   "writereg(0x%04x, 0x%04x) failed: %s", static_cast<unsigned>(address),
                   static_cast<unsigned>(value), reply.c_str());
        return error_reply_status;
    }
    log_.write(LOG_DIAGNOSTIC, "main", "CLSerial_CTL::writereg", "writereg(0x%04x, 0x%04x) = %s)",
               static_cast<unsigned>(address), static_cast<unsigned>(value), reply.c_str());
    return 0;
}

int32_t CLSerial_CTL::writemem(uint32_t address, const void* data, uint32_t length)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    // 64-bit offsets: a length near 4 GiB must not wrap the loop around.
    for (uint64_t offset = 0; offset < length; offset += 4) {
        // A length that ends inside a word still sends that whole word: on a
        // little-endian host the first bytes are the word's lower half, and
        // the upper half (the last gain of an odd shading map) would be lost.
        uint32_t word = 0;
        std::memcpy(&word, bytes + offset, 4);
        const int32_t status = writereg(address + static_cast<uint32_t>(offset), word);
        if (status != 0) return status;
    }
    return 0;
}
