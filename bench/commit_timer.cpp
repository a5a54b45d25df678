// Times a whole release's commit with the program's own file system calls,
// under Wine: FILES old files and their checked downloads in the work folder,
// half of them in a subfolder that the release adds, then the commit that puts
// them all in place.
//   commit_timer DIR FILES
// Prints: files=... commit_ms=... per_file_ms=... (the commit's duration:
// journal records written through, two renames per file, the backups and
// the journal removed).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/release/release_commit.h"
#include "engine/release/release_paths.h"
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
    updater::win32::Win32FileSystem files;
    updater::CommitPlan plan;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, i % 2 ? "f%04d.dat" : "added/f%04d.dat", i);
        const std::string target = name;
        const bool added = i % 2 == 0;
        if (!added && !writeFile(directory + target, std::string(1000, 'o'))) return 1;
        const std::string download = updater::downloadPathFor(directory, target, updater::cp936());
        if (!updater::makeDownloadFolders(files, updater::ReleaseLayout::inWorkFolder(directory, updater::cp936()), target) ||
            !writeFile(download, std::string(1000, 'n')))
            return 1;
        plan.targets.push_back(target);
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const std::optional<updater::CommitFailure> failure = updater::commitRelease(files, directory, plan, updater::cp936());
    QueryPerformanceCounter(&end);
    if (failure) {
        std::fprintf(stderr, "commit failed at %s\n", failure->name.c_str());
        return 1;
    }
    const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    std::printf("files=%d commit_ms=%.1f per_file_ms=%.3f\n", count, ms, ms / count);
    return 0;
}
