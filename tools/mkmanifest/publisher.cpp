#include "tools/mkmanifest/publisher.h"

#include <vector>

#include "engine/text/byte_limits.h"
#include "tools/mkmanifest/form_packer.h"
#include "tools/mkmanifest/manifest_text.h"
#include "tools/mkmanifest/naming_rules.h"
#include "tools/mkmanifest/plan_report.h"
#include "tools/mkmanifest/progress_meter.h"
#include "tools/mkmanifest/publish_plan.h"
#include "tools/mkmanifest/version_file_check.h"

namespace mkmanifest {
namespace {

// Problems found before any file is read; all of them are reported at once.
std::vector<std::string> argumentProblems(const PublishOptions& options, ReleaseStore& store) {
    std::vector<std::string> problems;
    for (const std::string& problem :
         {productNameProblem(options.product, clientCodePage(options.codePage)), versionTextProblem(options.version)})
        if (!problem.empty()) problems.push_back(problem);
    if (store.overlap(options.releaseDir, options.outDir))
        problems.push_back("the release folder and the output folder must not contain each other");
    return problems;
}

std::vector<std::string> nameProblems(const std::vector<ListedFile>& listed, const updater::CodePage& cp) {
    std::vector<std::string> problems;
    std::vector<std::string> names;
    for (const ListedFile& file : listed) {
        names.push_back(file.name);
        std::string problem = fileNameProblem(file.name, cp);
        if (!problem.empty()) problems.push_back(problem);
        // The manifest itself goes there; Windows servers ignore letter case.
        if (sameNameIgnoringCase(file.name, kManifestName))
            problems.push_back("the release folder holds a file " + file.name + ", which the manifest " +
                               kManifestName + " would overwrite");
        if (isPackedFormName(file.name))
            problems.push_back("the release folder holds " + file.name + ", a name mkmanifest keeps for its objects, "
                               "patches, copies and kept contents");
    }
    for (const std::string& clash : caseClashes(names, cp)) problems.push_back(clash);
    return problems;
}

bool reportProblems(const std::vector<std::string>& problems, std::ostream& err) {
    for (const std::string& problem : problems) err << "mkmanifest: " << problem << "\n";
    return !problems.empty();
}

// A problem that --force overrides: the publication stops without it and
// goes on with a warning with it.
bool refused(const std::string& problem, bool force, std::ostream& err) {
    if (problem.empty()) return false;
    err << "mkmanifest: " << (force ? "warning: " + problem : problem + " (--force publishes anyway)") << "\n";
    return !force;
}

std::vector<ReleaseFile> digestAll(const PublishOptions& options, const std::vector<ListedFile>& listed,
                                   ReleaseStore& store, std::ostream& err) {
    ProgressMeter meter(err, "reading", listed);
    std::vector<ReleaseFile> files;
    for (const ListedFile& file : listed) {
        FileDigest digest = store.digest(options.releaseDir, file.name);
        files.push_back({file.name, digest.size, digest.sha256});
        meter.fileDone(digest.size);
    }
    return files;
}

// Files first, manifest last: a reader never finds a manifest entry whose
// file is missing or half-written.
void copyAll(const PublishOptions& options, const PublishPlan& plan, ReleaseStore& store, std::ostream& err) {
    ProgressMeter meter(err, "copying", plan.files);
    for (const PlannedFile& file : plan.files) {
        bool current = false;
        if (file.change == FileChange::Unchanged) {
            std::optional<FileDigest> published = store.digestIfPresent(options.outDir, file.name);
            current = published && published->size == file.size && published->sha256 == file.sha256;
        }
        if (!current) {
            FileDigest copied = store.copy(options.releaseDir, file.name, options.outDir, file.name);
            if (copied.size != file.size || copied.sha256 != file.sha256)
                throw PublishError(file.name + " changed while it was being published; run again");
        }
        meter.fileDone(file.size);
    }
}

// The manifest as it will be written; refused when the updater would not
// read it even without patches and copies.
std::string manifestBytes(PublishPlan& plan, ManifestSigner* signer) {
    const std::string bytes = renderWithin(plan, updater::kManifestLimitBytes, [&](const PublishPlan& fitting) {
        const std::string manifest = manifestText(fitting);
        return signer ? signedManifestText(manifest, *signer) : manifest;
    });
    if (bytes.size() > updater::kManifestLimitBytes)
        throw PublishError(std::string(kManifestName) + " would be " + std::to_string(bytes.size()) +
                           " bytes, over the " + std::to_string(updater::kManifestLimitBytes >> 20) +
                           " MiB the updater accepts; publish fewer files, or start the history anew in an "
                           "empty output folder");
    return bytes;
}

}  // namespace

int publish(const PublishOptions& options, ReleaseStore& store, const LocalTime& now, std::ostream& out,
            std::ostream& err, ManifestSigner* signer) {
    try {
        if (reportProblems(argumentProblems(options, store), err)) return 1;
        std::string note = versionReadingNote(options.version);
        if (!note.empty()) err << "mkmanifest: note: " << note << "\n";

        PreviousManifest previous;
        if (std::optional<std::string> bytes = store.readIfPresent(options.outDir, kManifestName))
            previous = readPreviousManifest(*bytes, options.product);
        if (refused(versionOrderProblem(options.version, previous), options.force, err)) return 1;

        std::vector<ListedFile> listed = store.listFiles(options.releaseDir);
        if (listed.empty()) throw PublishError("the release folder " + options.releaseDir + " holds no files");
        if (reportProblems(nameProblems(listed, clientCodePage(options.codePage)), err)) return 1;
        for (const ListedFile& file : listed)
            if (std::string warning = nonAsciiNameWarning(file.name, options.codePage); !warning.empty())
                err << "mkmanifest: warning: " << warning << "\n";
        if (const std::optional<std::string> warning = versionFileWarning(
                listed, options.version, [&](const std::string& name) { return store.readIfPresent(options.releaseDir, name); })) {
            err << "warning: " << *warning << "\n";
            if (options.strict) return 1;
        }
        std::vector<ReleaseFile> files = digestAll(options, listed, store, err);

        LocalTime publication = options.time.value_or(now);
        PublishPlan plan = makePlan(options.product, options.version, files, previous, formatTimestamp(publication),
                                  options.codePage);
        plan.wholeRelease = !options.perFile;
        if (!options.seedHistoryDir.empty()) {
            PublishOptions seed = options;
            seed.releaseDir = options.seedHistoryDir;
            seedHistory(plan, digestAll(seed, store.listFiles(options.seedHistoryDir), store, err));
        }
        if (refused(publicationTimeProblem(plan, publication, previous), options.force, err)) return 1;
        if (now < publication) {
            err << "mkmanifest: warning: the publication time lies in the future; until then clients download "
                   "its files on every update\n";
            if (options.strict) return 1;
        }

        manifestBytes(plan, signer);  // refuses before anything is written
        if (options.dryRun) {
            out << planReport(plan, true) << "dry run: nothing written\n";
            return 0;
        }
        copyAll(options, plan, store, err);
        packFiles(options.releaseDir, options.outDir, plan, previous, store, err);
        store.writeAtomically(options.outDir, kManifestName, manifestBytes(plan, signer));
        std::optional<ObjectCount> objects;
        try {
            objects = pruneOutput(options.outDir, plan, previous, store);
        } catch (const PublishError& error) {
            // The publication stands; what is left over only takes room.
            err << "mkmanifest: warning: published, but could not tidy the output folder: " << error.what() << "\n";
        }
        out << planReport(plan, false);
        if (objects) out << "objects: " << objects->files << " files, " << objects->bytes << " bytes\n";
        if (!plan.removed.empty())
            out << "removed files stay in the output folder; delete them once no client reads the old manifest\n";
        out << "published " << options.product << " " << options.version << " to " << options.outDir
            << (signer ? ", signed" : "") << "\n";
        return 0;
    } catch (const PublishError& error) {
        err << "mkmanifest: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace mkmanifest
