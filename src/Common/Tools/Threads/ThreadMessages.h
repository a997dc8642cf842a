#pragma once
// Thread messages: running a call on a chosen thread.
//
// A thread is addressed by its RunLoop (RunLoop::current() on that thread, a worker's
// runLoop(), RunLoop::main()). The call is queued to that loop in the common modes and runs on
// its next pass; the thread must run its loop for it to happen. A call addressed to the calling
// thread (or to no thread) runs at once, before performSelector() returns, whatever
// waitUntilDone says.
//
// With waitUntilDone the caller blocks until the call has run on the other thread (or was
// dropped because that thread exited). Two threads waiting on each other this way deadlock, as
// with any synchronous call: wait only on threads that never wait on you.
//
// Arguments and targets travel inside the closure: capture Refs to keep them alive until the
// call has run.

#include <functional>

#include "Platform/RunLoop.h"

namespace vistel {

class NSThreadExt;

namespace ThreadMessages {

// Makes sure the calling thread can be addressed (has its run loop). NSThreadExt does it for
// its threads; other threads that are to receive messages call it and run their loop.
void prepareForThreadMessages();

void performSelector(std::function<void()> call, RunLoop* thread, bool waitUntilDone = true);
// Addressed to a worker's thread. Raises NSInvalidArgumentException "Thread %@ is not prepared
// to receive thread messages. ..." when the worker has no running thread.
void performSelector(std::function<void()> call, NSThreadExt& thread, bool waitUntilDone = true);
void performSelectorOnMainThread(std::function<void()> call, bool waitUntilDone);
// From any thread: queues `call` on the MAIN run loop, to run at its next pass in one of
// `modes`, lower `order` first (the ordered form of the main-run-loop message).
void performSelectorWithObject(std::function<void()> call, unsigned order, RunLoop::Modes modes);

} // namespace ThreadMessages
} // namespace vistel
