#pragma once
// Fakes of the engine's interfaces for native tests: scripted HTTP answers,
// an in-memory file system and a view that records what it was told.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/work/clock.h"
#include "engine/platform/date_parser.h"
#include "engine/platform/file_system.h"
#include "engine/platform/http.h"
#include "engine/report/messages.h"
#include "engine/run/process_guard.h"
#include "engine/run/update_services.h"
#include "engine/run/version_check.h"
#include "engine/report/wizard_view.h"
#include "tests/support/wizard_texts.h"
#include "tests/unit/fake_verifier.h"

namespace updater::fakes {

// The string table's texts, in UTF-8.
class FakeMessages : public Messages {
public:
    std::string load(MessageId id) const override {
        const auto found = testsupport::kStringTable.find(static_cast<unsigned>(id));
        return found != testsupport::kStringTable.end() ? found->second : "#" + std::to_string(static_cast<unsigned>(id));
    }
};

// Records every call in order ("status:...", "list:...", ...) and keeps the
// list box and button as the dialog would.
class FakeView : public WizardView {
public:
    std::vector<std::string> log;
    std::vector<std::string> list;
    std::vector<std::string> statuses;
    std::vector<int> progress;
    std::vector<std::string> errorBoxes;
    std::vector<std::string> confirms;
    std::string caption = testsupport::kNextCaption;
    bool enabled = true;
    bool waitCursor = false;
    bool confirmAnswer = true;

    std::function<void(const std::string&)> onStatus;

    void showStatus(const std::string& text) override {
        record("status:" + text);
        statuses.push_back(text);
        if (onStatus) onStatus(text);
    }
    void addListLine(const std::string& text) override { record("list:" + text); list.push_back(text); }
    void deleteFirstListLine() override {
        record("deleteFirst");
        if (!list.empty()) list.erase(list.begin());
    }
    void clearList() override { record("clearList"); list.clear(); }
    // Shows the stage by the caption the dialog gives it.
    void showStage(ButtonStage stage) override {
        caption = stage == ButtonStage::Finish   ? testsupport::kFinishCaption
                  : stage == ButtonStage::Update ? testsupport::kUpdateCaption
                                                 : testsupport::kNextCaption;
        record("caption:" + caption);
    }
    void enableButton(bool on) override { record(on ? "enable" : "disable"); enabled = on; }
    void setProgress(int position) override { record("progress:" + std::to_string(position)); progress.push_back(position); }
    void showWaitCursor(bool on) override { record(on ? "wait:on" : "wait:off"); waitCursor = on; }
    void showErrorBox(const std::string& text) override { record("error:" + text); errorBoxes.push_back(text); }
    bool confirm(const std::string& text) override {
        record("confirm:" + text);
        confirms.push_back(text);
        return confirmAnswer;
    }

