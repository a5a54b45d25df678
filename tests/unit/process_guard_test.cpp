#include "engine/run/process_guard.h"

#include <gtest/gtest.h>

#include "tests/unit/fakes.h"

namespace updater {
namespace {

using fakes::FakeMessages;
using fakes::FakeProcessSystem;
using fakes::FakeView;

TEST(IsProductExecutable, MatchesTheWholeNameIgnoringCase) {
    const Cp936 cp;
    EXPECT_TRUE(isProductExecutable("KELMOR.EXE", "kelmor", cp));
    EXPECT_TRUE(isProductExecutable("kelmor.exe", "Kelmor", cp));
    EXPECT_FALSE(isProductExecutable("kelmor2.exe", "kelmor", cp));
    EXPECT_FALSE(isProductExecutable("kelmor", "kelmor", cp));
    EXPECT_FALSE(isProductExecutable("xkelmor.exe", "kelmor", cp));
    // Full-width ｋｅ matches ＫＥ.
    EXPECT_TRUE(isProductExecutable("\xA3\xCB\xA3\xC5.exe", "\xA3\xEB\xA3\xE5", cp));
}

// A name that ends in a double-byte character: the character is compared
// whole, and its trail byte is never folded as if it were an ASCII letter.
TEST(IsProductExecutable, ComparesATrailingDoubleByteCharacterWhole) {
    const Cp936 cp;
    const std::string software = "\xC8\xED\xBC\xFE";  // 软件
    EXPECT_TRUE(isProductExecutable(software + ".EXE", software, cp));
    EXPECT_FALSE(isProductExecutable("\xC8\xED.exe", software, cp));
    // 0x81 0x65 and 0x81 0x45 are two characters, not one with e and E.
    EXPECT_FALSE(isProductExecutable("kelmor\x81\x65.exe", "kelmor\x81\x45", cp));
    EXPECT_TRUE(isProductExecutable("KELMOR\x81\x65.EXE", "kelmor\x81\x65", cp));
    // A lone lead byte at the end is a character of its own, not a match.
    EXPECT_FALSE(isProductExecutable("kelmor.exe\x81", "kelmor", cp));
}

class ProcessGuardTest : public ::testing::Test {
protected:
    FakeProcessSystem processes;
    Cp936 cp;
    FakeMessages messages;
    FakeView view;
    ProcessGuard guard{processes, cp, messages, view, processes.clock};
};

TEST_F(ProcessGuardTest, NotRunningGoesOnWithoutAsking) {
    processes.processes = {{4, "explorer.exe"}, {8, "kelmor2.exe"}};
    EXPECT_TRUE(guard.consult("kelmor"));
    EXPECT_TRUE(view.confirms.empty());
    EXPECT_TRUE(processes.terminated.empty());
}

TEST_F(ProcessGuardTest, OkTerminatesOnlyTheFirstMatch) {
    processes.processes = {{4, "explorer.exe"}, {12, "KELMOR.EXE"}, {20, "kelmor.exe"}};
    view.confirmAnswer = true;
    EXPECT_TRUE(guard.consult("kelmor"));
    ASSERT_EQ(view.confirms.size(), 1u);
    EXPECT_EQ(view.confirms[0], "kelmor 已在运行!\n请先关闭程序才能进行更新!\n如果选择确定将强行关闭程序!");
    EXPECT_EQ(processes.terminated, std::vector<long>{12});
}

TEST_F(ProcessGuardTest, CancelStopsTheRunAndTerminatesNothing) {
    processes.processes = {{12, "kelmor.exe"}};
    view.confirmAnswer = false;
    // A display name is what the box calls the product; strSoft is what is looked for.
    EXPECT_FALSE(guard.consult("kelmor", "Kelmor Pro"));
    ASSERT_EQ(view.confirms.size(), 1u);
    EXPECT_EQ(view.confirms[0].rfind("Kelmor Pro 已在运行!", 0), 0u) << view.confirms[0];
    EXPECT_TRUE(processes.terminated.empty());
}

// Windows ends a terminated process, and frees its files, only after
// TerminateProcess has returned: the run may start only once it has ended.
TEST_F(ProcessGuardTest, WaitsForTheTerminatedProductToEndAcrossEarlyWakeUps) {
    processes.processes = {{12, "kelmor.exe"}};
    processes.endsAfterMs = 1200;
    processes.wakeEveryMs = 100;
    const std::uint64_t start = processes.clock.now;
    EXPECT_TRUE(guard.consult("kelmor"));
    EXPECT_TRUE(processes.ended) << "the run would start while the product still holds its files";
    EXPECT_EQ(processes.clock.now - start, 1200u);
    EXPECT_EQ(processes.waits, 12) << "a wait that returns early is taken up again for what is left";
}

TEST_F(ProcessGuardTest, AProductThatWillNotEndIsWaitedForFiveSecondsAtMost) {
    processes.processes = {{12, "kelmor.exe"}};
    processes.endsAfterMs = 60000;
    processes.wakeEveryMs = 250;
    const std::uint64_t start = processes.clock.now;
    EXPECT_TRUE(guard.consult("kelmor"));
    EXPECT_FALSE(processes.ended);
    EXPECT_EQ(processes.clock.now - start, 5000u);

    // A process that could not be opened is not waited for at all.
    processes.refusesTermination = true;
    const std::uint64_t refusedAt = processes.clock.now;
    EXPECT_TRUE(guard.consult("kelmor"));
    EXPECT_EQ(processes.clock.now, refusedAt);
}

}  // namespace
}  // namespace updater
