// The register port over a GenTL producer's remote device port. The camera's
// registers are big-endian; readreg and writereg translate to host order.
#pragma once

#include "camera/gentl.h"
#include "camera/port.h"

class Log;

class CTL : public IPort {
public:
    // Borrows the producer and the port; both outlive the CTL. Register traces
    // go to log (the program's log unless a test gives its own).
    CTL(const GenTLProducer& producer, gentl::PORT_HANDLE port, Log& log);

    bool is_big_endian() override;
    int32_t get_status() override;
    int32_t read_port(void* buffer, uint64_t address, uint64_t size) override;
    int32_t write_port(const void* buffer, uint64_t address, uint64_t size) override;
    int32_t readreg(uint32_t address, uint32_t* value) override;
    int32_t writereg(uint32_t address, uint32_t value) override;
    int32_t writemem(uint32_t address, const void* data, uint32_t length) override;

private:
    const GenTLProducer& producer_;
    gentl::PORT_HANDLE port_;
    Log& log_;
};
