// Bad local input, end to end: broken configuration files and manifests,
// huge file lists, names at the buffer limits and in code page 936, an
// unwritable program directory and a missing temporary directory. The real
// Update.exe under Wine never crashes and ends each action in a clear state.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/release/update_journal.h"
#include "tests/support/cp936_text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/named_param.h"
#include "tests/support/poll.h"
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
using namespace std::chrono_literals;
using namespace std::string_literals;

const std::string kStamp = "2024-01-01 00:00:00";
constexpr std::time_t kOldTime = 1577836800;  // 2020-01-01: older than kStamp
constexpr std::time_t kNewTime = 1735689600;  // 2025-01-01: newer than kStamp

std::string binaryGarbage(std::size_t size) { return randomBytes(size, 936); }

class BadInputTest : public ServedUpdaterTest {
protected:
    // Next, then Update once it is offered.
    void checkAndUpdate() {
        ASSERT_TRUE(start().found);
        ASSERT_NO_FATAL_FAILURE(checkUntilOffered());
        ASSERT_TRUE(wizard.pressNext());
    }

    // Waits for the end of the run, answering every box on the way with OK.
    WizardState finishRun(std::vector<MessageBoxState>* boxes = nullptr, std::chrono::milliseconds limit = 30s) {
        WizardState state;
        const bool finished = pollUntil([&] {
            if (auto box = wizard.box()) {
                if (auto painted = wizard.waitForBox(2s)) box = painted;
                if (boxes) boxes->push_back(*box);
                wizard.answerBox(kOkId);
            }
            state = wizard.state();
            return state.status == kFinished && state.responsive;
        }, limit, 50ms);
        if (!finished) ADD_FAILURE() << "the run did not finish: " << state;
        return state;
    }
};

// --- updataAdd.ini ---

class BadConfigurationTest : public BadInputTest,
                             public ::testing::WithParamInterface<Named<std::pair<std::string, std::string>>> {};

TEST_P(BadConfigurationTest, WizardOpensWithWhatCanBeRead) {
    product.writeConfigBytes(GetParam().value.first);
    EXPECT_EQ(start().lines, std::vector<std::string>{GetParam().value.second});
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, BadConfigurationTest,
    ::testing::Values(
        Named<std::pair<std::string, std::string>>{"BinaryGarbage", {binaryGarbage(64 * 1024), "kelmor 1.26"}},
        Named<std::pair<std::string, std::string>>{
            "NulBytes", {"[Server]\r\nstrSoft=ab\0cd\r\nstr\0Version=9\r\nstrVersion=2.0\r\n"s, "ab 2.0"}},
        Named<std::pair<std::string, std::string>>{
            "MegabyteLines",
            {std::string(1 << 20, 'x') + "\r\n[Server]\r\nstrSoft=" + std::string(1 << 20, 'y') + "\r\nstrVersion=2.0",
             std::string(99, 'y') + " 2.0"}},
        Named<std::pair<std::string, std::string>>{"NoFinalNewline",
                                                   {"[Server]\r\nstrSoft=tail\r\nstrVersion=3.0", "tail 3.0"}}),
    byName);

// --- manifests ---

TEST_F(BadInputTest, GarbageManifestOffersNothing) {
    configure();
    serve("/kelmor/update.ini", binaryGarbage(256 * 1024));
    start();
    ASSERT_TRUE(wizard.pressNext());
    WizardState state = wizard.waitForCheckEnd();
    EXPECT_EQ(state.status, kAlreadyNewest) << state;
}

// Megabyte lines, a NUL and no final newline around entries that still count.
TEST_F(BadInputTest, ManifestWithLongLinesNulsAndNoFinalNewlineIsWalked) {
    configure();
    serve("/kelmor/update.ini", std::string(1 << 20, 'z') + "\r\n[kelmor]\r\nVERSION=1.3\0junk\r\n"s +
                                    "[FILE0]\r\nX=" + std::string(1 << 20, 'q') + "\r\nFILE=a.dat\r\n[FILE1]\r\nFILE=b.dat");
    serve("/kelmor/a.dat", "new a");
    serve("/kelmor/b.dat", "new b");
    checkAndUpdate();
    WizardState state = finishRun();
    EXPECT_EQ(state.lines, (std::vector<std::string>{"a.dat 更新完成", "b.dat 更新完成", "kelmor 1.3"}));
    EXPECT_EQ(product.readFile("b.dat"), "new b");
}

