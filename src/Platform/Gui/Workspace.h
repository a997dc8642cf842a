#pragma once
// Workspace: hands files and web addresses to the desktop (QDesktopServices): a file or folder
// opens in its default application, an address in the default browser. Tests replace the
// opener to record what would have been opened.
//
// Showing items in the file manager: org.freedesktop.FileManager1.ShowItems on the session bus
// (asynchronous: the answer comes back on the main loop); when no file manager answers, the
// item's parent folder is opened instead.
//
// Thread rules: main thread only.

#include <functional>
#include <string>

namespace vistel {

class Workspace {
public:
    // The file's URL ("file://" and the percent-encoded path) goes to the opener.
    static bool openFile(const std::string& path);
    static bool openURL(const std::string& url);

    // Shows the item in the desktop's file manager. `rootFullPath` is accepted and not used:
    // file managers choose their own root. False for an empty or relative path.
    static bool selectFile(const std::string& fullPath, const std::string& rootFullPath = {});

    using Opener = std::function<bool(const std::string& url)>;
    // An empty opener restores the desktop's. Answers the previous one.
    static Opener setOpener(Opener opener);
};

} // namespace vistel
