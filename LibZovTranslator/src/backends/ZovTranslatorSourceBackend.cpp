#include "ZovTranslatorSourceBackend.h"

#include <mutex>

#include "Platform/Formatter.h"
#include "Preprocessor.h"
#include "TranslatorFiles.h"
#include "Utf16.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

using namespace text_units;
constexpr std::size_t npos = std::u16string_view::npos;

std::mutex lastErrorLock;
std::optional<ZovTranslatorError> lastErrorValue;

void setLastError(std::string message)
{
    std::lock_guard lock(lastErrorLock);
    lastErrorValue = ZovTranslatorError {ZovTranslatorSourceBackend::ErrorDomain, 1, std::move(message)};
}

bool isAllSpace(std::u16string_view text)
{
    return skipSpace(text, 0) == text.size();
}

// Position after the marker occurrence at `at` when no name character follows it; otherwise
// npos and `next` is set past the longer name.
std::size_t markerEnd(std::u16string_view body, std::size_t at, std::size_t markerLength, std::size_t& next)
{
    std::size_t after = at + markerLength;
    if (after < body.size() && isNameChar(body[after])) {
        while (after < body.size() && isNameChar(body[after]))
            ++after;
        next = after;
        return npos;
    }
    return after;
}

// Text of the parenthesised argument group at `open`, leading white space skipped; `end` gets
// the position after the group. False when the group is unbalanced.
bool argumentOf(std::u16string_view body, std::size_t open, std::u16string_view& argument, std::size_t& end)
{
    end = endOfGroup(body, open);
    if (end == npos)
        return false;
    argument = body.substr(open + 1, end - open - 2);
    argument.remove_prefix(skipSpace(argument, 0));
    return true;
}

struct FoundSource {
    std::u16string_view text;
    std::optional<std::u16string_view> comment;
};

enum class MarkerCall { Found, NoMore, Malformed };

// The next call of `marker` at or after `i`: its argument, and `i` moved past the call.
// Malformed when the marker is not followed by a balanced parenthesised group.
MarkerCall nextMarkerCall(std::u16string_view body, std::u16string_view marker, std::size_t& i,
                          std::u16string_view& argument)
{
    while ((i = findOutsideQuotes(body, marker, i)) != npos) {
        std::size_t next = 0;
        const std::size_t after = markerEnd(body, i, marker.size(), next);
        if (after == npos) {
            i = next;
            continue;
        }
        const std::size_t open = skipSpace(body, after);
        if (open >= body.size() || body[open] != '(')
            return MarkerCall::Malformed;
        std::size_t end = 0;
        if (!argumentOf(body, open, argument, end))
            return MarkerCall::Malformed;
        i = end;
        return MarkerCall::Found;
    }
    return MarkerCall::NoMore;
}

// ZovTranslate(@"text"); false when a marker call is malformed.
bool searchPlainMarkers(std::u16string_view body, std::vector<FoundSource>& found)
{
    std::size_t i = 0;
    std::u16string_view argument;
    for (;;) {
        const MarkerCall call = nextMarkerCall(body, u"ZovTranslate", i, argument);
        if (call == MarkerCall::NoMore)
            return true;
        if (call == MarkerCall::Malformed || argument.empty())
            return false;
        if (argument[0] == '@') {
            if (argument.size() < 2 || argument[1] != '"')
                return false;
            const std::size_t close = endOfQuoted(argument, 1);
            if (close == npos || !isAllSpace(argument.substr(close)))
                return false;
            const std::u16string_view text = argument.substr(2, close - 3);
            if (!text.empty())
                found.push_back({text, std::nullopt});
        }
    }
}

