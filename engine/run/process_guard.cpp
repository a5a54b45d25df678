#include "engine/run/process_guard.h"

namespace updater {

bool isProductExecutable(const std::string& exeName, const std::string& productName, const CodePage& cp) {
    return equalsIgnoreCase(exeName, productName + ".exe", cp);
}

bool ProcessGuard::consult(const std::string& productName, const std::string& shownName) {
    std::string found;
    const long processId = processes_.findFirst([&](const std::string& exeName) {
        found = exeName;
        return isProductExecutable(exeName, productName, cp_);
    });
    if (processId == -1) return true;
    const std::string product = "product " + found + " [" + std::to_string(processId) + "]";
    const std::string& named = shownName.empty() ? productName : shownName;
    if (!view_.confirm(fillPercentS(messages_.load(MessageId::ProductRunning), {named}))) {
        if (log_) log_->write(product + " is running; the user kept it");
        return false;
    }
    // Refused (another user's process), the run goes on and its replacements tell.
    const std::unique_ptr<EndingProcess> ending = processes_.terminate(processId);
    const char* result = !ending              ? " could not be ended"
                         : waitForEnd(*ending) ? " ended after the user's OK"
                                               : " told to end after the user's OK, still running after 5 s";
    if (log_) log_->write(product + result);
    return true;
}

// Until the product has ended its files are still held, and the first
// replacement (its own executable, often) would fail. The guard runs on the
// worker, so the window answers meanwhile; a process that will not end costs
// the user 5 s.
bool ProcessGuard::waitForEnd(EndingProcess& process) {
    const std::uint64_t deadline = clock_.nowMs() + kEndWaitMs;
    for (std::uint64_t now = clock_.nowMs(); now < deadline; now = clock_.nowMs()) {
        if (process.waitForEnd(static_cast<std::uint32_t>(deadline - now))) return true;
    }
    return false;
}

}  // namespace updater
