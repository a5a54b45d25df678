// The WinInet transfer layer on the wire: http_client.exe drives net/ under
// Wine against the scriptable server, and both ends are checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/support/file_bytes.h"
#include "tests/support/named_param.h"
#include "tests/support/nginx_server.h"
#include "tests/support/probe_client.h"
#include "tests/support/test_http_server.h"
#include "tests/support/wine_runner.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// One line of http_client.exe's output.
struct Fetch {
    std::string object;
    bool sent = false;
    unsigned long errorCode = 0;
    std::string errorText;  // bytes in the ANSI code page
    long sendMs = -1;
    std::string status, reason, length, encoding, body;  // length: every header, "|" between
    bool readFailed = false;
    int reads = 0, largestRead = 0;
    bool cachedAtOpen = false;  // a WinInet cache entry for the object right after openGet
    bool cachedWhileOpen = false;  // ... once the body was read
    bool cached = false;        // ... after the request was closed
    long ms = 0;                // from the open to the end of the body
};

std::vector<Fetch> parseClientOutput(const std::string& text) {
    std::vector<Fetch> fetches;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const ProbeReply r = parseProbeReply(line);
        if (r.status != "fetch") continue;
        Fetch& f = fetches.emplace_back();
        f.object = r.text("object");
        f.sent = r.number("sent") == 1;
        f.errorCode = static_cast<unsigned long>(r.number("error", 0));
        f.errorText = r.text("error_text");
        f.sendMs = r.number("send_ms");
        f.status = r.value("status");
        f.reason = r.text("reason");
        f.length = r.text("length");
        f.encoding = r.text("encoding");
        f.readFailed = !r.value("read_error").empty();
        f.reads = r.number("reads", 0);
        f.largestRead = r.number("largest", 0);
        f.body = r.text("body");
        f.cachedAtOpen = r.number("cached_at_open") == 1;
        f.cachedWhileOpen = r.number("cached_while_open") == 1;
        f.cached = r.number("cached") == 1;
        f.ms = r.number("ms", 0);
    }
    return fetches;
}

class HttpTransferTest : public ::testing::Test {
protected:
    HttpTransferTest() { writeFile("kelmor/update.ini", "[kelmor]\r\nVERSION=1.27\r\n"); }

    void writeFile(const std::string& relative, const std::string& content) {
        writeFileBytes(root.pathOf("www/" + relative), content);
    }

    std::vector<Fetch> fetch(std::uint16_t port, const std::vector<std::string>& objects,
                             std::vector<std::string> args = {}) {
        const std::string output = root.pathOf("client.txt");
        fs::remove(output);
        args.insert(args.end(), {toWindowsPath(output), "127.0.0.1", std::to_string(port)});
        args.insert(args.end(), objects.begin(), objects.end());
        ChildResult run = runWine(windowsTestBinDir() + "/http_client.exe", args, root.path(), 120s);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        const std::string text = readFileBytes(output);
        auto fetches = parseClientOutput(text);
        EXPECT_EQ(fetches.size(), objects.size()) << text;
        return fetches;
    }
    std::vector<Fetch> fetch(const std::vector<std::string>& objects) { return fetch(server.port(), objects); }

    ScratchDir root{"http-transfer-test"};
    TestHttpServer server{root.pathOf("www")};
};

TEST_F(HttpTransferTest, SendsAPlainHttp10GetWithTheAgentNameAndThePathAlone) {
    auto fetches = fetch({"/kelmor/update.ini"});
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_TRUE(fetches[0].sent);
    EXPECT_EQ(fetches[0].status, "200");
    EXPECT_EQ(fetches[0].reason, "OK");
    EXPECT_EQ(fetches[0].length, "24");
    EXPECT_EQ(fetches[0].body, "[kelmor]\r\nVERSION=1.27\r\n");

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const RecordedRequest& request = requests[0];
    EXPECT_EQ(request.requestLine, "GET /kelmor/update.ini HTTP/1.0");
    EXPECT_EQ(request.header("User-Agent"), "Update");
    // The non-default port travels only in Host; the request names the path alone.
    EXPECT_EQ(request.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
    for (const auto& [name, value] : request.headers) RecordProperty("header " + name, value);
}

TEST_F(HttpTransferTest, ARedirectIsReturnedWithItsBodyAndNotFollowed) {
    ScriptedAnswer moved;
    moved.status = 302;
    moved.reason = "Found";
    moved.body = "<a href=\"/elsewhere\">moved</a>";
    moved.headers = {{"Location", "http://127.0.0.1:" + std::to_string(server.port()) + "/elsewhere"}};
    server.script("/kelmor/update.ini", moved);

    auto fetches = fetch({"/kelmor/update.ini"});
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_EQ(fetches[0].status, "302");
    EXPECT_EQ(fetches[0].body, *moved.body);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.countRequests("/elsewhere"), 0u);
}

