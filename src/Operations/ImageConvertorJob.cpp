#include "Operations/ImageConvertorJob.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <qpdf/qpdf-c.h>

#include "Common/Alert/ZovThreadSafeAlert.h"
#include "Common/FileSystem/FileSystemFunctions.h"
#include "Common/FileSystem/MountTable.h"
#include "Common/FileSystem/NSFileManagerLeopardCompatibility.h"
#include "Common/Strings/NSStringExtensions.h"
#include "Common/Strings/NSStringDevices.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Common/Volumes/ZovImageCaptureDeviceInfo.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Common/XML/XMLDocumentID.h"
#include "Imaging/RIReperesentation.h"
#include "Operations/FileOperation.h"
#include "Operations/ImageConvertor.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/Imaging/TypeIdentifiers.h"
#include "Platform/Log.h"
#include "Platform/StatusCodes.h"
#include "ZovClass.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

constexpr const char* kPDFType = "com.adobe.pdf";
constexpr int kNoCodecStatus = -8960;
constexpr int kNoFolderStatus = -61;
constexpr int kOutOfMemoryStatus = -41;
constexpr int kEncodeFailedStatus = -1;
constexpr int kNameTakenStatus = -48;
// The largest picture the conversion makes.
constexpr double kMaxPixels = double(1 << 28);

std::string lastComponent(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The extension of a name (without the dot), empty when it has none; a leading dot opens none.
std::string extensionOf(const std::string& name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {};
    return name.substr(dot + 1);
}

std::string baseOf(const std::string& name)
{
    const std::string extension = extensionOf(name);
    return extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
}

std::string lowercased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool somethingAt(const std::string& path)
{
    return FileSystemFunctions::fileExistsAtPath(path) || NSStringExtensions::uniquePathIsTaken(path);
}

int statusOfUnreadable(const std::string& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return statusFromErrno(errno);
    if (S_ISDIR(info.st_mode))
        return statusFromErrno(EISDIR);
    if (::access(path.c_str(), R_OK) != 0)
        return statusFromErrno(errno);
    return -36;
}

// Number of UTF-16 units of a UTF-8 text.
std::size_t utf16Length(std::string_view text)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80)
            continue;
        units += c >= 0xF0 ? 2 : 1;
    }
    return units;
}

// `text` cut at a character boundary so that it takes at most `units` UTF-16 units.
std::string cutToUtf16(const std::string& text, std::size_t units)
{
    std::size_t used = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        const std::size_t need = c >= 0xF0 ? 2 : 1;
        if (used + need > units)
            break;
        used += need;
        i += length;
    }
    return text.substr(0, std::min(i, text.size()));
}

const ZovClass& jobClass()
{
    static const ZovClass descriptor("ImageConvertorJob", &ZovClass::nsObject());
    return descriptor;
}

std::string translated(const char* english, const char* selector)
{
    return ZOV_TRANSLATE_AS(jobClass(), english, selector);
}

// What a conversion reads of the options.
struct ConversionSettings {
    std::optional<FloatSize> box;
    Ref<ImageResizeOperatorProtocol> resizeRule;
    float quality = 1.0f;
    std::string format;
    int compression = 1;
    std::string password;
    int orientationChange = 0;
    bool reencode = false;

    explicit ConversionSettings(const Value& options)
    {
        const Value& size = options[kImageConvertorSizeKey];
        if (!size.isNull()) {
            const auto& pair = size.asArray();
            box = FloatSize {pair.size() > 0 ? float(pair[0].toDouble()) : 0.0f,
                             pair.size() > 1 ? float(pair[1].toDouble()) : 0.0f};
            reencode = true;
        }
        resizeRule = options[kImageConvertorResizeOperatorKey].toObject<ImageResizeOperatorProtocol>();
        if (resizeRule)
            reencode = true;
        const Value& qualityValue = options[kImageConvertorQualityKey];
        if (qualityValue.isNumber()) {
            quality = float(qualityValue.toDouble());
            reencode = reencode || quality < 1.0f;
        }
        format = options[kImageConvertorFormatKey].toString();
        if (options.contains(kImageConvertorCompressionKey)) {
            compression = int(options[kImageConvertorCompressionKey].toInt64());
            reencode = true;
        }
        if (options[kImageConvertorEncryptKey].toBool())
            password = options[kImageConvertorPasswordKey].toString();
        if (options.contains(kImageConvertorRotateKey)) {
            const double angle = options[kImageConvertorRotateKey].toDouble();
            orientationChange = std::abs(angle - 1.5707963267948966) < 0.00001 ? 1 : 2;
            const Value& rotateQuality = options[kImageConvertorRotateQualityKey];
            if (!rotateQuality.isNull() && !rotateQuality.toBool())
                reencode = true;
        }
    }
};

