#include "tools/mkmanifest/release_history.h"

#include <algorithm>

#include "engine/manifest/content_check.h"
#include "engine/text/hex_text.h"

namespace mkmanifest {

std::optional<PublishedContent> wellFormedContent(const std::string& size, const std::string& sha256) {
    const std::optional<updater::ExpectedContent> expected = updater::readExpectedContent(size, sha256);
    if (!expected || !expected->promisesEverything()) return std::nullopt;
    return PublishedContent{std::to_string(*expected->size),
                            updater::encodeHex(expected->sha256->data(), expected->sha256->size())};
}

std::vector<PublishedContent> wellFormedHistory(const std::vector<PublishedContent>& history) {
    std::vector<PublishedContent> kept;
    for (const PublishedContent& content : history)
        if (std::optional<PublishedContent> pair = wellFormedContent(content.size, content.sha256))
            kept.push_back(std::move(*pair));
    return kept;
}

std::vector<PublishedContent> historyAfter(const std::optional<PublishedContent>& last,
                                           const std::vector<PublishedContent>& earlier,
                                           const std::optional<PublishedContent>& current) {
    const auto same = [](const PublishedContent& a, const PublishedContent& b) {
        return a.size == b.size && a.sha256 == b.sha256;
    };
    std::vector<PublishedContent> history;
    const auto add = [&](const PublishedContent& content) {
        if (history.size() == updater::kHistoryDepth || (current && same(content, *current))) return;
        if (std::none_of(history.begin(), history.end(), [&](const auto& kept) { return same(kept, content); }))
            history.push_back(content);
    };
    if (last) add(*last);
    for (const PublishedContent& content : earlier) add(content);
    return history;
}

int dropAge(const std::optional<std::string>& age) {
    if (!age || age->size() != 1 || (*age)[0] < '1' || (*age)[0] > '0' + kDropWindow) return kDropWindow;
    return (*age)[0] - '0';
}

}  // namespace mkmanifest
