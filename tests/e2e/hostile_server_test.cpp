// Hostile and broken update servers, end to end: the real Update.exe under
// Wine against the scriptable server. Each case ends in one clear outcome the
// user can see, within a bounded time, and leaves the product's files as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/text/hex_text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/poll.h"
#include "tests/support/probe_client.h"
#include "tests/support/product_dir.h"
#include "tests/support/served_updater_test.h"
#include "tests/support/sha256_hex.h"
#include "tests/support/test_http_server.h"
#include "tests/support/updater_process.h"
#include "tests/support/wine_runner.h"
#include "tests/support/wizard_driver.h"
#include "tests/support/wizard_texts.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

const std::string kDownloading = kDownloadingPrefix + "app.dat";
const std::string kFailedLine = "app.dat 更新失败";
const std::string kUpdatedLine = "app.dat 更新完成";

const std::string kManifestPath = "/kelmor/update.ini";
const std::string kFilePath = "/kelmor/app.dat";
const std::string kManifest =
    "[kelmor]\r\nVERSION=1.3\r\n[FILE0]\r\nFILE=app.dat\r\nVERSION=2024-01-01 00:00:00\r\n";
const std::string kOldBytes = "app.dat as installed";
constexpr std::time_t kOldTime = 1577836800;  // 2020-01-01, older than the manifest's time

// Receive timeout of the program (30 s) plus room for a slow machine.
constexpr auto kTimeoutLimit = 50s;
// A second updater in a held folder ends once Wine has started it (about 1 s).
constexpr auto kStandBackLimit = 15s;

ScriptedAnswer bodyAnswer(std::string body) {
    ScriptedAnswer answer;
    answer.body = std::move(body);
    return answer;
}

std::string newBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 23);
    return bytes;
}

class HostileServerTest : public ServedUpdaterTest {
protected:
    HostileServerTest() {
        configure();
        product.writeFile("app.dat", kOldBytes, kOldTime);
        installed = productFiles();
        fs::remove(manifestCopyPath());
    }

    // Every file of the program directory but the download side files and the log.
    std::map<std::string, std::string> productFiles() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(product.path())) {
            const std::string name = fs::relative(entry.path(), product.path()).generic_string();
            const fs::path ext = entry.path().extension();
            if (entry.is_regular_file() && ext != ".upg" && ext != ".log") files[name] = readFileBytes(entry.path());
        }
        return files;
    }
    void expectProductUntouched() const { EXPECT_EQ(productFiles(), installed) << "a product file changed"; }

    // Started, checked and the update offered; then Update is pressed.
    void startUpdate() {
        serve(kManifestPath, kManifest);
        ASSERT_NO_FATAL_FAILURE(startOrFail());
        ASSERT_NO_FATAL_FAILURE(checkUntilOffered());
        ASSERT_TRUE(wizard.pressNext());
    }

    WizardState finishedRun() {
        WizardState state = wizard.waitUntil(
            [](const WizardState& s) { return s.status == kFinished && s.responsive; }, 30s);
        EXPECT_EQ(state.status, kFinished) << state;
        return state;
    }

    // A run that ended with the failure report: the stop box, then the button
    // left disabled as "更新(&U)" and the status of the file that failed.
    MessageBoxState failureReport(std::chrono::milliseconds limit) {
        std::optional<MessageBoxState> box = wizard.waitForBox(limit);
        if (!box) {
            ADD_FAILURE() << "no failure report; " << wizard.state();
            return {};
        }
        EXPECT_EQ(box->icon, BoxIcon::Stop) << *box;
        EXPECT_FALSE(box->text.empty()) << *box;
        std::cout << "[ failure report ] " << box->text << "\n";
        EXPECT_TRUE(wizard.answerBox(kOkId));
        WizardState state = wizard.waitUntil([](const WizardState& s) { return s.responsive; });
        EXPECT_EQ(state.nextCaption, kUpdateCaption) << state;
        EXPECT_FALSE(state.nextEnabled) << state;
        EXPECT_EQ(state.status, kDownloading) << state;
        return *box;
    }

    // Two updaters in one folder would replace the same files. A second one,
    // started as secondExe while the first downloads, ends at once with 3 and
    // brings the minimised first wizard back; the first run goes on untouched.
    void expectSecondUpdaterStandsBack(const std::string& secondExe) {
        const std::string content = newBytes(5000);
        ScriptedAnswer held = bodyAnswer(content);
        held.pauseAfterBytes = 1000;
        server->script(kFilePath, held);
        ASSERT_NO_FATAL_FAILURE(startUpdate());
        ASSERT_EQ(wizard.waitForStatus(kDownloading).status, kDownloading);
        wizard.minimize();
        ASSERT_TRUE(wizard.waitUntil([](const WizardState& s) { return s.minimized; }).minimized);

        WineProcess second(secondExe, {}, fs::path(product.path()).parent_path().string());
        EXPECT_EQ(second.wait(kStandBackLimit), 3) << second.output();
        EXPECT_FALSE(wizard.waitUntil([](const WizardState& s) { return !s.minimized; }).minimized);
        server->releasePauses();
        WizardState state = finishedRun();
        EXPECT_EQ(state.lines, (std::vector<std::string>{kUpdatedLine, "kelmor 1.3"}));
        EXPECT_EQ(product.readFile("app.dat"), content);
        EXPECT_EQ(server->countRequests(kManifestPath), 1u) << "the second updater checked too";

        // A killed holder leaves the folder free: the harness kills the first
        // and waits until it has left the prefix, and the next one opens.
        startOrFail();
    }

    std::map<std::string, std::string> installed;
};

