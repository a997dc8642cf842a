#pragma once
// TypeIdentifiers: uniform type identifiers ("public.jpeg"), their file extensions, MIME types
// and conformance ("public.jpeg" conforms to "public.image", which conforms to "public.data").
//
// A static table holds the types the program deals with; its extensions are listed in the
// platform's order, first the preferred one ("jpeg" for "public.jpeg"). Extensions and MIME
// types the table does not know are looked up in shared-mime-info (QMimeDatabase) and answered
// as dynamic identifiers "dyn.mime.<MIME type>" that conform to "public.image", "public.text",
// "public.audio", "public.movie" or "public.data" by the MIME type's media type.
//
// Everything here is read-only after start-up and safe to call from any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vistel {

class TypeIdentifiers {
public:
    struct Declaration {
        std::string identifier;
        std::string description;             // "JPEG image"
        std::vector<std::string> extensions; // lower case, preferred first
        std::vector<std::string> mimeTypes;  // preferred first
        std::vector<std::string> conformsTo; // direct parents
    };

    // The declaration of a known or dynamic identifier; nullopt for identifiers of neither kind.
    static std::optional<Declaration> declaration(std::string_view identifier);
    // Extensions of a type, preferred first; empty when it has none or is unknown.
    static std::vector<std::string> extensions(std::string_view identifier);
    static std::string preferredExtension(std::string_view identifier);
    static std::string preferredMIMEType(std::string_view identifier);
    static std::string description(std::string_view identifier);

    // The type of a file name extension (without the dot, any case): the table first, then
    // shared-mime-info; empty when neither knows it.
    static std::string typeForExtension(std::string_view extension);
    // The type of a file name ("IMG_0001.JPG"); empty when its extension is unknown.
    static std::string typeForFileName(std::string_view fileName);
    static std::string typeForMIMEType(std::string_view mimeType);

    // Reflexive and transitive conformance.
    static bool conformsTo(std::string_view identifier, std::string_view parent);

    // The table's identifiers, in table order.
    static std::vector<std::string> knownIdentifiers();

    // Makes the type table and Qt's type database, which live until the process's static
    // objects go. Threads that look types up stop at exit through a step registered after this
    // call (exit runs the last registered first), so they never outlive either.
    static void makeTypeDatabase();
};

} // namespace vistel
