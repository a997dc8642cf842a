#pragma once
// NSControlContainer: a small view that holds a control and what goes with it (a label before
// it), hosted in a table row as one widget. The control is reached through nsControl(), so code
// that puts values into a row's control (NSViewContainerCellAdapter's delegate) finds it behind
// the container; the container's focus goes to the control.
//
// Subviews added as width-sizable keep their left edge and their distance to the right edge as
// the container is resized; the others keep their frames.
//
// Thread rules: main thread only.

#include <vector>

#include <QPointer>
#include <QWidget>

namespace vistel {

// A hosted view that stands for a control.
class NSControlProviderProtocol {
public:
    virtual ~NSControlProviderProtocol() = default;
    virtual QWidget* nsControl() const = 0;
};

class NSControlContainer : public QWidget, public NSControlProviderProtocol {
public:
    explicit NSControlContainer(const QRect& frame, QWidget* parent = nullptr);

    QWidget* nsControl() const override { return control_.data(); }
    // The control (a subview already added): focus goes to it.
    void setNSControl(QWidget* control);

    // Takes `view` as a subview at its current geometry.
    void addSubview(QWidget* view, bool widthSizable);

    // The control behind a hosted view: its nsControl() when it provides one, else the view.
    static QWidget* controlOfView(QWidget* view);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Sizable {
        QPointer<QWidget> view;
        int rightMargin = 0;
    };
    QPointer<QWidget> control_;
    std::vector<Sizable> sizable_;
};

} // namespace vistel
