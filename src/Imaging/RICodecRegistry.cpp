#include "Imaging/RICodecRegistry.h"

#include <QString>

#include "Imaging/CodecHostObjects.h"
#include "Imaging/CodecPlugInHost.h"
#include "Platform/FilePaths.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

// The text of a descriptor field; a missing or empty string counts as absent.
std::string fieldText(IUniCharString* field)
{
    return field ? utf8StringOf(field) : std::string();
}

std::string upper(const std::string& text)
{
    return QString::fromStdString(text).toUpper().toStdString();
}

std::string lower(const std::string& text)
{
    return QString::fromStdString(text).toLower().toStdString();
}

std::vector<std::string> split(std::string_view text, std::string_view separators)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find_first_of(separators, start);
        pieces.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return pieces;
        start = end + 1;
    }
}

Value stringArray(const std::vector<std::string>& items)
{
    Value array = Value::array();
    for (const std::string& item : items)
        array.append(item);
    return array;
}

} // namespace

std::string RICodecRegistry::documentTypeNameFromIdentifier(std::string_view identifier)
{
    std::string name;
    for (const std::string& piece : split(identifier, ".-")) {
        if (piece.empty() || piece == "com")
            continue;
        QString word = QString::fromStdString(piece).toLower();
        word[0] = word[0].toUpper();
        if (!name.empty())
            name += ' ';
        name += word.toStdString();
    }
    return name;
}

Ref<RICodecRegistry> RICodecRegistry::create(CodecPlugInHost& host)
{
    Ref<RICodecRegistry> registry = Ref<RICodecRegistry>::adopt(new RICodecRegistry);
    registry->hasCore_ = host.InitCodecPlugIns();
    if (!registry->hasCore_)
        return registry;

    Ref<IUnknownArray> instances;
    if (host.CreatePlugInInstances(ImageCodecPlugInTypeID, IImageCodecID, &instances) < 0 || !instances)
        return registry;
    for (std::size_t i = 0; i < instances->count(); ++i)
        registry->addCodec(static_cast<IImageCodec*>(instances->at(i)));

    // Every extension twice, upper case first, so that a name's extension is found in either
    // case without lower-casing the list at each query.
    std::vector<std::string> fileTypes;
    fileTypes.reserve(registry->fileTypes_.size() * 2);
    for (const std::string& extension : registry->fileTypes_) {
        fileTypes.push_back(upper(extension));
        fileTypes.push_back(lower(extension));
    }
    registry->fileTypes_ = std::move(fileTypes);
    return registry;
}

void RICodecRegistry::addCodec(IImageCodec* codec)
{
    if (!codec || !codec->vtbl->GetFormats)
        return;
    CodecFormatList list {};
    const CodecResult result = codec->vtbl->GetFormats(codec, &list);
    struct ListStrings {
        CodecFormatList& list;
        ~ListStrings() { releaseFields(list); }
    } releaseStrings {list};
    if (result < 0) {
        ZovLog("RIReperesentation::initialize a codec's format list failed; the codec is not used");
        return;
    }
    if (list.count && !list.descriptors)
        return;

    for (std::uint32_t i = 0; i < list.count; ++i) {
        const CodecFormatDescriptor* descriptor = list.descriptors[i];
        if (!descriptor)
            continue;
        Value entry = Value::dictionary();
        const std::string mimeType = fieldText(descriptor->mimeType);
        if (!mimeType.empty())
            entry.set("CFBundleTypeMIMETypes", stringArray({mimeType}));
        const std::string identifier = fieldText(descriptor->typeIdentifier);
        if (!identifier.empty())
            types_.push_back(identifier);

        const std::string extensionList = fieldText(descriptor->extensionList);
        const std::string extension = fieldText(descriptor->extension);
        if (!extensionList.empty()) {
            // Pieces are taken as they are (untrimmed), as codecs declare them.
            const std::vector<std::string> pieces = split(extensionList, ",");
            fileTypes_.insert(fileTypes_.end(), pieces.begin(), pieces.end());
            entry.set("CFBundleTypeExtensions", stringArray(pieces));
        } else if (!extension.empty()) {
            fileTypes_.push_back(extension);
            entry.set("CFBundleTypeExtensions", stringArray({extension}));
        }

        std::string name = fieldText(descriptor->name);
        if (name.empty())
            name = fieldText(descriptor->alternativeName);
        if (name.empty()) {
            if (identifier.empty())
                continue;
            name = documentTypeNameFromIdentifier(identifier);
        }
        if (!name.empty())
            entry.set("CFBundleTypeName", name);
        // Only formats offered as documents (one preferred extension) become document types.
        if (!extension.empty()) {
            entry.set("CFBundleTypeRole", "Viewer");
            fileTypesProperties_.append(std::move(entry));
        }
    }
    if (list.count)
        codecs_.emplace_back(codec);
}

bool RICodecRegistry::isDecodableByName(std::string_view name) const
{
    const std::string extension = lower(pathExtension(name));
    if (extension.empty())
        return false;
    for (const std::string& type : fileTypes_)
        if (type == extension)
            return true;
    return false;
}

} // namespace vistel