// Ten thousand current files: the run walks them all and asks for none.
TEST_F(BadInputTest, TenThousandCurrentFilesCostNoRequest) {
    configure();
    std::string manifest = "[kelmor]\r\nVERSION=1.3\r\n";
    for (int i = 0; i < 10000; ++i) {
        const std::string name = "data/f" + std::to_string(i) + ".bin";
        manifest += "[FILE" + std::to_string(i) + "]\r\nFILE=" + name + "\r\nVERSION=" + kStamp + "\r\n";
        product.writeFile(name, "current", kNewTime);
    }
    serve("/kelmor/update.ini", manifest);
    checkAndUpdate();
    auto started = std::chrono::steady_clock::now();
    WizardState state = finishRun(nullptr, 120s);
    EXPECT_EQ(state.lines, std::vector<std::string>{"kelmor 1.3"});
    EXPECT_EQ(server->requests().size(), 1u) << "only the manifest";
    std::cout << "[ measured ] 10000 current entries walked in "
              << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count()
              << " ms\n";
}

// FILE holds at most 259 bytes: a name of exactly 259 is asked for whole, a
// longer one cut. Beside the program directory such a path is past MAX_PATH,
// so the download file cannot be created: message 119, and the run goes on.
TEST_F(BadInputTest, NamesAtTheBufferLimit) {
    configure();
    const std::string exact = std::string(200, 'd') + "/" + std::string(58, 'e');  // 259 bytes
    const std::string longer = std::string(200, 'f') + "/" + std::string(99, 'g');
    serve("/kelmor/update.ini", "[kelmor]\r\nVERSION=1.3\r\n[FILE0]\r\nFILE=" + exact + "\r\n[FILE1]\r\nFILE=" + longer +
                                    "\r\n");
    serve("/kelmor/" + exact, "new");
    serve("/kelmor/" + longer.substr(0, 259), "new");
    checkAndUpdate();
    std::vector<MessageBoxState> boxes;
    WizardState state = finishRun(&boxes);
    EXPECT_EQ(server->countRequests("/kelmor/" + exact), 1u);
    EXPECT_EQ(server->countRequests("/kelmor/" + longer.substr(0, 259)), 1u);
    ASSERT_EQ(boxes.size(), 2u) << state;
    // (The icon of a box this wide is not told from its pixels; the text is enough.)
    for (const MessageBoxState& box : boxes) EXPECT_NE(box.text.find("文件正在使用中"), std::string::npos) << box;
    EXPECT_EQ(state.lines, (std::vector<std::string>{exact + " 更新失败", longer.substr(0, 259) + " 更新失败",
                                                     "kelmor 1.3"}));
}

// Names in code page 936 go on the wire as their ANSI bytes, unescaped, and
// reach the disk as the same characters; the trail byte of 乗 is "\" and must
// not split the name.
TEST_F(BadInputTest, DoubleByteNamesAreUpdated) {
    configure();
    const std::vector<std::string> names{"数据/关卡.dat", "乗.dat"};
    std::string manifest = "[kelmor]\r\nVERSION=1.3\r\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        manifest += "[FILE" + std::to_string(i) + "]\r\nFILE=" + names[i] + "\r\nVERSION=" + kStamp + "\r\n";
        product.writeFile(names[i], "old", kOldTime);
        serve("/kelmor/" + toCp936(names[i]), "new " + std::to_string(i));
    }
    serve("/kelmor/update.ini", toCp936(manifest));
    checkAndUpdate();
    WizardState state = finishRun();
    EXPECT_EQ(state.lines, (std::vector<std::string>{"数据/关卡.dat 更新完成", "乗.dat 更新完成", "kelmor 1.3"}));
    EXPECT_EQ(product.readFile(names[0]), "new 0");
    EXPECT_EQ(product.readFile(names[1]), "new 1");
    for (const std::string& name : names) EXPECT_EQ(server->countRequests("/kelmor/" + toCp936(name)), 1u) << name;
}

// A program directory nobody may write in. For root, whom file modes do not
// stop, the directory is made immutable instead.
class UnwritableDirectory {
public:
    explicit UnwritableDirectory(const std::string& path) : path_(path) {
        chmod(path_.c_str(), 0555);
        if (writable()) immutable_ = setImmutable(true);
    }
    ~UnwritableDirectory() {
        if (immutable_) setImmutable(false);
        chmod(path_.c_str(), 0755);
    }
    bool writable() const {
        const std::string probe = path_ + "/.write-probe";
        const int fd = open(probe.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0) return false;
        close(fd);
        unlink(probe.c_str());
        return true;
    }

private:
    bool setImmutable(bool on) const {
        const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) return false;
        int flags = 0;
        bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        close(fd);
        return done;
    }
    std::string path_;
    bool immutable_ = false;
};

