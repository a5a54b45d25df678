#pragma once
// squid on 127.0.0.1 as a customer's caching forward proxy: Debian's default
// caching rules, a memory cache only, on a free port, with its own prefix
// (configuration, logs, pid file); the destructor stops squid and removes
// the prefix.
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"

namespace testsupport {

class SquidProxy {
public:
    SquidProxy();
    SquidProxy(const SquidProxy&) = delete;
    SquidProxy& operator=(const SquidProxy&) = delete;

    int port() const { return port_; }
    // The access log so far, one line per request, squid's native form:
    // "... TCP_MEM_HIT/200 1234 GET http://127.0.0.1:PORT/kelmor/x - ...".
    std::vector<std::string> accessLog() const;

private:
    bool startOn(int port);

    ScratchDir prefix_{"updater-squid"};
    int port_ = 0;
    std::unique_ptr<ChildProcess> process_;  // ends before the prefix goes
};

}  // namespace testsupport
