// Hostile format strings against arguments of every kind, too few of them, or the wrong ones.
//
// Input layout, so that seeds can be written by hand: one byte with the number of arguments
// (taken modulo 7), then for each argument a kind byte and its payload, then the format:
//   kind % 9 = 0 null, 1 boolean (1 byte), 2 integer (8 bytes, little-endian),
//   3 small integer (1 byte, signed), 4 real (8 bytes), 5 string (length byte + bytes),
//   6 array of one string (length byte + bytes), 7 dictionary {key: 0.5} (length byte + key),
//   8 code point (3 bytes).
// Bytes missing at the end read as zero.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Platform/Formatter.h"

using vistel::Value;

namespace {

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) { }

    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint64_t bits(int bytes)
    {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<std::uint64_t>(byte()) << (8 * i);
        return value;
    }
    std::string text()
    {
        const std::size_t length = byte();
        const std::size_t available = position_ < size_ ? size_ - position_ : 0;
        const std::size_t taken = length < available ? length : available;
        std::string result(reinterpret_cast<const char*>(data_ + position_), taken);
        position_ += taken;
        return result;
    }
    std::string rest()
    {
        const std::size_t start = position_ < size_ ? position_ : size_;
        position_ = size_;
        return std::string(reinterpret_cast<const char*>(data_ + start), size_ - start);
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

Value makeArgument(Reader& input)
{
    switch (input.byte() % 9) {
    case 0: return Value();
    case 1: return Value(input.byte() != 0);
    case 2: return Value(static_cast<std::int64_t>(input.bits(8)));
    case 3: return Value(static_cast<std::int8_t>(input.byte()));
    case 4: {
        const std::uint64_t bits = input.bits(8);
        double real;
        std::memcpy(&real, &bits, sizeof real);
        return Value(real);
    }
    case 5: return Value(input.text());
    case 6: return Value::array({Value(input.text())});
    case 7: return Value::dictionary({{input.text(), Value(0.5)}});
    default: return Value(static_cast<std::int64_t>(input.bits(3)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Reader input(data, size);
    std::vector<Value> arguments(input.byte() % 7);
    std::size_t longestDescription = 0;
    for (Value& argument : arguments) {
        argument = makeArgument(input);
        longestDescription = std::max(longestDescription, argument.description().size());
    }
    const std::string format = input.rest();

    const std::string text = vistel::formatString(format, arguments);

    // Every specifier needs at least two bytes of the format and writes at most a clamped
    // width, a clamped precision's worth of digits plus the integer part of a double, or an
    // argument's description; the literal text is copied once.
    const std::size_t perSpecifier = 2 * vistel::MaxFormatWidth + 400 + longestDescription;
    if (text.size() > format.size() + (format.size() / 2 + 1) * perSpecifier)
        __builtin_trap();
    return 0;
}
