// The camera's register port: the one way the map transfers and the
// connection check reach the camera, whatever carries the bytes.
#pragma once

#include <cstdint>

class IPort {
public:
    // True when words handed to writemem must already be big-endian.
    virtual bool is_big_endian() = 0;
    virtual int32_t get_status() = 0;
    virtual int32_t read_port(void* buffer, uint64_t address, uint64_t size) = 0;
    virtual int32_t write_port(const void* buffer, uint64_t address, uint64_t size) = 0;
    // Register values are in host order; 0 is success.
    virtual int32_t readreg(uint32_t address, uint32_t* value) = 0;
    virtual int32_t writereg(uint32_t address, uint32_t value) = 0;
    // Sends the bytes as laid out by the caller, who holds whole words:
    // ceil(length / 4) of them, even when length ends inside the last.
    virtual int32_t writemem(uint32_t address, const void* data, uint32_t length) = 0;

    // Releasing a port closes nothing: the connection owns the device or line.
    virtual ~IPort() {}
};