// The metadata written with changed pixels: the picture's own, upright, without an embedded
// thumbnail (which would show the old pixels).
Value outputMetadata(const Value& pageMetadata)
{
    Value metadata = pageMetadata.isDictionary() ? pageMetadata : Value::dictionary();
    if (metadata.contains("{TIFF}")) {
        Value tiff = metadata["{TIFF}"];
        tiff.set("Orientation", 1);
        metadata.set("{TIFF}", tiff);
    }
    if (metadata.contains("Orientation"))
        metadata.set("Orientation", 1);
    std::vector<std::string> thumbnails;
    for (const auto& [key, value] : metadata.asDictionary())
        if (key.find("Thumbnail") != std::string::npos)
            thumbnails.push_back(key);
    for (const auto& key : thumbnails)
        metadata.remove(key);
    metadata.remove("PixelWidth");
    metadata.remove("PixelHeight");
    metadata.remove("DPIWidth");
    metadata.remove("DPIHeight");
    return metadata;
}

// Encrypts a PDF document with one password for opening and for owning it.
bool encryptPDF(const QByteArray& document, const std::string& password, std::vector<std::uint8_t>& out)
{
    qpdf_data qpdf = qpdf_init();
    qpdf_silence_errors(qpdf);
    bool done = false;
    if (!(qpdf_read_memory(qpdf, "converted.pdf", document.constData(), qpdf_offset_t(document.size()), nullptr)
          & QPDF_ERRORS)
        && !(qpdf_init_write_memory(qpdf) & QPDF_ERRORS)) {
        qpdf_set_r6_encryption_parameters2(qpdf, password.c_str(), password.c_str(), QPDF_TRUE, QPDF_TRUE, QPDF_TRUE,
                                           QPDF_TRUE, QPDF_TRUE, QPDF_TRUE, qpdf_r3p_full, QPDF_TRUE);
        if (!(qpdf_write(qpdf) & QPDF_ERRORS)) {
            const std::size_t length = qpdf_get_buffer_length(qpdf);
            const unsigned char* bytes = qpdf_get_buffer(qpdf);
            out.assign(bytes, bytes + length);
            done = length > 0;
        }
    }
    if (!done && qpdf_has_error(qpdf))
        ZovLog(format("ImageConvertorJob::createPDFConvertedData %@",
                      std::string(qpdf_get_error_full_text(qpdf, qpdf_get_error(qpdf)))));
    qpdf_cleanup(&qpdf);
    return done;
}

// A one-page PDF whose page is the target size in points, holding the whole upright picture.
bool createPDFConvertedData(const QImage& upright, FloatSize target, const std::string& password,
                            std::vector<std::uint8_t>& out)
{
    QByteArray document;
    {
        QBuffer buffer(&document);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(72);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setPageSize(QPageSize(QSizeF(target.width, target.height), QPageSize::Point, QString(),
                                     QPageSize::ExactMatch));
        QPainter painter;
        if (!painter.begin(&writer))
            return false;
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(0, 0, target.width, target.height), upright);
        painter.end();
    }
    if (document.isEmpty())
        return false;
    if (!password.empty())
        return encryptPDF(document, password, out);
    out.assign(document.begin(), document.end());
    return true;
}

} // namespace

// ---- Helpers

