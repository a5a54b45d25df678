#pragma once
// A multi-file installation that is updated again and again: the old files in
// a product directory, the new ones behind the scriptable server, and the
// judgement of what an interrupted update left behind.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/product_dir.h"
#include "tests/support/test_http_server.h"

namespace crashtrials {

struct ProductFile {
    std::string name;                     // relative to the program directory, "/"-separated
    std::optional<std::string> oldBytes;  // nothing: not installed before the update
    std::string newBytes;
    bool isUpdater = false;  // Update.exe: stays as it is, its new copy goes to ".bck"
    bool dropped = false;    // the release removes it (newBytes unused)
    bool readOnly = false;   // installed read-only; its new version must not be
    bool usersOwn = false;   // not the release's: must stay exactly as it is (newBytes unused)
};

// What one look at the program directory found.
struct Inspection {
    int newFiles = 0;         // files already in their new version (the updater: its ".bck"; a dropped file: gone)
    int oldFiles = 0;         // files still in their old version
    int downloadsLeft = 0;    // downloads waiting in .update
    bool journal = false;     // a commit's journal is there
    bool mixed() const { return newFiles > 0 && oldFiles > 0; }
    std::vector<std::string> partial;  // product files holding only the start of a version
    std::vector<std::string> losses;   // files missing, changed or stray (side files apart), with the reason
};

class TrialInstall {
public:
    TrialInstall();
    ~TrialInstall();
    TrialInstall(const TrialInstall&) = delete;
    TrialInstall& operator=(const TrialInstall&) = delete;

    // Back to the old installation: old files with old times, no side files,
    // no temporary manifest copy.
    void reset();
    Inspection inspect() const;
    bool allNew(const Inspection& inspection) const;

    const testsupport::ProductDir& product() const { return *product_; }
    const std::vector<ProductFile>& files() const { return files_; }
    std::size_t newBytesTotal() const;
    int releaseItems() const;

private:
    std::string serverRoot_;
    std::vector<ProductFile> files_;
    std::string updaterBytes_;
    std::string configBytes_;
    std::unique_ptr<testsupport::ProductDir> product_;
    std::unique_ptr<testsupport::TestHttpServer> server_;
};

}  // namespace crashtrials
