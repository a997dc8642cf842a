// Each family's own ids, index arguments, method slots, event shapes and written-back slots:
// a short table of calls per family with the calls the component must see, the shapes of the
// members that differ between families as static_asserts, and every written-back slot fired.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "NetComponentsRecorder.h"
#include "NetWrappers/IPWorksSSLCertMgr.h"
#include "NetWrappers/IPWorksSSLFTPS.h"
#include "NetWrappers/IPWorksSSLFileMailerS.h"
#include "NetWrappers/IPWorksSSLHTMLMailerS.h"
#include "NetWrappers/IPWorksSSLHTTPS.h"
#include "NetWrappers/IPWorksSSLIMAPS.h"
#include "NetWrappers/IPWorksSSLIPPortS.h"
#include "NetWrappers/IPWorksSSLLDAPS.h"
#include "NetWrappers/IPWorksSSLNNTPS.h"
#include "NetWrappers/IPWorksSSLPOPS.h"
#include "NetWrappers/IPWorksSSLRSSS.h"
#include "NetWrappers/IPWorksSSLSMPPS.h"
#include "NetWrappers/IPWorksSSLSMTPS.h"
#include "NetWrappers/IPWorksSSLSNPPS.h"
#include "NetWrappers/IPWorksSSLSOAPS.h"
#include "NetWrappers/IPWorksSSLTelnetS.h"
#include "NetWrappers/IPWorksSSLWebDAVS.h"
#include "NetWrappers/IPWorksSSLWebFormS.h"
#include "NetWrappers/IPWorksSSLWebUploadS.h"
#include "NetWrappers/IPWorksSSLXMPPS.h"
#include "Platform/Exception.h"

namespace {

using namespace vistel;
using namespace vistel::test;
using Bytes = std::span<const std::byte>;

// ---- shapes and absences ---------------------------------------------------------------------

template <class W>
concept HasConnected = requires(const W& w) { w.connected(); };
template <class W>
concept HasSetConnected = requires(W& w) { w.setConnected(true); };

// The five shapes of onTransfer.
static_assert(std::is_same_v<decltype(&IPWorksSSLFileMailerS::onTransfer), void (IPWorksSSLFileMailerS::*)(std::int32_t)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLSMTPS::onTransfer), void (IPWorksSSLSMTPS::*)(std::int32_t)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLSOAPS::onTransfer), void (IPWorksSSLSOAPS::*)(std::int32_t)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLFTPS::onTransfer), void (IPWorksSSLFTPS::*)(std::int32_t, Bytes)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLRSSS::onTransfer), void (IPWorksSSLRSSS::*)(std::int32_t, Bytes)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLHTTPS::onTransfer), void (IPWorksSSLHTTPS::*)(int, std::int32_t, Bytes)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLNNTPS::onTransfer), void (IPWorksSSLNNTPS::*)(std::int32_t, Bytes, bool)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLPOPS::onTransfer), void (IPWorksSSLPOPS::*)(std::int32_t, Bytes, bool)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLIMAPS::onTransfer),
                             void (IPWorksSSLIMAPS::*)(std::int32_t, const std::string&)>);
// Both onDataIn and both onDirList shapes; onPITrail carries data in the short-message family.
static_assert(std::is_same_v<decltype(&IPWorksSSLTelnetS::onDataIn), void (IPWorksSSLTelnetS::*)(Bytes)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLIPPortS::onDataIn), void (IPWorksSSLIPPortS::*)(Bytes, bool)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLFTPS::onDirList),
                             void (IPWorksSSLFTPS::*)(const std::string&, const std::string&, bool, std::int32_t,
                                                      const std::string&)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLWebDAVS::onDirList),
                             void (IPWorksSSLWebDAVS::*)(const std::string&, const std::string&, const std::string&,
                                                         const std::string&, const std::string&, const std::string&)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLSMPPS::onPITrail), void (IPWorksSSLSMPPS::*)(int, Bytes)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLSMTPS::onPITrail), void (IPWorksSSLSMTPS::*)(int, const std::string&)>);
// Written-back arguments.
static_assert(std::is_same_v<decltype(&IPWorksSSLHTTPS::onRedirect), void (IPWorksSSLHTTPS::*)(const std::string&, int&)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLXMPPS::onSubscriptionRequest),
                             void (IPWorksSSLXMPPS::*)(const std::string&, const std::string&, int&)>);
