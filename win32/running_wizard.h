#pragma once
// The wizard of the updater that holds this program's folder, brought to the
// front for a user who started a second copy.
namespace updater::win32 {

// Best effort: nothing happens when no such window is found or may be raised.
void showRunningWizard();

}  // namespace updater::win32
