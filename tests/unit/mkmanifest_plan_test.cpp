#include <gtest/gtest.h>

#include <cstdio>

#include "engine/text/byte_limits.h"
#include "engine/text/ini_file.h"
#include "tools/mkmanifest/form_packer.h"
#include "tools/mkmanifest/manifest_text.h"
#include "tools/mkmanifest/previous_manifest.h"
#include "tools/mkmanifest/publish_plan.h"
#include "tools/mkmanifest/timestamp.h"

namespace mkmanifest {
namespace {

const std::string kThen = "2024-03-05 14:30:00";
const std::string kNow = "2024-04-01 09:00:00";

std::string get(const updater::IniFile& manifest, const std::string& section, const std::string& key) {
    return manifest.get(section, key, "<missing>", updater::kFileValueBufferBytes);
}

PreviousManifest publishedBefore(const std::vector<ReleaseFile>& files, const std::string& version = "1.26") {
    return readPreviousManifest(manifestText(makePlan("kelmor", version, files, {}, kThen)), "kelmor");
}

// Content n: n bytes with a digest made of n.
std::string sha(int n) {
    char text[65];
    std::snprintf(text, sizeof text, "%064x", n);
    return text;
}
ReleaseFile file(const std::string& name, int n) { return {name, static_cast<std::uint64_t>(n), sha(n)}; }
// A patch or copy of the largest size with that digest.
updater::ExpectedContent listed(const std::string& sha256) {
    return *updater::readExpectedContent("9999999999", sha256);
}

// The sizes of a history, each checked against its digest.
std::string sizes(const std::vector<PublishedContent>& history) {
    std::string text;
    for (const PublishedContent& content : history) {
        EXPECT_EQ(content.sha256, sha(std::stoi(content.size)));
        text += (text.empty() ? "" : " ") + content.size;
    }
    return text;
}

// The next publication, reading the last one back as the tool does.
PublishPlan republish(const PublishPlan& last, const std::vector<ReleaseFile>& files) {
    return makePlan("kelmor", "1.3", files, readPreviousManifest(manifestText(last), "kelmor"), kNow);
}

TEST(MkmanifestPlan, NumbersFilesFromZeroInByteOrderAndReadsBackThroughTheUpdatersReader) {
    // Bytes compare unsigned: a double-byte name sorts after every ASCII name.
    std::vector<ReleaseFile> files = {{"\xB8\xFC\xD0\xC2.txt", 3, "c3"}, {"sub/deep/b.bin", 2, "b2"},
                                      {"B.dll", 1, "b1"}, {"a.txt", 5, "a5"}, {"sub.txt", 4, "d4"}};
    PublishPlan plan = makePlan("kelmor", "1.3", files, {}, kNow);
    auto manifest = updater::IniFile::parse(manifestText(plan), updater::cp936());

    EXPECT_EQ(manifest.get("KELMOR", "version", "1.0", 128), "1.3");
    const char* expected[] = {"B.dll", "a.txt", "sub.txt", "sub/deep/b.bin", "\xB8\xFC\xD0\xC2.txt"};
    for (int i = 0; i < 5; ++i) {
        std::string section = "FILE" + std::to_string(i);
        EXPECT_EQ(get(manifest, section, "FILE"), expected[i]) << section;
        EXPECT_EQ(get(manifest, section, "VERSION"), kNow);
    }
    EXPECT_EQ(get(manifest, "FILE3", "SIZE"), "2");
    EXPECT_EQ(get(manifest, "FILE3", "SHA256"), "b2");
    EXPECT_EQ(get(manifest, "FILE5", "FILE"), "<missing>");
}

TEST(MkmanifestPlan, UnchangedFilesKeepTheirTimestampAndOthersGetThePublicationTime) {
    PreviousManifest previous = publishedBefore({{"same.dll", 10, "aa"}, {"grown.dll", 10, "bb"},
                                                 {"edited.dll", 10, "cc"}, {"gone.dll", 1, "dd"},
                                                 {"old.txt", 1, "ee"}});
    PublishPlan plan = makePlan("kelmor", "1.3",
                                {{"same.dll", 10, "aa"}, {"grown.dll", 11, "bb"}, {"edited.dll", 10, "c0"},
                                 {"fresh.dll", 1, "ff"}},
                                previous, kNow);

    ASSERT_EQ(plan.files.size(), 4u);
    auto find = [&](const std::string& name) {
        for (const PlannedFile& file : plan.files)
            if (file.name == name) return file;
        ADD_FAILURE() << name;
        return PlannedFile{};
    };
    EXPECT_EQ(find("same.dll").change, FileChange::Unchanged);
    EXPECT_EQ(find("same.dll").timestamp, kThen);
    EXPECT_EQ(find("grown.dll").change, FileChange::Changed);
    EXPECT_EQ(find("grown.dll").timestamp, kNow);
    EXPECT_EQ(find("edited.dll").change, FileChange::Changed);
    EXPECT_EQ(find("edited.dll").timestamp, kNow);
    EXPECT_EQ(find("fresh.dll").change, FileChange::New);
    EXPECT_EQ(find("fresh.dll").timestamp, kNow);
    EXPECT_EQ(plan.removed, (std::vector<std::string>{"gone.dll", "old.txt"}));
    EXPECT_EQ(plan.previousVersion, "1.26");
}

TEST(MkmanifestPlan, AnEntryWithoutDigestOrTimestampCountsAsChanged) {
    std::string handWritten =
        "[kelmor]\r\nVERSION=1.2\r\n[FILE0]\r\nFILE=a.dll\r\nVERSION=2024-01-01 00:00:00\r\nSIZE=1\r\n"
        "[FILE1]\r\nFILE=b.dll\r\nSIZE=1\r\nSHA256=BB\r\n"
        "[FILE2]\r\nFILE=c.dll\r\nVERSION=2024/1/1\r\nSIZE=1\r\nSHA256=CC\r\n";
    PreviousManifest previous = readPreviousManifest(handWritten, "kelmor");
    PublishPlan plan = makePlan("kelmor", "1.3", {{"a.dll", 1, "aa"}, {"b.dll", 1, "bb"}, {"c.dll", 1, "cc"}},
                                previous, kNow);
    EXPECT_EQ(plan.files[0].change, FileChange::Changed);
    EXPECT_EQ(plan.files[1].change, FileChange::Changed);
    // Upper-case hex still matches; a timestamp in another form is kept as written.
    EXPECT_EQ(plan.files[2].change, FileChange::Unchanged);
    EXPECT_EQ(plan.files[2].timestamp, "2024/1/1");
}

TEST(MkmanifestPlan, PreviousManifestEndsWhereTheUpdatersWalkEnds) {
    PreviousManifest previous = readPreviousManifest(
        "[FILE0]\nFILE=a\n[FILE2]\nFILE=c\n[Other]\nVERSION=9\n", "kelmor");
    EXPECT_EQ(previous.fileOrder, (std::vector<std::string>{"a"}));
    EXPECT_FALSE(previous.productVersion.has_value());
    EXPECT_EQ(readPreviousManifest("[kelmor]\nVERSION=\n", "kelmor").productVersion, "");
}

TEST(MkmanifestPlan, HistoryHoldsTheLastEightEarlierContentsWithoutTheCurrentOneOrRepeats) {
    PublishPlan plan = makePlan("kelmor", "1.3", {file("a.dll", 1), file("b.dll", 50)}, {}, kThen);
    const std::pair<int, const char*> steps[] = {{2, "1"}, {3, "2 1"}, {2, "3 1"}, {2, "3 1"}};
    for (const auto& [content, expected] : steps) {
        plan = republish(plan, {file("a.dll", content), file("b.dll", 50)});
        EXPECT_EQ(sizes(plan.files[0].history), expected) << content;
        EXPECT_EQ(sizes(plan.files[1].history), "");
    }
    for (int content = 4; content <= 13; ++content) plan = republish(plan, {file("a.dll", content)});
    EXPECT_EQ(sizes(plan.files[0].history), "12 11 10 9 8 7 6 5");
    EXPECT_TRUE(plan.wholeRelease);
}

TEST(MkmanifestPlan, ADroppedFileStaysListedForEightPublicationsAndComesBackAsAFile) {
    PublishPlan plan = makePlan("kelmor", "1.3", {file("a.dll", 1), file("gone.dll", 6)}, {}, kThen);
    plan = republish(plan, {file("a.dll", 1), file("gone.dll", 7)});
    const PublishPlan dropping = republish(plan, {file("a.dll", 1)});
    EXPECT_EQ(dropping.removed, std::vector<std::string>{"gone.dll"});
    plan = dropping;
    for (int age = 1; age <= kDropWindow; ++age) {
        ASSERT_EQ(plan.dropped.size(), 1u) << age;
        EXPECT_EQ(plan.dropped[0].name + " " + std::to_string(plan.dropped[0].age), "gone.dll " + std::to_string(age));
        EXPECT_EQ(sizes(plan.dropped[0].history), "7 6");
        plan = republish(plan, {file("a.dll", 1)});
    }
    EXPECT_TRUE(plan.dropped.empty());
    EXPECT_TRUE(plan.removed.empty());

    const PublishPlan gap = republish(dropping, {file("a.dll", 1)});
    const PublishPlan back = republish(gap, {file("a.dll", 1), file("gone.dll", 6)});
    EXPECT_TRUE(back.dropped.empty());
    EXPECT_EQ(back.files[1].change, FileChange::New);
    EXPECT_EQ(sizes(back.files[1].history), "7");
}

// Only well-formed pairs carry forward, in the tool's own form; a drop
// without a content to recognise, or naming a current file in another letter
// case, is left out.
TEST(MkmanifestPlan, AHandWrittenHistoryCarriesForwardOnlyWhatAClientCouldMatch) {
    std::string upper = sha(3);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string handWritten =
        "[kelmor]\nVERSION=1.2\n[FILE0]\nFILE=a.dll\nVERSION=" + kThen + "\nSIZE=01\nSHA256=" + sha(1) +
        "\nPREV0_SIZE=x\nPREV0_SHA256=" + sha(2) + "\nPREV1_SIZE=3\nPREV1_SHA256=" + upper +
        "\nPREV2_SIZE=4\nPREV2_SHA256=4\n"
        "[DROP0]\nFILE=old.dll\nAGE=7\nPREV0_SIZE=5\nPREV0_SHA256=" + sha(5) +
        "\n[DROP1]\nFILE=x.dll\nAGE=banana\nPREV0_SIZE=5\nPREV0_SHA256=" + sha(5) +
        "\n[DROP2]\nFILE=A.DLL\nAGE=1\nPREV0_SIZE=5\nPREV0_SHA256=" + sha(5) +
        "\n[DROP3]\nFILE=empty.dll\nAGE=1\nPREV0_SIZE=5\n";
    const PublishPlan plan =
        makePlan("kelmor", "1.3", {file("a.dll", 2)}, readPreviousManifest(handWritten, "kelmor"), kNow);
    EXPECT_EQ(sizes(plan.files[0].history), "1 3");
    ASSERT_EQ(plan.dropped.size(), 1u);
    EXPECT_EQ(plan.dropped[0].name + " " + std::to_string(plan.dropped[0].age), "old.dll 8");
}

// The worst case the format allows per file: the longest name, full history.
// What an installer laid down, never published with the tool, joins the
// history after what the history holds, so clients recognise it as the vendor's.
TEST(MkmanifestPlan, ASeededReleaseJoinsTheHistoryOfFilesOfTheSameName) {
    PublishPlan plan = republish(makePlan("kelmor", "1.2", {file("a.dll", 2)}, {}, kThen),
                                 {file("a.dll", 3), file("b.dll", 5), file("c.dll", 7)});
    seedHistory(plan, {file("a.dll", 1), file("b.dll", 4), file("c.dll", 7), file("gone.dll", 9)});
    EXPECT_EQ(sizes(plan.files[0].history), "2 1");
    EXPECT_EQ(sizes(plan.files[1].history), "4");
    EXPECT_EQ(sizes(plan.files[2].history), "") << "a file's own content is never its history";
    seedHistory(plan, {file("a.dll", 1)});
    EXPECT_EQ(sizes(plan.files[0].history), "2 1") << "no repeats";
}

TEST(MkmanifestPlan, TenThousandFilesWithFullHistoryStayUnderTheUpdatersCap) {
    PublishPlan plan;
    plan.product = "kelmor";
    plan.version = "1.3";
    for (int i = 0; i < 10000; ++i) {
        std::string name = "data/" + std::to_string(i) + "/";
        PlannedFile planned{{name + std::string(259 - name.size(), 'f'), 9999999999, sha(i)}, kNow};
        for (int n = 0; n < 8; ++n) planned.history.push_back({"9999999999", sha(n)});
        plan.files.push_back(std::move(planned));
    }
    EXPECT_LT(manifestText(plan).size(), updater::kManifestLimitBytes);

    // Every file patched from 3 bases, copied and published as an object.
    // The patches give way, oldest first; the copies, the objects and the
    // whole history fit.
    for (PlannedFile& file : plan.files) {
        for (int n = 0; n < 3; ++n)
            file.patches.push_back({{}, objectName(sha(n + 10)), listed(sha(n + 10))});
        file.copy = CompressedCopy{objectName(sha(20)), listed(sha(20))};
        file.object = objectName(file.sha256);
    }
    EXPECT_GT(manifestText(plan).size(), updater::kManifestLimitBytes);
    const std::string fitted = renderWithin(plan, updater::kManifestLimitBytes, manifestText);
    EXPECT_LT(fitted.size(), updater::kManifestLimitBytes);
    EXPECT_EQ(plan.files[0].history.size(), 8u);
    EXPECT_TRUE(plan.files[0].patches.empty());
    EXPECT_TRUE(plan.files[9999].copy);
    EXPECT_EQ(plan.files[9999].object, objectName(sha(9999)));
}

TEST(MkmanifestPlan, VersionMustReadAsAGreaterNumber) {
    PreviousManifest previous = publishedBefore({}, "1.9");
    EXPECT_EQ(versionOrderProblem("2", previous), "");
    EXPECT_EQ(versionOrderProblem("1.91", previous), "");
    EXPECT_NE(versionOrderProblem("1.9", previous), "");
    EXPECT_NE(versionOrderProblem("1.90", previous), "");
    EXPECT_NE(versionOrderProblem("1.10", previous), "");  // reads as 1.1
    EXPECT_EQ(versionOrderProblem("0.1", PreviousManifest{}), "");
}

TEST(MkmanifestPlan, AChangedFileNeedsATimeAfterThePreviousPublication) {
    PreviousManifest previous = publishedBefore({{"a.dll", 1, "aa"}, {"b.dll", 1, "bb"}});
    LocalTime same = *parseTimestamp(kThen);
    LocalTime later = *parseTimestamp("2024-03-05 14:30:01");

    PublishPlan changed = makePlan("kelmor", "1.3", {{"a.dll", 1, "a0"}}, previous, kThen);
    EXPECT_NE(publicationTimeProblem(changed, same, previous), "");
    EXPECT_EQ(publicationTimeProblem(changed, later, previous), "");
    // Without a changed file no client could miss one.
    PublishPlan onlyNew = makePlan("kelmor", "1.3", {{"a.dll", 1, "aa"}, {"c.dll", 1, "cc"}}, previous, kThen);
    EXPECT_EQ(publicationTimeProblem(onlyNew, same, previous), "");
}

TEST(MkmanifestTimestamp, AcceptsOnlyTheIsoFormWithARealDate) {
    EXPECT_EQ(formatTimestamp(*parseTimestamp("2024-02-29 23:59:59")), "2024-02-29 23:59:59");
    EXPECT_EQ(formatTimestamp({2024, 3, 5, 4, 3, 2}), "2024-03-05 04:03:02");
    for (const char* bad : {"2023-02-29 00:00:00", "2024-04-31 00:00:00", "2024-13-01 00:00:00",
                            "2024-01-01 24:00:00", "2024-01-01 00:60:00", "2024/01/01 00:00:00",
                            "2024-1-1 00:00:00", "2024-01-01T00:00:00", "2024-01-01 00:00:00 ", "1899-12-30 00:00:00",
                            "2024-01-0a 00:00:00"})
        EXPECT_FALSE(parseTimestamp(bad).has_value()) << bad;
    EXPECT_TRUE(*parseTimestamp("2024-03-05 14:30:00") < *parseTimestamp("2024-03-05 14:30:01"));
}

}  // namespace
}  // namespace mkmanifest
