#include "engine/run/update_run.h"

#include <gtest/gtest.h>

#include <tuple>

#include "engine/manifest/safe_manifest_name.h"
#include "tests/support/wizard_texts.h"
#include "tests/unit/fakes.h"
#include "tests/unit/test_patches.h"

using testsupport::kUpdateCaption;
using testsupport::kFinishCaption;
using testsupport::kFinished;
using testsupport::kDownloadingPrefix;

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
        rig.view.caption = kUpdateCaption;
        rig.dates.dates["2024-03-05 14:30:00"] = 45356.604166666664;
    }
    // The manifest the check would have fetched, and the run on it.
    void writeManifest(const std::string& text) { manifest = text; }
    void run() { runUpdate(rig.context, manifest, "1.3"); }
    std::string manifest;
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

    run();

    EXPECT_EQ(rig.http.opened, (std::vector<std::string>{"/kelmor/a.dll", "/kelmor/b.dll", "/kelmor/gone.dll"}));
    EXPECT_FALSE(rig.http.overlapped);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "new a");
    EXPECT_EQ(rig.files.content(kProg + "b.dll"), "new b");
    EXPECT_EQ(rig.files.content(kProg + "c.dll"), "current c");
    EXPECT_FALSE(rig.files.exists(kProg + "a.dll.upg"));
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"a.dll 更新完成", "b.dll 更新完成", "gone.dll  不存在!",
                                                      "gone.dll 更新失败", "kelmor 1.3"}));
    EXPECT_TRUE(rig.files.created == std::vector<std::string>({kProg + "a.dll.upg", kProg + "b.dll.upg"}))
        << "nothing but the downloads is written";

    const std::vector<std::string> closing{"deleteFirst", "list:kelmor 1.3", "caption:" + kFinishCaption, "enable",
                                           "status:" + kFinished, "wait:off"};
    ASSERT_GE(rig.view.log.size(), closing.size());
    EXPECT_EQ(std::vector<std::string>(rig.view.log.end() - closing.size(), rig.view.log.end()), closing);
    EXPECT_EQ(rig.view.log[0], "disable");
    EXPECT_EQ(rig.view.log[1], "wait:on");
}

TEST_F(UpdateRunTest, GuardRefusalEnablesTheButtonAndDoesNothingElse) {
    writeManifest("[FILE0]\nFILE=a.dll\n");
    rig.context.consultGuard = [] { return false; };
    run();
    EXPECT_EQ(rig.view.log, (std::vector<std::string>{"disable", "enable"}));
    EXPECT_EQ(rig.view.caption, kUpdateCaption);
    EXPECT_TRUE(rig.http.opened.empty());
}

TEST_F(UpdateRunTest, EmptyManifestIsAnEmptyList) {
    run();
    EXPECT_TRUE(rig.http.opened.empty());
    EXPECT_EQ(rig.view.list, std::vector<std::string>{"kelmor 1.3"});
    EXPECT_EQ(rig.view.caption, kFinishCaption);
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
    run();
    EXPECT_EQ(rig.view.list,
              (std::vector<std::string>{"a.dll  不存在!", "a.dll 更新失败", "kelmor 1.3"}));
    EXPECT_TRUE(rig.files.created.empty());
}

// Only a 200 is the file: a 204 has no body, a 206 a part of one.
TEST_F(UpdateRunTest, OtherStatusListsTheStatusLineAndSavesNothing) {
    rig.files.put(kProg + "a.dll", "old", 45000);
    serve("a.dll", answer("<html>error</html>", "500", "Internal Server Error"));
    serve("c.dll", answer("", "204", "No Content"));
    serve("d.dll", answer("part", "206", "Partial Content"));
    serve("b.dll", answer("moved", "302", ""));
    EXPECT_EQ(entry("a.dll"), FileUpdateResult::Failed);
    EXPECT_EQ(entry("c.dll"), FileUpdateResult::Failed);
    EXPECT_EQ(entry("d.dll"), FileUpdateResult::Failed);
    EXPECT_EQ(entry("b.dll"), FileUpdateResult::Failed);
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"kelmor 1.26", "500 Internal Server Error", "204 No Content",
                                                      "206 Partial Content", "302"}));
    EXPECT_EQ(rig.view.status(), kDownloadingPrefix + "b.dll");
    EXPECT_TRUE(rig.files.created.empty());
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old");
}

