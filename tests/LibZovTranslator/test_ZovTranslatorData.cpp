// The translation tree, its merge, and the backend registry.

#include <gtest/gtest.h>

#include "Platform/Exception.h"
#include "ZovTranslatorData.h"
#include "ZovTranslatorManager.h"

using namespace vistel;

namespace {

Ref<ZovTranslatorSource> source(const char* text, std::optional<std::string> value = std::nullopt,
                                std::optional<std::string> context = std::nullopt)
{
    return ZovTranslatorSource::sourceWithString(text, std::move(context), std::nullopt, std::move(value));
}

std::vector<std::string> describe(const std::vector<Ref<ZovTranslatorSource>>& sources)
{
    std::vector<std::string> out;
    for (const auto& s : sources)
        out.push_back(s->description());
    return out;
}

} // namespace

TEST(ZovTranslatorSource, MissingContextAndCommentAreEmpty)
{
    auto s = ZovTranslatorSource::sourceWithString("Hello", std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(s->context(), "");
    EXPECT_EQ(s->comment(), "");
    EXPECT_FALSE(s->value());
    EXPECT_EQ(source("Hi", "Hallo", "menu")->description(), "ZovTranslatorSource:\"Hi\"=\"Hallo\"\t[menu]");
}

TEST(ZovTranslatorSourceHash, EqualityDistinguishesAbsentContext)
{
    using H = ZovTranslatorSourceHash;
    EXPECT_EQ(H::sourceHashWithString("a", std::nullopt), H::sourceHashWithString("a", std::nullopt));
    EXPECT_EQ(H::sourceHashWithString("a", "m"), H::sourceHashWithString("a", "m"));
    EXPECT_FALSE(H::sourceHashWithString("a", std::nullopt) == H::sourceHashWithString("a", ""));
    EXPECT_FALSE(H::sourceHashWithString("a", "m") == H::sourceHashWithString("b", "m"));
    EXPECT_EQ(H::sourceHashWithString("a", "m").hash(), H::sourceHashWithString("a", "m").hash());
}

TEST(ZovTranslatorSourceSet, AddRules)
{
    ZovTranslatorSourceSet set = ZovTranslatorSourceSet::sourceSet();
    set.addSource(source("A"));
    set.addSource(source("B"));
    set.addSource(source("A")); // again without a value: unchanged
    EXPECT_EQ(describe(set.sources()),
              (std::vector<std::string> {"ZovTranslatorSource:\"A\"=\"\"\t[]", "ZovTranslatorSource:\"B\"=\"\"\t[]"}));
    set.addSource(source("A", "1")); // with a value: replaces at its position
    set.addSource(source("A"));      // a third add without a value leaves the second
    set.addSource(source("B", std::nullopt, "menu")); // another context: a second source
    EXPECT_EQ(describe(set.sources()),
              (std::vector<std::string> {"ZovTranslatorSource:\"A\"=\"1\"\t[]", "ZovTranslatorSource:\"B\"=\"\"\t[]",
                                         "ZovTranslatorSource:\"B\"=\"\"\t[menu]"}));
}

TEST(ZovTranslatorData, AddMethodAndCategoryKeepFirstPositions)
{
    auto data = ZovTranslatorData::translatorData();
    auto cls = data->addClass("Panel");
    EXPECT_EQ(data->addClass("Panel"), cls);
    auto main = cls->addCategory("");
    auto extra = cls->addCategory("Extra");
    EXPECT_EQ(cls->addCategory(""), main);
    auto first = main->addMethod("awakeFromNib");
    main->addMethod("dealloc");
    EXPECT_EQ(main->addMethod("awakeFromNib"), first);
    ASSERT_EQ(main->methods().size(), 2u);
    EXPECT_EQ(main->methods()[0]->name(), "awakeFromNib");
    EXPECT_EQ(main->methods()[1]->name(), "dealloc");
    EXPECT_EQ(cls->category("Extra"), extra);
    EXPECT_EQ(cls->category("Missing"), nullptr);
    first->addSource(source("Places"));
    EXPECT_EQ(first->description(),
              "ZovTranslatorClassMethod:\"awakeFromNib\"=\"(ZovTranslatorSource:\"Places\"=\"\"\t[])\"");
}

TEST(ZovTranslatorData, MergeReproducesTheTreeInOrder)
{
    auto other = ZovTranslatorData::translatorData();
    other->addFreeSource(source("free1"));
    other->addFreeSource(source("free2", "v"));
    for (const char* className : {"Zeta", "Alpha", "Mid"}) {
        auto cls = other->addClass(className);
        for (const char* categoryName : {"", "Cat"}) {
            auto method = cls->addCategory(categoryName)->addMethod("m:");
            method->addSource(source("one"));
            method->addSource(source("two", "zwei"));
        }
    }
    auto data = ZovTranslatorData::translatorData();
    data->addFreeSource(source("free2")); // present already, without a value
    data->addTranslatorData(*other);

    EXPECT_EQ(describe(data->freeSources()),
              (std::vector<std::string> {"ZovTranslatorSource:\"free2\"=\"v\"\t[]",
                                         "ZovTranslatorSource:\"free1\"=\"\"\t[]"}));
    ASSERT_EQ(data->classes().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& mine = data->classes()[i];
        const auto& theirs = other->classes()[i];
        EXPECT_EQ(mine->name(), theirs->name());
        ASSERT_EQ(mine->categories().size(), 2u);
        for (std::size_t c = 0; c < 2; ++c) {
            EXPECT_EQ(mine->categories()[c]->name(), theirs->categories()[c]->name());
            EXPECT_EQ(mine->categories()[c]->description(), theirs->categories()[c]->description());
        }
    }
    data->addTranslatorData(*data); // merging a tree into itself changes nothing
    EXPECT_EQ(data->classes().size(), 3u);
}

TEST(ZovTranslatorData, Registry)
{
    std::vector<std::string> keys, names;
    for (const auto* backend : ZovTranslatorData::availableBackends()) {
        keys.push_back(backend->key());
        names.push_back(backend->className);
    }
    EXPECT_EQ(keys, (std::vector<std::string> {"cocoa", "pbx", "source", "self"}));
    EXPECT_EQ(names, (std::vector<std::string> {"ZovTranslatorCocoaBackend", "ZovTranslatorPbxBackend",
                                                "ZovTranslatorSourceBackend", "ZovTranslatorSelfBackend"}));
    EXPECT_EQ(ZovTranslatorData::backendForKey("xml"), nullptr);
    EXPECT_EQ(ZovTranslatorData::backendForKey("pbx"), ZovTranslatorData::availableBackends()[1]);

    const auto* cocoa = ZovTranslatorData::backendForKey("cocoa");
    try {
        ZovTranslatorData::registerBackends({cocoa, ZovTranslatorData::backendForKey("self"), cocoa});
        ADD_FAILURE() << "no exception";
    } catch (const Exception& error) {
        EXPECT_EQ(error.reason(), "Backend with key 'cocoa' already exists");
    }
}

TEST(ZovTranslatorData, BackendDescriptionsAreInEnglishBeforeATableIsSelected)
{
    // The default manager starts in "self" mode: a tool sees readable names.
    ASSERT_EQ(ZovTranslatorManager::defaultTranslatorManager().currentBackend(), "self");
    std::vector<std::string> descriptions;
    for (const auto* backend : ZovTranslatorData::availableBackends())
        descriptions.push_back(backend->description());
    EXPECT_EQ(descriptions, (std::vector<std::string> {"Cocoa .strings files", "", "Objective-C source file",
                                                       "Vistel original translation backend"}));
}

TEST(ZovTranslatorData, SelfBackendReadsAndWritesNothing)
{
    const auto* self = ZovTranslatorData::backendForKey("self");
    auto data = ZovTranslatorData::translatorData();
    data->addClass("Kept");
    auto before = data;
    EXPECT_FALSE(self->load(data, "/nonexistent", Value()));
    EXPECT_EQ(data, before);
    EXPECT_EQ(data->classes().size(), 1u);
    EXPECT_FALSE(self->save(data, "/tmp/never-written.strings", Value()));
    EXPECT_FALSE(self->lastError());
    EXPECT_FALSE(ZovTranslatorData::backendForKey("pbx")->save(data, "/tmp/x", Value()));
    EXPECT_FALSE(ZovTranslatorData::backendForKey("source")->save(data, "/tmp/x", Value()));
}
