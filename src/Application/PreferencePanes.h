#pragma once
// The panes of the preferences window: PreferencePane (the base: key, name, tool tip, toolbar
// icon, content view) and the five panes General, Manage, View, Software Update and Print,
// supplied in that order by GeneralPreferencePanesController. Each pane builds its view in
// code; its controls are bound to their preferences through Preferences::bind, so a change in
// the window is a change of the preference and the other way round.
//
// Icons are "images/GeneralPreferencePanes/<iconName>" of the main bundle (any type). Names
// are translated; tool tips are translation keys whose English text is in en.lproj.
//
// Thread rules: main thread only. The panes live for the rest of the run once made.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QIcon>

#include "ZovClass.h"

class QLabel;
class QWidget;

namespace vistel {

class PreferencePane {
public:
    ZOV_ROOT_CLASS(PreferencePane)
    virtual ~PreferencePane();
    PreferencePane(const PreferencePane&) = delete;
    PreferencePane& operator=(const PreferencePane&) = delete;

    // The icon's file name without type; null in the base.
    virtual const char* iconName() const { return nullptr; }
    virtual std::string paneKey() const = 0;
    virtual std::string paneName() const = 0;
    virtual std::optional<std::string> paneToolTip() const { return std::nullopt; }
    QIcon paneIcon() const { return icon_; }
    QWidget* paneView() const { return view_; }

protected:
    PreferencePane() = default;
    // Makes the view (a derived class fills it in its constructor) and loads the icon.
    QWidget* makeView();
    void awakeFromNib();

private:
    QWidget* view_ = nullptr; // owned; deleted with the pane unless a window took it
    QIcon icon_;
};

class MainPreferencePane : public PreferencePane {
public:
    ZOV_CLASS(MainPreferencePane, PreferencePane)
    MainPreferencePane();
    const char* iconName() const override { return "general"; }
    std::string paneKey() const override { return "Vistel::General::General"; }
    std::string paneName() const override;
    std::optional<std::string> paneToolTip() const override;
};

class ManagePreferencePane : public PreferencePane {
public:
    ZOV_CLASS(ManagePreferencePane, PreferencePane)
    ManagePreferencePane();
    const char* iconName() const override { return "manage"; }
    std::string paneKey() const override { return "Vistel::General::Manage"; }
    std::string paneName() const override;
    std::optional<std::string> paneToolTip() const override;

    // "Choose…": a folder panel starting at the start folder; the chosen folder becomes
    // "BrowserPanel.DefaultOpenFolder".
    void onChooseDefaultLocation();
    QLabel* defaultOpenLocation() const { return defaultOpenLocation_; }
    // Tests answer the folder panel (the start folder in, the chosen folder or nullopt out).
    using FolderChooser = std::function<std::optional<std::string>(const std::string& start)>;
    static FolderChooser setFolderChooser(FolderChooser chooser);

private:
    QLabel* defaultOpenLocation_ = nullptr;
};

class ViewerPreferencePane : public PreferencePane {
public:
    ZOV_CLASS(ViewerPreferencePane, PreferencePane)
    ViewerPreferencePane();
    const char* iconName() const override { return "view"; }
    std::string paneKey() const override { return "Vistel::General::View"; }
    std::string paneName() const override;
    std::optional<std::string> paneToolTip() const override;
};

class UpdatePreferencePane : public PreferencePane {
public:
    ZOV_CLASS(UpdatePreferencePane, PreferencePane)
    UpdatePreferencePane();
    const char* iconName() const override { return "update"; }
    std::string paneKey() const override { return "Vistel::General::Update"; }
    std::string paneName() const override;
    std::optional<std::string> paneToolTip() const override;
    QLabel* updateMessageTextField() const { return updateMessageTextField_; }

private:
    QLabel* updateMessageTextField_ = nullptr;
};

class PrintPreferencePane : public PreferencePane {
public:
    ZOV_CLASS(PrintPreferencePane, PreferencePane)
    PrintPreferencePane();
    const char* iconName() const override { return "print"; }
    std::string paneKey() const override { return "Vistel::General::Print"; }
    std::string paneName() const override;
    std::optional<std::string> paneToolTip() const override;
};

// The provider of the program's own panes.
class GeneralPreferencePanesController {
public:
    // The five panes in order, made on the first call.
    static const std::vector<PreferencePane*>& preferencePanes();
};

} // namespace vistel
