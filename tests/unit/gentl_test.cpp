#include "camera/gentl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace gentl;

namespace {

// Written out from the standard's list, independently of the binding's table.
const std::vector<std::string> bound_names = {
    "GCGetInfo",
    "GCGetLastError",
    "GCInitLib",
    "GCCloseLib",
    "GCReadPort",
    "GCWritePort",
    "GCGetPortURL",
    "GCGetPortInfo",
    "GCRegisterEvent",
    "GCUnregisterEvent",
    "EventGetData",
    "EventGetDataInfo",
    "EventGetInfo",
    "EventFlush",
    "EventKill",
    "TLOpen",
    "TLClose",
    "TLGetInfo",
    "TLGetNumInterfaces",
    "TLGetInterfaceID",
    "TLGetInterfaceInfo",
    "TLOpenInterface",
    "TLUpdateInterfaceList",
    "IFClose",
    "IFGetInfo",
    "IFGetNumDevices",
    "IFGetDeviceID",
    "IFUpdateDeviceList",
    "IFGetDeviceInfo",
    "IFOpenDevice",
    "DevGetPort",
    "DevGetNumDataStreams",
    "DevGetDataStreamID",
    "DevOpenDataStream",
    "DevGetInfo",
    "DevClose",
    "DSAnnounceBuffer",
    "DSAllocAndAnnounceBuffer",
    "DSFlushQueue",
    "DSStartAcquisition",
    "DSStopAcquisition",
    "DSGetInfo",
    "DSGetBufferID",
    "DSClose",
    "DSRevokeBuffer",
    "DSQueueBuffer",
    "DSGetBufferInfo",
    "GCGetNumPortURLs",
    "GCGetPortURLInfo",
    "GCReadPortStacked",
    "GCWritePortStacked",
    "DSGetBufferChunkData",
    "IFGetParentTL",
    "DevGetParentIF",
    "DSGetParentDev",
    "DSGetNumBufferParts",
    "DSGetBufferPartInfo",
};

TEST(GenTLProducer, LooksUpEveryEntryPointByNameInOrder)
{
    std::vector<std::string> asked;
    GenTLProducer producer([&asked](const char* name) -> GenTLProducer::AnyEntry {
        asked.push_back(name);
        return nullptr;
    });
    EXPECT_EQ(asked, bound_names);
}

// Each fake entry point records which one was called and what it was given.
std::string called;
std::vector<uint64_t> arguments;

GC_ERROR GC_CALLTYPE fake_init()
{
    called = "GCInitLib";
    return 1;
}
GC_ERROR GC_CALLTYPE fake_tl_open(TL_HANDLE*)
{
    called = "TLOpen";
    return 2;
}
GC_ERROR GC_CALLTYPE fake_update_interfaces(TL_HANDLE, bool8_t*, uint64_t timeout)
{
    called = "TLUpdateInterfaceList";
    arguments = {timeout};
    return 3;
}
GC_ERROR GC_CALLTYPE fake_num_interfaces(TL_HANDLE, uint32_t*)
{
    called = "TLGetNumInterfaces";
    return 4;
}
GC_ERROR GC_CALLTYPE fake_interface_id(TL_HANDLE, uint32_t index, char*, size_t*)
{
    called = "TLGetInterfaceID";
    arguments = {index};
    return 5;
}
GC_ERROR GC_CALLTYPE fake_open_interface(TL_HANDLE, const char*, IF_HANDLE*)
{
    called = "TLOpenInterface";
    return 6;
}
GC_ERROR GC_CALLTYPE fake_update_devices(IF_HANDLE, bool8_t*, uint64_t timeout)
{
    called = "IFUpdateDeviceList";
    arguments = {timeout};
    return 7;
}
GC_ERROR GC_CALLTYPE fake_num_devices(IF_HANDLE, uint32_t*)
{
    called = "IFGetNumDevices";
    return 8;
}
GC_ERROR GC_CALLTYPE fake_device_id(IF_HANDLE, uint32_t index, char*, size_t*)
{
    called = "IFGetDeviceID";
    arguments = {index};
    return 9;
}
GC_ERROR GC_CALLTYPE fake_device_info(IF_HANDLE, const char*, DEVICE_INFO_CMD command,
                                      INFO_DATATYPE*, void*, size_t* size)
{
    called = "IFGetDeviceInfo";
    arguments = {static_cast<uint64_t>(command), *size};
    return 10;
}
GC_ERROR GC_CALLTYPE fake_open_device(IF_HANDLE, const char*, DEVICE_ACCESS_FLAGS flags,
                                      DEV_HANDLE*)
{
    called = "IFOpenDevice";
    arguments = {static_cast<uint64_t>(flags)};
    return 11;
}
GC_ERROR GC_CALLTYPE fake_port(DEV_HANDLE, PORT_HANDLE*)
{
    called = "DevGetPort";
    return 12;
}
GC_ERROR GC_CALLTYPE fake_dev_close(DEV_HANDLE)
{
    called = "DevClose";
    return 13;
}
GC_ERROR GC_CALLTYPE fake_if_close(IF_HANDLE)
{
    called = "IFClose";
    return 14;
}
GC_ERROR GC_CALLTYPE fake_read(PORT_HANDLE, uint64_t address, void*, size_t*)
{
    called = "GCReadPort";
    arguments = {address};
    return 15;
}
GC_ERROR GC_CALLTYPE fake_write(PORT_HANDLE, uint64_t address, const void*, size_t*)
{
    called = "GCWritePort";
    arguments = {address};
    return 16;
}

template <typename F>
GenTLProducer::AnyEntry any(F function)
{
    return reinterpret_cast<GenTLProducer::AnyEntry>(function);
}

GenTLProducer::AnyEntry fake_entries(const char* name)
{
    const struct {
        const char* name;
        GenTLProducer::AnyEntry entry;
    } table[] = {
        {"GCInitLib", any(&fake_init)},
        {"TLOpen", any(&fake_tl_open)},
        {"TLUpdateInterfaceList", any(&fake_update_interfaces)},
        {"TLGetNumInterfaces", any(&fake_num_interfaces)},
        {"TLGetInterfaceID", any(&fake_interface_id)},
        {"TLOpenInterface", any(&fake_open_interface)},
        {"IFUpdateDeviceList", any(&fake_update_devices)},
        {"IFGetNumDevices", any(&fake_num_devices)},
        {"IFGetDeviceID", any(&fake_device_id)},
        {"IFGetDeviceInfo", any(&fake_device_info)},
        {"IFOpenDevice", any(&fake_open_device)},
        {"DevGetPort", any(&fake_port)},
        {"DevClose", any(&fake_dev_close)},
        {"IFClose", any(&fake_if_close)},
        {"GCReadPort", any(&fake_read)},
        {"GCWritePort", any(&fake_write)},
    };
    for (const auto& row : table)
        if (std::strcmp(row.name, name) == 0) return row.entry;
    return nullptr;
}

struct CallCase {
    const char* entry;
    GC_ERROR answer;
    std::vector<uint64_t> arguments;
    std::function<GC_ERROR(const GenTLProducer&)> call;
};

std::ostream& operator<<(std::ostream& out, const CallCase& c) { return out << c.entry; }

class GenTLCalls : public ::testing::TestWithParam<CallCase> {
protected:
    void SetUp() override
    {
        called.clear();
        arguments.clear();
    }
};

TEST_P(GenTLCalls, ReachTheEntryPointOfTheirName)
{
    const CallCase& c = GetParam();
    GenTLProducer producer(fake_entries);
    EXPECT_TRUE(producer.offers(c.entry));
    EXPECT_EQ(c.call(producer), c.answer);
    EXPECT_EQ(called, c.entry);
    EXPECT_EQ(arguments, c.arguments);
}

TEST_P(GenTLCalls, AnswerNotImplementedWhenTheProducerLacksThem)
{
    GenTLProducer producer([](const char*) -> GenTLProducer::AnyEntry { return nullptr; });
    EXPECT_FALSE(producer.offers(GetParam().entry));
    EXPECT_EQ(GetParam().call(producer), GC_ERR_NOT_IMPLEMENTED);
    EXPECT_EQ(called, "");
}

char text[64];
size_t size = sizeof text;
void* handle = nullptr;
uint32_t count = 0;

INSTANTIATE_TEST_SUITE_P(
    Bound, GenTLCalls,
    ::testing::Values(
        CallCase{"GCInitLib", 1, {}, [](const GenTLProducer& p) { return p.GCInitLib(); }},
        CallCase{"TLOpen", 2, {}, [](const GenTLProducer& p) { return p.TLOpen(&handle); }},
        CallCase{"TLUpdateInterfaceList",
                 3,
                 {GENTL_INFINITE},
                 [](const GenTLProducer& p) {
                     return p.TLUpdateInterfaceList(handle, nullptr, GENTL_INFINITE);
                 }},
        CallCase{"TLGetNumInterfaces",
                 4,
                 {},
                 [](const GenTLProducer& p) { return p.TLGetNumInterfaces(handle, &count); }},
        CallCase{"TLGetInterfaceID",
                 5,
                 {7},
                 [](const GenTLProducer& p) { return p.TLGetInterfaceID(handle, 7, text, &size); }},
        CallCase{"TLOpenInterface",
                 6,
                 {},
                 [](const GenTLProducer& p) { return p.TLOpenInterface(handle, "if", &handle); }},
        CallCase{
            "IFUpdateDeviceList",
            7,
            {2000},
            [](const GenTLProducer& p) { return p.IFUpdateDeviceList(handle, nullptr, 2000); }},
        CallCase{"IFGetNumDevices",
                 8,
                 {},
                 [](const GenTLProducer& p) { return p.IFGetNumDevices(handle, &count); }},
        CallCase{"IFGetDeviceID",
                 9,
                 {3},
                 [](const GenTLProducer& p) { return p.IFGetDeviceID(handle, 3, text, &size); }},
        CallCase{"IFGetDeviceInfo",
                 10,
                 {DEVICE_INFO_MODEL, sizeof text},
                 [](const GenTLProducer& p) {
                     INFO_DATATYPE type;
                     size = sizeof text;
                     return p.IFGetDeviceInfo(handle, "dev", DEVICE_INFO_MODEL, &type, text, &size);
                 }},
        CallCase{"IFOpenDevice",
                 11,
                 {DEVICE_ACCESS_EXCLUSIVE},
                 [](const GenTLProducer& p) {
                     return p.IFOpenDevice(handle, "dev", DEVICE_ACCESS_EXCLUSIVE, &handle);
                 }},
        CallCase{"DevGetPort",
                 12,
                 {},
                 [](const GenTLProducer& p) { return p.DevGetPort(handle, &handle); }},
        CallCase{"DevClose", 13, {}, [](const GenTLProducer& p) { return p.DevClose(handle); }},
        CallCase{"IFClose", 14, {}, [](const GenTLProducer& p) { return p.IFClose(handle); }},
        CallCase{
            "GCReadPort",
            15,
            {0x10004040},
            [](const GenTLProducer& p) { return p.GCReadPort(handle, 0x10004040, text, &size); }},
        CallCase{"GCWritePort", 16, {0xBF04}, [](const GenTLProducer& p) {
                     return p.GCWritePort(handle, 0xBF04, text, &size);
                 }}));

TEST(GenTLProducer, TheSimulatedProducerExportsEveryNameUndecorated)
{
    std::unique_ptr<GenTLProducer> producer = GenTLProducer::open(KD_CAMSIM_FILE);
    ASSERT_TRUE(producer) << "cannot load " << KD_CAMSIM_FILE;
    for (const std::string& name : bound_names) EXPECT_TRUE(producer->offers(name.c_str())) << name;
}

TEST(GenTLProducer, AFileThatIsNoLibraryIsNotBound)
{
    EXPECT_FALSE(GenTLProducer::open("no-such-producer.cti"));
    EXPECT_FALSE(GenTLProducer::open(""));
}

}  // namespace
