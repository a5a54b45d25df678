// The update run end to end: kelmor 1.26 in a product directory, a server
// with update.ini and newer files, and the real Update.exe under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/manifest/side_files.h"
#include "engine/report/messages.h"
#include "tests/support/file_bytes.h"
#include "tests/support/named_param.h"
#include "tests/support/poll.h"
#include "tests/support/probe_client.h"
#include "tests/support/product_dir.h"
#include "tests/support/served_updater_test.h"
#include "tests/support/sha256_hex.h"
#include "tests/support/test_http_server.h"
#include "tests/support/translations.h"
#include "tests/support/updater_process.h"
#include "tests/support/wine_runner.h"
#include "tests/support/wizard_driver.h"
#include "tests/support/wizard_texts.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kNewProductLine = "kelmor 1.3";
const std::string kPublished = "2024-03-05 14:30:00";
constexpr std::time_t kOldFiles = 1577836800;  // 2020-01-01, before the publication

// The manifest's times are local times: the same conversion as the program's,
// under the TZ that the test run gives Wine too.
std::time_t localTimeToUtc(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}
const std::time_t kPublishedUtc = localTimeToUtc(2024, 3, 5, 14, 30, 0);

struct Entry {
    std::string file;
    std::string version = kPublished;
};

std::string manifest(const std::vector<Entry>& entries) {
    std::string text = "[kelmor]\r\nVERSION=1.3\r\n";
    for (std::size_t i = 0; i < entries.size(); ++i)
        text += "[FILE" + std::to_string(i) + "]\r\nFILE=" + entries[i].file + "\r\nVERSION=" + entries[i].version + "\r\n";
    return text;
}

// Every name under the directory but the updater's own log, which no run may
// count as a product file.
std::set<std::string> namesIn(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(directory))
        if (item.path().filename() != "Update.log") names.insert(fs::relative(item.path(), directory).string());
    return names;
}

// kelmor 1.26 with a.dll and b.dll from 2020; the server offers kelmor 1.3.
class UpdateRunE2eTest : public ServedUpdaterTest {
protected:
    UpdateRunE2eTest() {
        std::error_code ignored;
        fs::remove(manifestCopyPath(), ignored);  // an earlier test's copy
        configure();
        product.writeFile("a.dll", "old a", kOldFiles);
        product.writeFile("b.dll", "old b", kOldFiles);
    }

    void serveManifest(const std::vector<Entry>& entries) { serve("/kelmor/update.ini", manifest(entries)); }
    void serveFile(const std::string& name, const std::string& bytes) { serve("/kelmor/" + name, bytes); }

    // A fresh program run, checked and waiting in stage Update.
    void startChecked() {
        ASSERT_NO_FATAL_FAILURE(startOrFail());
        checkUntilOffered();
    }

    WizardState update() {
        EXPECT_TRUE(wizard.pressNext());
        return finished();
    }

    WizardState finished() {
        WizardState state =
            wizard.waitUntil([&](const WizardState& s) { return s.nextCaption == finishCaption && s.responsive; });
        EXPECT_EQ(state.nextCaption, finishCaption) << state << "\n" << (wizard.box() ? wizard.box()->text : "");
        return state;
    }

    using Lines = std::vector<std::string>;
};

// The locale sets the program's ANSI code page; the texts read the same
// in every one: 936 (the run's own), 1252, 950 and 932. A brand's build
// shows the texts of its Language; auto follows the locale's UI language.
struct TypicalRun {
    std::string locale;              // empty: the run's own
    std::string language = "zh-CN";  // of the table's texts that show
    std::string exe;                 // a test build for a brand's Language; empty: Update.exe
    std::string product = "kelmor";  // what the wizard calls the product
};
class TypicalUpdateTest : public UpdateRunE2eTest, public ::testing::WithParamInterface<Named<TypicalRun>> {};

