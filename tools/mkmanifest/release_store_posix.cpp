// The release store on POSIX systems: names are the bytes on disk.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "tools/mkmanifest/platform_store.h"
#include "tools/mkmanifest/sha256.h"
#include "tools/mkmanifest/timestamp.h"

namespace mkmanifest {
namespace {

constexpr std::size_t kChunkBytes = 1 << 20;
constexpr const char* kTempSuffix = ".mkmanifest-tmp";

// Reads errno first thing: nothing may run between the failing call and here.
[[noreturn]] void fail(const char* what, const std::string& path) {
    int error = errno;
    throw PublishError(std::string(what) + " " + path + ": " + std::strerror(error));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closing is where a full disk may show; the caller must learn of it.
    int close() { return ::close(std::exchange(fd_, -1)); }

private:
    int fd_;
};

class DirectoryStream {
public:
    explicit DirectoryStream(DIR* dir) : dir_(dir) {}
    ~DirectoryStream() {
        if (dir_) ::closedir(dir_);
    }
    DirectoryStream(DirectoryStream&& other) noexcept : dir_(std::exchange(other.dir_, nullptr)) {}
    DirectoryStream& operator=(DirectoryStream&& other) noexcept {
        std::swap(dir_, other.dir_);
        return *this;
    }
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;
    DIR* get() const { return dir_; }
    explicit operator bool() const { return dir_ != nullptr; }

private:
    DIR* dir_;
};

std::string join(const std::string& root, const std::string& name) {
    if (root.empty() || root.back() == '/') return root + name;
    return root + "/" + name;
}

std::optional<std::string> realPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
    return std::string(resolved);
}

bool isInside(const std::string& path, const std::string& folder) {
    if (folder == "/") return true;
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// The resolved form of a path that may not exist yet: its nearest existing
// ancestor resolved, the rest appended.
std::string resolvedForm(const std::string& path) {
    if (std::optional<std::string> real = realPath(path)) return *real;
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    std::size_t slash = trimmed.rfind('/');
    std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : trimmed.substr(0, slash));
    std::string leaf = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (parent == trimmed) return trimmed;
    return join(resolvedForm(parent), leaf);
}

void makeFolders(const std::string& path) {
    if (path.empty()) return;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) throw PublishError(path + " is not a folder");
        return;
    }
    std::size_t slash = path.find_last_of('/', path.size() - 1);
    if (slash != std::string::npos && slash > 0) makeFolders(path.substr(0, slash));
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) fail("cannot create folder", path);
}

FileDescriptor openForReading(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) fail("cannot open", path);
    return fd;
}

// Reads the whole file; each chunk also goes to sink (may be null).
FileDigest digestOf(const FileDescriptor& fd, const std::string& path, const FileDescriptor* sink,
                    const std::string& sinkPath) {
    std::vector<char> buffer(kChunkBytes);
    Sha256 sha;
    FileDigest digest;
    while (true) {
        ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail("cannot read", path);
        if (got == 0) break;
        sha.update(buffer.data(), static_cast<std::size_t>(got));
        digest.size += static_cast<std::uint64_t>(got);
        for (ssize_t written = 0; sink && written < got;) {
            ssize_t put = ::write(sink->get(), buffer.data() + written, static_cast<std::size_t>(got - written));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) fail("cannot write", sinkPath);
            written += put;
        }
    }
    digest.sha256 = sha.finishHex();
    return digest;
}

// Writes through a temporary file beside the target, then renames it over
// the target, so readers see the old file or the whole new one.
template <typename Fill>
auto replaceAtomically(const std::string& target, Fill fill) {
    std::string temp = target + kTempSuffix;
    FileDescriptor out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!out) fail("cannot create", temp);
    try {
        auto result = fill(out, temp);
        if (::fsync(out.get()) != 0) fail("cannot flush", temp);
        if (out.close() != 0) fail("cannot close", temp);
        if (::rename(temp.c_str(), target.c_str()) != 0) fail("cannot rename into place", target);
        return result;
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
}

