// Times a whole release's commit with the program's own file system calls,
// under Wine: FILES old files and their checked downloads in the work folder,
// half of them in a subfolder that the release adds, then the commit that puts
// them all in place.
//   commit_timer DIR FILES [FOLDERS [unwalked]]
// With FOLDERS, the files are spread over that many folders that exist, and
// each one replaces an old file. unwalked: without the walk that holds the
// folders of each step below DIR, to tell what the walk costs.
// Prints: files=... look_ms=... commit_ms=... per_file_ms=... (look: each
// old file looked up and read, as a release's download stage does; the
// commit: journal records written through, two renames per file, the
// backups and the journal removed).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/release/release_commit.h"
#include "engine/release/release_paths.h"
#include "win32/cng_sha256.h"
#include "win32/file_system.h"

namespace {

bool writeFile(const std::string& path, const std::string& bytes) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: commit_timer DIR FILES\n");
        return 2;
    }
    const std::string directory = std::string(argv[1]) + "\\";
    const int count = std::atoi(argv[2]);
    const int folders = argc > 3 ? std::atoi(argv[3]) : 0;
    const bool walked = !(argc > 4 && std::string(argv[4]) == "unwalked");
    updater::win32::Win32FileSystem files = walked ? updater::win32::Win32FileSystem(directory)
                                                   : updater::win32::Win32FileSystem();
    for (int folder = 0; folder < folders; ++folder)
        CreateDirectoryA((directory + "d" + std::to_string(folder)).c_str(), nullptr);
    updater::CommitPlan plan;
    for (int i = 0; i < count; ++i) {
        char name[32];
        if (folders > 0)
            std::snprintf(name, sizeof name, "d%d\\f%04d.dat", i % folders, i);
        else
            std::snprintf(name, sizeof name, i % 2 ? "f%04d.dat" : "added/f%04d.dat", i);
        const std::string target = name;
        const bool added = folders == 0 && i % 2 == 0;
        if (!added && !writeFile(directory + target, std::string(1000, 'o'))) return 1;
        const std::string download = updater::downloadPathFor(directory, target, updater::cp936());
        if (!updater::makeDownloadFolders(files, updater::ReleaseLayout::inWorkFolder(directory, updater::cp936()), target) ||
            !writeFile(download, std::string(1000, 'n')))
            return 1;
        plan.targets.push_back(target);
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    const auto msSince = [&](const LARGE_INTEGER& from) {
        QueryPerformanceCounter(&end);
        return 1000.0 * static_cast<double>(end.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
    };
    QueryPerformanceCounter(&start);
    std::size_t read = 0;
    for (const std::string& target : plan.targets)
        if (files.lookUp(directory + target))
            files.readChunks(directory + target, [&](const char*, std::size_t size) { read += size; });
    const double lookMs = msSince(start);
    updater::win32::CngSha256Source hashes;
    QueryPerformanceCounter(&start);
    const std::optional<updater::CommitFailure> failure = updater::commitRelease(files, hashes, directory, plan, updater::cp936());
    const double ms = msSince(start);
    if (failure) {
        std::fprintf(stderr, "commit failed at %s\n", failure->name.c_str());
        return 1;
    }
    std::printf("files=%d look_ms=%.1f commit_ms=%.1f per_file_ms=%.3f\n", count, lookMs, ms, ms / count);
    return 0;
}
