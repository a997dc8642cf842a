// The progress strip driven by scripted status records: stages, the bar's scale, the shortened
// line, the stop button's cancel, the delayed closes, one strip at a time, deletes counted by
// items, and format strings that do not fit their arguments.

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QElapsedTimer>

#include <filesystem>
#include <fstream>
#include <regex>

#include "../../Common/Alert/AlertTestSupport.h"
#include "TestSupport.h"
#include "Application/BrowseMode/FolderProgressPanel.h"
#include "Common/Strings/Gui/NSStringExtensionsText.h"
#include "Operations/FileOperation.h"
#include "Platform/FileOperations/FSFileOperation.h"

namespace vistel::test {
namespace {

struct Operation : Object { };

constexpr std::uint64_t GiB = 1ull << 30;

Value record(std::uint32_t stage, std::uint64_t done = 0, std::uint64_t total = 0, int type = 0)
{
    const std::string longName = "/tmp/" + std::string(300, 'n') + ".jpg";
    const std::string longDestination = "/tmp/" + std::string(300, 'd') + "/photo.jpg";
    return Value::dictionary({{kFSOperationStageKey, int(stage)},
                              {kFSOperationOperationType, type},
                              {kFSOperationTotalBytesKey, Value(static_cast<std::int64_t>(total))},
                              {kFSOperationBytesCompleteKey, Value(static_cast<std::int64_t>(done))},
                              {kFSOperationCurrentObjectKey, longName},
                              {kFSOperationDestinationObjectKey, longDestination},
                              {kFolderProgressKeyStopButtonText, "Stop"},
                              {kFolderProgressKeyExplanationWithDestination, "Copying [%@] to [%@]"},
                              {kFolderProgressKeyExplanationWithoutDestination, "Deleting [%@]"}});
}

// The items panel's side: shows the strip at a fixed width, records what came and went.
class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        strip_ = FolderProgressStrip::create({[this](FolderProgressPanel* panel) {
                                                  shown_.push_back(panel);
                                                  QObject::connect(panel->progressIndicator(),
                                                                   &QProgressBar::valueChanged, panel,
                                                                   [this](int value) { barValues_.push_back(value); });
                                                  panel->resize(420, FolderProgressPanel::PanelHeight);
                                                  panel->show();
                                              },
                                              [this](FolderProgressPanel* panel) { closed_.push_back(panel); }});
        NotificationCenter::defaultCenter().addObserver(
            this, [this](const Notification& n) { cancels_.push_back(n.object); }, kFSOperationCancelNotification);
    }
    void TearDown() override
    {
        NotificationCenter::defaultCenter().removeObserver(this);
        strip_ = nullptr;
    }
    void post(const Ref<Object>& operation, const Value& info)
    {
        NotificationCenter::defaultCenter().postNotificationName(kFSOperationStatusNotification, operation, info);
    }
    FolderProgressPanel* panel() const { return strip_->progressPanel(); }
    std::string line() const { return panel()->progressText()->text().toStdString(); }
    // Milliseconds until the strip closed (-1: not within `limit`).
    qint64 millisecondsUntilClosed(int limit)
    {
        QElapsedTimer timer;
        timer.start();
        if (!spinUntil([&] { return panel() == nullptr; }, limit))
            return -1;
        return timer.elapsed();
    }

    Ref<FolderProgressStrip> strip_;
    std::vector<FolderProgressPanel*> shown_, closed_;
    std::vector<Ref<Object>> cancels_;
    // Every value the shown bars took, in order.
    std::vector<int> barValues_;
    Ref<Object> copy_ = makeRef<Operation>();
};

TEST_F(ProgressTest, StagesOfACopyThenTheCloseOneSecondAfterCompletion)
{
    post(copy_, record(1));
    ASSERT_EQ(shown_.size(), 1u);
    ASSERT_EQ(panel(), shown_[0]);
    EXPECT_EQ(panel()->objectToListen(), copy_.get());
    EXPECT_EQ(panel()->progressIndicator()->maximum(), 0); // busy
    EXPECT_EQ(panel()->progressCancelButton()->text(), "Stop");

    post(copy_, record(2, GiB, 6 * GiB));
    post(copy_, record(2, 3 * GiB, 6 * GiB));
    QProgressBar* bar = panel()->progressIndicator();
    EXPECT_EQ(bar->maximum(), FolderProgressPanel::ProgressScale);
    EXPECT_EQ(bar->value(), FolderProgressPanel::ProgressScale / 2);

    // The line fits its width, and the destination takes at most half of the room.
    const QFont& font = FolderProgressPanel::textFont();
    auto width = [&](const std::string& text) { return NSStringExtensions::sizeWithAttributesExt(text, font).width(); };
    const std::string text = line();
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(text, parts, std::regex("Copying \\[(.*)\\] to \\[(.*)\\]"))) << text;
    const double room = panel()->progressText()->width() - (width("Copying [%@] to [%@]") - width("%@%@"));
    EXPECT_LE(width(text), panel()->progressText()->width() + 1.0) << text;
    EXPECT_LE(width(parts[2].str()), room / 2 + 1.0) << text;
    EXPECT_NE(parts[1].str().find("…"), std::string::npos);
    EXPECT_NE(parts[2].str().find("…"), std::string::npos);
    EXPECT_EQ(parts[2].str().find("photo.jpg"), std::string::npos); // the destination's folder

    post(copy_, record(3, 6 * GiB, 6 * GiB));
    EXPECT_TRUE(panel()->completed());
    EXPECT_EQ(panel()->objectToListen(), nullptr);
    EXPECT_EQ(bar->value(), bar->maximum());
    const qint64 closedAfter = millisecondsUntilClosed(5000);
    EXPECT_GE(closedAfter, 900);
    EXPECT_EQ(closed_, shown_);
    EXPECT_TRUE(cancels_.empty());
}

