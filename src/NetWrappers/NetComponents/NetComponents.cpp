// libNetComponents: the network component library's entry points over the component model
// (ComponentModel.h): a property store for every family, `config:`, list appends, and the
// network backends; plus, in the test build, the recorder and the scripted answers of
// NetComponentsTest.h.

#define NET_COMPONENT_API __attribute__((visibility("default")))
#include "NetWrappers/NetComponentEntryPoints.h"
#include "NetWrappers/NetComponents/ComponentModel.h"
#include "NetWrappers/NetComponents/NetComponentsTest.h"

#include <algorithm>
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

namespace netcomponents {

#include "NetWrappers/NetComponentTables.inc"

constexpr int kFamilyCount = static_cast<int>(std::size(kFamilies));

const NetComponentFamily& familyAt(int family)
{
    return kFamilies[family];
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

int propertyNamed(int family, const char* name)
{
    const NetComponentFamily& f = kFamilies[family];
    for (std::size_t i = 0; i < f.propertyCount; ++i) {
        const NetComponentProperty& p = f.properties[i];
        const char* key = p.getter ? p.getter : p.setter;
        if (key && std::strcmp(key, name) == 0)
            return static_cast<int>(i) + 1;
    }
    return 0;
}

std::string notSupported(const char* selector)
{
    return std::string("'") + selector + "' is not supported by this build";
}

const Value& Component::value(int id) const
{
    static const Value empty;
    const auto found = values.find(id);
    return found == values.end() ? empty : found->second;
}

std::vector<Value> Component::entries(int id)
{
    const NetComponentProperty* p = propertyOf(family, id);
    std::vector<Value>& list = lists[id];
    // A backend may set a count without touching the lists: entries past the end read empty.
    list.resize(static_cast<std::size_t>(p && p->countId ? std::max(0, number(p->countId)) : 0));
    return list;
}

void Component::append(const int* members, const std::vector<Value>& added)
{
    const int countId = propertyOf(family, members[0])->countId;
    const int count = std::max(0, number(countId));
    for (std::size_t i = 0; i < added.size(); ++i) {
        std::vector<Value>& list = lists[members[i]];
        list.resize(static_cast<std::size_t>(count));
        list.push_back(added[i]);
    }
    // Members the method does not name get an empty entry, so every list keeps the count.
    store(countId, count + 1);
    const NetComponentFamily& f = kFamilies[family];
    for (std::size_t id = 1; id <= f.propertyCount; ++id)
        if (f.properties[id - 1].countId == countId)
            lists[static_cast<int>(id)].resize(static_cast<std::size_t>(count + 1));
}

void Component::clearList(int countId)
{
    store(countId, 0);
    const NetComponentFamily& f = kFamilies[family];
    for (std::size_t id = 1; id <= f.propertyCount; ++id)
        if (f.properties[id - 1].countId == countId)
            lists.erase(static_cast<int>(id));
}

int Component::fail(int code, std::string text)
{
    errorCode = code;
    errorText = std::move(text);
    return code;
}

bool Component::fire(int event, std::vector<void*>& slots, std::vector<int>& lengths)
{
    if (!sink || !alive)
        return alive;
    sink(context, event, static_cast<int>(slots.size()), slots.data(), lengths.data());
    return alive;
}

} // namespace netcomponents

namespace {

using namespace netcomponents;

constexpr const char* kInvalidHandleText = "Invalid component handle.";
// More argument slots than any family's method has; a larger count is not read.
constexpr int kMostArguments = 64;

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
using ComponentRef = std::shared_ptr<Component>;

// The registry and the test controls. Its lock is held only for look-ups and records, never
// while a component works or an event sink runs: a call holds its component by reference, so a
// Destroy from inside a handler leaves the object alive until that call returns.
struct State {
    std::mutex mutex;
    std::map<std::uintptr_t, ComponentRef> components;
    std::uintptr_t handlesMade = 0;
    std::map<int, void*> lastCreated;
    bool recording = false;
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

#ifdef NET_COMPONENTS_TEST_CONTROLS
int familyOf(const char* prefix)
{
    for (int i = 0; prefix && i < kFamilyCount; ++i)
        if (std::strcmp(kFamilies[i].prefix, prefix) == 0)
            return i;
    return -1;
}
#endif

ComponentRef find(State& s, int family, void* handle)
{
    const auto found = s.components.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == s.components.end() || found->second->family != family)
        return nullptr;
    return found->second;
}

// Records a call while the recorder is on (from the first NetComponentsTest_Reset); otherwise
// answers a scratch record that the next call overwrites.
RecordedCall& record(State& s, int family, int entry, void* handle)
{
    static thread_local RecordedCall scratch;
    RecordedCall& r = s.recording ? s.calls.emplace_back() : (scratch = RecordedCall());
    r.call.prefix = family >= 0 ? kFamilies[family].prefix : "";
    r.call.entry = entry;
    r.call.handle = handle;
    r.call.lengthGiven = -1;
    return r;
}

// Adds one slot; `kind` 's' copies up to the NUL, 'c'/'d' copies `length` bytes, anything
// else is not an address.
void recordSlot(State& s, RecordedCall& r, void* word, int length, char kind)
{
    if (!s.recording)
        return;
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
    return start;
}

int applyFailure(Component& c, const Failure& failure)
{
    c.errorCode = failure.code;
    c.errorText = failure.text;
    return failure.code;
}

const char* keep(Component& c, std::string bytes)
{
    return c.answers.emplace_back(std::move(bytes)).c_str();
}

const char* answerBytes(Component& c, const Answer& answer)
{
    return answer.nullBytes ? nullptr : keep(c, answer.bytes);
}

std::string propertyName(const NetComponentProperty& p)
{
    return p.getter ? p.getter : p.setter;
}

// The value a Set passes, by the property's kind.
std::optional<Value> valueOf(const NetComponentProperty& p, void* word, int length)
{
    Value v;
    switch (p.kind) {
    case 's':
        if (word)
            v.bytes = static_cast<const char*>(word);
        break;
    case 'c':
        if (length < 0 || (!word && length > 0))
            return std::nullopt;
        if (word)
            v.bytes.assign(static_cast<const char*>(word), static_cast<std::size_t>(length));
        break;
    case 'b':
        v.number = word != nullptr ? 1 : 0;
        break;
    default:
        v.number = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(word));
        break;
    }
    return v;
}

bool isCount(int family, int id)
{
    const NetComponentFamily& f = kFamilies[family];
    for (std::size_t i = 0; i < f.propertyCount; ++i)
        if (f.properties[i].countId == id)
            return true;
    return false;
}

int badIndex(Component& c, const NetComponentProperty& p, int index, std::size_t count)
{
    return c.fail(NetComponentsTest_BadIndex, "Index " + std::to_string(index) + " is out of range for '" +
                                                  propertyName(p) + "' (" + std::to_string(count) + " entries).");
}

void* storeGet(Component& c, int id, int index, int* length)
{
    const NetComponentProperty* p = propertyOf(c.family, id);
    if (!p) {
        c.fail(NetComponentsTest_UnknownProperty, "Unknown property id " + std::to_string(id) + ".");
        return nullptr;
    }
    if (!p->getter) {
        c.fail(NetComponentsTest_WriteOnly, "'" + std::string(p->setter) + "' is write-only.");
        return nullptr;
    }
    Value v;
    if (p->indexed) {
        const std::vector<Value> list = c.entries(id);
        if (index < 0 || static_cast<std::size_t>(index) >= list.size()) {
            badIndex(c, *p, index, list.size());
            return nullptr;
        }
        v = list[static_cast<std::size_t>(index)];
    } else {
        v = c.value(id);
    }
    if (p->kind == 's' || p->kind == 'c') {
        if (length)
            *length = static_cast<int>(v.bytes.size());
        return const_cast<char*>(keep(c, std::move(v.bytes)));
    }
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(v.number));
}

