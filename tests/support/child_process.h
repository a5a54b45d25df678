#pragma once
// Programs run by the tests and the demo (nginx, mkmanifest, and wine for the
// Windows programs): output goes to a file, never a pipe, because Wine's
// helpers inherit it; the destructor ends the child.
#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
public:
    // argv[0] is looked up in PATH unless it contains a "/". The child starts
    // in workingDir, or in the current directory when that is empty.
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& workingDir = "");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running();
    // The exit code, or -1 after the timeout or a signal.
    int wait(std::chrono::milliseconds timeout);
    // Asks the child to end (SIGTERM), and kills it when it does not in time.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
    // Ends it at once (SIGKILL) and reaps it.
    void kill();
    int pid() const { return pid_; }
    // What it printed so far (stdout and stderr).
    std::string output() const;

private:
    int pid_ = -1;
    int status_ = -1;
    bool reaped_ = false;
    std::string logPath_;
};

struct ChildResult {
    int exitCode = -1;  // -1 when killed or timed out
    bool timedOut = false;
    std::string output;
};

// Runs a program to its end; a program still running at the limit is killed.
ChildResult runChild(const std::vector<std::string>& argv,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60), const std::string& workingDir = "");

}  // namespace testsupport