TEST_F(HttpTransferTest, StatusAndLengthQueriesGiveTheTextOrNothing) {
    ScriptedAnswer noLength;
    noLength.body = "no length here";
    noLength.length = ScriptedAnswer::Length::Omit;
    server.script("/kelmor/nolength.dat", noLength);

    auto fetches = fetch({"/kelmor/missing.dll", "/kelmor/nolength.dat"});
    ASSERT_EQ(fetches.size(), 2u);
    EXPECT_TRUE(fetches[0].sent);
    EXPECT_EQ(fetches[0].status, "404");
    EXPECT_EQ(fetches[0].reason, "Not Found");
    EXPECT_EQ(fetches[1].status, "200");
    EXPECT_EQ(fetches[1].length, "");
    EXPECT_EQ(fetches[1].body, "no length here");
}

// Every Content-Length header is seen, not just the first, and so is the
// transfer coding: what the run needs to refuse a body whose end is unknown.
TEST_F(HttpTransferTest, RepeatedLengthsAndTheTransferCodingAreReported) {
    ScriptedAnswer twoLengths;
    twoLengths.body = "12345";
    twoLengths.headers = {{"Content-Length", "6"}};
    server.script("/kelmor/two.dat", twoLengths);
    ScriptedAnswer chunked;
    chunked.raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n5\r\nhello\r\n0\r\n\r\n";
    server.script("/kelmor/chunked.dat", chunked);

    auto fetches = fetch({"/kelmor/two.dat", "/kelmor/chunked.dat"});
    ASSERT_EQ(fetches.size(), 2u);
    EXPECT_EQ(fetches[0].length, "5|6");
    EXPECT_EQ(fetches[1].encoding, "chunked");
    EXPECT_EQ(fetches[1].body, "hello") << "the client decodes the chunks";
}

TEST_F(HttpTransferTest, ReadsAWholeBodyInChunksOfAtMost2048Bytes) {
    std::string content;
    for (int i = 0; i < 5000; ++i) content += static_cast<char>((i * 7) % 256);
    writeFile("kelmor/big.dll", content);

    auto fetches = fetch({"/kelmor/big.dll"});
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_EQ(fetches[0].length, "5000");
    EXPECT_EQ(fetches[0].body, content);
    EXPECT_EQ(fetches[0].largestRead, 2048);
    EXPECT_GE(fetches[0].reads, 3);
    EXPECT_FALSE(fetches[0].readFailed);
}

TEST_F(HttpTransferTest, AServerThatRefusesTheConnectionFailsTheSendWithWinInetsText) {
    auto fetches = fetch(closedPort(), {"/kelmor/update.ini"});
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_FALSE(fetches[0].sent);
    EXPECT_EQ(fetches[0].errorCode, 12029u);  // ERROR_INTERNET_CANNOT_CONNECT
    EXPECT_FALSE(fetches[0].errorText.empty());
    EXPECT_LE(fetches[0].errorText.size(), 1023u);
    EXPECT_NE(fetches[0].errorText.back(), '\n');
    // Bounded by the connect timeout and retries (4000 ms, 2), not a hang.
    EXPECT_LT(fetches[0].sendMs, 15000);
    RecordProperty("send_ms", std::to_string(fetches[0].sendMs));
}

