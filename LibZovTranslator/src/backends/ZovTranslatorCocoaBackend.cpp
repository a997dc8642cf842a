#include "ZovTranslatorCocoaBackend.h"

#include <ctime>
#include <mutex>
#include <unordered_set>

#include "Platform/AtomicFileWriter.h"
#include "Platform/Exception.h"
#include "Platform/Log.h"
#include "Preprocessor.h"
#include "StringsFile.h"
#include "TranslatorFiles.h"
#include "Utf16.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

enum CommentsLevel { LevelNone = 0, LevelMinimum = 1, LevelAll = 2 };

// Largest old table a save reads back for its translations.
constexpr std::uint64_t MaxExistingTableSize = 64u * 1024 * 1024;

std::mutex clockLock;
ZovTranslatorCocoaBackend::Clock& clockFunction()
{
    static ZovTranslatorCocoaBackend::Clock clock;
    return clock;
}

std::chrono::system_clock::time_point currentTime()
{
    std::lock_guard lock(clockLock);
    return clockFunction() ? clockFunction()() : std::chrono::system_clock::now();
}

[[noreturn]] void invalidOption(const char* key)
{
    const std::string text = std::string("Invalid argument for option: ") + key;
    ZOV_RAISE(text.c_str());
}

void addEntryFromKey(ZovTranslatorData& data, std::u16string_view key, std::u16string_view value)
{
    static constexpr std::u16string_view markers[] = {u"[class]", u"__[category]", u"__[method]", u"__[context]",
                                                     u"__[source]"};
    std::size_t starts[5];
    bool split = true;
    for (int i = 0; i < 5 && split; ++i) {
        starts[i] = key.find(markers[i]);
        split = starts[i] != std::u16string_view::npos && (i == 0 || starts[i] >= starts[i - 1] + markers[i - 1].size());
    }
    if (!split) {
        data.addFreeSource(ZovTranslatorSource::sourceWithString(utf16::toUtf8(key), std::nullopt, std::nullopt,
                                                                 utf16::toUtf8(value)));
        return;
    }
    const auto part = [&](int i) {
        const std::size_t begin = starts[i] + markers[i].size();
        const std::size_t end = i == 4 ? key.size() : starts[i + 1];
        return utf16::toUtf8(key.substr(begin, end - begin));
    };
    auto category = data.addClass(part(0))->addCategory(part(1));
    category->addMethod(part(2))->addSource(
        ZovTranslatorSource::sourceWithString(part(4), part(3), std::nullopt, utf16::toUtf8(value)));
}

} // namespace

std::string ZovTranslatorCocoaBackend::keyForClass(std::string_view cls, std::string_view category,
                                                   std::string_view method, std::string_view context,
                                                   std::string_view source)
{
    return ZovTranslatorManager::keyForClass(cls, category, method, context, source);
}

std::string ZovTranslatorCocoaBackend::description()
{
    return ZOV_TRANSLATE_CLASS("Cocoa .strings files", "description");
}

bool ZovTranslatorCocoaBackend::load(Ref<ZovTranslatorData>& data, const std::string& path, const Value&)
{
    data = ZovTranslatorData::translatorData();
    auto bytes = translator_files::readFile(path, 1, translator_files::MaxTableFileSize);
    if (!bytes)
        return false;
    auto text = utf16::fromUtf8(*bytes);
    if (!text)
        return false;
    const std::u16string body = Preprocessor::preprocessor().createPreprocessedString(std::u16string_view(*text));
    return parsePreprocessedBodyString(*data, body);
}

bool ZovTranslatorCocoaBackend::parsePreprocessedBodyString(ZovTranslatorData& data, std::u16string_view text)
{
    using namespace text_units;
    std::size_t pos = 0;
    const auto readQuoted = [&](std::u16string_view& out) {
        if (pos >= text.size() || text[pos] != '"')
            return false;
        const std::size_t end = endOfQuoted(text, pos);
        if (end == std::u16string_view::npos)
            return false;
        out = text.substr(pos + 1, end - pos - 2);
        pos = end;
        return true;
    };
    const auto expect = [&](char16_t c) {
        if (pos >= text.size() || text[pos] != c)
            return false;
        ++pos;
        return true;
    };
    for (;;) {
        pos = skipSpace(text, pos);
        if (pos >= text.size())
            return true;
        std::u16string_view key, value;
        if (!readQuoted(key))
            return false;
        pos = skipSpace(text, pos);
        if (!expect('='))
            return false;
        pos = skipSpace(text, pos);
        if (!readQuoted(value))
            return false;
        pos = skipSpace(text, pos);
        if (!expect(';'))
            return false;
        addEntryFromKey(data, key, value);
    }
}

std::string ZovTranslatorCocoaBackend::headerDate(std::chrono::system_clock::time_point when)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local {};
    ::localtime_r(&seconds, &local);
    char buffer[64];
    const std::size_t length = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S %z", &local);
    return std::string(buffer, length);
}

void ZovTranslatorCocoaBackend::setClock(Clock clock)
{
    std::lock_guard lock(clockLock);
    clockFunction() = std::move(clock);
}

