#pragma once
// Stops a running product before its files are replaced.
#include <functional>
#include <string>

#include "engine/code_page.h"
#include "engine/messages.h"
#include "engine/wizard_view.h"

namespace updater {

class ProcessSystem {
public:
    virtual ~ProcessSystem() = default;
    // Walks the process snapshot from its first entry; returns the id of the
    // first process whose executable name satisfies matches, or -1.
    virtual long findFirst(const std::function<bool(const std::string& exeName)>& matches) = 0;
    // Full access, exit code 0, no wait; a refusal is silent.
    virtual void terminate(long processId) = 0;
};

// Whether an executable name is product name + ".exe", ignoring case.
bool isProductExecutable(const std::string& exeName, const std::string& productName, const CodePage& cp);

class ProcessGuard {
public:
    ProcessGuard(ProcessSystem& processes, const CodePage& cp, const Messages& messages, WizardView& view)
        : processes_(processes), cp_(cp), messages_(messages), view_(view) {}
    // true: go on with the run; false: the user did not allow stopping the product.
    bool consult(const std::string& productName);

private:
    ProcessSystem& processes_;
    const CodePage& cp_;
    const Messages& messages_;
    WizardView& view_;
};

}  // namespace updater
