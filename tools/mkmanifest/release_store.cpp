// The release store over std::filesystem, the same on every platform; what
// differs is in platform.h.
#include "tools/mkmanifest/release_store.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/text/hex_text.h"
#include "tools/mkmanifest/deflater.h"
#include "tools/mkmanifest/platform.h"

namespace mkmanifest {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunkBytes = 1 << 20;
constexpr const char* kTempSuffix = ".mkmanifest-tmp";

[[noreturn]] void fail(const char* what, const fs::path& path, const std::error_code& error) {
    std::string reason = error.message();
    reason.erase(reason.find_last_not_of(" \r\n") + 1);  // Windows' texts end in a line break
    throw PublishError(std::string(what) + " " + bytesOf(path) + ": " + reason);
}

// File streams leave the reason in errno; read it right after the failure.
std::error_code streamError() { return {errno, std::generic_category()}; }


// Whether path is folder or lies inside it, by whole names.
bool contains(fs::path folder, const fs::path& path) {
    if (!folder.has_filename()) folder = folder.parent_path();  // a trailing separator
    return std::mismatch(folder.begin(), folder.end(), path.begin(), path.end()).first == folder.end();
}

// Where a path leads as far as it exists: the nearest existing ancestor with
// its links followed, the rest appended.
fs::path resolvedForm(const fs::path& path) {
    std::error_code error;
    fs::path existing = fs::absolute(path, error), rest;
    if (error) return path;
    while (true) {
        Destination destination = destinationOf(existing, error);
        if (!error) return (destination.path / rest).lexically_normal();
        if (!existing.has_relative_path()) return (existing / rest).lexically_normal();
        rest = rest.empty() ? existing.filename() : existing.filename() / rest;
        existing = existing.parent_path();
        error.clear();
    }
}

void makeFolders(const fs::path& folder) {
    std::error_code error;
    if (!folder.empty() && !fs::create_directories(folder, error) && error)
        fail("cannot create folder", folder, error);
}

// Opens a file to read; nothing when it is missing and may be.
std::optional<std::ifstream> openToRead(const fs::path& path, bool mayBeMissing) {
    std::ifstream in(path, std::ios::binary);
    if (in) return in;
    const std::error_code error = streamError();
    if (mayBeMissing && (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory))
        return std::nullopt;
    fail("cannot open", path, error);
}

void writeAll(std::ofstream& out, const fs::path& path, std::string_view bytes) {
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) fail("cannot write", path, streamError());
}

// Writes through a temporary file beside the target, then moves it over the
// target, so readers see the old file or the whole new one.
void replaceAtomically(const fs::path& target, const std::function<void(std::ofstream&, const fs::path&)>& fill) {
    fs::path temp = target;
    temp += kTempSuffix;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) fail("cannot create", temp, streamError());
    try {
        fill(out, temp);
        out.close();
        if (!out) fail("cannot close", temp, streamError());
        std::error_code error;
        flushToDisk(temp, error);
        if (error) fail("cannot flush", temp, error);
        fs::rename(temp, target, error);
        if (error) fail("cannot rename into place", target, error);
    } catch (...) {
        out.close();
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw;
    }
}

class FileReleaseStore : public ReleaseStore {
public:
    explicit FileReleaseStore(unsigned codePage) : codePage_(codePage) {}

    std::vector<ListedFile> listFiles(const std::string& root) override {
        listedRoot_ = &onDisk_[root];
        listedRoot_->clear();
        root_ = pathFromBytes(root);
        realRoot_.clear();
        std::error_code error;
        const fs::file_status status = fs::status(root_, error);
        if (error) fail("cannot open the release folder", root_, error);
        if (!fs::is_directory(status)) throw PublishError("the release folder " + root + " is not a folder");
        std::vector<ListedFile> files;
        walk(root_, "", files);
        return files;
    }

    FileDigest digest(const std::string& root, const std::string& name) override {
        return *digestFile(pathOf(root, name), false);
    }

