// The test probe: runs under Wine beside the program under test, finds its
// windows and reads or presses them on request. Native tests talk to it over
// TCP on 127.0.0.1, one command line in, one reply line out; QUIT ends it.
//
// Usage: probe.exe PORT_FILE   (listens on an ephemeral port and writes it there)
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/wine/probe/commands.h"

namespace {

SOCKET listenOnLoopback(unsigned short& port) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) return listener;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 4) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return listener;
}

// The newline marks the file complete for the reader polling it.
bool writePortFile(const char* path, unsigned short port) {
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    std::fprintf(file, "%u\n", port);
    return std::fclose(file) == 0;
}

bool sendLine(SOCKET client, std::string line) {
    line += '\n';
    const char* data = line.data();
    int left = static_cast<int>(line.size());
    while (left > 0) {
        int sent = send(client, data, left, 0);
        if (sent <= 0) return false;
        data += sent;
        left -= sent;
    }
    return true;
}

// Serves one client; true when it asked the probe to end (QUIT).
bool serve(SOCKET client, probe::Commands& commands) {
    std::string pending;
    char buffer[1024];
    for (;;) {
        int received = recv(client, buffer, sizeof buffer, 0);
        if (received <= 0) return false;
        pending.append(buffer, static_cast<size_t>(received));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line == "QUIT") return sendLine(client, "OK");
            if (!sendLine(client, commands.execute(line))) return false;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: probe.exe PORT_FILE\n");
        return 2;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    unsigned short port = 0;
    SOCKET listener = listenOnLoopback(port);
    if (listener == INVALID_SOCKET || !writePortFile(argv[1], port)) {
        std::fprintf(stderr, "probe: cannot listen (%d)\n", WSAGetLastError());
        return 1;
    }
    probe::Commands commands;
    // QUIT ends the probe with no accept() pending: Wine 8's wineserver aborts
    // when a process is killed while it waits in accept().
    for (bool quit = false; !quit;) {
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) break;
        quit = serve(client, commands);
        closesocket(client);
    }
    closesocket(listener);
    WSACleanup();
    return 0;
}
