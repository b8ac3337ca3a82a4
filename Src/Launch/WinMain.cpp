// DSaga.exe: the launcher's entry point. Everything else lives in the
// launcher library, which the tests link as well.
#include "ProcessGuards.h"
#include "Launcher.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    RestrictDllSearch();  // before anything can load a DLL on demand
    FailCriticalErrorsQuietly();
    (void)previous;
    (void)commandLine;
    (void)showCommand;
    return RunLauncher(instance);
}
