#include "engine/report/failure_report.h"

#include <new>

#include "engine/text/byte_limits.h"
#include "engine/platform/date_parser.h"
#include "engine/platform/file_system.h"
#include "engine/platform/http.h"

namespace updater {
namespace {

// ERROR_HANDLE_DISK_FULL and ERROR_DISK_FULL.
constexpr unsigned long kDiskFullCodes[] = {39, 112};

bool isDiskFull(const FileError& error) {
    for (const unsigned long code : kDiskFullCodes)
        if (error.code() == code) return true;
    return false;
}

std::string fileErrorText(const FileError& error, const Messages& messages) {
    // Any failure at close time is what the framework calls a full disk; a
    // write that found no room says so too.
    const bool diskFull = error.kind() == FileError::Kind::Close || isDiskFull(error);
    const MessageId id = diskFull ? MessageId::DiskFull : MessageId::FileAccessError;
    return fillPercent1(messages.load(id), error.path());
}

std::string textOf(std::exception_ptr error, const Messages& messages, const SystemErrorText& systemText,
                   bool& outOfMemory) {
    try {
        std::rethrow_exception(error);
    } catch (const NetworkError& e) {
        return e.text();
    } catch (const FileError& e) {
        return fileErrorText(e, messages);
    } catch (const DateParserError& e) {
        return systemText ? systemText(e.code()) : std::string();
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    } catch (...) {
    }
    return std::string();
}

}  // namespace

FailureReport describeFailure(std::exception_ptr error, const Messages& messages,
                              const CodePage& cp, const SystemErrorText& systemText) {
    FailureReport report;
    std::string text = textOf(error, messages, systemText, report.outOfMemory);
    if (text.empty()) text = messages.load(MessageId::InternalError);
    report.text = cutToBytes(text, keptBytes(kFailureTextBufferBytes), cp);
    return report;
}

}  // namespace updater
