#pragma once
// ZOVProgressIndicator: the small spinning mark a source-list row shows while its folder is
// being listed.
//
// The mark is twelve spokes around the centre of the square that fits the rectangle, the first
// black and each next one lighter (grey level min(sqrt(i) * 0.25, 0.8)), with round caps and a
// line width of 0.08 times the square's side. The phase (1 to 12 while spinning, 0 at rest)
// turns the pattern by one spoke per step; after twelve steps it is back where it started. Our
// views are top-down, so the first spoke sits at +(phase * 30 + 270) degrees and each next one
// 30 degrees less; a bottom-up view mirrors both signs.
//
// The geometry is a pure function (spokes) so it can be checked without painting; the outline
// view that owns an indicator answers it from progressIndicator(), and the source-list cell
// draws it into its progress rectangle.
//
// Items in progress. An indicator made for a host (the view whose rows carry the marks, through
// ZOVProgressIndicatorHost) keeps one record (ZOVProgressUpdateInfo) per tree item whose
// folder is still being listed. While there is at least one, a repeating 0.1 s timer runs in
// the default, connection-reply, modal-panel and event-tracking modes; it does not draw but
// queues "UpdateItemsCellNotification" (object: the indicator) as soon as possible, coalesced
// by name, in the event-tracking and default modes, so a busy loop holds at most one pending
// tick. Each tick advances the phase, asks the host again about every item whose check time
// (one second after its last check) has passed, drops the items no longer in progress, and
// asks the host to redraw only the mark areas of the others. An item's whole cell is redrawn
// only when it starts or stops (or when its cell has no mark area). When the last record goes
// the timer stops, the phase returns to 0, and no further tick is posted.
//
// Thread rules: main thread only; the timer and the ticks run on the run loop of the thread
// that added the first item.

#include <array>
#include <optional>
#include <vector>

#include <QColor>
#include <QLineF>
#include <QRectF>

#include "Platform/Gui/OutlineView.h"
#include "Platform/NotificationCenter.h"
#include "Platform/Object.h"
#include "Platform/RunLoop.h"

namespace vistel {

inline constexpr const char* UpdateItemsCellNotification = "UpdateItemsCellNotification";

// What an indicator needs of the view whose rows carry its marks.
class ZOVProgressIndicatorHost {
public:
    virtual ~ZOVProgressIndicatorHost() = default;
    // Whether the item's folder still has work pending in the catalogue (its listing, or
    // refresh requests of its own); NO for an item that is gone or not valid.
    virtual bool checkProgressForItem(Object* item) = 0;
    // Whether the item itself waits for a refresh (it will be listed soon).
    virtual bool itemNeedsRefresh(Object* item) = 0;
    // The mark area of the item's row in the view, when the row's cell draws a mark there;
    // nullopt when the item has no row or its cell draws none (then the whole cell is redrawn).
    // OutlineView hosts answer progressMarkRectOfItem().
    virtual std::optional<QRectF> progressRectForItem(Object* item) = 0;
    // Marks a rectangle of the view for redisplay.
    virtual void setNeedsDisplayInProgressRect(const QRectF& rect) = 0;
    // Redraws the item's whole cell (the view updates the cell and reloads the item without
    // its children).
    virtual void updateItemCell(Object* item) = 0;
};

// One item in progress and when it must next be checked.
class ZOVProgressUpdateInfo : public Object {
public:
    static Ref<ZOVProgressUpdateInfo> create(Ref<Object> item);

    Object* item() const { return item_.get(); }
    RunLoop::TimePoint updateDate() const { return updateDate_; }
    // Moves the check to one second from now.
    void incrementUpdateTime() { updateDate_ = nextUpdateTime(); }
    // Now plus one second.
    static RunLoop::TimePoint nextUpdateTime();
    // Whether the check time has passed.
    bool isUpdateExpired() const;

private:
    explicit ZOVProgressUpdateInfo(Ref<Object> item);
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);

    Ref<Object> item_;
    RunLoop::TimePoint updateDate_;
};

class ZOVProgressIndicator : public Object, public ProgressMarkDrawing {
public:
    struct Spoke {
        QLineF line;
        double greyLevel = 0;
    };
    struct Mark {
        double lineWidth = 0;
        double innerRadius = 0;
        double outerRadius = 0;
        std::array<Spoke, 12> spokes;
    };

    // An indicator that only draws (no items, no timer).
    ZOVProgressIndicator() = default;
    ~ZOVProgressIndicator() override;
    // An indicator for the rows of `host` (not owned: the host owns the indicator and keeps
    // it no longer than itself).
    static Ref<ZOVProgressIndicator> create(ZOVProgressIndicatorHost* host);

    // The mark for a rectangle at a phase; `topDown` for views whose y grows downwards.
    static Mark mark(const QRectF& frame, unsigned phase, bool topDown = true);
    // The mark area of an item's row in an outline: the progress rectangle of its column-0
    // cell when that is a source-list cell drawing progress; nullopt otherwise.
    static std::optional<QRectF> progressMarkRectOfItem(OutlineView& view, const Object* item);

    unsigned progressStep() const { return progressStep_; }
    void setProgressStep(unsigned step) { progressStep_ = step; }
    // One step of the spin: 1 after 12 (and after rest).
    void advanceProgressStep() { progressStep_ = progressStep_ % 12 + 1; }

    void drawInteriorInFrame(QPainter& painter, const QRectF& frame, const QWidget* view) const override;

    // --- items in progress (an indicator with a host) -----------------------------------------
    // An item already in progress has its check moved to one second from now; another is
    // added when the host says it is in progress or needs a refresh.
    void insertItemInProgress(const Ref<Object>& item);
    bool isItemInProgress(const Object* item) const;
    ZOVProgressUpdateInfo* itemUpdateInfo(const Object* item) const;
    // Removes every record and stops the timer (no cell is redrawn).
    void clear();
    const std::vector<Ref<ZOVProgressUpdateInfo>>& itemsInProgress() const { return itemsInProgress_; }
    bool isTimerRunning() const { return redrawTimer_ != nullptr; }

private:
    explicit ZOVProgressIndicator(ZOVProgressIndicatorHost* host);
    template <class T, class... Args>
    friend Ref<T> makeRef(Args&&...);

    void addItem(const Ref<Object>& item);
    void removeItem(Object* item);
    void updateItemCell(Object* item, bool fullCellUpdate);
    void startTimer();
    void stopTimer();
    void timerFunction();
    void updateProgressNotificationHandler(const Notification& notification);

    ZOVProgressIndicatorHost* host_ = nullptr;
    std::vector<Ref<ZOVProgressUpdateInfo>> itemsInProgress_;
    Ref<RunLoop::Timer> redrawTimer_;
    unsigned progressStep_ = 0;
};

} // namespace vistel
