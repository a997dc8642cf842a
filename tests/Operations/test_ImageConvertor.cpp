// The conversion engine: dealing jobs to workers, groups that end alone (cancel, failure),
// questions asked from workers, batches the preflight shapes (folders, link loops, a camera), and
// names taken behind a job's back.

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "../Common/Volumes/CameraTestSupport.h"
#include "../support/MountNamespace.h"
#include "ConversionTestSupport.h"
#include "OperationsTestSupport.h"
#include "Operations/ImageConversionRules.h"
#include "Imaging/RIReperesentation.h"
#include "Common/Volumes/ZovImageCaptureDeviceInfo.h"
#include "Operations/ImageConvertorJob.h"

namespace vistel {
namespace {

const auto* const environment = ::testing::AddGlobalTestEnvironment(new test::PrivateMountNamespace);

class ConversionEngine : public testing::Test {
protected:
    void SetUp() override
    {
        ::mkdir((scratch / "in").c_str(), 0755);
        ::mkdir(out.c_str(), 0755);
    }
    std::string in(const std::string& name) { return scratch / ("in/" + name); }
    std::vector<std::string> pictures(int count, int side = 32, const char* prefix = "p")
    {
        std::vector<std::string> paths;
        for (int i = 1; i <= count; ++i) {
            paths.push_back(in(std::string(prefix) + std::to_string(i) + ".png"));
            EXPECT_TRUE(test::writeQuadrants(paths.back(), side, side, "public.png"));
        }
        return paths;
    }

