// The simulated camera: its register space as 32-bit words, the defect and
// shading map stores, and a non-volatile store that outlives the process in a
// file. It knows nothing of GenTL or serial lines; the libraries translate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camera_correction.h"
#include "sim_config.h"

namespace camsim {

namespace reg {
// Acquisition, at addresses the map transfers never use.
constexpr uint32_t acquisition_start = 0xA000;  // write 1: start delivering frames
constexpr uint32_t acquisition_stop = 0xA004;   // write 1: stop
constexpr uint32_t acquisition_mode = 0xA008;   // acquisition_mode_continuous or _single_frame
constexpr uint32_t tl_params_locked = 0xA00C;   // 0 or 1, kept while a consumer streams
constexpr uint32_t payload_size = 0xA010;       // read only: a frame's bytes
constexpr uint32_t pixel_format = 0xA014;       // read only: the PFNC value
constexpr uint32_t image_width = 0xB008;
constexpr uint32_t image_height = 0xB00C;
constexpr uint32_t eeprom_save_0 = 0xBF00;
constexpr uint32_t eeprom_save_1 = 0xBF04;
constexpr uint32_t defpix_selmap = 0x10004014;
constexpr uint32_t defpix_writemap = 0x10004018;
constexpr uint32_t defpix_mapsize = 0x1000401C;
constexpr uint32_t defpix_maxcnt = 0x10004020;
constexpr uint32_t defpix_map0_lock = 0x10004030;
constexpr uint32_t defpix_revision = 0x10004040;
constexpr uint32_t defpix_area = 0x10025000;
constexpr uint32_t defpix_area_words = 100001;  // the largest map and its end word
constexpr uint32_t defpix_columns = 0x10700180;
constexpr uint32_t defpix_column_words = 4096;
constexpr uint32_t shading_area = 0x10100000;
constexpr uint32_t shading_enabled = 0x105FFFE0;
constexpr uint32_t shading_selmap = 0x105FFFE4;
constexpr uint32_t shading_area_words = (shading_enabled - shading_area) / 4;
}  // namespace reg

constexpr uint32_t acquisition_mode_continuous = 0;
constexpr uint32_t acquisition_mode_single_frame = 1;

constexpr uint32_t end_of_map = 0xFFFFFFFF;
constexpr uint32_t revision_value = 0x00010002;

struct DefectMap {
    std::vector<uint32_t> pixels;   // entry words, y << 16 | x
    std::vector<uint32_t> columns;  // column numbers
};

// Everything the camera keeps in non-volatile memory.
struct CameraStore {
    std::vector<DefectMap> defect_maps;
    // The defect map selected last, which is also the one the camera applies.
    uint32_t selected_defect_map = 1;
    uint32_t map0_lock = 1;
    std::vector<std::vector<uint32_t>> shading_maps;
    uint32_t selected_shading_map = 0;
    uint32_t shading_enabled = 0;
};

class CameraModel {
public:
    enum class Outcome { ok, unmapped, refused, injected };
    struct Result {
        Outcome outcome;
        int32_t code;  // for injected faults: the configured code
        bool ok() const { return outcome == Outcome::ok; }
    };

    // Loads the non-volatile store from state_file when it names a readable
    // file; an empty name keeps the store in memory only.
    CameraModel(const SimConfig& config, const std::string& state_file);

    Result read(uint32_t address, uint32_t& value);
    Result write(uint32_t address, uint32_t value);

    const CameraStore& current() const { return current_; }
    const CameraStore& saved() const { return saved_; }

    // Whether frames are to be delivered: AcquisitionStart written, and not
    // stopped since (by AcquisitionStop, or by a single frame's delivery).
    bool acquiring() const { return acquiring_; }
    // Tells the camera a frame left it; in SingleFrame mode that ends the
    // acquisition.
    void frame_delivered();
    // What corrects the next frame: the selected defect map unless one is
    // open for writing (an upload under way is not applied half written),
    // and the selected shading map's gains while shading is on.
    CameraCorrection correction() const;

private:
    Result read_register(uint32_t address, uint32_t& value);
    Result write_register(uint32_t address, uint32_t value);
    Result write_defect_word(uint32_t index, uint32_t value);
    Result write_column(uint32_t index, uint32_t value);
    Result write_shading_word(uint32_t index, uint32_t value);
    Result open_map_for_writing(uint32_t index);
    void save();

    SimConfig config_;
    std::string state_file_;
    CameraStore current_;
    CameraStore saved_;
    bool map_open_for_writing_ = false;
    uint32_t map_being_written_ = 0;
    uint32_t last_writemap_ = 0;
    bool save_armed_ = false;
    bool acquiring_ = false;
    uint32_t acquisition_mode_ = acquisition_mode_continuous;
    uint32_t tl_params_locked_ = 0;
};

// The store as text, and back; reading refuses text it does not recognise.
std::string store_to_text(const CameraStore& store);
bool store_from_text(const std::string& text, CameraStore& store);

}  // namespace camsim
