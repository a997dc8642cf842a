#include "Common/Volumes/UDisks2Client.h"

#include <sys/mount.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
const QString DriveInterface = QStringLiteral("org.freedesktop.UDisks2.Drive");
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
    if (name == "org.freedesktop.UDisks2.Error.DeviceBusy")
        return status::ObjectBusy;
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NoServer"
        || name == "org.freedesktop.DBus.Error.UnknownObject" || name == "org.freedesktop.DBus.Error.UnknownMethod")
        return status::NoSuchVolume;
    return status::IOError;
}

QString blockDevicePath(std::uint64_t deviceNumber)
{
    return QString::fromStdString(
        vistel::format("/dev/block/%u:%u", static_cast<unsigned>(major(deviceNumber)), static_cast<unsigned>(minor(deviceNumber))));
}

// A property of an object, or an invalid QVariant when the service does not answer it.
QVariant property(const QString& object, const QString& interface, const QString& name)
{
    const QDBusMessage reply = call(object, PropertiesInterface, QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

// The mount points of a block object's file system (an array of NUL-terminated byte strings).
std::vector<std::string> mountPointsOf(const QString& object)
{
    std::vector<std::string> points;
    const QVariant value = property(object, FilesystemInterface, QStringLiteral("MountPoints"));
    if (!value.isValid())
        return points;
    const auto bytes = value.canConvert<QDBusArgument>() ? qdbus_cast<QList<QByteArray>>(value) : value.value<QList<QByteArray>>();
    for (QByteArray point : bytes) {
        while (point.endsWith('\0'))
            point.chop(1);
        points.push_back(point.toStdString());
    }
    return points;
}

bool holdsMountPoint(const QString& object, const std::string& mountPoint)
{
    const std::vector<std::string> points = mountPointsOf(object);
    return std::find(points.begin(), points.end(), mountPoint) != points.end();
}

// The service's block object mounted at `mountPoint`: the device's own first, else any.
// Empty when there is none or the service is not there.
QString blockObjectMountedAt(const std::string& mountPoint, std::uint64_t deviceNumber)
{
    QVariantMap spec;
    spec.insert(QStringLiteral("path"), blockDevicePath(deviceNumber));
    const QDBusMessage resolved = call(ManagerPath, ManagerInterface, QStringLiteral("ResolveDevice"), {spec, QVariantMap()});
    if (resolved.type() == QDBusMessage::ReplyMessage)
        for (const QDBusObjectPath& object : qdbus_cast<QList<QDBusObjectPath>>(resolved.arguments().value(0)))
            if (holdsMountPoint(object.path(), mountPoint))
                return object.path();
    const QDBusMessage all = call(ManagerPath, ManagerInterface, QStringLiteral("GetBlockDevices"), {QVariantMap()});
    if (all.type() != QDBusMessage::ReplyMessage)
        return {};
    for (const QDBusObjectPath& object : qdbus_cast<QList<QDBusObjectPath>>(all.arguments().value(0)))
        if (holdsMountPoint(object.path(), mountPoint))
            return object.path();
    return {};
}

// The program's own unmount, for mounts the service does not manage.
StatusCode unmountDirectly(const std::string& mountPoint, bool force, std::string* failure)
{
    if (::umount2(mountPoint.c_str(), force ? MNT_DETACH : 0) == 0)
        return status::NoError;
    const int error = errno;
    if (failure)
        *failure = "umount " + mountPoint + ": " + std::strerror(error);
    switch (error) {
    case EBUSY:
        return status::ObjectBusy;
    case EPERM:
    case EACCES:
        return status::PermissionDenied;
    case EINVAL:
    case ENOENT:
        return status::NoSuchVolume;
    default:
        return status::IOError;
    }
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
    const QString devicePath = blockDevicePath(deviceNumber);
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

StatusCode UDisks2Client::ejectVolume(const std::string& mountPoint, std::uint64_t deviceNumber, bool force,
                                      DriveAction driveAction, std::string* failure)
{
    const QString object = blockObjectMountedAt(mountPoint, deviceNumber);
    if (object.isEmpty())
        return unmountDirectly(mountPoint, force, failure);

    QVariantMap options;
    if (force)
        options.insert(QStringLiteral("force"), true);
    const QDBusMessage unmounted = call(object, FilesystemInterface, QStringLiteral("Unmount"), {options});
    if (unmounted.type() != QDBusMessage::ReplyMessage
        && unmounted.errorName() != QStringLiteral("org.freedesktop.UDisks2.Error.NotMounted")) {
        ZovLog("UDisks2Client::ejectVolume " + unmounted.errorName().toStdString() + " " + unmounted.errorMessage().toStdString());
        return statusOfError(unmounted, failure);
    }
    if (driveAction == DriveAction::None)
        return status::NoError;

    const QString drive = property(object, BlockInterface, QStringLiteral("Drive")).value<QDBusObjectPath>().path();
    if (drive.isEmpty() || drive == QStringLiteral("/"))
        return status::NoError;
    const QString method = driveAction == DriveAction::Eject ? QStringLiteral("Eject") : QStringLiteral("PowerOff");
    const QDBusMessage done = call(drive, DriveInterface, method, {QVariantMap()});
    if (done.type() != QDBusMessage::ReplyMessage) {
        // The volume is gone all the same; the drive stays powered or the disc in its tray.
        const std::string text = done.errorName().toStdString() + ": " + done.errorMessage().toStdString();
        ZovLog("UDisks2Client::ejectVolume " + method.toStdString() + " " + text);
        if (failure)
            *failure = text;
    }
    return status::NoError;
}

} // namespace vistel
