#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "Platform/Exception.h"
#include "Platform/NotificationCenter.h"
#include "Platform/ObjectStore/ObjectStore.h"
#include "Platform/ObjectStore/TextFolding.h"
#include "Platform/RunLoop.h"
#include "SQLiteTestSupport.h"
#include "TestSupport.h"

using namespace vistel;
using namespace vistel::store;

namespace {

// A small model of the same shape as the catalogue's: a node hierarchy in one table with
// children, a picture holder found by lookup, labels that cascade and words they share.
Ref<ObjectModel> makeModel(int version = 1)
{
    auto model = makeRef<ObjectModel>(version);
    model->addEntity({"Node", "", true,
                      {{"name", AttributeType::String}, {"size", AttributeType::Integer}, {"when", AttributeType::Date},
                       {"flag", AttributeType::Boolean}},
                      {{"parent", "Node", false, "children"},
                       {"children", "Node", true, "parent", DeleteRule::Cascade},
                       {"holder", "Holder", false, "owner", DeleteRule::Cascade, false},
                       {"labels", "Label", true, "node", DeleteRule::Cascade}}});
    model->addEntity({"Leaf", "Node", false, {}, {}});
    model->addEntity({"Branch", "Node", false, {}, {}});
    model->addEntity({"Holder", "", false, {{"data", AttributeType::Data}}, {{"owner", "Node", false, "holder"}}});
    model->addEntity({"Word", "", false, {{"text", AttributeType::String}},
                      {{"labels", "Label", true, "word", DeleteRule::Nullify}}});
    model->addEntity({"Label", "", false, {{"value", AttributeType::String}},
                      {{"node", "Node", false, "labels"}, {"word", "Word", false, "labels"}, {"up", "Label", false, "subs"},
                       {"subs", "Label", true, "up", DeleteRule::Cascade}}});
    model->addIndex("Node", {"parent", "name"});
    model->addIndex("Holder", {"owner"});
    return model;
}

struct Store {
    Ref<PersistentStoreCoordinator> coordinator;
    Ref<ManagedObjectContext> context;
};

Store openStore(const std::string& path, int version = 1)
{
    Store store;
    store.coordinator = PersistentStoreCoordinator::create(makeModel(version));
    ErrorRecord error;
    EXPECT_TRUE(store.coordinator->addSQLiteStore(path, &error)) << error.description();
    store.context = ManagedObjectContext::create(store.coordinator);
    return store;
}

void runOnePass()
{
    RunLoop::current()->runMode(NSDefaultRunLoopMode, RunLoop::Clock::now() + std::chrono::milliseconds(20));
}

std::vector<Ref<ManagedObject>> fetch(ManagedObjectContext& context, const std::string& entity,
                                      std::vector<Comparison> predicate, std::size_t limit = 0)
{
    auto result = context.executeFetchRequest({entity, std::move(predicate), limit});
    EXPECT_TRUE(result.has_value());
    return result.value_or(std::vector<Ref<ManagedObject>> {});
}

} // namespace

