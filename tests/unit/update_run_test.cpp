#include "engine/update_run.h"

#include <gtest/gtest.h>

#include "tests/unit/fakes.h"

namespace updater {
namespace {

using fakes::answer;
using fakes::EngineRig;
using fakes::failingReadAt;
using fakes::sendFailure;
using fakes::withLength;

const std::string kProg = "C:\\Prog\\";
constexpr double kOneSecond = 1.0 / 86400;

class UpdateRunTest : public ::testing::Test {
protected:
    EngineRig rig;

    UpdateRunTest() {
        rig.view.list = {"kelmor 1.26"};
        rig.view.caption = "更新(&U)";
        rig.dates.dates["2024-03-05 14:30:00"] = 45356.604166666664;
    }
    void writeManifest(const std::string& text) { rig.files.put(rig.copyPath(), text); }
    void serve(const std::string& file, fakes::FakeResponse response) {
        rig.http.responses["/kelmor/" + file] = std::move(response);
    }
    FileUpdateResult entry(const std::string& file, const std::string& version = "2024-03-05 14:30:00") {
        return updateEntry(rig.context, file, version);
    }
};

TEST_F(UpdateRunTest, TypicalRunListsResultsAndFinishes) {
    writeManifest(
        "[FILE0]\nFILE=a.dll\nVERSION=2024-03-05 14:30:00\n"
        "[FILE1]\nFILE=b.dll\nVERSION=2024-03-05 14:30:00\n"
        "[FILE2]\nFILE=c.dll\nVERSION=2024-03-05 14:30:00\n"
        "[FILE3]\nFILE=gone.dll\nVERSION=2024-03-05 14:30:00\n"
        "[FILE5]\nFILE=after-gap.dll\n");
    rig.files.put(kProg + "a.dll", "old a", 45000);
    rig.files.put(kProg + "c.dll", "current c", 45400);
    serve("a.dll", answer("new a"));
    serve("b.dll", answer("new b"));

    runUpdate(rig.context, "1.3");

    EXPECT_EQ(rig.http.opened, (std::vector<std::string>{"/kelmor/a.dll", "/kelmor/b.dll", "/kelmor/gone.dll"}));
    EXPECT_FALSE(rig.http.overlapped);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "new a");
    EXPECT_EQ(rig.files.content(kProg + "b.dll"), "new b");
    EXPECT_EQ(rig.files.content(kProg + "c.dll"), "current c");
    EXPECT_FALSE(rig.files.exists(kProg + "a.dll.upg"));
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"a.dll 更新完成", "b.dll 更新完成", "gone.dll  不存在!",
                                                      "gone.dll 更新失败", "kelmor 1.3"}));
    EXPECT_FALSE(rig.files.exists(rig.copyPath()));

    const std::vector<std::string> closing{"deleteFirst", "list:kelmor 1.3", "caption:完成(&O)", "enable",
                                           "status:完成更新!关闭后请重新启动软件", "wait:off"};
    ASSERT_GE(rig.view.log.size(), closing.size());
    EXPECT_EQ(std::vector<std::string>(rig.view.log.end() - closing.size(), rig.view.log.end()), closing);
    EXPECT_EQ(rig.view.log[0], "disable");
    EXPECT_EQ(rig.view.log[1], "wait:on");
}

TEST_F(UpdateRunTest, GuardRefusalEnablesTheButtonAndDoesNothingElse) {
    writeManifest("[FILE0]\nFILE=a.dll\n");
    rig.context.consultGuard = [] { return false; };
    runUpdate(rig.context, "1.3");
    EXPECT_EQ(rig.view.log, (std::vector<std::string>{"disable", "enable"}));
    EXPECT_EQ(rig.view.caption, "更新(&U)");
    EXPECT_TRUE(rig.http.opened.empty());
    EXPECT_TRUE(rig.files.exists(rig.copyPath()));
}

