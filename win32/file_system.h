#pragma once
// The engine's file system over the Win32 file API (ANSI paths).
#include "engine/platform/file_system.h"

namespace updater::win32 {

class Win32FileSystem : public FileSystem {
public:
    std::optional<LocalEntry> lookUp(const std::string& path) override;
    std::unique_ptr<OutputFile> create(const std::string& path, ShareMode share) override;
    std::unique_ptr<OutputFile> createOrThrow(const std::string& path, ShareMode share) override;
    std::unique_ptr<OutputFile> createFresh(const std::string& path, ShareMode share) override;
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
    bool flushToDisk(const std::string& path) override;
    unsigned long lastErrorCode() const override;

private:
    std::unique_ptr<OutputFile> replaceWithFreshFile(const std::string& path, ShareMode share);
};

}  // namespace updater::win32