// ZovTranslateWithComment(@"text", @"comment"); a malformed call ends the search quietly.
void searchCommentedMarkers(std::u16string_view body, std::vector<FoundSource>& found)
{
    std::size_t i = 0;
    std::u16string_view argument;
    while (nextMarkerCall(body, u"ZovTranslateWithComment", i, argument) == MarkerCall::Found) {
        if (argument.size() < 7 || argument[0] != '@' || argument[1] != '"')
            return;
        const std::size_t close1 = endOfQuoted(argument, 1);
        if (close1 == npos)
            return;
        std::size_t k = skipSpace(argument, close1);
        if (argument.size() - k < 4 || argument[k] != ',')
            return;
        k = skipSpace(argument, k + 1);
        if (argument.size() - k < 3 || argument[k] != '@' || argument[k + 1] != '"')
            return;
        const std::size_t close2 = endOfQuoted(argument, k + 1);
        if (close2 == npos || !isAllSpace(argument.substr(close2)))
            return;
        const std::u16string_view text = argument.substr(2, close1 - 3);
        if (!text.empty())
            found.push_back({text, argument.substr(k + 2, close2 - k - 3)});
    }
}

class SourceParser {
public:
    SourceParser(ZovTranslatorData& data, std::u16string_view text) : data_(data), text_(text) { }

    bool run()
    {
        static constexpr std::u16string_view implementation = u"@implementation";
        for (;;) {
            pos_ = findOutsideQuotes(text_, implementation, pos_);
            if (pos_ == npos)
                break;
            pos_ += implementation.size();
            while (pos_ < text_.size() && !isNameChar(text_[pos_]))
                ++pos_;
            const std::u16string_view className = readName();
            if (className.empty()) {
                setError(4); // the text ends before the class name
                break;
            }
            pos_ = skipSpace(text_, pos_);
            if (pos_ < text_.size() && text_[pos_] == '<') {
                const std::size_t end = endOfGroup(text_, pos_);
                if (end == npos)
                    break;
                pos_ = end;
            }
            pos_ = skipSpace(text_, pos_);
            std::u16string_view categoryName;
            if (pos_ < text_.size() && text_[pos_] == '(') {
                ++pos_;
                while (pos_ < text_.size() && !isNameChar(text_[pos_]))
                    ++pos_;
                categoryName = readName();
                pos_ = skipSpace(text_, pos_);
                if (pos_ >= text_.size() || text_[pos_] != ')')
                    break;
                ++pos_;
            }
            auto category = data_.addClass(utf16::toUtf8(className))->addCategory(utf16::toUtf8(categoryName));
            if (error_ == 0)
                readMembers(*category);
            if (pos_ >= text_.size())
                break;
        }
        return error_ == 0;
    }

private:
    ZovTranslatorData& data_;
    std::u16string_view text_;
    std::size_t pos_ = 0;
    int error_ = 0;

    void setError(int code)
    {
        if (error_ == 0)
            error_ = code;
    }

