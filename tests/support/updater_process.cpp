#include "tests/support/updater_process.h"

#include <filesystem>
#include <stdexcept>

#include "tests/support/poll.h"
#include "tests/support/probe_client.h"
#include "tests/support/product_dir.h"

namespace testsupport {

namespace {

constexpr auto kStrayLimit = std::chrono::seconds(10);

// Ends every process of that name in the prefix and waits until toolhelp no
// longer lists one.
void endCopiesOf(const std::string& exeName) {
    ProbeClient& probe = ProbeClient::shared();
    probe.setTarget(exeName);
    const bool ended = pollUntil([&] {
        if (probe.call("PROCS").number("count") <= 0) return true;
        probe.call("KILL");
        return false;
    }, kStrayLimit, std::chrono::milliseconds(50));
    if (!ended) throw std::runtime_error("cannot end " + exeName);
}

// The program to start, once no other copy of it runs.
std::string aloneInThePrefix(const ProductDir& product) {
    endCopiesOf(product.exeName());
    return product.exeWindowsPath();
}

}  // namespace

UpdaterProcess::UpdaterProcess(const ProductDir& product, const std::vector<std::string>& args)
    : WineProcess(aloneInThePrefix(product), args, std::filesystem::path(product.path()).parent_path().string()),
      exeName_(product.exeName()) {}

UpdaterProcess::~UpdaterProcess() {
    try {
        kill();
        endCopiesOf(exeName_);
    } catch (const std::exception&) {
        // Never throw from a destructor; the next test's start clears up again.
    }
}

bool UpdaterProcess::waitExit(std::chrono::milliseconds limit) {
    exitCode_ = wait(limit);
    return !running();
}

}  // namespace testsupport
