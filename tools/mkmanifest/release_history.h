#pragma once
// What each publication remembers of the ones before: per file the sizes and
// SHA-256 values published for it earlier, and the files dropped within the
// last kDropWindow publications. Clients use them to tell a vendor's file
// from one made or changed on their machine.
#include <optional>
#include <string>
#include <vector>

#include "engine/manifest/update_manifest.h"

namespace mkmanifest {

using updater::PublishedContent;

// A dropped file is listed by the publications after the one that last had
// it, kDropWindow of them: AGE 1 to 8.
constexpr int kDropWindow = 8;

// The pair in the form mkmanifest writes (decimal size, lower-case hex);
// nothing when either value is malformed, so a hand-edited manifest's
// garbage is not carried forward.
std::optional<PublishedContent> wellFormedContent(const std::string& size, const std::string& sha256);
// The well-formed pairs of a history read back, in order.
std::vector<PublishedContent> wellFormedHistory(const std::vector<PublishedContent>& history);

// The history to publish: last (the content published last, if known), then
// the earlier ones, without current and without repeats, at most
// updater::kHistoryDepth. All pairs must be well-formed.
std::vector<PublishedContent> historyAfter(const std::optional<PublishedContent>& last,
                                           const std::vector<PublishedContent>& earlier,
                                           const std::optional<PublishedContent>& current);

// AGE read back; a missing or malformed one counts as the window's end, so
// the file leaves the list at the next publication.
int dropAge(const std::optional<std::string>& age);

}  // namespace mkmanifest
