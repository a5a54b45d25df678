// Download loops for comparison with Update.exe: the same WinInet request
// (HTTP/1.0, the program's flags) read in 2048-byte chunks and written to a
// file, with a different amount of message pumping after each chunk.
//
// Usage: transfer_loops.exe MODE HOST PORT OBJECT OUT_FILE
//   bare     no window, no pumping
//   pump10   ten PeekMessageA looks after every chunk, as literally described
//   pump     up to ten, stopping at the first empty look
// Prints: mode=... bytes=... seconds=... mbps=... transfer_peak_kib=... (peak
// working set before the output file is closed) peak_kib=... (at the end)
//
//        transfer_loops.exe files HOST PORT PATTERN OUT_DIR COUNT
//   the reference for many small files: for each of COUNT objects (PATTERN
//   with %04d for the number), the same GET, the body written to NAME.upg in
//   OUT_DIR and moved over NAME with MoveFileEx (replace, write through).
// Prints: mode=files files=... seconds=... files_per_s=...
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/wininet_connection.h"

namespace {

constexpr DWORD kChunkBytes = 2048;
constexpr int kLooksPerChunk = 10;

enum class Pump { None, Literal, UntilEmpty };

void pumpLiteral() {
    MSG message;
    for (int i = 0; i < kLooksPerChunk; ++i) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void pumpUntilEmpty() {
    MSG message;
    for (int i = 0; i < kLooksPerChunk; ++i) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) break;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

unsigned long peakWorkingSetKib() {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024);
}

int fail(const char* what) {
    std::fprintf(stderr, "%s failed: error %lu\n", what, GetLastError());
    return 1;
}

// The session and the one connection, as the program makes them.
bool connectTo(const char* host, const char* port, HINTERNET& session, HINTERNET& connection) {
    session = InternetOpenA("Update", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) {
        fail("InternetOpenA");
        return false;
    }
    connection = InternetConnectA(session, host, static_cast<INTERNET_PORT>(std::atoi(port)), nullptr, nullptr,
                                  INTERNET_SERVICE_HTTP, 0, 1);
    if (!connection) {
        fail("InternetConnectA");
        return false;
    }
    return true;
}

double secondsBetween(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One file as the program fetches it: GET, the body to a side file, then one move.
bool fetchOne(HINTERNET connection, const std::string& object, const std::string& target) {
    HINTERNET request =
        HttpOpenRequestA(connection, "GET", object.c_str(), "HTTP/1.0", nullptr, nullptr, updater::net::kRequestFlags, 1);
    if (!request) return false;
    bool ok = HttpSendRequestA(request, nullptr, 0, nullptr, 0) != FALSE;
    const std::string side = target + ".upg";
    HANDLE out = ok ? CreateFileA(side.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)
                    : INVALID_HANDLE_VALUE;
    ok = out != INVALID_HANDLE_VALUE;
    char buffer[kChunkBytes];
    DWORD n = 0;
    while (ok && InternetReadFile(request, buffer, sizeof buffer, &n) && n > 0) {
        DWORD written = 0;
        ok = WriteFile(out, buffer, n, &written, nullptr) && written == n;
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    InternetCloseHandle(request);
    return ok && MoveFileExA(side.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

int manyFiles(char** argv) {
    const int count = std::atoi(argv[6]);
    HINTERNET session = nullptr, connection = nullptr;
    if (!connectTo(argv[2], argv[3], session, connection)) return 1;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i) {
        char object[512], name[32];
        std::snprintf(object, sizeof object, argv[4], i);
        std::snprintf(name, sizeof name, "f%04d.bin", i);
        if (!fetchOne(connection, object, std::string(argv[5]) + "\\" + name)) return fail(object);
    }
    QueryPerformanceCounter(&end);
    InternetCloseHandle(connection);
    InternetCloseHandle(session);
    const double seconds = secondsBetween(start, end);
    std::printf("mode=files files=%d seconds=%.3f files_per_s=%.1f\n", count, seconds, count / seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::strcmp(argv[1], "files") == 0) return manyFiles(argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: transfer_loops bare|pump10|pump HOST PORT OBJECT OUT_FILE\n");
        return 2;
    }
    const std::string mode = argv[1];
    const Pump pump = mode == "pump10" ? Pump::Literal : mode == "pump" ? Pump::UntilEmpty : Pump::None;
    if (pump == Pump::None && mode != "bare") return 2;

    // A pumping loop runs in a thread with a shown window, as the wizard does.
    HWND window = nullptr;
    if (pump != Pump::None) {
        window = CreateWindowA("STATIC", "transfer", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
        if (!window) return fail("CreateWindowA");
        ShowWindow(window, SW_SHOW);
    }

    HINTERNET session = nullptr, connection = nullptr;
    if (!connectTo(argv[2], argv[3], session, connection)) return 1;

    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);

    HINTERNET request =
        HttpOpenRequestA(connection, "GET", argv[4], "HTTP/1.0", nullptr, nullptr, updater::net::kRequestFlags, 1);
    if (!request) return fail("HttpOpenRequestA");
    if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) return fail("HttpSendRequestA");
    HANDLE out = CreateFileA(argv[5], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (out == INVALID_HANDLE_VALUE) return fail("CreateFileA");

    char buffer[kChunkBytes];
    unsigned long long total = 0;
    DWORD n = 0;
    while (InternetReadFile(request, buffer, sizeof buffer, &n) && n > 0) {
        total += n;
        if (pump == Pump::Literal) pumpLiteral();
        if (pump == Pump::UntilEmpty) pumpUntilEmpty();
        DWORD written = 0;
        if (!WriteFile(out, buffer, n, &written, nullptr) || written != n) return fail("WriteFile");
    }
    // Under Wine, closing a very large file adds to the working set; the
    // peak before it is what the loop itself needs.
    const unsigned long transferPeak = peakWorkingSetKib();
    CloseHandle(out);
    InternetCloseHandle(request);
    QueryPerformanceCounter(&end);

    InternetCloseHandle(connection);
    InternetCloseHandle(session);
    if (window) DestroyWindow(window);

    const double seconds = secondsBetween(start, end);
    std::printf("mode=%s bytes=%llu seconds=%.3f mbps=%.2f transfer_peak_kib=%lu peak_kib=%lu\n", mode.c_str(), total,
                seconds, static_cast<double>(total) / 1e6 / seconds, transferPeak, peakWorkingSetKib());
    return 0;
}
