#include "tools/demo/screen_capture.h"

#include <filesystem>
#include <stdexcept>

#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"
#include "tests/support/poll.h"

namespace demo {

namespace {

constexpr auto kSettleGap = std::chrono::milliseconds(100);
constexpr auto kSettleLimit = std::chrono::seconds(10);

void run(const std::vector<std::string>& argv) {
    const testsupport::ChildResult result = testsupport::runChild(argv);
    if (result.exitCode != 0) throw std::runtime_error(argv[0] + " failed: " + result.output);
}

}  // namespace

void ScreenCapture::grab(const ScreenArea& area, const std::string& path) {
    const std::string crop = std::to_string(area.right - area.left) + "x" + std::to_string(area.bottom - area.top) +
                             "+" + std::to_string(area.left) + "+" + std::to_string(area.top);
    run({"import", "-window", "root", "-crop", crop, "+repage", "ppm:" + path});
}

void ScreenCapture::save(const ScreenArea& area, const std::string& pngPath) {
    const std::string previous = scratchDir_ + "/previous.ppm", current = scratchDir_ + "/current.ppm";
    std::filesystem::remove(previous);  // the last stage's
    testsupport::pollUntil([&] {
        grab(area, current);
        const bool settled = testsupport::readFileBytes(current) == testsupport::readFileBytes(previous);
        std::filesystem::rename(current, previous);
        return settled;
    }, kSettleLimit, kSettleGap);
    std::filesystem::create_directories(std::filesystem::path(pngPath).parent_path());
    run({"convert", previous, "-strip", pngPath});
}

}  // namespace demo
