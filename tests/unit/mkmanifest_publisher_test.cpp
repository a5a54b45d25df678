#include "tools/mkmanifest/publisher.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

#include "engine/text/byte_limits.h"
#include "engine/text/ini_file.h"
#include "tools/mkmanifest/command_line.h"
#include "tools/mkmanifest/packed_forms.h"

namespace mkmanifest {
namespace {

// Release and output folders in memory; records every write in order.
class FakeStore : public ReleaseStore {
public:
    std::map<std::string, std::string> release;
    std::map<std::string, std::string> published;
    std::vector<std::string> writes;
    std::vector<std::string> packedWrites;  // patches, copies and kept contents
    bool outputUnreadable = false;
    std::string changesWhileCopied;  // this file's content differs when copied

    static FileDigest digestOf(const std::string& bytes) {
        char sha256[65];
        std::snprintf(sha256, sizeof sha256, "%064zx", std::hash<std::string>()(bytes));
        return {bytes.size(), sha256};
    }

    std::map<std::string, std::string>& folder(const std::string& root) { return root == "out" ? published : release; }

    std::vector<ListedFile> listFiles(const std::string& root) override {
        if (root == "out" && outputUnreadable) throw PublishError("cannot read the folder out");
        std::vector<ListedFile> files;
        for (const auto& [name, bytes] : folder(root)) files.push_back({name, bytes.size()});
        return files;
    }
    FileDigest digest(const std::string&, const std::string& name) override { return digestOf(release.at(name)); }
    std::optional<FileDigest> digestIfPresent(const std::string& root, const std::string& name) override {
        auto found = folder(root).find(name);
        if (found == folder(root).end()) return std::nullopt;
        return digestOf(found->second);
    }
    FileDigest copy(const std::string&, const std::string& name, const std::string&,
                    const std::string& toName) override {
        (isObjectName(toName) ? packedWrites : writes).push_back(toName);
        published[toName] = release.at(name) + (name == changesWhileCopied ? "!" : "");
        return digestOf(published[toName]);
    }
    void rename(const std::string&, const std::string& from, const std::string& to) override {
        published[to] = published.at(from);
        published.erase(from);
    }
    // Halves the file: always worth a copy.
    FileDigest compress(const std::string&, const std::string& name, const std::string&,
                        const std::string& toName) override {
        packedWrites.push_back(toName);
        published[toName] = release.at(name).substr(0, release.at(name).size() / 2);
        return digestOf(published[toName]);
    }
    void remove(const std::string&, const std::string& name) override { published.erase(name); }
    std::optional<std::string> readIfPresent(const std::string& root, const std::string& name) override {
        auto found = folder(root).find(name);
        if (found == folder(root).end()) return std::nullopt;
        return found->second;
    }
    void writeAtomically(const std::string&, const std::string& name, const std::string& bytes) override {
        (isPackedFormName(name) ? packedWrites : writes).push_back(name);
        published[name] = bytes;
    }
    bool overlap(const std::string& a, const std::string& b) override { return a == b; }
};

class MkmanifestPublisher : public ::testing::Test {
protected:
    int run(const std::string& version, std::vector<std::string> flags = {}) {
        flags.insert(flags.end(), {"--time", time, "rel", "kelmor", version, "out"});
        CommandLine line = parseCommandLine(flags);
        EXPECT_EQ(line.error, "");
        out.str("");
        err.str("");
        return publish(line.options, store, *parseTimestamp("2030-01-01 00:00:00"), out, err);
    }
    std::string manifestValue(const std::string& section, const std::string& key) {
        return updater::IniFile::parse(store.published.at("update.ini"), updater::cp936())
            .get(section, key, "<missing>", updater::kFileValueBufferBytes);
    }

