// The support log: the lines that name why a check or a file failed, and the
// request layer's line for every request, whatever kind of failure it meets.
#include "engine/report/event_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/manifest/side_files.h"
#include "engine/release/release_paths.h"
#include "engine/release/release_recovery.h"
#include "engine/release/update_journal.h"
#include "engine/run/process_guard.h"
#include "engine/report/logged_http.h"
#include "engine/run/update_run.h"
#include "engine/run/version_check.h"
#include "tests/unit/fake_verifier.h"
#include "tests/unit/fakes.h"

namespace updater {
namespace {

using fakes::answer;
using fakes::EngineRig;

class RecordingLog final : public EventLog {
public:
    void write(std::string_view line) override { lines.emplace_back(line); }
    std::vector<std::string> lines;
};

class EventLogTest : public ::testing::Test {
protected:
    EventLogTest() { rig.services.log = &log; }
    void serve(const std::string& file, fakes::FakeResponse response) {
        rig.http.responses["/kelmor/" + file] = std::move(response);
    }
    // Every line logged holds the texts, each in its own line, in this order.
    void expectLines(const std::vector<std::string>& parts) {
        std::size_t next = 0;
        for (const std::string& line : log.lines)
            if (next < parts.size() && line.find(parts[next]) != std::string::npos) ++next;
        EXPECT_EQ(next, parts.size()) << "missing: " << (next < parts.size() ? parts[next] : "") << "\nin:\n"
                                      << ::testing::PrintToString(log.lines);
    }

