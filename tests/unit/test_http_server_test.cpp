// The scriptable server the end-to-end tests rely on, driven by a plain socket client.
#include "tests/support/test_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int connectTo(std::uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

struct Reply {
    std::string data;
    bool closed = false;  // orderly end of the stream
    bool reset = false;
};

// Reads until the peer closes or nothing arrives for `quiet`.
Reply readReply(int fd, std::chrono::milliseconds quiet = 3000ms) {
    Reply reply;
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) return reply;
        ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got == 0) {
            reply.closed = true;
            return reply;
        }
        if (got < 0) {
            reply.reset = errno == ECONNRESET;
            return reply;
        }
        reply.data.append(buffer, static_cast<std::size_t>(got));
    }
}

Reply get(std::uint16_t port, const std::string& target, const std::string& extraHeaders = "") {
    int fd = connectTo(port);
    EXPECT_GE(fd, 0);
    std::string request = "GET " + target + " HTTP/1.0\r\nUser-Agent: Update\r\n" + extraHeaders + "\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    Reply reply = readReply(fd);
    close(fd);
    return reply;
}

std::string bodyOf(const std::string& answer) { return answer.substr(answer.find("\r\n\r\n") + 4); }

class TestHttpServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/http-server-test.XXXXXX";
        root = mkdtemp(name);
        fs::create_directories(root / "kelmor");
        std::ofstream(root / "kelmor" / "update.ini", std::ios::binary) << "[kelmor]\r\nVERSION=1.27\r\n";
        std::ofstream(root.parent_path() / (root.filename().string() + "-secret"), std::ios::binary) << "secret";
    }
    void TearDown() override {
        fs::remove(root.parent_path() / (root.filename().string() + "-secret"));
        fs::remove_all(root);
    }
    fs::path root;
};

TEST_F(TestHttpServerTest, ServesTheDirectoryAndRecordsEveryRequest) {
    TestHttpServer server(root.string());
    Reply found = get(server.port(), "/kelmor/update.ini?x=1", "Host: 127.0.0.1\r\n");
    EXPECT_EQ(found.data, "HTTP/1.0 200 OK\r\nContent-Length: 24\r\n\r\n[kelmor]\r\nVERSION=1.27\r\n");
    EXPECT_TRUE(found.closed);

    EXPECT_EQ(get(server.port(), "/kelmor/missing.dll").data.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u);
    EXPECT_EQ(get(server.port(), "/kelmor").data.rfind("HTTP/1.0 404", 0), 0u);  // a directory is not a file
    std::string escape = "/../" + root.filename().string() + "-secret";
    EXPECT_EQ(get(server.port(), escape).data.rfind("HTTP/1.0 404", 0), 0u);
    EXPECT_EQ(get(server.port(), "/%2e%2e/" + root.filename().string() + "-secret").data.rfind("HTTP/1.0 404", 0), 0u);

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].requestLine, "GET /kelmor/update.ini?x=1 HTTP/1.0");
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/kelmor/update.ini?x=1");
    EXPECT_EQ(requests[0].version, "HTTP/1.0");
    EXPECT_EQ(requests[0].header("user-agent"), "Update");
    EXPECT_EQ(requests[0].header("HOST"), "127.0.0.1");
    EXPECT_FALSE(requests[0].header("Accept").has_value());
    EXPECT_EQ(server.countRequests("/kelmor/missing.dll"), 1u);
}

TEST_F(TestHttpServerTest, ScriptedAnswersReplaceTheFileAsToldAndCanBeCleared) {
    TestHttpServer server(root.string());
    ScriptedAnswer moved;
    moved.status = 302;
    moved.reason = "Found";
    moved.body = "moved";
    moved.headers = {{"Location", "http://elsewhere/"}};
    server.script("/kelmor/update.ini", moved);
    EXPECT_EQ(get(server.port(), "/kelmor/update.ini?q").data,
              "HTTP/1.0 302 Found\r\nContent-Length: 5\r\nLocation: http://elsewhere/\r\n\r\nmoved");

    ScriptedAnswer fileWithoutLength;
    fileWithoutLength.length = ScriptedAnswer::Length::Omit;
    server.script("/kelmor/update.ini", fileWithoutLength);
    Reply omitted = get(server.port(), "/kelmor/update.ini");
    EXPECT_EQ(omitted.data, "HTTP/1.0 200 OK\r\n\r\n[kelmor]\r\nVERSION=1.27\r\n");

    ScriptedAnswer claimed;
    claimed.body = "short";
    claimed.length = ScriptedAnswer::Length::Claim;
    claimed.claimedLength = 1000;
    server.script("/a.dll", claimed);
    Reply truncated = get(server.port(), "/a.dll");
    EXPECT_EQ(truncated.data, "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nshort");
    EXPECT_TRUE(truncated.closed);

    ScriptedAnswer raw;
    raw.raw = "garbage\r\n";
    server.script("/raw", raw);
    EXPECT_EQ(get(server.port(), "/raw").data, "garbage\r\n");

    server.clearScripts();
    EXPECT_EQ(bodyOf(get(server.port(), "/kelmor/update.ini").data), "[kelmor]\r\nVERSION=1.27\r\n");
    EXPECT_EQ(get(server.port(), "/raw").data.rfind("HTTP/1.0 404", 0), 0u);
}

