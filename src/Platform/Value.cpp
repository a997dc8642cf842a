#include "Platform/Value.h"

#include <cxxabi.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <typeinfo>

namespace vistel {

// ---------------------------------------------------------------------------------------------
// Date

namespace {

// Days since 1970-01-01 of a proleptic Gregorian civil date, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) noexcept
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

bool isLeapYear(std::int64_t y) noexcept
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned daysInMonth(std::int64_t y, unsigned m) noexcept
{
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : days[m - 1];
}

// The dates the four-digit ISO 8601 form can express: 0000-01-01T00:00:00Z to 9999-12-31T23:59:59Z.
constexpr double FirstWritableSecond = -62167219200.0;
constexpr double LastWritableSecond = 253402300799.0;

bool isWritableDate(const Date& date) noexcept
{
    const double seconds = std::floor(date.secondsSince1970);
    return std::isfinite(seconds) && seconds >= FirstWritableSecond && seconds <= LastWritableSecond;
}

} // namespace

Date Date::now()
{
    return fromTimePoint(std::chrono::system_clock::now());
}

Date Date::fromTimePoint(std::chrono::system_clock::time_point point)
{
    using namespace std::chrono;
    return Date {duration_cast<duration<double>>(point.time_since_epoch()).count()};
}

std::chrono::system_clock::time_point Date::timePoint() const
{
    using namespace std::chrono;
    // The clock counts nanoseconds in 64 bits (about the years 1678 to 2262); a date beyond that
    // answers the clock's nearest end, since converting it would overflow. NaN is the epoch.
    const double ticks = duration<double, system_clock::period>(duration<double>(secondsSince1970)).count();
    if (std::isnan(ticks))
        return system_clock::time_point();
    if (ticks >= 9223372036854775808.0)
        return system_clock::time_point::max();
    if (ticks < -9223372036854775808.0)
        return system_clock::time_point::min();
    return system_clock::time_point(system_clock::duration(static_cast<system_clock::rep>(ticks)));
}

std::string Date::iso8601() const
{
    // Whole seconds, rounded down so that a date and its text stay in the same second; dates
    // outside the four-digit years are clamped to the nearest expressible one.
    double seconds = std::floor(secondsSince1970);
    if (std::isnan(seconds))
        seconds = 0;
    seconds = std::clamp(seconds, FirstWritableSecond, LastWritableSecond);
    const auto whole = static_cast<std::int64_t>(seconds);
    std::int64_t days = whole / 86400;
    std::int64_t rest = whole % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    // The year is within 0000-9999 after clamping.
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(year), month, day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return text;
}

std::optional<Date> Date::fromIso8601(std::string_view text)
{
    // YYYY-MM-DDTHH:MM:SS[.fraction]Z
    std::size_t pos = 0;
    auto digits = [&](std::size_t count, unsigned& out) {
        if (pos + count > text.size())
            return false;
        unsigned value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = text[pos + i];
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        pos += count;
        out = value;
        return true;
    };
    auto literal = [&](char c) {
        if (pos >= text.size() || text[pos] != c)
            return false;
        ++pos;
        return true;
    };
    unsigned year, month, day, hour, minute, second;
    if (!digits(4, year) || !literal('-') || !digits(2, month) || !literal('-') || !digits(2, day) ||
        !literal('T') || !digits(2, hour) || !literal(':') || !digits(2, minute) || !literal(':') ||
        !digits(2, second))
        return std::nullopt;
    double fraction = 0;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        double scale = 0.1;
        const std::size_t start = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            fraction += (text[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        if (pos == start)
            return std::nullopt;
    }
    if (!literal('Z') || pos != text.size())
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return std::nullopt;
    const std::int64_t days = daysFromCivil(year, month, day);
    const double seconds = static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second) + fraction;
    return Date {seconds};
}

// ---------------------------------------------------------------------------------------------
// Storage

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

// ---------------------------------------------------------------------------------------------
// Description

namespace {

std::string integerText(const Value& value)
{
    const Storage* storage = ValueAccess::storage(value);
    if (auto* u = std::get_if<std::uint64_t>(&storage->v))
        return std::to_string(*u);
    return std::to_string(value.toInt64());
}

std::string shortestReal(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// Old-style property-list strings are quoted unless made only of these characters.
bool needsQuotes(const std::string& text)
{
    if (text.empty())
        return true;
    for (unsigned char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '_' || c == '$' || c == '/' || c == ':' || c == '.' || c == '-';
        if (!plain)
            return true;
    }
    return false;
}

void appendQuoted(std::string& out, const std::string& text)
{
    if (!needsQuotes(text)) {
        out += text;
        return;
    }
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\%03o", c);
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

std::string objectDescription(const Ref<Object>& object)
{
    const Object& target = *object;
    const char* mangled = typeid(target).name();
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                          &std::free);
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(object.get()));
    return std::string("<") + (status == 0 && demangled ? demangled.get() : mangled) + ": " + address + ">";
}

void describe(std::string& out, const Value& value, bool nested)
{
    switch (value.type()) {
    case Value::Type::Null: out += "(null)"; return;
    case Value::Type::Boolean: out += value.toBool() ? "1" : "0"; return;
    case Value::Type::Integer: out += integerText(value); return;
    case Value::Type::Real: out += shortestReal(value.toDouble()); return;
    case Value::Type::String:
        if (nested)
            appendQuoted(out, value.asString());
        else
            out += value.asString();
        return;
    case Value::Type::Data: {
        static const char hex[] = "0123456789abcdef";
        out += '<';
        const auto& bytes = value.asData();
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0 && i % 4 == 0)
                out += ' ';
            out += hex[bytes[i] >> 4];
            out += hex[bytes[i] & 15];
        }
        out += '>';
        return;
    }
    case Value::Type::Date: {
        // "2026-12-09 23:09:04 +0000"
        std::string iso = value.toDate().iso8601();
        iso[10] = ' ';
        iso.pop_back();
        out += iso + " +0000";
        return;
    }
    case Value::Type::Array: {
        out += '(';
        bool first = true;
        for (const auto& item : value.asArray()) {
            if (!first)
                out += ", ";
            first = false;
            describe(out, item, true);
        }
        out += ')';
        return;
    }
    case Value::Type::Dictionary: {
        out += '{';
        bool first = true;
        for (const auto& [key, item] : value.asDictionary()) {
            if (!first)
                out += ' ';
            first = false;
            appendQuoted(out, key);
            out += " = ";
            describe(out, item, true);
            out += ';';
        }
        out += '}';
        return;
    }
    case Value::Type::Object: out += objectDescription(value.toObject()); return;
    }
}

} // namespace

