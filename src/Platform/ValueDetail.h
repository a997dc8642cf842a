#pragma once
// Helpers shared by the sources of Value (Date.cpp, ValueDescription.cpp, PropertyListReader.cpp,
// PropertyListWriter.cpp). Not an interface for other callers.

#include <cstddef>
#include <string>

#include "Platform/Value.h"

namespace vistel::valuedetail {

// Deeper nesting is refused by the reader and by the writer alike, so that whatever is written
// can be read back and a hostile file cannot exhaust the stack.
constexpr int MaxPropertyListNesting = 256;

// The most memory the values of one property list may take; the reader refuses a document
// whose values would take more, before building anything. Each element is reckoned at
// PropertyListValueCost bytes (its value, the shared storage and its place in the container),
// each byte of the document at one.
constexpr std::size_t MaxPropertyListValueBytes = std::size_t(64) << 20;
constexpr std::size_t PropertyListValueCost = 128;

// True for the dates the four-digit ISO 8601 form can express (years 0000 to 9999).
bool isWritableDate(const Date& date) noexcept;

// An integer as decimal text, unsigned numbers above INT64_MAX included.
std::string integerText(const Value& value);

// A real in its shortest form that reads back to the same number ("0.1", "1e+300", "nan").
std::string shortestReal(double value);

} // namespace vistel::valuedetail
