// The install directory: the question before the first install, and the
// chooser that walks the disks or takes a typed path, creating it if asked.
#include "Launcher.h"

#include <ctype.h>
#include <string.h>

// The chooser's state, valid while its dialog is open; its window, which
// owns the chooser's boxes, is ChooserWindow (Globals.cpp).
static char ChooserPath[PATH_BUFFER];  // the accepted path, handed back
static char ShownPath[PATH_BUFFER];    // the path in the edit box and the list
static int ChooserCancelled;

void ResetChooserState(void)
{
    ChooserPath[0] = ShownPath[0] = '\0';
    ChooserCancelled = 0;
}

// The one message-box routine of the chooser, owned by its dialog.
static int ReportChooserError(const char *text, const char *caption, UINT style)
{
    return ReportError(text, caption, style, ChooserWindow);
}

// Listing directories in the chooser moves the process's current directory;
// it is put back afterwards (RememberCurrentDirectory). An empty saved path,
// one that did not fit, is left alone.
static void ReturnToDirectory(const char *saved)
{
    if (saved[0] != '\0')
        SetCurrentDirectoryA(saved);
}

static int MakeDriveCurrent(char letter)
{
    char drive[] = "C:";
    drive[0] = letter;
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    BOOL changed = SetCurrentDirectoryA(drive);
    SetErrorMode(oldMode);
    return changed;
}

static void CentreChooser(void)
{
    RECT desktop, rect;
    if (!GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(ChooserWindow, &rect))
        return;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = ((desktop.right - desktop.left) - width + 1) >> 1;
    int y = ((desktop.bottom - desktop.top) - height + 1) >> 1;
    SetWindowPos(ChooserWindow, HWND_TOP, x, y, width, height, SWP_SHOWWINDOW);
    SetFocus(ChooserWindow);
}

// "[..]": ShownPath becomes its parent; a drive root stays as it is.
// 0 when the path has no backslash at all.
static int StepUpShownPath(void)
{
    char *last = FindLastBackslash(ShownPath);
    if (last == NULL)
        return 0;
    if (!CutToParent(ShownPath))
        *last = '\\';
    return 1;
}

// "[name]": into that subdirectory, which also becomes the accepted path.
static int EnterSubdirectory(const char *entry)
{
    char path[PATH_BUFFER];
    int nameLength = (int)strlen(entry) - 2;
    if (!FormatText(path, sizeof path, "%s%.*s\\", ShownPath, nameLength, entry + 1)) {
        ReportChooserError(ShownPath, "This directory is too deep to be listed:", MB_OK);
        return 0;
    }
    CopyText(ShownPath, sizeof ShownPath, path);
    CopyText(ChooserPath, sizeof ChooserPath, ShownPath);
    return 1;
}

// A listing that failed goes back one level: to the directory above the
// last one, or to the bare drive.
static void BackOutOfUnlistable(char *work)
{
    CutToParent(work);
    CopyText(ShownPath, sizeof ShownPath, work);
    CopyText(ChooserPath, sizeof ChooserPath, work);
}

// "[-c-]" exactly: a directory whose name begins with a hyphen is "[-name]".
static int IsDriveEntry(const char *entry)
{
    return strlen(entry) == 5 && entry[1] == '-' && entry[3] == '-';
}

static void NavigateChooser(const char *entry, int initial)
{
    if (initial) {
        CopyText(ShownPath, sizeof ShownPath, ChooserPath);
    } else if (IsDriveEntry(entry)) {
        BuildDriveRoot(ChooserPath, entry[2]);
        CopyText(ShownPath, sizeof ShownPath, ChooserPath);
    } else if (strcmp(entry, "[..]") == 0) {
        // Only the parent entry itself: "[.name]" is a directory like any other.
        if (!StepUpShownPath())
            return;
    } else if (!EnterSubdirectory(entry)) {
        return;
    }
    char work[PATH_BUFFER];
    CopyText(work, sizeof work, ShownPath);
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    int listed = DlgDirListA(ChooserWindow, work, IDC_DIR_LIST, 0, DDL_EXCLUSIVE | DDL_DRIVES | DDL_DIRECTORY);
    SetErrorMode(oldMode);
    if (!listed) {
        if (initial)
            ReportChooserError("Invalid Search string", "Error", MB_OK);
        else
            BackOutOfUnlistable(work);
    }
    SetDlgItemTextA(ChooserWindow, IDC_DIR_EDIT, ShownPath);
}

