#include "engine/version_check.h"

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

    void serveManifest(FakeResponse response) { rig.http.responses["/kelmor/update.ini"] = std::move(response); }
    void serveManifest(const std::string& body) { serveManifest(answer(body)); }
    CheckOutcome check() { return fakes::checkVersion(rig.context, newVersion); }
};

TEST_F(VersionCheckTest, NewerVersionIsFoundAndShown) {
    rig.settings.installedVersion = "1.26";
    serveManifest("[kelmor]\r\nVERSION=1.3\r\n");

    EXPECT_EQ(check(), CheckOutcome::NewerFound);
    EXPECT_EQ(newVersion, "1.3");
    EXPECT_EQ(rig.http.opened, std::vector<std::string>{"/kelmor/update.ini"});
    EXPECT_EQ(rig.view.statuses,
              (std::vector<std::string>{"正在连接到服务器...", kReadingVersion, kNewerFoundPrefix + "kelmor 1.3"}));
    EXPECT_EQ(rig.view.caption, kNextCaption) << "the wizard moves the button on from the result";
    EXPECT_TRUE(rig.view.enabled);
    EXPECT_EQ(rig.files.content("C:\\Temp\\\\update.ini"), "[kelmor]\r\nVERSION=1.3\r\n");
    EXPECT_EQ(rig.http.openRequests, 0);
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
    rig.files.put(rig.copyPath(), "earlier");
    serveManifest(sendFailure("timeout"));

    EXPECT_EQ(check(), CheckOutcome::Failed);
    EXPECT_EQ(rig.view.statuses, (std::vector<std::string>{"正在连接到服务器...", kConnectFailed}));
    EXPECT_TRUE(rig.view.enabled);
    EXPECT_EQ(rig.view.caption, kNextCaption);
    EXPECT_TRUE(rig.files.created.empty());
    EXPECT_EQ(rig.files.content(rig.copyPath()), "earlier");
    EXPECT_EQ(newVersion, "unset");
    EXPECT_EQ(rig.http.openRequests, 0);
}

// Only a 200 whose end is known is a manifest: not a 204 or 206, nor an
// answer with contradicting lengths, chunked or content coding.
TEST_F(VersionCheckTest, AnswerOtherThanAWhole200IsNoManifestAndKeepsTheEarlierCopy) {
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
        {"gzip", gzipped}};
    for (const auto& [status, response] : answers) {
        EngineRig each;
        each.files.put(each.copyPath(), "earlier");
        each.http.responses["/kelmor/update.ini"] = response;
        std::string version;
        EXPECT_EQ(fakes::checkVersion(each.context, version), CheckOutcome::Failed) << status;
        EXPECT_EQ(each.view.status(), kConnectFailed) << status;
        EXPECT_TRUE(each.files.created.empty()) << status;
        EXPECT_EQ(each.files.content(each.copyPath()), "earlier") << status;
        EXPECT_TRUE(each.view.enabled) << status;
    }
}

TEST_F(VersionCheckTest, BodyShorterThanContentLengthIsRemoved) {
    serveManifest(withLength(answer("[kelmor]\nVERSION=9\n"), "100"));
    EXPECT_EQ(check(), CheckOutcome::Failed);
    EXPECT_EQ(rig.view.status(), kConnectFailed);
    EXPECT_FALSE(rig.files.exists(rig.copyPath()));
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
    EXPECT_EQ(rig.files.content(rig.copyPath()), body);
}

TEST_F(VersionCheckTest, BodyBeyond16MiBIsRefused) {
    serveManifest(withLength(answer(std::string((16u << 20) + 1, ';')), ""));
    EXPECT_EQ(check(), CheckOutcome::Failed);
    EXPECT_EQ(rig.view.status(), kConnectFailed);
    EXPECT_FALSE(rig.files.exists(rig.copyPath()));
}

TEST_F(VersionCheckTest, CopyThatCannotBeCreatedThrowsNamingThePath) {
    rig.files.uncreatable.insert(rig.copyPath());
    serveManifest("[kelmor]\nVERSION=9\n");
    try {
        check();
        FAIL() << "no FileError";
    } catch (const FileError& error) {
        EXPECT_EQ(error.kind(), FileError::Kind::Create);
        EXPECT_EQ(error.path(), "C:\\Temp\\\\update.ini");
    }
    EXPECT_EQ(rig.view.status(), kReadingVersion);
    EXPECT_TRUE(rig.view.enabled);
    EXPECT_EQ(rig.view.caption, kNextCaption);
    EXPECT_EQ(rig.http.openRequests, 0);
}

TEST_F(VersionCheckTest, ReadFailureEscapesWithTheRequestClosedAndNoPartialCopy) {
    serveManifest(failingReadAt(answer(std::string(5000, ';')), 2048));
    EXPECT_THROW(check(), NetworkError);
    EXPECT_EQ(rig.view.status(), kReadingVersion);
    EXPECT_EQ(rig.http.openRequests, 0);
    EXPECT_FALSE(rig.files.exists(rig.copyPath()));
}

}  // namespace
}  // namespace updater