// connected: absent from the certificate manager and WebDAV, read-only in SMPP and XMPP.
static_assert(!HasConnected<IPWorksSSLCertMgr> && !HasSetConnected<IPWorksSSLCertMgr>);
static_assert(!HasConnected<IPWorksSSLWebDAVS> && !HasSetConnected<IPWorksSSLWebDAVS>);
static_assert(HasConnected<IPWorksSSLSMPPS> && !HasSetConnected<IPWorksSSLSMPPS>);
static_assert(HasConnected<IPWorksSSLXMPPS> && !HasSetConnected<IPWorksSSLXMPPS>);
static_assert(HasConnected<IPWorksSSLFTPS> && HasSetConnected<IPWorksSSLFTPS>);
// Telnet's command is an int, everyone else's a text; none can be read back.
static_assert(std::is_same_v<decltype(&IPWorksSSLTelnetS::setCommand), void (IPWorksSSLTelnetS::*)(int)>);
static_assert(std::is_same_v<decltype(&IPWorksSSLSMTPS::setCommand), void (IPWorksSSLSMTPS::*)(const std::string&)>);
template <class W>
concept HasCommand = requires(const W& w) { w.command(); };
static_assert(!HasCommand<IPWorksSSLTelnetS> && !HasCommand<IPWorksSSLSMTPS> && !HasCommand<IPWorksSSLSNPPS>);
// Other write-only and read-only members.
template <class W>
concept HasDataToSend = requires(const W& w) { w.dataToSend(); };
static_assert(!HasDataToSend<IPWorksSSLIPPortS> && !HasDataToSend<IPWorksSSLTelnetS>);
template <class W>
concept HasSetMessageId = requires(W& w) { w.setMessageId(std::string()); };
static_assert(!HasSetMessageId<IPWorksSSLSMPPS>);
template <class W>
concept HasSetXAttrName = requires(W& w) { w.setXAttrName(0, std::string()); };
static_assert(!HasSetXAttrName<IPWorksSSLSOAPS>);
template <class W>
concept HasSetBuddyId = requires(W& w) { w.setBuddyId(0, std::string()); };
static_assert(!HasSetBuddyId<IPWorksSSLXMPPS>);
template <class W>
concept HasSetPropertyStatus = requires(W& w) { w.setPropertyStatus(0, std::string()); };
static_assert(!HasSetPropertyStatus<IPWorksSSLWebDAVS>);
// Index arguments and kinds that differ from their neighbours.
static_assert(std::is_same_v<decltype(&IPWorksSSLPOPS::messageTo), std::string (IPWorksSSLPOPS::*)() const>);
static_assert(std::is_same_v<decltype(&IPWorksSSLIMAPS::messageTo), std::string (IPWorksSSLIMAPS::*)(int) const>);
static_assert(std::is_same_v<decltype(&IPWorksSSLSMPPS::recipientType), int (IPWorksSSLSMPPS::*)(int) const>);
static_assert(std::is_same_v<decltype(&IPWorksSSLXMPPS::buddySubscription), int (IPWorksSSLXMPPS::*)(int) const>);
static_assert(std::is_same_v<decltype(&IPWorksSSLWebDAVS::followRedirects), int (IPWorksSSLWebDAVS::*)() const>);
static_assert(std::is_same_v<decltype(&IPWorksSSLFTPS::startByte), std::string (IPWorksSSLFTPS::*)() const>);
static_assert(std::is_same_v<decltype(&IPWorksSSLNNTPS::currentArticle), std::string (IPWorksSSLNNTPS::*)() const>);
static_assert(std::is_same_v<decltype(&IPWorksSSLLDAPS::attrValueB), std::vector<std::byte> (IPWorksSSLLDAPS::*)(int) const>);

// ---- calls -----------------------------------------------------------------------------------

struct Step {
    const char* what;
    std::function<void()> call;
    std::vector<std::string> log;
};

class Families : public NetComponentsFixture {
protected:
    // Every Set and Do of the family succeeds and every Get answers 0, unless scripted later.
    static void acceptAll(const char* prefix)
    {
        for (int id = 1; id <= 70; ++id) {
            NetComponentsTest_AcceptSet(prefix, id);
            NetComponentsTest_AcceptDo(prefix, id);
            NetComponentsTest_AnswerGetWord(prefix, id, 0, 0);
        }
    }

    // Each step must make exactly its calls.
    static void expectSteps(const char* prefix, const std::vector<Step>& steps)
    {
        for (const Step& step : steps) {
            const std::size_t from = static_cast<std::size_t>(NetComponentsTest_CallCount());
            step.call();
            EXPECT_EQ(callLog(from), step.log) << prefix << " " << step.what;
        }
    }

    // Get of `id` answers `bytes`, and the call log a checked getter makes.
    static std::vector<std::string> getting(const char* prefix, int id, int index, const char* bytes)
    {
        NetComponentsTest_AnswerGetBytes(prefix, id, bytes, static_cast<int>(std::strlen(bytes)), 0);
        return {"Get " + std::to_string(id) + "[" + std::to_string(index) + "] len=0", "GetLastErrorCode"};
    }
};

