#pragma once
// RIDocument: one picture file in a window of its own (read only).
//
// The file is read through the image representation registry (every installed codec) and
// drawn upright (its orientation applied) into the document's picture. The window holds a
// scroll area with the picture view (NSImageViewWithGreyBack: light grey behind the picture,
// the picture centred at the view's scale) and a small tool bar (zoom in, zoom out, best fit).
// Best fit keeps the picture fitted to the visible area (never enlarged) and follows window
// resizing; a zoom leaves it. The window's frame is kept under "MyDocumentWindow"; without one
// the window opens at the picture's size, limited to the screen's available area. Printing puts
// the picture on one page, fitted.
//
// Thread rules: main thread only.

#include <string>

#include <QImage>
#include <QPointer>
#include <QWidget>

#include "Platform/Gui/Document.h"
#include "Platform/Gui/WindowToolbar.h"
#include "ZovClass.h"

class QMainWindow;
class QPrinter;
class QScrollArea;

namespace vistel {

class NSImageViewWithGreyBack : public QWidget {
public:
    static constexpr int GreyLevel = 170;
    explicit NSImageViewWithGreyBack(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

class RIDocument : public Document, public WindowToolbarDelegate {
public:
    ZOV_ROOT_CLASS(RIDocument)

    static constexpr const char* ToolbarIdentifier = "My Document Toolbar Identifier";
    static constexpr const char* FrameAutosaveName = "MyDocumentWindow";

    RIDocument();
    ~RIDocument() override;

    bool readFromFile(const std::string& path, const std::string& type, ErrorRecord* error) override;
    void makeWindowControllers() override;

    const QImage& image() const { return image_; }
    void setImage(QImage image);
    NSImageViewWithGreyBack* documentView() const { return documentView_; }
    bool isBestFit() const { return bestFit_; }

    void zoomIn();
    void zoomOut();
    void bestFitAction();
    void bestFit();
    void adjustFrame();

    // The picture on one page of `printer`, fitted to its page.
    bool printToPrinter(QPrinter& printer);
    // The Print… command: the print dialog, then printToPrinter.
    void printDocument();

    // Tool bar delegate.
    std::optional<std::vector<std::string>> toolbarAllowedItemIdentifiers(WindowToolbar& toolbar) override;
    std::optional<std::vector<std::string>> toolbarDefaultItemIdentifiers(WindowToolbar& toolbar) override;
    QAction* toolbarItemForItemIdentifier(WindowToolbar& toolbar, const std::string& identifier,
                                          bool willBeInserted) override;

private:
    class ViewportWatcher;
    // Without a stored frame: the picture's upright size (with the bars and the scroll area's
    // frame), limited to the screen's available area.
    QSize firstWindowSize(QMainWindow& window) const;
    QImage image_;
    QPointer<NSImageViewWithGreyBack> documentView_;
    QPointer<QScrollArea> scrollArea_;
    bool bestFit_ = true;
};

} // namespace vistel
