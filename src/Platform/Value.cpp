// Value: storage, typed access, dictionary and array helpers, deep equality.

#include "Platform/Value.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace vistel {

// Integers above INT64_MAX keep their own alternative so that every 64-bit unsigned number
// survives; they still answer Type::Integer.
struct Value::Storage {
    using Variant = std::variant<bool, std::int64_t, std::uint64_t, double, std::string, Bytes, Date, ArrayType,
                                 DictionaryType, Ref<Object>>;
    Variant v;

    template <class T>
    explicit Storage(T&& value) : v(std::forward<T>(value))
    {
    }
};

struct ValueAccess {
    using Storage = Value::Storage;
    static const Storage* storage(const Value& value) noexcept { return value.storage_.get(); }
};

namespace {

using Storage = ValueAccess::Storage;

const Value& nullValue() noexcept
{
    static const Value value;
    return value;
}

// A number widened for exact comparison.
struct Number {
    bool isReal;
    __int128 integer;
    double real;
};

} // namespace

Value::Value() noexcept = default;
Value::Value(std::nullptr_t) noexcept { }
Value::Value(bool value) : storage_(std::make_shared<Storage>(value)) { }
Value::Value(int value) : storage_(std::make_shared<Storage>(static_cast<std::int64_t>(value))) { }
Value::Value(unsigned value) : storage_(std::make_shared<Storage>(static_cast<std::int64_t>(value))) { }
Value::Value(long value) : storage_(std::make_shared<Storage>(static_cast<std::int64_t>(value))) { }
Value::Value(unsigned long value) : Value(static_cast<unsigned long long>(value)) { }
Value::Value(long long value) : storage_(std::make_shared<Storage>(static_cast<std::int64_t>(value))) { }
Value::Value(unsigned long long value)
{
    if (value <= static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()))
        storage_ = std::make_shared<Storage>(static_cast<std::int64_t>(value));
    else
        storage_ = std::make_shared<Storage>(static_cast<std::uint64_t>(value));
}
Value::Value(double value) : storage_(std::make_shared<Storage>(value)) { }
Value::Value(const char* value)
{
    if (value)
        storage_ = std::make_shared<Storage>(std::string(value));
}
Value::Value(std::string value) : storage_(std::make_shared<Storage>(std::move(value))) { }
Value::Value(std::string_view value) : storage_(std::make_shared<Storage>(std::string(value))) { }
Value::Value(Bytes value) : storage_(std::make_shared<Storage>(std::move(value))) { }
Value::Value(Date value) : storage_(std::make_shared<Storage>(value)) { }
Value::Value(ArrayType value) : storage_(std::make_shared<Storage>(std::move(value))) { }
Value::Value(DictionaryType value) : storage_(std::make_shared<Storage>(std::move(value))) { }
Value::Value(Ref<Object> object)
{
    if (object)
        storage_ = std::make_shared<Storage>(std::move(object));
}

Value Value::array(std::initializer_list<Value> items)
{
    return Value(ArrayType(items));
}

Value Value::dictionary(std::initializer_list<std::pair<const std::string, Value>> entries)
{
    return Value(DictionaryType(entries));
}

Value Value::data(const void* bytes, std::size_t size)
{
    const auto* begin = static_cast<const std::uint8_t*>(bytes);
    return Value(Bytes(begin, begin + (bytes ? size : 0)));
}

Value::Type Value::type() const noexcept
{
    if (!storage_)
        return Type::Null;
    switch (storage_->v.index()) {
    case 0: return Type::Boolean;
    case 1:
    case 2: return Type::Integer;
    case 3: return Type::Real;
    case 4: return Type::String;
    case 5: return Type::Data;
    case 6: return Type::Date;
    case 7: return Type::Array;
    case 8: return Type::Dictionary;
    default: return Type::Object;
    }
}

bool Value::isNumber() const noexcept
{
    const Type t = type();
    return t == Type::Boolean || t == Type::Integer || t == Type::Real;
}

bool Value::toBool(bool fallback) const noexcept
{
    if (!storage_)
        return fallback;
    if (auto* b = std::get_if<bool>(&storage_->v))
        return *b;
    if (auto* i = std::get_if<std::int64_t>(&storage_->v))
        return *i != 0;
    if (auto* u = std::get_if<std::uint64_t>(&storage_->v))
        return *u != 0;
    if (auto* d = std::get_if<double>(&storage_->v))
        return *d != 0;
    return fallback;
}

