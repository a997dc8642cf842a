#pragma once
// The runtime shared by the twenty network wrapper classes (IPWorksSSL<Family>, generated from
// the tables in Tables/ by tools/NetWrapperGen). A wrapper owns one netwrappers::Component: the
// handle the family's Create answered, and the family's seven C entry points. Everything the
// wrappers do goes through the Component and the small helpers below, so the generated code is
// one line per member.
//
// Values: text is std::string in both directions (the component's bytes as they are); data is
// std::span<const std::byte> going in and in events (a view of the component's buffer, valid
// only during the handler), std::vector<std::byte> from getters (an owning copy). Ints travel
// in pointer-sized words as (void*)(intptr_t)value and are read back from the low 32 bits; a
// bool is "word != 0". Data and counted text longer than INT_MAX bytes raise before any call.
//
// Errors: a failing Get (the component's error code is not 0 after it), Set or Do (non-zero
// answer) raises vistel::Exception whose name and reason are both the component's error text.
// Byte-form getters never raise for the component's error. A null address, a negative length
// or a null slot array reads as empty.
//
// Events and threads: the component calls the wrapper's sink on whatever thread it likes; the
// sink is noexcept. A handler that throws writes nothing back; its exception is kept and
// rethrown, on that thread, when the Get/Set/Do that delivered the event returns, in place of
// that call's own error (the first kept exception wins). An exception from a handler called
// outside any such call is logged ("<Class>::on<Event> <what>") and dropped. Calls made from
// inside a handler keep and rethrow their own. Wrappers take no lock: one thread at a time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vistel::netwrappers {

using Sink = int (*)(void* context, int event, int argumentCount, void** slots, int* lengths);

// One family's seven C entry points.
struct EntryPoints {
    void* (*create)(Sink sink, void* context, void* reserved);
    int (*destroy)(void* handle);
    void* (*get)(void* handle, int property, int index, int* length);
    int (*set)(void* handle, int property, int index, void* value, int length);
    int (*invoke)(void* handle, int method, int argumentCount, void** slots, int* lengths);
    const char* (*lastError)(void* handle);
    int (*lastErrorCode)(void* handle);
};

// A method argument or property value as it travels: one word and its length.
struct Argument {
    void* word = nullptr;
    int length = 0;
};

// A text as its NUL-terminated form with length 0.
Argument textArgument(const std::string& text) noexcept;
// Bytes with their count; raises when there are more than INT_MAX of them.
Argument dataArgument(std::span<const std::byte> data);
Argument intArgument(int value) noexcept;

// The n + 1 argument and length slots of a method with n arguments, zeroed past the arguments.
template <std::size_t N>
class Slots {
public:
    template <class... Arguments>
    explicit Slots(Arguments... arguments) noexcept
        : words_{arguments.word...}, lengths_{arguments.length...}
    {
        static_assert(sizeof...(Arguments) == N);
    }
    Slots(const Slots&) = delete;
    Slots& operator=(const Slots&) = delete;

    void** words() noexcept { return words_.data(); }
    int* lengths() noexcept { return lengths_.data(); }
    // The text at the address in `slot` (NUL-terminated), or of exactly as many bytes as its
    // length slot holds (counted); empty for a null address or a negative length.
    std::string text(std::size_t slot) const;
    std::string counted(std::size_t slot) const;

private:
    std::array<void*, N + 1> words_;
    std::array<int, N + 1> lengths_;
};

// The handle of one component and the calls on it. Not copyable: the component knows the
// wrapper's address as the sink's context.
class Component {
public:
    Component(const EntryPoints& entryPoints, Sink sink, void* owner) noexcept;
    ~Component();
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    bool valid() const noexcept { return handle_ != nullptr; }
    std::string lastError() const;
    int lastErrorCode() const;

    std::string getText(int property, int index) const;
    std::string getCounted(int property, int index) const;
    std::vector<std::byte> getBytes(int property, int index) const;
    int getInt(int property, int index) const;
    bool getBool(int property, int index) const;

    void setText(int property, int index, const std::string& value);
    void setCounted(int property, int index, const std::string& value);
    void setBytes(int property, int index, std::span<const std::byte> value);
    void setInt(int property, int index, int value);
    void setBool(int property, int index, bool value);

    template <std::size_t N>
    void invoke(int method, Slots<N>& slots)
    {
        invoke(method, static_cast<int>(N), slots.words(), slots.lengths());
    }

private:
    template <class Convert>
    auto read(int property, int index, bool raises, Convert convert) const;
    void set(int property, int index, Argument value);
    void invoke(int method, int argumentCount, void** slots, int* lengths);
    [[noreturn]] void raiseLastError() const;

    const EntryPoints& entryPoints_;
    void* handle_;
};

// Reading the slots of one event; null arrays read as empty.
class EventSlots {
public:
    EventSlots(void** words, int* lengths) noexcept : words_(words), lengths_(lengths) {}

    std::string text(int slot) const;
    std::span<const std::byte> data(int slot) const noexcept;
    int integer(int slot) const noexcept { return static_cast<std::int32_t>(word(slot)); }
    std::int32_t long32(int slot) const noexcept { return static_cast<std::int32_t>(word(slot)); }
    bool boolean(int slot) const noexcept { return word(slot) != 0; }

private:
    friend class WrittenBack;
    std::intptr_t word(int slot) const noexcept
    {
        return words_ ? reinterpret_cast<std::intptr_t>(words_[slot]) : 0;
    }
    int length(int slot) const noexcept { return lengths_ ? lengths_[slot] : 0; }

    void** words_;
    int* lengths_;
};

// An int argument the handler may change: `value` starts as the slot's low 32 bits; store()
// writes it back as a whole word only when the handler changed it.
class WrittenBack {
public:
    WrittenBack(const EventSlots& slots, int slot) noexcept;
    void store() noexcept;

    int value;

private:
    void** word_;
    int original_;
};

void keepHandlerException(const char* handlerName, std::exception_ptr exception) noexcept;

// Runs one handler call inside a sink. Answers true when the handler returned; when it threw,
// keeps the exception for the enclosing call on this thread (or logs it under `handlerName`
// when there is none) and answers false.
template <class Handler>
bool deliver(const char* handlerName, Handler&& handler) noexcept
{
    try {
        handler();
        return true;
    } catch (...) {
        keepHandlerException(handlerName, std::current_exception());
        return false;
    }
}

// The text at a NUL-terminated address, or of exactly `length` bytes; empty for a null address
// or a negative length.
std::string textAt(const void* address);
std::string bytesAt(const void* address, int length);

template <std::size_t N>
std::string Slots<N>::text(std::size_t slot) const
{
    return textAt(words_[slot]);
}

template <std::size_t N>
std::string Slots<N>::counted(std::size_t slot) const
{
    return bytesAt(words_[slot], lengths_[slot]);
}

} // namespace vistel::netwrappers
