// The running-product guard end to end: a stand-in product (fake_product.exe,
// copied in under the product's name) runs beside the real Update.exe, which
// has to find it by name, ask, and end it before it replaces the files.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/cp936_text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/poll.h"
#include "tests/support/probe_client.h"
#include "tests/support/product_dir.h"
#include "tests/support/test_http_server.h"
#include "tests/support/updater_process.h"
#include "tests/support/wine_runner.h"
#include "tests/support/wizard_driver.h"
#include "tests/support/wizard_texts.h"

namespace testsupport {
namespace {

using namespace std::chrono_literals;

const std::string kPublished = "2024-03-05 14:30:00";
constexpr std::time_t kOldFiles = 1577836800;  // 2020-01-01, before the publication
constexpr auto kProcessWait = 10s;

std::string productRunning(const std::string& productName) {
    return productName + " 已在运行!\n请先关闭程序才能进行更新!\n如果选择确定将强行关闭程序!";
}

// Process ids of the prefix's processes with that executable name, in
// snapshot order. The probe looks at Update.exe again afterwards.
std::vector<unsigned long> snapshotIds(const std::string& exeName) {
    ProbeClient& probe = ProbeClient::shared();
    probe.setTarget(exeName);
    const ProbeReply reply = probe.call("PROCS");
    probe.setTarget("Update.exe");
    std::vector<unsigned long> ids;
    for (const std::string& id : reply.values("pid")) ids.push_back(std::stoul(id));
    return ids;
}

bool listed(const std::string& exeName, unsigned long id) {
    for (unsigned long each : snapshotIds(exeName))
        if (each == id) return true;
    return false;
}

// The stand-in product, installed as exeName with an old timestamp.
void installProduct(ProductDir& product, const std::string& exeName) {
    product.writeFile(exeName, readFileBytes(windowsTestBinDir() + "/fake_product.exe"), kOldFiles);
}

// The installed stand-in, started from the program directory. It holds
// heldFile open without sharing, as long as it runs.
class RunningProduct {
public:
    RunningProduct(const ProductDir& product, const std::string& exeName, const std::string& heldFile = "")
        : exeName_(exeName), readyPath_(product.pathOf(".ready-" + std::to_string(++started_))) {
        std::vector<std::string> args{toWindowsPath(readyPath_)};
        if (!heldFile.empty()) args.push_back(toWindowsPath(product.pathOf(heldFile)));
        process_ = std::make_unique<WineProcess>(toWindowsPath(product.pathOf(exeName)), args, product.path());
        id_ = waitReady();
    }
    ~RunningProduct() {
        process_->kill();
        // The next test must not find this one in the snapshot.
        try {
            pollUntil([&] { return !id_ || !listed(exeName_, id_); }, kProcessWait);
        } catch (const std::exception&) {
            // A destructor must not throw; the probe's failure shows elsewhere.
        }
    }
    RunningProduct(const RunningProduct&) = delete;
    RunningProduct& operator=(const RunningProduct&) = delete;

    // Windows process id; 0 when it did not come up.
    unsigned long id() const { return id_; }
    bool running() { return process_->running(); }
    // True when the process ended within the limit.
    bool waitEnded() {
        process_->wait(kProcessWait);
        return !process_->running();
    }

private:
    unsigned long waitReady() {
        std::string text;
        const auto ready = [&] { return (text = readFileBytes(readyPath_)).find('\n') != std::string::npos; };
        if (pollUntil([&] { return ready() || !process_->running(); }, kProcessWait) && ready())
            return std::stoul(text);
        ADD_FAILURE() << exeName_ << " did not start: " << process_->output();
        return 0;
    }

    static inline int started_ = 0;
    std::string exeName_;
    std::string readyPath_;
    std::unique_ptr<WineProcess> process_;
    unsigned long id_ = 0;
};

// A product directory with old copies of the files, a server that offers
// version 1.3 of them, and the updater waiting in stage Update.
class ProcessGuardTest : public ::testing::Test {
protected:
    ProcessGuardTest() : server(product.path()) {}

    // Old local copies (an installed one stays), new ones on the server.
    void publish(const std::vector<std::string>& files, const std::string& productName = "kelmor") {
        std::string manifest = "[" + productName + "]\r\nVERSION=1.3\r\n";
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::string& name = files[i];
            manifest += "[FILE" + std::to_string(i) + "]\r\nFILE=" + name + "\r\nVERSION=" + kPublished + "\r\n";
            if (!product.exists(name)) product.writeFile(name, "old " + name, kOldFiles);
            ScriptedAnswer body;
            body.body = newBytes(name);
            server.script("/kelmor/" + toCp936(name), body);
        }
        ScriptedAnswer answer;
        answer.body = toCp936(manifest);
        server.script("/kelmor/update.ini", answer);
        product.writeConfig({productName, "1.26", "http://127.0.0.1:" + std::to_string(server.port()) + "/kelmor/"});
    }
    static std::string newBytes(const std::string& name) { return "new " + name; }

