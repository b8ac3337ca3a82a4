// Launcher shell: the message boxes, the session end held during file work,
// the start-up checks and single-instance guard, the start-up sequence, the
// main dialog with its command dispatch and the restart that can end it, and
// the main panel's button states.
#include "Launcher.h"

#include <commctrl.h>

// ---------------------------------------------------------------------------
// Message boxes

// A box owned by a hidden window would have no taskbar button and could
// sit unseen behind other programs (the CD prompt at start-up, while the
// user is off mounting the disc). It is owned by none instead: task-modal,
// it still disables every window of the launcher until it is answered.
int ReportWideError(const WCHAR *text, const char *caption, UINT style, HWND owner)
{
    WCHAR wideCaption[PATH_BUFFER];
    AnsiToWide(caption, wideCaption, PATH_BUFFER);
    if (owner != NULL && !IsWindowVisible(owner))
        return MessageBoxW(NULL, text, wideCaption, style | MB_TASKMODAL | MB_SETFOREGROUND);
    return MessageBoxW(owner, text, wideCaption, style);
}

// Every message is built in at most four path buffers.
int ReportError(const char *text, const char *caption, UINT style, HWND owner)
{
    WCHAR wide[4 * PATH_BUFFER];
    AnsiToWide(text, wide, 4 * PATH_BUFFER);
    return ReportWideError(wide, caption, style, owner);
}

void ReportTooLong(const char *start)
{
    char message[PATH_BUFFER];
    // Only the beginning of the offending text is shown, in whole
    // characters; the point is which path it was.
    FormatText(message, sizeof message,
               "This path is too long for the launcher:\n%.*s...\n\nPlease choose a shorter install directory.",
               (int)WholeCharacterLength(start, 200), start);
    ReportError(message, "ERROR", MB_OK, MainDialog);
}

// Touch and pen input (Windows 8 and later), which the system turns into
// clicks once it is dispatched; headers for older systems lack some of it.
#ifndef WM_TOUCH
#define WM_TOUCH 0x0240
#endif
#ifndef WM_GESTURE
#define WM_GESTURE 0x0119
#endif
#ifndef WM_POINTERROUTEDTO
#define WM_POINTERROUTEDTO 0x0251
#endif

// The kinds of posted input, each a range of messages: keys, mouse in the
// client and in the frame, touch and pen (WM_TOUCH, then the pointer
// messages up to WM_POINTERROUTEDTO), and gestures.
static const UINT UserInputRanges[][2] = {
    {WM_KEYFIRST, WM_KEYLAST},
    {WM_MOUSEFIRST, WM_MOUSELAST},
    {WM_NCMOUSEMOVE, WM_NCMBUTTONDBLCLK},
    {WM_TOUCH, WM_POINTERROUTEDTO},
    {WM_GESTURE, WM_GESTURE},
};

// Clicks, taps and keys given while the launcher was busy (copying,
// deleting, waiting for a child) were aimed at a screen that has changed
// since: a double click or double tap on "Install" would otherwise play the
// game just installed.
void DiscardUserInput(void)
{
    MSG message;
    for (const UINT *range : UserInputRanges)
        while (PeekMessageA(&message, NULL, range[0], range[1], PM_REMOVE))
            ;
}

// ---------------------------------------------------------------------------
// The end of the session

// Set while files are copied or deleted: Windows asks every program before
// a shutdown or sign-out, and a yes would leave a game directory half
// copied or half deleted without a word to the user.
static int SessionEndHeld;

// Windows before Vista has no reasons: looked up, not linked.
static FARPROC FindUserProcedure(const char *name)
{
    HMODULE user = GetModuleHandleA("user32.dll");
    return user != NULL ? GetProcAddress(user, name) : NULL;
}

void HoldSessionEnd(const char *work)
{
    SessionEndHeld = 1;
    BOOL (WINAPI *create)(HWND, LPCWSTR) = CreateShutdownReason;
    if (create == NULL)
        create = (BOOL (WINAPI *)(HWND, LPCWSTR))(void (*)(void))FindUserProcedure("ShutdownBlockReasonCreate");
    WCHAR reason[PATH_BUFFER];
    AnsiToWide(work, reason, PATH_BUFFER);
    if (create != NULL)
        create(MainDialog, reason);  // without it Windows shows no reason, and still waits
}

void ReleaseSessionEnd(void)
{
    SessionEndHeld = 0;
    BOOL (WINAPI *destroy)(HWND) = DestroyShutdownReason;
    if (destroy == NULL)
        destroy = (BOOL (WINAPI *)(HWND))(void (*)(void))FindUserProcedure("ShutdownBlockReasonDestroy");
    if (destroy != NULL)
        destroy(MainDialog);
}

