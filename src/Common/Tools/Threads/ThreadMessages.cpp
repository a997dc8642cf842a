#include "Common/Tools/Threads/ThreadMessages.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include "Common/Tools/Threads/DoneSignal.h"
#include "Common/Tools/Threads/NSThreadExt.h"
#include "Platform/Exception.h"
#include "Platform/Formatter.h"
#include "Platform/Log.h"

namespace vistel::ThreadMessages {

namespace {

// Raises the waiting sender's signal when the queued call is destroyed: after it ran, or when
// the receiving loop dropped it because its thread exited. Either way the sender goes on.
class SignalWhenDestroyed {
public:
    explicit SignalWhenDestroyed(std::shared_ptr<DoneSignal> completion) : completion_(std::move(completion)) { }
    SignalWhenDestroyed(const SignalWhenDestroyed&) = delete;
    SignalWhenDestroyed& operator=(const SignalWhenDestroyed&) = delete;
    ~SignalWhenDestroyed() { completion_->signal(); }

private:
    std::shared_ptr<DoneSignal> completion_;
};

} // namespace

void prepareForThreadMessages()
{
    RunLoop::current();
}

void performSelector(std::function<void()> call, RunLoop* thread, bool waitUntilDone)
{
    if (!thread || thread->isCurrent()) {
        call();
        return;
    }
    if (!waitUntilDone) {
        if (!thread->perform(std::move(call)))
            ZovLog("ThreadMessages::performSelector the receiving thread has exited; message dropped");
        return;
    }
    auto completion = std::make_shared<DoneSignal>();
    auto guard = std::make_shared<SignalWhenDestroyed>(completion);
    const bool accepted = thread->perform([call = std::move(call), guard]() { call(); });
    guard.reset();
    if (!accepted)
        ZovLog("ThreadMessages::performSelector the receiving thread has exited; message dropped");
    completion->wait();
}

void performSelector(std::function<void()> call, NSThreadExt& thread, bool waitUntilDone)
{
    Ref<RunLoop> loop = thread.runLoop();
    if (!loop)
        throw Exception("NSInvalidArgumentException",
                        format("Thread %@ is not prepared to receive thread messages. You must invoke "
                               "+prepareForThreadMessages for each thread.",
                               thread.description()));
    performSelector(std::move(call), loop.get(), waitUntilDone);
}

void performSelectorOnMainThread(std::function<void()> call, bool waitUntilDone)
{
    RunLoop* main = RunLoop::main();
    ZOV_ASSERT(main, "The main thread is not recorded");
    performSelector(std::move(call), main, waitUntilDone);
}

void performSelectorWithObject(std::function<void()> call, unsigned order, RunLoop::Modes modes)
{
    RunLoop* main = RunLoop::main();
    ZOV_ASSERT(main, "The main thread is not recorded");
    if (!main->perform(std::move(call), std::move(modes), order))
        ZovLog("ThreadMessages::performSelectorWithObject the main thread has exited; message dropped");
}

} // namespace vistel::ThreadMessages
