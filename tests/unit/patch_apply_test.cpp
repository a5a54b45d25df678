// The applier on hand-built patches: one whole patch, then each way a patch
// can be broken or hostile, each of which must end Malformed without writing
// past the target size.
#include "engine/transfer/patch_apply.h"

#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>

#include "tests/unit/test_patches.h"

namespace updater {
namespace {

using fakes::PatchParts;
using fakes::zlibOf;

class MemoryInput : public RandomAccessInput {
public:
    explicit MemoryInput(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool readAt(std::uint64_t offset, char* data, std::size_t size) override {
        if (failReads || offset > bytes_.size() || size > bytes_.size() - offset) return false;
        bytes_.copy(data, size, offset);
        return true;
    }
    bool failReads = false;

private:
    std::string bytes_;
};

std::string pseudoRandom(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 23);
    return bytes;
}

// Target = 3 extra bytes, base[10, 10 + n) with every 7th byte raised by 200
// (so sums wrap), then base[0, 50): chunked over 64 KiB when the base is large.
struct Example {
    std::string base, target;
    PatchParts parts;

    explicit Example(std::size_t baseSize) : base(pseudoRandom(baseSize, 7)) {
        const std::size_t middle = baseSize - 10;
        std::string changed = base.substr(10, middle);
        for (std::size_t i = 0; i < changed.size(); i += 7) changed[i] = static_cast<char>(changed[i] + 200);
        target = "abc" + changed + base.substr(0, 50);
        parts.baseSize = baseSize;
        parts.targetSize = target.size();
        parts.records = {{0, 3, 10}, {middle, 0, -static_cast<std::int64_t>(baseSize)}, {50, 0, 0}};
        parts.extra = "abc";
        std::string diff = changed + base.substr(0, 50);
        const std::string from = base.substr(10, middle) + base.substr(0, 50);
        for (std::size_t i = 0; i < diff.size(); ++i) diff[i] = static_cast<char>(diff[i] - from[i]);
        parts.diff = diff;
    }
};

struct Applied {
    PatchOutcome outcome;
    std::string written;
    std::size_t largestChunk = 0;
};

Applied apply(const std::string& base, const std::string& patch, std::uint64_t targetSize) {
    MemoryInput baseInput(base), patchInput(patch);
    Applied applied{};
    applied.outcome = applyPatch(baseInput, patchInput, targetSize, [&](const char* data, std::size_t size) {
        applied.written.append(data, size);
        applied.largestChunk = std::max(applied.largestChunk, size);
        return true;
    });
    return applied;
}

TEST(PatchApply, RebuildsTheTargetInChunksOfAtMost64KiB) {
    for (const std::size_t baseSize : {60u, 200000u}) {
        Example example(baseSize);
        const Applied applied = apply(example.base, example.parts.pack(), example.target.size());
        ASSERT_EQ(applied.outcome, PatchOutcome::Rebuilt) << baseSize;
        EXPECT_TRUE(applied.written == example.target) << baseSize;
        EXPECT_LE(applied.largestChunk, 64u * 1024);
    }
    const Applied empty = apply("", PatchParts{}.pack(), 0);
    EXPECT_EQ(empty.outcome, PatchOutcome::Rebuilt);
    EXPECT_EQ(empty.written, "");
}

TEST(PatchApply, EveryBrokenOrHostilePatchIsMalformedAndNeverWritesPastTheTarget) {
    const std::string zeros(4 << 20, '\0');
    const std::vector<std::pair<const char*, std::function<void(PatchParts&)>>> spoilers = {
        {"bad magic", [](PatchParts& p) { p.magic = "UPDPATCX"; }},
        {"version 2", [](PatchParts& p) { p.version = 2; }},
        {"flags", [](PatchParts& p) { p.flags = 1; }},
        {"base size differs", [](PatchParts& p) { p.baseSize += 1; }},
        {"target size differs", [](PatchParts& p) { p.targetSize -= 1; }},
        {"add reads past the base", [](PatchParts& p) { p.records[1].seek = -10; }},
        {"seek below zero", [](PatchParts& p) { p.records[1].seek -= 1; }},
        {"seek past the base", [](PatchParts& p) { p.records[0].seek = 61; }},
        {"output past the target", [](PatchParts& p) { p.records.push_back({0, 1, 0}); p.extra += "x"; }},
        {"records end before the target", [](PatchParts& p) { p.records.pop_back(); }},
        {"control ends mid-record", [](PatchParts& p) { p.rawControlTail = "12345"; }},
        {"two empty records in a row", [](PatchParts& p) { p.records.insert(p.records.begin(), 2, {0, 0, 0}); }},
        {"diff stream too long", [](PatchParts& p) { p.diff += "x"; }},
        {"diff stream too short", [](PatchParts& p) { p.diff.pop_back(); }},
        {"extra stream too long", [](PatchParts& p) { p.extra += "x"; }},
        {"extra stream too short", [](PatchParts& p) { p.extra.pop_back(); }},
        {"bytes after the third stream", [](PatchParts& p) { p.trailing = "x"; }},
        {"bytes after a zlib stream", [](PatchParts& p) { p.packedDiff = zlibOf(p.diff) + "x"; }},
        {"truncated stream", [](PatchParts& p) { p.packedExtra = zlibOf(p.extra); p.packedExtra.pop_back(); }},
        {"corrupt stream", [](PatchParts& p) { p.packedControl = "\x78\x9c\xff\xff\xff\xff\xff\xff"; }},
        {"extra stream bomb", [&](PatchParts& p) { p.extra = "abc" + zeros; }},
        {"control stream bomb", [&](PatchParts& p) { p.rawControlTail = zeros; }},
        {"copy as large as a bomb", [](PatchParts& p) { p.records[0].copy = 1ull << 40; }},
    };
    for (const auto& [name, spoil] : spoilers) {
        Example example(60);
        spoil(example.parts);
        const Applied applied = apply(example.base, example.parts.pack(), example.target.size());
        EXPECT_EQ(applied.outcome, PatchOutcome::Malformed) << name;
        EXPECT_LE(applied.written.size(), example.target.size()) << name;
    }
    Example example(60);
    EXPECT_EQ(apply(example.base, example.parts.pack().substr(0, 55), example.target.size()).outcome,
              PatchOutcome::Malformed);
}

TEST(PatchApply, ReadFailuresAndAStopFromTheWriterAreTheirOwnOutcomes) {
    Example example(200000);
    const std::string patch = example.parts.pack();
    MemoryInput base(example.base), brokenBase(example.base), patchInput(patch), brokenPatch(patch);
    brokenBase.failReads = brokenPatch.failReads = true;
    const auto keep = [](const char*, std::size_t) { return true; };
    EXPECT_EQ(applyPatch(brokenBase, patchInput, example.target.size(), keep), PatchOutcome::ReadFailed);
    EXPECT_EQ(applyPatch(base, brokenPatch, example.target.size(), keep), PatchOutcome::ReadFailed);
    int calls = 0;
    EXPECT_EQ(applyPatch(base, patchInput, example.target.size(),
                         [&](const char*, std::size_t) { return ++calls < 2; }),
              PatchOutcome::Stopped);
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace updater
