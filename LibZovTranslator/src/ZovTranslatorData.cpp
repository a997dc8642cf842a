#include "ZovTranslatorData.h"

#include <unordered_set>

#include "Platform/Exception.h"
#include "backends/ZovTranslatorCocoaBackend.h"
#include "backends/ZovTranslatorPbxBackend.h"
#include "backends/ZovTranslatorSelfBackend.h"
#include "backends/ZovTranslatorSourceBackend.h"

namespace vistel {

namespace {

// The descriptions of `items`, separated by ", " (an empty one adds no separator after it).
template <typename Items>
std::string descriptionList(const Items& items)
{
    std::string list;
    for (const auto& item : items) {
        list += list.empty() ? "" : ", ";
        list += item->description();
    }
    return list;
}

} // namespace

Ref<ZovTranslatorSource> ZovTranslatorSource::sourceWithString(std::string string, std::optional<std::string> context,
                                                               std::optional<std::string> comment,
                                                               std::optional<std::string> value)
{
    auto source = makeRef<ZovTranslatorSource>();
    source->string_ = std::move(string);
    source->context_ = context.value_or("");
    source->comment_ = comment.value_or("");
    source->value_ = std::move(value);
    return source;
}

std::string ZovTranslatorSource::description() const
{
    return "ZovTranslatorSource:\"" + string_ + "\"=\"" + value_.value_or("") + "\"\t[" + context_ + "]";
}

std::size_t ZovTranslatorSourceHash::hash() const noexcept
{
    std::size_t h = std::hash<std::string>()(string);
    if (context)
        h += std::hash<std::string>()(*context);
    return h;
}

void ZovTranslatorSourceSet::addSource(const Ref<ZovTranslatorSource>& source)
{
    if (!source)
        return;
    auto key = ZovTranslatorSourceHash::sourceHashWithString(source->string(), source->context());
    auto found = sources_.find(key);
    if (found == sources_.end()) {
        sources_.emplace(std::move(key), sourcesOrder_.size());
        sourcesOrder_.push_back(source);
    } else if (source->value()) {
        sourcesOrder_[found->second] = source;
    }
}

Ref<ZovTranslatorClassMethod> ZovTranslatorClassMethod::methodWithName(std::string name)
{
    return makeRef<ZovTranslatorClassMethod>(std::move(name));
}

std::string ZovTranslatorClassMethod::description() const
{
    return "ZovTranslatorClassMethod:\"" + name_ + "\"=\"(" + descriptionList(sources()) + ")\"";
}

Ref<ZovTranslatorClassCategory> ZovTranslatorClassCategory::categoryWithName(std::string name)
{
    return makeRef<ZovTranslatorClassCategory>(std::move(name));
}

Ref<ZovTranslatorClassMethod> ZovTranslatorClassCategory::addMethod(const std::string& name)
{
    return methods_.findOrAdd(name, [](const std::string& n) { return ZovTranslatorClassMethod::methodWithName(n); });
}

std::string ZovTranslatorClassCategory::description() const
{
    return "ZovTranslatorClassCategory:\"" + name_ + "\"=\"(" + descriptionList(methods()) + ")\"";
}

Ref<ZovTranslatorClass> ZovTranslatorClass::classWithName(std::string name)
{
    return makeRef<ZovTranslatorClass>(std::move(name));
}

Ref<ZovTranslatorClassCategory> ZovTranslatorClass::addCategory(const std::string& name)
{
    return categories_.findOrAdd(name,
                                 [](const std::string& n) { return ZovTranslatorClassCategory::categoryWithName(n); });
}

Ref<ZovTranslatorData> ZovTranslatorData::translatorData()
{
    return makeRef<ZovTranslatorData>();
}

Ref<ZovTranslatorClass> ZovTranslatorData::addClass(const std::string& name)
{
    return classes_.findOrAdd(name, [](const std::string& n) { return ZovTranslatorClass::classWithName(n); });
}

void ZovTranslatorData::addTranslatorData(const ZovTranslatorData& other)
{
    if (&other == this)
        return;
    for (const auto& source : other.freeSources())
        addFreeSource(source);
    for (const auto& otherClass : other.classes()) {
        auto cls = addClass(otherClass->name());
        for (const auto& otherCategory : otherClass->categories()) {
            auto category = cls->addCategory(otherCategory->name());
            for (const auto& otherMethod : otherCategory->methods()) {
                auto method = category->addMethod(otherMethod->name());
                for (const auto& source : otherMethod->sources())
                    method->addSource(source);
            }
        }
    }
}

std::vector<const ZovTranslatorBackendClass*> ZovTranslatorData::registerBackends(
    const std::vector<const ZovTranslatorBackendClass*>& backends)
{
    std::vector<const ZovTranslatorBackendClass*> registered;
    std::unordered_set<std::string> keys;
    for (const ZovTranslatorBackendClass* backend : backends) {
        ZOV_ASSERT(backend != nullptr, "Invalid backend class: (null)");
        if (!keys.insert(backend->key()).second) {
            const std::string text = "Backend with key '" + backend->key() + "' already exists";
            ZOV_RAISE(text.c_str());
        }
        registered.push_back(backend);
    }
    return registered;
}

const std::vector<const ZovTranslatorBackendClass*>& ZovTranslatorData::availableBackends()
{
    static const std::vector<const ZovTranslatorBackendClass*> backends = registerBackends({
        &backendClassOf<ZovTranslatorCocoaBackend>(),
        &backendClassOf<ZovTranslatorPbxBackend>(),
        &backendClassOf<ZovTranslatorSourceBackend>(),
        &backendClassOf<ZovTranslatorSelfBackend>(),
    });
    return backends;
}

const ZovTranslatorBackendClass* ZovTranslatorData::backendForKey(std::string_view key)
{
    for (const ZovTranslatorBackendClass* backend : availableBackends())
        if (backend->key() == key)
            return backend;
    return nullptr;
}

} // namespace vistel
