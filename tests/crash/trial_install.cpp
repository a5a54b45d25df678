#include "tests/crash/trial_install.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "engine/manifest/side_files.h"

#include "tests/support/file_bytes.h"
#include "tests/support/sha256_hex.h"
#include "tests/support/wine_runner.h"

namespace crashtrials {

namespace fs = std::filesystem;
using testsupport::sha256Hex;
using testsupport::randomBytes;
using testsupport::readFileBytes;
using testsupport::writeFileBytes;

namespace {

constexpr const char* kProduct = "kelmor";
constexpr const char* kServerTimestamp = "2024-01-01 00:00:00";
constexpr std::time_t kOldFileTime = 1577836800;  // 2020-01-01, well before the server's timestamp
constexpr const char* kJournalFile = ".update/update.journal";
constexpr const char* kWaitingDownloads = ".update/new/";

bool isStrictPrefix(const std::string& part, const std::string& whole) {
    return part.size() < whole.size() && whole.compare(0, part.size(), part) == 0;
}

std::string sizeAndHash(const std::string& prefix, const std::string& bytes) {
    return prefix + "SIZE=" + std::to_string(bytes.size()) + "\r\n" + prefix + "SHA256=" + sha256Hex(bytes) + "\r\n";
}

// A whole release: every file or none, the dropped one with its published content.
std::string manifestText(const std::vector<ProductFile>& files) {
    std::string text = std::string("[") + kProduct + "]\r\nVERSION=2.0\r\nWHOLE=1\r\n";
    std::size_t entries = 0, drops = 0;
    for (const ProductFile& file : files) {
        if (file.usersOwn) continue;
        if (file.dropped) {
            text += "[DROP" + std::to_string(drops++) + "]\r\nFILE=" + file.name + "\r\n" +
                    sizeAndHash("PREV0_", *file.oldBytes);
            continue;
        }
        text += "[FILE" + std::to_string(entries++) + "]\r\nFILE=" + file.name + "\r\nVERSION=" + kServerTimestamp +
                "\r\n" + sizeAndHash("", file.newBytes);
    }
    return text;
}

}  // namespace

TrialInstall::TrialInstall() {
    constexpr std::size_t KiB = 1024, MiB = 1024 * 1024;
    // Random bytes that no other file shares, so a mix-up or a cut shows.
    files_ = {
        {"kelmor.exe", randomBytes(200 * KiB, 1), randomBytes(300 * KiB, 2)},
        {"data/level1.pak", randomBytes(4 * MiB, 3), randomBytes(6 * MiB, 4)},
        {"data/level2.pak", randomBytes(3 * MiB / 2, 5), randomBytes(1 * MiB, 6)},
        {"readme.txt", std::string(1000, 'o'), std::string(2000, 'n')},
        {"data/extra.pak", std::nullopt, randomBytes(3 * MiB, 7)},
        {"addons/new/extra.dat", std::nullopt, randomBytes(MiB / 2, 9)},  // in folders the release adds
        {"old.dll", randomBytes(50 * KiB, 10), "", false, true},
        {"Update.exe", std::nullopt, randomBytes(100 * KiB, 8), true},
        // Prior states a careful updater must live with.
        {"settings.dat", randomBytes(20 * KiB, 11), randomBytes(24 * KiB, 12), false, false, true},
        {"readme.txt.old", "the user's notes", "", false, false, false, true},
        {"docs", randomBytes(10 * KiB, 13), "", false, true},  // a file that becomes a folder
        {"docs/manual.txt", std::nullopt, randomBytes(30 * KiB, 14)},
        {"plugins.old/mine.dll", "the user's plugin", "", false, false, false, true},
    };
    char pattern[] = "/tmp/crash-trials-www.XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    serverRoot_ = pattern;
    for (const ProductFile& file : files_)
        if (!file.dropped && !file.usersOwn) writeFileBytes(fs::path(serverRoot_) / kProduct / file.name, file.newBytes);
    writeFileBytes(fs::path(serverRoot_) / kProduct / "update.ini", manifestText(files_));

    product_ = std::make_unique<testsupport::ProductDir>();
    server_ = std::make_unique<testsupport::TestHttpServer>(serverRoot_);
    product_->writeConfig({std::string(kProduct), std::string("1.0"),
                           "http://127.0.0.1:" + std::to_string(server_->port()) + "/" + kProduct + "/"});
    configBytes_ = product_->readFile("updataAdd.ini");
    updaterBytes_ = product_->readFile("Update.exe");
}

TrialInstall::~TrialInstall() {
    server_.reset();
    std::error_code ignored;
    fs::remove_all(serverRoot_, ignored);
}

int TrialInstall::releaseItems() const {
    return static_cast<int>(std::count_if(files_.begin(), files_.end(), [](const ProductFile& file) { return !file.usersOwn; }));
}

std::size_t TrialInstall::newBytesTotal() const {
    std::size_t total = 0;
    for (const ProductFile& file : files_) total += file.newBytes.size();
    return total;
}

void TrialInstall::reset() {
    std::set<std::string> keep{"Update.exe", "updataAdd.ini"};
    for (const ProductFile& file : files_)
        if (file.oldBytes) keep.insert(file.name);
    const fs::path root(product_->path());
    std::vector<fs::path> extra;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && !keep.count(fs::relative(entry.path(), root).generic_string()))
            extra.push_back(entry.path());
    for (const fs::path& path : extra) fs::remove(path);
    fs::remove_all(root / "addons");
    fs::remove_all(root / ".update");
    for (const ProductFile& file : files_) {
        if (!file.oldBytes) continue;
        const fs::path path = root / file.name;
        if (fs::is_directory(path)) fs::remove_all(path);
        if (fs::exists(path)) fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
        product_->writeFile(file.name, *file.oldBytes, kOldFileTime);
        // Wine shows a file without write permission as read-only.
        if (file.readOnly) fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
    }
    // The copy of the updater is as old as the installation, so the update carries a new one.
    const timespec times[2] = {{kOldFileTime, 0}, {kOldFileTime, 0}};
    utimensat(AT_FDCWD, product_->pathOf("Update.exe").c_str(), times, 0);
}

