#include "engine/release/release_commit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/release/release_paths.h"
#include "engine/release/release_recovery.h"
#include "engine/manifest/side_files.h"
#include "engine/release/update_journal.h"
#include "tests/unit/fake_verifier.h"
#include "tests/unit/fakes.h"

namespace updater {
namespace {

using Files = std::map<std::string, fakes::FakeFileSystem::File>;

const std::string kProg = "C:\\Prog\\";
const std::string kWork = kProg + ".update";
const std::string kJournal = kWork + "\\update.journal";
std::string backslashed(std::string name) {
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}
std::string waiting(const std::string& name) { return kWork + "\\new\\" + backslashed(name); }
std::string backedUp(const std::string& name) { return kWork + "\\old\\" + backslashed(name); }

// What a user sees of an installation: every file but the side files, with
// its bytes and time, and every folder.
struct Installation {
    Files files;
    std::set<std::string> folders;
    bool operator==(const Installation& other) const { return files == other.files && folders == other.folders; }
};

// Everything of the updater's own is in its work folder.
bool isSideFile(const std::string& path) { return path.rfind(kWork, 0) == 0; }

void PrintTo(const Installation& seen, std::ostream* out) {
    for (const std::string& folder : seen.folders) *out << "\n  [" << folder << "]";
    for (const auto& [path, file] : seen.files) *out << "\n  " << path << " = " << file.content << " @" << file.lastWrite;
}

Installation installed(const fakes::FakeFileSystem& fs) {
    Installation seen;
    for (const std::string& folder : fs.directories)
        if (!isSideFile(folder)) seen.folders.insert(folder);
    for (const auto& [path, file] : fs.files)
        if (!isSideFile(path)) seen.files[path] = file;
    return seen;
}

// A backup from before that a commit cut short had no time to remove is
// harmless and not counted.
Files sideFiles(const fakes::FakeFileSystem& fs) {
    Files side;
    for (const auto& [path, file] : fs.files)
        if (isSideFile(path) && file.content != "stale backup") side[path] = file;
    return side;
}

// kelmor 1.26 going to 1.3: a.dll and the updater's copy replaced, c.dll
// added, two files in folders that 1.3 adds, gone.dll dropped; the file
// docs becomes a folder and the folder cfg a file. The user's own a.dll.old
// is no business of the commit.
class ReleaseCommitTest : public ::testing::Test {
protected:
    fakes::FakeFileSystem fs;
    fakes::FakeSha256Source hashes;
    CommitPlan plan{{"a.dll", "c.dll", "data/levels.dat", "data/sub/x.bin", "Update.exe.bck", "docs/manual.txt", "cfg"},
                    {"gone.dll", "docs", "cfg/a.ini", "cfg/sub/b.ini"}};
    Installation before, after;
    Files downloads;

    ReleaseCommitTest() {
        fs.foldersMatter = true;
        fs.directories = {"C:\\Prog", kProg + "cfg", kProg + "cfg/sub"};
        fs.put(kProg + "a.dll", "old a", 100);
        fs.put(kProg + "b.dll", "old b", 101);
        fs.put(kProg + "gone.dll", "old gone", 102);
        fs.put(kProg + "Update.exe.bck", "old copy", 103);
        fs.put(kProg + "a.dll.old", "the user's", 104);
        fs.put(kProg + "docs", "old docs", 105);
        fs.put(kProg + "cfg/a.ini", "old ini", 106);
        fs.put(kProg + "cfg/sub/b.ini", "old b.ini", 107);
        before = installed(fs);
        for (const std::string& folder : {kWork, kWork + "\\new", waiting("data"), waiting("data/sub"), waiting("docs")})
            fs.directories.insert(folder);
        // The downloads are only in the system's cache until the commit flushes them.
        fs.settle();

        fs.put(waiting("a.dll"), "new a", 200);
        fs.put(waiting("c.dll"), "new c", 201);
        fs.put(waiting("data/levels.dat"), "levels", 202);
        fs.put(waiting("data/sub/x.bin"), "x", 203);
        fs.put(waiting("Update.exe.bck"), "new copy", 204);
        fs.put(waiting("docs/manual.txt"), "manual", 205);
        fs.put(waiting("cfg"), "new cfg", 206);
        downloads = sideFiles(fs);
        // A backup left in the work folder from before is the updater's own.
        fs.directories.insert(kWork + "\\old");
        fs.put(backedUp("a.dll"), "stale backup", 104);

        after.folders = {"C:\\Prog", kProg + "data", kProg + "data/sub", kProg + "docs"};
        after.files = {{kProg + "a.dll", {"new a", 200}},        {kProg + "b.dll", {"old b", 101}},
                       {kProg + "c.dll", {"new c", 201}},        {kProg + "data/levels.dat", {"levels", 202}},
                       {kProg + "data/sub/x.bin", {"x", 203}}, {kProg + "Update.exe.bck", {"new copy", 204}},
                       {kProg + "a.dll.old", {"the user's", 104}}, {kProg + "docs/manual.txt", {"manual", 205}},
                       {kProg + "cfg", {"new cfg", 206}}};
    }

