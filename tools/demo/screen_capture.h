#pragma once
// Screenshots of an area of the X display (ImageMagick's import on the root
// window). A shot is kept once two grabs in a row agree, so that the windows
// in it have finished painting.
#include <string>

namespace demo {

struct ScreenArea {
    int left = 0, top = 0, right = 0, bottom = 0;
};

class ScreenCapture {
public:
    // scratchDir holds the raw grabs.
    explicit ScreenCapture(std::string scratchDir) : scratchDir_(std::move(scratchDir)) {}

    // Throws std::runtime_error when no grab can be taken or the PNG not written.
    void save(const ScreenArea& area, const std::string& pngPath);

private:
    void grab(const ScreenArea& area, const std::string& path);

    std::string scratchDir_;
};

}  // namespace demo