std::string Value::description() const
{
    std::string out;
    describe(out, *this, false);
    return out;
}

// ---------------------------------------------------------------------------------------------
// XML property list

namespace {

// Deeper nesting is refused by the reader and by the writer alike, so that whatever is written
// can be read back and a hostile file cannot exhaust the stack.
constexpr int MaxNesting = 256;

constexpr std::string_view XmlHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";

constexpr std::size_t Base64LineLength = 68;
constexpr char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Text is kept byte for byte (file paths may not be valid UTF-8). Control characters other than
// tab and newline are written as character references, so that no XML reader normalises or
// drops them; a raw carriage return would come back as a newline.
void appendEscaped(std::string& out, std::string_view text)
{
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n') {
                out += "&#";
                out += std::to_string(c);
                out += ';';
            } else {
                out += ch;
            }
        }
    }
}

std::string xmlReal(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "+infinity" : "-infinity";
    return shortestReal(value);
}

void appendBase64Lines(std::string& out, const Value::Bytes& bytes, const std::string& indent)
{
    std::string line;
    auto flush = [&] {
        out += indent;
        out += line;
        out += '\n';
        line.clear();
    };
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        const std::uint32_t chunk = (std::uint32_t(bytes[i]) << 16) | (n > 1 ? std::uint32_t(bytes[i + 1]) << 8 : 0) |
                                    (n > 2 ? std::uint32_t(bytes[i + 2]) : 0);
        line += Base64Alphabet[(chunk >> 18) & 63];
        line += Base64Alphabet[(chunk >> 12) & 63];
        line += n > 1 ? Base64Alphabet[(chunk >> 6) & 63] : '=';
        line += n > 2 ? Base64Alphabet[chunk & 63] : '=';
        if (line.size() >= Base64LineLength)
            flush();
    }
    if (!line.empty())
        flush();
}