Inspection TrialInstall::inspect() const {
    Inspection found;
    const fs::path root(product_->path());
    std::set<std::string> known{"updataAdd.ini"}, folders;
    for (const ProductFile& file : files_) {
        known.insert(file.name);
        for (fs::path folder = fs::path(file.name).parent_path(); !folder.empty(); folder = folder.parent_path())
            folders.insert(folder.generic_string());
    }
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).generic_string();
        // The updater's own folder holds what it likes; the installation is judged without it.
        const bool updaters = name == ".update" || name.rfind(".update/", 0) == 0;
        if (!entry.is_regular_file()) {
            // A folder the release adds counts with its files; any other is stray.
            if (!updaters && !folders.count(name) && !known.count(name)) found.losses.push_back(name + ": stray folder");
            continue;
        }
        if (name == kJournalFile || name == "update.journal") found.journal = true;
        if (name.rfind(kWaitingDownloads, 0) == 0) ++found.downloadsLeft;
        if (!updaters && !known.count(name) && !updater::isSideFileName(name))
            found.losses.push_back(name + ": stray file");
    }
    if (readFileBytes(root / "updataAdd.ini") != configBytes_) found.losses.push_back("updataAdd.ini: changed");
    // The folders come with the release: there without their file, they are stray.
    if (fs::exists(root / "addons") && !fs::exists(root / "addons/new/extra.dat"))
        found.losses.push_back("addons: folder without the release's file");

    for (const ProductFile& file : files_) {
        const fs::path path = root / file.name;
        if (file.usersOwn) {
            if (!fs::is_regular_file(path) || readFileBytes(path) != *file.oldBytes)
                found.losses.push_back(file.name + ": the user's file changed");
            continue;
        }
        if (file.isUpdater) {
            // The running updater is never replaced; its new copy waits as ".bck".
            if (!fs::exists(path) || readFileBytes(path) != updaterBytes_) found.losses.push_back(file.name + ": changed");
            const fs::path kept = root / (file.name + ".bck");
            if (fs::exists(kept) && readFileBytes(kept) == file.newBytes) ++found.newFiles;
            else ++found.oldFiles;
            continue;
        }
        // A dropped file whose place a folder of the release took is gone too.
        if (!fs::exists(path) || (file.dropped && fs::is_directory(path))) {
            if (file.dropped) ++found.newFiles;
            else if (file.oldBytes) found.losses.push_back(file.name + ": missing");
            else ++found.oldFiles;
            continue;
        }
        const std::string bytes = readFileBytes(path);
        if (!file.dropped && bytes == file.newBytes) {
            if ((fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none)
                found.losses.push_back(file.name + ": new version read-only");
            ++found.newFiles;
        } else if (file.oldBytes && bytes == *file.oldBytes) {
            // Undone by renames, so the old time comes back too.
            struct stat status {};
            if (stat(path.c_str(), &status) != 0 || status.st_mtime != kOldFileTime)
                found.losses.push_back(file.name + ": old bytes with a new time");
            ++found.oldFiles;
        } else if (isStrictPrefix(bytes, file.newBytes) || (file.oldBytes && isStrictPrefix(bytes, *file.oldBytes))) {
            found.partial.push_back(file.name + ": partial (" + std::to_string(bytes.size()) + " bytes)");
        } else {
            found.losses.push_back(file.name + ": neither old nor new (" + std::to_string(bytes.size()) + " bytes)");
        }
    }
    return found;
}

bool TrialInstall::allNew(const Inspection& inspection) const {
    return inspection.losses.empty() && inspection.partial.empty() && inspection.newFiles == releaseItems();
}

}  // namespace crashtrials
