#include "tests/support/wine_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testsupport {

std::string windowsBinDir() {
    const char* dir = std::getenv("UPDATER_WIN_BIN");
    if (!dir || !*dir) throw std::runtime_error("UPDATER_WIN_BIN is not set; run the tests through scripts/test");
    return dir;
}

std::string toWindowsPath(const std::string& linuxPath) {
    std::string result = "Z:";
    for (char c : linuxPath) result += (c == '/') ? '\\' : c;
    return result;
}

namespace {

std::string newLogPath() {
    char name[] = "/tmp/wine-run.XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    return name;
}

int spawnWine(const std::string& exe, const std::vector<std::string>& args, const std::string& workingDir,
              const std::string& logPath) {
    std::vector<std::string> argv{"wine", exe};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string oldDir;
    char buf[4096];
    if (getcwd(buf, sizeof buf)) oldDir = buf;
    // posix_spawn has no portable chdir action on this glibc; change and restore around it.
    if (!workingDir.empty() && chdir(workingDir.c_str()) != 0)
        throw std::runtime_error("cannot enter " + workingDir);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, "wine", &actions, &attr, raw.data(), environ);
    if (!oldDir.empty() && chdir(oldDir.c_str()) != 0) {}
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start wine");
    return pid;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace

WineResult runWine(const std::string& exe, const std::vector<std::string>& args, const std::string& workingDir,
                   std::chrono::milliseconds timeout) {
    WineProcess process(exe, args, workingDir);
    WineResult result;
    result.exitCode = process.wait(timeout);
    result.timedOut = process.running();
    process.kill();
    result.output = process.output();
    return result;
}

WineProcess::WineProcess(const std::string& exe, const std::vector<std::string>& args, const std::string& workingDir)
    : logPath_(newLogPath()) {
    pid_ = spawnWine(exe, args, workingDir, logPath_);
}

WineProcess::~WineProcess() {
    kill();
    unlink(logPath_.c_str());
}

bool WineProcess::running() {
    if (reaped_) return false;
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        reaped_ = true;
        status_ = status;
        return false;
    }
    return r == 0;
}

int WineProcess::wait(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

std::string WineProcess::output() const { return readFile(logPath_); }

void WineProcess::kill() {
    if (pid_ > 0 && running()) {
        // Only the program itself: Wine's shared helpers (wineserver,
        // services.exe, explorer.exe) may have been started as its children.
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        status_ = status;
    }
}

}  // namespace testsupport
