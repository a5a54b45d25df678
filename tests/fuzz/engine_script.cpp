#include "engine_script.h"

#include <algorithm>
#include <cstdlib>

namespace fuzz {

namespace {

constexpr std::string_view kSeparator = "\n--\n";
constexpr std::size_t kShortReadBytes = 7;

std::string_view nextField(std::string_view& line) {
    const std::size_t end = line.find(' ');
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end + 1);
    return field;
}

void applyFlags(std::string_view flags, ScriptedAnswer& answer) {
    for (std::size_t i = 0; i < flags.size(); ++i) {
        switch (flags[i]) {
        case 'S': answer.sendFails = true; break;
        case 'P': answer.shortReads = true; break;
        case 'C': answer.createFails = true; break;
        case 'W': answer.writeFails = true; break;
        case 'L': answer.closeFails = true; break;
        case 'B': answer.replaceFails = true; break;
        case 'R': {
            std::size_t offset = 0;
            while (i + 1 < flags.size() && flags[i + 1] >= '0' && flags[i + 1] <= '9' && offset < 1000000)
                offset = offset * 10 + static_cast<std::size_t>(flags[++i] - '0');
            answer.failReadAt = offset;
            break;
        }
        default: break;
        }
    }
}

ScriptedAnswer parseAnswer(std::string_view part) {
    ScriptedAnswer answer;
    const std::size_t lineEnd = part.find('\n');
    std::string_view header = part.substr(0, lineEnd);
    answer.body = std::string(lineEnd == std::string_view::npos ? std::string_view() : part.substr(lineEnd + 1));
    if (!header.empty()) answer.status = std::string(nextField(header));
    if (!header.empty()) {
        const std::string_view length = nextField(header);
        if (length == "-") answer.contentLength = "";
        else if (length != "=") answer.contentLength = std::string(length);
    }
    if (!header.empty()) applyFlags(nextField(header), answer);
    if (!header.empty()) answer.reason = std::string(header);
    return answer;
}

}  // namespace

std::vector<ScriptedAnswer> parseScript(std::string_view input, std::size_t maxAnswers) {
    std::vector<ScriptedAnswer> answers;
    while (answers.size() < maxAnswers) {
        const std::size_t end = input.find(kSeparator);
        answers.push_back(parseAnswer(input.substr(0, end)));
        if (end == std::string_view::npos) break;
        input.remove_prefix(end + kSeparator.size());
    }
    return answers;
}

class ScriptedHttp::Request : public updater::HttpRequest {
public:
    Request(ScriptedHttp& owner, const ScriptedAnswer& answer) : owner_(owner), answer_(answer) { ++owner_.open_; }
    ~Request() override { --owner_.open_; }

    void send() override {
        if (answer_.sendFails) throw updater::NetworkError(12029, answer_.reason);
        sent_ = true;
    }
    std::string statusCode() override { return sent_ ? answer_.status : ""; }
    std::string statusText() override { return sent_ ? answer_.reason : ""; }
    std::vector<std::string> contentLengths() override {
        if (!sent_ || answer_.contentLengthText().empty()) return {};
        return {answer_.contentLengthText()};
    }
    std::string transferEncoding() override { return ""; }
    std::string contentEncoding() override { return ""; }
    std::size_t read(char* buffer, std::size_t size) override {
        if (answer_.failReadAt && offset_ >= *answer_.failReadAt) throw updater::NetworkError(12030, "read failed");
        std::size_t n = std::min(size, answer_.body.size() - offset_);
        if (answer_.failReadAt) n = std::min(n, *answer_.failReadAt - offset_);
        if (answer_.shortReads) n = std::min(n, kShortReadBytes);
        answer_.body.copy(buffer, n, offset_);
        offset_ += n;
        return n;
    }

private:
    ScriptedHttp& owner_;
    const ScriptedAnswer& answer_;
    bool sent_ = false;
    std::size_t offset_ = 0;
};

ScriptedHttp::ScriptedHttp(std::vector<ScriptedAnswer> answers) : answers_(std::move(answers)) {
    notFound_.status = "404";
    notFound_.reason = "Not Found";
}

std::unique_ptr<updater::HttpRequest> ScriptedHttp::openGet(const std::string& objectName, updater::CacheUse) {
    if (open_ > 0) overlapped_ = true;
    current_ = next_ < answers_.size() ? &answers_[next_++] : &notFound_;
    currentObject_ = objectName;
    return std::make_unique<Request>(*this, *current_);
}

}  // namespace fuzz
