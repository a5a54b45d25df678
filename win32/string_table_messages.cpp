#include "win32/string_table_messages.h"

#include <windows.h>

#include "engine/text/byte_limits.h"
#include "res/resource.h"
#include "win32/shown_text.h"

namespace updater::win32 {
namespace {

// The engine names each text by its id and the resource script by a macro;
// this file loads the one by the other, so here both must agree.
constexpr bool isResource(MessageId id, unsigned resourceId) { return static_cast<unsigned>(id) == resourceId; }
static_assert(isResource(MessageId::SocketInitFailed, IDS_SOCKET_INIT_FAILED));
static_assert(isResource(MessageId::UrlNotHttp, IDS_URL_NOT_HTTP));
static_assert(isResource(MessageId::ClickNext, IDS_CLICK_NEXT));
static_assert(isResource(MessageId::UpdateCaption, IDS_UPDATE_CAPTION));
static_assert(isResource(MessageId::FinishCaption, IDS_FINISH_CAPTION));
static_assert(isResource(MessageId::Connecting, IDS_CONNECTING));
static_assert(isResource(MessageId::ConnectFailed, IDS_CONNECT_FAILED));
static_assert(isResource(MessageId::ReadingVersion, IDS_READING_VERSION));
static_assert(isResource(MessageId::AlreadyNewest, IDS_ALREADY_NEWEST));
static_assert(isResource(MessageId::NewVersionFound, IDS_NEW_VERSION_FOUND));
static_assert(isResource(MessageId::ProductRunning, IDS_PRODUCT_RUNNING));
static_assert(isResource(MessageId::FileFailed, IDS_FILE_FAILED));
static_assert(isResource(MessageId::FileUpdated, IDS_FILE_UPDATED));
static_assert(isResource(MessageId::UpdateFinished, IDS_UPDATE_FINISHED));
static_assert(isResource(MessageId::Downloading, IDS_DOWNLOADING));
static_assert(isResource(MessageId::NotOnServer, IDS_NOT_ON_SERVER));
static_assert(isResource(MessageId::CannotWriteFile, IDS_CANNOT_WRITE_FILE));
static_assert(isResource(MessageId::SignatureInvalid, IDS_SIGNATURE_INVALID));
static_assert(isResource(MessageId::ReleaseNotDone, IDS_RELEASE_NOT_DONE));
static_assert(isResource(MessageId::RecoveryNeedsRights, IDS_RECOVERY_NEEDS_RIGHTS));
static_assert(isResource(MessageId::NoRightsToInstall, IDS_NO_RIGHTS_TO_INSTALL));
static_assert(isResource(MessageId::RecoveryFilesInUse, IDS_RECOVERY_FILES_IN_USE));
static_assert(isResource(MessageId::FileRemoved, IDS_FILE_REMOVED));
static_assert(isResource(MessageId::FileAccessError, IDS_FILE_ACCESS_ERROR));
static_assert(isResource(MessageId::DiskFull, IDS_DISK_FULL));
static_assert(isResource(MessageId::InternalError, IDS_INTERNAL_ERROR));
static_assert(isResource(MessageId::DialogTitle, IDS_DIALOG_TITLE));
static_assert(isResource(MessageId::DialogHeading, IDS_DIALOG_HEADING));
static_assert(isResource(MessageId::DialogInstalled, IDS_DIALOG_INSTALLED));
static_assert(isResource(MessageId::DialogStatus, IDS_DIALOG_STATUS));
static_assert(isResource(MessageId::DialogNext, IDS_DIALOG_NEXT));
static_assert(isResource(MessageId::DialogCancel, IDS_DIALOG_CANCEL));
static_assert(isResource(MessageId::DisplayName, IDS_DISPLAY_NAME));

LANGID languageId(DisplayLanguage language) {
    switch (language) {
    case DisplayLanguage::TraditionalChinese: return MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);
    case DisplayLanguage::English: return MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    case DisplayLanguage::Japanese: return MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
    case DisplayLanguage::SimplifiedChinese: break;
    }
    return MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
}

// A string of the table in exactly that language. LoadStringW would choose
// the language by the thread's; a bundle holds 16 strings, each a count of
// UTF-16 units and the units.
std::wstring_view stringInLanguage(unsigned id, LANGID language) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC bundle = FindResourceExW(module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1), language);
    if (!bundle) return {};
    const auto* unit = static_cast<const wchar_t*>(LockResource(LoadResource(module, bundle)));
    if (!unit) return {};
    const wchar_t* const end = unit + SizeofResource(module, bundle) / sizeof(wchar_t);
    for (unsigned index = 0; unit < end; ++index) {
        const std::size_t length = *unit++;
        if (length > static_cast<std::size_t>(end - unit)) return {};
        if (index == id % 16) return {unit, length};
        unit += length;
    }
    return {};
}

}  // namespace

std::string StringTableMessages::load(MessageId id) const {
    if (language_) return shownFromWide(stringInLanguage(static_cast<unsigned>(id), languageId(*language_)));
    // Read wide: LoadStringA would turn every character the code page lacks
    // into "?". The longest text of the table is far below the buffer; a
    // missing id gives "".
    wchar_t buffer[kMessageBufferBytes];
    const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), buffer, kMessageBufferBytes);
    return shownFromWide(std::wstring_view(buffer, length > 0 ? static_cast<std::size_t>(length) : 0));
}

}  // namespace updater::win32
