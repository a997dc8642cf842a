// The generator, on a small fixture table (data/SMPPS.table, made into FixtureComponent at
// build time): every kind of property, method and event makes exactly the calls written out
// here. And a malformed table stops the generator with its file and line.

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "NetComponentsRecorder.h"
#include "NetWrappers/FixtureComponent.h"

namespace {

using namespace vistel::test;
using vistel::FixtureComponent;

struct Everything {
    std::string text;
    std::vector<std::byte> data;
    int integer = 0;
    std::int32_t long32 = 0;
    bool boolean = false;
    int writtenBack = 0;
};

class RecordingFixture : public FixtureComponent {
public:
    void onEverything(const std::string& text, std::span<const std::byte> data, int integer, std::int32_t long32,
                      bool boolean, int& writtenBack) override
    {
        received.push_back({text, {data.begin(), data.end()}, integer, long32, boolean, writtenBack});
        writtenBack += 1;
    }
    void onNothing() override { ++nothings; }

    std::vector<Everything> received;
    int nothings = 0;
};

class Generated : public NetComponentsFixture {
protected:
    void SetUp() override
    {
        NetComponentsFixture::SetUp();
        wrapper = FixtureComponent::fixture();
        ASSERT_TRUE(wrapper);
        first = static_cast<std::size_t>(NetComponentsTest_CallCount());
    }

