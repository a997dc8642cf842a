#pragma once
// The demo frame: what a browsing window of the program looks like, built from the UI framework
// alone. Used by the demo program (screenshots under a real X server) and the benchmarks.
//
// Tool bar with buttons and a slider, a left dock ("Places": search field, source list, a bottom
// tool bar whose buttons follow the panel's validation), the central view, a right stacked area of
// two docks with tabs ("Info": an outline whose rows host controls, "Keywords"), and a status
// line in the status band.

#include <QLabel>
#include <QPainter>

#include <memory>

#include "Common/Alert/SingleLineTextField.h"
#include "Common/Icons/NSImageNameTemplatesLoader.h"
#include "Common/Views/GTBottomToolbarStyle.h"
#include "Common/Views/SliderWithButtons.h"
#include "Common/Views/ZovMainWindow.h"
#include "Common/Views/ZovViewLayout.h"
#include "DemoTables.h"
#include "Platform/Gui/Window.h"

namespace vistel::demo {

// A plain view that fills itself with one colour and draws a text in its middle.
class ColorView : public QWidget {
public:
    ColorView(QColor color, QString text) : color_(color), text_(std::move(text)) { }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), color_);
        painter.setPen(QColor(90, 90, 90));
        painter.drawText(rect(), Qt::AlignCenter, text_);
    }

private:
    QColor color_;
    QString text_;
};

// The places panel: validates its bar's buttons ("remove:" only with a selection).
class PlacesPanel : public QWidget, public ZovButtonsStatusUpdaterDataSource {
public:
    PlacesPanel()
    {
        auto box = ZovBoxLayout::createVertical();
        auto* search = new SingleLineTextField;
        search->setPlaceholderText("Search");
        list_ = new SourceListOutline;
        bar_ = GTBottomToolbarStyle::newToolbarViewWithFrame({0, 0, 1, GTBottomToolbarStyle::toolbarHeight()});
        box->setMargins(0);
        box->addItem(ZovViewLayoutItem::createLayoutItemForView(search, MakeExpandingSizePolicy(0, -1), MakeFixedSizePolicy(24)));
        box->addItem(ZovViewLayoutItem::createLayoutItemForView(list_, MakeExpandingSizePolicy(0, -1), MakeExpandingSizePolicy(0, -1)));
        box->addItem(ZovViewLayoutItem::createLayoutItemForView(bar_, MakeExpandingSizePolicy(0, -1),
                                                                MakeFixedSizePolicy(GTBottomToolbarStyle::toolbarHeight())));
        ZovViewLayout::attachLayout(std::unique_ptr<ZovLayout>(std::move(box)), this);
        updater_ = std::make_unique<ZovButtonsStatusUpdater>(*this, responder_, bar_);
        responder_.panel = this;
    }

    std::vector<std::uint32_t> allowedControlsID(ZovButtonsStatusUpdater&) override { return {0, 1, 2}; }
    QWidget* createControlWithID(std::uint32_t identifier, ZovButtonsStatusUpdater&) override
    {
        if (identifier == 2) {
            SliderWithButtons* slider = GTBottomToolbarStyle::newSliderWithWidth(GTBottomToolbarStyle::standardSliderWithButtonsWidth(), nullptr, nullptr);
            slider->move(GTBottomToolbarStyle::bevelButtonFrameForIndex(2).topLeft());
            return slider;
        }
        ActionButton* button = GTBottomToolbarStyle::newBevelButton(static_cast<int>(identifier), identifier == 0 ? kImageNameAdd : kImageNameRemove,
                                                                    identifier == 0 ? "Add a place" : "Remove the place");
        button->setAction(identifier == 0 ? "add:" : "remove:");
        return button;
    }

    SourceListOutline* list() const { return list_; }
    ZovButtonsStatusUpdater& updater() const { return *updater_; }

private:
    struct PanelResponder : Responder {
        PlacesPanel* panel = nullptr;
        bool validateUserInterfaceItem(const UserInterfaceItem& item) override
        {
            return item.action() != "remove:" || (panel && !panel->list_->selectedRowIndexes().empty());
        }
    };
    SourceListOutline* list_;
    QWidget* bar_;
    PanelResponder responder_;
    std::unique_ptr<ZovButtonsStatusUpdater> updater_;
};

struct DemoFrame {
    Window window;
    ZovMainWindow* frame = nullptr;
    PlacesPanel* places = nullptr;
    ZovDock* placesDock = nullptr;
    ZovDock* infoDock = nullptr;
    ZovDock* keywordsDock = nullptr;

    static std::unique_ptr<ZovDock> dock(QWidget* view, const char* caption, float preferredWidth, float minWidth)
    {
        auto made = ZovDock::create(view);
        made->setCaption(caption);
        made->dockItemLayout()->captionItem()->setVSizePolicy(MakeFixedSizePolicy(22));
        made->dockItemLayout()->contentItem()->setHSizePolicy(MakePreferredSizePolicy(preferredWidth, minWidth, -1));
        return made;
    }

    explicit DemoFrame(QSize size)
    {
        NSImageNameTemplatesLoader::load();
        window.setWindowTitle("Vistel");
        frame = ZovMainWindow::create();
        window.setContentView(frame->parentView());
        ZovViewLayout::findLayoutForView(frame->parentView())->setMargins(1);

        ZovToolBar* toolBar = frame->toolBar();
        for (int i = 0; i < 3; ++i) {
            const char* images[] = {kImageNameGoLeft, kImageNameGoRight, kImageNameSlideshow};
            ActionButton* button = GTBottomToolbarStyle::newBevelButton(0, images[i], "");
            toolBar->addView(button, MakeFixedSizePolicy(32), MakeFixedSizePolicy(32));
        }
        toolBar->addView(new QWidget, MakeExpandingSizePolicy(0, -1), MakeFixedSizePolicy(32));
        SliderWithButtons* zoom = GTBottomToolbarStyle::newSliderWithWidth(GTBottomToolbarStyle::standardSliderWithButtonsWidth(), nullptr, nullptr);
        toolBar->addView(zoom, MakeFixedSizePolicy(GTBottomToolbarStyle::standardSliderWithButtonsWidth()), MakeFixedSizePolicy(32));

        frame->setCentralView(new ColorView(Qt::white, "Pictures"));

        places = new PlacesPanel;
        frame->dockAreaForPosition(ZovDockAreaPositionLeft)->splitBy(ZovLayoutOrientationVertical, dock(places, "Places", 200, 200), false);
        placesDock = places->parentWidget() ? frame->dockAreaForPosition(ZovDockAreaPositionLeft)->areas().front()->docks().front() : nullptr;
        ZovDockArea* stack = frame->dockAreaForPosition(ZovDockAreaPositionRight)
                                 ->splitBy(ZovLayoutOrientationVertical, dock(new PropertiesOutline, "Info", 230, 150), false);
        infoDock = stack->docks().front();
        keywordsDock = frame->adoptDock(dock(new ColorView(QColor(250, 250, 250), "Keywords"), "Keywords", 220, 150));
        stack->addToStack(*keywordsDock, 0);

        auto* status = new QLabel("  5 places, 1 280 pictures");
        View::addSubview(frame->parentView(), status);
        ZovViewLayoutItem::attachView(status, *frame->statusbarLayoutItem());
        window.resize(size);
        frame->relayout();
    }
};

} // namespace vistel::demo
