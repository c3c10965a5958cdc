// The map files kd-inspect is given, read with the program's own readers
// after a strict look at every line: a map the program would read in part
// or by guessing is refused with the reason.
#pragma once

#include <memory>
#include <string>

class DefpixTable;
class FloatMap;

enum class MapKind { defect, shading };

// A map file's kind by its content: a first line of three fields is a
// defect entry, one of two a shading map's header; a file with no map line
// is an empty defect map. False, with the reason, when it tells neither.
bool map_kind_of(const std::string& path, MapKind& kind, std::string& error);

// Reads a defect map into `table`, as read_defpix_map does, after checking
// every line. Refused: a file that cannot be read, a line that is not three
// whole numbers x;y;kind with kind 0 to 4, more entries than the table holds.
bool read_defpix_map_strictly(DefpixTable& table, const std::string& path, std::string& error);

// Reads a shading map. Refused: a file that cannot be read, a header that is
// not two whole numbers above 0, a row count or a row length other than the
// header's, a gain that is not a decimal number or lies beyond the float
// range.
std::unique_ptr<FloatMap> read_shading_map_strictly(const std::string& path, std::string& error);
