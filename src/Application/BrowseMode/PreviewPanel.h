#pragma once
// PreviewPanel: a small panel showing the thumbnail of one catalogue item, scaled to fit and
// centred in a square area at the top of the panel (as wide as the panel, preferring 80 pixels;
// a spacer takes the rest of the height). The area is filled with the window background first.
// Giving an item without a thumbnail clears the picture.
//
// Nothing in the program shows it yet; it is ready for a panel that wants an item's preview.
//
// Thread rules: main thread only.

#include <QImage>
#include <QPointer>
#include <QWidget>

#include "ZovClass.h"

namespace vistel {

class FileSystemItemMO;
class PreviewPanel;

// The square area: it draws by asking its panel.
class PreviewPanelView : public QWidget {
public:
    explicit PreviewPanelView(PreviewPanel* panel);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PreviewPanel* panel_; // not retained: the panel owns this view
};

class PreviewPanel : public QWidget {
public:
    ZOV_ROOT_CLASS(PreviewPanel)

    // A new panel (the caller, or the parent it is put into, owns it).
    static PreviewPanel* previewPanel();

    // Shows the item's thumbnail; an item without one (or none) clears the picture. Repaints.
    void setInfoWithItem(FileSystemItemMO* item);
    const QImage& image() const { return image_; }
    PreviewPanelView* previewView() const { return view_; }

    // Draws the area of the preview view.
    void drawViewRect(QPainter& painter);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    PreviewPanel();

    QPointer<PreviewPanelView> view_;
    QImage image_;
};

} // namespace vistel
