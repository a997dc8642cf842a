#pragma once
// The demo's tables: the source list of the left dock (a group row, a volume with eject button
// and padlock, a folder with a count badge, one being listed with the progress mark, a long name
// truncated in the middle) and the properties outline of the right, whose rows host controls.

#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTimer>

#include <map>

#include "Common/Icons/IconTheme.h"
#include "Common/Views/CustomTables/TableViewNSViewContainerCell.h"
#include "Common/Views/ImageAndTextCell.h"
#include "Common/Views/ZOVProgressIndicator.h"

namespace vistel::demo {

struct DemoRow : Object {
    DemoRow(std::string name, std::string icon) : name(std::move(name)), icon(std::move(icon)) { }
    std::string name;
    std::string icon; // theme icon name; empty for group rows
    bool eject = false;
    bool padlock = false;
    bool progress = false;
    int count = -1;
    std::string control; // for the properties outline: "line", "check", "date", "notes", "rating"
    std::vector<Ref<DemoRow>> children;
};

inline Ref<DemoRow> demoRow(std::string name, std::string icon, std::vector<Ref<DemoRow>> children = {})
{
    auto row = makeRef<DemoRow>(std::move(name), std::move(icon));
    row->children = std::move(children);
    return row;
}

// A tree of DemoRows as a data source.
struct DemoRows : OutlineViewDataSource {
    std::vector<Ref<DemoRow>> top;
    const std::vector<Ref<DemoRow>>& of(Object* item) const { return item ? static_cast<DemoRow*>(item)->children : top; }
    std::optional<long> numberOfChildrenOfItem(OutlineView&, Object* item) override { return static_cast<long>(of(item).size()); }
    std::optional<Ref<Object>> child(OutlineView&, long index, Object* item) override { return Ref<Object>(of(item)[static_cast<std::size_t>(index)]); }
    std::optional<bool> isItemExpandable(OutlineView&, Object* item) override { return !of(item).empty(); }
    std::optional<Value> objectValue(OutlineView&, TableColumn*, Object* item) override { return Value(static_cast<DemoRow*>(item)->name); }
};

// The sidebar's outline: it owns the progress mark its rows draw, spinning every 0.1 s.
class SourceListOutline : public OutlineView, OutlineViewDelegate {
public:
    SourceListOutline()
    {
        DemoRow* camera = nullptr;
        rows_.top = {demoRow("DEVICES", "", {demoRow("Camera", "camera-photo")}),
                     demoRow("PLACES", "", {demoRow("Pictures", "folder-pictures"), demoRow("Holidays 2026", "folder"),
                                            demoRow("A very long folder name from the summer in the mountains", "folder")})};
        camera = rows_.top[0]->children[0].get();
        camera->eject = true;
        camera->padlock = true;
        rows_.top[1]->children[0]->count = 1280;
        rows_.top[1]->children[1]->progress = true;

        auto column = std::make_unique<TableColumn>("tree");
        column->setWidth(190);
        column->setEditable(false);
        column->setDataCell(std::make_unique<ImageAndTextCell>());
        addTableColumn(std::move(column));
        header()->hide();
        setIndentation(10);
        setRowHeight(20);
        setFrameShape(QFrame::NoFrame);
        setDataSource(&rows_);
        setDelegate(this);
        expandItem(nullptr);
        mark_.setProgressStep(1);
        spin_.setInterval(100);
        QObject::connect(&spin_, &QTimer::timeout, this, [this] {
            mark_.advanceProgressStep();
            viewport()->update();
        });
        spin_.start();
    }

    const ProgressMarkDrawing* progressIndicator() const override { return &mark_; }
    // Holds the mark still (screenshots).
    void stopSpinning() { spin_.stop(); }

    bool willDisplayCell(OutlineView&, Cell& cell, TableColumn*, Object* item) override
    {
        auto& source = static_cast<ImageAndTextCell&>(cell);
        auto* row = static_cast<DemoRow*>(item);
        QFont font = this->font();
        font.setBold(row->icon.empty());
        source.setFont(font);
        source.setImage(row->icon.empty() ? QImage() : icon(row->icon));
        source.setHasEjectButton(row->eject);
        source.setShowPadlock(row->padlock);
        source.setDrawProgress(row->progress);
        if (row->count >= 0)
            source.setCountValue(row->count);
        else
            source.clearCount();
        return true;
    }
    std::optional<bool> shouldSelectItem(OutlineView&, Object* item) override { return !static_cast<DemoRow*>(item)->icon.empty(); }
    std::optional<bool> isGroupItem(OutlineView&, Object* item) override { return static_cast<DemoRow*>(item)->icon.empty(); }

private:
    QImage icon(const std::string& name)
    {
        QImage& image = icons_[name];
        if (image.isNull())
            image = QImage(QString::fromStdString(IconTheme::lookupIcon(name, 16))).scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return image;
    }