TEST(ObjectStore, ValuesAndIdentifiersSurviveReopening)
{
    test::TemporaryFolder folder("vistel-store");
    const std::string path = folder / "store.sqlite";
    const std::string oddName("caf\xe9 \xff\xfe.jpg"); // not UTF-8
    const Date when = Date::now();
    std::string uri, uuid;
    {
        Store store = openStore(path);
        uuid = store.coordinator->storeUUID();
        auto folderNode = store.context->insertNewObject("Branch");
        auto leaf = store.context->insertNewObject("Leaf");
        leaf->setStringValue("name", oddName);
        leaf->setValueForKey(Value(when), "when");
        leaf->setValueForKey(Value(true), "flag");
        leaf->setIntegerValue("size", 1LL << 40);
        leaf->setToOne("parent", folderNode.get());
        auto holder = store.context->insertNewObject("Holder");
        holder->setValueForKey(Value(Value::Bytes {0, 1, 2, 255}), "data");
        leaf->setToOne("holder", holder.get());
        uri = leaf->objectID().uriRepresentation();
        // The identifier is permanent at once and its object is the one the context holds.
        EXPECT_EQ(store.context->objectRegisteredForID(*ObjectID::fromURIRepresentation(uri)), leaf);
        ErrorRecord error;
        ASSERT_TRUE(store.context->save(&error)) << error.description();
        EXPECT_FALSE(store.context->hasChanges());
    }
    Store store = openStore(path);
    EXPECT_EQ(store.coordinator->storeUUID(), uuid);
    auto id = store.coordinator->managedObjectIDForURIRepresentation(uri);
    ASSERT_TRUE(id);
    EXPECT_FALSE(store.context->objectRegisteredForID(*id)); // nothing read yet
    auto leaf = store.context->objectWithID(*id);
    ASSERT_TRUE(leaf);
    EXPECT_EQ(leaf->entityName(), "Leaf");
    EXPECT_EQ(leaf->stringValue("name"), oddName);
    EXPECT_EQ(leaf->valueForKey("when").toDate(), when);
    EXPECT_EQ(leaf->valueForKey("flag"), Value(true));
    EXPECT_EQ(leaf->integerValue("size"), 1LL << 40);
    EXPECT_EQ(leaf->objectID().uriRepresentation(), uri);
    auto parent = leaf->toOne("parent");
    ASSERT_TRUE(parent);
    ASSERT_EQ(parent->toMany("children").size(), 1u);
    EXPECT_EQ(parent->toMany("children")[0], leaf); // one object per row
    EXPECT_EQ(leaf->toOne("holder")->valueForKey("data"), Value(Value::Bytes {0, 1, 2, 255}));

    // An identifier of another store, or a damaged URI, names nothing.
    ObjectID foreign = *id;
    foreign.storeUUID = "00000000-0000-4000-8000-000000000000";
    EXPECT_FALSE(store.context->objectWithID(foreign));
    EXPECT_FALSE(store.coordinator->managedObjectIDForURIRepresentation(foreign.uriRepresentation()));
    for (const char* bad : {"", "x-vistel-objectstore://", "x-vistel-objectstore://u/Leaf/p", "x-vistel-objectstore://u/Leaf/1",
                            "x-vistel-objectstore://u/Leaf/p-1", "file:///u/Leaf/p1",
                            "x-vistel-objectstore://u/Leaf/p9999999999999999999", "x-vistel-objectstore://u//p1"})
        EXPECT_FALSE(ObjectID::fromURIRepresentation(bad)) << bad;
}

// Column values are kept in 16 bytes: text and data inline up to 15 bytes, on the heap beyond.
TEST(StoredValue, KeepsEveryKindOfValueAcrossTheInlineLimit)
{
    const std::string binary("a\0b\xff", 4);
    for (std::size_t size : {0u, 1u, 14u, 15u, 16u, 300u}) {
        const std::string bytes = std::string(size, 'x') + (size > 3 ? binary : std::string());
        const StoredValue value {std::string_view(bytes)};
        ASSERT_TRUE(value.bytes()) << size;
        EXPECT_EQ(*value.bytes(), bytes);
        EXPECT_FALSE(value.integer());
        StoredValue copy = value;
        EXPECT_EQ(copy, value);
        EXPECT_NE(copy.bytes()->data(), size > 15 ? value.bytes()->data() : nullptr); // its own bytes
        StoredValue moved = std::move(copy);
        EXPECT_EQ(*moved.bytes(), bytes);
        copy = moved; // assigned over a moved-from value
        EXPECT_EQ(copy, value);
        EXPECT_NE(value, StoredValue(std::string_view(bytes + "y")));
    }
    for (std::int64_t number : {std::int64_t(0), std::int64_t(-1), INT64_MIN, INT64_MAX}) {
        EXPECT_EQ(StoredValue(number).integer(), number);
        EXPECT_FALSE(StoredValue(number).real());
    }
    EXPECT_EQ(StoredValue(0.25).real(), 0.25);
    EXPECT_NE(StoredValue(std::int64_t(1)), StoredValue(1.0)); // kinds differ
    EXPECT_NE(StoredValue(), StoredValue(std::string_view()));
    EXPECT_TRUE(StoredValue().isNone());

    // Through the store: texts on both sides of the limit and data with zero bytes.
    test::TemporaryFolder folder("vistel-store");
    const std::string path = folder / "store.sqlite";
    const std::vector<std::string> names {"", std::string(15, 'n'), std::string(16, 'n'), std::string(1000, 'n')};
    const Value::Bytes data(70, 0);
    std::vector<std::string> uris;
    {
        Store store = openStore(path);
        for (const std::string& name : names) {
            auto leaf = store.context->insertNewObject("Leaf");
            leaf->setStringValue("name", name);
            uris.push_back(leaf->objectID().uriRepresentation());
        }
        store.context->insertNewObject("Holder")->setValueForKey(Value(data), "data");
        ASSERT_TRUE(store.context->save());
    }
    Store store = openStore(path);
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto leaf = store.context->objectWithID(*store.coordinator->managedObjectIDForURIRepresentation(uris[i]));
        ASSERT_TRUE(leaf);
        EXPECT_EQ(leaf->stringValue("name"), names[i]);
    }
    ASSERT_EQ(fetch(*store.context, "Holder", {}).size(), 1u);
    EXPECT_EQ(fetch(*store.context, "Holder", {})[0]->valueForKey("data"), Value(data));
}