TEST_F(Families, CertMgr)
{
    IPWorksSSLCertMgr w;
    acceptAll("CertMgr_");
    NetComponentsTest_AnswerDoBytes("CertMgr_", 19, 2, "signed", 6, 0);
    expectSteps("CertMgr_", {
        {"importSignedCSR", [&] { w.importSignedCSR(bytesOf("csr"), "x"); }, {"Do 9 n=2 'csr'/3 'x'/0 0/0"}},
        {"signCSR", [&] { EXPECT_EQ(w.signCSR(bytesOf("csr"), 2), "signed"); }, {"Do 19 n=2 'csr'/3 2/0 0/0"}},
        {"password", [&] { w.setCertStorePassword("pw"); }, {"Set 14[0] 'pw'/0"}},
        {"store", [&] { w.setCertStore(std::string("s\0t", 3)); }, {"Set 13[0] 's\\x00t'/3"}},
        {"deleteCertificate", [&] { w.deleteCertificate(); }, {"Do 4 n=0 0/0"}},
    });
}

TEST_F(Families, FileMailerS)
{
    IPWorksSSLFileMailerS w;
    acceptAll("FileMailerS_");
    const auto log = getting("FileMailerS_", 2, 3, "a.jpg");
    expectSteps("FileMailerS_", {
        {"attachments", [&] { EXPECT_EQ(w.attachments(3), "a.jpg"); }, log},
        {"setAttachments", [&] { w.setAttachments(3, "b.jpg"); }, {"Set 2[3] 'b.jpg'/0"}},
        {"setCommand", [&] { w.setCommand("NOOP"); }, {"Set 6[0] 'NOOP'/0"}},
        {"idle", [&] { w.idle(); }, {"Get 15[0] len=0", "GetLastErrorCode"}},
        {"user", [&] { w.setUser("me"); }, {"Set 42[0] 'me'/0"}},
        {"queue", [&] { w.queue("dir"); }, {"Do 8 n=1 'dir'/0 0/0"}},
    });
}

TEST_F(Families, FTPS)
{
    IPWorksSSLFTPS w;
    acceptAll("FTPS_");
    expectSteps("FTPS_", {
        {"setConnected", [&] { w.setConnected(true); }, {"Set 3[0] 1/0"}},
        {"setOverwrite", [&] { w.setOverwrite(false); }, {"Set 15[0] 0/0"}},
        {"setPassive", [&] { w.setPassive(true); }, {"Set 16[0] 1/0"}},
        {"makeDirectory", [&] { w.makeDirectory("d"); }, {"Do 12 n=1 'd'/0 0/0"}},
        {"removeDirectory", [&] { w.removeDirectory("d"); }, {"Do 13 n=1 'd'/0 0/0"}},
        {"renameFile", [&] { w.renameFile("n"); }, {"Do 14 n=1 'n'/0 0/0"}},
        {"deleteFile", [&] { w.deleteFile("f"); }, {"Do 4 n=1 'f'/0 0/0"}},
        {"startByte", [&] { w.setStartByte("10"); }, {"Set 31[0] '10'/0"}},
    });
}

TEST_F(Families, HTMLMailerS)
{
    IPWorksSSLHTMLMailerS w;
    acceptAll("HTMLMailerS_");
    expectSteps("HTMLMailerS_", {
        {"imageIds", [&] { w.setImageIds(1, "id"); }, {"Set 18[1] 'id'/0"}},
        {"images", [&] { w.setImages(2, "p.png"); }, {"Set 19[2] 'p.png'/0"}},
        {"imageTypes", [&] { w.setImageTypes(0, "image/png"); }, {"Set 20[0] 'image/png'/0"}},
        {"imageCount", [&] { w.setImageCount(3); }, {"Set 17[0] 3/0"}},
        {"parseHTML", [&] { w.setParseHTML(true); }, {"Set 31[0] 1/0"}},
        {"connected", [&] { w.setConnected(false); }, {"Set 7[0] 0/0"}},
        {"idle", [&] { w.idle(); }, {"Get 16[0] len=0", "GetLastErrorCode"}},
        {"user", [&] { w.setUser("me"); }, {"Set 49[0] 'me'/0"}},
    });
}

TEST_F(Families, HTTPS)
{
    IPWorksSSLHTTPS w;
    acceptAll("HTTPS_");
    NetComponentsTest_AnswerGetBytes("HTTPS_", 24, "p\0d", 3, 3);
    NetComponentsTest_AnswerGetBytes("HTTPS_", 44, "t\0d", 3, 3);
    expectSteps("HTTPS_", {
        {"postData", [&] { EXPECT_EQ(w.postData(), std::string("p\0d", 3)); }, {"Get 24[0] len=0", "GetLastErrorCode"}},
        {"postDataB", [&] { EXPECT_EQ(textOf(w.postDataB()), std::string("p\0d", 3)); }, {"Get 24[0] len=0"}},
        {"transferredDataB", [&] { EXPECT_EQ(textOf(w.transferredDataB()), std::string("t\0d", 3)); }, {"Get 44[0] len=0"}},
        {"addCookie", [&] { w.addCookie("n", "v"); }, {"Do 2 n=2 'n'/0 'v'/0 0/0"}},
        {"get", [&] { w.get("u"); }, {"Do 4 n=1 'u'/0 0/0"}},
        {"head", [&] { w.head("u"); }, {"Do 5 n=1 'u'/0 0/0"}},
        {"post", [&] { w.post("u"); }, {"Do 7 n=1 'u'/0 0/0"}},
        {"put", [&] { w.put("u"); }, {"Do 8 n=1 'u'/0 0/0"}},
        {"cookieValue", [&] { w.setCookieValue(2, "v"); }, {"Set 9[2] 'v'/0"}},
    });
}