std::string folderOfPath(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string outputExtensionForType(const std::string& typeIdentifier)
{
    const auto extensions = TypeIdentifiers::extensions(typeIdentifier);
    if (extensions.empty())
        return {};
    return lowercased(extensions.front()) == "jpeg" ? std::string("jpg") : extensions.front();
}

std::string fatSafeFileName(const std::string& name)
{
    std::string safe;
    safe.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        safe += (byte < 0x20 || std::strchr("\"*/:<>?\\|", c)) ? '_' : c;
    }
    std::string extension = extensionOf(safe);
    std::string base = baseOf(safe);
    const auto trimTrailing = [](std::string& text) {
        while (!text.empty() && (text.back() == '.' || text.back() == ' '))
            text.pop_back();
    };
    if (extension.empty())
        trimTrailing(base);
    else
        trimTrailing(extension);
    if (extension.empty() && base.empty())
        return "_";
    // DOS device names, with or without an extension.
    const std::string stem = lowercased(base.substr(0, base.find('.')));
    static const char* const devices[] = {"con", "prn", "aux", "nul"};
    bool device = std::any_of(std::begin(devices), std::end(devices), [&](const char* d) { return stem == d; });
    if (stem.size() == 4 && (stem.rfind("com", 0) == 0 || stem.rfind("lpt", 0) == 0) && stem[3] >= '1'
        && stem[3] <= '9')
        device = true;
    if (device)
        base += "_";
    const std::string dottedExtension = extension.empty() ? std::string() : "." + extension;
    const std::size_t extensionUnits = utf16Length(dottedExtension);
    if (utf16Length(base) + extensionUnits > 255)
        base = cutToUtf16(base, extensionUnits < 255 ? 255 - extensionUnits : 1);
    return base + dottedExtension;
}

bool folderNeedsFatSafeNames(const std::string& folder)
{
    // The nearest folder that exists decides.
    std::string existing = folder;
    struct stat info;
    while (!existing.empty() && ::stat(existing.c_str(), &info) != 0)
        existing = existing == "/" ? std::string() : folderOfPath(existing);
    if (existing.empty())
        return false;
    const MountTableEntry* best = nullptr;
    const auto table = readMountTable();
    for (const auto& entry : table) {
        const std::string& point = entry.mountPoint;
        const bool above = existing == point || point == "/"
                           || (existing.size() > point.size() && existing.compare(0, point.size(), point) == 0
                               && existing[point.size()] == '/');
        if (above && (!best || point.size() >= best->mountPoint.size()))
            best = &entry;
    }
    if (!best)
        return false;
    static const char* const fatTypes[] = {"vfat", "msdos", "exfat", "fuseblk"};
    if (std::any_of(std::begin(fatTypes), std::end(fatTypes), [&](const char* t) { return best->fileSystem == t; }))
        return true;
    // A picture frame carries its identity file at the volume's root.
    return best->mountPoint != "/" && ::access(XMLDocumentID::filePath(best->mountPoint, std::nullopt).c_str(), F_OK) == 0;
}

FloatSize sizeInBox(FloatSize picture, FloatSize box)
{
    if ((box.width == 0 && box.height == 0) || (box.width >= picture.width && box.height >= picture.height))
        return picture;
    if (box.width <= 0 || box.height <= 0)
        return picture;
    const float rw = picture.width / box.width;
    const float rh = picture.height / box.height;
    if (rw > rh)
        return {box.width, std::floor(picture.height / rw)};
    return {std::floor(picture.width / rh), box.height};
}

// ---- Jobs

bool ThreadJob::isCancelled() const
{
    if (cancelFlag_ && cancelFlag_->load(std::memory_order_acquire))
        return true;
    const NSThreadExt* worker = NSThreadExt::currentThreadExt();
    return worker && worker->isCancelled();
}

Ref<ImageConvertorBatch> ImageConvertorBatch::create(int duplicateAction, int noCodecAction)
{
    auto batch = makeRef<ImageConvertorBatch>();
    batch->duplicateAction = duplicateAction;
    batch->noCodecAction = noCodecAction;
    return batch;
}

Ref<ImageConvertorJob> ImageConvertorJob::create(int groupId, int orderNumber, std::string inputFilePath,
                                                 std::string outputFilePath, Value options,
                                                 Ref<ImageConvertorBatch> batch, bool lastJob)
{
    return makeRef<ImageConvertorJob>(groupId, orderNumber, std::move(inputFilePath), std::move(outputFilePath),
                                      std::move(options), std::move(batch), lastJob);
}

