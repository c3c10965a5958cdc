// The shading map as a text file: a "width; height;" header, then one line of
// gains per block row, top row first, every line ended by CR LF.
#pragma once

#include <memory>

#include "lib/float_map.h"
#include "lib/text.h"

// Writes the map; the file appears complete or not at all. False when it
// could not be written.
bool write_shading_map(const FloatMap& map, const char* path);

struct ShadingMapRead {
    std::unique_ptr<FloatMap> map;
    // The file could not be opened or its header cannot be made into a map.
    // Without it, no map means the file holds no header before its first
    // blank line.
    bool failed = false;
};

// Reads a map. Comments ('#') are skipped, a blank line ends the map, missing
// gains are 0.0, extra gains and lines are ignored.
ShadingMapRead read_shading_map(const char* path);

// --save_shading_map; false when it reported a failure.
bool save_shading_map(const FloatMap* shading_map, const String& name);
// --load_shading_map: reads the map, printing a failure; the caller drops
// its current map first.
ShadingMapRead load_shading_map(const String& name);
