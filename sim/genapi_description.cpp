#include "genapi_description.h"

#include <cstddef>
#include <cstdio>

namespace camsim {

// In the source CMake generates from camsim.xml, so the file stays the one copy of the text.
extern const unsigned char genapi_xml_bytes[];
extern const size_t genapi_xml_size;

const std::string& genapi_description()
{
    // The port moves whole 32-bit words, so the text must fill its last one;
    // blanks after the root element leave the XML unchanged.
    static const std::string text = [] {
        std::string padded(reinterpret_cast<const char*>(genapi_xml_bytes), genapi_xml_size);
        padded.append((4 - padded.size() % 4) % 4, ' ');
        return padded;
    }();
    return text;
}

std::string genapi_url()
{
    char url[64];
    std::snprintf(url, sizeof url, "Local:camsim.xml;%lX;%llX",
                  static_cast<unsigned long>(genapi_address),
                  static_cast<unsigned long long>(genapi_description().size()));
    return url;
}

}  // namespace camsim
