// The component library on its own, through its C entry points: handles, errors, scripted
// answers, the recorder, events, and what the library exports.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "NetComponentsRecorder.h"
#include "NetWrappers/NetComponentEntryPoints.h"

namespace {

using namespace vistel::test;

struct SinkCall {
    void* context = nullptr;
    int event = 0;
    int argumentCount = 0;
    int errorCodeDuringEvent = -1;
};

thread_local SinkCall lastSinkCall;
thread_local int sinkCalls = 0;
thread_local void* sinkHandle = nullptr;

int recordingSink(void* context, int event, int argumentCount, void** slots, int* lengths)
{
    ++sinkCalls;
    lastSinkCall = {context, event, argumentCount, sinkHandle ? SMPPS_GetLastErrorCode(sinkHandle) : -1};
    if (slots)
        slots[0] = wordOf(77);
    if (lengths)
        lengths[0] = 5;
    return 0;
}

class NetComponents : public NetComponentsFixture {
protected:
    void SetUp() override
    {
        NetComponentsFixture::SetUp();
        sinkCalls = 0;
        handle = SMPPS_Create(&recordingSink, &context, nullptr);
        sinkHandle = handle;
        ASSERT_NE(handle, nullptr);
    }
    void TearDown() override
    {
        SMPPS_Destroy(handle);
        sinkHandle = nullptr;
        NetComponentsFixture::TearDown();
    }

    int context = 0;
    void* handle = nullptr;
};

TEST_F(NetComponents, NullStaleAndForeignHandlesReportAnErrorInsteadOfCrashing)
{
    void* stale = SMPPS_Create(&recordingSink, nullptr, nullptr);
    ASSERT_EQ(SMPPS_Destroy(stale), 0);
    void* foreign = CertMgr_Create(&recordingSink, nullptr, nullptr);
    for (void* bad : {static_cast<void*>(nullptr), stale, foreign}) {
        int length = 9;
        EXPECT_EQ(SMPPS_Get(bad, 8, 0, &length), nullptr);
        EXPECT_EQ(length, 0);
        EXPECT_EQ(SMPPS_Set(bad, 2, 0, nullptr, 0), NetComponentsTest_InvalidHandle);
        EXPECT_EQ(SMPPS_Do(bad, 4, 0, nullptr, nullptr), NetComponentsTest_InvalidHandle);
        EXPECT_EQ(SMPPS_GetLastErrorCode(bad), NetComponentsTest_InvalidHandle);
        EXPECT_STREQ(SMPPS_GetLastError(bad), "Invalid component handle.");
        EXPECT_EQ(SMPPS_Destroy(bad), NetComponentsTest_InvalidHandle);
    }
    CertMgr_Destroy(foreign);
}

// What the wrappers never send: unknown ids, wrong argument counts, missing slot arrays.
TEST_F(NetComponents, CallsTheTablesDoNotAllowFailWithTheirText)
{
    std::array<void*, 3> slots{};
    std::array<int, 3> lengths{};
    int length = 0;
    struct Case {
        std::function<int()> call;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {[&] { SMPPS_Get(handle, 99, 0, &length); return SMPPS_GetLastErrorCode(handle); },
         NetComponentsTest_UnknownProperty, "Unknown property id 99."},
        {[&] { return SMPPS_Set(handle, 0, 0, nullptr, 0); }, NetComponentsTest_UnknownProperty,
         "Unknown property id 0."},
        {[&] { return SMPPS_Do(handle, 99, 0, slots.data(), lengths.data()); }, NetComponentsTest_UnknownMethod,
         "Unknown method id 99."},
        {[&] { return SMPPS_Do(handle, 9, 1, slots.data(), lengths.data()); }, NetComponentsTest_ArgumentCount,
         "'sendCommand::' takes 2 arguments, not 1."},
        {[&] { return SMPPS_Do(handle, 1, 1, nullptr, nullptr); }, NetComponentsTest_BadValue,
         "'config:' was given no slots."},
        {[&] { return SMPPS_Set(handle, 20, 0, nullptr, 4); }, NetComponentsTest_BadValue,
         "'setSSLAcceptServerCert:' was given 4 bytes at a null address."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), c.code) << c.text;
        EXPECT_STREQ(SMPPS_GetLastError(handle), c.text);
    }
}

TEST_F(NetComponents, ErrorsClearAtTheNextGetSetOrDoButNotWhenRead)
{
    NetComponentsTest_AcceptSet("SMPPS_", 2);
    NetComponentsTest_FailNext(42, "broken %d%s%n");
    EXPECT_EQ(SMPPS_Set(handle, 2, 0, const_cast<char*>("h"), 0), 42);
    EXPECT_STREQ(SMPPS_GetLastError(handle), "broken %d%s%n");
    EXPECT_EQ(SMPPS_GetLastErrorCode(handle), 42);
    EXPECT_EQ(SMPPS_GetLastErrorCode(handle), 42);
    EXPECT_EQ(SMPPS_Set(handle, 2, 0, const_cast<char*>("h"), 0), 0);
    EXPECT_EQ(SMPPS_GetLastErrorCode(handle), 0);
    EXPECT_STREQ(SMPPS_GetLastError(handle), "");
}