// A store written by a build with other indexes gets the model's at the next opening, its
// rows untouched; indexes of tables the model does not know stay.
TEST(ObjectStore, IndexesFollowTheModel)
{
    test::TemporaryFolder folder("vistel-store");
    const std::string path = folder / "store.sqlite";
    {
        Store store = openStore(path);
        store.context->insertNewObject("Leaf")->setStringValue("name", "kept");
        ASSERT_TRUE(store.context->save());
    }
    auto index = [&](const std::string& name) {
        return test::committedNumber(path, "SELECT count(*) FROM sqlite_master WHERE type='index' AND name='" + name + "'");
    };
    ASSERT_EQ(index("Node_parent_name"), 1);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "DROP INDEX Node_parent_name; CREATE INDEX Node_size ON Node(size);"
                           "CREATE TABLE Other(x); CREATE INDEX Other_x ON Other(x);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    Store store = openStore(path);
    EXPECT_EQ(index("Node_parent_name"), 1);
    EXPECT_EQ(index("Node_size"), 0);
    EXPECT_EQ(index("Other_x"), 1);
    EXPECT_EQ(fetch(*store.context, "Node", {{"name", Comparison::Operator::Equal, Value("kept")}}).size(), 1u);
}

// Row ids are handed out before rows are written: one whose object was deleted before it was
// ever written, or whose transaction was lost, is still never handed out again.
TEST(ObjectStore, RowIdsAreNeverHandedOutTwice)
{
    test::TemporaryFolder folder("vistel-store");
    const std::string path = folder / "store.sqlite";
    std::int64_t highest = 0;
    {
        Store store = openStore(path);
        auto kept = store.context->insertNewObject("Holder");
        auto dropped = store.context->insertNewObject("Holder");
        EXPECT_GT(dropped->rowID(), kept->rowID());
        highest = dropped->rowID();
        store.context->deleteObject(dropped.get());
        ASSERT_TRUE(store.context->save());
        EXPECT_GT(store.context->insertNewObject("Holder")->rowID(), highest); // never saved
        store.context->deleteObject(store.context->insertNewObject("Holder").get());
    }
    runOnePass(); // the queued change notification lets the context go
    Store store = openStore(path);
    EXPECT_GT(store.context->insertNewObject("Holder")->rowID(), highest);
    EXPECT_EQ(test::committedNumber(path, "SELECT count(*) FROM Holder"), 1);
}

TEST(ObjectStore, EqualValuesChangeNothingAndSaveIsOneCommit)
{
    test::TemporaryFolder folder("vistel-store");
    const std::string path = folder / "store.sqlite";
    Store store = openStore(path);
    auto node = store.context->insertNewObject("Leaf");
    node->setStringValue("name", "a");
    ASSERT_TRUE(store.context->save());

    node->setStringValue("name", "a");
    node->setToOne("parent", nullptr);
    EXPECT_FALSE(store.context->hasChanges());
    EXPECT_FALSE(node->isUpdated());

    for (int i = 0; i < 50; ++i)
        store.context->insertNewObject("Leaf")->setStringValue("name", "n" + std::to_string(i));
    node->setStringValue("name", "b");
    EXPECT_EQ(store.context->insertedObjectsCount(), 50u);
    EXPECT_EQ(store.context->updatedObjectsCount(), 1u);
    // Written into the open transaction (a fetch sees it) but not committed.
    EXPECT_EQ(fetch(*store.context, "Node", {{"name", Comparison::Operator::Equal, Value("b")}}).size(), 1u);
    EXPECT_EQ(test::committedNumber(path, "SELECT count(*) FROM Node"), 1);
    EXPECT_TRUE(store.context->commitEditing());
    EXPECT_EQ(test::committedNumber(path, "SELECT count(*) FROM Node"), 1);
    ASSERT_TRUE(store.context->save());
    EXPECT_EQ(test::committedNumber(path, "SELECT count(*) FROM Node"), 51);
    EXPECT_EQ(test::committedNumber(path, "SELECT count(*) FROM Node WHERE name='b'"), 1);
    EXPECT_EQ(store.context->undoManager(), nullptr);
}

