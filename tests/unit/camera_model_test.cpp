#include "camera_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace camsim;
using Outcome = CameraModel::Outcome;

namespace {

class CameraModelTest : public ::testing::Test {
protected:
    uint32_t read(CameraModel& camera, uint32_t address)
    {
        uint32_t value = 0xDEADBEEF;
        EXPECT_TRUE(camera.read(address, value).ok()) << std::hex << address;
        return value;
    }

    void write(CameraModel& camera, uint32_t address, uint32_t value)
    {
        EXPECT_TRUE(camera.write(address, value).ok()) << std::hex << address;
    }

    // The register traffic of a defect map upload, as the program sends it.
    void upload(CameraModel& camera, uint32_t map, const std::vector<uint32_t>& pixels,
                const std::vector<uint32_t>& columns)
    {
        write(camera, reg::defpix_selmap, map);
        if (map == 0) write(camera, reg::defpix_map0_lock, 0);
        write(camera, reg::defpix_writemap, map);
        for (size_t k = 0; k < columns.size(); ++k)
            write(camera, reg::defpix_columns + 4 * static_cast<uint32_t>(k), columns[k]);
        for (size_t i = 0; i < pixels.size(); ++i)
            write(camera, reg::defpix_area + 4 * static_cast<uint32_t>(i), pixels[i]);
        write(camera, reg::defpix_selmap, map);
        if (map == 0) write(camera, reg::defpix_map0_lock, 1);
    }

    void save(CameraModel& camera)
    {
        write(camera, reg::eeprom_save_0, 1);
        write(camera, reg::eeprom_save_1, 1);
    }

    // The download's reads: the size, then words up to the end word.
    std::vector<uint32_t> download(CameraModel& camera, uint32_t map)
    {
        write(camera, reg::defpix_selmap, map);
        const uint32_t size = read(camera, reg::defpix_mapsize);
        std::vector<uint32_t> words;
        for (uint32_t i = 0; i <= size; ++i) {
            uint32_t word = read(camera, reg::defpix_area + 4 * i);
            if (word == end_of_map) break;
            words.push_back(word);
        }
        return words;
    }

