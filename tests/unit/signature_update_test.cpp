// The check and the run of a build that carries the vendor's key, with a fake
// verifier; and the same signed manifests read by a build without a key.
#include <gtest/gtest.h>

#include "engine/run/update_run.h"
#include "engine/run/version_check.h"
#include "tests/support/wizard_texts.h"
#include "tests/unit/fake_verifier.h"
#include "tests/unit/fakes.h"

using testsupport::kUpdateCaption;
using testsupport::kFinishCaption;
using testsupport::kSignatureInvalid;
using testsupport::kNextCaption;

namespace updater {
namespace {

using fakes::answer;
using fakes::fakeDigestHex;

const std::string kProg = "C:\\Prog\\";
const std::string kRefused = testsupport::kSignatureInvalid;
const std::string kNewA = "new bytes of a.dll";
const std::string kNewB = "new bytes of b.dll";

std::string fileSection(int index, const std::string& file, const std::string& body) {
    return "[FILE" + std::to_string(index) + "]\r\nFILE=" + file + "\r\nVERSION=2024-03-05 14:30:00\r\nSIZE=" +
           std::to_string(body.size()) + "\r\nSHA256=" + fakeDigestHex(body) + "\r\n";
}

const std::string kManifest = "[kelmor]\r\nVERSION=1.3\r\n" + fileSection(0, "a.dll", kNewA) +
                              fileSection(1, "b.dll", kNewB);

class SignedUpdateTest : public ::testing::Test {
protected:
    fakes::EngineRig rig;
    fakes::FakeVerifier verifier;
    std::string newVersion = "unset";
    std::string manifest;

    SignedUpdateTest() {
        rig.settings.installedVersion = "1.26";
        rig.services.verifier = &verifier;
        rig.dates.dates["2024-03-05 14:30:00"] = 45356.6;
        rig.files.put(kProg + "a.dll", "old a", 45000);
        rig.files.put(kProg + "b.dll", "old b", 45000);
        serve("a.dll", kNewA);
        serve("b.dll", kNewB);
    }
    void serve(const std::string& file, const std::string& body) { rig.http.responses["/kelmor/" + file] = answer(body); }
    void serveManifest(const std::string& text) { serve("update.ini", text); }
    CheckOutcome check() { return fakes::checkVersion(rig.context, newVersion, &manifest); }
    // A check that found the update, then the run.
    void checkAndRun() {
        ASSERT_EQ(check(), CheckOutcome::NewerFound);
        rig.view.list = {"kelmor 1.26"};
        runUpdate(rig.context, manifest, newVersion);
    }
    void expectNothingInstalled() {
        EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old a");
        EXPECT_EQ(rig.files.content(kProg + "b.dll"), "old b");
        EXPECT_FALSE(rig.files.exists(kProg + "a.dll.upg"));
        EXPECT_FALSE(rig.files.exists(kProg + "b.dll.upg"));
    }
};

TEST_F(SignedUpdateTest, SignedManifestUpdatesAsBefore) {
    serveManifest(verifier.sign(kManifest));
    checkAndRun();

    ASSERT_EQ(verifier.verified.size(), 1u) << "the check verifies; the run works from the verified bytes";
    EXPECT_EQ(verifier.verified[0], kManifest + "\r\n");
    EXPECT_EQ(newVersion, "1.3");
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), kNewA);
    EXPECT_EQ(rig.files.content(kProg + "b.dll"), kNewB);
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"a.dll 更新完成", "b.dll 更新完成", "kelmor 1.3"}));
    EXPECT_EQ(rig.view.caption, kFinishCaption);
    EXPECT_EQ(rig.sha256.hashesStarted, 2);
}

TEST_F(SignedUpdateTest, CheckRefusesEveryManifestThatFailsItsSignature) {
    std::string altered = verifier.sign(kManifest);
    altered.replace(altered.find("VERSION=1.3"), 11, "VERSION=1.4");
    fakes::FakeVerifier otherKey;
    otherKey.key = 99;
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"unsigned", kManifest},
        {"altered after signing", altered},
        {"signed with another key", otherKey.sign(kManifest)},
        {"data after the signature", verifier.sign(kManifest) + "[FILE2]\r\nFILE=evil.dll\r\n"},
        {"error page", "<html>502</html>"},
    };
    // A page is no manifest at all: a failed connection, not a forgery.
    const auto expectedStatus = [](const std::string& name) {
        return name == "error page" ? testsupport::kConnectFailed : kRefused;
    };
    for (const auto& [name, text] : refused) {
        SCOPED_TRACE(name);
        rig.view = fakes::FakeView();
        serveManifest(text);

        EXPECT_EQ(check(), CheckOutcome::Failed);
        EXPECT_EQ(rig.view.status(), expectedStatus(name));
        EXPECT_EQ(rig.view.caption, kNextCaption) << "ends like a failed check: Next again";
        EXPECT_TRUE(rig.view.enabled);
        EXPECT_TRUE(rig.files.created.empty()) << "nothing of it is written anywhere";
        EXPECT_TRUE(manifest.empty()) << "nothing of it is left for a run to use";
    }
}

