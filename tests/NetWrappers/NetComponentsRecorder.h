#pragma once
// Test helpers over the component library's test-control calls: recorded calls as plain C++
// values, and a fixture that starts and ends every test with a reset library.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "NetWrappers/NetComponents/NetComponentsTest.h"

namespace vistel::test {

struct RecordedSlot {
    std::uintptr_t word = 0;
    int length = 0;
    bool isAddress = false;
    std::string bytes; // the bytes behind an address, copied when the call came in

    bool operator==(const RecordedSlot&) const = default;
};

inline void PrintTo(const RecordedSlot& slot, std::ostream* out)
{
    *out << "{word " << slot.word << ", length " << slot.length;
    if (slot.isAddress)
        *out << ", bytes \"" << ::testing::PrintToString(slot.bytes) << "\"";
    *out << "}";
}

struct RecordedCall {
    std::string prefix;
    int entry = 0;
    void* handle = nullptr;
    int id = 0;
    int index = 0;
    int argumentCount = 0;
    std::vector<RecordedSlot> slots;
    int lengthGiven = -1;
};

inline std::vector<RecordedCall> recordedCalls()
{
    std::vector<RecordedCall> calls;
    const int count = NetComponentsTest_CallCount();
    for (int i = 0; i < count; ++i) {
        const NetComponentsCall* c = NetComponentsTest_Call(i);
        RecordedCall call{c->prefix, c->entry, c->handle, c->id, c->index, c->argumentCount, {}, c->lengthGiven};
        for (int s = 0; s < c->slotCount; ++s) {
            const NetComponentsSlot& slot = c->slots[s];
            call.slots.push_back({slot.word, slot.length, slot.isAddress != 0,
                                  slot.bytes ? std::string(reinterpret_cast<const char*>(slot.bytes),
                                                           static_cast<std::size_t>(slot.byteCount))
                                             : std::string()});
        }
        calls.push_back(std::move(call));
    }
    return calls;
}

// The recorded calls of one entry (Get, Set, Do, ...).
inline std::vector<RecordedCall> recordedCalls(int entry)
{
    std::vector<RecordedCall> calls;
    for (RecordedCall& call : recordedCalls())
        if (call.entry == entry)
            calls.push_back(std::move(call));
    return calls;
}

inline std::vector<std::byte> bytesOf(std::string_view text)
{
    const auto* first = reinterpret_cast<const std::byte*>(text.data());
    return {first, first + text.size()};
}

inline std::string textOf(const std::vector<std::byte>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

inline void* wordOf(std::intptr_t value)
{
    return reinterpret_cast<void*>(value);
}

class NetComponentsFixture : public ::testing::Test {
protected:
    void SetUp() override { NetComponentsTest_Reset(); }
    void TearDown() override { NetComponentsTest_Reset(); }
};

} // namespace vistel::test
