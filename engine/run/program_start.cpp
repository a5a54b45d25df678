#include "engine/run/program_start.h"

namespace updater {

int startProgram(const StartRequest& request, const BrandOptions& brand, StartModes& modes) {
    switch (request.mode) {
    case StartMode::Wizard: break;  // the arguments ignored
    case StartMode::ElevatedRun: return modes.wizard(brand, request.argument);
    case StartMode::Recover: return modes.recover(brand);
    case StartMode::Check:
        try {
            return modes.check(brand, request.argument);
        } catch (...) {
            // 1 would claim a newer version.
            return kExitCheckFailed;
        }
    case StartMode::Update:
        try {
            return modes.update(brand);
        } catch (...) {
            // 1 is no answer of /update's.
            return kExitUpdateFailed;
        }
    }
    return modes.wizard(brand, std::nullopt);
}

}  // namespace updater
