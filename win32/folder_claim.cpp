#include "win32/folder_claim.h"

#include <windows.h>

#include "engine/text/hex_text.h"
#include "win32/cng_sha256.h"
#include "win32/path_identity.h"

namespace updater::win32 {

std::wstring folderClaimName(const std::wstring& folder, Sha256Source& sha256) {
    // Mutex names cannot hold a backslash past the namespace and are limited
    // in length, so the folder is named by its hash.
    const std::wstring identity = pathIdentity(folder);
    std::unique_ptr<Sha256Hasher> hasher = sha256.startSha256();
    hasher->update(reinterpret_cast<const char*>(identity.data()), identity.size() * sizeof(wchar_t));
    const Sha256Digest digest = hasher->finish();
    const std::string hex = encodeHex(digest.data(), digest.size());
    // Global: an updater in another session (another user logged on, or a
    // remote desktop) works on the same folder and must see the claim.
    // Creating a mutex there needs no privilege. Wine runs every process in
    // one session, where Global\ and Local\ name the same objects.
    return L"Global\\OnlineUpdater.folder." + std::wstring(hex.begin(), hex.end());
}

FolderClaim programFolderClaim() {
    CngSha256Source sha256;
    return FolderClaim(folderClaimName(parentDirectory(executablePath()), sha256));
}

bool FolderClaim::claim() {
    if (owned_) return true;
    // ERROR_ACCESS_DENIED here: an elevated updater, or one of another user's
    // session, holds the folder (the mutex's default security admits only its
    // creator's kind). There is no falling back to a session's own name.
    MutexHandle mutex(CreateMutexW(nullptr, FALSE, name_.c_str()));
    if (!mutex) return false;
    const DWORD waited = WaitForSingleObject(mutex.get(), 0);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return false;
    owned_.reset(mutex.release());
    return true;
}

}  // namespace updater::win32