TEST_F(SignedUpdateTest, SignedOlderOrEqualVersionIsNeverOffered) {
    rig.settings.installedVersion = "1.3";
    serveManifest(verifier.sign("[kelmor]\r\nVERSION=1.26\r\n" + fileSection(0, "a.dll", kNewA)));
    EXPECT_EQ(check(), CheckOutcome::AlreadyNewest);
    EXPECT_EQ(newVersion, "1.26");
}

TEST_F(SignedUpdateTest, DownloadThatDiffersFromItsHashFailsAndLeavesTheOldFile) {
    serveManifest(verifier.sign(kManifest));
    std::string tampered = kNewA;
    tampered[0] = 'N';
    serve("a.dll", tampered);
    serve("b.dll", kNewB + "+");  // longer than SIZE
    checkAndRun();

    expectNothingInstalled();
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"a.dll 更新失败", "b.dll 更新失败", "kelmor 1.3"}));
    EXPECT_EQ(rig.view.caption, kFinishCaption) << "failed files do not stop the run";
}

TEST_F(SignedUpdateTest, OversizedDownloadIsCutShort) {
    serveManifest(verifier.sign(kManifest));
    serve("a.dll", std::string(1 << 20, 'x'));
    checkAndRun();
    EXPECT_LT(rig.http.reads, 10) << "the transfer stops at the first chunk past SIZE";
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old a");
    EXPECT_FALSE(rig.files.exists(kProg + "a.dll.upg"));
}

TEST_F(SignedUpdateTest, EntryWithoutSizeOrHashIsFailedWithoutADownload) {
    const std::string noHash = "[FILE0]\r\nFILE=a.dll\r\nVERSION=2024-03-05 14:30:00\r\nSIZE=" +
                               std::to_string(kNewA.size()) + "\r\n";
    const std::string noSize = "[FILE1]\r\nFILE=b.dll\r\nVERSION=2024-03-05 14:30:00\r\nSHA256=" +
                               fakeDigestHex(kNewB) + "\r\n";
    serveManifest(verifier.sign("[kelmor]\r\nVERSION=1.3\r\n" + noHash + noSize));
    checkAndRun();

    EXPECT_EQ(rig.http.opened, std::vector<std::string>{"/kelmor/update.ini"});
    expectNothingInstalled();
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"a.dll 更新失败", "b.dll 更新失败", "kelmor 1.3"}));
}

TEST_F(SignedUpdateTest, UpToDateFilesNeedNoHash) {
    serveManifest(verifier.sign("[kelmor]\r\nVERSION=1.3\r\n[FILE0]\r\nFILE=a.dll\r\nVERSION=2024-03-05 14:30:00\r\n"));
    rig.files.put(kProg + "a.dll", "current a", 45400);
    checkAndRun();
    EXPECT_EQ(rig.view.list, std::vector<std::string>{"kelmor 1.3"});
}

// The run works from the bytes the check verified, kept in memory: what the
// server or anyone else offers in between is never read.
TEST_F(SignedUpdateTest, RunWorksFromTheManifestTheCheckVerified) {
    serveManifest(verifier.sign(kManifest));
    ASSERT_EQ(check(), CheckOutcome::NewerFound);
    serveManifest(kManifest + "[FILE2]\r\nFILE=evil.dll\r\n");
    rig.view.list = {"kelmor 1.26"};

    runUpdate(rig.context, manifest, newVersion);

    EXPECT_EQ(rig.http.opened, (std::vector<std::string>{"/kelmor/update.ini", "/kelmor/a.dll", "/kelmor/b.dll"}));
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"a.dll 更新完成", "b.dll 更新完成", "kelmor 1.3"}));
    EXPECT_EQ(verifier.verified.size(), 1u);
}

TEST_F(SignedUpdateTest, BuildWithoutKeyIgnoresTheSignatureButChecksSizeAndHash) {
    rig.services.verifier = nullptr;
    serveManifest(verifier.sign(kManifest));
    serve("a.dll", "other bytes");
    checkAndRun();

    EXPECT_TRUE(verifier.verified.empty());
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old a");
    EXPECT_FALSE(rig.files.exists(kProg + "a.dll.upg"));
    EXPECT_EQ(rig.files.content(kProg + "b.dll"), kNewB);
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"a.dll 更新失败", "b.dll 更新完成", "kelmor 1.3"}));
}

}  // namespace
}  // namespace updater
