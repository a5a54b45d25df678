#pragma once
// The text of the one message box that ends a button action after a failure
// the action did not handle itself.
#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "engine/text/code_page.h"
#include "engine/report/messages.h"

namespace updater {

struct FailureReport {
    std::string text;
    bool outOfMemory = false;  // shown system-modal with the exclamation icon
};

// The system's message for an error code; empty when it has none.
using SystemErrorText = std::function<std::string(unsigned long code)>;

// Describes the failure held by error: a network failure by its own text, a
// file failure by the framework's file-error message with "%1" = the path,
// a date parser failure by the system's text for its code, and anything
// without a text by message 61704; cut to what the box's buffer holds.
FailureReport describeFailure(std::exception_ptr error, const Messages& messages,
                              const CodePage& cp, const SystemErrorText& systemText);

}  // namespace updater
