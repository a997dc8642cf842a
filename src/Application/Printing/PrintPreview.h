#pragma once
// PrintPreview: the print window's page view, and the printing itself.
//
// One function paints page n of the pictures on the current layout (paintPage): the white
// sheet, and in each slot its picture, drawn by the slot (PrintLayout.h) with the draw
// attributes of the preferences (crop, autoRotate) and the window's paper and print sizes. The
// view paints it into the sheet it shows; printing paints it into each page of the printer, so
// the print is what the preview shows. Pages = ceil(pictures / slots).
//
// On screen each slot shows its item's large thumbnail (else its small one; the view repaints
// when a thumbnail arrives). Printing decodes each picture from its file, upright and reduced to
// the pixels its slot takes at the printer's resolution, one picture at a time, so that many
// large pictures never sit in memory together. A picture that cannot be read or decoded leaves
// its slot empty; the cause is logged ("PrintPreview <file>: <cause>") and the rest prints.
//
// Thread rules: main thread only.

#include <functional>
#include <string>
#include <vector>

#include <QWidget>

#include "Application/Printing/PrintLayout.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMO.h"

class QPrinter;

namespace vistel {


class PrintPreview : public QWidget {
public:
    enum class PictureSource { Screen, Print };

    explicit PrintPreview(QWidget* parent = nullptr);
    ~PrintPreview() override;

    const std::vector<Ref<FileSystemItemMO>>& picturesArray() const { return pictures_; }
    void setPicturesArray(std::vector<Ref<FileSystemItemMO>> pictures);
    ZOVPrintLayout* printLayout() const { return layout_.get(); }
    void setPrintLayout(ZOVPrintLayout* layout);
    // Inches; 0 x 0 for the print size means "best for layout", for the document size the
    // layouts' reference page.
    QSizeF documentSize() const { return documentSize_; }
    void setDocumentSize(QSizeF size);
    QSizeF printSize() const { return printSize_; }
    void setPrintSize(QSizeF size);
    // The attributes the slots draw with: the sizes above, crop and autoRotate from the
    // preferences.
    DrawAttributes drawAttributes() const;
    // The sheet in inches: the document size, else the reference page.
    QSizeF sheetSize() const;

    int pageCount() const;
    int currentPage() const { return currentPage_; } // 0-based
    void setCurrentPage(int page);
    bool canGoToPreviousPage() const { return currentPage_ > 0; }
    bool canGoToNextPage() const { return currentPage_ + 1 < pageCount(); }
    void previousPage();
    void nextPage();
    // Called after the page, the page count or the layout changed (the window's buttons follow).
    void setPageChangedHandler(std::function<void()> handler) { pageChanged_ = std::move(handler); }

    // Paints page `page` into `pageRect` of `painter`: the whole sheet maps onto the rectangle.
    void paintPage(QPainter& painter, const QRectF& pageRect, int page, PictureSource source);
    // Where the view shows the sheet.
    QRectF sheetRect() const;

    // Prints every page on `printer` (its page set from the document size); false when the
    // printer cannot be painted on.
    bool printToPrinter(QPrinter& printer);
    // The print dialog over `sender`'s window, then printToPrinter.
    void print(QWidget* sender);

    // The picture of `path` upright, reduced to cover `drawnSizeFor(upright size)` device pixels;
    // null (with the cause logged) when it cannot be read or decoded.
    static QImage decodedPicture(const std::string& path, const std::function<QSizeF(QSizeF)>& drawnSizeFor);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void changed();
    static QImage screenImage(FileSystemItemMO* item, QSizeF deviceSize);

    std::vector<Ref<FileSystemItemMO>> pictures_;
    Ref<ZOVPrintLayout> layout_;
    QSizeF documentSize_ {0, 0};
    QSizeF printSize_ {0, 0};
    int currentPage_ = 0;
    std::function<void()> pageChanged_;
};

} // namespace vistel
