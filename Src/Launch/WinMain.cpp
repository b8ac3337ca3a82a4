// DSaga.exe: the launcher's entry point. Everything else lives in the
// launcher library, which the tests link as well.
#include "Launcher.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    (void)previous;
    (void)commandLine;
    (void)showCommand;
    return RunLauncher(instance);
}
