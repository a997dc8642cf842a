// libNetComponents: the network component library's entry points with a scriptable, recording
// component behind them (see NetComponentsTest.h for what it keeps and what tests control).

#define NET_COMPONENT_API __attribute__((visibility("default")))
#include "NetWrappers/NetComponentEntryPoints.h"
#include "NetWrappers/NetComponents/NetComponentsTest.h"

#include <cstddef>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// What the tables say of each id: kinds are 's' string, 'c' counted text or data, 'i' int,
// 'b' bool; method argument kinds 's', 'd' data, 'i'; a result 's' or 'c', 0 for none.
struct NetComponentProperty {
    const char* getter;
    const char* setter;
    char kind;
};

struct NetComponentMethod {
    const char* selector;
    const char* arguments;
    char result;
};

struct NetComponentFamily {
    const char* prefix;
    const NetComponentProperty* properties;
    std::size_t propertyCount;
    const NetComponentMethod* methods;
    std::size_t methodCount;
};

#include "NetWrappers/NetComponentTables.inc"

constexpr int kFamilyCount = static_cast<int>(std::size(kFamilies));
constexpr const char* kInvalidHandleText = "Invalid component handle.";
// More argument slots than any family's method has; a larger count is not read.
constexpr int kMostArguments = 64;

struct Component {
    int family = 0;
    NetComponentSink sink = nullptr;
    void* context = nullptr;
    int errorCode = 0;
    std::optional<std::string> errorText = std::string();
    // Buffers answered since the last Get, Set, Do: a deque never moves its elements.
    std::deque<std::string> answers;
};

struct Answer {
    int slot = 0;
    bool isBytes = false;
    bool nullBytes = false;
    std::string bytes;
    std::intptr_t word = 0;
    int length = 0;
};

struct RecordedCall {
    NetComponentsCall call{};
    std::vector<NetComponentsSlot> slots;
    std::vector<std::vector<unsigned char>> bytes;
};

struct PendingEvent {
    void* handle;
    int event;
    int argumentCount;
    void** slots;
    int* lengths;
};

struct Failure {
    int code;
    std::optional<std::string> text; // none: GetLastError answers a null address
};

using Key = std::pair<int, int>; // family, id

struct State {
    std::mutex mutex;
    std::map<std::uintptr_t, Component> components;
    std::uintptr_t handlesMade = 0;
    std::map<int, void*> lastCreated;
    std::deque<RecordedCall> calls;
    std::map<Key, Answer> getAnswers;
    std::set<Key> acceptedSets;
    std::map<Key, std::vector<Answer>> doAnswers;
    std::optional<Failure> failNext;
    std::deque<PendingEvent> pendingEvents;
};

// Made on first use: loading the library runs no constructor.
State& state()
{
    static State instance;
    return instance;
}

int familyOf(const char* prefix)
{
    for (int i = 0; prefix && i < kFamilyCount; ++i)
        if (std::strcmp(kFamilies[i].prefix, prefix) == 0)
            return i;
    return -1;
}

const NetComponentProperty* propertyOf(int family, int id)
{
    const NetComponentFamily& f = kFamilies[family];
    if (id < 1 || static_cast<std::size_t>(id) > f.propertyCount || !f.properties[id - 1].kind)
        return nullptr;
    return &f.properties[id - 1];
}

const NetComponentMethod* methodOf(int family, int id)
{
    const NetComponentFamily& f = kFamilies[family];
    if (id < 1 || static_cast<std::size_t>(id) > f.methodCount || !f.methods[id - 1].selector)
        return nullptr;
    return &f.methods[id - 1];
}

std::string notSupported(const char* selector, int id)
{
    const std::string name = selector ? selector : "#" + std::to_string(id);
    return "'" + name + "' is not supported by this build";
}

Component* find(State& s, int family, void* handle)
{
    const auto found = s.components.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == s.components.end() || found->second.family != family)
        return nullptr;
    return &found->second;
}

// Records a call; `kinds` gives, per slot, whether it holds an address and how far to copy.
RecordedCall& record(State& s, int family, int entry, void* handle)
{
    RecordedCall& r = s.calls.emplace_back();
    r.call.prefix = family >= 0 ? kFamilies[family].prefix : "";
    r.call.entry = entry;
    r.call.handle = handle;
    r.call.lengthGiven = -1;
    return r;
}

