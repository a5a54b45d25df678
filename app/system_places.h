#pragma once
// Where the program runs, as the system reports it: read once, at start-up.
#include <string>

namespace updater::app {

// The program reads its own path twice: into 255 bytes to find updataAdd.ini
// beside it, and into 260 for the directory it updates, its name and its help
// file. A path of 255 to 259 bytes therefore looks for its configuration
// beside a cut path, and so runs on the defaults, while the wizard still
// updates the right directory. Installations that rely on this keep working.
struct SystemPlaces {
    std::string modulePath;        // at most 259 bytes
    std::string configModulePath;  // at most 254 bytes
};

SystemPlaces readSystemPlaces();

}  // namespace updater::app
