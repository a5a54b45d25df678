// Start-up and the wizard shell, end to end: the real Update.exe under Wine,
// read and pressed through the probe.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/release/update_journal.h"
#include "engine/text/hex_text.h"
#include "tests/support/named_param.h"
#include "tests/support/file_bytes.h"
#include "tests/support/poll.h"
#include "tests/support/product_dir.h"
#include "tests/support/sha256_hex.h"
#include "tests/support/served_updater_test.h"
#include "tests/support/test_http_server.h"
#include "tests/support/updater_process.h"
#include "tests/support/wine_runner.h"
#include "tests/support/wizard_driver.h"
#include "tests/support/wizard_texts.h"

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// Without a configuration unless the test writes one.
class StartupTest : public ServedUpdaterTest {};

void expectFreshWizard(const WizardState& state, const std::string& productLine) {
    EXPECT_EQ(state.caption, kWizardCaption);
    EXPECT_EQ(state.lines, std::vector<std::string>{productLine});
    EXPECT_EQ(state.status, kClickNext);
    EXPECT_EQ(state.nextCaption, kNextCaption);
    EXPECT_TRUE(state.nextEnabled);
    EXPECT_TRUE(state.cancelEnabled);
    EXPECT_EQ(state.progress, 0);
}

TEST_F(StartupTest, WithoutConfigurationTheDefaultProductIsShown) {
    expectFreshWizard(start(), "kelmor 1.26");
}

// A vendor's build shows its own caption and defaults (the test brand,
// tests/data/brand), its https:// default URL accepted (AllowHttps=1).
TEST_F(StartupTest, ABrandSetsTheCaptionAndTheDefaults) {
    std::filesystem::copy_file(windowsTestBinDir() + "/UpdateBranded.exe", product.pathOf("Update.exe"),
                               std::filesystem::copy_options::overwrite_existing);
    const WizardState state = start();
    EXPECT_EQ(state.caption, kBrandedWizardCaption);
    EXPECT_EQ(state.lines, std::vector<std::string>{"星图 3.5"});
}

// The banner fills its panel, the window's full height, at the DPI the
// wizard opens with and after the system tells it of another; controls and
// fonts grow with the window, the texts stay.
class DpiChangeTest : public StartupTest, public ::testing::WithParamInterface<Named<int>> {};

TEST_P(DpiChangeTest, RescalesTheWizardAndTheBannerFillsItsPanel) {
    const WizardState before = start();
    EXPECT_EQ(before.banner.second, before.client.second) << "a band under the banner";
    wizard.changeDpi(GetParam().value, 96);
    const WizardState after = wizard.waitUntil([&](const WizardState& s) { return s.client != before.client; });
    const double scale = GetParam().value / 96.0;
    EXPECT_NEAR(after.list.first, before.list.first * scale, 3) << after;
    EXPECT_NEAR(after.list.second, before.list.second * scale, 3) << after;
    EXPECT_NEAR(after.banner.first, before.banner.first * scale, 3) << after;
    EXPECT_EQ(after.banner.second, after.client.second) << "a band under the banner";
    expectFreshWizard(after, "kelmor 1.26");
}

INSTANTIATE_TEST_SUITE_P(StartupDpi, DpiChangeTest,
                         ::testing::Values(Named<int>{"Dpi120", 120}, Named<int>{"Dpi144", 144},
                                           Named<int>{"Dpi192", 192}),
                         byName);

TEST_F(StartupTest, ConfiguredValuesFormTheProductLine) {
    product.writeConfig({"产品", "2.5", "http://127.0.0.1:1/kelmor/"});
    expectFreshWizard(start(), "产品 2.5");
}

TEST_F(StartupTest, KeysAreFoundIgnoringCase) {
    product.writeConfigBytes("[SERVER]\r\nSTRSOFT=upper\r\nstrversion=3.1\r\n");
    EXPECT_EQ(start().lines, std::vector<std::string>{"upper 3.1"});
}

struct EmptyKeyCase {
    ServerConfig config;
    std::string productLine;
};

class EmptyKeyTest : public StartupTest, public ::testing::WithParamInterface<Named<EmptyKeyCase>> {};

