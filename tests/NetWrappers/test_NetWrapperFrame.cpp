// What every wrapper does the same way, shown on the certificate manager and the file mailer:
// errors, value conversions, empty reads, long data, handler exceptions and written-back ints.

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <array>
#include <climits>
#include <functional>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "NetComponentsRecorder.h"
#include "NetWrappers/IPWorksSSLCertMgr.h"
#include "NetWrappers/IPWorksSSLFileMailerS.h"
#include "Platform/Exception.h"
#include "Platform/Log.h"

namespace {

using namespace vistel::test;
using vistel::IPWorksSSLCertMgr;
using vistel::IPWorksSSLFileMailerS;

class HookedCertMgr : public IPWorksSSLCertMgr {
public:
    void onError(int code, const std::string& text) override
    {
        if (error)
            error(code, text);
    }
    std::function<void(int, const std::string&)> error;
};

class HookedFileMailer : public IPWorksSSLFileMailerS {
public:
    void onSSLServerAuthentication(std::span<const std::byte>, const std::string&, const std::string&,
                                   const std::string&, int& accept) override
    {
        if (authentication)
            authentication(accept);
    }
    std::function<void(int&)> authentication;
};

constexpr std::intptr_t kHighGarbage = static_cast<std::intptr_t>(0x5a5a5a5a00000000LL);

class Frame : public NetComponentsFixture {
protected:
    void SetUp() override
    {
        NetComponentsFixture::SetUp();
        ASSERT_TRUE(certificates.valid());
        handle = NetComponentsTest_LastCreated("CertMgr_");
    }

    // An onError event (id 3) with the given slots, fired from inside the next call.
    void errorEventDuringNextCall()
    {
        NetComponentsTest_FireDuringNextCall(handle, 3, 2, errorSlots.data(), errorLengths.data());
    }

