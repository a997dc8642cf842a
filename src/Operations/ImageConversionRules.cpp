#include "Operations/ImageConversionRules.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <unicode/udat.h>
#include <unicode/ustring.h>

#include "Platform/FilePaths.h"
#include "Platform/Formatter.h"
#include "ZovClass.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

// Applies a fit rule to the two factors.
void applyFit(int fit, float& sx, float& sy)
{
    switch (fit) {
    case ImageResizeFitWidth:
        sy = sx;
        break;
    case ImageResizeFitHeight:
        sx = sy;
        break;
    case ImageResizeFitInside:
        sx = sy = std::min(sx, sy);
        break;
    case ImageResizeFill:
        sx = sy = std::max(sx, sy);
        break;
    default:
        break;
    }
}

// The name less its extension, and its extension (empty when it has none).
std::pair<std::string, std::string> splitExtension(const std::string& name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {name, {}};
    return {name.substr(0, dot), name.substr(dot + 1)};
}

} // namespace

// ---- Resize rules

Ref<PercentageResizeOperator> PercentageResizeOperator::create(float percent, int applyTo)
{
    return makeRef<PercentageResizeOperator>(percent, applyTo);
}

ImageSize PercentageResizeOperator::sizeFromSize(ImageSize source) const
{
    const float f = percent_ / 100.0f;
    ImageSize result = source;
    if (applyTo_ != 2)
        result.size.width = source.size.width * f;
    if (applyTo_ != 1)
        result.size.height = source.size.height * f;
    return result;
}

Ref<PixelsResizeOperator> PixelsResizeOperator::create(FloatSize sizeInPixels, int directions, bool preserveAspect,
                                                       int fit)
{
    return makeRef<PixelsResizeOperator>(sizeInPixels, directions, preserveAspect, fit);
}

ImageSize PixelsResizeOperator::sizeFromSize(ImageSize source) const
{
    float sx = sizeInPixels_.width / source.size.width;
    float sy = sizeInPixels_.height / source.size.height;
    for (float* factor : {&sx, &sy}) {
        if (resizeDirections_ == ImageResizeOnlyEnlarge && !(double(*factor) > 1.0))
            *factor = 1.0f;
        else if (resizeDirections_ == ImageResizeOnlyReduce && double(*factor) > 1.0)
            *factor = 1.0f;
    }
    if (preserveAspect_)
        applyFit(fit_, sx, sy);
    return {{source.size.width * sx, source.size.height * sy}, source.resolution};
}

Ref<UnitsResizeOperator> UnitsResizeOperator::create(FloatSize unitsSize, int resolution, bool preserveAspect, int fit)
{
    return makeRef<UnitsResizeOperator>(unitsSize, resolution, preserveAspect, fit);
}

ImageSize UnitsResizeOperator::sizeFromSize(ImageSize source) const
{
    const double k = resolution_ / 25.4;
    float sx = float(unitsSize_.width * k) / source.size.width;
    float sy = float(unitsSize_.height * k) / source.size.height;
    if (preserveAspect_)
        applyFit(fit_, sx, sy);
    const auto dpi = float(resolution_);
    return {{source.size.width * sx, source.size.height * sy}, {dpi, dpi}};
}

// ---- Rename rules

Ref<NameFromNamesArray> NameFromNamesArray::create(std::vector<std::string> names)
{
    return makeRef<NameFromNamesArray>(std::move(names));
}

std::optional<std::string> NameFromNamesArray::nameFromName(const std::string& name, int order, const Value&)
{
    if (objectsNamesArray_.empty())
        return name;
    const auto index = std::size_t(std::max(order - 1, 0));
    return objectsNamesArray_[std::min(index, objectsNamesArray_.size() - 1)];
}

std::optional<std::string> NamedRenameOperator::nameFromName(const std::string& name, int order, const Value& metadata)
{
    auto [base, extension] = splitExtension(name);
    std::string suffix;
    {
        std::lock_guard lock(lock_);
        suffix = suffixLocked(order, metadata);
    }
    std::string result = (name_ ? *name_ : base) + suffix;
    if (!extension.empty())
        result += "." + extension;
    return result;
}

Ref<NameWithIndexRenameOperator> NameWithIndexRenameOperator::create(std::optional<std::string> name, int index)
{
    return makeRef<NameWithIndexRenameOperator>(std::move(name), index);
}

std::string NameWithIndexRenameOperator::suffixLocked(int order, const Value&)
{
    return format(" %d", order + startingIndex_ - 1);
}

Ref<NameWithCounterRenameOperator> NameWithCounterRenameOperator::create(std::optional<std::string> name, int index)
{
    return makeRef<NameWithCounterRenameOperator>(std::move(name), index);
}

int NameWithCounterRenameOperator::order() const
{
    std::lock_guard lock(const_cast<std::mutex&>(lock_));
    return order_;
}

std::string NameWithCounterRenameOperator::suffixLocked(int order, const Value& metadata)
{
    if (order_ < 0) {
        order_ = 4;
        const Value& total = metadata[kImageRenameTotalKey];
        if (total.isNumber()) {
            const float largest = std::max(float(total.toInt64() + startingIndex_), 1.0f);
            order_ = int(std::floor(std::log10(largest)) + 1.0f);
        }
    }
    const std::string pattern = format(" %%0%dd", order_);
    return format(pattern, order + startingIndex_ - 1);
}

Ref<NameWithSequenceRenameOperator> NameWithSequenceRenameOperator::create(std::optional<std::string> name, int index)
{
    return makeRef<NameWithSequenceRenameOperator>(std::move(name), index);
}

std::string NameWithSequenceRenameOperator::suffixLocked(int order, const Value& metadata)
{
    static const ZovClass descriptor("NameWithSequenceRenameOperator", &ZovClass::nsObject());
    const std::string of = ZOV_TRANSLATE_AS(descriptor, "of", "nameFromName:order:metadata:");
    return format(" (%d %@ %d)", order + startingIndex_ - 1, of, int(metadata[kImageRenameTotalKey].toInt64()));
}

Ref<NameWithDateTimeRenameOperator> NameWithDateTimeRenameOperator::create(std::optional<std::string> name)
{
    return makeRef<NameWithDateTimeRenameOperator>(std::move(name));
}

std::string NameWithDateTimeRenameOperator::stampForTime(double millisecondsSince1970)
{
    static const std::u16string pattern = u"dd:MM:yyyy HH.mm.ss.mmm";
    UErrorCode status = U_ZERO_ERROR;
    UDateFormat* formatter = udat_open(UDAT_PATTERN, UDAT_PATTERN, "en_US_POSIX", nullptr, -1,
                                       reinterpret_cast<const UChar*>(pattern.c_str()), int32_t(pattern.size()),
                                       &status);
    if (U_FAILURE(status) || !formatter) {
        if (formatter)
            udat_close(formatter);
        return {};
    }
    UChar buffer[64];
    const int32_t length = udat_format(formatter, millisecondsSince1970, buffer, 64, nullptr, &status);
    udat_close(formatter);
    if (U_FAILURE(status) || length <= 0)
        return {};
    std::string text;
    text.reserve(std::size_t(length));
    for (int32_t i = 0; i < length; ++i)
        text += char(buffer[i] < 0x80 ? buffer[i] : '?');
    return text;
}

std::string NameWithDateTimeRenameOperator::suffixLocked(int, const Value&)
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return " " + stampForTime(double(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
}

} // namespace vistel
