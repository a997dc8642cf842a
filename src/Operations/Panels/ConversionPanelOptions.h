#pragma once
// What the panels' choices become: the options dictionary of a conversion batch
// (ImageConvertor::addJobWithInputFiles). Each dictionary holds every value the choices give
// and the three progress texts; a choice that gives no value (no rename kind, an unknown resize
// kind or format) leaves only its own key out.
//
// The progress texts come translated by the caller; their file and folder placeholders ("%@")
// are kept for the progress strip, and a format placeholder is filled with the chosen
// format's name: "Converting \"%@\" with %@ format" -> "Converting \"%@\" with PNG format".
//
// Thread rules: main thread (the panels' controls are read).

#include <string>

#include "Operations/ImageConversionRules.h"
#include "Platform/Object.h"
#include "Platform/Value.h"

namespace vistel {

class BatchRenamePanel;
class BatchResizePanel;
class ConversionAccessoryProtocol;

struct ConversionProgressTexts {
    std::string stopButton;
    std::string withoutDestination; // one file placeholder (and the format's, for conversions)
    std::string withDestination;    // file and folder placeholders (and the format's)
};

namespace ConversionPanelOptions {

// "format", "quality", "compression", "encrypt", "password" and the texts.
Value convertOptions(const ConversionAccessoryProtocol& accessory, const ConversionProgressTexts& texts);
// The conversion's keys, with "renameOperator" naming the one output `fileName`.
Value saveAsOptions(const ConversionAccessoryProtocol& accessory, const std::string& fileName,
                    const ConversionProgressTexts& texts);
// "resizeOperator" (the kind's rule) and the texts.
Value resizeOptions(const BatchResizePanel& panel, const ConversionProgressTexts& texts);
// "renameOperator" (the kind's rule) and the texts.
Value renameOptions(const BatchRenamePanel& panel, const ConversionProgressTexts& texts);

// The rules the panels' choices make; null for a kind that makes none.
Ref<ImageResizeOperatorProtocol> resizeRule(const BatchResizePanel& panel);
Ref<ImageRenameOperatorProtocol> renameRule(const BatchRenamePanel& panel);

} // namespace ConversionPanelOptions

} // namespace vistel