TEST_F(ProgressTest, StopPostsOneCancelAndTheStripClosesSoonAfterTheCancelledRecord)
{
    post(copy_, record(2, 10, 100));
    panel()->progressCancelButton()->click();
    EXPECT_TRUE(cancels_.empty()); // queued, posted as soon as the loop comes round
    ASSERT_TRUE(spinUntil([&] { return !cancels_.empty(); }, 2000));
    spinEvents(50);
    ASSERT_EQ(cancels_.size(), 1u);
    EXPECT_EQ(cancels_[0], copy_);

    FolderProgressPanel* cancelled = panel();
    post(copy_, record(kFSOperationStageCancelled, 10, 100));
    EXPECT_EQ(cancelled->objectToListen(), nullptr);
    cancelled->progressCancelButton()->click(); // inert now
    const qint64 closedAfter = millisecondsUntilClosed(3000);
    EXPECT_GE(closedAfter, 50);
    EXPECT_LT(closedAfter, 900);
    spinEvents(50);
    EXPECT_EQ(cancels_.size(), 1u);
}

TEST_F(ProgressTest, ASecondOperationIsIgnoredWhileAStripIsShown)
{
    Ref<Object> other = makeRef<Operation>();
    post(copy_, record(2, 1, 4));
    post(other, record(1));
    post(other, record(2, 3, 4));
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(panel()->objectToListen(), copy_.get());
    EXPECT_EQ(panel()->progressIndicator()->value(), FolderProgressPanel::ProgressScale / 4);

    // Once the strip's own operation completed, another's record closes it at once and opens
    // that operation's strip with the record itself: a one-picture job's only running record
    // is not lost.
    post(copy_, record(3, 4, 4));
    post(other, record(2, 3, 4));
    EXPECT_EQ(closed_.size(), 1u);
    ASSERT_EQ(shown_.size(), 2u);
    ASSERT_EQ(panel(), shown_[1]);
    EXPECT_EQ(panel()->objectToListen(), other.get());
    EXPECT_EQ(panel()->progressIndicator()->value(), 3 * FolderProgressPanel::ProgressScale / 4);
    // The first strip's timer, had it fired, would not close this one.
    spinEvents(1200);
    EXPECT_EQ(panel(), shown_[1]);

    // The same after a cancelled one, without waiting for its close.
    Ref<Object> third = makeRef<Operation>();
    post(other, record(kFSOperationStageCancelled, 3, 4));
    post(third, record(1));
    ASSERT_EQ(shown_.size(), 3u);
    EXPECT_EQ(panel()->objectToListen(), third.get());
}

TEST_F(ProgressTest, ADeleteShowsItsItemCountAndAZeroTotalIsAnEmptyBar)
{
    // A delete's records name the item only, and count items; their bytes do not matter.
    auto deleteRecord = [](std::uint32_t stage, const char* name, int done, int total) {
        Value info = record(stage, 5, 10, kFileOperationDelete);
        info.remove(kFSOperationDestinationObjectKey);
        info.set(kFSOperationCurrentObjectKey, name);
        info.set(kFSOperationObjectsCompleteKey, done);
        info.set(kFSOperationTotalObjectsKey, total);
        return info;
    };
    post(copy_, deleteRecord(2, "a.jpg", 0, 0));
    ASSERT_NE(panel(), nullptr);
    EXPECT_EQ(line(), "Deleting [a.jpg]");
    QProgressBar* bar = panel()->progressIndicator();
    EXPECT_EQ(bar->maximum(), FolderProgressPanel::ProgressScale); // not Qt's busy mode
    EXPECT_EQ(bar->value(), 0);

    post(copy_, deleteRecord(2, "b.jpg", 1, 4));
    EXPECT_EQ(line(), "Deleting [b.jpg]");
    EXPECT_EQ(bar->value(), FolderProgressPanel::ProgressScale / 4);
    post(copy_, deleteRecord(2, "c.jpg", 3, 4));
    EXPECT_EQ(bar->value(), FolderProgressPanel::ProgressScale * 3 / 4);
    post(copy_, deleteRecord(3, "c.jpg", 4, 4));
    EXPECT_TRUE(panel()->completed());
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(ProgressTest, ARealDeleteMovesTheBarItemByItemToItsEnd)
{
    TemporaryFolder folder;
    std::filesystem::create_directories(folder.path() + "/album");
    for (const char* name : {"/album/a.jpg", "/album/b.jpg", "/album/c.jpg", "/album/d.jpg"})
        std::ofstream(folder.path() + name) << name;
    Ref<FileOperation> operation = FileOperation::deleteObjects({folder.path() + "/album"});
    ASSERT_TRUE(spinUntil([&] { return operation->isFinished(); }, 10000));
    ASSERT_EQ(shown_.size(), 1u);
    ASSERT_NE(panel(), nullptr);
    EXPECT_TRUE(panel()->completed());
    EXPECT_EQ(panel()->progressIndicator()->maximum(), FolderProgressPanel::ProgressScale);
    EXPECT_EQ(panel()->progressIndicator()->value(), FolderProgressPanel::ProgressScale);
    // Five items (four files, then their folder): the bar stood at each fifth on the way.
    EXPECT_EQ(barValues_, (std::vector<int> {2000, 4000, 6000, 8000, 10000}));
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "/album"));
}

