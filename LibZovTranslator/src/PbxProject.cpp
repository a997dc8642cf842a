#include "PbxProject.h"

#include <cstring>

#include "Platform/Exception.h"
#include "Preprocessor.h"
#include "TranslatorFiles.h"
#include "Utf16.h"

namespace vistel {

PbxItem PbxItem::itemWithString(std::string string)
{
    return PbxItem(String, Value(std::move(string)), "");
}

PbxItem PbxItem::itemWithArray(Value::ArrayType array)
{
    return PbxItem(Array, Value(std::move(array)), "");
}

std::optional<PbxItem> PbxItem::itemWithDictionary(Value::DictionaryType dictionary)
{
    std::string isa;
    if (auto found = dictionary.find("isa"); found != dictionary.end()) {
        if (!found->second.isString())
            return std::nullopt;
        isa = found->second.asString();
    }
    return PbxItem(Dictionary, Value(std::move(dictionary)), std::move(isa));
}

std::optional<PbxItem> PbxItem::itemWithValue(Value value)
{
    if (value.isString())
        return PbxItem(String, std::move(value), "");
    if (value.isArray())
        return PbxItem(Array, std::move(value), "");
    if (value.isDictionary()) {
        const Value& isa = value.get("isa");
        if (!isa.isNull() && !isa.isString())
            return std::nullopt;
        std::string isaText = isa.toString();
        return PbxItem(Dictionary, std::move(value), std::move(isaText));
    }
    return std::nullopt;
}

const std::string& PbxItem::string() const
{
    ZOV_ASSERT(isString(), "Not a string");
    return data_.asString();
}

std::vector<PbxItem> PbxItem::array() const
{
    ZOV_ASSERT(isArray(), "Not an array");
    std::vector<PbxItem> items;
    for (const Value& value : data_.asArray())
        if (auto item = itemWithValue(value))
            items.push_back(std::move(*item));
    return items;
}

const Value::DictionaryType& PbxItem::dictionary() const
{
    ZOV_ASSERT(isDictionary(), "Not a dictionary");
    return data_.asDictionary();
}

std::optional<PbxItem> PbxItem::itemForKey(std::string_view key) const
{
    ZOV_ASSERT(isDictionary(), "Not a dictionary");
    if (!data_.contains(key))
        return std::nullopt;
    return itemWithValue(data_.get(key));
}

Ref<PbxPair> PbxPair::pairWithKey(std::string key, PbxItem item)
{
    return makeRef<PbxPair>(std::move(key), std::move(item));
}

namespace {

using namespace text_units;
constexpr std::size_t npos = std::u16string_view::npos;

// The item grammar over [pos, limit) of the text.
class BodyParser {
public:
    explicit BodyParser(std::u16string_view text) : text_(text) { }

    std::optional<Value> root()
    {
        std::size_t pos = skipSpace(text_, 0);
        if (pos >= text_.size() || text_[pos] != '{')
            return std::nullopt;
        Value value;
        if (!parseDictionary(pos, text_.size(), value, 1))
            return std::nullopt;
        return value;
    }

private:
    std::u16string_view text_;

    std::size_t skip(std::size_t pos, std::size_t limit) const
    {
        while (pos < limit && isSpace(text_[pos]))
            ++pos;
        return pos;
    }

    // The balanced group at `pos`, searched only up to `limit`.
    std::size_t groupEnd(std::size_t pos, std::size_t limit) const
    {
        return endOfGroup(text_.substr(0, limit), pos);
    }

    bool parseItem(std::size_t& pos, std::size_t limit, Value& out, std::size_t depth)
    {
        if (pos < limit && text_[pos] == '(')
            return parseArray(pos, limit, out, depth + 1);
        if (pos < limit && text_[pos] == '{')
            return parseDictionary(pos, limit, out, depth + 1);
        return parseString(pos, limit, out);
    }

    bool parseString(std::size_t& pos, std::size_t limit, Value& out)
    {
        if (pos < limit && text_[pos] == '"') {
            const std::size_t end = endOfQuoted(text_.substr(0, limit), pos);
            if (end == npos)
                return false;
            out = Value(utf16::toUtf8(text_.substr(pos + 1, end - pos - 2)));
            pos = skip(end, limit);
            return true;
        }
        const std::size_t start = pos;
        while (pos < limit && !isSpace(text_[pos]) && text_[pos] != ';' && text_[pos] != ',')
            ++pos;
        out = Value(utf16::toUtf8(text_.substr(start, pos - start)));
        pos = skip(pos, limit);
        return true;
    }