int storeSet(Component& c, int id, int index, void* word, int length)
{
    const NetComponentProperty* p = propertyOf(c.family, id);
    if (!p)
        return c.fail(NetComponentsTest_UnknownProperty, "Unknown property id " + std::to_string(id) + ".");
    if (!p->setter)
        return c.fail(NetComponentsTest_ReadOnly, "'" + std::string(p->getter) + "' is read-only.");
    const std::optional<Value> v = valueOf(*p, word, length);
    if (!v)
        return c.fail(NetComponentsTest_BadValue, "'" + std::string(p->setter) + "' was given " +
                                                      std::to_string(length) + " bytes at a null address.");
    if (p->action) {
        const int done = c.backend ? c.backend->writeAction(c, id, *v) : Backend::kNotHandled;
        return done == Backend::kNotHandled ? c.fail(NetComponentsTest_NotSupported, notSupported(p->setter)) : done;
    }
    if (p->indexed) {
        std::vector<Value> list = c.entries(id);
        if (index < 0 || static_cast<std::size_t>(index) >= list.size())
            return badIndex(c, *p, index, list.size());
        c.lists[id][static_cast<std::size_t>(index)] = *v;
        return 0;
    }
    if (isCount(c.family, id)) {
        if (v->number < 0)
            return c.fail(NetComponentsTest_BadCount, "'" + std::string(p->setter) + "' cannot be negative.");
        c.store(id, v->number);
        const NetComponentFamily& f = kFamilies[c.family];
        for (std::size_t member = 1; member <= f.propertyCount; ++member)
            if (f.properties[member - 1].countId == id)
                c.lists[static_cast<int>(member)].resize(static_cast<std::size_t>(v->number));
        return 0;
    }
    c.values[id] = *v;
    return 0;
}