TEST_F(UpdateRunTest, SendFailureListsTheErrorTextAndKeepsTheStatus) {
    writeManifest("[FILE0]\nFILE=a.dll\n[FILE1]\nFILE=b.dll\n");
    serve("a.dll", sendFailure("无法与服务器建立连接"));
    serve("b.dll", sendFailure(""));
    run();
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"无法与服务器建立连接", "a.dll 更新失败", "", "b.dll 更新失败",
                                                      "kelmor 1.3"}));
    EXPECT_EQ(rig.view.statuses, std::vector<std::string>{kFinished});
    EXPECT_EQ(rig.http.openRequests, 0);
}

TEST_F(UpdateRunTest, DownloadFileThatCannotBeCreatedShowsTheBoxAndTheRunGoesOn) {
    writeManifest("[FILE0]\nFILE=sub\\a.dll\n[FILE1]\nFILE=b.dll\n");
    rig.files.uncreatable.insert(kProg + "sub\\a.dll.upg");
    serve("sub\\a.dll", answer("new a"));
    serve("b.dll", answer("new b"));
    run();
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

// A stale download is replaced whole, not written over.
TEST_F(UpdateRunTest, StaleDownloadFileIsReplacedByTheDownload) {
    rig.files.put(kProg + "a.dll", "old", 45000);
    rig.files.put(kProg + "a.dll.upg", "stale and longer than the new bytes");
    serve("a.dll", answer("new"));
    EXPECT_EQ(entry("a.dll"), FileUpdateResult::Updated);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "new");
}

TEST_F(UpdateRunTest, LocalPathThatIsADirectoryFailsBeforeAnyRequest) {
    rig.files.directories.insert(kProg + "plugins");
    serve("plugins", answer("a file"));
    EXPECT_EQ(entry("plugins"), FileUpdateResult::Failed);
    EXPECT_TRUE(rig.http.opened.empty());
    EXPECT_TRUE(rig.files.created.empty());
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

    // Windows opens the running program in any letter case; a file of that
    // name in a folder is another file.
    for (const std::string name : {"update.exe", "./UPDATE.EXE"}) {
        serve(name, answer("new " + name));
        EXPECT_EQ(entry(name), FileUpdateResult::Updated) << name;
        EXPECT_EQ(rig.files.content(kProg + "Update.exe.bck"), "new " + name);
    }
    EXPECT_EQ(rig.files.content(kProg + "Update.exe"), "running");
    serve("sub/Update.exe", answer("plugin"));
    EXPECT_EQ(entry("sub/Update.exe"), FileUpdateResult::Updated);
    EXPECT_EQ(rig.files.content(kProg + "sub/Update.exe"), "plugin");
}

// The request names exactly the local file: "%" and "#" would otherwise be
// decoded or cut by the server.
TEST_F(UpdateRunTest, PercentAndHashAreSentEncoded) {
    serve("a%23b%25.txt", answer("new"));
    EXPECT_EQ(entry("a#b%.txt"), FileUpdateResult::Updated);
    EXPECT_EQ(rig.http.opened, std::vector<std::string>{"/kelmor/a%23b%25.txt"});
    EXPECT_EQ(rig.files.content(kProg + "a#b%.txt"), "new");
}

