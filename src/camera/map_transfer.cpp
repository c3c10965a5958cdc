#include "camera/map_transfer.h"

#include <algorithm>
#include <cstdio>

#include "correction/shading_gain.h"
#include "lib/log.h"

namespace {

uint32_t byte_swap32(uint32_t value)
{
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
           (value << 24);
}

uint32_t for_memory(uint32_t word, bool big_endian)
{
    return big_endian ? byte_swap32(word) : word;
}

// Messages before a wait or a progress line would otherwise sit in the
// buffer while the user watches nothing happen.
void show_now() { std::fflush(stdout); }

void wait_for_camera(const TransferTools& tools)
{
    show_now();
    tools.sleep(camera_settle_ms);
}

void log_progress(const TransferTools& tools, const char* function, const char* text)
{
    tools.log->write(LOG_INFO, "main", function, "%s", text);
}

// Both steps in a row make the camera keep its maps over a power cycle; the
// second is not written after a refused first, so the camera keeps its old maps.
bool save_to_eeprom(IPort& port)
{
    if (port.writereg(camreg::eeprom_save_0, 1) == 0 &&
        port.writereg(camreg::eeprom_save_1, 1) == 0)
        return true;
    console_print("save to eeprom failed\n");
    return false;
}

// True when the camera knows about defect map transfers at all.
bool revision_readable(IPort& port)
{
    uint32_t revision = 0;
    if (port.readreg(camreg::defpix_revision, &revision) == 0) return true;
    console_print("incompatible revision\n");
    return false;
}

// Column entries go out as registers while walking; pixel words are collected
// for one block write, ready for the port's byte order. False (after the
// message) when the camera refuses a column.
bool send_columns_collect_pixels(IPort& port, const DefpixTable& table, bool big_endian,
                                 std::vector<uint32_t>& words)
{
    // Never empty storage: a block write of length 0 still passes a real buffer.
    words.reserve(static_cast<size_t>(table.defpix_count()) + 1);
    uint32_t column = 0;
    for (const DefpixEntry& entry : table) {
        if (entry.kind < defpix_kind_column) {
            words.push_back(for_memory(defpix_entry_word(entry.x, entry.y), big_endian));
        } else if (entry.kind == defpix_kind_column) {
            if (port.writereg(camreg::defpix_columns + 4 * column,
                              static_cast<uint32_t>(entry.x)) != 0) {
                console_print("writereg GVCP_USER_SPACE_DEFPIX_COLUMNS failed\n");
                return false;
            }
            ++column;
        }
    }
    return true;
}

// Percentages as unsigned integer division; wide enough that no map size
// overflows the product.
int progress_percent(uint64_t offset, uint64_t total)
{
    return static_cast<int>(offset * 100 / total);
}

// Sends the piece at offset; false (after the message) when the camera refuses it.
bool send_shading_piece(IPort& port, const std::vector<uint32_t>& words, uint64_t offset,
                        uint64_t total, uint32_t length)
{
    console_print("\rupload %d%%", progress_percent(offset, total));
    show_now();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(words.data());
    const uint32_t address = camreg::shading_data + static_cast<uint32_t>(offset);
    if (port.writemem(address, bytes + offset, length) == 0) return true;
    console_print("writemem GVCP_USER_SPACE_SHADING failed\n");
    return false;
}

bool send_shading_data(IPort& port, const std::vector<uint32_t>& words, uint64_t total)
{
    uint64_t offset = 0;
    for (; total - offset >= shading_piece_bytes; offset += shading_piece_bytes)
        if (!send_shading_piece(port, words, offset, total, shading_piece_bytes)) return false;
    if (offset < total)
        return send_shading_piece(port, words, offset, total,
                                  static_cast<uint32_t>(total - offset));
    return true;
}

}  // namespace

uint32_t defpix_entry_word(int32_t x, int32_t y)
{
    // Unsigned arithmetic: coordinates outside 0..65535 wrap instead of overflowing.
    return static_cast<uint32_t>(y) * 65536u + static_cast<uint32_t>(x);
}

std::vector<uint32_t> shading_words(const float* values, uint32_t count, bool big_endian)
{
    std::vector<uint32_t> words((static_cast<size_t>(count) + 1) / 2);
    for (size_t j = 0; j < words.size(); ++j) {
        const size_t even = 2 * j;
        const uint32_t high = shading_gain(values[even]);
        const uint32_t low = even + 1 < count ? shading_gain(values[even + 1]) : 0;
        words[j] = for_memory(high << 16 | low, big_endian);
    }
    return words;
}

