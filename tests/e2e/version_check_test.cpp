// The version check end to end: the real Update.exe under Wine asks the
// scriptable server for update.ini and shows what it found.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "engine/release/update_journal.h"
#include "tests/support/file_bytes.h"
#include "tests/support/named_param.h"
#include "tests/support/product_dir.h"
#include "tests/support/served_updater_test.h"
#include "tests/support/test_http_server.h"
#include "tests/support/updater_process.h"
#include "tests/support/wine_runner.h"
#include "tests/support/wizard_driver.h"
#include "tests/support/wizard_texts.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

const std::string kManifestPath = "/kelmor/update.ini";
const std::string kNewerFound = kNewerFoundPrefix + "kelmor 1.3";

std::string manifestWithVersion(const std::string& version) { return "[kelmor]\r\nVERSION=" + version + "\r\n"; }

std::optional<std::string> readManifestCopy() { return fileBytes(manifestCopyPath()); }

class VersionCheckE2eTest : public ServedUpdaterTest {
protected:
    VersionCheckE2eTest() {
        std::error_code ignored;
        fs::remove(manifestCopyPath(), ignored);  // an earlier test's copy
    }

    void serveManifest(const std::string& body) { serve(kManifestPath, body); }

    // A fresh program run with kelmor 1.26 and that URL, its wizard open.
    void start(const std::string& url) {
        product.writeConfig({"kelmor", "1.26", url});
        startOrFail();
    }

    // Presses Next and waits for the check's last word. The press is posted:
    // the wizard counts as checking once it left the state it was in.
    WizardState check() {
        const WizardState before = wizard.state();
        EXPECT_TRUE(wizard.pressNext());
        wizard.waitUntil([&](const WizardState& s) { return s.status != before.status || !s.nextEnabled; });
        return wizard.waitForCheckEnd();
    }
};

class AlreadyNewestTest : public VersionCheckE2eTest, public ::testing::WithParamInterface<Named<std::string>> {};

TEST_P(AlreadyNewestTest, DisablesTheButton) {
    serveManifest(GetParam().value);
    start(urlFor(server->port()));
    WizardState state = check();
    EXPECT_EQ(state.status, kAlreadyNewest) << state;
    EXPECT_EQ(state.nextCaption, kNextCaption);
    EXPECT_FALSE(state.nextEnabled);
    EXPECT_TRUE(state.cancelEnabled);
}

INSTANTIATE_TEST_SUITE_P(VersionCheckE2e, AlreadyNewestTest,
                         ::testing::Values(Named<std::string>{"SameVersion", manifestWithVersion("1.26")},
                                           // The default 1.0 is not above 1.26.
                                           Named<std::string>{"NoProductSection", "[other]\r\nVERSION=9.0\r\n"},
                                           Named<std::string>{"EmptyVersion", manifestWithVersion("")}),
                         byName);

class NewerFoundTest : public VersionCheckE2eTest, public ::testing::WithParamInterface<Named<std::string>> {};

TEST_P(NewerFoundTest, OffersTheUpdate) {
    serveManifest(GetParam().value);
    start(urlFor(server->port()));
    WizardState state = check();
    EXPECT_EQ(state.status, kNewerFound) << state;
    EXPECT_EQ(state.nextCaption, kUpdateCaption);
    EXPECT_TRUE(state.nextEnabled);
}

INSTANTIATE_TEST_SUITE_P(VersionCheckE2e, NewerFoundTest,
                         ::testing::Values(Named<std::string>{"SameCase", manifestWithVersion("1.3")},
                                           Named<std::string>{"SectionInOtherCase", "[KELMOR]\r\nVERSION=1.3\r\n"}),
                         byName);

TEST_F(VersionCheckE2eTest, AsksWithAPlainHttp10GetAsUpdate) {
    serveManifest(manifestWithVersion("1.3"));
    start(urlFor(server->port()));
    check();
    const auto requests = server->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "GET /kelmor/update.ini HTTP/1.0");
    EXPECT_EQ(requests[0].header("User-Agent").value_or("(none)"), "Update");
    // Past any cache on the way, for HTTP/1.0 and 1.1 caches alike.
    EXPECT_EQ(requests[0].header("Pragma").value_or("(none)"), "no-cache");
    EXPECT_EQ(requests[0].header("Cache-Control").value_or("(none)"), "no-cache");
}

TEST_F(VersionCheckE2eTest, UrlWithoutTrailingSlashJoinsTheNameWithoutOne) {
    start(urlFor(server->port(), "/dir"));
    WizardState state = check();
    EXPECT_EQ(server->countRequests("/dirupdate.ini"), 1u) << state;
}

