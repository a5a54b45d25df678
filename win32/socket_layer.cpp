#include "win32/socket_layer.h"

#include <winsock2.h>

namespace updater::win32 {

SocketLayer::SocketLayer() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(1, 1), &data) == 0;
    ready_ = started_ && data.wVersion == MAKEWORD(1, 1);
}

SocketLayer::~SocketLayer() {
    if (started_) WSACleanup();
}

}  // namespace updater::win32
