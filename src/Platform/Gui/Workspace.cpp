#include "Platform/Gui/Workspace.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QUrl>

#include <utility>

#include "Platform/FilePaths.h"
#include "Platform/Gui/Pasteboard.h"
#include "Platform/Log.h"

namespace vistel {

namespace {
Workspace::Opener installedOpener;
}

Workspace::Opener Workspace::setOpener(Opener opener) { return std::exchange(installedOpener, std::move(opener)); }

bool Workspace::openURL(const std::string& url)
{
    if (url.empty())
        return false;
    if (installedOpener)
        return installedOpener(url);
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

bool Workspace::openFile(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return false;
    // Encoded byte by byte: names that are not UTF-8 reach the desktop unchanged.
    return openURL(fileURLForPath(path));
}

bool Workspace::selectFile(const std::string& fullPath, const std::string&)
{
    if (fullPath.empty() || fullPath[0] != '/')
        return false;
    const std::string folder = parentFolderPath(fullPath);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        ZovLog("Workspace::selectFile no session bus; opening " + folder);
        return openFile(folder);
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList {QString::fromStdString(fileURLForPath(fullPath))} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [folder](QDBusPendingCallWatcher* done) {
        if (done->isError()) {
            ZovLog("Workspace::selectFile no file manager (" + done->error().name().toStdString() + "); opening " + folder);
            openFile(folder);
        }
        done->deleteLater();
    });
    return true;
}

} // namespace vistel
