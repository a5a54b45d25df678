// Patches made by mkmanifest, applied by the updater's applier: every pair
// rebuilds exactly, and a small change makes a small patch.
#include "tools/mkmanifest/patch_maker.h"

#include <gtest/gtest.h>

#include "engine/transfer/patch_apply.h"

namespace mkmanifest {
namespace {

class BytesInput : public updater::RandomAccessInput {
public:
    explicit BytesInput(const std::string& bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool readAt(std::uint64_t offset, char* data, std::size_t size) override {
        return offset + size <= bytes_.size() && bytes_.copy(data, size, offset) == size;
    }

private:
    const std::string& bytes_;
};

std::string rebuilt(const std::string& base, const std::string& patch, std::uint64_t targetSize) {
    BytesInput baseInput(base), patchInput(patch);
    std::string target;
    const auto outcome = updater::applyPatch(baseInput, patchInput, targetSize, [&](const char* data, std::size_t size) {
        target.append(data, size);
        return true;
    });
    return outcome == updater::PatchOutcome::Rebuilt ? target : "<not rebuilt>";
}

std::string pseudoRandom(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 23);
    return bytes;
}

TEST(MkmanifestPatch, EveryPairRebuildsExactlyAndSmallChangesMakeSmallPatches) {
    const std::string program = pseudoRandom(300000, 1);
    std::string shifted = program;
    shifted.insert(1000, "inserted");
    shifted.erase(200000, 5000);
    for (std::size_t at = 50000; at < 60000; at += 97) shifted[at] = static_cast<char>(shifted[at] + 3);
    const std::string reordered = program.substr(150000) + pseudoRandom(100, 2) + program.substr(0, 150000);
    struct Pair {
        const char* name;
        std::string base, target;
        std::size_t largestPatch;
    };
    const Pair pairs[] = {
        {"both empty", "", "", 100},
        {"empty base", "", "abc", 100},
        {"empty target", program, "", 100},
        {"same", program, program, 2000},
        {"unrelated", pseudoRandom(5000, 3), pseudoRandom(7000, 4), 7200},
        {"insertions, a deletion and small differences", program, shifted, 3000},
        {"halves swapped", program, reordered, 2000},
        {"one byte", "a", "b", 100},
    };
    for (const Pair& pair : pairs) {
        const std::string patch = makePatch(pair.base, pair.target);
        EXPECT_TRUE(rebuilt(pair.base, patch, pair.target.size()) == pair.target) << pair.name;
        EXPECT_LE(patch.size(), pair.largestPatch) << pair.name;
    }
}

}  // namespace
}  // namespace mkmanifest
