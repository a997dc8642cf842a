#include "NetWrappers/NetWrapperRuntime.h"

#include <climits>
#include <utility>

#include "Platform/Exception.h"
#include "Platform/Log.h"

namespace vistel::netwrappers {

namespace {

// The Get/Set/Do calls in progress on this thread, innermost first. An exception thrown by a
// handler while a call is in progress is kept in that call's scope and rethrown when the call
// returns. (Constant-initialised thread-local: loading the library runs no constructor.)
class CallScope;
constinit thread_local CallScope* innermostScope = nullptr;

std::string describe(const std::exception_ptr& exception)
{
    try {
        std::rethrow_exception(exception);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

void logHandlerException(const char* handlerName, const std::exception_ptr& exception) noexcept
{
    try {
        ZovLog(std::string(handlerName) + " " + describe(exception));
    } catch (...) {
    }
}

class CallScope {
public:
    CallScope() noexcept : outer_(innermostScope) { innermostScope = this; }
    ~CallScope() { innermostScope = outer_; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

    static CallScope* innermost() noexcept { return innermostScope; }

    // The first exception wins; later ones of the same call are logged.
    void keep(const char* handlerName, std::exception_ptr exception) noexcept
    {
        if (pending_)
            logHandlerException(handlerName, exception);
        else
            pending_ = std::move(exception);
    }

    void rethrowKept()
    {
        if (pending_)
            std::rethrow_exception(std::exchange(pending_, nullptr));
    }

private:
    CallScope* outer_;
    std::exception_ptr pending_;
};

std::int32_t lowInt(const void* word) noexcept
{
    return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(word));
}

void* wordOf(int value) noexcept
{
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(value));
}

int checkedLength(std::size_t size)
{
    if (size > static_cast<std::size_t>(INT_MAX))
        throw Exception("NSInvalidArgumentException",
                        std::to_string(size) + " bytes are more than a component call can take");
    return static_cast<int>(size);
}

} // namespace

void keepHandlerException(const char* handlerName, std::exception_ptr exception) noexcept
{
    if (CallScope* scope = CallScope::innermost())
        scope->keep(handlerName, std::move(exception));
    else
        logHandlerException(handlerName, exception);
}

std::string textAt(const void* address)
{
    return address ? std::string(static_cast<const char*>(address)) : std::string();
}

std::string bytesAt(const void* address, int length)
{
    if (!address || length <= 0)
        return {};
    return std::string(static_cast<const char*>(address), static_cast<std::size_t>(length));
}

Argument textArgument(const std::string& text) noexcept
{
    return {const_cast<char*>(text.c_str()), 0};
}

Argument dataArgument(std::span<const std::byte> data)
{
    const int length = checkedLength(data.size());
    return {const_cast<std::byte*>(data.data()), length};
}

Argument intArgument(int value) noexcept
{
    return {wordOf(value), 0};
}

// ---- Component ----------------------------------------------------------------------------

Component::Component(const EntryPoints& entryPoints, Sink sink, void* owner) noexcept
    : entryPoints_(entryPoints), handle_(entryPoints.create(sink, owner, nullptr))
{
}

Component::~Component()
{
    if (handle_)
        entryPoints_.destroy(std::exchange(handle_, nullptr));
}

std::string Component::lastError() const
{
    return textAt(entryPoints_.lastError(handle_));
}

int Component::lastErrorCode() const
{
    return entryPoints_.lastErrorCode(handle_);
}

void Component::raiseLastError() const
{
    const std::string text = lastError();
    throw Exception(text, text);
}

// The value is copied out of the component's buffer right after Get, before the error code is
// asked for (that is a call on the component too).
template <class Convert>
auto Component::read(int property, int index, bool raises, Convert convert) const
{
    CallScope scope;
    int length = 0;
    void* word = entryPoints_.get(handle_, property, index, &length);
    auto value = convert(word, length);
    const int code = raises ? entryPoints_.lastErrorCode(handle_) : 0;
    scope.rethrowKept();
    if (code != 0)
        raiseLastError();
    return value;
}

std::string Component::getText(int property, int index) const
{
    return read(property, index, true, [](void* word, int) { return textAt(word); });
}

std::string Component::getCounted(int property, int index) const
{
    return read(property, index, true, [](void* word, int length) { return bytesAt(word, length); });
}

std::vector<std::byte> Component::getBytes(int property, int index) const
{
    return read(property, index, false, [](void* word, int length) {
        if (!word || length <= 0)
            return std::vector<std::byte>();
        const auto* bytes = static_cast<const std::byte*>(word);
        return std::vector<std::byte>(bytes, bytes + length);
    });
}

int Component::getInt(int property, int index) const
{
    return read(property, index, true, [](void* word, int) { return lowInt(word); });
}

bool Component::getBool(int property, int index) const
{
    return read(property, index, true, [](void* word, int) { return word != nullptr; });
}

void Component::set(int property, int index, Argument value)
{
    CallScope scope;
    const int result = entryPoints_.set(handle_, property, index, value.word, value.length);
    scope.rethrowKept();
    if (result != 0)
        raiseLastError();
}

void Component::setText(int property, int index, const std::string& value)
{
    set(property, index, textArgument(value));
}

void Component::setCounted(int property, int index, const std::string& value)
{
    set(property, index, {const_cast<char*>(value.c_str()), checkedLength(value.size())});
}

void Component::setBytes(int property, int index, std::span<const std::byte> value)
{
    set(property, index, dataArgument(value));
}

void Component::setInt(int property, int index, int value)
{
    set(property, index, intArgument(value));
}

void Component::setBool(int property, int index, bool value)
{
    set(property, index, intArgument(value ? 1 : 0));
}

void Component::invoke(int method, int argumentCount, void** slots, int* lengths)
{
    CallScope scope;
    const int result = entryPoints_.invoke(handle_, method, argumentCount, slots, lengths);
    scope.rethrowKept();
    if (result != 0)
        raiseLastError();
}

// ---- Events -------------------------------------------------------------------------------

std::string EventSlots::text(int slot) const
{
    return textAt(reinterpret_cast<const void*>(word(slot)));
}

std::span<const std::byte> EventSlots::data(int slot) const noexcept
{
    const auto* address = reinterpret_cast<const std::byte*>(word(slot));
    const int count = length(slot);
    if (!address || count <= 0)
        return {};
    return {address, static_cast<std::size_t>(count)};
}

WrittenBack::WrittenBack(const EventSlots& slots, int slot) noexcept
    : value(lowInt(reinterpret_cast<const void*>(slots.word(slot)))),
      word_(slots.words_ ? &slots.words_[slot] : nullptr),
      original_(value)
{
}

void WrittenBack::store() noexcept
{
    if (word_ && value != original_)
        *word_ = wordOf(value);
}

} // namespace vistel::netwrappers
