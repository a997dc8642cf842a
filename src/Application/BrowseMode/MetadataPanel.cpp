#include "Application/BrowseMode/MetadataPanel.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "Application/BrowseMode/BrowsingSelection.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/Layout/ZovBoxLayout.h"
#include "Common/Views/ZovViewLayout.h"
#include "Metadata/MetadataBaseView.h"
#include "Metadata/MetadataDatabaseView.h"
#include "Metadata/MetadataFileView.h"
#include "Metadata/MetadataProfile.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

constexpr int DatabaseNameWidth = 80;
constexpr int FileNameWidth = 80;
constexpr int PictureMetadataNameWidth = 140;
constexpr double MiniFontPointSize = 9.0;

QRect unitFrame() { return QRect(0, 0, 1, 1); }

// The database view: the item's own catalogue fields, edited in place, and the category tree.
QWidget* newDatabaseView() { return new MetadataDatabaseView(unitFrame(), DatabaseNameWidth); }

} // namespace

// ---- MetadataPanelViewsSet -------------------------------------------------------------------

MetadataPanelViewsSet::~MetadataPanelViewsSet()
{
    clearAll();
}

void MetadataPanelViewsSet::addView(QWidget* view, Ref<MetadataProvider> provider)
{
    views_.emplace_back(view);
    providers_.push_back(std::move(provider));
    currentView_ = NotFound;
}

void MetadataPanelViewsSet::clearAll()
{
    for (const QPointer<QWidget>& view : views_)
        delete view.data();
    views_.clear();
    providers_.clear();
    currentView_ = NotFound;
}

QWidget* MetadataPanelViewsSet::currentView() const
{
    if (currentView_ < 0 || static_cast<std::size_t>(currentView_) >= views_.size())
        return nullptr;
    return views_[static_cast<std::size_t>(currentView_)];
}

MetadataProvider* MetadataPanelViewsSet::currentProvider() const
{
    if (currentView_ < 0 || static_cast<std::size_t>(currentView_) >= providers_.size())
        return nullptr;
    return providers_[static_cast<std::size_t>(currentView_)].get();
}

MetadataPanelDataViewProtocol* MetadataPanelViewsSet::currentDataView() const
{
    return findDataSubviewOfView(currentView());
}

std::vector<QWidget*> MetadataPanelViewsSet::allViews() const
{
    std::vector<QWidget*> views;
    for (const QPointer<QWidget>& view : views_)
        views.push_back(view.data());
    return views;
}

