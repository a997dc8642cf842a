#include "Operations/Panels/ConversionPanelOptions.h"

#include "Operations/FileOperation.h"
#include "Operations/ImageConvertor.h"
#include "Operations/Panels/ConversionPanels.h"
#include "Platform/Formatter.h"

namespace vistel::ConversionPanelOptions {

namespace {

// The texts with the file and folder placeholders kept and the format's filled in.
void addTexts(Value& options, const ConversionProgressTexts& texts, const std::string& format = {})
{
    const bool hasFormat = !format.empty();
    options.set(kFolderProgressKeyStopButtonText, Value(texts.stopButton));
    options.set(kFolderProgressKeyExplanationWithoutDestination,
                Value(hasFormat ? vistel::format(texts.withoutDestination, std::string("%@"), format)
                                : texts.withoutDestination));
    options.set(kFolderProgressKeyExplanationWithDestination,
                Value(hasFormat ? vistel::format(texts.withDestination, std::string("%@"), std::string("%@"), format)
                                : texts.withDestination));
}

void addFormat(Value& options, const ConversionAccessoryProtocol& accessory)
{
    const std::string uti = accessory.formatUTI();
    if (!uti.empty())
        options.set(kImageConvertorFormatKey, Value(uti));
    options.set(kImageConvertorQualityKey, Value(double(accessory.quality())));
    options.set(kImageConvertorCompressionKey, Value(static_cast<std::int64_t>(accessory.tiffCompression())));
    options.set(kImageConvertorEncryptKey, Value(accessory.encrypt()));
    options.set(kImageConvertorPasswordKey, Value(accessory.password()));
}

} // namespace

Value convertOptions(const ConversionAccessoryProtocol& accessory, const ConversionProgressTexts& texts)
{
    Value options = Value::dictionary();
    addFormat(options, accessory);
    addTexts(options, texts, accessory.formatString());
    return options;
}

Value saveAsOptions(const ConversionAccessoryProtocol& accessory, const std::string& fileName,
                    const ConversionProgressTexts& texts)
{
    Value options = convertOptions(accessory, texts);
    options.set(kImageConvertorRenameOperatorKey, Value(Ref<Object>(NameFromNamesArray::create({fileName}))));
    return options;
}

Value resizeOptions(const BatchResizePanel& panel, const ConversionProgressTexts& texts)
{
    Value options = Value::dictionary();
    if (Ref<ImageResizeOperatorProtocol> rule = resizeRule(panel))
        options.set(kImageConvertorResizeOperatorKey, Value(Ref<Object>(rule)));
    addTexts(options, texts);
    return options;
}

Value renameOptions(const BatchRenamePanel& panel, const ConversionProgressTexts& texts)
{
    Value options = Value::dictionary();
    if (Ref<ImageRenameOperatorProtocol> rule = renameRule(panel))
        options.set(kImageConvertorRenameOperatorKey, Value(Ref<Object>(rule)));
    addTexts(options, texts);
    return options;
}

Ref<ImageResizeOperatorProtocol> resizeRule(const BatchResizePanel& panel)
{
    switch (panel.resizeType()) {
    case BatchResizePanel::Percentage:
        return PercentageResizeOperator::create(panel.percentage(), panel.applyPercentageBy());
    case BatchResizePanel::Pixels: {
        const auto [width, height] = panel.pixelsSize();
        return PixelsResizeOperator::create({width, height}, panel.resizeDirections(),
                                            panel.preserveAspectRatioForByPixelsType(), panel.fitForByPixelsType());
    }
    case BatchResizePanel::PrintSize: {
        const auto [width, height] = panel.unitsSize();
        return UnitsResizeOperator::create({width, height}, panel.resolution(),
                                           panel.preserveAspectRatioForByPrintType(), panel.fitForByPrintType());
    }
    default: return nullptr;
    }
}

Ref<ImageRenameOperatorProtocol> renameRule(const BatchRenamePanel& panel)
{
    const int type = panel.renameType();
    if (type < 1 || type > 8)
        return nullptr;
    // 1..4 keep each picture's own name as the base; 5..8 use the custom name.
    const std::optional<std::string> name = type >= 5 ? std::optional<std::string>(panel.customName()) : std::nullopt;
    switch ((type - 1) % 4) {
    case 0: return NameWithIndexRenameOperator::create(name, 1);
    case 1: return NameWithSequenceRenameOperator::create(name, 1);
    case 2: return NameWithCounterRenameOperator::create(name, panel.startingIndex());
    default: return NameWithDateTimeRenameOperator::create(name);
    }
}

} // namespace vistel::ConversionPanelOptions
