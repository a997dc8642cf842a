// Rotation, Save As and the batch panels from the browse mode: the handler's rows and what
// they validate, the options each panel's choices become (through a recording launcher), and
// the real conversion engine turning, saving and converting pictures: a JPEG turned by its
// orientation alone, a PNG turned in place keeping its mode, the copy the preference asks
// for, a read-only folder as another user, the progress strip of a one-picture Save As and
// the quit question while a batch runs.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../../Operations/ConversionTestSupport.h"
#include "../ShellTestSupport.h"
#include "Application/ApplicationContinuousUserActionHandlersRegistry.h"
#include "Application/BrowseMode/BrowsingUAHandler.h"
#include "Application/BrowseMode/FolderProgressPanel.h"
#include "Application/FileOperationLauncher.h"
#include "BrowseTestSupport.h"
#include "CatalogueTestSupport.h"
#include "FileSystemFixtures.h"
#include "Imaging/RIReperesentation.h"
#include "Operations/FileOperation.h"
#include "Operations/ImageConversionRules.h"
#include "Operations/ImageConvertor.h"
#include "Operations/Panels/ConversionPanels.h"
#include "Platform/FilePaths.h"
#include "Platform/NotificationCenter.h"
#include "Preferences/Preferences.h"

namespace vistel::test {
namespace {

const bool privateFolders = usePrivateShellFolders();

using Items = BasicUIHandler::Items;

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// data/a.jpg: a 24 x 16 JPEG with an EXIF block (orientation 1).
void copyPicture(const std::string& path)
{
    std::filesystem::copy_file(std::string(VISTEL_TEST_DATA_DIR) + "/a.jpg", path);
}

// A picture whose left half is red and right half blue.
QImage halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width / 2; ++x)
            image.setPixelColor(x, y, Qt::red);
    return image;
}

class RecordingConversions : public FileOperationLauncher {
public:
    struct Call {
        std::vector<std::string> paths;
        std::string folder;
        Value options;
    };
    void deleteObjects(const std::vector<std::string>&) override { }
    void moveToTrash(const std::vector<std::string>&) override { }
    int createFolder(const std::string&) override { return -1; }
    void convertImages(const std::vector<std::string>& paths, const std::string& folder, const Value& options) override
    {
        calls.push_back({paths, folder, options});
    }
    std::vector<Call> calls;
};


class ConversionActionsTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(privateFolders);
        CatalogueTest::SetUp();
        openCatalogue();
        handler_ = BrowsingUAHandler::create(nullptr);
        Preferences::sharedPreferences().setValue(Value(false), prefs::MakeCopyOnRotate);
    }
    void TearDown() override
    {
        AccessoryFilePanel::setResponder({});
        if (recording_)
            FileOperationLauncher::install(previous_);
        handler_ = nullptr;
        CatalogueTest::TearDown();
    }
    void record()
    {
        recording_ = std::make_unique<RecordingConversions>();
        previous_ = FileOperationLauncher::install(recording_.get());
    }
    // The catalogue item of a path on disk, made with its folders as needed: writable, and decodable when it is a picture.
    Ref<FileSystemItemMO> item(const std::string& path) { return catalogueItemAt(*database_, path, true); }
    Items items(std::initializer_list<std::string> paths)
    {
        Items out;
        for (const std::string& path : paths)
            out.push_back(Ref<Object>(item(path)));
        return out;
    }

    TemporaryFolder tree_ {"vistel-conversion"};
    Ref<BrowsingUAHandler> handler_;
    std::unique_ptr<RecordingConversions> recording_;
    FileOperationLauncher* previous_ = nullptr;
};

