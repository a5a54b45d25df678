// Times the real Update.exe under Wine: one update whose manifest lists one
// file, from pressing Update until the file is in place, and the program's
// peak resident memory. The finish is seen in the file system, so nothing
// queries the wizard while it downloads; the Finish caption is checked after.
//
// Usage: update_timer URL FILE SIZE [FILES]
//   URL: the update directory (its update.ini offers a newer version of
//   kelmor than 1.26 and lists FILES files, FILE of SIZE bytes the last).
//   SIZE 0: FILES files w000000.dat... are laid out current (the first a
//   copy of $UPDATE_TIMER_SEED when set), the entries name them, nothing is
//   downloaded, and the run is timed until the Finish caption.
//   $UPDATE_TIMER_INSTALL: a folder whose files are installed first (the
//   bases of patches); the run is then timed until the Finish caption.
// Prints: seconds=... mbps=... (FILES * SIZE bytes) files_per_s=... start=...
// (seconds until the first download file appears) start_peak_kib=... (VmHWM
// then) transfer_peak_kib=... (largest VmRSS seen while the body arrived)
// peak_kib=... (VmHWM at the end) worst_answer_ms=... (the longest the wizard
// took to answer a message from another process, asked every 20 ms during the
// run) check_worst_answer_ms=... (the same during the check) process=...
// Needs the environment of the tests: UPDATER_WIN_BIN, UPDATER_WIN_TEST_BIN, WINEPREFIX, a display.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/poll.h"
#include "tests/support/product_dir.h"
#include "tests/support/wine_runner.h"
#include "tests/support/wizard_driver.h"
#include "tests/support/wizard_texts.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kDownloadLimit = std::chrono::minutes(30);

// A field of /proc/PID/status, e.g. "VmHWM:  12345 kB" -> "12345 kB".
std::string statusField(int pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, name.size() + 1, name + ":") != 0) continue;
        const std::size_t start = line.find_first_not_of(" \t", name.size() + 1);
        return start == std::string::npos ? "" : line.substr(start);
    }
    return "";
}

// "12345 kB" -> 12345; 0 when there is no number.
long kib(const std::string& field) { return std::strtol(field.c_str(), nullptr, 10); }

bool inPlace(const ProductDir& product, const std::string& file, std::uintmax_t size) {
    std::error_code error;
    return fs::file_size(product.pathOf(file), error) == size && !error && !product.exists(file + ".upg");
}

int fail(const std::string& why, WineProcess& updater) {
    std::fprintf(stderr, "update_timer: %s\n%s\n", why.c_str(), updater.output().c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: update_timer URL FILE SIZE [FILES]\n");
        return 2;
    }
    const std::string url = argv[1], file = argv[2];
    const std::uintmax_t size = std::stoull(argv[3]);
    const unsigned long files = argc == 5 ? std::stoul(argv[4]) : 1;

    ProductDir product;
    product.writeConfig({"kelmor", "1.26", url});
    const bool walkOnly = size == 0;
    // Every entry names a file of its own (names that open one file are
    // refused), each written now, so newer than the manifest's time.
    // UPDATE_TIMER_SEED: the first file is a copy of that one instead.
    const char* seed = std::getenv("UPDATE_TIMER_SEED");
    if (walkOnly && seed) fs::copy_file(seed, product.pathOf("w000000.dat"), fs::copy_options::overwrite_existing);
    if (walkOnly && !seed)
        for (unsigned long i = 0; i < files; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "w%06lu.dat", i);
            product.writeFile(name, "current");
        }
    // The installed files may already have the new file's size.
    const char* installed = std::getenv("UPDATE_TIMER_INSTALL");
    if (installed)
        fs::copy(installed, product.path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const bool untilFinish = walkOnly || installed;
    WineProcess updater(product.exeWindowsPath(), {}, fs::path(product.path()).parent_path().string());
    Wizard wizard;
    if (!wizard.waitOpen().found) return fail("the wizard did not open", updater);
    wizard.pressNext();
    // The check runs on the worker too: the window answers while it fetches.
    long checkWorstAnswer = 0;
    const bool offered = pollUntil([&] {
        if (wizard.state().nextCaption == kUpdateCaption) return true;
        checkWorstAnswer = std::max(checkWorstAnswer, wizard.answerMs().value_or(0));
        return !updater.running();
    }, kDownloadLimit, std::chrono::milliseconds(20));
    if (!offered || wizard.state().nextCaption != kUpdateCaption) return fail("the check offered no update", updater);

    const Clock::time_point start = Clock::now();
    wizard.pressNext();
    double firstBytes = -1;  // until the download file appears
    long startPeak = 0;      // VmHWM then
    long transferPeak = 0;   // largest VmRSS seen while the body was still arriving
    long worstAnswer = 0;
    Clock::time_point lastAsked = start;
    const auto finished = [&] {
        return untilFinish ? wizard.state().nextCaption == kFinishCaption : inPlace(product, file, size);
    };
    bool ended = false;
    pollUntil([&] {
        if ((ended = finished()) || !updater.running()) return true;
        if (Clock::now() - lastAsked >= std::chrono::milliseconds(20)) {
            worstAnswer = std::max(worstAnswer, wizard.answerMs().value_or(0));
            lastAsked = Clock::now();
        }
        // The first bytes and the memory while they arrive: for one large file.
        std::error_code missing;
        const std::uintmax_t received = fs::file_size(product.pathOf(file + ".upg"), missing);
        if (files == 1 && !missing && received < size) {
            if (firstBytes < 0) {
                firstBytes = std::chrono::duration<double>(Clock::now() - start).count();
                startPeak = kib(statusField(updater.unixPid(), "VmHWM"));
            }
            transferPeak = std::max(transferPeak, kib(statusField(updater.unixPid(), "VmRSS")));
        }
        return false;
    }, kDownloadLimit, std::chrono::milliseconds(10));
    if (!ended) return fail("no download", updater);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (wizard.waitForNextCaption(kFinishCaption).nextCaption != kFinishCaption)
        return fail("the run did not finish", updater);

    // The unix process of `wine Update.exe` is the Windows process itself.
    const std::string peak = statusField(updater.unixPid(), "VmHWM");
    const std::string name = statusField(updater.unixPid(), "Name");
    std::printf(
        "seconds=%.3f mbps=%.2f files_per_s=%.1f us_per_file=%.1f start=%.3f start_peak_kib=%ld transfer_peak_kib=%ld peak_kib=%ld "
        "worst_answer_ms=%ld check_worst_answer_ms=%ld process=%s\n",
        seconds, static_cast<double>(size) * files / 1e6 / seconds, files / seconds, seconds * 1e6 / files, firstBytes, startPeak, transferPeak,
        kib(peak), worstAnswer, checkWorstAnswer, name.c_str());
    wizard.pressNext();
    updater.wait(std::chrono::seconds(15));
    return 0;
}
