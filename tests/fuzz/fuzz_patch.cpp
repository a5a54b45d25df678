// The patch applier on patches built from arbitrary bytes. The input names a
// base, records, diff and extra bytes; the harness packs them as a patch, so
// that whole patches are common, and may then flip or cut one byte of it.
// Invariants:
// - no more than the target size is ever written;
// - Rebuilt only when a plain reading of the same records (below) gives a
//   whole target, and then exactly that target;
// - an unspoiled patch whose records are whole is Rebuilt.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "engine/transfer/patch_apply.h"
#include "tests/unit/test_patches.h"

namespace {

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t number(std::size_t count) {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < count; ++i) value |= std::uint64_t{byte()} << (8 * i);
        return value;
    }
    unsigned char byte() {
        if (bytes_.empty()) return 0;
        const auto value = static_cast<unsigned char>(bytes_.front());
        bytes_.remove_prefix(1);
        return value;
    }
    std::string take(std::size_t count) {
        const std::string_view taken = bytes_.substr(0, count);
        bytes_.remove_prefix(taken.size());
        return std::string(taken);
    }

private:
    std::string_view bytes_;
};

using Record = updater::fakes::PatchRecord;

// The format's rules read as plainly as possible, all in memory.
std::optional<std::string> reference(const std::string& base, const std::vector<Record>& records,
                                     const std::string& diff, const std::string& extra, std::uint64_t targetSize) {
    std::string target;
    std::uint64_t cursor = 0, diffAt = 0, extraAt = 0;
    bool lastEmpty = false;
    for (const Record& r : records) {
        const bool empty = r.add == 0 && r.copy == 0;
        if (empty && lastEmpty) return std::nullopt;
        lastEmpty = empty;
        if (r.add > base.size() || cursor > base.size() - r.add) return std::nullopt;
        if (r.add > diff.size() - diffAt || r.add > targetSize - target.size()) return std::nullopt;
        for (std::uint64_t i = 0; i < r.add; ++i) target += static_cast<char>(base[cursor + i] + diff[diffAt + i]);
        cursor += r.add;
        diffAt += r.add;
        if (r.copy > extra.size() - extraAt || r.copy > targetSize - target.size()) return std::nullopt;
        target += extra.substr(extraAt, r.copy);
        extraAt += r.copy;
        const long double moved = static_cast<long double>(cursor) + static_cast<long double>(r.seek);
        if (moved < 0 || moved > static_cast<long double>(base.size())) return std::nullopt;
        cursor = static_cast<std::uint64_t>(static_cast<std::int64_t>(cursor) + r.seek);
    }
    if (target.size() != targetSize || diffAt != diff.size() || extraAt != extra.size()) return std::nullopt;
    return target;
}

class MemoryInput : public updater::RandomAccessInput {
public:
    explicit MemoryInput(const std::string& bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool readAt(std::uint64_t offset, char* data, std::size_t size) override {
        fuzz::require(offset <= bytes_.size() && size <= bytes_.size() - offset, "read outside an input");
        bytes_.copy(data, size, offset);
        return true;
    }

private:
    const std::string& bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(std::string_view(reinterpret_cast<const char*>(data), size));
    const unsigned char mode = in.byte();
    const std::string base = in.take(in.number(2) % 512);
    const std::uint64_t targetSize = in.number(2) % 1024;
    std::vector<Record> records(in.byte() % 16);
    for (Record& r : records) {
        // Small values mostly, so that records fit; now and then any 64 bits.
        const unsigned char wide = in.byte();
        r.add = in.number(wide & 1 ? 8 : 1);
        r.copy = in.number(wide & 2 ? 8 : 1);
        r.seek = wide & 4 ? static_cast<std::int64_t>(in.number(8)) : static_cast<std::int8_t>(in.byte());
    }
    const std::string diff = in.take(in.number(2) % 1024);
    const std::string extra = in.take(in.number(2) % 1024);
    const std::uint64_t spoilAt = in.number(2);
    const unsigned char spoilWith = in.byte();

    updater::fakes::PatchParts parts;
    parts.baseSize = base.size();
    parts.targetSize = targetSize;
    parts.records = records;
    parts.diff = diff;
    parts.extra = extra;
    std::string patch = parts.pack();
    const bool spoiled = (mode & 3) != 0 && !patch.empty();
    if (mode & 1) patch[spoilAt % patch.size()] ^= static_cast<char>(spoilWith | 1);
    if (mode & 2) patch.resize(spoilAt % patch.size());

    MemoryInput baseInput(base), patchInput(patch);
    std::string written;
    const updater::PatchOutcome outcome =
        updater::applyPatch(baseInput, patchInput, targetSize, [&](const char* bytes, std::size_t count) {
            fuzz::require(count <= 64 * 1024, "a chunk over 64 KiB");
            written.append(bytes, count);
            fuzz::require(written.size() <= targetSize, "wrote past the target size");
            return true;
        });
    const std::optional<std::string> expected = reference(base, records, diff, extra, targetSize);
    if (outcome == updater::PatchOutcome::Rebuilt) {
        fuzz::require(expected.has_value(), "rebuilt from records that are not whole");
        fuzz::require(written == *expected, "rebuilt a wrong target", written);
    } else {
        fuzz::require(outcome == updater::PatchOutcome::Malformed, "an outcome other than Malformed");
        fuzz::require(spoiled || !expected, "refused a whole patch");
    }
    return 0;
}
