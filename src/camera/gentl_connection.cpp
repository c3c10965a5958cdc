#include "camera/gentl_connection.h"

#include <vector>

#include "camera/ctl.h"
#include "lib/log.h"

using namespace gentl;

namespace {

constexpr size_t id_buffer_size = 1024;
constexpr size_t info_buffer_size = 64;
constexpr uint64_t device_list_timeout_ms = 2000;
// A producer that reports an absurd ID size gets the usual buffer.
constexpr size_t largest_id_size = size_t(1) << 20;

// A text buffer the producer fills; whatever it does, the text ends inside
// the buffer.
class TextBuffer {
public:
    explicit TextBuffer(size_t size) : bytes_(size + 1, '\0') {}
    char* data() { return bytes_.data(); }
    size_t size() const { return bytes_.size() - 1; }
    // The text, cut to what fits the buffer with its terminating NUL.
    String text()
    {
        bytes_[size() - 1] = '\0';
        return String(bytes_.data());
    }

private:
    std::vector<char> bytes_;
};

void list_interfaces(const GenTLProducer& producer, TL_HANDLE system, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        size_t size = 0;
        producer.TLGetInterfaceID(system, i, nullptr, &size);
        // An ID longer than the usual buffer still arrives whole and is then cut.
        TextBuffer id(size > id_buffer_size && size <= largest_id_size ? size : id_buffer_size);
        size_t offered = size > id.size() ? id.size() : size;
        producer.TLGetInterfaceID(system, i, id.data(), &offered);
        String text = id.text();
        if (text.length() >= static_cast<int32_t>(id_buffer_size))
            text = text.substring(0, static_cast<int32_t>(id_buffer_size) - 1);
        console_print("Interface %d - '%s'\n", static_cast<int>(i), text.c_str());
    }
}

}  // namespace

GenTLConnection::GenTLConnection(Log& log) : log_(log) {}

GenTLConnection::~GenTLConnection() = default;

int32_t GenTLConnection::bind(std::unique_ptr<GenTLProducer> producer)
{
    if (producer_) earlier_producers_.push_back(std::move(producer_));
    producer_ = std::move(producer);
    const GenTLProducer& gentl = *producer_;

    GC_ERROR status = gentl.GCInitLib();
    if (status != GC_ERR_SUCCESS) return status;
    tl_handle_ = nullptr;
    if_handle_ = nullptr;
    dev_handle_ = nullptr;
    port_handle_ = nullptr;
    status = gentl.TLOpen(&tl_handle_);
    if (status != GC_ERR_SUCCESS) return status;
    status = gentl.TLUpdateInterfaceList(tl_handle_, nullptr, GENTL_INFINITE);
    if (status != GC_ERR_SUCCESS) return status;
    uint32_t count = 0;
    status = gentl.TLGetNumInterfaces(tl_handle_, &count);
    if (status != GC_ERR_SUCCESS) return status;
    console_print("NumInterfaces %d\n", static_cast<int>(count));
    list_interfaces(gentl, tl_handle_, count);
    return GC_ERR_SUCCESS;
}

bool GenTLConnection::open_interface(const String& name)
{
    const GenTLProducer& gentl = *producer_;
    GC_ERROR status = gentl.TLOpenInterface(tl_handle_, name.c_str(), &if_handle_);
    console_print("TLOpenInterface('%s') -> %d\n", name.c_str(), static_cast<int>(status));
    if (status != GC_ERR_SUCCESS) {
        console_print("TLOpenInterface failed\n");
        return false;
    }
    gentl.IFUpdateDeviceList(if_handle_, nullptr, device_list_timeout_ms);
    uint32_t count = 0;
    if (gentl.IFGetNumDevices(if_handle_, &count) != GC_ERR_SUCCESS) {
        console_print("IFGetNumDevices failed\n");
        return false;
    }
    console_print("NumDevices %d\n", static_cast<int>(count));
    device_ids_.clear();
    for (uint32_t i = 0; i < count; ++i) {
        TextBuffer id(id_buffer_size);
        size_t id_size = id.size();
        gentl.IFGetDeviceID(if_handle_, i, id.data(), &id_size);
        String device_id = id.text();

        TextBuffer model(info_buffer_size);
        size_t model_size = model.size();
        INFO_DATATYPE type = 0;
        if (gentl.IFGetDeviceInfo(if_handle_, device_id.c_str(), DEVICE_INFO_MODEL, &type,
                                  model.data(), &model_size) != GC_ERR_SUCCESS)
            continue;
        console_print("Device %d - '%s'\n", static_cast<int>(i), device_id.c_str());
        device_ids_.add(new String(device_id));
    }
    return true;
}

int32_t GenTLConnection::open_device(const String& name)
{
    const GenTLProducer& gentl = *producer_;
    String device = name;
    if (device.empty() && device_ids_.count() > 0) device = *device_ids_.at(0);
    console_print("IFOpenDevice('%s')\n", device.c_str());
    GC_ERROR status =
        gentl.IFOpenDevice(if_handle_, device.c_str(), DEVICE_ACCESS_EXCLUSIVE, &dev_handle_);
    if (status != GC_ERR_SUCCESS) {
        console_print("IFOpenDevice('%s') failed - %d\n", device.c_str(), static_cast<int>(status));
        return status;
    }
    status = gentl.DevGetPort(dev_handle_, &port_handle_);
    if (status != GC_ERR_SUCCESS) {
        console_print("DevGetPort() failed - %d\n", static_cast<int>(status));
        gentl.IFClose(if_handle_);
        if_handle_ = nullptr;
        return status;
    }
    ctl_.reset(new CTL(gentl, port_handle_, log_));
    return GC_ERR_SUCCESS;
}

IPort* GenTLConnection::port() const { return ctl_.get(); }

bool GenTLConnection::close()
{
    if (!if_handle_) return false;
    console_print("closeGenTLDevice\n");
    ctl_.reset();
    producer_->DevClose(dev_handle_);
    dev_handle_ = nullptr;
    producer_->IFClose(if_handle_);
    if_handle_ = nullptr;
    return true;
}

int32_t open_cti(std::unique_ptr<GenTLConnection>& gentl, const String& file_name, Log& log)
{
    console_print("open_cti('%s')\n", file_name.c_str());
    std::unique_ptr<GenTLProducer> producer = GenTLProducer::open(file_name, &log);
    if (!producer) {
        console_print("cannot open cti\n");
        return GC_ERR_ERROR;
    }
    if (!gentl) gentl.reset(new GenTLConnection(log));
    return gentl->bind(std::move(producer));
}