TEST_F(Families, IMAPS)
{
    IPWorksSSLIMAPS w;
    acceptAll("IMAPS_");
    NetComponentsTest_AnswerDoBytes("IMAPS_", 24, 1, "date", 4, 0);
    const auto to = getting("IMAPS_", 37, 3, "to");
    expectSteps("IMAPS_", {
        {"messageTo", [&] { EXPECT_EQ(w.messageTo(3), "to"); }, to},
        {"messageSubject", [&] { w.messageSubject(); }, {"Get 35[0] len=0", "GetLastErrorCode"}},
        {"localizeDate", [&] { EXPECT_EQ(w.localizeDate("d"), "date"); }, {"Do 24 n=1 'd'/0 0/0"}},
        {"setMailboxACL", [&] { w.setMailboxACL("box", "rights"); }, {"Do 31 n=2 'box'/0 'rights'/0 0/0"}},
        {"setCommand", [&] { w.setCommand("NOOP"); }, {"Set 2[0] 'NOOP'/0"}},
    });
}

TEST_F(Families, IPPortS)
{
    IPWorksSSLIPPortS w;
    acceptAll("IPPortS_");
    NetComponentsTest_AnswerDoBytes("IPPortS_", 5, 0, "line", 4, 0);
    expectSteps("IPPortS_", {
        {"getLine", [&] { EXPECT_EQ(w.getLine(), "line"); }, {"Do 5 n=0 0/0"}},
        {"send", [&] { w.send(bytesOf("ab")); }, {"Do 6 n=1 'ab'/2 0/0"}},
        {"send empty", [&] { w.send(Bytes()); }, {"Do 6 n=1 null/0 0/0"}},
        {"sendLine", [&] { w.sendLine("hi"); }, {"Do 7 n=1 'hi'/0 0/0"}},
        {"connect", [&] { w.connect("host", 993); }, {"Do 2 n=2 'host'/0 993/0 0/0"}},
        {"setDataToSend", [&] { w.setDataToSend("abc"); }, {"Set 4[0] 'abc'/3"}},
        {"setDataToSendB", [&] { w.setDataToSendB(bytesOf("xy")); }, {"Set 4[0] 'xy'/2"}},
    });
}

TEST_F(Families, LDAPS)
{
    IPWorksSSLLDAPS w;
    acceptAll("LDAPS_");
    const auto type = getting("LDAPS_", 4, 2, "cn");
    NetComponentsTest_AnswerGetBytes("LDAPS_", 5, "v\0w", 3, 3);
    expectSteps("LDAPS_", {
        {"setAttrType", [&] { w.setAttrType(2, "cn"); }, {"Set 4[2] 'cn'/0"}},
        {"attrType", [&] { EXPECT_EQ(w.attrType(2), "cn"); }, type},
        {"attrCount", [&] { w.setAttrCount(4); }, {"Set 2[0] 4/0"}},
        {"setAttrValue", [&] { w.setAttrValue(1, "val"); }, {"Set 5[1] 'val'/3"}},
        {"setAttrValueB", [&] { w.setAttrValueB(1, bytesOf(std::string_view("v\0w", 3))); }, {"Set 5[1] 'v\\x00w'/3"}},
        {"attrValueB", [&] { EXPECT_EQ(textOf(w.attrValueB(6)), std::string("v\0w", 3)); }, {"Get 5[6] len=0"}},
        {"abandon", [&] { w.abandon(-3); }, {"Do 2 n=1 -3/0 0/0"}},
        {"extendedRequest", [&] { w.extendedRequest("oid", bytesOf("xy")); }, {"Do 8 n=2 'oid'/0 'xy'/2 0/0"}},
        {"delete", [&] { w.delete_(); }, {"Do 6 n=0 0/0"}},
    });
}

TEST_F(Families, NNTPS)
{
    IPWorksSSLNNTPS w;
    acceptAll("NNTPS_");
    NetComponentsTest_AnswerDoBytes("NNTPS_", 13, 1, "date", 4, 0);
    expectSteps("NNTPS_", {
        {"localizeDate", [&] { EXPECT_EQ(w.localizeDate("d"), "date"); }, {"Do 13 n=1 'd'/0 0/0"}},
        {"setCommand", [&] { w.setCommand("LIST"); }, {"Set 12[0] 'LIST'/0"}},
        {"currentArticle", [&] { w.setCurrentArticle("12"); }, {"Set 14[0] '12'/0"}},
    });
}

