#include "windows_path.h"

#include <cstddef>

namespace fuzz {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isLeadByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x81 && byte <= 0xFE;
}

enum class Component { Vanishes, Parent, Name };

Component classify(std::string_view component) {
    std::size_t dots = 0;
    for (const char c : component) {
        if (c == '.') ++dots;
        else if (c != ' ') return Component::Name;
    }
    return dots >= 2 ? Component::Parent : Component::Vanishes;
}

}  // namespace

bool staysWithinDirectory(std::string_view name) {
    name = name.substr(0, name.find('\0'));
    if (!name.empty() && isSeparator(name.front())) return false;

    long depth = 0;
    bool leftDirectory = false;
    std::size_t start = 0;
    auto endComponent = [&](std::size_t end) {
        switch (classify(name.substr(start, end - start))) {
        case Component::Parent:
            if (--depth < 0) leftDirectory = true;
            break;
        case Component::Name:
            ++depth;
            break;
        case Component::Vanishes:
            break;
        }
    };
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (isLeadByte(name[i]) && i + 1 < name.size()) {
            ++i;  // both bytes are one character
            continue;
        }
        if (name[i] == ':') return false;
        if (isSeparator(name[i])) {
            endComponent(i);
            start = i + 1;
        }
    }
    endComponent(name.size());
    return !leftDirectory;
}

}  // namespace fuzz
