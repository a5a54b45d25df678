// Fetches objects through the program's own transfer layer and writes what
// happened to a file, for the end-to-end tests:
//   http_client.exe [--closed | --give-up MS | --secure] OUTPUT SERVER PORT OBJECT...
// The agent name is the program's, "Update"; --closed closes the transfer
// before the first request; --give-up gives each request MS in all; --secure
// connects over TLS.
// One line per object, in the probe's reply form (tests/support/probe_client.h):
// "fetch object=HEX cached_at_open=0|1 sent=0|1 [error=CODE error_text=HEX]
// send_ms=N status=N reason=HEX length=HEX encoding=HEX [read_error=CODE
// read_error_text=HEX] reads=COUNT largest=BYTES body=HEX cached_while_open=0|1
// cached=0|1", where length holds every Content-Length header, "|" between,
// and "cached..." tells whether WinInet holds a cache entry under our cache URL.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "win32/code_page.h"
#include "engine/text/hex_text.h"
#include "net/cache_url.h"
#include "net/http_transfer.h"

namespace {

using updater::encodeHex;

bool hasCacheEntry(const std::string& url) {
    DWORD size = 0;
    return GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size) || GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

void fetch(updater::HttpConnection& connection, const std::string& cacheUrl, const std::string& objectName,
           DWORD giveUpMs, std::ofstream& out) {
    out << "fetch object=" << encodeHex(objectName);
    auto request = connection.openGet(objectName, updater::CacheUse::Stored);
    if (giveUpMs) request->giveUpAfter(giveUpMs);
    out << " cached_at_open=" << hasCacheEntry(cacheUrl);
    const DWORD start = GetTickCount();
    try {
        request->send();
        out << " sent=1 send_ms=" << GetTickCount() - start;
    } catch (const updater::NetworkError& error) {
        out << " sent=0 error=" << error.code() << " error_text=" << encodeHex(error.text())
            << " send_ms=" << GetTickCount() - start;
        return;
    }
    std::string lengths;
    for (const std::string& length : request->contentLengths()) lengths += (lengths.empty() ? "" : "|") + length;
    out << " status=" << request->statusCode() << " reason=" << encodeHex(request->statusText())
        << " length=" << encodeHex(lengths) << " encoding=" << encodeHex(request->transferEncoding());
    std::vector<char> buffer(updater::kReadChunkBytes);
    std::string body;
    std::size_t reads = 0, largest = 0;
    try {
        while (std::size_t got = request->read(buffer.data(), buffer.size())) {
            body.append(buffer.data(), got);
            ++reads;
            if (got > largest) largest = got;
        }
    } catch (const updater::NetworkError& error) {
        out << " read_error=" << error.code() << " read_error_text=" << encodeHex(error.text());
    }
    out << " reads=" << reads << " largest=" << largest << " body=" << encodeHex(body)
        << " ms=" << GetTickCount() - start << " cached_while_open=" << hasCacheEntry(cacheUrl);
}

}  // namespace

int main(int argc, char** argv) {
    const bool closeFirst = argc > 1 && std::string(argv[1]) == "--closed";
    const bool secure = argc > 1 && std::string(argv[1]) == "--secure";
    const bool givesUp = argc > 2 && std::string(argv[1]) == "--give-up";
    const DWORD giveUpMs = givesUp ? std::strtoul(argv[2], nullptr, 10) : 0;
    const std::vector<std::string> positional(argv + 1 + closeFirst + secure + 2 * givesUp, argv + argc);
    if (positional.size() < 4) {
        std::fprintf(stderr, "usage: http_client [--closed | --give-up MS | --secure] OUTPUT SERVER PORT OBJECT...\n");
        return 2;
    }
    std::ofstream out(positional[0], std::ios::binary);
    if (!out) return 3;
    const std::string& server = positional[1];
    auto port = static_cast<std::uint16_t>(std::strtoul(positional[2].c_str(), nullptr, 10));
    try {
        const updater::win32::Win32CodePage codePage;
        updater::net::HttpTransfer transfer("Update", codePage);
        transfer.connect(server, port, secure);
        if (closeFirst) transfer.close();
        for (std::size_t i = 3; i < positional.size(); ++i) {
            std::string cacheUrl = updater::net::cacheUrl({server, port, secure}, positional[i]);
            fetch(transfer.connection(), cacheUrl, positional[i], giveUpMs, out);
            out << " cached=" << hasCacheEntry(cacheUrl) << "\n";
            out.flush();
        }
        transfer.close();
    } catch (const updater::NetworkError& error) {
        out << "\nsession error=" << error.code() << " error_text=" << encodeHex(error.text()) << "\n";
        return 1;
    }
    return 0;
}