TEST_F(UpdateRunTest, MissingManifestCopyIsAnEmptyList) {
    runUpdate(rig.context, "1.3");
    EXPECT_TRUE(rig.http.opened.empty());
    EXPECT_EQ(rig.view.list, std::vector<std::string>{"kelmor 1.3"});
    EXPECT_EQ(rig.view.caption, "完成(&O)");
}

TEST_F(UpdateRunTest, LocalFileAsNewAsTheManifestIsUpToDateWithoutRequest) {
    rig.files.put(kProg + "a.dll", "old", 45356.604166666664);
    EXPECT_EQ(entry("a.dll"), FileUpdateResult::UpToDate);
    // A different rounding of the same second is still the same second.
    rig.files.put(kProg + "a.dll", "old", 45356.604166666664 - 1e-9);
    EXPECT_EQ(entry("a.dll"), FileUpdateResult::UpToDate);
    EXPECT_TRUE(rig.http.opened.empty());

    rig.files.put(kProg + "a.dll", "old", 45356.604166666664 - kOneSecond);
    serve("a.dll", answer("new"));
    EXPECT_EQ(entry("a.dll"), FileUpdateResult::Updated);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "new");
}

TEST_F(UpdateRunTest, UnparsableTimestampSkipsAnExistingFileButFetchesAMissingOne) {
    rig.files.put(kProg + "a.dll", "old", 45000);
    EXPECT_EQ(entry("a.dll", "not a date"), FileUpdateResult::UpToDate);
    EXPECT_EQ(entry("a.dll", "overflow"), FileUpdateResult::UpToDate);
    EXPECT_TRUE(rig.http.opened.empty());

    serve("b.dll", answer("new b"));
    EXPECT_EQ(entry("b.dll", ""), FileUpdateResult::Updated);
    EXPECT_EQ(rig.files.content(kProg + "b.dll"), "new b");
}

TEST_F(UpdateRunTest, DateParserFailureEscapesBeforeAnyRequest) {
    rig.files.put(kProg + "a.dll", "old", 45000);
    EXPECT_THROW(entry("a.dll", "broken"), DateParserError);
    EXPECT_TRUE(rig.http.opened.empty());
}

TEST_F(UpdateRunTest, NotFoundIsShownAndListed) {
    writeManifest("[FILE0]\nFILE=a.dll\n");
    runUpdate(rig.context, "1.3");
    EXPECT_EQ(rig.view.list,
              (std::vector<std::string>{"a.dll  不存在!", "a.dll 更新失败", "kelmor 1.3"}));
    EXPECT_TRUE(rig.files.created.empty());
}

TEST_F(UpdateRunTest, OtherErrorStatusListsTheStatusLineAndSavesNothing) {
    rig.files.put(kProg + "a.dll", "old", 45000);
    serve("a.dll", answer("<html>error</html>", "500", "Internal Server Error"));
    serve("b.dll", answer("moved", "302", ""));
    EXPECT_EQ(entry("a.dll"), FileUpdateResult::Failed);
    EXPECT_EQ(entry("b.dll"), FileUpdateResult::Failed);
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"kelmor 1.26", "500 Internal Server Error", "302"}));
    EXPECT_EQ(rig.view.status(), "正在下载文件:b.dll");
    EXPECT_TRUE(rig.files.created.empty());
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old");
}

TEST_F(UpdateRunTest, SendFailureListsTheErrorTextAndKeepsTheStatus) {
    writeManifest("[FILE0]\nFILE=a.dll\n[FILE1]\nFILE=b.dll\n");
    serve("a.dll", sendFailure("无法与服务器建立连接"));
    serve("b.dll", sendFailure(""));
    runUpdate(rig.context, "1.3");
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"无法与服务器建立连接", "a.dll 更新失败", "", "b.dll 更新失败",
                                                      "kelmor 1.3"}));
    EXPECT_EQ(rig.view.statuses, std::vector<std::string>{"完成更新!关闭后请重新启动软件"});
    EXPECT_EQ(rig.http.openRequests, 0);
}