// Names that open one file once case is folded, "\" read as "/" and a
// leading "./" dropped: none of them is asked for.
TEST_F(UpdateRunTest, EntriesNamingOneFileAreAllRefused) {
    writeManifest(
        "[FILE0]\nFILE=dup.dll\n[FILE1]\nFILE=b.dll\n[FILE2]\nFILE=DUP.DLL\n[FILE3]\nFILE=./b.dll\n"
        "[FILE4]\nFILE=sub\\c.dll\n[FILE5]\nFILE=sub/c.dll\n[FILE6]\nFILE=solo.dll\n");
    serve("solo.dll", answer("new"));
    run();
    EXPECT_EQ(rig.http.opened, std::vector<std::string>{"/kelmor/solo.dll"});
    EXPECT_EQ(rig.view.list, (std::vector<std::string>{"dup.dll 更新失败", "b.dll 更新失败", "DUP.DLL 更新失败",
                                                      "./b.dll 更新失败", "sub\\c.dll 更新失败", "sub/c.dll 更新失败",
                                                      "solo.dll 更新完成", "kelmor 1.3"}));
}

TEST_F(UpdateRunTest, UnsafeNamesFailWithoutRequestOrFileAccess) {
    writeManifest("[FILE0]\nFILE=..\\evil.dll\n[FILE1]\nFILE=C:\\Windows\\x.dll\n");
    run();
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
    EXPECT_EQ(rig.http.reads, 2 + 3 + 1) << "one read per chunk, none past Content-Length";
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

TEST_F(UpdateRunTest, ReadFailureEndsTheRunRemovingThePartialDownload) {
    writeManifest("[FILE0]\nFILE=a.dll\nVERSION=2024-03-05 14:30:00\n[FILE1]\nFILE=b.dll\n");
    rig.files.put(kProg + "a.dll", "old", 45000);
    serve("a.dll", failingReadAt(answer(std::string(5000, 'n')), 2048));
    serve("b.dll", answer("new b"));

    EXPECT_THROW(run(), NetworkError);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old");
    EXPECT_FALSE(rig.files.exists(kProg + "a.dll.upg"));
    EXPECT_EQ(rig.http.opened, std::vector<std::string>{"/kelmor/a.dll"});
    EXPECT_EQ(rig.view.status(), kDownloadingPrefix + "a.dll");
    EXPECT_EQ(rig.view.caption, kUpdateCaption);
    EXPECT_FALSE(rig.view.enabled);
    EXPECT_FALSE(rig.view.waitCursor);
    EXPECT_EQ(rig.view.list, std::vector<std::string>{"kelmor 1.26"});
    EXPECT_EQ(rig.http.openRequests, 0);
}

TEST_F(UpdateRunTest, WriteAndCloseFailuresEscapeWithTheOldFileUntouched) {
    rig.files.put(kProg + "a.dll", "old", 45000);
    serve("a.dll", answer("new"));
    rig.files.failingWrites.insert(kProg + "a.dll.upg");
    EXPECT_THROW(entry("a.dll"), FileError);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old");
    EXPECT_FALSE(rig.files.exists(kProg + "a.dll.upg")) << "a full disk must not stay full";

    rig.files.failingWrites.clear();
    rig.files.failingCloses.insert(kProg + "a.dll.upg");
    try {
        entry("a.dll");
        FAIL() << "no FileError";
    } catch (const FileError& error) {
        EXPECT_EQ(error.kind(), FileError::Kind::Close);
    }
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "old");
    EXPECT_FALSE(rig.files.exists(kProg + "a.dll.upg"));
}

// Lengths that contradict each other leave the body's end unknown; identical
// repeats are one length.
TEST_F(UpdateRunTest, ContradictingContentLengthsFailTheEntry) {
    const auto twice = [](std::string first, std::vector<std::string> more) {
        fakes::FakeResponse response = withLength(answer("12345"), std::move(first));
        response.moreContentLengths = std::move(more);
        return response;
    };
    serve("two.dll", twice("5", {"6"}));
    serve("list.dll", twice("5, 6", {}));
    serve("same.dll", twice("5", {"5", " 5 , 5"}));
    EXPECT_EQ(entry("two.dll"), FileUpdateResult::Failed);
    EXPECT_EQ(entry("list.dll"), FileUpdateResult::Failed);
    EXPECT_EQ(entry("same.dll"), FileUpdateResult::Updated);
    EXPECT_EQ(rig.files.created, std::vector<std::string>{kProg + "same.dll.upg"});
}

