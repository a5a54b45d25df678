#pragma once
// Native programs run by the tests and the demo (nginx, mkmanifest): output
// goes to a file, as with Wine programs, and the destructor ends the child.
#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
public:
    // argv[0] is looked up in PATH unless it contains a "/".
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running();
    // The exit code, or -1 after the timeout or a signal.
    int wait(std::chrono::milliseconds timeout);
    // Asks the child to end (SIGTERM), and kills it when it does not in time.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(5));
    std::string output() const;

private:
    int pid_ = -1;
    int status_ = -1;
    bool reaped_ = false;
    std::string logPath_;
};

struct ChildResult {
    int exitCode = -1;
    std::string output;
};

// Runs a program to its end; a program still running at the limit is killed.
ChildResult runChild(const std::vector<std::string>& argv,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace testsupport
