#include "engine/transfer/patch_apply.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/transfer/inflater.h"
#include "engine/transfer/patch_format.h"

namespace updater {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;
constexpr std::size_t kStreamInputBytes = 16 * 1024;

// Ends the rebuild from anywhere below with its outcome.
struct Abort {
    PatchOutcome outcome;
};

[[noreturn]] void malformed() { throw Abort{PatchOutcome::Malformed}; }

// One of the three zlib streams, read from its range of the patch.
class PatchStream {
public:
    PatchStream(RandomAccessInput& patch, std::uint64_t start, std::uint64_t length)
        : patch_(patch), next_(start), end_(start + length), input_(kStreamInputBytes) {}

    // Fills out with exactly size bytes; false when the stream ends cleanly
    // before the first byte. Ending anywhere else is malformed.
    bool read(char* out, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const Inflater::Step step = pump(out + done, size - done);
            done += step.produced;
            if (step.failed) malformed();
            if (step.ended && done < size) {
                if (done == 0 && allowCleanEnd_) return false;
                malformed();
            }
            if (step.produced == 0 && step.consumed == 0 && !step.ended && !refill()) malformed();
        }
        return true;
    }

    // Whole only when the stream ends here, with no byte more, exactly at the
    // end of its stated length.
    void finish() {
        char extra = 0;
        for (;;) {
            const Inflater::Step step = pump(&extra, 1);
            if (step.produced != 0 || step.failed) malformed();
            if (step.ended) break;
            if (step.consumed == 0 && !refill()) malformed();
        }
        if (available_ != 0 || next_ != end_) malformed();
    }

    void allowCleanEnd() { allowCleanEnd_ = true; }

private:
    Inflater::Step pump(char* out, std::size_t size) {
        const Inflater::Step step = inflater_.run(input_.data() + used_, available_, out, size);
        used_ += step.consumed;
        available_ -= step.consumed;
        return step;
    }

    // False when nothing more can be read: the stated length is used up, or
    // zlib took no byte of what it has.
    bool refill() {
        if (available_ != 0 || next_ == end_) return false;
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(input_.size(), end_ - next_));
        if (!patch_.readAt(next_, input_.data(), size)) throw Abort{PatchOutcome::ReadFailed};
        next_ += size;
        used_ = 0;
        available_ = size;
        return true;
    }

    RandomAccessInput& patch_;
    std::uint64_t next_;
    const std::uint64_t end_;
    std::vector<char> input_;
    std::size_t used_ = 0;
    std::size_t available_ = 0;
    bool allowCleanEnd_ = false;
    Inflater inflater_;
};

// Collects the target into chunks for write, counting against its size.
class TargetOutput {
public:
    TargetOutput(std::uint64_t targetSize, const std::function<bool(const char*, std::size_t)>& write)
        : remaining_(targetSize), write_(write), buffer_(kChunkBytes) {}

    std::uint64_t remaining() const { return remaining_; }

    // Room for at most size more bytes, as one contiguous span.
    char* reserve(std::size_t& size) {
        if (filled_ == buffer_.size()) flush();
        size = std::min(size, buffer_.size() - filled_);
        return buffer_.data() + filled_;
    }

    void commit(std::size_t size) {
        filled_ += size;
        remaining_ -= size;
    }

    void flush() {
        if (filled_ == 0) return;
        const std::size_t size = filled_;
        filled_ = 0;
        if (!write_(buffer_.data(), size)) throw Abort{PatchOutcome::Stopped};
    }

private:
    std::uint64_t remaining_;
    const std::function<bool(const char*, std::size_t)>& write_;
    std::vector<char> buffer_;
    std::size_t filled_ = 0;
};

struct Header {
    std::uint64_t baseSize, targetSize, controlLength, diffLength, extraLength;
};

Header readHeader(RandomAccessInput& patch) {
    if (patch.size() < kPatchHeaderBytes) malformed();
    unsigned char bytes[kPatchHeaderBytes];
    if (!patch.readAt(0, reinterpret_cast<char*>(bytes), sizeof bytes)) throw Abort{PatchOutcome::ReadFailed};
    if (std::memcmp(bytes, kPatchMagic, sizeof kPatchMagic) != 0) malformed();
    if (readLittleEndian(bytes + 8, 4) != kPatchVersion || readLittleEndian(bytes + 12, 4) != 0) malformed();
    const Header header{readLittleEndian(bytes + 16, 8), readLittleEndian(bytes + 24, 8),
                        readLittleEndian(bytes + 32, 8), readLittleEndian(bytes + 40, 8),
                        readLittleEndian(bytes + 48, 8)};
    // The three lengths must add up to the file exactly, without wrapping.
    std::uint64_t rest = patch.size() - kPatchHeaderBytes;
    for (const std::uint64_t length : {header.controlLength, header.diffLength, header.extraLength}) {
        if (length > rest) malformed();
        rest -= length;
    }
    if (rest != 0) malformed();
    return header;
}

