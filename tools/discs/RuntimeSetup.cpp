// The disc's graphics runtime setup ("DXSetup\swdsl.exe"). Modern systems
// already carry the runtime, so it has nothing to install: it reports
// success (0, no restart needed) without showing a window.
#include "CdProgram.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    RecordRun("");
    return FinishRun("SWDSL", 0);
}