    HookedCertMgr certificates;
    void* handle = nullptr;
    std::array<void*, 2> errorSlots{wordOf(5), const_cast<char*>("event text")};
    std::array<int, 2> errorLengths{};
};

// ---- errors ----------------------------------------------------------------------------------

TEST_F(Frame, FailingCallsRaiseTheErrorTextAsNameAndReasonVerbatim)
{
    NetComponentsTest_AnswerGetBytes("CertMgr_", 2, "enc", 3, 3);
    NetComponentsTest_AnswerDoBytes("CertMgr_", 7, 2, "csr", 3, 0);
    const struct {
        const char* what;
        std::function<void()> call;
    } cases[] = {
        {"text getter", [&] { certificates.certEncoded(); }},
        {"int getter", [&] { certificates.certPublicKeyLength(); }},
        {"bool getter", [&] { certificates.certPrivateKeyAvailable(); }},
        {"setter", [&] { certificates.setCertSubject("cn"); }},
        {"method with a result", [&] { certificates.generateCSR("a", "b"); }},
    };
    for (const auto& c : cases) {
        NetComponentsTest_FailNext(17, "bad %d%s%n thing");
        try {
            c.call();
            ADD_FAILURE() << c.what << " did not raise";
        } catch (const vistel::Exception& e) {
            EXPECT_EQ(e.name(), "bad %d%s%n thing") << c.what;
            EXPECT_EQ(e.reason(), "bad %d%s%n thing") << c.what;
        }
        EXPECT_EQ(certificates.lastErrorCode(), 17) << c.what;
        EXPECT_EQ(certificates.lastError(), "bad %d%s%n thing") << c.what;
    }
}

TEST_F(Frame, ByteFormGetterNeverRaisesWhereItsTextTwinDoes)
{
    NetComponentsTest_AnswerGetBytes("CertMgr_", 2, "enc\0oded", 8, 8);
    NetComponentsTest_FailNext(4, "store locked");
    EXPECT_EQ(textOf(certificates.certEncodedB()), std::string("enc\0oded", 8));
    NetComponentsTest_FailNext(4, "store locked");
    EXPECT_THROW(certificates.certEncoded(), vistel::Exception);
    // Unscripted: both forms answer what the component stored, here nothing.
    EXPECT_TRUE(certificates.certStoreB().empty());
    EXPECT_EQ(certificates.certStore(), "");
}

TEST_F(Frame, GetterCopiesTheValueBeforeAskingForTheErrorCode)
{
    NetComponentsTest_AnswerGetBytes("CertMgr_", 2, "first", 5, 5);
    NetComponentsTest_AnswerGetBytes("CertMgr_", 13, "second", 6, 6);
    const auto first = certificates.certEncodedB();
    certificates.certStoreB(); // the component's buffer behind `first` is gone now
    EXPECT_EQ(textOf(first), "first");
    const std::size_t from = static_cast<std::size_t>(NetComponentsTest_CallCount());
    EXPECT_EQ(certificates.certEncoded(), "first");
    EXPECT_EQ(callLog(from), (std::vector<std::string>{"Get 2[0] len=0", "GetLastErrorCode"}));
}

TEST_F(Frame, FailedCreateGivesNoWrapper)
{
    NetComponentsTest_FailNext(1, "no component");
    EXPECT_EQ(IPWorksSSLCertMgr::certmgr(), nullptr);
    NetComponentsTest_FailNext(1, "no component");
    IPWorksSSLCertMgr direct;
    EXPECT_FALSE(direct.valid());
    // Calls on it reach the library with a null handle and raise its answer.
    EXPECT_THROW(direct.setCertSubject("cn"), vistel::Exception);
    EXPECT_EQ(direct.lastErrorCode(), NetComponentsTest_InvalidHandle);
}

// ---- values ----------------------------------------------------------------------------------

TEST_F(Frame, NullAddressesAndNegativeLengthsReadAsEmpty)
{
    NetComponentsTest_AnswerGetWord("CertMgr_", 16, 0, 0);      // string at a null address
    NetComponentsTest_AnswerGetBytes("CertMgr_", 2, "xy", 2, -3); // counted text, negative length
    NetComponentsTest_AnswerGetBytes("CertMgr_", 13, nullptr, 0, 5);
    EXPECT_EQ(certificates.certSubject(), "");
    EXPECT_EQ(certificates.certEncoded(), "");
    EXPECT_TRUE(certificates.certEncodedB().empty());
    EXPECT_TRUE(certificates.certStoreB().empty());

    NetComponentsTest_AnswerDoWord("CertMgr_", 7, 2, 0, 0);
    EXPECT_EQ(certificates.generateCSR("a", "b"), "");

    NetComponentsTest_FailNext(9, nullptr);
    EXPECT_THROW(certificates.certSubject(), vistel::Exception);
    EXPECT_EQ(certificates.lastError(), "");
}

TEST_F(Frame, TextGettersStopAtNulCountedOnesKeepTheirBytes)
{
    NetComponentsTest_AnswerGetBytes("CertMgr_", 16, "cn\0tail", 7, 7);
    NetComponentsTest_AnswerGetBytes("CertMgr_", 2, "der\0tail", 8, 8);
    EXPECT_EQ(certificates.certSubject(), "cn");
    EXPECT_EQ(certificates.certEncoded(), std::string("der\0tail", 8));
}

TEST_F(Frame, IntsComeFromTheLowThirtyTwoBitsAndBoolsFromTheWholeWord)
{
    const struct {
        std::intptr_t word;
        int asInt;
        bool asBool;
    } cases[] = {
        {-5, -5, true},
        {kHighGarbage | 12, 12, true},
        {kHighGarbage, 0, true},
        {0, 0, false},
        {7, 7, true},
    };
    for (const auto& c : cases) {
        NetComponentsTest_AnswerGetWord("CertMgr_", 10, c.word, 0);
        NetComponentsTest_AnswerGetWord("CertMgr_", 6, c.word, 0);
        EXPECT_EQ(certificates.certPublicKeyLength(), c.asInt) << c.word;
        EXPECT_EQ(certificates.certPrivateKeyAvailable(), c.asBool) << c.word;
    }
}

TEST_F(Frame, SettersPassLengthsByKind)
{
    IPWorksSSLFileMailerS mailer;
    for (int id : {2, 7, 32, 35, 36})
        NetComponentsTest_AcceptSet("FileMailerS_", id);
    const std::size_t from = static_cast<std::size_t>(NetComponentsTest_CallCount());
    mailer.setSSLCertSubject("cn");                   // string: length 0
    mailer.setSSLCertEncoded(std::string("a\0b", 3)); // counted: the byte count
    mailer.setSSLCertEncodedB(bytesOf("abcd"));  // data: the byte count
    mailer.setSSLCertEncodedB({});               // absent data: null and 0
    mailer.setSSLCertStoreType(-2);
    mailer.setConnected(true);
    mailer.setConnected(false);
    mailer.setConnected(7); // any non-zero value passes as 1
    mailer.setAttachments(4, "file");
    EXPECT_EQ(callLog(from), (std::vector<std::string>{
                                 "Set 36[0] 'cn'/0",
                                 "Set 32[0] 'a\\x00b'/3",
                                 "Set 32[0] 'abcd'/4",
                                 "Set 32[0] null/0",
                                 "Set 35[0] -2/0",
                                 "Set 7[0] 1/0",
                                 "Set 7[0] 0/0",
                                 "Set 7[0] 1/0",
                                 "Set 2[4] 'file'/0",
                             }));
}

// A span over INT_MAX + 1 reserved bytes that must never be touched (PROT_NONE).
class HugeSpan {
public:
    HugeSpan() : size_(static_cast<std::size_t>(INT_MAX) + 1)
    {
        address_ = mmap(nullptr, size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    }
    ~HugeSpan()
    {
        if (address_ != MAP_FAILED)
            munmap(address_, size_);
    }
    bool valid() const { return address_ != MAP_FAILED; }
    std::span<const std::byte> span() const { return {static_cast<const std::byte*>(address_), size_}; }

private:
    std::size_t size_;
    void* address_;
};

TEST_F(Frame, DataOverIntMaxIsRefusedBeforeAnyCall)
{
    HugeSpan huge;
    if (!huge.valid())
        GTEST_SKIP() << "cannot reserve 2 GiB of address space";
    NetComponentsTest_AcceptSet("CertMgr_", 2);
    NetComponentsTest_AcceptDo("CertMgr_", 9);
    const std::size_t from = static_cast<std::size_t>(NetComponentsTest_CallCount());
    EXPECT_THROW(certificates.setCertEncodedB(huge.span()), vistel::Exception);
    EXPECT_THROW(certificates.importSignedCSR(huge.span(), "x"), vistel::Exception);
    EXPECT_TRUE(callLog(from).empty());
    certificates.setCertEncodedB(huge.span().first(3).subspan(3)); // an empty span at that address
    EXPECT_EQ(callLog(from).size(), 1u);
}

// ---- events ----------------------------------------------------------------------------------

TEST_F(Frame, EventsOutsideTheFamilyRangeDoNothing)
{
    int calls = 0;
    certificates.error = [&](int, const std::string&) { ++calls; };
    for (int id : {0, 6, -1, 1000})
        EXPECT_EQ(NetComponentsTest_FireEvent(handle, id, 2, errorSlots.data(), errorLengths.data()), 0) << id;
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(NetComponentsTest_FireEvent(handle, 3, 2, errorSlots.data(), errorLengths.data()), 0);
    EXPECT_EQ(calls, 1);
}

TEST_F(Frame, NullSlotArraysReadAsEmpty)
{
    std::vector<std::pair<int, std::string>> seen;
    certificates.error = [&](int code, const std::string& text) { seen.emplace_back(code, text); };
    NetComponentsTest_FireEvent(handle, 3, 2, nullptr, nullptr);
    std::array<void*, 2> slots{wordOf(3), nullptr};
    NetComponentsTest_FireEvent(handle, 3, 2, slots.data(), nullptr);
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{0, ""}, {3, ""}}));
}

