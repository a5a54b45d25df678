#include "tools/mkmanifest/patch_maker.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/transfer/patch_format.h"
#include "tools/mkmanifest/deflater.h"
#include "tools/mkmanifest/suffix_sort.h"

namespace mkmanifest {
namespace {

// A new alignment must explain this many more bytes than the current one
// before it is taken: each switch costs a record.
constexpr std::size_t kMinGain = 8;

// Where a region of the target lines up with the base: target[t] ~ base[t + offset].
struct Anchor {
    std::size_t target;
    std::size_t base;
};

struct Match {
    std::size_t base = 0;
    std::size_t length = 0;
};

std::size_t commonPrefix(const char* a, std::size_t aSize, const char* b, std::size_t bSize) {
    const std::size_t limit = std::min(aSize, bSize);
    std::size_t n = 0;
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

class MatchFinder {
public:
    MatchFinder(const std::string& base, const std::string& target)
        : base_(base), target_(target), suffixes_(sortSuffixes(base)) {}

    // The longest exact match of the target's suffix at t anywhere in the base.
    Match longest(std::size_t t) const {
        const char* pattern = target_.data() + t;
        const std::size_t patternSize = target_.size() - t;
        // The first suffix not below the pattern; the best match is it or the one before.
        std::size_t low = 0, high = suffixes_.size();
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            const std::size_t at = static_cast<std::size_t>(suffixes_[middle]);
            const std::size_t size = base_.size() - at;
            const int order = std::memcmp(base_.data() + at, pattern, std::min(size, patternSize));
            if (order < 0 || (order == 0 && size < patternSize)) low = middle + 1;
            else high = middle;
        }
        Match best;
        for (const std::size_t index : {low, low - 1}) {
            if (index >= suffixes_.size()) continue;  // low - 1 wraps when low is 0
            const std::size_t at = static_cast<std::size_t>(suffixes_[index]);
            const std::size_t length = commonPrefix(base_.data() + at, base_.size() - at, pattern, patternSize);
            if (length > best.length) best = {at, length};
        }
        return best;
    }

private:
    const std::string& base_;
    const std::string& target_;
    std::vector<std::int32_t> suffixes_;
};

class PatchPlanner {
public:
    PatchPlanner(const std::string& base, const std::string& target) : base_(base), target_(target) {}

    // Walks the target, switching to a new alignment wherever an exact match
    // explains clearly more than the current alignment does there.
    std::vector<Anchor> anchors(const MatchFinder& finder) const {
        std::vector<Anchor> found{{0, 0}};
        // kept counts the target bytes in [t, scored) that the current alignment reproduces.
        std::size_t t = 0, scored = 0, kept = 0;
        while (t < target_.size()) {
            const Match match = finder.longest(t);
            for (; scored < t + match.length; ++scored) kept += sameAt(scored, found.back());
            if (match.length > 0 && match.length >= kept + kMinGain) {
                found.push_back({t, match.base});
                t = scored = t + match.length;
                kept = 0;
            } else if (match.length > 0 && kept >= match.length) {
                t = scored = t + match.length;  // the current alignment already covers it
                kept = 0;
            } else {
                if (t < scored) kept -= sameAt(t, found.back());
                scored = std::max(scored, ++t);
            }
        }
        return found;
    }

    bool sameAt(std::size_t t, const Anchor& anchor) const {
        const std::size_t b = t - anchor.target + anchor.base;  // wraps when before the base; then too large
        return b < base_.size() && base_[b] == target_[t];
    }

    // How far the alignment reaches forward from the anchor, up to limit:
    // the length where agreeing minus differing bytes peaks.
    std::size_t reachForward(const Anchor& anchor, std::size_t limit) const {
        limit = std::min(limit, base_.size() - std::min(anchor.base, base_.size()));
        long score = 0, bestScore = 0;
        std::size_t best = 0;
        for (std::size_t n = 0; n < limit; ++n) {
            score += sameAt(anchor.target + n, anchor) ? 1 : -1;
            if (score > bestScore) bestScore = score, best = n + 1;
        }
        return best;
    }

