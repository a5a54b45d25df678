#pragma once
// The file work of a publication: walking the release folder, hashing,
// copying and the atomic manifest write.
// Folder names are the platform's own paths; file names are relative, with
// "/" between folders, as they appear in the manifest.
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace mkmanifest {

// A failure that ends the publication; the text names the path and the
// system's reason.
class PublishError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ListedFile {
    std::string name;
    std::uint64_t size = 0;
};

struct FileDigest {
    std::uint64_t size = 0;
    std::string sha256;  // lower-case hex
};

class ReleaseStore {
public:
    virtual ~ReleaseStore() = default;
    // Every regular file below root. A link to a file inside the folder counts
    // as that file; a link out of it, a linked folder or a special file throws.
    virtual std::vector<ListedFile> listFiles(const std::string& root) = 0;
    virtual FileDigest digest(const std::string& root, const std::string& name) = 0;
    virtual std::optional<FileDigest> digestIfPresent(const std::string& root, const std::string& name) = 0;
    // Copies fromRoot's name to toRoot's toName through a temporary file and
    // a rename, creating folders as needed; returns the digest of the bytes
    // copied.
    virtual FileDigest copy(const std::string& fromRoot, const std::string& name, const std::string& toRoot,
                            const std::string& toName) = 0;
    virtual std::optional<std::string> readIfPresent(const std::string& root, const std::string& name) = 0;
    // Writes the zlib-compressed bytes of fromRoot's name as toRoot's toName,
    // the same way; returns the digest of the compressed file.
    virtual FileDigest compress(const std::string& fromRoot, const std::string& name, const std::string& toRoot,
                                const std::string& toName) = 0;
    // Moves root's from over root's to, creating folders as needed.
    virtual void rename(const std::string& root, const std::string& from, const std::string& to) = 0;
    // Deletes a file; one that is not there is no error.
    virtual void remove(const std::string& root, const std::string& name) = 0;
    // Writes a temporary file in root, then renames it over name.
    virtual void writeAtomically(const std::string& root, const std::string& name, const std::string& bytes) = 0;
    // Whether the two folders are the same or one lies inside the other.
    virtual bool overlap(const std::string& a, const std::string& b) = 0;
};

// The store over the file system, hashing with the platform's SHA-256.
// The names it lists are bytes of the code page; a listed file is read
// under its name on disk, and the files it writes get the listed bytes.
std::unique_ptr<ReleaseStore> makeReleaseStore(unsigned codePage = 936);

}  // namespace mkmanifest
