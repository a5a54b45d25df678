#include "engine/report/logged_http.h"

#include <optional>
#include <utility>
#include <vector>

namespace updater {

namespace {

class LoggedRequest final : public HttpRequest {
public:
    LoggedRequest(std::unique_ptr<HttpRequest> inner, std::string url, EventLog& log, Clock& clock)
        : inner_(std::move(inner)), url_(std::move(url)), log_(log), clock_(clock) {}

    // One line per request that was sent, when it closes.
    ~LoggedRequest() override {
        if (!sent_ || readFailed_) return;
        try {
            if (!status_) status_ = inner_->statusCode() + " " + inner_->statusText();
            const std::string range = from_ ? " from byte " + std::to_string(from_) : "";
            log_.write("GET " + url_ + range + ": " + *status_ + ", " + std::to_string(bytes_) + " bytes, " +
                       std::to_string(elapsedMs()) + " ms");
        } catch (...) {
            // A line that cannot be made is lost, nothing else.
        }
    }

    void send() override {
        startMs_ = clock_.nowMs();
        try {
            inner_->send();
        } catch (const NetworkError& error) {
            log_.write("GET " + url_ + ": not sent after " + std::to_string(elapsedMs()) + " ms, " +
                       errorCodeText(error.code(), error.text()));
            throw;
        }
        sent_ = true;
    }
    std::string statusCode() override {
        std::string code = inner_->statusCode();
        if (!status_) status_ = code + " " + inner_->statusText();
        return code;
    }
    std::string statusText() override { return inner_->statusText(); }
    std::vector<std::string> contentLengths() override { return inner_->contentLengths(); }
    std::string transferEncoding() override { return inner_->transferEncoding(); }
    std::string contentEncoding() override { return inner_->contentEncoding(); }
    std::size_t read(char* buffer, std::size_t size) override {
        try {
            const std::size_t n = inner_->read(buffer, size);
            bytes_ += n;
            return n;
        } catch (const NetworkError& error) {
            readFailed_ = true;
            log_.write("GET " + url_ + ": read failed after " + std::to_string(bytes_) + " bytes, " +
                       std::to_string(elapsedMs()) + " ms, " + errorCodeText(error.code(), error.text()));
            throw;
        }
    }
    void giveUpAfter(std::uint32_t milliseconds) override { inner_->giveUpAfter(milliseconds); }
    void askFrom(std::uint64_t offset) override {
        from_ = offset;
        inner_->askFrom(offset);
    }
    std::string contentRange() override { return inner_->contentRange(); }

private:
    std::uint64_t elapsedMs() { return clock_.nowMs() - startMs_; }

    std::unique_ptr<HttpRequest> inner_;
    std::string url_;
    EventLog& log_;
    Clock& clock_;
    std::uint64_t startMs_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t from_ = 0;  // the first byte asked for
    bool sent_ = false;
    bool readFailed_ = false;
    std::optional<std::string> status_;
};

}  // namespace

class LoggedHttpSession::Connection final : public HttpConnection {
public:
    Connection(HttpConnection& inner, std::string origin, EventLog& log, Clock& clock)
        : inner_(inner), origin_(std::move(origin)), log_(log), clock_(clock) {}
    std::unique_ptr<HttpRequest> openGet(const std::string& objectName, CacheUse cache) override {
        return std::make_unique<LoggedRequest>(inner_.openGet(objectName, cache), origin_ + objectName, log_, clock_);
    }

private:
    HttpConnection& inner_;
    std::string origin_;
    EventLog& log_;
    Clock& clock_;
};

LoggedHttpSession::LoggedHttpSession(HttpSession& inner, EventLog& log, Clock& clock)
    : inner_(inner), log_(log), clock_(clock) {}

LoggedHttpSession::~LoggedHttpSession() = default;

void LoggedHttpSession::connect(const std::string& server, std::uint16_t port, bool secure) {
    const std::string origin = (secure ? "https://" : "http://") + server + ":" + std::to_string(port);
    try {
        inner_.connect(server, port, secure);
    } catch (const NetworkError& error) {
        log_.write("connect to " + origin + " failed: " + errorCodeText(error.code(), error.text()));
        throw;
    }
    connection_ = std::make_unique<Connection>(inner_.connection(), origin, log_, clock_);
}

HttpConnection& LoggedHttpSession::connection() {
    return connection_ ? static_cast<HttpConnection&>(*connection_) : inner_.connection();
}

}  // namespace updater
