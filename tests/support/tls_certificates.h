#pragma once
// Certificates for nginx's TLS listener, made by the openssl command once per
// test process: a throwaway CA that is trusted in the Wine prefix's Root
// store only (by trust_root.exe, never in the host's store), and server
// certificates for 127.0.0.1 that fail one check each.
#include <string>

#include "tests/support/file_bytes.h"

namespace testsupport {

enum class ServerCertificate {
    Good,       // 127.0.0.1 and localhost, from the trusted CA
    WrongHost,  // only wrong.example
    Expired,    // ended a day before it began, yesterday
    Untrusted,  // from a CA the prefix does not trust
};

struct TlsFiles {
    std::string certificate;  // PEM paths, for nginx
    std::string key;
};

class TlsCertificates {
public:
    // Made on first use, its CA then trusted in the prefix; throws when
    // openssl or the trust fails.
    static const TlsCertificates& shared();
    TlsFiles files(ServerCertificate which) const;

private:
    TlsCertificates();
    ScratchDir dir_{"updater-tls"};
};

}  // namespace testsupport
