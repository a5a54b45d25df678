#include "tools/mkmanifest/publish_plan.h"

#include <algorithm>
#include <map>
#include <set>

#include "engine/text/code_page.h"
#include "engine/manifest/safe_manifest_name.h"
#include "engine/text/version_number.h"
#include "tools/mkmanifest/naming_rules.h"

namespace mkmanifest {
namespace {

// Hex digits of either case; the manifest may have been written by hand.
bool sameContent(const ReleaseFile& file, const PreviousEntry& entry) {
    return entry.size == std::to_string(file.size) && !file.sha256.empty() && !entry.timestamp.empty() &&
           updater::equalsIgnoreCase(entry.sha256, file.sha256, updater::cp936());
}

// The version as the client reads it, when that differs from its text.
std::string readingOf(const std::string& version) {
    const std::string number = clientReading(version);
    return version == number ? "" : " (reads as " + number + ")";
}

// The content last published for an entry; nothing when it was not well-formed.
std::optional<PublishedContent> lastContent(const PreviousEntry& entry) {
    return wellFormedContent(entry.size, entry.sha256);
}

std::vector<PublishedContent> historyOf(const ReleaseFile& file, const PreviousManifest& previous) {
    const std::optional<PublishedContent> current = wellFormedContent(std::to_string(file.size), file.sha256);
    if (auto earlier = previous.files.find(file.name); earlier != previous.files.end())
        return historyAfter(lastContent(earlier->second), earlier->second.history, current);
    if (auto drop = previous.dropped.find(file.name); drop != previous.dropped.end())
        return historyAfter(std::nullopt, drop->second.history, current);
    return {};
}

// Files removed now and drops still inside the window. A drop needs a
// content to recognise; one whose name is a file of this release in another
// letter case is that file on a client, never to be removed.
std::vector<PlannedDrop> dropsOf(const PublishPlan& plan, const PreviousManifest& previous) {
    std::set<std::string> published;  // folded names, made at the first drop
    const updater::CodePage& cp = clientCodePage(plan.codePage);
    const auto isPublished = [&](const std::string& name) {
        if (published.empty())
            for (const PlannedFile& file : plan.files) published.insert(updater::manifestNameKey(file.name, cp));
        return published.count(updater::manifestNameKey(name, cp)) != 0;
    };
    std::vector<PlannedDrop> drops;
    const auto add = [&](const std::string& name, int age, std::vector<PublishedContent> history) {
        if (age <= kDropWindow && !history.empty() && !isPublished(name))
            drops.push_back({name, age, std::move(history)});
    };
    for (const std::string& name : plan.removed) {
        const PreviousEntry& entry = previous.files.at(name);
        add(name, 1, historyAfter(lastContent(entry), entry.history, std::nullopt));
    }
    for (const auto& [name, drop] : previous.dropped) add(name, drop.age + 1, drop.history);
    std::sort(drops.begin(), drops.end(), [](const PlannedDrop& a, const PlannedDrop& b) { return a.name < b.name; });
    return drops;
}

}  // namespace

void seedHistory(PublishPlan& plan, const std::vector<ReleaseFile>& seeded) {
    std::map<std::string, PublishedContent> contents;
    for (const ReleaseFile& file : seeded)
        if (auto content = wellFormedContent(std::to_string(file.size), file.sha256)) contents[file.name] = *content;
    for (PlannedFile& file : plan.files) {
        const auto seed = contents.find(file.name);
        if (seed == contents.end()) continue;
        const PublishedContent& content = seed->second;
        const auto same = [&](const PublishedContent& other) {
            return other.size == content.size && other.sha256 == content.sha256;
        };
        const bool own = content.size == std::to_string(file.size) && content.sha256 == file.sha256;
        if (own || std::any_of(file.history.begin(), file.history.end(), same)) continue;
        if (file.history.size() < updater::kHistoryDepth) file.history.push_back(content);
    }
}

PublishPlan makePlan(const std::string& product, const std::string& version, std::vector<ReleaseFile> files,
                     const PreviousManifest& previous, const std::string& publicationTime, unsigned codePage) {
    PublishPlan plan;
    plan.codePage = codePage;
    plan.product = product;
    plan.version = version;
    plan.previousVersion = previous.productVersion;

    std::sort(files.begin(), files.end(),
              [](const ReleaseFile& a, const ReleaseFile& b) { return a.name < b.name; });
    for (ReleaseFile& file : files) {
        PlannedFile planned{file, publicationTime, FileChange::New, historyOf(file, previous), {}, {}, {}};
        auto earlier = previous.files.find(file.name);
        if (earlier != previous.files.end()) {
            if (sameContent(file, earlier->second)) {
                planned.change = FileChange::Unchanged;
                planned.timestamp = earlier->second.timestamp;
            } else {
                planned.change = FileChange::Changed;
            }
        }
        plan.files.push_back(std::move(planned));
    }

    std::set<std::string> published;
    for (const PlannedFile& file : plan.files) published.insert(file.name);
    for (const std::string& name : previous.fileOrder)
        if (published.count(name) == 0) plan.removed.push_back(name);
    plan.dropped = dropsOf(plan, previous);
    return plan;
}

std::string versionOrderProblem(const std::string& version, const PreviousManifest& previous) {
    if (!previous.productVersion) return {};
    if (updater::readVersionNumber(version) > updater::readVersionNumber(*previous.productVersion)) return {};
    return "the version " + version + readingOf(version) + " is not greater than the published version " +
           *previous.productVersion + readingOf(*previous.productVersion) + ", so no client would update";
}

std::string publicationTimeProblem(const PublishPlan& plan, const LocalTime& publication,
                                   const PreviousManifest& previous) {
    bool anyChanged = std::any_of(plan.files.begin(), plan.files.end(),
                                  [](const PlannedFile& f) { return f.change == FileChange::Changed; });
    if (!anyChanged) return {};
    for (const auto& [name, entry] : previous.files) {
        std::optional<LocalTime> earlier = parseTimestamp(entry.timestamp);
        if (earlier && !(*earlier < publication))
            return "the publication time " + formatTimestamp(publication) + " is not later than " +
                   entry.timestamp + " (" + name +
                   ") in the previous manifest, so clients would keep their old copies of changed files";
    }
    return {};
}

}  // namespace mkmanifest