ImageConvertorJob::ImageConvertorJob(int groupId, int orderNumber, std::string input, std::string output,
                                     Value options, Ref<ImageConvertorBatch> batch, bool lastJob)
    : ThreadJob(groupId, std::move(options), std::move(batch))
    , orderNumber_(orderNumber)
    , inputFilePath_(std::move(input))
    , outputFilePath_(std::move(output))
    , isLastJob_(lastJob)
{
}

const ZovClass& ImageConvertorJob::zovClass() { return jobClass(); }

std::string ImageConvertorJob::actualOutputFilePath() const
{
    std::lock_guard lock(pathLock_);
    return actualOutputFilePath_;
}

bool ImageConvertorJob::isConversionRequiredWithOptions(const Value& options)
{
    return options.contains(kImageConvertorFormatKey) || options.contains(kImageConvertorResizeOperatorKey)
           || options.contains(kImageConvertorSizeKey) || options.contains(kImageConvertorRotateKey);
}

void ImageConvertorJob::processWithErrorInfo(FileErrorInfo& info)
{
    info = {};
    if (isCancelled())
        return;
    processOperation(isConversionRequired() ? kFileOperationConvert : 0, info);
}

namespace {

// The claim key of a path: names on FAT-like volumes compare without case.
std::string claimKeyFor(const std::string& path, bool fatSafe) { return fatSafe ? lowercased(path) : path; }

} // namespace

void ImageConvertorJob::processOperation(int operation, FileErrorInfo& info)
{
    info.errorCode = 0;
    ImageConvertorBatch& shared = *batch();
    Value renameMetadata;
    {
        std::lock_guard lock(shared.lock());
        if (shared.duplicateAction == FileOperationActionStop || shared.noCodecAction == FileOperationActionStop)
            return;
        if (shared.totalNumberOfItems)
            renameMetadata = Value::dictionary({{kImageRenameTotalKey, *shared.totalNumberOfItems}});
    }

    std::string outputPath = outputFilePath_;
    if (auto rule = options()[kImageConvertorRenameOperatorKey].toObject<ImageRenameOperatorProtocol>()) {
        if (auto name = rule->nameFromName(lastComponent(outputPath), orderNumber_, renameMetadata))
            outputPath = joinPath(folderOfPath(outputPath), *name);
    }
    if (operation == kFileOperationConvert) {
        const std::string format = options()[kImageConvertorFormatKey].toString();
        const std::string extension = format.empty() ? std::string() : outputExtensionForType(format);
        if (!extension.empty()) {
            const std::string name = lastComponent(outputPath);
            outputPath = joinPath(folderOfPath(outputPath), baseOf(name) + "." + extension);
        }
    }
    const std::string outputFolder = folderOfPath(outputPath);
    fatSafe_ = folderNeedsFatSafeNames(outputFolder);
    if (fatSafe_)
        outputPath = joinPath(outputFolder, fatSafeFileName(lastComponent(outputPath)));

    int answer = FileOperationActionAsk;
    {
        std::lock_guard lock(shared.lock());
        const bool claimed = shared.claimedPaths.count(claimKeyFor(outputPath, fatSafe_)) > 0;
        if (claimed) {
            // The batch's own output: never written over, whatever the answer.
            answer = FileOperationActionUniqueName;
        } else if (somethingAt(outputPath)) {
            answer = getDuplicateFileAction(outputFolder, outputPath);
        } else if (!FileSystemFunctions::fileExistsAtPath(outputFolder)) {
            StatusCode error = 0;
            if (!NSFileManagerLeopardCompatibility::createDirectoryAtPathExt(outputFolder, true, Value(), &error))
                info.errorCode = error != 0 ? error : kNoFolderStatus;
        }
        if (info.errorCode != 0 || answer == FileOperationActionStop || answer == FileOperationActionSkip)
            return;
        if (answer == FileOperationActionUniqueName || claimed)
            outputPath = nextUniquePath(outputPath);
        claimKey_ = claimKeyFor(outputPath, fatSafe_);
        shared.claimedPaths.insert(claimKey_);
    }
    {
        std::lock_guard lock(pathLock_);
        actualOutputFilePath_ = outputPath;
    }
    replace_ = answer == FileOperationActionReplace;

    if (operation == kFileOperationConvert) {
        info.errorCode = convertFrom(inputFilePath_);
        info.operationType = kFileOperationConvert;
    } else {
        info.errorCode = copyFrom(inputFilePath_);
        info.operationType = 0;
    }
    if (info.errorCode != 0 || isCancelled())
        releaseClaim();

    if (info.errorCode == kNoCodecStatus) {
        const int noCodecAnswer = getNoCodecAction();
        if (noCodecAnswer == FileOperationActionSkip || noCodecAnswer == FileOperationActionStop) {
            info.errorCode = 0;
            info.operationType = kFileOperationConvert;
            return;
        }
        if (noCodecAnswer == FileOperationActionCopyUnchanged)
            processOperation(0, info);
    }
}

