#pragma once
// The input of fuzz_engine: a script of server answers, taken in the order the
// engine opens requests. The first answer is the one to update.ini, so its
// body is the manifest. Answers are separated by a line "--":
//
//   STATUS LENGTH FLAGS REASON      header line, fields split at blanks
//   body bytes...                   the rest, up to the next "\n--\n"
//
// STATUS is the status code text as given ("200", "404", "", "2x").
// LENGTH is the Content-Length text; "=" means the body's own size, "-" an
// absent header, anything else is taken as it stands.
// FLAGS: S the send fails (REASON is the error text), R<n> a read at body
// offset n fails, P reads return at most 7 bytes, C the download file cannot
// be created, W writing it fails, L closing it fails, B the target is busy
// and cannot be replaced; any other character (say ".") is ignored.
// REASON is the reason phrase (the rest of the line).
// Missing fields keep the defaults: 200 = . OK.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/platform/http.h"

namespace fuzz {

struct ScriptedAnswer {
    std::string status = "200";
    std::optional<std::string> contentLength;  // nothing: the body's size
    std::string reason = "OK";
    std::string body;
    bool sendFails = false;
    std::optional<std::size_t> failReadAt;
    bool shortReads = false;
    bool createFails = false;
    bool writeFails = false;
    bool closeFails = false;
    bool replaceFails = false;

    std::string contentLengthText() const { return contentLength.value_or(std::to_string(body.size())); }
};

std::vector<ScriptedAnswer> parseScript(std::string_view input, std::size_t maxAnswers);

// Serves the answers in order; once they run out, every request gets 404.
class ScriptedHttp : public updater::HttpConnection {
public:
    explicit ScriptedHttp(std::vector<ScriptedAnswer> answers);
    std::unique_ptr<updater::HttpRequest> openGet(const std::string& objectName, updater::CacheUse cache) override;

    // The answer of the request opened last, and the object it was for.
    const ScriptedAnswer* current() const { return current_; }
    const std::string& currentObject() const { return currentObject_; }
    const std::vector<ScriptedAnswer>& answers() const { return answers_; }
    bool overlapped() const { return overlapped_; }

private:
    class Request;
    std::vector<ScriptedAnswer> answers_;
    ScriptedAnswer notFound_;
    std::size_t next_ = 0;
    const ScriptedAnswer* current_ = nullptr;
    std::string currentObject_;
    int open_ = 0;
    bool overlapped_ = false;
};

}  // namespace fuzz
