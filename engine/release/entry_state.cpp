#include "engine/release/entry_state.h"

#include "engine/manifest/safe_manifest_name.h"

namespace updater {

namespace {
// The local time is whole seconds and the manifest's comes from another
// conversion; half a second keeps equal times equal despite rounding.
constexpr double kHalfSecondInDays = 0.5 / 86400;
}  // namespace

std::vector<ManifestEntry> listEntries(const UpdateManifest& manifest) {
    std::vector<ManifestEntry> entries;
    while (std::optional<ManifestEntry> entry = manifest.entry(entries.size())) entries.push_back(std::move(*entry));
    return entries;
}

bool isLocalFileCurrent(UpdateContext& context, const std::optional<LocalEntry>& local, const std::string& version) {
    if (!local) return false;
    // Rejected text (0) and overflow (-1) are compared like any other date.
    return context.services.dates.parse(version).value <= local->lastWriteDate + kHalfSecondInDays;
}

bool isUpdaterItself(const UpdateContext& context, const std::string& file) {
    return !context.services.programFileName.empty() &&
           manifestNameKey(file, context.services.codePage) == manifestNameKey(context.services.programFileName, context.services.codePage);
}

std::string runMessage(const UpdateContext& context, MessageId id, std::string_view arg) {
    return fillPercentS(context.services.messages.load(id), {arg});
}

}  // namespace updater
