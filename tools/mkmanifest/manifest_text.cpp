#include "tools/mkmanifest/manifest_text.h"

#include "engine/manifest/manifest_writer.h"

namespace mkmanifest {

std::string manifestText(const PublishPlan& plan) {
    updater::ManifestWriter writer;
    writer.product(plan.product, plan.version, plan.wholeRelease);
    for (const PlannedFile& file : plan.files)
        writer.entry({file.name, file.timestamp, std::to_string(file.size), file.sha256, file.history, file.patches,
                      file.copy, file.object.empty() ? std::nullopt : std::optional<std::string>(file.object)});
    for (const PlannedDrop& drop : plan.dropped) writer.dropped({drop.name, drop.history, std::to_string(drop.age)});
    return writer.text();
}

}  // namespace mkmanifest
