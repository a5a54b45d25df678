#include "engine/run/install_rights.h"

namespace updater {

HandOverResult handOverToElevatedCopy(FolderClaimControl& claim, ElevatedLauncher& launcher,
                                      const std::string& version) {
    claim.release();
    const unsigned long error = launcher.launch(version);
    if (error == 0) return {HandOver::Started};
    if (!claim.claim()) return {HandOver::FolderLost, error};
    return {error == kPromptRefused ? HandOver::Refused : HandOver::Failed, error};
}

InstallRights::Decision InstallRights::beforeInstall(const std::string& version) {
    if (parts_.programDirectoryWritable()) return {Step::Install};
    return handOver(version);
}

// The elevated copy recovers as every start does, under the folder's claim,
// then opens its wizard as without arguments.
InstallRights::Decision InstallRights::forRecovery() { return handOver(""); }

InstallRights::Decision InstallRights::handOver(const std::string& version) {
    // Another relaunch from an elevated copy would ask again and again.
    if (parts_.elevatedFor) return {Step::NoRights};
    const HandOverResult handOver = handOverToElevatedCopy(parts_.claim, parts_.launcher, version);
    switch (handOver.outcome) {
    case HandOver::Started: return {Step::HandedOver};
    case HandOver::Refused: return {Step::NoRights};
    case HandOver::Failed: return {Step::LaunchFailed, handOver.error};
    case HandOver::FolderLost: break;
    }
    return {Step::FolderLost, handOver.error};
}

bool InstallRights::continuesWith(const std::string& foundVersion) {
    const bool first = !firstCheckDone_;
    firstCheckDone_ = true;
    return first && checksAtStart() && foundVersion == *parts_.elevatedFor;
}

}  // namespace updater
