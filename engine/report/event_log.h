#pragma once
// Lines for support: what a check or a run did, and the real cause of each
// failure. Texts are in the ANSI code page like every other engine text; the
// sink adds the time and converts them. A sink that cannot write drops the
// line: the log never changes what an update does.
#include <string>
#include <string_view>
#include <vector>

namespace updater {

class EventLog {
public:
    virtual ~EventLog() = default;
    virtual void write(std::string_view line) = 0;
};

// For runs and tests that keep no log.
class NullEventLog final : public EventLog {
public:
    void write(std::string_view) override {}
};

// Every run's last line starts so, and says how the run ended: "end: wizard
// updated 3", "end: check current". The file sink writes nothing after it.
constexpr std::string_view kOutcomePrefix = "end: ";

// The line a run writes for an earlier run that ended without an outcome
// line (killed, or the power lost).
std::string missingOutcomeLine(unsigned long processId);

// The processes whose runs wrote lines into the log's tail but no outcome
// line after them, and that no later run has reported yet, in the order
// they first appear. Lines are "<date> <time> <offset> [<pid>] <text>";
// others are skipped, and the tail may begin inside a line.
std::vector<unsigned long> runsWithoutOutcome(std::string_view tail);

// "error 12029 (text)": a system error code and its text, for a log line.
std::string errorCodeText(unsigned long code, std::string_view text);

// The folder under the user's local application data that holds the log of a
// product whose updater cannot write its own folder: the product's name with
// each character Windows refuses in a name replaced by "_", trailing dots and
// blanks dropped (Windows drops them, and ".." would climb out), and "Update"
// when nothing is left.
std::wstring logFolderName(std::wstring_view productName);

}  // namespace updater