TEST_F(UpdateRunTest, DownloadFileThatCannotBeCreatedShowsTheBoxAndTheRunGoesOn) {
    writeManifest("[FILE0]\nFILE=sub\\a.dll\n[FILE1]\nFILE=b.dll\n");
    rig.files.uncreatable.insert(kProg + "sub\\a.dll.upg");
    serve("sub\\a.dll", answer("new a"));
    serve("b.dll", answer("new b"));
    runUpdate(rig.context, "1.3");
    EXPECT_EQ(rig.view.errorBoxes,
              std::vector<std::string>{"写文件 C:\\Prog\\sub\\a.dll  错误!\n文件正在使用中，请先关闭程序!"});
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"sub\\a.dll 更新失败", "b.dll 更新完成", "kelmor 1.3"}));
}

TEST_F(UpdateRunTest, BodyShorterThanAnnouncedIsRemovedAndTheOldFileKept) {
    rig.files.put(kProg + "a.dll", "old", 45000);
    serve("a.dll", withLength(answer("half"), "8"));
    EXPECT_EQ(entry("a.dll"), FileUpdateResult::Failed);
    EXPECT_FALSE(rig.files.exists(kProg + "a.dll.upg"));
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old");
}

TEST_F(UpdateRunTest, FileInUseStaysWholeAndTheDownloadStaysBesideIt) {
    rig.files.put(kProg + "a.dll", "old", 45000);
    rig.files.busy.insert(kProg + "a.dll");
    serve("a.dll", answer("new"));
    EXPECT_EQ(entry("a.dll"), FileUpdateResult::Failed);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old");
    EXPECT_EQ(rig.files.content(kProg + "a.dll.upg"), "new");
    EXPECT_TRUE(rig.files.removed.empty());
}

TEST_F(UpdateRunTest, UpdaterItselfGoesToBckEveryTime) {
    rig.files.put(kProg + "Update.exe", "running", 45000);
    serve("Update.exe", answer("new 1"));
    EXPECT_EQ(entry("Update.exe"), FileUpdateResult::Updated);
    serve("Update.exe", answer("new 2"));
    EXPECT_EQ(entry("Update.exe"), FileUpdateResult::Updated);
    EXPECT_EQ(rig.files.content(kProg + "Update.exe"), "running");
    EXPECT_EQ(rig.files.content(kProg + "Update.exe.bck"), "new 2");
    EXPECT_FALSE(rig.files.exists(kProg + "Update.exe.upg"));

    // Only the exact name is the updater.
    rig.files.put(kProg + "update.exe", "old", 45000);
    serve("update.exe", answer("new"));
    EXPECT_EQ(entry("update.exe"), FileUpdateResult::Updated);
    EXPECT_EQ(rig.files.content(kProg + "update.exe"), "new");
}

TEST_F(UpdateRunTest, UnsafeNamesFailWithoutRequestOrFileAccess) {
    writeManifest("[FILE0]\nFILE=..\\evil.dll\n[FILE1]\nFILE=C:\\Windows\\x.dll\n");
    runUpdate(rig.context, "1.3");
    EXPECT_TRUE(rig.http.opened.empty());
    EXPECT_TRUE(rig.files.dated.empty());
    EXPECT_TRUE(rig.files.created.empty());
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"..\\evil.dll 更新失败", "C:\\Windows\\x.dll 更新失败",
                                                      "kelmor 1.3"}));
}

TEST_F(UpdateRunTest, ProgressFollowsContentLengthAndIsNeverReset) {
    serve("a.dll", answer(std::string(4096, 'a')));
    serve("b.dll", withLength(answer(std::string(5000, 'b')), "5000"));
    serve("c.dll", withLength(answer(std::string(4096, 'c')), "2048"));
    EXPECT_EQ(entry("a.dll"), FileUpdateResult::Updated);
    EXPECT_EQ(entry("b.dll"), FileUpdateResult::Updated);
    EXPECT_EQ(entry("c.dll"), FileUpdateResult::Updated);
    // c.dll: the body ends where Content-Length says; the rest is not read.
    EXPECT_EQ(rig.view.progress, (std::vector<int>{50, 100, 40, 81, 100, 100}));
    EXPECT_EQ(rig.view.pumps, 2 + 3 + 1);
    EXPECT_EQ(rig.files.content(kProg + "c.dll").size(), 2048u);
}

