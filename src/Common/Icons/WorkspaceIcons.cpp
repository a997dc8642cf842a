#include "Common/Icons/WorkspaceIcons.h"

#include <sys/stat.h>

#include <QMimeDatabase>
#include <QStandardPaths>
#include <QString>

#include "Common/Icons/IconTheme.h"
#include "Common/Icons/NSImageIconRef.h"
#include "Platform/Imaging/TypeIdentifiers.h"

namespace vistel {
namespace {

std::optional<IconRef> firstInTheme(const QStringList& names)
{
    for (const QString& name : names)
        if (!name.isEmpty() && IconTheme::hasIcon(name.toStdString()))
            return IconRef::named(name.toStdString());
    return std::nullopt;
}

QStringList iconNamesForMIME(const QMimeType& mime)
{
    QStringList names;
    if (!mime.isValid())
        return names;
    names << mime.iconName() << mime.genericIconName();
    for (const QString& parent : mime.allAncestors()) {
        const QMimeType parentType = QMimeDatabase().mimeTypeForName(parent);
        names << parentType.iconName() << parentType.genericIconName();
    }
    if (mime.name().startsWith(QLatin1String("text/")))
        names << QStringLiteral("text-x-generic");
    names << QStringLiteral("application-x-generic") << QStringLiteral("text-x-generic");
    return names;
}

QString trimmedFolder(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QStringList folderIconNames(const std::string& path)
{
    static const struct {
        QStandardPaths::StandardLocation location;
        const char* icon;
    } specials[] = {
        {QStandardPaths::HomeLocation, "user-home"},
        {QStandardPaths::DesktopLocation, "user-desktop"},
        {QStandardPaths::PicturesLocation, "folder-pictures"},
        {QStandardPaths::DocumentsLocation, "folder-documents"},
        {QStandardPaths::DownloadLocation, "folder-download"},
        {QStandardPaths::MusicLocation, "folder-music"},
        {QStandardPaths::MoviesLocation, "folder-videos"},
    };
    QStringList names;
    const QString folder = trimmedFolder(QString::fromStdString(path));
    const QString home = trimmedFolder(QStandardPaths::writableLocation(QStandardPaths::HomeLocation));
    for (const auto& special : specials) {
        const QString location = trimmedFolder(QStandardPaths::writableLocation(special.location));
        // Unconfigured user folders fall back to the home folder: only home itself is "home".
        if (location.isEmpty() || (location == home && special.location != QStandardPaths::HomeLocation))
            continue;
        if (location == folder) {
            names << QString::fromLatin1(special.icon);
            break;
        }
    }
    names << QStringLiteral("folder") << QStringLiteral("inode-directory");
    return names;
}

} // namespace

std::optional<IconRef> WorkspaceIcons::iconRefForFile(const std::string& path)
{
    if (path.empty())
        return std::nullopt;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        struct stat link;
        if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            return firstInTheme({QStringLiteral("inode-symlink"), QStringLiteral("application-x-generic")});
        return std::nullopt;
    }
    if (S_ISDIR(info.st_mode))
        return firstInTheme(folderIconNames(path));
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(QString::fromStdString(path));
    return firstInTheme(iconNamesForMIME(mime));
}

std::optional<IconRef> WorkspaceIcons::iconRefForFileType(std::string_view type)
{
    if (type == "'fldr'" || type == "public.folder" || type == "public.directory")
        return firstInTheme({QStringLiteral("folder"), QStringLiteral("inode-directory")});
    if (type.empty())
        return std::nullopt;
    std::string mime;
    if (type.find('.') != std::string_view::npos && TypeIdentifiers::declaration(type))
        mime = TypeIdentifiers::preferredMIMEType(type);
    if (!mime.empty())
        return iconRefForMIMEType(mime);
    const QMimeType byExtension = QMimeDatabase().mimeTypeForFile(
        QStringLiteral("file.") + QString::fromUtf8(type.data(), qsizetype(type.size())), QMimeDatabase::MatchExtension);
    return firstInTheme(iconNamesForMIME(byExtension));
}

std::optional<IconRef> WorkspaceIcons::iconRefForMIMEType(std::string_view mimeType)
{
    const QMimeType mime = QMimeDatabase().mimeTypeForName(QString::fromUtf8(mimeType.data(), qsizetype(mimeType.size())));
    if (!mime.isValid())
        return std::nullopt;
    if (mime.name() == QLatin1String("inode/directory"))
        return firstInTheme({QStringLiteral("folder"), QStringLiteral("inode-directory")});
    return firstInTheme(iconNamesForMIME(mime));
}

Ref<MultiImage> WorkspaceIcons::iconForFile(const std::string& path)
{
    const auto icon = iconRefForFile(path);
    return icon ? NSImageIconRef::initWithIconRefExt(*icon) : nullptr;
}

Ref<MultiImage> WorkspaceIcons::iconForFileType(std::string_view type)
{
    const auto icon = iconRefForFileType(type);
    return icon ? NSImageIconRef::initWithIconRefExt(*icon) : nullptr;
}

} // namespace vistel