TEST_F(ProgressTest, FormatsThatDoNotFitTheirArgumentsShowPlaceholders)
{
    struct Case {
        const char* format;
        std::string expected;
    } cases[] = {
        {"%@ %@ %@ %n %p", "a.jpg (?) (?) (?) (?)"},
        {"%d%%: %s", "(?)%: (?)"}, // the string went to %d
        {"%2$@ only", "(?) only"},
    };
    for (const Case& c : cases) {
        Value info = record(2, 1, 2);
        info.set(kFSOperationCurrentObjectKey, "a.jpg");
        info.remove(kFSOperationDestinationObjectKey);
        info.set(kFolderProgressKeyExplanationWithoutDestination, c.format);
        FolderProgressPanel panel(copy_, info);
        panel.resize(600, FolderProgressPanel::PanelHeight);
        panel.applyInfo(info);
        EXPECT_EQ(panel.progressText()->text().toStdString(), c.expected) << c.format;
    }
}

TEST_F(ProgressTest, StopCancelsARealCopyBeforeItsNextItem)
{
    TemporaryFolder folder;
    const std::string dst = folder.path() + "/dst";
    std::filesystem::create_directories(dst);
    for (const char* name : {"/a.jpg", "/b.jpg", "/c.jpg"})
        std::ofstream(folder.path() + name) << name;
    std::ofstream(dst + "/b.jpg") << "old";
    // The question about b.jpg holds the copy: Stop is pressed while it is asked.
    ScopedResponder responder([&](const AlertRecord&) {
        if (panel())
            panel()->progressCancelButton()->click();
        return AlertResponse::pressTitled("Replace");
    });
    const Value texts = Value::dictionary({{kFolderProgressKeyStopButtonText, "Stop Copying"},
                                           {kFolderProgressKeyExplanationWithDestination, "Copying \"%@\" to \"%@\""}});
    Ref<FileOperation> operation
        = FileOperation::copyObjects({folder.path() + "/a.jpg", folder.path() + "/b.jpg", folder.path() + "/c.jpg"},
                                     dst, 2, 0.1, texts);
    ASSERT_TRUE(spinUntil([&] { return !shown_.empty(); }, 5000));
    EXPECT_EQ(panel()->objectToListen(), operation.get());
    EXPECT_EQ(panel()->progressCancelButton()->text(), "Stop Copying");
    ASSERT_TRUE(spinUntil([&] { return operation->isFinished(); }, 10000));
    ASSERT_EQ(cancels_.size(), 1u);
    EXPECT_EQ(cancels_[0], operation);
    EXPECT_TRUE(std::filesystem::exists(dst + "/a.jpg"));
    EXPECT_FALSE(std::filesystem::exists(dst + "/c.jpg")); // nothing started after the cancel
    EXPECT_GE(millisecondsUntilClosed(3000), 0);
    EXPECT_EQ(closed_.size(), 1u);
}

TEST(FolderProgressPanel, ByteCountsScaleToTheBarsRange)
{
    struct Case {
        std::uint64_t done, total;
        int expected;
    } cases[] = {
        {0, 0, 0},
        {5, 0, 0},
        {3 * GiB, 6 * GiB, 5000},
        {~0ull, ~0ull, 10000},
        {~0ull / 3, ~0ull, 3333},
        {7, 3, 10000}, // more done than the total said
    };
    for (const Case& c : cases)
        EXPECT_EQ(FolderProgressPanel::scaledProgress(c.done, c.total), c.expected) << c.done << "/" << c.total;
}

} // namespace
} // namespace vistel::test