// A drive letter of the prefix for a folder, as `subst` makes one on Windows;
// removed again at the end. Empty when every letter tried is taken.
class WineDriveLetter {
public:
    explicit WineDriveLetter(const std::string& folder) {
        const fs::path devices = fs::path(std::getenv("WINEPREFIX")) / "dosdevices";
        for (char letter = 'p'; letter <= 'y' && link_.empty(); ++letter) {
            const fs::path link = devices / (std::string(1, letter) + ":");
            std::error_code taken;
            fs::create_directory_symlink(folder, link, taken);
            if (taken) continue;
            link_ = link;
            root_ = std::string(1, static_cast<char>(letter - 'a' + 'A')) + ":\\";
        }
    }
    ~WineDriveLetter() {
        std::error_code ignored;
        if (!link_.empty()) fs::remove(link_, ignored);
    }
    const std::string& root() const { return root_; }  // "P:\"

private:
    fs::path link_;
    std::string root_;
};

// 16 MiB is more than any manifest; an endless body ends as a failed check
// rather than filling the disk, and no copy of it stays behind.
TEST_F(HostileServerTest, EndlessManifestIsAFailedCheck) {
    ScriptedAnswer endless = bodyAnswer(kManifest);
    endless.length = ScriptedAnswer::Length::Omit;
    endless.endless = true;
    server->script(kManifestPath, endless);
    ASSERT_NO_FATAL_FAILURE(startOrFail());
    ASSERT_TRUE(wizard.pressNext());

    WizardState state = wizard.waitForCheckEnd(60s);
    EXPECT_EQ(state.status, kConnectFailed) << state;
    EXPECT_EQ(state.nextCaption, kNextCaption);
    EXPECT_TRUE(state.nextEnabled);
    EXPECT_FALSE(fs::exists(manifestCopyPath()));
    EXPECT_EQ(server->countRequests(kFilePath), 0u);
    expectProductUntouched();
}

// The client reads what Content-Length announces and no more: the file is
// the announced bytes, and the endless rest never reaches the disk.
TEST_F(HostileServerTest, BytesBeyondTheContentLengthAreNotTaken) {
    const std::string announced = newBytes(5000);
    ScriptedAnswer longer = bodyAnswer(announced);
    longer.endless = true;
    server->script(kFilePath, longer);
    ASSERT_NO_FATAL_FAILURE(startUpdate());

    WizardState state = finishedRun();
    EXPECT_EQ(state.lines, (std::vector<std::string>{kUpdatedLine, "kelmor 1.3"}));
    EXPECT_EQ(product.readFile("app.dat"), announced);
    EXPECT_FALSE(product.exists("app.dat.upg"));
}