    RecordingLog log;
    EngineRig rig;
    LoggedHttpSession logged{rig.session, log, rig.clock};
    HttpConnection& connection = [this]() -> HttpConnection& {
        logged.connect("update.example.com", 80, false);
        return logged.connection();
    }();
    UpdateContext context{
        .services = rig.services, .settings = rig.settings, .view = rig.view, .http = connection, .clock = &rig.clock};
};

struct FailedCheck {
    const char* name;
    fakes::FakeResponse response;
    std::vector<std::string> lines;
};

TEST_F(EventLogTest, AFailedCheckNamesItsCause) {
    fakes::FakeResponse slow = answer("[kelmor]\r\nVERSION=1.3\r\n");
    slow.msPerRead = 7;
    slow.bytesPerRead = 10;
    const std::vector<FailedCheck> rows = {
        {"404", answer("gone", "404", "Not Found"),
         {"no manifest taken: status 404", "GET http://update.example.com:80/kelmor/update.ini: 404 Not Found, 0 bytes",
          "check failed"}},
        {"refused connection", fakes::sendFailure("无法连接"),
         {"/kelmor/update.ini: not sent after 0 ms, error 12029 (无法连接)", "check failed"}},
        {"cut body", fakes::failingReadAt(answer(std::string(5000, 'x')), 2048),
         {"/kelmor/update.ini: read failed after 2048 bytes"}},
        {"short body", fakes::withLength(answer("[kelmor]"), "100"), {"no manifest taken: 8 of 100 bytes"}},
        {"chunked", [] { auto r = answer("[kelmor]"); r.transferEncoding = "chunked"; return r; }(),
         {"no manifest taken: chunked"}},
        {"login page", answer("\r\n <!DOCTYPE html><html><body>[Log in]</body></html>"),
         {"no manifest taken: not a manifest (an HTML page)", "check failed"}},
        {"plain text", answer("Please log in to continue.\r\n"), {"no manifest taken: not a manifest", "check failed"}},
        {"fine, for its time", slow, {"200 OK, 23 bytes, ", "check: published 1.3, installed 1.26"}},
    };
    for (const FailedCheck& row : rows) {
        SCOPED_TRACE(row.name);
        log.lines.clear();
        rig.settings.installedVersion = "1.26";
        serve("update.ini", row.response);
        try {
            runVersionCheck(context);
        } catch (const NetworkError&) {
            // A failed read goes on to the failure report, logged first.
        }
        expectLines(row.lines);
    }
}

struct FailedFile {
    const char* name;
    ManifestEntry entry;
    fakes::FakeResponse response;
    std::vector<std::string> lines;
};

TEST_F(EventLogTest, AFailedFileNamesItsCause) {
    const std::string body = "new a";
    const std::string hash = fakes::fakeDigestHex(body);
    fakes::FakeResponse coded = answer(body);
    coded.contentEncoding = "x-gzip";
    ManifestEntry withObject{"a.dll", "2024-03-05 14:30:00", "5", hash};
    withObject.object = "_objects/old";
    rig.http.responses["/kelmor/_objects/old"] = answer("old a");
    const std::vector<FailedFile> rows = {
        {"size", {"a.dll", "2024-03-05 14:30:00", "4", hash}, answer(body),
         {"file a.dll: a.dll refused: 5 bytes arrived, SIZE 4", "file a.dll: asking the server past any cache",
          "file a.dll: a.dll refused: 5 bytes arrived, SIZE 4"}},
        {"hash", {"a.dll", "2024-03-05 14:30:00", "5", fakes::fakeDigestHex("other")}, answer(body),
         {"a.dll refused: 5 bytes arrived, SHA-256 " + hash + " where SHA256 is " + fakes::fakeDigestHex("other")}},
        {"short", {"a.dll", "2024-03-05 14:30:00", {}, {}}, fakes::withLength(answer(body), "9"),
         {"a.dll refused: 5 bytes arrived, Content-Length 9"}},
        {"coded", {"a.dll", "2024-03-05 14:30:00", "5", {}}, coded,
         {"a.dll refused: Content-Encoding x-gzip, and no SIZE and SHA256 to prove its bytes"}},
        {"object, then 404", withObject, answer("", "404", "Not Found"),
         {"file a.dll: _objects/old refused: 5 bytes arrived, SHA-256 " + fakes::fakeDigestHex("old a"),
          "file a.dll: _objects/old did not give it; fetching the file", "file a.dll: a.dll refused: 404 Not Found"}},
        {"name", {"..\\a.dll", "2024-03-05 14:30:00", {}, {}}, answer(body),
         {"file ..\\a.dll: refused: name leaves the program directory"}},
        {"side file", {"Update.log", "2024-03-05 14:30:00", {}, {}}, answer(body),
         {"file Update.log: refused: name names a file the updater makes"}},
        {"malformed SIZE", {"a.dll", "2024-03-05 14:30:00", "five", {}}, answer(body),
         {"a.dll: refused: malformed SIZE or SHA256"}},
        {"404", {"a.dll", "2024-03-05 14:30:00", {}, {}}, answer("", "404", "Not Found"),
         {"GET http://update.example.com:80/kelmor/a.dll: 404 Not Found"}},
    };
    rig.dates.dates["2024-03-05 14:30:00"] = 45356.604166666664;
    for (const FailedFile& row : rows) {
        SCOPED_TRACE(row.name);
        log.lines.clear();
        serve(row.entry.file, row.response);
        EXPECT_EQ(updateEntry(context, row.entry), FileUpdateResult::Failed);
        expectLines(row.lines);
    }
}

// The lines a support desk looks for: the product ended, a user's edit kept,
// a download reused, a dropped file removed, and each recovery step.
TEST_F(EventLogTest, ARunAndARecoveryTellTheirStory) {
    const std::string prog = "C:\\Prog\\", time = "2024-03-05 14:30:00";
    rig.dates.dates[time] = 45356.604166666664;
    const auto file = [&](int n, const std::string& name, const std::string& content) {
        return "[FILE" + std::to_string(n) + "]\nFILE=" + name + "\nVERSION=" + time + "\nSIZE=" +
               std::to_string(content.size()) + "\nSHA256=" + fakes::fakeDigestHex(content) + "\n";
    };
    rig.files.put(prog + "a.dll", "edited here", 46000);
    const ReleaseLayout layout = ReleaseLayout::inWorkFolder(prog, rig.services.codePage);
    rig.files.directories.insert(layout.workFolder());
    rig.files.directories.insert(layout.workFolder() + "\\new");
    rig.files.put(layout.download(JournalStep::Replace, "b.dll"), "new b");
    rig.files.put(prog + "gone.dll", "gone v1", 45000);
    rig.processes.processes = {{77, "KELMOR.EXE"}};
    ProcessGuard guard(rig.processes, rig.services.codePage, rig.messages, rig.view, rig.clock, &log);
    context.consultGuard = [&] { return guard.consult("kelmor"); };
    RunTally tally;
    context.tally = &tally;
    runUpdate(context,
              "[kelmor]\nVERSION=1.3\nWHOLE=1\n" + file(0, "a.dll", "new a") + file(1, "b.dll", "new b") +
                  "[DROP0]\nFILE=gone.dll\nPREV0_SIZE=7\nPREV0_SHA256=" + fakes::fakeDigestHex("gone v1") + "\n",
              "1.3");
    expectLines({"product KELMOR.EXE [77] ended after the user's OK", "file a.dll: kept: changed locally",
                 "file b.dll: reused the download an earlier run left", "file b.dll: updated",
                 "file gone.dll: removed, dropped by the release"});
    EXPECT_EQ(tally.updated, 1);
    EXPECT_TRUE(tally.ended);
    for (const std::string& line : log.lines) EXPECT_EQ(line.find("a.dll: up to date"), std::string::npos);

    // File by file too, an edit is kept under its own name.
    log.lines.clear();
    EXPECT_EQ(updateEntry(context, {"a.dll", time, "5", fakes::fakeDigestHex("new a")}), FileUpdateResult::Kept);

    // Recovery of a commit cut short: an earlier version's journal back,
    // then forward by its commit record; this version's by the contents,
    // and nowhere when neither release is whole, each path in the way told.
    const auto content = [](const std::string& bytes) { return FileContent{bytes.size(), fakes::fakeDigest(bytes)}; };
    const JournalRecord named{JournalStep::Replace, "c.dll", content("old c"), content("new c")};
    const std::string backup = layout.backup("c.dll");
    const struct {
        int version;
        bool committed;
        const char* backupHolds;  // nothing: lost
        const char* fileHolds;
        std::vector<std::string> steps;
    } rows[] = {
        {1, false, "old c", "new c", {"back C:\\Prog\\c.dll: done"}},
        {1, true, "old c", "new c", {"forward " + backup + ": backup removed"}},
        {2, false, "old c", "new c", {"back C:\\Prog\\c.dll: done"}},
        {2, false, nullptr, "new c", {"forward C:\\Prog\\c.dll: done"}},
        {2, true, "old c", "new c", {"forward C:\\Prog\\c.dll: done", "forward " + backup + ": backup removed"}},
        {2, false, nullptr, "the user's",
         {"in the way C:\\Prog\\c.dll: its old content is neither there nor at " + backup + " (back)",
          "in the way C:\\Prog\\c.dll: holds what the release did not put there (forward)"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.version) + (row.committed ? " committed" : "") + (row.backupHolds ? "" : ", backup lost"));
        rig.files.directories.insert(layout.workFolder() + "\\old");
        rig.files.files.erase(backup);
        if (row.backupHolds) rig.files.put(backup, row.backupHolds);
        rig.files.put(prog + "c.dll", row.fileHolds);
        std::string journal = row.version == 2 ? journalHeaderText() : "";
        journal += journalRecordText(row.version == 2 ? named : JournalRecord{JournalStep::Replace, "c.dll"}, row.version);
        if (row.committed) journal += journalRecordText({JournalStep::Committed, ""}, row.version);
        rig.files.put(layout.journal(), journal);
        const RecoveryResult result =
            recoverRelease(rig.files, *rig.services.sha256, prog, "Update.exe", rig.services.codePage);
        EXPECT_EQ(result.steps, row.steps);
        rig.files.files.erase(layout.journal());
    }
}

// A run that wrote lines and no outcome line ended without one, until a
// later run has said so once. Lines of other shapes are no run's.
TEST_F(EventLogTest, TheTailNamesRunsThatEndedWithoutAnOutcome) {
    const auto line = [](unsigned long id, const std::string& text) {
        return "2026-12-07 23:10:05 +08:00 [" + std::to_string(id) + "] " + text + "\r\n";
    };
    const std::string killed = line(11, "Update.exe 1.0 wizard: strSoft=kelmor") + line(11, "GET /kelmor/a.dll");
    const std::string ended = line(12, "Update.exe 1.0 check") + line(12, "end: check current");
    const std::vector<std::pair<std::string, std::vector<unsigned long>>> rows = {
        {killed + ended, {11}},
        {"d.dll: updated\r\n" + killed, {11}},                    // begins inside a line
        {killed + line(13, missingOutcomeLine(11)) + line(13, "end: wizard current"), {}},
        {killed + line(13, missingOutcomeLine(11)), {13}},          // the reporter itself was killed
        {ended + line(12, "Update.exe 1.0 wizard"), {12}},          // the id again, for a new run
        {"2026-12-07 23:10:05 file a.dll: updated\r\n[14] x\r\n" + ended, {}},
        {"", {}},
    };
    for (const auto& [tail, open] : rows) EXPECT_EQ(runsWithoutOutcome(tail), open) << tail;
    EXPECT_EQ(missingOutcomeLine(1234), "previous run [1234] ended without an outcome");
}

TEST(LogFolderName, ReplacesWhatWindowsRefusesAndNeverClimbs) {
    const std::vector<std::pair<std::wstring, std::wstring>> rows = {
        {L"kelmor", L"kelmor"},     {L"星图", L"星图"},         {L"a\\b/c:d", L"a_b_c_d"},
        {L"*?\"<>|", L"______"},    {L"tab\there", L"tab_here"}, {L"", L"Update"},
        {L"..", L"Update"},         {L" atlas. ", L"atlas"},     {L"x\x7f", L"x_"}};
    for (const auto& [soft, folder] : rows) EXPECT_EQ(logFolderName(soft), folder);
}

}  // namespace
}  // namespace updater