    bool parseArray(std::size_t& pos, std::size_t limit, Value& out, std::size_t depth)
    {
        if (depth > PbxProject::MaxNesting)
            return false;
        const std::size_t end = groupEnd(pos, limit);
        if (end == npos)
            return false;
        const std::size_t inner = end - 1; // the closing parenthesis
        Value::ArrayType items;
        std::size_t p = pos + 1;
        for (;;) {
            p = skip(p, inner);
            if (p >= inner)
                break;
            Value item;
            if (!parseItem(p, inner, item, depth))
                return false;
            items.push_back(std::move(item));
            p = skip(p, inner);
            if (p >= inner || text_[p] != ',')
                return false;
            ++p;
        }
        out = Value(std::move(items));
        pos = end;
        return true;
    }

    bool parseDictionary(std::size_t& pos, std::size_t limit, Value& out, std::size_t depth)
    {
        if (depth > PbxProject::MaxNesting)
            return false;
        const std::size_t end = groupEnd(pos, limit);
        if (end == npos)
            return false;
        const std::size_t inner = end - 1; // the closing brace
        Value::DictionaryType entries;
        std::size_t p = pos + 1;
        for (;;) {
            p = skip(p, inner);
            if (p >= inner)
                break;
            while (p < inner && !isNameChar(text_[p]))
                ++p;
            const std::size_t keyStart = p;
            while (p < inner && isNameChar(text_[p]))
                ++p;
            if (p == keyStart)
                return false;
            std::string key = utf16::toUtf8(text_.substr(keyStart, p - keyStart));
            p = skip(p, inner);
            if (p >= inner || text_[p] != '=')
                return false;
            p = skip(p + 1, inner);
            Value item;
            if (!parseItem(p, inner, item, depth))
                return false;
            p = skip(p, inner);
            if (p >= inner || text_[p] != ';')
                return false;
            ++p;
            entries.insert_or_assign(std::move(key), std::move(item));
        }
        if (auto isa = entries.find("isa"); isa != entries.end() && !isa->second.isString())
            return false;
        out = Value(std::move(entries));
        pos = end;
        return true;
    }
};

// The first line of a project file is a comment holding !$*UTF8*$!.
bool hasUtf8Header(const std::string& path)
{
    auto bytes = translator_files::readFile(path, 1, translator_files::MaxTableFileSize);
    if (!bytes)
        return false;
    std::string head = bytes->substr(0, 1024);
    head.back() = '\0'; // the last byte read does not count
    const char* text = head.c_str();
    if (!std::strchr(text, '\n'))
        return false;
    const char* open = std::strstr(text, "!$*");
    const char* close = std::strstr(text, "*$!");
    if (!open || !close || close < open + 3)
        return false;
    return std::string_view(open + 3, static_cast<std::size_t>(close - (open + 3))) == "UTF8";
}

} // namespace

std::optional<Value> PbxProject::parseBody(std::u16string_view text)
{
    return BodyParser(text).root();
}

Ref<PbxProject> PbxProject::projectWithFileName(std::string fileName)
{
    auto project = makeRef<PbxProject>(std::move(fileName));
    if (!project->parse())
        return nullptr;
    return project;
}

std::optional<PbxItem> PbxProject::itemForKey(std::string_view key) const
{
    if (!rootItem_)
        return std::nullopt;
    return rootItem_->itemForKey(key);
}

bool PbxProject::parse()
{
    const auto size = translator_files::fileSize(fileName_);
    if (!size || *size < 1 || *size > translator_files::MaxTableFileSize)
        return false;
    if (!hasUtf8Header(fileName_))
        return false;
    auto bytes = translator_files::readFile(fileName_, 1, translator_files::MaxTableFileSize);
    if (!bytes)
        return false;
    auto text = utf16::fromUtf8(*bytes);
    if (!text)
        return false;
    return parsePreprocessedBodyString(Preprocessor::preprocessor().createPreprocessedString(std::u16string_view(*text)));
}

bool PbxProject::parsePreprocessedBodyString(std::u16string_view text)
{
    auto root = parseBody(text);
    if (!root)
        return false;
    rootItem_ = PbxItem::itemWithValue(std::move(*root));
    return rootItem_.has_value();
}

} // namespace vistel
