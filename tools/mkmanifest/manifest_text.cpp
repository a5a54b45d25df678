#include "tools/mkmanifest/manifest_text.h"

namespace mkmanifest {
namespace {

// CRLF: the file is read on Windows, and every INI reader accepts it.
constexpr const char* kEol = "\r\n";

void addHistory(std::string& text, const std::vector<PublishedContent>& history) {
    for (std::size_t n = 0; n < history.size(); ++n) {
        const std::string prefix = "PREV" + std::to_string(n) + "_";
        text += prefix + "SIZE=" + history[n].size + kEol;
        text += prefix + "SHA256=" + history[n].sha256 + kEol;
    }
}

void addPackedForms(std::string& text, const PlannedFile& file) {
    for (std::size_t n = 0; n < file.patches.size(); ++n) {
        const std::string prefix = "PATCH" + std::to_string(n) + "_";
        text += prefix + "BASE=" + file.patches[n].base + kEol;
        text += prefix + "FILE=" + file.patches[n].file + kEol;
        text += prefix + "SIZE=" + std::to_string(file.patches[n].size) + kEol;
        text += prefix + "SHA256=" + file.patches[n].sha256 + kEol;
    }
    if (file.copy) {
        text += "ZFILE=" + file.copy->file + kEol;
        text += "ZSIZE=" + std::to_string(file.copy->size) + kEol;
        text += "ZSHA256=" + file.copy->sha256 + kEol;
    }
}

}  // namespace

std::string manifestText(const PublishPlan& plan) {
    std::string text;
    text += "[" + plan.product + "]" + kEol;
    text += "VERSION=" + plan.version + kEol;
    if (plan.wholeRelease) text += std::string("WHOLE=1") + kEol;
    for (std::size_t index = 0; index < plan.files.size(); ++index) {
        const PlannedFile& file = plan.files[index];
        text += kEol;
        text += "[FILE" + std::to_string(index) + "]" + kEol;
        text += "FILE=" + file.name + kEol;
        text += "VERSION=" + file.timestamp + kEol;
        text += "SIZE=" + std::to_string(file.size) + kEol;
        text += "SHA256=" + file.sha256 + kEol;
        addHistory(text, file.history);
        addPackedForms(text, file);
    }
    for (std::size_t index = 0; index < plan.dropped.size(); ++index) {
        const PlannedDrop& drop = plan.dropped[index];
        text += kEol;
        text += "[DROP" + std::to_string(index) + "]" + kEol;
        text += "FILE=" + drop.name + kEol;
        text += "AGE=" + std::to_string(drop.age) + kEol;
        addHistory(text, drop.history);
    }
    return text;
}

}  // namespace mkmanifest