// The program directory itself can be written, so the run starts here (a
// read-only program directory goes to an elevated copy: update_run_test).
TEST_F(BadInputTest, ReadOnlySubdirectoryShows119AndKeepsEveryFile) {
    configure();
    product.writeFile("data/app.dat", "old app", kOldTime);
    serve("/kelmor/update.ini", "[kelmor]\r\nVERSION=1.3\r\n[FILE0]\r\nFILE=data/app.dat\r\nVERSION=" + kStamp + "\r\n");
    serve("/kelmor/data/app.dat", "new app");
    UnwritableDirectory unwritable(product.pathOf("data"));
    if (unwritable.writable()) GTEST_SKIP() << "cannot make a directory unwritable here";

    checkAndUpdate();
    std::vector<MessageBoxState> boxes;
    WizardState state = finishRun(&boxes);
    ASSERT_EQ(boxes.size(), 1u) << state;
    EXPECT_EQ(boxes[0].icon, BoxIcon::Stop) << boxes[0];
    EXPECT_NE(boxes[0].text.find("data/app.dat  错误!"), std::string::npos) << boxes[0];
    EXPECT_EQ(state.lines, (std::vector<std::string>{"data/app.dat 更新失败", "kelmor 1.3"}));
    EXPECT_EQ(product.readFile("data/app.dat"), "old app");
    EXPECT_FALSE(product.exists("data/app.dat.upg"));
}

// A whole release's commit cut short in a directory the updater may not
// write: the wizard says so and offers nothing; /recover ends with 2.
// Next offers the elevated relaunch for the recovery. Under Wine "runas"
// starts the copy with the same rights, so the copy says 122 as well and,
// being elevated, offers nothing more; /recover then ends with 2.
TEST_F(BadInputTest, CutCommitWithoutRightsShows122AndOffersTheRelaunch) {
    configure();
    product.writeFile("a.dll.old", "old a", kOldTime);
    product.writeFile("a.dll", "new a");
    product.writeFile("update.journal", updater::journalRecordText({updater::JournalStep::Replace, "a.dll"}, 1));
    UnwritableDirectory unwritable(product.path());
    if (unwritable.writable()) GTEST_SKIP() << "cannot make a directory unwritable here";

    WizardState state = start();
    EXPECT_EQ(state.status, kRecoveryNeedsRights) << state;
    EXPECT_TRUE(state.nextEnabled) << "the relaunch for the recovery is offered";
    EXPECT_TRUE(state.cancelEnabled);
    ASSERT_TRUE(wizard.pressNext());
    ASSERT_TRUE(updater->waitExit()) << "the wizard ends once the elevated copy runs";
    state = wizard.waitOpen();
    EXPECT_EQ(state.status, kRecoveryNeedsRights) << state;
    EXPECT_FALSE(state.nextEnabled) << "an elevated copy never starts another";
    ASSERT_TRUE(wizard.pressCancel());
    EXPECT_TRUE(wizard.waitGone());
    launch({"/recover"});
    ASSERT_TRUE(updater->waitExit());
    EXPECT_EQ(updater->exitCode(), 2);
    EXPECT_EQ(product.readFile("a.dll"), "new a");
    EXPECT_TRUE(product.exists("update.journal"));
}

// Update.exe /update: no window, the outcome in the exit code and the log's
// last line. The product is never ended, and a folder it cannot write is
// not handed to an elevated copy.
enum class Beside { Nothing, Wizard, Product, ReadOnlyFolder };
struct QuietUpdate {
    std::string published;  // VERSION of the manifest
    int fileStatus = 200;
    Beside beside = Beside::Nothing;
    int exitCode = 0;
    std::string outcome;  // the log's last line, after "] "
    std::string app;      // app.dat afterwards
};

class QuietUpdateTest : public BadInputTest, public ::testing::WithParamInterface<Named<QuietUpdate>> {};

