#include "tools/demo/screen_capture.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/child_process.h"

namespace demo {

namespace {

constexpr int kSettleTries = 50;
constexpr auto kSettleGap = std::chrono::milliseconds(100);

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

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
    grab(area, previous);
    for (int tries = 0; tries < kSettleTries; ++tries) {
        std::this_thread::sleep_for(kSettleGap);
        grab(area, current);
        if (contentOf(current) == contentOf(previous)) break;
        std::filesystem::rename(current, previous);
    }
    std::filesystem::create_directories(std::filesystem::path(pngPath).parent_path());
    run({"convert", previous, "-strip", pngPath});
}

}  // namespace demo
