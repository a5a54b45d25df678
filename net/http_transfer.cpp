#include "net/http_transfer.h"

#include "win32/unique_handle.h"
#include "net/network_failure.h"
#include "net/wininet_connection.h"

namespace updater::net {

namespace {
constexpr DWORD kConnectTimeoutMs = 4000;
constexpr DWORD kConnectRetries = 2;
constexpr DWORD_PTR kContext = 1;

void setOption(HINTERNET handle, DWORD option, DWORD value) {
    InternetSetOptionExA(handle, option, &value, sizeof value, 0);
}
}  // namespace

struct HttpTransfer::Impl {
    explicit Impl(const CodePage& codePage) : cp(codePage), connection(codePage) {}
    const CodePage& cp;
    win32::SessionHandle session;
    WinInetConnection connection;
};

HttpTransfer::HttpTransfer(const std::string& agentName, const CodePage& cp) : impl_(std::make_unique<Impl>(cp)) {
    HINTERNET session = InternetOpenA(agentName.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) {
        DWORD code = GetLastError();
        throw networkError(code, cp);
    }
    impl_->session = win32::SessionHandle(session);
}

HttpTransfer::~HttpTransfer() { close(); }

void HttpTransfer::connect(const std::string& server, std::uint16_t port) {
    HINTERNET session = impl_->session.get();
    setOption(session, INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
    setOption(session, INTERNET_OPTION_CONNECT_RETRIES, kConnectRetries);
    // No traffic happens here; a failure (practically only resource exhaustion)
    // is remembered and surfaces when a request is sent.
    HINTERNET connection =
        InternetConnectA(session, server.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, kContext);
    DWORD code = connection ? ERROR_SUCCESS : GetLastError();
    if (connection) {
        // Set on the connection, not the session: Wine hands only the
        // connection's values on to its requests (Windows takes either).
        setOption(connection, INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs);
        setOption(connection, INTERNET_OPTION_SEND_TIMEOUT, kSendTimeoutMs);
    }
    impl_->connection = WinInetConnection(win32::ConnectionHandle(connection), server, port, code, impl_->cp);
}

HttpConnection& HttpTransfer::connection() { return impl_->connection; }

void HttpTransfer::close() {
    impl_->connection.close();
    impl_->session.reset();
}

}  // namespace updater::net
