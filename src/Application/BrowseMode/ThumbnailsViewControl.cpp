#include "Application/BrowseMode/ThumbnailsViewControl.h"

#include <QEvent>
#include <QScrollBar>
#include <QVBoxLayout>

#include "Preferences/Preferences.h"

namespace vistel {

const std::vector<ThumbnailsViewControl::PreferenceBinding>& ThumbnailsViewControl::preferenceBindings()
{
    static const std::vector<PreferenceBinding> bindings {
        {"ThumbnailStyle.HighQualityScaling", "useHighQualityScaling"},
        {"ThumbnailStyle.ShowDropShadow", "useShadowBorder"},
        {"ThumbnailStyle.ShowFrame", "useOutlineBorder"},
        {"ThumbnailStyle.ShowSlideBackground", "useSlideBackGround"},
        {"ThumbnailStyle.ShowSlideBorder", "useSlideBorder"},
        {"ThumbnailStyle.Size", "itemSize"},
        {"ThumbnailInfo.Information.FileName", "showFileName"},
        {"ThumbnailInfo.Overlays.Rating", "showRating"},
        {"ThumbnailInfo.Overlays.Tagged", "showTagged"},
        {"ThumbnailInfo.Overlays.Locked", "showLocked"},
        {"ThumbnailInfo.Overlays.Category", "showCategory"},
        {"ThumbnailInfo.Overlays.Icon", "showIcon"},
        {"ThumbnailInfo.Overlays.AutoRotate", "showAutoRotate"},
    };
    return bindings;
}

ThumbnailsViewControl::ThumbnailsViewControl(QWidget* parent) : ItemsViewControl(parent)
{
    grid_ = new ThumbnailsView;
    grid_->setDataSource(this);
    grid_->setUserActionsDelegate(this);
    scrollView_ = new QScrollArea(this);
    scrollView_->setFrameShape(QFrame::NoFrame);
    scrollView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollView_->setWidgetResizable(false);
    scrollView_->setWidget(grid_);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(scrollView_);

    Preferences& preferences = Preferences::sharedPreferences();
    const Value continuous = Value::dictionary({{NSContinuouslyUpdatesValueBindingOption, Value(true)}});
    for (const PreferenceBinding& binding : preferenceBindings())
        preferences.bind(*grid_, binding.binding, binding.key, continuous);
    applySpacingPreference();
    // Changes may come from any thread; the grid changes on the main thread.
    spacingObserver_ = UserDefaults::standard().addObserver(SpacingKey, [this](const std::string&, const Value&) {
        RunLoop::main()->perform([this] { applySpacingPreference(); }, {NSRunLoopCommonModes}, 0, this);
    });
}

ThumbnailsViewControl::~ThumbnailsViewControl()
{
    UserDefaults::standard().removeObserver(spacingObserver_);
    RunLoop::main()->cancelPerforms(this);
    for (const PreferenceBinding& binding : preferenceBindings())
        UserDefaultsController::unbind(*grid_, binding.binding);
    // The grid refers to this control: it forgets it before the control goes.
    grid_->setDataSource(nullptr);
    grid_->setUserActionsDelegate(nullptr);
}

void ThumbnailsViewControl::applySpacingPreference()
{
    const float spacing = UserDefaults::standard().floatForKey(SpacingKey);
    if (spacing == grid_->itemsVerticalSpacing())
        return;
    grid_->setItemsVerticalSpacing(spacing);
    grid_->setItemsHorizontalSpacing(spacing);
}

void ThumbnailsViewControl::reloadData() { grid_->reloadData(); }

void ThumbnailsViewControl::updateItemWithIndex(unsigned index)
{
    grid_->updateLayoutAndFrame();
    grid_->updateItemWithIndex(index);
}

void ThumbnailsViewControl::updateItemWithIndexes(const IndexSet& indexes)
{
    grid_->updateLayoutAndFrame();
    grid_->updateItemWithIndexes(indexes);
}

IndexSet ThumbnailsViewControl::visibleItemsIndexSet() const { return grid_->visibleItemsIndexSet(); }

void ThumbnailsViewControl::scrollToItemWithIndex(unsigned index) { grid_->scrollToItemWithIndex(index); }

Ref<FileSystemItemMO> ThumbnailsViewControl::dropFolderForDrop(QPoint point) const
{
    const std::uint64_t index = grid_->itemIndexForPoint(QPointF(grid_->mapFrom(this, point)));
    if (index < grid_->itemsCount())
        if (Ref<FileSystemItemMO> item = grid_->itemAtIndex(index); item && item->isFolder())
            return item;
    return ItemsViewControl::dropFolderForDrop(point);
}

bool ThumbnailsViewControl::event(QEvent* event)
{
    // Back in a window (after being taken out): the grid makes its images again.
    if (event->type() == QEvent::ParentChange && parentWidget() && grid_)
        grid_->resetImageCaches();
    return ItemsViewControl::event(event);
}

} // namespace vistel