MetadataPanelDataViewProtocol* MetadataPanelViewsSet::findDataSubviewOfView(QWidget* view)
{
    if (!view)
        return nullptr;
    if (auto* dataView = dynamic_cast<MetadataPanelDataViewProtocol*>(view))
        return dataView;
    for (QWidget* child : view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (MetadataPanelDataViewProtocol* found = findDataSubviewOfView(child))
            return found;
    return nullptr;
}

// ---- MetadataPanel ---------------------------------------------------------------------------

MetadataPanel::MetadataPanel()
{
    setGeometry(unitFrame());

    auto* bar = new QWidget(this);
    bar->setGeometry(0, 0, 100, 20);
    auto* selector = new QComboBox(bar);
    metadataListSelector_ = selector;
    selector->setGeometry(0, 0, 100, 22);
    QFont font = QApplication::font();
    font.setPointSizeF(MiniFontPointSize);
    selector->setFont(font);
    selector->setFocusPolicy(Qt::NoFocus);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(0, 0, 0, 0);
    barLayout->addWidget(selector);
    QObject::connect(selector, &QComboBox::activated, this, [this](int item) {
        if (metadataListSelector_)
            metadataViewSelected(metadataListSelector_->itemData(item).toInt());
    });

    auto* container = new QWidget(this);
    metadataViewContainer_ = container;
    container->setGeometry(0, 0, 10, 10);
    auto* hosting = new QVBoxLayout(container);
    hosting->setContentsMargins(0, 0, 0, 0);
    hosting->setSpacing(0);

    auto layout = ZovBoxLayout::createVertical();
    layout->addItem(ZovViewLayoutItem::createLayoutItemForView(bar, MakePreferredSizePolicy(200, 0, -1), MakeFixedSizePolicy(20)));
    layout->addItem(ZovViewLayoutItem::createLayoutItemForView(container, MakePreferredSizePolicy(200, 0, -1),
                                                               MakeExpandingSizePolicy(0, -1)));
    ZovViewLayout::attachLayout(std::move(layout), this);
}

MetadataPanel::~MetadataPanel()
{
    observeSelection(false);
    if (MediaDatabase* database = MediaDatabase::defaultMediaDatabase())
        database->removeItemUpdateObserver(this, nullptr);
    if (MetadataPanelViewsSet* set = currentViewsSet())
        if (MetadataPanelDataViewProtocol* dataView = set->currentDataView())
            dataView->setDataProvider(nullptr);
    for (auto& set : viewSets_)
        set.reset();
}

void MetadataPanel::observeSelection(bool observe)
{
    if (!selection_)
        return;
    if (observe) {
        selection_->addFolderUpdateObserver(this);
        selection_->addNotificationObserver(this);
    } else {
        selection_->removeObserverForAllItems(this);
        selection_->removeNotificationObserver(this);
    }
}

MetadataPanelViewsSet* MetadataPanel::currentViewsSet() const
{
    if (currentViewSetType_ < 0 || currentViewSetType_ >= static_cast<int>(viewSets_.size()))
        return nullptr;
    return viewSets_[static_cast<std::size_t>(currentViewSetType_)].get();
}

int MetadataPanel::viewsSetTypeForSelection(IBrowsingGetSelection* selection) const
{
    if (!selection)
        return SelectionNone;
    const IndexSet& indexes = selection->selectedObjectsIndexes();
    const std::uint64_t count = indexes.count();
    if (count == 0)
        return SelectionNone;
    if (count > 1)
        return SelectionSeveral;
    Ref<FileSystemItemMO> item = selection->foldersObjectAtIndex(static_cast<unsigned>(indexes.firstIndex()));
    if (!item)
        return SelectionNone;
    if (item->isFolder())
        return SelectionOneOther;
    return item->isDecodable() ? SelectionOnePicture : SelectionOneOther;
}

MetadataPanelViewsSet& MetadataPanel::viewsSetForType(int type)
{
    auto& slot = viewSets_.at(static_cast<std::size_t>(type));
    if (slot)
        return *slot;
    slot = std::make_unique<MetadataPanelViewsSet>();
    MetadataPanelViewsSet& set = *slot;
    auto add = [&](const std::string& name, QWidget* view, Ref<MetadataProfile> profile) {
        set.addView(view, MetadataProvider::providerWithName(name, std::move(profile)));
    };
    auto fileView = [] { return new MetadataFileView(unitFrame(), FileNameWidth); };
    const std::string database = ZOV_TRANSLATE("Database", "viewsSetForType:");
    const std::string file = ZOV_TRANSLATE("File", "viewsSetForType:");
    switch (type) {
    case SelectionOnePicture:
        add(database, newDatabaseView(), MetadataProfile::databaseProfile());
        add(file, fileView(), MetadataProfile::fileProfile());
        add(ZOV_TRANSLATE("EXIF", "viewsSetForType:"), new MetadataBaseView(unitFrame(), PictureMetadataNameWidth),
            MetadataProfile::exifProfile());
        add(ZOV_TRANSLATE("IPTC", "viewsSetForType:"), new MetadataBaseView(unitFrame(), PictureMetadataNameWidth),
            MetadataProfile::iptcProfile());
        break;
    case SelectionOneOther:
    case SelectionSeveral:
        add(database, newDatabaseView(), MetadataProfile::databaseProfile());
        add(file, fileView(), MetadataProfile::fileProfile());
        break;
    default:
        add(ZOV_TRANSLATE("No Selection", "viewsSetForType:"), fileView(), MetadataProfile::fileProfile());
        break;
    }
    set.setCurrentViewIndex(0);
    return set;
}

void MetadataPanel::checkSelectionTypeAndSetViewsSetIfNeeded()
{
    const int type = viewsSetTypeForSelection(selection_);
    if (type == currentViewSetType_)
        return;
    currentViewSetType_ = type;
    MetadataPanelViewsSet& set = viewsSetForType(type);
    if (QComboBox* selector = metadataListSelector_) {
        for (int item = selector->count() - 1; item >= 0; --item)
            selector->removeItem(item);
        const auto& providers = set.allProviders();
        for (std::size_t i = 0; i < providers.size(); ++i)
            selector->addItem(QString::fromStdString(providers[i]->ufName()), static_cast<int>(i));
        selector->setCurrentIndex(set.currentViewIndex());
    }
    attachNewDataView(set.currentView());
}

void MetadataPanel::attachNewDataView(QWidget* view)
{
    QWidget* container = metadataViewContainer_;
    if (!container)
        return;
    for (QWidget* hosted : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (MetadataPanelDataViewProtocol* dataView = MetadataPanelViewsSet::findDataSubviewOfView(hosted))
            dataView->setDataProvider(nullptr);
        container->layout()->removeWidget(hosted);
        hosted->hide();
        hosted->setParent(nullptr);
    }
    if (!view)
        return;
    view->setParent(container);
    view->setGeometry(QRect(QPoint(0, 0), container->size()));
    container->layout()->addWidget(view);
    view->show();
    MetadataPanelViewsSet* set = currentViewsSet();
    if (MetadataPanelDataViewProtocol* dataView = MetadataPanelViewsSet::findDataSubviewOfView(view))
        dataView->setDataProvider(Ref<MetadataProvider>(set ? set->currentProvider() : nullptr));
}

std::vector<Ref<FileSystemItemMO>> MetadataPanel::currentItems() const
{
    std::vector<Ref<FileSystemItemMO>> items;
    if (!selection_)
        return items;
    for (std::uint64_t index : selection_->selectedObjectsIndexes().indexes())
        if (Ref<FileSystemItemMO> item = selection_->foldersObjectAtIndex(static_cast<unsigned>(index)))
            items.push_back(std::move(item));
    return items;
}

void MetadataPanel::fillProviderWithItems(const std::vector<Ref<FileSystemItemMO>>& items, bool clearAll)
{
    MetadataPanelViewsSet* set = currentViewsSet();
    MetadataProvider* provider = set ? set->currentProvider() : nullptr;
    if (!provider)
        return;
    if (clearAll)
        provider->clearAll();
    provider->updateWithItems(items);
}

void MetadataPanel::reloadAndExpandCurrentView()
{
    MetadataPanelViewsSet* set = currentViewsSet();
    if (MetadataPanelDataViewProtocol* dataView = set ? set->currentDataView() : nullptr) {
        dataView->reloadData();
        dataView->expand();
    }
}

void MetadataPanel::metadataViewSelected(int index)
{
    MetadataPanelViewsSet* set = currentViewsSet();
    if (!set || index == set->currentViewIndex() || index < 0 || static_cast<std::size_t>(index) >= set->allProviders().size())
        return;
    set->setCurrentViewIndex(index);
    if (metadataListSelector_)
        metadataListSelector_->setCurrentIndex(index);
    fillProviderWithItems(currentItems(), false);
    attachNewDataView(set->currentView());
    reloadAndExpandCurrentView();
}

void MetadataPanel::setSelection(IBrowsingGetSelection* selection)
{
    if (selection == selection_)
        return;
    observeSelection(false);
    selection_ = selection;
    if (selection) // letting go of the selection changes nothing shown
        checkSelectionTypeAndSetViewsSetIfNeeded();
    observeSelection(true);
}

void MetadataPanel::handleBrowsingSelectionNotifications(const Notification& notification)
{
    if (!selection_)
        return;
    const Value& info = notification.userInfo;
    if (!info.contains(kObjectsChangesBitmap) || (info[kObjectsChangesBitmap].toInt64() & 1)) {
        IndexSet old;
        if (info.contains(BrowsingSelectionObjectsSelectionChanged)) {
            const Value& entry = info[BrowsingSelectionObjectsSelectionChanged];
            if (entry.contains(kOldSelectedObjectsIndexes))
                if (Ref<IndexSetObject> set = entry[kOldSelectedObjectsIndexes].toObject<IndexSetObject>())
                    old = set->indexSet();
        }
        if (old != selection_->selectedObjectsIndexes()) {
            selection_->removeObserverForAllItems(this);
            selection_->addFolderUpdateObserver(this);
            checkSelectionTypeAndSetViewsSetIfNeeded();
            fillProviderWithItems(currentItems(), true);
            reloadAndExpandCurrentView();
        }
    }
    if (info.contains(FSItemChangeNotification))
        handleChangedItems(info[FSItemChangeNotification]);
}

void MetadataPanel::handleChangedItems(const Value& changes)
{
    if (!changes.isDictionary())
        return;
    MetadataPanelViewsSet* set = currentViewsSet();
    MetadataPanelDataViewProtocol* dataView = set ? set->currentDataView() : nullptr;
    MetadataProvider* provider = set ? set->currentProvider() : nullptr;
    if (!dataView || !provider)
        return;
    for (const auto& [key, entry] : changes.asDictionary()) {
        Ref<FileSystemItemMO> item = entry.contains(kItemValue) ? entry[kItemValue].toObject<FileSystemItemMO>() : nullptr;
        if (!item)
            break;
        // Shown items are children of the selected folders: a look at the parent says whether
        // the item can be one of them, where a search of each folder's children would not scale.
        Ref<FileSystemItemMO> parent = item->parent();
        if (!parent || !selection_->isFolderSelected(parent.get()))
            continue;
        for (const Ref<MetadataValue>& value : provider->updateChangedItems({item}))
            dataView->reloadItem(value.get());
    }
}

} // namespace vistel
