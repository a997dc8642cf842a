#include "Frames/XMLDocumentDL.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <limits>

#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "Platform/UserDefaults.h"

namespace vistel {

namespace {

// The number a text starts with (after white space); 0 for a text that does not start with one.
double leadingNumber(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start])))
        ++start;
    if (start < text.size() && text[start] == '+')
        ++start;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    return error == std::errc() && std::isfinite(value) ? value : 0;
}

double leadingNumberOf(const std::optional<std::string>& text)
{
    return text ? leadingNumber(std::string_view(*text)) : 0;
}

template<class Wrapper>
void eachEntry(const Ref<XMLNodeEnumerator>& entries, auto&& body)
{
    if (!entries)
        return;
    while (Ref<XMLNode> node = entries->nextObject())
        if (auto* entry = dynamic_cast<Wrapper*>(node.get()))
            body(*entry);
}

} // namespace

// --- wrappers -------------------------------------------------------------------------------------------

Ref<XMLNode> XMLDeviceResolution::create(XMLDocumentPtr document, pugi::xml_node node)
{
    return Ref<XMLNode>::adopt(new XMLDeviceResolution(std::move(document), node));
}

std::optional<double> XMLDeviceResolution::resolutionWidth() const
{
    const std::optional<std::string> text = getParameterByName("width");
    return text ? std::optional<double>(leadingNumber(std::string_view(*text))) : std::nullopt;
}

std::optional<double> XMLDeviceResolution::resolutionHeight() const
{
    const std::optional<std::string> text = getParameterByName("height");
    return text ? std::optional<double>(leadingNumber(std::string_view(*text))) : std::nullopt;
}

Ref<XMLNode> XMLDeviceProfile::create(XMLDocumentPtr document, pugi::xml_node node)
{
    return Ref<XMLNode>::adopt(new XMLDeviceProfile(std::move(document), node));
}

unsigned XMLDeviceProfile::width() const
{
    const double value = leadingNumberOf(getParameterByName("width"));
    return value > 0 && value < std::numeric_limits<unsigned>::max() ? unsigned(value) : 0;
}

unsigned XMLDeviceProfile::height() const
{
    const double value = leadingNumberOf(getParameterByName("height"));
    return value > 0 && value < std::numeric_limits<unsigned>::max() ? unsigned(value) : 0;
}

Ref<XMLNode> XMLDeviceType::create(XMLDocumentPtr document, pugi::xml_node node)
{
    return Ref<XMLNode>::adopt(new XMLDeviceType(std::move(document), node));
}

bool XMLDeviceType::isEqual(std::string_view vendorID, std::string_view deviceID) const
{
    return getVendorID() == vendorID && getDeviceID() == deviceID;
}

bool XMLDeviceType::isProfileSupported(const XMLDeviceProfile* profile) const
{
    if (!profile)
        return false;
    bool listed = false;
    const std::optional<std::string> name = profile->getDeviceName();
    for (pugi::xml_node child : getXMLNode().children()) {
        if (child.type() != pugi::node_element || std::string_view(child.name()) != "profile-list")
            continue;
        listed = true;
        if (name && xmlStringValue(child) == *name)
            return true;
    }
    return !listed;
}

// --- the list -------------------------------------------------------------------------------------------

namespace {

std::unique_ptr<XMLDocumentDL>& sharedList()
{
    static std::unique_ptr<XMLDocumentDL> list;
    return list;
}
bool sharedListFailed = false;

} // namespace

bool sizeComesBefore(const ItemSize& a, const ItemSize& b)
{
    if (a.width != b.width)
        return a.width > b.width;
    return a.height > b.height;
}

void XMLDocumentDL::registerWrapperClasses()
{
    XMLNodeEnumerator::registerWrapperClass(XMLNodeType::DeviceProfile, &XMLDeviceProfile::create);
    XMLNodeEnumerator::registerWrapperClass(XMLNodeType::DeviceType, &XMLDeviceType::create);
    XMLNodeEnumerator::registerWrapperClass(XMLNodeType::DeviceResolution, &XMLDeviceResolution::create);
}

XMLDocumentDL::XMLDocumentDL()
{
    registerWrapperClasses();
}

XMLDocumentDL* XMLDocumentDL::defaultDocumentDL()
{
    if (!sharedList() && !sharedListFailed) {
        auto list = std::make_unique<XMLDocumentDL>();
        if (list->ReadXMLDL() == XMLResult::Done)
            sharedList() = std::move(list);
        else
            sharedListFailed = true;
    }
    return sharedList().get();
}

void XMLDocumentDL::resetDefaultDocumentDL()
{
    sharedList().reset();
    sharedListFailed = false;
}

std::optional<std::vector<std::string>> XMLDocumentDL::getDeviceSizesArray() const
{
    if (!getXMLDocument())
        return std::nullopt;
    std::vector<std::string> sizes;
    eachEntry<XMLDeviceResolution>(getDeviceResolutionEnumerator(), [&](const XMLDeviceResolution& entry) {
        const std::optional<std::string> key = entry.deviceSize();
        if (key && std::find(sizes.begin(), sizes.end(), *key) == sizes.end())
            sizes.push_back(*key);
    });
    return sizes;
}

