#include "engine/run/whole_release_run.h"

#include <algorithm>
#include <set>

#include "engine/manifest/content_check.h"
#include "engine/manifest/safe_manifest_name.h"
#include "engine/manifest/side_files.h"
#include "engine/release/release_commit.h"
#include "engine/release/release_paths.h"
#include "engine/report/failure_report.h"
#include "engine/run/entry_state.h"
#include "engine/transfer/file_download.h"
#include "engine/transfer/new_content.h"
#include "engine/transfer/resumable_fetch.h"

namespace updater {

namespace {

// The client's settings file: dropping it would lose the product's address.
constexpr std::string_view kSettingsFileName = "updataAdd.ini";

class WholeRun {
public:
    WholeRun(UpdateContext& context, const std::vector<ManifestEntry>& entries)
        : context_(context), files_(context.services.files), directory_(context.services.programDirectory),
          entries_(entries) {}

    // However the run ends, the release's folder goes when nothing waits in it.
    ~WholeRun() { removeEmptyPartFolders(files_, directory_); }

    WholeOutcome run(const std::vector<DroppedFile>& drops) {
        const WholeOutcome outcome = runStages(drops);
        // What the run made in the work folder and left empty goes, and the
        // work folder with it.
        tidyWorkFolder(files_, ReleaseLayout::inWorkFolder(directory_, context_.services.codePage));
        return outcome;
    }

private:
    WholeOutcome runStages(const std::vector<DroppedFile>& drops) {
        CommitGate* const gate = context_.commitGate;
        if (gate && !gate->beginDownloads()) return WholeOutcome::Stopped;
        if (!namesAllowed()) return failed();
        try {
            bool complete = true;
            for (const ManifestEntry& entry : entries_) complete = stage(entry) && complete;
            if (!complete) return failed();
        } catch (const DownloadStopped&) {
            return WholeOutcome::Stopped;
        }
        CommitPlan plan{{}, droppedFilesToRemove(drops)};
        for (const auto& [target, file] : staged_) plan.targets.push_back(target);
        if (plan.targets.empty() && plan.drops.empty()) return WholeOutcome::Committed;
        // The product may have been started again during the downloads.
        if (!context_.consultGuard()) return failed();
        if (gate && !gate->beginCommit()) return WholeOutcome::Stopped;
        if (const std::optional<CommitFailure> failure =
                commitRelease(files_, *context_.services.sha256, directory_, plan, context_.services.codePage)) {
            reportCommitFailure(*failure);
            return failed();
        }
        for (const auto& [target, file] : staged_) list(MessageId::FileUpdated, file);
        for (const std::string& drop : plan.drops) {
            note(drop, "removed, dropped by the release");
            list(MessageId::FileRemoved, drop);
        }
        return WholeOutcome::Committed;
    }

    // A refused name fails the release before anything is fetched.
    bool namesAllowed() {
        std::vector<std::string> names;
        for (const ManifestEntry& entry : entries_) names.push_back(entry.file);
        const std::vector<bool> sharing = namesSharingAFile(names, context_.services.codePage);
        bool allowed = true;
        for (std::size_t index = 0; index < entries_.size(); ++index) {
            const NameRefusal refusal = manifestNameRefusal(entries_[index].file, context_.services.codePage);
            if (sharing[index] || refusal != NameRefusal::None) {
                note(entries_[index].file, sharing[index] ? "refused: opens the same file as another entry"
                                                          : "refused: name " + std::string(refusalReason(refusal)));
                list(MessageId::FileFailed, entries_[index].file);
                allowed = false;
            }
        }
        return allowed;
    }

