#include "app/toolhelp_process_system.h"

#include "app/unique_handle.h"

namespace updater::win32 {
namespace {

// PROCESS_ALL_ACCESS as every Windows version accepts it; newer headers
// define a wider mask that older systems refuse.
constexpr DWORD kProcessAllAccess = 0x1F0FFF;

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

void ToolhelpProcessSystem::terminate(long processId) {
    const ProcessHandle process(OpenProcess(kProcessAllAccess, FALSE, static_cast<DWORD>(processId)));
    if (process) TerminateProcess(process.get(), 0);
}

}  // namespace updater::win32
