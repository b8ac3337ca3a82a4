// Game launching and extras: the child-process runner and the disc prompt,
// playing and the invulnerable mode, previews and the intro, DirectX, help
// and credits, and the system resources dialog.
#include "Launcher.h"

// ---------------------------------------------------------------------------
// Child-process runner and disc prompt

static void FormatDiscPrompt(char *prompt, size_t capacity, unsigned disc, char letter)
{
    if (disc >= 1 && disc <= 5)
        FormatText(prompt, capacity, "Please place The Draxmoor Saga CD-ROM disc %u into drive: '%c'", disc, letter);
    else if (disc == DISC_2_TO_5)
        FormatText(prompt, capacity, "Please place The Draxmoor Saga CD-ROM disc 2, 3, 4 or 5 into drive: '%c'", letter);
    else  // DISC_ANY, and any selector no caller passes
        FormatText(prompt, capacity, "Please place a Draxmoor Saga CD-ROM disc into drive: '%c'", letter);
}

int PromptForDisc(const char *probePath, unsigned disc, const char *caption, HWND owner)
{
    char prompt[PATH_BUFFER];
    FormatDiscPrompt(prompt, sizeof prompt, disc, LauncherState.InstalledFrom[0]);
    while (!FileExists(probePath)) {
        if (ReportError(prompt, caption, MB_OKCANCEL, owner) == IDCANCEL) {
            ReportError("Operation Aborted", caption, MB_OK, owner);
            return 0;
        }
    }
    return 1;
}

static int ReportCannotExecute(const char *programPath, DWORD error)
{
    // The program may be gone because its game was deleted: the panel is
    // brought up to date before the report.
    DetectInstalledGames();
    char message[2 * PATH_BUFFER];
    FormatText(message, sizeof message, "%s, %d", programPath, (int)error);
    ReportError(message, "Cannot execute file:", MB_OK, MainDialog);
    return -1;
}

int RunAndWait(const char *workingDirectory, const char *programPath, const char *commandLine, HWND owner)
{
    // CreateProcessA may write into the command line, so it gets a copy.
    char command[PATH_BUFFER];
    if (!CopyText(command, sizeof command, commandLine)) {
        ReportTooLong(commandLine);
        return -1;
    }
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    if (!CreateProcessA(programPath, command, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL, workingDirectory,
                        &startup, &child))
        return ReportCannotExecute(programPath, GetLastError());

    BOOL ownerWasVisible = IsWindowVisible(owner);
    HideMainDialog();
    WaitForSingleObject(child.hProcess, INFINITE);
    if (ownerWasVisible)
        ShowMainDialog();
    SetFocus(owner);
    DWORD exitCode;
    BOOL haveCode = GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    if (!haveCode || exitCode == STILL_ACTIVE)
        return -1;
    return (int)exitCode;
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