// A dialog procedure answers through the dialog's message result.
static void OnQueryEndSession(HWND dialog)
{
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, SessionEndHeld ? FALSE : TRUE);
}

// ---------------------------------------------------------------------------
// Start-up and single-instance guard

// Held open while the launcher runs: its name tells games and other copies
// that the launcher is running.
static HANDLE LauncherSemaphore;

static int CurrentDirectoryIsOnCdRom(void)
{
    // The full path of "\\" is the root of the current directory's drive;
    // one on no lettered drive (a share) does not fit, and the check passes.
    char root[DRIVE_ROOT_SIZE];
    DWORD length = GetFullPathNameA("\\", sizeof root, root, NULL);
    if (length == 0 || length >= sizeof root || root[1] != ':')
        return 0;
    return IsCdRomDrive(root[0]);
}

// Creating a named object and learning that it already existed is one step
// for Windows, so of two launchers started together exactly one goes on.
// An object of the same name but another kind cannot be created at all; it
// belongs to a running game just the same.
static int NamedObjectExisted(HANDLE object)
{
    return object == NULL || GetLastError() == ERROR_ALREADY_EXISTS;
}

static int SemaphoreExisted(const char *name, int keepOpen)
{
    HANDLE semaphore = CreateSemaphoreA(NULL, 0, 1, name);
    if (NamedObjectExisted(semaphore))
        return 1;
    if (keepOpen)
        LauncherSemaphore = semaphore;
    else
        CloseHandle(semaphore);
    return 0;
}

static int MutexExisted(const char *name)
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, name);
    if (NamedObjectExisted(mutex))
        return 1;
    CloseHandle(mutex);
    return 0;
}

static int AnotherCopyOrGameIsRunning(void)
{
    return SemaphoreExisted("Starwarden Launcher", 1)
        || SemaphoreExisted("Starwarden 1", 0)
        || SemaphoreExisted("Starwarden 2", 0)
        || MutexExisted("Starwarden 3 Mutex")
        || SemaphoreExisted("Starwarden Saga", 0);
}

int RunLauncher(HINSTANCE instance)
{
    if (CurrentDirectoryIsOnCdRom()) {
        ReportError("DSaga.exe cannot be run from a CD-ROM drive.\nPlease run DSInit.exe from a Draxmoor Saga CD instead",
                    "Draxmoor Saga Error!", MB_ICONWARNING, NULL);
        return 0;
    }
    // Handles created before a refusal are left to the process exit.
    if (AnotherCopyOrGameIsRunning())
        return 0;

    ModuleInstance = instance;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    if (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0) == -1)
        ReportError("Could not create Main Dialog box", "Error!", MB_OK, NULL);

    CloseHandle(LauncherSemaphore);
    LauncherSemaphore = NULL;
    return 0;
}

static void DeleteDirectXSetupFromStartup(void)
{
    char path[PATH_BUFFER];
    if (!GetStartupFolder(path))
        return;
    if (!AppendText(path, sizeof path, "swdsl.exe"))
        return;  // no such file can exist under a name this long
    DeleteFileUnlessLink(path);
}

static StartupResult RunFirstRunSteps(void)
{
    if (!RequireCD())
        return STARTUP_END;
    if (InstallDirectX(1) == DIRECTX_RESTART)
        return STARTUP_RESTART_WINDOWS;
    ReplayIntro(MainDialog);
    FirstRun = 1;
    return STARTUP_SHOW_DIALOG;
}

StartupResult RunStartup(HWND dialog, HINSTANCE instance)
{
    MainDialog = dialog;
    ModuleInstance = instance;
    DeleteDirectXSetupFromStartup();
    // One that does not fit stays empty: the clean-up at exit must never
    // hand over a file of another directory.
    if (!RememberCurrentDirectory(StartDirectory))
        ReportCurrentDirectoryNotHeld("The launcher's copy in it stays there when the launcher ends.");

    if (!LoadLauncherState() || !DetectInstalledGames()) {
        StartupResult result = RunFirstRunSteps();
        if (result != STARTUP_SHOW_DIALOG)
            return result;
    }
    return RequireCD() ? STARTUP_SHOW_DIALOG : STARTUP_END;
}

static void ProbePathForDrive(char *probe, char letter)
{
    FormatText(probe, sizeof "D:\\DSInit.exe", "%c:\\DSInit.exe", letter);
}