TEST_P(EmptyKeyTest, PresentButEmptyKeyGivesEmptyText) {
    product.writeConfig(GetParam().value.config);
    EXPECT_EQ(start().lines, std::vector<std::string>{GetParam().value.productLine});
}

INSTANTIATE_TEST_SUITE_P(StartupKeys, EmptyKeyTest,
                         ::testing::Values(Named<EmptyKeyCase>{"strSoft", {{"", "1.26", std::nullopt}, " 1.26"}},
                                           Named<EmptyKeyCase>{"strVersion", {{"kelmor", "", std::nullopt}, "kelmor "}}),
                         byName);

TEST_F(StartupTest, ValuesLongerThan99BytesAreCut) {
    const std::string soft = std::string(60, 'S') + std::string(60, 'T');
    const std::string version = "1." + std::string(120, '2');
    product.writeConfig({soft, version, std::nullopt});
    EXPECT_EQ(start().lines, std::vector<std::string>{soft.substr(0, 99) + " " + version.substr(0, 99)});
}

// The configuration is found beside the executable by whole characters: the
// second byte of 乗 in code page 936 is a backslash.
TEST(StartupPathTest, ConfigurationIsFoundBesideAnExecutableWithADoubleByteName) {
    ProductDir product("升级乗.exe");
    product.writeConfig({"found", "9.9", std::nullopt});
    UpdaterProcess updater(product);
    Wizard wizard("升级乗.exe");
    WizardState state = wizard.waitOpen();
    EXPECT_EQ(state.lines, std::vector<std::string>{"found 9.9"}) << state << "\n" << updater.output();
}

// The boxes are captioned with the program's name, or with the brand's caption
// (code page 936 in the build), under any code page the locale gives.
struct RejectedUrl {
    std::string url;
    bool branded = false;
    std::string locale = "";
};

class RejectedUrlTest : public StartupTest, public ::testing::WithParamInterface<Named<RejectedUrl>> {};

TEST_P(RejectedUrlTest, ShowsMessage104AndEndsWithoutTheWizard) {
    if (GetParam().value.branded)
        std::filesystem::copy_file(windowsTestBinDir() + "/UpdateBranded.exe", product.pathOf("Update.exe"),
                                   std::filesystem::copy_options::overwrite_existing);
    product.writeConfig({"kelmor", "1.26", GetParam().value.url});
    {
        const ScopedLocale codePage(GetParam().value.locale);
        launch();
    }
    auto box = wizard.waitForBox();
    ASSERT_TRUE(box) << updater->output();
    EXPECT_EQ(box->text, kUrlNotHttp);
    EXPECT_EQ(box->caption, GetParam().value.branded ? kBrandedBoxCaption : "Update");
    EXPECT_EQ(box->icon, BoxIcon::Stop) << *box;
    EXPECT_FALSE(box->owned) << "the box comes before the wizard's window";
    ASSERT_EQ(box->buttons.size(), 1u) << *box;
    EXPECT_EQ(box->buttons[0].id, kOkId);
    EXPECT_FALSE(wizard.state().found);

    ASSERT_TRUE(wizard.answerBox(kOkId));
    EXPECT_TRUE(updater->waitExit());
}

INSTANTIATE_TEST_SUITE_P(StartupUrls, RejectedUrlTest,
                         ::testing::Values(Named<RejectedUrl>{"Https", {"https://127.0.0.1/kelmor/"}},
                                           Named<RejectedUrl>{"NotAUrl", {"not a url"}},
                                           Named<RejectedUrl>{"Ftp", {"ftp://127.0.0.1/kelmor/"}},
                                           // The test brand allows https; no brand allows ftp.
                                           Named<RejectedUrl>{"BrandedFtp", {"ftp://127.0.0.1/kelmor/", true}},
                                           Named<RejectedUrl>{"BrandedFtpCp1252",
                                                              {"ftp://127.0.0.1/kelmor/", true, "en_US.UTF-8"}},
                                           Named<RejectedUrl>{"HttpsCp950", {"https://127.0.0.1/kelmor/", false, "zh_TW.UTF-8"}},
                                           Named<RejectedUrl>{"HttpsCp932", {"https://127.0.0.1/kelmor/", false, "ja_JP.UTF-8"}},
                                           // The platform would keep only the low 16 bits: port 80.
                                           Named<RejectedUrl>{"PortAbove65535", {"http://127.0.0.1:65616/kelmor/"}},
                                           Named<RejectedUrl>{"PortNotANumber", {"http://127.0.0.1:8o/kelmor/"}}),
                         byName);

