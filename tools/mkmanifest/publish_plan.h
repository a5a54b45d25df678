#pragma once
// What one publication writes: every release file with the timestamp clients
// compare against and the contents published for it before, the files
// dropped within the last publications, and what changed since the previous
// manifest.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/mkmanifest/previous_manifest.h"
#include "tools/mkmanifest/timestamp.h"

namespace mkmanifest {

struct ReleaseFile {
    std::string name;  // relative, "/" between folders
    std::uint64_t size = 0;
    std::string sha256;  // lower-case hex
};

enum class FileChange { New, Changed, Unchanged };

struct PlannedFile : ReleaseFile {
    std::string timestamp;
    FileChange change = FileChange::New;
    std::vector<PublishedContent> history;  // most recent first, never the file's own content
    std::vector<PatchOffer> patches;        // from contents of its history, the most recent first
    std::optional<CompressedCopy> copy;
    std::string object;  // where its content is published as an object; empty when not (yet)
};

struct PlannedDrop {
    std::string name;
    int age = 1;                            // publications since one had it
    std::vector<PublishedContent> history;  // the content it had last first
};

struct PublishPlan {
    std::string product;
    std::string version;
    std::optional<std::string> previousVersion;
    bool wholeRelease = true;          // WHOLE=1: clients install all of it or none
    std::vector<PlannedFile> files;    // sorted by the bytes of their names
    std::vector<std::string> removed;  // in the previous manifest's order
    std::vector<PlannedDrop> dropped;  // sorted by the bytes of their names
    unsigned codePage = 936;           // the clients': names are its bytes
};

// A file keeps its earlier timestamp when its size and digest match the
// previous entry; a new or changed file gets the publication time. Histories
// carry forward from the previous manifest: a file removed now becomes a
// drop, a drop ages by one publication and leaves after kDropWindow, and a
// drop that comes back is a file again, with its history.
PublishPlan makePlan(const std::string& product, const std::string& version, std::vector<ReleaseFile> files,
                     const PreviousManifest& previous, const std::string& publicationTime,
                     unsigned codePage = 936);

// Adds each seeded file's content to the history of the release file of that
// name, after what the history holds (a seed is older than any publication),
// unless it is the file's own content, already there, or the history is full.
void seedHistory(PublishPlan& plan, const std::vector<ReleaseFile>& seeded);

// Refusals that --force overrides; empty text when fine.
// Clients only see a version as new when it reads as a greater number.
std::string versionOrderProblem(const std::string& version, const PreviousManifest& previous);
// A changed file needs a time after the client's copy was written, which is
// after every timestamp of the previous manifest.
std::string publicationTimeProblem(const PublishPlan& plan, const LocalTime& publication,
                                   const PreviousManifest& previous);

}  // namespace mkmanifest
