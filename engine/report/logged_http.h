#pragma once
// The HTTP session as the log sees it: each request with its status, bytes
// and time, and each failure with the client's code and text, whatever the
// kind of failure (a refused connection, a timeout, a TLS error alike). It
// only watches: every call goes on to the session it wraps unchanged.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/work/clock.h"
#include "engine/report/event_log.h"
#include "engine/platform/http.h"

namespace updater {

class LoggedHttpSession final : public HttpSession {
public:
    // inner, log and clock must outlive the session and its requests.
    LoggedHttpSession(HttpSession& inner, EventLog& log, Clock& clock);
    ~LoggedHttpSession() override;

    void connect(const std::string& server, std::uint16_t port, bool secure) override;
    HttpConnection& connection() override;
    void close() override { inner_.close(); }
    void setStopFlag(const StopFlag& stop) override { inner_.setStopFlag(stop); }

private:
    class Connection;
    HttpSession& inner_;
    EventLog& log_;
    Clock& clock_;
    std::unique_ptr<Connection> connection_;
};

}  // namespace updater