// SIZE and SHA256 bind in every build; a chunked body, whose cut the client
// cannot tell from its end, is taken only where they prove it whole.
TEST_F(UpdateRunTest, SizeAndHashDecideWhetherABodyIsWhole) {
    const std::string body = "the published bytes";
    const std::string size = std::to_string(body.size());
    const std::string hash = fakes::fakeDigestHex(body);
    std::string other = body;
    other[0] = 'T';
    fakes::FakeResponse chunked = withLength(answer(body), "");
    chunked.transferEncoding = "chunked";
    fakes::FakeResponse cutChunked = withLength(answer(body.substr(0, 10)), "");
    cutChunked.transferEncoding = "Chunked";
    fakes::FakeResponse gzipped = answer(body);
    gzipped.contentEncoding = "gzip";
    fakes::FakeResponse identity = answer(body);
    identity.contentEncoding = "Identity";
    fakes::FakeResponse xgzip = answer(body);
    xgzip.contentEncoding = "x-gzip";
    // object: the entry's OBJECT, served with the published bytes unless it
    // is "_objects/gone". requests: "*" the file, "!" the file past any
    // cache, "o" the object.
    struct Row {
        const char* file;
        fakes::FakeResponse response;
        std::optional<std::string> size, sha256;
        std::optional<std::string> object;
        FileUpdateResult result;
        const char* requests;
    };
    const auto none = std::nullopt;
    const std::vector<Row> rows = {
        {"match.dll", answer(body), size, hash, none, FileUpdateResult::Updated, "*"},
        {"size-only.dll", answer(body), size, none, none, FileUpdateResult::Updated, "*"},
        {"longer.dll", withLength(answer(body + "+"), ""), size, none, none, FileUpdateResult::Failed, "*!"},
        {"cut-no-length.dll", withLength(answer(body.substr(1)), ""), size, none, none, FileUpdateResult::Failed, "*!"},
        {"cut.dll", withLength(answer(body), "25"), size, hash, none, FileUpdateResult::Failed, "*"},
        {"other-bytes.dll", answer(other), size, hash, none, FileUpdateResult::Failed, "*!"},
        {"hash-only.dll", answer(other), none, hash, none, FileUpdateResult::Failed, "*!"},
        {"bad-size.dll", answer(body), "19 bytes", none, none, FileUpdateResult::Failed, ""},
        {"empty-hash.dll", answer(body), none, "", none, FileUpdateResult::Failed, ""},
        {"chunked.dll", chunked, none, none, none, FileUpdateResult::Failed, "*"},
        {"chunked-proven.dll", chunked, size, hash, none, FileUpdateResult::Updated, "*"},
        {"chunked-cut.dll", cutChunked, size, none, none, FileUpdateResult::Failed, "*!"},
        {"gzipped.dll", gzipped, size, hash, none, FileUpdateResult::Updated, "*"},
        {"x-gzip-size-only.dll", xgzip, size, none, none, FileUpdateResult::Failed, "*"},
        {"identity.dll", identity, size, hash, none, FileUpdateResult::Updated, "*"},
        {"object.dll", answer(other), size, hash, "_objects/a", FileUpdateResult::Updated, "o"},
        {"object-gone.dll", answer(body), size, hash, "_objects/gone", FileUpdateResult::Updated, "o*"},
        {"object-size-only.dll", answer(body), size, none, "_objects/b", FileUpdateResult::Updated, "*"},
        {"object-unsafe.dll", answer(body), size, hash, "../a", FileUpdateResult::Updated, "*"},
    };
    serve("_objects/a", answer(body));
    serve("_objects/b", answer(body));
    for (const Row& row : rows) {
        serve(row.file, row.response);
        rig.http.opened.clear();
        rig.http.noCache.clear();
        ManifestEntry entry{row.file, "2024-03-05 14:30:00", row.size, row.sha256};
        entry.object = row.object;
        EXPECT_EQ(updateEntry(rig.context, entry), row.result) << row.file;
        const bool updated = row.result == FileUpdateResult::Updated;
        EXPECT_EQ(rig.files.content(kProg + row.file), updated ? body : "<missing>") << row.file;
        EXPECT_FALSE(rig.files.exists(kProg + row.file + ".upg")) << row.file;
        const std::string path = "/kelmor/" + std::string(row.file);
        std::string requests;
        for (const std::string& opened : rig.http.opened)
            requests += opened == path ? '*' : opened.rfind("/kelmor/_objects/", 0) == 0 ? 'o' : '?';
        if (!rig.http.noCache.empty()) requests.back() = rig.http.noCache == std::vector<std::string>{path} ? '!' : '?';
        EXPECT_EQ(requests, row.requests) << row.file;
    }
}