std::string ZovTranslatorCocoaBackend::tableText(const ZovTranslatorData& data, const StringsDictionary* existing,
                                                 bool saveCategory, int level)
{
    std::string out;
    const auto entryLine = [](std::string_view key, std::string_view value) {
        std::string line;
        line.reserve(key.size() + value.size() + 9);
        line.append("\"").append(key).append("\" = \"").append(value).append("\";\n");
        return line;
    };

    if (level != LevelNone)
        out += "/* This file was generated by localizer on " + headerDate(currentTime()) + " */\n";

    for (const auto& source : data.freeSources()) {
        if (level != LevelNone)
            out += "/* Comment: " + source->comment() + " */\n";
        out += entryLine(source->string(), source->value().value_or(""));
    }

    for (const auto& cls : data.classes()) {
        const std::string title = "==== Class: " + cls->name() + " ====";
        const std::string rule(utf16::unitCount(title), '=');
        if (level != LevelNone)
            out += "\n\n/* " + rule + " */\n/* " + title + " */\n/* " + rule + " */\n";

        std::vector<Ref<ZovTranslatorClassCategory>> categories;
        if (auto main = cls->category(""))
            categories.push_back(main);
        for (const auto& category : cls->categories())
            if (!category->name().empty())
                categories.push_back(category);

        std::vector<std::string> lines;
        std::unordered_set<std::string> entryLines;
        for (const auto& category : categories) {
            if (level == LevelAll) {
                lines.emplace_back("\n");
                lines.push_back(category->name().empty()
                                    ? "/* Categorized class: " + cls->name() + " */\n"
                                    : "/* Categorized class: " + cls->name() + " (" + category->name() + ") */\n");
            }
            for (const auto& method : category->methods()) {
                if (level == LevelAll) {
                    lines.emplace_back("\n");
                    lines.push_back("/* Method: " + method->name() + " */\n");
                }
                for (const auto& source : method->sources()) {
                    if (level != LevelNone && !source->comment().empty())
                        lines.push_back("/* Comment: " + source->comment() + " */\n");
                    const std::string key = keyForClass(cls->name(), saveCategory ? category->name() : "",
                                                        method->name(), source->context(), source->string());
                    std::string value;
                    const std::string* kept = nullptr;
                    if (existing) {
                        // The old table was read with its escapes resolved; resolve the key's
                        // the same way, and write the kept translation escaped again.
                        auto unescaped = utf16::fromUtf8(key);
                        auto found = unescaped ? existing->find(unescapeStringsText(*unescaped)) : existing->end();
                        if (found != existing->end())
                            kept = &found->second;
                    }
                    if (kept)
                        value = escapeStringsText(*kept);
                    else
                        value = source->value().value_or(source->string());
                    std::string line = entryLine(key, value);
                    if (entryLines.insert(line).second)
                        lines.push_back(std::move(line));
                }
            }
        }
        for (const auto& line : lines)
            out += line;
    }
    return out;
}

bool ZovTranslatorCocoaBackend::save(const Ref<ZovTranslatorData>& data, const std::string& path,
                                     const Value& options)
{
    bool saveCategory = false;
    int level = LevelMinimum;
    if (options.isDictionary()) {
        const Value& category = options.get(ZovTranslatorCocoaBackendSaveCategoryOption);
        if (!category.isNull()) {
            if (!category.isNumber())
                invalidOption(ZovTranslatorCocoaBackendSaveCategoryOption);
            saveCategory = category.toBool();
        }
        const Value& comments = options.get(ZovTranslatorCocoaBackendCommentsLevelOption);
        if (!comments.isNull()) {
            if (!comments.isString())
                invalidOption(ZovTranslatorCocoaBackendCommentsLevelOption);
            const std::string& name = comments.asString();
            if (name == ZovTranslatorCocoaBackendCommentsLevelNone)
                level = LevelNone;
            else if (name == ZovTranslatorCocoaBackendCommentsLevelMinimum)
                level = LevelMinimum;
            else if (name == ZovTranslatorCocoaBackendCommentsLevelAll)
                level = LevelAll;
            else
                invalidOption(ZovTranslatorCocoaBackendCommentsLevelOption);
        }
    }
    if (!data)
        return false;

    std::optional<StringsDictionary> existing;
    if (translator_files::fileSize(path)) {
        auto bytes = translator_files::readFile(path, 0, MaxExistingTableSize);
        if (!bytes) {
            ZovLog("ZovTranslatorCocoaBackend::save cannot read the existing table " + path);
            return false;
        }
        std::string error;
        existing = parseStringsFile(*bytes, &error);
        if (!existing) {
            ZovLog("ZovTranslatorCocoaBackend::save cannot parse the existing table " + path + ": " + error);
            return false;
        }
    }
    const std::string text = tableText(*data, existing ? &*existing : nullptr, saveCategory, level);
    if (const AtomicWriteResult result = writeFileAtomically(path, text); !result) {
        ZovLog("ZovTranslatorCocoaBackend::save " + result.cause);
        return false;
    }
    return true;
}

} // namespace vistel
