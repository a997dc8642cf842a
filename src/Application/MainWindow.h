#pragma once
// MainWindow: the controller of the program's one main window.
//
// It picks the screen (the one numbered by "MainWindow.ScreenNumber", else the primary one),
// makes the window with the controller's own docking frame as its first content, makes the
// window modes and keeps one current, and routes every action the window receives to the
// current mode. Modes come from factories the modes register (browse mode registers its own);
// the first registered is made current. A mode switches by taking the window's central widget
// out (never deleting it) and putting its own in.
//
// Without a saved frame the window takes 0.85 of the screen's visible frame, centred; the frame
// is kept under "ZOVMainWindowFrame" (WindowFrameAutosave) and restored clamped on screen.
// Closing the window hides it (the application decides about quitting); as it closes, and when
// the controller goes, the screen's number is stored in "MainWindow.ScreenNumber".
//
// Thread rules: main thread.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QRect>

#include "Platform/Gui/Responder.h"
#include "Platform/Object.h"
#include "Platform/RunLoop.h"
#include "ZovClass.h"

class QScreen;

namespace vistel {

class BasicModeController;
class Window;
class ZovMainWindow;

inline constexpr const char* kBrowsingModeControllerID = "BrowsingModeControllerIdentifier";
inline constexpr const char* kViewModeControllerID = "ViewModeControllerControllerID";

class MainWindow : public Responder {
public:
    ZOV_ROOT_CLASS(MainWindow)

    static constexpr const char* FrameAutosaveName = "ZOVMainWindowFrame";
    static constexpr double DefaultFrameFraction = 0.85;

    // Makes a mode for a main window (set up, not yet current).
    using ModeFactory = std::function<std::unique_ptr<BasicModeController>(MainWindow&)>;
    // Modes register before the main window is made; the first registered becomes current.
    static void registerModeFactory(ModeFactory factory);
    static void clearModeFactories();

    // The window and its controller (Algorithms: screen, frame, modes). `lastOpenFilePath`, when
    // not empty, is shown in the view mode instead of the default sidebar selection.
    static std::unique_ptr<MainWindow> create(const std::string& lastOpenFilePath = {});
    ~MainWindow() override;

    Window* window() const { return window_; }
    ZovMainWindow* dockingFrame() const { return frame_; }
    void showWindow();

    // The frame without a saved one: `fraction` of `visible`, centred in it.
    static QRect defaultFrame(const QRect& visible, double fraction = DefaultFrameFraction);
    // The screen for a stored number: the one with that number, else the primary one.
    static QScreen* screenForNumber(std::optional<std::int64_t> number);

    // --- modes -----------------------------------------------------------------------------
    void addController(std::unique_ptr<BasicModeController> controller);
    const std::map<std::string, std::unique_ptr<BasicModeController>>& controllersDictionary() const
    {
        return controllers_;
    }
    BasicModeController* currentModeController() const { return current_; }
    void setCurrentModeController(BasicModeController* controller);
    // The action of the mode selector: the identifier is the sender's "itemIdentifier" property
    // (or the sender's text when it is a plain string holder).
    void selectController(const std::string& identifier);
    BasicModeController* browsingModeController() const;
    BasicModeController* viewModeController() const;
    void showFileAtPath(const std::string& path);

    // --- the folders last selected in browse mode ----------------------------------------------
    const std::vector<Ref<Object>>& browsingSelectedFolders() const { return browsingSelectedFolders_; }
    // Replaces the stored list only when it differs element by element.
    void setBrowsingSelectedFolders(const std::vector<Ref<Object>>& folders);

    // --- routing -----------------------------------------------------------------------------
    bool respondsToAction(const std::string& action) const override;
    bool performAction(const std::string& action, QObject* sender) override;
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;

    void windowWillClose();

private:
    explicit MainWindow(Window* window);
    void setUp(const std::string& lastOpenFilePath);
    void storeScreenNumber();

    Window* window_;
    ZovMainWindow* frame_ = nullptr;
    std::map<std::string, std::unique_ptr<BasicModeController>> controllers_;
    BasicModeController* current_ = nullptr;
    std::vector<Ref<Object>> browsingSelectedFolders_;
    Ref<RunLoop::Timer> defaultItemTimer_;
};

} // namespace vistel
