#include "Application/Printing/PaperInfo.h"

#include <cmath>

#include <QLocale>
#include <QPageSize>

#include "Application/Printing/PrintLayout.h"
#include "Preferences/Preferences.h"
#include "ZovTranslatorManager.h"

namespace vistel {

Value PaperInfo::serrializeToDictionary() const
{
    return Value::dictionary({{WidthKey, Value(double(float(paperSize.width())))},
                              {HeightKey, Value(double(float(paperSize.height())))},
                              {NameKey, Value(paperName)}});
}

PaperInfo PaperInfo::loadFromDictionary(const Value& dictionary)
{
    return PaperInfo {QSizeF(float(dictionary.get(WidthKey).toDouble()), float(dictionary.get(HeightKey).toDouble())),
                      dictionary.get(NameKey).toString()};
}

std::vector<PaperInfo> PaperInfo::listFromArray(const Value& array)
{
    std::vector<PaperInfo> list;
    for (std::size_t i = 0; i < array.size() && array.isArray(); ++i)
        list.push_back(loadFromDictionary(array.at(i)));
    return list;
}

Value PaperInfo::arrayFromList(const std::vector<PaperInfo>& list)
{
    Value array = Value::array();
    for (const PaperInfo& paper : list)
        array.append(paper.serrializeToDictionary());
    return array;
}

bool PrintSizeTexts::isInchesMeasurement()
{
    return Preferences::sharedPreferences().boolForKey(prefs::MeasurementInInches);
}

QString PrintSizeTexts::sizeStringRepresentation(const PaperInfo& paper)
{
    const bool inches = isInchesMeasurement();
    const QString unit = QString::fromStdString(inches ? ZOV_TRANSLATE_CLASS("\"", "sizeStringRepresentation:")
                                                       : ZOV_TRANSLATE_CLASS("mm", "sizeStringRepresentation:"));
    const QLocale locale;
    auto number = [&](double inchesValue) {
        return locale.toString(inches ? inchesValue : inchesValue / kInchesPerMillimetre, 'f', 1);
    };
    return QStringLiteral("%1%2 x %3%4")
        .arg(number(float(paper.paperSize.width())), unit, number(float(paper.paperSize.height())), unit);
}

QString PrintSizeTexts::paperSizeStringRepresentation(const PaperInfo& paper)
{
    return QStringLiteral("%1 (%2)").arg(QString::fromStdString(paper.paperName), sizeStringRepresentation(paper));
}

QPageLayout pageLayoutForDocumentSize(QSizeF documentSize)
{
    QSizeF sheet = documentSize.width() > 0 && documentSize.height() > 0 ? documentSize : PrintCanvas::defaultPageSize();
    const bool landscape = sheet.width() > sheet.height();
    const QSizeF portrait(std::min(sheet.width(), sheet.height()), std::max(sheet.width(), sheet.height()));
    constexpr double tolerance = 0.05;
    std::optional<QPageSize::PageSizeId> best;
    double bestDistance = tolerance;
    for (int id = 0; id <= int(QPageSize::LastPageSize); ++id) {
        if (QPageSize::PageSizeId(id) == QPageSize::Custom)
            continue;
        const QSizeF standard = QPageSize::size(QPageSize::PageSizeId(id), QPageSize::Inch);
        const double distance = std::max(std::abs(standard.width() - portrait.width()),
                                         std::abs(standard.height() - portrait.height()));
        if (distance <= bestDistance + 1e-9 && (!best || distance < bestDistance)) {
            best = QPageSize::PageSizeId(id);
            bestDistance = distance;
        }
    }
    const QPageSize page = best ? QPageSize(*best) : QPageSize(portrait, QPageSize::Inch, QString(), QPageSize::ExactMatch);
    return QPageLayout(page, landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
}

} // namespace vistel
