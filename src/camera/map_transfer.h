// Moving the correction maps between the program and the camera's map store,
// through the register port only, so both transports behave alike.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "camera/port.h"
#include "correction/defpix.h"
#include "lib/float_map.h"

class Log;

namespace camreg {
constexpr uint32_t defpix_selmap = 0x10004014;
constexpr uint32_t defpix_writemap = 0x10004018;
constexpr uint32_t defpix_mapsize = 0x1000401C;
constexpr uint32_t defpix_maxcnt = 0x10004020;
constexpr uint32_t defpix_map0_lock = 0x10004030;
constexpr uint32_t defpix_revision = 0x10004040;
constexpr uint32_t defpix_entries = 0x10025000;
constexpr uint32_t defpix_columns = 0x10700180;
constexpr uint32_t shading_enabled = 0x105FFFE0;
constexpr uint32_t shading_selmap = 0x105FFFE4;
constexpr uint32_t shading_data = 0x10100000;
constexpr uint32_t eeprom_save_0 = 0xBF00;
constexpr uint32_t eeprom_save_1 = 0xBF04;
}  // namespace camreg

// Ends a defect map when read back.
constexpr uint32_t defpix_end_word = 0xFFFFFFFF;
// The most entries a downloaded map may report.
constexpr uint32_t defpix_largest_mapsize = 100000;
// Shading data go in pieces of this many bytes (126 words).
constexpr uint32_t shading_piece_bytes = 504;
// The camera is given this long after enabling a map and after each save.
constexpr uint32_t camera_settle_ms = 3000;

// What a transfer needs besides the port: a way to wait and a log for its
// progress lines. Tests replace both; the program passes platform::sleep_ms
// and its log.
struct TransferTools {
    std::function<void(uint32_t milliseconds)> sleep;
    Log* log;
};

// y in bits 31..16, x in bits 15..0.
uint32_t defpix_entry_word(int32_t x, int32_t y);

// Gains of `values` two to a word (even index in the upper half), swapped to
// big-endian when asked. An odd count leaves the lower half of the last word 0.
std::vector<uint32_t> shading_words(const float* values, uint32_t count, bool big_endian);

// The three commands; false when they reported a failure. A port of none
// prints "not connected". Errors the port raises instead of returning a status
// pass through unhandled.
bool upload_defpix_map(IPort* port, const DefpixTable& table, int32_t mapindex,
                       const TransferTools& tools);
bool download_defpix_map(IPort* port, DefpixTable& table, int32_t mapindex,
                         const TransferTools& tools);
bool upload_shading_map(IPort* port, const FloatMap* shading_map, int32_t mapindex,
                        const TransferTools& tools);
