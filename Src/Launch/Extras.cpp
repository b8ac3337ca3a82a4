// Game launching and extras: the child-process runner and the disc prompt,
// playing and the invulnerable mode, previews and the intro, DirectX, help
// and credits, and the system resources dialog.
#include "Launcher.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

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

// Runs an installed game from its own directory and waits for it.
static void RunInstalledGame(const GameInfo &game)
{
    char directory[PATH_BUFFER], program[PATH_BUFFER];
    const char *installedTo = LauncherState.InstalledTo;
    if (!FormatText(directory, sizeof directory, "%s%s", installedTo, game.Directory)
        || !FormatText(program, sizeof program, "%s%s%s", installedTo, game.Directory, game.Executable)) {
        ReportTooLong(installedTo);
        return;
    }
    RunAndWait(directory, program, "", MainDialog);
}

static char InstallDrive(void)
{
    return LauncherState.InstalledTo[0];
}

void PlayGame1(void)
{
    if (LauncherState.Game1Installed != 0)
        RunInstalledGame(GameTable[0]);
    else if (ConfirmInstallDirectory() && CheckDiskSpace(InstallDrive(), 13) && InstallGame1())
        MarkGamePlayable(1);
}

void PlayGame2(void)
{
    if (LauncherState.Game2Installed != 0)
        RunInstalledGame(GameTable[1]);
    else if (ConfirmInstallDirectory() && CheckDiskSpace(InstallDrive(), 26) && InstallGame2())
        MarkGamePlayable(2);
}

// Game 3 plays from its discs: with the index file on the hard drive any
// of discs 2 to 5 will do, without it disc 2.
static int AskForPlayDisc(void)
{
    char probe[PATH_BUFFER], index[PATH_BUFFER];
    unsigned disc = 2;
    BuildCdPath(probe, sizeof probe, "D:\\CD1MISS.TRE");
    if (FormatText(index, sizeof index, "%ssw3\\SWS_NDX.SWS", LauncherState.InstalledTo) && FileExists(index)) {
        FormatText(probe, sizeof probe, "%c:\\SW3MUSIC.tre", LauncherState.InstalledFrom[0]);
        disc = DISC_2_TO_5;
    }
    return PromptForDisc(probe, disc, "Play Starwarden 3", MainDialog);
}

static void InstallGame3Chain(void)
{
    if (!ConfirmInstallDirectory())
        return;
    Game3ExtrasLevel = AskAdditionalInstall();
    if (Game3ExtrasLevel == -1) {
        RemoveDirectoryA(LauncherState.InstalledTo);  // only when the chooser has just made it
        return;
    }
    int required = 2 + (Game3ExtrasLevel == 1 ? 9 : Game3ExtrasLevel == 2 ? 41 : 0);
    if (CheckDiskSpace(InstallDrive(), required) && InstallGame3())
        MarkGamePlayable(3);
}

void PlayGame3(void)
{
    if (LauncherState.Game3Installed == 0)
        InstallGame3Chain();
    else if (AskForPlayDisc())
        RunInstalledGame(GameTable[2]);
}

static void ReportConfigError(const char *path, int error, const char *caption)
{
    char message[2 * PATH_BUFFER];
    FormatText(message, sizeof message, "%s %d", path, error);
    ReportError(message, caption, MB_OK, MainDialog);
}

// Leaves the file holding the text and its terminating zero, or empty when
// there is no text.
static void WriteGameConfig(const char *path, const char *text)
{
    FILE *file = fopen(path, "w+");
    if (file == NULL) {
        ReportConfigError(path, errno, "Cannot create file: (MC)");
        return;
    }
    size_t size = text != NULL ? strlen(text) + 1 : 0;
    int written = size == 0 || fwrite(text, 1, size, file) == size;
    // The write may only fail when the buffer reaches the disk.
    int closed = fclose(file) == 0;
    if (!written || !closed)
        ReportConfigError(path, errno, "Cannot write file: (MC)");
}

static void WriteInstalledConfigs(const char *text)
{
    for (const GameInfo &game : GameTable) {
        if (game.ConfigFile == NULL || *game.InstalledFlag == 0)
            continue;
        char path[PATH_BUFFER];
        if (FormatText(path, sizeof path, "%s%s%s", LauncherState.InstalledTo, game.Directory, game.ConfigFile))
            WriteGameConfig(path, text);
        else
            ReportTooLong(LauncherState.InstalledTo);
    }
}

void ToggleInvulnerable(void)
{
    LauncherState.Cheater = LauncherState.Cheater == 0 ? 1 : 0;
    if (LauncherState.Cheater == 1) {
        ReportError("By choosing Invulnerable, your savegames will labelled as CHEATER.", "Cheater!",
                    MB_OK | MB_ICONEXCLAMATION, MainDialog);
        WriteInstalledConfigs("Zorvan -k -b");
    } else {
        WriteInstalledConfigs(NULL);
    }
    SaveLauncherState();
}

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
