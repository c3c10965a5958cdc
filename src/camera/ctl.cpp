#include "camera/ctl.h"

#include <cstring>
#include <limits>

#include "lib/log.h"

namespace {

uint32_t byte_swap32(uint32_t value)
{
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
           (value << 24);
}

// The register's bytes as they travel: most significant first.
void store_big_endian(uint32_t value, unsigned char bytes[4])
{
    bytes[0] = static_cast<unsigned char>(value >> 24);
    bytes[1] = static_cast<unsigned char>(value >> 16);
    bytes[2] = static_cast<unsigned char>(value >> 8);
    bytes[3] = static_cast<unsigned char>(value);
}

// A 64-bit size that size_t cannot hold (32-bit builds) is refused rather
// than silently cut.
bool fits_size_t(uint64_t size) { return size <= std::numeric_limits<size_t>::max(); }

}  // namespace

CTL::CTL(const GenTLProducer& producer, gentl::PORT_HANDLE port, Log& log)
    : producer_(producer), port_(port), log_(log)
{
}

bool CTL::is_big_endian() { return true; }

int32_t CTL::get_status() { return 0; }

int32_t CTL::read_port(void* buffer, uint64_t address, uint64_t size)
{
    if (!fits_size_t(size)) return gentl::GC_ERR_INVALID_PARAMETER;
    size_t byte_count = static_cast<size_t>(size);
    return producer_.GCReadPort(port_, address, buffer, &byte_count);
}

int32_t CTL::write_port(const void* buffer, uint64_t address, uint64_t size)
{
    if (!fits_size_t(size)) return gentl::GC_ERR_INVALID_PARAMETER;
    size_t byte_count = static_cast<size_t>(size);
    return producer_.GCWritePort(port_, address, buffer, &byte_count);
}

int32_t CTL::readreg(uint32_t address, uint32_t* value)
{
    size_t size = 4;
    int32_t status = producer_.GCReadPort(port_, address, value, &size);
    // Swapped whatever the status: a caller that preset the value to 0 still sees 0.
    *value = byte_swap32(*value);
    log_.write(LOG_INFO, "main", "CTL::readreg", "readreg(0x%04x, 0x%04x) = %d",
               static_cast<unsigned>(address), static_cast<unsigned>(*value),
               static_cast<int>(status));
    return status;
}

int32_t CTL::writereg(uint32_t address, uint32_t value)
{
    unsigned char bytes[4];
    store_big_endian(value, bytes);
    size_t size = sizeof bytes;
    int32_t status = producer_.GCWritePort(port_, address, bytes, &size);
    log_.write(LOG_INFO, "main", "CTL::writereg", "writereg(0x%04x, 0x%04x) = %d",
               static_cast<unsigned>(address), static_cast<unsigned>(value),
               static_cast<int>(status));
    return status;
}

int32_t CTL::writemem(uint32_t address, const void* data, uint32_t length)
{
    size_t size = length;
    return producer_.GCWritePort(port_, address, data, &size);
}