TEST_F(HttpTransferTest, ARequestOnAClosedTransferFailsAtSendWithTheSystemText) {
    auto fetches = fetch(server.port(), {"/kelmor/update.ini"}, {"--closed"});
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_FALSE(fetches[0].sent);
    EXPECT_EQ(fetches[0].errorCode, 6u);  // ERROR_INVALID_HANDLE: not in WinInet's table
    EXPECT_FALSE(fetches[0].errorText.empty());
    EXPECT_TRUE(server.requests().empty());
}

// A request given 3 s in all ends its wait for a body that comes every 10 s
// at that deadline, not after the connection's 30 s receive time-out.
TEST_F(HttpTransferTest, EachWaitEndsAtTheRequestsDeadline) {
    ScriptedAnswer paced;
    paced.body = std::string(5000, 'p');
    paced.trickleEvery = std::chrono::seconds(10);
    paced.trickleBytes = 1000;
    server.script("/kelmor/paced.dat", paced);
    auto fetches = fetch(server.port(), {"/kelmor/paced.dat"}, {"--give-up", "3000"});
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_TRUE(fetches[0].readFailed);
    EXPECT_GE(fetches[0].ms, 2500);
    EXPECT_LT(fetches[0].ms, 9000) << "a wait outlived the request's deadline";
}

// The flags allow cached answers; a changed file on the server must still be seen.
TEST_F(HttpTransferTest, EveryGetReachesTheServerEvenWhenTheAnswerInvitesCaching) {
    ScriptedAnswer cacheable;
    cacheable.body = "first";
    cacheable.headers = {{"Cache-Control", "public, max-age=86400"},
                         {"Expires", "Thu, 01 Jan 2037 00:00:00 GMT"},
                         {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}};
    server.script("/kelmor/update.ini", cacheable);

    auto first = fetch({"/kelmor/update.ini", "/kelmor/update.ini"});
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[1].body, "first");
    // WinInet keeps each answer in its cache; closing the request drops the
    // entry, so no update is kept on disk twice, and opening the next request
    // for the object would drop a stale one (Wine never answers from the cache).
    EXPECT_FALSE(first[0].cached);
    EXPECT_FALSE(first[1].cachedAtOpen);
    EXPECT_EQ(server.countRequests("/kelmor/update.ini"), 2u);

    cacheable.body = "second";
    server.script("/kelmor/update.ini", cacheable);
    auto second = fetch({"/kelmor/update.ini"});
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].body, "second");
    EXPECT_EQ(server.countRequests("/kelmor/update.ini"), 3u);
}

// Over TLS, against nginx: a certificate that passes gives the answer, under
// an https cache entry that is removed with the request; one that fails the
// system's check fails the send with WinInet's code for it.
struct TlsCase {
    ServerCertificate certificate;
    unsigned long errorCode;  // 0: sent
};

class TlsTransferTest : public HttpTransferTest, public ::testing::WithParamInterface<Named<TlsCase>> {};

TEST_P(TlsTransferTest, TheSystemsCertificateCheckDecidesTheSend) {
    fs::permissions(root.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    NginxServer nginx(root.pathOf("www"), TlsCertificates::shared().files(GetParam().value.certificate));
    auto fetches = fetch(static_cast<std::uint16_t>(nginx.port()), {"/kelmor/update.ini"}, {"--secure"});
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_EQ(fetches[0].errorCode, GetParam().value.errorCode) << fetches[0].errorText;
    if (GetParam().value.errorCode != 0) return;
    EXPECT_EQ(fetches[0].body, "[kelmor]\r\nVERSION=1.27\r\n");
    EXPECT_TRUE(fetches[0].cachedWhileOpen) << "the cache URL is not the one WinInet uses";
    EXPECT_FALSE(fetches[0].cached);
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, TlsTransferTest,
    ::testing::Values(Named<TlsCase>{"Good", {ServerCertificate::Good, 0}},
                      Named<TlsCase>{"WrongHost", {ServerCertificate::WrongHost, 12038}},  // ..._SEC_CERT_CN_INVALID
                      Named<TlsCase>{"Expired", {ServerCertificate::Expired, 12037}},  // ..._SEC_CERT_DATE_INVALID
                      Named<TlsCase>{"Untrusted", {ServerCertificate::Untrusted, 12045}}),  // ..._INVALID_CA
    byName);

}  // namespace
}  // namespace testsupport