    // The same backward from the anchor, over at most limit bytes.
    std::size_t reachBackward(const Anchor& anchor, std::size_t limit) const {
        limit = std::min({limit, anchor.base, anchor.target});
        long score = 0, bestScore = 0;
        std::size_t best = 0;
        for (std::size_t n = 1; n <= limit; ++n) {
            score += sameAt(anchor.target - n, anchor) ? 1 : -1;
            if (score > bestScore) bestScore = score, best = n;
        }
        return best;
    }

private:
    const std::string& base_;
    const std::string& target_;
};

// One stretch of the target rebuilt from the base: target[target, target +
// length) from base[base, base + length).
struct Stretch {
    std::size_t target, base, length;
};

std::vector<Stretch> stretchesOf(const PatchPlanner& planner, const std::vector<Anchor>& anchors,
                                 std::size_t targetSize) {
    std::vector<Stretch> stretches;
    std::size_t start = 0, startBase = 0;  // where the current anchor's stretch begins
    for (std::size_t i = 0; i < anchors.size(); ++i) {
        const Anchor& anchor = anchors[i];
        const std::size_t next = i + 1 < anchors.size() ? anchors[i + 1].target : targetSize;
        std::size_t end = anchor.target + planner.reachForward(anchor, next - anchor.target);
        std::size_t nextStart = next;
        if (i + 1 < anchors.size()) {
            const Anchor& following = anchors[i + 1];
            nextStart = next - planner.reachBackward(following, next - anchor.target);
            if (nextStart < end) {
                // Overlap: split where the two alignments together agree most.
                std::size_t split = nextStart, bestSplit = nextStart;
                long score = 0, bestScore = 0;
                for (; split < end; ++split) {
                    score += static_cast<long>(planner.sameAt(split, anchor)) -
                             static_cast<long>(planner.sameAt(split, following));
                    if (score > bestScore) bestScore = score, bestSplit = split + 1;
                }
                end = nextStart = bestSplit;
            }
        }
        if (end > start) stretches.push_back({start, startBase, end - start});
        if (i + 1 < anchors.size()) {
            start = nextStart;
            startBase = anchors[i + 1].base - (next - nextStart);
        }
    }
    return stretches;
}

void appendNumber(std::string& to, std::uint64_t value, std::size_t count) {
    unsigned char bytes[8];
    updater::writeLittleEndian(value, bytes, count);
    to.append(reinterpret_cast<const char*>(bytes), count);
}

// The three streams, compressed as records are added.
class PatchWriter {
public:
    PatchWriter()
        : control_([this](const char* d, std::size_t n) { packedControl_.append(d, n); }),
          diff_([this](const char* d, std::size_t n) { packedDiff_.append(d, n); }),
          extra_([this](const char* d, std::size_t n) { packedExtra_.append(d, n); }) {}

    void record(std::uint64_t add, std::uint64_t copy, std::int64_t seek) {
        std::string bytes;
        appendNumber(bytes, add, 8);
        appendNumber(bytes, copy, 8);
        appendNumber(bytes, static_cast<std::uint64_t>(seek), 8);
        control_.add(bytes.data(), bytes.size());
    }
    void diff(const char* base, const char* target, std::size_t size) {
        char chunk[4096];
        while (size > 0) {
            const std::size_t n = std::min(size, sizeof chunk);
            for (std::size_t i = 0; i < n; ++i) chunk[i] = static_cast<char>(target[i] - base[i]);
            diff_.add(chunk, n);
            base += n, target += n, size -= n;
        }
    }
    void extra(const char* data, std::size_t size) { extra_.add(data, size); }

    std::string finish(std::uint64_t baseSize, std::uint64_t targetSize) {
        control_.finish();
        diff_.finish();
        extra_.finish();
        std::string patch(updater::kPatchMagic, sizeof updater::kPatchMagic);
        appendNumber(patch, updater::kPatchVersion, 4);
        appendNumber(patch, 0, 4);
        appendNumber(patch, baseSize, 8);
        appendNumber(patch, targetSize, 8);
        for (const std::string* stream : {&packedControl_, &packedDiff_, &packedExtra_})
            appendNumber(patch, stream->size(), 8);
        return patch + packedControl_ + packedDiff_ + packedExtra_;
    }

private:
    std::string packedControl_, packedDiff_, packedExtra_;
    Deflater control_, diff_, extra_;
};

}  // namespace

bool canMakePatches() { return canSortSuffixes(); }

std::string makePatch(const std::string& base, const std::string& target) {
    const PatchPlanner planner(base, target);
    std::vector<Anchor> anchors;
    {
        const MatchFinder finder(base, target);  // the suffix array goes before the streams grow
        anchors = planner.anchors(finder);
    }
    const std::vector<Stretch> stretches = stretchesOf(planner, anchors, target.size());
    PatchWriter writer;
    // A first record reaches the first stretch: the target bytes before it, and the seek to it.
    const std::size_t firstTarget = stretches.empty() ? target.size() : stretches.front().target;
    const std::size_t firstBase = stretches.empty() ? 0 : stretches.front().base;
    if (firstTarget != 0 || firstBase != 0) {
        writer.record(0, firstTarget, static_cast<std::int64_t>(firstBase));
        writer.extra(target.data(), firstTarget);
    }
    // Then one record per stretch: its bytes as differences, the target bytes
    // up to the next stretch, and the seek to it.
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        const Stretch& here = stretches[i];
        const std::size_t end = here.target + here.length;
        const std::size_t nextTarget = i + 1 < stretches.size() ? stretches[i + 1].target : target.size();
        const std::size_t nextBase = i + 1 < stretches.size() ? stretches[i + 1].base : here.base + here.length;
        writer.record(here.length, nextTarget - end,
                      static_cast<std::int64_t>(nextBase) - static_cast<std::int64_t>(here.base + here.length));
        writer.diff(base.data() + here.base, target.data() + here.target, here.length);
        writer.extra(target.data() + end, nextTarget - end);
    }
    return writer.finish(base.size(), target.size());
}

}  // namespace mkmanifest