TEST_F(Families, POPS)
{
    IPWorksSSLPOPS w;
    acceptAll("POPS_");
    NetComponentsTest_AnswerDoBytes("POPS_", 9, 1, "date", 4, 0);
    const auto to = getting("POPS_", 26, 0, "to");
    expectSteps("POPS_", {
        {"messageTo", [&] { EXPECT_EQ(w.messageTo(), "to"); }, to},
        {"localizeDate", [&] { EXPECT_EQ(w.localizeDate("d"), "date"); }, {"Do 9 n=1 'd'/0 0/0"}},
        {"setCommand", [&] { w.setCommand("STAT"); }, {"Set 2[0] 'STAT'/0"}},
    });
}

TEST_F(Families, RSSS)
{
    IPWorksSSLRSSS w;
    acceptAll("RSSS_");
    NetComponentsTest_AnswerDoBytes("RSSS_", 5, 1, "value", 5, 0);
    const auto title = getting("RSSS_", 37, 3, "title");
    expectSteps("RSSS_", {
        {"itemTitle", [&] { EXPECT_EQ(w.itemTitle(3), "title"); }, title},
        {"setItemTitle", [&] { w.setItemTitle(3, "t"); }, {"Set 37[3] 't'/0"}},
        {"itemCount", [&] { w.itemCount(); }, {"Get 30[0] len=0", "GetLastErrorCode"}},
        {"addItem", [&] { w.addItem("a", "b", "c"); }, {"Do 2 n=3 'a'/0 'b'/0 'c'/0 0/0"}},
        {"getProperty", [&] { EXPECT_EQ(w.getProperty("p"), "value"); }, {"Do 5 n=1 'p'/0 0/0"}},
        {"setProperty", [&] { w.setProperty("p", "v"); }, {"Do 10 n=2 'p'/0 'v'/0 0/0"}},
        {"setSSLCertStore", [&] { w.setSSLCertStore("store"); }, {"Set 46[0] 'store'/5"}},
        {"setSSLCertStoreB", [&] { w.setSSLCertStoreB(bytesOf("st")); }, {"Set 46[0] 'st'/2"}},
    });
    NetComponentsTest_FailNext(3, "no store");
    EXPECT_TRUE(w.SSLCertStoreB().empty());
    NetComponentsTest_FailNext(3, "no store");
    EXPECT_THROW(w.SSLCertStore(), Exception);
}

TEST_F(Families, SMPPS)
{
    IPWorksSSLSMPPS w;
    acceptAll("SMPPS_");
    NetComponentsTest_AnswerDoBytes("SMPPS_", 9, 2, "ok\0more!", 8, 7);
    NetComponentsTest_AnswerDoBytes("SMPPS_", 10, 1, "id\0x", 4, 4);
    NetComponentsTest_AnswerGetWord("SMPPS_", 14, -2, 0);
    expectSteps("SMPPS_", {
        {"sendCommand", [&] { EXPECT_EQ(w.sendCommand(5, bytesOf("abcd")), std::string("ok\0more", 7)); },
         {"Do 9 n=2 5/0 'abcd'/4 0/0"}},
        {"sendData", [&] { EXPECT_EQ(w.sendData(bytesOf("ab")), "id"); }, {"Do 10 n=1 'ab'/2 0/0"}},
        {"addRecipient", [&] { w.addRecipient(1, "555"); }, {"Do 2 n=2 1/0 '555'/0 0/0"}},
        {"recipientType", [&] { EXPECT_EQ(w.recipientType(2), -2); }, {"Get 14[2] len=0", "GetLastErrorCode"}},
        {"setRecipientType", [&] { w.setRecipientType(2, 1); }, {"Set 14[2] 1/0"}},
        {"recipientCount", [&] { w.setRecipientCount(0); }, {"Set 13[0] 0/0"}},
    });
}

TEST_F(Families, SMTPS)
{
    IPWorksSSLSMTPS w;
    acceptAll("SMTPS_");
    NetComponentsTest_AnswerDoBytes("SMTPS_", 8, 1, "queued", 6, 0);
    NetComponentsTest_AnswerGetWord("SMTPS_", 1, 0x100, 0);
    expectSteps("SMTPS_", {
        {"setCommand", [&] { w.setCommand("NOOP"); }, {"Set 6[0] 'NOOP'/0"}},
        {"queue", [&] { EXPECT_EQ(w.queue("dir"), "queued"); }, {"Do 8 n=1 'dir'/0 0/0"}},
        {"processQueue", [&] { w.processQueue("dir"); }, {"Do 7 n=1 'dir'/0 0/0"}},
        {"expand", [&] { w.expand("a"); }, {"Do 5 n=1 'a'/0 0/0"}},
        {"verify", [&] { w.verify("a"); }, {"Do 14 n=1 'a'/0 0/0"}},
        {"send", [&] { w.send(); }, {"Do 10 n=0 0/0"}},
        {"connect", [&] { w.connect(); }, {"Do 2 n=0 0/0"}},
        {"setAllowExtensions", [&] { w.setAllowExtensions(true); }, {"Set 1[0] 1/0"}},
        {"allowExtensions", [&] { EXPECT_TRUE(w.allowExtensions()); }, {"Get 1[0] len=0", "GetLastErrorCode"}},
    });
}

