#include "Platform/Imaging/TypeIdentifiers.h"
#include "Platform/FilePaths.h"

#include <algorithm>
#include <cctype>

#include <QMimeDatabase>
#include <QMimeType>

namespace vistel {

namespace {

using Declaration = TypeIdentifiers::Declaration;

constexpr std::string_view kDynamicPrefix = "dyn.mime.";

const std::vector<Declaration>& table()
{
    static const std::vector<Declaration> declarations = {
        {"public.item", "Item", {}, {}, {}},
        {"public.content", "Content", {}, {}, {}},
        {"public.data", "Data", {}, {"application/octet-stream"}, {"public.item"}},
        {"public.directory", "Directory", {}, {"inode/directory"}, {"public.item"}},
        {"public.folder", "Folder", {}, {"inode/directory"}, {"public.directory"}},
        {"public.volume", "Volume", {}, {}, {"public.folder"}},
        {"com.apple.package", "Package", {}, {}, {"public.directory"}},
        {"public.image", "Image", {}, {}, {"public.data", "public.content"}},
        {"public.text", "Text", {}, {}, {"public.data", "public.content"}},
        {"public.plain-text", "Plain text document", {"txt", "text"}, {"text/plain"}, {"public.text"}},
        {"public.xml", "XML document", {"xml"}, {"application/xml", "text/xml"}, {"public.text"}},
        {"com.apple.property-list", "Property list", {"plist"}, {"application/x-plist"}, {"public.data"}},
        {"public.audiovisual-content", "Audiovisual content", {}, {}, {"public.data", "public.content"}},
        {"public.movie", "Movie", {}, {}, {"public.audiovisual-content"}},
        {"public.audio", "Audio", {}, {}, {"public.audiovisual-content"}},
        {"public.composite-content", "Composite content", {}, {}, {"public.content"}},
        {"com.adobe.pdf", "PDF document", {"pdf"}, {"application/pdf"}, {"public.data", "public.composite-content"}},

        {"public.jpeg", "JPEG image", {"jpeg", "jpg", "jpe"}, {"image/jpeg", "image/jpg"}, {"public.image"}},
        {"public.png", "PNG image", {"png"}, {"image/png"}, {"public.image"}},
        {"public.tiff", "TIFF image", {"tiff", "tif"}, {"image/tiff"}, {"public.image"}},
        {"com.compuserve.gif", "GIF image", {"gif"}, {"image/gif"}, {"public.image"}},
        {"com.microsoft.bmp", "Windows bitmap image", {"bmp", "dib"}, {"image/bmp", "image/x-bmp"}, {"public.image"}},
        {"com.microsoft.ico", "Windows icon image", {"ico"}, {"image/vnd.microsoft.icon", "image/x-icon"}, {"public.image"}},
        {"com.apple.icns", "Apple icon image", {"icns"}, {"image/x-icns"}, {"public.image"}},
        {"org.webmproject.webp", "WebP image", {"webp"}, {"image/webp"}, {"public.image"}},
        {"public.jpeg-2000", "JPEG 2000 image", {"jp2", "jpf", "jpx", "j2k", "j2c"}, {"image/jp2", "image/jpx"}, {"public.image"}},
        {"public.heif-standard", "HEIF image", {}, {}, {"public.image"}},
        {"public.heic", "HEIC image", {"heic"}, {"image/heic"}, {"public.heif-standard"}},
        {"public.heif", "HEIF image", {"heif", "hif"}, {"image/heif"}, {"public.heif-standard"}},
        {"com.adobe.photoshop-image", "Photoshop image", {"psd"}, {"image/vnd.adobe.photoshop"}, {"public.image"}},
        {"com.truevision.tga-image", "TGA image", {"tga"}, {"image/x-tga"}, {"public.image"}},
        {"com.sgi.sgi-image", "SGI image", {"sgi", "rgb"}, {"image/x-sgi"}, {"public.image"}},
        {"com.kodak.flashpix-image", "FlashPix image", {"fpx", "fpix"}, {"image/vnd.fpx"}, {"public.image"}},
        {"public.xbitmap-image", "X bitmap image", {"xbm"}, {"image/x-xbitmap"}, {"public.image"}},
        {"public.pbm", "Portable bitmap image", {"pbm"}, {"image/x-portable-bitmap"}, {"public.image"}},
        {"public.pgm", "Portable graymap image", {"pgm"}, {"image/x-portable-graymap"}, {"public.image"}},
        {"public.ppm", "Portable pixmap image", {"ppm"}, {"image/x-portable-pixmap"}, {"public.image"}},
        {"public.svg-image", "SVG image", {"svg"}, {"image/svg+xml"}, {"public.image"}},

        {"public.camera-raw-image", "Camera raw image", {}, {}, {"public.image"}},
        {"com.adobe.raw-image", "Digital negative image", {"dng"}, {"image/x-adobe-dng"}, {"public.camera-raw-image"}},
        {"com.canon.cr2-raw-image", "CR2 raw image", {"cr2"}, {"image/x-canon-cr2"}, {"public.camera-raw-image"}},
        {"com.canon.crw-raw-image", "CRW raw image", {"crw"}, {"image/x-canon-crw"}, {"public.camera-raw-image"}},
        {"com.canon.cr3-raw-image", "CR3 raw image", {"cr3"}, {"image/x-canon-cr3"}, {"public.camera-raw-image"}},
        {"com.nikon.raw-image", "NEF raw image", {"nef"}, {"image/x-nikon-nef"}, {"public.camera-raw-image"}},
        {"com.nikon.nrw-raw-image", "NRW raw image", {"nrw"}, {"image/x-nikon-nrw"}, {"public.camera-raw-image"}},
        {"com.sony.arw-raw-image", "ARW raw image", {"arw"}, {"image/x-sony-arw"}, {"public.camera-raw-image"}},
        {"com.sony.sr2-raw-image", "SR2 raw image", {"sr2"}, {"image/x-sony-sr2"}, {"public.camera-raw-image"}},
        {"com.sony.raw-image", "SRF raw image", {"srf"}, {"image/x-sony-srf"}, {"public.camera-raw-image"}},
        {"com.olympus.raw-image", "ORF raw image", {"orf"}, {"image/x-olympus-orf"}, {"public.camera-raw-image"}},
        {"com.fuji.raw-image", "RAF raw image", {"raf"}, {"image/x-fuji-raf"}, {"public.camera-raw-image"}},
        {"com.panasonic.rw2-raw-image", "RW2 raw image", {"rw2"}, {"image/x-panasonic-rw2"}, {"public.camera-raw-image"}},
        {"com.panasonic.raw-image", "RAW raw image", {"raw"}, {"image/x-panasonic-raw"}, {"public.camera-raw-image"}},
        {"com.pentax.raw-image", "PEF raw image", {"pef"}, {"image/x-pentax-pef"}, {"public.camera-raw-image"}},
        {"com.samsung.raw-image", "SRW raw image", {"srw"}, {"image/x-samsung-srw"}, {"public.camera-raw-image"}},
        {"com.konicaminolta.raw-image", "MRW raw image", {"mrw"}, {"image/x-minolta-mrw"}, {"public.camera-raw-image"}},
        {"com.kodak.raw-image", "DCR raw image", {"dcr"}, {"image/x-kodak-dcr"}, {"public.camera-raw-image"}},
        {"com.epson.raw-image", "ERF raw image", {"erf"}, {"image/x-epson-erf"}, {"public.camera-raw-image"}},
        {"com.leafamerica.raw-image", "MOS raw image", {"mos"}, {}, {"public.camera-raw-image"}},
        {"com.hasselblad.3fr-raw-image", "3FR raw image", {"3fr"}, {"image/x-hasselblad-3fr"}, {"public.camera-raw-image"}},
        {"com.phaseone.raw-image", "IIQ raw image", {"iiq"}, {}, {"public.camera-raw-image"}},
    };
    return declarations;
}

std::string lower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return result;
}

const Declaration* find(std::string_view identifier)
{
    for (const auto& declaration : table())
        if (declaration.identifier == identifier)
            return &declaration;
    return nullptr;
}

std::string parentForMIME(const QMimeType& type)
{
    const QString name = type.name();
    if (name.startsWith(QLatin1String("image/")))
        return "public.image";
    if (name.startsWith(QLatin1String("text/")) || type.inherits(QStringLiteral("text/plain")))
        return "public.text";
    if (name.startsWith(QLatin1String("audio/")))
        return "public.audio";
    if (name.startsWith(QLatin1String("video/")))
        return "public.movie";
    return "public.data";
}

// The table's type for a MIME type known to shared-mime-info, following its aliases and
// parents, or a dynamic identifier.
std::string typeForQtMIME(const QMimeType& type)
{
    if (!type.isValid() || type.isDefault())
        return {};
    QStringList names = {type.name()};
    names += type.aliases();
    for (const QString& name : names) {
        const std::string text = name.toStdString();
        for (const auto& declaration : table())
            if (std::find(declaration.mimeTypes.begin(), declaration.mimeTypes.end(), text) != declaration.mimeTypes.end())
                return declaration.identifier;
    }
    return std::string(kDynamicPrefix) + type.name().toStdString();
}

} // namespace

