// fake_udisks2: a small stand-in for the system's disk service, for tests on a private bus.
//
//   fake_udisks2 ADDRESS MAJOR:MINOR FSTYPE IMAGE LOG [ERROR-NAME]
//
// Connects to the bus at ADDRESS, owns "org.freedesktop.UDisks2" and serves one block device
// (MAJOR:MINOR) holding a file system of type FSTYPE: Manager.ResolveDevice of
// "/dev/block/MAJOR:MINOR", Properties.Get of Block.IdType, and Filesystem.SetLabel, which
// sets the label of the ext2/3/4 image file IMAGE (e2label) - or answers ERROR-NAME when
// given. Every call is appended to LOG as one line ("SetLabel <label>"); "ready" is written
// there once the name is owned.

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

#include <cstdio>

namespace {

const QString BlockPath = QStringLiteral("/org/freedesktop/UDisks2/block_devices/fake0");

class FakeUDisks2 : public QDBusVirtualObject {
public:
    FakeUDisks2(QString device, QString type, QString image, QString log, QString error)
        : device_(std::move(device)), type_(std::move(type)), image_(std::move(image)), log_(std::move(log)),
          error_(std::move(error))
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
        if (message.path() != BlockPath)
            return false;
        if (member == "Get" && arguments.value(1).toString() == "IdType") {
            record("Get IdType");
            return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(type_))));
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
    QString device_, type_, image_, log_, error_;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 6) {
        std::fprintf(stderr, "usage: fake_udisks2 ADDRESS MAJOR:MINOR FSTYPE IMAGE LOG [ERROR-NAME]\n");
        return 2;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[1]), "fake");
    FakeUDisks2 service(argv[2], argv[3], argv[4], argv[5], argc > 6 ? QString(argv[6]) : QString());
    if (!bus.isConnected() || !bus.registerVirtualObject("/org/freedesktop/UDisks2", &service, QDBusConnection::SubPath)
        || !bus.registerService("org.freedesktop.UDisks2")) {
        std::fprintf(stderr, "fake_udisks2: cannot serve on %s\n", argv[1]);
        return 1;
    }
    service.record("ready");
    return application.exec();
}
