#pragma once
// Texts of the program's own string table, as shown text (win32/shown_text.h).
#include <optional>

#include "engine/report/messages.h"
#include "engine/run/display_language.h"

namespace updater::win32 {

class StringTableMessages : public Messages {
public:
    // language: the table of that language in a build with one per language
    // (a brand's); none: the program's one table, as LoadStringW finds it.
    explicit StringTableMessages(std::optional<DisplayLanguage> language = std::nullopt) : language_(language) {}
    std::string load(MessageId id) const override;

private:
    std::optional<DisplayLanguage> language_;
};

}  // namespace updater::win32
