#include "engine/transfer/compressed_copy.h"

#include <new>
#include <vector>

#include "engine/transfer/file_download.h"
#include "engine/transfer/inflater.h"

namespace updater {

namespace {

constexpr std::size_t kInflatedChunkBytes = 64 * 1024;

// Checks the stored bytes and what they inflate to, both as they pass, so
// that neither is ever held whole; output past SIZE stops the body at once,
// which disarms a decompression bomb.
class InflatingSink : public BodySink {
public:
    InflatingSink(TransferContext& context, const CompressedCopy& copy, const EntryPlan& plan)
        : stored_(context.sha256, copy.stored),
          output_(context.files, context.sha256, plan.expected, plan.downloadPath), buffer_(kInflatedChunkBytes) {}

    bool open() override { return output_.open(); }
    bool take(const char* data, std::size_t size) override {
        if (!stored_.add(data, size)) return refuse(stored_.mismatch());
        for (;;) {
            // Bytes after the end of the stream are not the copy.
            if (ended_) return size == 0 || refuse("bytes after the end of its zlib stream");
            const Inflater::Step step = inflater_.run(data, size, buffer_.data(), buffer_.size());
            if (step.failed) return refuse("not a zlib stream");
            // No progress: all input is in, or the stream is stuck.
            if (step.consumed == 0 && step.produced == 0 && !step.ended)
                return size == 0 || refuse("a zlib stream that does not go on");
            if (step.produced > 0 && !output_.take(buffer_.data(), step.produced))
                return refuse("inflated, " + output_.mismatch());
            data += step.consumed;
            size -= step.consumed;
            ended_ = step.ended;
            // A full buffer may leave output waiting inside zlib.
            if (size == 0 && step.produced < buffer_.size()) return true;
        }
    }
    bool finish() override {
        storedMatches_ = stored_.matches();
        return ended_ && storedMatches_ && output_.finish();
    }
    void discard() override { output_.discard(); }
    std::string mismatch() const override {
        if (!why_.empty()) return why_;
        if (!storedMatches_) return stored_.mismatch();
        if (!ended_) return "not a whole zlib stream";
        return "inflated, " + output_.mismatch();
    }

private:
    ContentCheck stored_;
    CheckedFileSink output_;
    Inflater inflater_;
    std::vector<char> buffer_;
    bool ended_ = false;
    bool storedMatches_ = true;  // until finish() checks
    std::string why_;            // what take() refused

    bool refuse(std::string why) {
        why_ = std::move(why);
        return false;
    }
};

}  // namespace

bool fetchCompressedCopy(TransferContext& context, const EntryPlan& plan, bool& statusShown) {
    const CompressedCopy& copy = *plan.entry.copy;
    try {
        InflatingSink sink(context, copy, plan);
        return fetchBody(context,
                         {.file = copy.file, .entryFile = plan.entry.file, .contentProven = true,
                          .bytesProven = true, .silent = true, .statusShown = &statusShown},
                         sink) == FetchEnd::Taken;
    } catch (const NetworkError&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace updater
