#pragma once
// WindowStatusBarPanel: the one-line status bar of the browse window. It tells how many items
// the selected folders list and how many are selected, with the free space of their volume:
//   no folder                      "0 folders selected"
//   folders on several volumes     "Total %d items"
//   no volume item                 "---"
//   a picture frame                "Total %d pictures, space for %d more pictures available", or
//                                  "%3$d of %1$d pictures selected, space for %2$d more pictures
//                                  available" (pictures = decodable items)
//   any other volume               "%d items, %@ available", or "%3$d of %1$d selected, %2$@
//                                  available"
// Texts are translated, then filled with vistel::format (positional ones included).
//
// How many more pictures fit on a frame: its free bytes divided by the estimated size of one
// picture converted for it (the frame's resolution at ImageConvertor's quality). The estimate
// is a + b x pixels / 4096, fitted once per quality from two random-noise pictures (64 x 64 and
// 64 x 128) written through the JPEG encoder: b = s2 - s1, a = 2 s1 - s2. It is never below 0,
// and a frame whose estimate is below one byte shows room for 0.
//
// The data source is the browsing selection (IBrowsingGetSelection), kept alive while set. The
// bar observes its notifications; on a change of the listed or selected objects it observes the
// selected folders' item changes afresh, and a reload of a selected folder updates the text.
//
// Thread rules: main thread only.

#include <cstdint>
#include <optional>
#include <string>

#include <QWidget>

#include "Application/BrowseMode/BrowsingProtocols.h"
#include "Common/FileSystem/Catalogue/MediaDatabase.h"
#include "ZovClass.h"

class QLabel;

namespace vistel {

// The size model of a picture converted to JPEG (process-wide, main thread).
class JPEGSizeEstimate {
public:
    static JPEGSizeEstimate& shared();

    // a + b x (width x height / 4096) in single precision, truncated; never below 0. Encodes the
    // two noise pictures when `quality` differs from the last one used.
    std::int64_t estimatedJPEGSizeForPixels(double width, double height, float quality);
    // The bytes of a width x height noise picture written as JPEG at `quality`; 0 when the
    // encoder failed.
    std::uint64_t encodedNoiseJPEGSize(std::size_t width, std::size_t height, float quality);

    // The seed of the noise: a fixed one gives the same pictures (and the same a and b) on every
    // run; nullopt seeds from the system's random device. Forgets the fitted pair.
    void setSeed(std::optional<std::uint32_t> seed);
    // Noise pictures encoded so far.
    int encodingCount() const { return encodingCount_; }
    std::int64_t fixedOverhead() const { return a_; }
    std::int64_t bytesPer4096Pixels() const { return b_; }

private:
    std::optional<float> quality_;
    std::int64_t a_ = 0;
    std::int64_t b_ = 0;
    std::optional<std::uint32_t> seed_;
    int encodingCount_ = 0;
};

class WindowStatusBarPanel : public QWidget,
                             public IFSItemChangedNotification,
                             public BrowsingSelectionNotificationObserver {
public:
    ZOV_ROOT_CLASS(WindowStatusBarPanel)

    // A new bar of 20 x 24 (the window's status band sizes it).
    static WindowStatusBarPanel* statusBar();
    explicit WindowStatusBarPanel(QWidget* parent = nullptr);
    ~WindowStatusBarPanel() override;

    // Stops observing the previous source; observes the new one (null: none) and updates.
    void setDataSourceDelegate(IBrowsingGetSelection* delegate);
    IBrowsingGetSelection* dataSourceDelegate() const { return dataSourceDelegate_; }

    std::string text() const;
    void updateText();
    // The text for the source as it is now.
    std::string statusText() const;
    // How many pictures of the frame's estimated size fit in `freeBytes`.
    static std::uint64_t roomForPictures(std::uint64_t freeBytes, std::int64_t estimatedPictureSize);

    void handleBrowsingSelectionNotifications(const Notification& notification) override;
    void notifyFSItemChanged(FileSystemItemMO* item, bool reloadChildren) override;

private:
    void stopObserving();

    QLabel* text_ = nullptr;
    IBrowsingGetSelection* dataSourceDelegate_ = nullptr;
    Ref<Object> dataSourceHolder_; // keeps the source alive while set
};

} // namespace vistel
