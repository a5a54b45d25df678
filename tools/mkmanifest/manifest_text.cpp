#include "tools/mkmanifest/manifest_text.h"

namespace mkmanifest {

std::string manifestText(const PublishPlan& plan) {
    // CRLF: the file is read on Windows, and every INI reader accepts it.
    const char* eol = "\r\n";
    std::string text;
    text += "[" + plan.product + "]" + eol;
    text += "VERSION=" + plan.version + eol;
    for (std::size_t index = 0; index < plan.files.size(); ++index) {
        const PlannedFile& file = plan.files[index];
        text += eol;
        text += "[FILE" + std::to_string(index) + "]" + eol;
        text += "FILE=" + file.name + eol;
        text += "VERSION=" + file.timestamp + eol;
        text += "SIZE=" + std::to_string(file.size) + eol;
        text += "SHA256=" + file.sha256 + eol;
    }
    return text;
}

}  // namespace mkmanifest