    test::ScratchFolder scratch;
    std::string out = scratch / "out";
    test::GroupRecords records;
};

TEST_F(ConversionEngine, DealsJobsRoundRobin)
{
    auto engine = ImageConvertor::create(2);
    const auto paths = pictures(5);
    const auto preflight = engine->addJobWithInputFiles(paths, out, Value::dictionary({{"format", "public.jpeg"}}));
    Ref<ImageConvertorJobGroup> conversion;
    ASSERT_TRUE(test::spinUntil([&] {
        for (const auto& group : engine->runningGroups())
            if (group != preflight)
                conversion = group;
        return conversion || engine->runningGroups().empty();
    }));
    ASSERT_TRUE(conversion);
    EXPECT_EQ(conversion->jobsCount(), 5);
    ASSERT_TRUE(test::spinUntil([&] { return engine->runningGroups().empty(); }));
    for (int i = 0; i < 5; ++i) {
        const auto job = dynamicRefCast<ImageConvertorJob>(conversion->jobAtIndex(i));
        EXPECT_EQ(job->orderNumber(), i + 1);
        EXPECT_EQ(job->workerIndex(), i % 2) << "job " << job->orderNumber();
    }
    EXPECT_TRUE(dynamicRefCast<ImageConvertorJob>(conversion->jobAtIndex(4))->isLastJob());
    EXPECT_EQ(test::namesIn(out).size(), 5u);
    // Preflight: stage 1 then 3; conversion: stage 2 records then one stage 3, type 5.
    const auto& first = records.of(preflight.get());
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(fileOperationStage(first[0]), 1u);
    EXPECT_EQ(fileOperationStage(first[1]), 3u);
    const auto& second = records.of(conversion.get());
    ASSERT_FALSE(second.empty());
    for (std::size_t i = 0; i + 1 < second.size(); ++i)
        EXPECT_EQ(fileOperationStage(second[i]), 2u);
    EXPECT_EQ(fileOperationStage(second.back()), 3u);
    EXPECT_EQ(fileOperationError(second.back()), 0);
    EXPECT_EQ(fileOperationOperationType(second.back()), 5);
    EXPECT_EQ(records.finals().size(), 2u);
}

TEST_F(ConversionEngine, GroupIdsTakeTheSmallestFree)
{
    auto engine = ImageConvertor::create(1);
    test::ScopedResponder responder {[](const AlertRecord&) { return AlertResponse::pressButton(0); }};
    const auto a = engine->addJobWithInputFiles({}, out, Value());
    const auto b = engine->addJobWithInputFiles({}, out, Value());
    EXPECT_EQ(a->groupId(), 1);
    EXPECT_EQ(b->groupId(), 2);
    ASSERT_TRUE(test::spinUntil([&] { return engine->runningGroups().empty(); }));
    // Nothing found: one stage-3 record, no conversion group, nothing left to ask about at quit.
    ASSERT_EQ(records.of(a.get()).size(), 2u);
    EXPECT_EQ(fileOperationStage(records.of(a.get()).back()), 3u);
    EXPECT_EQ(records.order.size(), 4u);
    const auto c = engine->addJobWithInputFiles({}, out, Value());
    EXPECT_EQ(c->groupId(), 1);
    ASSERT_TRUE(test::spinUntil([&] { return engine->runningGroups().empty(); }));
}

TEST_F(ConversionEngine, CancellingOneGroupLeavesTheOther)
{
    auto engine = ImageConvertor::create(2);
    const auto slow = pictures(12, 1600, "slow");
    const auto quick = pictures(4, 64, "quick");
    const auto first = engine->addJobWithInputFiles(slow, scratch / "slow", Value::dictionary({{"format", "public.png"}}));
    const auto second = engine->addJobWithInputFiles(quick, scratch / "quick", Value::dictionary({{"format", "public.jpeg"}}));
    const Object* slowGroup = nullptr;
    ASSERT_TRUE(test::spinUntil([&] { return (slowGroup = records.groupAfter(first.get())) != nullptr; }));
    NotificationCenter::defaultCenter().postNotificationName(kFSOperationCancelNotification,
                                                             Ref<Object>(const_cast<Object*>(slowGroup)));
    ASSERT_TRUE(test::spinUntil([&] { return engine->runningGroups().empty(); }, 120000));
    const auto& cancelled = records.of(slowGroup);
    EXPECT_EQ(fileOperationStage(cancelled.back()), 4u);
    EXPECT_EQ(fileOperationError(cancelled.back()), 0);
    int finals = 0;
    for (const Value& record : cancelled)
        finals += fileOperationStage(record) >= 3 ? 1 : 0;
    EXPECT_EQ(finals, 1);
    const Value done = records.of(records.groupAfter(second.get())).back();
    EXPECT_EQ(fileOperationStage(done), 3u);
    EXPECT_EQ(test::namesIn(scratch / "quick").size(), 4u);
    // Wait for the worker still drawing a picture of the cancelled group: it writes nothing more.
    test::spinEvents(300);
    const bool anyWritten = ::access((scratch / "slow").c_str(), F_OK) == 0;
    EXPECT_LT(anyWritten ? test::namesIn(scratch / "slow").size() : 0u, 12u);
}

TEST_F(ConversionEngine, DiskFullEndsOnlyItsGroupAndKeepsOldFiles)
{
    test::ScopedTmpfs volume {0, "1m"};
    if (!volume.mounted())
        VISTEL_SKIP_UNAVAILABLE() << "mounting a tmpfs: " << std::strerror(volume.error);
    auto engine = ImageConvertor::create(2);
    test::ScopedResponder responder {test::scriptedAnswers({})};
    test::writeFile(volume.path() + "/big1.png", "old contents");
    // Noise does not compress: each picture is about 700 KB as PNG.
    std::vector<std::string> inputs;
    for (int i = 1; i <= 4; ++i) {
        QImage noise(480, 480, QImage::Format_RGB32);
        std::uint32_t seed = 77u * std::uint32_t(i);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x) {
                seed = seed * 1664525u + 1013904223u;
                noise.setPixel(x, y, seed >> 8);
            }
        inputs.push_back(in("big" + std::to_string(i) + ".bmp"));
        ASSERT_TRUE(noise.save(QString::fromStdString(inputs.back()), "BMP"));
    }
    const auto other = engine->addJobWithInputFiles(pictures(3), out, Value::dictionary({{"format", "public.jpeg"}}));
    const Value last = test::runBatch(*engine, inputs, volume.path(),
                                      Value::dictionary({{"format", "public.png"}, {"FileOperationDuplicateAction", 2}}),
                                      &records);
    EXPECT_EQ(fileOperationStage(last), 4u);
    EXPECT_EQ(fileOperationError(last), -34);
    const auto asked = test::alertMessages();
    ASSERT_EQ(asked.size(), 1u);
    // The alert names the picture whose job ran out of room.
    EXPECT_NE(asked[0].find("to convert \"big"), std::string::npos) << asked[0];
    EXPECT_EQ(test::readFile(volume.path() + "/big1.png"), "old contents");
    EXPECT_EQ(fileOperationStage(records.of(records.groupAfter(other.get())).back()), 3u);
    EXPECT_EQ(test::namesIn(out).size(), 3u);
}

TEST_F(ConversionEngine, CancelWhileAQuestionIsUp)
{
    auto engine = ImageConvertor::create(2);
    const auto paths = pictures(4);
    const auto others = pictures(3, 32, "other");
    for (int i = 1; i <= 4; ++i)
        test::writeFile(out + "/p" + std::to_string(i) + ".jpg", "taken");
    const Object* conversion = nullptr;
    Ref<ImageConvertorJobGroup> preflight, otherPreflight;
    int questions = 0;
    test::ScopedResponder responder {[&](const AlertRecord&) {
        ++questions;
        // While the question is up (its worker waiting for the answer) another batch starts,
        // and the user stops the first one from its progress strip.
        otherPreflight = engine->addJobWithInputFiles(others, scratch / "other", Value::dictionary({{"format", "public.png"}}));
        conversion = records.groupAfter(preflight.get());
        NotificationCenter::defaultCenter().postNotificationName(kFSOperationCancelNotification,
                                                                 Ref<Object>(const_cast<Object*>(conversion)));
        return AlertResponse::pressButton(0); // Replace
    }};
    preflight = engine->addJobWithInputFiles(paths, out, Value::dictionary({{"format", "public.jpeg"}}));
    ASSERT_TRUE(test::spinUntil([&] { return engine->runningGroups().empty() && otherPreflight; }));
    test::spinEvents(200);
    EXPECT_EQ(questions, 1);
    ASSERT_TRUE(conversion);
    EXPECT_EQ(fileOperationStage(records.of(conversion).back()), 4u);
    EXPECT_EQ(fileOperationError(records.of(conversion).back()), 0);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(test::readFile(out + "/p" + std::to_string(i) + ".jpg"), "taken");
    // The other batch went on to its end.
    const Object* other = records.groupAfter(otherPreflight.get());
    ASSERT_TRUE(other);
    EXPECT_EQ(fileOperationStage(records.of(other).back()), 3u);
    EXPECT_EQ(test::namesIn(scratch / "other"), (std::set<std::string> {"other1.png", "other2.png", "other3.png"}));
}

TEST_F(ConversionEngine, QuestionsTable)
{
    // Three pictures whose JPEG names are taken in the output folder, and one undecodable file.
    struct Case {
        const char* what;
        std::vector<AlertResponse> answers;
        Value options;
        std::set<std::string> expectedNew;
        std::size_t questions;
    };
    const Case cases[] = {
        {"Stop holds for the rest of the batch", {AlertResponse::pressTitled("Stop")}, Value::dictionary(), {}, 1},
        {"Don't Replace, applied to all", {AlertResponse::pressTitled("Don't Replace", 1), AlertResponse::pressTitled("Skip")},
         Value::dictionary(), {}, 2},
        {"Rename applied to all; the undecodable file copied",
         {AlertResponse::pressTitled("Rename", 1), AlertResponse::pressTitled("Copy")}, Value::dictionary(),
         {"p1 copy.jpg", "p2 copy.jpg", "p3 copy.jpg", "notes.txt"}, 2},
        {"stored answers ask nothing", {}, Value::dictionary({{"FileOperationDuplicateAction", 4}, {"FileOperationNoCodecAction", 6}}),
         {"notes.txt"}, 0},
    };
    auto engine = ImageConvertor::create(2);
    const auto paths = pictures(3);
    test::writeFile(in("notes.txt"), "not a picture");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = scratch / ("q" + std::to_string(&c - cases));
        ::mkdir(folder.c_str(), 0755);
        for (int i = 1; i <= 3; ++i)
            test::writeFile(folder + "/p" + std::to_string(i) + ".jpg", "taken");
        test::ScopedResponder responder {test::scriptedAnswers(c.answers)};
        Value options = c.options;
        options.set("format", "public.jpeg");
        std::vector<std::string> inputs = paths;
        inputs.push_back(in("notes.txt"));
        const Value last = test::runBatch(*engine, inputs, folder, options);
        EXPECT_EQ(fileOperationStage(last), 3u);
        EXPECT_EQ(test::alertMessages().size(), c.questions);
        std::set<std::string> made = test::namesIn(folder);
        for (int i = 1; i <= 3; ++i) {
            EXPECT_EQ(test::readFile(folder + "/p" + std::to_string(i) + ".jpg"), "taken");
            made.erase("p" + std::to_string(i) + ".jpg");
        }
        EXPECT_EQ(made, c.expectedNew);
    }
    EXPECT_EQ(test::readFile(scratch / "q2/notes.txt"), "not a picture");
}

