#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "CatalogueTestSupport.h"
#include "Platform/Bundle.h"
#include "Platform/Log.h"
#include "Platform/NotificationCenter.h"
#include "Platform/UserDefaults.h"

using namespace vistel;
using namespace vistel::test;

namespace {

using MediaDatabaseTest = CatalogueTest;

Ref<FileSystemItemMO> makeRoot(MediaDatabase& database)
{
    return database.createChildOf(nullptr, "/", MediaDatabase::EntityFolder);
}

// A file of another model version where the catalogue's file belongs.
void writeForeignStore(const std::string& path)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_EQ(commandOutput("sqlite3 " + shellQuoted(path) + " 'CREATE TABLE old(a); PRAGMA user_version=7;' 2>&1"), "");
}

} // namespace

TEST_F(MediaDatabaseTest, TheFileAndItsJournal)
{
    MediaDatabase& database = openCatalogue();
    std::string identifier = Bundle::main()->bundleIdentifier();
    if (identifier.empty())
        identifier = UserDefaults::DefaultBundleIdentifier;
    EXPECT_EQ(database.databaseURL(), folder_.path() + "/Zov Systems/" + identifier + ".mediaDatabase");
    EXPECT_TRUE(std::filesystem::is_directory(folder_.path() + "/Zov Systems"));
    ASSERT_TRUE(database.managedObjectContext());
    EXPECT_EQ(commandOutput("sqlite3 " + shellQuoted(database.databaseURL()) + " 'pragma journal_mode'"), "wal");
    EXPECT_EQ(commandOutput("sqlite3 " + shellQuoted(database.databaseURL()) + " 'pragma user_version'"),
              std::to_string(MediaDatabase::ModelVersion));
    EXPECT_EQ(database.managedObjectContext()->undoManager(), nullptr);
}

TEST_F(MediaDatabaseTest, SavesInBatchesOfMoreThanAHundred)
{
    MediaDatabase& database = openCatalogue();
    auto root = makeRoot(database);
    ASSERT_TRUE(database.managedObjectContext()->save());
    struct Case {
        int inserted;
        int updated;
        bool commits;
    } cases[] = {{99, 0, false}, {100, 0, false}, {101, 0, true}, {0, 100, false}, {0, 101, true}, {50, 51, true}};
    std::vector<Ref<FileSystemItemMO>> items;
    for (int i = 0; i < 200; ++i)
        items.push_back(root->createChildWithName("f" + std::to_string(i), MediaDatabase::EntityFile, true));
    ASSERT_TRUE(database.managedObjectContext()->save());
    int serial = 0;
    for (const Case& c : cases) {
        const long long before = committed("SELECT count(*) FROM Element");
        for (int i = 0; i < c.inserted; ++i)
            root->createChildWithName("n" + std::to_string(serial++), MediaDatabase::EntityFile, true);
        for (int i = 0; i < c.updated; ++i)
            items[static_cast<std::size_t>(i)]->setSize(serial++);
        database.noteAndSaveChanges();
        const bool committedNow = committed("SELECT count(*) FROM Element") != before
            || (c.updated > 0 && committed("SELECT count(*) FROM Element WHERE size IS NOT NULL") > 0);
        EXPECT_EQ(committedNow, c.commits) << c.inserted << " inserted, " << c.updated << " updated";
        EXPECT_EQ(database.managedObjectContext()->hasChanges(), !c.commits);
        database.saveChanges();
        for (auto& item : items)
            item->setSize(std::nullopt);
        database.saveChanges();
    }
}

TEST_F(MediaDatabaseTest, ManyChangesInOnePassScheduleOneSave)
{
    MediaDatabase& database = openCatalogue();
    auto root = makeRoot(database);
    // The test's own rows: the file thread may list the real root meanwhile and add its folders.
    const auto ours = [&](const char* prefix) {
        return committed(std::string("SELECT count(*) FROM Element WHERE name GLOB '") + prefix + "[0-9]*'");
    };
    for (int i = 0; i < 300; ++i)
        root->createChildWithName("f" + std::to_string(i), MediaDatabase::EntityFile, true);
    EXPECT_EQ(ours("f"), 0);
    // Saved in one transaction, after the pass: never a part of them.
    ASSERT_TRUE(spinUntil([&] { return ours("f") > 0; }));
    EXPECT_EQ(ours("f"), 300);

    // Fewer than 250 changes wait for the idle save (200: the root's own listing may add a few).
    for (int i = 0; i < 200; ++i)
        root->createChildWithName("g" + std::to_string(i), MediaDatabase::EntityFile, true);
    spinEvents(100);
    EXPECT_EQ(ours("g"), 0);
}