    const std::string& status() const {
        static const std::string none;
        return statuses.empty() ? none : statuses.back();
    }

private:
    void record(std::string entry) { log.push_back(std::move(entry)); }
};

// One scripted answer. Without contentLength the header carries the body's size.
struct FakeResponse {
    bool sendFails = false;
    std::string errorText;
    std::string status = "200";
    std::string reason = "OK";
    std::optional<std::string> contentLength;
    std::string body;
    std::optional<std::size_t> failReadAt;  // a read at this offset throws
    std::vector<std::string> moreContentLengths;  // further Content-Length headers
    std::string transferEncoding;
    std::string contentEncoding;
    std::string contentRange;
    // A server that paces its body: each read waits this long on FakeHttp's
    // clock and brings at most bytesPerRead bytes.
    std::uint64_t msPerRead = 0;
    std::size_t bytesPerRead = SIZE_MAX;
};

inline FakeResponse answer(std::string body, std::string status = "200", std::string reason = "OK") {
    FakeResponse response;
    response.body = std::move(body);
    response.status = std::move(status);
    response.reason = std::move(reason);
    return response;
}
inline FakeResponse withLength(FakeResponse response, std::string contentLength) {
    response.contentLength = std::move(contentLength);
    return response;
}
inline FakeResponse failingReadAt(FakeResponse response, std::size_t offset) {
    response.failReadAt = offset;
    return response;
}
inline FakeResponse sendFailure(std::string errorText) {
    FakeResponse response;
    response.sendFails = true;
    response.errorText = std::move(errorText);
    return response;
}

class FakeClock : public Clock {
public:
    std::uint64_t now = 1000;
    std::uint64_t nowMs() override { return now; }
};

class FakeHttp : public HttpConnection {
public:
    std::map<std::string, FakeResponse> responses;  // by object name; others answer 404
    std::map<std::string, FakeResponse> rangedResponses;  // to a request for a range, where given
    std::vector<std::string> opened;
    std::vector<std::string> noCache;  // the objects asked for with CacheUse::NoCache
    std::vector<std::uint64_t> askedFrom;  // per request: the first byte asked for
    int openRequests = 0;
    Clock* clock = nullptr;              // moved on by paced reads
    std::vector<std::uint32_t> limits;   // what each giveUpAfter allowed
    int reads = 0;            // of every request's body
    bool overlapped = false;  // a request was opened while another was open

    std::unique_ptr<HttpRequest> openGet(const std::string& objectName, CacheUse cache) override {
        opened.push_back(objectName);
        if (cache == CacheUse::NoCache) noCache.push_back(objectName);
        if (openRequests > 0) overlapped = true;
        auto found = responses.find(objectName);
        FakeResponse response = found != responses.end() ? found->second : answer("", "404", "Not Found");
        askedFrom.push_back(0);
        auto ranged = rangedResponses.find(objectName);
        return std::make_unique<Request>(*this, std::move(response),
                                         ranged != rangedResponses.end() ? &ranged->second : nullptr);
    }

private:
    class Request : public HttpRequest {
    public:
        Request(FakeHttp& owner, FakeResponse response, const FakeResponse* ranged)
            : owner_(owner), response_(std::move(response)), ranged_(ranged), index_(owner.askedFrom.size() - 1) {
            ++owner_.openRequests;
        }
        void askFrom(std::uint64_t offset) override {
            owner_.askedFrom[index_] = offset;
            if (ranged_ && offset > 0) response_ = *ranged_;
        }
        std::string contentRange() override { return response_.contentRange; }
        ~Request() override { --owner_.openRequests; }
        void send() override {
            if (response_.sendFails) throw NetworkError(12029, response_.errorText);
            sent_ = true;
        }
        std::string statusCode() override { return sent_ ? response_.status : ""; }
        std::string statusText() override { return sent_ ? response_.reason : ""; }
        // An empty contentLength means no header.
        std::vector<std::string> contentLengths() override {
            std::vector<std::string> lengths;
            const std::string first = response_.contentLength.value_or(std::to_string(response_.body.size()));
            if (!first.empty()) lengths.push_back(first);
            lengths.insert(lengths.end(), response_.moreContentLengths.begin(), response_.moreContentLengths.end());
            return lengths;
        }
        std::string transferEncoding() override { return response_.transferEncoding; }
        std::string contentEncoding() override { return response_.contentEncoding; }
        void giveUpAfter(std::uint32_t milliseconds) override {
            owner_.limits.push_back(milliseconds);
            if (owner_.clock) deadline_ = owner_.clock->nowMs() + milliseconds;
        }
        std::size_t read(char* buffer, std::size_t size) override {
            ++owner_.reads;
            if (response_.failReadAt && offset_ >= *response_.failReadAt) throw NetworkError(12030, "read failed");
            waitForTheServer();
            std::size_t n = std::min({size, response_.bytesPerRead, response_.body.size() - offset_});
            if (response_.failReadAt) n = std::min(n, *response_.failReadAt - offset_);
            response_.body.copy(buffer, n, offset_);
            offset_ += n;
            return n;
        }