std::int64_t Value::toInt64(std::int64_t fallback) const noexcept
{
    if (!storage_)
        return fallback;
    if (auto* b = std::get_if<bool>(&storage_->v))
        return *b ? 1 : 0;
    if (auto* i = std::get_if<std::int64_t>(&storage_->v))
        return *i;
    if (std::get_if<std::uint64_t>(&storage_->v))
        return std::numeric_limits<std::int64_t>::max(); // only values above INT64_MAX live there
    if (auto* d = std::get_if<double>(&storage_->v)) {
        if (std::isnan(*d))
            return 0;
        if (*d >= 9223372036854775807.0)
            return std::numeric_limits<std::int64_t>::max();
        if (*d <= -9223372036854775808.0)
            return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(*d);
    }
    return fallback;
}

std::optional<std::uint64_t> Value::unsignedAboveInt64() const noexcept
{
    if (storage_)
        if (auto* u = std::get_if<std::uint64_t>(&storage_->v))
            return *u;
    return std::nullopt;
}

double Value::toDouble(double fallback) const noexcept
{
    if (!storage_)
        return fallback;
    if (auto* b = std::get_if<bool>(&storage_->v))
        return *b ? 1 : 0;
    if (auto* i = std::get_if<std::int64_t>(&storage_->v))
        return static_cast<double>(*i);
    if (auto* u = std::get_if<std::uint64_t>(&storage_->v))
        return static_cast<double>(*u);
    if (auto* d = std::get_if<double>(&storage_->v))
        return *d;
    return fallback;
}

std::string Value::toString(std::string_view fallback) const
{
    if (storage_)
        if (auto* s = std::get_if<std::string>(&storage_->v))
            return *s;
    return std::string(fallback);
}

Date Value::toDate(Date fallback) const noexcept
{
    if (storage_)
        if (auto* d = std::get_if<Date>(&storage_->v))
            return *d;
    return fallback;
}

Ref<Object> Value::toObject() const noexcept
{
    if (storage_)
        if (auto* o = std::get_if<Ref<Object>>(&storage_->v))
            return *o;
    return nullptr;
}

const std::string& Value::asString() const noexcept
{
    static const std::string empty;
    if (storage_)
        if (auto* s = std::get_if<std::string>(&storage_->v))
            return *s;
    return empty;
}

const Value::Bytes& Value::asData() const noexcept
{
    static const Bytes empty;
    if (storage_)
        if (auto* s = std::get_if<Bytes>(&storage_->v))
            return *s;
    return empty;
}

const Value::ArrayType& Value::asArray() const noexcept
{
    static const ArrayType empty;
    if (storage_)
        if (auto* s = std::get_if<ArrayType>(&storage_->v))
            return *s;
    return empty;
}

const Value::DictionaryType& Value::asDictionary() const noexcept
{
    static const DictionaryType empty;
    if (storage_)
        if (auto* s = std::get_if<DictionaryType>(&storage_->v))
            return *s;
    return empty;
}

void Value::detach()
{
    // Only this Value can hand out new references to its storage, and it is being written, so
    // a count of one cannot grow behind our back; a stale higher count only costs a copy.
    // The acquire fence orders this write after the reads that other threads made through
    // copies they have since released (use_count() itself is a relaxed load).
    if (storage_ && storage_.use_count() > 1)
        storage_ = std::make_shared<Storage>(Storage::Variant(storage_->v));
    else
        std::atomic_thread_fence(std::memory_order_acquire);
}

namespace {

template <class T>
T& mutableAlternative(std::shared_ptr<Storage>& storage)
{
    if (!storage || !std::holds_alternative<T>(storage->v))
        storage = std::make_shared<Storage>(T());
    return std::get<T>(storage->v);
}

} // namespace

std::string& Value::mutableString()
{
    detach();
    return mutableAlternative<std::string>(storage_);
}

Value::Bytes& Value::mutableData()
{
    detach();
    return mutableAlternative<Bytes>(storage_);
}

Value::ArrayType& Value::mutableArray()
{
    detach();
    return mutableAlternative<ArrayType>(storage_);
}

Value::DictionaryType& Value::mutableDictionary()
{
    detach();
    return mutableAlternative<DictionaryType>(storage_);
}

const Value& Value::get(std::string_view key) const noexcept
{
    if (storage_)
        if (auto* dict = std::get_if<DictionaryType>(&storage_->v)) {
            auto it = dict->find(key);
            if (it != dict->end())
                return it->second;
        }
    return nullValue();
}

bool Value::contains(std::string_view key) const noexcept
{
    if (storage_)
        if (auto* dict = std::get_if<DictionaryType>(&storage_->v))
            return dict->find(key) != dict->end();
    return false;
}

