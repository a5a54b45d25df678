// Parses each date text given on the command line with the program's date
// parser, under whatever user locale Wine was started with, and writes one
// line per text to the output file: "<lcid> <valid> <value>".
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/ole_date_parser.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    FILE* out = std::fopen(argv[1], "w");
    if (!out) return 2;
    updater::win32::OleDateParser dates;
    for (int i = 2; i < argc; ++i) {
        const updater::DateValue parsed = dates.parse(argv[i]);
        std::fprintf(out, "%04lx %d %.6f\n", static_cast<unsigned long>(GetUserDefaultLCID()), parsed.valid ? 1 : 0,
                     parsed.value);
    }
    std::fclose(out);
    return 0;
}
