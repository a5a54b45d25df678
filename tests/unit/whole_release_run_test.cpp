#include <gtest/gtest.h>

#include "engine/manifest/side_files.h"
#include "engine/run/entry_state.h"
#include "engine/run/update_run.h"
#include "tests/support/wizard_texts.h"
#include "tests/unit/fakes.h"
#include "tests/unit/test_patches.h"

namespace updater {
namespace {

using fakes::answer;
using fakes::fakeDigestHex;
using testsupport::kReleaseNotDone;
using testsupport::kUpdateCaption;
using Lines = std::vector<std::string>;

const std::string kProg = "C:\\Prog\\";
const std::string kWork = kProg + ".update";
bool inWorkFolder(const std::string& path) { return path.rfind(kWork, 0) == 0; }
const std::string kTime = "2024-03-05 14:30:00";

struct Published {
    std::string file;
    std::string content;
};

// kelmor 1.26 installed; 1.3 published whole: a.dll changed, b.dll new,
// data/c.dat in a folder 1.3 adds.
class WholeReleaseRunTest : public ::testing::Test {
protected:
    fakes::EngineRig rig;
    std::vector<Published> release{{"a.dll", "new a"}, {"b.dll", "new b"}, {"data/c.dat", "new c"}};
    std::string drops;
    std::map<std::string, fakes::FakeFileSystem::File> before;
    std::set<std::string> foldersBefore;

    WholeReleaseRunTest() {
        freshWizard();
        rig.dates.dates[kTime] = 45356.604166666664;
        rig.files.foldersMatter = true;
        rig.files.directories = {"C:\\Prog"};
        rig.files.put(kProg + "a.dll", "old a", 45000);
        rig.files.put(kProg + "kelmor.exe", "current", 45400);
        rig.files.put(kProg + "updataAdd.ini", "[Server]", 45000);
        for (const Published& file : release) serve(file.file, answer(file.content));
    }

