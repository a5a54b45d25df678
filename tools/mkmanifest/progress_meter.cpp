#include "tools/mkmanifest/progress_meter.h"

namespace mkmanifest {

void ProgressMeter::fileDone(std::uint64_t bytes) {
    ++files_;
    bytes_ += bytes;
    const std::uint64_t mb = 1 << 20;
    if (files_ - filesAtLastLine_ < 500 && bytes_ - bytesAtLastLine_ < 64 * mb) return;
    filesAtLastLine_ = files_;
    bytesAtLastLine_ = bytes_;
    out_ << activity_ << ": " << files_ << " of " << totalFiles_ << " files, " << bytes_ / mb << " of "
         << totalBytes_ / mb << " MB\n"
         << std::flush;
}

}  // namespace mkmanifest
