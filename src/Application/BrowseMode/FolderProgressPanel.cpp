#include "Application/BrowseMode/FolderProgressPanel.h"

#include <algorithm>
#include <cmath>

#include <QFontMetricsF>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

#include "Common/Strings/Gui/NSStringExtensionsText.h"
#include "Common/Volumes/ZovVolumeManager.h"
#include "Operations/FileOperation.h"
#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "Platform/NotificationQueue.h"

namespace vistel {

namespace {

double textWidth(std::string_view text)
{
    return NSStringExtensions::sizeWithAttributesExt(text, FolderProgressPanel::textFont()).width();
}

std::string displayName(const std::string& path)
{
    return path.empty() ? path : ZovVolumeManager::sharedVolumeManager().displayNameFromPath(path);
}

} // namespace

const QFont& FolderProgressPanel::textFont()
{
    static const QFont font = [] {
        QFont f(QStringLiteral("Lucida Grande"));
        f.setPointSizeF(10);
        return f;
    }();
    return font;
}

int FolderProgressPanel::scaledProgress(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return 0;
    const long double fraction = std::min<long double>(1.0L, static_cast<long double>(done) / total);
    return static_cast<int>(std::floor(fraction * ProgressScale));
}

FolderProgressPanel::FolderProgressPanel(Ref<Object> operation, const Value& userInfo, QWidget* parent)
    : QWidget(parent)
    , objectToListen_(std::move(operation))
{
    resize(200, PanelHeight);
    setMinimumHeight(PanelHeight);
    setMaximumHeight(PanelHeight);
    if (objectToListen_)
        NotificationCenter::defaultCenter().addObserver(
            this, [this](const Notification& n) { progress(n); }, kFSOperationStatusNotification, objectToListen_.get());
    setupControls(userInfo);
    applyInfo(userInfo);
}

FolderProgressPanel::~FolderProgressPanel() { NotificationCenter::defaultCenter().removeObserver(this); }

void FolderProgressPanel::setupControls(const Value& userInfo)
{
    progressIndicator_ = new QProgressBar(this);
    progressIndicator_->setTextVisible(false);
    progressIndicator_->setRange(0, ProgressScale);
    progressIndicator_->setValue(ProgressScale);

    progressText_ = new QLabel(this);
    progressText_->setTextFormat(Qt::PlainText);
    progressText_->setTextInteractionFlags(Qt::NoTextInteraction);
    progressText_->setFont(textFont());
    progressText_->setAutoFillBackground(false);

    progressCancelButton_ = new QPushButton(this);
    progressCancelButton_->setFont(textFont());
    progressCancelButton_->setText(QString::fromStdString(fileOperationStopText(userInfo)));
    connect(progressCancelButton_, &QPushButton::clicked, this, [this] { cancelOperation(); });
    layoutControls();
}

void FolderProgressPanel::layoutControls()
{
    if (!progressCancelButton_)
        return;
    // Laid out from a 200 x 50 strip, top-down: the stop button fixed at the right,
    // the bar and the line filling the width before it.
    const QSizeF stop = NSStringExtensions::sizeWithAttributesExt(progressCancelButton_->text().toStdString(), textFont());
    const int w = int(stop.width() + 8) + progressCancelButton_->style()->pixelMetric(QStyle::PM_ButtonMargin) * 2;
    const int buttonHeight = std::max(int(stop.height() + 10), progressCancelButton_->sizeHint().height());
    const int width = this->width();
    progressCancelButton_->setGeometry(width - 20 - w, std::max(0, PanelHeight - 12 - buttonHeight), w, buttonHeight);
    const int contentWidth = std::max(0, width - 60 - w);
    progressIndicator_->setGeometry(20, PanelHeight - 16 - 12, contentWidth, 12);
    progressText_->setGeometry(20, 4, contentWidth, 18);
}

void FolderProgressPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (lastInfo_.isDictionary())
        applyInfo(lastInfo_); // the line is shortened for the new width
    else
        layoutControls();
}

void FolderProgressPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0.0, QColor(128, 128, 128));
    gradient.setColorAt(0.5, QColor(170, 170, 170));
    gradient.setColorAt(1.0, QColor(128, 128, 128));
    painter.fillRect(rect(), gradient);
}

void FolderProgressPanel::stopListening()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    objectToListen_ = nullptr;
}

void FolderProgressPanel::cancelOperation()
{
    if (!objectToListen_)
        return;
    NotificationQueue::defaultQueue().enqueueNotification(
        Notification {kFSOperationCancelNotification, objectToListen_, Value()}, PostingStyle::NSPostASAP,
        NSNotificationNoCoalescing);
}

void FolderProgressPanel::progress(const Notification& notification)
{
    const Value& info = notification.userInfo;
    const std::uint32_t stage = fileOperationStage(info);
    if (stage == 3 || stage == kFSOperationStageCancelled)
        stopListening();
    if (stage == kFSOperationStageCancelled)
        return;
    applyInfo(info);
}