    // Brings the entry's new content into its download file, or finds it
    // there from an earlier run; true when nothing is missing for the commit.
    bool stage(const ManifestEntry& entry) {
        if (context_.stop && context_.stop->requested()) throw DownloadStopped{};
        const EntryPlan plan = planEntry(context_, entry, RunKind::WholeRelease);
        switch (plan.decision) {
        case EntryPlan::Decision::Refused: return failedFile(entry.file, plan.refusal);
        case EntryPlan::Decision::Current:
            note(entry.file, plan.changedLocally ? "kept: changed locally" : "up to date");
            return true;
        case EntryPlan::Decision::Fetch: break;
        }
        if (!makeDownloadFolders(files_, ReleaseLayout::inWorkFolder(directory_, context_.services.codePage),
                                 plan.target))
            return failedFile(entry.file, "its folder in " + std::string(kWorkFolderName) + " cannot be made");
        bool refused = false;
        if (isKeptDownload(plan.downloadPath, plan.expected)) {
            note(entry.file, "reused the download an earlier run left, " + plan.downloadPath);
            // Its bytes count as received, as a download's would.
            if (plan.expected.size.value_or(0) > 0) context_.view.setProgress(100);
        } else if (!fetch(plan, refused)) {
            return failedFile(entry.file, refused ? "what arrived was refused" : "not fetched");
        }
        forgetPartials(plan);
        staged_.emplace_back(plan.target, entry.file);
        return true;
    }

    // Cut downloads of this entry's content, or of its patches, that the
    // content's arrival by another way (a compressed copy, a kept download)
    // made useless.
    void forgetPartials(const EntryPlan& plan) {
        const std::string folder = partFolderOf(directory_);
        std::vector<Sha256Digest> contents;
        if (plan.expected.sha256) contents.push_back(*plan.expected.sha256);
        for (const PatchOffer& offer : plan.entry.patches)
            if (offer.patch.sha256) contents.push_back(*offer.patch.sha256);
        for (const Sha256Digest& content : contents) {
            const std::string part = partialDownloadPath(folder, content);
            if (files_.lookUp(part)) files_.remove(part);
        }
    }

    // A download left by an earlier run is used again when it is exactly the
    // promised content.
    bool isKeptDownload(const std::string& path, const ExpectedContent& expected) {
        const std::optional<LocalEntry> kept = files_.lookUp(path);
        return kept && !kept->directory && holds(path, expected);
    }

    // Whether the file's bytes are exactly the expected content, read in chunks.
    bool holds(const std::string& path, const ExpectedContent& expected) {
        ContentCheck check(context_.services.sha256, expected);
        bool withinSize = true;
        const bool read = files_.readChunks(path, [&](const char* data, std::size_t size) {
            withinSize = withinSize && check.add(data, size);
        });
        return read && withinSize && check.matches();
    }

    // A network or file failure fails this file only: the others are still
    // fetched, so that the next run needs only what failed. refused: an
    // answer arrived and was refused (the log says why).
    bool fetch(const EntryPlan& plan, bool& refused) {
        std::exception_ptr failure;
        try {
            TransferContext transfer = transferContext(context_, context_.stop);
            transfer.partFolder = partFolderOf(directory_);
            const bool fetched = fetchNewContent(transfer, plan);
            refused = transfer.refusedBodies > 0;
            return fetched;
        } catch (const NetworkError&) {
            failure = std::current_exception();
        } catch (const FileError& error) {
            note(plan.entry.file, windowsPath(error.path()) + ": " +
                           errorCodeText(error.code(), context_.services.systemErrorText
                                                           ? context_.services.systemErrorText(error.code())
                                                           : ""));
            failure = std::current_exception();
        }
        context_.view.addListLine(describeFailure(failure, context_.services.messages, context_.services.codePage,
                                                  context_.services.systemErrorText)
                                      .text);
        return false;
    }

