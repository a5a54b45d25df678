#pragma once
// The log file: UTF-8 lines, each after its local time, appended and kept
// under a bound. It never writes through a link: a log path that is a
// reparse point (a symbolic link, a junction) or a file with more than one
// name (a hard link) is refused, and the log is then kept nowhere. Under Wine 8 a Unix symbolic link is no reparse point
// to the program: it is followed like on any Unix program, so the refusal is
// for Windows only. A line that cannot be written is dropped, and so is
// every line after the run's outcome line (a worker left running writes on
// while the process ends).
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/report/event_log.h"
#include "win32/unique_handle.h"

namespace updater::win32 {

// The log never grows past this; when a line would pass it, only the newest
// half of the log is kept.
constexpr std::uint64_t kLogLimitBytes = 1024 * 1024;

class FileEventLog final : public EventLog {
public:
    // An empty path keeps no log.
    explicit FileEventLog(std::wstring path, std::uint64_t limitBytes = kLogLimitBytes)
        : path_(std::move(path)), limit_(limitBytes) {}
    void write(std::string_view line) override;
    // Opens the file now; false when it cannot be written there.
    bool ready();
    // The earlier runs in the log's last kTailBytes that ended without an
    // outcome line and whose process is gone: one still running (a /check
    // beside a wizard) has not ended. Read before this run writes a line.
    std::vector<unsigned long> runsEndedWithoutOutcome();

    static constexpr std::uint64_t kTailBytes = 64 * 1024;

private:
    bool open();
    void keepNewestHalf();

    std::wstring path_;
    std::uint64_t limit_;
    std::mutex mutex_;  // the wizard's thread and its worker both write
    FileHandle file_;
    std::uint64_t size_ = 0;
    bool refused_ = false;
    bool ended_ = false;  // the outcome line is written
};

}  // namespace updater::win32