    FakeStore store;
    std::string time = "2024-03-05 14:30:00";
    std::ostringstream out, err;
};

TEST_F(MkmanifestPublisher, CopiesEveryFileBeforeTheManifest) {
    store.release = {{"b.dll", "bb"}, {"a.exe", "aa"}, {"sub/c.txt", "cc"}};
    ASSERT_EQ(run("1.26"), 0) << err.str();
    EXPECT_EQ(store.writes, (std::vector<std::string>{"a.exe", "b.dll", "sub/c.txt", "update.ini"}));
    EXPECT_EQ(manifestValue("FILE2", "FILE"), "sub/c.txt");
    EXPECT_EQ(manifestValue("kelmor", "WHOLE"), "1");
    time = "2024-03-06 08:00:00";
    ASSERT_EQ(run("1.3", {"--per-file"}), 0) << err.str();
    EXPECT_EQ(manifestValue("kelmor", "WHOLE"), "<missing>");
}

TEST_F(MkmanifestPublisher, RepublishingCopiesOnlyWhatIsNotAlreadyPublished) {
    store.release = {{"a.exe", "aa"}, {"b.dll", "bb"}, {"c.txt", "cc"}};
    ASSERT_EQ(run("1.26"), 0) << err.str();
    store.release["b.dll"] = "b2";
    store.published.erase("c.txt");  // unchanged, but lost from the output folder
    store.writes.clear();
    time = "2024-03-06 08:00:00";
    ASSERT_EQ(run("1.3"), 0) << err.str();
    EXPECT_EQ(store.writes, (std::vector<std::string>{"b.dll", "c.txt", "update.ini"}));
    EXPECT_EQ(manifestValue("FILE0", "VERSION"), "2024-03-05 14:30:00");
    EXPECT_EQ(manifestValue("FILE1", "VERSION"), "2024-03-06 08:00:00");
    EXPECT_EQ(manifestValue("FILE2", "VERSION"), "2024-03-05 14:30:00");
}

TEST_F(MkmanifestPublisher, AnOutputFolderThatCannotBeTidiedOnlyWarns) {
    store.release = {{"a.exe", "aaaa"}};
    store.outputUnreadable = true;
    ASSERT_EQ(run("1.26"), 0) << err.str();
    EXPECT_NE(err.str().find("warning: published, but could not tidy"), std::string::npos) << err.str();
    EXPECT_EQ(manifestValue("FILE0", "ZFILE").substr(0, 9), "_objects/");
}

TEST_F(MkmanifestPublisher, DryRunReportsAndWritesNothing) {
    store.release = {{"a.exe", "aa"}, {"gone.dll", "gg"}};
    ASSERT_EQ(run("1.26"), 0);
    store.release = {{"a.exe", "a2"}, {"new.txt", "nn"}};
    store.writes.clear();
    store.packedWrites.clear();
    time = "2024-03-06 08:00:00";
    ASSERT_EQ(run("1.3", {"--dry-run"}), 0) << err.str();
    EXPECT_TRUE(store.writes.empty());
    EXPECT_TRUE(store.packedWrites.empty());
    EXPECT_EQ(manifestValue("kelmor", "VERSION"), "1.26");
    const std::string report = out.str();
    EXPECT_NE(report.find("1.26 -> 1.3"), std::string::npos) << report;
    EXPECT_NE(report.find("changed    a.exe"), std::string::npos) << report;
    EXPECT_NE(report.find("new        new.txt"), std::string::npos) << report;
    EXPECT_NE(report.find("removed    gone.dll"), std::string::npos) << report;
}

TEST_F(MkmanifestPublisher, AFileChangingWhileCopiedLeavesTheOldManifest) {
    store.release = {{"a.exe", "aa"}};
    ASSERT_EQ(run("1.26"), 0);
    store.release = {{"a.exe", "a2"}, {"b.dll", "bb"}};
    store.changesWhileCopied = "b.dll";
    time = "2024-03-06 08:00:00";
    EXPECT_EQ(run("1.3"), 1);
    EXPECT_NE(err.str().find("b.dll changed while"), std::string::npos) << err.str();
    EXPECT_EQ(manifestValue("kelmor", "VERSION"), "1.26");
}

TEST_F(MkmanifestPublisher, RefusesAVersionThatIsNotNewerUnlessForced) {
    store.release = {{"a.exe", "aa"}};
    ASSERT_EQ(run("1.9"), 0);
    store.writes.clear();
    EXPECT_EQ(run("1.10"), 1);
    EXPECT_TRUE(store.writes.empty());
    EXPECT_NE(err.str().find("--force"), std::string::npos);
    EXPECT_EQ(run("1.10", {"--force"}), 0) << err.str();
    EXPECT_EQ(manifestValue("kelmor", "VERSION"), "1.10");
}

TEST_F(MkmanifestPublisher, RefusesBadNamesBeforeReadingAnyFile) {
    store.release = {{"UPDATE.INI", "x"}, {"a.txt ", "x"}, {"A.dll", "1"}, {"a.DLL", "2"},
                     {"b.exe.UPDZ", "x"}, {"b.exe.0123.updpatch", "x"}, {".History/x", "x"}, {"_Objects/ab", "x"}};
    EXPECT_EQ(run("1.26"), 1);
    EXPECT_TRUE(store.writes.empty());
    std::string problems = err.str();
    for (const char* kept : {"b.exe.UPDZ,", "b.exe.0123.updpatch,", ".History/x,", "_Objects/ab,"})
        EXPECT_NE(problems.find(kept), std::string::npos) << kept << problems;
    EXPECT_NE(problems.find("UPDATE.INI"), std::string::npos) << problems;
    EXPECT_NE(problems.find("\"a.txt \""), std::string::npos) << problems;
    EXPECT_NE(problems.find("differ only in letter case"), std::string::npos) << problems;

    store.release = {{"a.txt", "x"}};
    CommandLine line = parseCommandLine({"rel", "kelmor]", "1.3", "rel"});
    EXPECT_EQ(publish(line.options, store, {2030, 1, 1, 0, 0, 0}, out, err), 1);
    EXPECT_TRUE(store.writes.empty());
}

TEST(MkmanifestCommandLine, ParsesOptionsAnywhereAndRefusesMistakes) {
    CommandLine line = parseCommandLine({"rel", "--force", "kelmor", "1.3", "-n", "out", "--time=2024-03-05 14:30:00"});
    EXPECT_EQ(line.error, "");
    EXPECT_TRUE(line.options.force);
    EXPECT_TRUE(parseCommandLine({"--per-file", "rel", "kelmor", "1.3", "out"}).options.perFile);
    EXPECT_TRUE(line.options.dryRun);
    EXPECT_EQ(formatTimestamp(*line.options.time), "2024-03-05 14:30:00");
    EXPECT_EQ(line.options.outDir, "out");

    EXPECT_EQ(parseCommandLine({"--", "-rel", "kelmor", "1.3", "out"}).options.releaseDir, "-rel");
    EXPECT_TRUE(parseCommandLine({"--help"}).help);
    EXPECT_NE(parseCommandLine({"rel", "kelmor", "1.3"}).error, "");
    EXPECT_NE(parseCommandLine({"rel", "kelmor", "1.3", "out", "--time", "2024-03-05"}).error, "");
    EXPECT_NE(parseCommandLine({"rel", "kelmor", "1.3", "out", "--time"}).error, "");
    EXPECT_NE(parseCommandLine({"rel", "kelmor", "1.3", "out", "--frobnicate"}).error, "");
    // The clients' code page: 936 unless named, and only one the rules know.
    EXPECT_EQ(line.options.codePage, 936u);
    EXPECT_EQ(parseCommandLine({"--code-page", "950", "rel", "kelmor", "1.3", "out"}).options.codePage, 950u);
    EXPECT_EQ(parseCommandLine({"--code-page=1252", "rel", "kelmor", "1.3", "out"}).options.codePage, 1252u);
    for (const char* bad : {"1251", "", "x", "99999999999", "-932"})
        EXPECT_NE(parseCommandLine({"--code-page", bad, "rel", "kelmor", "1.3", "out"}).error, "") << bad;
    EXPECT_NE(parseCommandLine({"rel", "kelmor", "1.3", "out", "--code-page"}).error, "");
}

}  // namespace
}  // namespace mkmanifest
