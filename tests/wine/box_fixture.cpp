// A stand-in for the program under test when the probe itself is tested: shows
// one message box with the given icon and text, and exits with the button id.
//
// Usage: box_fixture.exe stop|exclamation|information|question|none TEXT
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3) return 100;
    const char* kind = argv[1];
    UINT icon = std::strcmp(kind, "stop") == 0          ? MB_ICONSTOP
                : std::strcmp(kind, "exclamation") == 0 ? MB_ICONEXCLAMATION
                : std::strcmp(kind, "information") == 0 ? MB_ICONINFORMATION
                : std::strcmp(kind, "question") == 0    ? MB_ICONQUESTION
                                                        : 0;
    return MessageBoxA(nullptr, argv[2], "Fixture", MB_OKCANCEL | icon);
}
