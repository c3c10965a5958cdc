#include "camera/device_features.h"

#include <vector>

#include "camera/genapi_description.h"
#include "camera/genapi_location.h"
#include "camera/zip_entry.h"

namespace {

class DevicePort : public RegisterAccess {
public:
    explicit DevicePort(const GenTLDevice& device) : device_(device) {}
    bool read(uint64_t address, void* buffer, size_t length, std::string& error) override
    {
        return device_.read(address, buffer, length, error);
    }
    bool write(uint64_t address, const void* buffer, size_t length, std::string& error) override
    {
        return device_.write(address, buffer, length, error);
    }

private:
    const GenTLDevice& device_;
};

class DescribedFeatures : public CameraFeatures {
public:
    DescribedFeatures(const GenTLDevice& device, std::unique_ptr<GenApiDescription> description)
        : port_(device), description_(std::move(description))
    {
    }
    bool has(const std::string& feature) const override { return description_->has(feature); }
    bool read_integer(const std::string& feature, int64_t& value, std::string& error) override
    {
        return description_->read_integer(feature, port_, value, error);
    }
    bool read_enumeration(const std::string& feature, std::string& entry,
                          std::string& error) override
    {
        return description_->read_enumeration(feature, port_, entry, error);
    }
    bool set_enumeration(const std::string& feature, const std::string& entry,
                         std::string& error) override
    {
        return description_->set_enumeration(feature, entry, port_, error);
    }
    bool write_integer(const std::string& feature, int64_t value, std::string& error) override
    {
        return description_->write_integer(feature, value, port_, error);
    }
    bool execute(const std::string& command, std::string& error) override
    {
        return description_->execute(command, port_, error);
    }

private:
    DevicePort port_;
    std::unique_ptr<GenApiDescription> description_;
};

}  // namespace

std::unique_ptr<CameraFeatures> read_device_features(const GenTLDevice& device, std::string& error)
{
    std::string url;
    if (!device.description_url(url, error)) return nullptr;
    DescriptionLocation location;
    if (!parse_description_url(url, location, error)) return nullptr;
    if (location.length == 0 || location.length > max_description_size) {
        error = "description at \"" + url + "\" has a length of " +
                std::to_string(location.length) + " bytes, which cannot be a description";
        return nullptr;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(location.length));
    std::string reason;
    if (!device.read(location.address, bytes.data(), bytes.size(), reason)) {
        error = "description at \"" + url + "\" cannot be read: " + reason;
        return nullptr;
    }
    std::string xml;
    if (!description_xml(location, bytes, xml, error)) return nullptr;
    std::unique_ptr<GenApiDescription> description = GenApiDescription::parse(xml, reason);
    if (!description) {
        error = "description at \"" + url + "\": " + reason;
        return nullptr;
    }
    return std::unique_ptr<CameraFeatures>(new DescribedFeatures(device, std::move(description)));
}
