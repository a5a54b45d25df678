#pragma once
// Windows Sockets 1.1 for the life of the program.
namespace updater::win32 {

class SocketLayer {
public:
    SocketLayer();
    ~SocketLayer();
    SocketLayer(const SocketLayer&) = delete;
    SocketLayer& operator=(const SocketLayer&) = delete;

    // Started, and the layer speaks version 1.1.
    bool ready() const { return ready_; }

private:
    bool started_ = false;
    bool ready_ = false;
};

}  // namespace updater::win32