TEST_F(ConversionEngine, DateTimeNamesOnFourWorkersLoseNothing)
{
    auto engine = ImageConvertor::create(4);
    test::ScopedResponder responder {test::scriptedAnswers({})};
    const auto paths = pictures(12, 16);
    const Value options = Value::dictionary(
        {{"format", "public.jpeg"}, {"renameOperator", NameWithDateTimeRenameOperator::create("Shot")}});
    EXPECT_EQ(fileOperationStage(test::runBatch(*engine, paths, out, options)), 3u);
    EXPECT_EQ(test::namesIn(out).size(), 12u);
    EXPECT_TRUE(test::alertMessages().empty());
}

TEST_F(ConversionEngine, FolderTreeIsMirroredAndALinkLoopEnds)
{
    auto engine = ImageConvertor::create(2);
    const std::string tree = scratch / "tree";
    ::mkdir(tree.c_str(), 0755);
    ::mkdir((tree + "/sub").c_str(), 0755);
    ::mkdir((tree + "/.hidden").c_str(), 0755);
    ASSERT_TRUE(test::writeQuadrants(tree + "/a.png", 16, 16, "public.png"));
    ASSERT_TRUE(test::writeQuadrants(tree + "/sub/b.png", 16, 16, "public.png"));
    ASSERT_TRUE(test::writeQuadrants(tree + "/.hidden/c.png", 16, 16, "public.png"));
    ASSERT_TRUE(test::writeQuadrants(tree + "/.d.png", 16, 16, "public.png"));
    ASSERT_EQ(::symlink("..", (tree + "/sub/up").c_str()), 0);
    ASSERT_EQ(::symlink(".", (tree + "/self").c_str()), 0);
    const Value last = test::runBatch(*engine, {tree}, out, Value::dictionary({{"format", "public.jpeg"}}));
    EXPECT_EQ(fileOperationStage(last), 3u);
    EXPECT_EQ(fileOperationObjectTotal(last), 3);
    EXPECT_TRUE(test::namesIn(out + "/tree").count("a.jpg"));
    EXPECT_TRUE(test::namesIn(out + "/tree/sub").count("b.jpg"));
    EXPECT_TRUE(test::namesIn(out + "/tree/.hidden").count("c.jpg"));
    EXPECT_FALSE(test::namesIn(out + "/tree").count(".d.jpg"));
}