// A server that goes quiet, first before its answer and then in the middle of
// a body: each action ends once the receive timeout (30 s) has passed, with
// the product's files as they were. (The one slow test here.)
TEST_F(HostileServerTest, SilentServerEndsEachActionAfterTheReceiveTimeout) {
    ScriptedAnswer silent;
    silent.silent = true;
    server->script(kManifestPath, silent);
    ASSERT_NO_FATAL_FAILURE(startOrFail());
    ASSERT_TRUE(wizard.pressNext());
    auto pressed = Clock::now();
    WizardState state = wizard.waitForCheckEnd(kTimeoutLimit);
    EXPECT_EQ(state.status, kConnectFailed) << state;
    EXPECT_GE(Clock::now() - pressed, 25s) << "ended before the timeout";
    EXPECT_EQ(state.nextCaption, kNextCaption);
    EXPECT_TRUE(state.nextEnabled);

    // The user tries again; now the file's body stalls after 10 000 bytes.
    server->script(kManifestPath, bodyAnswer(kManifest));
    ScriptedAnswer stalled = bodyAnswer(newBytes(100000));
    stalled.cutAfterBytes = 10000;
    stalled.cut = ScriptedAnswer::Cut::Stall;
    server->script(kFilePath, stalled);
    ASSERT_TRUE(wizard.pressNext());
    ASSERT_EQ(wizard.waitForNextCaption(kUpdateCaption).nextCaption, kUpdateCaption);
    ASSERT_TRUE(wizard.pressNext());
    pressed = Clock::now();
    failureReport(kTimeoutLimit);
    EXPECT_GE(Clock::now() - pressed, 25s) << "ended before the timeout";
    expectProductUntouched();
    EXPECT_FALSE(product.exists("app.dat.upg")) << "the partial download is removed";
}

// A connection reset in the middle of a body: depending on when the reset
// overtakes the data, the client reports it as a failed read (the failure
// report) or as the early end of a body shorter than announced (the entry
// fails, the run goes on). Either way the old file stays and no part of the
// download is left.
TEST_F(HostileServerTest, ResetInTheMiddleOfABodyKeepsTheOldFile) {
    ScriptedAnswer reset = bodyAnswer(newBytes(100000));
    reset.cutAfterBytes = 30000;
    reset.cut = ScriptedAnswer::Cut::Reset;
    // Held until the headers are surely read: a reset that came first would
    // discard them and fail the send instead.
    reset.pauseAfterBytes = 1000;
    server->script(kFilePath, reset);
    ASSERT_NO_FATAL_FAILURE(startUpdate());
    ASSERT_EQ(wizard.waitForStatus(kDownloading).status, kDownloading);
    server->releasePauses();

    WizardState state = wizard.waitUntil([&](const WizardState& s) {
        return (s.status == kFinished && s.responsive) || wizard.box().has_value();
    }, kTimeoutLimit);
    if (wizard.box()) {
        failureReport(kTimeoutLimit);
    } else {
        EXPECT_EQ(state.lines, (std::vector<std::string>{kFailedLine, "kelmor 1.3"})) << state;
    }
    EXPECT_FALSE(product.exists("app.dat.upg"));
    expectProductUntouched();
}

// Content-Length promises 5000 bytes and nothing comes: the entry fails, the
// run goes on to its end, and nothing of the empty download stays.
TEST_F(HostileServerTest, EmptyBodyWithAContentLengthFailsTheEntry) {
    ScriptedAnswer empty = bodyAnswer("");
    empty.length = ScriptedAnswer::Length::Claim;
    empty.claimedLength = 5000;
    server->script(kFilePath, empty);
    ASSERT_NO_FATAL_FAILURE(startUpdate());

    WizardState state = finishedRun();
    EXPECT_EQ(state.lines, (std::vector<std::string>{kFailedLine, "kelmor 1.3"}));
    EXPECT_FALSE(product.exists("app.dat.upg"));
    expectProductUntouched();
}

// An answer without a status line is taken as a headerless (HTTP/0.9) 200 by
// the client: for the manifest that is text without a section line, which is
// no manifest: the check fails as a connection does, and no file is asked for.
TEST_F(HostileServerTest, ManifestWithoutStatusLineIsNoManifest) {
    ScriptedAnswer garbage;
    garbage.raw = "SSH-2.0-OpenSSH_9.2\r\n\x16\x03\x01\x02\x00 not http at all"s;
    server->script(kManifestPath, garbage);
    ASSERT_NO_FATAL_FAILURE(startOrFail());
    ASSERT_TRUE(wizard.pressNext());

    WizardState state = wizard.waitForCheckEnd();
    EXPECT_EQ(state.status, kConnectFailed) << state;
    EXPECT_EQ(server->countRequests(kFilePath), 0u);
    expectProductUntouched();
}