// An entry with SIZE and SHA256 is decided by what the local file holds; its
// time decides only for content made or changed here. Sizes are compared
// first: a file of another size is never read.
TEST_F(UpdateRunTest, EntriesWithAHashAreDecidedByContent) {
    const std::string published = "kelmor 1.5 as published";
    const std::string earlier = "kelmor 1.4, published before";
    const auto section = [&](const std::string& file) {
        ManifestEntry entry;
        entry.file = file;
        entry.version = "2024-03-05 14:30:00";
        entry.size = std::to_string(published.size());
        entry.sha256 = fakes::fakeDigestHex(published);
        entry.previous = {{std::to_string(earlier.size()), fakes::fakeDigestHex(earlier)}};
        return entry;
    };
    constexpr double kBefore = 45000, kAfter = 46000;  // either side of the entry's time
    struct Row {
        const char* file;
        std::optional<std::string> local;
        double time;
        FileUpdateResult result;
        bool hashed;
    };
    const std::vector<Row> rows = {
        {"missing.exe", std::nullopt, 0, FileUpdateResult::Updated, false},
        {"current-older.exe", published, kBefore, FileUpdateResult::UpToDate, true},
        {"current-newer.exe", published, kAfter, FileUpdateResult::UpToDate, true},
        {"earlier-newer.exe", earlier, kAfter, FileUpdateResult::Updated, true},
        {"edited-newer.exe", "a user's own edit, longer than the file", kAfter, FileUpdateResult::Kept, false},
        {"edited-older.exe", "a user's own edit, old", kBefore, FileUpdateResult::Updated, false},
        {"same-size-edit.exe", std::string(published.size(), 'x'), kAfter, FileUpdateResult::Kept, true},
    };
    for (const Row& row : rows) {
        if (row.local) rig.files.put(kProg + row.file, *row.local, row.time);
        serve(row.file, answer(published));
        rig.files.hashed.clear();
        EXPECT_EQ(updateEntry(rig.context, section(row.file)), row.result) << row.file;
        EXPECT_EQ(!rig.files.hashed.empty(), row.hashed) << row.file;
        const bool kept = row.result == FileUpdateResult::UpToDate || row.result == FileUpdateResult::Kept;
        EXPECT_EQ(rig.files.content(kProg + row.file), kept ? row.local.value_or("<missing>") : published) << row.file;
    }

    // The updater's waiting copy counts: once it holds the entry, nothing is fetched.
    rig.files.put(kProg + "Update.exe", "running", kBefore);
    rig.files.put(kProg + "Update.exe.bck", published, kBefore);
    rig.http.opened.clear();
    EXPECT_EQ(updateEntry(rig.context, section("Update.exe")), FileUpdateResult::UpToDate);
    EXPECT_TRUE(rig.http.opened.empty());
}

