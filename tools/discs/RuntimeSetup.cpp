// The disc's graphics runtime setup ("DXSetup\swdsl.exe"). Modern systems
// already carry the runtime, so it has nothing to install: it reports
// success (0, no restart needed) without showing a window.
#include "CdProgram.h"

// Setups announce the settings they changed to every top-level window and
// wait for the answers, as installers do. The tests ask for it with
// DSAGA_BROADCAST_SWDSL, to see that a launcher waiting for its child still
// answers; the timeout only bounds a launcher that does not.
static void AnnounceSettingsIfAsked()
{
    if (GetEnvironmentVariableA("DSAGA_BROADCAST_SWDSL", NULL, 0) == 0)
        return;
    DWORD_PTR answer = 0;
    LRESULT answered =
        SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, (LPARAM)"Environment", SMTO_NORMAL, 10000, &answer);
    RecordRun(answered ? "|broadcast=returned" : "|broadcast=timed-out");
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    FailCriticalErrorsQuietly();
    RecordRun("");
    AnnounceSettingsIfAsked();
    return FinishRun("SWDSL", 0);
}
