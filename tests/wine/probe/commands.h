#pragma once
// The probe's commands: one request line in, one reply line out. A request is
// "VERB EXE [ARGUMENT]": EXE names the executable (no spaces in the name) of
// the program whose processes and windows the command is about.
#include <string>

namespace probe {

std::string execute(const std::string& line);

}  // namespace probe
