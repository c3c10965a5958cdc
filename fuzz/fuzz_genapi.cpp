// The GenApi description reader on arbitrary bytes: as the port's URL, as a
// zipped or plain description, and, when it parses, with the features
// kd-inspect grab uses resolved against a register space that answers
// everywhere. Every refusal must come with a one-line reason.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camera/genapi_description.h"
#include "camera/genapi_location.h"
#include "camera/zip_entry.h"

namespace {

// Bytes made from the address; a few addresses refuse, so that the paths of
// a failing port run too.
class AnyRegisters : public RegisterAccess {
public:
    bool read(uint64_t address, void* buffer, size_t length, std::string& error) override
    {
        if (address % 7 == 3) {
            error = "refused";
            return false;
        }
        for (size_t i = 0; i < length; ++i)
            static_cast<uint8_t*>(buffer)[i] = static_cast<uint8_t>((address + i) * 37 >> 3);
        return true;
    }
    bool write(uint64_t address, const void*, size_t, std::string& error) override
    {
        if (address % 11 == 5) {
            error = "refused";
            return false;
        }
        return true;
    }
};

const char* const features[] = {"Width",           "Height",          "PayloadSize",
                                "PixelFormat",     "AcquisitionMode", "AcquisitionStart",
                                "AcquisitionStop", "TLParamsLocked",  "F"};

void check_refusal(bool done, const std::string& error)
{
    if (!done && (error.empty() || error.find('\n') != std::string::npos)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    DescriptionLocation location;
    bool parsed = parse_description_url(text, location, error);
    check_refusal(parsed, error);
    if (parsed && (location.length == 0 || location.length > max_description_size))
        __builtin_trap();

    error.clear();
    location.zipped = size >= 2 && data[0] == 'P' && data[1] == 'K';
    std::string xml;
    bool read = description_xml(location, std::vector<uint8_t>(data, data + size), xml, error);
    check_refusal(read, error);
    if (!read) return 0;

    error.clear();
    std::unique_ptr<GenApiDescription> description = GenApiDescription::parse(xml, error);
    check_refusal(description != nullptr, error);
    if (!description) return 0;
    AnyRegisters registers;
    for (const char* feature : features) {
        int64_t value = 0;
        std::string entry;
        description->has(feature);
        error.clear();
        check_refusal(description->read_integer(feature, registers, value, error), error);
        error.clear();
        check_refusal(description->write_integer(feature, value, registers, error), error);
        error.clear();
        check_refusal(description->read_enumeration(feature, registers, entry, error), error);
        error.clear();
        check_refusal(description->set_enumeration(feature, entry.empty() ? "Continuous" : entry,
                                                   registers, error),
                      error);
        error.clear();
        check_refusal(description->execute(feature, registers, error), error);
    }
    return 0;
}