TEST_F(ConversionEngine, RotationInPlaceRewritesTheOriginal)
{
    auto engine = ImageConvertor::create(2);
    ASSERT_TRUE(test::writeQuadrants(in("r.jpg"), 64, 32, "public.jpeg", 1));
    const std::string before = test::readFile(in("r.jpg"));
    ::chmod(in("r.jpg").c_str(), 0640);
    EXPECT_EQ(fileOperationStage(test::runBatch(*engine, {in("r.jpg")}, scratch / "in", ImageConvertor::rotationOptions(true, false))),
              3u);
    const std::string after = test::readFile(in("r.jpg"));
    EXPECT_EQ(test::namesIn(scratch / "in").size(), 1u);
    EXPECT_EQ(test::modeOf(in("r.jpg")), 0640u);
    EXPECT_EQ(test::run("exiv2 -q -K Exif.Image.Orientation -Pv " + test::quoted(in("r.jpg"))), "6");
    // Only the orientation changed: the compressed picture is the same.
    EXPECT_EQ(after.size(), before.size());
    // Keeping a copy writes beside it.
    EXPECT_EQ(fileOperationStage(test::runBatch(*engine, {in("r.jpg")}, scratch / "in", ImageConvertor::rotationOptions(true, true))),
              3u);
    EXPECT_TRUE(test::namesIn(scratch / "in").count("r copy.jpg"));
}

