#include "Application/Printing/ManageSizesDialog.h"

#include <cmath>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "Application/Printing/PrintLayout.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Platform/Log.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

ManageSizesDialog::Responder& responder()
{
    static ManageSizesDialog::Responder shared;
    return shared;
}

constexpr float MillimetreInInches = 0.03937008f;

QString t(const ZovClass& zovClass, const char* text, const char* selector)
{
    return QString::fromStdString(ZOV_TRANSLATE_AS(zovClass, text, selector));
}

} // namespace

ManageSizesDialog::ManageSizesDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("PrintConfigureSizes");
    setModal(true);
    const ZovClass& cls = staticZovClass();

    table_ = new TableView(this);
    for (const char* identifier : {NameColumn, SizeColumn}) {
        auto column = std::make_unique<TableColumn>(identifier);
        column->setTitle(identifier == std::string(NameColumn) ? t(cls, "Name", "awakeFromNib")
                                                               : t(cls, "Size", "awakeFromNib"));
        column->setEditable(false);
        column->setWidth(identifier == std::string(NameColumn) ? 140 : 180);
        table_->addTableColumn(std::move(column));
    }
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->header()->setStretchLastSection(true);

    width_ = new QLineEdit(this);
    height_ = new QLineEdit(this);
    name_ = new QLineEdit(this);
    // Numbers always take ".", whatever the locale.
    for (QLineEdit* field : {width_, height_}) {
        auto* validator = new QDoubleValidator(0, 1000000, 6, field);
        validator->setLocale(QLocale::c());
        validator->setNotation(QDoubleValidator::StandardNotation);
        field->setValidator(validator);
    }
    for (QLineEdit* field : {width_, height_, name_})
        connect(field, &QLineEdit::textEdited, this, [this, field] { textDidChange(field); });
    // The cells use the fields' font; rows are its cap height + 5.
    for (const auto& column : table_->tableColumns())
        column->dataCell().setFont(width_->font());
    table_->setRowHeight(std::ceil(QFontMetricsF(width_->font()).capHeight()) + 5 + 8);

    measurement_ = new QComboBox(this);
    measurement_->addItem(t(cls, "Inches", "awakeFromNib"));
    measurement_->addItem(t(cls, "Millimeters", "awakeFromNib"));
    measurement_->setCurrentIndex(isInchesMeasurementSelected() ? 0 : 1);
    connect(measurement_, &QComboBox::activated, this, [this](int index) { onMeasurementChanged(index); });

    auto* segmentsRow = new QHBoxLayout;
    segmentsRow->setSpacing(0);
    const char* images[] = {"Add.png", "Remove.png", nullptr};
    const char* tips[] = {"Add", "Remove", "Duplicate"};
    for (int segment = Add; segment <= Duplicate; ++segment) {
        auto* button = new QToolButton(this);
        if (images[segment])
            button->setIcon(QIcon(QPixmap::fromImage(NSImageNamedImageExtended::imageNamed(images[segment], "images", QSize(10, 10)))));
        else
            button->setText(t(cls, "Duplicate", "awakeFromNib"));
        button->setToolTip(t(cls, tips[segment], "awakeFromNib"));
        connect(button, &QToolButton::clicked, this, [this, segment] { onManageSizesList(segment); });
        segmentsRow->addWidget(button);
        segments_.push_back(button);
    }
    segmentsRow->addStretch();

    auto* fields = new QGridLayout;
    nameLabel_ = new QLabel(t(cls, "Name:", "awakeFromNib"), this);
    fields->addWidget(nameLabel_, 0, 0);
    fields->addWidget(name_, 0, 1, 1, 3);
    fields->addWidget(new QLabel(t(cls, "Width:", "awakeFromNib"), this), 1, 0);
    fields->addWidget(width_, 1, 1);
    fields->addWidget(new QLabel(t(cls, "Height:", "awakeFromNib"), this), 1, 2);
    fields->addWidget(height_, 1, 3);
    fields->addWidget(new QLabel(t(cls, "Units:", "awakeFromNib"), this), 2, 0);
    fields->addWidget(measurement_, 2, 1, 1, 3);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { onOK(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { onCancel(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addLayout(segmentsRow);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    resize(420, 400);

    table_->setTableDataSource(this);
    table_->setTableDelegate(this);
}

ManageSizesDialog::~ManageSizesDialog()
{
    table_->setTableDataSource(nullptr);
    table_->setTableDelegate(nullptr);
}

ManageSizesDialog::Responder ManageSizesDialog::setResponder(Responder next)
{
    Responder previous = std::move(responder());
    responder() = std::move(next);
    return previous;
}

bool ManageSizesDialog::isInchesMeasurementSelected()
{
    return Preferences::sharedPreferences().boolForKey(prefs::MeasurementInInches);
}

const char* ManageSizesDialog::preferenceKey() const { return sizeType_ == 0 ? prefs::DocumentSizes : prefs::PrintSizes; }

int ManageSizesDialog::loadSizesToList(int type)
{
    sizeType_ = type;
    sizes_ = PaperInfo::listFromArray(Preferences::sharedPreferences().valueForKey(preferenceKey()));
    const bool printSizes = type == 1;
    name_->setVisible(!printSizes);
    nameLabel_->setVisible(!printSizes);
    table_->setColumnHidden(table_->columnIndex(table_->tableColumnWithIdentifier(NameColumn)), printSizes);
    setWindowTitle(printSizes ? t(staticZovClass(), "Print size", "loadSizesToList:")
                              : t(staticZovClass(), "Document size", "loadSizesToList:"));
    reloadTable(sizes_.empty() ? -1 : 0);
    if (responder()) {
        show();
        const int code = responder()(*this);
        hide();
        return code;
    }
    return exec();
}

PaperInfo* ManageSizesDialog::currentInfo()
{
    const int row = table_->selectedRow();
    if (row < 0)
        return nullptr;
    if (std::size_t(row) >= sizes_.size()) {
        ZovLog("ManageSizesDialog::currentInfo invalid index");
        return nullptr;
    }
    return &sizes_[std::size_t(row)];
}

QString ManageSizesDialog::stringRepresentationForSize(long row) const
{
    if (row < 0 || std::size_t(row) >= sizes_.size()) {
        ZovLog("ManageSizesDialog::stringRepresentationForSize invalid index " + std::to_string(row));
        return QString();
    }
    return PrintSizeTexts::sizeStringRepresentation(sizes_[std::size_t(row)]);
}

std::optional<Value> ManageSizesDialog::objectValue(TableView&, TableColumn* column, long row)
{
    if (column && column->identifier() == NameColumn)
        return row >= 0 && std::size_t(row) < sizes_.size() ? Value(sizes_[std::size_t(row)].paperName) : Value();
    return Value(stringRepresentationForSize(row).toStdString());
}

bool ManageSizesDialog::selectionDidChange(const Notification&)
{
    if (!reloading_)
        reloadValues();
    return true;
}

void ManageSizesDialog::reloadValues()
{
    const PaperInfo* info = currentInfo();
    const double divisor = isInchesMeasurementSelected() ? 1.0 : kInchesPerMillimetre;
    width_->setText(info ? QString::number(float(info->paperSize.width()) / divisor) : QString());
    height_->setText(info ? QString::number(float(info->paperSize.height()) / divisor) : QString());
    name_->setText(info ? QString::fromStdString(info->paperName) : QString());
    for (QLineEdit* field : {width_, height_, name_})
        field->setEnabled(info != nullptr);
}

void ManageSizesDialog::reloadTable(int select)
{
    reloading_ = true;
    table_->reloadData();
    if (select >= 0 && std::size_t(select) < sizes_.size())
        table_->selectRowIndexes({select}, false);
    else
        table_->deselectAll();
    reloading_ = false;
    reloadValues();
}

void ManageSizesDialog::textDidChange(QLineEdit* field)
{
    PaperInfo* info = currentInfo();
    if (!info)
        return;
    const int row = table_->selectedRow();
    if (field == name_) {
        info->paperName = name_->text().toStdString();
        isChanged_ = true;
        reloading_ = true;
        table_->reloadData();
        table_->selectRowIndexes({row}, false);
        reloading_ = false;
        return;
    }
    const float factor = isInchesMeasurementSelected() ? 1.0f : MillimetreInInches;
    const QSizeF typed(QLocale::c().toFloat(width_->text()) * factor, QLocale::c().toFloat(height_->text()) * factor);
    if (SizeExtensions::asFloats(typed) == SizeExtensions::asFloats(info->paperSize))
        return;
    info->paperSize = SizeExtensions::asFloats(typed);
    isChanged_ = true;
    reloading_ = true;
    table_->reloadData();
    table_->selectRowIndexes({row}, false);
    reloading_ = false;
}

void ManageSizesDialog::onMeasurementChanged(int index)
{
    Preferences::sharedPreferences().setValue(Value(index == 0), prefs::MeasurementInInches);
    reloadTable(table_->selectedRow());
}

void ManageSizesDialog::appendAndSelect(PaperInfo paper)
{
    sizes_.push_back(std::move(paper));
    reloadTable(int(sizes_.size()) - 1);
    table_->scrollTo(table_->indexOfRow(int(sizes_.size()) - 1));
    width_->setFocus();
    isChanged_ = true;
}

void ManageSizesDialog::onManageSizesList(int segment)
{
    const ZovClass& cls = staticZovClass();
    const PaperInfo* selected = currentInfo();
    if (segment == Add || (segment == Duplicate && !selected)) {
        appendAndSelect(PaperInfo {QSizeF(0, 0), ZOV_TRANSLATE_AS(cls, "Noname", "onManageSizesList:")});
    } else if (segment == Duplicate) {
        PaperInfo copy = *selected;
        copy.paperName = t(cls, "%@ copy", "onManageSizesList:")
                             .replace("%@", QString::fromStdString(selected->paperName))
                             .toStdString();
        appendAndSelect(std::move(copy));
    } else if (segment == Remove && selected) {
        const int row = table_->selectedRow();
        sizes_.erase(sizes_.begin() + row);
        isChanged_ = true;
        reloadTable(sizes_.empty() ? -1 : std::min(row, int(sizes_.size()) - 1));
        if (!sizes_.empty())
            table_->scrollTo(table_->indexOfRow(int(sizes_.size()) - 1));
    }
}

void ManageSizesDialog::onOK()
{
    Preferences::sharedPreferences().setValue(PaperInfo::arrayFromList(sizes_), preferenceKey());
    done(1);
}

void ManageSizesDialog::onCancel() { done(0); }

} // namespace vistel
