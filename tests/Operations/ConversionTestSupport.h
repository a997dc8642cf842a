#pragma once
// Helpers of the conversion tests: test-made pictures (four coloured quadrants, so that every
// turn and mirror shows), running a batch on an engine to its end, and the command-line tools
// used as independent references.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <QColor>
#include <QImage>

#include "../Common/Alert/AlertTestSupport.h"
#include "../Common/FileSystem/FileSystemFixtures.h"
#include "Operations/FileOperation.h"
#include "Operations/ImageConvertor.h"
#include "Platform/Imaging/ImageDestination.h"
#include "Platform/NotificationCenter.h"

namespace vistel::test {

// The quadrants' colours as stored: top left, top right, bottom left, bottom right.
inline const QColor kQuadrants[4] = {QColor(220, 30, 30), QColor(30, 200, 30), QColor(30, 30, 220),
                                     QColor(240, 240, 240)};

// A picture w x h of four quadrants, written as `type` with the EXIF orientation when given
// (and other properties merged in).
inline bool writeQuadrants(const std::string& path, int w, int h, const char* type = "public.jpeg",
                           int orientation = 0, Value properties = Value::dictionary(), bool alpha = false)
{
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            QColor c = kQuadrants[(y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)];
            if (alpha && x < w / 2 && y < h / 2)
                c.setAlpha(0);
            image.setPixelColor(x, y, c);
        }
    auto destination = ImageDestination::createWithPath(path, type);
    if (!destination)
        return false;
    if (orientation)
        properties.set("{TIFF}", Value::dictionary({{"Orientation", orientation}}));
    properties.set("LossyCompressionQuality", 0.95);
    return destination->addImage(PlatformImage::fromQImage(image), properties) && destination->finalize();
}

// The colour at the centre of each quadrant of `image`.
inline std::vector<QColor> quadrantColors(const QImage& image)
{
    const int w = image.width(), h = image.height();
    return {image.pixelColor(w / 4, h / 4), image.pixelColor(3 * w / 4, h / 4), image.pixelColor(w / 4, 3 * h / 4),
            image.pixelColor(3 * w / 4, 3 * h / 4)};
}

inline bool near(const QColor& a, const QColor& b, int tolerance = 40)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

// The output of a shell command (stderr dropped) and whether it exited 0.
inline std::string run(const std::string& command, bool* succeeded = nullptr)
{
    std::string output;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) {
        if (succeeded)
            *succeeded = false;
        return output;
    }
    char buffer[4096];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, count);
    const int status = ::pclose(pipe);
    if (succeeded)
        *succeeded = status == 0;
    while (!output.empty() && (output.back() == '\n' || output.back() == ' '))
        output.pop_back();
    return output;
}

inline std::string quoted(const std::string& path) { return "'" + path + "'"; }

// Every status record of every group, in order, by group.
class GroupRecords {
public:
    GroupRecords()
    {
        NotificationCenter::defaultCenter().addObserver(
            this,
            [this](const Notification& notification) {
                order.push_back({notification.object.get(), fileOperationStage(notification.userInfo)});
                records[notification.object.get()].push_back(notification.userInfo);
                if (fileOperationStage(notification.userInfo) >= 3)
                    finals_.push_back(notification.userInfo);
            },
            kFSOperationStatusNotification);
    }
    ~GroupRecords() { NotificationCenter::defaultCenter().removeObserver(this); }
    GroupRecords(const GroupRecords&) = delete;
    GroupRecords& operator=(const GroupRecords&) = delete;

    // Final records of every group, in the order they came.
    const std::vector<Value>& finals() const { return finals_; }
    // Forgets what came so far.
    void clear()
    {
        records.clear();
        order.clear();
        finals_.clear();
    }
    // Waits until every group of the batches started so far has ended.
    bool settle(int timeoutMs = 60000)
    {
        return spinUntil([] { return ImageConvertor::sharedImageConvertor().runningGroups().empty(); }, timeoutMs);
    }
    // The conversion group of a batch: the group whose first record came right after the
    // preflight's final one.
    const Object* groupAfter(const Object* preflight) const
    {
        for (std::size_t i = 0; i + 1 < order.size(); ++i)
            if (order[i].first == preflight && order[i].second == 3)
                return order[i + 1].first;
        return nullptr;
    }
    const std::vector<Value>& of(const Object* group) { return records[group]; }

    std::map<const Object*, std::vector<Value>> records;
    std::vector<std::pair<const Object*, std::uint32_t>> order;

private:
    std::vector<Value> finals_;
};

// Runs one batch on `engine` until no group is left running; answers the conversion group's
// final record (or the preflight's when nothing followed).
inline Value runBatch(ImageConvertor& engine, const std::vector<std::string>& inputs, const std::string& folder,
                      const Value& options, GroupRecords* seen = nullptr)
{
    GroupRecords own;
    GroupRecords& records = seen ? *seen : own;
    const auto preflight = engine.addJobWithInputFiles(inputs, folder, options);
    spinUntil([&] { return engine.runningGroups().empty(); }, 120000);
    const Object* conversion = records.groupAfter(preflight.get());
    const auto& list = records.of(conversion ? conversion : preflight.get());
    return list.empty() ? Value() : list.back();
}

} // namespace vistel::test