TEST_P(QuietUpdateTest, AnswersByExitCodeWithoutAWindow) {
    const QuietUpdate& row = GetParam().value;
    configure();
    product.writeFile("app.dat", "old app", kOldTime);
    serve("/kelmor/update.ini",
          "[kelmor]\r\nVERSION=" + row.published + "\r\n[FILE0]\r\nFILE=app.dat\r\nVERSION=" + kStamp + "\r\n");
    ScriptedAnswer file;
    file.body = row.fileStatus == 200 ? "new app" : "";
    file.status = row.fileStatus;
    file.reason = row.fileStatus == 200 ? "OK" : "Not Found";
    server->script("/kelmor/app.dat", file);
    std::unique_ptr<WineProcess> running;
    std::unique_ptr<UnwritableDirectory> unwritable;
    if (row.beside == Beside::Wizard) ASSERT_NO_FATAL_FAILURE(startOrFail());
    if (row.beside == Beside::Product) {
        product.writeFile("kelmor.exe", readFileBytes(windowsTestBinDir() + "/fake_product.exe"), kOldTime);
        const std::string ready = product.pathOf(".ready");
        running = std::make_unique<WineProcess>(toWindowsPath(product.pathOf("kelmor.exe")),
                                                std::vector<std::string>{toWindowsPath(ready)}, product.path());
        ASSERT_TRUE(pollUntil([&] { return readFileBytes(ready).find('\n') != std::string::npos; }, 20s));
    }
    if (row.beside == Beside::ReadOnlyFolder) {
        unwritable = std::make_unique<UnwritableDirectory>(product.path());
        if (unwritable->writable()) GTEST_SKIP() << "cannot make a directory unwritable here";
    }
    WineProcess update(product.exeWindowsPath(), {"/update"}, product.path());
    EXPECT_EQ(update.wait(60s), row.exitCode) << update.output();
    EXPECT_EQ(product.readFile("app.dat"), row.app);
    if (row.beside == Beside::Product) EXPECT_TRUE(running->running()) << "the product was not ended";
    if (row.beside == Beside::Wizard) EXPECT_TRUE(wizard.state().visible) << "the wizard stays";
    else EXPECT_FALSE(wizard.state().found) << "no window";
    if (row.beside == Beside::ReadOnlyFolder) return;  // its log is in the user's folder
    const std::string log = product.readFile("Update.log");
    const std::size_t last = log.rfind("] end: ");
    ASSERT_NE(last, std::string::npos) << log;
    EXPECT_EQ(log.substr(last + 2, log.find('\r', last) - last - 2), row.outcome) << log;
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, QuietUpdateTest,
    ::testing::Values(
        Named<QuietUpdate>{"Updated", {"1.3", 200, Beside::Nothing, 0, "end: update updated 1", "new app"}},
        Named<QuietUpdate>{"Current", {"1.26", 200, Beside::Nothing, 0, "end: update current", "old app"}},
        Named<QuietUpdate>{"FileFailed", {"1.3", 404, Beside::Nothing, 2, "end: update failed 1", "old app"}},
        Named<QuietUpdate>{"FolderHeld", {"1.3", 200, Beside::Wizard, 3, "end: refused, folder held", "old app"}},
        Named<QuietUpdate>{"ProductRunning",
                           {"1.3", 200, Beside::Product, 4, "end: update product running", "old app"}},
        Named<QuietUpdate>{"NeedsRights", {"1.3", 200, Beside::ReadOnlyFolder, 5, "", "old app"}}),
    byName);

// TEMP and TMP of the prefix point elsewhere for one test. Wine takes them
// from the registry (HKCU\Environment), not from the Unix environment.
class TemporaryDirectoryOverride {
public:
    explicit TemporaryDirectoryOverride(const std::string& windowsPath) {
        for (const char* name : {"TEMP", "TMP"}) {
            saved_.push_back(query(name));
            set(name, "REG_SZ", windowsPath);
        }
    }
    ~TemporaryDirectoryOverride() {
        for (const Value& value : saved_)
            if (!value.type.empty()) set(value.name, value.type, value.data);
    }

private:
    struct Value {
        std::string name, type, data;
    };
    static constexpr const char* kKey = "HKCU\\Environment";

    // From a line of "reg query": "    TEMP    REG_SZ    C:\users\me\Temp".
    static Value query(const std::string& name) {
        std::istringstream lines(runWine("reg", {"query", kKey, "/v", name}, "/tmp", 30s).output);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            Value value;
            if (words >> value.name >> value.type && value.name == name && value.type.rfind("REG_", 0) == 0) {
                std::getline(words >> std::ws, value.data);
                if (!value.data.empty() && value.data.back() == '\r') value.data.pop_back();
                return value;
            }
        }
        return {};
    }
    static void set(const std::string& name, const std::string& type, const std::string& data) {
        runWine("reg", {"add", kKey, "/v", name, "/t", type, "/d", data, "/f"}, "/tmp", 30s);
    }

    std::vector<Value> saved_;
};

// The manifest is kept in memory, so a missing temporary directory changes
// nothing: the check offers the update and the run installs it.
TEST_F(BadInputTest, MissingTemporaryDirectoryChangesNothing) {
    configure();
    serve("/kelmor/update.ini", "[kelmor]\r\nVERSION=1.3\r\n[FILE0]\r\nFILE=a.dat\r\nVERSION=" + kStamp + "\r\n");
    serve("/kelmor/a.dat", "new a");
    TemporaryDirectoryOverride missing("C:\\no-such-temp-dir");
    checkAndUpdate();
    const WizardState state = finishRun();
    EXPECT_EQ(state.lines, (std::vector<std::string>{"a.dat 更新完成", "kelmor 1.3"}));
    EXPECT_EQ(product.readFile("a.dat"), "new a");
}

}  // namespace
}  // namespace testsupport
