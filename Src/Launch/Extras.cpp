// Game launching and extras: the child-process runner and the disc prompt,
// playing and the invulnerable mode, DirectX, help and credits.
#include "Launcher.h"
#include "ProcessGuards.h"

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

static void ReportCannotExecute(const char *programPath, DWORD error)
{
    // The program may be gone because its game was deleted: the panel is
    // brought up to date before the report.
    DetectInstalledGames();
    char message[2 * PATH_BUFFER];
    FormatText(message, sizeof message, "%s, %d", programPath, (int)error);
    ReportError(message, "Cannot execute file:", MB_OK, MainDialog);
}

int StartChild(const char *workingDirectory, const char *programPath, char *command, ChildRights rights,
               PROCESS_INFORMATION *child)
{
    // The launcher's quiet handling of drives without a medium is its own.
    const DWORD flags = NORMAL_PRIORITY_CLASS | CREATE_DEFAULT_ERROR_MODE;
    if (rights == USER_RIGHTS && HoldsAdministratorsGroup())
        return StartWithUserRights(workingDirectory, programPath, command, flags, child);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    return CreateProcessA(programPath, command, NULL, NULL, FALSE, flags, NULL, workingDirectory, &startup, child);
}

// Looks at the queue at least this often while a child runs, so that a
// dialog left on the screen is never taken for one that hangs.
enum { CHILD_LOOK_INTERVAL_MS = 1000, MAX_PAINTS_PER_LOOK = 32 };

// A child may send the launcher a message and wait for the answer (a setup
// broadcasting WM_SETTINGCHANGE to every top-level window, hidden ones
// included): sent messages are answered at once, and a window still on the
// screen (the previews dialog) keeps painting. Clicks and keys are dropped,
// since they were aimed at a screen the child covers; posted messages wait
// until the child has ended, so no command can start in the meantime.
static void WaitForChildToEnd(HANDLE process)
{
    const DWORD wake = QS_SENDMESSAGE | QS_PAINT | QS_INPUT;
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, CHILD_LOOK_INTERVAL_MS, wake);
        if (woken != WAIT_OBJECT_0 + 1 && woken != WAIT_TIMEOUT)
            return;  // the child has ended, or its handle cannot be waited on
        MSG message;
        PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        // Bounded: a window that never validates itself must not hold the wait.
        for (int paints = 0; paints < MAX_PAINTS_PER_LOOK; paints++) {
            if (!PeekMessageA(&message, NULL, 0, 0, PM_REMOVE | PM_QS_PAINT))
                break;
            DispatchMessageA(&message);
        }
        DiscardUserInput();
    }
}

// How a child run ended: a caller may need to tell a program that never
// started from one that ran and left no usable exit code.
enum ChildOutcome { CHILD_NOT_STARTED, CHILD_ENDED, CHILD_CODE_UNKNOWN };