// Answers without a status line. When the first line is text, the client
// takes it for the status line of a 200 and the rest for the body, which the
// unsigned build saves like any 200's; binary is status 0, listed and refused.
// Either way the product file is whole: one answer's body or the old file.
TEST_F(HostileServerTest, FileAnswerWithoutStatusLine) {
    const std::string textual = "SSH-2.0-OpenSSH_9.2\r\nnot http at all";
    ScriptedAnswer garbage;
    garbage.raw = textual;
    server->script(kFilePath, garbage);
    ASSERT_NO_FATAL_FAILURE(startUpdate());
    WizardState state = finishedRun();
    EXPECT_EQ(state.lines, (std::vector<std::string>{kUpdatedLine, "kelmor 1.3"}));
    EXPECT_EQ(product.readFile("app.dat"), "not http at all");
}

TEST_F(HostileServerTest, BinaryAnswerWithoutStatusLineIsRefused) {
    ScriptedAnswer garbage;
    garbage.raw = "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03 not http at all"s;
    server->script(kFilePath, garbage);
    ASSERT_NO_FATAL_FAILURE(startUpdate());
    WizardState state = finishedRun();
    EXPECT_EQ(state.lines, (std::vector<std::string>{"0", kFailedLine, "kelmor 1.3"}));
    EXPECT_FALSE(product.exists("app.dat.upg"));
    expectProductUntouched();
}

// Header lines of a megabyte are read and ignored, on the manifest and on a file.
TEST_F(HostileServerTest, MegabyteHeaderLinesAreIgnored) {
    const std::pair<std::string, std::string> filler{"X-Filler", std::string(1 << 20, 'h')};
    ScriptedAnswer manifest = bodyAnswer(kManifest);
    manifest.headers = {filler};
    server->script(kManifestPath, manifest);
    const std::string content = newBytes(5000);
    ScriptedAnswer file = bodyAnswer(content);
    file.headers = {filler};
    server->script(kFilePath, file);
    ASSERT_NO_FATAL_FAILURE(startOrFail());
    ASSERT_TRUE(wizard.pressNext());
    ASSERT_EQ(wizard.waitForNextCaption(kUpdateCaption).nextCaption, kUpdateCaption);
    ASSERT_TRUE(wizard.pressNext());

    WizardState state = finishedRun();
    EXPECT_EQ(state.lines, (std::vector<std::string>{kUpdatedLine, "kelmor 1.3"}));
    EXPECT_EQ(product.readFile("app.dat"), content);
}

