#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Platform/NotificationQueue.h"

using namespace vistel;
using namespace std::chrono_literals;

namespace {

struct Poster : Object { };

class NotificationQueueTest : public testing::Test {
protected:
    void SetUp() override
    {
        center_.addObserver(this, [this](const Notification& n) {
            heard_.push_back(n.name + (n.userInfo.isNull() ? "" : "=" + n.userInfo["v"].description()));
        }, "");
        queue_ = NotificationQueue::create(center_, RunLoop::current());
    }
    void TearDown() override
    {
        queue_ = nullptr;
        // Nothing of this test may leak into the next one through the thread's loop.
        RunLoop::current()->runMode(NSDefaultRunLoopMode, RunLoop::Clock::now());
    }
    void pass(const char* mode = NSDefaultRunLoopMode)
    {
        RunLoop::current()->runMode(mode, RunLoop::Clock::now() + 20ms);
    }
    static Value v(int i) { return Value::dictionary({{"v", i}}); }

    NotificationCenter center_;
    Ref<NotificationQueue> queue_;
    std::vector<std::string> heard_;
};

} // namespace

TEST_F(NotificationQueueTest, AsapPostsCoalescedByNameArriveOnceWithTheNewestInfo)
{
    for (int i = 0; i < 100; ++i)
        queue_->enqueueNotification({"MDFileChanged", {}, v(i)}, PostingStyle::NSPostASAP, NSNotificationCoalescingOnName);
    EXPECT_TRUE(heard_.empty()); // nothing before the loop runs
    pass();
    EXPECT_EQ(heard_, (std::vector<std::string> {"MDFileChanged=99"}));
    pass();
    EXPECT_EQ(heard_.size(), 1u);
}

TEST_F(NotificationQueueTest, CoalescingMasks)
{
    auto a = makeRef<Poster>();
    auto b = makeRef<Poster>();
    const unsigned both = NSNotificationCoalescingOnName | NSNotificationCoalescingOnSender;
    queue_->enqueueNotification({"Changed", a, v(1)}, PostingStyle::NSPostASAP, both);
    queue_->enqueueNotification({"Changed", b, v(2)}, PostingStyle::NSPostASAP, both);
    queue_->enqueueNotification({"Changed", a, v(3)}, PostingStyle::NSPostASAP, both); // replaces 1
    queue_->enqueueNotification({"Other", a, v(4)}, PostingStyle::NSPostASAP, NSNotificationCoalescingOnSender); // replaces 3
    queue_->enqueueNotification({"Plain", {}, v(5)}, PostingStyle::NSPostASAP, NSNotificationNoCoalescing);
    queue_->enqueueNotification({"Plain", {}, v(6)}, PostingStyle::NSPostASAP, NSNotificationNoCoalescing);
    pass();
    EXPECT_EQ(heard_, (std::vector<std::string> {"Changed=2", "Other=4", "Plain=5", "Plain=6"}));
}

TEST_F(NotificationQueueTest, PostNowCoalescesQueuedOnesAndPostsAtOnce)
{
    queue_->enqueueNotification({"N", {}, v(1)}, PostingStyle::NSPostASAP, NSNotificationCoalescingOnName);
    queue_->enqueueNotification({"N", {}, v(2)}, PostingStyle::NSPostNow, NSNotificationCoalescingOnName);
    EXPECT_EQ(heard_, (std::vector<std::string> {"N=2"}));
    pass();
    EXPECT_EQ(heard_.size(), 1u);
}

TEST_F(NotificationQueueTest, IdlePostsWaitUntilNothingIsQueued)
{
    auto* loop = RunLoop::current();
    int chain = 0;
    std::function<void()> step = [&] {
        heard_.push_back("work");
        if (++chain < 3)
            loop->perform(step, {NSDefaultRunLoopMode});
    };
    queue_->enqueueNotification({"MediaDatabaseProcessResultsFromThreads", {}, v(1)}, PostingStyle::NSPostWhenIdle,
                                NSNotificationNoCoalescing, {NSEventTrackingRunLoopMode, NSDefaultRunLoopMode});
    loop->perform(step, {NSDefaultRunLoopMode});
    for (int i = 0; i < 5; ++i)
        pass();
    EXPECT_EQ(heard_, (std::vector<std::string> {"work", "work", "work", "MediaDatabaseProcessResultsFromThreads=1"}));
}

TEST_F(NotificationQueueTest, ModesDecideWhenQueuedNotificationsPost)
{
    queue_->enqueueNotification({"MountMedia", {}, v(1)}, PostingStyle::NSPostWhenIdle, NSNotificationNoCoalescing,
                                {NSModalPanelRunLoopMode, NSDefaultRunLoopMode});
    queue_->enqueueNotification({"MDFileChanged", {}, v(2)}, PostingStyle::NSPostASAP, NSNotificationCoalescingOnName,
                                {NSEventTrackingRunLoopMode, NSDefaultRunLoopMode});
    pass(NSModalPanelRunLoopMode);
    EXPECT_EQ(heard_, (std::vector<std::string> {"MountMedia=1"}));
    pass(NSEventTrackingRunLoopMode);
    EXPECT_EQ(heard_, (std::vector<std::string> {"MountMedia=1", "MDFileChanged=2"}));
}

TEST_F(NotificationQueueTest, DequeueMatchingWithdraws)
{
    queue_->enqueueNotification({"A", {}, v(1)}, PostingStyle::NSPostASAP, NSNotificationNoCoalescing);
    queue_->enqueueNotification({"B", {}, v(2)}, PostingStyle::NSPostWhenIdle, NSNotificationNoCoalescing);
    queue_->dequeueNotificationsMatching({"A", {}, {}}, NSNotificationCoalescingOnName);
    pass();
    EXPECT_EQ(heard_, (std::vector<std::string> {"B=2"}));
}

TEST(NotificationQueue, DefaultQueueIsPerThreadAndPostsToTheDefaultCenter)
{
    EXPECT_EQ(&NotificationQueue::defaultQueue(), &NotificationQueue::defaultQueue());
    NotificationQueue* other = nullptr;
    std::thread([&] { other = &NotificationQueue::defaultQueue(); }).join();
    EXPECT_NE(other, &NotificationQueue::defaultQueue());

    int observer = 0, heard = 0;
    NotificationCenter::defaultCenter().addObserver(&observer, [&](const Notification&) { ++heard; }, "adjustButtonsToSliderCell");
    NotificationQueue::defaultQueue().enqueueNotification({"adjustButtonsToSliderCell", {}, {}}, PostingStyle::NSPostASAP);
    RunLoop::current()->runMode(NSDefaultRunLoopMode, RunLoop::Clock::now() + 20ms);
    NotificationCenter::defaultCenter().removeObserver(&observer);
    EXPECT_EQ(heard, 1);
}

TEST_F(NotificationQueueTest, ReleasedOnAnotherThreadWhilePostingFinishesThePass)
{
    center_.addObserver(this, [this](const Notification& n) {
        if (n.name != "First")
            return;
        // The last reference goes away on another thread while this pass is still posting.
        std::thread([queue = std::move(queue_)]() mutable { queue = nullptr; }).join();
    }, "First");
    queue_->enqueueNotification({"First", {}, {}}, PostingStyle::NSPostASAP, NSNotificationNoCoalescing);
    queue_->enqueueNotification({"Second", {}, {}}, PostingStyle::NSPostASAP, NSNotificationNoCoalescing);
    pass();
    EXPECT_EQ(heard_, (std::vector<std::string> {"First", "Second"}));
    pass();
    EXPECT_EQ(heard_.size(), 2u) << "a released queue posts nothing more";
}