std::string ImageConvertorJob::nextUniquePath(const std::string& path) const
{
    // Call with the batch locked: a name is free when nothing is there and no job of the batch
    // claimed it.
    const ImageConvertorBatch& shared = *batch();
    const auto isFree = [&](const std::string& candidate) {
        return !somethingAt(candidate) && !shared.claimedPaths.count(claimKeyFor(candidate, fatSafe_));
    };
    const std::string folder = folderOfPath(path);
    const std::string name = lastComponent(path);
    const std::string extension = extensionOf(name).empty() ? std::string() : "." + extensionOf(name);
    const std::string base = baseOf(name);
    const char* const selector = "createUniqueFilePathFromPath:uniquePathParam:";
    const auto candidate = [&](const std::string& suffix) {
        const std::size_t room = suffix.size() < 255 ? 255 - suffix.size() : 0;
        return joinPath(folder, cutToUtf16(base, room) + suffix);
    };
    const std::string first = candidate(translated(" copy", selector) + extension);
    if (isFree(first))
        return first;
    const std::string numbered = translated(" copy %d%@", selector);
    for (long long number = 1;; ++number) {
        const std::string next = candidate(format(numbered, number, extension));
        if (isFree(next))
            return next;
    }
}

void ImageConvertorJob::releaseClaim()
{
    if (claimKey_.empty())
        return;
    std::lock_guard lock(batch()->lock());
    batch()->claimedPaths.erase(claimKey_);
    claimKey_.clear();
}

int ImageConvertorJob::getDuplicateFileAction(const std::string& outputFolder, const std::string& outputPath)
{
    // Called with the batch locked, which stays locked while the question is up.
    ImageConvertorBatch& shared = *batch();
    const int stored = shared.duplicateAction;
    if (outputFolder == folderOfPath(inputFilePath_))
        return stored == FileOperationActionAsk ? FileOperationActionUniqueName : stored;
    if (stored != FileOperationActionAsk)
        return stored;
    // The group was stopped while another job's question was up: nothing more to ask.
    if (isCancelled())
        return FileOperationActionStop;
    const char* const selector = "getDuplicateFileActionFromPath:toPath:newPath:errorInfo:";
    auto alert = ZovThreadSafeAlert::alertWithMessageTextAndInformativeText(
        format(translated("An item named \"%@\" already exists in this location.", selector),
               lastComponent(outputPath)),
        translated("Replace", selector), translated("Stop", selector), translated("Don't Replace", selector),
        translated("Do you want to replace it with the one you're moving?", selector));
    alert->addButtonWithTitle(translated("Rename", selector));
    alert->setShowsSuppressionButton(true);
    alert->suppressionButton()->setTitle(translated("Apply to all", selector));
    const int result = alert->runModal();
    int answer = FileOperationActionStop;
    if (result == 1 || result == 1000)
        answer = FileOperationActionReplace;
    else if (result == 1003)
        answer = FileOperationActionUniqueName;
    else if (result == -1 || result == 1002)
        answer = FileOperationActionSkip;
    if (alert->suppressionButton()->state() != 0 || answer == FileOperationActionStop)
        shared.duplicateAction = answer;
    return answer;
}

