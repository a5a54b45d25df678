#include "engine/run/command_line.h"

namespace updater {

const std::vector<ListedSwitch>& programSwitches() {
    static const std::vector<ListedSwitch> switches = {
        {L"elevated-run", StartMode::ElevatedRun, SwitchArgument::Required},
        {L"recover", StartMode::Recover, SwitchArgument::None},
        {L"check", StartMode::Check, SwitchArgument::Optional},
        {L"update", StartMode::Update, SwitchArgument::None}};
    return switches;
}

std::wstring switchName(std::wstring_view argument) {
    if (argument.size() < 2 || (argument[0] != L'/' && argument[0] != L'-')) return {};
    std::wstring name(argument.substr(1));
    // ASCII only: a switch name never holds other letters, and a locale's
    // folding (Turkish dotless i) must not make one out of another word.
    for (wchar_t& c : name)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return name;
}

std::wstring switchFor(StartMode mode) {
    for (const ListedSwitch& listed : programSwitches())
        if (listed.mode == mode) return L"/" + std::wstring(listed.name);
    return {};
}

StartRequest parseCommandLine(const std::vector<std::wstring>& arguments, const std::vector<ListedSwitch>& switches) {
    if (arguments.empty()) return {};
    const std::wstring name = switchName(arguments[0]);
    if (name.empty()) return {};
    for (const ListedSwitch& listed : switches) {
        if (listed.name != name) continue;
        if (listed.argument == SwitchArgument::None || arguments.size() < 2)
            return listed.argument == SwitchArgument::Required ? StartRequest{} : StartRequest{listed.mode, {}};
        return {listed.mode, arguments[1]};
    }
    return {};
}

std::wstring quoteArgument(std::wstring_view argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there each one is doubled.
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');  // before the closing quote
    return quoted + L"\"";
}

}  // namespace updater
