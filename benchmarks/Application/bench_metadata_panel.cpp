// The Properties panel showing EXIF while the selection steps through a folder of 1,000 pictures,
// one picture further per step, as an arrow key in the grid moves it: each step refills the
// panel's provider from the catalogue item and repaints the panel.
// The reference: every row of the EXIF table for the same item read with attributeWithName into a
// QStandardItemModel (a category row with its value rows) shown by a plain QTreeView of the
// panel's size, expanded and repainted. Goal: within twice the reference.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QStandardItemModel>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include <sys/stat.h>

#include "Application/BrowseMode/BrowsingSelection.h"
#include "Application/BrowseMode/MetadataPanel.h"
#include "BenchmarkSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "GuiBenchmarkSupport.h"
#include "Metadata/MetadataProfile.h"
#include "Platform/FilePaths.h"
#include "Platform/Imaging/ImageProperties.h"
#include "Platform/UserDefaults.h"

using namespace vistel;

namespace {

constexpr int kPictures = 1000;
// About what a camera writes.
constexpr int kExifValues = 40;

// The fastest and the middle step, in milliseconds.
void reportSteps(benchmark::State& state, std::vector<double> steps)
{
    if (steps.empty())
        return;
    std::sort(steps.begin(), steps.end());
    state.counters["min_ms"] = steps.front();
    state.counters["median_ms"] = steps[steps.size() / 2];
}

// Runs events until `done` answers true (at most about 10 s).
template <typename Done>
bool spinUntil(Done&& done)
{
    for (int pass = 0; pass < 2000 && !done(); ++pass)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// Runs a step and everything it queued until `done`, then paints the widget; its time in
// milliseconds.
template <typename Step, typename Done>
double timedStep(Step&& step, Done&& done, QWidget& widget)
{
    const auto start = std::chrono::steady_clock::now();
    step();
    QCoreApplication::processEvents();
    spinUntil(done);
    widget.repaint();
    QCoreApplication::processEvents();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The EXIF table's rows a camera picture fills here.
std::vector<const MetadataProfileItemInfo*> filledRows()
{
    std::vector<const MetadataProfileItemInfo*> rows;
    Ref<MetadataProfile> exif = MetadataProfile::exifProfile();
    for (std::size_t i = 0; i < exif->count() && rows.size() < std::size_t(kExifValues); ++i) {
        const MetadataProfileItemInfo* row = exif->infoAtIndex(i);
        const std::string_view group = row->sourcePath1;
        if ((group == kImagePropertyExifDictionary || group == kImagePropertyTIFFDictionary || group == kImagePropertyGPSDictionary)
            && std::string_view(row->sourcePath2) != MetadataProfile::SourceAllNames)
            rows.push_back(row);
    }
    return rows;
}

// A scratch catalogue with one folder of 1,000 pictures carrying EXIF values, a browsing
// selection showing it and a Properties panel on EXIF; made once.
struct Fixture {
    bench::ScratchCatalogue scratch;
    Ref<MediaDatabase> database = MediaDatabase::create();
    Ref<BrowsingSelection> selection;
    std::unique_ptr<MetadataPanel> panel;
    std::vector<Ref<FileSystemItemMO>> pictures;
    std::vector<const MetadataProfileItemInfo*> rows = filledRows();
    // Every row of the EXIF table, as the panel reads them.
    Ref<MetadataProfile> exif = MetadataProfile::exifProfile();

    Fixture()
    {
        UserDefaults::standard().setPath(""); // no preferences file
        MediaDatabase::setDefaultMediaDatabase(database.get());
        // The folder and its files exist on disk, so a listing the file thread makes of them
        // finds what the catalogue holds.
        const std::string path = scratch.folder() + "/pictures";
        ::mkdir(path.c_str(), 0755);
        QByteArray jpeg;
        {
            QImage image(16, 8, QImage::Format_RGB32);
            image.fill(Qt::darkGreen);
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "JPEG");
        }
        Ref<FileSystemItemMO> folder = database->createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
        folder->setValid(true);
        for (const std::string& component : pathComponents(path)) {
            if (component == "/")
                continue;
            Ref<FileSystemItemMO> child = database->createChildOf(folder.get(), component, MediaDatabase::EntityFolder);
            child->setValid(true);
            folder = child;
        }
        folder->setRefreshStatus(0);
        for (int i = 0; i < kPictures; ++i) {
            const std::string name = "IMG_" + std::to_string(100000 + i) + ".JPG";
            std::ofstream(path + "/" + name, std::ios::binary).write(jpeg.constData(), jpeg.size());
            Ref<FileSystemItemMO> item = folder->createChildWithName(name, MediaDatabase::EntityFile, true);
            item->setValid(true);
            item->setDecodable(true);
            item->setRefreshStatus(0);
            for (std::size_t r = 0; r < rows.size(); ++r)
                item->setAttribute(Value(double(i % 50) + double(r) / 8), rows[r]->sourcePath2, rows[r]->sourcePath1);
            folder->updateObjectInCache(item.get());
            pictures.push_back(item);
        }
        database->managedObjectContext()->save();
        selection = BrowsingSelection::create();
        selection->setSelectedFolders({folder});
        spinUntil([&] { return selection->foldersObjectsCount() == unsigned(kPictures); });
        panel = std::make_unique<MetadataPanel>();
        panel->resize(280, 700);
        panel->setSelection(selection.get());
        bench::waitUntilExposed(*panel);
        selection->setSelectedObjectsIndexes(IndexSet(0));
        spinUntil([&] { return panel->metadataListSelector()->count() == 4; });
        panel->metadataViewSelected(2); // "EXIF"
        QCoreApplication::processEvents();
    }
};

// Made on first use and kept until exit (its widgets must not outlive the application); its
// scratch folder is removed by main.
Fixture* shared = nullptr;

Fixture& fixture()
{
    if (!shared)
        shared = new Fixture;
    return *shared;
}

// Whether the panel's provider holds that picture.
bool shows(const Fixture& f, unsigned index)
{
    MetadataProvider* provider = f.panel->currentViewsSet()->currentProvider();
    return provider && !provider->fileSystemItems().empty()
           && provider->fileSystemItems().front() == f.selection->foldersObjectAtIndex(index);
}

void BM_PanelFollowsArrowStep(benchmark::State& state)
{
    Fixture& f = fixture();
    if (f.selection->foldersObjectsCount() != unsigned(kPictures) || f.panel->metadataListSelector()->currentText() != "EXIF") {
        state.SkipWithError("the panel does not show EXIF for the folder of 1,000 pictures");
        return;
    }
    unsigned index = 0;
    std::vector<double> steps;
    for (auto _ : state) {
        index = (index + 1) % kPictures;
        const double ms = timedStep([&] { f.selection->setSelectedObjectsIndexes(IndexSet(index)); },
                                    [&] { return shows(f, index); }, *f.panel);
        state.SetIterationTime(ms / 1000);
        steps.push_back(ms);
    }
    reportSteps(state, std::move(steps));
    if (!shows(f, index))
        state.SkipWithError("the panel did not follow the selection");
}
BENCHMARK(BM_PanelFollowsArrowStep)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(500);

void BM_PlainTreeViewStep(benchmark::State& state)
{
    Fixture& f = fixture();
    QStandardItemModel model;
    QTreeView view;
    view.setHeaderHidden(true);
    view.setModel(&model);
    view.resize(280, 700);
    bench::waitUntilExposed(view);
    std::size_t index = 0;
    std::vector<double> steps;
    for (auto _ : state) {
        index = (index + 1) % f.pictures.size();
        FileSystemItemMO& item = *f.pictures[index];
        const double ms = timedStep(
            [&] {
                model.clear();
                model.setColumnCount(2);
                std::map<std::string, QStandardItem*> categories;
                for (std::size_t r = 0; r < f.exif->count(); ++r) {
                    const MetadataProfileItemInfo* row = f.exif->infoAtIndex(r);
                    Value value;
                    if (std::string_view(row->sourcePath2) == MetadataProfile::SourceAllNames) {
                        std::string names;
                        for (const std::string& name : item.attributeNamesForTag(row->sourcePath1))
                            names += (names.empty() ? "" : ", ") + name;
                        value = Value(names);
                    } else {
                        value = item.attributeWithName(row->sourcePath2, row->sourcePath1);
                    }
                    if (value.isNull())
                        continue;
                    QStandardItem*& category = categories[row->category];
                    if (!category) {
                        category = new QStandardItem(QString::fromUtf8(row->category));
                        model.appendRow(category);
                    }
                    category->appendRow({new QStandardItem(QString::fromUtf8(row->name) + ":"),
                                         new QStandardItem(QString::fromStdString(value.toString()))});
                }
                view.expandAll();
            },
            [] { return true; }, view);
        state.SetIterationTime(ms / 1000);
        steps.push_back(ms);
    }
    reportSteps(state, std::move(steps));
}
BENCHMARK(BM_PlainTreeViewStep)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(500);

} // namespace

int main(int argc, char** argv)
{
    const int status = bench::runGuiBenchmarks(argc, argv);
    if (shared) {
        std::error_code ignored;
        std::filesystem::remove_all(shared->scratch.folder(), ignored);
    }
    return status;
}
