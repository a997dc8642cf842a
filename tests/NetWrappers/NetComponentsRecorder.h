#pragma once
// Test helpers over the component library's test-control calls: recorded calls as plain C++
// values, and a fixture that starts and ends every test with a reset library.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "NetWrappers/NetComponents/NetComponentsTest.h"
#include "Platform/Exception.h"

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

// One recorded call as a line, so a test can spell out the calls it expects:
//   "Create", "Destroy", "GetLastError", "GetLastErrorCode",
//   "Get <id>[<index>] len=<*length given>",
//   "Set <id>[<index>] <slot>", "Do <id> n=<count> <slot> <slot>..."
// where a slot is "<word>/<length>" (the word as a signed number) or, for slots that carry an
// address, "'<bytes>'/<length>" ("null/<length>" for a null address; bytes other than
// printable ASCII as \xNN).
inline std::string describeSlot(const RecordedSlot& slot)
{
    std::string text;
    if (!slot.isAddress) {
        text = std::to_string(static_cast<std::intptr_t>(slot.word));
    } else if (slot.word == 0) {
        text = "null";
    } else {
        text = "'";
        for (unsigned char c : slot.bytes) {
            if (c >= 0x20 && c < 0x7f) {
                text += static_cast<char>(c);
            } else {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
                text += escaped;
            }
        }
        text += "'";
    }
    return text + "/" + std::to_string(slot.length);
}

inline std::string describeCall(const RecordedCall& call)
{
    static const char* const names[] = {"Create", "Destroy", "Get", "Set", "Do", "GetLastError", "GetLastErrorCode"};
    std::string text = names[call.entry];
    switch (call.entry) {
    case NetComponentsEntry_Get:
        text += " " + std::to_string(call.id) + "[" + std::to_string(call.index) + "] len=" +
                std::to_string(call.lengthGiven);
        break;
    case NetComponentsEntry_Set:
        text += " " + std::to_string(call.id) + "[" + std::to_string(call.index) + "]";
        break;
    case NetComponentsEntry_Do:
        text += " " + std::to_string(call.id) + " n=" + std::to_string(call.argumentCount);
        break;
    default:
        break;
    }
    for (const RecordedSlot& slot : call.slots)
        text += " " + describeSlot(slot);
    return text;
}

// The recorded calls as lines, from position `first` on.
inline std::vector<std::string> callLog(std::size_t first = 0)
{
    std::vector<std::string> lines;
    const auto calls = recordedCalls();
    for (std::size_t i = first; i < calls.size(); ++i)
        lines.push_back(describeCall(calls[i]));
    return lines;
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

// The error text a call raises, or "" when it returns.
inline std::string raisedReason(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.reason();
    }
    return {};
}

inline void* wordOf(std::intptr_t value)
{
    return reinterpret_cast<void*>(value);
}

// Runs a shell command; its exit status (-1 when it did not exit) and what it wrote to stdout.
struct CommandRun {
    int status = -1;
    std::string output;
};

inline CommandRun runCommand(const std::string& command)
{
    CommandRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        run.output += buffer;
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class NetComponentsFixture : public ::testing::Test {
protected:
    void SetUp() override { NetComponentsTest_Reset(); }
    void TearDown() override { NetComponentsTest_Reset(); }
};

} // namespace vistel::test