// The update directory: a manifest that offers a newer kelmor.
class ServedStartupTest : public StartupTest {
protected:
    ServedStartupTest() { serve("/kelmor/update.ini", "[kelmor]\r\nVERSION=1.3\r\n"); }
};

TEST_F(ServedStartupTest, NextButtonRunsTheCheck) {
    configure();
    start();
    ASSERT_TRUE(wizard.pressNext());
    // The status is set before the caption: wait for the whole outcome.
    WizardState state = wizard.waitUntil([](const WizardState& s) { return s.nextCaption == kUpdateCaption; });
    EXPECT_EQ(state.status, kNewerFoundPrefix + "kelmor 1.3") << state;
    EXPECT_EQ(state.nextCaption, kUpdateCaption);
    EXPECT_TRUE(state.nextEnabled);
}

TEST_F(ServedStartupTest, EnterRunsTheCheckLikeTheButton) {
    configure();
    start();
    wizard.pressEnter();
    WizardState state = wizard.waitUntil([](const WizardState& s) { return s.nextCaption == kUpdateCaption; });
    EXPECT_EQ(state.status, kNewerFoundPrefix + "kelmor 1.3") << state;
    EXPECT_EQ(state.nextCaption, kUpdateCaption);
}

// The URL is cut to 99 bytes before it is parsed: the request path shows the cut.
TEST_F(ServedStartupTest, LongUrlIsCutBeforeItIsParsed) {
    std::string url = this->url() + std::string(120, 'd');
    product.writeConfig({"kelmor", "1.26", url});
    start();
    ASSERT_TRUE(wizard.pressNext());
    const std::string path = url.substr(0, 99).substr(url.find("/kelmor/"));
    WizardState state = wizard.waitUntil([&](const WizardState&) { return server->countRequests(path + "update.ini") > 0; });
    EXPECT_EQ(server->countRequests(path + "update.ini"), 1u) << state;
}

TEST_F(StartupTest, UnreachableServerLeavesTheNextButtonEnabled) {
    product.writeConfig({"kelmor", "1.26", "http://127.0.0.1:" + std::to_string(closedPort()) + "/kelmor/"});
    start();
    ASSERT_TRUE(wizard.pressNext());
    WizardState state = wizard.waitForCheckEnd();
    EXPECT_EQ(state.status, kConnectFailed) << state;
    EXPECT_EQ(state.nextCaption, kNextCaption);
    EXPECT_TRUE(state.nextEnabled);
}

enum class Ending { CancelButton, EscKey, CloseBox };

class EndingTest : public StartupTest, public ::testing::WithParamInterface<Named<Ending>> {};

TEST_P(EndingTest, EndsTheProgram) {
    start();
    switch (GetParam().value) {
        case Ending::CancelButton: ASSERT_TRUE(wizard.pressCancel()); break;
        case Ending::EscKey: wizard.pressEsc(); break;
        case Ending::CloseBox: wizard.closeBox(); break;
    }
    EXPECT_TRUE(updater->waitExit()) << wizard.state();
}

INSTANTIATE_TEST_SUITE_P(StartupEndings, EndingTest,
                         ::testing::Values(Named<Ending>{"CancelButton", Ending::CancelButton},
                                           Named<Ending>{"EscKey", Ending::EscKey},
                                           Named<Ending>{"CloseBox", Ending::CloseBox}),
                         byName);

// Anything but a listed switch opens the wizard as without arguments; so does
// a switch that lacks its text. (/recover and /elevated-run have rows of their own.)
using Arguments = std::vector<std::string>;
class ArgumentsTest : public StartupTest, public ::testing::WithParamInterface<Named<Arguments>> {};

