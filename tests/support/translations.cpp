#include "tests/support/translations.h"

#include <fstream>
#include <map>
#include <stdexcept>
#include <utility>

namespace testsupport {
namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::map<std::pair<std::string, std::string>, std::string> readTable() {
    std::ifstream file(UPDATER_TRANSLATIONS_PATH);
    std::map<std::pair<std::string, std::string>, std::string> table;
    std::string line, row;
    while (std::getline(file, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            row = line.substr(1, line.size() - 2);
        } else if (const auto equals = line.find('='); equals != std::string::npos) {
            std::string text = trimmed(line.substr(equals + 1));
            for (auto at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at + 1))
                text.replace(at, 2, "\n");
            table[{row, trimmed(line.substr(0, equals))}] = text;
        }
    }
    return table;
}

}  // namespace

std::string translated(const std::string& language, const std::string& row) {
    static const auto table = readTable();
    const auto found = table.find({row, language});
    if (found != table.end()) return found->second;
    throw std::out_of_range("res/translations.ini has no " + language + " text for [" + row + "]");
}

}  // namespace testsupport
