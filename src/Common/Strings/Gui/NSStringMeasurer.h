#pragma once
// NSStringMeasurer: measures many texts with one reusable layout, instead of building the text
// system for every string.
//
// Needs a QGuiApplication (the program's main() makes one). One measurer belongs to one thread
// at a time; separate measurers may be used on separate threads.

#include <memory>
#include <string_view>

#include <QFont>
#include <QSizeF>

class QTextDocument;

namespace vistel {

class NSStringMeasurer {
public:
    // Measures in `font`, or in the default application font when null. The layout is
    // unbounded both ways: texts never wrap except at their own line breaks.
    explicit NSStringMeasurer(const QFont* font = nullptr);
    ~NSStringMeasurer();
    NSStringMeasurer(const NSStringMeasurer&) = delete;
    NSStringMeasurer& operator=(const NSStringMeasurer&) = delete;

    // Replaces the whole text with `text` (UTF-8), lays it out and answers the size of the
    // rectangle its lines use.
    QSizeF measureString(std::string_view text);

private:
    std::unique_ptr<QTextDocument> document_;
};

} // namespace vistel