TEST_F(VersionCheckE2eTest, SecondPressReachesAServerStartedMeanwhile) {
    const std::uint16_t port = closedPort();
    start(urlFor(port));
    WizardState state = check();
    EXPECT_EQ(state.status, kConnectFailed) << state;
    EXPECT_EQ(state.nextCaption, kNextCaption);
    ASSERT_TRUE(state.nextEnabled);

    server = std::make_unique<TestHttpServer>(product.pathOf("web"), port);
    serveManifest(manifestWithVersion("1.3"));
    state = check();
    EXPECT_EQ(state.status, kNewerFound) << state;
    EXPECT_EQ(state.nextCaption, kUpdateCaption);
}

// Enter typed during a slow check must not close the wizard before its
// result can be read; Esc still cancels.
TEST_F(VersionCheckE2eTest, EnterTypedDuringASlowCheckLeavesTheResultOnScreen) {
    ScriptedAnswer slow;
    slow.body = manifestWithVersion("1.26");
    slow.pauseAfterBytes = 0;  // held back until released
    server->script(kManifestPath, slow);
    start(url());
    ASSERT_TRUE(wizard.pressNext());
    wizard.waitUntil([&](const WizardState&) { return server->countRequests(kManifestPath) == 1; });
    wizard.pressEnter();
    server->releasePauses();

    WizardState state = wizard.waitForStatus(kAlreadyNewest);
    EXPECT_EQ(state.status, kAlreadyNewest) << state;
    EXPECT_FALSE(wizard.waitGone(std::chrono::seconds(2))) << "the Enter typed ahead closed the wizard";
    wizard.pressEsc();
    EXPECT_TRUE(wizard.waitGone());
}

// Cancel, Esc and the close box during the check close the wizard at once,
// and the program ends soon after, though the server never answers.
TEST_F(VersionCheckE2eTest, CancelDuringTheCheckClosesTheWizard) {
    ScriptedAnswer silent;
    silent.silent = true;
    server->script(kManifestPath, silent);
    for (const char* how : {"cancel", "esc", "close box"}) {
        start(url());
        ASSERT_TRUE(wizard.pressNext());
        wizard.waitUntil([&](const WizardState&) { return server->countRequests(kManifestPath) > 0; });
        const WizardState during = wizard.state();
        EXPECT_FALSE(during.nextEnabled) << how << ": Next stays disabled during the check";
        const auto pressed = std::chrono::steady_clock::now();
        if (std::string(how) == "cancel") EXPECT_TRUE(wizard.pressCancel());
        if (std::string(how) == "esc") wizard.pressEsc();
        if (std::string(how) == "close box") wizard.closeBox();
        EXPECT_TRUE(wizard.waitGone(std::chrono::seconds(10))) << how;
        EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(10)) << how;
        EXPECT_TRUE(updater->waitExit(std::chrono::seconds(20))) << how << ": the program outlived the check";
    }
}

// The manifest is read whole into memory: its product section comes after
// several read chunks of code page 936 text and bytes that are no text. A
// manifest planted at the temporary directory's update.ini, where another
// program might leave one, is never read nor touched.
TEST_F(VersionCheckE2eTest, LongManifestIsReadWholeAndAPlantedCopyIgnored) {
    std::string manifest;
    for (int i = 0; manifest.size() < 3 * 2048 + 100; ++i)
        manifest += "[FILE" + std::to_string(i) + "]\r\nFILE=\xc9\xfd\xbc\xb6" + std::to_string(i) +
                    ".dll\r\nVERSION=2024-03-05 14:30:00\r\n; \x01\x7f\xff\r\n";
    manifest += manifestWithVersion("1.3");
    serveManifest(manifest);
    const std::string planted = manifestWithVersion("9.9");
    writeFileBytes(manifestCopyPath(), planted);
    start(urlFor(server->port()));
    EXPECT_EQ(check().status, kNewerFound);
    EXPECT_EQ(readManifestCopy().value_or("(none)"), planted);
    fs::remove(manifestCopyPath());
}

struct FailedFetch {
    ScriptedAnswer answer;
};

ScriptedAnswer serverError() {
    ScriptedAnswer answer;
    answer.status = 500;
    answer.reason = "Internal Server Error";
    answer.body = manifestWithVersion("9.9");  // would be offered if it were taken
    return answer;
}

ScriptedAnswer truncatedManifest() {
    ScriptedAnswer answer;
    answer.body = manifestWithVersion("9.9");
    answer.length = ScriptedAnswer::Length::Claim;
    answer.claimedLength = 5000;
    return answer;
}

class FailedFetchTest : public VersionCheckE2eTest, public ::testing::WithParamInterface<Named<FailedFetch>> {};

