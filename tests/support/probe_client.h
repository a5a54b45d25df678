#pragma once
// The native end of probe.exe: starts it under Wine once per test process and
// sends it commands over TCP. See tests/wine/probe.cpp for the protocol.
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class WineProcess;

// One reply line: a status word ("OK", "NONE", "DISABLED", "ERR") and
// name=value fields in order; text values are hex-encoded UTF-8. The Windows
// test programs write their reports in the same form.
struct ProbeReply {
    std::string status;
    std::vector<std::pair<std::string, std::string>> fields;

    bool ok() const { return status == "OK"; }
    std::string value(const std::string& name) const;  // first match, "" when absent
    std::vector<std::string> values(const std::string& name) const;
    std::string text(const std::string& name) const;  // value(name), hex-decoded; throws when it is not hex
    int number(const std::string& name, int fallback = -1) const;
};

ProbeReply parseProbeReply(const std::string& line);

class ProbeClient {
public:
    // The process-wide probe, started on first use, stopped at exit.
    static ProbeClient& shared();
    ~ProbeClient();
    ProbeClient(const ProbeClient&) = delete;
    ProbeClient& operator=(const ProbeClient&) = delete;

    // Throws std::runtime_error when the probe does not answer. A question
    // that changes nothing is asked once more of a fresh probe first: the
    // probe is a test tool, and its failure must not pass for the program's.
    ProbeReply call(const std::string& command);
    // The executable name whose windows the commands look at (default Update.exe).
    void setTarget(const std::string& exeName) { target_ = exeName; }

private:
    ProbeClient();
    void start();
    // Ends the probe: asked to quit first when it still answers.
    void stop(bool askToQuit);
    ProbeReply exchange(const std::string& command);
    std::string readLine();

    std::unique_ptr<WineProcess> process_;
    int socket_ = -1;
    std::string target_ = "Update.exe";
};

}  // namespace testsupport
