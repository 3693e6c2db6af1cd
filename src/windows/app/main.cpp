// Program start: the app object is the whole program.
#include "windows/app/app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return setup::App().Run(); }
