#include "tools/demo/walkthrough.h"

#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "tests/support/probe_client.h"
#include "tests/support/wine_runner.h"
#include "tests/support/wizard_driver.h"
#include "tests/support/wizard_texts.h"
#include "tools/demo/screen_capture.h"

namespace demo {

namespace {

using testsupport::kFinishCaption;
using testsupport::kUpdateCaption;
using testsupport::MessageBoxState;
using testsupport::WizardState;
constexpr std::chrono::milliseconds kRunLimit{60000};

class Walkthrough {
public:
    explicit Walkthrough(const WalkthroughPaths& paths)
        : paths_(paths),
          probe_(testsupport::ProbeClient::shared()),
          wizard_(probe_, "Update.exe"),
          camera_(paths.scratchDir) {}

    void run() {
        testsupport::WineProcess updater(testsupport::toWindowsPath(paths_.installDir + "/Update.exe"), {},
                                         paths_.scratchDir);
        WizardState state = wizard_.waitOpen();
        require(state.found && state.visible && state.responsive, "the wizard did not open", state);
        stage("1-opened", "The wizard opens", state);

        require(wizard_.pressNext(), "Next cannot be pressed", state);
        state = wizard_.waitForNextCaption(kUpdateCaption);
        require(state.nextCaption == kUpdateCaption, "the check found no newer version", state);
        stage("2-newer", "Next: the check finds the new version", state);

        require(wizard_.pressNext(), "Update cannot be pressed", state);
        std::optional<MessageBoxState> box;
        state = wizard_.waitUntil([&](const WizardState& s) { return finished(s) || (box = wizard_.waitForBox({})); },
                                  kRunLimit);
        if (box) {
            box = wizard_.waitForBox();  // again, now that its icon is painted
            shoot("3-guard");
            std::cout << "3. Update: the product is running, and the updater asks first:\n";
            printIndented(box ? box->text : "");
            std::cout << "   -> " << pngPath("3-guard") << "\n   OK pressed: the product is ended.\n";
            require(wizard_.answerBox(testsupport::kOkId), "the box cannot be answered", state);
            state = wizard_.waitUntil(finished, kRunLimit);
        } else {
            std::cout << "3. Update: the product is not running, so nothing is asked.\n";
        }
        require(finished(state), "the update did not finish", state);
        stage("4-finished", "The files are replaced", state);

        require(wizard_.pressNext(), "Finish cannot be pressed", state);
        require(updater.wait(std::chrono::seconds(15)) != -1 || !updater.running(), "Update.exe did not end",
                wizard_.state());
        std::cout << "Finish pressed: Update.exe has ended.\n";
    }

private:
    static bool finished(const WizardState& s) {
        return s.found && s.nextCaption == kFinishCaption && s.nextEnabled && s.responsive;
    }

    static void require(bool condition, const std::string& what, const WizardState& state) {
        if (condition) return;
        std::ostringstream message;
        message << what << "; the wizard: " << state;
        throw std::runtime_error(message.str());
    }

    static void printIndented(const std::string& text) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) std::cout << "     | " << line << "\n";
    }

    std::string pngPath(const std::string& name) const { return paths_.outDir + "/" + name + ".png"; }

    // The wizard's frame, as Wine's virtual desktop draws it.
    ScreenArea wizardArea() {
        const testsupport::ProbeReply reply = probe_.call("STATE");
        ScreenArea area;
        char comma;
        std::istringstream rect(reply.value("rect"));
        rect >> area.left >> comma >> area.top >> comma >> area.right >> comma >> area.bottom;
        if (!rect || area.right <= area.left || area.bottom <= area.top)
            throw std::runtime_error("no wizard rectangle in: " + reply.value("rect"));
        return area;
    }

    void shoot(const std::string& name) { camera_.save(wizardArea(), pngPath(name)); }

    void stage(const std::string& name, const std::string& title, const WizardState& state) {
        shoot(name);
        std::cout << name.substr(0, 1) << ". " << title << ": status \"" << state.status << "\", button \""
                  << state.nextCaption << "\"\n";
        for (const std::string& line : state.lines) std::cout << "     | " << line << "\n";
        std::cout << "   -> " << pngPath(name) << "\n";
    }

    WalkthroughPaths paths_;
    testsupport::ProbeClient& probe_;
    testsupport::Wizard wizard_;
    ScreenCapture camera_;
};

}  // namespace

void runWalkthrough(const WalkthroughPaths& paths) { Walkthrough(paths).run(); }

}  // namespace demo