// config: "Key=Value" stores the setting and answers ""; "Key" answers its value or "".
std::string configure(Component& c, const char* setting)
{
    const std::string text = setting ? setting : "";
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        const auto found = c.settings.find(text);
        return found == c.settings.end() ? std::string() : found->second;
    }
    c.settings[text.substr(0, equals)] = text.substr(equals + 1);
    return {};
}

int storeDo(Component& c, int id, int argumentCount, void** slots, int* lengths)
{
    const NetComponentMethod* m = methodOf(c.family, id);
    if (!m)
        return c.fail(NetComponentsTest_UnknownMethod, "Unknown method id " + std::to_string(id) + ".");
    const int arity = static_cast<int>(std::strlen(m->arguments));
    if (argumentCount != arity)
        return c.fail(NetComponentsTest_ArgumentCount, "'" + std::string(m->selector) + "' takes " +
                                                           std::to_string(arity) + " arguments, not " +
                                                           std::to_string(argumentCount) + ".");
    if (!slots || !lengths)
        return c.fail(NetComponentsTest_BadValue, "'" + std::string(m->selector) + "' was given no slots.");
    if (id == 1) {
        const std::string answer = configure(c, static_cast<const char*>(slots[0]));
        lengths[1] = static_cast<int>(answer.size());
        slots[1] = const_cast<char*>(keep(c, answer));
        return 0;
    }
    if (m->appendsTo) {
        std::vector<Value> added;
        for (int i = 0; i < arity; ++i) {
            Value v;
            if (m->arguments[i] == 'i')
                v.number = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(slots[i]));
            else if (slots[i])
                v.bytes = static_cast<const char*>(slots[i]);
            added.push_back(std::move(v));
        }
        c.append(m->appendsTo, added);
        return 0;
    }
    const int done = c.backend ? c.backend->perform(c, id, slots, lengths) : Backend::kNotHandled;
    return done == Backend::kNotHandled ? c.fail(NetComponentsTest_NotSupported, notSupported(m->selector)) : done;
}

void* create(int family, NetComponentSink sink, void* context, void*) noexcept
try {
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        if (std::exchange(s.failNext, std::nullopt)) {
            record(s, family, NetComponentsEntry_Create, nullptr);
            return nullptr;
        }
    }
    // Made outside the lock: the first web component starts libcurl.
    auto c = std::make_shared<Component>();
    c->family = family;
    c->sink = sink;
    c->context = context;
    c->backend = makeHttpBackend(*c);
    if (!c->backend)
        c->backend = makeSocketBackend(*c);
    std::lock_guard lock(s.mutex);
    void* handle = reinterpret_cast<void*>(++s.handlesMade << 4);
    s.components[reinterpret_cast<std::uintptr_t>(handle)] = std::move(c);
    s.lastCreated[family] = handle;
    record(s, family, NetComponentsEntry_Create, handle);
    return handle;
} catch (...) {
    return nullptr;
}

int destroy(int family, void* handle) noexcept
try {
    State& s = state();
    ComponentRef c;
    {
        std::lock_guard lock(s.mutex);
        record(s, family, NetComponentsEntry_Destroy, handle);
        c = find(s, family, handle);
        if (!c)
            return NetComponentsTest_InvalidHandle;
        s.components.erase(reinterpret_cast<std::uintptr_t>(handle));
        for (auto& [f, last] : s.lastCreated)
            if (last == handle)
                last = nullptr;
    }
    // A call in progress on this component (the handler's caller) still holds it.
    c->alive = false;
    if (c->backend)
        c->backend->abandon();
    return 0;
} catch (...) {
    return NetComponentsTest_InternalFailure;
}

// One Get, Set or Do: records it with `recordArguments`, clears the component's error, fires
// the events queued for it by a test, then lets `answer` make the result: a scripted answer, the
// failure the test asked for, or the component's own. `invalid` is the result when the handle
// names no component of the family, then or after the events.
template <class Result, class RecordArguments, class MakeAnswer>
Result call(int family, void* handle, int entry, Result invalid, RecordArguments recordArguments, MakeAnswer answer)
{
    State& s = state();
    CallStart start;
    ComponentRef c;
    {
        std::lock_guard lock(s.mutex);
        recordArguments(s, record(s, family, entry, handle));
        c = find(s, family, handle);
        if (!c)
            return invalid;
        start = startCall(s, *c, handle);
    }
    for (const PendingEvent& e : start.events)
        if (c->sink && c->alive)
            c->sink(c->context, e.event, e.argumentCount, e.slots, e.lengths);
    if (!c->alive)
        return invalid;
    return answer(s, *c, start.failure);
}

