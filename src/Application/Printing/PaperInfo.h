#pragma once
// PaperInfo: one named size of the print window's lists (paper sizes and print sizes), in
// inches as 32-bit floats, kept in the preferences as {"PaperInfoDictionaryKeyWidth",
// "PaperInfoDictionaryKeyHeight", "PaperInfoDictionaryKeyName"}.
//
// The texts the lists show ("A4 (210.8mm x 297.2mm)", "3.5" x 5.0"") follow the measurement
// preference and the locale's separators; the page a printer gets is the standard page within
// 0.05 inch of the size, so that printers take it as it is.
//
// Thread rules: main thread only (the texts read the preferences).

#include <string>
#include <vector>

#include <QPageLayout>
#include <QSizeF>
#include <QString>

#include "ZovClass.h"
#include "Platform/Value.h"

namespace vistel {

struct PaperInfo {
    QSizeF paperSize; // inches, 32-bit float values
    std::string paperName;

    static inline constexpr const char* WidthKey = "PaperInfoDictionaryKeyWidth";
    static inline constexpr const char* HeightKey = "PaperInfoDictionaryKeyHeight";
    static inline constexpr const char* NameKey = "PaperInfoDictionaryKeyName";

    Value serrializeToDictionary() const;
    // Missing numbers read as 0, a missing name as "".
    static PaperInfo loadFromDictionary(const Value& dictionary);
    static std::vector<PaperInfo> listFromArray(const Value& array);
    static Value arrayFromList(const std::vector<PaperInfo>& list);
};

// Millimetres per inch as the lists convert: shown values divide by this (double), typed
// millimetres multiply by its 32-bit float.
inline constexpr double kInchesPerMillimetre = 0.0393700787;

class PrintSizeTexts {
public:
    ZOV_ROOT_CLASS(PrintWindow)
    // The measurement preference: true for inches.
    static bool isInchesMeasurement();
    // "210.8mm x 297.2mm" or "8.3" x 11.7"" (numbers "#,##0.0" in the current locale).
    static QString sizeStringRepresentation(const PaperInfo& paper);
    static QString printSizeStringRepresentation(const PaperInfo& paper) { return sizeStringRepresentation(paper); }
    // "A4 (210.8mm x 297.2mm)".
    static QString paperSizeStringRepresentation(const PaperInfo& paper);
};

// The printer's page for a sheet of `documentSize` inches (0 x 0: the layouts' reference page):
// the standard page size within 0.05 inch in either orientation, else a custom page of that
// size; landscape when the sheet is wider than tall; no margins.
QPageLayout pageLayoutForDocumentSize(QSizeF documentSize);

} // namespace vistel
