// Program start: the app object is the whole program.
#include <windows.h>

#include "windows/app/app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    setup::App app;
    return app.Run();
}
