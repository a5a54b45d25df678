#pragma once
// A whole release's downloads survive a cut: a kill, a lost connection or
// Cancel leaves what arrived in the program directory's .update\part\, named
// by the SHA-256 of the content it will be, and the next run asks only for
// the rest. The whole file is checked before it counts.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/manifest/content_check.h"
#include "engine/manifest/side_files.h"
#include "engine/transfer/file_download.h"
#include "engine/transfer/transfer_context.h"

namespace updater {

// The folder of cut downloads, in the release's own folder (kWorkFolderName).
inline constexpr std::string_view kPartFolderName = "part";

// "<programDirectory>.update\part\": programDirectory ends with a separator.
std::string partFolderOf(const std::string& programDirectory);
// Where a cut download of that content waits.
std::string partialDownloadPath(const std::string& partFolder, const Sha256Digest& content);
// Removes the part folder, then .update, each only when it is empty.
void removeEmptyPartFolders(FileSystem& files, const std::string& programDirectory);

// Makes the sink that writes a body to path.
using SinkAt = std::function<std::unique_ptr<CheckedFileSink>(const std::string& path)>;

// Fetches request.file into destination, checked against expected. In a
// whole release, when expected gives size and SHA-256, the body goes through
// the part file: resumed from what it holds, moved to destination once the
// whole is proven. A resumed file that proves wrong is removed and fetched
// whole once more. Elsewhere a plain fetch into destination. As fetchBody,
// NetworkError, FileError and DownloadStopped escape; the part file stays.
FetchEnd fetchResumable(TransferContext& context, BodyRequest request, const ExpectedContent& expected,
                        const std::string& destination, const SinkAt& sinkAt);

}  // namespace updater