void* get(int family, void* handle, int id, int index, int* length) noexcept
try {
    const auto recordArguments = [&](State&, RecordedCall& r) {
        r.call.id = id;
        r.call.index = index;
        r.call.lengthGiven = length ? *length : -1;
        if (length)
            *length = 0;
    };
    return call(family, handle, NetComponentsEntry_Get, static_cast<void*>(nullptr), recordArguments,
                [&](State& s, Component& c, const std::optional<Failure>& failure) -> void* {
                    std::optional<Answer> scripted;
                    {
                        std::lock_guard lock(s.mutex);
                        const auto found = s.getAnswers.find({family, id});
                        if (found != s.getAnswers.end())
                            scripted = found->second;
                    }
                    if (!scripted) {
                        void* word = storeGet(c, id, index, length);
                        if (failure)
                            applyFailure(c, *failure);
                        return word;
                    }
                    if (failure)
                        applyFailure(c, *failure);
                    if (length)
                        *length = scripted->length;
                    if (scripted->isBytes)
                        return const_cast<char*>(answerBytes(c, *scripted));
                    return reinterpret_cast<void*>(scripted->word);
                });
} catch (...) {
    return nullptr;
}

int set(int family, void* handle, int id, int index, void* value, int length) noexcept
try {
    const NetComponentProperty* p = propertyOf(family, id);
    const auto recordArguments = [&](State& s, RecordedCall& r) {
        r.call.id = id;
        r.call.index = index;
        recordSlot(s, r, value, length, p ? p->kind : 'i');
    };
    return call(family, handle, NetComponentsEntry_Set, int(NetComponentsTest_InvalidHandle), recordArguments,
                [&](State& s, Component& c, const std::optional<Failure>& failure) {
                    if (failure)
                        return applyFailure(c, *failure);
                    bool accepted = false;
                    {
                        std::lock_guard lock(s.mutex);
                        accepted = s.acceptedSets.count({family, id}) != 0;
                    }
                    return accepted ? 0 : storeSet(c, id, index, value, length);
                });
} catch (...) {
    return NetComponentsTest_InternalFailure;
}

int invoke(int family, void* handle, int id, int argumentCount, void** slots, int* lengths) noexcept
try {
    const NetComponentMethod* m = methodOf(family, id);
    const auto recordArguments = [&](State& s, RecordedCall& r) {
        r.call.id = id;
        r.call.argumentCount = argumentCount;
        r.call.lengthsNull = lengths == nullptr;
        if (!slots || argumentCount < 0 || argumentCount > kMostArguments)
            return;
        for (int i = 0; i <= argumentCount; ++i) {
            const bool isArgument = m && static_cast<std::size_t>(i) < std::strlen(m->arguments);
            recordSlot(s, r, slots[i], lengths ? lengths[i] : 0, isArgument ? m->arguments[i] : 'i');
        }
    };
    return call(family, handle, NetComponentsEntry_Do, int(NetComponentsTest_InvalidHandle), recordArguments,
                [&](State& s, Component& c, const std::optional<Failure>& failure) {
                    if (failure)
                        return applyFailure(c, *failure);
                    std::optional<std::vector<Answer>> scripted;
                    {
                        std::lock_guard lock(s.mutex);
                        const auto found = s.doAnswers.find({family, id});
                        if (found != s.doAnswers.end())
                            scripted = found->second;
                    }
                    if (!scripted)
                        return storeDo(c, id, argumentCount, slots, lengths);
                    for (const Answer& answer : *scripted) {
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
    ComponentRef c = find(s, family, handle);
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
    ComponentRef c = find(s, family, handle);
    return c ? c->errorCode : NetComponentsTest_InvalidHandle;
} catch (...) {
    return NetComponentsTest_InternalFailure;
}

#ifdef NET_COMPONENTS_TEST_CONTROLS
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
#endif

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

// The test controls exist only in the library's test build (NET_COMPONENTS_TEST_CONTROLS):
// the shipped library exports the entry points alone, and its recorder and scripted answers are
// never switched on.
#ifdef NET_COMPONENTS_TEST_CONTROLS
void NetComponentsTest_Reset(void)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.recording = true;
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
    ComponentRef c;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        const auto found = s.components.find(reinterpret_cast<std::uintptr_t>(handle));
        if (found == s.components.end() || !found->second->sink)
            return -1;
        c = found->second;
    }
    return c->sink(c->context, event, argumentCount, slots, lengths);
}

void NetComponentsTest_FireDuringNextCall(void* handle, int event, int argumentCount, void** slots, int* lengths)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.pendingEvents.push_back({handle, event, argumentCount, slots, lengths});
}
#endif

} // extern "C"
