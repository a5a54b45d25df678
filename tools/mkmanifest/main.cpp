// mkmanifest: publishes a release folder as an update folder with its manifest.
#include <iostream>
#include <string>
#include <vector>

#include "tools/mkmanifest/command_line.h"
#include "tools/mkmanifest/platform_store.h"
#include "tools/mkmanifest/publisher.h"

int main(int argc, char** argv) {
    using namespace mkmanifest;
    std::vector<std::string> args(argv + 1, argv + argc);
    CommandLine line = parseCommandLine(args);
    if (line.help) {
        std::cout << usageText();
        return 0;
    }
    if (!line.error.empty()) {
        std::cerr << "mkmanifest: " << line.error << "\n" << "Try 'mkmanifest --help'.\n";
        return 2;
    }
    try {
        std::unique_ptr<ReleaseStore> store = makePlatformStore();
        return publish(line.options, *store, currentLocalTime(), std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cerr << "mkmanifest: " << error.what() << "\n";
        return 1;
    }
}