TEST_P(ArgumentsTest, ChangeNothing) {
    expectFreshWizard(start(GetParam().value), "kelmor 1.26");
}

INSTANTIATE_TEST_SUITE_P(StartupArguments, ArgumentsTest,
                         ::testing::Values(Named<Arguments>{"Quiet", {"/quiet"}}, Named<Arguments>{"Help", {"--help"}},
                                           Named<Arguments>{"Garbage", {"garbage", "更多 参数", "https://x/"}},
                                           // Unlisted switches, in any letter case, with a text or not.
                                           Named<Arguments>{"UnknownSwitch", {"/CHECKS"}}, Named<Arguments>{"DashX", {"-x"}},
                                           Named<Arguments>{"UnknownWithText", {"-Elevated", "1.3"}},
                                           Named<Arguments>{"ElevatedRunWithoutText", {"/elevated-run"}},
                                           // Asked for at start: the wizard as it opens, elevated.
                                           Named<Arguments>{"ElevatedRunEmpty", {"/elevated-run", ""}}),
                         byName);

// A whole release's commit cut short after a.dll moved aside and its new
// copy took its place; committed says whether the commit record was written,
// beside whether an earlier version left it, with its backup, in the
// program directory itself.
class RecoveryTest : public StartupTest {
protected:
    static constexpr std::time_t kOldTime = 1577836800;
    std::string backup = ".update/old/a.dll", journal = ".update/update.journal";

    void plantCutCommit(bool committed, const std::string& name = "a.dll", bool beside = false) {
        configure();
        if (beside) {
            backup = "a.dll.old";
            journal = "update.journal";
        }
        product.writeFile(backup, "old a", kOldTime);
        product.writeFile("a.dll", "new a");
        std::string records = updater::journalRecordText({updater::JournalStep::Replace, name}, 1);
        if (committed) records += updater::journalRecordText({updater::JournalStep::Committed, ""}, 1);
        product.writeFile(journal, records);
    }
    // This version's journal: a.dll replaced, b.dll not yet; each content
    // there, or lost to a clean-up tool.
    void plantContentJournal(bool backupLost, bool downloadLost) {
        configure();
        product.writeFile("a.dll", "new a");
        if (!backupLost) product.writeFile(backup, "old a", kOldTime);
        product.writeFile("b.dll", "old b", kOldTime);
        if (!downloadLost) product.writeFile(".update/new/b.dll", "new b");
        const auto step = [](const char* name, const std::string& old, const std::string& added) {
            return updater::journalRecordText({updater::JournalStep::Replace, name, content(old), content(added)}, 2);
        };
        product.writeFile(journal, updater::journalHeaderText() + step("a.dll", "old a", "new a") +
                                       step("b.dll", "old b", "new b"));
    }
    static updater::FileContent content(const std::string& bytes) {
        updater::FileContent named{bytes.size(), {}};
        updater::decodeHex(sha256Hex(bytes), named.sha256.data(), named.sha256.size());
        return named;
    }
    int recover() {
        launch({"/recover"});
        EXPECT_TRUE(updater->waitExit());
        return updater->exitCode();
    }
    std::time_t mtime(const std::string& name) const {
        struct stat status {};
        stat(product.pathOf(name).c_str(), &status);
        return status.st_mtime;
    }
};