class PosixReleaseStore : public ReleaseStore {
public:
    std::vector<ListedFile> listFiles(const std::string& root) override {
        std::optional<std::string> realRoot = realPath(root);
        if (!realRoot) fail("cannot open the release folder", root);
        struct stat info;
        if (::stat(realRoot->c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            throw PublishError("the release folder " + root + " is not a folder");
        std::vector<ListedFile> files;
        walk(root, "", *realRoot, files);
        return files;
    }

    FileDigest digest(const std::string& root, const std::string& name) override {
        std::string path = join(root, name);
        return digestOf(openForReading(path), path, nullptr, {});
    }

    std::optional<FileDigest> digestIfPresent(const std::string& root, const std::string& name) override {
        std::string path = join(root, name);
        FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd) {
            if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
            fail("cannot open", path);
        }
        return digestOf(fd, path, nullptr, {});
    }

    FileDigest copy(const std::string& fromRoot, const std::string& name, const std::string& toRoot) override {
        std::string source = join(fromRoot, name);
        std::string target = join(toRoot, name);
        FileDescriptor in = openForReading(source);
        makeFolders(target.substr(0, target.rfind('/')));
        return replaceAtomically(target, [&](const FileDescriptor& out, const std::string& temp) {
            return digestOf(in, source, &out, temp);
        });
    }

    std::optional<std::string> readIfPresent(const std::string& root, const std::string& name) override {
        std::string path = join(root, name);
        FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd) {
            if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
            fail("cannot open", path);
        }
        std::string bytes;
        char buffer[65536];
        while (true) {
            ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) fail("cannot read", path);
            if (got == 0) return bytes;
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
    }

    void writeAtomically(const std::string& root, const std::string& name, const std::string& bytes) override {
        makeFolders(root);
        replaceAtomically(join(root, name), [&](const FileDescriptor& out, const std::string& temp) {
            for (std::size_t written = 0; written < bytes.size();) {
                ssize_t put = ::write(out.get(), bytes.data() + written, bytes.size() - written);
                if (put < 0 && errno == EINTR) continue;
                if (put < 0) fail("cannot write", temp);
                written += static_cast<std::size_t>(put);
            }
            return 0;
        });
    }

    bool overlap(const std::string& a, const std::string& b) override {
        std::string first = resolvedForm(a);
        std::string second = resolvedForm(b);
        return first == second || isInside(first, second) || isInside(second, first);
    }

private:
    void walk(const std::string& root, const std::string& prefix, const std::string& realRoot,
              std::vector<ListedFile>& files) {
        std::string folder = prefix.empty() ? root : join(root, prefix);
        DirectoryStream dir(::opendir(folder.c_str()));
        if (!dir) fail("cannot read the folder", folder);
        std::vector<std::string> names;
        while (true) {
            errno = 0;  // readdir tells the end from a failure only by errno
            dirent* entry = ::readdir(dir.get());
            if (entry == nullptr) {
                if (errno != 0) fail("cannot read the folder", folder);
                break;
            }
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        std::sort(names.begin(), names.end());

        for (const std::string& leaf : names) {
            std::string name = prefix.empty() ? leaf : prefix + "/" + leaf;
            std::string path = join(root, name);
            struct stat info;
            if (::lstat(path.c_str(), &info) != 0) fail("cannot look at", path);
            if (S_ISDIR(info.st_mode)) {
                walk(root, name, realRoot, files);
            } else if (S_ISREG(info.st_mode)) {
                files.push_back({name, static_cast<std::uint64_t>(info.st_size)});
            } else if (S_ISLNK(info.st_mode)) {
                files.push_back({name, linkedFileSize(path, realRoot)});
            } else {
                throw PublishError(path + " is not a regular file");
            }
        }
    }

    // A link is published as the file it points to, if that lies inside.
    static std::uint64_t linkedFileSize(const std::string& path, const std::string& realRoot) {
        std::optional<std::string> target = realPath(path);
        if (!target) fail("broken link", path);
        if (!isInside(*target, realRoot))
            throw PublishError(path + " links to " + *target + ", outside the release folder");
        struct stat info;
        if (::stat(target->c_str(), &info) != 0) fail("cannot look at", *target);
        if (S_ISDIR(info.st_mode)) throw PublishError(path + " links to a folder; linked folders are not followed");
        if (!S_ISREG(info.st_mode)) throw PublishError(path + " links to something that is not a regular file");
        return static_cast<std::uint64_t>(info.st_size);
    }
};

}  // namespace

std::unique_ptr<ReleaseStore> makePlatformStore() { return std::make_unique<PosixReleaseStore>(); }

LocalTime currentLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

}  // namespace mkmanifest
