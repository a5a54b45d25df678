#include "tests/support/wizard_driver.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "engine/text/hex_text.h"
#include "tests/support/poll.h"
#include "tests/support/probe_client.h"
#include "tests/support/wizard_texts.h"

namespace testsupport {

namespace {

constexpr milliseconds kPollInterval{50};
// A box may be found a moment before its icon is painted.
constexpr milliseconds kIconPaintLimit{2000};

// The probe's names of the icons, in the order of BoxIcon.
const char* const kIconNames[] = {"none", "stop", "exclamation", "information"};

// "width,height"; 0,0 when absent.
std::pair<int, int> sizeNamed(const std::string& text) {
    const auto comma = text.find(',');
    if (comma == std::string::npos) return {0, 0};
    return {std::atoi(text.c_str()), std::atoi(text.c_str() + comma + 1)};
}

BoxIcon iconNamed(const std::string& name) {
    const auto found = std::find(std::begin(kIconNames), std::end(kIconNames), name);
    return found == std::end(kIconNames) ? BoxIcon::None : static_cast<BoxIcon>(found - std::begin(kIconNames));
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const WizardState& s) {
    if (!s.found) return out << "{no wizard}";
    out << "{visible=" << s.visible << (s.minimized ? " minimized" : "") << " caption=\"" << s.caption << "\" status=\"" << s.status << "\" next=\""
        << s.nextCaption << "\" nextEnabled=" << s.nextEnabled << " cancelEnabled=" << s.cancelEnabled;
    if (!s.responsive) return out << " (not answering)}";
    out << " progress=" << s.progress << " lines=[";
    for (size_t i = 0; i < s.lines.size(); ++i) out << (i ? ", \"" : "\"") << s.lines[i] << '"';
    return out << "]}";
}

std::ostream& operator<<(std::ostream& out, BoxIcon icon) { return out << kIconNames[static_cast<int>(icon)]; }

std::ostream& operator<<(std::ostream& out, const MessageBoxState& box) {
    out << "{caption=\"" << box.caption << "\" text=\"" << box.text << "\" icon=" << box.icon
        << " owned=" << box.owned << " buttons=[";
    for (size_t i = 0; i < box.buttons.size(); ++i)
        out << (i ? ", " : "") << box.buttons[i].id << ":\"" << box.buttons[i].caption << '"';
    return out << "]}";
}

Wizard::Wizard(const std::string& exeName) : Wizard(ProbeClient::shared(), exeName) {}

Wizard::Wizard(ProbeClient& probe, const std::string& exeName) : probe_(probe) { probe_.setTarget(exeName); }

WizardState Wizard::state() {
    ProbeReply reply = probe_.call("STATE");
    WizardState s;
    if (!reply.ok()) return s;
    s.found = true;
    s.visible = reply.number("visible") == 1;
    s.minimized = reply.number("minimized") == 1;
    s.responsive = reply.number("responsive") == 1;
    s.caption = reply.text("caption");
    s.status = reply.text("status");
    s.nextCaption = reply.text("next");
    s.cancelCaption = reply.text("cancel");
    s.nextEnabled = reply.number("nextEnabled") == 1;
    s.cancelEnabled = reply.number("cancelEnabled") == 1;
    s.client = sizeNamed(reply.value("client"));
    s.banner = sizeNamed(reply.value("banner"));
    s.list = sizeNamed(reply.value("list"));
    if (s.responsive) {
        s.progress = reply.number("progress");
        for (const auto& line : reply.values("line")) s.lines.push_back(updater::decodeHex(line).value());
    }
    return s;
}

WizardState Wizard::waitUntil(const std::function<bool(const WizardState&)>& condition, milliseconds limit) {
    WizardState last;
    pollUntil([&] { return condition(last = state()); }, limit, kPollInterval);
    return last;
}

WizardState Wizard::waitOpen(milliseconds limit) {
    return waitUntil([](const WizardState& s) { return s.found && s.visible && s.responsive && !s.lines.empty(); },
                     limit);
}

WizardState Wizard::waitForStatus(const std::string& status, milliseconds limit) {
    return waitUntil([&](const WizardState& s) { return s.found && s.status == status; }, limit);
}

WizardState Wizard::waitForNextCaption(const std::string& caption, milliseconds limit) {
    return waitUntil([&](const WizardState& s) { return s.found && s.nextCaption == caption; }, limit);
}

// The check runs on a worker with Next disabled; its final status can show a
// frame before the wizard gives Next back.
WizardState Wizard::waitForCheckEnd(milliseconds limit) {
    return waitUntil([](const WizardState& s) {
        const bool failed = s.status == kConnectFailed || s.status == kSignatureInvalid;
        return s.found && s.responsive &&
               (s.status == kAlreadyNewest || (failed && s.nextEnabled) ||
                (s.nextCaption == kUpdateCaption && s.nextEnabled));
    }, limit);
}

bool Wizard::waitGone(milliseconds limit) {
    return pollUntil([&] {
        const WizardState s = state();
        return !s.found || !s.visible;
    }, limit, kPollInterval);
}

std::optional<long> Wizard::answerMs() {
    const ProbeReply reply = probe_.call("ANSWERTIME");
    return reply.ok() ? std::optional<long>(reply.number("ms")) : std::nullopt;
}

bool Wizard::pressNext() { return probe_.call("PRESS " + std::to_string(kOkId)).ok(); }
bool Wizard::pressCancel() { return probe_.call("PRESS " + std::to_string(kCancelId)).ok(); }

void Wizard::command(const std::string& line) {
    ProbeReply reply = probe_.call(line);
    if (!reply.ok()) throw std::runtime_error("probe: " + line + " -> " + reply.status);
}

void Wizard::pressEnter() { command("KEY RETURN"); }
void Wizard::pressEsc() { command("KEY ESCAPE"); }
void Wizard::closeBox() { command("CLOSE"); }
void Wizard::minimize() { command("MINIMIZE"); }
void Wizard::changeDpi(int dpi, int fromDpi) { command("DPI " + std::to_string(dpi) + " " + std::to_string(fromDpi)); }

std::optional<MessageBoxState> Wizard::box() {
    ProbeReply reply = probe_.call("BOX");
    if (!reply.ok()) return std::nullopt;
    MessageBoxState box;
    box.caption = reply.text("caption");
    box.text = reply.text("text");
    box.icon = iconNamed(reply.value("icon"));
    box.owned = reply.number("owned") == 1;
    for (const auto& button : reply.values("button")) {
        const auto colon = button.find(':');  // "id:caption"
        const std::string caption = colon == std::string::npos ? "" : button.substr(colon + 1);
        box.buttons.push_back({std::atoi(button.c_str()), updater::decodeHex(caption).value()});
    }
    return box;
}

std::optional<MessageBoxState> Wizard::waitForBox(milliseconds limit) {
    std::optional<MessageBoxState> found;
    if (!pollUntil([&] { return (found = box()).has_value(); }, limit, kPollInterval)) return std::nullopt;
    pollUntil([&] {
        auto again = box();
        if (again) found = again;
        return !found || found->icon != BoxIcon::None;
    }, kIconPaintLimit, kPollInterval);
    return found;
}

bool Wizard::answerBox(int buttonId) { return probe_.call("ANSWER " + std::to_string(buttonId)).ok(); }

}  // namespace testsupport
