#include "Common/Strings/Gui/NSStringMeasurer.h"

#include <QAbstractTextDocumentLayout>
#include <QString>
#include <QTextDocument>
#include <QTextOption>

namespace vistel {

NSStringMeasurer::NSStringMeasurer(const QFont* font) : document_(std::make_unique<QTextDocument>())
{
    document_->setDocumentMargin(0);
    document_->setUndoRedoEnabled(false);
    if (font)
        document_->setDefaultFont(*font);
    QTextOption option = document_->defaultTextOption();
    option.setWrapMode(QTextOption::NoWrap);
    document_->setDefaultTextOption(option);
}

NSStringMeasurer::~NSStringMeasurer() = default;

QSizeF NSStringMeasurer::measureString(std::string_view text)
{
    document_->setPlainText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    return document_->documentLayout()->documentSize();
}

} // namespace vistel
