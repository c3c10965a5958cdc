// The defect pixel table: single pixels and whole columns, in the order they
// were found, at most one entry per (x, y).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// kind 4 marks the whole column x as defective; below 4 the single pixel (x, y).
constexpr int32_t defpix_kind_column = 4;
constexpr int32_t defpix_table_capacity = 100000;

struct DefpixEntry {
    int32_t x;
    int32_t y;
    int32_t kind;
};

class DefpixTable {
public:
    DefpixTable();
    ~DefpixTable();
    DefpixTable(const DefpixTable&) = delete;
    DefpixTable& operator=(const DefpixTable&) = delete;

    // False when the table is full (even for an (x, y) already present); the
    // first failure after a success prints the table-full message. An (x, y)
    // already present keeps its entry and kind, and still counts as success.
    bool defpix_add(int32_t x, int32_t y, int32_t kind);

    // Empties the table; whether the table-full message is armed is kept.
    void clear();

    int32_t defpix_count() const { return count_; }
    const DefpixEntry& entry(int32_t index) const { return entries_[index]; }
    const DefpixEntry* begin() const { return entries_.get(); }
    const DefpixEntry* end() const { return entries_.get() + count_; }
    bool table_full_reported() const { return table_full_reported_; }
    // How many adds the full table has refused so far, reported or not.
    int32_t refused_adds() const { return refused_adds_; }

private:
    // Slot of (x, y) in the index: either the one holding its entry or the
    // empty one where it belongs.
    uint32_t find_slot(int32_t x, int32_t y) const;

    std::unique_ptr<DefpixEntry[]> entries_;
    int32_t count_;
    bool table_full_reported_;
    int32_t refused_adds_ = 0;
    // Open-addressing hash of the present (x, y): table indexes, -1 for an
    // empty slot. Sized so it stays under 40 % full.
    std::vector<int32_t> index_;
};

// Prints "clear_defpix_map()" and empties the table.
void clear_defpix_map(DefpixTable& table);
