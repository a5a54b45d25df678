// The test probe: runs under Wine beside the program under test, finds its
// windows and reads or presses them on request. Native tests talk to it over
// TCP on 127.0.0.1, one command line in, one reply line out; QUIT ends it.
//
// Usage: probe.exe   (listens on an ephemeral port and prints "probe port N")
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
    int length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 4) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return listener;
}

bool sendLine(SOCKET client, std::string line) {
    line += '\n';
    for (size_t at = 0; at < line.size();) {
        const int sent = send(client, line.data() + at, static_cast<int>(line.size() - at), 0);
        if (sent <= 0) return false;
        at += static_cast<size_t>(sent);
    }
    return true;
}

// Serves the client until it asks the probe to end (QUIT) or goes away.
void serve(SOCKET client) {
    std::string pending;
    char buffer[1024];
    for (int received; (received = recv(client, buffer, sizeof buffer, 0)) > 0;) {
        pending.append(buffer, static_cast<size_t>(received));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line == "QUIT") {
                sendLine(client, "OK");
                return;
            }
            if (!sendLine(client, probe::execute(line))) return;
        }
    }
}

}  // namespace

int main() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    unsigned short port = 0;
    SOCKET listener = listenOnLoopback(port);
    if (listener == INVALID_SOCKET) {
        std::fprintf(stderr, "probe: cannot listen (%d)\n", WSAGetLastError());
        return 1;
    }
    // The newline marks the line complete for the client polling the output.
    std::printf("probe port %u\n", port);
    std::fflush(stdout);
    // One client, the test process that started the probe. It ends the probe
    // with QUIT, not with a kill while accept() waits: Wine 8's wineserver
    // aborts when a process is killed there.
    SOCKET client = accept(listener, nullptr, nullptr);
    closesocket(listener);
    if (client != INVALID_SOCKET) serve(client);
    closesocket(client);
    WSACleanup();
    return 0;
}
