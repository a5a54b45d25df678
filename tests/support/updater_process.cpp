#include "tests/support/updater_process.h"

#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tests/support/probe_client.h"
#include "tests/support/product_dir.h"
#include "tests/support/wine_runner.h"

namespace testsupport {

namespace {

constexpr auto kStrayLimit = std::chrono::seconds(10);

}  // namespace

UpdaterProcess::UpdaterProcess(const ProductDir& product, const std::vector<std::string>& args)
    : probe_(ProbeClient::shared()), exeName_(product.exeName()) {
    probe_.setTarget(exeName_);
    endStrayCopies();
    const std::string outside = std::filesystem::path(product.path()).parent_path().string();
    process_ = std::make_unique<WineProcess>(product.exeWindowsPath(), args, outside);
}

UpdaterProcess::~UpdaterProcess() {
    try {
        process_->kill();
        probe_.setTarget(exeName_);
        endStrayCopies();
    } catch (const std::exception&) {
        // Never throw from a destructor; the next test's start clears up again.
    }
}

bool UpdaterProcess::running() { return process_->running(); }

bool UpdaterProcess::waitExit(std::chrono::milliseconds limit) {
    exitCode_ = process_->wait(limit);
    return !process_->running();
}

std::string UpdaterProcess::output() const { return process_->output(); }

// Ends every process of that name in the prefix and waits until toolhelp no
// longer lists one.
void UpdaterProcess::endStrayCopies() {
    auto deadline = std::chrono::steady_clock::now() + kStrayLimit;
    while (probe_.call("PROCS").number("count") > 0) {
        probe_.call("KILL");
        if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("cannot end " + exeName_);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace testsupport
