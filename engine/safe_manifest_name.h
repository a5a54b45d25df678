#pragma once
// Which FILE values of a manifest the updater acts on. The names come from
// the server; the publishing tool refuses the same shapes before they get there.
#include <string>
#include <string_view>

namespace updater {

// Whether a path component names a Windows device (CON, NUL, COM1, lpt1.txt,
// "aux ."...): opening it reaches the device, not a file in the directory.
bool isWindowsDeviceName(std::string_view component);

// Whether a manifest FILE value names a file inside the program directory:
// no parent references, drive or stream colons, devices, leading or trailing
// separator, NUL, or bytes that are not well-formed code page 936.
bool isSafeManifestName(const std::string& name);

}  // namespace updater
