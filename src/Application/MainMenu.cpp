#include "Application/MainMenu.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QVariant>

#include <map>

#include "Application/Application.h"
#include "Application/ZOVUpdater.h"
#include "Platform/Gui/Responder.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {
// Marks a menu bar the table filled, with its window kind.
constexpr const char* KindProperty = "vistelMainMenuKind";
} // namespace

std::string MainMenu::serverURL() { return ZOVUpdater::serverURL(); }

std::vector<MainMenu::Entry> MainMenu::table(WindowKind kind)
{
    auto t = [](const char* text) { return std::string(ZOV_TRANSLATE_CLASS(text, "table:")); };
    auto keys = [](std::initializer_list<QKeySequence> sequences) { return QList<QKeySequence>(sequences); };
    const std::string file = t("File"), edit = t("Edit"), view = t("View"), go = t("Go"), window = t("Window"),
                      help = t("Help");
    std::vector<Entry> entries = {
        {file, t("Open…"), "openDocument:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_O)})},
        {file, t("New Folder"), "onCreateFolderAction:", 0, keys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N)})},
        {file, t("Close Window"), "performClose:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_W)})},
        {file, t("Save As…"), "saveDocumentAs:", 0, keys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)})},
        {file, t("Print…"), kind == WindowKind::Main ? "printPictures:" : "printDocument:", 0,
         keys({QKeySequence(Qt::CTRL | Qt::Key_P)})},
        {file, "", "", 0, {}},
        {file, t("Export Metadata"), "exportMetadata:", 0, {}},
        {file, t("Batch Convert…"), "batchConvertFileFormat:", 0, {}},
        {file, t("Batch Resize…"), "batchResize:", 0, {}},
        {file, t("Batch Rename…"), "batchRename:", 0, {}},
        {file, "", "", 0, {}},
        {file, t("New Frame…"), "newPictureFrame:", 0, {}},
        {file, t("Configure Frame…"), "editPictureFrame:", 0, {}},
        {file, t("Reset Frame"), "resetPictureFrame:", 0, {}},
        {file, t("Send to Frame"), "sendToFrame:", 0, {}},
        {file, t("Eject"), "onUnmountVolumeAction:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_E)})},
        {file, "", "", 0, {}},
        {file, t("Empty Database…"), "emptyDatabase:", 0, {}},
        {file, t("Quit CFBundleName"), "terminate:", 7, keys({QKeySequence(Qt::CTRL | Qt::Key_Q)})},

        {edit, t("Undo"), "undo:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_Z)})},
        {edit, t("Redo"), "redo:", 0, keys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)})},
        {edit, "", "", 0, {}},
        {edit, t("Cut"), "cut:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_X)})},
        {edit, t("Copy"), "copy:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_C)})},
        {edit, t("Paste"), "paste:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_V)})},
        {edit, t("Move Here"), "move:", 0, keys({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V)})},
        {edit, t("Select All"), "selectAll:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_A)})},
        {edit, "", "", 0, {}},
        {edit, t("Rename"), "rename:", 0, keys({QKeySequence(Qt::Key_F2)})},
        {edit, t("Move to Trash"), "moveToTrash:", 0, keys({QKeySequence(Qt::Key_Delete)})},
        {edit, t("Delete Permanently"), "deletePermanently:", 100, {}},
        {edit, "", "", 0, {}},
        {edit, t("Rotate Left"), "rotateLeft:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_L)})},
        {edit, t("Rotate Right"), "rotateRight:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_R)})},
        {edit, "", "", 0, {}},
        {edit, t("Preferences…"), "showPreferences:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_Comma)})},

        {view, t("as Thumbnails"), "asThumbnails:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_1)})},
        {view, t("as List"), "asList:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_2)})},
        {view, "", "", 0, {}},
        {view, t("Organize Panel"), "showHideOrganizePanel:", 0, {}},
        {view, t("Properties Panel"), "showHidePropertiesPanel:", 0, {}},
        {view, "", "", 0, {}},
        {view, t("Zoom In"), "zoomIn:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)})},
        {view, t("Zoom Out"), "zoomOut:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_Minus)})},
        {view, t("Best Fit"), "bestFit:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_0)})},
        {view, t("Full Screen"), kind == WindowKind::Main ? "goFullScreen:" : "toggleFullScreen:", 0, keys({QKeySequence(Qt::Key_F11)})},
        {view, "", "", 0, {}},
        {view, t("Show/Hide Toolbar"), "toggleToolbarShown:", 0, {}},
        {view, t("Customize Toolbar…"), "runToolbarCustomizationPalette:", 0, {}},

        {go, t("Back"), "backward:", 0, keys({QKeySequence(Qt::ALT | Qt::Key_Left)})},
        {go, t("Forward"), "forward:", 0, keys({QKeySequence(Qt::ALT | Qt::Key_Right)})},
        {go, t("Enclosing Folder"), "enclosingFolder:", 0, keys({QKeySequence(Qt::ALT | Qt::Key_Up)})},

        {window, t("Minimize"), "performMiniaturize:", 0, keys({QKeySequence(Qt::CTRL | Qt::Key_M)})},
        {window, t("Browser"), "showBrowser:", 0, {}},
    };
    if (!serverURL().empty()) {
        entries.push_back({help, t("Release Notes"), "showReleaseNotes:", 0, {}});
        entries.push_back({help, t("Check for Updates…"), "checkForUpdateImmediately:", 0, {}});
    }
    entries.push_back({help, t("About CFBundleName"), "showAboutBox:", 1, {}});
    const std::vector<Entry>& added = main().added_;
    entries.insert(entries.end(), added.begin(), added.end());
    return entries;
}

MainMenu& MainMenu::main()
{
    static MainMenu menu;
    return menu;
}

void MainMenu::addEntry(Entry entry)
{
    added_.push_back(std::move(entry));
    reinstallAll();
}

void MainMenu::removeAddedEntries()
{
    added_.clear();
    reinstallAll();
}

void MainMenu::reinstallAll()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        for (QMenuBar* menuBar : window->findChildren<QMenuBar*>()) {
            const QVariant kind = menuBar->property(KindProperty);
            if (kind.isValid())
                install(menuBar, static_cast<WindowKind>(kind.toInt()));
        }
}

void MainMenu::install(QMenuBar* menuBar, WindowKind kind)
{
    menuBar->clear();
    menuBar->setProperty(KindProperty, static_cast<int>(kind));
    std::map<std::string, QMenu*> menus;
    for (const Entry& entry : table(kind)) {
        QMenu*& menu = menus[entry.menu];
        if (!menu)
            menu = menuBar->addMenu(QString::fromStdString(entry.menu));
        if (entry.title.empty()) {
            menu->addSeparator();
            continue;
        }
        auto* item = new ActionItem(QString::fromStdString(entry.title), entry.action, menu);
        item->setTag(entry.tag);
        item->setShortcuts(entry.shortcuts);
        menu->addAction(item);
    }
    Application::customizeMenu(menuBar);
}

} // namespace vistel
