// The defect map as a text file: one "x;y;kind" line per entry, CR LF ended.
#pragma once

class DefpixTable;

// Adds the file's entries to the table (entries already present keep theirs)
// and prints how many pixel and column lines it read. Reading stops at the
// first blank line; lines starting with '#' are skipped; kinds above 4 are
// ignored.
bool load_defpix_map(DefpixTable& table, const char* path);

// Writes every entry in table order. The file appears complete or not at all:
// on failure the one that was there stays as it was.
bool save_defpix_map(const DefpixTable& table, const char* path);
