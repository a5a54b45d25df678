// Trusts a test CA in this Wine prefix only: adds a DER certificate to the
// local machine's Root store, which Wine keeps in the prefix's registry
// (HKLM\Software\Microsoft\SystemCertificates\Root). Wine's crypt32 copies
// the host's CAs (/etc/ssl/certs) into that store when it is first opened;
// nothing goes the other way, so the host's store never sees this CA.
//
// Usage: trust_root.exe CERTIFICATE.der
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_root CERTIFICATE.der\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<BYTE> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!root) {
        std::fprintf(stderr, "trust_root: cannot open the Root store (%lu)\n", GetLastError());
        return 1;
    }
    const BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(),
                                                        static_cast<DWORD>(der.size()),
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = GetLastError();
    CertCloseStore(root, 0);
    if (!added) {
        std::fprintf(stderr, "trust_root: cannot add %s (0x%lx)\n", argv[1], error);
        return 1;
    }
    return 0;
}