// A patch when the local file is its base, else the compressed copy, else
// the file; each failure falls through silently, so the list and the status
// line are those of a plain download, and no side file stays.
TEST_F(UpdateRunTest, PatchesAndCompressedCopiesFallBackSilently) {
    std::string old, next;
    for (int i = 0; old.size() < 5000; ++i) old += "kelmor 1.4 line " + std::to_string(i) + "\r\n";
    for (int i = 0; next.size() < 6000; ++i) next += "kelmor 1.5 line " + std::to_string(i * 3) + "\r\n";
    const std::string patch = fakes::makePatch(old, next);
    std::string corrupt = patch;
    corrupt[60] = static_cast<char>(corrupt[60] ^ 0x5A);  // the control stream's first bytes
    const auto promise = [](const std::string& bytes) {
        return *readExpectedContent(std::to_string(bytes.size()), fakes::fakeDigestHex(bytes));
    };
    struct Row {
        const char* file;
        std::optional<std::string> local;
        std::optional<std::string> servedPatch;  // nothing: not on the server
        bool offersCopy;
        std::vector<std::string> requested;
    };
    const std::vector<Row> rows = {
        {"patched.dll", old, patch, true, {".updpatch"}},
        {"patch-404.dll", old, std::nullopt, false, {".updpatch", ""}},
        {"corrupt-patch.dll", old, corrupt, true, {".updpatch", ".updz"}},
        {"copy.dll", std::nullopt, patch, true, {".updz"}},
        {"no-base.dll", "a user's own edit", patch, false, {""}},
    };
    for (const Row& row : rows) {
        const std::string file = row.file;
        ManifestEntry entry{file, "2024-03-05 14:30:00", std::to_string(next.size()), fakes::fakeDigestHex(next)};
        entry.previous = {{std::to_string(old.size()), fakes::fakeDigestHex(old)}};
        const std::string offered = row.servedPatch.value_or(patch);
        entry.patches = {{fakes::fakeDigest(old), file + ".updpatch", promise(offered)}};
        if (row.offersCopy) entry.copy = CompressedCopy{file + ".updz", promise(fakes::zlibOf(next))};
        if (row.local) rig.files.put(kProg + file, *row.local, 45000);
        if (row.servedPatch) serve(file + ".updpatch", answer(*row.servedPatch));
        serve(file + ".updz", answer(fakes::zlibOf(next)));
        serve(file, answer(next));
        rig.http.opened.clear();
        rig.files.hashed.clear();
        rig.view.statuses.clear();
        rig.view.list.clear();

        EXPECT_EQ(updateEntry(rig.context, entry), FileUpdateResult::Updated) << file;
        std::vector<std::string> requested;
        for (const std::string& suffix : row.requested) requested.push_back("/kelmor/" + file + suffix);
        EXPECT_EQ(rig.http.opened, requested) << file;
        EXPECT_EQ(rig.files.content(kProg + file), next) << file;
        EXPECT_FALSE(rig.files.exists(kProg + file + ".patch")) << file;
        EXPECT_FALSE(rig.files.exists(kProg + file + ".upg")) << file;
        EXPECT_EQ(rig.view.statuses, (std::vector<std::string>{kDownloadingPrefix + file, file + " 更新完成"})) << file;
        EXPECT_TRUE(rig.view.list.empty()) << file;
        EXPECT_LE(rig.files.hashed.size(), 1u) << file << ": the local file is hashed once";
    }

    // A full disk while the file is rebuilt is the run's failure, as for a download.
    rig.files.put(kProg + "full.dll", old, 45000);
    serve("full.dll.updpatch", answer(patch));
    ManifestEntry full{"full.dll", "2024-03-05 14:30:00", std::to_string(next.size()), fakes::fakeDigestHex(next)};
    full.patches = {{fakes::fakeDigest(old), "full.dll.updpatch", promise(patch)}};
    rig.files.failingWrites.insert(kProg + "full.dll.upg");
    EXPECT_THROW(updateEntry(rig.context, full), FileError);
    EXPECT_FALSE(rig.files.exists(kProg + "full.dll.patch"));
    EXPECT_FALSE(rig.files.exists(kProg + "full.dll.upg"));
    EXPECT_EQ(rig.files.content(kProg + "full.dll"), old);
    // The folders made for it go too, though the failure ends the run.
    full.file = "new/sub/full.dll";
    full.patches.clear();
    serve(full.file, answer(next));
    rig.files.failingWrites.insert(kProg + "new/sub/full.dll.upg");
    EXPECT_THROW(updateEntry(rig.context, full), FileError);
    EXPECT_FALSE(rig.files.directories.count(kProg + "new"));
}