// Adds one slot; `kind` 's' copies up to the NUL, 'c'/'d' copies `length` bytes, anything
// else is not an address.
void recordSlot(RecordedCall& r, void* word, int length, char kind)
{
    NetComponentsSlot slot{};
    slot.word = reinterpret_cast<std::uintptr_t>(word);
    slot.length = length;
    slot.isAddress = kind == 's' || kind == 'c' || kind == 'd';
    std::vector<unsigned char> copy;
    if (slot.isAddress && word) {
        const auto* bytes = static_cast<const unsigned char*>(word);
        const std::size_t count = kind == 's' ? std::strlen(static_cast<const char*>(word))
                                              : static_cast<std::size_t>(length > 0 ? length : 0);
        copy.assign(bytes, bytes + count);
    }
    r.slots.push_back(slot);
    r.bytes.push_back(std::move(copy));
    // Point the C view at the stored copies (the vectors may have moved).
    for (std::size_t i = 0; i < r.slots.size(); ++i) {
        r.slots[i].bytes = r.slots[i].isAddress && r.slots[i].word ? r.bytes[i].data() : nullptr;
        r.slots[i].byteCount = static_cast<int>(r.bytes[i].size());
    }
    r.call.slots = r.slots.data();
    r.call.slotCount = static_cast<int>(r.slots.size());
}

// Starts a Get, Set or Do on a live component: clears its error and answered buffers, takes a
// pending failure and the events queued for this call.
struct CallStart {
    std::optional<Failure> failure;
    std::vector<PendingEvent> events;
    NetComponentSink sink = nullptr;
    void* context = nullptr;
};

CallStart startCall(State& s, Component& c, void* handle)
{
    c.errorCode = 0;
    c.errorText = std::string();
    c.answers.clear();
    CallStart start;
    start.failure = std::exchange(s.failNext, std::nullopt);
    for (auto it = s.pendingEvents.begin(); it != s.pendingEvents.end();) {
        if (!it->handle || it->handle == handle) {
            start.events.push_back(*it);
            it = s.pendingEvents.erase(it);
        } else {
            ++it;
        }
    }
    start.sink = c.sink;
    start.context = c.context;
    return start;
}

// Fires the queued events with the lock released: handlers may call back in.
void fire(const CallStart& start)
{
    for (const PendingEvent& e : start.events)
        if (start.sink)
            start.sink(start.context, e.event, e.argumentCount, e.slots, e.lengths);
}

void fail(Component& c, int code, std::optional<std::string> text)
{
    c.errorCode = code;
    c.errorText = std::move(text);
}

const char* answerBytes(Component& c, const Answer& answer)
{
    if (answer.nullBytes)
        return nullptr;
    return c.answers.emplace_back(answer.bytes).c_str();
}

void* create(int family, NetComponentSink sink, void* context, void*) noexcept
try {
    State& s = state();
    std::lock_guard lock(s.mutex);
    RecordedCall& r = record(s, family, NetComponentsEntry_Create, nullptr);
    if (std::exchange(s.failNext, std::nullopt))
        return nullptr;
    void* handle = reinterpret_cast<void*>(++s.handlesMade << 4);
    Component& c = s.components[reinterpret_cast<std::uintptr_t>(handle)];
    c.family = family;
    c.sink = sink;
    c.context = context;
    s.lastCreated[family] = handle;
    r.call.handle = handle;
    return handle;
} catch (...) {
    return nullptr;
}

int destroy(int family, void* handle) noexcept
try {
    State& s = state();
    std::lock_guard lock(s.mutex);
    record(s, family, NetComponentsEntry_Destroy, handle);
    if (!find(s, family, handle))
        return NetComponentsTest_InvalidHandle;
    s.components.erase(reinterpret_cast<std::uintptr_t>(handle));
    for (auto& [f, last] : s.lastCreated)
        if (last == handle)
            last = nullptr;
    return 0;
} catch (...) {
    return NetComponentsTest_InternalFailure;
}

// One Get, Set or Do: records it with `recordArguments`, clears the component's error, fires
// the events queued for it with the lock released (handlers may call back in), then lets
// `answer` make the result under the lock, given the failure the test asked for, if any.
// `invalid` is the result when the handle names no component of the family, then or after
// the events.
template <class Result, class RecordArguments, class Answer>
Result call(int family, void* handle, int entry, Result invalid, RecordArguments recordArguments, Answer answer)
{
    State& s = state();
    CallStart start;
    {
        std::lock_guard lock(s.mutex);
        recordArguments(record(s, family, entry, handle));
        Component* c = find(s, family, handle);
        if (!c)
            return invalid;
        start = startCall(s, *c, handle);
    }
    fire(start);
    std::lock_guard lock(s.mutex);
    Component* c = find(s, family, handle);
    if (!c)
        return invalid;
    return answer(s, *c, start.failure);
}