TEST_F(NetComponents, ErrorsAreKeptPerComponent)
{
    void* other = SMPPS_Create(&recordingSink, nullptr, nullptr);
    NetComponentsTest_FailNext(7, "only mine");
    SMPPS_Do(handle, 4, 0, nullptr, nullptr);
    EXPECT_EQ(SMPPS_GetLastErrorCode(handle), 7);
    EXPECT_EQ(SMPPS_GetLastErrorCode(other), 0);
    SMPPS_Destroy(other);
}

TEST_F(NetComponents, ScriptedGetAnswersItsBytesOrWordAndLength)
{
    NetComponentsTest_AnswerGetBytes("SMPPS_", 26, "a\0b", 3, 3);
    NetComponentsTest_AnswerGetWord("SMPPS_", 4, -5, 0);
    int length = 0;
    const char* bytes = static_cast<const char*>(SMPPS_Get(handle, 26, 0, &length));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(bytes, 3), std::string("a\0b", 3));
    EXPECT_EQ(bytes[3], '\0');
    EXPECT_EQ(length, 3);
    EXPECT_EQ(SMPPS_GetLastErrorCode(handle), 0);
    EXPECT_EQ(SMPPS_Get(handle, 4, 0, &length), wordOf(-5));
    NetComponentsTest_AnswerGetBytes("SMPPS_", 8, nullptr, 0, -1);
    EXPECT_EQ(SMPPS_Get(handle, 8, 0, &length), nullptr);
    EXPECT_EQ(length, -1);
}

TEST_F(NetComponents, FailedGetStillAnswersItsValue)
{
    NetComponentsTest_AnswerGetBytes("SMPPS_", 26, "cert", 4, 4);
    NetComponentsTest_FailNext(3, "no certificate");
    int length = 0;
    const char* bytes = static_cast<const char*>(SMPPS_Get(handle, 26, 0, &length));
    EXPECT_EQ(std::string(bytes, static_cast<size_t>(length)), "cert");
    EXPECT_EQ(SMPPS_GetLastErrorCode(handle), 3);
}

TEST_F(NetComponents, FailedCreateAnswersNull)
{
    NetComponentsTest_FailNext(1, "no licence");
    EXPECT_EQ(FTPS_Create(&recordingSink, nullptr, nullptr), nullptr);
    void* made = FTPS_Create(&recordingSink, nullptr, nullptr);
    EXPECT_NE(made, nullptr);
    EXPECT_EQ(NetComponentsTest_LastCreated("FTPS_"), made);
    FTPS_Destroy(made);
    EXPECT_EQ(NetComponentsTest_LastCreated("FTPS_"), nullptr);
}

TEST_F(NetComponents, ScriptedDoWritesItsSlots)
{
    NetComponentsTest_AnswerDoBytes("SMPPS_", 9, 2, "x\0y", 3, 3);
    std::array<void*, 3> slots{wordOf(5), const_cast<char*>("dat"), nullptr};
    std::array<int, 3> lengths{0, 3, 0};
    ASSERT_EQ(SMPPS_Do(handle, 9, 2, slots.data(), lengths.data()), 0);
    EXPECT_EQ(std::string(static_cast<const char*>(slots[2]), 3), std::string("x\0y", 3));
    EXPECT_EQ(lengths[2], 3);
    NetComponentsTest_AnswerDoWord("SMPPS_", 4, 0, 0x1234, -2);
    std::array<void*, 1> single{};
    std::array<int, 1> singleLength{};
    ASSERT_EQ(SMPPS_Do(handle, 4, 0, single.data(), singleLength.data()), 0);
    EXPECT_EQ(single[0], wordOf(0x1234));
    EXPECT_EQ(singleLength[0], -2);
}

TEST_F(NetComponents, RecorderCopiesWhatEachSlotKindPointsAt)
{
    NetComponentsTest_AcceptSet("SMPPS_", 20);
    NetComponentsTest_AcceptSet("SMPPS_", 2);
    NetComponentsTest_AcceptDo("SMPPS_", 9);
    char counted[] = "ab\0cd";
    char text[] = "host\0hidden";
    SMPPS_Set(handle, 20, 0, counted, 5);
    SMPPS_Set(handle, 2, 3, text, 0);
    std::array<void*, 3> slots{wordOf(5), counted, nullptr};
    std::array<int, 3> lengths{0, 4, 0};
    SMPPS_Do(handle, 9, 2, slots.data(), lengths.data());
    int length = 17;
    SMPPS_Get(handle, 8, 2, &length);
    counted[0] = 'X'; // copied at call time: later changes do not reach the record

    const auto calls = recordedCalls();
    ASSERT_EQ(calls.size(), 5u); // Create (in SetUp), two Sets, Do, Get
    EXPECT_EQ(calls[0].entry, NetComponentsEntry_Create);
    EXPECT_EQ(calls[0].handle, handle);
    EXPECT_EQ(calls[1].slots, (std::vector<RecordedSlot>{{reinterpret_cast<uintptr_t>(counted), 5, true, std::string("ab\0cd", 5)}}));
    EXPECT_EQ(calls[2].index, 3);
    EXPECT_EQ(calls[2].slots, (std::vector<RecordedSlot>{{reinterpret_cast<uintptr_t>(text), 0, true, "host"}}));
    EXPECT_EQ(calls[3].entry, NetComponentsEntry_Do);
    EXPECT_EQ(calls[3].argumentCount, 2);
    EXPECT_EQ(calls[3].slots, (std::vector<RecordedSlot>{{5, 0, false, ""},
                                                          {reinterpret_cast<uintptr_t>(counted), 4, true, std::string("ab\0c", 4)},
                                                          {0, 0, false, ""}}));
    EXPECT_EQ(calls[4].entry, NetComponentsEntry_Get);
    EXPECT_EQ(calls[4].id, 8);
    EXPECT_EQ(calls[4].index, 2);
    EXPECT_EQ(calls[4].lengthGiven, 17);
}

