#include "tests/support/tls_certificates.h"

#include <stdexcept>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/wine_runner.h"

namespace testsupport {

namespace {

const char* nameOf(ServerCertificate which) {
    switch (which) {
        case ServerCertificate::Good: return "good";
        case ServerCertificate::WrongHost: return "wrong-host";
        case ServerCertificate::Expired: return "expired";
        case ServerCertificate::Untrusted: return "untrusted";
    }
    return "";
}

void openssl(std::vector<std::string> args, const std::string& dir) {
    args.insert(args.begin(), "openssl");
    const ChildResult result = runChild(args, std::chrono::seconds(60), dir);
    if (result.exitCode != 0) throw std::runtime_error(args[1] + " failed: " + result.output);
}

void makeCa(const std::string& name, const std::string& dir) {
    openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".crt", "-days",
             "2", "-subj", "/CN=Updater " + name, "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
             "keyUsage=critical,keyCertSign,cRLSign"},
            dir);
}

// A certificate for the server's one key, signed by ca; a negative days has
// it end before it begins.
void makeServerCertificate(ServerCertificate which, const std::string& ca, const std::string& names, int days,
                           const std::string& dir) {
    const std::string name = nameOf(which);
    writeFileBytes(dir + "/" + name + ".ext", "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n"
                                              "subjectAltName=" + names + "\n");
    openssl({"x509", "-req", "-in", "server.csr", "-CA", ca + ".crt", "-CAkey", ca + ".key", "-days",
             std::to_string(days), "-extfile", name + ".ext", "-out", name + ".crt"},
            dir);
}

}  // namespace

const TlsCertificates& TlsCertificates::shared() {
    static const TlsCertificates certificates;
    return certificates;
}

TlsCertificates::TlsCertificates() {
    const std::string& dir = dir_.path();
    makeCa("trusted-ca", dir);
    makeCa("untrusted-ca", dir);
    openssl({"genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", "server.key"}, dir);
    openssl({"req", "-new", "-key", "server.key", "-subj", "/CN=127.0.0.1", "-out", "server.csr"}, dir);
    // Wine's host name check reads only DNS names: the address is one too.
    const std::string localNames = "IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost";
    makeServerCertificate(ServerCertificate::Good, "trusted-ca", localNames, 2, dir);
    makeServerCertificate(ServerCertificate::WrongHost, "trusted-ca", "DNS:wrong.example", 2, dir);
    makeServerCertificate(ServerCertificate::Expired, "trusted-ca", localNames, -1, dir);
    makeServerCertificate(ServerCertificate::Untrusted, "untrusted-ca", localNames, 2, dir);
    // Served with its CA, as a server sends its chain: the root is then
    // known and untrusted. Without it the chain is partial, which WinInet
    // reports as ERROR_INTERNET_SEC_CERT_REV_FAILED.
    const std::string untrusted = dir_.pathOf("untrusted.crt");
    writeFileBytes(untrusted, readFileBytes(untrusted) + readFileBytes(dir_.pathOf("untrusted-ca.crt")));

    openssl({"x509", "-in", "trusted-ca.crt", "-outform", "DER", "-out", "trusted-ca.der"}, dir);
    const ChildResult trust = runWine(windowsTestBinDir() + "/trust_root.exe",
                                      {toWindowsPath(dir_.pathOf("trusted-ca.der"))}, dir);
    if (trust.exitCode != 0) throw std::runtime_error("trust_root.exe failed: " + trust.output);
}

TlsFiles TlsCertificates::files(ServerCertificate which) const {
    return {dir_.pathOf(std::string(nameOf(which)) + ".crt"), dir_.pathOf("server.key")};
}

}  // namespace testsupport
