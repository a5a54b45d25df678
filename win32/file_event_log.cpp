#include "win32/file_event_log.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "win32/ansi_text.h"
#include "win32/file_replacement.h"

namespace updater::win32 {

namespace {

std::int64_t minutesOf(const SYSTEMTIME& time) {
    FILETIME file;
    SystemTimeToFileTime(&time, &file);
    ULARGE_INTEGER ticks;
    ticks.LowPart = file.dwLowDateTime;
    ticks.HighPart = file.dwHighDateTime;
    return static_cast<std::int64_t>(ticks.QuadPart / 600000000ULL);
}

// "2026-12-07 23:10:05 +08:00 [1234] ": the local time with its offset from
// UTC, to match a server's log, and the process, to tell the wizard's lines
// from a /check's written at the same time.
std::string linePrefix() {
    SYSTEMTIME utc, local;
    GetSystemTime(&utc);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
    const std::int64_t offset = minutesOf(local) - minutesOf(utc);
    const std::int64_t magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u %c%02u:%02u [%lu] ", local.wYear, local.wMonth,
                  local.wDay, local.wHour, local.wMinute, local.wSecond, offset < 0 ? '-' : '+',
                  static_cast<unsigned>(magnitude / 60), static_cast<unsigned>(magnitude % 60),
                  static_cast<unsigned long>(GetCurrentProcessId()));
    return text;
}

// Opens the path itself, never what it points to; nothing when the path is
// a reparse point, one of several names of a file (a hard link, which users
// may make to a file they cannot write, and FILE_FLAG_OPEN_REPARSE_POINT
// does not tell), or cannot be opened.
FileHandle openNoLink(const std::wstring& path, DWORD access, DWORD disposition) {
    FileHandle file(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        info.nNumberOfLinks > 1)
        return {};
    return file;
}

std::uint64_t fileSize(const FileHandle& file) {
    LARGE_INTEGER size;
    return GetFileSizeEx(file.get(), &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

bool writeAll(const FileHandle& file, std::string_view bytes) {
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// A process that cannot be opened is taken for gone: an id of another
// user's process is not one of this log's runs.
bool isRunning(unsigned long processId) {
    const ProcessHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// The last whole lines of the file, in at most limit bytes.
std::string readTail(const FileHandle& file, std::uint64_t limit) {
    const std::uint64_t size = fileSize(file);
    const std::uint64_t length = size < limit ? size : limit;
    LARGE_INTEGER start;
    start.QuadPart = static_cast<LONGLONG>(size - length);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    DWORD got = 0;
    if (bytes.empty() || !SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) ||
        !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
        return {};
    bytes.resize(got);
    if (start.QuadPart > 0) bytes.erase(0, bytes.find('\n') == std::string::npos ? bytes.size() : bytes.find('\n') + 1);
    return bytes;
}

}  // namespace

void FileEventLog::write(std::string_view line) {
    if (path_.empty()) return;
    try {
        const std::string entry = linePrefix() + ansiToUtf8(line) + "\r\n";
        const std::lock_guard<std::mutex> lock(mutex_);
        if (ended_) return;
        ended_ = line.substr(0, kOutcomePrefix.size()) == kOutcomePrefix;
        if (!file_ && !open()) return;
        if (size_ + entry.size() > limit_) {
            file_.reset();
            keepNewestHalf();
            // A log that could not be cut takes no more lines.
            if (!open() || size_ + entry.size() > limit_) return;
        }
        if (writeAll(file_, entry)) size_ += entry.size();
    } catch (...) {
        // Out of memory for a log line: the line is lost, nothing else.
    }
}

std::vector<unsigned long> FileEventLog::runsEndedWithoutOutcome() {
    if (path_.empty()) return {};
    std::string tail;
    {
        const FileHandle log = openNoLink(path_, GENERIC_READ, OPEN_EXISTING);
        if (!log) return {};
        tail = readTail(log, kTailBytes);
    }
    std::vector<unsigned long> ended;
    // This process's id in the log is an earlier run's that had it before.
    for (const unsigned long id : runsWithoutOutcome(tail))
        if (id == GetCurrentProcessId() || !isRunning(id)) ended.push_back(id);
    return ended;
}

bool FileEventLog::ready() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return !path_.empty() && (file_ || open());
}

bool FileEventLog::open() {
    if (refused_) return false;
    file_ = openNoLink(path_, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS);
    // A link, a hard-linked file or a folder at the path stays refused; a
    // locked file may open later.
    if (!file_) {
        refused_ = GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES;
        return false;
    }
    size_ = fileSize(file_);
    return true;
}

// The newest half, from its first whole line, goes to a file of its own that
// then takes the log's place, so a log cut short by a crash is still whole.
void FileEventLog::keepNewestHalf() {
    std::string kept;
    {
        const FileHandle log = openNoLink(path_, GENERIC_READ, OPEN_EXISTING);
        if (!log) return;
        const std::uint64_t size = fileSize(log);
        const std::uint64_t keep = limit_ / 2;
        if (size > keep) {
            LARGE_INTEGER start;
            start.QuadPart = static_cast<LONGLONG>(size - keep);
            SetFilePointerEx(log.get(), start, nullptr, FILE_BEGIN);
        }
        std::vector<char> buffer(static_cast<std::size_t>(size < keep ? size : keep));
        DWORD got = 0;
        if (!buffer.empty() && !ReadFile(log.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return;
        kept.assign(buffer.data(), got);
        const std::size_t firstLine = kept.find('\n');
        kept.erase(0, firstLine == std::string::npos ? kept.size() : firstLine + 1);
    }
    replaceFileContent(path_, kept);
}

}  // namespace updater::win32
