#pragma once
// Processes through the tool help snapshot; termination without waiting.
#include "engine/process_guard.h"

namespace updater::win32 {

class ToolhelpProcessSystem : public ProcessSystem {
public:
    long findFirst(const std::function<bool(const std::string& exeName)>& matches) override;
    void terminate(long processId) override;
};

}  // namespace updater::win32