// Only a complete, unambiguous 200 answer is installed, with a content
// coding only when SIZE and SHA256 prove its bytes, and only bytes that match
// the SIZE and SHA256 their section carries; bytes that do not are asked for
// once more past any cache. One run, one row per file: what the server
// answers, what the section promises, what the list says.
TEST_F(HostileServerTest, OnlyAWhole200MatchingItsSectionIsInstalled) {
    const std::string body = newBytes(3000);
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" +
                                [&] {
                                    std::ostringstream hexSize;
                                    hexSize << std::hex << body.size();
                                    return hexSize.str();
                                }() + "\r\n" + body + "\r\n0\r\n\r\n";
    std::string other = body;
    other[100] ^= 1;
    struct Row {
        std::string file;
        ScriptedAnswer answer;
        std::string keys;  // SIZE / SHA256 lines of the section
        std::vector<std::string> lines;
    };
    const std::string size = "SIZE=" + std::to_string(body.size()) + "\r\n";
    const std::string hash = "SHA256=" + sha256Hex(body) + "\r\n";
    ScriptedAnswer noContent = bodyAnswer("");
    noContent.status = 204;
    noContent.reason = "No Content";
    noContent.length = ScriptedAnswer::Length::Omit;
    ScriptedAnswer partial = bodyAnswer(body.substr(0, 1000));
    partial.status = 206;
    partial.reason = "Partial Content";
    ScriptedAnswer twoLengths = bodyAnswer(body);
    twoLengths.headers = {{"Content-Length", "2999"}};
    ScriptedAnswer chunkedAnswer;
    chunkedAnswer.raw = chunked;
    ScriptedAnswer gzipped = bodyAnswer(body);
    gzipped.headers = {{"Content-Encoding", "gzip"}};
    // Apache's "AddEncoding x-gzip .gz": a .tar.gz's own bytes, labelled.
    ScriptedAnswer xgzip = bodyAnswer(body);
    xgzip.headers = {{"Content-Encoding", "x-gzip"}};
    const std::vector<Row> rows = {
        {"nocontent.dat", noContent, "", {"204 No Content", "nocontent.dat 更新失败"}},
        {"partial.dat", partial, "", {"206 Partial Content", "partial.dat 更新失败"}},
        {"twolengths.dat", twoLengths, "", {"twolengths.dat 更新失败"}},
        {"chunked.dat", chunkedAnswer, "", {"chunked.dat 更新失败"}},
        {"chunkedproven.dat", chunkedAnswer, size + hash, {"chunkedproven.dat 更新完成"}},
        {"longer.dat", bodyAnswer(body + "+"), size, {"longer.dat 更新失败"}},
        {"otherbytes.dat", bodyAnswer(other), size + hash, {"otherbytes.dat 更新失败"}},
        {"match.dat", bodyAnswer(body), size + hash, {"match.dat 更新完成"}},
        {"gzipped.dat", gzipped, size, {"gzipped.dat 更新失败"}},
        {"setup.tar.gz", xgzip, size + hash, {"setup.tar.gz 更新完成"}},
    };
    std::string manifest = "[kelmor]\r\nVERSION=1.3\r\n";
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        product.writeFile(row.file, kOldBytes, kOldTime);
        server->script("/kelmor/" + row.file, row.answer);
        manifest += "[FILE" + std::to_string(i) + "]\r\nFILE=" + row.file +
                    "\r\nVERSION=2024-01-01 00:00:00\r\n" + row.keys;
        expected.insert(expected.end(), row.lines.begin(), row.lines.end());
    }
    expected.push_back("kelmor 1.3");
    serve(kManifestPath, manifest);
    ASSERT_NO_FATAL_FAILURE(startOrFail());
    ASSERT_NO_FATAL_FAILURE(checkUntilOffered());
    ASSERT_TRUE(wizard.pressNext());

    WizardState state = finishedRun();
    EXPECT_EQ(state.lines, expected);
    for (const Row& row : rows) {
        const bool updated = row.lines.back().find("更新完成") != std::string::npos;
        EXPECT_EQ(product.readFile(row.file) == body, updated) << row.file;
        if (!updated) EXPECT_EQ(product.readFile(row.file), kOldBytes) << row.file;
        EXPECT_FALSE(product.exists(row.file + ".upg")) << row.file;
    }
    // The manifest and the last try of a file whose bytes did not match go
    // past any cache; nothing else does, and nothing else differs.
    std::vector<std::string> pastCaches;
    const auto otherHeaders = [](const RecordedRequest& request) {
        auto headers = request.headers;
        std::erase_if(headers, [](const auto& header) { return header.first == "Pragma" || header.first == "Cache-Control"; });
        return headers;
    };
    for (const RecordedRequest& request : server->requests()) {
        EXPECT_EQ(otherHeaders(request), otherHeaders(server->requests().front())) << request.requestLine;
        const bool noCache = request.header("Pragma") == "no-cache" && request.header("Cache-Control") == "no-cache";
        EXPECT_EQ(noCache, request.header("Pragma").has_value()) << request.requestLine;
        if (request.requestLine == "GET " + kManifestPath + " HTTP/1.0")
            EXPECT_TRUE(noCache) << "every manifest request";
        else if (noCache)
            pastCaches.push_back(request.requestLine);
    }
    EXPECT_EQ(pastCaches,
              (std::vector<std::string>{"GET /kelmor/longer.dat HTTP/1.0", "GET /kelmor/otherbytes.dat HTTP/1.0"}));
}

TEST_F(HostileServerTest, SecondUpdaterInTheFolderEndsWith3) {
    expectSecondUpdaterStandsBack(product.exeWindowsPath());
}