TEST_F(NetComponents, FireEventNowHandsBackTheSlotsAsTheSinkLeftThem)
{
    std::array<void*, 2> slots{wordOf(1), wordOf(2)};
    std::array<int, 2> lengths{};
    EXPECT_EQ(NetComponentsTest_FireEvent(handle, 3, 2, slots.data(), lengths.data()), 0);
    EXPECT_EQ(sinkCalls, 1);
    EXPECT_EQ(lastSinkCall.context, &context);
    EXPECT_EQ(lastSinkCall.event, 3);
    EXPECT_EQ(lastSinkCall.argumentCount, 2);
    EXPECT_EQ(slots[0], wordOf(77));
    EXPECT_EQ(lengths[0], 5);
    EXPECT_EQ(NetComponentsTest_FireEvent(nullptr, 3, 2, slots.data(), lengths.data()), -1);
}

TEST_F(NetComponents, FireDuringNextCallFiresInsideTheCallOnThatComponentOnly)
{
    void* other = SMPPS_Create(&recordingSink, nullptr, nullptr);
    NetComponentsTest_FailNext(9, "earlier");
    SMPPS_Do(handle, 4, 0, nullptr, nullptr); // leaves an error that the next call clears
    std::array<void*, 1> slots{};
    std::array<int, 1> lengths{};
    NetComponentsTest_FireDuringNextCall(handle, 6, 5, slots.data(), lengths.data());
    int length = 0;
    SMPPS_Get(other, 8, 0, &length);
    EXPECT_EQ(sinkCalls, 0);
    SMPPS_Get(handle, 8, 0, &length);
    EXPECT_EQ(sinkCalls, 1);
    EXPECT_EQ(lastSinkCall.event, 6);
    EXPECT_EQ(lastSinkCall.errorCodeDuringEvent, 0);
    EXPECT_EQ(slots[0], wordOf(77));
    SMPPS_Get(handle, 8, 0, &length);
    EXPECT_EQ(sinkCalls, 1);
    SMPPS_Destroy(other);
}

// The names a library exports (defined, dynamic), without their versions.
std::set<std::string> exportedNames(const char* path)
{
    const CommandRun nm = runCommand(std::string("nm -D --defined-only '") + path + "'");
    EXPECT_EQ(nm.status, 0) << nm.output;
    std::set<std::string> exported;
    std::istringstream lines(nm.output);
    for (std::string address, type, name; lines >> address >> type >> name;) {
        if (type != "A")
            exported.insert(name.substr(0, name.find('@')));
    }
    return exported;
}

// The shipped library exports the seven entry points of every family and nothing else; its test
// build adds the test-control calls and nothing else.
TEST(NetComponentsLibrary, ShippedLibraryExportsTheEntryPointsAlone)
{
    std::set<std::string> entryPoints;
    for (const char* prefix : {"CertMgr_", "FileMailerS_", "FTPS_", "HTMLMailerS_", "HTTPS_", "IMAPS_", "IPPortS_",
                               "LDAPS_", "NNTPS_", "POPS_", "RSSS_", "SMPPS_", "SMTPS_", "SNPPS_", "SOAPS_",
                               "TelnetS_", "WebDAVS_", "WebFormS_", "WebUploadS_", "XMPPS_"})
        for (const char* suffix : {"Create", "Destroy", "Get", "Set", "Do", "GetLastError", "GetLastErrorCode"})
            entryPoints.insert(std::string(prefix) + suffix);
    ASSERT_EQ(entryPoints.size(), 140u);

    EXPECT_EQ(exportedNames(NET_COMPONENTS_PATH), entryPoints);

    const std::set<std::string> testing = exportedNames(NET_COMPONENTS_TESTING_PATH);
    std::set<std::string> controls;
    std::set_difference(testing.begin(), testing.end(), entryPoints.begin(), entryPoints.end(),
                        std::inserter(controls, controls.end()));
    EXPECT_TRUE(std::includes(testing.begin(), testing.end(), entryPoints.begin(), entryPoints.end()));
    EXPECT_TRUE(controls.count("NetComponentsTest_Reset"));
    for (const std::string& symbol : controls)
        EXPECT_EQ(symbol.rfind("NetComponentsTest_", 0), 0u) << symbol;
}

} // namespace