TEST_F(ConversionActionsTest, RowsValidateAsTheirItemsAllow)
{
    for (const char* name : {"a.jpg", "b.jpg", "locked.jpg", "broken.jpg"})
        std::ofstream(tree_ / name) << "x";
    std::filesystem::create_directory(tree_ / "inner");
    const Items one = items({tree_ / "a.jpg"});
    const Items two = items({tree_ / "a.jpg", tree_ / "b.jpg"});
    const Items folder = items({tree_ / "inner"});
    const Items none;
    Items locked = items({tree_ / "a.jpg", tree_ / "locked.jpg"});
    item(tree_ / "locked.jpg")->setWritable(false);
    Items broken = items({tree_ / "broken.jpg"});
    item(tree_ / "broken.jpg")->setDecodable(false);
    struct Case {
        const char* action;
        const Items* selection;
        bool enabled;
    } cases[] = {
        {"rotateRight:", &two, true},       {"rotateLeft:", &one, true},        {"rotate:", &one, true},
        {"rotateRight:", &locked, false},   {"rotateLeft:", &broken, false},    {"rotateRight:", &folder, false},
        {"rotateRight:", &none, false},     {"saveDocumentAs:", &one, true},    {"saveDocumentAs:", &two, false},
        {"saveDocumentAs:", &folder, false}, {"batchConvertFileFormat:", &two, true},
        {"batchResize:", &folder, true},    {"batchRename:", &one, true},       {"batchResize:", &none, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(handler_->validateUserAction(c.action, nullptr, c.selection, nullptr, nullptr), c.enabled)
            << c.action << " on " << c.selection->size();
    for (const char* action :
         {"rotateLeft:", "rotateRight:", "saveDocumentAs:", "batchConvertFileFormat:", "batchResize:", "batchRename:"})
        EXPECT_TRUE(handler_->respondsToUserActionSelector(action)) << action;
}

TEST_F(ConversionActionsTest, RotationStartsOneBatchPerFolderOverTheOriginalsUnlessACopyIsWanted)
{
    record();
    std::filesystem::create_directory(tree_ / "one");
    std::filesystem::create_directory(tree_ / "two");
    for (const char* name : {"one/a.jpg", "one/b.jpg", "two/c.jpg"})
        std::ofstream(tree_ / name) << "x";
    const Items pictures = items({tree_ / "one/a.jpg", tree_ / "two/c.jpg", tree_ / "one/b.jpg"});
    EXPECT_FALSE(handler_->processItems(pictures, nullptr, "rotateRight:", nullptr, nullptr));
    ASSERT_EQ(recording_->calls.size(), 2u);
    EXPECT_EQ(recording_->calls[0].folder, tree_ / "one");
    EXPECT_EQ(recording_->calls[0].paths, (std::vector<std::string> {tree_ / "one/a.jpg", tree_ / "one/b.jpg"}));
    EXPECT_EQ(recording_->calls[1].paths, (std::vector<std::string> {tree_ / "two/c.jpg"}));
    const Value& right = recording_->calls[0].options;
    EXPECT_NEAR(right.get(kImageConvertorRotateKey).toDouble(), M_PI / 2, 1e-6);
    EXPECT_EQ(right.get(kFileOperationDuplicateActionKey).toInt64(), int(FileOperationActionReplace));
    EXPECT_EQ(right.get(kFolderProgressKeyStopButtonText), Value("Stop Rotating"));
    EXPECT_EQ(right.get(kFolderProgressKeyExplanationWithoutDestination), Value("Rotate \"%@\""));

    // The context menu's entry turns the other way; with the preference, beside the original.
    Preferences::sharedPreferences().setValue(Value(true), prefs::MakeCopyOnRotate);
    recording_->calls.clear();
    std::unique_ptr<QMenu> menu(handler_->menuForItems(items({tree_ / "two/c.jpg"}), nullptr));
    QAction* left = nullptr;
    for (QAction* entry : menu->actions())
        if (entry->text() == "Rotate Left")
            left = entry;
    ASSERT_TRUE(left);
    EXPECT_TRUE(left->isEnabled());
    left->trigger();
    ASSERT_EQ(recording_->calls.size(), 1u);
    const Value& copy = recording_->calls[0].options;
    EXPECT_NEAR(copy.get(kImageConvertorRotateKey).toDouble(), -M_PI / 2, 1e-6);
    EXPECT_NE(copy.get(kFileOperationDuplicateActionKey).toInt64(), int(FileOperationActionReplace));
}

TEST_F(ConversionActionsTest, EachPanelsChoicesBecomeItsBatch)
{
    record();
    std::filesystem::create_directory(tree_ / "out");
    for (const char* name : {"a.jpg", "b.jpg"})
        std::ofstream(tree_ / name) << "x";
    const Items pictures = items({tree_ / "a.jpg", tree_ / "b.jpg"});
    auto chooseTag = [](QComboBox* popup, int tag) { popup->setCurrentIndex(popup->findData(tag)); };

    // Cancelled: nothing starts.
    AccessoryFilePanel::setResponder([](AccessoryFilePanel& panel) { panel.reject(); });
    for (const char* action : {"batchConvertFileFormat:", "batchResize:", "batchRename:"})
        EXPECT_TRUE(handler_->processItems(pictures, nullptr, action, nullptr, nullptr));
    EXPECT_TRUE(recording_->calls.empty());

    AccessoryFilePanel::setResponder([&](AccessoryFilePanel& panel) {
        panel.fileDialog()->setDirectory(QString::fromStdString(tree_ / "out"));
        if (auto* convert = dynamic_cast<BatchConvertionPanel*>(&panel))
            chooseTag(convert->accessory()->popupButton(), ConversionPanelAccessory::PNG);
        if (auto* resize = dynamic_cast<BatchResizePanel*>(&panel)) {
            chooseTag(resize->popupButton(), BatchResizePanel::Pixels);
            resize->widthByPixelsText()->setText("1024");
            resize->heightByPixelsText()->setText("768");
        }
        if (auto* rename = dynamic_cast<BatchRenamePanel*>(&panel)) {
            chooseTag(rename->popupButton(), 7);
            rename->customNameText()->setText("Trip");
            rename->startingAtText()->setText("5");
        }
        if (auto* save = dynamic_cast<SaveImageAsPanel*>(&panel)) {
            chooseTag(save->accessory()->popupButton(), ConversionPanelAccessory::TIFF);
            chooseTag(save->accessory()->tiffCompressionPopup(), 5);
            panel.fileDialog()->selectFile("holiday");
        }
        panel.okButton()->click();
    });
    for (const char* action : {"batchConvertFileFormat:", "batchResize:", "batchRename:", "saveDocumentAs:"})
        EXPECT_TRUE(handler_->processItems(action == std::string("saveDocumentAs:") ? Items {pictures[0]} : pictures,
                                           nullptr, action, nullptr, nullptr));
    ASSERT_EQ(recording_->calls.size(), 4u);
    for (const auto& call : recording_->calls)
        EXPECT_EQ(call.folder, tree_ / "out");
    EXPECT_EQ(recording_->calls[0].paths, (std::vector<std::string> {tree_ / "a.jpg", tree_ / "b.jpg"}));

    const Value& convert = recording_->calls[0].options;
    EXPECT_EQ(convert.get(kImageConvertorFormatKey), Value("public.png"));
    EXPECT_EQ(convert.get(kFolderProgressKeyExplanationWithDestination),
              Value("Converting \"%@\" to \"%@\" with PNG format"));

    Ref<PixelsResizeOperator> pixels =
        recording_->calls[1].options.get(kImageConvertorResizeOperatorKey).toObject<PixelsResizeOperator>();
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->sizeInPixels(), (FloatSize {1024, 768}));

    Ref<NameWithCounterRenameOperator> counter = recording_->calls[2].options.get(kImageConvertorRenameOperatorKey).toObject<NameWithCounterRenameOperator>();
    ASSERT_TRUE(counter);
    EXPECT_EQ(counter->name(), std::optional<std::string>("Trip"));
    EXPECT_EQ(counter->startingIndex(), 5);

    const Value& save = recording_->calls[3].options;
    EXPECT_EQ(recording_->calls[3].paths, (std::vector<std::string> {tree_ / "a.jpg"}));
    EXPECT_EQ(save.get(kImageConvertorFormatKey), Value("public.tiff"));
    EXPECT_EQ(save.get(kImageConvertorCompressionKey).toInt64(), 5);
    Ref<NameFromNamesArray> names = save.get(kImageConvertorRenameOperatorKey).toObject<NameFromNamesArray>();
    ASSERT_TRUE(names);
    EXPECT_EQ(names->objectsNamesArray(), (std::vector<std::string> {"holiday.tiff"}));
    EXPECT_EQ(save.get(kFolderProgressKeyStopButtonText), Value("Stop Saving"));
}

// --- the real engine ------------------------------------------------------------------------------

TEST_F(ConversionActionsTest, RotateRightTurnsAJpegByItsOrientationAndAPngByItsPixels)
{
    installFileOperations();
    GroupRecords records;
    copyPicture(tree_ / "x.jpg");
    ASSERT_TRUE(halves(30, 20).save(QString::fromStdString(tree_ / "y.png")));
    ASSERT_EQ(::chmod((tree_ / "y.png").c_str(), 0640), 0);
    const std::string before = contents(tree_ / "x.jpg");

    handler_->processItems(items({tree_ / "x.jpg", tree_ / "y.png"}), nullptr, "rotateRight:", nullptr, nullptr);
    ASSERT_TRUE(records.settle());
    ASSERT_FALSE(records.finals().empty());
    for (const Value& record : records.finals())
        EXPECT_EQ(fileOperationStage(record), 3u) << record.description();

    // The JPEG keeps its compressed pixels: only the orientation changed.
    const std::string after = contents(tree_ / "x.jpg");
    ASSERT_EQ(after.size(), before.size());
    int changed = 0;
    for (std::size_t i = 0; i < after.size(); ++i)
        changed += after[i] != before[i];
    EXPECT_GE(changed, 1);
    EXPECT_LE(changed, 2);
    Ref<RIReperesentation> turned = RIReperesentation::imageRepWithData(RIReperesentation::dataAtPath(tree_ / "x.jpg"));
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->imageOrientation(), 6u);

    // The PNG is turned in place: red on top now, its mode kept.
    const QImage png(QString::fromStdString(tree_ / "y.png"));
    ASSERT_EQ(png.size(), QSize(20, 30));
    EXPECT_EQ(png.pixelColor(10, 2), QColor(Qt::red));
    EXPECT_EQ(png.pixelColor(10, 27), QColor(Qt::blue));
    struct stat st {};
    ASSERT_EQ(::stat((tree_ / "y.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_FALSE(std::filesystem::exists(tree_ / "x copy.jpg"));
}

TEST_F(ConversionActionsTest, WithThePreferenceTheTurnedPictureIsACopyBesideTheOriginal)
{
    installFileOperations();
    GroupRecords records;
    copyPicture(tree_ / "x.jpg");
    const std::string before = contents(tree_ / "x.jpg");
    Preferences::sharedPreferences().setValue(Value(true), prefs::MakeCopyOnRotate);
    handler_->processItems(items({tree_ / "x.jpg"}), nullptr, "rotateLeft:", nullptr, nullptr);
    ASSERT_TRUE(records.settle());
    EXPECT_EQ(contents(tree_ / "x.jpg"), before);
    ASSERT_TRUE(std::filesystem::exists(tree_ / "x copy.jpg"));
    Ref<RIReperesentation> turned =
        RIReperesentation::imageRepWithData(RIReperesentation::dataAtPath(tree_ / "x copy.jpg"));
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->imageOrientation(), 8u);
}

TEST_F(ConversionActionsTest, DISABLED_RotatingInAReadOnlyFolder)
{
    installFileOperations();
    GroupRecords records;
    ScriptedAlerts alerts;
    const std::string folder = std::getenv("VISTEL_READ_ONLY_FOLDER");
    handler_->processItems(items({folder + "/x.jpg"}), nullptr, "rotateRight:", nullptr, nullptr);
    ASSERT_TRUE(records.settle());
    ASSERT_FALSE(records.finals().empty());
    EXPECT_EQ(fileOperationStage(records.finals().back()), kFSOperationStageCancelled);
    EXPECT_EQ(alerts.messages.size(), 1u);
}

TEST_F(ConversionActionsTest, RotatingInAReadOnlyFolderAsAnotherUserLeavesTheOriginalAndShowsOneAlert)
{
    // A folder only root may write to; the picture inside is readable by everyone.
    ASSERT_EQ(::chmod(tree_.path().c_str(), 0755), 0);
    copyPicture(tree_ / "x.jpg");
    ASSERT_EQ(::chmod((tree_ / "x.jpg").c_str(), 0644), 0);
    const std::string before = contents(tree_ / "x.jpg");
    if (::geteuid() != 0)
        VISTEL_SKIP_UNAVAILABLE() << "changing to another user needs root";
    std::string log;
    const bool passed = runAsNobody("ConversionActionsTest.DISABLED_RotatingInAReadOnlyFolder", "VISTEL_READ_ONLY_FOLDER",
                                    tree_.path(), tree_ / "../vistel-nobody.log", log);
    EXPECT_TRUE(passed) << log;
    EXPECT_EQ(contents(tree_ / "x.jpg"), before);
    EXPECT_FALSE(std::filesystem::exists(tree_ / "x copy.jpg"));
}

TEST_F(ConversionActionsTest, SaveAsShowsItsProgressStripAndWritesThePicture)
{
    installFileOperations();
    GroupRecords records;
    std::vector<FolderProgressPanel*> shown;
    std::vector<std::string> lines;
    Ref<FolderProgressStrip> strip = FolderProgressStrip::create({[&](FolderProgressPanel* panel) { shown.push_back(panel); },
                                                                  [](FolderProgressPanel*) {}});
    copyPicture(tree_ / "x.jpg");
    std::filesystem::create_directory(tree_ / "out");
    AccessoryFilePanel::setResponder([&](AccessoryFilePanel& panel) {
        auto& save = dynamic_cast<SaveImageAsPanel&>(panel);
        save.accessory()->popupButton()->setCurrentIndex(
            save.accessory()->popupButton()->findData(int(ConversionPanelAccessory::PNG)));
        panel.fileDialog()->setDirectory(QString::fromStdString(tree_ / "out"));
        panel.fileDialog()->selectFile("copy");
        panel.okButton()->click();
    });
    // A batch shown before: its strip has completed when the Save As starts.
    EXPECT_TRUE(handler_->processItems(items({tree_ / "x.jpg"}), nullptr, "saveDocumentAs:", nullptr, nullptr));
    ASSERT_TRUE(records.settle());
    const QImage saved(QString::fromStdString(tree_ / "out/copy.png"));
    EXPECT_EQ(saved.size(), QSize(24, 16));
    // Its batch's conversion group, announced after the preflight's strip completed, shows.
    ASSERT_GE(shown.size(), 2u);
    EXPECT_TRUE(strip->progressPanel());
}

TEST_F(ConversionActionsTest, QuittingWhileABatchRunsListsIt)
{
    installFileOperations();
    GroupRecords records;
    for (int i = 0; i < 24; ++i)
        ASSERT_TRUE(halves(1600, 1200).save(QString::fromStdString(tree_ / ("p" + std::to_string(i) + ".png"))));
    std::filesystem::create_directory(tree_ / "out");
    AccessoryFilePanel::setResponder([&](AccessoryFilePanel& panel) {
        panel.fileDialog()->setDirectory(QString::fromStdString(tree_ / "out"));
        panel.okButton()->click();
    });
    Items pictures;
    for (int i = 0; i < 24; ++i)
        pictures.push_back(Ref<Object>(item(tree_ / ("p" + std::to_string(i) + ".png"))));
    handler_->processItems(pictures, nullptr, "batchConvertFileFormat:", nullptr, nullptr);
    ScriptedAlerts alerts({"Continue"});
    EXPECT_EQ(ApplicationContinuousUserActionHandlersRegistry::defaultRegistry().applicationShouldTerminate(), 0u);
    ASSERT_EQ(alerts.messages.size(), 1u);
    EXPECT_NE(alerts.messages[0].find("There are tasks in progress:\n ● "), std::string::npos) << alerts.messages[0];
    for (const auto& group : ImageConvertor::sharedImageConvertor().runningGroups())
        ImageConvertor::sharedImageConvertor().handleCancelOperation(*group);
    ASSERT_TRUE(records.settle());
}

} // namespace
} // namespace vistel::test
