// Rights only to install: what Update does with a directory it can or cannot
// write, and how the folder's claim crosses to the elevated copy. The
// launcher plays the prompt: started, refused, or failed.
#include "engine/run/install_rights.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace updater {
namespace {

struct FakeClaim : FolderClaimControl {
    bool held = true;
    bool takenByAnother = false;  // another updater claims the folder while it is free
    bool claim() override { return held = held || !takenByAnother; }
    void release() override { held = false; }
};

// Plays the prompt: answer 0 starts the copy, kPromptRefused is a refusal.
struct FakeLauncher : ElevatedLauncher {
    explicit FakeLauncher(FakeClaim& claim) : claim_(claim) {}
    unsigned long launch(const std::string& version) override {
        launched.push_back(version);
        // The copy claims the folder as it starts: never while this process holds it.
        EXPECT_FALSE(claim_.held);
        return answer;
    }
    FakeClaim& claim_;
    unsigned long answer = 0;
    std::vector<std::string> launched;
};

struct RightsCase {
    const char* name;
    bool writable;
    std::optional<std::string> elevatedFor;
    unsigned long launcherAnswer;
    bool takenByAnother;
    InstallRights::Step step;
    bool launches;
    bool claimHeldAfter;
};

TEST(InstallRights, UpdateRunsHereOrHandsTheFolderToAnElevatedCopy) {
    using Step = InstallRights::Step;
    const RightsCase rows[] = {
        {"writable", true, std::nullopt, 0, false, Step::Install, false, true},
        {"started", false, std::nullopt, 0, false, Step::HandedOver, true, false},
        {"refused", false, std::nullopt, kPromptRefused, false, Step::NoRights, true, true},
        {"failed", false, std::nullopt, 2, false, Step::LaunchFailed, true, true},
        {"refused, folder taken meanwhile", false, std::nullopt, kPromptRefused, true, Step::FolderLost, true, false},
        {"elevated copy, writable", true, std::string("1.3"), 0, false, Step::Install, false, true},
        {"elevated copy that cannot write", false, std::string("1.3"), 0, false, Step::NoRights, false, true},
        {"elevated at start, cannot write", false, std::string(), 0, false, Step::NoRights, false, true},
    };
    for (const RightsCase& row : rows) {
        SCOPED_TRACE(row.name);
        FakeClaim claim;
        claim.takenByAnother = row.takenByAnother;
        FakeLauncher launcher(claim);
        launcher.answer = row.launcherAnswer;
        InstallRights rights({.programDirectoryWritable = [&] { return row.writable; },
                              .claim = claim,
                              .launcher = launcher,
                              .elevatedFor = row.elevatedFor});
        const InstallRights::Decision decision = rights.beforeInstall("1.3");
        EXPECT_EQ(decision.step, row.step);
        EXPECT_EQ(decision.error, row.step == Step::NoRights || row.step == Step::Install ? 0u : row.launcherAnswer);
        EXPECT_EQ(launcher.launched, row.launches ? std::vector<std::string>{"1.3"} : std::vector<std::string>{});
        EXPECT_EQ(claim.held, row.claimHeldAfter);
    }
}

// A commit cut short while elevated: the recovery goes to a copy started
// without a version, whatever the probe says; an elevated copy never starts one.
TEST(InstallRights, RecoveryIsHandedToAnElevatedCopyWithoutAVersion) {
    for (const bool elevated : {false, true}) {
        FakeClaim claim;
        FakeLauncher launcher(claim);
        InstallRights rights({.programDirectoryWritable = [] { return true; },
                              .claim = claim,
                              .launcher = launcher,
                              .elevatedFor = elevated ? std::optional<std::string>("1.3") : std::nullopt});
        EXPECT_EQ(rights.forRecovery().step, elevated ? InstallRights::Step::NoRights : InstallRights::Step::HandedOver);
        EXPECT_EQ(launcher.launched, elevated ? std::vector<std::string>{} : std::vector<std::string>{""});
        EXPECT_EQ(claim.held, elevated);
    }
}

TEST(InstallRights, OnlyAnElevatedCopysFirstCheckThatFindsItsVersionGoesOn) {
    FakeClaim claim;
    FakeLauncher launcher(claim);
    auto rights = [&](std::optional<std::string> elevatedFor) {
        return InstallRights({.programDirectoryWritable = [] { return true; },
                              .claim = claim,
                              .launcher = launcher,
                              .elevatedFor = std::move(elevatedFor)});
    };
    EXPECT_FALSE(rights(std::nullopt).continuesWith("1.3"));
    EXPECT_FALSE(rights(std::string()).checksAtStart()) << "asked for at start: the wizard as it opens";
    InstallRights copy = rights(std::string("1.3"));
    EXPECT_TRUE(copy.checksAtStart());
    EXPECT_FALSE(copy.continuesWith("1.4"));
    EXPECT_FALSE(copy.continuesWith("1.3")) << "only the first check goes on by itself";
    EXPECT_TRUE(rights(std::string("1.3")).continuesWith("1.3"));
}

}  // namespace
}  // namespace updater
