#pragma once
// A receiver of the volume manager's signals for the volume tests.

#include <chrono>
#include <functional>
#include <vector>

#include "Common/Volumes/ZovVolumeManager.h"
#include "Platform/RunLoop.h"

namespace vistel::test {

class SignalRecorder : public SignalObject {
public:
    // Connects to both signals of `manager` from the calling thread; `onUnmount` runs in the
    // unmounted slot.
    static Ref<SignalRecorder> create(ZovVolumeManager& manager, ConnectionType type = ConnectionType::Automatic,
                                      std::function<void()> onUnmount = {})
    {
        Ref<SignalRecorder> recorder = Ref<SignalRecorder>::adopt(new SignalRecorder());
        recorder->onUnmount_ = std::move(onUnmount);
        recorder->connectSignal(&manager, ZovVolumeManagerMountedNotification, "didMount:", type);
        recorder->connectSignal(&manager, ZovVolumeManagerUnmountedNotification, "didUnmount:", type);
        return recorder;
    }

    // Runs the calling thread's loop until at least the given counts arrived (10 s at most),
    // then a little longer, so that a signal sent twice would show.
    bool waitFor(std::size_t mountedCount, std::size_t unmountedCount)
    {
        using namespace std::chrono_literals;
        RunLoop* loop = RunLoop::current();
        const auto deadline = RunLoop::Clock::now() + 10s;
        while ((mounted.size() < mountedCount || unmounted.size() < unmountedCount) && RunLoop::Clock::now() < deadline)
            loop->runUntil(RunLoop::Clock::now() + 20ms);
        loop->runUntil(RunLoop::Clock::now() + 200ms);
        return mounted.size() == mountedCount && unmounted.size() == unmountedCount;
    }

    std::vector<Ref<ZovDeviceInfo>> mounted;
    std::vector<Ref<ZovDeviceInfo>> unmounted;
    bool allOnMainThread = true;

    std::string className() const override { return "SignalRecorder"; }

private:
    SignalRecorder()
    {
        addSlot("didMount:", [this](const Notification& n) { record(n, mounted); });
        addSlot("didUnmount:", [this](const Notification& n) {
            record(n, unmounted);
            if (onUnmount_)
                onUnmount_();
        });
    }
    void record(const Notification& notification, std::vector<Ref<ZovDeviceInfo>>& into)
    {
        allOnMainThread = allOnMainThread && RunLoop::isMainThread();
        into.push_back(notification.userInfo.get(ZovVolumeManagerVolumeInfoKey).toObject<ZovDeviceInfo>());
    }

    std::function<void()> onUnmount_;
};

} // namespace vistel::test
