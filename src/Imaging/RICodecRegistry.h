#pragma once
// RICodecRegistry: the codecs the image representation decodes with, and what they decode.
//
// Made once from a codec host: it initialises the codec core, collects every image codec, asks
// each for its formats and keeps four lists for the life of the process:
//   - the codecs that declared at least one format, in plug-in order;
//   - the types: every format's type identifier, in order, duplicates kept;
//   - the file types: every declared extension, first upper-cased then lower-cased;
//   - the document types: one dictionary per format that declares a single extension
//     ("CFBundleTypeName", "CFBundleTypeExtensions", "CFBundleTypeMIMETypes",
//     "CFBundleTypeRole" = "Viewer"), for Info.plist and the desktop entry.
// Without a codec core the lists stay empty and nothing is decodable; a codec whose format list
// fails is not used at all.
//
// A registry never changes after it is made, so it may be read from any thread. It holds one
// reference to each codec; the host that made them must outlive it.

#include <string>
#include <string_view>
#include <vector>

#include "Imaging/CodecPlugInContract.h"
#include "Imaging/ComSupport.h"
#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

class CodecPlugInHost;

class RICodecRegistry final : public Object {
public:
    // Initialises the host's codec core (once per host) and builds the lists.
    static Ref<RICodecRegistry> create(CodecPlugInHost& host);

    // Whether a codec core was obtained; false means no lists and no codecs.
    bool hasCodecCore() const noexcept { return hasCore_; }
    const std::vector<AutoPtr<IImageCodec>>& codecs() const noexcept { return codecs_; }
    const std::vector<std::string>& types() const noexcept { return types_; }
    const std::vector<std::string>& fileTypes() const noexcept { return fileTypes_; }
    // An array of document-type dictionaries.
    const Value& fileTypesProperties() const noexcept { return fileTypesProperties_; }

    // YES when the lower-cased extension of `name` is one of the file types.
    bool isDecodableByName(std::string_view name) const;

    // The document-type name made from a type identifier when a format has no name: the
    // identifier split at '.' and '-', pieces "com" dropped, the rest joined with spaces and
    // capitalised ("public.camera-raw-image" -> "Public Camera Raw Image"); empty when nothing
    // is left.
    static std::string documentTypeNameFromIdentifier(std::string_view identifier);

private:
    RICodecRegistry() = default;
    void addCodec(IImageCodec* codec);

    bool hasCore_ = false;
    std::vector<AutoPtr<IImageCodec>> codecs_;
    std::vector<std::string> types_;
    std::vector<std::string> fileTypes_;
    Value fileTypesProperties_ = Value::array();
};

} // namespace vistel
