#include "Operations/ImageConvertor.h"

#include <algorithm>
#include <condition_variable>
#include <deque>

#include <unistd.h>

#include <QCoreApplication>

#include "Common/Alert/NSAlertFileError.h"
#include "Common/FileSystem/FNSubscribeFileObserver.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Operations/FileOperation.h"
#include "Operations/ImageConvertorJob.h"
#include "Platform/FileOperations/FSFileOperation.h"
#include "Platform/Formatter.h"
#include "Platform/Imaging/TypeIdentifiers.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "Platform/RunLoop.h"
#include "ZovClass.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

ImageConvertorRegistryHooks& convertorRegistryHooks()
{
    static auto* hooks = new ImageConvertorRegistryHooks();
    return *hooks;
}

// Failures after which the worker that met them takes no further job of the group at once:
// directory full, disk full, no such volume, memory full, too many files open.
bool stopsGroupAtOnce(int error)
{
    return error == -33 || error == -34 || error == -35 || error == -41 || error == -42;
}

} // namespace

ImageConvertorRegistryHooks setImageConvertorRegistryHooks(ImageConvertorRegistryHooks hooks)
{
    return std::exchange(convertorRegistryHooks(), std::move(hooks));
}

// ---- Worker

// One worker of the engine: takes the jobs dealt to it in order, runs them, and tells the
// engine through its signal. It lives as long as the engine.
class ImageConvertorThread final : public NSThreadExt {
    class Emitter final : public SignalObject { };

public:
    ImageConvertorThread(int index) : index_(index), emitter_(makeRef<Emitter>()) { }

    SignalObject& emitter() { return *emitter_; }