    std::optional<FileDigest> digestIfPresent(const std::string& root, const std::string& name) override {
        return digestFile(pathOf(root, name), true);
    }

    FileDigest copy(const std::string& fromRoot, const std::string& name, const std::string& toRoot,
                    const std::string& toName) override {
        const fs::path source = pathOf(fromRoot, name);
        const fs::path target = pathOf(toRoot, toName);
        std::optional<std::ifstream> in = openToRead(source, false);
        makeFolders(target.parent_path());
        FileDigest copied;
        replaceAtomically(target, [&](std::ofstream& out, const fs::path& temp) {
            copied = digestOf(*in, source, [&](std::string_view chunk) { writeAll(out, temp, chunk); });
        });
        return copied;
    }

    FileDigest compress(const std::string& fromRoot, const std::string& name, const std::string& toRoot,
                        const std::string& toName) override {
        const fs::path source = pathOf(fromRoot, name);
        const fs::path target = pathOf(toRoot, toName);
        std::optional<std::ifstream> in = openToRead(source, false);
        makeFolders(target.parent_path());
        FileDigest packed;
        replaceAtomically(target, [&](std::ofstream& out, const fs::path& temp) {
            const std::unique_ptr<updater::Sha256Hasher> hasher = sha256_->startSha256();
            Deflater deflater([&](const char* data, std::size_t size) {
                hasher->update(data, size);
                packed.size += size;
                writeAll(out, temp, std::string_view(data, size));
            });
            readChunks(*in, source, [&](std::string_view chunk) { deflater.add(chunk.data(), chunk.size()); });
            deflater.finish();
            const updater::Sha256Digest bytes = hasher->finish();
            packed.sha256 = updater::encodeHex(bytes.data(), bytes.size());
        });
        return packed;
    }

    void rename(const std::string& root, const std::string& from, const std::string& to) override {
        const fs::path target = pathOf(root, to);
        makeFolders(target.parent_path());
        std::error_code error;
        fs::rename(pathOf(root, from), target, error);
        if (error) fail("cannot rename into place", target, error);
    }

    void remove(const std::string& root, const std::string& name) override {
        std::error_code error;
        fs::remove(pathOf(root, name), error);
        if (error) fail("cannot delete", pathOf(root, name), error);
    }

    std::optional<std::string> readIfPresent(const std::string& root, const std::string& name) override {
        const fs::path path = pathOf(root, name);
        std::optional<std::ifstream> in = openToRead(path, true);
        if (!in) return std::nullopt;
        std::string bytes;
        std::error_code unknown;  // without a size the string just grows
        const std::uintmax_t size = fs::file_size(path, unknown);
        if (!unknown) bytes.reserve(static_cast<std::size_t>(size));
        readChunks(*in, path, [&](std::string_view chunk) { bytes += chunk; });
        return bytes;
    }

    void writeAtomically(const std::string& root, const std::string& name, const std::string& bytes) override {
        makeFolders(pathOf(root, name).parent_path());
        const auto write = [&](std::ofstream& out, const fs::path& temp) { writeAll(out, temp, bytes); };
        replaceAtomically(pathOf(root, name), write);
    }

    bool overlap(const std::string& a, const std::string& b) override {
        const fs::path first = resolvedForm(pathFromBytes(a));
        const fs::path second = resolvedForm(pathFromBytes(b));
        return contains(first, second) || contains(second, first);
    }

private:
    // A listed file under its name on disk; any other as the name says.
    fs::path pathOf(const std::string& root, const std::string& name) const {
        if (const auto listed = onDisk_.find(root); listed != onDisk_.end())
            if (const auto found = listed->second.find(name); found != listed->second.end()) return found->second;
        return (pathFromBytes(root) / pathOfName(name, codePage_)).make_preferred();
    }

