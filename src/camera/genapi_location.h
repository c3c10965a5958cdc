// Where a camera keeps its GenApi description, from the URL its device port
// gives (GCGetPortURLInfo), and the description's text from the bytes read
// there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DescriptionLocation {
    std::string file_name;  // as the camera names it; tells only whether it is zipped
    uint64_t address = 0;   // in the device port's register space
    uint64_t length = 0;    // bytes to read there
    bool zipped = false;    // the bytes are a zip archive holding the XML
};

// Reads `Local:[///]<file name>;<hex address>;<hex length>[?SchemaVersion=...]`.
// False with a one-line reason naming the URL for a malformed URL and for
// every other scheme (File:, http:), whose descriptions live outside the
// camera.
bool parse_description_url(const std::string& url, DescriptionLocation& location,
                           std::string& error);

// The XML text of the bytes read at the location: unzipped when the location
// is zipped, without the NUL padding cameras leave after the text.
bool description_xml(const DescriptionLocation& location, const std::vector<uint8_t>& bytes,
                     std::string& xml, std::string& error);
