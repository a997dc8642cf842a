#pragma once
// MetadataFileView: the metadata view of file information and picture metadata. The provider's
// first category is shown in metadataList, every further category in extendedAttributesList
// below it; both lists size themselves to their rows inside one scrolled container, so the
// content ends with the second list. Nothing in the first list can be selected; value rows of the
// second can.
//
// Thread rules: main thread only.

#include "Metadata/MetadataBaseView.h"

namespace vistel {

class MetadataFileView : public MetadataBaseView {
public:
    MetadataFileView(const QRect& frame, int firstColumnWidth, QWidget* parent = nullptr);
    ~MetadataFileView() override;

    OutlineView* extendedAttributesList() const { return extendedAttributesList_; }
    // The scrolled container of the two lists.
    QWidget* documentView() const { return documentView_; }

    void setDataSource(OutlineViewDataSource* dataSource) override;
    void setDelegate(OutlineViewDelegate* delegate) override;
    void reloadData() override;
    void reloadItem(Object* item) override;
    void expand() override;

    std::optional<long> numberOfChildrenOfItem(OutlineView& view, Object* item) override;
    std::optional<Ref<Object>> child(OutlineView& view, long index, Object* item) override;
    std::optional<bool> selectionShouldChange(OutlineView& view) override;

private:
    QPointer<QWidget> documentView_;
    QPointer<OutlineView> extendedAttributesList_;
};

} // namespace vistel
