#pragma once
// The engine's file system over the Win32 file API (ANSI paths).
#include <atomic>

#include "engine/platform/file_system.h"
#include "engine/report/event_log.h"
#include "win32/folder_walk.h"

namespace updater::win32 {

class Win32FileSystem : public FileSystem {
public:
    Win32FileSystem() = default;
    // Every step on a path below the program directory first walks and holds
    // the folders between (folder_walk.h). A path through a reparse point
    // fails with kReparsePointBelowProgramDirectory, and lookUp reports a
    // folder there, so that nothing is read, written or dropped through it.
    explicit Win32FileSystem(const std::string& programDirectory);
    // Where a refused path is told, with the reason; nullptr tells nobody.
    void reportRefusalsTo(EventLog* log) { refusals_ = log; }

    std::optional<LocalEntry> lookUp(const std::string& path) override;
    std::unique_ptr<OutputFile> create(const std::string& path, ShareMode share) override;
    std::unique_ptr<OutputFile> createOrThrow(const std::string& path, ShareMode share) override;
    std::unique_ptr<OutputFile> createFresh(const std::string& path, ShareMode share) override;
    std::unique_ptr<OutputFile> openForAppend(const std::string& path) override;
    std::optional<std::string> readAll(const std::string& path) override;
    bool readChunks(const std::string& path, const std::function<void(const char*, std::size_t)>& sink) override;
    std::unique_ptr<RandomAccessInput> openRandomAccess(const std::string& path) override;
    bool remove(const std::string& path) override;
    bool replace(const std::string& from, const std::string& to) override;
    bool makeDirectory(const std::string& path) override;
    bool removeDirectory(const std::string& path) override;
    bool makeHiddenDirectory(const std::string& path) override;
    std::optional<std::vector<std::pair<std::string, bool>>> listFolder(const std::string& path) override;
    std::optional<std::uint64_t> volumeOf(const std::string& path) override;
    bool appendDurably(const std::string& path, const std::string& bytes) override;
    bool createDurably(const std::string& path, const std::string& bytes) override;
    bool flushToDisk(const std::string& path) override;
    unsigned long lastErrorCode() const override;

private:
    std::unique_ptr<OutputFile> replaceWithFreshFile(const std::string& path, ShareMode share);
    // The folders of the path, held for one step; nothing, with the thread's
    // last error set, when the path is refused. checkLastName: the step opens
    // the file through its name, so a reparse point there is refused too.
    std::optional<HeldFolders> holdFolders(const std::string& path, bool checkLastName);
    bool writeDurably(const std::string& path, const std::string& bytes, DWORD access, DWORD disposition);

    std::wstring programDirectory_;  // empty: no walk
    std::atomic<EventLog*> refusals_{nullptr};
};

}  // namespace updater::win32
