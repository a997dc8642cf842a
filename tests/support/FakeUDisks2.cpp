// fake_udisks2: a small stand-in for the system's disk service, for tests on a private bus.
//
//   fake_udisks2 ADDRESS MAJOR:MINOR FSTYPE IMAGE LOG [ERROR-NAME] [--mount-point=PATH] [--drive=KIND]
//
// Connects to the bus at ADDRESS, owns "org.freedesktop.UDisks2" and serves one block device
// (MAJOR:MINOR) holding a file system of type FSTYPE: Manager.ResolveDevice of
// "/dev/block/MAJOR:MINOR", Manager.GetBlockDevices, Properties.Get of Block.IdType, and
// Filesystem.SetLabel, which sets the label of the ext2/3/4 image file IMAGE (e2label) - or
// answers ERROR-NAME when given.
//
// With a mount point, the file system is mounted there (Filesystem.MountPoints holds it) and
// Filesystem.Unmount really unmounts it (umount2, in the fake's mount namespace, which is the
// test's): EBUSY answers "org.freedesktop.UDisks2.Error.DeviceBusy", {"force": true} detaches
// (MNT_DETACH). With a drive ("usb" or "optical"), Block.Drive names it and Drive.Eject /
// Drive.PowerOff are recorded; without one Block.Drive is "/".
//
// Every call is appended to LOG as one line ("SetLabel <label>", "Unmount force=1"); "ready"
// is written there once the name is owned.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QProcess>
#include <QVariantMap>

#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const QString BlockPath = QStringLiteral("/org/freedesktop/UDisks2/block_devices/fake0");
const QString DrivePath = QStringLiteral("/org/freedesktop/UDisks2/drives/fake_drive");

class FakeUDisks2 : public QDBusVirtualObject {
public:
    FakeUDisks2(QString device, QString type, QString image, QString log, QString error, QString mountPoint, QString drive)
        : device_(std::move(device)), type_(std::move(type)), image_(std::move(image)), log_(std::move(log)),
          error_(std::move(error)), mountPoint_(std::move(mountPoint)), drive_(std::move(drive))
    {
    }

    void record(const QString& line) const
    {
        QFile file(log_);
        if (file.open(QIODevice::Append | QIODevice::Text))
            file.write((line + "\n").toUtf8());
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString member = message.member();
        const QList<QVariant> arguments = message.arguments();
        if (member == "ResolveDevice") {
            const QString path = qdbus_cast<QVariantMap>(arguments.value(0)).value("path").toString();
            record("ResolveDevice " + path);
            QList<QDBusObjectPath> found;
            if (path == "/dev/block/" + device_)
                found.append(QDBusObjectPath(BlockPath));
            return connection.send(message.createReply(QVariant::fromValue(found)));
        }
        if (member == "GetBlockDevices") {
            record("GetBlockDevices");
            return connection.send(message.createReply(QVariant::fromValue(QList<QDBusObjectPath> {QDBusObjectPath(BlockPath)})));
        }
        if (message.path() == DrivePath && !drive_.isEmpty() && (member == "Eject" || member == "PowerOff")) {
            record(member);
            return connection.send(message.createReply());
        }
        if (message.path() != BlockPath)
            return false;
        if (member == "Get" && arguments.value(1).toString() == "IdType") {
            record("Get IdType");
            return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(type_))));
        }
        if (member == "Get" && arguments.value(1).toString() == "MountPoints") {
            QList<QByteArray> points;
            if (mounted())
                points.append(mountPoint_.toLocal8Bit() + '\0');
            return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(points)))));
        }
        if (member == "Get" && arguments.value(1).toString() == "Drive") {
            const QDBusObjectPath drive(drive_.isEmpty() ? QStringLiteral("/") : DrivePath);
            return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(drive)))));
        }
        if (member == "Unmount") {
            const bool force = qdbus_cast<QVariantMap>(arguments.value(0)).value("force").toBool();
            record(QStringLiteral("Unmount force=%1").arg(force ? 1 : 0));
            if (!mounted())
                return connection.send(message.createErrorReply("org.freedesktop.UDisks2.Error.NotMounted", "not mounted"));
            if (::umount2(mountPoint_.toLocal8Bit().constData(), force ? MNT_DETACH : 0) != 0) {
                const int error = errno;
                if (error == EBUSY)
                    return connection.send(message.createErrorReply("org.freedesktop.UDisks2.Error.DeviceBusy",
                                                                    "target is busy"));
                return connection.send(message.createErrorReply("org.freedesktop.UDisks2.Error.Failed", std::strerror(error)));
            }
            unmounted_ = true;
            return connection.send(message.createReply());
        }
        if (member == "SetLabel") {
            const QString label = arguments.value(0).toString();
            record("SetLabel " + label);
            if (!error_.isEmpty())
                return connection.send(message.createErrorReply(error_, "refused by the test"));
            const int status = QProcess::execute("e2label", {image_, label});
            if (status != 0)
                return connection.send(message.createErrorReply("org.freedesktop.UDisks2.Error.Failed", "e2label failed"));
            return connection.send(message.createReply());
        }
        return false;
    }

private:
    bool mounted() const { return !mountPoint_.isEmpty() && !unmounted_; }

    QString device_, type_, image_, log_, error_, mountPoint_, drive_;
    bool unmounted_ = false;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 6) {
        std::fprintf(stderr, "usage: fake_udisks2 ADDRESS MAJOR:MINOR FSTYPE IMAGE LOG [ERROR-NAME] [--mount-point=PATH] [--drive=KIND]\n");
        return 2;
    }
    QString error, mountPoint, drive;
    for (int i = 6; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument.startsWith("--mount-point="))
            mountPoint = argument.mid(14);
        else if (argument.startsWith("--drive="))
            drive = argument.mid(8);
        else
            error = argument;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[1]), "fake");
    FakeUDisks2 service(argv[2], argv[3], argv[4], argv[5], error, mountPoint, drive);
    if (!bus.isConnected() || !bus.registerVirtualObject("/org/freedesktop/UDisks2", &service, QDBusConnection::SubPath)
        || !bus.registerService("org.freedesktop.UDisks2")) {
        std::fprintf(stderr, "fake_udisks2: cannot serve on %s\n", argv[1]);
        return 1;
    }
    service.record("ready");
    return application.exec();
}