    // Starts the updater and runs the check; fails the test unless it offers the update.
    void reachUpdateStage() {
        updater = std::make_unique<UpdaterProcess>(product);
        ASSERT_TRUE(wizard.waitOpen().found) << updater->output();
        ASSERT_TRUE(wizard.pressNext());
        const WizardState state = wizard.waitForNextCaption(kUpdateCaption);
        ASSERT_EQ(state.nextCaption, kUpdateCaption) << state << "\n" << updater->output();
        ASSERT_TRUE(state.nextEnabled) << state;
    }

    // Presses Update and returns the guard's prompt; fails the test without one.
    MessageBoxState pressUpdateForPrompt() {
        EXPECT_TRUE(wizard.pressNext());
        const std::optional<MessageBoxState> box = wizard.waitForBox();
        if (!box) {
            ADD_FAILURE() << "no prompt; " << wizard.state() << "\n" << updater->output();
            return {};
        }
        return *box;
    }

    WizardState waitFinished() {
        const WizardState state = wizard.waitForNextCaption(kFinishCaption);
        EXPECT_EQ(state.nextCaption, kFinishCaption) << state << "\n" << wizard.box().value_or(MessageBoxState{});
        return state;
    }

    ProductDir product;
    TestHttpServer server;
    Wizard wizard;
    std::unique_ptr<UpdaterProcess> updater;
};

TEST_F(ProcessGuardTest, OkEndsTheRunningProductAndItsFilesAreReplaced) {
    installProduct(product, "kelmor.exe");
    publish({"kelmor.exe", "kelmor.dat"});
    RunningProduct kelmor(product, "kelmor.exe", "kelmor.dat");
    ASSERT_NE(kelmor.id(), 0u);
    ASSERT_NO_FATAL_FAILURE(reachUpdateStage());

    const MessageBoxState box = pressUpdateForPrompt();
    EXPECT_EQ(box.text, productRunning("kelmor"));
    EXPECT_EQ(box.icon, BoxIcon::Exclamation) << box;
    EXPECT_TRUE(box.owned) << "the prompt belongs to the wizard";
    ASSERT_EQ(box.buttons.size(), 2u) << box;
    EXPECT_EQ(box.buttons[0].id, kOkId);
    EXPECT_EQ(box.buttons[1].id, kCancelId);
    EXPECT_TRUE(kelmor.running()) << "nothing is ended before the answer";
    ASSERT_TRUE(wizard.answerBox(kOkId));

    EXPECT_TRUE(kelmor.waitEnded());
    EXPECT_FALSE(listed("kelmor.exe", kelmor.id()));
    const WizardState state = waitFinished();
    EXPECT_EQ(state.lines, (std::vector<std::string>{"kelmor.exe 更新完成", "kelmor.dat 更新完成", "kelmor 1.3"}));
    EXPECT_EQ(state.status, kFinished);
    EXPECT_EQ(product.readFile("kelmor.exe"), newBytes("kelmor.exe"));
    EXPECT_EQ(product.readFile("kelmor.dat"), newBytes("kelmor.dat"));
    EXPECT_FALSE(wizard.box()) << "one prompt only";
}

TEST_F(ProcessGuardTest, CancelKeepsTheProductRunningAndTheWizardInStageUpdate) {
    installProduct(product, "kelmor.exe");
    publish({"kelmor.dat"});
    RunningProduct kelmor(product, "kelmor.exe", "kelmor.dat");
    ASSERT_NE(kelmor.id(), 0u);
    ASSERT_NO_FATAL_FAILURE(reachUpdateStage());
    const WizardState before = wizard.state();

    pressUpdateForPrompt();
    ASSERT_TRUE(wizard.answerBox(kCancelId));
    WizardState state = wizard.waitUntil([](const WizardState& s) { return s.nextEnabled && s.responsive; });
    EXPECT_EQ(state.nextCaption, kUpdateCaption);
    EXPECT_TRUE(state.nextEnabled) << state;
    EXPECT_EQ(state.lines, before.lines);
    EXPECT_EQ(state.status, before.status);
    EXPECT_TRUE(kelmor.running());
    EXPECT_TRUE(listed("kelmor.exe", kelmor.id()));
    EXPECT_EQ(server.countRequests("/kelmor/kelmor.dat"), 0u);
    EXPECT_EQ(product.readFile("kelmor.dat"), "old kelmor.dat");

    // The button works again: the second press asks again, and OK goes on.
    pressUpdateForPrompt();
    ASSERT_TRUE(wizard.answerBox(kOkId));
    EXPECT_TRUE(kelmor.waitEnded());
    waitFinished();
    EXPECT_EQ(product.readFile("kelmor.dat"), newBytes("kelmor.dat"));
}

struct MatchCase {
    const char* label;
    std::string productName;  // strSoft, UTF-8
    std::string exeName;      // the running executable's file name, UTF-8
};
void PrintTo(const MatchCase& match, std::ostream* out) { *out << match.label; }

class ProcessGuardMatchTest : public ProcessGuardTest, public ::testing::WithParamInterface<MatchCase> {};

// The name is compared ignoring case, full-width letters included, in the
// program's own code page.
TEST_P(ProcessGuardMatchTest, FindsTheProductUnderAnotherCase) {
    installProduct(product, GetParam().exeName);
    publish({"kelmor.dat"}, GetParam().productName);
    RunningProduct running(product, GetParam().exeName);
    ASSERT_NE(running.id(), 0u);
    ASSERT_NO_FATAL_FAILURE(reachUpdateStage());

    EXPECT_EQ(pressUpdateForPrompt().text, productRunning(GetParam().productName));
    ASSERT_TRUE(wizard.answerBox(kOkId));
    EXPECT_TRUE(running.waitEnded());
    waitFinished();
}

INSTANTIATE_TEST_SUITE_P(ProcessGuardNames, ProcessGuardMatchTest,
                         ::testing::Values(MatchCase{"UpperCase", "kelmor", "KELMOR.EXE"},
                                           MatchCase{"FullWidth", "ｋｅｌｍｏｒ", "ＫＥＬＭＯＲ.exe"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ProcessGuardTest, ANameThatOnlyContainsTheProductIsLeftAlone) {
    installProduct(product, "kelmor2.exe");
    publish({"kelmor.dat"});
    RunningProduct other(product, "kelmor2.exe");
    ASSERT_NE(other.id(), 0u);
    ASSERT_NO_FATAL_FAILURE(reachUpdateStage());

    ASSERT_TRUE(wizard.pressNext());
    const WizardState state = waitFinished();
    const std::optional<MessageBoxState> box = wizard.box();
    EXPECT_FALSE(box) << *box;
    EXPECT_EQ(state.lines, (std::vector<std::string>{"kelmor.dat 更新完成", "kelmor 1.3"}));
    EXPECT_TRUE(other.running());
}

// Only the first instance in snapshot order is ended. The other keeps its
// file open, so that file stays as it was and the download waits beside it.
TEST_F(ProcessGuardTest, OfTwoInstancesOnlyTheFirstInSnapshotOrderIsEnded) {
    installProduct(product, "kelmor.exe");
    publish({"one.dat", "two.dat"});
    RunningProduct one(product, "kelmor.exe", "one.dat");
    RunningProduct two(product, "kelmor.exe", "two.dat");
    ASSERT_NE(one.id(), 0u);
    ASSERT_NE(two.id(), 0u);
    const std::vector<unsigned long> order = snapshotIds("kelmor.exe");
    ASSERT_EQ(order.size(), 2u);
    const bool oneFirst = order[0] == one.id();
    RunningProduct& first = oneFirst ? one : two;
    RunningProduct& second = oneFirst ? two : one;
    const std::string firstFile = oneFirst ? "one.dat" : "two.dat";
    const std::string secondFile = oneFirst ? "two.dat" : "one.dat";
    ASSERT_NO_FATAL_FAILURE(reachUpdateStage());

    pressUpdateForPrompt();
    ASSERT_TRUE(wizard.answerBox(kOkId));
    EXPECT_TRUE(first.waitEnded());
    const WizardState state = waitFinished();
    EXPECT_FALSE(wizard.box()) << "one prompt only";
    EXPECT_TRUE(second.running());
    EXPECT_EQ(snapshotIds("kelmor.exe"), std::vector<unsigned long>{order[1]});
    EXPECT_EQ(product.readFile(firstFile), newBytes(firstFile));
    EXPECT_EQ(product.readFile(secondFile), "old " + secondFile);
    EXPECT_EQ(product.readFile(secondFile + ".upg"), newBytes(secondFile));
    ASSERT_EQ(state.lines.size(), 3u) << state;
    EXPECT_EQ(state.lines[oneFirst ? 0 : 1], firstFile + " 更新完成");
    EXPECT_EQ(state.lines[oneFirst ? 1 : 0], secondFile + " 更新失败");
}

}  // namespace
}  // namespace testsupport