    void addJob(Ref<ThreadJob> job)
    {
        {
            std::lock_guard lock(lock_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

    // Drops the jobs of a group still waiting.
    void dropJobsOfGroup(const std::shared_ptr<std::atomic<bool>>& flag)
    {
        std::lock_guard lock(lock_);
        std::erase_if(jobs_, [&](const Ref<ThreadJob>& job) { return job->cancelFlagIs(flag); });
    }

    void stop()
    {
        {
            std::lock_guard lock(lock_);
            stopping_ = true;
            jobs_.clear();
        }
        wake_.notify_one();
        abort();
    }

protected:
    void main() override
    {
        for (;;) {
            Ref<ThreadJob> job;
            {
                std::unique_lock lock(lock_);
                wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
                if (stopping_ || isCancelled())
                    break;
                job = jobs_.front();
                jobs_.pop_front();
            }
            FileErrorInfo info;
            job->setWorkerIndex(index_);
            processJob(*job, info);
            if (info.errorCode != 0) {
                ZovLog(format("Convertion error %d", info.errorCode));
                if (stopsGroupAtOnce(info.errorCode))
                    job->cancelGroupAtOnce();
            }
            emitter_->emitSignal(ImageConvertorThreadJobFinishedSignal,
                                 Value::dictionary({{"job", Ref<Object>(job)},
                                                    {kFSOperationErrorKey, info.errorCode},
                                                    {"operationType", info.operationType}}));
        }
    }

private:
    static void processJob(ThreadJob& job, FileErrorInfo& info)
    {
        info = {};
        try {
            job.processWithErrorInfo(info);
        } catch (const std::bad_alloc&) {
            info.errorCode = -41;
        } catch (const std::exception& error) {
            ZovLog(format("ImageConvertorThread::processJob:error: %@", error.what()));
            info.errorCode = -1;
        }
    }

    int index_;
    Ref<SignalObject> emitter_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Ref<ThreadJob>> jobs_;
    bool stopping_ = false;
};

// ---- Group

ImageConvertorJobGroup::ImageConvertorJobGroup(int groupId, std::vector<Ref<ThreadJob>> jobs, Value options)
    : groupId_(groupId)
    , groupJobs_(std::move(jobs))
    , remains_(static_cast<int>(groupJobs_.size()))
    , groupOptions_(std::move(options))
{
    for (const auto& job : groupJobs_)
        job->setCancelFlag(cancelled_);
}

const ZovClass& ImageConvertorJobGroup::zovClass()
{
    static const ZovClass descriptor("ImageConvertorJobGroup", &ZovClass::nsObject());
    return descriptor;
}

Ref<ThreadJob> ImageConvertorJobGroup::jobAtIndex(int index) const
{
    if (index < 0 || index >= jobsCount())
        return nullptr;
    return groupJobs_[std::size_t(index)];
}

float ImageConvertorJobGroup::progress() const
{
    return jobsCount() == 0 ? 1.0f : float(jobsCompleted()) / float(jobsCount());
}

bool ImageConvertorJobGroup::setJobFinished(ThreadJob& job)
{
    for (const auto& candidate : groupJobs_) {
        if (candidate.get() != &job)
            continue;
        if (candidate->isFinished())
            return false;
        candidate->setFinished(true);
        if (remains_ > 0)
            --remains_;
        return true;
    }
    return false;
}

void ImageConvertorJobGroup::cancelAll()
{
    cancelled_->store(true, std::memory_order_release);
    remains_ = 0;
}

unsigned ImageConvertorJobGroup::applicationShouldTerminate(std::string* source, std::string* destination,
                                                            std::string* description) const
{
    const Ref<ThreadJob> first = jobAtIndex(0);
    const char* const selector = "applicationShouldTerminate:source:destination:description:";
    const auto displayName = [](const std::string& path) {
        std::string name = ZovVolumeManager::sharedVolumeManager().displayNameFromPath(path);
        return name.empty() ? std::string("???") : name;
    };
    if (auto job = dynamicRefCast<ImageConvertorJob>(first)) {
        std::string output = job->actualOutputFilePath();
        if (output.empty())
            output = job->outputFilePath();
        const std::string folder = folderOfPath(output);
        if (source)
            *source = job->inputFilePath();
        if (destination)
            *destination = folder;
        if (description)
            *description = format(ZOV_TRANSLATE_AS(zovClass(), "Converting %d images to \"%@\"", selector), jobsCount(),
                                  displayName(folder));
    } else if (auto preflight = dynamicRefCast<ImageConvertorPreflightJob>(first)) {
        if (source)
            *source = preflight->outputFolder();
        if (destination)
            *destination = preflight->outputFolder();
        if (description)
            *description = format(ZOV_TRANSLATE_AS(zovClass(), "Preflighting %@", selector),
                                  displayName(preflight->outputFolder()));
    }
    return 0;
}

// ---- Engine

ImageConvertor& ImageConvertor::sharedImageConvertor()
{
    static ImageConvertor* engine = nullptr;
    static std::once_flag made;
    std::call_once(made, [] {
        // Qt's type database, which jobs use, is made first so that it goes after the stop.
        TypeIdentifiers::makeTypeDatabase();
        const long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
        engine = makeRef<ImageConvertor>(int(std::max(1L, processors))).leak();
        std::atexit([] { engine->stopWorkers(); });
        qAddPostRoutine([] { engine->stopWorkers(); });
    });
    return *engine;
}

Ref<ImageConvertor> ImageConvertor::create(int workerCount) { return makeRef<ImageConvertor>(std::max(1, workerCount)); }

ImageConvertor::ImageConvertor(int workerCount)
{
    addSlot("jobFinished:", [this](const Notification& notification) { jobFinished(notification.userInfo); });
    for (int i = 0; i < workerCount; ++i) {
        auto worker = makeRef<ImageConvertorThread>(i);
        worker->setName(format("ImageConvertorThread %d", i));
        connectSignal(&worker->emitter(), ImageConvertorThreadJobFinishedSignal, "jobFinished:");
        worker->start();
        threads_.push_back(std::move(worker));
    }
}

ImageConvertor::~ImageConvertor()
{
    disconnectAll();
    stopWorkers();
}

void ImageConvertor::stopWorkers()
{
    for (auto& [id, group] : jobGroups_) {
        NotificationCenter::defaultCenter().removeObserver(group.get());
        group->cancelAll();
    }
    for (auto& worker : threads_)
        worker->stop();
    for (auto& worker : threads_)
        worker->emitter().disconnectAll();
}

Value ImageConvertor::rotationOptions(bool clockwise, bool keepCopy)
{
    Value options = Value::dictionary({
        {kImageConvertorRotateKey, clockwise ? 1.5707963267948966 : -1.5707963267948966},
        {kImageConvertorRotateQualityKey, true},
        {kImageConvertorQualityKey, 1.0},
    });
    if (!keepCopy)
        options.set(kFileOperationDuplicateActionKey, int(FileOperationActionReplace));
    else
        options.set(kFileOperationDuplicateActionKey, int(FileOperationActionUniqueName));
    return options;
}

int ImageConvertor::nextGroupId() const
{
    int id = 1;
    while (jobGroups_.count(id))
        ++id;
    return id;
}

std::vector<Ref<ImageConvertorJobGroup>> ImageConvertor::runningGroups() const
{
    std::vector<Ref<ImageConvertorJobGroup>> groups;
    for (const auto& [id, group] : jobGroups_)
        groups.push_back(group);
    return groups;
}

Ref<ImageConvertorJobGroup> ImageConvertor::makeGroup(std::vector<Ref<ThreadJob>> jobs, const Value& options)
{
    const int id = jobs.empty() ? nextGroupId() : jobs.front()->groupId();
    auto group = makeRef<ImageConvertorJobGroup>(id, std::move(jobs), options);
    jobGroups_[id] = group;
    NotificationCenter::defaultCenter().addObserver(
        group.get(),
        [this, weak = group.get()](const Notification&) {
            if (jobGroups_.count(weak->groupId()) && jobGroups_[weak->groupId()].get() == weak)
                handleCancelOperation(*weak);
        },
        kFSOperationCancelNotification, group.get());
    if (convertorRegistryHooks().registerHandler) {
        convertorRegistryHooks().registerHandler(*group);
        group->registered_ = true;
    }
    return group;
}

Ref<ImageConvertorJobGroup> ImageConvertor::addJobWithInputFiles(const std::vector<std::string>& inputFiles,
                                                                 const std::string& outputFolder,
                                                                 const Value& options)
{
    Value groupOptions = options.isDictionary() ? options : Value::dictionary();
    if (!groupOptions.contains(kImageConvertorQualityKey))
        groupOptions.set(kImageConvertorQualityKey, double(convertionQuality()));
    auto batch = ImageConvertorBatch::create(int(groupOptions[kFileOperationDuplicateActionKey].toInt64()),
                                             int(groupOptions[kFileOperationNoCodecActionKey].toInt64()));
    const int id = nextGroupId();
    Ref<ThreadJob> preflight = ImageConvertorPreflightJob::create(id, inputFiles, outputFolder, groupOptions, batch);
    Ref<ImageConvertorJobGroup> group = makeGroup({preflight}, groupOptions);
    reportGroup(*group, 0, kFileOperationConvert);
    startJobGroup(*group);
    return group;
}

void ImageConvertor::startJobGroup(ImageConvertorJobGroup& group)
{
    const std::size_t workers = threads_.size();
    for (int i = 0; i < group.jobsCount(); ++i)
        threads_[std::size_t(i) % workers]->addJob(group.jobAtIndex(i));
}

void ImageConvertor::handleCancelOperation(ImageConvertorJobGroup& group)
{
    if (group.finalPosted_)
        return;
    group.cancelAll();
    for (auto& worker : threads_)
        worker->dropJobsOfGroup(group.cancelFlag());
    postFinal(group, true, 0);
}

void ImageConvertor::jobFinished(const Value& userInfo)
{
    const Ref<ThreadJob> job = userInfo["job"].toObject<ThreadJob>();
    if (!job)
        return;
    const auto found = jobGroups_.find(job->groupId());
    if (found == jobGroups_.end())
        return;
    Ref<ImageConvertorJobGroup> group = found->second;
    const int error = int(userInfo[kFSOperationErrorKey].toInt64());
    const int operationType = int(userInfo["operationType"].toInt64());
    // A worker stops a group at once after some failures; its report ends the group, and jobs
    // that ended meanwhile without doing anything are not counted.
    if (group->finalPosted_ || (group->isCancelled() && error == 0))
        return;
    if (dynamicRefCast<ImageConvertorPreflightJob>(job)) {
        preflightFinished(*group, *job, error, operationType);
        return;
    }
    if (!group->setJobFinished(*job))
        return;
    reportGroup(*group, error, operationType, job.get());
    if (error != 0)
        return;
    const auto converted = dynamicRefCast<ImageConvertorJob>(job);
    std::string written = converted ? converted->actualOutputFilePath() : std::string();
    if (written.empty() && converted)
        written = converted->outputFilePath();
    if (!written.empty())
        NSWorkspaceChanges::noteFileSystemChanged(folderOfPath(written));
}

void ImageConvertor::preflightFinished(ImageConvertorJobGroup& group, ThreadJob& job, int errorCode, int operationType)
{
    if (errorCode != 0) {
        group.setJobFinished(job);
        reportGroup(group, errorCode, operationType, &job);
        return;
    }
    auto& preflight = static_cast<ImageConvertorPreflightJob&>(job);
    const auto& files = preflight.fullListOfFiles();
    const Ref<ImageConvertorBatch>& batch = preflight.batch();
    {
        std::lock_guard lock(batch->lock());
        batch->totalNumberOfItems = int(files.size());
    }
    Ref<ImageConvertorJobGroup> conversion;
    if (!files.empty()) {
        const Value& options = group.options();
        const auto planned = ImageConvertorPreflightJob::plannedOutputPaths(
            files, preflight.fullListOfDestinationFolders(), ImageConvertorJob::isConversionRequiredWithOptions(options));
        const int id = nextGroupId();
        std::vector<Ref<ThreadJob>> jobs;
        for (std::size_t i = 0; i < files.size(); ++i)
            jobs.push_back(ImageConvertorJob::create(id, int(i) + 1, files[i], planned[i], options, batch,
                                                     i + 1 == files.size()));
        conversion = makeGroup(std::move(jobs), options);
        startJobGroup(*conversion);
    }
    group.setJobFinished(job);
    reportGroup(group, 0, operationType);
    if (conversion)
        reportGroup(*conversion, 0, kFileOperationConvert);
}

void ImageConvertor::reportGroup(ImageConvertorJobGroup& group, int status, int operationType, ThreadJob* failedJob)
{
    if (group.finalPosted_)
        return;
    if (status != 0) {
        // The alert names the job that failed.
        std::string source, destination;
        if (auto converted = dynamic_cast<ImageConvertorJob*>(failedJob)) {
            source = converted->inputFilePath();
            destination = converted->actualOutputFilePath();
            if (destination.empty())
                destination = converted->outputFilePath();
        }
        group.cancelAll();
        for (auto& worker : threads_)
            worker->dropJobsOfGroup(group.cancelFlag());
        postFinal(group, true, status);
        NSAlertFileError::showFileError(status, operationType, source, destination);
        return;
    }
    const int completed = group.jobsCompleted();
    const int count = group.jobsCount();
    if (group.isFinished()) {
        postFinal(group, false, 0);
        return;
    }
    std::uint32_t stage = 2;
    std::string current, destination;
    if (const auto next = group.jobAtIndex(completed)) {
        if (auto converted = dynamicRefCast<ImageConvertorJob>(next)) {
            current = converted->inputFilePath();
            destination = converted->outputFilePath();
        } else {
            stage = 1;
        }
    }
    const Value& options = group.options();
    Value record = Value::dictionary({
        {kFSOperationObjectsCompleteKey, completed},
        {kFSOperationBytesCompleteKey, completed},
        {kFSOperationTotalObjectsKey, count},
        {kFSOperationTotalBytesKey, count},
        {kFSOperationStageKey, int(stage)},
        {kFSOperationErrorKey, 0},
        {kFSOperationCurrentObjectKey, current},
        {kFSOperationDestinationObjectKey, destination},
        {kFSOperationOperationType, int(kFileOperationConvert)},
    });
    for (const char* key : {kFolderProgressKeyExplanationWithDestination, kFolderProgressKeyExplanationWithoutDestination,
                            kFolderProgressKeyStopButtonText})
        record.set(key, options[key].toString());
    NotificationCenter::defaultCenter().postNotificationName(kFSOperationStatusNotification, Ref<Object>(&group),
                                                             record);
}

void ImageConvertor::postFinal(ImageConvertorJobGroup& group, bool cancelled, int error)
{
    if (group.finalPosted_)
        return;
    group.finalPosted_ = true;
    Ref<ImageConvertorJobGroup> keep(&group);
    const int completed = group.jobsCompleted();
    const int count = group.jobsCount();
    const Value& options = group.options();
    Value record = Value::dictionary({
        {kFSOperationObjectsCompleteKey, cancelled ? completed : count},
        {kFSOperationBytesCompleteKey, cancelled ? completed : count},
        {kFSOperationTotalObjectsKey, count},
        {kFSOperationTotalBytesKey, count},
        {kFSOperationStageKey, int(cancelled ? kFSOperationStageCancelled : 3)},
        {kFSOperationErrorKey, error},
        {kFSOperationOperationType, int(kFileOperationConvert)},
    });
    for (const char* key : {kFolderProgressKeyExplanationWithDestination, kFolderProgressKeyExplanationWithoutDestination,
                            kFolderProgressKeyStopButtonText})
        record.set(key, options[key].toString());
    retireGroup(group);
    NotificationCenter::defaultCenter().postNotificationName(kFSOperationStatusNotification, Ref<Object>(&group),
                                                             record);
}

void ImageConvertor::retireGroup(ImageConvertorJobGroup& group)
{
    NotificationCenter::defaultCenter().removeObserver(&group);
    const auto found = jobGroups_.find(group.groupId());
    Ref<ImageConvertorJobGroup> keep(&group);
    if (found != jobGroups_.end() && found->second.get() == &group)
        jobGroups_.erase(found);
    if (group.registered_) {
        group.registered_ = false;
        if (convertorRegistryHooks().unregisterHandler)
            convertorRegistryHooks().unregisterHandler(group);
    }
}

} // namespace vistel
