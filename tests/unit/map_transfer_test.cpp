#include "camera/map_transfer.h"

#include <gtest/gtest.h>

#include "log_traces.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "lib/log.h"

namespace {

std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

// A register port that records every access as a short line ("R addr",
// "W addr=value", "M addr len", "E" for the byte order question, "S ms" for a
// wait) and answers as told.
class RecordingPort : public IPort {
public:
    explicit RecordingPort(bool big_endian) : big_endian_(big_endian) {}

    bool is_big_endian() override
    {
        record("E");
        return big_endian_;
    }
    int32_t get_status() override { return 0; }
    int32_t read_port(void*, uint64_t, uint64_t) override { return 0; }
    int32_t write_port(const void*, uint64_t, uint64_t) override { return 0; }

    int32_t readreg(uint32_t address, uint32_t* value) override
    {
        record("R " + hex(address));
        const int32_t status = status_of(read_status, address);
        auto known = registers.find(address);
        // A failed read delivers nothing.
        if (status == 0 && known != registers.end()) *value = known->second;
        return status;
    }

    int32_t writereg(uint32_t address, uint32_t value) override
    {
        record("W " + hex(address) + "=" + hex(value));
        return status_of(write_status, address);
    }

    int32_t writemem(uint32_t address, const void* data, uint32_t length) override
    {
        record("M " + hex(address) + " " + std::to_string(length));
        EXPECT_NE(data, nullptr);
        const unsigned char* bytes = static_cast<const unsigned char*>(data);
        blocks.emplace_back(bytes, bytes + length);
        return status_of(write_status, address);
    }

    void record(const std::string& line)
    {
        if (static_cast<int>(accesses.size()) == throw_at) throw int(-10004);
        accesses.push_back(line);
    }

    std::vector<std::string> accesses;
    std::vector<std::vector<unsigned char>> blocks;
    std::map<uint32_t, uint32_t> registers;
    std::map<uint32_t, int32_t> read_status;
    std::map<uint32_t, int32_t> write_status;
    int throw_at = -1;  // the access (counted from 0) that raises an error

private:
    static int32_t status_of(const std::map<uint32_t, int32_t>& table, uint32_t address)
    {
        auto found = table.find(address);
        return found == table.end() ? 0 : found->second;
    }

    bool big_endian_;
};

const char* const log_name = "map_transfer_test.log";

std::vector<unsigned char> big_endian_bytes(const std::vector<uint32_t>& words)
{
    std::vector<unsigned char> bytes;
    for (uint32_t word : words)
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<unsigned char>(word >> shift));
    return bytes;
}

std::vector<unsigned char> host_bytes(const std::vector<uint32_t>& words)
{
    std::vector<unsigned char> bytes(words.size() * 4);
    if (!words.empty()) std::memcpy(bytes.data(), words.data(), bytes.size());
    return bytes;
}

// The accesses every successful defect upload starts with.
std::vector<std::string> upload_opening(uint32_t map)
{
    std::vector<std::string> lines = {"R 10004040", "R 10004020", "W 10004014=" + hex(map)};
    if (map == 0) lines.push_back("W 10004030=0");
    lines.push_back("W 10004018=" + hex(map));
    lines.push_back("E");
    return lines;
}

std::vector<std::string> upload_closing(uint32_t map, uint32_t pixels)
{
    std::vector<std::string> lines = {"M 10025000 " + std::to_string(4 * pixels),
                                      "W 10004014=" + hex(map), "S 3000"};
    if (map == 0) lines.push_back("W 10004030=1");
    for (const char* line : {"W BF00=1", "W BF04=1", "S 3000"}) lines.push_back(line);
    return lines;
}

class MapTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::remove(log_name);
        log_.reset(new Log(log_name, LOG_INFO));
        tools_ = TransferTools{[this](uint32_t ms) { port_->record("S " + std::to_string(ms)); },
                               log_.get()};
    }
    void TearDown() override
    {
        log_.reset();
        std::remove(log_name);
    }

    RecordingPort& use_port(bool big_endian)
    {
        port_.reset(new RecordingPort(big_endian));
        port_->registers[camreg::defpix_maxcnt] = 100000;
        return *port_;
    }

    std::string upload_defects(int32_t map)
    {
        testing::internal::CaptureStdout();
        upload_defpix_map(port_.get(), table_, map, tools_);
        return testing::internal::GetCapturedStdout();
    }

    std::string download_defects(int32_t map)
    {
        testing::internal::CaptureStdout();
        download_defpix_map(port_.get(), table_, map, tools_);
        return testing::internal::GetCapturedStdout();
    }

    std::string upload_shading(const FloatMap* map, int32_t index)
    {
        testing::internal::CaptureStdout();
        upload_shading_map(port_.get(), map, index, tools_);
        return testing::internal::GetCapturedStdout();
    }

    // The map entry i: pixel (i + 1, 2 i).
    void camera_holds(uint32_t mapsize, uint32_t entries)
    {
        port_->registers[camreg::defpix_mapsize] = mapsize;
        for (uint32_t i = 0; i < entries; ++i)
            port_->registers[camreg::defpix_entries + 4 * i] = (2 * i) << 16 | (i + 1);
    }

    std::unique_ptr<Log> log_;
    std::unique_ptr<RecordingPort> port_;
    TransferTools tools_;
    DefpixTable table_;
};

const char* const upload_success = "enable map\nsave to eeprom\n\ndone\n";

struct UploadCase {
    const char* what;
    std::vector<DefpixEntry> entries;
    int32_t map;
    bool big_endian;
    std::vector<std::string> columns;  // the column writes between opening and block
    std::vector<uint32_t> pixel_words;
};

std::ostream& operator<<(std::ostream& out, const UploadCase& c) { return out << c.what; }

class DefectUpload : public MapTransferTest, public ::testing::WithParamInterface<UploadCase> {};

TEST_P(DefectUpload, SendsColumnsAsRegistersAndPixelsInOneBlock)
{
    const UploadCase& c = GetParam();
    use_port(c.big_endian);
    for (const DefpixEntry& e : c.entries) table_.defpix_add(e.x, e.y, e.kind);

    const std::string out = upload_defects(c.map);

    EXPECT_EQ(out, "upload_defpix_map(" + std::to_string(c.map) + ")\n" + upload_success);
    std::vector<std::string> expected = upload_opening(static_cast<uint32_t>(c.map));
    expected.insert(expected.end(), c.columns.begin(), c.columns.end());
    const std::vector<std::string> closing =
        upload_closing(static_cast<uint32_t>(c.map), static_cast<uint32_t>(c.pixel_words.size()));
    expected.insert(expected.end(), closing.begin(), closing.end());
    EXPECT_EQ(port_->accesses, expected);
    ASSERT_EQ(port_->blocks.size(), 1u);
    EXPECT_EQ(port_->blocks[0],
              c.big_endian ? big_endian_bytes(c.pixel_words) : host_bytes(c.pixel_words));
    EXPECT_EQ(trace_lines(log_name),
              (std::vector<std::string>{"INFO main upload_defpix_map : upload start)",
                                        "INFO main upload_defpix_map : upload finished)"}));
}

INSTANTIATE_TEST_SUITE_P(
    Tables, DefectUpload,
    ::testing::Values(
        UploadCase{"empty", {}, 1, true, {}, {}}, UploadCase{"empty map 0", {}, 0, false, {}, {}},
        UploadCase{"columns only",
                   {{17, 0, 4}, {3, 9, 4}},
                   1,
                   true,
                   {"W 10700180=11", "W 10700184=3"},
                   {}},
        UploadCase{"mixed, map 0, big-endian",
                   {{5, 3, 0}, {40, 0, 4}, {65535, 65535, 2}, {41, 7, 4}, {0, 1, 1}},
                   0,
                   true,
                   {"W 10700180=28", "W 10700184=29"},
                   {0x00030005, 0xFFFFFFFF, 0x00010000}},
        UploadCase{"mixed, map 2, host order",
                   {{5, 3, 0}, {40, 0, 4}, {-1, 2, -3}},
                   2,
                   false,
                   {"W 10700180=28"},
                   {0x00030005, 0x0001FFFF}},
        UploadCase{"kinds above 4 are skipped", {{1, 1, 5}, {2, 2, 0}}, 3, true, {}, {0x00020002}}),
    [](const ::testing::TestParamInfo<UploadCase>& info) {
        return "case" + std::to_string(info.index);
    });

