#pragma once
// Every buffer the program reads text or paths into, in bytes with the
// terminator: a value keeps at most keptBytes(buffer). The publishing tool
// and the brand check refuse what these would cut.
#include <cstddef>
#include <cstdint>

namespace updater {

// updataAdd.ini's strSoft, strVersion and URL.
constexpr std::size_t kSettingBufferBytes = 100;
// The product section's VERSION in update.ini.
constexpr std::size_t kProductVersionBufferBytes = 128;
// The FILE, VERSION, SIZE and SHA256 values of a file section.
constexpr std::size_t kFileValueBufferBytes = 260;
// The program's path when the wizard derives its directory, and the
// temporary directory.
constexpr std::size_t kPathBufferBytes = 260;
// The program's path when start-up looks for updataAdd.ini beside it.
constexpr std::size_t kConfigPathBufferBytes = 255;
// The wizard's caption and heading as a vendor's brand sets them.
constexpr std::size_t kTitleBufferBytes = 64;
// The text of the box that ends an action after a failure.
constexpr std::size_t kFailureTextBufferBytes = 512;
// A network failure's text.
constexpr std::size_t kNetworkErrorTextBufferBytes = 1024;
// The update URL as the platform canonicalises and splits it.
constexpr std::size_t kUrlBufferBytes = 2084;
// One text of the string table, and a system error message.
constexpr std::size_t kMessageBufferBytes = 1024;
// The largest update.ini the check accepts; no real manifest comes near it,
// and a larger body is not one. The publishing tool refuses to write more.
constexpr std::uint64_t kManifestLimitBytes = 16u << 20;

constexpr std::size_t keptBytes(std::size_t bufferBytes) { return bufferBytes - 1; }

}  // namespace updater
