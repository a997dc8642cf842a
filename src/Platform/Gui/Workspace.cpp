#include "Platform/Gui/Workspace.h"

#include <QDesktopServices>
#include <QUrl>

#include <utility>

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
    return openURL(QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded).toStdString());
}

} // namespace vistel