std::vector<ItemSize> XMLDocumentDL::getResolutionsForSize(std::string_view size) const
{
    std::vector<ItemSize> resolutions;
    eachEntry<XMLDeviceResolution>(getDeviceResolutionEnumerator(), [&](const XMLDeviceResolution& entry) {
        if (entry.deviceSize() == size)
            resolutions.push_back({float(entry.resolutionWidth().value_or(0)), float(entry.resolutionHeight().value_or(0))});
    });
    return resolutions;
}

std::vector<ItemSize> XMLDocumentDL::matchResolutionsForSize(std::string_view diagonal) const
{
    auto match = [this](double size, double& largestMaximum, double& smallestMinimum, bool& seen) {
        std::vector<ItemSize> result;
        eachEntry<XMLDeviceResolution>(getDeviceResolutionEnumerator(), [&](const XMLDeviceResolution& entry) {
            const double maximum = float(leadingNumberOf(entry.maxDeviceSize()));
            const double minimum = float(leadingNumberOf(entry.minDeviceSize()));
            if (maximum == 0)
                return;
            if (minimum <= size && size <= maximum) {
                const ItemSize resolution {float(entry.resolutionWidth().value_or(0)), float(entry.resolutionHeight().value_or(0))};
                if (std::find(result.begin(), result.end(), resolution) == result.end())
                    result.push_back(resolution);
            }
            seen = true;
            smallestMinimum = std::min(smallestMinimum, minimum);
            largestMaximum = std::max(largestMaximum, maximum);
        });
        std::stable_sort(result.begin(), result.end(), sizeComesBefore);
        return result;
    };
    // Compared as the list's numbers are: in single precision.
    const double size = float(leadingNumber(diagonal));
    double largestMaximum = 0;
    double smallestMinimum = std::numeric_limits<float>::max();
    bool seen = false;
    std::vector<ItemSize> result = match(size, largestMaximum, smallestMinimum, seen);
    if (!result.empty())
        return result;
    double ignoredMaximum = 0, ignoredMinimum = 0;
    bool ignoredSeen = false;
    if (size > largestMaximum && largestMaximum != 0)
        return match(largestMaximum, ignoredMaximum, ignoredMinimum, ignoredSeen);
    if (seen && size < smallestMinimum)
        return match(smallestMinimum, ignoredMaximum, ignoredMinimum, ignoredSeen);
    return result;
}

std::optional<std::string> XMLDocumentDL::defaultFrameSize() const
{
    Ref<XMLNodeEnumerator> defaults = getXMLNodeEnumerator(XMLNodeType::Defaults);
    if (!defaults) {
        ZovLog("Can't load defaults from XML");
        return std::nullopt;
    }
    Ref<XMLNode> first = defaults->nextObject();
    return first ? first->getParameterByName("FrameSize") : std::nullopt;
}

bool XMLDocumentDL::isDeviceDPF(std::string_view deviceID, std::string_view vendorID) const
{
    if (!getXMLDocument())
        return true;
    bool found = false;
    eachEntry<XMLDeviceType>(getDeviceTypeEnumerator(), [&](const XMLDeviceType& type) {
        found = found || type.isEqual(vendorID, deviceID);
    });
    return found;
}

// --- reading ----------------------------------------------------------------------------------------------

std::string XMLDocumentDL::getXMLBundlePath()
{
    return Bundle::main()->pathForResource(ResourceName, ResourceType);
}

std::optional<std::string> XMLDocumentDL::getApplicationSupportDirectory()
{
    std::string folder = applicationSupportFolder();
    if (folder.empty() || folder.front() != '/') {
        ZovLog("getApplicationSupportDirectory FSFindFolder can't get application support directory");
        return std::nullopt;
    }
    return folder;
}

std::optional<std::string> XMLDocumentDL::localCopyPath()
{
    const std::optional<std::string> folder = getApplicationSupportDirectory();
    if (!folder)
        return std::nullopt;
    const Value& name = Bundle::main()->objectForInfoDictionaryKey("CFBundleName");
    if (!name.isString() || name.toString().empty()) {
        ZovLog("XMLDocumentDL::ReadXMLDL can't load CFBundleName");
        return std::nullopt;
    }
    return *folder + "/Zov Systems/" + name.toString() + "/" + ResourceName + "." + ResourceType;
}

std::int32_t XMLDocumentDL::ReadXMLDL()
{
    if (!getApplicationSupportDirectory())
        return XMLResult::NoApplicationSupportFolder;
    const std::optional<std::string> local = localCopyPath();
    if (!local)
        return XMLResult::NoBundleName;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(*local, error))) {
        // The user's own folders: nobody else may put a list there.
        const std::filesystem::path bundleFolder = std::filesystem::path(*local).parent_path();
        for (const std::filesystem::path& folder : {bundleFolder.parent_path(), bundleFolder})
            if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
                break;
        std::filesystem::copy_file(getXMLBundlePath(), *local, std::filesystem::copy_options::none, error);
    }
    if (ReadXMLFile(*local) == XMLResult::Done)
        return XMLResult::Done;
    ZovLog("XMLDocumentDL::ReadXMLDL can't read " + *local + ", reading the list of the application");
    return ReadXMLFromBundle();
}

} // namespace vistel