    RecoveryOutcome recover() { return recoverRelease(fs, hashes, kProg, "Update.exe", cp936()).outcome; }

    // Exactly the old release with its downloads kept for the next run, or
    // exactly the new one with no side file left.
    void expectOneRelease(const std::string& when) {
        const Installation now = installed(fs);
        if (now == after) {
            EXPECT_EQ(sideFiles(fs), Files{}) << when;
            EXPECT_FALSE(fs.directories.count(kWork)) << when << ": the work folder goes once empty";
        } else {
            EXPECT_EQ(now, before) << when;
            EXPECT_EQ(sideFiles(fs), downloads) << when;
        }
    }
};

TEST_F(ReleaseCommitTest, PutsEveryFileInPlaceAndLeavesNoSideFile) {
    EXPECT_EQ(commitRelease(fs, hashes, kProg, plan, cp936()), std::nullopt);
    EXPECT_EQ(installed(fs), after);
    EXPECT_EQ(sideFiles(fs), Files{});
    EXPECT_EQ(recover(), RecoveryOutcome::NothingToDo);
}

// A kill after any step, then the next start's recovery, itself killed after
// any of its steps and started again.
TEST_F(ReleaseCommitTest, KillAtEveryStepThenRecoveryGivesOneRelease) {
    const fakes::FakeFileSystem start = fs;
    bool sawOld = false, sawNew = false;
    bool commitCut = true;
    for (std::size_t kill = 1; commitCut; ++kill) {
        bool recoveryCut = true;
        for (std::size_t recoveryKill = 1; recoveryCut; ++recoveryKill) {
            fs = start;
            fs.killAtStep = kill;
            commitRelease(fs, hashes, kProg, plan, cp936());
            commitCut = fs.killed;
            fs.restart();
            fs.killAtStep = fs.steps + recoveryKill;
            recover();
            recoveryCut = fs.killed;
            fs.restart();
            recover();
            expectOneRelease("kill at " + std::to_string(kill) + ", then " + std::to_string(recoveryKill));
            (installed(fs) == after ? sawNew : sawOld) = true;
        }
    }
    EXPECT_TRUE(sawOld && sawNew);
}

// A power cut loses what was only in the system's cache; the flushed
// downloads and the journal written through still give one release.
TEST_F(ReleaseCommitTest, PowerCutAtEveryStepThenRecoveryGivesOneRelease) {
    const fakes::FakeFileSystem start = fs;
    for (std::size_t kill = 1;; ++kill) {
        fs = start;
        fs.killAtStep = kill;
        commitRelease(fs, hashes, kProg, plan, cp936());
        const bool cut = fs.killed;
        fs.powerCut();
        fs.restart();
        recover();
        const Installation now = installed(fs);
        EXPECT_TRUE(now == before || now == after) << "power cut at " << kill;
        if (!cut) break;
    }
}

// Any step that fails is undone with every step before it: the old release
// and its downloads, nothing else.
TEST_F(ReleaseCommitTest, FailureAtEveryStepIsUndone) {
    const fakes::FakeFileSystem start = fs;
    for (std::size_t failing = 1;; ++failing) {
        fs = start;
        fs.failAtStep = failing;
        const std::optional<CommitFailure> failure = commitRelease(fs, hashes, kProg, plan, cp936());
        if (fs.steps < failing) break;
        if (failure) {
            EXPECT_TRUE(failure->undone) << failing;
            EXPECT_EQ(installed(fs), before) << "failing step " << failing;
            EXPECT_EQ(sideFiles(fs), downloads) << "failing step " << failing;
        } else {
            // Past the commit record only a backup's removal can fail.
            EXPECT_EQ(installed(fs), after) << "failing step " << failing;
        }
    }
}

TEST_F(ReleaseCommitTest, FileInUseOrDropThatCannotGoFailsTheRelease) {
    fs.fixed.insert(kProg + "gone.dll");
    std::optional<CommitFailure> failure = commitRelease(fs, hashes, kProg, plan, cp936());
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, CommitFailure::Step::Drop);
    EXPECT_EQ(failure->name, "gone.dll");
    EXPECT_EQ(failure->code, 5u) << "the code of the failing call, not of the undo after it";
    EXPECT_EQ(installed(fs), before);

