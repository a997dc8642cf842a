#pragma once
// Panel tool bars: the metrics and factories of the thin bars along a panel's bottom edge
// (GTBottomToolbarStyle), their background view, the object that makes a panel's bar controls by
// identifier and keeps them enabled by validation (ZovButtonsStatusUpdater), and the docking
// frame's tool bar, which lays its subviews out left to right by size policies (ZovToolBar).
//
// Thread rules: main thread only.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QColor>
#include <QPointer>
#include <QWidget>

#include "Common/Layout/ZovBoxLayout.h"
#include "Common/Views/ZovViewLayout.h"
#include "Platform/Gui/Responder.h"

class QAbstractButton;

namespace vistel {

class SliderWithButtons;
class Slider;
class ZovButtonsStatusUpdater;

class GTBottomToolbarStyle {
public:
    static constexpr int toolbarHeight() { return 28; }
    static constexpr QSize standardButtonSize() { return {24, 24}; }
    static constexpr int standardButtonOffset() { return 4; }
    static constexpr int standardSliderWidth() { return 100; }
    static constexpr int standardSliderWithButtonsWidth() { return 120; }
    static QColor standardBackgroundColor();

    // {4 + 28n, 2, 24, 24}: the n-th button of a bar, vertically centred.
    static QRect bevelButtonFrameForIndex(int index);
    // A flat, title-less button at that index with the tooltip and the named image (from the
    // "images" folder), shown at most 16 by 16 (never enlarged). The caller owns it.
    static ActionButton* newBevelButton(int index, const std::string& imageName, const QString& tooltip);
    // A slider with minimum and maximum buttons, {0, 0, width, 24}; null images take the
    // remove / add images.
    static SliderWithButtons* newSliderWithWidth(int width, const char* imageMin, const char* imageMax);
    // A plain slider {0, 0, 100, 24}.
    static Slider* newSlider();
    // The bar's background view.
    static QWidget* newToolbarViewWithFrame(const QRect& frame);

    GTBottomToolbarStyle() = delete;
};

// The background of a panel's bar: the standard colour.
class GTBottomToolbarViewTemplate : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// What a panel supplies to its updater.
class ZovButtonsStatusUpdaterDataSource {
public:
    virtual ~ZovButtonsStatusUpdaterDataSource() = default;
    // The identifiers of the controls to make, in order.
    virtual std::vector<std::uint32_t> allowedControlsID(ZovButtonsStatusUpdater& updater) = 0;
    // The control for an identifier (a Control: it sends an action), or null to skip it.
    virtual QWidget* createControlWithID(std::uint32_t identifier, ZovButtonsStatusUpdater& updater) = 0;
};

// Makes a panel's controls into its parent view and, at every update of the window, enables
// each exactly when the panel validates it.
class ZovButtonsStatusUpdater {
public:
    // `responder` is the panel: a data source and a Responder (its validateUserInterfaceItem).
    ZovButtonsStatusUpdater(ZovButtonsStatusUpdaterDataSource& dataSource, Responder& responder, QWidget* parentView);
    ~ZovButtonsStatusUpdater();
    ZovButtonsStatusUpdater(const ZovButtonsStatusUpdater&) = delete;
    ZovButtonsStatusUpdater& operator=(const ZovButtonsStatusUpdater&) = delete;

    QWidget* controlWithID(std::uint32_t identifier) const;
    QWidget* parentView() const { return parentView_; }
    bool validateUserInterfaceItem(const UserInterfaceItem& item) { return responder_.validateUserInterfaceItem(item); }
    // Enables every control by validation (what a window update does).
    void updateControls();

private:
    Responder& responder_;
    QWidget* parentView_;
    std::map<std::uint32_t, QPointer<QWidget>> buttons_;
};

// The frame's tool bar: a horizontal ZovBoxLayoutExt bound to the view, destroyed with it. It is
// as high as its views want (nothing when empty) and as wide as it is given.
class ZovToolBar : public QWidget, public ZovViewLayoutItemSizePolicySource {
public:
    ZovSizePolicy hSizePolicyForZovViewLayoutItem(ZovLayoutItem&) override { return MakeNullSizePolicy(); }
    ZovSizePolicy vSizePolicyForZovViewLayoutItem(ZovLayoutItem&) override { return layout_->vSizePolicy(); }

    static ZovToolBar* toolBar();

    // Adds the view with its own size policies, or the given ones.
    void addView(QWidget* view);
    void addView(QWidget* view, const ZovSizePolicy& hPolicy, const ZovSizePolicy& vPolicy);
    // The bound box (QWidget::layout() stays Qt's own, unused here).
    ZovBoxLayoutExt* toolBarLayout() const { return layout_; }

protected:
    ZovToolBar();
    void paintEvent(QPaintEvent* event) override;

private:
    ZovBoxLayoutExt* layout_ = nullptr;
};

} // namespace vistel
