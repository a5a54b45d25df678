#pragma once
// An independent model of where Windows puts a relative name joined to a
// directory, used to judge what the engine lets through. It errs on the side
// of "leaves": anything Windows might read as a parent reference counts as one.
#include <string_view>

namespace fuzz {

// Whether directory + name stays within the directory (a name like "." that
// resolves to the directory itself does not leave it).
// Windows rules modelled:
// - a C string: the name ends at the first NUL;
// - code page 936: a byte 0x81..0xFE and the non-NUL byte after it are one
//   character, never a separator, dot or colon;
// - "\" and "/" both separate; a leading separator means the drive's root;
// - any ":" makes a drive-relative path or an alternate data stream;
// - empty components and "." vanish; trailing dots and blanks are stripped,
//   so a component of only dots and blanks with two or more dots is "..".
bool staysWithinDirectory(std::string_view name);

}  // namespace fuzz