    private:
        // A wait past the deadline ends at it, as a timed-out receive does.
        void waitForTheServer() {
            auto* clock = dynamic_cast<FakeClock*>(owner_.clock);
            if (!clock || response_.msPerRead == 0 || offset_ >= response_.body.size()) return;
            if (clock->now + response_.msPerRead > deadline_) {
                clock->now = std::max(clock->now, deadline_);
                throw NetworkError(12002, "timed out");
            }
            clock->now += response_.msPerRead;
        }

        FakeHttp& owner_;
        FakeResponse response_;
        const FakeResponse* ranged_;
        std::size_t index_;
        bool sent_ = false;
        std::size_t offset_ = 0;
        std::uint64_t deadline_ = UINT64_MAX;
    };
};

// Files in memory. A created file is emptied at once and grows with each
// write, as a real one does.
//
// Steps that change something (create, write, close, remove, replace, the
// folder and durable calls) are counted from 1: killAtStep makes that step
// and every later one do nothing, as a killed process does; failAtStep makes
// that one step fail. The fake also keeps what a disk would hold after a
// power cut: a rename, a durable append and a flush are on disk at once,
// with every earlier change of names (created, removed, made); written bytes
// only once flushed.
class FakeFileSystem : public FileSystem {
public:
    struct File {
        std::string content;
        double lastWrite = 0;
        bool open = false;
        bool operator==(const File& other) const { return content == other.content && lastWrite == other.lastWrite; }
    };
    std::map<std::string, File> files;
    std::set<std::string> directories;
    std::set<std::string> blocked;  // a link stands in the path (looked up as a blocked folder)
    std::set<std::string> uncreatable;   // create() gives nullptr
    std::set<std::string> busy;          // replace() onto these fails (file in use)
    std::set<std::string> fixed;         // open elsewhere: neither moved nor removed
    std::set<std::string> failingWrites; // write() throws FileError(Write)
    std::set<std::string> failingCloses; // close() throws FileError(Close)
    std::vector<std::string> created;
    std::vector<std::pair<std::string, std::string>> replaced;
    std::vector<std::string> removed;
    std::vector<std::string> dated;      // paths asked for their time
    double now = 50000;                  // time given to written files
    // When set, a file or folder can be made only in a folder of directories.
    bool foldersMatter = false;
    std::size_t steps = 0;
    std::optional<std::size_t> killAtStep;
    std::optional<std::size_t> failAtStep;
    bool killed = false;

    void put(const std::string& path, std::string content, double lastWrite = 0) {
        files[path] = File{std::move(content), lastWrite, false};
    }
    bool exists(const std::string& path) const { return files.count(path) != 0; }
    std::string content(const std::string& path) const {
        auto found = files.find(path);
        return found == files.end() ? "<missing>" : found->second.content;
    }
    bool touchedAnything() const { return !dated.empty() || !created.empty() || !replaced.empty() || !removed.empty(); }

    // Takes what is there now as on disk.
    void settle() {
        diskFiles_ = files;
        diskDirectories_ = directories;
        pending_.clear();
    }
    // Back to what the disk holds, as after a power cut and a restart.
    void powerCut() {
        files = diskFiles_;
        for (auto& [path, file] : files) file.open = false;
        directories = diskDirectories_;
        pending_.clear();
    }
    // A new process on the same files.
    void restart() {
        killed = false;
        killAtStep.reset();
        failAtStep.reset();
    }

