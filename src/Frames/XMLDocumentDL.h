#pragma once
// XMLDocumentDL: the picture-frame device list, which says which frame sizes exist and which
// pixel resolutions belong to each.
//
// The list ("VistelDPF.xml") ships among the resources. Its entries are found at any depth:
//   <size>          minframesize, maxframesize (diagonals in inches), width, height (pixels):
//                   one resolution for a range of diagonals; minframesize is the entry's
//                   diagonal key; an entry without a maxframesize (or 0) takes no part in
//                   matching a diagonal.
//   <defaults>      FrameSize: the default diagonal.
//   <device-profile> name, device-type, width, height (also read as a device type:
//                   mac-vendor-id, mac-device-id, name, profile-list...).
//
// The first use copies the shipped list to applicationSupportFolder() + "/Zov Systems/<bundle
// name>/VistelDPF.xml" (folders 0755: the user's own) and reads that copy from then on, so a
// user may edit it. An existing copy is never replaced; a copy that cannot be read is left as it
// is and the shipped list is read instead.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/XML/XMLFrameManager.h"

namespace vistel {

// A "size" entry.
class XMLDeviceResolution : public XMLNode {
public:
    static Ref<XMLNode> create(XMLDocumentPtr document, pugi::xml_node node);
    std::optional<std::string> deviceSize() const { return getParameterByName("minframesize"); }
    std::optional<std::string> minDeviceSize() const { return getParameterByName("minframesize"); }
    std::optional<std::string> maxDeviceSize() const { return getParameterByName("maxframesize"); }
    // The number in "width" / "height"; nil without the child.
    std::optional<double> resolutionWidth() const;
    std::optional<double> resolutionHeight() const;

private:
    using XMLNode::XMLNode;
};

// A "device-profile" entry.
class XMLDeviceProfile : public XMLNode {
public:
    static Ref<XMLNode> create(XMLDocumentPtr document, pugi::xml_node node);
    std::optional<std::string> getDeviceName() const { return getParameterByName("name"); }
    std::optional<std::string> getDeviceTypeName() const { return getParameterByName("device-type"); }
    // 0 when missing or not a number.
    unsigned width() const;
    unsigned height() const;
    ItemSize getDeviceMode() const { return {float(width()), float(height())}; }

private:
    using XMLNode::XMLNode;
};

// A device type: a USB device kind with the profiles it supports.
class XMLDeviceType : public XMLNode {
public:
    static Ref<XMLNode> create(XMLDocumentPtr document, pugi::xml_node node);
    std::optional<std::string> getVendorID() const { return getParameterByName("mac-vendor-id"); }
    std::optional<std::string> getDeviceID() const { return getParameterByName("mac-device-id"); }
    std::optional<std::string> getName() const { return getParameterByName("name"); }
    std::optional<std::string> getDefaultProfile() const { return getParameterByName("name"); }
    // Both ids equal the entry's (letter case counts).
    bool isEqual(std::string_view vendorID, std::string_view deviceID) const;
    // YES without any "profile-list" child, or when one names the profile.
    bool isProfileSupported(const XMLDeviceProfile* profile) const;

private:
    using XMLNode::XMLNode;
};

class XMLDocumentDL : public XMLFrameManager {
public:
    static constexpr const char* ResourceName = "VistelDPF";
    static constexpr const char* ResourceType = "xml";

    XMLDocumentDL();

    // The list read once per run; null when it could not be read (not tried again).
    static XMLDocumentDL* defaultDocumentDL();
    // Forgets the shared list, so that the next use reads it again (tests).
    static void resetDefaultDocumentDL();

    Ref<XMLNodeEnumerator> getDeviceResolutionEnumerator() const { return getXMLNodeEnumerator(XMLNodeType::DeviceResolution); }
    Ref<XMLNodeEnumerator> getDeviceTypeEnumerator() const { return getXMLNodeEnumerator(XMLNodeType::DeviceType); }

    // The distinct diagonal keys, in list order ("10" and "10.0" are two); nil without a document.
    std::optional<std::vector<std::string>> getDeviceSizesArray() const;
    // The resolutions of the entries whose key is exactly `size`, duplicates kept, in list order.
    std::vector<ItemSize> getResolutionsForSize(std::string_view size) const;
    // The distinct resolutions whose range holds the diagonal, larger width first (then larger
    // height). A diagonal above every range takes the largest maximum's, one below every range
    // the smallest minimum's; a diagonal in a gap between ranges gets none.
    std::vector<ItemSize> matchResolutionsForSize(std::string_view diagonal) const;
    // The "FrameSize" of the first "defaults" entry.
    std::optional<std::string> defaultFrameSize() const;
    // Whether a device type has these ids; YES without a document.
    bool isDeviceDPF(std::string_view deviceID, std::string_view vendorID) const;

    static std::string getXMLBundlePath();
    std::int32_t ReadXMLFromBundle() { return ReadXMLFile(getXMLBundlePath()); }
    // applicationSupportFolder(); nil when there is none.
    static std::optional<std::string> getApplicationSupportDirectory();
    // The path of the local copy; nil without an Application Support folder or bundle name.
    static std::optional<std::string> localCopyPath();
    // Makes the local copy when there is none, reads it, else the shipped list: 0, 2, 3, 5 or 7.
    std::int32_t ReadXMLDL();

    // Registers the wrapper classes of the device list's node types (done by the constructor).
    static void registerWrapperClasses();
};

// The size ordering of resolution lists: larger width first, on equal widths larger height first.
bool sizeComesBefore(const ItemSize& a, const ItemSize& b);

} // namespace vistel