void FolderProgressPanel::applyInfo(const Value& userInfo)
{
    if (!userInfo.isDictionary())
        return;
    lastInfo_ = userInfo;
    layoutControls(); // for the width the panel has now, shown or not
    switch (fileOperationStage(userInfo)) {
    case 3:
        completed_ = true;
        progressIndicator_->setRange(0, ProgressScale);
        progressIndicator_->setValue(ProgressScale);
        break;
    case 1:
        progressIndicator_->setRange(0, 0); // busy
        break;
    case 2:
        progressIndicator_->setRange(0, ProgressScale);
        if (fileOperationOperationType(userInfo) == kFileOperationDelete) {
            // Deleting takes about as long for a large file as for a small one: items count.
            const auto count = [](int objects) { return std::uint64_t(std::max(objects, 0)); };
            progressIndicator_->setValue(scaledProgress(count(fileOperationObjectsComplete(userInfo)),
                                                        count(fileOperationObjectTotal(userInfo))));
        } else {
            progressIndicator_->setValue(
                scaledProgress(fileOperationBytesComplete(userInfo), fileOperationBytesTotal(userInfo)));
        }
        break;
    default:
        break;
    }

    const std::string current = displayName(fileOperationCurrentObject(userInfo));
    if (current.empty())
        return;
    const std::string destinationPath = fileOperationDestinationObject(userInfo);
    const std::string destination = destinationPath.empty() ? std::string() : displayName(parentFolderPath(destinationPath));
    const double frameWidth = progressText_->width();
    const QFont& font = textFont();
    std::string text;
    if (!destination.empty()) {
        const std::string format = fileOperationExplanationWithDestination(userInfo);
        const double fixed = textWidth(format) - textWidth("%@%@");
        const double room = std::floor(frameWidth - fixed);
        const std::string shortDestination
            = NSStringExtensions::truncate(NSStringExtensions::TruncateMiddle, destination, room / 2, font);
        const std::string shortCurrent = NSStringExtensions::truncate(NSStringExtensions::TruncateMiddle, current,
                                                                      room - textWidth(shortDestination), font);
        text = vistel::format(format.empty() ? std::string("%@ %@") : format, shortCurrent, shortDestination);
    } else {
        const std::string format = fileOperationExplanation(userInfo);
        const double fixed = textWidth(format) - textWidth("%@");
        const std::string shortCurrent
            = NSStringExtensions::truncate(NSStringExtensions::TruncateMiddle, current, frameWidth - fixed, font);
        text = vistel::format(format.empty() ? std::string("%@") : format, shortCurrent);
    }
    progressText_->setText(QString::fromStdString(text));
}

// --- the items panel's strip --------------------------------------------------------------------------

Ref<FolderProgressStrip> FolderProgressStrip::create(Placement placement)
{
    return Ref<FolderProgressStrip>::adopt(new FolderProgressStrip(std::move(placement)));
}

FolderProgressStrip::FolderProgressStrip(Placement placement)
    : placement_(std::move(placement))
{
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification& n) { synchronizeProgress(n); }, kFSOperationStatusNotification);
}

FolderProgressStrip::~FolderProgressStrip()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    if (closeTimer_)
        closeTimer_->invalidate();
    delete progressPanel_.data();
}

void FolderProgressStrip::synchronizeProgress(const Notification& notification)
{
    const std::uint32_t stage = fileOperationStage(notification.userInfo);
    const bool ended = stage == 3 || stage == kFSOperationStageCancelled;
    if (progressPanel_) {
        if (notification.object && notification.object == operation_) {
            if (ended)
                scheduleClose(stage == 3 ? CloseDelayAfterCompletion : CloseDelayAfterCancel);
            return;
        }
        // One strip at a time: another operation's record waits its turn while the shown one
        // runs, and replaces it once that one has ended. The record that replaces it is that
        // operation's first (a one-picture job may post only one before its last), so it is
        // shown, not dropped.
        if (!progressPanel_->completed() && progressPanel_->objectToListen())
            return;
        closeProgress(progressPanel_);
    }
    if (ended || !notification.object)
        return;
    operation_ = notification.object;
    progressPanel_ = new FolderProgressPanel(operation_, notification.userInfo);
    if (placement_.show)
        placement_.show(progressPanel_);
}

void FolderProgressStrip::scheduleClose(double seconds)
{
    if (closeTimer_)
        closeTimer_->invalidate();
    QPointer<FolderProgressPanel> panel = progressPanel_;
    closeTimer_ = RunLoop::main()->scheduleTimer(
        seconds, false, [this, panel](RunLoop::Timer&) { closeProgress(panel.data()); },
        {NSDefaultRunLoopMode, NSModalPanelRunLoopMode, NSEventTrackingRunLoopMode});
}

void FolderProgressStrip::closeProgress(FolderProgressPanel* panel)
{
    if (!panel || panel != progressPanel_)
        return;
    if (closeTimer_) {
        closeTimer_->invalidate();
        closeTimer_ = nullptr;
    }
    progressPanel_ = nullptr;
    operation_ = nullptr;
    if (placement_.close)
        placement_.close(panel);
    // The panel is never on the stack here: its own callbacks only post.
    delete panel;
}

} // namespace vistel
