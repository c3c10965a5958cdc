// The GenApi description camsim.cti serves through its device port: the text
// of camsim.xml, compiled in so the library needs no file beside it.
#pragma once

#include <cstdint>
#include <string>

namespace camsim {

constexpr uint32_t genapi_address = 0x20000000;  // where the device port serves it
// vendor 0xA100, model 0xA140, serial 0xA180
constexpr uint32_t genapi_string_registers = 0xA100;
constexpr uint32_t genapi_string_length = 64;

struct GenApiVersion {
    uint32_t major, minor, subminor;
};
constexpr GenApiVersion genapi_schema_version{1, 1, 0};
constexpr GenApiVersion genapi_file_version{1, 0, 0};  // must equal the XML's MajorVersion etc.

// The file's text padded with spaces to a multiple of 4 bytes, as the port serves it.
const std::string& genapi_description();

// "Local:camsim.xml;20000000;<length in hex>" (hexadecimal, no 0x, upper case),
// the length that of genapi_description().
std::string genapi_url();

}  // namespace camsim