    void walk(const fs::path& folder, const std::string& prefix, std::vector<ListedFile>& files) {
        std::vector<std::pair<std::string, fs::path>> entries;  // sorted by the bytes of their names
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
            entries.emplace_back(leafName(it->path()), it->path());
        if (error) fail("cannot read the folder", folder, error);
        std::sort(entries.begin(), entries.end());
        for (const auto& [leaf, path] : entries) {
            const std::string name = prefix.empty() ? leaf : prefix + "/" + leaf;
            const bool link = isLink(path, error);
            const fs::file_status status = link || error ? fs::file_status() : fs::status(path, error);
            const std::uintmax_t size = fs::is_regular_file(status) ? fs::file_size(path, error) : 0;
            if (error) fail("cannot look at", path, error);
            if (link || fs::is_regular_file(status)) (*listedRoot_)[name] = path;
            if (link)
                files.push_back({name, linkedFileSize(path)});
            else if (fs::is_directory(status))
                walk(path, name, files);
            else if (fs::is_regular_file(status))
                files.push_back({name, size});
            else
                throw PublishError(bytesOf(path) + " is not a regular file");
        }
    }

    std::string leafName(const fs::path& path) const {
        if (std::optional<std::string> name = nameInCodePage(path.filename(), codePage_)) return *name;
        throw PublishError(bytesOf(path) + " has a name that code page " + std::to_string(codePage_) +
                           " cannot write");
    }

    // A link is published as the file it leads to, if that lies inside.
    std::uint64_t linkedFileSize(const fs::path& link) {
        std::error_code error;
        if (realRoot_.empty()) realRoot_ = destinationOf(root_, error).path;
        if (error) fail("cannot follow", root_, error);
        const Destination target = destinationOf(link, error);
        if (error) fail("broken link", link, error);
        const std::string links = bytesOf(link) + " links to ";
        if (!contains(realRoot_, target.path))
            throw PublishError(links + bytesOf(target.path) + ", outside the release folder");
        if (target.type == fs::file_type::directory)
            throw PublishError(links + "a folder; linked folders are not followed");
        if (target.type != fs::file_type::regular)
            throw PublishError(links + "something that is not a regular file");
        return target.size;
    }

    std::optional<FileDigest> digestFile(const fs::path& path, bool mayBeMissing) {
        std::optional<std::ifstream> in = openToRead(path, mayBeMissing);
        if (!in) return std::nullopt;
        return digestOf(*in, path, [](std::string_view) {});
    }

    template <typename Visit>
    void readChunks(std::ifstream& in, const fs::path& path, Visit visit) {
        while (in) {
            in.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
            if (in.bad()) fail("cannot read", path, streamError());
            if (in.gcount() > 0) visit(std::string_view(buffer_.data(), static_cast<std::size_t>(in.gcount())));
        }
    }

    // Reads the whole file; each chunk also goes to also.
    template <typename Also>
    FileDigest digestOf(std::ifstream& in, const fs::path& path, Also also) {
        const std::unique_ptr<updater::Sha256Hasher> hasher = sha256_->startSha256();
        FileDigest digest;
        readChunks(in, path, [&](std::string_view chunk) {
            hasher->update(chunk.data(), chunk.size());
            digest.size += chunk.size();
            also(chunk);
        });
        const updater::Sha256Digest bytes = hasher->finish();
        digest.sha256 = updater::encodeHex(bytes.data(), bytes.size());
        return digest;
    }

    std::unique_ptr<updater::Sha256Source> sha256_ = platformSha256();
    std::vector<char> buffer_ = std::vector<char>(kChunkBytes);
    const unsigned codePage_;
    std::map<std::string, std::map<std::string, fs::path>> onDisk_;  // by root, the listed names' paths
    std::map<std::string, fs::path>* listedRoot_ = nullptr;
    fs::path root_;      // of the listing under way
    fs::path realRoot_;  // found at its first link
};

}  // namespace

std::unique_ptr<ReleaseStore> makeReleaseStore(unsigned codePage) {
    return std::make_unique<FileReleaseStore>(codePage);
}

}  // namespace mkmanifest
