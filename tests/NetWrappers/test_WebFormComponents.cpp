// Form submission and file upload (IPWorksSSLWebFormS, IPWorksSSLWebUploadS) against the
// loopback server, which parses what arrives: fields exactly as given in both encodings, files
// byte for byte, upload progress in percent.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "NetComponentsRecorder.h"
#include "NetWrappers/IPWorksSSLWebFormS.h"
#include "NetWrappers/IPWorksSSLWebUploadS.h"
#include "Platform/Exception.h"

namespace {

using namespace vistel;
using namespace vistel::test;

const HttpHeaders kFields{
    {"plain", "value"},
    {"with space", "a b  c"},
    {"and&equals=", "x=1&y=2"},
    {"caf\xc3\xa9", "\xe5\x86\x99\xe7\x9c\x9f \xf0\x9f\x93\xb7"},
    {"empty", ""},
    {"percent%", "100% +plus"},
};

TEST(WebFormComponent, FieldsArriveExactlyInBothEncodings)
{
    LoopbackServer server;
    server.route("/form", {200, "OK", {}, "thanks"});
    for (const int encoding : {int(NetComponentsTest_EncodingUrl), int(NetComponentsTest_EncodingMultipart)}) {
        IPWorksSSLWebFormS form;
        form.setEncoding(encoding);
        for (const auto& [name, value] : kFields)
            form.addFormVar(name, value);
        form.setURL(server.url("/form"));
        form.submit();
        EXPECT_EQ(form.transferredData(), "thanks");
    }
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(parseUrlEncoded(requests[0].body), kFields);
    EXPECT_EQ(requests[1].header("Content-Type").rfind("multipart/form-data; boundary=", 0), 0u);
    HttpHeaders parts;
    for (const FormPart& part : parseMultipart(requests[1]))
        parts.emplace_back(part.name, part.data);
    EXPECT_EQ(parts, kFields);
}

TEST(WebFormComponent, SubmitToSendsElsewhereAndResetForgetsTheFields)
{
    LoopbackServer server;
    server.route("/other", {200, "OK", {}, ""});
    IPWorksSSLWebFormS form;
    form.addFormVar("a", "1");
    form.addCookie("c", "2");
    form.submitTo(server.url("/other"));
    form.reset();
    EXPECT_EQ(form.formVarCount(), 0);
    EXPECT_EQ(form.cookieCount(), 0);
    form.submitTo(server.url("/other"));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].body, "a=1");
    EXPECT_EQ(requests[0].header("Cookie"), "c=2");
    EXPECT_EQ(requests[1].body, "");
    EXPECT_EQ(requests[1].header("Cookie"), "");
}

TEST(WebFormComponent, UnknownEncodingIsRefused)
{
    LoopbackServer server;
    IPWorksSSLWebFormS form;
    form.setEncoding(5);
    try {
        form.submitTo(server.url("/form"));
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.reason(), "'setEncoding:' takes 0 or 1, not 5.");
    }
    EXPECT_EQ(form.lastErrorCode(), NetComponentsTest_BadValue);
    EXPECT_TRUE(server.requests().empty());
}

class Uploader : public IPWorksSSLWebUploadS {
public:
    void onUploadProgress(int percent) override { progress.push_back(percent); }
    std::vector<int> progress;
};

TEST(WebUploadComponent, FilesAndFieldsArriveByteForByte)
{
    char pattern[] = "/tmp/vistel-upload-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    std::string big(1 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i % 5 == 0 ? 0 : (i * 13) % 256);
    std::ofstream(folder + "/big.bin", std::ios::binary) << big;
    std::ofstream(folder + "/empty.txt", std::ios::binary);

    LoopbackServer server;
    server.route("/upload", {200, "OK", {}, "stored"});
    Uploader upload;
    upload.addFormVar("title", "Holiday & more = fun \xc3\xa9");
    upload.addFileVar("picture", folder + "/big.bin");
    upload.addFileVar("notes", folder + "/empty.txt");
    upload.setURL(server.url("/upload"));
    upload.upload();
    EXPECT_EQ(upload.transferredData(), "stored");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto parts = parseMultipart(requests[0]);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].name, "title");
    EXPECT_EQ(parts[0].data, "Holiday & more = fun \xc3\xa9");
    EXPECT_EQ(parts[1].name, "picture");
    EXPECT_EQ(parts[1].fileName, "big.bin");
    EXPECT_TRUE(parts[1].data == big) << "the uploaded file differs";
    EXPECT_EQ(parts[2].name, "notes");
    EXPECT_EQ(parts[2].fileName, "empty.txt");
    EXPECT_EQ(parts[2].data, "");
    ASSERT_FALSE(upload.progress.empty());
    EXPECT_EQ(upload.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(upload.progress.begin(), upload.progress.end()));

    // A file that cannot be read fails before anything is sent.
    upload.setFileNames(1, folder + "/missing.bin");
    try {
        upload.uploadTo(server.url("/upload"));
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.reason(), "Cannot read '" + folder + "/missing.bin': No such file or directory");
    }
    EXPECT_EQ(server.requests().size(), 1u);
    runCommand("rm -rf '" + folder + "'");
}

} // namespace