TEST(SafeManifestName, AcceptsNamesInsideTheProgramDirectory) {
    for (const std::string name : {"a.dll", "plugins/a.dll", "plugins\\a.dll", "a..b.dll", ".\\a.dll", "./a.dll",
                                   "\x81\x5C..a\\a.dll", "\xC8\xED\xBC\xFE\\x.dll", "console.dll", "com10.dll",
                                   "nulls\\a.dll", "\x81\x5C", "a#b.txt", "100%.txt", "%2e%2e%2fsecret.txt",
                                   "data~2024.bin", "KELMOR~1234567.EXE", "KELMOR~1.EXEC", "~.txt", "a.upgrade",
                                   "x.upg.older", "update.journal.txt", "\x81\x7C.txt"})
        EXPECT_TRUE(isSafeManifestName(name, cp936())) << name;
}

TEST(SafeManifestName, RejectsNamesThatLeaveItOrNameAStream) {
    for (const std::string name : {"", "..", "..\\x.dll", "a/../../x.dll", "a\\..", "sub/..\\..\\x", ".. \\x.dll",
                                   "...\\x.dll", "\\x.dll", "/x.dll", "\\\\server\\share\\x.dll", "C:\\x.dll",
                                   "C:x.dll", "a.dll:stream", "\x81\x5C\\..\\x.dll"})
        EXPECT_FALSE(isSafeManifestName(name, cp936())) << name;
    // Devices, directories, and bytes the platform would drop or rewrite.
    for (const std::string name : {"CON", "nul", "aux.dat", "COM1", "lpt1.txt", "data\\PRN .log", "conin$",
                                   "plugins\\", "plugins/", "a.dll\x81", "\x81" "0.dll", "a\x80.dll", "a\xFF.dll",
                                   "\xC8\x7F.dll", "\xC8\x20.dll"})
        EXPECT_FALSE(isSafeManifestName(name, cp936())) << name;
    // The file calls stop at a NUL: "... " is what Windows would see, and it means "..".
    EXPECT_FALSE(isSafeManifestName(std::string("...  \0x", 8), cp936()));
    EXPECT_FALSE(isSafeManifestName(std::string("a.dll\0..\\x", 11), cp936()));
}

// Names Windows cannot hold, or would open as another file, and the
// updater's own side files: a lone lead byte at a line's end reads as "?".
TEST(SafeManifestName, RejectsNamesWindowsWouldChangeAndSideFiles) {
    const std::vector<std::pair<std::string, NameRefusal>> rows = {
        {"q?x.txt", NameRefusal::ForbiddenCharacter},    {"pi|pe.txt", NameRefusal::ForbiddenCharacter},
        {"lt<.txt", NameRefusal::ForbiddenCharacter},    {"gt>.txt", NameRefusal::ForbiddenCharacter},
        {"qu\"ote.txt", NameRefusal::ForbiddenCharacter}, {"st*r.txt", NameRefusal::ForbiddenCharacter},
        {"ctl\x01.txt", NameRefusal::ForbiddenCharacter}, {"sub\x1F/a.txt", NameRefusal::ForbiddenCharacter},
        {"x.dll?", NameRefusal::ForbiddenCharacter},     {"kelmor.exe.", NameRefusal::TrailingDotOrBlank},
        {"kelmor.exe ", NameRefusal::TrailingDotOrBlank}, {"dir./a.txt", NameRefusal::TrailingDotOrBlank},
        {"dir /a.txt", NameRefusal::TrailingDotOrBlank}, {"a/./b.txt", NameRefusal::TrailingDotOrBlank},
        {"KELMOR~1.EXE", NameRefusal::ShortForm},        {"sub/PROGR~12/x.dll", NameRefusal::ShortForm},
        {"data~2.bin", NameRefusal::ShortForm},          {"kelmor.exe.upg", NameRefusal::SideFile},
        {"a.UPG", NameRefusal::SideFile},                {"sub/a.dll.upg.new", NameRefusal::SideFile},
        {"Update.Probe", NameRefusal::SideFile},         {"sub/update.probe", NameRefusal::SideFile},
        {"myupdate.probe", NameRefusal::None},
        {"\x81\x5C..\\a.dll", NameRefusal::TrailingDotOrBlank},
        {"Update.exe.bck", NameRefusal::SideFile},       {"a.dll.OLD", NameRefusal::SideFile},
        {"sub/a.dll.Patch", NameRefusal::SideFile},      {"a.updpatch", NameRefusal::None},
        {"Update.Journal", NameRefusal::SideFile},       {"sub\\update.journal", NameRefusal::SideFile},
        {"UPDATE.LOG", NameRefusal::SideFile},           {"Update.log.new", NameRefusal::SideFile},
        {"lib.old/foo.dll", NameRefusal::SideFile},      {"update.journal/x", NameRefusal::SideFile},
        {"a\\b.UPG\\c.txt", NameRefusal::SideFile},      {".update/new/a.dll", NameRefusal::WorkFolder},
        {".UPDATE", NameRefusal::WorkFolder},            {"./.Update\\x", NameRefusal::WorkFolder},
        {"sub/.update/x", NameRefusal::None},            {".updater/x", NameRefusal::None},
    };
    for (const auto& [name, refusal] : rows) EXPECT_EQ(manifestNameRefusal(name, cp936()), refusal) << name;
}