int ImageConvertorJob::getNoCodecAction()
{
    ImageConvertorBatch& shared = *batch();
    std::lock_guard lock(shared.lock());
    if (shared.noCodecAction != FileOperationActionAsk)
        return shared.noCodecAction;
    if (isCancelled())
        return FileOperationActionStop;
    const char* const selector = "getNoCodecAction:";
    auto alert = ZovThreadSafeAlert::alertWithMessageTextAndInformativeText(
        format(translated("An item named \"%@\" is not decodable by the application.", selector),
               lastComponent(inputFilePath_)),
        translated("Copy", selector), translated("Stop", selector), translated("Skip", selector),
        translated("Do you want to copy it to the destination location?", selector));
    alert->setShowsSuppressionButton(true);
    alert->suppressionButton()->setTitle(translated("Apply to all", selector));
    const int result = alert->runModal();
    int answer = FileOperationActionStop;
    if (result == 1 || result == 1000)
        answer = FileOperationActionCopyUnchanged;
    else if (result == -1 || result == 1002)
        answer = FileOperationActionSkip;
    if (alert->suppressionButton()->state() != 0 || answer == FileOperationActionStop)
        shared.noCodecAction = answer;
    return answer;
}

int ImageConvertorJob::convertFrom(const std::string& input)
{
    const ConversionSettings settings(options());
    const RIReperesentation::Data data = RIReperesentation::dataAtPath(input);
    if (!data)
        return statusOfUnreadable(input);
    if (isCancelled())
        return 0;

    if (!settings.reencode) {
        if (RIReperesentation::Data turned
            = RIReperesentation::rotateImageData(data, settings.orientationChange, settings.format)) {
            if (isCancelled())
                return 0;
            return save(*turned);
        }
    }

    // What the picture is, without decoding it.
    Ref<RIReperesentation> info = RIReperesentation::imageRepWithData(data, true, lastComponent(input));
    if (!info)
        return kNoCodecStatus;
    if (isCancelled())
        return 0;
    const std::string type = settings.format.empty() ? info->type() : settings.format;
    const Value pageMetadata = info->pageMetadata();
    const std::uint32_t storedOrientation = RIReperesentation::imageOrientationFromMetadata(pageMetadata);
    const std::uint32_t orientation = RIReperesentation::rotateOrientation(storedOrientation, settings.orientationChange);
    // In pixels: the representation's size is in points at the picture's resolution.
    const QSizeF stored = RIReperesentation::convertSizeWithOrientation(
        storedOrientation, QSizeF(double(info->pixelsWide()), double(info->pixelsHigh())));
    if (stored.isEmpty())
        return kNoCodecStatus;
    // The picture as it will be written: upright, after the turn.
    const QSizeF upright = RIReperesentation::convertSizeWithOrientation(orientation, stored);
    QSizeF dpi = RIReperesentation::convertSizeWithOrientation(storedOrientation, info->dpi());
    dpi = RIReperesentation::convertSizeWithOrientation(orientation, dpi);

    FloatSize target {float(upright.width()), float(upright.height())};
    FloatSize resolution {float(dpi.width()), float(dpi.height())};
    if (settings.resizeRule) {
        const ImageSize sized = settings.resizeRule->sizeFromSize({target, {72, 72}});
        target = sized.size;
        resolution = sized.resolution;
    } else if (settings.box) {
        target = sizeInBox(target, *settings.box);
    }
    if (!std::isfinite(target.width) || !std::isfinite(target.height))
        return kOutOfMemoryStatus;
    target.width = std::max(1.0f, std::floor(target.width));
    target.height = std::max(1.0f, std::floor(target.height));
    if (double(target.width) * double(target.height) > kMaxPixels)
        return kOutOfMemoryStatus;

    // Decode no larger than the output needs: a reduced decode covering the target.
    const QSizeF storedTarget = RIReperesentation::convertSizeWithOrientation(orientation,
                                                                              QSizeF(target.width, target.height));
    const double scale = std::max(storedTarget.width() / stored.width(), storedTarget.height() / stored.height());
    const double longest = std::max(stored.width(), stored.height());
    Ref<RIReperesentation> rep;
    if (scale < 1.0)
        rep = RIReperesentation::imageRepWithThumbnailForData(data, float(std::ceil(scale * longest)), 0,
                                                              lastComponent(input));
    else
        rep = RIReperesentation::imageRepWithData(data, true, lastComponent(input));
    if (!rep)
        return kNoCodecStatus;
    if (isCancelled())
        return 0;
    Ref<PlatformImage> image = rep->cgImage();
    if (!image)
        return kNoCodecStatus;
    if (isCancelled())
        return 0;

    Value turnedMetadata = Value::dictionary({{"{TIFF}", Value::dictionary({{"Orientation", int(orientation)}})}});
    Ref<RIReperesentation> drawn = RIReperesentation::createWithCGImage(
        image, QSizeF(target.width, target.height), turnedMetadata, true);
    Ref<PlatformImage> pixels = drawn ? drawn->cgImage() : nullptr;
    if (!pixels)
        return kOutOfMemoryStatus;
    if (isCancelled())
        return 0;

    std::vector<std::uint8_t> encoded;
    if (type == kPDFType) {
        if (!createPDFConvertedData(pixels->toQImage(), target, settings.password, encoded))
            return kEncodeFailedStatus;
    } else {
        Ref<ImageDestination> destination = ImageDestination::createWithData(type);
        if (!destination)
            return kNoCodecStatus;
        Value properties = outputMetadata(pageMetadata);
        properties.set("LossyCompressionQuality", double(settings.quality));
        properties.set("DPIWidth", double(resolution.width));
        properties.set("DPIHeight", double(resolution.height));
        Value tiff = properties["{TIFF}"];
        tiff.set("Compression", settings.compression);
        properties.set("{TIFF}", tiff);
        if (!destination->addImage(pixels, properties) || !destination->finalize() || destination->data().empty()) {
            ZovLog(format("ImageConvertorJob::createConvertedImageData %@: %@", lastComponent(input),
                   destination->errorText()));
            return kEncodeFailedStatus;
        }
        encoded = destination->data();
    }
    if (encoded.empty())
        return kEncodeFailedStatus;
    if (isCancelled())
        return 0;
    return save(encoded);
}