TEST_P(FailedFetchTest, ShowsConnectFailedAndWritesNothing) {
    const std::string earlier = manifestWithVersion("1.3");
    serveManifest(earlier);
    start(urlFor(server->port()));
    ASSERT_EQ(check().status, kNewerFound);

    server->script(kManifestPath, GetParam().value.answer);
    start(urlFor(server->port()));
    WizardState state = check();
    EXPECT_EQ(state.status, kConnectFailed) << state;
    EXPECT_EQ(state.nextCaption, kNextCaption);
    EXPECT_TRUE(state.nextEnabled);
    EXPECT_FALSE(readManifestCopy()) << "no copy of any manifest is written";
}

// Neither a 500 nor a truncated body is ever taken for the manifest.
INSTANTIATE_TEST_SUITE_P(VersionCheckE2e, FailedFetchTest,
                         ::testing::Values(Named<FailedFetch>{"ServerError", {serverError()}},
                                           Named<FailedFetch>{"TruncatedBody", {truncatedManifest()}}),
                         byName);

// Each run asks the server again: nothing is answered from a cache.
TEST_F(VersionCheckE2eTest, ManifestChangedBetweenRunsIsSeen) {
    serveManifest(manifestWithVersion("1.3"));
    start(urlFor(server->port()));
    EXPECT_EQ(check().status, kNewerFound);

    serveManifest(manifestWithVersion("1.4"));
    start(urlFor(server->port()));
    EXPECT_EQ(check().status, kNewerFoundPrefix + "kelmor 1.4");
    EXPECT_EQ(server->countRequests(kManifestPath), 2u);
}

// A network's login page, answered in place of update.ini.
const std::string kLoginPage =
    "<!DOCTYPE html>\r\n<html><head><title>Hotel Wi-Fi</title></head>\r\n<body>[Log in] VERSION=9</body></html>\r\n";

// Update.exe /check FILE: no window, the answer in the exit code, and a
// newer version in FILE (relative to the current directory, the product
// directory's parent here). The log names the cause of a failure.
struct QuietCheck {
    ScriptedAnswer answer;
    int exitCode = 0;
    std::optional<std::string> file;  // FILE's content afterwards
    std::string logged;               // a part of Update.log
    bool keyed = false;
    std::chrono::seconds limit{20};
};

ScriptedAnswer answering(const std::string& body, int status = 200) {
    ScriptedAnswer answer;
    answer.body = body;
    answer.status = status;
    answer.reason = status == 200 ? "OK" : "Not Found";
    return answer;
}

ScriptedAnswer silentAnswer() {
    ScriptedAnswer answer;
    answer.silent = true;
    return answer;
}

class QuietCheckTest : public VersionCheckE2eTest, public ::testing::WithParamInterface<Named<QuietCheck>> {
protected:
    std::string answerName() const { return fs::path(product.path()).filename().string() + "/answer.txt"; }
    int quietCheck(std::chrono::seconds limit = std::chrono::seconds(20)) {
        launch({"/check", answerName()});
        EXPECT_TRUE(updater->waitExit(limit)) << updater->output();
        return updater->exitCode();
    }
};

TEST_P(QuietCheckTest, AnswersByExitCodeAndFile) {
    const QuietCheck& row = GetParam().value;
    if (row.keyed)
        fs::copy_file(windowsTestBinDir() + "/UpdateKeyed.exe", product.pathOf("Update.exe"),
                      fs::copy_options::overwrite_existing);
    product.writeConfig({"kelmor", "1.26", url()});
    server->script(kManifestPath, row.answer);
    EXPECT_EQ(quietCheck(row.limit + std::chrono::seconds(30)), row.exitCode);
    EXPECT_FALSE(wizard.state().found) << "no window";
    EXPECT_EQ(fileBytes(product.pathOf("answer.txt")), row.file);
    const std::string log = fileBytes(product.pathOf("Update.log")).value_or("");
    EXPECT_NE(log.find(row.logged), std::string::npos) << log;
    const std::size_t outcome = log.rfind("] end: check ");
    EXPECT_TRUE(outcome != std::string::npos && log.find('\n', outcome) + 1 == log.size()) << "last: " << log;
    // Each line: local time, its offset from UTC, the process.
    const std::regex prefix(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d\d:\d\d \[\d+\] [^\r\n]+)");
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(std::regex_match(line.substr(0, line.find('\r')), prefix)) << line;
    EXPECT_FALSE(readManifestCopy());
}

INSTANTIATE_TEST_SUITE_P(
    VersionCheckE2e, QuietCheckTest,
    ::testing::Values(
        Named<QuietCheck>{"Current", {answering(manifestWithVersion("1.26")), 0, std::nullopt, "published 1.26"}},
        Named<QuietCheck>{"Newer", {answering(manifestWithVersion("1.3")), 1, "1.3\r\n", "200 OK"}},
        Named<QuietCheck>{"NotFound", {answering("", 404), 2, std::nullopt, "no manifest taken: status 404"}},
        Named<QuietCheck>{"BadSignature",
                          {answering(manifestWithVersion("1.3")), 2, std::nullopt, "signature", true}},
        // A network's login page answered for update.ini, in either build.
        Named<QuietCheck>{"LoginPage", {answering(kLoginPage), 2, std::nullopt, "not a manifest (an HTML page)"}},
        Named<QuietCheck>{"LoginPageKeyed",
                          {answering(kLoginPage), 2, std::nullopt, "not a manifest (an HTML page)", true}},
        // Ends with the client's receive timeout (30 s), well inside the check's 120 s.
        Named<QuietCheck>{"SilentServer",
                          {silentAnswer(), 2, std::nullopt, "not sent after", false, std::chrono::seconds(150)}}),
    byName);

