#pragma once
// ManageSizesDialog ("PrintConfigureSizes", built in code): the modal editor of one of the print
// window's size lists, the paper (document) sizes (type 0) or the print sizes (type 1).
//
// A table of the sizes (columns "NameColumn" and "SizeColumn"; print sizes have no names, so
// their name column, field and label are hidden), the selected size's width, height and name
// fields, the measurement pop-up (0 inches, 1 millimetres; stored at once) and three buttons:
// add ("Noname", 0 x 0), remove, duplicate ("%@ copy"). Width and height fields always take "."
// as the decimal separator; typed millimetres are converted with the 32-bit float 0.03937008.
// OK stores the whole list in the preferences; Cancel stores nothing.
//
// Thread rules: main thread only.

#include <functional>
#include <vector>

#include <QDialog>

#include "Application/Printing/PaperInfo.h"
#include "Platform/Gui/OutlineView.h"
#include "ZovClass.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace vistel {

class ManageSizesDialog : public QDialog, public TableViewDataSource, public TableViewDelegate {
public:
    ZOV_ROOT_CLASS(ManageSizesDialog)
    static constexpr const char* NameColumn = "NameColumn";
    static constexpr const char* SizeColumn = "SizeColumn";
    enum Segment { Add = 0, Remove = 1, Duplicate = 2 };

    explicit ManageSizesDialog(QWidget* parent = nullptr);
    ~ManageSizesDialog() override;

    // Tests answer the modal run instead of the user: the responder gets the dialog shown and
    // answers its end code (1 OK, 0 cancel). Answers the previous responder.
    using Responder = std::function<int(ManageSizesDialog&)>;
    static Responder setResponder(Responder responder);

    // Reads the list of `type` (0 document sizes, 1 print sizes) and runs the dialog modally;
    // answers 1 after OK, 0 after Cancel or closing.
    int loadSizesToList(int type);
    int sizeType() const { return sizeType_; }
    const std::vector<PaperInfo>& sizesArray() const { return sizes_; }
    std::size_t sizesCount() const { return sizes_.size(); }
    TableView* sizesListView() const { return table_; }
    // The selected size; null without a selection (an invalid row is logged).
    PaperInfo* currentInfo();
    bool isChanged() const { return isChanged_; }
    // The selected size's values in the fields.
    void reloadValues();
    QString stringRepresentationForSize(long row) const;
    static bool isInchesMeasurementSelected();

    QLineEdit* widthTextBox() const { return width_; }
    QLineEdit* heightTextBox() const { return height_; }
    QLineEdit* nameTextBox() const { return name_; }
    QLabel* nameLabel() const { return nameLabel_; }
    QComboBox* measurementButton() const { return measurement_; }

    // Actions.
    void onOK();
    void onCancel();
    void onMeasurementChanged(int index);
    void onManageSizesList(int segment);
    // What typing in one of the three fields does.
    void textDidChange(QLineEdit* field);

    // Table data source and delegate.
    std::optional<long> numberOfRowsInTableView(TableView&) override { return long(sizes_.size()); }
    std::optional<Value> objectValue(TableView&, TableColumn* column, long row) override;
    bool selectionDidChange(const Notification&) override;

private:
    void reloadTable(int select);
    void appendAndSelect(PaperInfo paper);
    const char* preferenceKey() const;

    TableView* table_ = nullptr;
    QLineEdit* width_ = nullptr;
    QLineEdit* height_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLabel* nameLabel_ = nullptr;
    QComboBox* measurement_ = nullptr;
    std::vector<QToolButton*> segments_;
    std::vector<PaperInfo> sizes_;
    int sizeType_ = 0;
    bool isChanged_ = false;
    bool reloading_ = false;
};

} // namespace vistel
