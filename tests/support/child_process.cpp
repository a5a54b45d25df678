#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/file_bytes.h"
#include "tests/support/poll.h"

extern char** environ;

namespace testsupport {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& workingDir) {
    if (argv.empty()) throw std::invalid_argument("ChildProcess needs a program");
    char name[] = "/tmp/child-run.XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    logPath_ = name;
    std::vector<char*> raw;  // posix_spawnp does not write to the arguments
    for (const std::string& arg : argv) raw.push_back(const_cast<char*>(arg.c_str()));
    raw.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath_.c_str(), O_WRONLY | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    const int rc = posix_spawnp(&pid_, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        unlink(logPath_.c_str());
        throw std::runtime_error("cannot start " + argv[0] + (workingDir.empty() ? "" : " in " + workingDir));
    }
}

ChildProcess::~ChildProcess() {
    stop(std::chrono::seconds(2));
    unlink(logPath_.c_str());
}

bool ChildProcess::running() {
    if (reaped_) return false;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        status_ = status;
        reaped_ = true;
    }
    return r == 0;
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (!pollUntil([&] { return !running(); }, timeout)) return -1;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

void ChildProcess::stop(std::chrono::milliseconds grace) {
    if (!running()) return;
    ::kill(pid_, SIGTERM);
    if (wait(grace) == -1 && running()) kill();
}

void ChildProcess::kill() {
    if (!running()) return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    reaped_ = true;
}

std::string ChildProcess::output() const { return readFileBytes(logPath_); }

ChildResult runChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                     const std::string& workingDir) {
    ChildProcess child(argv, workingDir);
    ChildResult result;
    result.exitCode = child.wait(timeout);
    result.timedOut = child.running();
    child.kill();
    result.output = child.output();
    return result;
}

}  // namespace testsupport
