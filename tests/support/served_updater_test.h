#pragma once
// The frame of most end-to-end tests: a product directory configured (or
// not) for the scriptable server, the program under test started from it,
// and its wizard. Header-only, for the GoogleTest binaries.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/product_dir.h"
#include "tests/support/test_http_server.h"
#include "tests/support/updater_process.h"
#include "tests/support/wizard_driver.h"
#include "tests/support/wizard_texts.h"

namespace testsupport {

class ServedUpdaterTest : public ::testing::Test {
protected:
    // The server serves an empty folder: only scripted answers have a body.
    ServedUpdaterTest() : server(std::make_unique<TestHttpServer>(product.pathOf("web"))) {}

    std::string urlFor(std::uint16_t port, const std::string& path = "/kelmor/") const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }
    std::string url() const { return urlFor(server->port()); }
    // kelmor 1.26, updated from the server's /kelmor/.
    void configure() { product.writeConfig({"kelmor", "1.26", url()}); }

    // A 200 with that body for requests of path.
    void serve(const std::string& path, const std::string& body) {
        ScriptedAnswer answer;
        answer.body = body;
        server->script(path, answer);
    }

    // A fresh copy of the program; the earlier one ends before it starts.
    void launch(const std::vector<std::string>& args = {}) {
        updater.reset();
        updater = std::make_unique<UpdaterProcess>(product, args);
    }
    // A fresh copy, and the wizard as it opens: fails the test when it does not.
    WizardState start(const std::vector<std::string>& args = {}) {
        launch(args);
        WizardState state = wizard.waitOpen();
        EXPECT_TRUE(state.found && state.visible) << state << "\n" << updater->output();
        return state;
    }
    // Like start(), but a wizard that does not open is a fatal failure.
    void startOrFail() {
        launch();
        const WizardState state = wizard.waitOpen();
        ASSERT_TRUE(state.found && state.visible) << state << "\n" << updater->output();
    }
    // Next, and the update offered: the button has become Update.
    void checkUntilOffered() {
        ASSERT_TRUE(wizard.pressNext());
        const WizardState state = wizard.waitForNextCaption(updateCaption);
        ASSERT_EQ(state.nextCaption, updateCaption) << state;
    }

    ProductDir product;
    std::unique_ptr<TestHttpServer> server;
    Wizard wizard;
    std::unique_ptr<UpdaterProcess> updater;
    // The buttons' texts in the language of the program under test.
    std::string updateCaption = kUpdateCaption;
    std::string finishCaption = kFinishCaption;
};

}  // namespace testsupport
