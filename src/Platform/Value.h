#pragma once
// Value: the property-list value of the program.
//
// Every dictionary the program stores or exchanges by string key is a Value: updater request
// and result dictionaries, notification user info, preferences, file-operation status records,
// exported property lists, codec metadata. A Value is one of null, boolean, 64-bit integer,
// real, UTF-8 string, data (bytes), date, array, dictionary (string keys, kept sorted) or an
// object reference (Ref<Object>; never written to a property list).
//
// Values have value semantics with shared, copy-on-write storage: copying is cheap, a copy
// never sees later changes of the original, and a const Value may be read from several
// threads at once. Mutating one Value from two threads needs a lock like any other object.
//
// Equality is deep. Integers, reals and booleans compare by number (1 == 1.0 == true), as the
// platform's numbers do; object references compare by identity.
//
// The XML property-list format (plist 1.0) is read and written byte-stable: the same value
// always gives the same bytes (keys sorted, tab indentation, as the platform writes it).

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "Platform/Object.h"

namespace vistel {

class Value;

// A point in time, as seconds since 1970-01-01T00:00:00Z (may be fractional or negative).
struct Date {
    double secondsSince1970 = 0;

    static Date now();
    static Date fromTimePoint(std::chrono::system_clock::time_point point);
    // Dates beyond the clock's range answer its nearest end.
    std::chrono::system_clock::time_point timePoint() const;
    // "2026-12-09T23:09:04Z", as the XML property-list format writes dates (whole seconds).
    std::string iso8601() const;
    // Parses the ISO 8601 form above; nullopt when the text is not such a date.
    static std::optional<Date> fromIso8601(std::string_view text);

    friend bool operator==(const Date&, const Date&) = default;
    friend auto operator<=>(const Date&, const Date&) = default;
};

class Value {
public:
    enum class Type { Null, Boolean, Integer, Real, String, Data, Date, Array, Dictionary, Object };

    using Bytes = std::vector<std::uint8_t>;
    using ArrayType = std::vector<Value>;
    using DictionaryType = std::map<std::string, Value, std::less<>>;

    Value() noexcept; // null
    Value(std::nullptr_t) noexcept;
    Value(bool value);
    Value(int value);
    Value(unsigned value);
    Value(long value);
    Value(unsigned long value);
    Value(long long value);
    Value(unsigned long long value);
    Value(double value);
    Value(const char* value); // null pointer gives a null Value
    Value(std::string value);
    Value(std::string_view value);
    Value(Bytes value);
    Value(Date value);
    Value(ArrayType value);
    Value(DictionaryType value);
    Value(Ref<Object> object); // null Ref gives a null Value
    template <class T, class = std::enable_if_t<std::is_base_of_v<Object, T>>>
    Value(const Ref<T>& object) : Value(Ref<Object>(object)) { }

    // Makers for the two containers, with initialiser lists:
    //   Value::dictionary({{"type", "Folder"}, {"priority", 3}})
    static Value array(std::initializer_list<Value> items = {});
    static Value dictionary(std::initializer_list<std::pair<const std::string, Value>> entries = {});
    static Value data(const void* bytes, std::size_t size);

    Value(const Value&) = default;
    Value(Value&&) noexcept = default;
    Value& operator=(const Value&) = default;
    Value& operator=(Value&&) noexcept = default;
    ~Value() = default;

    Type type() const noexcept;
    bool isNull() const noexcept { return type() == Type::Null; }
    bool isBoolean() const noexcept { return type() == Type::Boolean; }
    bool isInteger() const noexcept { return type() == Type::Integer; }
    bool isReal() const noexcept { return type() == Type::Real; }
    bool isNumber() const noexcept; // boolean, integer or real
    bool isString() const noexcept { return type() == Type::String; }
    bool isData() const noexcept { return type() == Type::Data; }
    bool isDate() const noexcept { return type() == Type::Date; }
    bool isArray() const noexcept { return type() == Type::Array; }
    bool isDictionary() const noexcept { return type() == Type::Dictionary; }
    bool isObject() const noexcept { return type() == Type::Object; }

