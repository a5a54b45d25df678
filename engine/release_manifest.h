#pragma once
// What a whole release reads of update.ini beyond the file list: WHOLE=1 in
// the product section, and the dropped files in sections DROP0, DROP1, ...,
// each with FILE and the contents published for it (PREVn_SIZE and
// PREVn_SHA256, n from 0 to 7, ending at the first pair not complete).
#include <string>
#include <string_view>
#include <vector>

#include "engine/code_page.h"
#include "engine/unicode_to_ansi.h"

namespace updater {

struct EarlierContent {
    std::string size;
    std::string sha256;
};

struct DroppedEntry {
    std::string file;
    std::vector<EarlierContent> published;
};

struct ReleaseKeys {
    bool whole = false;
    std::vector<DroppedEntry> drops;
};

ReleaseKeys readReleaseKeys(std::string_view manifestBytes, std::string_view product, const CodePage& cp,
                            const UnicodeToAnsi* unicodeToAnsi);

}  // namespace updater