TEST_F(UpdateRunTest, NoUsableContentLengthLeavesTheBarAlone) {
    for (const char* length : {"", "0", "garbage", "-5"}) {
        const std::string file = std::string("f") + length + ".dll";
        serve(file, withLength(answer(std::string(3000, 'x')), length));
        EXPECT_EQ(entry(file), FileUpdateResult::Updated) << length;
        EXPECT_EQ(rig.files.content(kProg + file).size(), 3000u) << length;
    }
    EXPECT_TRUE(rig.view.progress.empty());
}

TEST_F(UpdateRunTest, ReadFailureEndsTheRunLeavingTheDownloadAndTheOldFile) {
    writeManifest("[FILE0]\nFILE=a.dll\nVERSION=2024-03-05 14:30:00\n[FILE1]\nFILE=b.dll\n");
    rig.files.put(kProg + "a.dll", "old", 45000);
    serve("a.dll", failingReadAt(answer(std::string(5000, 'n')), 2048));
    serve("b.dll", answer("new b"));

    EXPECT_THROW(runUpdate(rig.context, "1.3"), NetworkError);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old");
    EXPECT_EQ(rig.files.content(kProg + "a.dll.upg"), std::string(2048, 'n'));
    EXPECT_EQ(rig.http.opened, std::vector<std::string>{"/kelmor/a.dll"});
    EXPECT_EQ(rig.view.status(), "正在下载文件:a.dll");
    EXPECT_EQ(rig.view.caption, "更新(&U)");
    EXPECT_FALSE(rig.view.enabled);
    EXPECT_FALSE(rig.view.waitCursor);
    EXPECT_EQ(rig.view.list, std::vector<std::string>{"kelmor 1.26"});
    EXPECT_TRUE(rig.files.exists(rig.copyPath()));
    EXPECT_EQ(rig.http.openRequests, 0);
}

TEST_F(UpdateRunTest, WriteAndCloseFailuresEscapeWithTheOldFileUntouched) {
    rig.files.put(kProg + "a.dll", "old", 45000);
    serve("a.dll", answer("new"));
    rig.files.failingWrites.insert(kProg + "a.dll.upg");
    EXPECT_THROW(entry("a.dll"), FileError);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old");

    rig.files.failingWrites.clear();
    rig.files.failingCloses.insert(kProg + "a.dll.upg");
    try {
        entry("a.dll");
        FAIL() << "no FileError";
    } catch (const FileError& error) {
        EXPECT_EQ(error.kind(), FileError::Kind::Close);
    }
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old");
}

TEST(SafeManifestName, AcceptsNamesInsideTheProgramDirectory) {
    for (const std::string name : {"a.dll", "plugins/a.dll", "plugins\\a.dll", "a..b.dll", ".\\a.dll",
                                   "\x81\x5C..\\a.dll", "\xC8\xED\xBC\xFE\\x.dll"})
        EXPECT_TRUE(isSafeManifestName(name)) << name;
}

TEST(SafeManifestName, RejectsNamesThatLeaveItOrNameAStream) {
    for (const std::string name : {"", "..", "..\\x.dll", "a/../../x.dll", "a\\..", "sub/..\\..\\x", ".. \\x.dll",
                                   "...\\x.dll", "\\x.dll", "/x.dll", "\\\\server\\share\\x.dll", "C:\\x.dll",
                                   "C:x.dll", "a.dll:stream", "\x81\x5C\\..\\x.dll"})
        EXPECT_FALSE(isSafeManifestName(name)) << name;
    // The file calls stop at a NUL: "... " is what Windows would see, and it means "..".
    EXPECT_FALSE(isSafeManifestName(std::string("...  \0x", 8)));
    EXPECT_FALSE(isSafeManifestName(std::string("a.dll\0..\\x", 11)));
}

}  // namespace
}  // namespace updater
