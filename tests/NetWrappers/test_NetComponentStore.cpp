// The component library's own property store, through the wrappers of a few families: values
// by kind, refusals with their texts, lists sized by their counts, `config:`, and methods that
// nothing in this build performs.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "NetComponentsRecorder.h"
#include "NetWrappers/IPWorksSSLFTPS.h"
#include "NetWrappers/IPWorksSSLHTTPS.h"
#include "NetWrappers/IPWorksSSLPOPS.h"
#include "NetWrappers/IPWorksSSLSMPPS.h"
#include "NetWrappers/IPWorksSSLWebUploadS.h"
#include "NetWrappers/NetComponentEntryPoints.h"
#include "Platform/Exception.h"

namespace {

using namespace vistel;
using namespace vistel::test;

// The reason of the exception `call` raises, or "no exception".
std::string raised(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), e.reason());
        return e.reason();
    }
    return "no exception";
}

class Store : public NetComponentsFixture {
protected:
    IPWorksSSLHTTPS http;
    IPWorksSSLFTPS ftp;
    IPWorksSSLSMPPS smpp;
    IPWorksSSLWebUploadS upload;
    IPWorksSSLPOPS pop;
};

TEST_F(Store, ValuesComeBackByKind)
{
    const std::string withNuls("a\0b\0\0c", 6);
    http.setPostData(withNuls);
    EXPECT_EQ(http.postData(), withNuls);
    EXPECT_EQ(textOf(http.postDataB()), withNuls);
    http.setSSLAcceptServerCertB(bytesOf(withNuls));
    EXPECT_EQ(http.SSLAcceptServerCert(), withNuls);
    http.setURL("http://127.0.0.1/a b");
    EXPECT_EQ(http.URL(), "http://127.0.0.1/a b");
    http.setTimeout(-5);
    EXPECT_EQ(http.timeout(), -5);
    ftp.setPassive(true);
    EXPECT_TRUE(ftp.passive());
    ftp.setPassive(false);
    EXPECT_FALSE(ftp.passive());

    // Any non-zero word is true and reads back as 1.
    void* handle = NetComponentsTest_LastCreated("FTPS_");
    ASSERT_EQ(FTPS_Set(handle, 16, 0, wordOf(7), 0), 0);
    int length = 0;
    EXPECT_EQ(FTPS_Get(handle, 16, 0, &length), wordOf(1));
    // A plain text stops at its NUL.
    char text[] = "host\0tail";
    ASSERT_EQ(FTPS_Set(handle, 6, 0, text, 9), 0);
    EXPECT_EQ(ftp.firewallHost(), "host");
}

TEST_F(Store, RefusalsRaiseTheirTextsAndLeaveTheComponentUsable)
{
    void* handle = NetComponentsTest_LastCreated("SMPPS_");
    void* ftpHandle = NetComponentsTest_LastCreated("FTPS_");
    const struct {
        const char* what;
        std::function<void()> call;
        int code;
        std::string text;
    } cases[] = {
        {"read-only", [&] { ASSERT_NE(SMPPS_Set(handle, 8, 0, const_cast<char*>("id"), 0), 0); },
         NetComponentsTest_ReadOnly, "'messageId' is read-only."},
        {"write-only", [&] { int length = 0; FTPS_Get(ftpHandle, 2, 0, &length); }, NetComponentsTest_WriteOnly,
         "'setCommand:' is write-only."},
        {"index past the count", [&] { smpp.setRecipientAddress(0, "a"); }, NetComponentsTest_BadIndex,
         "Index 0 is out of range for 'recipientAddress:' (0 entries)."},
        {"negative index", [&] { smpp.recipientType(-1); }, NetComponentsTest_BadIndex,
         "Index -1 is out of range for 'recipientType:' (0 entries)."},
        {"negative count", [&] { smpp.setRecipientCount(-1); }, NetComponentsTest_BadCount,
         "'setRecipientCount:' cannot be negative."},
        {"action with nothing behind it", [&] { ftp.setConnected(true); }, NetComponentsTest_NotSupported,
         "'setConnected:' is not supported by this build"},
        {"method with nothing behind it", [&] { pop.retrieve(); }, NetComponentsTest_NotSupported,
         "'retrieve' is not supported by this build"},
    };
    for (const auto& c : cases) {
        const std::string text = raised(c.call);
        if (text != "no exception")
            EXPECT_EQ(text, c.text) << c.what;
        else if (c.code == NetComponentsTest_WriteOnly) // the raw calls do not raise
            EXPECT_STREQ(FTPS_GetLastError(ftpHandle), c.text.c_str()) << c.what;
        else
            EXPECT_STREQ(SMPPS_GetLastError(handle), c.text.c_str()) << c.what;
    }
    EXPECT_EQ(smpp.lastErrorCode(), NetComponentsTest_BadCount);
    // Each call starts clean: a getter after a failure answers.
    EXPECT_EQ(smpp.recipientCount(), 0);
    EXPECT_EQ(smpp.lastErrorCode(), 0);
    EXPECT_EQ(pop.lastErrorCode(), NetComponentsTest_NotSupported);
    EXPECT_EQ(pop.user(), "");
}

TEST_F(Store, CountsSizeTheirListsAndAddMethodsAppend)
{
    upload.setFormVarCount(2);
    upload.setFormVarNames(1, "second");
    upload.setFormVarValues(0, "v\xc3\xa4");
    EXPECT_EQ(upload.formVarNames(0), "");
    EXPECT_EQ(upload.formVarValues(0), "v\xc3\xa4");
    upload.addFormVar("third", "3");
    EXPECT_EQ(upload.formVarCount(), 3);
    EXPECT_EQ(upload.formVarNames(2), "third");
    EXPECT_EQ(upload.formVarValues(2), "3");
    // A smaller count drops the tail; growing again gives empty entries.
    upload.setFormVarCount(1);
    upload.setFormVarCount(2);
    EXPECT_EQ(upload.formVarValues(0), "v\xc3\xa4");
    EXPECT_EQ(upload.formVarNames(1), "");
    // The argument order of an add method is its own: addFileVar takes the variable first.
    upload.addFileVar("picture", "/tmp/p.jpg");
    EXPECT_EQ(upload.fileVarNames(0), "picture");
    EXPECT_EQ(upload.fileNames(0), "/tmp/p.jpg");
    // Lists of other families and of the same family stay apart.
    EXPECT_EQ(upload.cookieCount(), 0);
    smpp.addRecipient(2, "+41");
    EXPECT_EQ(smpp.recipientCount(), 1);
    EXPECT_EQ(smpp.recipientType(0), 2);
    EXPECT_EQ(smpp.recipientAddress(0), "+41");
}

TEST_F(Store, ConfigStoresAndAnswersSettings)
{
    EXPECT_EQ(pop.config("MaxLineLength=2048"), "");
    EXPECT_EQ(pop.config("MaxLineLength"), "2048");
    EXPECT_EQ(pop.config("Other"), "");
    EXPECT_EQ(pop.config("Spaced Key=a=b"), "");
    EXPECT_EQ(pop.config("Spaced Key"), "a=b");
    EXPECT_EQ(raised([&] { pop.retrieve(); }), "'retrieve' is not supported by this build");
    // Settings are the component's own.
    IPWorksSSLPOPS other;
    EXPECT_EQ(other.config("MaxLineLength"), "");
}

} // namespace