std::optional<Declaration> TypeIdentifiers::declaration(std::string_view identifier)
{
    if (const Declaration* known = find(identifier))
        return *known;
    if (identifier.substr(0, kDynamicPrefix.size()) != kDynamicPrefix)
        return std::nullopt;
    const QMimeDatabase database;
    const QMimeType type =
        database.mimeTypeForName(QString::fromStdString(std::string(identifier.substr(kDynamicPrefix.size()))));
    if (!type.isValid())
        return std::nullopt;
    Declaration result;
    result.identifier = std::string(identifier);
    result.description = type.comment().toStdString();
    for (const QString& suffix : type.suffixes())
        result.extensions.push_back(lower(suffix.toStdString()));
    const QString preferred = type.preferredSuffix();
    auto it = std::find(result.extensions.begin(), result.extensions.end(), lower(preferred.toStdString()));
    if (it != result.extensions.end())
        std::rotate(result.extensions.begin(), it, it + 1);
    result.mimeTypes.push_back(type.name().toStdString());
    result.conformsTo.push_back(parentForMIME(type));
    return result;
}

std::vector<std::string> TypeIdentifiers::extensions(std::string_view identifier)
{
    auto found = declaration(identifier);
    return found ? found->extensions : std::vector<std::string> {};
}

std::string TypeIdentifiers::preferredExtension(std::string_view identifier)
{
    auto list = extensions(identifier);
    return list.empty() ? std::string() : list.front();
}

