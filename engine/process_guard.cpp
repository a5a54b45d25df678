#include "engine/process_guard.h"

namespace updater {

bool isProductExecutable(const std::string& exeName, const std::string& productName, const CodePage& cp) {
    return equalsIgnoreCase(exeName, productName + ".exe", cp);
}

bool ProcessGuard::consult(const std::string& productName) {
    const long processId = processes_.findFirst(
        [&](const std::string& exeName) { return isProductExecutable(exeName, productName, cp_); });
    if (processId == -1) return true;
    if (!view_.confirm(fillPercentS(messages_.load(MessageId::ProductRunning), {productName}))) return false;
    // No waiting: the process lets go of its files while the first downloads run.
    processes_.terminate(processId);
    return true;
}

}  // namespace updater