bool upload_defpix_map(IPort* port, const DefpixTable& table, int32_t mapindex,
                       const TransferTools& tools)
{
    console_print("upload_defpix_map(%d)\n", static_cast<int>(mapindex));
    if (!port) {
        console_print("not connected\n");
        return false;
    }
    if (!revision_readable(*port)) return false;

    uint32_t limit = 0;
    port->readreg(camreg::defpix_maxcnt, &limit);
    if (table.defpix_count() > static_cast<int32_t>(limit)) {
        console_print("exceeded max. defect pixels %d (limit is %d)\n",
                      static_cast<int>(table.defpix_count()), static_cast<int>(limit));
        return false;
    }

    const uint32_t map = static_cast<uint32_t>(mapindex);
    port->writereg(camreg::defpix_selmap, map);
    if (mapindex == 0) port->writereg(camreg::defpix_map0_lock, 0);
    if (port->writereg(camreg::defpix_writemap, map) != 0) {
        console_print("write protected\n");
        return false;
    }

    log_progress(tools, "upload_defpix_map", "upload start)");
    const bool big_endian = port->is_big_endian();
    std::vector<uint32_t> words;
    if (!send_columns_collect_pixels(*port, table, big_endian, words)) return false;
    // A table without pixel entries still makes its block write of length 0,
    // whose status says nothing about the map.
    const int32_t sent = port->writemem(camreg::defpix_entries, words.data(),
                                        static_cast<uint32_t>(words.size() * sizeof(uint32_t)));
    if (sent != 0 && !words.empty()) {
        console_print("writemem GVCP_USER_SPACE_DEFPIX failed\n");
        return false;
    }
    log_progress(tools, "upload_defpix_map", "upload finished)");

    console_print("enable map\n");
    if (port->writereg(camreg::defpix_selmap, map) != 0) {
        console_print("writereg GVCP_USER_SPACE_DEFPIX_SELMAP failed\n");
        return false;
    }
    wait_for_camera(tools);

    console_print("save to eeprom\n");
    if (mapindex == 0) port->writereg(camreg::defpix_map0_lock, 1);
    if (!save_to_eeprom(*port)) return false;
    wait_for_camera(tools);
    console_print("\ndone\n");
    return true;
}

bool download_defpix_map(IPort* port, DefpixTable& table, int32_t mapindex,
                         const TransferTools& tools)
{
    console_print("download_defpix_map(%d)\n", static_cast<int>(mapindex));
    if (!port) {
        console_print("not connected\n");
        return false;
    }
    if (!revision_readable(*port)) return false;

    // Without the map selected and its size read, a "done" would report
    // another map, or nothing, as the camera's.
    if (port->writereg(camreg::defpix_selmap, static_cast<uint32_t>(mapindex)) != 0) {
        console_print("writereg GVCP_USER_SPACE_DEFPIX_SELMAP failed\n");
        return false;
    }
    uint32_t mapsize = 0;
    if (port->readreg(camreg::defpix_mapsize, &mapsize) != 0) {
        console_print("readreg GVCP_USER_SPACE_DEFPIX_MAPSIZE failed\n");
        return false;
    }
    if (mapsize > defpix_largest_mapsize) {
        console_print("invalid mapsize\n");
        return false;
    }
    console_print("mapsize %d\n", static_cast<int>(mapsize));

    log_progress(tools, "download_defpix_map", "download start)");
    const int32_t refused_before = table.refused_adds();
    bool complete = true;
    for (uint32_t i = 0; i < mapsize; ++i) {
        uint32_t word = 0;
        if (port->readreg(camreg::defpix_entries + 4 * i, &word) != 0) {
            // What a failed read left in the word is no entry of the map.
            console_print("readreg GVCP_USER_SPACE_DEFPIX failed\n");
            complete = false;
            break;
        }
        if (word == defpix_end_word) break;
        table.defpix_add(static_cast<int32_t>(word & 0xFFFF), static_cast<int32_t>(word >> 16), 0);
        if (i % 100 == 0) {
            console_print(".");
            show_now();
        }
    }
    console_print("\n");
    log_progress(tools, "download_defpix_map", "download finished)");
    if (!complete) return false;
    console_print("%d defect pixels downloaded\n", static_cast<int>(mapsize));
    console_print("\ndone\n");
    return table.refused_adds() == refused_before;
}

bool upload_shading_map(IPort* port, const FloatMap* shading_map, int32_t mapindex,
                        const TransferTools& tools)
{
    console_print("upload_shading_map(%d)\n", static_cast<int>(mapindex));
    if (!port || !shading_map) {
        console_print("not connected\n");
        return false;
    }
    if (port->writereg(camreg::shading_selmap, static_cast<uint32_t>(mapindex)) != 0) {
        console_print("writereg GVCP_USER_SPACE_CAMMODE_SHADING_SELMAP failed\n");
        return false;
    }
    if (port->writereg(camreg::shading_enabled, 1) != 0) {
        console_print("writereg GVCP_USER_SPACE_CAMMODE_SHADING_ENABLED failed\n");
        return false;
    }

    const bool big_endian = port->is_big_endian();
    const int64_t area = int64_t(shading_map->width()) * shading_map->height();
    const uint32_t count = static_cast<uint32_t>(std::max<int64_t>(area, 0));
    const std::vector<uint32_t> words = shading_words(shading_map->data(), count, big_endian);
    if (!send_shading_data(*port, words, 2 * uint64_t(count))) return false;
    console_print("\rupload 100%%\n");
    wait_for_camera(tools);

    console_print("save to eeprom\n");
    if (!save_to_eeprom(*port)) return false;
    wait_for_camera(tools);
    console_print("\ndone\n");
    return true;
}