static int FindCdInAnyDrive(void)
{
    char probe[sizeof "D:\\DSInit.exe"];
    for (char letter = 'A'; letter <= 'Z'; letter++) {
        if (!IsCdRomDrive(letter))
            continue;
        ProbePathForDrive(probe, letter);
        if (!FileExists(probe))
            continue;
        LauncherState.InstalledFrom[0] = letter;
        // Only an existing record is updated; the search never creates one.
        if (LoadLauncherState()) {
            LauncherState.InstalledFrom[0] = letter;
            SaveLauncherState();
        }
        return 1;
    }
    return 0;
}

int RequireCD(void)
{
    char probe[sizeof "D:\\DSInit.exe"];
    ProbePathForDrive(probe, LauncherState.InstalledFrom[0]);
    if (FileExists(probe))
        return 1;
    for (;;) {
        if (FindCdInAnyDrive())
            return 1;
        if (ReportError("Please insert a Draxmoor Saga CD.", "Insert a Draxmoor Saga CD",
                        MB_OKCANCEL | MB_ICONWARNING, MainDialog) == IDCANCEL)
            return 0;
    }
}

// ---------------------------------------------------------------------------
// Main dialog and command dispatch

// Halves a coordinate rounding towards minus infinity, so a window larger
// than the desktop lands at a negative position, not clamped.
static int HalfRoundedDown(int value)
{
    return value >= 0 ? value / 2 : -((1 - value) / 2);
}

static void CentreOnDesktop(HWND window, UINT flags, const char *caption)
{
    RECT desktop, rect;
    char message[PATH_BUFFER];
    if (!GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(window, &rect)) {
        FormatText(message, sizeof message, "!getwindowpos, %d", (int)GetLastError());
        ReportError(message, caption, MB_OK, window);
        return;
    }
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = HalfRoundedDown((desktop.right - desktop.left) - width);
    int y = HalfRoundedDown((desktop.bottom - desktop.top) - height);
    if (!SetWindowPos(window, HWND_TOP, x, y, width, height, flags)) {
        FormatText(message, sizeof message, "!setwindowpos, %d", (int)GetLastError());
        ReportError(message, caption, MB_OK, window);
    }
}

void CentreWindow(HWND window)
{
    CentreOnDesktop(window, 0, "Error!");
}

void CentreAndShowWindow(HWND window)
{
    CentreOnDesktop(window, SWP_SHOWWINDOW, "ERROR");
}

void HideMainDialog(void)
{
    ShowWindow(MainDialog, SW_HIDE);
}

void ShowMainDialog(void)
{
    ShowWindow(MainDialog, SW_SHOW);
    InvalidateRect(MainDialog, NULL, TRUE);
}

void HideDialogItem(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    ShowWindow(item, SW_HIDE);
    EnableWindow(item, FALSE);
}

void ShowDialogItem(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    ShowWindow(item, SW_SHOWNORMAL);
    EnableWindow(item, TRUE);
}

// Every way the dialog ends runs the clean-up first.
static void EndMainDialog(HWND dialog)
{
    RemoveTemporaryFiles();
    EndDialog(dialog, 0);
}

// ExitWindowsEx needs the shutdown privilege on Windows NT; without it the
// request would be refused and the user left with a half-installed DirectX.
static void RestartWindowsForReal(void)
{
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges;
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
        CloseHandle(token);
    }
    ExitWindowsEx(EWX_REBOOT, 0);
}

static void EndMainDialogAndRestart(HWND dialog)
{
    EndMainDialog(dialog);
    if (RestartWindows != NULL)
        RestartWindows();
    else
        RestartWindowsForReal();
}

static BOOL OnInitMain(HWND dialog)
{
    ShowWindow(dialog, SW_HIDE);
    InitArtPanel(&MainArtPanel, dialog);
    CentreWindow(dialog);
    switch (RunStartup(dialog, ModuleInstance)) {
    case STARTUP_RESTART_WINDOWS:
        EndMainDialogAndRestart(dialog);
        break;
    case STARTUP_END:
        EndMainDialog(dialog);
        break;
    case STARTUP_SHOW_DIALOG:
        ShowWindow(dialog, SW_SHOW);
        break;
    }
    return TRUE;
}

static void OnInstallDirectX(HWND dialog)
{
    if (InstallDirectX(0) == DIRECTX_RESTART)
        EndMainDialogAndRestart(dialog);
}

