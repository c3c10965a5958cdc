// The defect map as a text file: one "x;y;kind" line per entry, CR LF ended.
#pragma once

#include <cstdint>

class DefpixTable;

// Lines read from a defect map file: kind below 4 a pixel, kind 4 a column.
struct DefpixLineCounts {
    int32_t pixels = 0;
    int32_t columns = 0;
};

// Adds the file's entries to the table, printing nothing but what the table
// prints when full. Reading stops at the first blank line; lines starting
// with '#' are skipped; kinds above 4 are ignored. False when the file
// cannot be opened or reading it failed.
bool read_defpix_map(DefpixTable& table, const char* path, DefpixLineCounts& counts);

// Writes every entry in table order, "x;y;kind" and CR LF a line. The file
// appears complete or not at all: on failure the one that was there stays.
bool write_defpix_map(const DefpixTable& table, const char* path);

// --load_defpix_map: reads the file into the table (entries already present
// keep theirs) and prints how many pixel and column lines it read.
bool load_defpix_map(DefpixTable& table, const char* path);

// --save_defpix_map: writes the table, printing a failure.
bool save_defpix_map(const DefpixTable& table, const char* path);
