#pragma once
// Workspace: hands files and web addresses to the desktop (QDesktopServices): a file or folder
// opens in its default application, an address in the default browser. Tests replace the
// opener to record what would have been opened.
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

    using Opener = std::function<bool(const std::string& url)>;
    // An empty opener restores the desktop's. Answers the previous one.
    static Opener setOpener(Opener opener);
};

} // namespace vistel
