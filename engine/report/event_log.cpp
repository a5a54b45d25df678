#include "engine/report/event_log.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace updater {

std::string errorCodeText(unsigned long code, std::string_view text) {
    std::string line = "error " + std::to_string(code);
    if (!text.empty()) line.append(" (").append(text).append(")");
    return line;
}

namespace {

constexpr std::string_view kMissingOutcome = "previous run [";
// "2026-12-07 23:10:05 +08:00 ": the width of the time before the process id.
constexpr std::size_t kTimeWidth = 27;

// The digits before "]" at the start of text, and what follows "] ".
std::optional<std::pair<unsigned long, std::string_view>> bracketedId(std::string_view text) {
    const std::size_t close = text.find(']');
    if (close == 0 || close > 10 || close == std::string_view::npos) return std::nullopt;
    unsigned long id = 0;
    for (const char c : text.substr(0, close)) {
        if (c < '0' || c > '9') return std::nullopt;
        id = id * 10 + static_cast<unsigned long>(c - '0');
    }
    text.remove_prefix(close + 1);
    if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    return std::pair{id, text};
}

}  // namespace

std::string missingOutcomeLine(unsigned long processId) {
    return std::string(kMissingOutcome) + std::to_string(processId) + "] ended without an outcome";
}

std::vector<unsigned long> runsWithoutOutcome(std::string_view tail) {
    std::vector<std::pair<unsigned long, bool>> runs;  // each process, and whether its run is open
    const auto mark = [&runs](unsigned long id, bool open) {
        const auto run = std::find_if(runs.begin(), runs.end(), [id](const auto& r) { return r.first == id; });
        if (run == runs.end()) runs.emplace_back(id, open);
        else run->second = open;
    };
    while (!tail.empty()) {
        const std::size_t end = tail.find('\n');
        const std::string_view line = tail.substr(0, end);
        tail.remove_prefix(end == std::string_view::npos ? tail.size() : end + 1);
        if (line.size() <= kTimeWidth || line[kTimeWidth] != '[') continue;
        const auto entry = bracketedId(line.substr(kTimeWidth + 1));
        if (!entry) continue;
        const std::string_view text = entry->second;
        if (text.substr(0, kOutcomePrefix.size()) == kOutcomePrefix) {
            mark(entry->first, false);
        } else if (text.substr(0, kMissingOutcome.size()) == kMissingOutcome) {
            // Reported once: the run that did so is open, the one it names is not.
            mark(entry->first, true);
            if (const auto named = bracketedId(text.substr(kMissingOutcome.size()))) mark(named->first, false);
        } else {
            // Any other line, a run's first included, opens its process's run.
            mark(entry->first, true);
        }
    }
    std::vector<unsigned long> open;
    for (const auto& [id, isOpen] : runs)
        if (isOpen) open.push_back(id);
    return open;
}

std::wstring logFolderName(std::wstring_view productName) {
    std::wstring name;
    for (wchar_t c : productName) {
        const bool control = c < 0x20 || c == 0x7f;
        name += control || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos ? L'_' : c;
    }
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
    while (!name.empty() && name.front() == L' ') name.erase(0, 1);
    return name.empty() ? L"Update" : name;
}

}  // namespace updater