static void OpenSelectedEntry(void)
{
    HWND list = GetDlgItem(ChooserWindow, IDC_DIR_LIST);
    LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR)
        return;
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0);
    if (length == LB_ERR || length >= PATH_BUFFER)
        return;
    char entry[PATH_BUFFER];
    if (SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)entry) == LB_ERR)
        return;
    if (entry[0] == '[')
        NavigateChooser(entry, 0);
}

static int CreateDirectoryPath(const char *path)
{
    char work[PATH_BUFFER];
    char *cut;
    DWORD error;
    if (!CopyText(work, sizeof work, path) || !CreateDirectoriesAlong(work, &cut, &error)) {
        ReportChooserError(path, "Could not create the directory:", MB_OK);
        return 0;
    }
    return 1;
}

static void ReportTypedPathError(const char *text)
{
    ReportChooserError(text, "Change Install Directory Error:", MB_ICONEXCLAMATION);
}

// "X:\..." on a lettered drive: anything else would be taken relative to
// whatever directory the chooser happened to list last.
static int IsFullDrivePath(const char *path)
{
    return path[0] >= 'A' && path[0] <= 'Z' && path[1] == ':' && path[2] == '\\';
}

static int ReportTypedPathTooLong(void)
{
    char message[PATH_BUFFER];
    FormatText(message, sizeof message,
               "The install directory may be at most %d characters long, so that every file of the games "
               "fits the system's limit of %d characters for a path.\nPlease choose a shorter path.",
               (int)MAX_INSTALL_DIRECTORY, (int)SYSTEM_PATH_LIMIT);
    ReportTypedPathError(message);
    return 0;
}

// Reads the edit box; 0 after a message when there is nothing usable in it.
static int ReadTypedPath(char *typed)
{
    // Measured first: the read itself would silently shorten a longer text.
    if (GetWindowTextLengthA(GetDlgItem(ChooserWindow, IDC_DIR_EDIT)) > MAX_INSTALL_DIRECTORY)
        return ReportTypedPathTooLong();
    if (GetDlgItemTextA(ChooserWindow, IDC_DIR_EDIT, typed, PATH_BUFFER - 1) == 0) {
        ReportTypedPathError("Could not open directory");
        return 0;
    }
    AppendBackslash(typed, PATH_BUFFER);
    if (strlen(typed) > MAX_INSTALL_DIRECTORY)
        return ReportTypedPathTooLong();
    typed[0] = (char)toupper((unsigned char)typed[0]);
    if (!IsFullDrivePath(typed)) {
        char message[2 * PATH_BUFFER];
        FormatText(message, sizeof message,
                   "%s\nis not a full path.\nPlease type the whole path, beginning with the drive letter, "
                   "for example C:\\Games\\Draxmoor Saga",
                   typed);
        ReportTypedPathError(message);
        return 0;
    }
    if (IsCdRomDrive(typed[0])) {
        char message[PATH_BUFFER];
        FormatText(message, sizeof message,
                   "%c: is a CD-ROM drive.\nThe games are installed to a hard disk: please choose a directory "
                   "on one, for example C:\\Games\\Draxmoor Saga",
                   typed[0]);
        ReportTypedPathError(message);
        return 0;
    }
    return 1;
}

// A typed path that does not exist yet is offered for creation; 1 when it
// was created and is accepted, 0 to stay in the dialog.
static int OfferToCreate(const char *typed)
{
    if (ReportChooserError(typed, "The path you typed in does NOT exist.  Create it?", MB_YESNO | MB_ICONQUESTION)
        != IDYES)
        return 0;
    if (!CreateDirectoryPath(typed))
        return 0;
    CopyText(ChooserPath, sizeof ChooserPath, typed);
    return 1;
}

// A typed path whose last part is an existing file: creating the directory
// would find the name taken and make nothing. 0 after the message.
static int CheckNotAFile(const char *typed)
{
    char path[PATH_BUFFER];
    CopyText(path, sizeof path, typed);
    path[strlen(path) - 1] = '\0';  // the backslash ReadTypedPath ends it with
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return 1;
    char message[2 * PATH_BUFFER];
    FormatText(message, sizeof message,
               "%s\nis a file, not a directory.\nPlease type the path of a directory to install to, for example "
               "C:\\Games\\Draxmoor Saga",
               path);
    ReportTypedPathError(message);
    return 0;
}

