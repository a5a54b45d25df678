/* The product's side of the updater, as docs/INTEGRATION.md shows it: start
   it, recover at start, apply a waiting updater, ask whether a newer
   release is published, and update without a person. C99 for Windows; compiles without a warning under
   -Wall -Wextra. Link with shell32 for ShellExecuteExW. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

/* The folder of the running product, with its final backslash. */
static void ProductFolder(wchar_t *dir)
{
    GetModuleFileNameW(NULL, dir, MAX_PATH);
    wcsrchr(dir, L'\\')[1] = L'\0';
}

/* 1 when the updater runs (still, after 2 seconds): then close the product
   as usual. 3 when another updater is already open for this folder (it came
   to the front): keep the product open. 0 when it could not be started or
   ended at once. */
int StartUpdater(void)
{
    wchar_t dir[MAX_PATH], exe[MAX_PATH];
    SHELLEXECUTEINFOW run;
    DWORD code = 0;
    int result = 0;
    ProductFolder(dir);
    swprintf(exe, MAX_PATH, L"%lsUpdate.exe", dir);
    ZeroMemory(&run, sizeof run);
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;  /* the product tells its user */
    run.lpFile = exe;
    run.lpDirectory = dir;
    run.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&run) || !run.hProcess)
        return 0;
    if (WaitForSingleObject(run.hProcess, 2000) == WAIT_TIMEOUT)
        result = 1;
    else if (GetExitCodeProcess(run.hProcess, &code) && code == 3)
        result = 3;
    CloseHandle(run.hProcess);
    return result;
}

/* Before the product opens its own files. */
DWORD RecoverInstallation(void)
{
    wchar_t dir[MAX_PATH], exe[MAX_PATH];
    SHELLEXECUTEINFOW run;
    DWORD code = 2;
    ProductFolder(dir);
    swprintf(exe, MAX_PATH, L"%lsUpdate.exe", dir);
    ZeroMemory(&run, sizeof run);
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOCLOSEPROCESS;
    run.lpFile = exe;
    run.lpParameters = L"/recover";
    run.lpDirectory = dir;
    run.nShow = SW_HIDE;
    if (ShellExecuteExW(&run) && run.hProcess) {
        WaitForSingleObject(run.hProcess, INFINITE);
        GetExitCodeProcess(run.hProcess, &code);
        CloseHandle(run.hProcess);
    }
    return code;
}

void ApplyWaitingUpdater(void)
{
    wchar_t dir[MAX_PATH], waiting[MAX_PATH], exe[MAX_PATH];
    ProductFolder(dir);
    swprintf(waiting, MAX_PATH, L"%lsUpdate.exe.bck", dir);
    swprintf(exe, MAX_PATH, L"%lsUpdate.exe", dir);
    /* Fails while the updater still runs or without write access; it waits for the next start. */
    MoveFileExW(waiting, exe, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

/* Asks Update.exe /check, without a window: 0 when the product is current,
   1 when a newer release is published (its version, UTF-8, in version),
   2 when the check failed (no network, no rights needed, nothing changed). */
DWORD CheckForUpdate(char *version, size_t size)
{
    wchar_t dir[MAX_PATH], temp[MAX_PATH], answer[MAX_PATH], command[3 * MAX_PATH];
    STARTUPINFOW start;
    PROCESS_INFORMATION process;
    DWORD code = 2;
    FILE *file;
    version[0] = '\0';
    ProductFolder(dir);
    if (!GetTempPathW(MAX_PATH, temp) || !GetTempFileNameW(temp, L"upd", 0, answer))
        return 2;
    swprintf(command, 3 * MAX_PATH, L"\"%lsUpdate.exe\" /check \"%ls\"", dir, answer);
    ZeroMemory(&start, sizeof start);
    start.cb = sizeof start;
    if (CreateProcessW(NULL, command, NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, dir, &start, &process)) {
        /* The check gives up by itself within 120 s. */
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (code == 1 && (file = _wfopen(answer, L"rb")) != NULL) {
        if (!fgets(version, (int)size, file))
            version[0] = '\0';
        version[strcspn(version, "\r\n")] = '\0';
        fclose(file);
    }
    DeleteFileW(answer);
    return code;
}

/* Runs Update.exe /update, without a window, and waits for it: 0 when the
   product is now current, 2 when the update failed, 3 when another updater
   holds the folder, 4 when the product runs (close it first), 5 when the
   folder needs rights this process lacks. Call it from a process that is not
   the product, or once the product has closed its files. */
int UpdateNow(void)
{
    wchar_t dir[MAX_PATH], command[2 * MAX_PATH];
    STARTUPINFOW start;
    PROCESS_INFORMATION process;
    DWORD code = 2;
    ProductFolder(dir);
    swprintf(command, 2 * MAX_PATH, L"\"%lsUpdate.exe\" /update", dir);
    ZeroMemory(&start, sizeof start);
    start.cb = sizeof start;
    if (!CreateProcessW(NULL, command, NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, dir, &start, &process))
        return 2;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)code;
}
