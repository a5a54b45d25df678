// Fetches objects through the program's own transfer layer and writes what
// happened to a file, one block per object, for the end-to-end tests:
//   http_client.exe [--agent NAME] [--chunk BYTES] [--closed] OUTPUT SERVER PORT OBJECT...
// --closed closes the transfer before the first request.
// Block lines: "object", "cached_at_open 0|1", "send ok" or "send error CODE
// HEXTEXT", "send_ms", "status", "reason", "length", "read error CODE HEXTEXT"
// (when a read fails), "reads COUNT LARGEST", "body HEX", "cached 0|1", "end".
// "cached..." tells whether WinInet holds a cache entry under our cache URL.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/win32_code_page.h"
#include "net/cache_url.h"
#include "net/http_transfer.h"

namespace {

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

bool hasCacheEntry(const std::string& url) {
    DWORD size = 0;
    if (GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size)) return true;
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

void fetch(updater::HttpConnection& connection, const std::string& cacheUrl, const std::string& objectName,
           std::size_t chunk, std::ofstream& out) {
    out << "object " << objectName << "\n";
    auto request = connection.openGet(objectName);
    out << "cached_at_open " << hasCacheEntry(cacheUrl) << "\n";
    DWORD start = GetTickCount();
    try {
        request->send();
        out << "send ok\n";
    } catch (const updater::NetworkError& error) {
        out << "send error " << error.code() << " " << hex(error.text()) << "\n";
        out << "send_ms " << GetTickCount() - start << "\n";
        return;
    }
    out << "send_ms " << GetTickCount() - start << "\n";
    out << "status " << request->statusCode() << "\n";
    out << "reason " << request->statusText() << "\n";
    std::string lengths;
    for (const std::string& length : request->contentLengths()) lengths += (lengths.empty() ? "" : "|") + length;
    out << "length " << lengths << "\n";
    out << "encoding " << request->transferEncoding() << "\n";
    std::vector<char> buffer(chunk);
    std::string body;
    std::size_t reads = 0, largest = 0;
    try {
        while (std::size_t got = request->read(buffer.data(), buffer.size())) {
            body.append(buffer.data(), got);
            ++reads;
            if (got > largest) largest = got;
        }
    } catch (const updater::NetworkError& error) {
        out << "read error " << error.code() << " " << hex(error.text()) << "\n";
    }
    out << "reads " << reads << " " << largest << "\n";
    out << "body " << hex(body) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::string agent = "Update";
    std::size_t chunk = updater::kReadChunkBytes;
    bool closeFirst = false;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--agent" && i + 1 < argc) {
            agent = argv[++i];
        } else if (arg == "--closed") {
            closeFirst = true;
        } else if (arg == "--chunk" && i + 1 < argc) {
            chunk = std::strtoul(argv[++i], nullptr, 10);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() < 4 || chunk == 0) {
        std::fprintf(stderr, "usage: http_client [--agent NAME] [--chunk BYTES] [--closed] OUTPUT SERVER PORT OBJECT...\n");
        return 2;
    }
    std::ofstream out(positional[0], std::ios::binary);
    if (!out) return 3;
    const std::string& server = positional[1];
    auto port = static_cast<std::uint16_t>(std::strtoul(positional[2].c_str(), nullptr, 10));
    try {
        const updater::win32::Win32CodePage codePage;
        updater::net::HttpTransfer transfer(agent, codePage);
        transfer.connect(server, port);
        if (closeFirst) transfer.close();
        for (std::size_t i = 3; i < positional.size(); ++i) {
            std::string cacheUrl = updater::net::cacheUrl(server, port, positional[i]);
            fetch(transfer.connection(), cacheUrl, positional[i], chunk, out);
            out << "cached " << hasCacheEntry(cacheUrl) << "\n";
            out << "end\n";
            out.flush();
        }
        transfer.close();
    } catch (const updater::NetworkError& error) {
        out << "session error " << error.code() << " " << hex(error.text()) << "\n";
        return 1;
    }
    return 0;
}