    std::optional<LocalEntry> lookUp(const std::string& path) override {
        dated.push_back(path);
        if (blocked.count(path)) return LocalEntry{true, now, 0, true};
        if (directories.count(path)) return LocalEntry{true, now};
        auto found = files.find(path);
        if (found == files.end()) return std::nullopt;
        return LocalEntry{false, found->second.lastWrite, found->second.content.size()};
    }
    std::unique_ptr<OutputFile> create(const std::string& path, ShareMode) override {
        created.push_back(path);
        if (uncreatable.count(path) || !inAFolder(path) || !proceed()) return nullptr;
        files[path] = File{"", now, true};
        later([this, path] { diskFiles_[path] = File{"", now, false}; });
        return std::make_unique<Output>(*this, path);
    }
    // Whatever stood there is replaced by the new file, as a rename over it would.
    std::unique_ptr<OutputFile> createFresh(const std::string& path, ShareMode share) override {
        if (directories.count(path)) {
            created.push_back(path);
            return nullptr;
        }
        return create(path, share);
    }
    std::unique_ptr<OutputFile> openForAppend(const std::string& path) override {
        auto found = files.find(path);
        if (found == files.end() || uncreatable.count(path) || !proceed()) return nullptr;
        found->second.open = true;
        return std::make_unique<Output>(*this, path);
    }
    std::optional<std::string> readAll(const std::string& path) override {
        auto found = files.find(path);
        if (found == files.end()) return std::nullopt;
        return found->second.content;
    }
    std::vector<std::string> hashed;  // paths read through readChunks
    bool readChunks(const std::string& path, const std::function<void(const char*, std::size_t)>& sink) override {
        hashed.push_back(path);
        auto found = files.find(path);
        if (found == files.end()) return false;
        sink(found->second.content.data(), found->second.content.size());
        return true;
    }
    // A copy of the file as it is now, which is all a test needs.
    std::unique_ptr<RandomAccessInput> openRandomAccess(const std::string& path) override {
        auto found = files.find(path);
        if (found == files.end()) return nullptr;
        return std::make_unique<Input>(found->second.content);
    }
    // An open file can be neither removed nor moved, as on Windows.
    bool remove(const std::string& path) override {
        removed.push_back(path);
        auto found = files.find(path);
        if (found == files.end() || found->second.open || fixed.count(path) || !proceed()) return fail(kDenied);
        files.erase(found);
        later([this, path] { diskFiles_.erase(path); });
        return true;
    }
    bool replace(const std::string& from, const std::string& to) override {
        replaced.emplace_back(from, to);
        auto source = files.find(from);
        if (source == files.end() || source->second.open || busy.count(to) || fixed.count(from) ||
            directories.count(to) || !inAFolder(to) || !proceed())
            return fail(busy.count(to) ? kSharingViolation : kDenied);
        File moved = source->second;
        files.erase(source);
        files[to] = moved;
        onDisk([this, from, to] {
            auto found = diskFiles_.find(from);
            diskFiles_[to] = found != diskFiles_.end() ? found->second : File{};
            diskFiles_.erase(from);
        });
        return true;
    }
    bool makeDirectory(const std::string& path) override {
        if (directories.count(path) || files.count(path) || !inAFolder(path) || !proceed()) return false;
        directories.insert(path);
        later([this, path] { diskDirectories_.insert(path); });
        return true;
    }
    bool removeDirectory(const std::string& path) override {
        if (!directories.count(path) || !proceed()) return false;
        for (const auto& [file, data] : files)
            if (isInside(file, path)) return false;
        for (const std::string& directory : directories)
            if (isInside(directory, path)) return false;
        directories.erase(path);
        later([this, path] { diskDirectories_.erase(path); });
        return true;
    }
    std::optional<std::vector<std::pair<std::string, bool>>> listFolder(const std::string& path) override {
        if (!directories.count(path)) return std::nullopt;
        std::vector<std::pair<std::string, bool>> names;
        for (const auto& [file, data] : files)
            if (isDirectlyInside(file, path)) names.emplace_back(file.substr(path.size() + 1), false);
        for (const std::string& directory : directories)
            if (isDirectlyInside(directory, path)) names.emplace_back(directory.substr(path.size() + 1), true);
        return names;
    }
    // The volume of the nearest folder named in volumes, else 0.
    std::map<std::string, std::uint64_t> volumes;
    std::optional<std::uint64_t> volumeOf(const std::string& path) override {
        for (std::string folder = path;; folder = folder.substr(0, folder.find_last_of("/\\"))) {
            if (volumes.count(folder)) return volumes.at(folder);
            if (folder.find_first_of("/\\") == std::string::npos) return 0;
        }
    }
    bool appendDurably(const std::string& path, const std::string& bytes) override {
        if (directories.count(path) || !proceed()) return false;
        File& file = files[path];
        file.content += bytes;
        file.lastWrite = now;
        onDisk([this, path] { diskFiles_[path] = files[path]; });
        return true;
    }
    bool createDurably(const std::string& path, const std::string& bytes) override {
        if (files.count(path) || directories.count(path)) return false;
        return appendDurably(path, bytes);
    }
    bool flushToDisk(const std::string& path) override {
        if (!files.count(path) || !proceed()) return false;
        onDisk([this, path] { diskFiles_[path] = files[path]; });
        return true;
    }

private:
    static bool isInside(const std::string& path, const std::string& folder) {
        return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
               (path[folder.size()] == '/' || path[folder.size()] == '\\');
    }
    static bool isDirectlyInside(const std::string& path, const std::string& folder) {
        return isInside(path, folder) && path.find_first_of("/\\", folder.size() + 1) == std::string::npos;
    }
    bool inAFolder(const std::string& path) const {
        if (!foldersMatter) return true;
        const std::size_t separator = path.find_last_of("/\\");
        return separator != std::string::npos && directories.count(path.substr(0, separator));
    }
    // The code of the last call that failed, as the system keeps it: any
    // call that succeeds after it clears it.
    static constexpr unsigned long kDenied = 5, kSharingViolation = 32;
    unsigned long lastError = 0;
    unsigned long lastErrorCode() const override { return lastError; }
    bool fail(unsigned long code) {
        lastError = code;
        return false;
    }
    bool proceed() {
        lastError = 0;
        if (killed) return false;
        ++steps;
        if (killAtStep && steps == *killAtStep) killed = true;
        return !killed && !(failAtStep && steps == *failAtStep);
    }
    // A change of names reaches the disk with the next step that is written through.
    void later(std::function<void()> change) { pending_.push_back(std::move(change)); }
    void onDisk(const std::function<void()>& change) {
        for (const auto& earlier : pending_) earlier();
        pending_.clear();
        change();
    }

