// The disc's graphics runtime setup ("DXSetup\swdsl.exe"). Modern systems
// already carry the runtime, so it has nothing to install: it reports
// success (0, no restart needed) without showing a window.
#include "CdProgram.h"

// Some setups give the program that started them only a moment to answer
// before going on without it. They ask a tenth of a second after the
// broadcast, and then again, so that a launcher which looked at its
// messages only now and then cannot have been in the middle of a look.
static const char *AskLauncherBriefly()
{
    HWND launcher = FindWindowA("#32770", "Starwarden: The Draxmoor Saga");
    if (launcher == NULL)
        return "|brief-ask=no-launcher";
    for (int ask = 0; ask < 2; ask++) {
        Sleep(100);
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(launcher, WM_SETTINGCHANGE, 0, (LPARAM)"Environment", SMTO_ABORTIFHUNG, 400,
                                 &answer))
            return "|brief-ask=late";
    }
    return "|brief-ask=answered";
}

// Setups announce the settings they changed to every top-level window and
// wait for the answers, as installers do. The tests ask for it with
// DSAGA_BROADCAST_SWDSL, to see that a launcher waiting for its child still
// answers; the broadcast's timeout only bounds a launcher that does not.
static void AnnounceSettingsIfAsked()
{
    if (GetEnvironmentVariableA("DSAGA_BROADCAST_SWDSL", NULL, 0) == 0)
        return;
    DWORD_PTR answer = 0;
    LRESULT answered =
        SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, (LPARAM)"Environment", SMTO_NORMAL, 10000, &answer);
    RecordRun(std::string(answered ? "|broadcast=returned" : "|broadcast=timed-out") + AskLauncherBriefly());
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    FailCriticalErrorsQuietly();
    RecordRun("");
    AnnounceSettingsIfAsked();
    return FinishRun("SWDSL", 0);
}