    SimConfig config_;
};

TEST_F(CameraModelTest, ReportsItsImageSize)
{
    CameraModel camera(config_, "");
    EXPECT_EQ(read(camera, reg::image_width), 5120u);
    EXPECT_EQ(read(camera, reg::image_height), 5120u);

    config_.width = 2048;
    config_.height = 1536;
    CameraModel small(config_, "");
    EXPECT_EQ(read(small, reg::image_width), 2048u);
    EXPECT_EQ(read(small, reg::image_height), 1536u);
    EXPECT_EQ(small.write(reg::image_width, 1).outcome, Outcome::refused);
}

TEST_F(CameraModelTest, AnUploadedMapDownloadsWithItsSizeAndEndWord)
{
    CameraModel camera(config_, "");
    upload(camera, 2, {0x00030005, 0x00100020}, {7, 9});

    EXPECT_EQ(read(camera, reg::defpix_mapsize), 2u);
    EXPECT_EQ(read(camera, reg::defpix_area + 8), end_of_map);
    EXPECT_EQ(download(camera, 2), (std::vector<uint32_t>{0x00030005, 0x00100020}));
    EXPECT_EQ(camera.current().defect_maps[2].columns, (std::vector<uint32_t>{7, 9}));
    EXPECT_EQ(camera.current().selected_defect_map, 2u);
    // Other maps are untouched.
    EXPECT_TRUE(download(camera, 1).empty());
}

TEST_F(CameraModelTest, OpeningAMapForWritingReplacesItsEntries)
{
    CameraModel camera(config_, "");
    upload(camera, 1, {1, 2, 3}, {4});
    upload(camera, 1, {5}, {});
    EXPECT_EQ(download(camera, 1), std::vector<uint32_t>{5});
    EXPECT_TRUE(camera.current().defect_maps[1].columns.empty());
}

TEST_F(CameraModelTest, EntriesAreRefusedUnlessAMapIsOpenForWriting)
{
    CameraModel camera(config_, "");
    EXPECT_EQ(camera.write(reg::defpix_area, 1).outcome, Outcome::refused);
    EXPECT_EQ(camera.write(reg::defpix_columns, 1).outcome, Outcome::refused);
    upload(camera, 1, {1}, {});
    // The enable closed the map again.
    EXPECT_EQ(camera.write(reg::defpix_area + 4, 2).outcome, Outcome::refused);
}

struct ProtectionCase {
    std::set<uint32_t> protected_maps;
    bool unlock_map0;
    uint32_t map;
    bool accepted;
};

class CameraModelProtection : public CameraModelTest,
                              public ::testing::WithParamInterface<ProtectionCase> {};

TEST_P(CameraModelProtection, WriteMapFollowsProtectionAndTheMap0Lock)
{
    const ProtectionCase& c = GetParam();
    config_.write_protected_maps = c.protected_maps;
    CameraModel camera(config_, "");
    if (c.unlock_map0) write(camera, reg::defpix_map0_lock, 0);
    EXPECT_EQ(camera.write(reg::defpix_writemap, c.map).ok(), c.accepted);
    EXPECT_EQ(camera.write(reg::defpix_area, 0x10001).ok(), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Maps, CameraModelProtection,
    ::testing::Values(ProtectionCase{{}, false, 1, true}, ProtectionCase{{1}, false, 1, false},
                      ProtectionCase{{1}, false, 2, true}, ProtectionCase{{}, false, 0, false},
                      ProtectionCase{{}, true, 0, true}, ProtectionCase{{0}, true, 0, false},
                      ProtectionCase{{}, false, 4, false}));

TEST_F(CameraModelTest, ReportsItsLimitsAndInjectedValues)
{
    config_.defect_limit = 250;
    config_.mapsize_injected = true;
    config_.mapsize = 100001;
    CameraModel camera(config_, "");
    EXPECT_EQ(read(camera, reg::defpix_maxcnt), 250u);
    EXPECT_EQ(read(camera, reg::defpix_mapsize), 100001u);
    EXPECT_EQ(read(camera, reg::defpix_revision), revision_value);
}

struct FaultCase {
    const char* what;
    bool revision_unreadable;
    std::map<uint32_t, int32_t> read_faults;
    std::map<uint32_t, int32_t> write_faults;
    bool is_read;
    uint32_t address;
    Outcome outcome;
    int32_t code;
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) { return out << c.what; }

class CameraModelFaults : public CameraModelTest,
                          public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CameraModelFaults, AnswerAsConfigured)
{
    const FaultCase& c = GetParam();
    config_.revision_unreadable = c.revision_unreadable;
    config_.read_faults = c.read_faults;
    config_.write_faults = c.write_faults;
    CameraModel camera(config_, "");
    uint32_t value = 0;
    CameraModel::Result result =
        c.is_read ? camera.read(c.address, value) : camera.write(c.address, 0);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.code, c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Registers, CameraModelFaults,
    ::testing::Values(
        FaultCase{"revision", true, {}, {}, true, reg::defpix_revision, Outcome::refused, 0},
        FaultCase{"read", false, {{0xB008, -1011}}, {}, true, 0xB008, Outcome::injected, -1011},
        FaultCase{"read elsewhere", false, {{0xB008, -1011}}, {}, true, 0xB00C, Outcome::ok, 0},
        FaultCase{"chunk",
                  false,
                  {},
                  {{0x10100000 + 504, -1010}},
                  false,
                  0x10100000 + 504,
                  Outcome::injected,
                  -1010},
        FaultCase{"unmapped read", false, {}, {}, true, 0x2000, Outcome::unmapped, 0},
        FaultCase{"unmapped write", false, {}, {}, false, 0x10025001, Outcome::unmapped, 0},
        FaultCase{"past the entries",
                  false,
                  {},
                  {},
                  true,
                  reg::defpix_area + 4 * 100001,
                  Outcome::unmapped,
                  0}));

TEST_F(CameraModelTest, ShadingWordsGoToTheSelectedShadingMap)
{
    CameraModel camera(config_, "");
    write(camera, reg::shading_selmap, 3);
    write(camera, reg::shading_enabled, 1);
    write(camera, reg::shading_area, 0x10000800);
    write(camera, reg::shading_area + 4, 0x0FFF1000);
    EXPECT_EQ(camera.current().shading_maps[3], (std::vector<uint32_t>{0x10000800, 0x0FFF1000}));
    EXPECT_TRUE(camera.current().shading_maps[0].empty());
    EXPECT_EQ(read(camera, reg::shading_enabled), 1u);
    EXPECT_EQ(camera.write(reg::shading_selmap, 4).outcome, Outcome::refused);
}

struct SaveCase {
    std::vector<std::pair<uint32_t, uint32_t>> writes;
    bool saved;
};

class CameraModelSave : public CameraModelTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(CameraModelSave, SavesOnlyOnBothStepsInOrder)
{
    CameraModel camera(config_, "");
    upload(camera, 1, {0x00030005}, {});
    for (const auto& w : GetParam().writes) write(camera, w.first, w.second);
    EXPECT_EQ(camera.saved().defect_maps[1].pixels.size(), GetParam().saved ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CameraModelSave,
    ::testing::Values(SaveCase{{{reg::eeprom_save_0, 1}, {reg::eeprom_save_1, 1}}, true},
                      SaveCase{{{reg::eeprom_save_1, 1}}, false},
                      SaveCase{{{reg::eeprom_save_0, 1}}, false},
                      SaveCase{{{reg::eeprom_save_1, 1}, {reg::eeprom_save_0, 1}}, false},
                      SaveCase{{{reg::eeprom_save_0, 0}, {reg::eeprom_save_1, 1}}, false}));

TEST_F(CameraModelTest, WhatOneRunSavesTheNextRunReads)
{
    const std::string state_file = "camera_model_test.state";
    std::remove(state_file.c_str());
    {
        CameraModel first(config_, state_file);
        upload(first, 0, {0x00030005, 0x00040006}, {12});
        write(first, reg::shading_selmap, 1);
        write(first, reg::shading_area, 0x10001000);
        save(first);
        // Not saved: gone with the process.
        upload(first, 2, {0x00070007}, {});
    }
    CameraModel second(config_, state_file);
    EXPECT_EQ(download(second, 0), (std::vector<uint32_t>{0x00030005, 0x00040006}));
    EXPECT_EQ(second.current().defect_maps[0].columns, std::vector<uint32_t>{12});
    EXPECT_TRUE(download(second, 2).empty());
    EXPECT_EQ(second.current().shading_maps[1], std::vector<uint32_t>{0x10001000});
    EXPECT_EQ(read(second, reg::defpix_map0_lock), 1u);
    std::remove(state_file.c_str());
}

TEST(CameraStore, TextThatIsNoStoreIsRefused)
{
    CameraStore store;
    store.defect_maps.resize(2);
    store.defect_maps[1].pixels = {1};
    EXPECT_FALSE(store_from_text("", store));
    EXPECT_FALSE(store_from_text("camsim-store 1\ndefect_pixels 1 3 a b\n", store));
    EXPECT_FALSE(store_from_text("camsim-store 1\nsomething 1\n", store));
    EXPECT_EQ(store.defect_maps[1].pixels, std::vector<uint32_t>{1});
    // A map the camera does not have is dropped, the rest kept.
    EXPECT_TRUE(
        store_from_text("camsim-store 1\ndefect_pixels 9 1 5\ndefect_pixels 0 1 ff\n", store));
    EXPECT_EQ(store.defect_maps[0].pixels, std::vector<uint32_t>{0xff});
}

}  // namespace
