#pragma once
// The engine's view of the file system. Paths are ANSI byte strings.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/platform/random_access_input.h"

namespace updater {

// A failure to write or close a file, carrying the path and the system code.
class FileError : public std::runtime_error {
public:
    enum class Kind { Write, Close, Create, Read };
    FileError(Kind kind, std::string path, unsigned long code)
        : std::runtime_error("file error: " + path), kind_(kind), path_(std::move(path)), code_(code) {}
    Kind kind() const { return kind_; }
    const std::string& path() const { return path_; }
    unsigned long code() const { return code_; }

private:
    Kind kind_;
    std::string path_;
    unsigned long code_;
};

// A file open for writing. Destroying it without close() closes it quietly.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual void write(const char* data, std::size_t size) = 0;  // throws FileError(Write)
    virtual void close() = 0;                                    // throws FileError(Close)
};

struct LocalEntry {
    bool directory = false;
    // Last-write time converted to local time, whole seconds, as an OLE date.
    double lastWriteDate = 0;
    std::uint64_t size = 0;  // bytes; 0 for a directory
    // Something no step may pass stands in the path (a link below the
    // program directory, a folder that cannot be opened); counts as a folder
    // too, so every step that would need a file there stops.
    bool blocked = false;
};

enum class ShareMode {
    Exclusive,       // no sharing with other openers
    DenyWriters,     // others may read, nobody else may write
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // What stands at the path; nothing when it does not exist.
    virtual std::optional<LocalEntry> lookUp(const std::string& path) = 0;
    // Creates or replaces the file for binary writing; nullptr when it cannot be created.
    virtual std::unique_ptr<OutputFile> create(const std::string& path, ShareMode share) = 0;
    // As create, but a file that cannot be created throws FileError(Create).
    // Implementations should override it to carry the system code of the failure.
    virtual std::unique_ptr<OutputFile> createOrThrow(const std::string& path, ShareMode share) {
        std::unique_ptr<OutputFile> file = create(path, share);
        if (!file) throw FileError(FileError::Kind::Create, path, 0);
        return file;
    }
    // Creates the file anew for binary writing. Whatever stood at the path (a
    // stale or read-only file, a link) is replaced, never opened, so nothing
    // is ever written through it. nullptr when the file cannot be created.
    virtual std::unique_ptr<OutputFile> createFresh(const std::string& path, ShareMode share) = 0;
    // The existing file open for writing at its end, as a cut download is
    // continued; nullptr when it cannot be opened (or the platform cannot).
    virtual std::unique_ptr<OutputFile> openForAppend(const std::string& path) {
        (void)path;
        return nullptr;
    }
    // The whole content; nothing when the file cannot be read.
    virtual std::optional<std::string> readAll(const std::string& path) = 0;
    // The content in chunks, however large the file; false when it cannot be
    // read to its end.
    virtual bool readChunks(const std::string& path, const std::function<void(const char*, std::size_t)>& sink) = 0;
    // The file open for reading at any offset, shared with other readers and
    // writers as readChunks is; nullptr when it cannot be opened.
    virtual std::unique_ptr<RandomAccessInput> openRandomAccess(const std::string& path) = 0;
    virtual bool remove(const std::string& path) = 0;
    // Moves from onto to in one step, replacing an existing target, written through.
    virtual bool replace(const std::string& from, const std::string& to) = 0;

    // What a whole release's commit needs besides. A step "on disk" has
    // reached the disk itself, not only the system's cache, when the call
    // returns true.
    // Creates one folder; false when it cannot (its parent missing included).
    virtual bool makeDirectory(const std::string& path) = 0;
    // Removes an empty folder; false when it is missing or not empty.
    virtual bool removeDirectory(const std::string& path) = 0;
    // Creates one folder that a listing of its parent does not show.
    virtual bool makeHiddenDirectory(const std::string& path) { return makeDirectory(path); }
    // The names of what stands in a folder, each with whether it is a folder
    // (a link to one counts as none); nothing when the folder cannot be read.
    virtual std::optional<std::vector<std::pair<std::string, bool>>> listFolder(const std::string& path) = 0;
    // Which volume holds the folder, as one number per volume; nothing when it
    // cannot be told. A rename works only within one volume.
    virtual std::optional<std::uint64_t> volumeOf(const std::string& path) = 0;
    // Appends bytes to the file, creating it if needed, and returns once they
    // are on disk.
    virtual bool appendDurably(const std::string& path, const std::string& bytes) = 0;
    // Creates the file with the bytes and returns once they are on disk;
    // false when anything stands at the path already, so that a second
    // writer never takes over the first one's file.
    virtual bool createDurably(const std::string& path, const std::string& bytes) = 0;
    // Returns once the file's bytes are on disk.
    virtual bool flushToDisk(const std::string& path) = 0;
    // The system's code for why the last call of this thread failed, read
    // right after it; 0 where the platform keeps none.
    virtual unsigned long lastErrorCode() const { return 0; }
};

}  // namespace updater
