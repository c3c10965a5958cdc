#include "camera/genapi_location.h"

#include <cctype>

#include "camera/zip_entry.h"

namespace {

bool ends_with_ignoring_case(const std::string& text, const std::string& end)
{
    if (text.size() < end.size()) return false;
    for (size_t i = 0; i < end.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[text.size() - end.size() + i]);
        if (std::tolower(c) != end[i]) return false;
    }
    return true;
}

bool parse_hex(std::string text, uint64_t& value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = text.substr(2);
    if (text.empty() || text.size() > 16) return false;
    value = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        int digit = std::isdigit(static_cast<unsigned char>(c))
                        ? c - '0'
                        : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

// The URL comes from the camera; a control character in it must not break a
// message into lines or into terminal commands.
std::string quoted(const std::string& text)
{
    std::string result = "\"";
    for (char c : text) result += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    return result + "\"";
}

bool malformed(const std::string& url, const std::string& why, std::string& error)
{
    error = "description URL " + quoted(url) + " is malformed: " + why;
    return false;
}

}  // namespace

bool parse_description_url(const std::string& url, DescriptionLocation& location,
                           std::string& error)
{
    size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0)
        return malformed(url, "it names no scheme such as Local:", error);
    std::string scheme = url.substr(0, colon);
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme != "local") {
        error = "description at " + quoted(url) +
                " cannot be read: only Local: descriptions in the camera are supported";
        return false;
    }
    std::string rest = url.substr(colon + 1);
    // GenTL 1.5 appends the schema version as a query; the reader does not need it.
    rest = rest.substr(0, rest.find('?'));
    if (rest.compare(0, 3, "///") == 0) rest = rest.substr(3);
    size_t first = rest.find(';');
    size_t second = first == std::string::npos ? first : rest.find(';', first + 1);
    if (second == std::string::npos || rest.find(';', second + 1) != std::string::npos)
        return malformed(url, "Local: needs <file name>;<address>;<length>", error);
    DescriptionLocation found;
    found.file_name = rest.substr(0, first);
    std::string address = rest.substr(first + 1, second - first - 1);
    std::string length = rest.substr(second + 1);
    if (found.file_name.empty()) return malformed(url, "its file name is empty", error);
    if (!parse_hex(address, found.address))
        return malformed(url, "its address " + quoted(address) + " is not hexadecimal", error);
    if (!parse_hex(length, found.length) || found.length == 0)
        return malformed(
            url, "its length " + quoted(length) + " is not a hexadecimal number above 0", error);
    if (found.length > max_description_size)
        return malformed(url,
                         "its length of " + std::to_string(found.length) +
                             " bytes is more than the " + std::to_string(max_description_size) +
                             " a description may have",
                         error);
    found.zipped = ends_with_ignoring_case(found.file_name, ".zip");
    location = found;
    return true;
}

bool description_xml(const DescriptionLocation& location, const std::vector<uint8_t>& bytes,
                     std::string& xml, std::string& error)
{
    if (location.zipped) {
        if (!unzip_first_entry(bytes.data(), bytes.size(), xml, error)) return false;
    } else {
        xml.assign(bytes.begin(), bytes.end());
    }
    size_t end = xml.find_last_not_of('\0');
    xml.resize(end == std::string::npos ? 0 : end + 1);
    return true;
}
