#pragma once
// Where the log is kept: Update.log beside the program when it can be
// written there, else under the user's local application data, in a folder
// named after the product.
#include <memory>
#include <string>
#include <string_view>

#include "win32/file_event_log.h"

namespace updater::win32 {

// programDirectory: without its final separator. productName: strSoft, in
// the ANSI code page. elevated: the elevated copy, which never writes into a
// user's profile (it may run as another user). A log that has no place
// writes nothing.
std::unique_ptr<FileEventLog> openLog(const std::wstring& programDirectory, std::string_view productName,
                                      bool elevated);

}  // namespace updater::win32
