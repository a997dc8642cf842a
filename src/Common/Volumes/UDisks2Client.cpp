#include "Common/Volumes/UDisks2Client.h"

#include <sys/sysmacros.h>

#include <QDBusConnection>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>
#include <QString>
#include <QVariantMap>

#include "Platform/Formatter.h"
#include "Platform/Log.h"

namespace vistel {

namespace {

const QString Service = QStringLiteral("org.freedesktop.UDisks2");
const QString ManagerPath = QStringLiteral("/org/freedesktop/UDisks2/Manager");
const QString ManagerInterface = QStringLiteral("org.freedesktop.UDisks2.Manager");
const QString BlockInterface = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString FilesystemInterface = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage call(const QString& path, const QString& interface, const QString& method, const QList<QVariant>& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(Service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::systemBus().call(message, QDBus::Block, UDisks2Client::CallTimeoutMilliseconds);
}

StatusCode statusOfError(const QDBusMessage& reply, std::string* failure)
{
    const std::string name = reply.errorName().toStdString();
    if (failure)
        *failure = name + ": " + reply.errorMessage().toStdString();
    if (name.starts_with("org.freedesktop.UDisks2.Error.NotAuthorized"))
        return status::AccessDenied;
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NoServer"
        || name == "org.freedesktop.DBus.Error.UnknownObject" || name == "org.freedesktop.DBus.Error.UnknownMethod")
        return status::NoSuchVolume;
    return status::IOError;
}

// Length in UTF-16 code units of UTF-8 text.
std::size_t utf16Length(std::string_view text)
{
    return static_cast<std::size_t>(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).size());
}

} // namespace

bool UDisks2Client::isValidLabel(std::string_view type, std::string_view label)
{
    if (label.empty())
        return false;
    for (unsigned char c : label)
        if (c < 0x20 || c == 0x7f)
            return false;
    auto hasAnyOf = [&](std::string_view forbidden) { return label.find_first_of(forbidden) != std::string_view::npos; };
    if (type == "vfat")
        return label.size() <= 11 && !hasAnyOf("\"*+,./:;<=>?[\\]|");
    if (type == "exfat")
        return utf16Length(label) <= 15 && !hasAnyOf("\"*/:<>?\\|");
    if (type == "ntfs")
        return utf16Length(label) <= 128;
    if (type == "ext2" || type == "ext3" || type == "ext4")
        return label.size() <= 16;
    if (type == "xfs")
        return label.size() <= 12 && !hasAnyOf(" ");
    return label.size() <= 255;
}

StatusCode UDisks2Client::setFilesystemLabel(std::uint64_t deviceNumber, const std::string& label, std::string* failure)
{
    const QString devicePath = QString::fromStdString(
        vistel::format("/dev/block/%u:%u", static_cast<unsigned>(major(deviceNumber)), static_cast<unsigned>(minor(deviceNumber))));
    QVariantMap spec;
    spec.insert(QStringLiteral("path"), devicePath);
    const QDBusMessage resolved = call(ManagerPath, ManagerInterface, QStringLiteral("ResolveDevice"), {spec, QVariantMap()});
    if (resolved.type() != QDBusMessage::ReplyMessage)
        return statusOfError(resolved, failure);
    const auto objects = qdbus_cast<QList<QDBusObjectPath>>(resolved.arguments().value(0));
    if (objects.isEmpty()) {
        if (failure)
            *failure = "no file system on " + devicePath.toStdString();
        return status::NoSuchVolume;
    }
    const QString object = objects.front().path();

    const QDBusMessage type
        = call(object, PropertiesInterface, QStringLiteral("Get"), {BlockInterface, QStringLiteral("IdType")});
    if (type.type() != QDBusMessage::ReplyMessage)
        return statusOfError(type, failure);
    const std::string fileSystem = type.arguments().value(0).value<QDBusVariant>().variant().toString().toStdString();
    if (!isValidLabel(fileSystem, label)) {
        if (failure)
            *failure = "a " + fileSystem + " file system cannot take that label";
        return status::BadName;
    }

    const QDBusMessage renamed
        = call(object, FilesystemInterface, QStringLiteral("SetLabel"), {QString::fromStdString(label), QVariantMap()});
    if (renamed.type() != QDBusMessage::ReplyMessage) {
        const StatusCode result = statusOfError(renamed, failure);
        ZovLog("UDisks2Client::setFilesystemLabel " + renamed.errorName().toStdString() + " "
               + renamed.errorMessage().toStdString());
        return result;
    }
    return status::NoError;
}

} // namespace vistel
