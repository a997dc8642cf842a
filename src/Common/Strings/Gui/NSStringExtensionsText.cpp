#include "Common/Strings/Gui/NSStringExtensionsText.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <QFontMetricsF>
#include <QString>
#include <QTextBoundaryFinder>

#include "Common/Strings/Gui/NSStringMeasurer.h"

namespace vistel::NSStringExtensions {
namespace {

struct CachedSize {
    QFont font;
    QSizeF size;
};

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>()(text); }
};

struct SizeCache {
    std::mutex mutex;
    std::unordered_map<std::string, CachedSize, StringHash, std::equal_to<>> entries;
};

SizeCache& sizeCache()
{
    static SizeCache* const cache = new SizeCache; // used until the process ends, from any thread
    return *cache;
}

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::vector<QString> graphemes(const QString& text)
{
    std::vector<QString> result;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
        if (end > start)
            result.push_back(text.mid(start, end - start));
        start = end;
    }
    return result;
}

std::string joined(const std::vector<QString>& parts)
{
    QString text;
    for (const QString& part : parts)
        text += part;
    return text.toStdString();
}

} // namespace

QSizeF sizeWithAttributesExt(std::string_view text, const QFont& font)
{
    SizeCache& cache = sizeCache();
    {
        std::lock_guard guard(cache.mutex);
        const auto found = cache.entries.find(text);
        if (found != cache.entries.end() && found->second.font == font)
            return found->second.size;
    }
    // Measured outside the lock: other threads keep reading meanwhile.
    const QSizeF size = QFontMetricsF(font).size(0, toQString(text));
    std::lock_guard guard(cache.mutex);
    if (cache.entries.size() > SizeCacheLimit)
        cache.entries.clear();
    cache.entries.insert_or_assign(std::string(text), CachedSize {font, size});
    return size;
}

std::size_t sizeCacheCount()
{
    std::lock_guard guard(sizeCache().mutex);
    return sizeCache().entries.size();
}

QSizeF estimateSizeWithAttributes(std::string_view text, const QFont* font)
{
    return NSStringMeasurer(font).measureString(text);
}

std::string truncate(TruncationMode mode, std::string_view text, double width, const QFont& font)
{
    if (sizeWithAttributesExt(text, font).width() <= width)
        return std::string(text);

    static const QString ellipsis(QChar(0x2026));
    std::vector<QString> working = graphemes(toQString(text));
    std::string current(text);
    double currentWidth = sizeWithAttributesExt(current, font).width();

    while (currentWidth > width && working.size() >= 2) {
        const auto length = static_cast<std::ptrdiff_t>(working.size());
        // Estimate how many graphemes to drop from the share of the width that is too much.
        std::ptrdiff_t count = 0;
        if (currentWidth > 0) {
            const double estimate = (currentWidth - width) / currentWidth * static_cast<double>(length) - 1;
            count = static_cast<std::ptrdiff_t>(std::clamp(estimate, -1.0, static_cast<double>(length)));
        }
        std::ptrdiff_t start = -1;
        if (count > 2 && length - count > 2) {
            const std::ptrdiff_t candidate = mode == TruncateTail     ? length - count
                                             : mode == TruncateMiddle ? (length - count) / 2
                                                                      : 0;
            if (candidate >= 1 && candidate + count < length - 1)
                start = candidate;
        }
        if (start < 0) {
            // Two graphemes at a time next to the ellipsis.
            count = 2;
            start = mode == TruncateTail     ? length - 2
                    : mode == TruncateMiddle ? (length <= 2 ? 0 : std::min(length / 2, length - 2))
                                             : 0;
        }
        working.erase(working.begin() + start, working.begin() + start + count);
        working.insert(working.begin() + start, ellipsis);
        current = joined(working);
        currentWidth = sizeWithAttributesExt(current, font).width();
    }
    return current;
}

} // namespace vistel::NSStringExtensions
