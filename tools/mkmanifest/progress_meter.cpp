#include "tools/mkmanifest/progress_meter.h"

namespace mkmanifest {

ProgressMeter::ProgressMeter(std::ostream& out, std::string activity, std::size_t totalFiles,
                             std::uint64_t totalBytes, std::size_t filesPerLine, std::uint64_t bytesPerLine)
    : out_(out),
      activity_(std::move(activity)),
      totalFiles_(totalFiles),
      totalBytes_(totalBytes),
      filesPerLine_(filesPerLine),
      bytesPerLine_(bytesPerLine) {}

void ProgressMeter::fileDone(std::uint64_t bytes) {
    ++files_;
    bytes_ += bytes;
    if (files_ - filesAtLastLine_ >= filesPerLine_ || bytes_ - bytesAtLastLine_ >= bytesPerLine_) printLine();
}

void ProgressMeter::printLine() {
    filesAtLastLine_ = files_;
    bytesAtLastLine_ = bytes_;
    const std::uint64_t mb = 1 << 20;
    out_ << activity_ << ": " << files_ << " of " << totalFiles_ << " files, " << bytes_ / mb << " of "
         << totalBytes_ / mb << " MB\n"
         << std::flush;
}

}  // namespace mkmanifest
