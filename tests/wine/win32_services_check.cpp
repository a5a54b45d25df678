// Checks the Win32 side of the engine's interfaces where only the real system
// can tell: the date parser's outcomes, whole-second file times that compare
// equal with a parsed manifest time, sharing and replacing of files, the code
// page and the process snapshot. Prints one line per failure; exit code 0
// when everything holds.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/ole_date_parser.h"
#include "app/system_places.h"
#include "app/toolhelp_process_system.h"
#include "app/win32_code_page.h"
#include "app/win32_file_system.h"
#include "engine/code_page.h"

namespace {

int failures = 0;

void expect(bool condition, const std::string& what) {
    if (!condition) {
        std::printf("FAIL %s\n", what.c_str());
        ++failures;
    }
}

// Sets the last-write time of path to a local time.
bool setLocalWriteTime(const std::string& path, WORD year, WORD month, WORD day, WORD hour, WORD minute,
                       WORD second, WORD milliseconds) {
    SYSTEMTIME local{year, month, 0, day, hour, minute, second, milliseconds};
    FILETIME localTime, utc;
    if (!SystemTimeToFileTime(&local, &localTime) || !LocalFileTimeToFileTime(&localTime, &utc)) return false;
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool set = SetFileTime(file, nullptr, nullptr, &utc) != FALSE;
    CloseHandle(file);
    return set;
}

void checkDateParser() {
    updater::win32::OleDateParser dates;
    const updater::DateValue parsed = dates.parse("2024-03-05 14:30:00");
    expect(parsed.valid && parsed.value > 45356.6041 && parsed.value < 45356.6042, "date text parses");
    const updater::DateValue slashes = dates.parse("2024/3/5 14:30:00");
    expect(slashes.valid && slashes.value == parsed.value, "both date forms give one value");
    const updater::DateValue rejected = dates.parse("garbage");
    expect(!rejected.valid && rejected.value == 0, "rejected text gives 0, invalid");
    const updater::DateValue empty = dates.parse("");
    expect(!empty.valid && empty.value == 0, "empty text gives 0, invalid");
}

void checkFileTimes(updater::win32::Win32FileSystem& files, const std::string& directory) {
    const std::string path = directory + "same-second.txt";
    auto file = files.create(path, updater::ShareMode::Exclusive);
    expect(file != nullptr, "file is created");
    if (!file) return;
    file->close();
    // Milliseconds on disk must not make the file newer than the manifest's second.
    expect(setLocalWriteTime(path, 2024, 3, 5, 14, 30, 0, 700), "file time is set");
    updater::win32::OleDateParser dates;
    const std::optional<updater::LocalEntry> local = files.lookUp(path);
    expect(local && !local->directory, "an existing file is found as a file");
    expect(local && local->lastWriteDate == dates.parse("2024-03-05 14:30:00").value, "same second compares equal");
    expect(local && local->lastWriteDate < dates.parse("2024-03-05 14:30:01").value, "next second is newer");
    expect(!files.lookUp(directory + "missing.txt").has_value(), "missing file has no time");
    const std::optional<updater::LocalEntry> folder = files.lookUp(directory.substr(0, directory.size() - 1));
    expect(folder && folder->directory, "a directory is found as one");
    files.remove(path);
}

void checkFiles(updater::win32::Win32FileSystem& files, const std::string& directory) {
    const std::string a = directory + "a.upg", b = directory + "b.txt";
    {
        auto out = files.create(a, updater::ShareMode::DenyWriters);
        expect(out != nullptr, "download file is created");
        if (!out) return;
        out->write("new", 3);
        expect(files.create(a, updater::ShareMode::DenyWriters) == nullptr, "a second writer is refused");
        expect(files.readAll(a).has_value(), "readers may share a file denied to writers");
        out->close();
    }
    expect(files.readAll(a) == std::optional<std::string>("new"), "written bytes are read back");
    {
        auto out = files.create(b, updater::ShareMode::Exclusive);
        if (out) out->write("old", 3);
    }
    expect(files.replace(a, b), "replace succeeds over an existing file");
    expect(files.readAll(b) == std::optional<std::string>("new"), "replace puts the new content in place");
    expect(!files.readAll(a).has_value(), "the moved file is gone");
    expect(files.remove(b) && !files.remove(b), "remove deletes once");
    try {
        files.createOrThrow(directory + "no-such-dir\\x.upg", updater::ShareMode::DenyWriters);
        expect(false, "create in a missing directory throws");
    } catch (const updater::FileError& error) {
        expect(error.kind() == updater::FileError::Kind::Create && error.code() == ERROR_PATH_NOT_FOUND,
               "create failure carries its system code");
    }
}

void checkCodePage() {
    if (GetACP() != 936) {
        std::printf("SKIP code page %u is not 936\n", GetACP());
        return;
    }
    const updater::win32::Win32CodePage system;
    const updater::Cp936 portable;
    for (int byte = 0; byte < 256; ++byte) {
        const auto b = static_cast<unsigned char>(byte);
        expect(system.isLeadByte(b) == portable.isLeadByte(b), "lead byte " + std::to_string(byte));
        expect(system.isTrailByte(b) == portable.isTrailByte(b), "trail byte " + std::to_string(byte));
    }
    expect(system.upperChar("a") == "A", "ASCII letters fold");
    expect(system.upperChar("\xA3\xE1") == "\xA3\xC1", "full-width letters fold");
    expect(system.upperChar("\xD6\xD0") == "\xD6\xD0", "other characters stay");
}

void checkProcesses() {
    updater::win32::ToolhelpProcessSystem processes;
    const long self = processes.findFirst(
        [](const std::string& name) { return _stricmp(name.c_str(), "win32_services_check.exe") == 0; });
    expect(self == static_cast<long>(GetCurrentProcessId()), "the snapshot finds this process");
    expect(processes.findFirst([](const std::string&) { return false; }) == -1, "no match gives -1");
}

}  // namespace

int main() {
    const std::string directory = updater::win32::readSystemPlaces().tempDirectory;
    updater::win32::Win32FileSystem files;
    checkDateParser();
    checkFileTimes(files, directory);
    checkFiles(files, directory);
    checkCodePage();
    checkProcesses();
    std::printf("%s\n", failures == 0 ? "PASS" : "FAILED");
    return failures == 0 ? 0 : 1;
}
