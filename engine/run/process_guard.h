#pragma once
// Stops a running product before its files are replaced.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/work/clock.h"
#include "engine/text/code_page.h"
#include "engine/report/event_log.h"
#include "engine/report/messages.h"
#include "engine/report/wizard_view.h"

namespace updater {

// A process that was told to end. Windows ends it, and lets go of its
// files, only some time after TerminateProcess has returned.
class EndingProcess {
public:
    virtual ~EndingProcess() = default;
    // Waits at most milliseconds; true once the process has ended. May
    // return false early; the caller waits again for what is left.
    virtual bool waitForEnd(std::uint32_t milliseconds) = 0;
};

class ProcessSystem {
public:
    virtual ~ProcessSystem() = default;
    // Walks the process snapshot from its first entry; returns the id of the
    // first process whose executable name satisfies matches, or -1.
    virtual long findFirst(const std::function<bool(const std::string& exeName)>& matches) = 0;
    // Full access, exit code 0; a refusal is silent and gives nullptr.
    virtual std::unique_ptr<EndingProcess> terminate(long processId) = 0;
};

// Whether an executable name is product name + ".exe", ignoring case.
bool isProductExecutable(const std::string& exeName, const std::string& productName, const CodePage& cp);

class ProcessGuard {
public:
    ProcessGuard(ProcessSystem& processes, const CodePage& cp, const Messages& messages, WizardView& view,
                 Clock& clock, EventLog* log = nullptr)
        : processes_(processes), cp_(cp), messages_(messages), view_(view), clock_(clock), log_(log) {}
    // true: go on with the run; false: the user did not allow stopping the product.
    // The box calls it shownName, when given (a brand's display name).
    bool consult(const std::string& productName, const std::string& shownName = {});

    // How long the guard waits for a terminated product to end.
    static constexpr std::uint32_t kEndWaitMs = 5000;

private:
    // Whether the process ended in time.
    bool waitForEnd(EndingProcess& process);

    ProcessSystem& processes_;
    const CodePage& cp_;
    const Messages& messages_;
    WizardView& view_;
    Clock& clock_;
    EventLog* log_;
};

}  // namespace updater
