// Game launching and extras: the child-process runner and the disc prompt,
// playing and the invulnerable mode, previews and the intro, DirectX, help
// and credits, and the system resources dialog.
#include "Launcher.h"

// ---------------------------------------------------------------------------
// Child-process runner and disc prompt

// Stand-in until the disc prompt is built: no disc is ever found.
int PromptForDisc(const char *probePath, unsigned disc, const char *caption, HWND owner)
{
    (void)probePath;
    (void)disc;
    (void)caption;
    (void)owner;
    return 0;
}

// Stand-in until the runner is built: nothing is started.
int RunAndWait(const char *workingDirectory, const char *programPath, const char *commandLine, HWND owner)
{
    (void)workingDirectory;
    (void)programPath;
    (void)commandLine;
    (void)owner;
    return -1;
}

// ---------------------------------------------------------------------------
// Play procedures and invulnerable mode

// Stand-in until playing and installing are built.
void PlayGame1(void) {}
// Stand-in until playing and installing are built.
void PlayGame2(void) {}
// Stand-in until playing and installing are built.
void PlayGame3(void) {}
// Stand-in until the invulnerable mode is built.
void ToggleInvulnerable(void) {}

// ---------------------------------------------------------------------------
// Previews and intro

// Stand-in until the previews are built: the dialog only closes.
INT_PTR CALLBACK PreviewsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        CentreWindow(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL)
            return FALSE;
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

// Stand-in until the intro is built: nothing plays.
void ReplayIntro(HWND owner)
{
    (void)owner;
}

// ---------------------------------------------------------------------------
// DirectX, help and credits

// Stand-in until the DirectX installation is built: nothing to restart.
int InstallDirectX(int quiet)
{
    (void)quiet;
    return 0;
}

// Stand-in until help is built.
void OpenHelpFile(void) {}

// Stand-in until credits are built.
void OpenCredits(HWND owner)
{
    (void)owner;
}

// ---------------------------------------------------------------------------
// System resources

// Stand-in until the system resources dialog is built.
void ShowSystemResources(void) {}