TEST_F(MediaDatabaseTest, IncompatibleStoreRecreatedOrQuit)
{
    struct Case {
        std::string answer;
        bool works;
        int terminations;
    } cases[] = {{"Recreate", true, 0}, {"Quit", false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        terminations_ = 0;
        closeCatalogue();
        MediaDatabase& database = openCatalogue();
        const std::string path = database.databaseURL();
        std::filesystem::remove(path);
        writeForeignStore(path);
        ScopedResponder responder([&](const AlertRecord&) { return AlertResponse::pressTitled(c.answer); });
        ScopedLogCapture log;
        auto context = database.managedObjectContext();
        ASSERT_EQ(Alert::answeredAlerts().size(), 1u);
        const AlertRecord alert = Alert::answeredAlerts()[0];
        EXPECT_EQ(alert.messageText, "Version of the existing database is incompatible with the current application.");
        EXPECT_EQ(alert.informativeText, "You can quit the application or recreate database. In the last case existing "
                                         "database at " + path + " will be deleted and created in compatible format.");
        ASSERT_EQ(alert.buttons.size(), 2u);
        EXPECT_EQ(alert.buttons[0].title, "Quit");
        EXPECT_EQ(alert.buttons[1].title, "Recreate");
        EXPECT_EQ(terminations_, c.terminations);
        EXPECT_EQ(bool(context), c.works);
        if (c.works) {
            EXPECT_EQ(commandOutput("sqlite3 " + shellQuoted(path) + " 'SELECT count(*) FROM Element'"), "0");
            makeRoot(database);
            EXPECT_TRUE(context->save());
            EXPECT_EQ(committed("SELECT count(*) FROM Element"), 1);
        } else {
            EXPECT_FALSE(database.searchObjectsBy("", {}, 0, MediaDatabase::EntityElement));
        }
    }
}

TEST_F(MediaDatabaseTest, AnyOtherOpenFailureAlertsOnceThenWorksInMemory)
{
    MediaDatabase& database = openCatalogue();
    std::filesystem::create_directories(database.databaseURL()); // a folder in the file's place
    ScopedResponder responder([](const AlertRecord&) { return AlertResponse::pressButton(0); });
    auto context = database.managedObjectContext();
    ASSERT_TRUE(context);
    EXPECT_EQ(Alert::answeredAlerts().size(), 1u);
    auto root = makeRoot(database);
    for (int i = 0; i < 300; ++i)
        root->createChildWithName("f" + std::to_string(i), MediaDatabase::EntityFile, true);
    database.noteAndSaveChanges();
    spinEvents(50);
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(root->numberOfChildren(), 300);
    EXPECT_EQ(Alert::answeredAlerts().size(), 1u);
    EXPECT_EQ(terminations_, 0);
}

TEST_F(MediaDatabaseTest, ClearAllWipesTheStoreAndTellsEveryObserver)
{
    MediaDatabase& database = openCatalogue();
    auto root = makeRoot(database);
    const std::string uri = root->objectID().uriRepresentation();
    ASSERT_TRUE(database.managedObjectContext()->save());
    int reloads = 0;
    NotificationCenter::defaultCenter().addObserver(
        &reloads, [&](const Notification& n) { reloads += !n.object && n.userInfo.get("Reload").toBool(); },
        "MDFileChanged");
    database.stopAll();
    EXPECT_FALSE(database.managedObjectContext());
    database.clearAll();
    EXPECT_EQ(reloads, 1);
    NotificationCenter::defaultCenter().removeObserver(&reloads);
    auto context = database.managedObjectContext();
    ASSERT_TRUE(context);
    EXPECT_TRUE(database.searchObjectsBy("", {}, 0, MediaDatabase::EntityElement)->empty());
    // An identifier from before the wipe names nothing in the new store.
    auto old = store::ObjectID::fromURIRepresentation(uri);
    ASSERT_TRUE(old);
    EXPECT_FALSE(context->objectWithID(*old));
    EXPECT_FALSE(database.objectExistingForID(*old));
}

TEST_F(MediaDatabaseTest, LookupsAndTags)
{
    MediaDatabase& database = openCatalogue();
    auto root = makeRoot(database);
    auto a = database.createChildOf(root.get(), "same", MediaDatabase::EntityFile);
    auto b = database.createChildOf(root.get(), "other", MediaDatabase::EntityFolder);
    b->setUuid("UUID-B");
    EXPECT_EQ(database.childOf(root.get(), "other"), b);
    EXPECT_EQ(database.objectExistingForUUID("UUID-B"), b);
    EXPECT_FALSE(database.objectExistingForUUID("UUID-C"));
    EXPECT_EQ(database.objectExistingForID(a->objectID()), a);
    {
        database.createChildOf(root.get(), "same", MediaDatabase::EntityFile);
        ScopedLogCapture log;
        EXPECT_FALSE(database.childOf(root.get(), "same"));
        EXPECT_TRUE(log.contains("Error in childOf:More than one item is found."));
        EXPECT_EQ(log.lines().size(), 3u);
    }
    EXPECT_THROW(database.createChildOf(root.get(), "tag", MediaDatabase::EntityTag), Exception);

    // Tags: no TagName is made when creating is off.
    EXPECT_FALSE(database.tagOf(a.get(), "parentElement", "unknown", false));
    EXPECT_TRUE(database.searchObjectsBy("value==%@", {Value("unknown")}, 0, MediaDatabase::EntityTagName)->empty());
    auto group = database.tagOf(a.get(), "parentElement", "group", true);
    ASSERT_TRUE(group);
    EXPECT_EQ(database.tagOf(a.get(), "parentElement", "group", false), group);
    EXPECT_EQ(database.tagNameObject("group", false), group->toOne("name"));
    EXPECT_EQ(database.tagsOf(a.get(), "group", false)->size(), 0u);
    database.createTagWithName("member", group.get(), "parentTag");
    EXPECT_EQ(database.tagsOf(a.get(), "group", false)->size(), 1u);
    EXPECT_FALSE(database.searchObjectsBy("no such predicate", {}, 0, MediaDatabase::EntityTag));

    database.renameItem(a.get(), "renamed");
    EXPECT_EQ(root->childWithName("renamed"), a);
    EXPECT_EQ(a->fullPath(), "/renamed");
}

TEST_F(MediaDatabaseTest, EachPredicateForm)
{
    MediaDatabase& database = openCatalogue();
    auto root = makeRoot(database);
    auto a = database.createChildOf(root.get(), "a", MediaDatabase::EntityFile);
    auto b = database.createChildOf(root.get(), "b", MediaDatabase::EntityFile);
    a->setUuid("U-A");
    // Keywords of two items, a category tree root and an assignment of a category.
    auto keywordsA = database.tagOf(a.get(), "parentElement", "Keywords", true);
    auto keywordsB = database.tagOf(b.get(), "parentElement", "Keywords", true);
    for (const char* word : {"Köln", "koala", "Berlin"})
        database.createTagWithName(word, keywordsA.get(), "parentTag");
    database.createTagWithName("KOALA", keywordsB.get(), "parentTag");
    auto categoryRoot = database.createTagWithName("{{{ROOT_CATEGORY_NAME}}}", nullptr, "");
    auto category = database.createTagWithName("Albums", categoryRoot.get(), "parentTag");
    auto assignments = database.tagOf(b.get(), "parentElement", "{FSICategories}", true);
    database.createTagWithName("cat-1", assignments.get(), "parentTag");

    auto like = database.searchObjectsBy("value like[cd] %@", {Value("ko*")}, 1000000, MediaDatabase::EntityTagName);
    ASSERT_TRUE(like);
    ASSERT_EQ(like->size(), 3u); // Köln, koala, KOALA
    Value likeArray = Value::array();
    for (const auto& name : *like)
        likeArray.append(Value(Ref<Object>(name)));
    const Value keywordsName(Ref<Object>(database.tagNameObject("Keywords", false)));

    struct Case {
        std::string form;
        std::vector<Value> arguments;
        std::size_t limit;
        std::string entity;
        std::size_t expected;
    } cases[] = {
        {"", {}, 0, MediaDatabase::EntityElement, 3},
        {"uuid==%@", {Value("U-A")}, 1, MediaDatabase::EntityElement, 1},
        {"(name==%@) AND (parent==%@)", {Value("b"), Value(Ref<Object>(root))}, 1000000, MediaDatabase::EntityElement, 1},
        {"(name==%@) AND (parent==%@)", {Value("/"), Value()}, 1000000, MediaDatabase::EntityElement, 1},
        {"value==%@", {Value("koala")}, 1, MediaDatabase::EntityTagName, 1},
        {"self IN %@", {Value::array({Value(Ref<Object>(a)), Value(Ref<Object>(b))})}, 0, MediaDatabase::EntityElement, 2},
        {"name==%@", {Value(Ref<Object>(database.tagNameObject("Berlin", false)))}, 1000000, MediaDatabase::EntityTag, 1},
        {"value like[cd] %@", {Value("*LN")}, 1000000, MediaDatabase::EntityTagName, 1},
        {"(parentTag==nil) AND (parentElement==nil) AND (name.value==%@)", {Value("{{{ROOT_CATEGORY_NAME}}}")}, 1,
         MediaDatabase::EntityTag, 1},
        {"NOT (parentTag==nil) AND (name.value==%@)", {Value("cat-1")}, 1, MediaDatabase::EntityTag, 1},
        {"NOT (parentTag==nil) AND (name.value==%@)", {Value("Keywords")}, 1, MediaDatabase::EntityTag, 0},
        {"(parentTag.name==%@) AND (name IN %@)", {keywordsName, likeArray}, 1000000, MediaDatabase::EntityTag, 3},
    };
    for (const Case& c : cases) {
        auto found = database.searchObjectsBy(c.form, c.arguments, c.limit, c.entity);
        ASSERT_TRUE(found) << c.form;
        EXPECT_EQ(found->size(), c.expected) << c.form << " on " << c.entity;
    }
    EXPECT_EQ(category->toOne("parentTag"), categoryRoot);
}