    std::string manifest(const std::string& extraProductKeys = "WHOLE=1\n") const {
        std::string text = "[kelmor]\nVERSION=1.3\n" + extraProductKeys;
        for (std::size_t i = 0; i < release.size(); ++i)
            text += "[FILE" + std::to_string(i) + "]\nFILE=" + release[i].file + "\nVERSION=" + kTime +
                    "\nSIZE=" + std::to_string(release[i].content.size()) +
                    "\nSHA256=" + fakeDigestHex(release[i].content) + "\n";
        return text + drops;
    }
    void freshWizard() {
        rig.view.list = {"kelmor 1.26"};
        rig.view.caption = kUpdateCaption;
    }
    void serve(const std::string& file, fakes::FakeResponse response) {
        rig.http.responses["/kelmor/" + file] = std::move(response);
    }
    void remember() {
        before = installedFiles();
        foldersBefore = installedFolders();
    }
    std::map<std::string, fakes::FakeFileSystem::File> installedFiles() const {
        std::map<std::string, fakes::FakeFileSystem::File> seen;
        for (const auto& [path, file] : rig.files.files)
            if (!inWorkFolder(path)) seen[path] = file;
        return seen;
    }
    std::set<std::string> installedFolders() const {
        std::set<std::string> seen;
        for (const std::string& folder : rig.files.directories)
            if (!inWorkFolder(folder)) seen.insert(folder);
        return seen;
    }
    // The end-to-end rows cover the failures of a download, Cancel and the
    // new folder; these cover what they cannot reach.
    void run(const std::string& text) {
        rig.http.opened.clear();
        rig.http.askedFrom.clear();
        runUpdate(rig.context, text, "1.3");
    }
    void expectNothingChanged(const std::string& why) {
        EXPECT_TRUE(installedFiles() == before) << why;
        EXPECT_EQ(installedFolders(), foldersBefore) << why;
        EXPECT_FALSE(rig.files.exists(kWork + "\\update.journal")) << why;
        EXPECT_EQ(rig.view.status(), kReleaseNotDone) << why;
        EXPECT_EQ(rig.view.progress.empty() ? -1 : rig.view.progress.back(), 0) << why;
        EXPECT_TRUE(rig.view.enabled) << why;
        EXPECT_EQ(rig.view.caption, kUpdateCaption) << why;
        EXPECT_EQ(rig.view.list.front(), "kelmor 1.26") << why;
        EXPECT_EQ(std::count(rig.view.list.begin(), rig.view.list.end(), "kelmor 1.3"), 0) << why;
    }
};

TEST_F(WholeReleaseRunTest, RefusedNameFailsTheReleaseBeforeAnyRequest) {
    remember();
    release.push_back({"x.dll.old", "x"});
    run(manifest());
    expectNothingChanged("refused name");
    EXPECT_TRUE(rig.http.opened.empty());
    EXPECT_EQ(rig.view.list.back(), "x.dll.old 更新失败");
}

// The guard is asked again just before the commit. The downloads wait for
// the next run, which fetches nothing and shows them received.
TEST_F(WholeReleaseRunTest, ProductStartedDuringTheDownloadsStopsTheCommitAndTheDownloadsWait) {
    remember();
    int asked = 0;
    rig.context.consultGuard = [&] { return ++asked != 2; };
    run(manifest());
    EXPECT_EQ(asked, 2);
    expectNothingChanged("product started again");

    freshWizard();
    rig.view.progress.clear();
    run(manifest());
    EXPECT_TRUE(rig.http.opened.empty());
    EXPECT_EQ(rig.view.progress, (std::vector<int>{100, 100, 100}));
    EXPECT_EQ(rig.files.content(kProg + "data/c.dat"), "new c");
}

TEST_F(WholeReleaseRunTest, DropsOnlyFilesWithPublishedContent) {
    rig.files.put(kProg + "gone.dll", "gone v1", 45000);
    rig.files.put(kProg + "mine.dll", "changed by the user", 45000);
    rig.files.put(kProg + "Update.exe", "updater", 45000);
    const auto drop = [](int n, const std::string& file, const std::string& content) {
        return "[DROP" + std::to_string(n) + "]\nFILE=" + file + "\nPREV0_SIZE=1\nPREV0_SHA256=" +
               std::string(64, '0') + "\nPREV1_SIZE=" + std::to_string(content.size()) +
               "\nPREV1_SHA256=" + fakeDigestHex(content) + "\n";
    };
    drops = drop(0, "gone.dll", "gone v1") + drop(1, "mine.dll", "mine v1") + drop(2, "Update.exe", "updater") +
            drop(3, "updataAdd.ini", "[Server]") + drop(4, "a.dll", "old a");
    run(manifest());
    EXPECT_FALSE(rig.files.exists(kProg + "gone.dll"));
    EXPECT_FALSE(rig.files.directories.count(kWork)) << "the work folder goes with its backups";
    EXPECT_EQ(rig.files.content(kProg + "mine.dll"), "changed by the user");
    EXPECT_EQ(rig.files.content(kProg + "Update.exe"), "updater");
    EXPECT_EQ(rig.files.content(kProg + "updataAdd.ini"), "[Server]");
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "new a");
    EXPECT_EQ(rig.view.list,
              (Lines{"a.dll 更新完成", "b.dll 更新完成", "data/c.dat 更新完成", "gone.dll 已删除", "kelmor 1.3"}));

    rig.files.put(kProg + "gone.dll", "gone v1", 45000);
    rig.files.fixed.insert(kProg + "gone.dll");
    rig.files.put(kProg + "a.dll", "old a", 45000);
    freshWizard();
    remember();
    run(manifest());
    expectNothingChanged("a dropped file in use");
}

// A whole release takes a patch as a run file by file does: only the patch
// travels for a.dll, whose local bytes are its base.
TEST_F(WholeReleaseRunTest, EntryWhoseFileIsAPatchBaseFetchesOnlyThePatch) {
    const std::string patch = fakes::makePatch("old a", "new a");
    std::string text = manifest();
    text.insert(text.find("[FILE1]"), "PATCH0_BASE=" + fakeDigestHex("old a") +
                                          "\nPATCH0_FILE=a.dll.updpatch\nPATCH0_SIZE=" + std::to_string(patch.size()) +
                                          "\nPATCH0_SHA256=" + fakeDigestHex(patch) + "\n");
    serve("a.dll.updpatch", answer(patch));
    run(text);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "new a");
    EXPECT_EQ(rig.http.opened, (Lines{"/kelmor/a.dll.updpatch", "/kelmor/b.dll", "/kelmor/data/c.dat"}));
    EXPECT_EQ(rig.view.list, (Lines{"a.dll 更新完成", "b.dll 更新完成", "data/c.dat 更新完成", "kelmor 1.3"}));
    EXPECT_FALSE(rig.files.exists(kProg + "a.dll.patch") || rig.files.exists(kWork + "\\new\\a.dll.patch"));
}