struct Record {
    std::uint64_t add, copy;
    std::int64_t seek;
};

// Appends add bytes: base bytes at the cursor plus the diff stream's, modulo 256.
void addDiff(RandomAccessInput& base, std::uint64_t cursor, std::uint64_t count, PatchStream& diff,
             TargetOutput& out, std::vector<char>& baseChunk) {
    while (count > 0) {
        std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(count, baseChunk.size()));
        char* target = out.reserve(size);
        if (!base.readAt(cursor, baseChunk.data(), size)) throw Abort{PatchOutcome::ReadFailed};
        if (!diff.read(target, size)) malformed();
        for (std::size_t i = 0; i < size; ++i)
            target[i] = static_cast<char>(static_cast<unsigned char>(target[i]) +
                                          static_cast<unsigned char>(baseChunk[i]));
        out.commit(size);
        cursor += size;
        count -= size;
    }
}

void copyExtra(std::uint64_t count, PatchStream& extra, TargetOutput& out) {
    while (count > 0) {
        std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(count, kChunkBytes));
        char* target = out.reserve(size);
        if (!extra.read(target, size)) malformed();
        out.commit(size);
        count -= size;
    }
}

std::uint64_t seekCursor(std::uint64_t cursor, std::int64_t seek, std::uint64_t baseSize) {
    const auto magnitude = seek < 0 ? 0 - static_cast<std::uint64_t>(seek) : static_cast<std::uint64_t>(seek);
    if (seek < 0) {
        if (magnitude > cursor) malformed();
        return cursor - magnitude;
    }
    if (magnitude > baseSize - cursor) malformed();
    return cursor + magnitude;
}

void rebuild(RandomAccessInput& base, RandomAccessInput& patch, std::uint64_t targetSize,
             const std::function<bool(const char*, std::size_t)>& write) {
    const Header header = readHeader(patch);
    if (header.baseSize != base.size() || header.targetSize != targetSize) malformed();
    PatchStream control(patch, kPatchHeaderBytes, header.controlLength);
    PatchStream diff(patch, kPatchHeaderBytes + header.controlLength, header.diffLength);
    PatchStream extra(patch, kPatchHeaderBytes + header.controlLength + header.diffLength, header.extraLength);
    control.allowCleanEnd();
    TargetOutput out(targetSize, write);
    std::vector<char> baseChunk(kChunkBytes);
    std::uint64_t cursor = 0;
    bool lastWasEmpty = false;
    unsigned char bytes[kPatchRecordBytes];
    while (control.read(reinterpret_cast<char*>(bytes), sizeof bytes)) {
        const Record record{readLittleEndian(bytes, 8), readLittleEndian(bytes + 8, 8),
                            static_cast<std::int64_t>(readLittleEndian(bytes + 16, 8))};
        if (record.add > out.remaining() || record.copy > out.remaining() - record.add) malformed();
        if (record.add > header.baseSize - cursor) malformed();
        // Records that append nothing could be endless; two in a row could have been one.
        const bool empty = record.add == 0 && record.copy == 0;
        if (empty && lastWasEmpty) malformed();
        lastWasEmpty = empty;
        addDiff(base, cursor, record.add, diff, out, baseChunk);
        cursor += record.add;
        copyExtra(record.copy, extra, out);
        cursor = seekCursor(cursor, record.seek, header.baseSize);
    }
    if (out.remaining() != 0) malformed();
    control.finish();
    diff.finish();
    extra.finish();
    out.flush();
}

}  // namespace

PatchOutcome applyPatch(RandomAccessInput& base, RandomAccessInput& patch, std::uint64_t targetSize,
                        const std::function<bool(const char*, std::size_t)>& write) {
    try {
        rebuild(base, patch, targetSize, write);
        return PatchOutcome::Rebuilt;
    } catch (const Abort& abort) {
        return abort.outcome;
    }
}

}  // namespace updater