TEST_F(Families, SNPPS)
{
    IPWorksSSLSNPPS w;
    acceptAll("SNPPS_");
    NetComponentsTest_AnswerGetWord("SNPPS_", 15, 444, 0);
    expectSteps("SNPPS_", {
        {"setCommand", [&] { w.setCommand("HELP"); }, {"Set 2[0] 'HELP'/0"}},
        {"send", [&] { w.send(); }, {"Do 7 n=0 0/0"}},
        {"reset", [&] { w.reset(); }, {"Do 6 n=0 0/0"}},
        {"serverPort", [&] { EXPECT_EQ(w.serverPort(), 444); }, {"Get 15[0] len=0", "GetLastErrorCode"}},
        {"setServerPort", [&] { w.setServerPort(444); }, {"Set 15[0] 444/0"}},
    });
}

TEST_F(Families, SOAPS)
{
    IPWorksSSLSOAPS w;
    acceptAll("SOAPS_");
    NetComponentsTest_AnswerDoBytes("SOAPS_", 12, 1, "v", 1, 0);
    const auto name = getting("SOAPS_", 55, 2, "attr");
    expectSteps("SOAPS_", {
        {"otherHeaders", [&] { w.setOtherHeaders("X: 1"); }, {"Set 19[0] 'X: 1'/0"}},
        {"idle", [&] { w.idle(); }, {"Get 20[0] len=0", "GetLastErrorCode"}},
        {"localHost", [&] { w.setLocalHost("h"); }, {"Set 21[0] 'h'/0"}},
        {"namespaces", [&] { w.setNamespaces(0, "ns"); }, {"Set 25[0] 'ns'/0"}},
        {"value", [&] { EXPECT_EQ(w.value("p"), "v"); }, {"Do 12 n=1 'p'/0 0/0"}},
        {"addParam", [&] { w.addParam("n", "v"); }, {"Do 4 n=2 'n'/0 'v'/0 0/0"}},
        {"XAttrName", [&] { EXPECT_EQ(w.XAttrName(2), "attr"); }, name},
        {"XAttrCount", [&] { w.XAttrCount(); }, {"Get 54[0] len=0", "GetLastErrorCode"}},
        {"setParamValue", [&] { w.setParamValue(1, "x"); }, {"Set 29[1] 'x'/0"}},
    });
}

TEST_F(Families, TelnetS)
{
    IPWorksSSLTelnetS w;
    acceptAll("TelnetS_");
    expectSteps("TelnetS_", {
        {"setDoSubOption", [&] { w.setDoSubOption(std::string("s\0o", 3)); }, {"Set 8[0] 's\\x00o'/3"}},
        {"setDoSubOptionB", [&] { w.setDoSubOptionB(bytesOf("so")); }, {"Set 8[0] 'so'/2"}},
        {"setDataToSend", [&] { w.setDataToSend("d"); }, {"Set 5[0] 'd'/1"}},
        {"setUrgentDataB", [&] { w.setUrgentDataB(bytesOf("u")); }, {"Set 31[0] 'u'/1"}},
        {"setCommand", [&] { w.setCommand(244); }, {"Set 3[0] 244/0"}},
        {"send", [&] { w.send(bytesOf("ls")); }, {"Do 5 n=1 'ls'/2 0/0"}},
        {"connect", [&] { w.connect("host"); }, {"Do 2 n=1 'host'/0 0/0"}},
        {"disconnect", [&] { w.disconnect(); }, {"Do 3 n=0 0/0"}},
        {"doEvents", [&] { w.doEvents(); }, {"Do 4 n=0 0/0"}},
        {"setTransparent", [&] { w.setTransparent(true); }, {"Set 30[0] 1/0"}},
    });
}

TEST_F(Families, WebDAVS)
{
    IPWorksSSLWebDAVS w;
    acceptAll("WebDAVS_");
    NetComponentsTest_AnswerDoBytes("WebDAVS_", 9, 1, "prop", 4, 0);
    const auto cookie = getting("WebDAVS_", 4, 2, "c");
    expectSteps("WebDAVS_", {
        {"cookieName", [&] { EXPECT_EQ(w.cookieName(2), "c"); }, cookie},
        {"setPropertyOperation", [&] { w.setPropertyOperation(1, 2); }, {"Set 27[1] 2/0"}},
        {"propertyStatus", [&] { w.propertyStatus(0); }, {"Get 28[0] len=0", "GetLastErrorCode"}},
        {"getProperty", [&] { EXPECT_EQ(w.getProperty("p"), "prop"); }, {"Do 9 n=1 'p'/0 0/0"}},
        {"postToResource", [&] { w.postToResource("r", bytesOf("body")); }, {"Do 17 n=2 'r'/0 'body'/4 0/0"}},
        {"copyResource", [&] { w.copyResource("a", "b"); }, {"Do 4 n=2 'a'/0 'b'/0 0/0"}},
        {"setProperty", [&] { w.setProperty("p", "v"); }, {"Do 20 n=2 'p'/0 'v'/0 0/0"}},
    });
    NetComponentsTest_FailNext(2, "gone");
    EXPECT_THROW(w.getProperty("p"), Exception);
}