bool writeXmlValue(std::string& out, const Value& value, int depth, std::string& error)
{
    if (depth > MaxNesting) {
        error = "nesting too deep";
        return false;
    }
    const std::string indent(static_cast<std::size_t>(depth), '\t');
    switch (value.type()) {
    case Value::Type::Null: error = "a null value cannot be written"; return false;
    case Value::Type::Object: error = "an object reference cannot be written"; return false;
    case Value::Type::Boolean: out += indent + (value.toBool() ? "<true/>\n" : "<false/>\n"); return true;
    case Value::Type::Integer: out += indent + "<integer>" + integerText(value) + "</integer>\n"; return true;
    case Value::Type::Real: out += indent + "<real>" + xmlReal(value.toDouble()) + "</real>\n"; return true;
    case Value::Type::String:
        out += indent + "<string>";
        appendEscaped(out, value.asString());
        out += "</string>\n";
        return true;
    case Value::Type::Data:
        out += indent + "<data>\n";
        appendBase64Lines(out, value.asData(), indent);
        out += indent + "</data>\n";
        return true;
    case Value::Type::Date:
        if (!isWritableDate(value.toDate())) {
            error = "date outside the years 0000 to 9999";
            return false;
        }
        out += indent + "<date>" + value.toDate().iso8601() + "</date>\n";
        return true;
    case Value::Type::Array:
        if (value.asArray().empty()) {
            out += indent + "<array/>\n";
            return true;
        }
        out += indent + "<array>\n";
        for (const auto& item : value.asArray())
            if (!writeXmlValue(out, item, depth + 1, error))
                return false;
        out += indent + "</array>\n";
        return true;
    case Value::Type::Dictionary:
        if (value.asDictionary().empty()) {
            out += indent + "<dict/>\n";
            return true;
        }
        out += indent + "<dict>\n";
        for (const auto& [key, item] : value.asDictionary()) {
            out += indent + "\t<key>";
            appendEscaped(out, key);
            out += "</key>\n";
            if (!writeXmlValue(out, item, depth + 1, error))
                return false;
        }
        out += indent + "</dict>\n";
        return true;
    }
    return false;
}

bool isXmlSpace(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text) noexcept
{
    while (!text.empty() && isXmlSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isXmlSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

void appendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::optional<Value> parseInteger(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (!negative)
        return Value(static_cast<unsigned long long>(magnitude));
    if (magnitude > std::uint64_t(1) << 63)
        return std::nullopt;
    return Value(static_cast<long long>(-static_cast<__int128>(magnitude)));
}

std::optional<Value> parseReal(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (lower == "nan")
        return Value(std::numeric_limits<double>::quiet_NaN());
    if (lower == "+infinity" || lower == "infinity" || lower == "inf" || lower == "+inf")
        return Value(std::numeric_limits<double>::infinity());
    if (lower == "-infinity" || lower == "-inf")
        return Value(-std::numeric_limits<double>::infinity());
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || text.front() == '+')
        return std::nullopt;
    double value = 0;
    // from_chars, unlike strtod, ignores the process locale (Qt sets it from the environment).
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size() || std::isnan(value) || std::isinf(value))
        return std::nullopt;
    return Value(value);
}

std::optional<Value::Bytes> decodeBase64(std::string_view text)
{
    Value::Bytes bytes;
    bytes.reserve(text.size() * 3 / 4);
    std::uint32_t chunk = 0;
    int symbols = 0;  // symbols in the current group of four
    int padding = 0;  // '=' seen
    for (const char c : text) {
        if (isXmlSpace(c))
            continue;
        int digit;
        if (c >= 'A' && c <= 'Z')
            digit = c - 'A';
        else if (c >= 'a' && c <= 'z')
            digit = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            digit = c - '0' + 52;
        else if (c == '+')
            digit = 62;
        else if (c == '/')
            digit = 63;
        else if (c == '=') {
            // Padding only completes a group that has two or three symbols.
            if (symbols + padding < 2)
                return std::nullopt;
            ++padding;
            if (symbols + padding > 4)
                return std::nullopt;
            continue;
        } else
            return std::nullopt;
        if (padding > 0)
            return std::nullopt; // data after padding
        chunk = (chunk << 6) | static_cast<std::uint32_t>(digit);
        if (++symbols == 4) {
            bytes.push_back(static_cast<std::uint8_t>(chunk >> 16));
            bytes.push_back(static_cast<std::uint8_t>(chunk >> 8));
            bytes.push_back(static_cast<std::uint8_t>(chunk));
            chunk = 0;
            symbols = 0;
        }
    }
    if (padding > 0 && symbols + padding != 4)
        return std::nullopt;
    if (symbols == 1)
        return std::nullopt;
    if (symbols == 2) {
        bytes.push_back(static_cast<std::uint8_t>(chunk >> 4));
    } else if (symbols == 3) {
        bytes.push_back(static_cast<std::uint8_t>(chunk >> 10));
        bytes.push_back(static_cast<std::uint8_t>(chunk >> 2));
    }
    return bytes;
}