static ChildOutcome RunChild(const char *workingDirectory, const char *programPath, const char *commandLine,
                             ChildRights rights, HWND owner, DWORD *exitCode)
{
    // CreateProcessA may write into the command line, so it gets a copy.
    char command[PATH_BUFFER];
    if (!CopyText(command, sizeof command, commandLine)) {
        ReportTooLong(commandLine);
        return CHILD_NOT_STARTED;
    }
    PROCESS_INFORMATION child;
    if (!StartChild(workingDirectory, programPath, command, rights, &child)) {
        ReportCannotExecute(programPath, GetLastError());
        return CHILD_NOT_STARTED;
    }

    BOOL ownerWasVisible = IsWindowVisible(owner);
    HideMainDialog();
    WaitForChildToEnd(child.hProcess);
    DiscardUserInput();
    if (ownerWasVisible)
        ShowMainDialog();
    // Showing the dialog gave its control back the focus; giving it to the
    // dialog itself again would move it to the first control.
    HWND focus = GetFocus();
    if (focus != owner && !IsChild(owner, focus))
        SetFocus(owner);
    BOOL haveCode = GetExitCodeProcess(child.hProcess, exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return haveCode ? CHILD_ENDED : CHILD_CODE_UNKNOWN;
}

// Of the children the launcher waits for, only the DirectX installation
// looks at how one ended (RunChild) and needs the launcher's rights: every
// program run here is one the user runs.
void RunAndWait(const char *workingDirectory, const char *programPath, const char *commandLine, HWND owner)
{
    DWORD exitCode;
    RunChild(workingDirectory, programPath, commandLine, USER_RIGHTS, owner, &exitCode);
}

// ---------------------------------------------------------------------------
// Play procedures and invulnerable mode

// Runs an installed game from its own directory and waits for it.
static void RunInstalledGame(const GameInfo &game)
{
    char directory[PATH_BUFFER], program[PATH_BUFFER];
    if (BuildGamePath(directory, game, "") && BuildGamePath(program, game, game.Executable))
        RunAndWait(directory, program, "", MainDialog);
}

static char InstallDrive(void)
{
    return LauncherState.InstalledTo[0];
}

// Games 1 and 2 play from the hard drive alone; not installed yet, they are
// installed (by `install`) instead.
static void PlayGameFromDisk(int number, int (*install)(void))
{
    const GameInfo &game = GameTable[number - 1];
    if (*game.InstalledFlag != 0) {
        if (GameWithinReach(game))
            RunInstalledGame(game);
    } else if (ConfirmInstallDirectory() && CheckDiskSpace(InstallDrive(), game.InstallMegabytes) && install())
        MarkGamePlayable(number);
}

void PlayGame1(void)
{
    PlayGameFromDisk(1, InstallGame1);
}

void PlayGame2(void)
{
    PlayGameFromDisk(2, InstallGame2);
}

// Game 3 plays from its discs: with the index file on the hard drive any
// of discs 2 to 5 will do, without it disc 2.
static int AskForPlayDisc(void)
{
    char probe[PATH_BUFFER], index[PATH_BUFFER];
    unsigned disc = 2;
    BuildCdPath(probe, sizeof probe, "D:\\CD1MISS.TRE");
    if (FormatText(index, sizeof index, "%ssw3\\SWS_NDX.SWS", LauncherState.InstalledTo) && FileExists(index)) {
        BuildCdPath(probe, sizeof probe, "D:\\SW3MUSIC.tre");
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
        RemoveDirectoryUnlessLink(LauncherState.InstalledTo);  // only an empty one goes: the chooser may just have made it
        return;
    }
    int required = Game3.InstallMegabytes + ExtrasMegabytes(Game3ExtrasLevel);
    if (CheckDiskSpace(InstallDrive(), required) && InstallGame3())
        MarkGamePlayable(3);
}

void PlayGame3(void)
{
    if (LauncherState.Game3Installed == 0)
        InstallGame3Chain();
    else if (GameWithinReach(Game3) && AskForPlayDisc())
        RunInstalledGame(Game3);
}

static const char InvulnerableOption[] = "Zorvan -k -b";

// What a game's file holds in a mode: the option, or nothing. The box shows
// any value but 0 as on (ShowGamePlayable), and the file says the same.
static const char *ConfigTextOf(int32_t cheater)
{
    return cheater != 0 ? InvulnerableOption : NULL;
}

static void ReportConfigError(const char *path, int error, const char *caption, const char *consequence)
{
    char message[3 * PATH_BUFFER];
    FormatText(message, sizeof message, "%s %d\n%s", path, error, consequence);
    ReportError(message, caption, MB_OK, MainDialog);
}

// What became of a configuration file that was to be written: written
// whole, left as it was (it could not be opened), or opened and not written
// whole, so that it may hold part of the text.
enum ConfigWrite { CONFIG_WRITTEN, CONFIG_UNTOUCHED, CONFIG_DAMAGED };

// Leaves the file holding the text and its terminating zero, or empty when
// there is no text; a failure is reported, ending with `consequence`.
static ConfigWrite WriteGameConfig(const char *path, const char *text, const char *consequence)
{
    FILE *file = fopen(path, "w+");
    if (file == NULL) {
        ReportConfigError(path, errno, "Cannot create file: (MC)", consequence);
        return CONFIG_UNTOUCHED;
    }
    size_t size = text != NULL ? strlen(text) + 1 : 0;
    int written = size == 0 || fwrite(text, 1, size, file) == size;
    // The write may only fail when the buffer reaches the disk.
    int closed = fclose(file) == 0;
    if (written && closed)
        return CONFIG_WRITTEN;
    ReportConfigError(path, errno, "Cannot write file: (MC)", consequence);
    return CONFIG_DAMAGED;
}

static int HasConfigFile(const GameInfo &game)
{
    return game.ConfigFile != NULL && *game.InstalledFlag != 0;
}

static ConfigWrite WriteConfigOf(const GameInfo &game, const char *text, const char *consequence)
{
    char path[PATH_BUFFER];
    return BuildGamePath(path, game, game.ConfigFile) ? WriteGameConfig(path, text, consequence) : CONFIG_UNTOUCHED;
}

// Each installed game's drive answers; 0 after naming one that is away,
// whose file could not be written.
static int ConfigFilesWithinReach(void)
{
    for (const GameInfo &game : GameTable)
        if (HasConfigFile(game) && !GameWithinReach(game))
            return 0;
    return 1;
}

// Gives the files of the installed games before `end` in the table the mode
// `mode` back, after a change that did not go through.
static void WriteConfigsBack(int32_t mode, int end)
{
    for (int game = 0; game < end; game++)
        if (HasConfigFile(GameTable[game]))
            WriteConfigOf(GameTable[game], ConfigTextOf(mode),
                          "This game's file could not be set back to match the Invulnerable box.");
}

// Writes the mode `cheater` into every installed game's file; when one
// cannot be written, the files written before it (and that one, when it may
// hold part of the text) are given `previous` back, so that all of them
// still say the same. 0 after the report.
static int WriteInstalledConfigs(int32_t cheater, int32_t previous)
{
    const char *stays = previous != 0 ? "Invulnerable stays on." : "Invulnerable stays off.";
    for (int game = 0; game < 3; game++) {
        if (!HasConfigFile(GameTable[game]))
            continue;
        ConfigWrite result = WriteConfigOf(GameTable[game], ConfigTextOf(cheater), stays);
        if (result == CONFIG_WRITTEN)
            continue;
        WriteConfigsBack(previous, result == CONFIG_DAMAGED ? game + 1 : game);
        return 0;
    }
    return 1;
}

// The mode changes only when every installed game's file can take it and
// the record can keep it: the box (set from Cheater once this returns),
// Cheater, the record and the files never disagree, or a game would play
// invulnerable with the box clear.
void ToggleInvulnerable(void)
{
    int32_t previous = LauncherState.Cheater;
    int32_t cheater = previous == 0 ? 1 : 0;
    if (!ConfigFilesWithinReach())
        return;
    if (cheater == 1)
        ReportError("By choosing Invulnerable, your savegames will labelled as CHEATER.", "Cheater!",
                    MB_OK | MB_ICONEXCLAMATION, MainDialog);
    if (!WriteInstalledConfigs(cheater, previous))
        return;
    LauncherState.Cheater = cheater;
    if (SaveLauncherState())
        return;
    LauncherState.Cheater = previous;  // the failed save has said why
    WriteConfigsBack(previous, 3);
}

// ---------------------------------------------------------------------------
// DirectX, help and credits

DirectXResult InstallDirectX(int quiet)
{
    if (!quiet && ReportError("Are you sure you want to install DirectX?", "Install DirectX", MB_YESNO,
                              MainDialog) != IDYES) {
        ReportError("Aborted", "DirectX Installation", MB_OK | MB_ICONEXCLAMATION, MainDialog);
        return DIRECTX_NO_RESTART;
    }
    char probe[PATH_BUFFER], program[PATH_BUFFER], directory[PATH_BUFFER], command[PATH_BUFFER];
    BuildCdPath(probe, sizeof probe, "D:\\DXSetup\\swdsl.exe");
    BuildCdPath(program, sizeof program, "D:\\DSInit.exe");
    BuildCdPath(directory, sizeof directory, "D:\\");
    FormatText(command, sizeof command, "%s %s", program, "InstallDirectXOnly");
    if (!PromptForDisc(probe, 1, "Install DirectX", MainDialog))
        return DIRECTX_NO_RESTART;
    // An initialiser that ran asks for a restart with anything but a clear
    // 0, the system's still-active value and an unreadable code included;
    // one that could not even be started has installed nothing.
    DWORD exitCode;
    switch (RunChild(directory, program, command, LAUNCHER_RIGHTS, MainDialog, &exitCode)) {
    case CHILD_NOT_STARTED: return DIRECTX_NOT_STARTED;
    case CHILD_ENDED:       return exitCode == 0 ? DIRECTX_NO_RESTART : DIRECTX_RESTART;
    default:                return DIRECTX_RESTART;
    }
}

static void OpenTextFile(const char *textTemplate, const char *caption, HWND owner)
{
    char textFile[PATH_BUFFER], directory[PATH_BUFFER], editor[PATH_BUFFER], command[PATH_BUFFER];
    BuildCdPath(textFile, sizeof textFile, textTemplate);
    if (!GetWindowsDirectoryWithSlash(directory)) {
        ReportError("!GetWindowsDirectory", caption, MB_OK, owner);
        return;
    }
    if (!FormatText(editor, sizeof editor, "%s%s", directory, "notepad.exe")
        || !FormatText(command, sizeof command, "%s %s", editor, textFile)) {
        ReportTooLong(directory);
        return;
    }
    if (!PromptForDisc(textFile, DISC_ANY, caption, owner))
        return;
    RunAndWait(directory, editor, command, owner);
}

void OpenHelpFile(void)
{
    OpenTextFile("D:\\install\\help.txt", "View Help File", MainDialog);
}

void OpenCredits(HWND owner)
{
    OpenTextFile("D:\\install\\credits.txt", "View Credits", owner);
}