TEST(ObjectStore, UnsavedChangesAreGoneAfterTheContextEnds)
{
    test::TemporaryFolder folder("vistel-store");
    const std::string path = folder / "store.sqlite";
    {
        Store store = openStore(path);
        store.context->insertNewObject("Leaf");
        ASSERT_TRUE(store.context->save());
        store.context->insertNewObject("Leaf");
    }
    EXPECT_EQ(test::committedNumber(path, "SELECT count(*) FROM Node"), 1);
}

TEST(ObjectStore, DeleteRulesCascadeAndNullify)
{
    test::TemporaryFolder folder("vistel-store");
    const std::string path = folder / "store.sqlite";
    Store store = openStore(path);
    auto& context = *store.context;
    auto root = context.insertNewObject("Branch");
    auto sub = context.insertNewObject("Branch");
    sub->setToOne("parent", root.get());
    auto word = context.insertNewObject("Word");
    auto keep = context.insertNewObject("Leaf");
    auto keptLabel = context.insertNewObject("Label");
    keptLabel->setToOne("node", keep.get());
    keptLabel->setToOne("word", word.get());
    for (int i = 0; i < 5; ++i) {
        auto leaf = context.insertNewObject("Leaf");
        leaf->setToOne("parent", sub.get());
        auto label = context.insertNewObject("Label");
        label->setToOne("node", leaf.get());
        label->setToOne("word", word.get());
        auto subLabel = context.insertNewObject("Label");
        subLabel->setToOne("up", label.get());
        auto holder = context.insertNewObject("Holder");
        holder->setToOne("owner", leaf.get());
    }
    ASSERT_TRUE(context.save());
    ASSERT_EQ(root->toMany("children").size(), 1u);

    context.deleteObject(root.get());
    EXPECT_TRUE(root->isDeleted());
    EXPECT_TRUE(sub->isDeleted());
    EXPECT_EQ(context.deletedObjectsCount(), 2u + 5u * 4u);
    EXPECT_EQ(word->toMany("labels").size(), 1u);
    ASSERT_TRUE(context.save());
    EXPECT_EQ(test::committedNumber(path, "SELECT count(*) FROM Node"), 1);
    EXPECT_EQ(test::committedNumber(path, "SELECT count(*) FROM Holder"), 0);
    EXPECT_EQ(test::committedNumber(path, "SELECT count(*) FROM Label"), 1);

    // Deleting the word clears the link of the label that stays.
    context.deleteObject(word.get());
    EXPECT_FALSE(keptLabel->isDeleted());
    EXPECT_FALSE(keptLabel->toOne("word"));
    ASSERT_TRUE(context.save());
    EXPECT_EQ(test::committedNumber(path, "SELECT count(*) FROM Label WHERE word IS NULL"), 1);

    // Re-parenting keeps the loaded to-many of both parents true.
    auto a = context.insertNewObject("Branch");
    auto b = context.insertNewObject("Branch");
    keep->setToOne("parent", a.get());
    ASSERT_EQ(a->toMany("children").size(), 1u);
    EXPECT_EQ(b->toMany("children").size(), 0u);
    keep->setToOne("parent", b.get());
    EXPECT_EQ(a->toMany("children").size(), 0u);
    EXPECT_EQ(b->toMany("children").size(), 1u);
}

