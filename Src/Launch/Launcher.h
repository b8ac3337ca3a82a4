// The launcher's shared header: the persisted record, the run-time values,
// the game table and the procedures that one file offers another (or that
// a test calls, as marked). What one file alone uses stays in that file.
#ifndef DSAGA_LAUNCHER_H
#define DSAGA_LAUNCHER_H

#include <windows.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "Links.h"
#include "Paths.h"
#include "Text.h"
#include "resource.h"

// Every path is built in a buffer of this size, a message in at most four
// of them (ReportError).
enum { PATH_BUFFER = 1024 };

// ---------------------------------------------------------------------------
// Persisted record (kept in Globals.cpp; State.cpp saves and loads it)

struct LauncherRecord {
    char InstalledTo[PATH_BUFFER];    // install directory, ends in a backslash
    char InstalledFrom[PATH_BUFFER];  // first character: the CD drive letter
    int32_t Game1Installed;
    int32_t Game2Installed;
    int32_t Game3Installed;
    int32_t Cheater;
};

extern LauncherRecord LauncherState;
extern const char DefaultInstallDirectory[];
extern const char CompanyKeyPath[];
extern const char LauncherKeyPath[];
extern const char UninstallKeyPath[];

// ---------------------------------------------------------------------------
// Run-time values, never saved (Globals.cpp)

extern HINSTANCE ModuleInstance;
extern HWND MainDialog;
extern char StartDirectory[PATH_BUFFER];
extern int FirstRun;
extern int Game3ExtrasLevel;

// Asking Windows to restart goes through this routine when it is set (tests
// set their own); null is the system's restart.
extern void (*RestartWindows)(void);

// Giving Windows the reason a shutdown or sign-out must wait goes through
// these when they are set (tests set their own: Wine keeps no reason); null
// is the system's, where it has them (Windows Vista and later).
extern BOOL (WINAPI *CreateShutdownReason)(HWND window, LPCWSTR reason);
extern BOOL (WINAPI *DestroyShutdownReason)(HWND window);

// Realising an artwork palette goes through this routine (RealizePalette);
// tests replace it to see realisations a true-colour display hides.
extern UINT (WINAPI *RealizeArtPalette)(HDC dc);

// Asking for the Windows directory goes through this routine
// (GetWindowsDirectoryA); tests replace it to place it at a drive root.
extern UINT (WINAPI *QueryWindowsDirectory)(LPSTR buffer, UINT size);

// Setting a file's permissions goes through this routine (SetFileSecurityA);
// tests replace it to see the descriptor given, which Wine does not keep.
extern BOOL (WINAPI *ApplyFileSecurity)(LPCSTR path, SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR descriptor);

// Puts every process-wide value back to its start-of-process state: those
// of Globals.cpp, and through each file's own reset those it keeps.
void ResetLauncherGlobals(void);
void ResetShellGuards(void);           // Shell.cpp
void ResetChooserState(void);          // Chooser.cpp
void ForgetSystemResourceTexts(void);  // SystemResources.cpp

// ---------------------------------------------------------------------------
// Files, drives and system directories (Files.cpp)

// Existence test: the file can be opened (not read); directories are absent.
int FileExists(const char *path);
// What a look for a file found. It is not there when the path names no
// file at all (not a full path from a drive's or a share's root, or too
// long for the system's file calls), or when its drive answers and the
// system says there is no such file or directory; a drive that is
// disconnected, not ready or answers with another error leaves it out of
// reach, which is no sign that the file has gone.
enum FileLook { FILE_THERE, FILE_NOT_THERE, FILE_OUT_OF_REACH };
FileLook LookForFile(const char *path);
// Whether the root of the path's drive can be read: a drive that is
// disconnected, not ready or failing cannot say what is on it.
int DriveAnswers(const char *path);
// The drive a full path is on, as the user names it: "G:", or
// "\\server\share" for a share; 0 for any other path or one that does not fit.
int GetDriveName(const char *path, char *name, size_t capacity);
// Leaves a file writable, its other attributes as they are. `listed` is
// what a directory listing has just said of it, or ATTRIBUTES_UNKNOWN to
// ask the disk. 0 when it is not there or stays read-only.
const DWORD ATTRIBUTES_UNKNOWN = INVALID_FILE_ATTRIBUTES;
int ClearReadOnly(const char *path, DWORD listed);
// A drive's space in 64 bits (the 32-bit figures cap at 4 GB or wrap): what
// the user may still use, and the whole; 0 when the drive cannot say, with
// the system's error left for GetLastError.
int QueryDriveSpace(char drive, ULONGLONG *available, ULONGLONG *total);
// "X:\" for drive letter X, in a buffer of at least DRIVE_ROOT_SIZE.
enum { DRIVE_ROOT_SIZE = sizeof "C:\\" };
void BuildDriveRoot(char *root, char letter);
int IsCdRomDrive(char letter);
// The current directory, in a PATH_BUFFER, in the code page (or its short
// form); one that does not fit or cannot be written is left empty (and 0
// returned) rather than shortened, so it is never taken for another
// directory.
int RememberCurrentDirectory(char *saved);
// One message naming, by its own name, a folder the code page cannot write
// (WidePathToAnsi), and saying what is left undone for it.
void ReportFolderNotHeld(const WCHAR *folder, const char *consequence);
// The same for the current directory, when that is why it was not
// remembered and the launcher runs from it.
void ReportCurrentDirectoryNotHeld(const char *consequence);
// The Windows directory with exactly one trailing backslash; 0 when the
// system cannot say or it does not fit.
int GetWindowsDirectoryWithSlash(char *directory);
// Copies a "D:\..." template and puts the CD drive letter in front.
int BuildCdPath(char *buffer, size_t capacity, const char *templatePath);