// The folder is known by its resolved path: reached through another drive
// letter it is still the held one.
TEST_F(HostileServerTest, SecondUpdaterThroughAnotherDriveLetterEndsWith3) {
    const WineDriveLetter drive(product.path());
    if (drive.root().empty()) GTEST_SKIP() << "no free drive letter in the prefix";
    expectSecondUpdaterStandsBack(drive.root() + product.exeName());
}

// The worst time the wizard took to answer a message from another process,
// sampled until done() holds or the limit passes.
long worstAnswerMs(Wizard& wizard, const std::function<bool()>& done, std::chrono::seconds limit) {
    long worst = 0;
    pollUntil([&] {
        if (done()) return true;
        if (std::optional<long> ms = wizard.answerMs()) worst = std::max(worst, *ms);
        return false;
    }, limit, 100ms);
    return worst;
}

// A body that trickles, a byte a second, is given up once 30 s have brought
// fewer than 1,024 bytes, as a timed-out read is; the wizard answers all along.
TEST_F(HostileServerTest, TricklingBodyIsGivenUpWhileTheWizardAnswers) {
    ScriptedAnswer trickling = bodyAnswer(newBytes(4096));
    trickling.trickleEvery = 1s;
    server->script(kFilePath, trickling);
    ASSERT_NO_FATAL_FAILURE(startUpdate());
    const auto pressed = Clock::now();

    const long worst = worstAnswerMs(wizard, [&] { return wizard.box().has_value(); }, 120s);
    EXPECT_LT(worst, 2000) << "the wizard stopped answering while the body trickled";
    EXPECT_LT(Clock::now() - pressed, 90s) << "the trickle was not given up in time";
    failureReport(5s);
    expectProductUntouched();
    EXPECT_FALSE(product.exists("app.dat.upg"));
}

// Thousands of entries that the server does not have: each is listed, and the
// wizard answers throughout instead of freezing until the last one.
TEST_F(HostileServerTest, ThousandsOfMissingFilesKeepTheWizardAnswering) {
    constexpr int kEntries = 2000;
    std::string manifest = "[kelmor]\r\nVERSION=1.3\r\n";
    for (int i = 0; i < kEntries; ++i)
        manifest += "[FILE" + std::to_string(i) + "]\r\nFILE=missing" + std::to_string(i) + ".dat\r\n";
    serve(kManifestPath, manifest);
    ASSERT_NO_FATAL_FAILURE(startOrFail());
    ASSERT_NO_FATAL_FAILURE(checkUntilOffered());
    ASSERT_TRUE(wizard.pressNext());

    const std::string last = "/kelmor/missing" + std::to_string(kEntries - 1) + ".dat";
    const long worst = worstAnswerMs(wizard, [&] { return server->countRequests(last) == 1; }, 300s);
    EXPECT_LT(worst, 2000) << "the wizard stopped answering during the run";
    WizardState state = finishedRun();
    ASSERT_EQ(state.lines.size(), 2u * kEntries + 1);
    EXPECT_EQ(state.lines[0], "missing0.dat  不存在!");
    EXPECT_EQ(state.lines[2 * kEntries - 1], "missing" + std::to_string(kEntries - 1) + ".dat 更新失败");
    EXPECT_EQ(server->countRequests("/kelmor/missing0.dat"), 1u);
}

// A manifest that arrives at 1,100 bytes every 29 s: each read returns in
// time, so only one budget for the whole check ends it, within 120 s and not
// at "读取版本信息...". The check runs on the worker, so the wizard answers,
// and Next stays disabled meanwhile. (About 120 s of the suite's time.)
TEST_F(HostileServerTest, SlowManifestEndsTheCheckWithinItsBudget) {
    ScriptedAnswer slow = bodyAnswer(kManifest + std::string(30000, ';'));
    slow.trickleEvery = 29s;
    slow.trickleBytes = 1100;
    server->script(kManifestPath, slow);
    ASSERT_NO_FATAL_FAILURE(startOrFail());
    ASSERT_TRUE(wizard.pressNext());
    const auto pressed = Clock::now();
    bool enabledMeanwhile = false;
    const long worst = worstAnswerMs(wizard, [&] {
        const WizardState state = wizard.state();
        if (state.status != kConnectFailed && state.nextEnabled) enabledMeanwhile = true;
        return state.status == kConnectFailed;
    }, 200s);
    const auto took = Clock::now() - pressed;
    EXPECT_LT(worst, 2000) << "the wizard stopped answering during the check";
    EXPECT_FALSE(enabledMeanwhile) << "Next was enabled during the check";
    EXPECT_GE(took, 100s) << "ended before its budget";
    EXPECT_LT(took, 140s) << "the check outlived its 120 s budget";
    const WizardState state = wizard.state();
    EXPECT_EQ(state.status, kConnectFailed) << state;
    EXPECT_TRUE(state.nextEnabled) << state;
    expectProductUntouched();
}