void* get(int family, void* handle, int id, int index, int* length) noexcept
try {
    const auto recordArguments = [&](RecordedCall& r) {
        r.call.id = id;
        r.call.index = index;
        r.call.lengthGiven = length ? *length : -1;
        if (length)
            *length = 0;
    };
    return call(family, handle, NetComponentsEntry_Get, static_cast<void*>(nullptr), recordArguments,
                [&](State& s, Component& c, const std::optional<Failure>& failure) -> void* {
                    const auto answer = s.getAnswers.find({family, id});
                    if (failure) {
                        fail(c, failure->code, failure->text);
                    } else if (answer == s.getAnswers.end()) {
                        const NetComponentProperty* p = propertyOf(family, id);
                        fail(c, NetComponentsTest_NotSupported,
                             notSupported(p ? (p->getter ? p->getter : p->setter) : nullptr, id));
                    }
                    if (answer == s.getAnswers.end())
                        return nullptr;
                    if (length)
                        *length = answer->second.length;
                    if (answer->second.isBytes)
                        return const_cast<char*>(answerBytes(c, answer->second));
                    return reinterpret_cast<void*>(answer->second.word);
                });
} catch (...) {
    return nullptr;
}

int set(int family, void* handle, int id, int index, void* value, int length) noexcept
try {
    const NetComponentProperty* p = propertyOf(family, id);
    const auto recordArguments = [&](RecordedCall& r) {
        r.call.id = id;
        r.call.index = index;
        recordSlot(r, value, length, p ? p->kind : 'i');
    };
    return call(family, handle, NetComponentsEntry_Set, int(NetComponentsTest_InvalidHandle), recordArguments,
                [&](State& s, Component& c, const std::optional<Failure>& failure) {
                    if (failure) {
                        fail(c, failure->code, failure->text);
                        return failure->code;
                    }
                    if (s.acceptedSets.count({family, id}))
                        return 0;
                    fail(c, NetComponentsTest_NotSupported,
                         notSupported(p ? (p->setter ? p->setter : p->getter) : nullptr, id));
                    return int(NetComponentsTest_NotSupported);
                });
} catch (...) {
    return NetComponentsTest_InternalFailure;
}

int invoke(int family, void* handle, int id, int argumentCount, void** slots, int* lengths) noexcept
try {
    const NetComponentMethod* m = methodOf(family, id);
    const auto recordArguments = [&](RecordedCall& r) {
        r.call.id = id;
        r.call.argumentCount = argumentCount;
        r.call.lengthsNull = lengths == nullptr;
        if (!slots || argumentCount < 0 || argumentCount > kMostArguments)
            return;
        for (int i = 0; i <= argumentCount; ++i) {
            const bool isArgument = m && static_cast<std::size_t>(i) < std::strlen(m->arguments);
            recordSlot(r, slots[i], lengths ? lengths[i] : 0, isArgument ? m->arguments[i] : 'i');
        }
    };
    return call(family, handle, NetComponentsEntry_Do, int(NetComponentsTest_InvalidHandle), recordArguments,
                [&](State& s, Component& c, const std::optional<Failure>& failure) {
                    if (failure) {
                        fail(c, failure->code, failure->text);
                        return failure->code;
                    }
                    const auto answers = s.doAnswers.find({family, id});
                    if (answers == s.doAnswers.end()) {
                        fail(c, NetComponentsTest_NotSupported, notSupported(m ? m->selector : nullptr, id));
                        return int(NetComponentsTest_NotSupported);
                    }
                    for (const Answer& answer : answers->second) {
                        if (!slots || answer.slot < 0 || answer.slot > argumentCount)
                            continue;
                        slots[answer.slot] = answer.isBytes ? const_cast<char*>(answerBytes(c, answer))
                                                            : reinterpret_cast<void*>(answer.word);
                        if (lengths)
                            lengths[answer.slot] = answer.length;
                    }
                    return 0;
                });
} catch (...) {
    return NetComponentsTest_InternalFailure;
}

const char* lastError(int family, void* handle) noexcept
try {
    State& s = state();
    std::lock_guard lock(s.mutex);
    record(s, family, NetComponentsEntry_GetLastError, handle);
    Component* c = find(s, family, handle);
    if (!c)
        return kInvalidHandleText;
    return c->errorText ? c->errorText->c_str() : nullptr;
} catch (...) {
    return kInvalidHandleText;
}

int lastErrorCode(int family, void* handle) noexcept
try {
    State& s = state();
    std::lock_guard lock(s.mutex);
    record(s, family, NetComponentsEntry_GetLastErrorCode, handle);
    Component* c = find(s, family, handle);
    return c ? c->errorCode : NetComponentsTest_InvalidHandle;
} catch (...) {
    return NetComponentsTest_InternalFailure;
}

