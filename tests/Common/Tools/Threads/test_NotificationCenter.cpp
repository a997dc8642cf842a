#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform/NotificationCenter.h"

using namespace vistel;

namespace {

struct Sender : Object { };

} // namespace

TEST(NotificationCenter, FiltersByNameAndObject)
{
    NotificationCenter center;
    auto a = makeRef<Sender>();
    auto b = makeRef<Sender>();
    std::vector<std::string> heard;
    int observer = 0;
    center.addObserver(&observer, [&](const Notification& n) { heard.push_back("name:" + n.name); }, "MDFileChanged");
    center.addObserver(&observer, [&](const Notification& n) { heard.push_back("a:" + n.name); }, "", a.get());
    center.addObserver(&observer, [&](const Notification& n) {
        heard.push_back("both:" + n.userInfo["Reload"].description());
    }, "MDFileChanged", b.get());

    center.postNotificationName("MDFileChanged", a, Value::dictionary({{"Reload", true}}));
    center.postNotificationName("MDFolderChanged", a);
    center.postNotificationName("MDFileChanged", b, Value::dictionary({{"Reload", false}}));
    center.postNotificationName("Other", b);
    EXPECT_EQ(heard, (std::vector<std::string> {"name:MDFileChanged", "a:MDFileChanged", "a:MDFolderChanged",
                                                "name:MDFileChanged", "both:0"}));
}

TEST(NotificationCenter, RemovalNarrowAndWhole)
{
    NotificationCenter center;
    auto a = makeRef<Sender>();
    int one = 0, two = 0;
    int heardOne = 0, heardTwo = 0;
    center.addObserver(&one, [&](const Notification&) { ++heardOne; }, "X");
    center.addObserver(&one, [&](const Notification&) { ++heardOne; }, "Y");
    center.addObserver(&two, [&](const Notification&) { ++heardTwo; }, "X");
    center.removeObserver(&one, "X", nullptr);
    center.postNotificationName("X", a);
    center.postNotificationName("Y", a);
    EXPECT_EQ(heardOne, 1);
    EXPECT_EQ(heardTwo, 1);
    center.removeObserver(&one);
    center.removeObserver(&two);
    center.postNotificationName("X", a);
    center.postNotificationName("Y", a);
    EXPECT_EQ(heardOne, 1);
    EXPECT_EQ(heardTwo, 1);
}

TEST(NotificationCenter, ObserversChangedWhilePosting)
{
    NotificationCenter center;
    std::vector<std::string> heard;
    int first = 0, second = 0, added = 0;
    // The first observer removes the second and adds a third during the same post: the
    // second is not called any more, the third first hears the next post.
    center.addObserver(&first, [&](const Notification&) {
        heard.push_back("first");
        center.removeObserver(&second);
        center.addObserver(&added, [&](const Notification&) { heard.push_back("added"); }, "N");
    }, "N");
    center.addObserver(&second, [&](const Notification&) { heard.push_back("second"); }, "N");
    center.postNotificationName("N");
    EXPECT_EQ(heard, (std::vector<std::string> {"first"}));
    center.removeObserver(&first);
    center.postNotificationName("N");
    EXPECT_EQ(heard, (std::vector<std::string> {"first", "added"}));
}

TEST(NotificationCenter, ObserverRemovingItselfWhileCalled)
{
    NotificationCenter center;
    int self = 0, calls = 0;
    center.addObserver(&self, [&](const Notification&) {
        ++calls;
        center.removeObserver(&self);
    }, "N");
    center.postNotificationName("N");
    center.postNotificationName("N");
    EXPECT_EQ(calls, 1);
}