    std::unique_ptr<FixtureComponent> wrapper;
    std::size_t first = 0;
};

TEST_F(Generated, FactoryCreatesAndTheDestructorDestroysOneHandle)
{
    void* handle = NetComponentsTest_LastCreated("SMPPS_");
    wrapper.reset();
    const auto calls = recordedCalls();
    ASSERT_EQ(callLog(), (std::vector<std::string>{"Create", "Destroy"}));
    EXPECT_EQ(calls[0].handle, handle);
    EXPECT_EQ(calls[1].handle, handle);
}

TEST_F(Generated, GettersReadTheirIdAndIndexAndConvertByKind)
{
    NetComponentsTest_AnswerGetWord("SMPPS_", 1, 7, 0);
    NetComponentsTest_AnswerGetWord("SMPPS_", 4, -7, 0);
    NetComponentsTest_AnswerGetBytes("SMPPS_", 6, "alpha\0beta", 10, 10);
    NetComponentsTest_AnswerGetBytes("SMPPS_", 8, "ok", 2, 0);
    NetComponentsTest_AnswerGetBytes("SMPPS_", 12, "e3", 2, 0);
    NetComponentsTest_AnswerGetWord("SMPPS_", 14, 9, 0);
    NetComponentsTest_AnswerGetBytes("SMPPS_", 20, "a\0bc", 4, 3);
    NetComponentsTest_AnswerGetBytes("SMPPS_", 26, "srv", 3, 3);

    EXPECT_TRUE(wrapper->ready());
    EXPECT_EQ(wrapper->port(), -7);
    EXPECT_EQ(wrapper->name(), "alpha");
    EXPECT_EQ(wrapper->status(), "ok");
    EXPECT_EQ(wrapper->entry(3), "e3");
    EXPECT_EQ(wrapper->entryKind(2), 9);
    EXPECT_EQ(wrapper->blob(), std::string("a\0b", 3));
    EXPECT_EQ(textOf(wrapper->blobB()), std::string("a\0b", 3));
    EXPECT_EQ(wrapper->serverBlob(), "srv");
    EXPECT_EQ(textOf(wrapper->serverBlobB()), "srv");

    EXPECT_EQ(callLog(first), (std::vector<std::string>{
                                  "Get 1[0] len=0", "GetLastErrorCode",
                                  "Get 4[0] len=0", "GetLastErrorCode",
                                  "Get 6[0] len=0", "GetLastErrorCode",
                                  "Get 8[0] len=0", "GetLastErrorCode",
                                  "Get 12[3] len=0", "GetLastErrorCode",
                                  "Get 14[2] len=0", "GetLastErrorCode",
                                  "Get 20[0] len=0", "GetLastErrorCode",
                                  "Get 20[0] len=0",
                                  "Get 26[0] len=0", "GetLastErrorCode",
                                  "Get 26[0] len=0",
                              }));
}

TEST_F(Generated, SettersPassTheirIdIndexValueAndLength)
{
    for (int id : {1, 4, 6, 7, 12, 14, 20})
        NetComponentsTest_AcceptSet("SMPPS_", id);
    const std::string name = "alpha";
    wrapper->setReady(true);
    wrapper->setReady(false);
    wrapper->setPort(-7);
    wrapper->setName(name);
    wrapper->setCommand("go");
    wrapper->setEntry(3, "e3");
    wrapper->setEntryKind(2, 9);
    wrapper->setBlob(std::string("a\0b", 3));
    wrapper->setBlobB(bytesOf("xyz"));
    wrapper->setBlobB({});

    EXPECT_EQ(callLog(first), (std::vector<std::string>{
                                  "Set 1[0] 1/0",
                                  "Set 1[0] 0/0",
                                  "Set 4[0] -7/0",
                                  "Set 6[0] 'alpha'/0",
                                  "Set 7[0] 'go'/0",
                                  "Set 12[3] 'e3'/0",
                                  "Set 14[2] 9/0",
                                  "Set 20[0] 'a\\x00b'/3",
                                  "Set 20[0] 'xyz'/3",
                                  "Set 20[0] null/0",
                              }));
}

TEST_F(Generated, MethodsFillTheirSlotsAndReadTheResultSlot)
{
    NetComponentsTest_AnswerDoBytes("SMPPS_", 1, 1, "answer", 6, 0);
    NetComponentsTest_AcceptDo("SMPPS_", 2);
    NetComponentsTest_AcceptDo("SMPPS_", 3);
    NetComponentsTest_AcceptDo("SMPPS_", 4);
    NetComponentsTest_AnswerDoBytes("SMPPS_", 5, 1, "reply\0tail", 10, 10);
    NetComponentsTest_AnswerDoBytes("SMPPS_", 9, 2, "r\0st", 4, 3);
    NetComponentsTest_AnswerDoBytes("SMPPS_", 10, 1, "pushed", 6, 0);

    EXPECT_EQ(wrapper->config("k=v"), "answer");
    wrapper->pick(5, "p");
    wrapper->delete_("d");
    wrapper->ping();
    EXPECT_EQ(wrapper->ask("q"), "reply");
    EXPECT_EQ(wrapper->exchange(5, bytesOf("abcd")), std::string("r\0s", 3));
    EXPECT_EQ(wrapper->push(bytesOf("zz")), "pushed");

    EXPECT_EQ(callLog(first), (std::vector<std::string>{
                                  "Do 1 n=1 'k=v'/0 0/0",
                                  "Do 2 n=2 5/0 'p'/0 0/0",
                                  "Do 3 n=1 'd'/0 0/0",
                                  "Do 4 n=0 0/0",
                                  "Do 5 n=1 'q'/0 0/0",
                                  "Do 9 n=2 5/0 'abcd'/4 0/0",
                                  "Do 10 n=1 'zz'/2 0/0",
                              }));
}

TEST_F(Generated, EventsReachTheHandlersConvertedByKind)
{
    RecordingFixture recording;
    ASSERT_TRUE(recording.valid());
    void* handle = NetComponentsTest_LastCreated("SMPPS_");
    const char text[] = "txt";
    const char data[] = "d\0e";
    const std::intptr_t highGarbage = static_cast<std::intptr_t>(0x7fffffff00000000LL);
    std::array<void*, 6> slots{const_cast<char*>(text), const_cast<char*>(data), wordOf(highGarbage | 12),
                               wordOf(-5), wordOf(7), wordOf(41)};
    std::array<int, 6> lengths{0, 3, 0, 0, 0, 0};
    EXPECT_EQ(NetComponentsTest_FireEvent(handle, 1, 6, slots.data(), lengths.data()), 0);
    ASSERT_EQ(recording.received.size(), 1u);
    const Everything& got = recording.received[0];
    EXPECT_EQ(got.text, "txt");
    EXPECT_EQ(textOf(got.data), std::string("d\0e", 3));
    EXPECT_EQ(got.integer, 12);
    EXPECT_EQ(got.long32, -5);
    EXPECT_TRUE(got.boolean);
    EXPECT_EQ(got.writtenBack, 41);
    EXPECT_EQ(slots[5], wordOf(42));

    EXPECT_EQ(NetComponentsTest_FireEvent(handle, 2, 0, nullptr, nullptr), 0);
    EXPECT_EQ(recording.nothings, 1);
    for (int outside : {0, 3, -1})
        EXPECT_EQ(NetComponentsTest_FireEvent(handle, outside, 6, slots.data(), lengths.data()), 0);
    EXPECT_EQ(recording.received.size(), 1u);
    EXPECT_EQ(recording.nothings, 1);
}

// ---- malformed tables ------------------------------------------------------------------------

CommandRun runGenerator(const std::string& table)
{
    char folder[] = "/tmp/netwrapper_gen_XXXXXX";
    if (!mkdtemp(folder))
        return {-1, "mkdtemp failed"};
    const std::string path = std::string(folder) + "/SMPPS.table";
    std::ofstream(path) << table;
    const CommandRun run = runCommand(std::string("'") + NETWRAPPER_GEN_PATH + "' '" + folder + "' '" + path + "' 2>&1");
    runCommand(std::string("rm -rf '") + folder + "'");
    return run;
}

TEST(NetWrapperGenerator, MalformedRowsStopItWithFileAndLine)
{
    const std::string family = "# comment\nfamily SMPPS_ Fixture fixture\n";
    struct Case {
        std::string rows;
        std::string message; // after "<file>:<line>: "
    };
    const Case cases[] = {
        {"property 1 a setA: text plain\n", "3: \"text\" is not a property kind"},
        {"property 1 a setA: string\n", "3: property rows have 6 columns, this one has 5"},
        {"property 1 a: setA: string plain\n", "3: \"a:\" should have 0 argument parts"},
        {"property 1 a putA: string plain\n", "3: a setter is named set<Property>:"},
        {"property 0 a setA: string plain\n", "3: ids start at 1"},
        {"property x a setA: string plain\n", "3: \"x\" is not an id"},
        {"property 1 - - string plain\n", "3: a property needs a getter or a setter"},
        {"property 1 a setA: string plain\nproperty 1 b setB: int plain\n", "4: property id 1 appears twice"},
        {"property 1 a setA: string plain\nproperty 1 aB setAB: data plain\n",
         "4: property id 1 has a byte form but is not a counted text"},
        {"method 1 config: string,long string\n", "3: \"long\" is not a kind here"},
        {"method 1 config:: string string\n", "3: \"config::\" should have 1 argument parts"},
        {"method 2 go - counted\nmethod 2 stop - -\n", "4: method id 2 appears twice"},
        {"method 2 go - int\n", "3: a method's result is \"-\", \"string\" or \"counted\""},
        {"event 1 error:: int,string\n", "3: a handler is named on<Event>"},
        {"event 1 onError: int,string\n", "3: \"onError:\" should have 2 argument parts"},
        {"signal 1 onError:: int,string\n", "3: unknown row \"signal\""},
        {"family SMPPS_ Other other\n", "3: a second family row"},
        {"property 1 a setA: string plain stored\n", "3: the last column of a property row is \"action\" or nothing"},
        {"property 1 a - bool plain action\n", "3: an action property is written"},
        {"property 1 n setN: int plain\nlist n e:\n", "4: no property \"e:\" above this row"},
        {"property 1 n setN: string plain\nproperty 2 e: setE:: string indexed\nlist n e:\n",
         "5: a list's count is a plain int property"},
        {"property 1 n setN: int plain\nproperty 2 e setE: string plain\nlist n e\n", "5: \"e\" is not indexed"},
        {"property 1 n setN: int plain\nproperty 2 e: setE:: string indexed\nlist n e:\nlist n e:\n",
         "6: \"e:\" is in two lists"},
        {"property 1 n setN: int plain\nproperty 2 e: setE:: string indexed\nlist n e:\nmethod 2 add:: string,string -\n"
         "append add:: e:\n",
         "7: \"add::\" takes 2 arguments"},
        {"property 1 n setN: int plain\nproperty 2 e: setE:: string indexed\nmethod 2 add: string -\nappend add: e:\n",
         "6: \"e:\" is not in the same list as the other members"},
    };
    for (const Case& c : cases) {
        const CommandRun run = runGenerator(family + c.rows);
        EXPECT_EQ(run.status, 1) << c.rows;
        EXPECT_NE(run.output.find("/SMPPS.table:" + c.message), std::string::npos) << c.rows << run.output;
    }
    const CommandRun noFamily = runGenerator("property 1 a setA: string plain\n");
    EXPECT_EQ(noFamily.status, 1);
    EXPECT_NE(noFamily.output.find("/SMPPS.table:1: the family row must come first"), std::string::npos)
        << noFamily.output;
    EXPECT_EQ(runGenerator(family + "property 1 a setA: string plain\n").status, 0);
}

} // namespace