TEST(ObjectStore, FetchConditions)
{
    test::TemporaryFolder folder("vistel-store");
    Store store = openStore(folder / "store.sqlite");
    auto& context = *store.context;
    auto parent = context.insertNewObject("Branch");
    std::vector<Ref<ManagedObject>> leaves;
    for (const char* name : {"Élan", "elan2", "other", "ELAN"}) {
        auto leaf = context.insertNewObject("Leaf");
        leaf->setStringValue("name", name);
        leaf->setToOne("parent", parent.get());
        leaves.push_back(leaf);
    }
    auto word = context.insertNewObject("Word");
    word->setStringValue("text", "key");
    auto label = context.insertNewObject("Label");
    label->setToOne("word", word.get());
    label->setToOne("node", leaves[0].get());
    auto top = context.insertNewObject("Label");
    top->setToOne("word", word.get());

    using Op = Comparison::Operator;
    struct Case {
        std::string entity;
        std::vector<Comparison> predicate;
        std::size_t limit;
        std::size_t expected;
    } cases[] = {
        {"Node", {{"name", Op::Equal, Value("other")}}, 0, 1},
        {"Leaf", {}, 0, 4},
        {"Branch", {}, 0, 1},
        {"Node", {{"parent", Op::Equal, Value()}}, 0, 1},
        {"Node", {{"parent", Op::Equal, Value(Ref<Object>(parent))}, {"name", Op::Equal, Value("ELAN")}}, 0, 1},
        {"Node", {{"parent", Op::Equal, Value(Ref<Object>(parent))}}, 2, 2},
        {"Node", {{"self", Op::In, Value::array({Value(Ref<Object>(leaves[1])), Value(Ref<Object>(parent))})}}, 0, 2},
        {"Node", {{"name", Op::Like, Value("elan*")}}, 0, 3},
        {"Node", {{"name", Op::Like, Value("e?an")}}, 0, 2},
        {"Label", {{"word.text", Op::Equal, Value("key")}, {"up", Op::Equal, Value()}}, 0, 2},
        {"Label", {{"node", Op::Equal, Value()}, {"word", Op::In, Value::array({Value(Ref<Object>(word))})}}, 0, 1},
        {"Label", {{"node", Op::Equal, Value()}, {"node.parent", Op::Equal, Value(Ref<Object>(parent))}}, 0, 0},
        {"Label", {{"node", Op::Equal, Value(), true}}, 0, 1},
        {"Node", {{"name", Op::In, Value::array({"other", "ELAN", "none"})}}, 0, 2},
        {"Node", {{"name", Op::In, Value::array({})}}, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fetch(context, c.entity, c.predicate, c.limit).size(), c.expected)
            << c.entity << " " << c.predicate.size() << " conditions, first " << c.predicate.front().keyPath;

    // An object deleted, or of another context, names nothing.
    Store other = openStore(folder / "other.sqlite");
    auto stranger = other.context->insertNewObject("Branch");
    EXPECT_TRUE(fetch(context, "Node", {{"parent", Op::Equal, Value(Ref<Object>(stranger))}}).empty());
}

TEST(ObjectStore, LongMembershipListsAreFetchedInSlices)
{
    test::TemporaryFolder folder("vistel-store");
    Store store = openStore(folder / "store.sqlite");
    Value all = Value::array();
    for (int i = 0; i < 31000; ++i)
        all.append(Value(Ref<Object>(store.context->insertNewObject("Leaf"))));
    auto found = fetch(*store.context, "Node", {{"self", Comparison::Operator::In, all}});
    ASSERT_EQ(found.size(), 31000u);
    for (std::size_t i = 1; i < found.size(); ++i)
        ASSERT_LT(found[i - 1]->rowID(), found[i]->rowID());
    EXPECT_EQ(fetch(*store.context, "Node", {{"self", Comparison::Operator::In, all}}, 30500).size(), 30500u);
}

TEST(ObjectStore, OneChangeNotificationPerPass)
{
    test::TemporaryFolder folder("vistel-store");
    Store store = openStore(folder / "store.sqlite");
    int heard = 0;
    NotificationCenter::defaultCenter().addObserver(
        &heard, [&](const Notification&) { ++heard; }, ObjectsDidChangeNotification, store.context.get());
    for (int i = 0; i < 300; ++i)
        store.context->insertNewObject("Leaf")->setStringValue("name", std::to_string(i));
    runOnePass();
    EXPECT_EQ(heard, 1);
    runOnePass();
    EXPECT_EQ(heard, 1);
    store.context->insertNewObject("Leaf");
    runOnePass();
    EXPECT_EQ(heard, 2);
    NotificationCenter::defaultCenter().removeObserver(&heard);
}

TEST(ObjectStore, OpenFailures)
{
    test::TemporaryFolder folder("vistel-store");
    const std::string path = folder / "store.sqlite";
    openStore(path, 1);

    struct Case {
        std::string path;
        int version;
        long code;
    } cases[] = {
        {path, 2, PersistentStoreIncompatibleVersionHashError},
        {folder.path(), 1, PersistentStoreOpenError},
        {folder / "garbage", 1, PersistentStoreOpenError},
        {folder / "missing/store.sqlite", 1, PersistentStoreOpenError},
    };
    std::ofstream(folder / "garbage") << std::string(8192, 'x');
    for (const Case& c : cases) {
        auto coordinator = PersistentStoreCoordinator::create(makeModel(c.version));
        ErrorRecord error;
        EXPECT_FALSE(coordinator->addSQLiteStore(c.path, &error)) << c.path;
        EXPECT_FALSE(coordinator->hasStore());
        EXPECT_EQ(error.code, c.code) << c.path;
        EXPECT_EQ(error.domain, NSCocoaErrorDomain);
    }
    auto memory = PersistentStoreCoordinator::create(makeModel());
    ASSERT_TRUE(memory->addInMemoryStore());
    auto context = ManagedObjectContext::create(memory);
    context->insertNewObject("Leaf");
    EXPECT_TRUE(context->save());
}

TEST(ObjectStore, BelongsToTheThreadOfItsContext)
{
    test::TemporaryFolder folder("vistel-store");
    Store store = openStore(folder / "store.sqlite");
    bool refused = false;
    std::thread other([&] {
        try {
            store.context->insertNewObject("Leaf");
        } catch (const Exception& e) {
            refused = e.reason() == "Object store used outside its thread";
        }
    });
    other.join();
    EXPECT_TRUE(refused);
    EXPECT_FALSE(store.context->hasChanges());
}

TEST(TextFolding, CaseAndDiacritics)
{
    struct Case {
        const char* pattern;
        const char* text;
        bool matches;
    } cases[] = {
        {"cafe*", "Café au lait", true}, {"CAFÉ", "cafe", true}, {"c?fe", "cafe", true}, {"*ŁÓDŹ", "in lodz", true},
        {"ca", "cafe", false},          {"*x*", "cafe", false}, {"", "", true},          {"*", "\xff", true},
        {"\xff", "\xfe", false},        {"*", "*x", true}, {"a*", "a*b", true},        {"e\xcc\x81", "e", true}, // combining accent dropped
        // Beyond Latin: simple case folding and canonical decomposition over all of Unicode.
        {"ё*", "Ёлка", true}, {"ω*", "Ωmega", true}, {"\u2126", "ω", true}, // the ohm sign decomposes to omega
        {"ΆΘΗΝΑ", "αθηνα", true}, {"ς", "Σ", true}, {"ẞ", "ß", true}, {"\U00010400", "\U00010428", true},
        {"한*", "한글", true}, {"日本*", "日本語", true}, {"Ａ", "a", false}, // compatibility forms stay apart
        {"е", "ё", true}, {"ǻ", "A", true}, {"Ǿ", "o", true}, {"ё", "е", true}, {"л", "Ёлка", false},
        // \ makes the next character plain; % and _ are plain already.
        {"a\\*", "a*", true}, {"a\\*", "ab", false}, {"a\\**", "a*b", true}, {"a\\**", "ab", false},
        {"5\\?", "5?", true}, {"5\\?", "5x", false}, {"\\\\", "\\", true}, {"x\\", "x\\", true},
        {"5%*", "50%off", false}, {"5%*", "5%", true}, {"5_*", "5_0", true}, {"5_*", "50", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(likeMatchesFolded(c.pattern, c.text), c.matches) << c.pattern << " / " << c.text;
}

TEST(TextFolding, EscapedTextMatchesItselfOnly)
{
    for (const char* text : {"a*b", "5?", "back\\slash", "*", "?x", "\\", "Étang"}) {
        EXPECT_TRUE(likeMatchesFolded(likeEscaped(text), text)) << text;
        EXPECT_TRUE(likeMatchesFolded(likeEscaped(text) + "*", std::string(text) + "tail")) << text;
    }
    EXPECT_FALSE(likeMatchesFolded(likeEscaped("a*"), "abc"));
    EXPECT_FALSE(likeMatchesFolded(likeEscaped("a?c"), "abc"));
    EXPECT_EQ(likeEscaped("a*b?c\\"), "a\\*b\\?c\\\\");
}
