#include "gentl_consumer.h"

#include <cstring>

using namespace gentl;

std::unique_ptr<GenTLConsumer> GenTLConsumer::load(const std::string& path)
{
    auto consumer = std::make_unique<GenTLConsumer>();
    consumer->library = platform::SharedLibrary::open(path);
    if (!consumer->library) return nullptr;
    bool complete = true;
#define KD_CONSUMER_BIND(name)                                           \
    consumer->name = consumer->library->function<gentl::P##name>(#name); \
    complete = complete && consumer->name != nullptr;
    KD_CONSUMER_ENTRIES(KD_CONSUMER_BIND)
#undef KD_CONSUMER_BIND
    return complete ? std::move(consumer) : nullptr;
}

uint64_t InfoAnswer::number() const
{
    uint64_t value = 0;
    std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
    return value;
}

namespace {

template <typename Ask>
std::string first_id(Ask ask, void* parent)
{
    char id[256] = {};
    size_t size = sizeof id;
    return ask(parent, 0, id, &size) == GC_ERR_SUCCESS ? std::string(id) : std::string();
}

}  // namespace

OpenCamera::OpenCamera(const GenTLConsumer& consumer) : gentl(consumer)
{
    if (gentl.GCInitLib() != GC_ERR_SUCCESS || gentl.TLOpen(&system) != GC_ERR_SUCCESS) return;
    interface_id = first_id(gentl.TLGetInterfaceID, system);
    if (gentl.TLOpenInterface(system, interface_id.c_str(), &iface) != GC_ERR_SUCCESS) return;
    device_id = first_id(gentl.IFGetDeviceID, iface);
    if (gentl.IFOpenDevice(iface, device_id.c_str(), DEVICE_ACCESS_EXCLUSIVE, &device) !=
        GC_ERR_SUCCESS)
        return;
    gentl.DevGetPort(device, &port);
}

OpenCamera::~OpenCamera()
{
    if (device) gentl.DevClose(device);
    if (iface) gentl.IFClose(iface);
    if (system) gentl.TLClose(system);
    gentl.GCCloseLib();
}

GC_ERROR OpenCamera::read_register(uint32_t address, uint32_t& value) const
{
    unsigned char bytes[4] = {};
    size_t size = sizeof bytes;
    const GC_ERROR status = gentl.GCReadPort(port, address, bytes, &size);
    value =
        uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    return status;
}

GC_ERROR OpenCamera::write_register(uint32_t address, uint32_t value) const
{
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
        static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
    size_t size = sizeof bytes;
    return gentl.GCWritePort(port, address, bytes, &size);
}
