// The serial register port reading arbitrary reply bytes from the camera.
#include <cstddef>
#include <cstdint>
#include <string>

#include "camera/clserial_ctl.h"
#include "fake_serial_library.h"
#include "lib/log.h"

namespace {

// Register traces at every level, so reply text reaches the log's formatting.
Log& trace_log()
{
    static Log log("fuzz_clserial_ctl.log", LOG_DETAIL);
    return log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    reset_fake_serial();
    // The whole input is what the camera sends back, in as many lines as it has.
    fake_serial.pending.assign(reinterpret_cast<const char*>(data), size);

    ClSerialPort port(
        0, std::unique_ptr<ClSerial>(new ClSerial("fuzz", fake_serial_lookup, trace_log())),
        "Mfr#COM1#Port0");
    port.serial->open(0);
    CLSerial_CTL ctl(port, trace_log());

    const uint8_t words[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    // Each exchange consumes at least one reply byte or meets silence; bounded anyway.
    for (int round = 0; round < 64 && !fake_serial.pending.empty(); ++round) {
        uint32_t value = 0xA5A5A5A5u;
        const int32_t status = ctl.readreg(0x10004040u + 4u * static_cast<uint32_t>(round), &value);
        if (status == CLSerial_CTL::error_reply_status && value != 0xA5A5A5A5u) __builtin_trap();
        ctl.writereg(0xB008u, static_cast<uint32_t>(round));
        ctl.writemem(0x10025000u, words, static_cast<uint32_t>(round % 12));
    }
    return 0;
}