// Two products in one Windows account check in turn; each run works from the
// manifest its own check fetched, never from one the other left behind.
TEST_F(HostileServerTest, TwoProductsCheckingInTurnKeepTheirOwnManifests) {
    ProductDir atlas("AtlasUpdate.exe");
    atlas.writeConfig({"atlas", "2.0", urlFor(server->port(), "/atlas/")});
    atlas.writeFile("atlas.dat", "atlas 2.0", kOldTime);
    serve("/atlas/update.ini", "[atlas]\r\nVERSION=2.1\r\n[FILE0]\r\nFILE=atlas.dat\r\n");
    serve("/atlas/atlas.dat", "atlas 2.1");
    serve(kFilePath, "app.dat of kelmor 1.3");
    serve(kManifestPath, kManifest);
    ASSERT_NO_FATAL_FAILURE(startOrFail());
    ASSERT_NO_FATAL_FAILURE(checkUntilOffered());

    {
        UpdaterProcess other(atlas);
        Wizard otherWizard(atlas.exeName());
        ASSERT_TRUE(otherWizard.waitOpen().visible) << other.output();
        ASSERT_TRUE(otherWizard.pressNext());
        EXPECT_EQ(otherWizard.waitForNextCaption(kUpdateCaption).nextCaption, kUpdateCaption);
    }
    ProbeClient::shared().setTarget(product.exeName());

    ASSERT_TRUE(wizard.pressNext());
    const WizardState state = finishedRun();
    EXPECT_EQ(state.lines, (std::vector<std::string>{kUpdatedLine, "kelmor 1.3"}));
    EXPECT_EQ(product.readFile("app.dat"), "app.dat of kelmor 1.3");
    EXPECT_EQ(server->countRequests("/atlas/atlas.dat"), 0u);
    EXPECT_EQ(atlas.readFile("atlas.dat"), "atlas 2.0");
}

// Files WinInet kept in its cache for an answer; only names this test fetches.
std::vector<std::string> cachedCopies(const std::string& prefix, const std::string& stem) {
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(prefix + "/drive_c/users", error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error) break;
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(error) && name.rfind(stem, 0) == 0) found.push_back(it->path().string());
    }
    return found;
}

// An update leaves no copy of the manifest or of any file in WinInet's
// cache, so the disk does not hold each update twice.
TEST_F(HostileServerTest, UpdateLeavesNothingInTheCache) {
    const char* winePrefix = std::getenv("WINEPREFIX");
    ASSERT_NE(winePrefix, nullptr) << "the suite runs in a Wine prefix of its own";
    const std::string manifest =
        "[kelmor]\r\nVERSION=1.3\r\n[FILE0]\r\nFILE=cachecheck.dat\r\nVERSION=2024-01-01 00:00:00\r\n";
    serve("/kelmor/update.ini", manifest);
    serve("/kelmor/cachecheck.dat", newBytes(5000));
    // Another test's killed check may have left a manifest of its own.
    const std::vector<std::string> manifestsBefore = cachedCopies(winePrefix, "update[");
    ASSERT_NO_FATAL_FAILURE(startOrFail());
    ASSERT_NO_FATAL_FAILURE(checkUntilOffered());
    ASSERT_TRUE(wizard.pressNext());
    finishedRun();
    EXPECT_EQ(product.readFile("cachecheck.dat"), newBytes(5000));
    EXPECT_EQ(cachedCopies(winePrefix, "cachecheck"), std::vector<std::string>{});
    EXPECT_EQ(cachedCopies(winePrefix, "update["), manifestsBefore);
}

}  // namespace
}  // namespace testsupport
