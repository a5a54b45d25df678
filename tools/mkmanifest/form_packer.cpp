#include "tools/mkmanifest/form_packer.h"

#include <set>

#include "engine/manifest/content_check.h"
#include "engine/text/hex_text.h"
#include "tools/mkmanifest/naming_rules.h"
#include "tools/mkmanifest/patch_maker.h"
#include "tools/mkmanifest/progress_meter.h"

namespace mkmanifest {
namespace {

// As the manifest lists it; a digest is always 64 hex digits.
updater::ExpectedContent listedContent(const FileDigest& digest) {
    const std::optional<updater::ExpectedContent> content =
        updater::readExpectedContent(std::to_string(digest.size), digest.sha256);
    if (!content) throw PublishError("the SHA-256 " + digest.sha256 + " is not 64 hex digits");
    return *content;
}

std::string hexOf(const updater::Sha256Digest& digest) { return updater::encodeHex(digest.data(), digest.size()); }

bool intact(ReleaseStore& store, const std::string& root, const std::string& name, std::uint64_t size,
            const std::string& sha256) {
    const std::optional<FileDigest> found = store.digestIfPresent(root, name);
    return found && found->size == size && found->sha256 == sha256;
}

bool intact(ReleaseStore& store, const std::string& root, const std::string& name,
            const updater::ExpectedContent& listed) {
    return listed.promisesEverything() && intact(store, root, name, *listed.size, hexOf(*listed.sha256));
}

bool patchable(std::uint64_t size) { return size <= kPatchInputLimitBytes; }

class FilePacker {
public:
    FilePacker(const std::string& releaseDir, const std::string& outDir, ReleaseStore& store)
        : releaseDir_(releaseDir), outDir_(outDir), store_(store) {}

    void pack(PlannedFile& file, const PreviousEntry* before) {
        const bool unchanged = file.change == FileChange::Unchanged && before;
        publishObject(file);
        std::optional<std::string> target;
        if (patchable(file.size) && !store_.digestIfPresent(outDir_, keptContentName(file.sha256))) {
            target = store_.readIfPresent(releaseDir_, file.name).value_or("");
            store_.writeAtomically(outDir_, keptContentName(file.sha256), *target);
        }
        if (unchanged && before->copy && isObjectOf(before->copy->file, before->copy->stored) &&
            intact(store_, outDir_, before->copy->file, before->copy->stored))
            file.copy = before->copy;
        else
            file.copy = makeCopy(file);
        for (const PublishedContent& base : file.history) {
            if (file.patches.size() == updater::kPatchOffers) break;
            const PatchOffer* reusable = unchanged ? listedFrom(*before, base.sha256) : nullptr;
            if (reusable && isObjectOf(reusable->file, reusable->patch) &&
                intact(store_, outDir_, reusable->file, reusable->patch))
                file.patches.push_back(*reusable);
            else if (std::optional<PatchOffer> made = makePatchFrom(file, base, target))
                file.patches.push_back(*made);
        }
        // A patch no smaller than the copy is never worth its request.
        const std::uint64_t worth = file.copy ? *file.copy->stored.size : file.size;
        for (auto it = file.patches.begin(); it != file.patches.end();)
            it = *it->patch.size < worth ? it + 1 : file.patches.erase(it);
    }

private:
    // The file's own bytes under their digest, copied unless already there.
    void publishObject(PlannedFile& file) {
        const std::string name = objectName(file.sha256);
        if (!intact(store_, outDir_, name, file.size, file.sha256)) {
            const FileDigest copied = store_.copy(releaseDir_, file.name, outDir_, name);
            if (copied.size != file.size || copied.sha256 != file.sha256) {
                store_.remove(outDir_, name);
                throw PublishError(file.name + " changed while it was being published; run again");
            }
        }
        file.object = name;
    }

    // Gives what was written under incomingObjectName() its digest's name;
    // an intact object of that name stays as it is, as a client may be
    // reading it.
    std::string settleIncoming(const FileDigest& written) {
        const std::string name = objectName(written.sha256);
        if (intact(store_, outDir_, name, written.size, written.sha256))
            store_.remove(outDir_, incomingObjectName());
        else
            store_.rename(outDir_, incomingObjectName(), name);
        return name;
    }

    static bool isObjectOf(const std::string& name, const updater::ExpectedContent& content) {
        return content.sha256 && name == objectName(hexOf(*content.sha256));
    }