TEST_F(ConversionEngine, RunningGroupsDescribeThemselvesAtQuit)
{
    auto engine = ImageConvertor::create(2);
    std::vector<ImageConvertorJobGroup*> registered;
    const auto previous = setImageConvertorRegistryHooks(
        {[&](ImageConvertorJobGroup& group) { registered.push_back(&group); },
         [&](ImageConvertorJobGroup& group) { std::erase(registered, &group); }});
    const auto paths = pictures(3);
    test::writeFile(out + "/p1.jpg", "taken");
    std::string source, destination, description;
    test::ScopedResponder responder {[&](const AlertRecord&) {
        // Asked while the conversion group runs: it is the one registered.
        if (registered.size() == 1)
            registered[0]->applicationShouldTerminate(&source, &destination, &description);
        return AlertResponse::pressTitled("Don't Replace");
    }};
    engine->addJobWithInputFiles(paths, out, Value::dictionary({{"format", "public.jpeg"}}));
    ASSERT_EQ(registered.size(), 1u);
    std::string preflightDescription;
    EXPECT_EQ(registered[0]->applicationShouldTerminate(nullptr, nullptr, &preflightDescription), 0u);
    EXPECT_EQ(preflightDescription.rfind("Preflighting ", 0), 0u) << preflightDescription;
    ASSERT_TRUE(test::spinUntil([&] { return engine->runningGroups().empty(); }));
    EXPECT_EQ(description.rfind("Converting 3 images to \"", 0), 0u) << description;
    EXPECT_EQ(source, paths[0]);
    EXPECT_EQ(destination, out);
    EXPECT_TRUE(registered.empty());
    setImageConvertorRegistryHooks(previous);
}

