#include "Common/Volumes/ZovDeviceInfo.h"

#include "Platform/Exception.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

const char* const CategoriesSelector = "initialize";

} // namespace

const std::string& ZovDeviceInfo::generalUSBFileStorageCategory()
{
    static const std::string text = ZOV_TRANSLATE_CLASS("General USB File Storage", CategoriesSelector);
    return text;
}

const std::string& ZovDeviceInfo::pictureFrameCategory()
{
    static const std::string text = ZOV_TRANSLATE_CLASS("Picture Frame", CategoriesSelector);
    return text;
}

const std::string& ZovDeviceInfo::sharedVolumeCategory()
{
    static const std::string text = ZOV_TRANSLATE_CLASS("Shared volume", CategoriesSelector);
    return text;
}

const std::string& ZovDeviceInfo::imageCapturingDeviceCategory()
{
    static const std::string text = ZOV_TRANSLATE_CLASS("Image capturing device", CategoriesSelector);
    return text;
}

Value ZovDeviceInfo::parameter(std::string_view name) const
{
    std::lock_guard lock(mutex_);
    return keyDict_.get(name);
}

Value ZovDeviceInfo::keyDictionary() const
{
    std::lock_guard lock(mutex_);
    return keyDict_;
}

void ZovDeviceInfo::setParameter(std::string name, Value value)
{
    std::lock_guard lock(mutex_);
    keyDict_.set(std::move(name), std::move(value));
}

void ZovDeviceInfo::removeParameter(std::string_view name)
{
    std::lock_guard lock(mutex_);
    keyDict_.remove(name);
}

bool ZovDeviceInfo::flag(std::string_view name) const
{
    return parameter(name).toBool(false);
}

std::string ZovDeviceInfo::text(std::string_view name) const
{
    return parameter(name).toString();
}

std::string ZovDeviceInfo::vendorID() const
{
    return text(DeviceParameter::VendorID);
}

void ZovDeviceInfo::setVendorID(const Value& vendor)
{
    setParameter(DeviceParameter::VendorID, vendor.isNull() ? std::string("Unknown") : vendor.description());
}

std::string ZovDeviceInfo::productID() const
{
    return text(DeviceParameter::ProductID);
}

void ZovDeviceInfo::setProductID(const Value& product)
{
    setParameter(DeviceParameter::ProductID, product.isNull() ? std::string("Unknown") : product.description());
}

std::string ZovDeviceInfo::setDeviceModelVersion() const
{
    return text(DeviceParameter::ModelVersion);
}

void ZovDeviceInfo::setDeviceModelVersion(const std::optional<std::string>& version)
{
    if (version)
        setParameter(DeviceParameter::ModelVersion, *version);
}

std::string ZovDeviceInfo::displayName() const
{
    const Value name = parameter(DeviceParameter::DisplayName);
    return name.isString() ? name.asString() : name_;
}

void ZovDeviceInfo::setDisplayName(const std::optional<std::string>& name)
{
    if (name)
        setParameter(DeviceParameter::DisplayName, *name);
}

std::string ZovDeviceInfo::deviceModel() const
{
    return text(DeviceParameter::ModelName);
}

void ZovDeviceInfo::setDeviceModel(const std::optional<std::string>& model)
{
    if (model)
        setParameter(DeviceParameter::ModelName, *model);
}

std::optional<std::string> ZovDeviceInfo::deviceCategory() const
{
    const Value category = parameter(DeviceParameter::CategoryName);
    if (!category.isString())
        return std::nullopt;
    return category.asString();
}

void ZovDeviceInfo::setDeviceCategory(const std::optional<std::string>& category)
{
    if (category)
        setParameter(DeviceParameter::CategoryName, *category);
}

bool ZovDeviceInfo::deviceHandledByUser() const
{
    return flag(DeviceParameter::HandledByUser);
}

void ZovDeviceInfo::setDeviceHandledByUser(bool handled)
{
    setParameter(DeviceParameter::HandledByUser, handled);
}

std::string ZovDeviceInfo::type() const
{
    return text(DeviceParameter::Type);
}

std::string ZovDeviceInfo::deviceSerialNumber() const
{
    return text(DeviceParameter::SerialNumber);
}

bool ZovDeviceInfo::isEqual(const ZovDeviceInfo& other) const
{
    return type() == other.type() && key() == other.key();
}

std::string ZovDeviceInfo::generateDeviceKey(const std::vector<std::string>& names) const
{
    std::string key;
    std::lock_guard lock(mutex_);
    for (const std::string& name : names) {
        const Value& value = keyDict_.get(name);
        key += name + "=" + (value.isNull() ? std::string("(null)") : value.description()) + ";";
    }
    return key;
}

void ZovDeviceInfo::setKey(std::string key)
{
    if (key.empty())
        throw Exception("Invalid key", "- (void) setKey : (NSString *) deviceKey");
    key_ = std::move(key);
}

void ZovDeviceInfo::setDeviceSerialNumber(const std::optional<std::string>& serial)
{
    if (serial)
        setParameter(DeviceParameter::SerialNumber, *serial);
}

void ZovDeviceInfo::setType(std::string type)
{
    setParameter(DeviceParameter::Type, std::move(type));
}

} // namespace vistel