TEST_P(TypicalUpdateTest, ReplacesTheFilesAndFinishes) {
    const TypicalRun& run = GetParam().value;
    const auto text = [&](const std::string& row) { return translated(run.language, row); };
    if (!run.exe.empty())
        fs::copy_file(windowsTestBinDir() + "/" + run.exe, product.pathOf("Update.exe"),
                      fs::copy_options::overwrite_existing);
    updateCaption = text("106");
    finishCaption = text("107");
    const std::string newA = patternBytes(5000, 1);
    serveManifest({{"a.dll"}, {"b.dll"}});
    serveFile("a.dll", newA);
    serveFile("b.dll", "new b");
    // Read-only to Windows: the file is replaced all the same.
    fs::permissions(product.pathOf("b.dll"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
    {
        const ScopedLocale codePage(run.locale);
        ASSERT_NO_FATAL_FAILURE(startChecked());
    }
    EXPECT_EQ(wizard.state().caption, text("Title"));
    EXPECT_EQ(wizard.state().cancelCaption, text("Cancel"));
    EXPECT_EQ(wizard.state().status, updater::fillPercentS(text("112"), {run.product, "1.3"}));
    WizardState state = update();

    EXPECT_EQ(state.lines, (Lines{updater::fillPercentS(text("115"), {"a.dll"}),
                                  updater::fillPercentS(text("115"), {"b.dll"}), run.product + " 1.3"}));
    EXPECT_EQ(state.status, text("116"));
    EXPECT_TRUE(state.nextEnabled);
    EXPECT_TRUE(product.readFile("a.dll") == newA);
    EXPECT_EQ(product.readFile("b.dll"), "new b");
    EXPECT_FALSE(product.exists("a.dll.upg") || product.exists("b.dll.upg"));
    EXPECT_NE(fs::status(product.pathOf("b.dll")).permissions() & fs::perms::owner_write, fs::perms::none)
        << "the new file is never read-only";
    EXPECT_FALSE(product.exists(".update")) << "the write probe's folder goes with it";
    EXPECT_FALSE(fs::exists(manifestCopyPath())) << "the manifest never goes through a temporary file";

    ASSERT_TRUE(wizard.pressNext());
    EXPECT_TRUE(updater->waitExit()) << wizard.state();
}

INSTANTIATE_TEST_SUITE_P(UpdateRunE2e, TypicalUpdateTest,
                         ::testing::Values(Named<TypicalRun>{"Cp936", {""}}, Named<TypicalRun>{"Cp1252", {"en_US.UTF-8"}},
                                           Named<TypicalRun>{"Cp950", {"zh_TW.UTF-8"}},
                                           Named<TypicalRun>{"Cp932", {"ja_JP.UTF-8"}},
                                           Named<TypicalRun>{"English", {"en_US.UTF-8", "en", "Update-en.exe"}},
                                           Named<TypicalRun>{"TraditionalChinese", {"zh_TW.UTF-8", "zh-TW", "Update-zh-TW.exe"}},
                                           Named<TypicalRun>{"Japanese", {"", "ja", "Update-ja.exe"}},
                                           Named<TypicalRun>{"AutoJapanese", {"ja_JP.UTF-8", "ja", "Update-auto.exe"}},
                                           Named<TypicalRun>{"AutoGermanIsEnglish",
                                                             {"de_DE.UTF-8", "en", "Update-auto.exe", "Kelmor Pro"}}),
                         byName);

// Under 1252 (English Windows) European names are text of the code page.
TEST_F(UpdateRunE2eTest, EuropeanNamesUpdateUnderCodePage1252) {
    serveManifest({{"caf\xE9.txt"}, {"na\xEFve/\xFC" "ber.dat"}});
    serveFile("caf\xE9.txt", "new cafe");
    serveFile("na\xEFve/\xFC" "ber.dat", "new uber");
    {
        const ScopedLocale codePage("en_US.UTF-8");
        ASSERT_NO_FATAL_FAILURE(startChecked());
    }
    const WizardState state = update();
    EXPECT_EQ(state.lines, (Lines{"café.txt 更新完成", "naïve/über.dat 更新完成", kNewProductLine}));
    EXPECT_EQ(product.readFile("café.txt"), "new cafe");
    EXPECT_EQ(product.readFile("naïve/über.dat"), "new uber");
}

TEST_F(UpdateRunE2eTest, TimestampsDecideWhatIsDownloaded) {
    product.writeFile("same.dll", "same", kPublishedUtc);           // the same second: current
    product.writeFile("older.dll", "older", kPublishedUtc - 1);     // a second before: downloaded
    product.writeFile("newer.dll", "newer", kPublishedUtc + 3600);  // after: current
    serveManifest({{"same.dll"}, {"older.dll"}, {"newer.dll"}, {"missing.dll", "not a date"}});
    for (const std::string name : {"same.dll", "older.dll", "newer.dll", "missing.dll"}) serveFile(name, "new " + name);
    ASSERT_NO_FATAL_FAILURE(startChecked());
    WizardState state = update();

    EXPECT_EQ(state.lines, (Lines{"older.dll 更新完成", "missing.dll 更新完成", kNewProductLine}));
    EXPECT_EQ(server->countRequests("/kelmor/same.dll"), 0u);
    EXPECT_EQ(server->countRequests("/kelmor/newer.dll"), 0u);
    EXPECT_EQ(product.readFile("same.dll"), "same");
    EXPECT_EQ(product.readFile("older.dll"), "new older.dll");
    EXPECT_EQ(product.readFile("missing.dll"), "new missing.dll");
}

TEST_F(UpdateRunE2eTest, FailedFilesAreListedAndTheRunGoesOn) {
    ScriptedAnswer error;
    error.status = 500;
    error.reason = "Internal Server Error";
    error.body = "error page";
    server->script("/kelmor/a.dll", error);
    ScriptedAnswer shortBody;
    shortBody.body = patternBytes(3000, 2);
    shortBody.length = ScriptedAnswer::Length::Claim;
    shortBody.claimedLength = 8192;
    server->script("/kelmor/b.dll", shortBody);
    serveFile("ok.dll", "new ok");
    // x.dll is not on the server.
    serveManifest({{"x.dll"}, {"a.dll"}, {"b.dll"}, {"ok.dll"}});
    ASSERT_NO_FATAL_FAILURE(startChecked());
    WizardState state = update();

    EXPECT_EQ(state.lines, (Lines{"x.dll  不存在!", "x.dll 更新失败", "500 Internal Server Error", "a.dll 更新失败",
                                  "b.dll 更新失败", "ok.dll 更新完成", kNewProductLine}));
    EXPECT_EQ(state.status, kFinished);
    EXPECT_EQ(product.readFile("a.dll"), "old a");
    EXPECT_EQ(product.readFile("b.dll"), "old b");
    EXPECT_EQ(product.readFile("ok.dll"), "new ok");
    for (const std::string name : {"x.dll", "x.dll.upg", "a.dll.upg", "b.dll.upg"})
        EXPECT_FALSE(product.exists(name)) << name;
}

// The check reached the server; then it stops, and every file request is refused.
TEST_F(UpdateRunE2eTest, RefusedFileRequestsListTheErrorText) {
    serveManifest({{"a.dll"}, {"b.dll"}});
    ASSERT_NO_FATAL_FAILURE(startChecked());
    server.reset();
    WizardState state = update();

    ASSERT_EQ(state.lines.size(), 5u) << state;
    const std::string& errorText = state.lines[0];
    EXPECT_FALSE(errorText.empty());
    EXPECT_EQ(errorText.find("更新"), std::string::npos) << errorText;
    EXPECT_EQ(state.lines, (Lines{errorText, "a.dll 更新失败", errorText, "b.dll 更新失败", kNewProductLine}));
    EXPECT_EQ(product.readFile("a.dll"), "old a");
    EXPECT_EQ(product.readFile("b.dll"), "old b");
}

// The running updater cannot replace itself: its new copy waits beside it,
// whatever letter case the manifest names it in.
TEST_F(UpdateRunE2eTest, NewUpdaterIsKeptAsideTwiceInARow) {
    const std::string running = product.readFile("Update.exe");
    const std::vector<std::pair<std::string, std::string>> runs = {{"Update.exe", patternBytes(3000, 3)},
                                                                   {"update.exe", patternBytes(2500, 4)}};
    for (const auto& [name, bytes] : runs) {
        // Later than the copy's own time, so that it is downloaded on every run.
        serveManifest({{name, "2099-01-01 00:00:00"}});
        serveFile(name, bytes);
        ASSERT_NO_FATAL_FAILURE(startChecked());
        WizardState state = update();
        EXPECT_EQ(state.lines, (Lines{name + " 更新完成", kNewProductLine}));
        EXPECT_TRUE(product.readFile("Update.exe.bck") == bytes) << name;
        EXPECT_TRUE(product.readFile("Update.exe") == running) << name;
        EXPECT_FALSE(product.exists(name + ".upg")) << name;
    }
}

// A run killed between its two creation steps leaves a stale download and
// the side file beside it; the next run replaces both.
TEST_F(UpdateRunE2eTest, LeftoversOfAKilledRunAreReplaced) {
    product.writeFile("a.dll.upg", "stale download", kOldFiles);
    product.writeFile("a.dll.upg.new", "stale side file", kOldFiles);
    serveManifest({{"a.dll"}});
    serveFile("a.dll", "new a");
    ASSERT_NO_FATAL_FAILURE(startChecked());
    WizardState state = update();
    EXPECT_EQ(state.lines, (Lines{"a.dll 更新完成", kNewProductLine}));
    EXPECT_EQ(product.readFile("a.dll"), "new a");
    EXPECT_FALSE(product.exists("a.dll.upg"));
    EXPECT_FALSE(product.exists("a.dll.upg.new"));
}

// A file in a folder the installation lacks gets the folder.
TEST_F(UpdateRunE2eTest, MissingSubdirectoryIsMade) {
    serveManifest({{"sub/deeper/x.dll"}, {"a.dll"}});
    serveFile("sub/deeper/x.dll", "new x");
    serveFile("a.dll", "new a");
    ASSERT_NO_FATAL_FAILURE(startChecked());
    WizardState state = update();
    EXPECT_EQ(state.lines, (Lines{"sub/deeper/x.dll 更新完成", "a.dll 更新完成", kNewProductLine}));
    EXPECT_EQ(product.readFile("sub/deeper/x.dll"), "new x");
}

// The bar moves with the body: 50 while the first 2048 of 4096 bytes are in
// and the rest is held back, 100 at the end. The window answers meanwhile.
TEST_F(UpdateRunE2eTest, ProgressShowsEachChunk) {
    ScriptedAnswer held;
    held.body = patternBytes(4096, 5);
    held.pauseAfterBytes = 2048;
    server->script("/kelmor/a.dll", held);
    serveManifest({{"a.dll"}});
    ASSERT_NO_FATAL_FAILURE(startChecked());
    ASSERT_TRUE(wizard.pressNext());
    WizardState state = wizard.waitUntil([](const WizardState& s) { return s.responsive && s.progress == 50; });
    EXPECT_EQ(state.progress, 50) << state;
    EXPECT_EQ(state.status, kDownloadingPrefix + "a.dll") << state;

    server->releasePauses();
    state = finished();
    EXPECT_EQ(state.progress, 100);
    EXPECT_TRUE(product.readFile("a.dll") == *held.body);
}

// Cancel during the run reaches the dialog, whose thread keeps answering while
// the worker runs: the wizard goes away, but the run goes on unseen to its end
// before the program exits.
TEST_F(UpdateRunE2eTest, CancelDuringTheRunLetsItFinishUnseen) {
    ScriptedAnswer held;
    held.body = patternBytes(6000, 9);
    held.pauseAfterBytes = 0;
    server->script("/kelmor/a.dll", held);
    serveFile("b.dll", "new b");
    serveManifest({{"a.dll"}, {"b.dll"}});
    ASSERT_NO_FATAL_FAILURE(startChecked());
    ASSERT_TRUE(wizard.pressNext());
    WizardState state = wizard.waitForStatus(kDownloadingPrefix + "a.dll");
    ASSERT_EQ(state.status, kDownloadingPrefix + "a.dll") << state;
    ASSERT_TRUE(state.cancelEnabled);

    ASSERT_TRUE(wizard.pressCancel());
    server->releasePauses();
    EXPECT_TRUE(updater->waitExit()) << wizard.state();
    EXPECT_TRUE(product.readFile("a.dll") == *held.body);
    EXPECT_EQ(product.readFile("b.dll"), "new b");
    EXPECT_FALSE(product.exists("a.dll.upg") || product.exists("b.dll.upg"));
}

// A product that still runs holds its file: the old one stays whole, and the
// download waits beside it.
TEST_F(UpdateRunE2eTest, HeldFileFailsAndKeepsTheDownloadBesideIt) {
    const std::string newA = patternBytes(3000, 6);
    serveManifest({{"a.dll"}, {"b.dll"}});
    serveFile("a.dll", newA);
    serveFile("b.dll", "new b");
    const std::string ready = product.pathOf(".held");
    WineProcess holder(toWindowsPath(windowsTestBinDir() + "/fake_product.exe"),
                       {toWindowsPath(ready), toWindowsPath(product.pathOf("a.dll"))}, product.path());
    const auto held = [&] { return readFileBytes(ready).find('\n') != std::string::npos; };
    ASSERT_TRUE(pollUntil([&] { return held() || !holder.running(); }, 15s) && held()) << holder.output();
    ASSERT_NO_FATAL_FAILURE(startChecked());
    WizardState state = update();

    EXPECT_EQ(state.lines, (Lines{"a.dll 更新失败", "b.dll 更新完成", kNewProductLine}));
    EXPECT_EQ(product.readFile("a.dll"), "old a");
    ASSERT_TRUE(product.exists("a.dll.upg"));
    EXPECT_TRUE(product.readFile("a.dll.upg") == newA);
    EXPECT_EQ(product.readFile("b.dll"), "new b");
}

// Names from the server must not reach outside the program directory, into
// a file's alternate stream or a device, nor name a directory, a name Windows
// cannot hold or would open as another file, an updater's side file, or one
// file twice: none is requested, nothing is written. A lone lead byte at the
// end of a line reads as "?".
TEST_F(UpdateRunE2eTest, NamesLeavingTheProgramDirectoryAreRefused) {
    fs::create_directory(product.pathOf("plugins"));
    const std::vector<std::string> names = {"..\\x.dll", "../x.dll", "a/../../x.dll", "C:\\x.dll", "\\x.dll",
                                            "//host/x.dll", "a.dll:s", "CON", "lpt1.txt", "plugins\\", "plugins",
                                            "a.dll.", "q?x.txt", "pi|pe.txt", "lt<.txt", "qu\"ote.txt",
                                            "KELMOR~1.EXE", "a.dll.upg", "dup.dll", "DUP.dll", "lead\x81"};
    std::vector<Entry> entries;
    Lines expected;
    for (const std::string& name : names) {
        entries.push_back({name});
        expected.push_back((name.back() == '\x81' ? name.substr(0, name.size() - 1) + "?" : name) + " 更新失败");
    }
    expected.push_back(kNewProductLine);
    serveManifest(entries);
    const std::set<std::string> before = namesIn(product.path());
    ASSERT_NO_FATAL_FAILURE(startChecked());
    WizardState state = update();

    EXPECT_EQ(state.lines, expected);
    const auto requests = server->requests();
    ASSERT_EQ(requests.size(), 1u) << requests.back().requestLine;
    EXPECT_EQ(requests[0].target, "/kelmor/update.ini");
    EXPECT_EQ(namesIn(product.path()), before);
    EXPECT_FALSE(fs::exists(fs::path(product.path()).parent_path() / "x.dll"));
    EXPECT_EQ(product.readFile("a.dll"), "old a");
}

// Killed while a download stalls: every product file is whole, old or new;
// the next run finishes the update and logs that the killed one ended
// without an outcome line, once.
TEST_F(UpdateRunE2eTest, KilledInTheMiddleLeavesEveryFileWhole) {
    serveFile("b.dll", "new b");
    ScriptedAnswer stalled;
    stalled.body = patternBytes(8192, 7);
    stalled.cutAfterBytes = 2048;
    server->script("/kelmor/a.dll", stalled);
    serveManifest({{"b.dll"}, {"a.dll"}});
    ASSERT_NO_FATAL_FAILURE(startChecked());
    ASSERT_TRUE(wizard.pressNext());
    WizardState state = wizard.waitForStatus(kDownloadingPrefix + "a.dll");
    ASSERT_EQ(state.status, kDownloadingPrefix + "a.dll") << state;

    updater.reset();
    EXPECT_EQ(product.readFile("b.dll"), "new b");
    EXPECT_EQ(product.readFile("a.dll"), "old a");
    std::set<std::string> left = namesIn(product.path());
    left.erase("a.dll.upg");  // the unfinished download may stay beside the old file
    EXPECT_EQ(left, (std::set<std::string>{"Update.exe", "updataAdd.ini", "a.dll", "b.dll"}));

    serveFile("a.dll", "new a");
    ASSERT_NO_FATAL_FAILURE(startChecked());
    update();
    ASSERT_TRUE(wizard.pressNext());
    EXPECT_TRUE(updater->waitExit());
    const std::string log = product.readFile("Update.log");
    const std::size_t killedId = log.find("] Update.exe ");
    ASSERT_NE(killedId, std::string::npos) << log;
    const std::string killed = log.substr(log.rfind('[', killedId), killedId + 1 - log.rfind('[', killedId));
    const std::string missing = "previous run " + killed + " ended without an outcome";
    EXPECT_NE(log.find(missing), std::string::npos) << log;
    EXPECT_EQ(log.find(missing), log.rfind(missing)) << log;
    EXPECT_NE(log.find("end: wizard updated 1\r\n"), std::string::npos) << log;
}

// A link planted at the download path is removed, never written through:
// the file it points to keeps its bytes, and the download is a file of its own.
TEST_F(UpdateRunE2eTest, LinkAtTheDownloadPathIsNotWrittenThrough) {
    const std::string victim = product.path() + "-victim";  // beside the program directory
    writeFileBytes(victim, "not the updater's");
    fs::create_symlink(victim, product.pathOf("a.dll.upg"));
    serveManifest({{"a.dll"}});
    serveFile("a.dll", "new a");
    ASSERT_NO_FATAL_FAILURE(startChecked());
    WizardState state = update();

    EXPECT_EQ(state.lines, (Lines{"a.dll 更新完成", kNewProductLine}));
    EXPECT_EQ(product.readFile("a.dll"), "new a");
    EXPECT_FALSE(fs::is_symlink(product.pathOf("a.dll")));
    EXPECT_EQ(readFileBytes(victim), "not the updater's");
    fs::remove(victim);
}

// A small file system mounted over the program directory (a mount below it
// is a reparse point, which the updater refuses), holding a copy of what was
// there and a filler that leaves 64 KiB, so the disk fills during a download.
// Unmounted, the directory gets what the small one held. Needs the right to
// mount (root here).
class FullDisk {
public:
    explicit FullDisk(const std::string& directory) : directory_(directory), saved_(directory + "-saved") {
        sh("rm -rf " + saved_ + " && cp -a " + directory + " " + saved_);
        mounted_ = sh("mount -t tmpfs -o size=8m updater-test " + directory + " 2>/dev/null");
        if (mounted_ && sh("cp -a " + saved_ + "/. " + directory + "/")) {
            const std::uintmax_t free = fs::space(directory).available;
            if (free > kLeft) writeFileBytes(directory + "/filler.bin", std::string(free - kLeft, 'f'));
        }
        sh("rm -rf " + saved_);
    }
    ~FullDisk() {
        if (!mounted_) return;
        sh("rm -f " + directory_ + "/filler.bin && cp -a " + directory_ + " " + saved_ + " && umount -l " + directory_ +
           " && find " + directory_ + " -mindepth 1 -delete && cp -a " + saved_ + "/. " + directory_ + "/");
        sh("rm -rf " + saved_);
    }
    bool mounted() const { return mounted_; }

private:
    static constexpr std::uintmax_t kLeft = 64 * 1024;
    static bool sh(const std::string& command) { return std::system(command.c_str()) == 0; }
    std::string directory_, saved_;
    bool mounted_ = false;
};

// A full disk says so (61869 with the path), and leaves no partial download
// to keep it full.
TEST_F(UpdateRunE2eTest, FullDiskSaysSoAndLeavesNoDownload) {
    product.writeFile("data/big.bin", "old big", kOldFiles);
    FullDisk disk(product.path());
    if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs is not allowed here";
    serveManifest({{"data/big.bin"}});
    serveFile("data/big.bin", patternBytes(1 << 20, 9));
    ASSERT_NO_FATAL_FAILURE(startChecked());
    ASSERT_TRUE(wizard.pressNext());

    auto box = wizard.waitForBox(60s);
    ASSERT_TRUE(box) << wizard.state();
    EXPECT_EQ(box->text, "在存取 " + toWindowsPath(product.path()) + "\\data/big.bin.upg 时磁盘已满。");
    EXPECT_EQ(box->icon, BoxIcon::Stop) << *box;
    ASSERT_TRUE(wizard.answerBox(kOkId));
    WizardState state = wizard.waitUntil([](const WizardState& s) { return s.responsive; });
    EXPECT_EQ(state.status, kDownloadingPrefix + "data/big.bin") << state;
    EXPECT_EQ(product.readFile("data/big.bin"), "old big");
    EXPECT_FALSE(product.exists("data/big.bin.upg"));
}

// The elevated copy, started here directly: it checks by itself, and goes on
// to the run only when it finds the version it was started for. What a user
// may plant for it acts nowhere outside the program directory: data/ a link
// to a folder of theirs, Update.log a hard link to a file of theirs.
enum class Planted { Nothing, FolderLink, HardLinkedLog };

struct ElevatedRun {
    std::string version;
    bool runs;
    Planted planted = Planted::Nothing;
};

class ElevatedRunTest : public UpdateRunE2eTest, public ::testing::WithParamInterface<Named<ElevatedRun>> {};

TEST_P(ElevatedRunTest, ChecksByItselfAndGoesOnOnlyForItsVersion) {
    const ElevatedRun& row = GetParam().value;
    const std::string outside = product.path() + "-outside";  // a folder of the user's
    writeFileBytes(outside + "/c.dll", "not the updater's");
    if (row.planted == Planted::FolderLink) fs::create_directory_symlink(outside, product.pathOf("data"));
    if (row.planted == Planted::HardLinkedLog) fs::create_hard_link(outside + "/c.dll", product.pathOf("Update.log"));
    serveManifest({{"a.dll"}, {"data/c.dll"}});
    serveFile("a.dll", "new a");
    serveFile("data/c.dll", "new c");
    launch({"/elevated-run", row.version});
    const WizardState state = row.runs ? finished() : wizard.waitForCheckEnd();
    EXPECT_EQ(state.status, row.runs ? kFinished : kNewerFoundPrefix + kNewProductLine) << state;
    EXPECT_EQ(product.readFile("a.dll"), row.runs ? "new a" : "old a");
    EXPECT_EQ(server->countRequests("/kelmor/update.ini"), 1u);
    EXPECT_EQ(server->countRequests("/kelmor/data/c.dll"), row.runs && row.planted != Planted::FolderLink ? 1u : 0u);
    EXPECT_EQ(readFileBytes(outside + "/c.dll"), "not the updater's");
    if (row.planted == Planted::FolderLink)
        EXPECT_NE(product.readFile("Update.log").find("data/c.dll: " + toWindowsPath(product.pathOf("data")) +
                                                      " is a reparse point (a link) below the program directory"),
                  std::string::npos);
    fs::remove_all(outside);
}

INSTANTIATE_TEST_SUITE_P(UpdateRunElevated, ElevatedRunTest,
                         ::testing::Values(Named<ElevatedRun>{"FoundItsVersion", {"1.3", true}},
                                           Named<ElevatedRun>{"FoundAnother", {"1.4", false}},
                                           Named<ElevatedRun>{"NumberNotText", {"1.30", false}},
                                           Named<ElevatedRun>{"LinkBelowTheProgramDirectory",
                                                              {"1.3", true, Planted::FolderLink}},
                                           Named<ElevatedRun>{"HardLinkedLog", {"1.3", true, Planted::HardLinkedLog}}),
                         byName);

// The directory read-only for every process: a read-only bind mount of
// itself, unmounted lazily (the Wine server may still hold it open).
struct ReadOnlyDirectory {
    explicit ReadOnlyDirectory(const std::string& path) : path(path) {
        mounted = std::system(("mount --bind " + path + " " + path + " 2>/dev/null").c_str()) == 0;
        readOnly = mounted && std::system(("mount -o remount,bind,ro " + path + " 2>/dev/null").c_str()) == 0;
    }
    ~ReadOnlyDirectory() {
        if (mounted) std::system(("umount -l " + path).c_str());
    }
    std::string path;
    bool mounted = false, readOnly = false;
};

// Update hands the run to an elevated copy and ends. Under Wine "runas"
// starts the copy without a prompt and with the same rights, so the copy
// cannot write either: it says so and changes nothing, and starts no other.
// What Wine cannot show (the prompt, its refusal, the VirtualStore) is in
// docs/INTEGRATION.md; the refusal is the launcher's unit test.
TEST_F(UpdateRunE2eTest, ReadOnlyDirectoryHandsTheRunToAnElevatedCopy) {
    serveManifest({{"a.dll"}});
    serveFile("a.dll", "new a");
    const fs::path profileLog = userProfilePath() / "AppData" / "Local" / "kelmor" / "Update.log";
    fs::remove(profileLog);
    const ReadOnlyDirectory readOnly(product.path());
    if (!readOnly.readOnly) GTEST_SKIP() << "a read-only bind mount is not allowed here";
    ASSERT_NO_FATAL_FAILURE(startChecked());
    ASSERT_TRUE(wizard.pressNext());
    ASSERT_TRUE(updater->waitExit()) << wizard.state();
    EXPECT_EQ(updater->exitCode(), 0);

    // The copy's own check, then its verdict.
    const WizardState state = wizard.waitForStatus(kNoRightsToInstall);
    EXPECT_EQ(state.status, kNoRightsToInstall) << state;
    EXPECT_EQ(state.nextCaption, kUpdateCaption);
    EXPECT_TRUE(state.nextEnabled);
    EXPECT_EQ(server->countRequests("/kelmor/update.ini"), 2u);
    EXPECT_EQ(server->countRequests("/kelmor/a.dll"), 0u);
    EXPECT_EQ(product.readFile("a.dll"), "old a");
    ProbeClient& probe = ProbeClient::shared();
    probe.setTarget(product.exeName());
    EXPECT_EQ(probe.call("PROCS").number("count"), 1) << "one copy only: the elevated one starts no other";
    updater.reset();  // ends every copy before the directory is unmounted
    // Nothing could log beside the program: the wizard logged into the
    // user's profile, and the elevated copy never does.
    const std::string log = readFileBytes(profileLog);
    EXPECT_NE(log.find(": strSoft=kelmor"), std::string::npos) << log;
    EXPECT_EQ(log.find("elevated run"), std::string::npos) << log;
}

// --- Whole releases ---

struct Published {
    std::string file;
    std::string bytes;
};

std::string sizeAndHash(const std::string& prefix, const std::string& bytes) {
    return prefix + "SIZE=" + std::to_string(bytes.size()) + "\r\n" + prefix + "SHA256=" + sha256Hex(bytes) + "\r\n";
}

std::string wholeManifest(const std::vector<Published>& files, const std::string& more = "") {
    std::string text = "[kelmor]\r\nVERSION=1.3\r\nWHOLE=1\r\n";
    for (std::size_t i = 0; i < files.size(); ++i)
        text += "[FILE" + std::to_string(i) + "]\r\nFILE=" + files[i].file + "\r\nVERSION=" + kPublished + "\r\n" +
                sizeAndHash("", files[i].bytes);
    return text + more;
}

// What "nothing changed" compares: every file but the side files and the
// release's own folder (.update, where cut downloads wait), with its bytes
// and last-write time, and every folder.
using Installation = std::map<std::string, std::string>;

Installation installation(const std::string& directory) {
    Installation seen;
    for (const auto& item : fs::recursive_directory_iterator(directory)) {
        const std::string name = fs::relative(item.path(), directory).generic_string();
        if (name == "web" || name.rfind("web/", 0) == 0 || name == ".update" || name.rfind(".update/", 0) == 0 ||
            updater::isSideFileName(name))
            continue;
        if (item.is_directory()) {
            seen[name + "/"] = "";
            continue;
        }
        seen[name] = readFileBytes(item.path().string()) + "@" +
                     std::to_string(item.last_write_time().time_since_epoch().count());
    }
    return seen;
}

// kelmor 1.3 as a whole release: a.dll and b.dll changed, data/c.dat last.
class WholeReleaseE2eTest : public UpdateRunE2eTest {
protected:
    const std::vector<Published> release{
        {"a.dll", patternBytes(3000, 11)}, {"b.dll", "new b"}, {"data/c.dat", patternBytes(70000, 12)}};

    WholeReleaseE2eTest() { product.writeFile("data/c.dat", "old c", kOldFiles); }

    void publish(const std::string& more = "") {
        serve("/kelmor/update.ini", wholeManifest(release, more));
        for (const Published& file : release) serveFile(file.file, file.bytes);
    }
    std::size_t requestsFor(const Published& file) const { return server->countRequests("/kelmor/" + file.file); }

    // The release failed: status 121 with the bar at 0, Update offered again,
    // no product line.
    WizardState notDone() {
        WizardState state = wizard.waitUntil([](const WizardState& s) {
            return s.status == kReleaseNotDone && s.nextEnabled && s.responsive && s.progress == 0;
        });
        EXPECT_EQ(state.status, kReleaseNotDone) << state;
        EXPECT_EQ(state.progress, 0) << state;
        EXPECT_EQ(state.nextCaption, kUpdateCaption) << state;
        EXPECT_EQ(std::count(state.lines.begin(), state.lines.end(), kNewProductLine), 0) << state;
        return state;
    }
};

// The last file fails in five ways. Nothing changes, the next check offers the
// update again (after a 404, Update pressed again in the same wizard, which
// starts from the product line alone), and the next run fetches only the file
// that failed; the others wait in their downloads and fill the bar as fetched
// ones do.
TEST_F(WholeReleaseE2eTest, LastFileFailingChangesNothingAndTheNextRunFetchesOnlyIt) {
    std::optional<WineProcess> holder;
    std::optional<FullDisk> disk;
    const std::string heldReady = product.pathOf(".held"), outside = product.path() + "-outside";
    struct Row {
        std::string why;
        std::function<bool()> fault;  // false: the row cannot run here
        std::size_t refetched;        // requests for data/c.dat in the second run
    };
    const std::vector<Row> rows = {
        {"404", [&] { server->script("/kelmor/data/c.dat", ScriptedAnswer{404, "Not Found", ""}); return true; }, 1},
        {"hash mismatch", [&] { serveFile("data/c.dat", "tampered"); return true; }, 1},
        {"in use",
         [&] {
             holder.emplace(toWindowsPath(windowsTestBinDir() + "/fake_product.exe"),
                            std::vector<std::string>{toWindowsPath(heldReady), toWindowsPath(product.pathOf("data/c.dat"))},
                            product.path());
             return pollUntil([&] { return readFileBytes(heldReady).find('\n') != std::string::npos; }, 15s);
         },
         0},
        {"disk full",
         [&] {
             disk.emplace(product.path());
             return disk->mounted();
         },
         1},
        // Refused before anything is fetched or journaled; the folder it
        // leads to keeps its file. (A folder on another volume is a mount
        // point, which the same walk refuses first under Wine; the commit's
        // own check for another volume is a row of the commit's table.)
        {"link below the program directory",
         [&] {
             fs::rename(product.pathOf("data"), outside);
             fs::create_directory_symlink(outside, product.pathOf("data"));
             return true;
         },
         1},
    };
    for (const Row& row : rows) {
        fs::remove_all(product.pathOf("data"));
        product.writeFile("data/c.dat", "old c", kOldFiles);
        fs::remove_all(product.pathOf(".update"));
        publish();
        if (!row.fault()) {
            std::cout << "[ SKIPPED  ] " << row.why << ": the fault cannot be made here\n";
            continue;
        }
        const Installation before = installation(product.path());
        ASSERT_NO_FATAL_FAILURE(startChecked());
        ASSERT_TRUE(wizard.pressNext());
        if (row.why == "in use") {
            auto box = wizard.waitForBox();
            ASSERT_TRUE(box) << wizard.state();
            ASSERT_TRUE(wizard.answerBox(kOkId));
        }
        WizardState state = notDone();
        EXPECT_EQ(state.lines.back(), "data/c.dat 更新失败") << row.why;
        EXPECT_EQ(installation(product.path()), before) << row.why;

        holder.reset();
        disk.reset();
        if (fs::is_symlink(product.pathOf("data"))) {  // its folder, as it was, comes back
            fs::remove(product.pathOf("data"));
            fs::rename(outside, product.pathOf("data"));
        }
        publish();
        const std::size_t aBefore = requestsFor(release[0]), cBefore = requestsFor(release[2]);
        if (row.why != "404") ASSERT_NO_FATAL_FAILURE(startChecked());
        state = update();
        EXPECT_EQ(state.lines, (Lines{"a.dll 更新完成", "b.dll 更新完成", "data/c.dat 更新完成", kNewProductLine}))
            << row.why;
        EXPECT_EQ(wizard.waitUntil([](const WizardState& s) { return s.progress == 100; }).progress, 100) << row.why;
        EXPECT_EQ(requestsFor(release[0]), aBefore) << row.why;
        EXPECT_EQ(requestsFor(release[2]), cBefore + row.refetched) << row.why;
        EXPECT_TRUE(product.readFile("data/c.dat") == release[2].bytes) << row.why;
        product.writeFile("a.dll", "old a", kOldFiles);
        product.writeFile("b.dll", "old b", kOldFiles);
    }
}

// Cancel during a slow download: the wizard goes at once, the run stops at
// the next chunk, the finished download stays and the partial one waits in
// .update\part\ to be resumed.
TEST_F(WholeReleaseE2eTest, CancelDuringASlowDownloadChangesNothing) {
    publish();
    ScriptedAnswer slow;
    slow.body = release[2].bytes;
    slow.trickleEvery = 50ms;
    slow.trickleBytes = 512;
    server->script("/kelmor/data/c.dat", slow);
    const Installation before = installation(product.path());
    ASSERT_NO_FATAL_FAILURE(startChecked());
    ASSERT_TRUE(wizard.pressNext());
    WizardState state = wizard.waitForStatus(kDownloadingPrefix + "data/c.dat");
    ASSERT_EQ(state.status, kDownloadingPrefix + "data/c.dat") << state;

    const auto cancelled = std::chrono::steady_clock::now();
    ASSERT_TRUE(wizard.pressCancel());
    ASSERT_TRUE(wizard.waitGone(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, 10s) << "expected well under a second";
    EXPECT_TRUE(updater->waitExit()) << wizard.state();
    EXPECT_EQ(installation(product.path()), before);
    EXPECT_TRUE(product.readFile(".update/new/a.dll") == release[0].bytes);
    EXPECT_FALSE(product.exists(".update/new/data/c.dat"));
    const std::string part = product.readFile(".update/part/" + sha256Hex(release[2].bytes));
    EXPECT_TRUE(!part.empty() && part.size() < release[2].bytes.size() && release[2].bytes.rfind(part, 0) == 0)
        << part.size();
}

TEST_F(WholeReleaseE2eTest, ReleaseThatAddsAFolder) {
    fs::remove_all(product.pathOf("data"));
    publish();
    ASSERT_NO_FATAL_FAILURE(startChecked());
    WizardState state = update();
    EXPECT_EQ(state.lines, (Lines{"a.dll 更新完成", "b.dll 更新完成", "data/c.dat 更新完成", kNewProductLine}));
    EXPECT_TRUE(product.readFile("data/c.dat") == release[2].bytes);
    EXPECT_EQ(namesIn(product.path()), (std::set<std::string>{"Update.exe", "updataAdd.ini", "a.dll", "b.dll", "data",
                                                              "data/c.dat"}));
}

// gone.dll holds what the vendor published and goes; mine.dll was changed by
// the user and stays. The file data becomes a folder, the read-only a.dll is
// replaced, and the user's a.dll.old beside it is none of the release's.
TEST_F(WholeReleaseE2eTest, ReleaseThatDropsAFileKeepsAUserChangedCopy) {
    product.writeFile("gone.dll", "gone 1.2", kOldFiles);
    product.writeFile("mine.dll", "changed by the user", kOldFiles);
    product.writeFile("a.dll.old", "the user's", kOldFiles);
    fs::permissions(product.pathOf("a.dll"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
    fs::remove_all(product.pathOf("data"));
    product.writeFile("data", "data 1.2", kOldFiles);
    publish("[DROP0]\r\nFILE=gone.dll\r\n" + sizeAndHash("PREV0_", "gone 1.2") + "[DROP1]\r\nFILE=mine.dll\r\n" +
            sizeAndHash("PREV0_", "mine 1.2") + "[DROP2]\r\nFILE=data\r\n" + sizeAndHash("PREV0_", "data 1.2"));
    ASSERT_NO_FATAL_FAILURE(startChecked());
    const WizardState state = update();
    EXPECT_EQ(state.lines,
              (Lines{"a.dll 更新完成", "b.dll 更新完成", "data/c.dat 更新完成", "gone.dll 已删除", "data 已删除",
                     kNewProductLine}));
    EXPECT_FALSE(product.exists("gone.dll"));
    EXPECT_EQ(product.readFile("mine.dll"), "changed by the user");
    EXPECT_EQ(product.readFile("a.dll.old"), "the user's");
    EXPECT_TRUE(product.readFile("a.dll") == release[0].bytes);
    EXPECT_NE(fs::status(product.pathOf("a.dll")).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_TRUE(product.readFile("data/c.dat") == release[2].bytes);
    EXPECT_FALSE(product.exists(".update")) << "its backups removed, the work folder goes";
}

}  // namespace
}  // namespace testsupport