    fs.fixed.clear();
    fs.busy = {kProg + "c.dll"};
    failure = commitRelease(fs, hashes, kProg, plan, cp936());
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, CommitFailure::Step::Replace);
    EXPECT_EQ(failure->name, "c.dll");
    EXPECT_EQ(failure->code, 32u);
    EXPECT_EQ(installed(fs), before);
}

// Another session's updater starts its journal between the look and the
// creation: this commit stops, and the other journal stays as it was.
TEST_F(ReleaseCommitTest, JournalStartedMeanwhileElsewhereStopsTheCommit) {
    struct Racing : fakes::FakeFileSystem {
        bool createDurably(const std::string& path, const std::string& bytes) override {
            if (!exists(path)) put(path, "the other's");
            return FakeFileSystem::createDurably(path, bytes);
        }
    } racing;
    static_cast<fakes::FakeFileSystem&>(racing) = fs;
    const std::optional<CommitFailure> failure = commitRelease(racing, hashes, kProg, plan, cp936());
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, CommitFailure::Step::Journal);
    EXPECT_EQ(racing.content(kJournal), "the other's");
    EXPECT_EQ(installed(racing), before);
}

// What the installation holds besides the release fails it before the
// journal, with nothing touched.
TEST_F(ReleaseCommitTest, InstallationThatStandsInTheWayFailsBeforeTheJournal) {
    const fakes::FakeFileSystem start = fs;
    const std::vector<std::pair<std::function<void()>, std::string>> rows = {
        {[&] { fs.put(kProg + "cfg/sub/mine.ini", "the user's"); }, "cfg"},
        {[&] { fs.volumes[kProg + "cfg"] = 7; }, "cfg/a.ini"},
        {[&] { plan.drops.erase(plan.drops.begin() + 1); }, "docs/manual.txt"},
    };
    for (const auto& [arrange, name] : rows) {
        fs = start;
        const CommitPlan planned = plan;
        arrange();
        const Installation standing = installed(fs);
        const std::optional<CommitFailure> failure = commitRelease(fs, hashes, kProg, plan, cp936());
        plan = planned;
        ASSERT_TRUE(failure) << name;
        EXPECT_EQ(failure->step, CommitFailure::Step::Blocked) << name;
        EXPECT_EQ(failure->name, name);
        EXPECT_EQ(installed(fs), standing) << name;
        EXPECT_FALSE(fs.exists(kJournal)) << name;
    }
}

TEST_F(ReleaseCommitTest, UndoThatFailsLeavesTheJournalForTheNextStart) {
    fs.busy.insert(kProg + "cfg");     // the last step fails
    fs.busy.insert(waiting("a.dll"));  // the new a.dll cannot move back
    const std::optional<CommitFailure> failure = commitRelease(fs, hashes, kProg, plan, cp936());
    ASSERT_TRUE(failure);
    EXPECT_FALSE(failure->undone);
    EXPECT_TRUE(fs.exists(kJournal));
    fs.busy.clear();
    fs.fixed.clear();
    EXPECT_EQ(recover(), RecoveryOutcome::RolledBack);
    expectOneRelease("after the next start");
}

TEST_F(ReleaseCommitTest, RecoveryWithoutRightsKeepsTheJournal) {
    fs.killAtStep = 16;
    commitRelease(fs, hashes, kProg, plan, cp936());
    fs.restart();
    fs.fixed.insert(kJournal);
    EXPECT_EQ(recover(), RecoveryOutcome::CouldNot);
    EXPECT_TRUE(fs.exists(kJournal));
    fs.fixed.clear();
    EXPECT_EQ(recover(), RecoveryOutcome::RolledBack);
    expectOneRelease("with rights");
}

