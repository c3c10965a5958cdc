// Every register access of each map transfer failing in turn, over both
// transports, against the simulated camera's own libraries: the command
// either reports the failure or says "done", and the camera's non-volatile
// store then holds the map it held before or the map that was sent.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bmp_files.h"
#include "camera/clserial.h"
#include "camera/clserial_ctl.h"
#include "camera/gentl_connection.h"
#include "camera/map_transfer.h"
#include "camera_model.h"
#include "correction/defpix.h"
#include "environment.h"
#include "lib/float_map.h"
#include "lib/log.h"

namespace {

enum class Transfer { upload_defects, download_defects, upload_shading };
enum class Transport { gentl, serial };

struct FaultCase {
    Transfer transfer;
    Transport transport;
    int32_t map;
    uint32_t access;
};

std::string case_name(const testing::TestParamInfo<FaultCase>& info)
{
    const FaultCase& c = info.param;
    const char* transfers[] = {"UploadDefects", "DownloadDefects", "UploadShading"};
    return std::string(transfers[static_cast<int>(c.transfer)]) +
           (c.transport == Transport::gentl ? "GenTL" : "Serial") + "Map" + std::to_string(c.map) +
           "Access" + std::to_string(c.access);
}

Log quiet_log(nullptr, LOG_INFO);
const TransferTools no_waits{[](uint32_t) {}, &quiet_log};

void add_entries(DefpixTable& table, const std::vector<DefpixEntry>& entries)
{
    for (const DefpixEntry& entry : entries) table.defpix_add(entry.x, entry.y, entry.kind);
}

// What a transfer reports: a failure line, or "done" at its end.
bool reports_a_failure(const std::string& printed)
{
    static const char* const refusals[] = {"failed\n", "incompatible revision\n",
                                           "write protected\n", "invalid mapsize\n",
                                           "exceeded max. defect pixels"};
    for (const char* refusal : refusals)
        if (printed.find(refusal) != std::string::npos) return true;
    return false;
}

// The camera as a test reaches it: one transport, opened afresh for each
// transfer, so the camera reads its settings and its store again.
class Camera {
public:
    explicit Camera(Transport transport) : transport_(transport) {}

    template <typename Run>
    bool with_port(uint32_t fail_access, Run run)
    {
        write_text(config_, fail_access ? "fail_access=" + std::to_string(fail_access) + "\n"
                                        : std::string("\n"));
        test_env::set_environment("CAMSIM_CONFIG", config_.c_str());
        test_env::set_environment("CAMSIM_STATE", state_.c_str());
        return transport_ == Transport::gentl ? over_gentl(run) : over_serial(run);
    }

    camsim::CameraStore stored() const
    {
        camsim::CameraStore store;
        store.defect_maps.resize(4);
        store.shading_maps.resize(4);
        std::ifstream file(state_, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        if (!text.str().empty()) {
            EXPECT_TRUE(camsim::store_from_text(text.str(), store));
        }
        return store;
    }

private:
    static void write_text(const std::string& path, const std::string& text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }

    template <typename Run>
    bool over_gentl(Run run)
    {
        GenTLConnection connection(quiet_log);
        testing::internal::CaptureStdout();
        const bool opened = connection.bind(GenTLProducer::open(KD_CAMSIM_FILE)) == 0 &&
                            connection.open_interface("camsim-if0") &&
                            connection.open_device("") == 0;
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(opened);
        const bool done = opened && run(*connection.port());
        connection.close();
        // Ends the producer's session; the next transfer starts a new one.
        GenTLProducer::open(KD_CAMSIM_FILE)->GCCloseLib();
        return done;
    }

    template <typename Run>
    bool over_serial(Run run)
    {
        ClSerialPort port(0, std::unique_ptr<ClSerial>(new ClSerial(KD_CLSERSIM_FILE, quiet_log)),
                          "CamSim#COM1#Port0");
        port.serial->open(0);
        CLSerial_CTL ctl(port, quiet_log);
        const bool done = run(ctl);
        port.serial->close();
        return done;
    }

    Transport transport_;
    test_files::Scratch scratch_{"transfer_faults_"};
    std::string config_ = scratch_.path("camsim.conf");
    std::string state_ = scratch_.path("camsim.state");
};

const std::vector<DefpixEntry> good_map = {{7, 1, 0}, {2, 9, 0}, {11, 0, 4}, {4, 4, 0}};
const std::vector<DefpixEntry> new_map = {{1, 2, 0}, {3, 4, 0}, {5, 0, 4}};

std::vector<uint32_t> pixel_words(const std::vector<DefpixEntry>& entries)
{
    std::vector<uint32_t> words;
    for (const DefpixEntry& entry : entries)
        if (entry.kind < 4) words.push_back(defpix_entry_word(entry.x, entry.y));
    return words;
}

std::vector<uint32_t> column_words(const std::vector<DefpixEntry>& entries)
{
    std::vector<uint32_t> words;
    for (const DefpixEntry& entry : entries)
        if (entry.kind == 4) words.push_back(static_cast<uint32_t>(entry.x));
    return words;
}

std::unique_ptr<FloatMap> shading_of(float first)
{
    // Three gains: the last one travels in the upper half of a half-sent word.
    std::unique_ptr<FloatMap> map(new FloatMap(3, 1));
    for (int32_t i = 0; i < 3; ++i) map->data()[i] = first + 0.25f * static_cast<float>(i);
    return map;
}

class TransferFaults : public testing::TestWithParam<FaultCase> {
protected:
    // Runs one transfer with the given access failing; its printed lines.
    std::string transfer(Transfer kind, uint32_t fail_access,
                         const std::vector<DefpixEntry>& entries, const FloatMap& shading,
                         bool& done)
    {
        const FaultCase& c = GetParam();
        std::string printed;
        done = camera_.with_port(fail_access, [&](IPort& port) {
            DefpixTable table;
            add_entries(table, entries);
            testing::internal::CaptureStdout();
            bool result = false;
            if (kind == Transfer::upload_defects)
                result = upload_defpix_map(&port, table, c.map, no_waits);
            else if (kind == Transfer::upload_shading)
                result = upload_shading_map(&port, &shading, c.map, no_waits);
            else
                result = download_defpix_map(&port, downloaded_, c.map, no_waits);
            printed = testing::internal::GetCapturedStdout();
            return result;
        });
        return printed;
    }