// ---------------------------------------------------------------------------
// The three games (Games.cpp)

struct GameInfo {
    int Number;
    const char *DisplayName;
    const char *KeyName;
    const char *Directory;
    const char *Executable;
    int32_t *InstalledFlag;
    int GameButton;
    const char *InstallText;    // also the caption of the disc prompt before its install
    const char *PlayText;
    int UninstallButton;
    const char *ConfigFile;     // null: no invulnerable mode
    int InstallMegabytes;       // asked of the free-space check; game 3's extras come on top
    const char *DiscProbe;      // a file of the game on disc 1, from the CD's root
    const char *DiscDirectory;  // where its files are on the CD, from the root
};
extern const GameInfo GameTable[3];
// The game with additional files, played from a play disc.
extern const GameInfo &Game3;
// InstalledTo + the game's directory + file; 0 after reporting a path that
// does not fit.
int BuildGamePath(char *path, const GameInfo &game, const char *file);

// ---------------------------------------------------------------------------
// Launcher shell (Shell.cpp)

int RunLauncher(HINSTANCE instance);
int ReportError(const char *text, const char *caption, UINT style, HWND owner);
// The same box, for a text that names a folder the code page cannot write.
int ReportWideError(const WCHAR *text, const char *caption, UINT style, HWND owner);
// The one message for a path or text that does not fit its buffer.
void ReportTooLong(const char *start);
// Drops the clicks, taps and keys queued while the launcher was busy.
void DiscardUserInput(void);
// While work that a shutdown or sign-out would leave half done runs, the
// main dialog asks Windows to wait, giving the work's name as the reason.
void HoldSessionEnd(const char *work);
void ReleaseSessionEnd(void);

void CentreWindow(HWND window);
void CentreAndShowWindow(HWND window);
void HideMainDialog(void);
void ShowMainDialog(void);
void HideDialogItem(HWND dialog, int id);
void ShowDialogItem(HWND dialog, int id);

// The tests call these directly.
// How start-up ends: the main dialog ends and Windows restarts (a DirectX
// installation asked for it), the dialog ends (no CD), or it is shown.
enum StartupResult { STARTUP_RESTART_WINDOWS = -1, STARTUP_END = 0, STARTUP_SHOW_DIALOG = 1 };
StartupResult RunStartup(HWND dialog, HINSTANCE instance);
int RequireCD(void);
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Main panel button states
void MarkGamePlayable(int game);
// Shows a game whose drive is away as installed, writing nothing: nothing
// about it can be checked until the drive is back.
void ShowGameOutOfReach(int game);
// 0 when the record could not be saved and so still claims the game.
int MarkGameNotPlayable(int game);

// Palette artwork panels (ArtPanel.cpp)
struct ArtPanel {
    int ControlId;
    int BitmapId;
    HWND Control;
    const BITMAPINFOHEADER *Bitmap;
    const void *Bits;
    HPALETTE Palette;
    WNDPROC SavedProc;
    int RealizePending;
};
extern ArtPanel MainArtPanel;
extern ArtPanel PreviewArtPanel;
void InitArtPanel(ArtPanel *panel, HWND dialog);
void QueryNewPaletteStep(ArtPanel *panel, HWND dialog);
void PaletteChangedStep(ArtPanel *panel, HWND dialog, HWND changer);
// The tests call it directly.
LRESULT CALLBACK ArtPanelProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------
// Persistent state (State.cpp)

// 0 after reporting a record that could not be written whole.
int SaveLauncherState(void);
int LoadLauncherState(void);

int DetectInstalledGames(void);
int AnyGameInstalled(void);
// 1 unless the game's drive is away (disconnected, not ready, failing); 0
// after telling the user which drive to connect, or that the game's path
// does not fit.
int GameWithinReach(const GameInfo &game);
// 1 when the install directory's drive answers; 0 after telling the user
// to connect it, since a new game goes beside those installed there.
int InstallDirectoryWithinReach(void);

