#include "engine/run/version_check.h"

#include <gtest/gtest.h>

#include "tests/support/wizard_texts.h"
#include "tests/unit/fakes.h"

using testsupport::kConnectFailed;
using testsupport::kReadingVersion;
using testsupport::kAlreadyNewest;
using testsupport::kNewerFoundPrefix;
using testsupport::kNextCaption;

namespace updater {
namespace {

using fakes::EngineRig;
using fakes::answer;
using fakes::FakeResponse;
using fakes::failingReadAt;
using fakes::sendFailure;
using fakes::withLength;

class VersionCheckTest : public ::testing::Test {
protected:
    EngineRig rig;
    std::string newVersion = "unset";
    std::string manifest;

    void serveManifest(FakeResponse response) { rig.http.responses["/kelmor/update.ini"] = std::move(response); }
    void serveManifest(const std::string& body) { serveManifest(answer(body)); }
    CheckOutcome check() { return fakes::checkVersion(rig.context, newVersion, &manifest); }
};

TEST_F(VersionCheckTest, NewerVersionIsFoundAndShown) {
    rig.settings.installedVersion = "1.26";
    serveManifest("[kelmor]\r\nVERSION=1.3\r\n");

    EXPECT_EQ(check(), CheckOutcome::NewerFound);
    EXPECT_EQ(newVersion, "1.3");
    EXPECT_EQ(rig.http.opened, std::vector<std::string>{"/kelmor/update.ini"});
    EXPECT_EQ(rig.http.noCache, rig.http.opened) << "past any cache on the way";
    EXPECT_EQ(rig.view.statuses,
              (std::vector<std::string>{"正在连接到服务器...", kReadingVersion, kNewerFoundPrefix + "kelmor 1.3"}));
    EXPECT_EQ(rig.view.caption, kNextCaption) << "the wizard moves the button on from the result";
    EXPECT_TRUE(rig.view.enabled);
    EXPECT_EQ(manifest, "[kelmor]\r\nVERSION=1.3\r\n") << "kept for the run, in memory";
    EXPECT_TRUE(rig.files.created.empty());
    EXPECT_EQ(rig.http.openRequests, 0);
}

// A brand's display name shows; the manifest's section is still strSoft's.
TEST_F(VersionCheckTest, ADisplayNameNamesTheProductShownNotTheOneLookedUp) {
    rig.settings.displayName = "Kelmor Pro";
    serveManifest("[kelmor]\r\nVERSION=1.3\r\n[Kelmor Pro]\r\nVERSION=9\r\n");
    EXPECT_EQ(check(), CheckOutcome::NewerFound);
    EXPECT_EQ(rig.view.status(), kNewerFoundPrefix + "Kelmor Pro 1.3");
}

TEST_F(VersionCheckTest, EqualVersionIsAlreadyTheNewest) {
    serveManifest("[kelmor]\nVERSION=1.26\n");
    EXPECT_EQ(check(), CheckOutcome::AlreadyNewest);
    EXPECT_EQ(newVersion, "1.26");
    EXPECT_EQ(rig.view.status(), kAlreadyNewest);
    EXPECT_TRUE(rig.view.enabled) << "the wizard disables the button from the result";
    EXPECT_EQ(rig.view.caption, kNextCaption);
}

TEST_F(VersionCheckTest, MissingSectionReadsAsOnePointZeroAndEmptyVersionAsZero) {
    rig.settings.installedVersion = "0.5";
    serveManifest("[other]\nVERSION=9\n");
    EXPECT_EQ(check(), CheckOutcome::NewerFound);
    EXPECT_EQ(newVersion, "1.0");

    EngineRig emptyRig;
    emptyRig.settings.installedVersion = "0.5";
    emptyRig.http.responses["/kelmor/update.ini"] = answer("[kelmor]\nVERSION=\n");
    std::string emptyVersion;
    EXPECT_EQ(fakes::checkVersion(emptyRig.context, emptyVersion), CheckOutcome::AlreadyNewest);
    EXPECT_EQ(emptyVersion, "");
}

TEST_F(VersionCheckTest, UrlPathIsJoinedWithoutSeparator) {
    rig.settings.urlPath = "/dir";
    rig.http.responses["/dirupdate.ini"] = answer("[kelmor]\nVERSION=2\n");
    EXPECT_EQ(check(), CheckOutcome::NewerFound);
    EXPECT_EQ(rig.http.opened, std::vector<std::string>{"/dirupdate.ini"});
}

TEST_F(VersionCheckTest, SendFailureShows109AndWritesNothing) {
    serveManifest(sendFailure("timeout"));

    EXPECT_EQ(check(), CheckOutcome::Failed);
    EXPECT_EQ(rig.view.statuses, (std::vector<std::string>{"正在连接到服务器...", kConnectFailed}));
    EXPECT_TRUE(rig.view.enabled);
    EXPECT_EQ(rig.view.caption, kNextCaption);
    EXPECT_TRUE(rig.files.created.empty());
    EXPECT_EQ(newVersion, "unset");
    EXPECT_EQ(rig.http.openRequests, 0);
}

// Only a 200 whose end is known is a manifest: not a 204 or 206, nor an
// answer with contradicting lengths, chunked or content coding; nor a page
// or text without a section line, such as a network's login page.
TEST_F(VersionCheckTest, AnswerOtherThanAWhole200IsNoManifest) {
    fakes::FakeResponse twoLengths = answer("[kelmor]\nVERSION=9\n");
    twoLengths.moreContentLengths = {"7"};
    fakes::FakeResponse chunked = withLength(answer("[kelmor]\nVERSION=9\n"), "");
    chunked.transferEncoding = "chunked";
    fakes::FakeResponse gzipped = answer("[kelmor]\nVERSION=9\n");
    gzipped.contentEncoding = "gzip";
    const std::vector<std::pair<std::string, fakes::FakeResponse>> answers = {
        {"404", answer("[kelmor]\nVERSION=9\n", "404")}, {"500", answer("[kelmor]\nVERSION=9\n", "500")},
        {"302", answer("[kelmor]\nVERSION=9\n", "302")}, {"none", answer("[kelmor]\nVERSION=9\n", "")},
        {"2000", answer("[kelmor]\nVERSION=9\n", "2000")}, {"204", answer("", "204")},
        {"206", answer("[kelmor]\nVERSION=9\n", "206")}, {"two lengths", twoLengths}, {"chunked", chunked},
        {"gzip", gzipped}, {"login page", answer("<html><body>[kelmor] VERSION=9</body></html>")},
        {"no section line", answer("VERSION=9\n")}, {"empty", answer("")}};
    for (const auto& [status, response] : answers) {
        EngineRig each;
        each.http.responses["/kelmor/update.ini"] = response;
        std::string version, kept = "unset";
        EXPECT_EQ(fakes::checkVersion(each.context, version, &kept), CheckOutcome::Failed) << status;
        EXPECT_EQ(each.view.status(), kConnectFailed) << status;
        EXPECT_TRUE(kept.empty()) << status;
        EXPECT_TRUE(each.view.enabled) << status;
    }
}

TEST_F(VersionCheckTest, BodyShorterThanContentLengthIsNoManifest) {
    serveManifest(withLength(answer("[kelmor]\nVERSION=9\n"), "100"));
    EXPECT_EQ(check(), CheckOutcome::Failed);
    EXPECT_EQ(rig.view.status(), kConnectFailed);
    EXPECT_TRUE(manifest.empty());
}

TEST_F(VersionCheckTest, UnusableContentLengthIsNotChecked) {
    for (const char* length : {"", "abc", "0"}) {
        EngineRig each;
        each.http.responses["/kelmor/update.ini"] = withLength(answer("[kelmor]\nVERSION=9\n"), length);
        std::string version;
        EXPECT_EQ(fakes::checkVersion(each.context, version), CheckOutcome::NewerFound) << length;
    }
}

TEST_F(VersionCheckTest, BodyLongerThanOneChunkIsCopiedWhole) {
    const std::string body = "; " + std::string(5000, 'x') + "\n[kelmor]\nVERSION=3.5\n";
    serveManifest(body);
    EXPECT_EQ(check(), CheckOutcome::NewerFound);
    EXPECT_EQ(newVersion, "3.5");
    EXPECT_EQ(manifest, body);
    EXPECT_TRUE(rig.files.created.empty()) << "the manifest is kept in memory, never in a file";
}

TEST_F(VersionCheckTest, BodyBeyond16MiBIsRefused) {
    serveManifest(withLength(answer(std::string((16u << 20) + 1, ';')), ""));
    EXPECT_EQ(check(), CheckOutcome::Failed);
    EXPECT_EQ(rig.view.status(), kConnectFailed);
    EXPECT_TRUE(manifest.empty());
}

// A body paced so that every read returns in time still ends when the
// check's whole budget is spent: each wait is given only what remains, and
// the check ends as a failed one, not stuck at "读取版本信息...".
TEST_F(VersionCheckTest, SlowBodyEndsWithinTheCheckBudget) {
    FakeResponse slow = answer("[kelmor]\nVERSION=9\n" + std::string(30000, ';'));
    slow.msPerRead = 29000;
    slow.bytesPerRead = 1100;
    serveManifest(slow);
    const std::uint64_t start = rig.clock.now;

    EXPECT_EQ(check(), CheckOutcome::Failed);
    EXPECT_EQ(rig.clock.now - start, kCheckLimitMs);
    EXPECT_EQ(rig.view.statuses.back(), kConnectFailed);
    EXPECT_TRUE(rig.view.enabled);
    ASSERT_FALSE(rig.http.limits.empty());
    EXPECT_EQ(rig.http.limits.front(), kCheckLimitMs);
    EXPECT_LT(rig.http.limits.back(), 29000u) << "the last wait had only what remained";
    EXPECT_EQ(rig.http.openRequests, 0);

    // The same pace with a body that fits in the budget is read whole.
    EngineRig quick;
    FakeResponse paced = answer("[kelmor]\nVERSION=9\n" + std::string(3000, ';'));
    paced.msPerRead = 29000;
    paced.bytesPerRead = 1100;
    quick.http.responses["/kelmor/update.ini"] = paced;
    std::string version;
    EXPECT_EQ(fakes::checkVersion(quick.context, version), CheckOutcome::NewerFound);
}

// The wizard closing during the check stops it at the next chunk.
TEST_F(VersionCheckTest, StopFlagEndsTheCheckBetweenChunks) {
    StopFlag stop;
    rig.context.stop = &stop;
    FakeResponse paced = answer("[kelmor]\nVERSION=9\n" + std::string(10000, ';'));
    paced.bytesPerRead = 1000;
    serveManifest(paced);
    rig.view.onStatus = [&](const std::string& text) {
        if (text == kReadingVersion) stop.request();
    };
    EXPECT_EQ(check(), CheckOutcome::Failed);
    EXPECT_EQ(rig.http.openRequests, 0);
}

TEST_F(VersionCheckTest, ReadFailureEscapesWithTheRequestClosedAndNoPartialCopy) {
    serveManifest(failingReadAt(answer(std::string(5000, ';')), 2048));
    EXPECT_THROW(check(), NetworkError);
    EXPECT_EQ(rig.view.status(), kReadingVersion);
    EXPECT_EQ(rig.http.openRequests, 0);
    EXPECT_TRUE(manifest.empty());
}

}  // namespace
}  // namespace updater
