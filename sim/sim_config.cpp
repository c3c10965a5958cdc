#include "sim_config.h"

#include "pixel_format.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace camsim {

namespace {

std::string trimmed(const std::string& text)
{
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// Decimal, 0x-hexadecimal or negative; the whole text must be the number.
bool parse_number(const std::string& text, long long& number)
{
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    number = std::strtoll(text.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0';
}

bool parse_int32(const std::string& text, int32_t& value)
{
    long long number;
    if (!parse_number(text, number) || number < INT32_MIN || number > INT32_MAX) return false;
    value = static_cast<int32_t>(number);
    return true;
}

// Addresses and register values: 0 .. 0xFFFFFFFF.
bool parse_uint32(const std::string& text, uint32_t& value)
{
    long long number;
    if (!parse_number(text, number) || number < 0 || number > 0xFFFFFFFFLL) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

template <typename T, typename Parse>
bool parse_list(const std::string& text, std::set<T>& values, Parse parse)
{
    std::istringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        T value;
        if (!parse(trimmed(item), value)) return false;
        values.insert(value);
    }
    return true;
}

// Seeds: all 64 bits, and no minus sign that strtoull would wrap around.
bool parse_uint64(const std::string& text, uint64_t& value)
{
    if (text.empty() || text[0] == '-') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long number = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || !end || *end != '\0') return false;
    value = number;
    return true;
}

// A number of defects the sensor can be asked to place.
bool parse_defect_count(const std::string& text, uint32_t& count)
{
    uint32_t value;
    if (!parse_uint32(text, value) || value > max_sensor_defects) return false;
    count = value;
    return true;
}

bool parse_bad_column(const std::string& text, SimConfig& config)
{
    if (text == "none") {
        config.has_bad_column = false;
        return true;
    }
    if (!parse_uint32(text, config.bad_column)) return false;
    config.has_bad_column = true;
    config.bad_column_set = true;
    return true;
}

// A count: 0 or more; the target keeps its value otherwise.
bool parse_count(const std::string& text, int32_t& count)
{
    int32_t value;
    if (!parse_int32(text, value) || value < 0) return false;
    count = value;
    return true;
}

bool parse_flag(const std::string& text, bool& flag)
{
    int32_t number;
    if (!parse_int32(text, number) || (number != 0 && number != 1)) return false;
    flag = number == 1;
    return true;
}

// "name.suffix" -> name and suffix; no dot: suffix empty.
void split_key(const std::string& key, std::string& name, std::string& suffix)
{
    size_t dot = key.find('.');
    name = key.substr(0, dot);
    suffix = dot == std::string::npos ? std::string() : key.substr(dot + 1);
}

bool apply_indexed(const std::string& name, const std::string& suffix, const std::string& value,
                   SimConfig& config)
{
    int32_t index;
    uint32_t address;
    int32_t code;
    if (name == "interface_id" && parse_int32(suffix, index) && index >= 0)
        return config.interface_ids[index] = value, true;
    if (name == "device_id" && parse_int32(suffix, index) && index >= 0)
        return config.device_ids[index] = value, true;
    if (name == "device_model" && parse_int32(suffix, index) && index >= 0)
        return config.device_models[index] = value, true;
    if (name == "serial_port_id" && parse_int32(suffix, index) && index >= 0)
        return config.serial_port_ids[index] = value, true;
    if (name == "fail_entry" && !suffix.empty() && parse_int32(value, code))
        return config.failing_entries[suffix] = code, true;
    if (name == "fail_read" && parse_uint32(suffix, address) && parse_int32(value, code))
        return config.read_faults[address] = code, true;
    if (name == "fail_write" && parse_uint32(suffix, address) && parse_int32(value, code))
        return config.write_faults[address] = code, true;
    if (name == "error_reply" && parse_uint32(suffix, address))
        return config.error_replies[address] = value, true;
    return false;
}

bool apply_plain(const std::string& key, const std::string& value, SimConfig& config)
{
    if (key == "interfaces") return parse_count(value, config.interfaces);
    if (key == "devices") return parse_count(value, config.devices);
    if (key == "model_query_fails") return parse_list(value, config.model_query_fails, parse_int32);
    if (key == "width") return parse_uint32(value, config.width);
    if (key == "height") return parse_uint32(value, config.height);
    if (key == "defect_limit") return parse_uint32(value, config.defect_limit);
    if (key == "mapsize") return config.mapsize_injected = parse_uint32(value, config.mapsize);
    if (key == "defect_maps") return parse_uint32(value, config.defect_maps);
    if (key == "shading_maps") return parse_uint32(value, config.shading_maps);
    if (key == "write_protected_maps")
        return parse_list(value, config.write_protected_maps, parse_uint32);
    if (key == "revision_unreadable") return parse_flag(value, config.revision_unreadable);
    if (key == "heartbeat_thread") return parse_flag(value, config.heartbeat_thread);
    if (key == "fail_access") return parse_uint32(value, config.fail_access);
    if (key == "serial_ports") return parse_count(value, config.serial_ports);
    if (key == "serial_manufacturer") return config.serial_manufacturer = value, true;
    if (key == "silent") return parse_list(value, config.silent_registers, parse_uint32);
    if (key == "sensor_seed") return parse_uint64(value, config.sensor_seed);
    if (key == "hot_pixels") return parse_defect_count(value, config.hot_pixels);
    if (key == "dead_pixels") return parse_defect_count(value, config.dead_pixels);
    if (key == "bad_column") return parse_bad_column(value, config);
    if (key == "pixel_format")
        return find_pixel_format(value) && (config.pixel_format = value, true);
    if (key == "stall_after") return parse_uint32(value, config.stall_after);
    if (key == "incomplete_frames")
        return parse_list(value, config.incomplete_frames, parse_uint32);
    if (key == "half_height_frames")
        return parse_list(value, config.half_height_frames, parse_uint32);
    return false;
}

std::string indexed_or(const std::map<int32_t, std::string>& texts, int32_t index,
                       const std::string& fallback)
{
    auto found = texts.find(index);
    return found == texts.end() ? fallback : found->second;
}

}  // namespace

std::string SimConfig::interface_id(int32_t index) const
{
    return indexed_or(interface_ids, index, "camsim-if" + std::to_string(index));
}

std::string SimConfig::device_id(int32_t index) const
{
    return indexed_or(device_ids, index, "camsim-dev" + std::to_string(index));
}

std::string SimConfig::device_model(int32_t index) const
{
    return indexed_or(device_models, index, "CamSim 5120");
}

std::string SimConfig::serial_port_id(int32_t index) const
{
    return indexed_or(serial_port_ids, index, "COM" + std::to_string(index + 1));
}

SimConfig parse_sim_config(const std::string& text)
{
    SimConfig config;
    std::istringstream lines(text);
    std::string line;
    int32_t number = 0;
    // The bad column can only be held against the width once the whole file
    // is read: the width may come after it.
    std::string bad_column_line;
    while (std::getline(lines, line)) {
        ++number;
        line = trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        size_t equals = line.find('=');
        std::string key = trimmed(line.substr(0, equals));
        // Texts such as IDs are taken as written, without blanks at either end.
        std::string value =
            equals == std::string::npos ? std::string() : trimmed(line.substr(equals + 1));
        std::string name;
        std::string suffix;
        split_key(key, name, suffix);
        bool understood = equals != std::string::npos &&
                          (suffix.empty() ? apply_plain(key, value, config)
                                          : apply_indexed(name, suffix, value, config));
        const std::string numbered = "line " + std::to_string(number) + ": " + line;
        if (!understood)
            config.problems.push_back(numbered);
        else if (key == "bad_column")
            bad_column_line = numbered;
    }
    if (config.has_bad_column && config.bad_column_set && config.bad_column >= config.width)
        config.problems.push_back(bad_column_line);
    return config;
}

SensorSettings sensor_settings(const SimConfig& config)
{
    SensorSettings settings;
    settings.width = config.width;
    settings.height = config.height;
    settings.seed = config.sensor_seed;
    settings.hot_pixels = config.hot_pixels;
    settings.dead_pixels = config.dead_pixels;
    settings.has_bad_column = config.has_bad_column;
    settings.bad_column_set = config.bad_column_set;
    settings.bad_column = config.bad_column;
    return settings;
}

SimConfig load_sim_config()
{
    const char* file_name = std::getenv("CAMSIM_CONFIG");
    if (!file_name || !*file_name) return SimConfig();
    std::ifstream file(file_name, std::ios::binary);
    if (!file) {
        SimConfig config;
        config.problems.push_back(std::string("cannot read ") + file_name);
        return config;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return parse_sim_config(text.str());
}

bool report_config_problems(const SimConfig& config, const char* program)
{
    for (const std::string& problem : config.problems)
        std::fprintf(stderr, "%s: CAMSIM_CONFIG not understood: %s\n", program, problem.c_str());
    return !config.problems.empty();
}

std::string state_file_from_environment()
{
    const char* file_name = std::getenv("CAMSIM_STATE");
    return file_name ? std::string(file_name) : std::string();
}

}  // namespace camsim