static void OnPreviews(HWND dialog)
{
    if (DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_PREVIEWS), dialog, PreviewsDialogProc, 0) == -1)
        ReportError("Could not create Tessarine Preview Dialog box", "Error!", MB_OK, dialog);
}

// The check box toggles itself on a click; it shows the mode the launcher
// holds, whatever became of the click (a mode that could not be written,
// a click dropped while another command runs).
static void ShowInvulnerableMark(HWND dialog)
{
    CheckDlgButton(dialog, IDC_INVULNERABLE, LauncherState.Cheater != 0 ? BST_CHECKED : BST_UNCHECKED);
}

static void OnInvulnerable(HWND dialog)
{
    ToggleInvulnerable();
    ShowInvulnerableMark(dialog);
}

static BOOL RunMainCommand(HWND dialog, int id)
{
    switch (id) {
    case IDC_GAME1:        PlayGame1(); break;
    case IDC_UNINSTALL1:   UninstallGame1(); break;
    case IDC_GAME2:        PlayGame2(); break;
    case IDC_UNINSTALL2:   UninstallGame2(); break;
    case IDC_GAME3:        PlayGame3(); break;
    case IDC_UNINSTALL3:   UninstallGame3(); break;
    case IDC_SYSINFO:      ShowSystemResources(); break;
    case IDC_DIRECTX:      OnInstallDirectX(dialog); break;
    case IDC_PREVIEWS:     OnPreviews(dialog); break;
    case IDC_INVULNERABLE: OnInvulnerable(dialog); break;
    case IDC_HELPFILE:     OpenHelpFile(); break;
    case IDCANCEL:         EndMainDialog(dialog); break;
    default:               return FALSE;
    }
    return TRUE;
}

// The message boxes and dialogs of a running command dispatch messages, so
// a second command (a queued double press, a posted message) could start
// inside the first; it is dropped instead.
static int CommandRunning;

void ResetShellGuards(void)
{
    CommandRunning = 0;
    SessionEndHeld = 0;
    if (LauncherSemaphore != NULL)
        CloseHandle(LauncherSemaphore);
    LauncherSemaphore = NULL;
}

// A command may disable the button that had the focus (an uninstall) or
// leave the focus nowhere; the keyboard must still reach a control.
static void KeepFocusOnAControl(HWND dialog)
{
    if (!IsWindowVisible(dialog) || GetActiveWindow() != dialog)
        return;
    HWND focus = GetFocus();
    if (focus != NULL && IsChild(dialog, focus) && IsWindowEnabled(focus))
        return;
    HWND first = GetNextDlgTabItem(dialog, NULL, FALSE);
    if (first != NULL)
        SendMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)first, TRUE);
}

static BOOL RunGuardedCommand(HWND dialog, int id)
{
    if (CommandRunning) {
        if (id == IDC_INVULNERABLE)
            ShowInvulnerableMark(dialog);
        return TRUE;
    }
    CommandRunning = 1;
    BOOL handled = RunMainCommand(dialog, id);
    CommandRunning = 0;
    KeepFocusOnAControl(dialog);
    return handled;
}

// The push buttons notify their focus: the one with the focus is the
// default, so Enter presses the button the user sees focused. The check
// box notifies too: with the focus on it, the default is the dialog's own
// again, never the push button the focus last left (Quit, say).
static BOOL OnMainCommand(HWND dialog, WPARAM wParam)
{
    switch (HIWORD(wParam)) {
    case BN_CLICKED:
        return RunGuardedCommand(dialog, LOWORD(wParam));
    case BN_SETFOCUS:
        SendMessageA(dialog, DM_SETDEFID, LOWORD(wParam) == IDC_INVULNERABLE ? IDC_GAME1 : LOWORD(wParam), 0);
        return TRUE;
    default:  // a notifying button's loss of focus or double click
        return FALSE;
    }
}

static void OnMainPaint(HWND dialog)
{
    PAINTSTRUCT paint;
    BeginPaint(dialog, &paint);
    EndPaint(dialog, &paint);
}

// The dialog manager then saves the focus on deactivation and gives it back
// on activation.
static void OnMainActivate(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) != WA_ACTIVE || (HWND)lParam == dialog)
        return;
    RECT client;
    GetClientRect(dialog, &client);
    InvalidateRect(dialog, &client, FALSE);
    UpdateWindow(dialog);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitMain(dialog);
    case WM_COMMAND:
        return OnMainCommand(dialog, wParam);
    case WM_PAINT:
        OnMainPaint(dialog);
        return TRUE;
    case WM_ACTIVATE:
        OnMainActivate(dialog, wParam, lParam);
        return FALSE;
    case WM_QUERYNEWPALETTE:
        QueryNewPaletteStep(&MainArtPanel, dialog);
        return FALSE;
    case WM_PALETTECHANGED:
        PaletteChangedStep(&MainArtPanel, dialog, (HWND)wParam);
        return TRUE;
    case WM_QUERYENDSESSION:
        OnQueryEndSession(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}