    std::map<std::string, File> diskFiles_;
    std::set<std::string> diskDirectories_;
    std::vector<std::function<void()>> pending_;

    class Input : public RandomAccessInput {
    public:
        explicit Input(std::string content) : content_(std::move(content)) {}
        std::uint64_t size() const override { return content_.size(); }
        bool readAt(std::uint64_t offset, char* data, std::size_t size) override {
            if (offset > content_.size() || size > content_.size() - offset) return false;
            content_.copy(data, size, static_cast<std::size_t>(offset));
            return true;
        }

    private:
        std::string content_;
    };

    class Output : public OutputFile {
    public:
        Output(FakeFileSystem& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
        ~Output() override {
            auto found = owner_.files.find(path_);
            if (found != owner_.files.end()) found->second.open = false;
        }
        void write(const char* data, std::size_t size) override {
            if (owner_.failingWrites.count(path_) || !owner_.proceed())
                throw FileError(FileError::Kind::Write, path_, 112);
            owner_.files.at(path_).content.append(data, size);
        }
        void close() override {
            auto found = owner_.files.find(path_);
            if (found != owner_.files.end()) found->second.open = false;
            if (owner_.failingCloses.count(path_) || !owner_.proceed())
                throw FileError(FileError::Kind::Close, path_, 112);
        }

    private:
        FakeFileSystem& owner_;
        std::string path_;
    };
};

// Dates by text; anything unknown is rejected (0), "overflow" gives -1 and
// "broken" throws.
class FakeDateParser : public DateParser {
public:
    std::map<std::string, double> dates;
    std::vector<std::string> parsed;

