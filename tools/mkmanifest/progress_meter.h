#pragma once
// Progress lines for long passes over large folders: one line every 500 files
// or 64 MiB, none at all for small folders.
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>

namespace mkmanifest {

class ProgressMeter {
public:
    // files: the pass's files, each with its size.
    template <typename Files>
    ProgressMeter(std::ostream& out, std::string activity, const Files& files)
        : out_(out), activity_(std::move(activity)), totalFiles_(files.size()) {
        for (const auto& file : files) totalBytes_ += file.size;
    }
    void fileDone(std::uint64_t bytes);

private:
    std::ostream& out_;
    std::string activity_;
    std::size_t totalFiles_;
    std::uint64_t totalBytes_ = 0;
    std::size_t files_ = 0, filesAtLastLine_ = 0;
    std::uint64_t bytes_ = 0, bytesAtLastLine_ = 0;
};

}  // namespace mkmanifest