// ---------------------------------------------------------------------------
// Main panel button states

static void ReportPanelError(const char *format, ...) CHECKED_FORMAT(1, 2);
static void ReportPanelError(const char *format, ...)
{
    char message[PATH_BUFFER];
    va_list arguments;
    va_start(arguments, format);
    FormatTextList(message, sizeof message, format, arguments);
    va_end(arguments);
    ReportError(message, "ERROR", MB_OK, MainDialog);
}

// Puts the label on the game's button and enables or disables its uninstall
// button; 0 after a report.
static int SetGameButtons(const GameInfo &game, int playable)
{
    if (!SetDlgItemTextA(MainDialog, game.GameButton, playable ? game.PlayText : game.InstallText)) {
        if (playable)
            ReportPanelError("!SetDlgItemText");
        else
            ReportPanelError("!SetDlgItemText(%s) nonPlayableButton", game.InstallText);
        return 0;
    }
    HWND uninstall = GetDlgItem(MainDialog, game.UninstallButton);
    if (uninstall == NULL) {
        if (playable)
            ReportPanelError("!GetDlgItem(%s) (ENABLE)", game.KeyName);
        else
            ReportPanelError("!SendDlgItemMessage(%s) nonPlayableButton (DISENABLE)", game.InstallText);
        return 0;
    }
    EnableWindow(uninstall, playable ? TRUE : FALSE);
    return 1;
}

// Shows or hides the invulnerable check box; 0 after a report.
static int ShowInvulnerableBox(int show)
{
    HWND invulnerable = GetDlgItem(MainDialog, IDC_INVULNERABLE);
    if (invulnerable == NULL) {
        ReportPanelError("!GetDlgItem(IDC_INVULNERABLE) (ENABLE)");
        return 0;
    }
    ShowWindow(invulnerable, show ? SW_SHOW : SW_HIDE);
    return 1;
}

// Relabels and enables; 0 after a report, which skips the save.
static int ShowGamePlayable(const GameInfo &game)
{
    if (!SetGameButtons(game, 1) || !ShowInvulnerableBox(1))
        return 0;
    if (LauncherState.Cheater != 0)
        CheckDlgButton(MainDialog, IDC_INVULNERABLE, BST_CHECKED);
    return 1;
}

void MarkGamePlayable(int game)
{
    const GameInfo &row = GameTable[game - 1];
    *row.InstalledFlag = 1;
    if (ShowGamePlayable(row))
        SaveLauncherState();
    // The uninstall entry is written even when the panel could not be updated.
    RegisterUninstallEntry(row);
}

void ShowGameOutOfReach(int game)
{
    ShowGamePlayable(GameTable[game - 1]);
}

// Relabels and disables, and hides and unchecks the check box once no game
// is left; 0 after a report.
static int ShowGameNotPlayable(const GameInfo &game)
{
    if (!SetGameButtons(game, 0))
        return 0;
    if (AnyGameInstalled())
        return 1;  // the check box stays as the user left it
    if (!ShowInvulnerableBox(0))
        return 0;
    CheckDlgButton(MainDialog, IDC_INVULNERABLE, BST_UNCHECKED);
    return 1;
}

// The record is where a claim lasts, so it goes there first: when it cannot
// be saved the game stays claimed everywhere (in memory, on the panel and in
// the list of programs) as it is in the record, and its files stay.
int MarkGameNotPlayable(int game)
{
    const GameInfo &row = GameTable[game - 1];
    int32_t cheater = LauncherState.Cheater;
    *row.InstalledFlag = 0;
    if (!AnyGameInstalled())
        LauncherState.Cheater = 0;
    if (!SaveLauncherState()) {
        *row.InstalledFlag = 1;
        LauncherState.Cheater = cheater;
        ShowGamePlayable(row);
        return 0;
    }
    char key[PATH_BUFFER];
    if (FormatText(key, sizeof key, "%s\\%s", UninstallKeyPath, row.KeyName))
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);  // it may not exist
    if (!ShowGameNotPlayable(row))
        return 1;
    // Nested: at most one level per game, as each level clears one more flag.
    DetectInstalledGames();
    return 1;
}
