#pragma once
// WindowFrameAutosave: a window's frame kept in the preferences under a name, across runs.
//
// The frame is stored as text under "NSWindow Frame <name>": the window's geometry and the
// available (visible) geometry of its screen, "x y w h sx sy sw sh" in pixels. Restoring takes
// the screen whose visible frame is the stored one, else the screen under the stored frame's
// centre, else the primary screen, and clamps the frame into that screen's visible frame (never
// larger, never off screen). Once a window has an autosave name its frame is saved on every
// move and resize and as it closes.
//
// Thread rules: main thread only.

#include <optional>
#include <string>
#include <string_view>

#include <QRect>

class QWidget;

namespace vistel {

class UserDefaults;

struct SavedWindowFrame {
    QRect frame;
    QRect screenFrame;
};

// "x y w h sx sy sw sh"; nullopt for anything else or an empty size.
std::optional<SavedWindowFrame> parseWindowFrame(std::string_view text);
std::string windowFrameText(const SavedWindowFrame& frame);
// The frame clamped into the visible frame `screen`.
QRect clampedWindowFrame(const QRect& frame, const QRect& screen);

class WindowFrameAutosave {
public:
    static std::string defaultsKey(std::string_view name) { return "NSWindow Frame " + std::string(name); }

    // Applies the frame saved under `name` (when there is one) and saves it from now on.
    // Answers whether a saved frame was applied.
    static bool setFrameAutosaveName(QWidget* window, const std::string& name);
    static bool setFrameAutosaveName(QWidget* window, const std::string& name, UserDefaults& defaults);
    // Stores the window's frame under `name` now.
    static void saveFrameUsingName(const QWidget* window, const std::string& name, UserDefaults& defaults);
    // Applies the frame stored under `name`; false when none (or none readable) is stored.
    static bool setFrameUsingName(QWidget* window, const std::string& name, const UserDefaults& defaults);
};

} // namespace vistel
