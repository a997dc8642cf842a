#pragma once
// A scrolling column of collapsible panels, and a small view that shows an item's thumbnail.
//
// - DockView is a scroll area (both scroll bars shown) whose document is a VerticalLayout as
//   wide as the visible area. addPanel wraps a view in a DockPanel with a caption and appends
//   it; removePanel takes the first panel holding that view off the screen and hands the view
//   back detached (View::removeFromSuperview).
// - VerticalLayout stacks its listed views top-down at the layout's width, each at its own
//   height, and takes the sum as its height; it lays out again whenever a listed view's frame
//   changes ("NSViewFrameDidChangeNotification") or the layout is resized.
// - DockPanel: a 22-point caption bar (disclosure triangle, caption text, close button), the
//   content view below it and an 8-point splitter at its bottom whose drag sets the panel's
//   height (never below 30). Pressing the caption shows the triangle pressed while the mouse
//   stays on the caption; a release there opens or closes the panel. Closing keeps the content
//   size and animates the panel down to its caption; opening animates it back to that size.
//   Presses are state machines over the panel's own press, move and release events.
// - MDObjectPreviewPanel fills itself with the window background and draws an item's thumbnail
//   fitted into its bounds (aspect kept, centred along the free axis).
//
// Thread rules: main thread only.

#include <QImage>
#include <QPointer>
#include <QScrollArea>
#include <QWidget>

namespace vistel {

class VerticalLayout : public QWidget {
public:
    explicit VerticalLayout(QWidget* parent = nullptr);
    ~VerticalLayout() override;

    // Adds the view as a subview and lists it; removeView unlists it (it stays a subview).
    void addView(QWidget* view);
    void removeView(QWidget* view);
    std::vector<QWidget*> views() const;
    void layoutViews();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::vector<QPointer<QWidget>> views_;
    bool layingOut_ = false;
};

class DockPanel : public QWidget {
public:
    // The panel's parts for a frame of size W x H (top-left origin).
    struct Geometry {
        static QRect caption(int width) { return {0, 0, width, 22}; }
        static QRect triangle() { return {0, 0, 26, 22}; }
        static QRect captionText(int width) { return {26, 0, width - 26, 22}; }
        static QRect closeButton(int width) { return {width - 22, 2, 18, 18}; }
        static QRect content(QSize size) { return {0, 22, size.width(), size.height() - 30}; }
        static QRect splitter(QSize size, bool open) { return open ? QRect(0, size.height() - 8, size.width(), 8) : QRect(); }
        static QRect expandedFrame(const QRect& frame, bool open, QSize savedContent);
        static QRect collapsedFrame(const QRect& frame, bool open);
        static QSize minimalSize() { return {0, 30}; }
    };

    explicit DockPanel(const QString& caption, QWidget* parent = nullptr);

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);
    QWidget* view() const { return view_.data(); }
    void setView(QWidget* view);

    bool isOpen() const { return isOpen_; }
    void setOpen(bool open);
    void open() { setOpen(true); }
    void close() { setOpen(false); }
    bool isInMixedState() const { return inMixedState_; }
    bool closeButtonState() const { return closeButtonOn_; }

    // How long opening and closing animate (0: at once).
    static int animationDuration();
    static void setAnimationDuration(int milliseconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Press { None, CloseButton, Splitter, Caption };
    void animateTo(const QRect& frame);

    QString caption_;
    QPointer<QWidget> view_;
    QSize viewSize_;
    bool isOpen_ = true;
    bool inMixedState_ = false;
    bool closeButtonOn_ = false;
    bool closeButtonPressed_ = false;
    Press press_ = Press::None;
    QPoint pressPoint_;
    QRect pressFrame_;
};

class DockView : public QScrollArea {
public:
    explicit DockView(QWidget* parent = nullptr);

    // A new panel holding `view` under `caption`, appended to the column.
    DockPanel* addPanel(QWidget* view, const QString& caption);
    // Takes the first panel holding `view` off the screen; the view comes back detached.
    void removePanel(QWidget* view);
    VerticalLayout* layoutView() const { return layout_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitLayoutToWidth();
    VerticalLayout* layout_;
};

// What the preview reads of an item.
class ThumbnailImageProvider {
public:
    virtual ~ThumbnailImageProvider() = default;
    virtual QImage thumbnailImage() const = 0;
};

class MDObjectPreviewPanel : public QWidget {
public:
    explicit MDObjectPreviewPanel(QWidget* parent = nullptr);
    // Drops the previous image, keeps the item's thumbnail and repaints when there is one.
    void setInfoWithItem(const ThumbnailImageProvider* item);
    const QImage& image() const { return image_; }
    // The image's rectangle fitted into bounds, aspect kept, centred along the free axis.
    static QRectF fittedRect(QSizeF image, const QRectF& bounds);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

} // namespace vistel
