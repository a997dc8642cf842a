#pragma once
// MainMenu: the one menu model every window's menu bar is built from.
//
// Each entry has its menu, title (translated; "CFBundleName" is put in by
// Application::customizeMenu), action, tag and shortcuts; items are ActionItems, so they
// travel the responder chain and validate against it (a menu validates as it opens). The Print
// item sends printPictures: in the main window and printDocument: in picture windows; Full Screen
// sends goFullScreen: to the main window's mode and toggleFullScreen: in picture windows. Release
// Notes and Check for Updates… are listed only when the build names an update server.
//
// Thread rules: main thread only.

#include <string>
#include <vector>

#include <QKeySequence>
#include <QList>

#include "ZovClass.h"

class QMenuBar;

namespace vistel {

class MainMenu {
public:
    ZOV_ROOT_CLASS(MainMenu)

    enum class WindowKind { Main, Picture };

    struct Entry {
        std::string menu;   // translated
        std::string title;  // translated; empty for a separator
        std::string action;
        int tag = 0;
        QList<QKeySequence> shortcuts;
    };

    // The program's entries, then the added ones.
    static std::vector<Entry> table(WindowKind kind);
    // Fills the menu bar (after clearing it) and applies Application::customizeMenu. Entries of
    // one menu title go into one menu, in table order.
    static void install(QMenuBar* menuBar, WindowKind kind);

    // The menu model the add-ons are given.
    static MainMenu& main();
    // Adds an entry to every window's menu bar, those there now and those made later.
    void addEntry(Entry entry);
    // Forgets the added entries (tests).
    void removeAddedEntries();
    // The update server the build names; empty when none.
    static std::string serverURL();

private:
    MainMenu() = default;
    static void reinstallAll();
    std::vector<Entry> added_;
};

} // namespace vistel
