#include <gtest/gtest.h>

#include "CatalogueTestSupport.h"
#include "Common/FileSystem/Catalogue/FileSystemItemMOCategory.h"
#include "Platform/Log.h"

using namespace vistel;
using namespace vistel::test;

namespace {

class CategoryTest : public CatalogueTest {
protected:
    void SetUp() override
    {
        CatalogueTest::SetUp();
        openCatalogue();
    }
    std::vector<std::string> childNames(FileSystemItemMOCategory& node)
    {
        std::vector<std::string> names;
        for (long i = 0; i < node.numberOfChildren(); ++i)
            names.push_back(node.childAtIndex(i)->name().value_or("(null)"));
        return names;
    }
    long long tagCount()
    {
        return static_cast<long long>(database_->searchObjectsBy("", {}, 0, MediaDatabase::EntityTag)->size());
    }
    Ref<FileSystemItemMO> newItem(const std::string& name)
    {
        return database_->createChildOf(nullptr, name, MediaDatabase::EntityFile);
    }
};

} // namespace

TEST_F(CategoryTest, DefaultsOfANewStore)
{
    auto root = FileSystemItemMOCategory::rootCategory();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name(), kRootCategoryName);
    EXPECT_EQ(childNames(*root), (std::vector<std::string> {"Albums", "People", "Places", "Various"}));
    EXPECT_EQ(childNames(*root->childWithName("People")), std::vector<std::string> {"Friends"});
    // Made in the order Albums, Places, People, Friends, Various.
    std::vector<std::int64_t> rows;
    for (const char* name : {"Albums", "Places", "People", "Various"})
        rows.push_back(root->childWithName(name)->uniqueID().rowID);
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end()));
    EXPECT_LT(root->childWithName("People")->childWithName("Friends")->uniqueID().rowID, rows[3]);
    EXPECT_EQ(FileSystemItemMOCategory::rootCategory(), root);

    // Removing every default brings them back with the next question for the root.
    while (root->numberOfChildren() > 0)
        root->removeChild(root->childAtIndex(0).get());
    EXPECT_EQ(childNames(*FileSystemItemMOCategory::rootCategory()).size(), 4u);
}

TEST_F(CategoryTest, NamesOrderAndMoves)
{
    auto root = FileSystemItemMOCategory::rootCategory();
    const long long before = tagCount();
    auto albums = root->addChildWithName("Albums");
    EXPECT_TRUE(albums->isEqual(root->childWithName("Albums").get()));
    EXPECT_EQ(tagCount(), before);
    auto lower = root->addChildWithName("albums");
    EXPECT_EQ(childNames(*root).back(), "albums");
    lower->setName("Zebra");
    EXPECT_EQ(childNames(*root).back(), "Zebra");
    lower->setName("Aardvark");
    EXPECT_EQ(childNames(*root).front(), "Aardvark");
    EXPECT_FALSE(root->childWithName("aardvark"));

    // Moves: under another category, never under itself or its own descendant.
    auto people = root->childWithName("People");
    auto friends = people->childWithName("Friends");
    auto school = friends->addChildWithName("School");
    {
        ScopedLogCapture log;
        EXPECT_FALSE(friends->addExistingChild(people.get()));
        EXPECT_FALSE(school->addExistingChild(people.get()));
        EXPECT_FALSE(people->addExistingChild(people.get()));
        EXPECT_TRUE(log.contains("cannot move under itself"));
    }
    EXPECT_EQ(people->parentCategory(), root.get());
    EXPECT_TRUE(albums->addExistingChild(school.get()));
    EXPECT_EQ(friends->numberOfChildren(), 0);
    EXPECT_EQ(childNames(*albums), std::vector<std::string> {"School"});
    EXPECT_EQ(school->parentCategory(), albums.get());
    auto found = FileSystemItemMOCategory::existingCategoryForUniqueID(school->uniqueIDString());
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->isEqual(school.get()));
    EXPECT_EQ(FileSystemItemMOCategory::nameOfCategoryWithID(school->uniqueIDString()), "School");

    // Texts that name no category.
    auto item = newItem("p.jpg");
    for (const std::string& text : {std::string("garbage"), item->objectID().uriRepresentation(), std::string()})
        EXPECT_FALSE(FileSystemItemMOCategory::existingCategoryForUniqueID(text)) << text;
}

TEST_F(CategoryTest, AssignmentsAndRemoval)
{
    auto root = FileSystemItemMOCategory::rootCategory();
    auto people = root->childWithName("People");
    auto friends = people->childWithName("Friends");
    auto a = newItem("a.jpg");
    auto b = newItem("b.jpg");
    friends->setToItem(a.get());
    friends->setToItem(a.get());
    friends->setToItem(b.get());
    people->setToItem(b.get());
    EXPECT_EQ(FileSystemItemMOCategory::categoryUniqueIDsForItem(a.get()), std::set<std::string> {friends->uniqueIDString()});
    EXPECT_EQ(FileSystemItemMOCategory::categoryUniqueIDsForItem(b.get()).size(), 2u);
    EXPECT_TRUE(friends->isAssignedToTheItem(a.get()));
    EXPECT_TRUE(friends->isAssignedToAnItem());
    EXPECT_FALSE(root->childWithName("Places")->isAssignedToAnItem());
    friends->removeFromItem(a.get());
    EXPECT_FALSE(friends->isAssignedToTheItem(a.get()));
    EXPECT_TRUE(friends->isAssignedToTheItem(b.get()));

    friends->setToItem(a.get());
    root->removeChild(people.get());
    EXPECT_FALSE(root->childWithName("People"));
    EXPECT_TRUE(FileSystemItemMOCategory::categoryUniqueIDsForItem(a.get()).empty());
    EXPECT_TRUE(FileSystemItemMOCategory::categoryUniqueIDsForItem(b.get()).empty());
    EXPECT_FALSE(FileSystemItemMOCategory::existingCategoryForUniqueID(friends->uniqueIDString()));
    EXPECT_EQ(friends->numberOfChildren(), 0);
    EXPECT_FALSE(friends->name());
    ASSERT_TRUE(database_->managedObjectContext()->save());
    EXPECT_EQ(committed("SELECT count(*) FROM Tag WHERE name IN (SELECT Z_PK FROM TagName WHERE value IN ('"
                        + friends->uniqueIDString() + "','" + people->uniqueIDString() + "'))"),
              0);
}
