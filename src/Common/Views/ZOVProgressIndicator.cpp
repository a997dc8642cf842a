#include "Common/Views/ZOVProgressIndicator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <QPainter>
#include <QPen>

#include "Common/Views/ImageAndTextCell.h"
#include "Platform/NotificationQueue.h"

namespace vistel {

// --- ZOVProgressUpdateInfo ---------------------------------------------------------------------

ZOVProgressUpdateInfo::ZOVProgressUpdateInfo(Ref<Object> item) : item_(std::move(item)), updateDate_(nextUpdateTime()) { }

Ref<ZOVProgressUpdateInfo> ZOVProgressUpdateInfo::create(Ref<Object> item)
{
    return makeRef<ZOVProgressUpdateInfo>(std::move(item));
}

RunLoop::TimePoint ZOVProgressUpdateInfo::nextUpdateTime()
{
    return RunLoop::Clock::now() + std::chrono::seconds(1);
}

bool ZOVProgressUpdateInfo::isUpdateExpired() const
{
    return updateDate_ < RunLoop::Clock::now();
}

// --- ZOVProgressIndicator ----------------------------------------------------------------------

ZOVProgressIndicator::ZOVProgressIndicator(ZOVProgressIndicatorHost* host) : host_(host)
{
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification& notification) { updateProgressNotificationHandler(notification); },
        UpdateItemsCellNotification, this);
}

Ref<ZOVProgressIndicator> ZOVProgressIndicator::create(ZOVProgressIndicatorHost* host)
{
    return makeRef<ZOVProgressIndicator>(host);
}

ZOVProgressIndicator::~ZOVProgressIndicator()
{
    if (!host_)
        return;
    // No tick can be queued now: a queued one holds the indicator.
    if (redrawTimer_)
        redrawTimer_->invalidate();
    NotificationCenter::defaultCenter().removeObserver(this);
}

ZOVProgressIndicator::Mark ZOVProgressIndicator::mark(const QRectF& frame, unsigned phase, bool topDown)
{
    Mark mark;
    const double size = std::min(frame.width(), frame.height());
    const QPointF centre(frame.x() + size * 0.5, frame.y() + frame.height() * 0.5);
    mark.lineWidth = size * 0.08;
    mark.innerRadius = size >= 32 ? size * 0.23 : size * 0.27;
    mark.outerRadius = size >= 32 ? size * 0.38 : size * 0.48;
    const double sign = topDown ? 1.0 : -1.0;
    for (int i = 0; i < 12; ++i) {
        const double degrees = sign * (static_cast<double>(phase) * 30.0 + 270.0 - 30.0 * i);
        const double radians = degrees * std::numbers::pi / 180.0;
        const QPointF direction(std::cos(radians), std::sin(radians));
        mark.spokes[static_cast<std::size_t>(i)] = {QLineF(centre + mark.innerRadius * direction, centre + mark.outerRadius * direction),
                                                    std::min(std::sqrt(static_cast<double>(i)) * 0.25, 0.8)};
    }
    return mark;
}

void ZOVProgressIndicator::drawInteriorInFrame(QPainter& painter, const QRectF& frame, const QWidget*) const
{
    const Mark spin = mark(frame, progressStep_);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (const Spoke& spoke : spin.spokes) {
        QPen pen(QColor::fromRgbF(static_cast<float>(spoke.greyLevel), static_cast<float>(spoke.greyLevel), static_cast<float>(spoke.greyLevel)));
        pen.setWidthF(spin.lineWidth);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        painter.drawLine(spoke.line);
    }
    painter.restore();
}

} // namespace vistel

