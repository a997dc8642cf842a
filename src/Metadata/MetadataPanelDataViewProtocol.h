#pragma once
// MetadataPanelDataViewProtocol: what a view offers the Properties panel so the panel can drive
// every metadata view alike: hand it a provider (or none), reload it, reload one row, open it.
//
// Thread rules: main thread only.

#include "Platform/Object.h"

namespace vistel {

class MetadataProvider;

class MetadataPanelDataViewProtocol {
public:
    // Opens every row (every category and what lies below it).
    virtual void expand() = 0;
    // Forgets every loaded row; they are asked of the provider again.
    virtual void reloadData() = 0;
    // Repaints the row of one provider value (a MetadataValue); nothing when it has no row.
    virtual void reloadItem(Object* item) = 0;
    virtual MetadataProvider* dataProvider() const = 0;
    // Null detaches the view's lists from the view: they show nothing.
    virtual void setDataProvider(Ref<MetadataProvider> provider) = 0;

protected:
    ~MetadataPanelDataViewProtocol() = default;
};

} // namespace vistel