    // Typed reads. Numbers convert among themselves (a real is truncated toward zero for
    // toInt64, saturating); strings are not parsed; any other type answers the fallback.
    bool toBool(bool fallback = false) const noexcept;
    std::int64_t toInt64(std::int64_t fallback = 0) const noexcept;
    // An integer above INT64_MAX (made from an unsigned 64-bit number), which toInt64 saturates.
    std::optional<std::uint64_t> unsignedAboveInt64() const noexcept;
    double toDouble(double fallback = 0) const noexcept;
    // A string answers itself; any other type answers the fallback.
    std::string toString(std::string_view fallback = {}) const;
    Date toDate(Date fallback = {}) const noexcept;
    Ref<Object> toObject() const noexcept;
    template <class T>
    Ref<T> toObject() const
    {
        return dynamicRefCast<T>(toObject());
    }

    // Read access; a value of another type answers a shared empty container or string.
    const std::string& asString() const noexcept;
    const Bytes& asData() const noexcept;
    const ArrayType& asArray() const noexcept;
    const DictionaryType& asDictionary() const noexcept;

    // Write access: a value of another type first becomes an empty one of this type; shared
    // storage is copied first (copy on write).
    std::string& mutableString();
    Bytes& mutableData();
    ArrayType& mutableArray();
    DictionaryType& mutableDictionary();

    // Dictionary helpers. get() of a missing key (or on a non-dictionary) answers null.
    const Value& get(std::string_view key) const noexcept;
    const Value& operator[](std::string_view key) const noexcept { return get(key); }
    bool contains(std::string_view key) const noexcept;
    void set(std::string key, Value value); // turns a non-dictionary into a dictionary
    bool remove(std::string_view key);
    // Value at a dotted key path ("ThumbnailStyle.Size" looks up "ThumbnailStyle", then "Size").
    const Value& getPath(std::string_view dottedPath) const noexcept;
    // Sets the value at a dotted key path, making the intermediate dictionaries.
    void setPath(std::string_view dottedPath, Value value);
    bool removePath(std::string_view dottedPath);

    // Array helpers. at() out of range answers null.
    std::size_t size() const noexcept; // items of an array, entries of a dictionary, bytes of data, else 0
    const Value& at(std::size_t index) const noexcept;
    void append(Value value); // turns a non-array into an array

    friend bool operator==(const Value& a, const Value& b) noexcept;

    // A human-readable text of the value as the platform's description would print it: strings
    // as themselves at the top level, numbers in their shortest form ("3", "0.5"), booleans as
    // 1/0, arrays and dictionaries in the old-style property-list form "(a, b)" / "{key = value;}".
    // This is what "%@" prints.
    std::string description() const;
    // The description as log lines show it: at most `limit` bytes (cut between characters)
    // followed by "…" when it is longer, so a large value (maker-note bytes, a whole
    // metadata dictionary) cannot flood the log.
    static constexpr std::size_t LogDescriptionLimit = 256;
    std::string logDescription(std::size_t limit = LogDescriptionLimit) const;

    // XML property list, plist 1.0. toXmlPropertyList() fails (nullopt) when the value holds an
    // object reference or a null anywhere, which the format cannot express, a date outside the
    // years 0000-9999, or nesting deeper than the reader accepts (256 levels). Text is written
    // byte for byte; control characters other than tab and newline as character references.
    std::optional<std::string> toXmlPropertyList() const;
    // Parses an XML property list; nullopt for any damaged or unexpected input (never throws,
    // never crashes). Nesting deeper than 256 levels and documents whose values would take more
    // than 64 MiB are refused before anything is built, so reading costs bounded time and
    // memory. `error` receives a short reason when given.
    static std::optional<Value> fromXmlPropertyList(std::string_view xml, std::string* error = nullptr);

private:
    friend struct ValueAccess; // helpers inside Value.cpp
    struct Storage;
    std::shared_ptr<Storage> storage_; // null storage is the null Value
    void detach();
};

} // namespace vistel