    std::u16string_view readName()
    {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && isNameChar(text_[pos_]))
            ++pos_;
        return text_.substr(start, pos_ - start);
    }

    void skipSpaceAndSemicolons()
    {
        while (pos_ < text_.size() && (isSpace(text_[pos_]) || text_[pos_] == ';'))
            ++pos_;
    }

    void readMembers(ZovTranslatorClassCategory& category)
    {
        while (error_ == 0) {
            pos_ = skipSpace(text_, pos_);
            if (pos_ >= text_.size()) {
                setError(4); // no "@end"
                return;
            }
            const char16_t c = text_[pos_];
            if (c == '-' || c == '+') {
                readMethod(category);
            } else if (c == '@') {
                if (text_.size() - pos_ < 4 || text_.substr(pos_, 4) != u"@end") {
                    setError(2);
                    return;
                }
                pos_ += 4;
                return;
            } else if (c == '(' || c == '{') {
                const std::size_t end = endOfGroup(text_, pos_);
                pos_ = end == npos ? text_.size() : end;
            } else {
                ++pos_;
            }
        }
    }

    // The parameter part after a colon: "(type) name", then white space and semicolons.
    bool readParameter()
    {
        pos_ = skipSpace(text_, pos_);
        if (pos_ >= text_.size() || text_[pos_] != '(')
            return false;
        const std::size_t end = endOfGroup(text_, pos_);
        if (end == npos)
            return false;
        pos_ = end;
        while (pos_ < text_.size() && !isNameChar(text_[pos_]))
            ++pos_;
        readName();
        skipSpaceAndSemicolons();
        if (pos_ >= text_.size())
            return false;
        if (text_[pos_] == ',') { // variadic tail
            const std::size_t brace = text_.find(u'{', pos_);
            if (brace == npos)
                return false;
            pos_ = brace;
        }
        return true;
    }

    void readMethod(ZovTranslatorClassCategory& category)
    {
        ++pos_; // '-' or '+'
        pos_ = skipSpace(text_, pos_);
        if (pos_ >= text_.size() || text_[pos_] != '(')
            return setError(2);
        const std::size_t returnEnd = endOfGroup(text_, pos_);
        if (returnEnd == npos)
            return setError(2);
        pos_ = returnEnd;

        std::u16string selector;
        int parts = 0;
        for (;;) {
            pos_ = skipSpace(text_, pos_);
            if (pos_ >= text_.size())
                return setError(2);
            if (text_[pos_] == '{' && parts > 0)
                break;
            if (text_[pos_] == ':') {
                if (parts == 0)
                    return setError(2);
                ++pos_;
                selector.push_back(u':');
                ++parts;
                if (!readParameter())
                    return setError(2);
                continue;
            }
            if (text_[pos_] == ';') {
                while (pos_ < text_.size() && !isNameChar(text_[pos_]) && text_[pos_] != '{' && text_[pos_] != ':'
                       && text_[pos_] != ',')
                    ++pos_;
            }
            if (pos_ >= text_.size() || !isNameChar(text_[pos_]))
                return setError(2);
            selector.append(readName());
            ++parts;
            skipSpaceAndSemicolons();
            if (pos_ >= text_.size())
                return setError(2);
            if (text_[pos_] == '{') {
                if (parts > 1)
                    return setError(2); // a second bare word
                break;
            }
            if (text_[pos_] != ':')
                return setError(2);
            ++pos_;
            selector.push_back(u':');
            if (!readParameter())
                return setError(2);
        }

        const std::size_t bodyEnd = endOfGroup(text_, pos_);
        if (bodyEnd == npos)
            return setError(2);
        const std::u16string_view body = text_.substr(pos_, bodyEnd - pos_);
        pos_ = bodyEnd;

        auto method = category.addMethod(utf16::toUtf8(selector));
        std::vector<FoundSource> found;
        if (!searchPlainMarkers(body, found))
            return setError(3);
        searchCommentedMarkers(body, found);
        for (const FoundSource& source : found) {
            std::optional<std::string> comment;
            if (source.comment)
                comment = utf16::toUtf8(*source.comment);
            method->addSource(ZovTranslatorSource::sourceWithString(utf16::toUtf8(source.text), std::nullopt,
                                                                    std::move(comment), std::nullopt));
        }
    }
};

} // namespace

std::string ZovTranslatorSourceBackend::description()
{
    return ZOV_TRANSLATE_CLASS("Objective-C source file", "description");
}

std::optional<ZovTranslatorError> ZovTranslatorSourceBackend::lastError()
{
    std::lock_guard lock(lastErrorLock);
    return lastErrorValue;
}

bool ZovTranslatorSourceBackend::load(Ref<ZovTranslatorData>& data, const std::string& path, const Value&)
{
    data = ZovTranslatorData::translatorData();
    const auto size = translator_files::fileSize(path);
    if (!size) {
        setLastError(ZOV_TRANSLATE_CLASS("Cannot open source file", "load:path:options:"));
        return false;
    }
    if (*size == 0 || *size > translator_files::MaxSourceFileSize) {
        setLastError(ZOV_TRANSLATE_CLASS("File is too big", "load:path:options:"));
        return false;
    }
    auto bytes = translator_files::readFile(path, 1, translator_files::MaxSourceFileSize);
    auto text = bytes ? utf16::fromUtf8(*bytes) : std::nullopt;
    if (!text) {
        // 4 is the platform's number of the UTF-8 encoding.
        setLastError(format(ZOV_TRANSLATE_CLASS("Cannot load source file with encoding: %d", "load:path:options:"), 4));
        return false;
    }
    const std::u16string body = Preprocessor::preprocessor().createPreprocessedString(std::u16string_view(*text));
    return parsePreprocessedSourceString(*data, body);
}

bool ZovTranslatorSourceBackend::parsePreprocessedSourceString(ZovTranslatorData& data, std::u16string_view text)
{
    return SourceParser(data, text).run();
}

} // namespace vistel
