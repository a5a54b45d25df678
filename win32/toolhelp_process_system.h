#pragma once
// Processes through the tool help snapshot; termination with a handle to
// wait on.
#include "engine/run/process_guard.h"

namespace updater::win32 {

class ToolhelpProcessSystem : public ProcessSystem {
public:
    long findFirst(const std::function<bool(const std::string& exeName)>& matches) override;
    std::unique_ptr<EndingProcess> terminate(long processId) override;
};

}  // namespace updater::win32