int ImageConvertorJob::copyFrom(const std::string& input)
{
    const RIReperesentation::Data data = RIReperesentation::dataAtPath(input);
    if (!data)
        return statusOfUnreadable(input);
    if (isCancelled())
        return 0;
    return save(*data);
}

int ImageConvertorJob::save(const std::vector<std::uint8_t>& data)
{
    if (data.empty())
        return kEncodeFailedStatus;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (isCancelled())
            return 0;
        std::string path;
        {
            std::lock_guard lock(pathLock_);
            path = actualOutputFilePath_;
        }
        Value::Bytes bytes(data.begin(), data.end());
        // Only a replacing job writes over what is at the name: for the others the name may
        // have been taken since it was claimed, before the save or during it.
        const StatusCode status = FileSystemFunctions::writeNSDataToFile(path, &bytes, !replace_);
        if (status != kNameTakenStatus || replace_)
            return status;
        // The name was taken meanwhile: the next unique one.
        std::lock_guard lock(batch()->lock());
        batch()->claimedPaths.erase(claimKey_);
        const std::string next = nextUniquePath(path);
        claimKey_ = claimKeyFor(next, fatSafe_);
        batch()->claimedPaths.insert(claimKey_);
        std::lock_guard pathGuard(pathLock_);
        actualOutputFilePath_ = next;
    }
    return kNameTakenStatus;
}

// ---- Preflight

Ref<ImageConvertorPreflightJob> ImageConvertorPreflightJob::create(int groupId, std::vector<std::string> inputFiles,
                                                                   std::string outputFolder, Value options,
                                                                   Ref<ImageConvertorBatch> batch)
{
    return makeRef<ImageConvertorPreflightJob>(groupId, std::move(inputFiles), std::move(outputFolder),
                                               std::move(options), std::move(batch));
}

ImageConvertorPreflightJob::ImageConvertorPreflightJob(int groupId, std::vector<std::string> inputFiles,
                                                       std::string outputFolder, Value options,
                                                       Ref<ImageConvertorBatch> batch)
    : ThreadJob(groupId, std::move(options), std::move(batch))
    , inputFiles_(std::move(inputFiles))
    , outputFolder_(std::move(outputFolder))
{
}

