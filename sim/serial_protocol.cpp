#include "serial_protocol.h"

#include <cstdio>

namespace camsim {

namespace {

// Reads up to eight hexadecimal digits; false for anything else.
bool parse_hex(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 8) return false;
    value = 0;
    for (char c : text) {
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else
            return false;
        value = value * 16 + digit;
    }
    return true;
}

std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

std::string refusal(const CameraModel::Result& result)
{
    switch (result.outcome) {
    case CameraModel::Outcome::unmapped: return "ERROR unknown register";
    case CameraModel::Outcome::refused: return "ERROR access denied";
    case CameraModel::Outcome::injected: return "ERROR " + std::to_string(result.code);
    case CameraModel::Outcome::ok: break;
    }
    return "ERROR";
}

}  // namespace

bool RequestLine::take(char c, std::string& line)
{
    if (c != '\n') {
        if (text_.size() < max_length) text_ += c;
        return false;
    }
    line.swap(text_);
    text_.clear();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool answer_request(const std::string& request, const SimConfig& config, CameraModel& camera,
                    std::string& reply)
{
    uint32_t address = 0;
    uint32_t value = 0;
    const bool is_read = request.compare(0, 2, "rV") == 0 && parse_hex(request.substr(2), address);
    const size_t comma = request.find(',');
    const bool is_write = !is_read && request.compare(0, 1, "V") == 0 &&
                          comma != std::string::npos &&
                          parse_hex(request.substr(1, comma - 1), address) &&
                          parse_hex(request.substr(comma + 1), value);
    if (!is_read && !is_write) {
        reply = "ERROR unknown command";
        return true;
    }
    if (config.silent_registers.count(address)) return false;
    auto configured = config.error_replies.find(address);
    if (configured != config.error_replies.end()) {
        reply = configured->second;
        return true;
    }
    if (is_read) {
        const CameraModel::Result result = camera.read(address, value);
        reply = result.ok() ? hex(value) : refusal(result);
    } else {
        const CameraModel::Result result = camera.write(address, value);
        reply = result.ok() ? "OK" : refusal(result);
    }
    return true;
}

}  // namespace camsim
