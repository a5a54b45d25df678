#pragma once
// One file's request and download into its download file, as both kinds of
// run fetch a file: the status, the framing and the content decide whether
// the body is the file. What fails is shown and listed here.
#include <string>

#include "engine/content_check.h"
#include "engine/stop_flag.h"
#include "engine/update_services.h"

namespace updater {

// Thrown between two chunks once the stop flag is raised; the partial
// download is removed first.
struct DownloadStopped {};

// Fetches file (as the manifest names it) into downloadPath; true when the
// whole, checked body is there. localPath names the file in the box that says
// the download file cannot be made. NetworkError and FileError escape, with
// no download file left.
bool downloadFile(UpdateContext& context, const std::string& file, const ExpectedContent& expected,
                  const std::string& localPath, const std::string& downloadPath, const StopFlag* stop = nullptr);

}  // namespace updater