void ImageConvertorPreflightJob::processWithErrorInfo(FileErrorInfo& info)
{
    info = {0, kFileOperationConvert};
    for (const std::string& path : inputFiles_) {
        if (isCancelled())
            return;
        scanItem(path, outputFolder_, false);
    }
}

void ImageConvertorPreflightJob::scanItem(const std::string& path, const std::string& destinationDir, bool isDir)
{
    if (isCancelled())
        return;
    if (NSStringDevices::isICADevicePath(path) && NSStringDevices::icaDevicePath(path) == path) {
        scanCamera(path, destinationDir);
        return;
    }
    struct stat info {};
    const bool isVolumePath = !path.empty() && path.front() == '/';
    const bool folder = isVolumePath && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    if (isCancelled())
        return;
    if (!folder) {
        fullListOfFiles_.push_back(path);
        fullListOfDestinationFolders_.push_back(joinPath(destinationDir, lastComponent(path)));
        return;
    }
    (void)isDir;
    // Each folder once, whatever links lead to it again.
    if (!enteredFolders_.insert({std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)}).second)
        return;
    const std::string mirror = joinPath(destinationDir, lastComponent(path));
    DIR* directory = ::opendir(path.c_str());
    if (!directory) {
        ZovLog(format("ImageConvertorPreflightJob::scanItem %@: %@", path, statusText(statusFromErrno(errno))));
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(directory);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (isCancelled())
            return;
        const std::string entryPath = joinPath(path, name);
        struct stat entryInfo {};
        if (::stat(entryPath.c_str(), &entryInfo) != 0)
            continue;
        if (S_ISDIR(entryInfo.st_mode)) {
            scanItem(entryPath, mirror, true);
        } else if (name.front() != '.' && S_ISREG(entryInfo.st_mode)) {
            fullListOfFiles_.push_back(entryPath);
            fullListOfDestinationFolders_.push_back(joinPath(mirror, name));
        }
    }
}

void ImageConvertorPreflightJob::scanCamera(const std::string& root, const std::string& destinationDir)
{
    // A camera shows its files as one folder, named like the camera in the browser.
    const Ref<ZovImageCaptureDeviceInfo> camera = ZovVolumeManager::cameraOfPath(root);
    if (!camera) {
        ZovLog(format("ImageConvertorPreflightJob::scanCamera %@: no such camera", root));
        return;
    }
    // Device numbers of volumes never come near the top of the range.
    if (!enteredFolders_.insert({~std::uint64_t(0), std::uint64_t(camera->icaObject())}).second)
        return;
    std::string folderName = camera->displayName();
    std::replace(folderName.begin(), folderName.end(), '/', '_');
    if (folderName.empty() || folderName == "." || folderName == "..")
        folderName = lastComponent(root);
    const std::string mirror = joinPath(destinationDir, folderName);
    for (const Ref<CameraFileObject>& file : camera->fileSystemObjectsArray()) {
        if (isCancelled())
            return;
        const std::string& name = file->name();
        if (name.empty() || name.front() == '.')
            continue;
        fullListOfFiles_.push_back(joinPath(root, name));
        fullListOfDestinationFolders_.push_back(joinPath(mirror, name));
    }
}

std::vector<std::string> ImageConvertorPreflightJob::plannedOutputPaths(const std::vector<std::string>& files,
                                                                        const std::vector<std::string>& destinations,
                                                                        bool conversionRequired)
{
    std::vector<std::string> planned;
    std::set<std::string> met;
    for (std::size_t i = 0; i < files.size() && i < destinations.size(); ++i) {
        const std::string& destination = destinations[i];
        const std::string folder = folderOfPath(destination);
        const std::string name = lastComponent(destination);
        const std::string base = joinPath(folder, baseOf(name));
        if (conversionRequired && met.count(base)) {
            const std::string inputExtension = extensionOf(lastComponent(files[i]));
            const std::string extension = extensionOf(name);
            planned.push_back(base + "_" + inputExtension + (extension.empty() ? "" : "." + extension));
        } else {
            planned.push_back(destination);
        }
        met.insert(base);
    }
    return planned;
}

} // namespace vistel
