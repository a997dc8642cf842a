// Handing files and addresses to the desktop, through a recording opener.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

#include "../../Common/Alert/AlertTestSupport.h"
#include "Platform/Gui/Workspace.h"
#include "Platform/Log.h"
#include "PrivateSystemBus.h"
#include "TestSupport.h"

using namespace vistel;

TEST(WorkspaceTest, FilesGoAsEncodedFileURLsAndAddressesAsGiven)
{
    std::vector<std::string> opened;
    Workspace::Opener previous = Workspace::setOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    EXPECT_TRUE(Workspace::openFile("/home/me/Holiday 2024/IMG#1.jpg"));
    EXPECT_TRUE(Workspace::openURL("https://example.org/client/en/301869"));
    EXPECT_FALSE(Workspace::openFile("relative.jpg"));
    EXPECT_FALSE(Workspace::openURL(""));
    EXPECT_EQ(opened, (std::vector<std::string> {"file:///home/me/Holiday%202024/IMG%231.jpg",
                                                 "https://example.org/client/en/301869"}));
    Workspace::setOpener(previous);
}

// Showing items in the file manager, against a recording file manager on a private session bus.

namespace {

// Records every call it gets ("Member uri… [startup id]") and answers it empty.
class RecordingFileManager : public QDBusVirtualObject {
public:
    std::vector<std::string> shown;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        std::string line = message.interface().toStdString() + "." + message.member().toStdString();
        const QList<QVariant> arguments = message.arguments();
        if (arguments.size() == 2) {
            for (const QString& uri : arguments[0].toStringList())
                line += " " + uri.toStdString();
            line += " [" + arguments[1].toString().toStdString() + "]";
        }
        shown.push_back(line);
        connection.send(message.createReply());
        return true;
    }
};

} // namespace

TEST(WorkspaceTest, ShowsItemsThroughTheFileManagerElseOpensTheFolder)
{
    vistel::test::TemporaryFolder folder("vistel-session");
    vistel::test::PrivateSystemBus bus(folder.path(), "DBUS_SESSION_BUS_ADDRESS");
    if (!bus.running())
        VISTEL_SKIP_UNAVAILABLE() << "dbus-daemon could not be started";
    std::vector<std::string> opened;
    Workspace::Opener previous = Workspace::setOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });

    // Nobody serves the name yet: the parent folder opens.
    ScopedLogCapture log;
    EXPECT_TRUE(Workspace::selectFile("/photos/Trip 1/a#b.jpg"));
    ASSERT_TRUE(vistel::test::spinUntil([&] { return !opened.empty(); }, 10000));
    EXPECT_EQ(opened, (std::vector<std::string> {"file:///photos/Trip%201"}));
    EXPECT_TRUE(log.contains("Workspace::selectFile no file manager"));

    // The recording file manager on its own connection.
    QDBusConnection service = QDBusConnection::connectToBus(QString::fromStdString(bus.address()), "file-manager");
    ASSERT_TRUE(service.isConnected());
    RecordingFileManager manager;
    ASSERT_TRUE(service.registerVirtualObject("/org/freedesktop/FileManager1", &manager));
    ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));
    opened.clear();
    EXPECT_TRUE(Workspace::selectFile("/photos/Trip 1/\xe9t\xe9 100%.jpg", "/photos"));
    ASSERT_TRUE(vistel::test::spinUntil([&] { return !manager.shown.empty(); }, 10000));
    vistel::test::spinEvents(100);
    EXPECT_EQ(manager.shown, (std::vector<std::string> {"org.freedesktop.FileManager1.ShowItems file:///photos/Trip%201/%E9t%E9%20100%25.jpg []"}));
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(Workspace::selectFile("relative.jpg"));

    service.unregisterService("org.freedesktop.FileManager1");
    QDBusConnection::disconnectFromBus("file-manager");
    Workspace::setOpener(previous);
}
