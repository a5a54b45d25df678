// A stand-in for the installed product: it runs until something ends it.
// The tests copy it into a product directory under the product's name, or
// run it to hold a file as a running product does; the demo runs it too.
//
// Usage: fake_product.exe READY_FILE [HELD_FILE]
//   HELD_FILE is opened without sharing, as a product holds its data, so
//   nobody can read or replace it while this runs. Then the process id goes
//   to READY_FILE (its newline marks it complete) and the program waits.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: fake_product READY_FILE [HELD_FILE]\n");
        return 2;
    }
    // Kept open for the life of the process on purpose.
    if (argc == 3 && CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr) == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot hold %s: error %lu\n", argv[2], GetLastError());
        return 3;
    }
    FILE* ready = std::fopen(argv[1], "wb");
    if (!ready) return 4;
    std::fprintf(ready, "%lu\n", GetCurrentProcessId());
    if (std::fclose(ready) != 0) return 4;
    Sleep(INFINITE);
    return 0;
}
