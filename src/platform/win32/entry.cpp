// The Windows entry point: the program reads no command line.
#include <windows.h>

#include "app/program.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return vu::ProgramMain(); }