    static const PatchOffer* listedFrom(const PreviousEntry& before, const std::string& base) {
        for (const PatchOffer& patch : before.patches)
            if (hexOf(patch.base) == base) return &patch;
        return nullptr;
    }

    std::optional<CompressedCopy> makeCopy(const PlannedFile& file) {
        const std::string incoming = incomingObjectName();
        const FileDigest packed = store_.compress(releaseDir_, file.name, outDir_, incoming);
        if (packed.size * 10 > file.size * 9) {
            store_.remove(outDir_, incoming);
            return std::nullopt;
        }
        return CompressedCopy{settleIncoming(packed), listedContent(packed)};
    }

    // Only from a kept content that is what its name says.
    std::optional<PatchOffer> makePatchFrom(const PlannedFile& file, const PublishedContent& base,
                                             std::optional<std::string>& target) {
        const std::string kept = keptContentName(base.sha256);
        if (!canMakePatches() || !patchable(file.size)) return std::nullopt;
        if (!intact(store_, outDir_, kept, std::stoull(base.size), base.sha256)) return std::nullopt;
        if (!target) target = store_.readIfPresent(releaseDir_, file.name).value_or("");
        const std::string patch = makePatch(store_.readIfPresent(outDir_, kept).value_or(""), *target);
        if (patch.size() >= file.size) return std::nullopt;
        const std::string incoming = incomingObjectName();
        store_.writeAtomically(outDir_, incoming, patch);
        const FileDigest written = store_.digest(outDir_, incoming);
        PatchOffer offer{{}, settleIncoming(written), listedContent(written)};
        updater::decodeHex(base.sha256, offer.base.data(), offer.base.size());  // well-formed: it is kept
        return offer;
    }

    const std::string& releaseDir_;
    const std::string& outDir_;
    ReleaseStore& store_;
};

bool startsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

void packFiles(const std::string& releaseDir, const std::string& outDir, PublishPlan& plan,
               const PreviousManifest& previous, ReleaseStore& store, std::ostream& err) {
    ProgressMeter meter(err, "packing", plan.files);
    FilePacker packer(releaseDir, outDir, store);
    for (PlannedFile& file : plan.files) {
        const auto before = previous.files.find(file.name);
        packer.pack(file, before == previous.files.end() ? nullptr : &before->second);
        meter.fileDone(file.size);
    }
}

std::string renderWithin(PublishPlan& plan, std::size_t limit,
                         const std::function<std::string(const PublishPlan&)>& render) {
    std::string bytes = render(plan);
    // Steps: 2 patches per file, 1, none, then no copies either, then no objects.
    for (std::size_t step = 1; bytes.size() > limit && step <= updater::kPatchOffers + 2; ++step) {
        for (PlannedFile& file : plan.files) {
            if (step <= updater::kPatchOffers && file.patches.size() > updater::kPatchOffers - step)
                file.patches.resize(updater::kPatchOffers - step);
            if (step > updater::kPatchOffers) file.copy.reset();
            if (step > updater::kPatchOffers + 1) file.object.clear();
        }
        bytes = render(plan);
    }
    return bytes;
}

ObjectCount pruneOutput(const std::string& outDir, const PublishPlan& plan, const PreviousManifest& previous,
                        ReleaseStore& store) {
    std::set<std::string> kept, listed;
    const auto list = [&](const std::optional<CompressedCopy>& copy, const std::vector<PatchOffer>& patches,
                          const std::string& object) {
        for (const PatchOffer& patch : patches) listed.insert(patch.file);
        if (copy) listed.insert(copy->file);
        if (!object.empty()) listed.insert(object);
    };
    for (const PlannedFile& file : plan.files) {
        kept.insert(keptContentName(file.sha256));
        for (std::size_t n = 0; n + 1 < updater::kPatchOffers && n < file.history.size(); ++n)
            kept.insert(keptContentName(file.history[n].sha256));
        list(file.copy, file.patches, file.object);
    }
    for (const auto& [name, entry] : previous.files) list(entry.copy, entry.patches, entry.object.value_or(""));
    const std::string historyPrefix = std::string(kHistoryFolder) + "/";
    ObjectCount objects;
    for (const ListedFile& found : store.listFiles(outDir)) {
        const bool keptContent = startsWith(found.name, historyPrefix);
        if (keptContent ? kept.count(found.name) == 0 : isPackedFormName(found.name) && listed.count(found.name) == 0) {
            store.remove(outDir, found.name);
        } else if (isObjectName(found.name)) {
            ++objects.files;
            objects.bytes += found.size;
        }
    }
    return objects;
}

}  // namespace mkmanifest
