#pragma once
// Ids of the string table and the printf-style filling of its texts.
#include <initializer_list>
#include <string>
#include <string_view>

namespace updater {

enum class MessageId : unsigned {
    SocketInitFailed = 103,
    UrlNotHttp = 104,
    ClickNext = 105,
    UpdateCaption = 106,
    FinishCaption = 107,
    Connecting = 108,
    ConnectFailed = 109,
    ReadingVersion = 110,
    AlreadyNewest = 111,
    NewVersionFound = 112,
    ProductRunning = 113,
    FileFailed = 114,
    FileUpdated = 115,
    UpdateFinished = 116,
    Downloading = 117,
    NotOnServer = 118,
    CannotWriteFile = 119,
    SignatureInvalid = 120,  // keyed builds only
    ReleaseNotDone = 121,    // a whole release failed; nothing changed
    RecoveryNeedsRights = 122,
    NoRightsToInstall = 123,  // the directory cannot be written and no elevated copy runs
    RecoveryFilesInUse = 124, // a cut commit waits for a file in use; Next tries again
    FileRemoved = 125,        // a whole release removed the file
    // The dialog's own texts and the product's display name: only a brand's
    // tables hold them; without one the template's texts and strSoft show.
    DialogTitle = 200,
    DialogHeading = 201,
    DialogInstalled = 202,
    DialogStatus = 203,
    DialogNext = 204,
    DialogCancel = 205,
    DisplayName = 206,
    // Framework texts used by the failure report.
    FileAccessError = 61857,
    DiskFull = 61869,
    InternalError = 61704,
};

// Loads texts of the string table, as byte strings in the ANSI code page.
class Messages {
public:
    virtual ~Messages() = default;
    virtual std::string load(MessageId id) const = 0;
};

// Fills each "%s" of the pattern with the next argument, as printf would;
// "%%" gives "%". A "%s" without an argument left stays empty.
std::string fillPercentS(std::string_view pattern, std::initializer_list<std::string_view> args);

// Replaces every "%1" with the argument (the framework's file-error texts).
std::string fillPercent1(std::string_view pattern, std::string_view arg);

}  // namespace updater
