#pragma once
// XMLFrameManager: the owner of one parsed XML document of the picture-frame code (the device
// list, the identity file); reads a file and writes the document back.
//
// Reading refuses what is not a plain XML file of at most 1 MiB. Document type declarations
// are skipped and entities other than the predefined ones and character references are
// never expanded, so a file cannot make the reader fetch or grow anything. There is no
// lenient second parse: a malformed file is not parseable.
//
// Saving goes through the safe save (FileSystemFunctions::writeNSDataToFile), indented; on a
// FAT volume the file also gets the hidden attribute (elsewhere a leading "." in the name is
// the only hiding there is).
//
// One thread at a time.

#include <cstdint>
#include <string_view>

#include "Common/XML/XMLNodeEnumerator.h"

namespace vistel {

// Result codes of the manager and its subclasses.
namespace XMLResult {
inline constexpr std::int32_t Done = 0;
inline constexpr std::int32_t BadPath = 2;
inline constexpr std::int32_t NotParseable = 3;
inline constexpr std::int32_t NoApplicationSupportFolder = 5;
inline constexpr std::int32_t NotSaved = 6;
inline constexpr std::int32_t NoBundleName = 7;
} // namespace XMLResult

class XMLFrameManager {
public:
    // Files above this size are not read.
    static constexpr std::size_t MaximumFileSize = 1 << 20;

    XMLFrameManager() = default;
    virtual ~XMLFrameManager() = default;
    XMLFrameManager(const XMLFrameManager&) = delete;
    XMLFrameManager& operator=(const XMLFrameManager&) = delete;

    // The document, or null.
    const XMLDocumentPtr& getXMLDocument() const { return document_; }

    // 0 and the parsed file as the document; 2 for an empty path (the document stays);
    // 3 when the file cannot be read or parsed (no document then).
    std::int32_t ReadXMLFile(std::string_view path);

    // An enumerator over the document; null without a document.
    Ref<XMLNodeEnumerator> getXMLNodeEnumerator(int nodeType) const;
    Ref<XMLNodeEnumerator> getDeviceProfileEnumerator() const;

    // 0 once the file is written; 6 without a document or when the file cannot be written
    // (nothing is written then).
    std::int32_t saveToFile(std::string_view path) const;

protected:
    void setXMLDocument(XMLDocumentPtr document) { document_ = std::move(document); }

private:
    XMLDocumentPtr document_;
};

} // namespace vistel
