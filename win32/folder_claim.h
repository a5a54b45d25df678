#pragma once
// One updater per program directory. Two updaters in one folder would
// replace the same files and share their side files, so the first claims the
// folder for the whole life of its wizard and a second one stands back.
//
// The claim is a named mutex in the Global\ namespace, seen by every
// session, named after
// a SHA-256 of the folder's identity (win32/path_identity.h): a drive
// substitute, a junction or another letter case meet the same name. Owning
// a mutex belongs to a thread: claim and release on the window's thread.
#include <string>
#include <utility>

#include "engine/run/install_rights.h"
#include "engine/platform/sha256.h"
#include "win32/unique_handle.h"

namespace updater::win32 {

// "Global\OnlineUpdater.folder.<64 hex digits>" for that folder.
std::wstring folderClaimName(const std::wstring& folder, Sha256Source& sha256);

class FolderClaim : public FolderClaimControl {
public:
    // Nothing is claimed until claim().
    explicit FolderClaim(std::wstring name) : name_(std::move(name)) {}

    // True when this process holds the folder now (also when it already did).
    // A mutex left abandoned by a killed updater is free. A mutex this
    // process may not open (an elevated updater made it) is held, and so is
    // any other answer that does not make this process the owner.
    bool claim() override;
    // Lets another process claim the folder (an elevated copy of this one
    // that is about to run); claim() takes it back afterwards.
    void release() override { owned_.reset(); }
    bool held() const { return static_cast<bool>(owned_); }

private:
    std::wstring name_;
    OwnedMutexHandle owned_;  // set only while this process owns the mutex
};

// The claim on the folder of the running program's file, not yet taken.
FolderClaim programFolderClaim();

}  // namespace updater::win32