// A file may become a folder and a folder a file; a folder that still holds
// the user's file fails the release before anything is touched.
TEST_F(WholeReleaseRunTest, FilesAndFoldersChangePlacesUnlessAFolderHoldsTheUsersFiles) {
    rig.files.put(kProg + "data", "old data", 45000);
    rig.files.directories.insert(kProg + "b.dll");
    rig.files.put(kProg + "b.dll/part.bin", "part v1", 45000);
    rig.files.put(kProg + "b.dll/mine.txt", "the user's", 45000);
    const auto drop = [](int n, const std::string& file, const std::string& content) {
        return "[DROP" + std::to_string(n) + "]\nFILE=" + file + "\nPREV0_SIZE=" + std::to_string(content.size()) +
               "\nPREV0_SHA256=" + fakeDigestHex(content) + "\n";
    };
    drops = drop(0, "data", "old data") + drop(1, "b.dll/part.bin", "part v1");
    remember();
    run(manifest());
    expectNothingChanged("the user's file in a folder that becomes a file");
    EXPECT_EQ(rig.view.list.back(), "b.dll 更新失败");

    rig.files.files.erase(kProg + "b.dll/mine.txt");
    freshWizard();
    run(manifest());
    EXPECT_EQ(rig.files.content(kProg + "b.dll"), "new b");
    EXPECT_EQ(rig.files.content(kProg + "data/c.dat"), "new c");
    EXPECT_EQ(rig.view.list.back(), "kelmor 1.3");
    EXPECT_FALSE(rig.files.directories.count(kWork));
}

// Without WHOLE=1, or with an entry lacking SHA256, a release runs file by
// file as before: a failed file does not hold the others back.
TEST_F(WholeReleaseRunTest, OtherManifestsRunFileByFileAndStillGetTheirFolders) {
    serve("b.dll", answer("", "404", "Not Found"));
    std::string text = manifest();
    text.replace(text.rfind("SHA256="), 7, "SHA512=");
    run(text);
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "new a");
    EXPECT_EQ(rig.files.content(kProg + "data/c.dat"), "new c");
    EXPECT_EQ(rig.view.list.back(), "kelmor 1.3");

    rig.files.put(kProg + "a.dll", "old a", 45000);
    rig.files.files.erase(kProg + "data/c.dat");
    rig.files.directories.erase(kProg + "data");
    serve("data/c.dat", answer("", "404", "Not Found"));
    run(manifest(""));
    EXPECT_EQ(rig.files.content(kProg + "a.dll"), "new a");
    EXPECT_FALSE(rig.files.directories.count(kProg + "data")) << "the folder goes with its file";
}

// A cut download waits in .update\part\ under its content's SHA-256; the
// next run asks only for the rest, and the whole is proven before it counts.
TEST_F(WholeReleaseRunTest, CutDownloadsResumeAndAreProvenWhole) {
    const std::string whole = "0123456789";
    release[1].content = whole;
    serve("b.dll", answer(whole));
    const std::string part = kProg + ".update\\part\\" + fakeDigestHex(whole);
    const auto partial = [](std::string status, std::string body, std::string range) {
        fakes::FakeResponse response = answer(std::move(body), std::move(status), "Partial Content");
        response.contentRange = std::move(range);
        return response;
    };
    const auto reinstall = [&](const std::string& held) {
        rig.files.put(kProg + "a.dll", "old a", 45000);
        rig.files.files.erase(kProg + "b.dll");
        rig.files.directories.insert({kProg + ".update", kProg + ".update\\part"});
        if (!held.empty()) rig.files.put(part, held);
        freshWizard();
    };
    const auto askedForB = [&] {
        std::vector<std::uint64_t> asked;
        for (std::size_t i = 0; i < rig.http.opened.size(); ++i)
            if (rig.http.opened[i] == "/kelmor/b.dll") asked.push_back(rig.http.askedFrom[i]);
        return asked;
    };
    struct Row {
        const char* name;
        std::string held;
        fakes::FakeResponse ranged;
        std::vector<std::uint64_t> asked;  // the first byte of each request for b.dll
        bool updated;
    };
    const std::vector<Row> rows = {
        {"206 appended", "01234", partial("206", "56789", "bytes 5-9/10"), {5}, true},
        {"200 restarted", "01234", answer(whole), {5}, true},
        {"416 fetched whole", "01234", partial("416", "", ""), {5, 0}, true},
        {"wrong Content-Range", "01234", partial("206", "456789", "bytes 4-9/10"), {5}, false},
        {"resumed file proves wrong", "0123X", partial("206", "56789", "bytes 5-9/10"), {5, 0}, true},
    };
    for (const Row& row : rows) {
        reinstall(row.held);
        rig.http.rangedResponses["/kelmor/b.dll"] = row.ranged;
        run(manifest());
        EXPECT_EQ(askedForB(), row.asked) << row.name;
        EXPECT_EQ(rig.files.content(kProg + "b.dll"), row.updated ? whole : "<missing>") << row.name;
        EXPECT_FALSE(rig.files.exists(part)) << row.name;
        EXPECT_FALSE(rig.files.directories.count(kProg + ".update\\part")) << row.name << ": left empty, it goes";
        // A failed release keeps its other downloads there for the next run.
        if (row.updated) EXPECT_FALSE(rig.files.directories.count(kProg + ".update")) << row.name;
    }

    // Cut by a lost connection, the part stays; the next run appends the rest.
    reinstall("");
    serve("b.dll", fakes::failingReadAt(answer(whole), 4));
    run(manifest());
    EXPECT_EQ(rig.files.content(part), "0123");
    serve("b.dll", answer(whole));
    rig.http.rangedResponses["/kelmor/b.dll"] = partial("206", "456789", "bytes 4-9/10");
    freshWizard();
    run(manifest());
    EXPECT_EQ(askedForB(), (std::vector<std::uint64_t>{4}));
    EXPECT_EQ(rig.files.content(kProg + "b.dll"), whole);

    // Bytes the disk could not take never stay.
    reinstall("");
    rig.files.failingWrites.insert(part);
    run(manifest());
    EXPECT_FALSE(rig.files.exists(part));
}