struct UploadFailure {
    const char* what;
    int32_t map;
    std::map<uint32_t, int32_t> read_status;
    std::map<uint32_t, int32_t> write_status;
    uint32_t limit;
    int32_t entries;
    std::string message;
    std::vector<std::string> accesses;
};

std::ostream& operator<<(std::ostream& out, const UploadFailure& c) { return out << c.what; }

class DefectUploadFailure : public MapTransferTest,
                            public ::testing::WithParamInterface<UploadFailure> {};

TEST_P(DefectUploadFailure, StopsWithItsMessage)
{
    const UploadFailure& c = GetParam();
    use_port(true);
    port_->read_status = c.read_status;
    port_->write_status = c.write_status;
    port_->registers[camreg::defpix_maxcnt] = c.limit;
    for (int32_t i = 0; i < c.entries; ++i) table_.defpix_add(i, 0, 0);

    EXPECT_EQ(upload_defects(c.map),
              "upload_defpix_map(" + std::to_string(c.map) + ")\n" + c.message);
    EXPECT_EQ(port_->accesses, c.accesses);
    EXPECT_TRUE(trace_lines(log_name).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DefectUploadFailure,
    ::testing::Values(UploadFailure{"revision",
                                    1,
                                    {{camreg::defpix_revision, -1005}},
                                    {},
                                    100000,
                                    3,
                                    "incompatible revision\n",
                                    {"R 10004040"}},
                      UploadFailure{"over the limit",
                                    1,
                                    {},
                                    {},
                                    2,
                                    3,
                                    "exceeded max. defect pixels 3 (limit is 2)\n",
                                    {"R 10004040", "R 10004020"}},
                      UploadFailure{"limit unreadable",
                                    1,
                                    {{camreg::defpix_maxcnt, -1011}},
                                    {},
                                    100000,
                                    1,
                                    "exceeded max. defect pixels 1 (limit is 0)\n",
                                    {"R 10004040", "R 10004020"}},
                      UploadFailure{"protected",
                                    2,
                                    {},
                                    {{camreg::defpix_writemap, -1005}},
                                    100000,
                                    1,
                                    "write protected\n",
                                    {"R 10004040", "R 10004020", "W 10004014=2", "W 10004018=2"}},
                      UploadFailure{"protected map 0 stays unlocked",
                                    0,
                                    {},
                                    {{camreg::defpix_writemap, -1005}},
                                    100000,
                                    1,
                                    "write protected\n",
                                    {"R 10004040", "R 10004020", "W 10004014=0", "W 10004030=0",
                                     "W 10004018=0"}}),
    [](const ::testing::TestParamInfo<UploadFailure>& info) {
        return "row" + std::to_string(info.index);
    });

class DefectLimit : public MapTransferTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(DefectLimit, ACountEqualToTheLimitPassesOneMoreFails)
{
    const int32_t limit = GetParam();
    use_port(true).registers[camreg::defpix_maxcnt] = static_cast<uint32_t>(limit);
    for (int32_t i = 0; i < limit; ++i) table_.defpix_add(i, 1, 0);
    EXPECT_EQ(upload_defects(1), "upload_defpix_map(1)\n" + std::string(upload_success));

    table_.defpix_add(limit, 1, 0);
    port_->accesses.clear();
    EXPECT_EQ(upload_defects(1), "upload_defpix_map(1)\nexceeded max. defect pixels " +
                                     std::to_string(limit + 1) + " (limit is " +
                                     std::to_string(limit) + ")\n");
    EXPECT_EQ(port_->accesses, (std::vector<std::string>{"R 10004040", "R 10004020"}));
}

INSTANTIATE_TEST_SUITE_P(Limits, DefectLimit, ::testing::Values(0, 1, 250));

TEST_F(MapTransferTest, NoPortMeansNotConnectedForEveryTransfer)
{
    FloatMap map(2, 2);
    EXPECT_EQ(upload_defects(1), "upload_defpix_map(1)\nnot connected\n");
    EXPECT_EQ(download_defects(7), "download_defpix_map(7)\nnot connected\n");
    EXPECT_EQ(upload_shading(&map, 0), "upload_shading_map(0)\nnot connected\n");
    EXPECT_TRUE(trace_lines(log_name).empty());
}

struct DownloadCase {
    uint32_t mapsize;
    uint32_t stored;  // entries before the end word
    std::string dots;
    int32_t added;
};

class DefectDownload : public MapTransferTest,
                       public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(DefectDownload, AddsEntriesUpToTheEndWordWithADotPerHundred)
{
    const DownloadCase& c = GetParam();
    use_port(true);
    camera_holds(c.mapsize, c.stored);
    port_->registers[camreg::defpix_entries + 4 * c.stored] = defpix_end_word;

    EXPECT_EQ(download_defects(3), "download_defpix_map(3)\nmapsize " + std::to_string(c.mapsize) +
                                       "\n" + c.dots + "\n" + std::to_string(c.mapsize) +
                                       " defect pixels downloaded\n\ndone\n");
    ASSERT_EQ(table_.defpix_count(), c.added);
    for (int32_t i = 0; i < c.added; ++i) {
        EXPECT_EQ(table_.entry(i).x, i + 1);
        EXPECT_EQ(table_.entry(i).y, 2 * i);
        EXPECT_EQ(table_.entry(i).kind, 0);
    }
    // Reads stop at the end word or at the reported size, whichever comes first.
    const uint32_t reads = std::min(c.mapsize, c.stored + 1);
    EXPECT_EQ(port_->accesses.size(), 3 + reads);
    EXPECT_EQ(port_->accesses[1], "W 10004014=3");
    if (reads > 0) {
        EXPECT_EQ(port_->accesses.back(), "R " + hex(0x10025000 + 4 * (reads - 1)));
    }
    EXPECT_EQ(trace_lines(log_name),
              (std::vector<std::string>{"INFO main download_defpix_map : download start)",
                                        "INFO main download_defpix_map : download finished)"}));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, DefectDownload,
    ::testing::Values(DownloadCase{0, 0, "", 0}, DownloadCase{250, 250, "...", 250},
                      DownloadCase{100, 100, ".", 100}, DownloadCase{101, 101, "..", 101},
                      DownloadCase{12, 5, ".", 5}, DownloadCase{3, 0, "", 0},
                      DownloadCase{100000, 0, "", 0}, DownloadCase{4, 10, ".", 4}));

struct DownloadFailure {
    int32_t revision_status;
    std::string message;
    std::vector<std::string> accesses;
};

class DefectDownloadFailure : public MapTransferTest,
                              public ::testing::WithParamInterface<DownloadFailure> {};

TEST_P(DefectDownloadFailure, StopsWithItsMessageAndAddsNothing)
{
    const DownloadFailure& c = GetParam();
    use_port(false).read_status[camreg::defpix_revision] = c.revision_status;
    camera_holds(100001, 1);
    EXPECT_EQ(download_defects(1), "download_defpix_map(1)\n" + c.message);
    EXPECT_EQ(port_->accesses, c.accesses);
    EXPECT_EQ(table_.defpix_count(), 0);
    EXPECT_TRUE(trace_lines(log_name).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DefectDownloadFailure,
    ::testing::Values(DownloadFailure{-1001, "incompatible revision\n", {"R 10004040"}},
                      DownloadFailure{
                          0, "invalid mapsize\n", {"R 10004040", "W 10004014=1", "R 1000401C"}}));

// A word that failed to read holds nothing of the map: the download stops
// there, keeping the entries read before it, and does not report success.
TEST_F(MapTransferTest, DownloadMergesIntoTheTableAndStopsAtAWordThatFailedToRead)
{
    use_port(true);
    camera_holds(4, 4);
    port_->read_status[camreg::defpix_entries + 8] = -1011;
    table_.defpix_add(1, 0, 4);  // entry 0 of the camera, already known as a column

    EXPECT_EQ(download_defects(-1),
              "download_defpix_map(-1)\nmapsize 4\n."
              "readreg GVCP_USER_SPACE_DEFPIX failed\n\n");
    EXPECT_EQ(port_->accesses[1], "W 10004014=FFFFFFFF");
    ASSERT_EQ(table_.defpix_count(), 2);
    EXPECT_EQ(table_.entry(0).kind, 4);
    EXPECT_EQ(table_.entry(1).x, 2);
    EXPECT_EQ(table_.entry(1).y, 2);
    EXPECT_EQ(trace_lines(log_name),
              (std::vector<std::string>{"INFO main download_defpix_map : download start)",
                                        "INFO main download_defpix_map : download finished)"}));
}

std::unique_ptr<FloatMap> shading_map_of(int32_t width, int32_t height, float first)
{
    std::unique_ptr<FloatMap> map(new FloatMap(width, height));
    for (int32_t i = 0; i < width * height; ++i) map->data()[i] = first + i / 65536.0f;
    return map;
}

struct ShadingCase {
    int32_t width;
    int32_t height;
    std::vector<uint32_t> pieces;
    std::string progress;
};

class ShadingUpload : public MapTransferTest, public ::testing::WithParamInterface<ShadingCase> {};

TEST_P(ShadingUpload, SendsPiecesOf504BytesWithProgress)
{
    const ShadingCase& c = GetParam();
    use_port(true);
    std::unique_ptr<FloatMap> map = shading_map_of(c.width, c.height, 1.0f);

    EXPECT_EQ(upload_shading(map.get(), 2),
              "upload_shading_map(2)\n" + c.progress + "\rupload 100%\nsave to eeprom\n\ndone\n");
    std::vector<std::string> expected = {"W 105FFFE4=2", "W 105FFFE0=1", "E"};
    uint32_t offset = 0;
    for (uint32_t length : c.pieces) {
        expected.push_back("M " + hex(0x10100000 + offset) + " " + std::to_string(length));
        offset += length;
    }
    for (const char* line : {"S 3000", "W BF00=1", "W BF04=1", "S 3000"}) expected.push_back(line);
    EXPECT_EQ(port_->accesses, expected);
    EXPECT_EQ(offset, 2u * static_cast<uint32_t>(c.width * c.height));

    // The pieces together are the packed words, most significant byte first.
    std::vector<unsigned char> sent;
    for (const auto& block : port_->blocks) sent.insert(sent.end(), block.begin(), block.end());
    std::vector<unsigned char> whole = big_endian_bytes(
        shading_words(map->data(), static_cast<uint32_t>(c.width * c.height), false));
    whole.resize(offset);
    EXPECT_EQ(sent, whole);
    EXPECT_TRUE(trace_lines(log_name).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ShadingUpload,
    ::testing::Values(ShadingCase{252, 1, {504}, "\rupload 0%"},
                      ShadingCase{40,
                                  25,
                                  {504, 504, 504, 488},
                                  "\rupload 0%\rupload 25%\rupload 50%\rupload 75%"},
                      ShadingCase{253, 1, {504, 2}, "\rupload 0%\rupload 99%"},
                      ShadingCase{3, 3, {18}, "\rupload 0%"}, ShadingCase{0, 0, {}, ""}));

TEST_F(MapTransferTest, ShadingOverAHostOrderPortSendsHostWords)
{
    use_port(false);
    FloatMap map(3, 1);
    map.set(0, 0, 1.0f);
    map.set(1, 0, 0.5f);
    map.set(2, 0, 2.0f);
    upload_shading(&map, 0);
    ASSERT_EQ(port_->blocks.size(), 1u);
    std::vector<unsigned char> expected = host_bytes({0x10000800, 0x20000000});
    expected.resize(6);
    EXPECT_EQ(port_->blocks[0], expected);
}

struct ShadingFailure {
    const char* what;
    std::map<uint32_t, int32_t> write_status;
    std::string output;
    std::vector<std::string> accesses;
};

std::ostream& operator<<(std::ostream& out, const ShadingFailure& c) { return out << c.what; }

class ShadingUploadFailure : public MapTransferTest,
                             public ::testing::WithParamInterface<ShadingFailure> {};

TEST_P(ShadingUploadFailure, StopsWithItsMessageAndSavesNothing)
{
    const ShadingFailure& c = GetParam();
    use_port(true).write_status = c.write_status;
    std::unique_ptr<FloatMap> map = shading_map_of(40, 25, 1.0f);
    EXPECT_EQ(upload_shading(map.get(), 1), "upload_shading_map(1)\n" + c.output);
    EXPECT_EQ(port_->accesses, c.accesses);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ShadingUploadFailure,
    ::testing::Values(
        ShadingFailure{"selection",
                       {{camreg::shading_selmap, -1005}},
                       "writereg GVCP_USER_SPACE_CAMMODE_SHADING_SELMAP failed\n",
                       {"W 105FFFE4=1"}},
        ShadingFailure{"enable",
                       {{camreg::shading_enabled, -1}},
                       "writereg GVCP_USER_SPACE_CAMMODE_SHADING_ENABLED failed\n",
                       {"W 105FFFE4=1", "W 105FFFE0=1"}},
        ShadingFailure{"second piece",
                       {{camreg::shading_data + 504, -1010}},
                       "\rupload 0%\rupload 25%writemem GVCP_USER_SPACE_SHADING failed\n",
                       {"W 105FFFE4=1", "W 105FFFE0=1", "E", "M 10100000 504", "M 101001F8 504"}},
        ShadingFailure{"last piece",
                       {{camreg::shading_data + 1512, -1010}},
                       "\rupload 0%\rupload 25%\rupload 50%\rupload 75%"
                       "writemem GVCP_USER_SPACE_SHADING failed\n",
                       {"W 105FFFE4=1", "W 105FFFE0=1", "E", "M 10100000 504", "M 101001F8 504",
                        "M 101003F0 504", "M 101005E8 488"}}));

TEST_F(MapTransferTest, ShadingUploadWithoutAMapIsNotConnected)
{
    use_port(true);
    EXPECT_EQ(upload_shading(nullptr, 0), "upload_shading_map(0)\nnot connected\n");
    EXPECT_TRUE(port_->accesses.empty());
}

// An error the port raises instead of returning a status leaves the transfer
// at once; what was sent stays sent.
TEST_F(MapTransferTest, ErrorsRaisedByThePortPassThrough)
{
    use_port(false).throw_at = 6;  // the pixel block of an upload with one column
    table_.defpix_add(1, 2, 0);
    table_.defpix_add(7, 0, 4);
    testing::internal::CaptureStdout();
    EXPECT_THROW(upload_defpix_map(port_.get(), table_, 1, tools_), int);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "upload_defpix_map(1)\n");
    EXPECT_EQ(port_->accesses.back(), "W 10700180=7");

    std::unique_ptr<FloatMap> map = shading_map_of(40, 25, 1.0f);
    use_port(true).throw_at = 4;
    testing::internal::CaptureStdout();
    EXPECT_THROW(upload_shading_map(port_.get(), map.get(), 0, tools_), int);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "upload_shading_map(0)\n\rupload 0%\rupload 25%");
}

}  // namespace