    Camera camera_{GetParam().transport};
    DefpixTable downloaded_;
};

TEST_P(TransferFaults, ReportsFailureOrDoneAndTheStoreHoldsOneWholeMap)
{
    const FaultCase& c = GetParam();
    const size_t map = static_cast<size_t>(c.map);
    const std::unique_ptr<FloatMap> good_gains = shading_of(1.0f);
    const std::unique_ptr<FloatMap> new_gains = shading_of(2.0f);
    bool done = false;
    // The camera first holds a good map, uploaded without a fault.
    const Transfer first_kind =
        c.transfer == Transfer::download_defects ? Transfer::upload_defects : c.transfer;
    const std::string first = transfer(first_kind, 0, good_map, *good_gains, done);
    ASSERT_TRUE(done) << first;
    const camsim::CameraStore before = camera_.stored();

    const std::string printed = transfer(c.transfer, c.access, new_map, *new_gains, done);
    const bool failure = reports_a_failure(printed);
    EXPECT_NE(failure, printed.find("\ndone\n") != std::string::npos) << printed;
    EXPECT_EQ(done, !failure) << printed;

    const camsim::CameraStore after = camera_.stored();
    if (c.transfer == Transfer::upload_defects) {
        const camsim::DefectMap& held = after.defect_maps[map];
        const bool kept = held.pixels == before.defect_maps[map].pixels &&
                          held.columns == before.defect_maps[map].columns;
        const bool sent =
            held.pixels == pixel_words(new_map) && held.columns == column_words(new_map);
        EXPECT_TRUE(done ? sent : kept || sent) << printed;
    } else if (c.transfer == Transfer::upload_shading) {
        const std::vector<uint32_t>& held = after.shading_maps[map];
        const std::vector<uint32_t> sent = shading_words(new_gains->data(), 3, false);
        EXPECT_TRUE(held == sent || (!done && held == before.shading_maps[map])) << printed;
    } else {
        // Never a phantom entry: everything downloaded is in the camera's map.
        const std::vector<uint32_t> held = pixel_words(good_map);
        const std::set<uint32_t> words(held.begin(), held.end());
        for (const DefpixEntry& entry : downloaded_)
            EXPECT_EQ(words.count(defpix_entry_word(entry.x, entry.y)), 1u) << printed;
        if (done) {
            EXPECT_EQ(downloaded_.defpix_count(), static_cast<int32_t>(held.size()));
        }
        EXPECT_EQ(after.defect_maps[map].pixels, before.defect_maps[map].pixels);
    }
}

std::vector<FaultCase> every_access()
{
    std::vector<FaultCase> cases;
    for (Transport transport : {Transport::gentl, Transport::serial}) {
        for (uint32_t access = 1; access <= 14; ++access) {
            for (int32_t map : {1, 0})
                cases.push_back({Transfer::upload_defects, transport, map, access});
            cases.push_back({Transfer::download_defects, transport, 1, access});
            cases.push_back({Transfer::upload_shading, transport, 0, access});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryAccess, TransferFaults, testing::ValuesIn(every_access()), case_name);

}  // namespace
