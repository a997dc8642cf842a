#pragma once
// MetadataPanel: browse mode's "Properties" side panel. It shows the metadata of what is
// selected in the browsing selection through a set of metadata views chosen by the kind of
// selection, a pop-up list at its top switching between the views of the set:
//   one decodable picture         "Database", "File", "EXIF", "IPTC"
//   one folder or other file      "Database", "File"
//   several objects               "Database", "File" (the file list)
//   nothing                       "No Selection"
// Each kind's set is made on first use and kept, with the view last chosen in it. The shown view
// gets the set's provider for that view, filled with the selected items (the first one is shown
// and edited).
//
// Selection changes (the selected indexes moved) refill the provider; a change of a shown item
// made elsewhere (a catalogue change under a selected folder) asks the provider what changed and
// reloads only those rows.
//
// Thread rules: main thread only (the selection notifies there).

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <QComboBox>
#include <QPointer>
#include <QWidget>

#include "Application/BrowseMode/BrowsingProtocols.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "Metadata/MetadataProvider.h"
#include "Platform/Object.h"
#include "ZovClass.h"

namespace vistel {

class MetadataPanelDataViewProtocol;

// The views of one kind of selection and a provider for each.
class MetadataPanelViewsSet {
public:
    static constexpr int NotFound = 0x7fffffff;

    MetadataPanelViewsSet() = default;
    ~MetadataPanelViewsSet();
    MetadataPanelViewsSet(const MetadataPanelViewsSet&) = delete;
    MetadataPanelViewsSet& operator=(const MetadataPanelViewsSet&) = delete;

    // The set takes the view; the current index goes back to none.
    void addView(QWidget* view, Ref<MetadataProvider> provider);
    void clearAll();

    int currentViewIndex() const { return currentView_; }
    void setCurrentViewIndex(int index) { currentView_ = index; }
    QWidget* currentView() const;
    MetadataProvider* currentProvider() const;
    MetadataPanelDataViewProtocol* currentDataView() const;
    std::vector<QWidget*> allViews() const;
    const std::vector<Ref<MetadataProvider>>& allProviders() const { return providers_; }

    // The view itself when it is a metadata data view, else the first one among its
    // descendants, depth first in order; null when none.
    static MetadataPanelDataViewProtocol* findDataSubviewOfView(QWidget* view);

private:
    int currentView_ = NotFound;
    std::vector<QPointer<QWidget>> views_;
    std::vector<Ref<MetadataProvider>> providers_;
};

class MetadataPanel : public QWidget, public BrowsingSelectionNotificationObserver, public IFSItemChangedNotification {
public:
    ZOV_ROOT_CLASS(MetadataPanel)

    enum SelectionType : int {
        SelectionOnePicture = 0,
        SelectionOneOther = 1,
        SelectionSeveral = 2,
        SelectionNone = 3,
        SelectionUnset = 4,
    };

    static MetadataPanel* metadataPanel() { return new MetadataPanel; }
    MetadataPanel();
    ~MetadataPanel() override;

    // Takes the browsing selection's read side (not owned; the caller clears it, or hands
    // another, before it goes).
    void setSelection(IBrowsingGetSelection* selection);
    IBrowsingGetSelection* selection() const { return selection_; }

    void handleBrowsingSelectionNotifications(const Notification& notification) override;
    // Folder-update observer: the changes come through the selection's notification.
    void notifyFSItemChanged(FileSystemItemMO*, bool) override { }

    // The pop-up's item with that index was chosen.
    void metadataViewSelected(int index);

    QComboBox* metadataListSelector() const { return metadataListSelector_; }
    QWidget* metadataViewContainer() const { return metadataViewContainer_; }
    int currentViewSetType() const { return currentViewSetType_; }
    // The set of the shown type (null before the first selection).
    MetadataPanelViewsSet* currentViewsSet() const;
    int viewsSetTypeForSelection(IBrowsingGetSelection* selection) const;
    MetadataPanelViewsSet& viewsSetForType(int type);

private:
    void checkSelectionTypeAndSetViewsSetIfNeeded();
    void attachNewDataView(QWidget* view);
    void fillProviderWithItems(const std::vector<Ref<FileSystemItemMO>>& items, bool clearAll);
    std::vector<Ref<FileSystemItemMO>> currentItems() const;
    void reloadAndExpandCurrentView();
    void handleChangedItems(const Value& changes);
    void observeSelection(bool observe);

    QPointer<QComboBox> metadataListSelector_;
    QPointer<QWidget> metadataViewContainer_;
    std::array<std::unique_ptr<MetadataPanelViewsSet>, 4> viewSets_;
    int currentViewSetType_ = SelectionUnset;
    IBrowsingGetSelection* selection_ = nullptr;
};

} // namespace vistel