std::string TypeIdentifiers::preferredMIMEType(std::string_view identifier)
{
    auto found = declaration(identifier);
    return found && !found->mimeTypes.empty() ? found->mimeTypes.front() : std::string();
}

std::string TypeIdentifiers::description(std::string_view identifier)
{
    auto found = declaration(identifier);
    return found ? found->description : std::string();
}

std::string TypeIdentifiers::typeForExtension(std::string_view extension)
{
    if (extension.empty())
        return {};
    const std::string wanted = lower(extension);
    for (const auto& declaration : table())
        if (std::find(declaration.extensions.begin(), declaration.extensions.end(), wanted) != declaration.extensions.end())
            return declaration.identifier;
    const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(QStringLiteral("file.") + QString::fromStdString(wanted),
        QMimeDatabase::MatchExtension);
    return typeForQtMIME(type);
}

std::string TypeIdentifiers::typeForFileName(std::string_view fileName)
{
    const std::string extension = pathExtension(fileName);
    return extension.empty() ? std::string() : typeForExtension(extension);
}

std::string TypeIdentifiers::typeForMIMEType(std::string_view mimeType)
{
    const std::string wanted = lower(mimeType);
    for (const auto& declaration : table())
        if (std::find(declaration.mimeTypes.begin(), declaration.mimeTypes.end(), wanted) != declaration.mimeTypes.end())
            return declaration.identifier;
    const QMimeDatabase database;
    return typeForQtMIME(database.mimeTypeForName(QString::fromStdString(wanted)));
}

void TypeIdentifiers::makeTypeDatabase()
{
    // Their first uses make the table and Qt's process-wide database (and register their
    // destruction).
    (void)table();
    const QMimeDatabase database;
    (void)database.mimeTypeForName(QStringLiteral("application/octet-stream"));
}

bool TypeIdentifiers::conformsTo(std::string_view identifier, std::string_view parent)
{
    if (identifier.empty() || parent.empty())
        return false;
    if (identifier == parent)
        return true;
    // The hierarchy is shallow and acyclic; the depth bound only guards against table mistakes.
    std::vector<std::string> pending = {std::string(identifier)};
    for (int depth = 0; depth < 16 && !pending.empty(); ++depth) {
        std::vector<std::string> next;
        for (const auto& current : pending) {
            auto found = declaration(current);
            if (!found)
                continue;
            for (const auto& up : found->conformsTo) {
                if (up == parent)
                    return true;
                next.push_back(up);
            }
        }
        pending = std::move(next);
    }
    return false;
}

std::vector<std::string> TypeIdentifiers::knownIdentifiers()
{
    std::vector<std::string> result;
    for (const auto& declaration : table())
        result.push_back(declaration.identifier);
    return result;
}

} // namespace vistel