TEST_F(TestHttpServerTest, ResetCutSendsThePrefixThenResets) {
    TestHttpServer server(root.string());
    ScriptedAnswer answer;
    answer.body = std::string(100, 'x');
    answer.cutAfterBytes = 10;
    answer.cut = ScriptedAnswer::Cut::Reset;
    server.script("/big.dll", answer);
    Reply reply = get(server.port(), "/big.dll");
    EXPECT_EQ(bodyOf(reply.data), std::string(10, 'x'));
    EXPECT_TRUE(reply.reset);
}

TEST_F(TestHttpServerTest, StalledAndSilentConnectionsStayOpenUntilTheServerStops) {
    std::optional<TestHttpServer> server(std::in_place, root.string());
    ScriptedAnswer stall;
    stall.body = std::string(100, 'x');
    stall.cutAfterBytes = 10;
    server->script("/stall.dll", stall);
    ScriptedAnswer quiet;
    quiet.silent = true;
    server->script("/silent", quiet);

    int stalled = connectTo(server->port());
    std::string request = "GET /stall.dll HTTP/1.0\r\n\r\n";
    send(stalled, request.data(), request.size(), MSG_NOSIGNAL);
    Reply partial = readReply(stalled, 300ms);
    EXPECT_EQ(bodyOf(partial.data), std::string(10, 'x'));
    EXPECT_FALSE(partial.closed || partial.reset);

    int silent = connectTo(server->port());
    request = "GET /silent HTTP/1.0\r\n\r\n";
    send(silent, request.data(), request.size(), MSG_NOSIGNAL);
    Reply nothing = readReply(silent, 300ms);
    EXPECT_TRUE(nothing.data.empty());
    EXPECT_FALSE(nothing.closed || nothing.reset);
    EXPECT_EQ(server->countRequests("/silent"), 1u);

    int mute = connectTo(server->port());  // never sends a request at all

    // Stopping must not wait for any of these clients (a hang here is the fault).
    auto start = std::chrono::steady_clock::now();
    server.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(readReply(stalled, 1000ms).closed);
    EXPECT_TRUE(readReply(silent, 1000ms).closed);
    Reply muteEnd = readReply(mute, 1000ms);  // may still sit in the backlog: then it is reset
    EXPECT_TRUE(muteEnd.closed || muteEnd.reset);
    for (int fd : {stalled, silent, mute}) close(fd);
}

TEST_F(TestHttpServerTest, PausedAnswerHoldsTheRestUntilReleased) {
    TestHttpServer server(root.string());
    ScriptedAnswer held;
    held.body = std::string(10, 'a') + std::string(10, 'b');
    held.pauseAfterBytes = 10;
    server.script("/held.dll", held);

    int fd = connectTo(server.port());
    std::string request = "GET /held.dll HTTP/1.0\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    Reply first = readReply(fd, 300ms);
    EXPECT_EQ(bodyOf(first.data), std::string(10, 'a'));
    EXPECT_FALSE(first.closed || first.reset);

    server.releasePauses();
    Reply rest = readReply(fd);
    EXPECT_EQ(rest.data, std::string(10, 'b'));
    EXPECT_TRUE(rest.closed);
    close(fd);
    // Released for good: a later answer is not held.
    EXPECT_EQ(bodyOf(get(server.port(), "/held.dll").data), held.body);
}

TEST_F(TestHttpServerTest, TimedPauseGoesOnByItself) {
    TestHttpServer server(root.string());
    ScriptedAnswer delayed;
    delayed.body = std::string(4096, 'x');
    delayed.pauseAfterBytes = 2048;
    delayed.pauseFor = 200ms;
    server.script("/delayed.dll", delayed);
    Reply reply = get(server.port(), "/delayed.dll");
    EXPECT_EQ(bodyOf(reply.data), *delayed.body);
    EXPECT_TRUE(reply.closed);
}

TEST_F(TestHttpServerTest, ServerStopEndsAHeldAnswer) {
    std::optional<TestHttpServer> server(std::in_place, root.string());
    ScriptedAnswer held;
    held.body = "abcdef";
    held.pauseAfterBytes = 0;
    server->script("/held.dll", held);
    int fd = connectTo(server->port());
    std::string request = "GET /held.dll HTTP/1.0\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    readReply(fd, 300ms);
    server.reset();  // a hang here is the fault
    EXPECT_TRUE(readReply(fd, 1000ms).closed);
    close(fd);
}

TEST_F(TestHttpServerTest, ListensOnAGivenPort) {
    const std::uint16_t port = closedPort();
    TestHttpServer server(root.string(), port);
    EXPECT_EQ(server.port(), port);
    EXPECT_EQ(bodyOf(get(port, "/kelmor/update.ini").data), "[kelmor]\r\nVERSION=1.27\r\n");
}

TEST(ClosedPort, RefusesConnections) { EXPECT_EQ(connectTo(closedPort()), -1); }

}  // namespace
}  // namespace testsupport
