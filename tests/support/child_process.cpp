#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

constexpr auto kPoll = std::chrono::milliseconds(20);

std::string newLogPath() {
    char name[] = "/tmp/child-run.XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    return name;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& workingDir)
    : logPath_(newLogPath()) {
    if (argv.empty()) throw std::invalid_argument("ChildProcess needs a program");
    std::vector<std::string> args = argv;
    std::vector<char*> raw;
    for (auto& arg : args) raw.push_back(arg.data());
    raw.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath_.c_str(), O_WRONLY | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string oldDir;
    char buf[4096];
    if (getcwd(buf, sizeof buf)) oldDir = buf;
    // posix_spawn has no portable chdir action on this glibc; change and restore around it.
    if (!workingDir.empty() && chdir(workingDir.c_str()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        unlink(logPath_.c_str());
        throw std::runtime_error("cannot enter " + workingDir);
    }
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, raw[0], &actions, nullptr, raw.data(), environ);
    if (!workingDir.empty() && !oldDir.empty() && chdir(oldDir.c_str()) != 0) {}
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        unlink(logPath_.c_str());
        throw std::runtime_error("cannot start " + argv[0]);
    }
    pid_ = pid;
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
        reaped_ = true;
        status_ = status;
        return false;
    }
    return r == 0;
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(kPoll);
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

void ChildProcess::stop(std::chrono::milliseconds grace) {
    if (!running()) return;
    ::kill(pid_, SIGTERM);
    if (wait(grace) == -1 && running()) kill();
}

void ChildProcess::kill() {
    if (pid_ <= 0 || !running()) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    status_ = status;
}

std::string ChildProcess::output() const {
    std::ifstream in(logPath_, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

ChildResult runChild(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
    ChildProcess child(argv);
    ChildResult result;
    result.exitCode = child.wait(timeout);
    child.stop(std::chrono::milliseconds(0));
    result.output = child.output();
    return result;
}

}  // namespace testsupport
