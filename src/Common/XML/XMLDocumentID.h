#pragma once
// XMLDocumentID: the identity file that marks a volume as a picture frame.
//
// The file ".VistelDPF-ID.xml" at the volume's root holds, under a root element
// "vistel-dpf-id", the elements "vistel-id" (the frame id: the volume's device key),
// "displayname", "framesize" (the diagonal as the user typed it), "width" and "height" (the
// resolution in pixels). Reading looks only for these element names (with letter case),
// wherever they are; the root's name and other elements play no part. The file is rewritten
// whole on every save.
//
// Used by the volume information of a mounted volume, on whichever thread builds it.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Common/XML/XMLFrameManager.h"

namespace vistel {

class XMLDocumentID : public XMLFrameManager {
public:
    static constexpr const char* DefaultFileName = ".VistelDPF-ID.xml";

    struct Resolution {
        float width = 0;
        float height = 0;
    };

    // The document read from `folder`/`fileName` (nullopt: the default name); null when the
    // file is missing, unreadable or not XML.
    static std::unique_ptr<XMLDocumentID> createWithXMLFile(std::string_view folder,
                                                            std::optional<std::string_view> fileName = std::nullopt);

    // A new document; null without a frame id. A missing display name is "Empty name", a
    // missing width or height 0, a missing frame size an empty element.
    static std::unique_ptr<XMLDocumentID> createWithParameters(const std::optional<std::string>& deviceId,
                                                               const std::optional<std::string>& displayName,
                                                               std::optional<double> width,
                                                               std::optional<double> height,
                                                               const std::optional<std::string>& frameSize);

    // 0 written; 6 not written.
    std::int32_t saveToFile(std::string_view folder, std::optional<std::string_view> fileName = std::nullopt) const;
    // Deletes `folder`/`fileName`; answers 0, whether or not there was a file.
    static std::int32_t removeFile(std::string_view folder, std::optional<std::string_view> fileName = std::nullopt);

    // The text of the first element named `name` (letter case counts) anywhere in the
    // document; nil when there is none.
    std::optional<std::string> getKeyValueByName(std::string_view name) const;
    std::optional<std::string> getDeviceUUID() const { return getKeyValueByName("vistel-id"); }
    std::optional<std::string> getDisplayname() const { return getKeyValueByName("displayname"); }
    std::optional<std::string> getFrameSize() const { return getKeyValueByName("framesize"); }
    // The numbers at the start of "width" and "height"; 0 for a missing element.
    Resolution getResolution() const;

    // The path of the identity file in `folder`.
    static std::string filePath(std::string_view folder, std::optional<std::string_view> fileName);

private:
    XMLDocumentID() = default;
};

} // namespace vistel