void Value::set(std::string key, Value value)
{
    mutableDictionary().insert_or_assign(std::move(key), std::move(value));
}

bool Value::remove(std::string_view key)
{
    if (!contains(key))
        return false;
    auto& dict = mutableDictionary();
    dict.erase(dict.find(key));
    return true;
}

namespace {

// Splits "a.b.c" into its components; an empty path is the single empty key.
std::vector<std::string_view> splitPath(std::string_view path)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = path.find('.', start);
        if (dot == std::string_view::npos) {
            parts.push_back(path.substr(start));
            return parts;
        }
        parts.push_back(path.substr(start, dot - start));
        start = dot + 1;
    }
}

} // namespace

const Value& Value::getPath(std::string_view dottedPath) const noexcept
{
    const Value* current = this;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = dottedPath.find('.', start);
        const std::string_view part =
            dottedPath.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        current = &current->get(part);
        if (dot == std::string_view::npos || current->isNull())
            return *current;
        start = dot + 1;
    }
}

void Value::setPath(std::string_view dottedPath, Value value)
{
    const auto parts = splitPath(dottedPath);
    Value* current = this;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        auto& dict = current->mutableDictionary();
        auto it = dict.find(parts[i]);
        if (it == dict.end())
            it = dict.emplace(std::string(parts[i]), Value(DictionaryType())).first;
        current = &it->second;
    }
    current->set(std::string(parts.back()), std::move(value));
}

bool Value::removePath(std::string_view dottedPath)
{
    const auto parts = splitPath(dottedPath);
    // Look first, so that a missing path leaves shared storage alone.
    const Value* probe = this;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        probe = &probe->get(parts[i]);
        if (!probe->isDictionary())
            return false;
    }
    if (!probe->contains(parts.back()))
        return false;
    Value* current = this;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i)
        current = &current->mutableDictionary().find(parts[i])->second;
    return current->remove(parts.back());
}

std::size_t Value::size() const noexcept
{
    if (!storage_)
        return 0;
    if (auto* a = std::get_if<ArrayType>(&storage_->v))
        return a->size();
    if (auto* d = std::get_if<DictionaryType>(&storage_->v))
        return d->size();
    if (auto* b = std::get_if<Bytes>(&storage_->v))
        return b->size();
    return 0;
}

const Value& Value::at(std::size_t index) const noexcept
{
    const auto& items = asArray();
    return index < items.size() ? items[index] : nullValue();
}

void Value::append(Value value)
{
    mutableArray().push_back(std::move(value));
}

namespace {

std::optional<Number> numberOf(const Storage* storage) noexcept
{
    if (!storage)
        return std::nullopt;
    if (auto* b = std::get_if<bool>(&storage->v))
        return Number {false, *b ? 1 : 0, 0};
    if (auto* i = std::get_if<std::int64_t>(&storage->v))
        return Number {false, *i, 0};
    if (auto* u = std::get_if<std::uint64_t>(&storage->v))
        return Number {false, static_cast<__int128>(*u), 0};
    if (auto* d = std::get_if<double>(&storage->v))
        return Number {true, 0, *d};
    return std::nullopt;
}

bool sameNumber(const Number& a, const Number& b) noexcept
{
    if (!a.isReal && !b.isReal)
        return a.integer == b.integer;
    if (a.isReal && b.isReal)
        return a.real == b.real || (std::isnan(a.real) && std::isnan(b.real)); // a NaN equals itself here
    const double real = a.isReal ? a.real : b.real;
    const __int128 integer = a.isReal ? b.integer : a.integer;
    // Exact: the real must be a whole number in the 64-bit range and equal to the integer.
    if (!std::isfinite(real) || real != std::trunc(real) || real < -9223372036854775808.0 ||
        real >= 18446744073709551616.0)
        return false;
    return static_cast<__int128>(real) == integer;
}

} // namespace

bool operator==(const Value& a, const Value& b) noexcept
{
    if (a.storage_ == b.storage_)
        return true;
    const auto na = numberOf(a.storage_.get());
    const auto nb = numberOf(b.storage_.get());
    if (na || nb)
        return na && nb && sameNumber(*na, *nb);
    if (!a.storage_ || !b.storage_ || a.storage_->v.index() != b.storage_->v.index())
        return false;
    return std::visit(
        [&](const auto& left) -> bool {
            using T = std::decay_t<decltype(left)>;
            return left == std::get<T>(b.storage_->v);
        },
        a.storage_->v);
}

} // namespace vistel
