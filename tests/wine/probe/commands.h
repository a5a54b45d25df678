#pragma once
// The probe's commands: one request line in, one reply line out.
#include <string>

namespace probe {

class Commands {
public:
    std::string execute(const std::string& line);

private:
    std::wstring target_ = L"Update.exe";
};

}  // namespace probe