// A small reader of the XML subset property lists use: prolog (declaration, comments,
// processing instructions, a document type without internal subset), elements with
// attributes, character data with the five named entities and character references, CDATA
// sections and comments. Anything else is refused.
class PlistReader {
public:
    explicit PlistReader(std::string_view xml) : in_(xml) { }

    std::optional<Value> read()
    {
        if (in_.substr(0, 3) == "\xEF\xBB\xBF")
            pos_ = 3;
        if (startsWith("<?xml") && pos_ + 5 < in_.size() && isXmlSpace(in_[pos_ + 5])) {
            if (!readDeclaration())
                return std::nullopt;
        }
        if (!skipMisc())
            return std::nullopt;
        if (startsWith("<!DOCTYPE")) {
            if (!skipDoctype() || !skipMisc())
                return std::nullopt;
        }
        Tag root;
        if (!readStartTag(root))
            return std::nullopt;
        if (root.name != "plist")
            return fail("root element is not plist");
        if (root.selfClosing)
            return fail("empty property list");
        std::optional<Value> value = readValue(0);
        if (!value)
            return std::nullopt;
        if (!skipContentSpace())
            return std::nullopt;
        if (!readEndTag("plist"))
            return std::nullopt;
        if (!skipMisc())
            return std::nullopt;
        if (pos_ != in_.size())
            return fail("content after the property list");
        return value;
    }

    const std::string& error() const { return error_; }

private:
    struct Tag {
        std::string_view name;
        bool selfClosing = false;
    };

    std::string_view in_;
    std::size_t pos_ = 0;
    std::string error_;

    std::nullopt_t fail(const char* reason)
    {
        if (error_.empty())
            error_ = std::string(reason) + " at offset " + std::to_string(pos_);
        return std::nullopt;
    }

    bool failed(const char* reason)
    {
        fail(reason);
        return false;
    }

    bool startsWith(std::string_view text) const noexcept { return in_.substr(pos_).starts_with(text); }
    bool atEnd() const noexcept { return pos_ >= in_.size(); }

    void skipSpace() noexcept
    {
        while (!atEnd() && isXmlSpace(in_[pos_]))
            ++pos_;
    }

    bool skipPast(std::string_view terminator, const char* reason)
    {
        const std::size_t end = in_.find(terminator, pos_);
        if (end == std::string_view::npos)
            return failed(reason);
        pos_ = end + terminator.size();
        return true;
    }

    bool readDeclaration()
    {
        const std::size_t end = in_.find("?>", pos_);
        if (end == std::string_view::npos)
            return failed("unterminated XML declaration");
        std::string declaration(in_.substr(pos_, end - pos_));
        for (char& c : declaration)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        const std::size_t encoding = declaration.find("encoding");
        if (encoding != std::string::npos) {
            const std::size_t quote = declaration.find_first_of("\"'", encoding);
            if (quote == std::string::npos)
                return failed("bad XML declaration");
            const std::size_t close = declaration.find(declaration[quote], quote + 1);
            if (close == std::string::npos)
                return failed("bad XML declaration");
            const std::string name = declaration.substr(quote + 1, close - quote - 1);
            if (name != "utf-8" && name != "utf8" && name != "us-ascii")
                return failed("unsupported encoding");
        }
        pos_ = end + 2;
        return true;
    }

    // Whitespace, comments and processing instructions outside the root element.
    bool skipMisc()
    {
        for (;;) {
            skipSpace();
            if (startsWith("<!--")) {
                pos_ += 4;
                if (!skipPast("-->", "unterminated comment"))
                    return false;
            } else if (startsWith("<?")) {
                pos_ += 2;
                if (!skipPast("?>", "unterminated processing instruction"))
                    return false;
            } else {
                return true;
            }
        }
    }

