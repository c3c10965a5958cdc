#include "camera_model.h"

#include "pixel_format.h"

#include <fstream>
#include <sstream>

namespace camsim {

namespace {

using Result = CameraModel::Result;
using Outcome = CameraModel::Outcome;

const Result ok{Outcome::ok, 0};
const Result unmapped{Outcome::unmapped, 0};
const Result refused{Outcome::refused, 0};

const char* const store_header = "camsim-store 1";

// The word index of address inside an area of `words` words, when it is there.
bool in_area(uint32_t address, uint32_t area, uint32_t words, uint32_t& index)
{
    if (address < area || (address - area) % 4 != 0) return false;
    index = (address - area) / 4;
    return index < words;
}

template <typename T>
void resize_for(std::vector<T>& items, uint32_t index)
{
    if (items.size() <= index) items.resize(index + 1);
}

CameraStore empty_store(const SimConfig& config)
{
    CameraStore store;
    store.defect_maps.resize(config.defect_maps);
    store.shading_maps.resize(config.shading_maps);
    return store;
}

void write_words(std::ostream& out, const char* tag, size_t map, const std::vector<uint32_t>& words)
{
    out << tag << ' ' << map << ' ' << words.size() << std::hex;
    for (uint32_t word : words) out << ' ' << word;
    out << std::dec << '\n';
}

bool read_words(std::istream& in, std::vector<std::vector<uint32_t>*>& targets)
{
    size_t map = 0;
    size_t count = 0;
    if (!(in >> map >> count)) return false;
    std::vector<uint32_t> words(count);
    for (uint32_t& word : words)
        if (!(in >> std::hex >> word >> std::dec)) return false;
    // A map the camera no longer has is dropped.
    if (map < targets.size()) *targets[map] = std::move(words);
    return true;
}

}  // namespace

std::string store_to_text(const CameraStore& store)
{
    std::ostringstream out;
    out << store_header << '\n'
        << "selected_defect_map " << store.selected_defect_map << '\n'
        << "map0_lock " << store.map0_lock << '\n'
        << "selected_shading_map " << store.selected_shading_map << '\n'
        << "shading_enabled " << store.shading_enabled << '\n';
    for (size_t i = 0; i < store.defect_maps.size(); ++i) {
        write_words(out, "defect_pixels", i, store.defect_maps[i].pixels);
        write_words(out, "defect_columns", i, store.defect_maps[i].columns);
    }
    for (size_t i = 0; i < store.shading_maps.size(); ++i)
        write_words(out, "shading", i, store.shading_maps[i]);
    return out.str();
}

bool store_from_text(const std::string& text, CameraStore& store)
{
    std::istringstream in(text);
    std::string header;
    if (!std::getline(in, header) || header != store_header) return false;
    CameraStore loaded = store;
    std::vector<std::vector<uint32_t>*> pixels;
    std::vector<std::vector<uint32_t>*> columns;
    std::vector<std::vector<uint32_t>*> shading;
    for (DefectMap& map : loaded.defect_maps) {
        pixels.push_back(&map.pixels);
        columns.push_back(&map.columns);
    }
    for (std::vector<uint32_t>& map : loaded.shading_maps) shading.push_back(&map);
    std::string tag;
    while (in >> tag) {
        bool good;
        if (tag == "selected_defect_map")
            good = static_cast<bool>(in >> loaded.selected_defect_map);
        else if (tag == "map0_lock")
            good = static_cast<bool>(in >> loaded.map0_lock);
        else if (tag == "selected_shading_map")
            good = static_cast<bool>(in >> loaded.selected_shading_map);
        else if (tag == "shading_enabled")
            good = static_cast<bool>(in >> loaded.shading_enabled);
        else if (tag == "defect_pixels")
            good = read_words(in, pixels);
        else if (tag == "defect_columns")
            good = read_words(in, columns);
        else if (tag == "shading")
            good = read_words(in, shading);
        else
            good = false;
        if (!good) return false;
    }
    store = std::move(loaded);
    return true;
}

CameraModel::CameraModel(const SimConfig& config, const std::string& state_file)
    : config_(config), state_file_(state_file), current_(empty_store(config))
{
    if (!state_file_.empty()) {
        std::ifstream file(state_file_, std::ios::binary);
        std::ostringstream text;
        if (file) {
            text << file.rdbuf();
            store_from_text(text.str(), current_);
        }
    }
    saved_ = current_;
}

Result CameraModel::read(uint32_t address, uint32_t& value)
{
    auto fault = config_.read_faults.find(address);
    if (fault != config_.read_faults.end()) return Result{Outcome::injected, fault->second};
    return read_register(address, value);
}

Result CameraModel::write(uint32_t address, uint32_t value)
{
    auto fault = config_.write_faults.find(address);
    if (fault != config_.write_faults.end()) return Result{Outcome::injected, fault->second};
    return write_register(address, value);
}

Result CameraModel::read_register(uint32_t address, uint32_t& value)
{
    uint32_t index;
    const uint32_t selected = current_.selected_defect_map;
    const DefectMap* map =
        selected < current_.defect_maps.size() ? &current_.defect_maps[selected] : nullptr;
    switch (address) {
    case reg::acquisition_start:
    case reg::acquisition_stop: value = 0; return ok;
    case reg::acquisition_mode: value = acquisition_mode_; return ok;
    case reg::tl_params_locked: value = tl_params_locked_; return ok;
    case reg::payload_size:
        value = static_cast<uint32_t>(payload_bytes(*find_pixel_format(config_.pixel_format),
                                                    size_t(config_.width) * config_.height));
        return ok;
    case reg::pixel_format: value = find_pixel_format(config_.pixel_format)->code; return ok;
    case reg::image_width: value = config_.width; return ok;
    case reg::image_height: value = config_.height; return ok;
    case reg::eeprom_save_0:
    case reg::eeprom_save_1: value = 0; return ok;
    case reg::defpix_selmap: value = current_.selected_defect_map; return ok;
    case reg::defpix_writemap: value = last_writemap_; return ok;
    case reg::defpix_mapsize:
        if (config_.mapsize_injected)
            value = config_.mapsize;
        else
            value = map ? static_cast<uint32_t>(map->pixels.size()) : 0;
        return ok;
    case reg::defpix_maxcnt: value = config_.defect_limit; return ok;
    case reg::defpix_map0_lock: value = current_.map0_lock; return ok;
    case reg::defpix_revision:
        if (config_.revision_unreadable) return refused;
        value = revision_value;
        return ok;
    case reg::shading_enabled: value = current_.shading_enabled; return ok;
    case reg::shading_selmap: value = current_.selected_shading_map; return ok;
    default: break;
    }
    if (in_area(address, reg::defpix_area, reg::defpix_area_words, index)) {
        // Past the stored entries every word reads as the end of the map.
        value = map && index < map->pixels.size() ? map->pixels[index] : end_of_map;
        return ok;
    }
    if (in_area(address, reg::defpix_columns, reg::defpix_column_words, index)) {
        value = map && index < map->columns.size() ? map->columns[index] : end_of_map;
        return ok;
    }
    if (in_area(address, reg::shading_area, reg::shading_area_words, index)) {
        const uint32_t shading = current_.selected_shading_map;
        const std::vector<uint32_t>* words =
            shading < current_.shading_maps.size() ? &current_.shading_maps[shading] : nullptr;
        value = words && index < words->size() ? (*words)[index] : 0;
        return ok;
    }
    return unmapped;
}

Result CameraModel::write_register(uint32_t address, uint32_t value)
{
    uint32_t index;
    switch (address) {
    case reg::acquisition_start:
        if (value == 1) acquiring_ = true;
        return ok;
    case reg::acquisition_stop:
        if (value == 1) acquiring_ = false;
        return ok;
    case reg::acquisition_mode:
        if (value != acquisition_mode_continuous && value != acquisition_mode_single_frame)
            return refused;
        acquisition_mode_ = value;
        return ok;
    case reg::tl_params_locked:
        if (value > 1) return refused;
        tl_params_locked_ = value;
        return ok;
    case reg::payload_size:
    case reg::pixel_format:
    case reg::image_width:
    case reg::image_height:
    case reg::defpix_mapsize:
    case reg::defpix_maxcnt:
    case reg::defpix_revision: return refused;
    case reg::eeprom_save_0: save_armed_ = value == 1; return ok;
    case reg::eeprom_save_1:
        if (value == 1 && save_armed_) save();
        save_armed_ = false;
        return ok;
    case reg::defpix_selmap:
        if (value >= current_.defect_maps.size()) return refused;
        current_.selected_defect_map = value;
        map_open_for_writing_ = false;
        return ok;
    case reg::defpix_writemap: return open_map_for_writing(value);
    case reg::defpix_map0_lock: current_.map0_lock = value; return ok;
    case reg::shading_enabled: current_.shading_enabled = value; return ok;
    case reg::shading_selmap:
        if (value >= current_.shading_maps.size()) return refused;
        current_.selected_shading_map = value;
        return ok;
    default: break;
    }
    if (in_area(address, reg::defpix_area, reg::defpix_area_words, index))
        return write_defect_word(index, value);
    if (in_area(address, reg::defpix_columns, reg::defpix_column_words, index))
        return write_column(index, value);
    if (in_area(address, reg::shading_area, reg::shading_area_words, index))
        return write_shading_word(index, value);
    return unmapped;
}

Result CameraModel::open_map_for_writing(uint32_t index)
{
    last_writemap_ = index;
    if (index >= current_.defect_maps.size() || config_.write_protected_maps.count(index) ||
        (index == 0 && current_.map0_lock != 0))
        return refused;
    // A map is written whole: what it held before is dropped.
    current_.defect_maps[index] = DefectMap();
    map_open_for_writing_ = true;
    map_being_written_ = index;
    return ok;
}

Result CameraModel::write_defect_word(uint32_t index, uint32_t value)
{
    if (!map_open_for_writing_) return refused;
    std::vector<uint32_t>& pixels = current_.defect_maps[map_being_written_].pixels;
    resize_for(pixels, index);
    pixels[index] = value;
    return ok;
}

Result CameraModel::write_column(uint32_t index, uint32_t value)
{
    if (!map_open_for_writing_) return refused;
    std::vector<uint32_t>& columns = current_.defect_maps[map_being_written_].columns;
    resize_for(columns, index);
    columns[index] = value;
    return ok;
}

Result CameraModel::write_shading_word(uint32_t index, uint32_t value)
{
    const uint32_t selected = current_.selected_shading_map;
    if (selected >= current_.shading_maps.size()) return refused;
    std::vector<uint32_t>& words = current_.shading_maps[selected];
    resize_for(words, index);
    words[index] = value;
    return ok;
}

void CameraModel::frame_delivered()
{
    if (acquisition_mode_ == acquisition_mode_single_frame) acquiring_ = false;
}

CameraCorrection CameraModel::correction() const
{
    CameraCorrection correction;
    const uint32_t selected = current_.selected_defect_map;
    if (!map_open_for_writing_ && selected < current_.defect_maps.size()) {
        correction.defect_pixels = current_.defect_maps[selected].pixels;
        correction.defect_columns = current_.defect_maps[selected].columns;
    }
    const uint32_t shading = current_.selected_shading_map;
    if (current_.shading_enabled == 1) {
        // Gains the map does not hold read as 0, as its memory does.
        const std::vector<uint32_t> none;
        const std::vector<uint32_t>& words =
            shading < current_.shading_maps.size() ? current_.shading_maps[shading] : none;
        correction.block_gains.assign(
            static_cast<size_t>(shading_blocks(config_.width)) * shading_blocks(config_.height), 0);
        for (size_t i = 0; i < correction.block_gains.size() && i / 2 < words.size(); ++i)
            correction.block_gains[i] =
                static_cast<uint16_t>(i % 2 == 0 ? words[i / 2] >> 16 : words[i / 2] & 0xFFFF);
    }
    return correction;
}

void CameraModel::save()
{
    saved_ = current_;
    if (state_file_.empty()) return;
    std::ofstream file(state_file_, std::ios::binary | std::ios::trunc);
    file << store_to_text(saved_);
}

}  // namespace camsim
