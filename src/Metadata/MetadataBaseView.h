#pragma once
// MetadataBaseView: a scrolling two-level outline of one metadata provider: a group row per
// category and, beneath it, one row per value with its name and its value. The view holds no
// data: every row, count and text comes from the provider the Properties panel hands it.
//
// The outline ("Name" and "Value" columns, no header, rows of 14 pt indented 10 pt per level,
// a light grey background, mini-size text) sizes its height to its rows inside the view's scroll
// area, which scrolls vertically only and draws no background of its own. It never takes the
// keyboard focus. A value row's name reads "Title:" (right-aligned); group titles, and names that
// are not text, are shown as they come (left-aligned for groups). Group rows are never selected.
// A click sends "outlineViewClick:" and a double click "outlineViewDoubleClick:" along the
// responder chain.
//
// Subclasses hand their own table to the protected constructor (built like newMetadataTable's),
// and override setDataSource / setDelegate / reloadData / expand / reloadItem to reach every
// list they add.
//
// Thread rules: main thread only.

#include <QPointer>
#include <QScrollArea>

#include "Metadata/MetadataPanelDataViewProtocol.h"
#include "Metadata/MetadataProvider.h"
#include "Platform/Gui/OutlineView.h"

namespace vistel {

class MetadataBaseView : public QScrollArea,
                         public MetadataPanelDataViewProtocol,
                         public OutlineViewDataSource,
                         public OutlineViewDelegate {
public:
    // The view with `frame` and a name column `firstColumnWidth` wide.
    MetadataBaseView(const QRect& frame, int firstColumnWidth, QWidget* parent = nullptr);
    ~MetadataBaseView() override;

    // A new table set up as every metadata list is (the caller owns it).
    static OutlineView* newMetadataTable(int firstColumnWidth);
    // Sets up an existing table the same way (for subclasses with tables of their own kind).
    static void configureMetadataTable(OutlineView& table, int firstColumnWidth);

    OutlineView* metadataList() const { return metadataList_; }

    // Forwarded to the lists.
    virtual void setDataSource(OutlineViewDataSource* dataSource);
    OutlineViewDataSource* dataSource() const;
    virtual void setDelegate(OutlineViewDelegate* delegate);
    OutlineViewDelegate* delegate() const;

    // MetadataPanelDataViewProtocol
    void expand() override;
    void reloadData() override;
    void reloadItem(Object* item) override;
    MetadataProvider* dataProvider() const override { return provider_.get(); }
    void setDataProvider(Ref<MetadataProvider> provider) override;

    // Data source: the provider's tree (no provider: nothing).
    std::optional<long> numberOfChildrenOfItem(OutlineView& view, Object* item) override;
    std::optional<Ref<Object>> child(OutlineView& view, long index, Object* item) override;
    std::optional<bool> isItemExpandable(OutlineView& view, Object* item) override;
    std::optional<Value> objectValue(OutlineView& view, TableColumn* column, Object* item) override;
    // Delegate.
    std::optional<bool> isGroupItem(OutlineView& view, Object* item) override;
    bool willDisplayCell(OutlineView& view, Cell& cell, TableColumn* column, Object* item) override;
    std::optional<bool> selectionShouldChange(OutlineView& view) override;
    std::optional<bool> shouldSelectItem(OutlineView& view, Object* item) override;

protected:
    // A subclass's own table (set up with configureMetadataTable), owned by the view from here.
    MetadataBaseView(const QRect& frame, OutlineView* metadataList, QWidget* parent);

    // The provider's node behind an outline item (null for the root or a foreign object).
    static MetadataValue* valueOf(Object* item);

private:
    QPointer<OutlineView> metadataList_;
    Ref<MetadataProvider> provider_;
};

} // namespace vistel
