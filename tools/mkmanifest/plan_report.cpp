#include "tools/mkmanifest/plan_report.h"

namespace mkmanifest {

std::string planReport(const PublishPlan& plan, bool listUnchanged) {
    std::string report = "version: ";
    if (plan.previousVersion)
        report += *plan.previousVersion + " -> " + plan.version + "\n";
    else
        report += plan.version + " (no earlier version of " + plan.product + ")\n";

    const char* words[] = {"new      ", "changed  ", "unchanged"};  // by FileChange
    std::size_t counts[3] = {0, 0, 0};
    for (const PlannedFile& file : plan.files) {
        ++counts[static_cast<int>(file.change)];
        if (file.change == FileChange::Unchanged && !listUnchanged) continue;
        report += std::string(words[static_cast<int>(file.change)]) + "  " + file.name + "  " + file.timestamp + "\n";
    }
    for (const std::string& name : plan.removed) report += "removed    " + name + "\n";

    report += std::to_string(plan.files.size()) + " files: " + std::to_string(counts[0]) + " new, " +
              std::to_string(counts[1]) + " changed, " + std::to_string(counts[2]) + " unchanged; " +
              std::to_string(plan.removed.size()) + " removed\n";
    return report;
}

}  // namespace mkmanifest
