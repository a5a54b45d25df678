#pragma once
// The patches and compressed copies of a publication, and the kept contents
// they start from (packed_forms.h names them).
#include <functional>
#include <ostream>
#include <string>

#include "tools/mkmanifest/previous_manifest.h"
#include "tools/mkmanifest/publish_plan.h"
#include "tools/mkmanifest/release_store.h"

namespace mkmanifest {

// Publishes each file's content as an object and keeps it in the output's
// .history folder, and lists in the plan a patch from each of the last
// updater::kPatchOffers kept contents of its history and a zlib copy when
// that saves at least 10 %, both as objects. Intact objects of the previous
// publication are reused; the others are made. A file or base over
// kPatchInputLimitBytes gets no patch, nor does any file in a build that
// cannot make patches.
void packFiles(const std::string& releaseDir, const std::string& outDir, PublishPlan& plan,
               const PreviousManifest& previous, ReleaseStore& store, std::ostream& err);

// The manifest render gives for the plan, within limit bytes if it can be:
// the oldest patches are left out first, then the copies, then the objects,
// never the history.
std::string renderWithin(PublishPlan& plan, std::size_t limit,
                         const std::function<std::string(const PublishPlan&)>& render);

struct ObjectCount {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
};

// After the manifest is written: deletes the objects (and patches and copies
// under the names of earlier publications) that neither it nor the previous
// manifest names, since a client may still read that one, and every kept
// content but the last updater::kPatchOffers of each file, the ones the next
// publication's patches can start from. Returns what _objects/ keeps.
ObjectCount pruneOutput(const std::string& outDir, const PublishPlan& plan, const PreviousManifest& previous,
                        ReleaseStore& store);

}  // namespace mkmanifest
