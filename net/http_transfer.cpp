#include "net/http_transfer.h"

#include <utility>

#include "engine/work/bounded_send.h"
#include "engine/work/call_gate.h"
#include "net/network_failure.h"
#include "net/wininet_connection.h"
#include "win32/thread_name.h"
#include "win32/unique_handle.h"

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
    std::shared_ptr<CallGate> gate = std::make_shared<CallGate>();
    const StopFlag* stop = nullptr;
    bool closed = false;
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

void HttpTransfer::connect(const std::string& server, std::uint16_t port, bool secure) {
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
    SessionShare share{impl_->gate, std::make_shared<BoundedSend>([] { win32::nameCurrentThread(L"http send"); }),
                       impl_->stop};
    impl_->connection =
        WinInetConnection(win32::ConnectionHandle(connection), {server, port, secure}, code, std::move(share), impl_->cp);
}

HttpConnection& HttpTransfer::connection() { return impl_->connection; }

void HttpTransfer::close() {
    if (std::exchange(impl_->closed, true)) return;
    if (impl_->gate->close(kLeftCallWaitMs)) {
        impl_->connection.close();
        impl_->session.reset();
    } else {
        impl_->connection.leave();
        impl_->session.release();
    }
}

void HttpTransfer::setStopFlag(const StopFlag& stop) { impl_->stop = &stop; }

}  // namespace updater::net