TEST_F(Frame, HandlerExceptionReplacesTheErrorOfTheCallThatDeliveredIt)
{
    NetComponentsTest_AnswerDoBytes("CertMgr_", 7, 2, "csr", 3, 0);
    certificates.error = [](int, const std::string& text) { throw std::runtime_error("handler: " + text); };
    errorEventDuringNextCall();
    try {
        certificates.generateCSR("a", "b");
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "handler: event text");
    }
    // ...also when the call fails on its own; a second handler exception is logged.
    vistel::ScopedLogCapture log;
    errorEventDuringNextCall();
    errorEventDuringNextCall();
    NetComponentsTest_FailNext(8, "own error");
    EXPECT_THROW(certificates.setCertSubject("cn"), std::runtime_error);
    EXPECT_TRUE(log.contains("IPWorksSSLCertMgr::onError handler: event text"));
    // The next call is unaffected.
    EXPECT_EQ(certificates.generateCSR("a", "b"), "csr");
}

TEST_F(Frame, HandlerExceptionOutsideAnyCallIsLogged)
{
    certificates.error = [](int, const std::string&) { throw std::runtime_error("nobody listens"); };
    vistel::ScopedLogCapture log;
    EXPECT_EQ(NetComponentsTest_FireEvent(handle, 3, 2, errorSlots.data(), errorLengths.data()), 0);
    EXPECT_TRUE(log.contains("IPWorksSSLCertMgr::onError nobody listens"));
}

