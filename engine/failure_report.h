#pragma once
// The text of the one message box that ends a button action after a failure
// the action did not handle itself.
#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "engine/code_page.h"
#include "engine/messages.h"

namespace updater {

// Longest text shown, in bytes (a 512-byte buffer with its terminator).
constexpr std::size_t kFailureTextMaxBytes = 511;

struct FailureReport {
    std::string text;
    bool outOfMemory = false;  // shown system-modal with the exclamation icon
};

// The system's message for an error code; empty when it has none.
using SystemErrorText = std::function<std::string(unsigned long code)>;

// Describes the failure held by error: a network failure by its own text, a
// file failure by the framework's file-error message with "%1" = the path,
// a date parser failure by the system's text for its code, and anything
// without a text by message 61704.
FailureReport describeFailure(std::exception_ptr error, const Messages& messages,
                              const CodePage& cp, const SystemErrorText& systemText);

// The first bytes of text, at most maxBytes, never half a double-byte character.
std::string cutToBytes(std::string_view text, std::size_t maxBytes, const CodePage& cp);

}  // namespace updater
