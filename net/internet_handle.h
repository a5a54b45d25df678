#pragma once
// Owner of one WinInet handle. The kind tag keeps sessions, connections and
// requests apart, so one cannot be passed where another is expected.
#include <windows.h>
#include <wininet.h>

#include <utility>

namespace updater::net {

template <class Kind>
class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() { reset(); }
    InternetHandle(InternetHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    InternetHandle& operator=(InternetHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    HINTERNET get() const { return handle_; }
    // Gives the handle up to another owner, which closes it.
    HINTERNET release() { return std::exchange(handle_, nullptr); }

    void reset() {
        if (handle_) InternetCloseHandle(std::exchange(handle_, nullptr));
    }

private:
    HINTERNET handle_ = nullptr;
};

struct SessionKind;
struct ConnectionKind;
struct RequestKind;
using SessionHandle = InternetHandle<SessionKind>;
using ConnectionHandle = InternetHandle<ConnectionKind>;
using RequestHandle = InternetHandle<RequestKind>;

}  // namespace updater::net