    // Only a file whose bytes the vendor published goes; a copy the user
    // changed stays. The updater, its copy and the settings never go.
    std::vector<std::string> droppedFilesToRemove(const std::vector<DroppedFile>& drops) {
        std::set<std::string> keys;
        for (const ManifestEntry& entry : entries_) keys.insert(manifestNameKey(entry.file, context_.services.codePage));
        keys.insert(manifestNameKey(kSettingsFileName, context_.services.codePage));
        std::vector<std::string> removed;
        for (const DroppedFile& drop : drops) {
            if (!isSafeManifestName(drop.file, context_.services.codePage) || isUpdaterItself(context_, drop.file) ||
                !keys.insert(manifestNameKey(drop.file, context_.services.codePage)).second)
                continue;
            const std::string path = directory_ + drop.file;
            const std::optional<LocalEntry> local = files_.lookUp(path);
            if (!local || local->directory) continue;
            const bool published = std::any_of(drop.previous.begin(), drop.previous.end(), [&](const PublishedContent& c) {
                const std::optional<ExpectedContent> expected = readExpectedContent(c.size, c.sha256);
                return expected && expected->promisesEverything() && *expected->size == local->size &&
                       holds(path, *expected);
            });
            if (published) removed.push_back(drop.file);
        }
        return removed;
    }

    void reportCommitFailure(const CommitFailure& failure) {
        if (failure.step == CommitFailure::Step::Blocked) {
            // Nothing was touched: the installation must change before the
            // release can go in, which no retry alone can do.
            note(failure.name, "the release cannot be put in place: " + failure.why);
            list(MessageId::FileFailed, manifestFileOf(failure.name));
            return;
        }
        const std::string name = failure.step == CommitFailure::Step::Journal
                                     ? std::string(kWorkFolderName) + "\\" + std::string(kJournalName)
                                     : failure.name;
        logFileError(context_.services, name, "the commit stopped here", failure.code);
        context_.view.showErrorBox(runMessage(context_, MessageId::CannotWriteFile, directory_ + name));
        list(MessageId::FileFailed, manifestFileOf(name));
    }

    // The manifest's name for a commit target: the updater's copy is its entry.
    std::string manifestFileOf(const std::string& target) const {
        for (const auto& [stagedTarget, file] : staged_)
            if (stagedTarget == target) return file;
        return target;
    }

    bool failedFile(const std::string& file, const std::string& why) {
        note(file, "failed: " + why);
        list(MessageId::FileFailed, file);
        return false;
    }

    void list(MessageId id, const std::string& file) {
        if (id == MessageId::FileUpdated) note(file, "updated");
        if (context_.tally && id == MessageId::FileUpdated) context_.tally->updated += 1;
        if (context_.tally && id == MessageId::FileFailed) context_.tally->failed += 1;
        context_.view.addListLine(runMessage(context_, id, file));
    }
    void note(const std::string& file, const std::string& what) {
        eventLog(context_.services).write("file " + file + ": " + what);
    }

    WholeOutcome failed() {
        // Nothing changed, so the bar shows nothing done.
        context_.view.setProgress(0);
        context_.view.showStatus(context_.services.messages.load(MessageId::ReleaseNotDone));
        context_.view.enableButton(true);
        return WholeOutcome::Failed;
    }

    UpdateContext& context_;
    FileSystem& files_;
    const std::string& directory_;
    const std::vector<ManifestEntry>& entries_;
    // Each download ready for the commit: its target, and the entry's file.
    std::vector<std::pair<std::string, std::string>> staged_;
};

}  // namespace

bool runsWhole(const UpdateManifest& manifest, std::string_view product, const std::vector<ManifestEntry>& entries) {
    return manifest.wholeRelease(product) && std::all_of(entries.begin(), entries.end(), [](const ManifestEntry& entry) {
               return entry.size.has_value() && entry.sha256.has_value();
           });
}

std::vector<DroppedFile> listDroppedFiles(const UpdateManifest& manifest) {
    std::vector<DroppedFile> drops;
    while (std::optional<DroppedFile> drop = manifest.dropped(drops.size())) drops.push_back(std::move(*drop));
    return drops;
}

WholeOutcome runWholeRelease(UpdateContext& context, const std::vector<ManifestEntry>& entries,
                             const std::vector<DroppedFile>& drops) {
    return WholeRun(context, entries).run(drops);
}

}  // namespace updater