TEST_F(ConversionEngine, DirectoryBrowseCameraConvertsAsAFolderAndFileByFile)
{
    // A real camera without hardware: libgphoto2's directory driver over a card folder.
    test::TemporaryFolder card {"vistel-camera"};
    ASSERT_EQ(::mkdir((card / "DCIM").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((card / "DCIM/100MEDIA").c_str(), 0755), 0);
    ASSERT_TRUE(test::writeQuadrants(card / "DCIM/100MEDIA/DSC0001.JPG", 60, 40, "public.jpeg", 6));
    ASSERT_TRUE(test::writeQuadrants(card / "DCIM/100MEDIA/DSC0002.JPG", 32, 32, "public.jpeg"));
    test::CameraRegistry registry;
    const Ref<ZovImageCaptureDeviceInfo> camera =
        registry.manager->handleDeviceAdded("Directory Browse", "disk:" + card.path());
    if (!camera)
        VISTEL_SKIP_UNAVAILABLE() << "the Directory Browse driver of libgphoto2 is not installed";
    const std::string root = camera->mountPoint();
    auto engine = ImageConvertor::create(2);
    test::ScopedResponder responder {test::scriptedAnswers({})};

    // The camera itself, as the browser shows it: a folder named like the camera.
    Value last = test::runBatch(*engine, {root}, out, Value::dictionary({{"format", "public.png"}}));
    EXPECT_EQ(fileOperationStage(last), 3u);
    EXPECT_EQ(fileOperationObjectTotal(last), 2);
    const std::string folder = out + "/" + camera->displayName();
    EXPECT_EQ(test::namesIn(folder), (std::set<std::string> {"DSC0001.png", "DSC0002.png"}));
    // Stored on its side: written upright, the stored bottom left quadrant now at the top left.
    const QImage upright(QString::fromStdString(folder + "/DSC0001.png"));
    ASSERT_EQ(upright.size(), QSize(40, 60));
    const auto colors = test::quadrantColors(upright);
    EXPECT_TRUE(test::near(colors[0], test::kQuadrants[2])) << colors[0].name().toStdString();
    EXPECT_TRUE(test::near(colors[1], test::kQuadrants[0])) << colors[1].name().toStdString();

    // One of its files, copied unchanged by a batch without conversion.
    const std::string copies = scratch / "copies";
    last = test::runBatch(*engine, {root + "/DSC0002.JPG"}, copies, Value::dictionary());
    EXPECT_EQ(fileOperationStage(last), 3u);
    EXPECT_EQ(test::readFile(copies + "/DSC0002.JPG"), test::readFile(card / "DCIM/100MEDIA/DSC0002.JPG"));
    EXPECT_TRUE(test::alertMessages().empty());
}

// A camera whose read of its one picture takes a while, during which `meanwhile` runs.
class SlowCamera final : public ICADeviceThumbnailSource {
public:
    SlowCamera(std::string file, std::function<void()> meanwhile) : file_(std::move(file)), meanwhile_(std::move(meanwhile)) { }
    Ref<Object> icaFileSystemObjectAtPath(std::string_view) override { return nullptr; }
    std::shared_ptr<const Value::Bytes> fileSystemObjectThumbnailData(const Ref<Object>&) override { return nullptr; }
    QSizeF fileSystemObjectResolution(const Ref<Object>&) override { return {}; }
    std::shared_ptr<const Value::Bytes> dataAtPath(std::string_view path) override
    {
        if (path != "ICA:/41/DSC0001.JPG")
            return nullptr;
        meanwhile_();
        const std::string bytes = test::readFile(file_);
        return std::make_shared<const Value::Bytes>(bytes.begin(), bytes.end());
    }

private:
    std::string file_;
    std::function<void()> meanwhile_;
};

TEST_F(ConversionEngine, ANameTakenAfterTheJobChoseItGoesToTheNextUniqueName)
{
    auto engine = ImageConvertor::create(2);
    test::ScopedResponder responder {test::scriptedAnswers({})};
    ASSERT_TRUE(test::writeQuadrants(in("camera.jpg"), 60, 40, "public.jpeg", 6));
    // The job has chosen out/DSC0001.png when it reads the picture; another program writes
    // that name meanwhile.
    RIReperesentation::setCameraThumbnailSource(std::make_shared<SlowCamera>(
        in("camera.jpg"), [&] { test::writeFile(out + "/DSC0001.png", "written meanwhile"); }));
    const Value last = test::runBatch(*engine, {"ICA:/41/DSC0001.JPG"}, out, Value::dictionary({{"format", "public.png"}}));
    RIReperesentation::setCameraThumbnailSource(nullptr);
    EXPECT_EQ(fileOperationStage(last), 3u);
    EXPECT_EQ(test::readFile(out + "/DSC0001.png"), "written meanwhile");
    EXPECT_EQ(test::run("identify -format '%wx%h' " + test::quoted(out + "/DSC0001 copy.png")), "40x60");
    EXPECT_EQ(test::namesIn(out).size(), 2u);
    EXPECT_TRUE(test::alertMessages().empty());
}

} // namespace
} // namespace vistel
