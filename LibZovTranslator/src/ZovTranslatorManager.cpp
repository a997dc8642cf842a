#include "ZovTranslatorManager.h"

#include <algorithm>

#include "LocalizedStrings.h"
#include "Platform/Exception.h"
#include "TranslatorFiles.h"
#include "TranslatorResources.h"

namespace vistel {

const ZovClass& ZovClass::nsObject() noexcept
{
    static const ZovClass root("NSObject", nullptr);
    return root;
}

Ref<ZovTranslator> ZovTranslator::translatorWithData(std::string data)
{
    return makeRef<ZovTranslator>(std::move(data));
}

Ref<ZovTranslator> ZovTranslator::translatorWithContentsOfFile(const std::string& path)
{
    auto bytes = translator_files::readFile(path, 0, UINT64_MAX);
    if (!bytes)
        return nullptr;
    return translatorWithData(std::move(*bytes));
}

std::string ZovTranslator::translate(std::string_view) const
{
    return {};
}

ZovTranslatorManager& ZovTranslatorManager::defaultTranslatorManager()
{
    // Leaked on purpose: workers may translate while the process exits.
    static ZovTranslatorManager* manager = translatorManager().leak();
    return *manager;
}

Ref<ZovTranslatorManager> ZovTranslatorManager::translatorManager()
{
    return makeRef<ZovTranslatorManager>();
}

ZovTranslatorManager::~ZovTranslatorManager() = default;

std::string ZovTranslatorManager::currentBackend() const
{
    return backendType_.load(std::memory_order_acquire) == 1 ? ZovTranslatorBackend_Self : ZovTranslatorBackend_Cocoa;
}

void ZovTranslatorManager::setCurrentBackend(std::string_view key)
{
    if (key == ZovTranslatorBackend_Self)
        backendType_.store(1, std::memory_order_release);
    else if (key == ZovTranslatorBackend_Cocoa)
        backendType_.store(0, std::memory_order_release);
    else
        ZOV_RAISE("Invalid backend key");
}

void ZovTranslatorManager::setStringTables(std::shared_ptr<const LocalizedStrings> tables)
{
    // Mark the default as made, so a later first lookup does not replace these tables.
    std::call_once(defaultTablesOnce_, [] { });
    tables_.store(std::move(tables), std::memory_order_release);
}

std::shared_ptr<const LocalizedStrings> ZovTranslatorManager::stringTables() const
{
    std::call_once(defaultTablesOnce_, [this] {
        tables_.store(std::make_shared<const LocalizedStrings>(translator_resources::resourcesDirectory(),
                                                               translator_resources::preferredLanguages(),
                                                               translator_resources::developmentRegion()),
                      std::memory_order_release);
    });
    return tables_.load(std::memory_order_acquire);
}

std::string ZovTranslatorManager::keyForClass(std::string_view cls, std::string_view category,
                                              std::string_view method, std::string_view context,
                                              std::string_view source)
{
    std::string key;
    key.reserve(48 + cls.size() + category.size() + method.size() + context.size() + source.size());
    key.append("[class]").append(cls);
    key.append("__[category]").append(category);
    key.append("__[method]").append(method);
    key.append("__[context]").append(context);
    key.append("__[source]").append(source);
    return key;
}

std::string ZovTranslatorManager::translate(std::string_view source, const ZovClass& cls,
                                            std::string_view selector) const
{
    switch (backendType_.load(std::memory_order_acquire)) {
    case 1:
        // No lookup: the English text itself, so that texts shown before the application
        // selects its backend (and texts of tools) are never blank.
        return std::string(source);
    case 0: {
        const auto tables = stringTables();
        const std::string* answer = nullptr;
        for (const ZovClass* level = &cls; tables && level && !level->isRoot(); level = level->superclass()) {
            answer = tables->localizedString(
                keyForClass(level->originalClassName(), "", selector, "", source));
            if (answer)
                break; // the first entry found wins, even an empty one
        }
        if (!answer || answer->empty() || *answer == NotFoundMarker)
            return std::string(source);
        return *answer;
    }
    default:
        ZOV_RAISE("Must not reach here");
    }
}

std::string ZovTranslatorManager::translate(std::string_view source, const ZovClass& cls,
                                            std::string_view selector, const char*, int) const
{
    return translate(source, cls, selector);
}

void ZovTranslatorManager::addTranslator(Ref<ZovTranslator> translator, const void*)
{
    std::lock_guard lock(translatorsLock_);
    translators_.push_back(std::move(translator));
}

void ZovTranslatorManager::removeTranslator(const Ref<ZovTranslator>& translator)
{
    std::lock_guard lock(translatorsLock_);
    translators_.erase(std::remove(translators_.begin(), translators_.end(), translator), translators_.end());
}

std::vector<Ref<ZovTranslator>> ZovTranslatorManager::translators() const
{
    std::lock_guard lock(translatorsLock_);
    return translators_;
}

} // namespace vistel
