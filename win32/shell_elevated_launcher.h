#pragma once
// The elevated copy started through the shell: ShellExecuteEx with the verb
// "runas" shows the consent prompt, owned by the active window of the calling
// thread, and starts this program with the administrator's token. Under Wine
// "runas" starts the program at once, with the same rights and no prompt, so
// only a unit test's launcher can refuse.
#include "engine/run/install_rights.h"

namespace updater::win32 {

class ShellElevatedLauncher : public ElevatedLauncher {
public:
    // version: ANSI text; it crosses as "/elevated-run <version>", quoted.
    unsigned long launch(const std::string& version) override;
};

}  // namespace updater::win32
