#pragma once
// What the release store leaves to the platform the tool is built for
// (platform_posix.cpp, platform_win32.cpp): names, links (which
// std::filesystem does not see on Windows), flushing, and SHA-256. Failures
// come back as error codes, captured right after the failing call.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "engine/platform/sha256.h"

namespace mkmanifest {

// A manifest name or a command-line path as a path, and back: the bytes
// themselves on POSIX, text of the ANSI code page on Windows.
std::filesystem::path pathFromBytes(const std::string& bytes);
std::string bytesOf(const std::filesystem::path& path);

// A name found on disk as bytes of the clients' code page: converted from
// UTF-8 on POSIX (a name that is not UTF-8 is taken as those bytes
// already), from Unicode on Windows. Nothing when the code page lacks one
// of its characters.
std::optional<std::string> nameInCodePage(const std::filesystem::path& leaf, unsigned codePage);
// A name of the clients' code page as a path: the bytes on POSIX, where a
// web server serves them as the clients ask; its Unicode text on Windows.
std::filesystem::path pathOfName(const std::string& name, unsigned codePage);

// Whether the entry itself is a link (a reparse point on Windows).
bool isLink(const std::filesystem::path& path, std::error_code& error);

// Where an existing path leads, every link followed.
struct Destination {
    std::filesystem::path path;
    std::filesystem::file_type type = std::filesystem::file_type::none;
    std::uint64_t size = 0;  // of a regular file
};
Destination destinationOf(const std::filesystem::path& path, std::error_code& error);

// Writes the bytes of a closed file through to the disk.
void flushToDisk(const std::filesystem::path& file, std::error_code& error);

std::unique_ptr<updater::Sha256Source> platformSha256();

}  // namespace mkmanifest
