#pragma once
// ItemsPanel: the centre of the browse window. It shows the browsing selection's items either
// as thumbnails (ThumbnailsViewControl) or as a list (DetailsViewControl), switches between
// them, and carries a bottom tool bar: the rotate buttons, the list/thumbnails switch and the
// thumbnail-size slider (ScaleThumbnailsPanel, shown in thumbnails mode only). While a file
// operation runs, a progress strip sits between the items and the tool bar.
//
// Modes are strings: "ItemsPanelThumbnailsMode", "ItemsPanelDetailsMode" and
// "ItemsPanelNullMode" (nothing shown; the initial mode, and what an unknown mode becomes).
// Switching to another mode deactivates the old control, activates the new one, gives its view
// the keyboard focus and posts "ItemsPanelSelectionChangedNotification" (object the panel's
// view object, user info {"currentMode": mode}); setting the current mode again does nothing.
// The switch is two checkable buttons in an exclusive group, tagged with their mode strings
// (property "modeTag"), and follows the mode both ways.
//
// Layout: a vertical box bound to the panel: the mode slot (the current control's item, or an
// empty expanding item), the progress strip when one is shown (50 points high), the tool bar.
//
// Actions and validation go to the current control (the rotate buttons validate there, so they
// stay off while the handler cannot rotate).
//
// Thread rules: main thread only.

#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <string>

#include "Application/BrowseMode/FolderProgressPanel.h"
#include "Common/Views/GTBottomToolbarStyle.h"
#include "Platform/Gui/Responder.h"
#include "ZovClass.h"

class QButtonGroup;
class QToolButton;

namespace vistel {

class BrowsingModeController;
class BrowsingSelection;
class BrowsingControlUserActionsProtocol;
class ItemsViewControl;
class SliderWithButtons;
class ZovBoxLayout;
class ZovLayoutItem;

inline constexpr const char* ItemsPanelThumbnailsMode = "ItemsPanelThumbnailsMode";
inline constexpr const char* ItemsPanelDetailsMode = "ItemsPanelDetailsMode";
inline constexpr const char* ItemsPanelNullMode = "ItemsPanelNullMode";
inline constexpr const char* ItemsPanelSelectionChangedNotification = "ItemsPanelSelectionChangedNotification";

// The thumbnail-size slider of the panel's tool bar: 32 to 320, bound continuously to
// "ThumbnailStyle.Size", so the slider and the grid's item size follow each other.
class ScaleThumbnailsPanel : public QWidget {
public:
    static ScaleThumbnailsPanel* scaleThumbnailsPanel();
    explicit ScaleThumbnailsPanel(const QRect& frame, QWidget* parent = nullptr);
    SliderWithButtons* slider() const { return slider_; }
    // Hides or shows the slider only; the panel keeps its place in the tool bar.
    void setSliderHidden(bool hidden);
    bool isSliderHidden() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    SliderWithButtons* slider_ = nullptr;
};

class ItemsPanel : public QWidget, public Responder, public ZovButtonsStatusUpdaterDataSource {
public:
    ZOV_ROOT_CLASS(ItemsPanel)

    static ItemsPanel* itemsPanel();
    ~ItemsPanel() override;

    // Makes the two controls (list and thumbnails), gives them the controller's selection and
    // handler, and rebinds the switch. Null detaches the controls from the selection and handler.
    void setBrowsingModeController(BrowsingModeController* controller);
    BrowsingModeController* browsingModeController() const { return browsingModeController_; }
    // The same with a selection and handler of one's own (no mode controller).
    void setSelectionAndHandler(BrowsingSelection* selection, BrowsingControlUserActionsProtocol* handler);

    const std::string& mode() const { return mode_; }
    void setMode(const std::string& mode);
    // The mode string for the two real modes, "ItemsPanelNullMode" for anything else.
    std::string browsingModeTag() const;
    void setBrowsingModeTag(const std::string& tag) { setMode(tag); }
    ItemsViewControl* currentViewControl() const;
    ItemsViewControl* viewControlForMode(const std::string& mode) const;

    // The bottom tool bar's parts.
    ZovToolBar* toolBar() const { return toolBar_; }
    ScaleThumbnailsPanel* scaleThumbnailsPanel() const { return scaleThumbnailsPanel_; }
    QToolButton* switcherButton(int segment) const;
    ZovButtonsStatusUpdater* buttonsUpdater() const { return buttonsUpdater_.get(); }

    // The progress strip: shown between the items and the tool bar, Expanding in width and
    // 50 points high; the panel takes it over (a strip shown before is deleted). Null hides it.
    // The panel's FolderProgressStrip shows one here for each file operation that reports its
    // status, and takes it out when the operation has ended.
    void showProgressView(QWidget* strip);
    QWidget* progressView() const { return progressView_; }
    FolderProgressStrip* progressStrip() const { return progressStrip_.get(); }

    // Responder: validation and actions go to the current control.
    bool respondsToAction(const std::string& action) const override;
    bool performAction(const std::string& action, QObject* sender) override;
    bool validateUserInterfaceItem(const UserInterfaceItem& item) override;

    // ZovButtonsStatusUpdaterDataSource: 0 rotate left, 1 rotate right.
    std::vector<std::uint32_t> allowedControlsID(ZovButtonsStatusUpdater& updater) override;
    QWidget* createControlWithID(std::uint32_t identifier, ZovButtonsStatusUpdater& updater) override;

    // Relays the panel out now.
    void relayout();

private:
    ItemsPanel();
    void createBottomToolbar();
    void createViewControls();
    void putInModeSlot(const std::string& key); // "": the empty item
    void syncSwitcher();

    std::string mode_ = ItemsPanelNullMode;
    ZovBoxLayout* layout_ = nullptr;
    ZovLayoutItem* modeLayoutItem_ = nullptr;
    // Items not in the layout, by mode; "" is the empty item.
    std::map<std::string, std::unique_ptr<ZovLayoutItem>> spareItems_;
    std::map<std::string, ZovLayoutItem*> itemForMode_;
    std::map<std::string, QPointer<ItemsViewControl>> viewForMode_;
    ZovLayoutItem* progressLayoutItem_ = nullptr;
    QPointer<QWidget> progressView_;
    Ref<FolderProgressStrip> progressStrip_;
    BrowsingModeController* browsingModeController_ = nullptr;
    ZovToolBar* toolBar_ = nullptr;
    ScaleThumbnailsPanel* scaleThumbnailsPanel_ = nullptr;
    QButtonGroup* itemsViewSwitcher_ = nullptr;
    QWidget* rotateButtons_ = nullptr;
    std::unique_ptr<ZovButtonsStatusUpdater> buttonsUpdater_;
};

} // namespace vistel