    DemoRows rows_;
    ZOVProgressIndicator mark_;
    QTimer spin_;
    std::map<std::string, QImage> icons_;
};

// The properties outline: a "Picture" group whose rows host a line edit, a check box, a date
// edit, a rating and a growing notes field, behind the row-control adapter.
class PropertiesOutline : public OutlineView, public DemoRows, public TableViewNSViewContainerDelegateProtocol {
public:
    PropertiesOutline()
    {
        top = {demoRow("Picture", "", {field("Caption", "line"), field("Tagged", "check"), field("Date", "date"), field("Rating", "rating"),
                                      field("Notes", "notes")})};
        auto name = std::make_unique<TableColumn>("name");
        name->setWidth(80);
        name->setEditable(false);
        addTableColumn(std::move(name));
        auto value = std::make_unique<TableColumn>("value");
        value->setWidth(138);
        value->setDataCell(std::make_unique<TableViewNSViewContainerCell>());
        addTableColumn(std::move(value));
        header()->hide();
        setIndentation(8);
        setFrameShape(QFrame::NoFrame);
        adapter_ = std::make_unique<NSViewContainerCellAdapter>(*this);
        adapter_->setDataSource(this);
        adapter_->setDelegate(this);
        adapter_->reloadData();
        expandItem(nullptr);
    }

    std::optional<Value> objectValue(OutlineView& view, TableColumn* column, Object* item) override
    {
        if (column->identifier() == "name")
            return DemoRows::objectValue(view, column, item);
        return Value(values_[static_cast<DemoRow*>(item)->name]);
    }
    bool setObjectValue(OutlineView&, const Value& value, TableColumn*, Object* item) override
    {
        values_[static_cast<DemoRow*>(item)->name] = value.isString() ? value.asString() : std::to_string(value.toInt64());
        return true;
    }
    QWidget* viewForRow(OutlineView& table, int row) override
    {
        auto* item = static_cast<DemoRow*>(table.itemAtRow(row));
        if (!item || item->control.empty())
            return nullptr;
        QPointer<QWidget>& view = views_[item];
        if (!view) {
            if (item->control == "line")
                view = new QLineEdit("Lake at dawn");
            else if (item->control == "check")
                view = new QCheckBox("Tagged");
            else if (item->control == "date")
                view = new QDateEdit(QDate(2026, 7, 14));
            else if (item->control == "rating")
                view = new QSpinBox;
            else
                view = new QPlainTextEdit("Taken from the\nnorth shore");
            view->resize(130, item->control == "notes" ? 44 : 22);
            NSControlToCellAdapterNotificator::attach(view, table, *table.tableColumnWithIdentifier("value"), item);
        }
        return view;
    }
    bool applyObjectValue(OutlineView&, const Value&, QWidget*, int) override { return true; }
    bool optimalFrame(OutlineView&, QSize& size, QWidget* view, int) override
    {
        auto* notes = qobject_cast<QPlainTextEdit*>(view);
        if (!notes)
            return false;
        size.setHeight(notes->document()->blockCount() * notes->fontMetrics().lineSpacing() + 10);
        return true;
    }
    std::optional<double> heightOfRowByItem(OutlineView&, Object* item) override
    {
        auto found = views_.find(item);
        if (found != views_.end() && found->second && qobject_cast<QPlainTextEdit*>(found->second.data()))
            return std::max(24, found->second->height() + 2);
        return 24.0;
    }
    std::optional<bool> shouldSelectItem(OutlineView&, Object*) override { return true; }
    std::optional<bool> selectionShouldChange(OutlineView&) override { return true; }

private:
    static Ref<DemoRow> field(std::string name, std::string control)
    {
        auto row = demoRow(std::move(name), "");
        row->control = std::move(control);
        return row;
    }

    std::unique_ptr<NSViewContainerCellAdapter> adapter_;
    std::map<const Object*, QPointer<QWidget>> views_;
    std::map<std::string, std::string> values_;
};

} // namespace vistel::demo