// In the system's code page: 1252 has no lead bytes, 950 and 932 their own
// (Big5 takes no trail byte 0x80; 932 has single-byte katakana), so a trail
// byte 0x5C is a separator only where it leads nothing.
TEST(SafeManifestName, JudgesNamesInTheSystemsCodePage) {
    const std::vector<std::tuple<unsigned, std::string, NameRefusal>> rows = {
        {1252, "caf\xE9.txt", NameRefusal::None},           {1252, "na\xEFve/\xFC" "ber.dat", NameRefusal::None},
        {936, "caf\xE9.txt", NameRefusal::NotWellFormed},   {1252, "\x81.txt", NameRefusal::NotWellFormed},
        {1252, "\x81\x5C..\\x", NameRefusal::NotWellFormed}, {1252, "\xE9\x5C..\\x", NameRefusal::LeavesDirectory},
        {950, "\xA4\xA4\xA4\xE5.txt", NameRefusal::None},     {950, "\xA5\x5C..\\a.dll", NameRefusal::TrailingDotOrBlank},
        {950, "\xA4\x80.txt", NameRefusal::NotWellFormed},   {950, "\xFF.txt", NameRefusal::NotWellFormed},
        {932, "\x83\x5C.txt", NameRefusal::None},           {932, "\xB1\xB2.txt", NameRefusal::None},
        {932, "\xA0.txt", NameRefusal::NotWellFormed},       {932, "\x83\x3A.txt", NameRefusal::NotWellFormed},
    };
    for (const auto& [codePage, name, refusal] : rows)
        EXPECT_EQ(manifestNameRefusal(name, *knownCodePage(codePage)), refusal) << codePage << " " << name;
}

// Names Windows opens as one file, folded in the code page's own letters.
TEST(SafeManifestName, FoldsCaseAsTheSystemsCodePage) {
    const std::vector<std::tuple<unsigned, std::string, std::string, bool>> rows = {
        {1252, "\xC9.txt", "\xE9.txt", true},   {1252, "\x8A\xFF", "\x9A\x9F", true},
        {1252, "\xD7", "\xF7", false},          {936, "\xC9.txt", "\xE9.txt", false},
        {950, "\xA2\xE9", "\xA2\xCF", true},   {950, "\xA3\x43", "\xA2\xE8", true},
        {950, "\xA3\x5C", "\xA3\x44", true},   {950, "\xA4\x61", "\xA4\x41", false},
        {932, "\x82\x81", "\x82\x60", true},   {932, "\x84\x80", "\x84\x4F", true},
        {932, "\xFA\x40", "\x87\x54", true},   {932, "\x83\x61", "\x83\x41", false},
    };
    for (const auto& [codePage, a, b, oneFile] : rows)
        EXPECT_EQ(namesSharingAFile({a, b}, *knownCodePage(codePage)), std::vector<bool>(2, oneFile)) << codePage << a;
}

}  // namespace
}  // namespace updater