static int AcceptTypedPath(void)
{
    char typed[PATH_BUFFER];
    if (!ReadTypedPath(typed))
        return 0;
    if (strcmp(typed, ChooserPath) != 0) {
        char saved[PATH_BUFFER];
        RememberCurrentDirectory(saved);
        if (!MakeDriveCurrent(typed[0])) {
            char root[DRIVE_ROOT_SIZE];
            BuildDriveRoot(root, typed[0]);
            ReportChooserError(root, "The drive you typed in does NOT exist!", MB_OK);
            return 0;
        }
        if (!SetCurrentDirectoryA(typed))
            return CheckNotAFile(typed) && OfferToCreate(typed);
        ReturnToDirectory(saved);
    }
    if (ReportChooserError(typed, "Change the install directory to:", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 0;
    CopyText(ChooserPath, sizeof ChooserPath, typed);
    return 1;
}

// Sent to itself at the end of the initialisation: opens the selected entry
// if the list already has the focus, as a double click does. It is none of
// the dialog manager's messages (WM_USER + 1 would be DM_SETDEFID, taking
// the default away from OK).
enum { WM_OPEN_IF_LIST_FOCUSED = WM_APP + 1 };

static int ListHasFocus(void)
{
    return GetFocus() == GetDlgItem(ChooserWindow, IDC_DIR_LIST);
}

static BOOL OnInitChooser(HWND dialog)
{
    ChooserWindow = dialog;
    CentreChooser();
    NavigateChooser(ChooserPath, 1);
    SendMessageA(dialog, WM_OPEN_IF_LIST_FOCUSED, 0, 0);
    return TRUE;
}

static BOOL OnChooserCommand(HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDOK:
        // Enter in the list opens its entry; anywhere else it is OK.
        if (ListHasFocus()) {
            OpenSelectedEntry();
            return TRUE;
        }
        if (!AcceptTypedPath())
            return TRUE;
        ChooserCancelled = 0;
        EndDialog(dialog, 1);
        return TRUE;
    case IDCANCEL:
        ChooserCancelled = 1;
        EndDialog(dialog, 0);
        return TRUE;
    case IDC_DIR_LIST:
        if (HIWORD(wParam) == LBN_DBLCLK)
            OpenSelectedEntry();
        return FALSE;
    default:
        return FALSE;
    }
}

static INT_PTR CALLBACK ChooserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return OnInitChooser(dialog);
    case WM_COMMAND:
        return OnChooserCommand(dialog, wParam);
    case WM_OPEN_IF_LIST_FOCUSED:
        if (ListHasFocus())
            OpenSelectedEntry();
        return TRUE;
    default:
        return FALSE;
    }
}

int ChooseDirectory(HINSTANCE instance, const char *startDirectory, char *result)
{
    char saved[PATH_BUFFER];
    RememberCurrentDirectory(saved);
    CopyText(ChooserPath, sizeof ChooserPath, startDirectory);
    SetCurrentDirectoryA(ChooserPath);
    // A dialog that never opened is a cancel, never the path of an earlier run.
    ChooserCancelled = 1;
    if (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_CHANGE_DIR), NULL, ChooserDialogProc, 0) == -1)
        ReportChooserError("Could not create Main Dialog box", "GetPath Error", MB_OK);
    ChooserWindow = NULL;  // no later box may be owned by the closed dialog
    ReturnToDirectory(saved);
    if (ChooserCancelled)
        return 0;
    CopyText(result, PATH_BUFFER, ChooserPath);
    return 1;
}

int ConfirmInstallDirectory(void)
{
    // Fixed once a game is installed: a new game goes beside the others.
    if (AnyGameInstalled())
        return InstallDirectoryWithinReach();
    int answer = ReportError(LauncherState.InstalledTo, "Do you wish to install to:", MB_YESNOCANCEL | MB_ICONQUESTION,
                             MainDialog);
    if (answer == IDYES)
        return 1;
    if (answer != IDNO)
        return 0;
    char chosen[PATH_BUFFER];
    HideMainDialog();
    int accepted = ChooseDirectory(ModuleInstance, "C:\\", chosen);
    ShowMainDialog();
    if (!accepted)
        return 0;
    CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, chosen);
    return 1;
}
