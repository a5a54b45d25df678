#pragma once
// One request and its body, as both kinds of run fetch a file: the status,
// the framing and the content decide whether the body is the file. What
// fails is shown and listed here, unless the fetch is one that may fail
// silently (a patch, a compressed copy or an object, tried before the file
// itself). Every refused body is logged with its cause.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/manifest/content_check.h"
#include "engine/transfer/entry_plan.h"
#include "engine/transfer/transfer_context.h"

namespace updater {

// Thrown between two chunks once the stop flag is raised; the partial
// download is removed first, unless it waits to be resumed.
struct DownloadStopped {};

// Where a body goes once the answer is known to be the file asked for.
class BodySink {
public:
    virtual ~BodySink() = default;
    // Before the first chunk; false when there is nowhere to put the body.
    virtual bool open() = 0;
    // Before the first chunk of a body that continues the held bytes; false
    // when they cannot be continued.
    virtual bool openFrom(std::uint64_t held) { return held == 0 && open(); }
    // One chunk; false once the body is known to be wrong (nothing more is read).
    virtual bool take(const char* data, std::size_t size) = 0;
    // After the last chunk of a body that arrived whole: whether what it
    // made is the promised content.
    virtual bool finish() = 0;
    // After any failure, an exception included: nothing the body made stays.
    virtual void discard() = 0;
    // After a body that take() or finish() refused: which promise it broke,
    // for the log.
    virtual std::string mismatch() const = 0;
};

// A body written into a file of its own and checked as it arrives: whatever
// stood at its path (a stale file, a link, a read-only file) is replaced,
// never written through. discard() removes the file, unless it is kept when
// cut (a partial download that may be resumed) and nothing in it was wrong.
class CheckedFileSink : public BodySink {
public:
    CheckedFileSink(FileSystem& files, Sha256Source* hashes, const ExpectedContent& expected, std::string path);
    bool open() override;
    // Hashes the held bytes again, then appends to them.
    bool openFrom(std::uint64_t held) override;
    // A body longer than promised is cut short, as it is refused anyway.
    bool take(const char* data, std::size_t size) override;
    bool finish() override;
    void discard() override;
    std::string mismatch() const override { return check_.mismatch(); }

    void keepWhenCut() { keepWhenCut_ = true; }
    // The bytes were found wrong (too many, or not the content): nothing of
    // them is kept.
    bool refused() const { return refused_; }

protected:
    const std::string& path() const { return path_; }

private:
    FileSystem& files_;
    ContentCheck check_;
    std::string path_;
    std::unique_ptr<OutputFile> file_;
    bool keepWhenCut_ = false;
    bool refused_ = false;
};

// How one request for a body ended.
enum class FetchEnd {
    Taken,     // the sink finished with the promised content
    NotTaken,  // not sent, not a 200, a framing that cannot be trusted, no sink, or cut short
    Mismatch,  // a whole body whose bytes broke the sink's SIZE or SHA-256
};

// How a server answered a request for the rest of a file.
enum class RangeAnswer {
    None,       // nothing asked, or no answer
    Appended,   // 206 for exactly the rest: the body continues the held bytes
    Restarted,  // 200: the whole file, from byte 0
    Refused,    // 416: the held bytes are of no use
    Wrong,      // 206 for another part than asked: the try fails
};

struct BodyRequest {
    const std::string& file;       // as the manifest names it
    const std::string& entryFile;  // the entry it serves, for the status line
    // Whether the sink proves the content whole, so that a chunked body,
    // whose cut cannot be told from its end, may be taken.
    bool contentProven = false;
    // Whether the sink checks the raw bytes against both a size and a
    // SHA-256: then a body with a content coding may be taken, as those
    // bytes prove nothing was transformed (the request never asks for one).
    bool bytesProven = false;
    CacheUse cache = CacheUse::Stored;
    // Silent: a failed answer is neither shown nor listed, and a request
    // that cannot be sent is not listed.
    bool silent = false;
    // Set once the download status is shown, so that the entry's later
    // requests do not show it again; nullptr: always shown.
    bool* statusShown = nullptr;
    // With expectedSize: asks only for the bytes from here on, and tells in
    // rangeAnswer how the server answered.
    std::uint64_t from = 0;
    std::uint64_t expectedSize = 0;
    RangeAnswer* rangeAnswer = nullptr;
};

// Whether a Content-Range is exactly "bytes from-(size-1)/size".
bool isRestOfFile(std::string_view contentRange, std::uint64_t from, std::uint64_t size);

// Sends the request and hands the body to sink. A body refused for its
// status, framing or content is logged with its cause, silent or not.
// NetworkError, FileError and DownloadStopped escape after sink.discard().
FetchEnd fetchBody(TransferContext& context, const BodyRequest& request, BodySink& sink);

// Fetches the plan's file (its FILE, or file: an object of the same
// content) into its download path. The box that says the download file
// cannot be made names the local path. NetworkError and FileError escape,
// with no download file left. In a whole release (a part folder in the
// context) a cut download waits there to be resumed.
FetchEnd downloadFile(TransferContext& context, const EntryPlan& plan, const std::string& file, CacheUse cache,
                      bool silent, bool* statusShown);

}  // namespace updater
