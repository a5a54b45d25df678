// The updater's Win32 services where only the real system can tell, for the
// end-to-end tests:
//   win32_services_check                       checks the date parser's outcomes, whole-second
//       file times that compare equal with a parsed manifest time, sharing and replacing of
//       files, the code page, shown texts, the process snapshot, the log's bound and links, and
//       the walk below a program directory (the current one); prints one
//       line per failure, then
//       PASS or FAILED; exit code 0 when everything holds
//   win32_services_check verify PUBLIC_KEY MANIFEST   prints "signature valid|invalid|unsigned"
//   win32_services_check sha256 FILE                  prints "sha256 HEX", hashed in 2048-byte chunks
//   win32_services_check dates OUTPUT TEXT...         parses each text under the user locale Wine
//       was started with and writes one line per text to OUTPUT: "<lcid> <valid> <value>"
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "win32/cng_verifier.h"
#include "win32/file_event_log.h"
#include "win32/shown_text.h"
#include "win32/ole_date_parser.h"
#include "win32/toolhelp_process_system.h"
#include "win32/code_page.h"
#include "win32/file_system.h"
#include "engine/text/code_page.h"
#include "engine/text/hex_text.h"
#include "engine/manifest/manifest_signature.h"
#include "win32/cng_sha256.h"
#include "win32/unique_handle.h"

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
    const updater::win32::FileHandle file(
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return file && SetFileTime(file.get(), nullptr, nullptr, &utc) != FALSE;
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

// The portable tables against the system's own rules, character by
// character, under each code page they cover.
void checkCodePage() {
    const updater::CodePage* table = updater::knownCodePage(GetACP());
    if (!table) {
        std::printf("SKIP code page %u has no table\n", GetACP());
        return;
    }
    const updater::win32::MeasuredCodePage system;
    const auto hex = [](const std::string& bytes) { return updater::encodeHex(bytes); };
    const auto same = [&](const std::string& character) {
        expect(system.upperChar(character) == table->upperChar(character),
               "upper case of " + hex(character) + ": " + hex(system.upperChar(character)));
    };
    for (int byte = 0; byte < 256; ++byte) {
        const auto b = static_cast<unsigned char>(byte);
        expect(system.isLeadByte(b) == table->isLeadByte(b), "lead byte " + std::to_string(byte));
        expect(system.isTrailByte(b) == table->isTrailByte(b), "trail byte " + hex(std::string(1, static_cast<char>(b))));
        // 936 refuses the euro sign, 0x80, as it always has.
        if (GetACP() != 936 || byte != 0x80)
            expect(system.isHighSingleByte(b) == table->isHighSingleByte(b), "single byte " + std::to_string(byte));
        if (byte < 0x80 || table->isHighSingleByte(b)) same(std::string(1, static_cast<char>(b)));
        if (!table->isLeadByte(b)) continue;
        for (int trail = 0x40; trail < 256; ++trail)
            if (table->isTrailByte(static_cast<unsigned char>(trail))) same({static_cast<char>(b), static_cast<char>(trail)});
    }
}

// Texts for windows come back whole under any code page; under 936 the
// string table's characters are its plain bytes.
void checkShownText() {
    using updater::win32::shownFromWide;
    using updater::win32::wideFromShown;
    // 正在下载:a.dll 載, and Thai ก, which none of the code pages holds.
    const std::wstring text = L"\x6B63\x5728\x4E0B\x8F7D:a.dll \x8F09\x0E01";
    const std::string shown = shownFromWide(text);
    expect(wideFromShown(shown) == text, "a shown text reads back whole");
    expect(wideFromShown(shown.substr(0, shown.size() - 2)) == text.substr(0, text.size() - 1),
           "an escape cut short is dropped");
    expect(wideFromShown("a.dll") == L"a.dll", "ASCII stays");
    if (GetACP() == 936) {
        expect(shownFromWide(L"\x66F4\x65B0") == "\xB8\xFC\xD0\xC2", "936 holds the table's texts as bytes");
        expect(wideFromShown("\xB8\xFC") == L"\x66F4", "936 bytes read as the code page's");
    }
    if (GetACP() == 1252) expect(wideFromShown("caf\xE9") == L"caf\xE9", "1252 bytes read as the code page's");
}

void checkProcesses() {
    updater::win32::ToolhelpProcessSystem processes;
    const long self = processes.findFirst(
        [](const std::string& name) { return _stricmp(name.c_str(), "win32_services_check.exe") == 0; });
    expect(self == static_cast<long>(GetCurrentProcessId()), "the snapshot finds this process");
    expect(processes.findFirst([](const std::string&) { return false; }) == -1, "no match gives -1");
}

std::optional<std::string> readFile(const char* path) { return updater::win32::Win32FileSystem().readAll(path); }

int verify(const char* keyPath, const char* manifestPath) {
    const std::optional<std::string> key = readFile(keyPath);
    const std::optional<std::string> manifest = readFile(manifestPath);
    if (!key || !manifest) return 2;
    const std::optional<updater::SignedManifest> split = updater::splitSignedManifest(*manifest);
    if (!split) {
        std::printf("signature unsigned\n");
        return 0;
    }
    updater::win32::CngVerifier verifier(*key);
    std::printf("signature %s\n", verifier.verifySignature(split->signedBytes, split->signature) ? "valid" : "invalid");
    return 0;
}

// A full log keeps its newest half, from a whole line on, and stays under
// its bound; a folder at the log's path takes nothing and breaks nothing.
void checkEventLog(updater::win32::Win32FileSystem& files, const std::string& directory) {
    const std::string path = directory + "bound.log";
    files.remove(path);
    {
        updater::win32::FileEventLog log(std::wstring(path.begin(), path.end()));
        for (int i = 0; i < 20000; ++i) log.write("line " + std::to_string(i) + std::string(80, '.'));
    }
    const std::string text = files.readAll(path).value_or("");
    expect(text.size() <= updater::win32::kLogLimitBytes && text.size() >= updater::win32::kLogLimitBytes / 2 - 200,
           "the log stays between half its bound and its bound: " + std::to_string(text.size()));
    expect(text.find("line 19999.") != std::string::npos, "the newest line is kept");
    expect(text.find("line 0.") == std::string::npos, "the oldest line is gone");
    expect(text.compare(0, 2, "20") == 0 && text.compare(text.size() - 2, 2, "\r\n") == 0,
           "the log starts and ends with a whole line");
    expect(!files.lookUp(path + ".new"), "no trimmed copy is left");
    files.remove(path);

    const std::string folder = directory + "folder.log";
    CreateDirectoryA(folder.c_str(), nullptr);
    updater::win32::FileEventLog refused(std::wstring(folder.begin(), folder.end()));
    refused.write("nothing");
    expect(!refused.ready(), "a folder at the log's path is refused");
    RemoveDirectoryA(folder.c_str());

    // A log path that is a second name of another file writes nothing there.
    const std::string other = directory + "not-a-log.txt", hard = directory + "hard.log";
    files.appendDurably(other, "kept");
    expect(CreateHardLinkA(hard.c_str(), other.c_str(), nullptr), "a hard link is made");
    updater::win32::FileEventLog linked(std::wstring(hard.begin(), hard.end()));
    linked.write("nothing");
    expect(!linked.ready() && files.readAll(other) == std::optional<std::string>("kept"),
           "a hard-linked log is refused and writes nothing");
    files.remove(hard);
    files.remove(other);
}

// The harness plants "linked", a Unix link to its folder "elsewhere" holding
// x.txt, in the current directory: with it as the program directory no step
// passes the link, and the program directory itself may be the link.
void checkFolderWalk() {
    char current[MAX_PATH + 1] = {};
    const std::string root = std::string(current, GetCurrentDirectoryA(sizeof current, current)) + "\\";
    const std::string through = root + "linked\\x.txt", target = root + "elsewhere\\x.txt";
    if (GetFileAttributesA(through.c_str()) == INVALID_FILE_ATTRIBUTES) return;  // nothing planted
    updater::win32::Win32FileSystem files(root);
    const std::function<bool()> steps[] = {
        [&] { return files.readAll(through).has_value(); },
        [&] { return files.create(through, updater::ShareMode::Exclusive) != nullptr; },
        [&] { return files.createFresh(through, updater::ShareMode::Exclusive) != nullptr; },
        [&] { return files.appendDurably(through, "x"); },
        [&] { return files.remove(through); },
        [&] { return files.replace(target, through); },
        [&] { return files.makeDirectory(root + "linked\\sub"); }};
    for (const auto& step : steps)
        expect(!step() && files.lastErrorCode() == updater::win32::kReparsePointBelowProgramDirectory,
               "step " + std::to_string(&step - steps) + " through a link below the program directory is refused");
    expect(files.lookUp(through).value_or(updater::LocalEntry{}).directory, "a look through the link finds a folder");
    expect(files.readAll(target) == std::optional<std::string>("victim"), "the link's target keeps its bytes");
    expect(updater::win32::Win32FileSystem(root + "linked\\").readAll(through).has_value(),
           "the program directory itself may be a link");
}

int sha256(const char* path) {
    const std::optional<std::string> bytes = readFile(path);
    if (!bytes) return 2;
    updater::win32::CngSha256Source sha256;
    std::unique_ptr<updater::Sha256Hasher> hasher = sha256.startSha256();
    for (std::size_t at = 0; at < bytes->size(); at += 2048)
        hasher->update(bytes->data() + at, std::min<std::size_t>(2048, bytes->size() - at));
    const updater::Sha256Digest digest = hasher->finish();
    std::printf("sha256 %s\n", updater::encodeHex(digest.data(), digest.size()).c_str());
    return 0;
}

int parseDates(const char* outputPath, char** texts, int count) {
    FILE* out = std::fopen(outputPath, "w");
    if (!out) return 2;
    updater::win32::OleDateParser dates;
    for (int i = 0; i < count; ++i) {
        const updater::DateValue parsed = dates.parse(texts[i]);
        std::fprintf(out, "%04lx %d %.6f\n", static_cast<unsigned long>(GetUserDefaultLCID()), parsed.valid ? 1 : 0,
                     parsed.value);
    }
    std::fclose(out);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "verify" && argc == 4) return verify(argv[2], argv[3]);
    if (command == "sha256" && argc == 3) return sha256(argv[2]);
    if (command == "dates" && argc >= 4) return parseDates(argv[2], argv + 3, argc - 3);
    if (argc != 1) {
        std::fprintf(stderr, "usage: win32_services_check [verify KEY MANIFEST | sha256 FILE | dates OUTPUT TEXT...]\n");
        return 2;
    }
    char temp[MAX_PATH + 1] = {};
    const std::string directory(temp, GetTempPathA(sizeof temp, temp));
    updater::win32::Win32FileSystem files;
    checkDateParser();
    checkFileTimes(files, directory);
    checkFiles(files, directory);
    checkCodePage();
    checkShownText();
    checkProcesses();
    checkEventLog(files, directory);
    checkFolderWalk();
    std::printf("%s\n", failures == 0 ? "PASS" : "FAILED");
    return failures == 0 ? 0 : 1;
}