void UninstallGame1(void);
void UninstallGame2(void);
void UninstallGame3(void);
void RemoveTemporaryFiles(void);

void RegisterUninstallEntry(const GameInfo &game);
int GetStartupFolder(char *buffer);

// The tests call these directly.
void ForgetInstallation(void);
int GetProgramsFolder(char *buffer);
int CompanyKeyIsEmpty(void);

// ---------------------------------------------------------------------------
// Installation engine (Install.cpp)

void ShowStatusArea(void);
void HideStatusArea(void);
void DeleteFiles(char *directory, const char *statusText);
int MakeDirectoryChain(char *path);
// Creates every directory of the path up to its last backslash, below its
// drive or share. On failure the path is left cut at the directory that
// could not be made, *cut is where its backslash was, and *error says why.
int CreateDirectoriesAlong(char *path, char **cut, DWORD *error);

int InstallGame1(void);
int InstallGame2(void);
int InstallGame3(void);
int CheckDiskSpace(char drive, int requiredMegabytes);

int AskAdditionalInstall(void);
// Game 3's additional files of a level, in MB (0 for none or a cancel).
int ExtrasMegabytes(int level);

// The tests call these directly.
void SetStatusLine1(const char *text);
void SetStatusLine2(const char *text);
void SetProgressRange(int low, int high);
void StepProgress(void);
int CopyFiles(const char *source, const char *destination, const char *statusText);

// ---------------------------------------------------------------------------
// The install directory's question and chooser (Chooser.cpp)

// The longest file name on the compilation's discs: ISO 9660 CDs, 8.3 names.
enum { LONGEST_DISC_NAME = 12 };
// The longest install directory the launcher accepts. The system's file
// calls stop at MAX_PATH (terminating zero included), so the longest path
// that installing and playing builds in it, a disc file in a game's
// "gamedat\" directory, must fit that; the configuration files and game 3's
// files are shorter.
enum { SYSTEM_PATH_LIMIT = MAX_PATH - 1,
       MAX_INSTALL_DIRECTORY = SYSTEM_PATH_LIMIT - (sizeof "sw1\\gamedat\\" - 1) - LONGEST_DISC_NAME };

int ConfirmInstallDirectory(void);
// The tests call it directly, and check that the chooser's window (null
// while it is closed) owns its boxes.
int ChooseDirectory(HINSTANCE instance, const char *startDirectory, char *result);
extern HWND ChooserWindow;

// ---------------------------------------------------------------------------
// The user's own rights (UserRights.cpp)

// CreateProcess, for a launcher that holds administrator rights, with the
// signed-in user's: the desktop shell's token, or else a restricted copy of
// the launcher's own; never the launcher's rights. 0 with GetLastError set
// when it could not start.
int StartWithUserRights(const char *workingDirectory, const char *programPath, char *command, DWORD flags,
                        PROCESS_INFORMATION *child);

// ---------------------------------------------------------------------------
// Game launching and extras (Extras.cpp)

enum { DISC_ANY = 6, DISC_2_TO_5 = 7 };

int PromptForDisc(const char *probePath, unsigned disc, const char *caption, HWND owner);
void RunAndWait(const char *workingDirectory, const char *programPath, const char *commandLine, HWND owner);
// The rights a child starts with: the user's own for what the user runs
// (games, the movie player, the text editor, Explorer), the launcher's for
// the disc's programs that do the launcher's own work (the initialiser's
// graphics runtime setup, the uninstaller).
enum ChildRights { USER_RIGHTS, LAUNCHER_RIGHTS };
// Starts a child as every child of the launcher is started; the system may
// write into `command`. 0 with GetLastError set when it could not start.
int StartChild(const char *workingDirectory, const char *programPath, char *command, ChildRights rights,
               PROCESS_INFORMATION *child);

void PlayGame1(void);
void PlayGame2(void);
void PlayGame3(void);
void ToggleInvulnerable(void);

// InstallDirectX's results: nothing to do (declined, cancelled, or the
// initialiser ended with 0), Windows must restart (it ran and ended with
// anything else), or the initialiser could not be started.
enum DirectXResult { DIRECTX_NOT_STARTED = -1, DIRECTX_NO_RESTART = 0, DIRECTX_RESTART = 1 };
DirectXResult InstallDirectX(int quiet);
void OpenHelpFile(void);
void OpenCredits(HWND owner);

// ---------------------------------------------------------------------------
// The previews dialog (Previews.cpp)

INT_PTR CALLBACK PreviewsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void ReplayIntro(HWND owner);
// The tests call it directly.
void PlayPreview(HWND dialog, int button);

// ---------------------------------------------------------------------------
// The system resources dialog (SystemResources.cpp)

void ShowSystemResources(void);
// The tests call it directly.
const char *ProcessorName(DWORD processorType);

#endif