// A cut commit goes where every content the journal names still is, whatever
// befell the files since the cut; where none is whole, nothing moves and
// the journal waits. A file in use only delays it.
TEST_F(ReleaseCommitTest, RecoveryGoesWhereEveryContentIs) {
    const fakes::FakeFileSystem start = fs;
    for (std::size_t kill = 1; fs.content(kProg + "a.dll") != "new a"; ++kill) {
        fs = start;
        fs.killAtStep = kill;
        commitRelease(fs, hashes, kProg, plan, cp936());
    }
    fs.restart();
    const fakes::FakeFileSystem cut = fs;
    enum Release { Old, New, AsItStood };
    const struct {
        const char* name;
        std::function<void()> arrange;
        RecoveryOutcome outcome;
        Release release;
    } rows[] = {
        {"as cut", [] {}, RecoveryOutcome::RolledBack, Old},
        {"a backup lost", [&] { fs.files.erase(backedUp("a.dll")); }, RecoveryOutcome::RolledForward, New},
        {"a backup changed", [&] { fs.put(backedUp("gone.dll"), "changed"); }, RecoveryOutcome::RolledForward, New},
        {"a backup and a download lost", [&] { fs.files.erase(backedUp("a.dll")), fs.files.erase(waiting("cfg")); },
         RecoveryOutcome::CouldNot, AsItStood},
        {"a backup lost, a user's file where a new one goes",
         [&] { fs.files.erase(backedUp("a.dll")), fs.put(kProg + "c.dll", "the user's"); }, RecoveryOutcome::CouldNot,
         AsItStood},
        {"a file in use", [&] { fs.fixed.insert(kProg + "a.dll"); }, RecoveryOutcome::CouldNot, AsItStood},
    };
    for (const auto& row : rows) {
        fs = cut;
        row.arrange();
        const Installation standing = installed(fs);
        const RecoveryResult result = recoverRelease(fs, hashes, kProg, "Update.exe", cp936());
        EXPECT_EQ(result.outcome, row.outcome) << row.name << ::testing::PrintToString(result.steps);
        if (row.release == AsItStood) {
            EXPECT_TRUE(fs.exists(kJournal)) << row.name;
            if (fs.fixed.empty()) EXPECT_EQ(installed(fs), standing) << row.name;
            const bool told = std::any_of(result.steps.begin(), result.steps.end(), [](const std::string& line) {
                return line.rfind("in the way C:\\Prog\\", 0) == 0 || line.rfind("back C:\\Prog\\a.dll: failed", 0) == 0;
            });
            EXPECT_TRUE(told) << row.name << ": each path in the way is logged";
        } else {
            EXPECT_EQ(installed(fs), row.release == Old ? before : after) << row.name;
            EXPECT_FALSE(fs.exists(kJournal)) << row.name;
        }
    }
    fs.fixed.clear();
    EXPECT_EQ(recover(), RecoveryOutcome::RolledBack) << "once the file is closed";
    expectOneRelease("after the file in use was closed");
}

// Only names the manifest rules allow, and the updater's copy: a journal
// that names anything else touches nothing.
TEST_F(ReleaseCommitTest, RecoveryIgnoresAJournalNamingOtherFiles) {
    fs.put(kProg + "..\\win.ini.old", "planted");
    fs.directories.insert(kWork);
    for (const std::string name : {"..\\win.ini", "a.dll.upg", "C:\\x", "Other.exe.bck", "lib.old/x.dll", ".update/x"}) {
        fs.put(kJournal, journalRecordText({JournalStep::Replace, "b.dll"}, 1) +
                             journalRecordText({JournalStep::Drop, name}, 1));
        const RecoveryResult result = recoverRelease(fs, hashes, kProg, "Update.exe", cp936());
        EXPECT_EQ(result.outcome, RecoveryOutcome::Ignored) << name;
        EXPECT_EQ(result.refusedName, name);
        EXPECT_EQ(fs.content(kProg + "..\\win.ini.old"), "planted");
        EXPECT_FALSE(fs.exists(kJournal));
    }
}

// An undo never moves a folder, nor a file onto one: what stands in the
// way is kept, and so is the journal.
TEST_F(ReleaseCommitTest, UndoLeavesFoldersWhereTheyStand) {
    fs.directories.insert(kWork);
    fs.directories.insert(kWork + "\\old");
    fs.put(backedUp("b.dll"), "old b, backed up");
    fs.files.erase(kProg + "b.dll");
    fs.directories.insert(kProg + "b.dll");
    fs.put(kJournal, journalRecordText({JournalStep::Replace, "b.dll"}, 1));
    EXPECT_EQ(recover(), RecoveryOutcome::CouldNot);
    EXPECT_TRUE(fs.directories.count(kProg + "b.dll"));
    EXPECT_EQ(fs.content(backedUp("b.dll")), "old b, backed up");
    EXPECT_TRUE(fs.exists(kJournal));
}

