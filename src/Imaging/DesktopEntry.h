#pragma once
// DesktopEntry: the freedesktop desktop entry's "MimeType=" list, made from the same document
// types the image representation writes into Info.plist, so that the file manager offers the
// program for exactly the formats its codecs decode. The build fills the template with it.

#include <string>
#include <string_view>
#include <vector>

#include "Platform/Value.h"

namespace vistel {

class DesktopEntry {
public:
    // The MIME types of the document-type dictionaries ("CFBundleTypeMIMETypes"), in order,
    // each once; values that are not of the form "type/subtype" (or would break the entry's
    // list syntax) are left out.
    static std::vector<std::string> mimeTypes(const Value& fileTypesProperties);
    // "image/jpeg;image/png;" (every item ends with ';'); empty for none.
    static std::string mimeTypeList(const Value& fileTypesProperties);
    // The template with every "@VISTEL_MIME_TYPES@" replaced by mimeTypeList().
    static std::string fillTemplate(std::string_view templateText, const Value& fileTypesProperties);
};

} // namespace vistel
