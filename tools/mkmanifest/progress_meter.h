#pragma once
// Progress lines for long passes over large folders: one line every so many
// files or bytes, none at all for small folders.
#include <cstdint>
#include <ostream>
#include <string>

namespace mkmanifest {

class ProgressMeter {
public:
    ProgressMeter(std::ostream& out, std::string activity, std::size_t totalFiles, std::uint64_t totalBytes,
                  std::size_t filesPerLine = 500, std::uint64_t bytesPerLine = 64ull << 20);
    void fileDone(std::uint64_t bytes);

private:
    void printLine();

    std::ostream& out_;
    std::string activity_;
    std::size_t totalFiles_;
    std::uint64_t totalBytes_;
    std::size_t filesPerLine_;
    std::uint64_t bytesPerLine_;
    std::size_t files_ = 0;
    std::uint64_t bytes_ = 0;
    std::size_t filesAtLastLine_ = 0;
    std::uint64_t bytesAtLastLine_ = 0;
};

}  // namespace mkmanifest