    // Whitespace and comments between elements inside the root.
    bool skipContentSpace()
    {
        for (;;) {
            skipSpace();
            if (!startsWith("<!--"))
                return true;
            pos_ += 4;
            if (!skipPast("-->", "unterminated comment"))
                return false;
        }
    }

    bool skipDoctype()
    {
        pos_ += 9;
        char quote = 0;
        while (!atEnd()) {
            const char c = in_[pos_++];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '[') {
                // Entity declarations could expand without bound: no internal subset.
                return failed("document type with an internal subset");
            } else if (c == '>') {
                return true;
            }
        }
        return failed("unterminated document type");
    }

    static bool isNameStart(char c) noexcept
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
               static_cast<unsigned char>(c) >= 0x80;
    }
    static bool isNameChar(char c) noexcept
    {
        return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
    }

    bool readName(std::string_view& name)
    {
        const std::size_t start = pos_;
        if (atEnd() || !isNameStart(in_[pos_]))
            return failed("expected a name");
        while (!atEnd() && isNameChar(in_[pos_]))
            ++pos_;
        name = in_.substr(start, pos_ - start);
        return true;
    }

    bool readStartTag(Tag& tag)
    {
        if (atEnd() || in_[pos_] != '<')
            return failed("expected an element");
        ++pos_;
        if (!readName(tag.name))
            return false;
        for (;;) {
            const std::size_t before = pos_;
            skipSpace();
            if (startsWith("/>")) {
                pos_ += 2;
                tag.selfClosing = true;
                return true;
            }
            if (startsWith(">")) {
                ++pos_;
                tag.selfClosing = false;
                return true;
            }
            if (pos_ == before)
                return failed("bad start tag");
            std::string_view attribute;
            if (!readName(attribute))
                return false;
            skipSpace();
            if (atEnd() || in_[pos_] != '=')
                return failed("attribute without value");
            ++pos_;
            skipSpace();
            if (atEnd() || (in_[pos_] != '"' && in_[pos_] != '\''))
                return failed("unquoted attribute value");
            const char quote = in_[pos_++];
            const std::size_t close = in_.find(quote, pos_);
            if (close == std::string_view::npos)
                return failed("unterminated attribute value");
            if (in_.substr(pos_, close - pos_).find('<') != std::string_view::npos)
                return failed("'<' in attribute value");
            pos_ = close + 1;
        }
    }

    bool readEndTag(std::string_view name)
    {
        if (!startsWith("</"))
            return failed("expected an end tag");
        pos_ += 2;
        std::string_view found;
        if (!readName(found))
            return false;
        if (found != name)
            return failed("mismatched end tag");
        skipSpace();
        if (atEnd() || in_[pos_] != '>')
            return failed("bad end tag");
        ++pos_;
        return true;
    }

    bool readEntity(std::string& out)
    {
        const std::size_t semicolon = in_.find(';', pos_);
        if (semicolon == std::string_view::npos || semicolon - pos_ > 12)
            return failed("bad entity");
        const std::string_view entity = in_.substr(pos_ + 1, semicolon - pos_ - 1);
        pos_ = semicolon + 1;
        if (entity == "amp")
            out += '&';
        else if (entity == "lt")
            out += '<';
        else if (entity == "gt")
            out += '>';
        else if (entity == "quot")
            out += '"';
        else if (entity == "apos")
            out += '\'';
        else if (entity.size() > 1 && entity[0] == '#') {
            std::string_view digits = entity.substr(1);
            int base = 10;
            if (digits[0] == 'x') {
                base = 16;
                digits.remove_prefix(1);
            }
            std::uint32_t code = 0;
            auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code, base);
            if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || code > 0x10FFFF ||
                (code >= 0xD800 && code <= 0xDFFF))
                return failed("bad character reference");
            appendUtf8(out, code);
        } else {
            return failed("unknown entity");
        }
        return true;
    }

    // Character data up to the end tag `name`, which is consumed.
    bool readText(std::string_view name, std::string& out)
    {
        for (;;) {
            if (atEnd())
                return failed("unterminated element");
            const char c = in_[pos_];
            if (c == '<') {
                if (startsWith("</"))
                    return readEndTag(name);
                if (startsWith("<![CDATA[")) {
                    const std::size_t end = in_.find("]]>", pos_ + 9);
                    if (end == std::string_view::npos)
                        return failed("unterminated CDATA section");
                    out.append(in_.substr(pos_ + 9, end - pos_ - 9));
                    pos_ = end + 3;
                } else if (startsWith("<!--")) {
                    pos_ += 4;
                    if (!skipPast("-->", "unterminated comment"))
                        return false;
                } else {
                    return failed("element inside text");
                }
            } else if (c == '&') {
                if (!readEntity(out))
                    return false;
            } else if (c == '\r') {
                // XML line ends: CR LF and a lone CR read as LF.
                out += '\n';
                ++pos_;
                if (!atEnd() && in_[pos_] == '\n')
                    ++pos_;
            } else {
                const std::size_t next = in_.find_first_of("<&\r", pos_);
                const std::size_t end = next == std::string_view::npos ? in_.size() : next;
                out.append(in_.substr(pos_, end - pos_));
                pos_ = end;
            }
        }
    }

    std::optional<Value> readValue(int depth)
    {
        if (!skipContentSpace())
            return std::nullopt;
        Tag tag;
        if (!readStartTag(tag))
            return std::nullopt;
        return readValueBody(tag, depth);
    }

    std::optional<Value> readValueBody(const Tag& tag, int depth)
    {
        if (depth > MaxNesting)
            return fail("nesting too deep");
        const std::string_view name = tag.name;
        if (name == "dict")
            return readDictionary(tag, depth);
        if (name == "array")
            return readArray(tag, depth);
        if (name == "true" || name == "false") {
            if (!tag.selfClosing) {
                if (!skipContentSpace() || !readEndTag(name))
                    return std::nullopt;
            }
            return Value(name == "true");
        }
        std::string text;
        if (!tag.selfClosing && !readText(name, text))
            return std::nullopt;
        if (name == "string")
            return Value(std::move(text));
        if (name == "data") {
            auto bytes = decodeBase64(text);
            if (!bytes)
                return fail("bad base64 data");
            return Value(std::move(*bytes));
        }
        if (name == "integer") {
            auto value = parseInteger(trimmed(text));
            return value ? value : fail("bad integer");
        }
        if (name == "real") {
            auto value = parseReal(trimmed(text));
            return value ? value : fail("bad real");
        }
        if (name == "date") {
            auto date = Date::fromIso8601(trimmed(text));
            return date ? std::optional<Value>(Value(*date)) : fail("bad date");
        }
        return fail("unknown element");
    }

    std::optional<Value> readArray(const Tag& tag, int depth)
    {
        Value::ArrayType items;
        if (!tag.selfClosing) {
            for (;;) {
                if (!skipContentSpace())
                    return std::nullopt;
                if (startsWith("</")) {
                    if (!readEndTag("array"))
                        return std::nullopt;
                    break;
                }
                auto item = readValue(depth + 1);
                if (!item)
                    return std::nullopt;
                items.push_back(std::move(*item));
            }
        }
        return Value(std::move(items));
    }

    std::optional<Value> readDictionary(const Tag& tag, int depth)
    {
        Value::DictionaryType entries;
        if (!tag.selfClosing) {
            for (;;) {
                if (!skipContentSpace())
                    return std::nullopt;
                if (startsWith("</")) {
                    if (!readEndTag("dict"))
                        return std::nullopt;
                    break;
                }
                Tag keyTag;
                if (!readStartTag(keyTag))
                    return std::nullopt;
                if (keyTag.name != "key")
                    return fail("expected a key");
                std::string key;
                if (!keyTag.selfClosing && !readText("key", key))
                    return std::nullopt;
                if (!skipContentSpace())
                    return std::nullopt;
                if (startsWith("</"))
                    return fail("key without value");
                auto item = readValue(depth + 1);
                if (!item)
                    return std::nullopt;
                if (!entries.emplace(std::move(key), std::move(*item)).second)
                    return fail("duplicate key");
            }
        }
        return Value(std::move(entries));
    }
};

} // namespace

std::optional<std::string> Value::toXmlPropertyList() const
{
    std::string out(XmlHeader);
    std::string error;
    if (!writeXmlValue(out, *this, 0, error))
        return std::nullopt;
    out += "</plist>\n";
    return out;
}

std::optional<Value> Value::fromXmlPropertyList(std::string_view xml, std::string* error)
{
    try {
        PlistReader reader(xml);
        auto value = reader.read();
        if (!value && error)
            *error = reader.error();
        return value;
    } catch (const std::exception& exception) {
        if (error)
            *error = exception.what();
        return std::nullopt;
    }
}

} // namespace vistel