TEST_F(Frame, FailingGetterInsideAHandlerRaisesItsOwnError)
{
    NetComponentsTest_AnswerDoBytes("CertMgr_", 7, 2, "csr", 3, 0);
    std::string caught;
    certificates.error = [&](int, const std::string&) {
        try {
            NetComponentsTest_FailNext(5, "subject unreadable");
            certificates.certSubject();
        } catch (const vistel::Exception& e) {
            caught = e.reason();
        }
    };
    errorEventDuringNextCall();
    EXPECT_EQ(certificates.generateCSR("a", "b"), "csr");
    EXPECT_EQ(caught, "subject unreadable");

    // Left uncaught, the getter's error comes out of the call that delivered the event.
    certificates.error = [&](int, const std::string&) {
        NetComponentsTest_FailNext(5, "subject unreadable");
        certificates.certSubject();
    };
    errorEventDuringNextCall();
    try {
        certificates.generateCSR("a", "b");
        ADD_FAILURE() << "no exception";
    } catch (const vistel::Exception& e) {
        EXPECT_EQ(e.reason(), "subject unreadable");
    }
}

TEST_F(Frame, WrittenBackIntIsStoredOnlyWhenTheHandlerChangesIt)
{
    HookedFileMailer mailer;
    void* mailerHandle = NetComponentsTest_LastCreated("FileMailerS_");
    const struct {
        const char* what;
        std::function<void(int&)> handler;
        std::intptr_t slotBefore;
        std::intptr_t slotAfter;
    } cases[] = {
        {"no handler", nullptr, kHighGarbage | 3, kHighGarbage | 3},
        {"left as it was", [](int& accept) { accept = accept + 0; }, kHighGarbage | 3, kHighGarbage | 3},
        {"changed", [](int& accept) { accept = 1; }, kHighGarbage | 3, 1},
        {"changed to negative", [](int& accept) { accept = -1; }, 0, -1},
        {"sees the low 32 bits", [](int& accept) { accept += 1; }, kHighGarbage | 41, 42},
        {"throwing writes nothing", [](int& accept) { accept = 1; throw std::runtime_error("no"); }, 0, 0},
    };
    for (const auto& c : cases) {
        mailer.authentication = c.handler;
        std::array<void*, 5> slots{nullptr, nullptr, nullptr, nullptr, wordOf(c.slotBefore)};
        std::array<int, 5> lengths{};
        vistel::ScopedLogCapture log;
        NetComponentsTest_FireEvent(mailerHandle, 5, 5, slots.data(), lengths.data());
        EXPECT_EQ(slots[4], wordOf(c.slotAfter)) << c.what;
    }
}

TEST_F(Frame, ThrowingHandlerInsideDoWritesNothingBack)
{
    HookedFileMailer mailer;
    void* mailerHandle = NetComponentsTest_LastCreated("FileMailerS_");
    NetComponentsTest_AcceptDo("FileMailerS_", 3);
    mailer.authentication = [](int& accept) {
        accept = 1;
        throw std::logic_error("refused");
    };
    std::array<void*, 5> slots{};
    std::array<int, 5> lengths{};
    NetComponentsTest_FireDuringNextCall(mailerHandle, 5, 5, slots.data(), lengths.data());
    EXPECT_THROW(mailer.connect(), std::logic_error);
    EXPECT_EQ(slots[4], nullptr);
}

// ---- lifetime --------------------------------------------------------------------------------

TEST_F(Frame, FactoryMakesTheWrapperClassOnlyDirectSubclassesGetEvents)
{
    const auto made = HookedCertMgr::certmgr();
    ASSERT_TRUE(made);
    EXPECT_EQ(typeid(*made), typeid(IPWorksSSLCertMgr));
    void* madeHandle = NetComponentsTest_LastCreated("CertMgr_");
    EXPECT_EQ(NetComponentsTest_FireEvent(madeHandle, 3, 2, errorSlots.data(), errorLengths.data()), 0);

    int received = 0;
    certificates.error = [&](int code, const std::string& text) {
        received = code;
        EXPECT_EQ(text, "event text");
    };
    NetComponentsTest_FireEvent(handle, 3, 2, errorSlots.data(), errorLengths.data());
    EXPECT_EQ(received, 5);
}

TEST_F(Frame, DestroyingTheWrapperDestroysItsComponent)
{
    void* own = nullptr;
    {
        IPWorksSSLCertMgr scoped;
        own = NetComponentsTest_LastCreated("CertMgr_");
    }
    EXPECT_EQ(NetComponentsTest_FireEvent(own, 3, 2, errorSlots.data(), errorLengths.data()), -1);
    EXPECT_EQ(callLog().back(), "Destroy");
}

static_assert(!std::is_copy_constructible_v<IPWorksSSLCertMgr>);
static_assert(!std::is_copy_assignable_v<IPWorksSSLCertMgr>);
static_assert(!std::is_move_constructible_v<IPWorksSSLCertMgr>);
static_assert(!std::is_move_assignable_v<IPWorksSSLCertMgr>);
static_assert(std::is_same_v<decltype(IPWorksSSLCertMgr::certmgr()), std::unique_ptr<IPWorksSSLCertMgr>>);

} // namespace