namespace vistel {

std::optional<QRectF> ZOVProgressIndicator::progressMarkRectOfItem(OutlineView& view, const Object* item)
{
    const int row = view.rowForItem(item);
    if (row < 0)
        return std::nullopt;
    const std::unique_ptr<Cell> cell = view.preparedCellAtColumn(0, row);
    const auto* source = dynamic_cast<const ImageAndTextCell*>(cell.get());
    if (!source || !source->drawProgress())
        return std::nullopt;
    return source->progressRectForBounds(QRectF(view.frameOfCellAtColumn(0, row)));
}

void ZOVProgressIndicator::insertItemInProgress(const Ref<Object>& item)
{
    if (!host_ || !item)
        return;
    if (ZOVProgressUpdateInfo* info = itemUpdateInfo(item.get())) {
        info->incrementUpdateTime();
        return;
    }
    if (host_->checkProgressForItem(item.get()) || host_->itemNeedsRefresh(item.get()))
        addItem(item);
}

bool ZOVProgressIndicator::isItemInProgress(const Object* item) const
{
    return itemUpdateInfo(item) != nullptr;
}

ZOVProgressUpdateInfo* ZOVProgressIndicator::itemUpdateInfo(const Object* item) const
{
    for (const Ref<ZOVProgressUpdateInfo>& info : itemsInProgress_)
        if (info->item() == item)
            return info.get();
    return nullptr;
}

void ZOVProgressIndicator::clear()
{
    itemsInProgress_.clear();
    stopTimer();
}

void ZOVProgressIndicator::addItem(const Ref<Object>& item)
{
    itemsInProgress_.push_back(ZOVProgressUpdateInfo::create(item));
    startTimer();
    updateItemCell(item.get(), true);
}

void ZOVProgressIndicator::removeItem(Object* item)
{
    const auto found = std::find_if(itemsInProgress_.begin(), itemsInProgress_.end(),
                                    [item](const Ref<ZOVProgressUpdateInfo>& info) { return info->item() == item; });
    if (found == itemsInProgress_.end())
        return;
    // The record holds the item: keep it alive while its cell is redrawn.
    const Ref<ZOVProgressUpdateInfo> removed = *found;
    itemsInProgress_.erase(found);
    updateItemCell(item, true);
    if (itemsInProgress_.empty())
        stopTimer();
}

void ZOVProgressIndicator::updateItemCell(Object* item, bool fullCellUpdate)
{
    if (!fullCellUpdate)
        if (const std::optional<QRectF> mark = host_->progressRectForItem(item)) {
            host_->setNeedsDisplayInProgressRect(*mark);
            return;
        }
    host_->updateItemCell(item);
}

void ZOVProgressIndicator::startTimer()
{
    if (redrawTimer_)
        return;
    redrawTimer_ = RunLoop::current()->scheduleTimer(
        0.1, true, [this](RunLoop::Timer&) { timerFunction(); },
        {NSDefaultRunLoopMode, NSConnectionReplyMode, NSModalPanelRunLoopMode, NSEventTrackingRunLoopMode});
}

void ZOVProgressIndicator::stopTimer()
{
    if (redrawTimer_) {
        redrawTimer_->invalidate();
        redrawTimer_ = nullptr;
    }
    // A tick already queued would spin a stopped mark (and hold a gone indicator).
    NotificationQueue::defaultQueue().dequeueNotificationsMatching({UpdateItemsCellNotification, Ref<Object>(this), {}},
                                                                   NSNotificationCoalescingOnName | NSNotificationCoalescingOnSender);
    progressStep_ = 0;
}

void ZOVProgressIndicator::timerFunction()
{
    NotificationQueue::defaultQueue().enqueueNotification({UpdateItemsCellNotification, Ref<Object>(this), {}}, PostingStyle::NSPostASAP,
                                                          NSNotificationCoalescingOnName,
                                                          {NSEventTrackingRunLoopMode, NSDefaultRunLoopMode});
}

void ZOVProgressIndicator::updateProgressNotificationHandler(const Notification&)
{
    if (itemsInProgress_.empty())
        return;
    advanceProgressStep();
    // The records are copied: the host's answers may insert or clear items meanwhile.
    const std::vector<Ref<ZOVProgressUpdateInfo>> records = itemsInProgress_;
    std::vector<Ref<Object>> finished;
    for (const Ref<ZOVProgressUpdateInfo>& info : records) {
        if (info->isUpdateExpired()) {
            if (!host_->checkProgressForItem(info->item())) {
                finished.push_back(Ref<Object>(info->item()));
                continue;
            }
            info->incrementUpdateTime();
        }
        updateItemCell(info->item(), false);
    }
    for (const Ref<Object>& item : finished)
        removeItem(item.get());
}

} // namespace vistel
