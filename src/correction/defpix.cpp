#include "correction/defpix.h"

#include "lib/log.h"

namespace {

constexpr uint32_t index_slots = 1u << 18;  // > 2.5 × capacity, a power of two
constexpr int32_t empty_slot = -1;

uint32_t hash_position(int32_t x, int32_t y)
{
    // Defects cluster in lines and columns; mixing both coordinates through a
    // 64-bit multiply spreads neighbours over the whole index.
    uint64_t key =
        (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(y);
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdull;
    key ^= key >> 33;
    return static_cast<uint32_t>(key);
}

}  // namespace

DefpixTable::DefpixTable()
    : entries_(new DefpixEntry[defpix_table_capacity]()),
      count_(0),
      table_full_reported_(false),
      index_(index_slots, empty_slot)
{
}

DefpixTable::~DefpixTable() = default;

uint32_t DefpixTable::find_slot(int32_t x, int32_t y) const
{
    const uint32_t mask = index_slots - 1;
    uint32_t slot = hash_position(x, y) & mask;
    for (;;) {
        const int32_t held = index_[slot];
        if (held == empty_slot) return slot;
        const DefpixEntry& entry = entries_[held];
        if (entry.x == x && entry.y == y) return slot;
        slot = (slot + 1) & mask;
    }
}

bool DefpixTable::defpix_add(int32_t x, int32_t y, int32_t kind)
{
    if (count_ >= defpix_table_capacity) {
        if (refused_adds_ < INT32_MAX) ++refused_adds_;
        if (!table_full_reported_) {
            console_print("defpix_add failed - table full\n");
            table_full_reported_ = true;
        }
        return false;
    }
    table_full_reported_ = false;
    const uint32_t slot = find_slot(x, y);
    if (index_[slot] != empty_slot) return true;
    entries_[count_] = DefpixEntry{x, y, kind};
    index_[slot] = count_;
    ++count_;
    return true;
}

void DefpixTable::clear()
{
    // Only the slots in use are reset, so clearing a small table stays cheap.
    // Newest first: the probe chain of an entry runs only over slots of older
    // entries, which are still in place when it is looked up.
    while (count_ > 0) {
        --count_;
        index_[find_slot(entries_[count_].x, entries_[count_].y)] = empty_slot;
    }
}

void clear_defpix_map(DefpixTable& table)
{
    console_print("clear_defpix_map()\n");
    table.clear();
}