TEST_F(Families, WebFormS)
{
    IPWorksSSLWebFormS w;
    acceptAll("WebFormS_");
    const auto names = getting("WebFormS_", 17, 3, "field");
    expectSteps("WebFormS_", {
        {"formVarNames", [&] { EXPECT_EQ(w.formVarNames(3), "field"); }, names},
        {"setFormVarValues", [&] { w.setFormVarValues(0, "v"); }, {"Set 18[0] 'v'/0"}},
        {"addFormVar", [&] { w.addFormVar("n", "v"); }, {"Do 3 n=2 'n'/0 'v'/0 0/0"}},
        {"submitTo", [&] { w.submitTo("u"); }, {"Do 8 n=1 'u'/0 0/0"}},
        {"submit", [&] { w.submit(); }, {"Do 7 n=0 0/0"}},
    });
}

TEST_F(Families, WebUploadS)
{
    IPWorksSSLWebUploadS w;
    acceptAll("WebUploadS_");
    const auto names = getting("WebUploadS_", 9, 1, "f.jpg");
    expectSteps("WebUploadS_", {
        {"fileNames", [&] { EXPECT_EQ(w.fileNames(1), "f.jpg"); }, names},
        {"setFileVarNames", [&] { w.setFileVarNames(1, "v"); }, {"Set 10[1] 'v'/0"}},
        {"addFileVar", [&] { w.addFileVar("n", "f"); }, {"Do 3 n=2 'n'/0 'f'/0 0/0"}},
        {"uploadTo", [&] { w.uploadTo("u"); }, {"Do 9 n=1 'u'/0 0/0"}},
        {"upload", [&] { w.upload(); }, {"Do 8 n=0 0/0"}},
    });
}

TEST_F(Families, XMPPS)
{
    IPWorksSSLXMPPS w;
    acceptAll("XMPPS_");
    NetComponentsTest_AnswerGetWord("XMPPS_", 4, 3, 0);
    expectSteps("XMPPS_", {
        {"buddySubscription", [&] { EXPECT_EQ(w.buddySubscription(2), 3); }, {"Get 4[2] len=0", "GetLastErrorCode"}},
        {"buddyId", [&] { w.buddyId(0); }, {"Get 3[0] len=0", "GetLastErrorCode"}},
        {"setBuddyGroup", [&] { w.setBuddyGroup(0, "g"); }, {"Set 2[0] 'g'/0"}},
        {"changePresence", [&] { w.changePresence(2, "away"); }, {"Do 4 n=2 2/0 'away'/0 0/0"}},
        {"add", [&] { w.add("a", "b", "c"); }, {"Do 2 n=3 'a'/0 'b'/0 'c'/0 0/0"}},
        {"connect", [&] { w.connect("u", "p"); }, {"Do 5 n=2 'u'/0 'p'/0 0/0"}},
        {"setUserInfoField", [&] { w.setUserInfoField("f", "v"); }, {"Do 15 n=2 'f'/0 'v'/0 0/0"}},
        {"retrieveRoster", [&] { w.retrieveRoster(); }, {"Do 12 n=0 0/0"}},
    });
}

// ---- events ----------------------------------------------------------------------------------

// Each probe writes 1 through its family's written-back argument.
template <class W>
struct AcceptsServer : W {
    void onSSLServerAuthentication(Bytes, const std::string&, const std::string&, const std::string&, int& accept) override
    {
        accept = 1;
    }
};
template <class W>
struct FollowsRedirect : W {
    void onRedirect(const std::string&, int& accept) override { accept = 1; }
};
struct NextPage : IPWorksSSLLDAPS {
    void onSearchPage(int, const std::string&, int, const std::string&, int& more) override { more = 1; }
};
struct AcceptsSubscription : IPWorksSSLXMPPS {
    void onSubscriptionRequest(const std::string&, const std::string&, int& accept) override { accept = 1; }
};

// Fires `event` at a new Probe with all-zero slots: only `slot` changes, to 1.
template <class Probe>
void expectWrittenBack(const char* prefix, int event, int slot)
{
    Probe probe;
    std::array<void*, 8> slots{};
    std::array<int, 8> lengths{};
    NetComponentsTest_FireEvent(NetComponentsTest_LastCreated(prefix), event, 6, slots.data(), lengths.data());
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(slots[static_cast<std::size_t>(i)], wordOf(i == slot ? 1 : 0)) << prefix << " event " << event << " slot " << i;
}