    DateValue parse(const std::string& text) override {
        parsed.push_back(text);
        if (text == "broken") throw DateParserError(0x8007000E);
        if (text == "overflow") return DateValue{-1, false};
        auto found = dates.find(text);
        if (found == dates.end()) return DateValue{0, false};
        return DateValue{found->second, true};
    }
};


// A terminated process ends endsAfterMs later on the clock, which each wait
// moves on; a wait returns early every wakeEveryMs (0: never).
class FakeProcessSystem : public ProcessSystem {
public:
    std::vector<std::pair<long, std::string>> processes;
    std::vector<long> terminated;
    FakeClock clock;
    std::uint64_t endsAfterMs = 0;
    std::uint64_t wakeEveryMs = 0;
    bool refusesTermination = false;
    bool ended = false;
    int waits = 0;

    long findFirst(const std::function<bool(const std::string&)>& matches) override {
        for (const auto& [id, name] : processes)
            if (matches(name)) return id;
        return -1;
    }
    std::unique_ptr<EndingProcess> terminate(long processId) override {
        terminated.push_back(processId);
        if (refusesTermination) return nullptr;
        return std::make_unique<Ending>(*this, clock.now + endsAfterMs);
    }

private:
    class Ending : public EndingProcess {
    public:
        Ending(FakeProcessSystem& owner, std::uint64_t endsAt) : owner_(owner), endsAt_(endsAt) {}
        bool waitForEnd(std::uint32_t milliseconds) override {
            ++owner_.waits;
            std::uint64_t step = milliseconds;
            if (owner_.wakeEveryMs) step = std::min<std::uint64_t>(step, owner_.wakeEveryMs);
            if (owner_.clock.now < endsAt_) step = std::min<std::uint64_t>(step, endsAt_ - owner_.clock.now);
            owner_.clock.now += step;
            owner_.ended = owner_.clock.now >= endsAt_;
            return owner_.ended;
        }

    private:
        FakeProcessSystem& owner_;
        std::uint64_t endsAt_;
    };
};

// The session of one connection, made before the engine runs.
class FakeSession : public HttpSession {
public:
    explicit FakeSession(HttpConnection& connection) : connection_(connection) {}
    void connect(const std::string&, std::uint16_t, bool) override {}
    HttpConnection& connection() override { return connection_; }
    void close() override {}

private:
    HttpConnection& connection_;
};

// A wizard's worth of fakes and the context that borrows them.
struct EngineRig {
    UpdateSettings settings;
    FakeMessages messages;
    FakeView view;
    FakeHttp http;
    FakeSession session{http};
    FakeFileSystem files;
    FakeDateParser dates;
    FakeProcessSystem processes;
    FakeSha256Source sha256;
    FakeClock clock;
    UpdateServices services{.codePage = cp936(),
                            .messages = messages,
                            .http = session,
                            .files = files,
                            .dates = dates,
                            .processes = processes,
                            .systemErrorText = nullptr,
                            .applicationName = "Update",
                            .programDirectory = "C:\\Prog\\",
                            .helpFile = "C:\\Prog\\Update.HLP",
                            .sha256 = &sha256};
    UpdateContext context{.services = services, .settings = settings, .view = view, .http = http, .clock = &clock};

    EngineRig() {
        settings.urlPath = "/kelmor/";
        services.programFileName = "Update.exe";
        http.clock = &clock;
    }
};

// The check, its result taken as the wizard takes it: the new version only
// when a manifest was read, and the manifest the run works from.
inline CheckOutcome checkVersion(UpdateContext& context, std::string& newVersion, std::string* manifest = nullptr) {
    VersionCheckResult result = runVersionCheck(context);
    if (result.outcome != CheckOutcome::Failed) newVersion = std::move(result.newVersion);
    if (manifest) *manifest = std::move(result.manifest);
    return result.outcome;
}

}  // namespace updater::fakes
