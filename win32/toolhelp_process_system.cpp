#include "win32/toolhelp_process_system.h"

#include <windows.h>

#include <tlhelp32.h>

#include "win32/unique_handle.h"

namespace updater::win32 {
namespace {

// PROCESS_ALL_ACCESS as every Windows version accepts it; newer headers
// define a wider mask that older systems refuse.
constexpr DWORD kProcessAllAccess = 0x1F0FFF;

class TerminatedProcess : public EndingProcess {
public:
    explicit TerminatedProcess(ProcessHandle process) : process_(std::move(process)) {}

    // A plain wait: the guard runs on the worker, which has no messages.
    // Under Wine the process may be gone at once; on Windows
    // TerminateProcess returns while it still holds its files.
    bool waitForEnd(std::uint32_t milliseconds) override {
        const DWORD woken = WaitForSingleObject(process_.get(), milliseconds);
        // A wait that fails would fail again: stop waiting rather than spin.
        return woken == WAIT_OBJECT_0 || woken == WAIT_FAILED;
    }

private:
    ProcessHandle process_;
};

}  // namespace

long ToolhelpProcessSystem::findFirst(const std::function<bool(const std::string& exeName)>& matches) {
    const SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPALL, 0));
    if (!snapshot) return -1;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        if (matches(entry.szExeFile)) return static_cast<long>(entry.th32ProcessID);
    }
    return -1;
}

std::unique_ptr<EndingProcess> ToolhelpProcessSystem::terminate(long processId) {
    ProcessHandle process(OpenProcess(kProcessAllAccess, FALSE, static_cast<DWORD>(processId)));
    if (!process || !TerminateProcess(process.get(), 0)) return nullptr;
    return std::make_unique<TerminatedProcess>(std::move(process));
}

}  // namespace updater::win32