TEST_F(Families, EveryWrittenBackSlotReachesTheComponent)
{
    expectWrittenBack<AcceptsServer<IPWorksSSLFileMailerS>>("FileMailerS_", 5, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLFTPS>>("FTPS_", 6, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLHTMLMailerS>>("HTMLMailerS_", 5, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLHTTPS>>("HTTPS_", 9, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLIMAPS>>("IMAPS_", 9, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLIPPortS>>("IPPortS_", 7, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLLDAPS>>("LDAPS_", 10, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLNNTPS>>("NNTPS_", 9, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLPOPS>>("POPS_", 7, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLRSSS>>("RSSS_", 9, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLSMPPS>>("SMPPS_", 6, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLSMTPS>>("SMTPS_", 6, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLSNPPS>>("SNPPS_", 4, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLSOAPS>>("SOAPS_", 9, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLTelnetS>>("TelnetS_", 10, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLWebDAVS>>("WebDAVS_", 11, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLWebFormS>>("WebFormS_", 9, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLWebUploadS>>("WebUploadS_", 9, 4);
    expectWrittenBack<AcceptsServer<IPWorksSSLXMPPS>>("XMPPS_", 10, 4);
    expectWrittenBack<FollowsRedirect<IPWorksSSLHTTPS>>("HTTPS_", 7, 1);
    expectWrittenBack<FollowsRedirect<IPWorksSSLRSSS>>("RSSS_", 7, 1);
    expectWrittenBack<FollowsRedirect<IPWorksSSLSOAPS>>("SOAPS_", 7, 1);
    expectWrittenBack<FollowsRedirect<IPWorksSSLWebDAVS>>("WebDAVS_", 8, 1);
    expectWrittenBack<FollowsRedirect<IPWorksSSLWebFormS>>("WebFormS_", 7, 1);
    expectWrittenBack<FollowsRedirect<IPWorksSSLWebUploadS>>("WebUploadS_", 7, 1);
    expectWrittenBack<NextPage>("LDAPS_", 8, 4);
    expectWrittenBack<AcceptsSubscription>("XMPPS_", 12, 2);
}

// Event data is a view of the component's buffer, not a copy.
struct FtpTransfer : IPWorksSSLFTPS {
    void onTransfer(std::int32_t count, Bytes data) override
    {
        bytes = count;
        view = data;
    }
    std::int32_t bytes = 0;
    Bytes view;
};

struct TelnetData : IPWorksSSLTelnetS {
    void onDataIn(Bytes data) override { view = data; }
    void onCommand(int command) override { this->command = command; }
    Bytes view;
    int command = 0;
};

struct SmppTrail : IPWorksSSLSMPPS {
    void onPITrail(int direction, Bytes message) override
    {
        this->direction = direction;
        text = {reinterpret_cast<const char*>(message.data()), message.size()};
    }
    int direction = 0;
    std::string text;
};

struct PortData : IPWorksSSLIPPortS {
    void onDataIn(Bytes data, bool endOfLine) override
    {
        size = data.size();
        eol = endOfLine;
    }
    std::size_t size = 0;
    bool eol = false;
};

TEST_F(Families, EventDataIsAViewOfTheSlotWithItsLength)
{
    const char buffer[] = "abcdef";
    {
        FtpTransfer ftp;
        std::array<void*, 2> slots{wordOf(static_cast<std::intptr_t>(0x1234567800000000LL) | 0xfffffffb),
                                   const_cast<char*>(buffer)};
        std::array<int, 2> lengths{0, 4};
        NetComponentsTest_FireEvent(NetComponentsTest_LastCreated("FTPS_"), 9, 2, slots.data(), lengths.data());
        EXPECT_EQ(ftp.bytes, -5);
        EXPECT_EQ(static_cast<const void*>(ftp.view.data()), buffer);
        EXPECT_EQ(ftp.view.size(), 4u);
    }
    {
        TelnetData telnet;
        std::array<void*, 1> slots{const_cast<char*>(buffer)};
        std::array<int, 1> lengths{6};
        void* handle = NetComponentsTest_LastCreated("TelnetS_");
        NetComponentsTest_FireEvent(handle, 4, 1, slots.data(), lengths.data());
        EXPECT_EQ(static_cast<const void*>(telnet.view.data()), buffer);
        EXPECT_EQ(telnet.view.size(), 6u);
        slots[0] = wordOf(253);
        NetComponentsTest_FireEvent(handle, 1, 1, slots.data(), lengths.data());
        EXPECT_EQ(telnet.command, 253);
    }
    {
        SmppTrail smpp;
        std::array<void*, 2> slots{wordOf(1), const_cast<char*>("pdu\0x")};
        std::array<int, 2> lengths{0, 5};
        NetComponentsTest_FireEvent(NetComponentsTest_LastCreated("SMPPS_"), 5, 2, slots.data(), lengths.data());
        EXPECT_EQ(smpp.direction, 1);
        EXPECT_EQ(smpp.text, std::string("pdu\0x", 5));
    }
    {
        PortData port;
        std::array<void*, 2> slots{const_cast<char*>(buffer), wordOf(7)};
        std::array<int, 2> lengths{2, 0};
        NetComponentsTest_FireEvent(NetComponentsTest_LastCreated("IPPortS_"), 3, 2, slots.data(), lengths.data());
        EXPECT_EQ(port.size, 2u);
        EXPECT_TRUE(port.eol);
    }
}

} // namespace
