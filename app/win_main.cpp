// Update.exe: the program takes no arguments and ignores any it is given.
#include <windows.h>

#include "app/update_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        return updater::app::UpdateApp().run();
    } catch (...) {
        // Nothing may end the program with an unhandled exception.
        return 1;
    }
}