// A journal an earlier version left beside the files, its backups and
// downloads there too, is still recovered, once.
TEST_F(ReleaseCommitTest, RecoversAJournalLeftBesideTheFiles) {
    fs.files.erase(kProg + "a.dll");
    fs.put(kProg + "a.dll.old", "old a", 100);
    fs.put(kProg + "a.dll.upg", "new a", 200);
    fs.directories.insert(kProg + "data");
    fs.put(kProg + "data/n.dat", "new n", 201);
    fs.put(kProg + "update.journal", journalRecordText({JournalStep::NewFolder, "data"}, 1) +
                                         journalRecordText({JournalStep::AddInNewFolder, "data/n.dat"}, 1) +
                                         journalRecordText({JournalStep::Replace, "a.dll"}, 1));
    EXPECT_EQ(recover(), RecoveryOutcome::RolledBack);
    EXPECT_EQ(fs.content(kProg + "a.dll"), "old a");
    EXPECT_FALSE(fs.exists(kProg + "a.dll.old") || fs.exists(kProg + "update.journal"));
    EXPECT_FALSE(fs.exists(kProg + "a.dll.upg") || fs.exists(kProg + "data~+n.dat.upg.upg")) << "never used again";
    EXPECT_FALSE(fs.directories.count(kProg + "data"));
    EXPECT_EQ(recover(), RecoveryOutcome::NothingToDo);
}

TEST(UpdateJournalTest, ReadsRecordsUpToATornOne) {
    const FileContent one{5, {1, 2, 3}}, other{123456789012ull, {0xff}};
    const std::vector<JournalRecord> records = {{JournalStep::NewFolder, "数据"},
                                                {JournalStep::Add, "数据/关 卡.dat", std::nullopt, one},
                                                {JournalStep::RemoveFolder, "旧"},
                                                {JournalStep::Replace, "a b.dll", one, other},
                                                {JournalStep::Committed, ""}};
    std::string text = journalHeaderText();
    for (const JournalRecord& record : records) text += journalRecordText(record, 2);
    EXPECT_EQ(journalVersion(text), 2);
    EXPECT_EQ(readJournal(text), records);
    // The previous release's journal: no header, no contents.
    std::string previous;
    std::vector<JournalRecord> named;
    for (const JournalRecord& record : records) {
        named.push_back({record.step, record.name});
        previous += journalRecordText(named.back(), 1);
    }
    EXPECT_EQ(journalVersion(previous), 1);
    EXPECT_EQ(readJournal(previous), named);
    EXPECT_EQ(readJournal("update.journal 3\n" + text.substr(journalHeaderText().size())).size(), 0u)
        << "a later format is not read as this one";

    const std::string last = journalRecordText(records.back(), 2);
    const std::string upToLast = text.substr(0, text.size() - last.size());
    const std::vector<JournalRecord> allButLast(records.begin(), records.end() - 1);
    EXPECT_EQ(readJournal(upToLast + last.substr(0, last.size() - 1)), allButLast) << "no line end";
    EXPECT_EQ(readJournal(upToLast + std::string(last.size(), '\0')), allButLast) << "zeros";
    std::string flipped = text;
    flipped[flipped.size() - 12] ^= 1;
    EXPECT_EQ(readJournal(flipped).size(), 3u) << "a changed byte ends the journal";
}

TEST(ReleasePathsTest, FoldersAndFlatNamesFollowTheCodePage) {
    EXPECT_EQ(parentFolders("./a/b\\c.dll", cp936()), (std::vector<std::string>{"./a", "./a/b"}));
    // 0x81 0x5C is one character, not a separator.
    EXPECT_EQ(parentFolders("\x81\x5C/x", cp936()), (std::vector<std::string>{"\x81\x5C"}));
    EXPECT_EQ(flatDownloadName("a~b/c\\d", cp936()), "a~~b~+c~+d.upg.upg");
    EXPECT_NE(flatDownloadName("a~+b", cp936()), flatDownloadName("a/b", cp936()));
}

}  // namespace
}  // namespace updater
