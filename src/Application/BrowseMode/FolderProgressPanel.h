#pragma once
// FolderProgressPanel: the strip the items panel shows between the items and its bottom tool
// bar while a file operation runs: a progress bar, one line naming the item being processed
// (and where it goes), and a stop button.
//
// The panel follows the "kFSOperationStatusNotification"s of one operation (the object it was
// made for) and reads their status records with the fileOperation... readers:
//   stage 1 (preflight)  the bar is busy;
//   stage 2 (running)    the bar shows bytes done of the total, scaled to 0..ProgressScale
//                        (QProgressBar counts in int; a total of 0 is an empty bar, never
//                        Qt's busy mode); for a delete (operation type 2) items done of the
//                        total instead;
//   stage 3 (complete)   the bar is full and the panel is `completed`;
//   stage 3 or 4         the panel stops listening: the stop button sends nothing more.
// The line is the record's explanation format (translated, so untrusted: filled only by
// vistel::format) with the item's display name (a delete's records carry the name only) and,
// when the record has a destination, the display name of the destination's folder; the
// destination takes at most half the room, both are shortened in the middle so that the line
// fits the text's width. A record without an item leaves the line as it is.
//
// Stop posts "kFSOperationCancelNotification" (object: the operation) on the default queue as
// soon as possible, never coalesced.
//
// FolderProgressStrip is what the items panel keeps: it observes every operation's status
// notifications, shows one panel at a time (through the items panel's `show`), and closes it
// (through `close`, then deletes it) 1.0 s after its operation completed, 0.1 s after it was
// cancelled, or at once when another operation's record arrives after it ended: that record
// then opens the next operation's panel. Records of other operations are ignored while a
// panel's operation runs. The delayed close is a single-shot
// timer on the main run loop, invalidated when the strip goes, and closes only the panel it was
// set for.
//
// Thread rules: main thread only.

#include <cstdint>
#include <functional>
#include <string>

#include <QPointer>
#include <QWidget>

#include "Platform/NotificationCenter.h"
#include "Platform/RunLoop.h"
#include "Platform/Value.h"
#include "ZovClass.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace vistel {

class FolderProgressPanel : public QWidget {
public:
    ZOV_ROOT_CLASS(FolderProgressPanel)

    static constexpr int ProgressScale = 10000;
    static constexpr int PanelHeight = 50;

    // Follows the status notifications of `operation`, builds the controls from `userInfo`
    // (the stop button's title) and applies it.
    FolderProgressPanel(Ref<Object> operation, const Value& userInfo, QWidget* parent = nullptr);
    ~FolderProgressPanel() override;

    // The operation followed; null once it ended.
    Object* objectToListen() const { return objectToListen_.get(); }
    bool completed() const { return completed_; }
    // While listening: asks the operation to stop.
    void cancelOperation();

    // One status notification of the operation.
    void progress(const Notification& notification);
    void applyInfo(const Value& userInfo);

    QProgressBar* progressIndicator() const { return progressIndicator_; }
    QLabel* progressText() const { return progressText_; }
    QPushButton* progressCancelButton() const { return progressCancelButton_; }
    // The bar's value on 0..ProgressScale for `done` of `total` bytes (0 for a total of 0).
    static int scaledProgress(std::uint64_t done, std::uint64_t total);
    // The line's font (the button's too).
    static const QFont& textFont();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setupControls(const Value& userInfo);
    void stopListening();
    void layoutControls();

    Ref<Object> objectToListen_;
    bool completed_ = false;
    QProgressBar* progressIndicator_ = nullptr;
    QLabel* progressText_ = nullptr;
    QPushButton* progressCancelButton_ = nullptr;
    Value lastInfo_;
};

class FolderProgressStrip : public Object {
public:
    // The items panel's part: `show` puts a new panel between the items and the bottom tool
    // bar; `close` takes it out of the layout (the strip deletes it afterwards).
    struct Placement {
        std::function<void(FolderProgressPanel*)> show;
        std::function<void(FolderProgressPanel*)> close;
    };
    static constexpr double CloseDelayAfterCompletion = 1.0;
    static constexpr double CloseDelayAfterCancel = 0.1;

    static Ref<FolderProgressStrip> create(Placement placement);

    FolderProgressPanel* progressPanel() const { return progressPanel_.data(); }
    void synchronizeProgress(const Notification& notification);
    // Closes `panel` when it is the one shown.
    void closeProgress(FolderProgressPanel* panel);

private:
    explicit FolderProgressStrip(Placement placement);
    ~FolderProgressStrip() override;
    void scheduleClose(double seconds);

    Placement placement_;
    QPointer<FolderProgressPanel> progressPanel_;
    Ref<Object> operation_;
    Ref<RunLoop::Timer> closeTimer_;
};

} // namespace vistel
