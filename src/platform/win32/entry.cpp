// The Windows entry point: the program reads no command line.
#include <windows.h>

#include "app/program.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Drive letters without a medium (card readers) are probed by the inventory and by file
    // dialogs: the system must answer "not ready" instead of showing its "No Disk" box.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    return vu::ProgramMain();
}