TEST_F(RecoveryTest, RecoverSwitchUndoesACutCommitAndKeepsTheDownload) {
    plantCutCommit(false);
    EXPECT_EQ(recover(), 0);
    EXPECT_EQ(product.readFile("a.dll"), "old a");
    EXPECT_EQ(mtime("a.dll"), kOldTime);
    EXPECT_EQ(product.readFile(".update/new/a.dll"), "new a");
    EXPECT_FALSE(product.exists(backup) || product.exists(journal));
    EXPECT_EQ(recover(), 0) << "nothing left to do";
    const std::string log = product.readFile("Update.log");
    for (const char* line : {"recovery: back ", "end: recover back\r\n", "end: recover nothing\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

// As an earlier version left it, beside the files: recovered all the same.
TEST_F(RecoveryTest, StartFinishesACommittedReleaseBeforeTheWizardShows) {
    plantCutCommit(true, "a.dll", true);
    expectFreshWizard(start(), "kelmor 1.26");
    EXPECT_EQ(product.readFile("a.dll"), "new a");
    EXPECT_FALSE(product.exists(backup) || product.exists(journal) || product.exists(".update"));
}

// The contents decide: a lost backup rolls forward while every new content
// is there; with a download lost too neither release is whole, so nothing
// moves, the journal stays, each path in the way is logged and /recover
// ends with 2.
TEST_F(RecoveryTest, RecoverSwitchGoesWhereEveryContentIs) {
    const struct {
        bool downloadLost;
        int exitCode;
        const char* a;
        const char* b;
        const char* logged;
    } rows[] = {
        {false, 0, "new a", "new b", "end: recover forward\r\n"},
        {true, 2, "new a", "old b", "recovery: in the way "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged);
        fs::remove_all(product.pathOf(".update"));
        plantContentJournal(true, row.downloadLost);
        EXPECT_EQ(recover(), row.exitCode);
        EXPECT_EQ(product.readFile("a.dll"), row.a);
        EXPECT_EQ(product.readFile("b.dll"), row.b);
        EXPECT_EQ(product.exists(journal), row.exitCode != 0);
        EXPECT_NE(product.readFile("Update.log").find(row.logged), std::string::npos) << product.readFile("Update.log");
    }
}

// A file in use fails a rename as missing rights would; the write probe
// tells them apart: 124, and Next tries again once the file is closed.
TEST_F(RecoveryTest, FileInUseShows124AndNextRecoversOnceItIsClosed) {
    plantContentJournal(false, false);
    const std::string ready = fs::path(product.path()).parent_path().string() + "/held-ready";
    auto holder = std::make_unique<WineProcess>(toWindowsPath(windowsTestBinDir() + "/fake_product.exe"),
                                                std::vector<std::string>{toWindowsPath(ready), toWindowsPath(product.pathOf("a.dll"))},
                                                product.path());
    const auto held = [&] { return readFileBytes(ready).find('\n') != std::string::npos; };
    ASSERT_TRUE(pollUntil([&] { return held() || !holder->running(); }, std::chrono::seconds(15)) && held())
        << holder->output();
    WizardState state = start();
    EXPECT_EQ(state.status, kRecoveryFilesInUse) << state;
    EXPECT_TRUE(state.nextEnabled) << "Next tries the recovery again, with no elevation";
    EXPECT_TRUE(product.exists(journal));
    holder.reset();
    ASSERT_TRUE(wizard.pressNext());
    EXPECT_TRUE(pollUntil([&] { return !product.exists(journal); }, std::chrono::seconds(15)));
    EXPECT_EQ(product.readFile("a.dll"), "old a");
    EXPECT_EQ(product.readFile("b.dll"), "old b");
    state = wizard.state();
    EXPECT_NE(state.status, kRecoveryFilesInUse) << state;
}

TEST_F(RecoveryTest, JournalNamingAnotherFileIsLeftAlone) {
    plantCutCommit(false, "..\\a.dll");
    EXPECT_EQ(recover(), 2);
    EXPECT_EQ(product.readFile("a.dll"), "new a");
    EXPECT_EQ(product.readFile(backup), "old a");
}

TEST_F(RecoveryTest, AnotherUpdaterHoldingTheFolderTouchesNothing) {
    configure();
    start();  // holds the folder for its wizard's life
    plantCutCommit(false);
    WineProcess second(product.exeWindowsPath(), {"/recover"}, fs::path(product.path()).parent_path().string());
    EXPECT_EQ(second.wait(std::chrono::seconds(30)), 3) << second.output();
    EXPECT_EQ(product.readFile("a.dll"), "new a");
    EXPECT_TRUE(product.exists(journal));
    EXPECT_NE(product.readFile("Update.log").find("end: refused, folder held\r\n"), std::string::npos);
}

}  // namespace
}  // namespace testsupport