// The answer replaces an older FILE; a FILE that cannot be written (a folder
// stands there) makes the check fail; a cut commit is left to the wizard
// and nothing is asked of the server.
TEST_F(QuietCheckTest, ReplacesFileFailsOnAnUnwritableOneAndLeavesACutCommit) {
    product.writeConfig({"kelmor", "1.26", url()});
    serveManifest(manifestWithVersion("1.3"));
    product.writeFile("answer.txt", "0.9 and more\r\n");
    EXPECT_EQ(quietCheck(), 1);
    EXPECT_EQ(product.readFile("answer.txt"), "1.3\r\n");

    fs::remove(product.pathOf("answer.txt"));
    fs::create_directory(product.pathOf("answer.txt"));
    EXPECT_EQ(quietCheck(), 2);
    EXPECT_NE(product.readFile("Update.log").find("cannot write the answer file: error "), std::string::npos);
    fs::remove(product.pathOf("answer.txt"));

    const std::string journal = updater::journalRecordText({updater::JournalStep::Replace, "a.dll"}, 1);
    product.writeFile(".update/update.journal", journal);
    product.writeFile(".update/old/a.dll", "old a");
    const std::size_t asked = server->countRequests(kManifestPath);
    EXPECT_EQ(quietCheck(), 2);
    EXPECT_EQ(server->countRequests(kManifestPath), asked);
    EXPECT_EQ(product.readFile(".update/update.journal"), journal);
    EXPECT_EQ(product.readFile(".update/old/a.dll"), "old a");
    EXPECT_FALSE(product.exists("answer.txt"));
}

// A check beside an open wizard neither waits for it nor takes its folder:
// the wizard still checks and offers the update afterwards. The guide's C
// code, run from the product's folder, reads the same answer.
TEST_F(QuietCheckTest, RunsBesideAnOpenWizardAndAnswersTheGuidesCode) {
    configure();
    serveManifest(manifestWithVersion("1.3"));
    startOrFail();
    WineProcess check(product.exeWindowsPath(), {"/check"}, fs::path(product.path()).parent_path().string());
    EXPECT_EQ(check.wait(std::chrono::seconds(20)), 1) << check.output();
    EXPECT_EQ(VersionCheckE2eTest::check().status, kNewerFound);

    fs::copy_file(windowsTestBinDir() + "/check_snippet_run.exe", product.pathOf("kelmor.exe"));
    WineProcess product_(toWindowsPath(product.pathOf("kelmor.exe")), {}, product.path());
    EXPECT_EQ(product_.wait(std::chrono::seconds(20)), 1) << product_.output();
    EXPECT_NE(product_.output().find("newer: 1.3."), std::string::npos) << product_.output();

    // StartUpdater: 3 while a wizard holds the folder (the product stays
    // open), 1 once its own copy is running, 0 when there is none to start.
    const auto startUpdater = [&] {
        WineProcess start(toWindowsPath(product.pathOf("kelmor.exe")), {"start"}, product.path());
        return start.wait(std::chrono::seconds(40));
    };
    // UpdateNow: 3 beside the wizard, 4 from the running product itself,
    // 2 without an updater.
    const auto updateNow = [&] {
        WineProcess update(toWindowsPath(product.pathOf("kelmor.exe")), {"update"}, product.path());
        return update.wait(std::chrono::seconds(60));
    };
    EXPECT_EQ(startUpdater(), 3);
    EXPECT_EQ(updateNow(), 3);
    ASSERT_TRUE(wizard.pressCancel());
    ASSERT_TRUE(updater->waitExit());
    EXPECT_EQ(startUpdater(), 1);
    EXPECT_TRUE(wizard.waitOpen().visible);
    wizard.pressCancel();
    EXPECT_TRUE(wizard.waitGone());
    int answer = 3;
    // The closed wizard's process lets go of the folder a moment after its window.
    for (int tries = 0; tries < 5 && answer == 3; ++tries) answer = updateNow();
    EXPECT_EQ(answer, 4);
    fs::rename(product.pathOf("Update.exe"), product.pathOf("Update.exe.moved"));
    EXPECT_EQ(startUpdater(), 0);
    EXPECT_EQ(updateNow(), 2);
}

}  // namespace
}  // namespace testsupport
