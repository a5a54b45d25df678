#pragma once
// Which FILE values of a manifest the updater acts on. The names come from
// the server; the publishing tool refuses the same shapes before they get there.
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/code_page.h"

namespace updater {

// Why a FILE value is refused; None when the updater acts on it.
enum class NameRefusal {
    None,
    Empty,
    LeavesDirectory,     // "..", a drive, a leading separator, a NUL that hides the rest
    Stream,              // a colon: a drive or an alternate data stream
    Device,              // CON, NUL, COM1, lpt1.txt ...
    Directory,           // ends in a separator
    NotWellFormed,       // bytes that are not text of the system's code page
    ForbiddenCharacter,  // < > " | ? * or a byte from 1 to 31
    TrailingDotOrBlank,  // Windows drops it, so the file opened is another
    ShortForm,           // an 8.3 short name, which can alias another file
    SideFile,            // a part ends like a file the updater makes beside the installation
    WorkFolder,          // lies in the updater's own folder
};

// Whether a path component names a Windows device (CON, NUL, COM1, lpt1.txt,
// "aux ."...): opening it reaches the device, not a file in the directory.
bool isWindowsDeviceName(std::string_view component);

// The names are bytes of the system's ANSI code page, cp: the manifest's
// text is read in it, and the file calls take them in it.
NameRefusal manifestNameRefusal(std::string_view name, const CodePage& cp);
// Why a name is refused, in English words for the log.
std::string_view refusalReason(NameRefusal refusal);

// Whether a manifest FILE value names a file inside the program directory
// that the updater may replace.
inline bool isSafeManifestName(const std::string& name, const CodePage& cp) {
    return manifestNameRefusal(name, cp) == NameRefusal::None;
}

// The file a name opens, as one text: "\" read as "/", a leading "./"
// dropped and letters folded as the file system folds them in code page cp.
// Two names with one key name one file.
std::string manifestNameKey(std::string_view name, const CodePage& cp);

// For each name, whether another name of the list opens the same file.
std::vector<bool> namesSharingAFile(const std::vector<std::string>& names, const CodePage& cp);

// The request for a name: "%" and "#" percent-encoded, so that the server
// neither decodes nor cuts it and answers with exactly the named file.
std::string requestObjectName(const std::string& urlPath, const std::string& name);

}  // namespace updater