// Both kinds of run decide an entry by one plan; they differ only where a
// whole release asks more of the entry and where its downloads wait.
TEST_F(WholeReleaseRunTest, OnePlanDecidesForBothKindsOfRun) {
    rig.files.directories.insert(kProg + "plugins");
    rig.files.put(kProg + "Update.exe", "running", 45000);
    const auto planned = [&](const ManifestEntry& entry, RunKind kind) -> std::string {
        const EntryPlan plan = planEntry(rig.context, entry, kind);
        switch (plan.decision) {
        case EntryPlan::Decision::Refused: return "refused: " + plan.refusal;
        case EntryPlan::Decision::Current: return "current";
        case EntryPlan::Decision::Fetch: return plan.target + " via " + plan.downloadPath;
        }
        return "";
    };
    struct Row {
        const char* file;
        std::optional<std::string> size;  // SHA256 is always that of "new a"
        std::string fileByFile, whole;
    };
    const std::string kWholeNeeds = "refused: a whole release needs SIZE and SHA256";
    const std::string kBlocked = "a link or a folder that cannot be opened stands in its path";
    rig.files.blocked.insert(kProg + "linked/d.dll");
    const std::vector<Row> rows = {
        {"a.dll", "5", "a.dll via " + kProg + "a.dll.upg", "a.dll via " + kWork + "\\new\\a.dll"},
        {"data/c.dat", "5", "data/c.dat via " + kProg + "data/c.dat.upg",
         "data/c.dat via " + kWork + "\\new\\data\\c.dat"},
        {"UPDATE.exe", "5", "Update.exe.bck via " + kProg + "UPDATE.exe.upg",
         "Update.exe.bck via " + kWork + "\\new\\Update.exe.bck"},
        {"a.dll", std::nullopt, "a.dll via " + kProg + "a.dll.upg", kWholeNeeds},
        {"a.dll", "x5", "refused: malformed SIZE or SHA256", kWholeNeeds},
        {"plugins", "5", "refused: a folder stands there", "plugins via " + kWork + "\\new\\plugins"},
        {"linked/d.dll", "5", "refused: " + kBlocked, "refused: " + kBlocked},
        {"kelmor.exe", "7", "current", "current"},
    };
    for (const Row& row : rows) {
        const std::string content = row.size == "7" ? "current" : "new a";
        const ManifestEntry entry{
            .file = row.file, .version = kTime, .size = row.size, .sha256 = fakeDigestHex(content)};
        EXPECT_EQ(planned(entry, RunKind::FileByFile), row.fileByFile) << row.file;
        EXPECT_EQ(planned(entry, RunKind::WholeRelease), row.whole) << row.file;
    }
    // The local a.dll has the entry's size: the digest deciding by content
    // took is the patch base's, for either kind.
    const ManifestEntry entry{.file = "a.dll", .version = kTime, .size = "5", .sha256 = fakeDigestHex("new a")};
    for (const RunKind kind : {RunKind::FileByFile, RunKind::WholeRelease})
        EXPECT_EQ(planEntry(rig.context, entry, kind).localDigest, fakes::fakeDigest("old a"));
    EXPECT_TRUE(rig.http.opened.empty() && rig.files.created.empty()) << "a plan fetches and writes nothing";
}

}  // namespace
}  // namespace updater