Answer bytesAnswer(int slot, const void* bytes, int count, int length)
{
    Answer answer;
    answer.slot = slot;
    answer.isBytes = true;
    answer.nullBytes = bytes == nullptr;
    if (bytes && count > 0)
        answer.bytes.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(count));
    answer.length = length;
    return answer;
}

Answer wordAnswer(int slot, std::intptr_t word, int length)
{
    Answer answer;
    answer.slot = slot;
    answer.word = word;
    answer.length = length;
    return answer;
}

} // namespace

#define NET_COMPONENT_ENTRY_POINTS(Name, family)                                                 \
    void* Name##_Create(NetComponentSink sink, void* context, void* reserved)                    \
    {                                                                                            \
        return create(family, sink, context, reserved);                                          \
    }                                                                                            \
    int Name##_Destroy(void* handle) { return destroy(family, handle); }                         \
    void* Name##_Get(void* handle, int property, int index, int* length)                         \
    {                                                                                            \
        return get(family, handle, property, index, length);                                     \
    }                                                                                            \
    int Name##_Set(void* handle, int property, int index, void* value, int length)               \
    {                                                                                            \
        return set(family, handle, property, index, value, length);                              \
    }                                                                                            \
    int Name##_Do(void* handle, int method, int argumentCount, void** slots, int* lengths)       \
    {                                                                                            \
        return invoke(family, handle, method, argumentCount, slots, lengths);                    \
    }                                                                                            \
    const char* Name##_GetLastError(void* handle) { return lastError(family, handle); }          \
    int Name##_GetLastErrorCode(void* handle) { return lastErrorCode(family, handle); }

extern "C" {

NET_COMPONENT_FAMILIES(NET_COMPONENT_ENTRY_POINTS)

void NetComponentsTest_Reset(void)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.calls.clear();
    s.getAnswers.clear();
    s.acceptedSets.clear();
    s.doAnswers.clear();
    s.failNext.reset();
    s.pendingEvents.clear();
}

int NetComponentsTest_CallCount(void)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(s.calls.size());
}

const NetComponentsCall* NetComponentsTest_Call(int position)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (position < 0 || static_cast<std::size_t>(position) >= s.calls.size())
        return nullptr;
    return &s.calls[static_cast<std::size_t>(position)].call;
}

void NetComponentsTest_AnswerGetWord(const char* prefix, int id, intptr_t word, int length)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.getAnswers[{familyOf(prefix), id}] = wordAnswer(0, word, length);
}

void NetComponentsTest_AnswerGetBytes(const char* prefix, int id, const void* bytes, int count, int length)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.getAnswers[{familyOf(prefix), id}] = bytesAnswer(0, bytes, count, length);
}

void NetComponentsTest_AcceptSet(const char* prefix, int id)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.acceptedSets.insert({familyOf(prefix), id});
}

void NetComponentsTest_AcceptDo(const char* prefix, int id)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.doAnswers[{familyOf(prefix), id}];
}

void NetComponentsTest_AnswerDoBytes(const char* prefix, int id, int slot, const void* bytes, int count, int length)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.doAnswers[{familyOf(prefix), id}].push_back(bytesAnswer(slot, bytes, count, length));
}

void NetComponentsTest_AnswerDoWord(const char* prefix, int id, int slot, intptr_t word, int length)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.doAnswers[{familyOf(prefix), id}].push_back(wordAnswer(slot, word, length));
}

void NetComponentsTest_FailNext(int code, const char* text)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.failNext = Failure{code, text ? std::optional<std::string>(text) : std::nullopt};
}

void* NetComponentsTest_LastCreated(const char* prefix)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const auto found = s.lastCreated.find(familyOf(prefix));
    return found == s.lastCreated.end() ? nullptr : found->second;
}

int NetComponentsTest_FireEvent(void* handle, int event, int argumentCount, void** slots, int* lengths)
{
    NetComponentSink sink = nullptr;
    void* context = nullptr;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        const auto found = s.components.find(reinterpret_cast<std::uintptr_t>(handle));
        if (found == s.components.end() || !found->second.sink)
            return -1;
        sink = found->second.sink;
        context = found->second.context;
    }
    return sink(context, event, argumentCount, slots, lengths);
}

void NetComponentsTest_FireDuringNextCall(void* handle, int event, int argumentCount, void** slots, int* lengths)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.pendingEvents.push_back({handle, event, argumentCount, slots, lengths});
}

} // extern "C"
