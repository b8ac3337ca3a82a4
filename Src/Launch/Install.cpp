// Installation engine: copying and deleting one directory at a time with
// the status area's progress bar, directory chains, the per-game install
// procedures with the free-space check, and game 3's additional files.
#include "Launcher.h"

#include <commctrl.h>
#include <string.h>

// ---------------------------------------------------------------------------
// Status area

static const int StatusControls[] = {IDC_STATUS_FRAME, IDC_STATUS_TEXT1, IDC_STATUS_TEXT2, IDC_INSTALL_BAR};

// The area's controls are the only children that change when it is shown or
// hidden, and they paint themselves: only the dialog's own surface is
// painted again, not its other children.
static void RepaintDialogWithoutChildren(void)
{
    RedrawWindow(MainDialog, NULL, NULL, RDW_INVALIDATE | RDW_NOCHILDREN);
    UpdateWindow(MainDialog);
}

// No messages are dispatched while files are copied, so the dialog and its
// status controls are painted by hand.
static void RepaintMainDialog(void)
{
    RedrawWindow(MainDialog, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// The pace of a copy or delete loop. Looking at the queue (without taking
// anything from it) tells Windows the program is alive, so a long copy is not
// replaced by a "Not Responding" ghost that the user could close, and answers
// what is sent meanwhile (Windows' question before a shutdown, which is
// answered no); nothing posted is dispatched, so no button can start another
// operation in the middle of this one. The file name and the bar change with
// every file, but each change is a round trip to the window system that costs
// more than copying a small file, so the loop keeps them here and gives them
// to the controls only when it paints: at most every PAINT_INTERVAL_MS (ten
// times a second, as smooth as a bar of a few hundred steps needs), before a
// message box and at the end. Whatever the screen shows is exact.
enum { LOOK_INTERVAL_MS = 100, PAINT_INTERVAL_MS = 100, LARGE_FILE_BYTES = 256 * 1024 };

struct LoopPace {
    DWORD LastLook;
    DWORD LastPaint;
    HWND Bar;             // looked up once per operation
    HWND Line2;
    unsigned BarSpan;     // positions the bar has: its maximum + 1
    unsigned Done;        // files handled so far, one bar step each
    unsigned ShownDone;
    int NamePending;
    char Name[MAX_PATH];
};

// `files`: the count the bar's range was set from.
static void StartPace(LoopPace *pace, unsigned files)
{
    pace->LastLook = pace->LastPaint = GetTickCount();
    pace->Bar = GetDlgItem(MainDialog, IDC_INSTALL_BAR);
    pace->Line2 = GetDlgItem(MainDialog, IDC_STATUS_TEXT2);
    pace->BarSpan = (files & 0xFFFF) + 1;
    pace->Done = pace->ShownDone = 0;
    pace->NamePending = 0;
}

static void NoteFileName(LoopPace *pace, const char *name)
{
    pace->NamePending = CopyText(pace->Name, sizeof pace->Name, name);
}

// Puts the file name and the bar on screen as they stand.
static void PaintPace(LoopPace *pace)
{
    if (pace->NamePending)
        SetWindowTextA(pace->Line2, pace->Name);
    pace->NamePending = 0;
    if (pace->Done != pace->ShownDone) {
        // One step per file, starting over past the maximum as a step does.
        SendMessageA(pace->Bar, PBM_SETPOS, pace->Done % pace->BarSpan, 0);
        pace->ShownDone = pace->Done;
    }
    RepaintMainDialog();
    pace->LastPaint = GetTickCount();
}

static void KeepResponsive(LoopPace *pace)
{
    DWORD now = GetTickCount();
    if (now - pace->LastLook < LOOK_INTERVAL_MS)
        return;
    pace->LastLook = now;
    MSG message;
    PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
}

// After each file: one more step of the bar, painted when it is time.
static void PaceAfterFile(LoopPace *pace)
{
    pace->Done++;
    if (GetTickCount() - pace->LastPaint >= PAINT_INTERVAL_MS)
        PaintPace(pace);
    KeepResponsive(pace);
}

void SetStatusLine1(const char *text)
{
    SetDlgItemTextA(MainDialog, IDC_STATUS_TEXT1, text);
}

void SetStatusLine2(const char *text)
{
    SetDlgItemTextA(MainDialog, IDC_STATUS_TEXT2, text);
}

void SetProgressRange(int low, int high)
{
    HWND bar = GetDlgItem(MainDialog, IDC_INSTALL_BAR);
    if (bar == NULL)
        ReportError("!GetDlgItem(IDC_INSTALL_BAR) (range)", "ERROR", MB_OK, MainDialog);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(low & 0xFFFF, high & 0xFFFF));
    SendMessageA(bar, PBM_SETPOS, 0, 0);
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
}

static void ResetProgress(void)
{
    SendDlgItemMessageA(MainDialog, IDC_INSTALL_BAR, PBM_SETPOS, 0, 0);
}

void StepProgress(void)
{
    SendDlgItemMessageA(MainDialog, IDC_INSTALL_BAR, PBM_STEPIT, 0, 0);
}

void ShowStatusArea(void)
{
    SetStatusLine1("");
    SetStatusLine2("");
    ResetProgress();
    for (int id : StatusControls)
        ShowDialogItem(MainDialog, id);
    RepaintDialogWithoutChildren();
}

void HideStatusArea(void)
{
    for (int id : StatusControls)
        HideDialogItem(MainDialog, id);
    SetStatusLine1("");
    SetStatusLine2("");
    ResetProgress();
    RepaintDialogWithoutChildren();
}

// ---------------------------------------------------------------------------
// Directory listing, with the error numbers of the C runtime's listing:
// 2 marks the normal end, 22 a directory that cannot be listed at all.

enum { LISTING_END = 2, LISTING_ACCESS = 13, LISTING_INVALID = 22 };

struct Listing {
    HANDLE Find;
    WIN32_FIND_DATAA Entry;
};

static int ListingError(DWORD error)
{
    switch (error) {
    case ERROR_NO_MORE_FILES: return LISTING_END;
    case ERROR_ACCESS_DENIED: return LISTING_ACCESS;
    default:                  return LISTING_INVALID;
    }
}

// 0 when the listing is open on its first entry, else the error number.
static int OpenListing(Listing *listing, const char *directory)
{
    char pattern[PATH_BUFFER];
    listing->Find = INVALID_HANDLE_VALUE;
    if (!FormatText(pattern, sizeof pattern, "%s*.*", directory))
        return LISTING_INVALID;
    listing->Find = FindFirstFileA(pattern, &listing->Entry);
    return listing->Find == INVALID_HANDLE_VALUE ? LISTING_INVALID : 0;
}

static int NextEntry(Listing *listing)
{
    return FindNextFileA(listing->Find, &listing->Entry) ? 0 : ListingError(GetLastError());
}

static void CloseListing(Listing *listing)
{
    if (listing->Find != INVALID_HANDLE_VALUE)
        FindClose(listing->Find);
    listing->Find = INVALID_HANDLE_VALUE;
}

// Names beginning with a full stop ("." and "..", and hidden files of that
// kind) and subdirectories are neither counted, copied nor deleted.
static int IsListedFile(const WIN32_FIND_DATAA &entry)
{
    return entry.cFileName[0] != '.' && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The counting pass; returns 0 after a normal end, else the error number.
static int CountFiles(const char *directory, unsigned *count)
{
    Listing listing;
    *count = 0;
    int error = OpenListing(&listing, directory);
    while (error == 0) {
        if (IsListedFile(listing.Entry))
            (*count)++;
        error = NextEntry(&listing);
    }
    CloseListing(&listing);
    return error == LISTING_END ? 0 : error;
}

// `mark` tells the count's report from the listing's.
static void ReportListingError(const char *caption, int error, const char *mark)
{
    char message[PATH_BUFFER];
    FormatText(message, sizeof message, "_findnext == -1 && errno == %d%s", error, mark);
    ReportError(message, caption, MB_OK, MainDialog);
}

// ---------------------------------------------------------------------------
// Directory copy and delete

static DWORD CALLBACK CopyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD,
                                   HANDLE, HANDLE, LPVOID pace)
{
    KeepResponsive((LoopPace *)pace);
    return PROGRESS_CONTINUE;
}

// A copy takes its source's attributes, so the listing already says which
// copies are read-only; a failed copy is looked at on the disk.
static int LeaveCopyWritable(const char *path, const WIN32_FIND_DATAA &entry, int copied)
{
    return ClearReadOnly(path, copied ? entry.dwFileAttributes : ATTRIBUTES_UNKNOWN);
}

// Whether a pass tells the user that its files could not be counted: a
// removal goes on to remove the directories all the same.
enum CountFailure { REPORT_COUNT_FAILURE, COUNT_FAILURE_SILENT };

// One pass over a directory's files with the status area showing: the
// files are counted for the bar's range, then each listed file is handed to
// the pass's step at the loop's pace.
struct FilePass {
    const char *Directory;    // the listed one, ending in a backslash
    const char *Destination;  // copies only
    const char *Caption;      // of the listing's error boxes
    CountFailure Count;
    const char *ListMark;     // ends the listing's error
    // One file; 0 ends the pass as failed.
    int (*Step)(const FilePass &pass, const WIN32_FIND_DATAA &entry, LoopPace *pace);
};

// The step loop; 0 when a step or the listing failed.
static int StepThroughFiles(const FilePass &pass, unsigned count)
{
    int failure = 0;
    LoopPace pace;
    StartPace(&pace, count);
    Listing listing;
    int error = OpenListing(&listing, pass.Directory);
    while (error == 0 && !failure) {
        if (IsListedFile(listing.Entry) && !pass.Step(pass, listing.Entry, &pace))
            failure = 1;
        error = NextEntry(&listing);
    }
    PaintPace(&pace);
    if (error != 0 && error != LISTING_END) {
        ReportListingError(pass.Caption, error, pass.ListMark);
        failure = 1;
    }
    CloseListing(&listing);
    return !failure;
}

// The status area shows while files are copied or deleted, and the end of
// the session waits for the work its first line names.
static void BeginFileWork(const char *statusText)
{
    HoldSessionEnd(statusText);
    ShowStatusArea();
    SetStatusLine1(statusText);
}

static void EndFileWork(void)
{
    HideStatusArea();
    DiscardUserInput();
    ReleaseSessionEnd();
}

// 1 when every file was counted and handed to the step without a failure.
static int RunFilePass(const FilePass &pass, const char *statusText)
{
    BeginFileWork(statusText);
    unsigned count;
    int error = CountFiles(pass.Directory, &count);
    if (error != 0 && pass.Count == REPORT_COUNT_FAILURE)
        ReportListingError(pass.Caption, error, " (count)");
    SetProgressRange(0, (int)count);
    int passed = error == 0 && StepThroughFiles(pass, count);
    EndFileWork();
    return passed;
}

// Copies one file of the copying pass; returns 0 when it noticed a failure.
static int CopyOneFile(const FilePass &pass, const WIN32_FIND_DATAA &entry, LoopPace *pace)
{
    const char *source = pass.Directory, *destination = pass.Destination, *name = entry.cFileName;
    // Only a large file (or one on a slow drive) takes long enough to need
    // a look at the queue while it is copied; the progress routine slows the
    // copy of every small one.
    LPPROGRESS_ROUTINE progress =
        entry.nFileSizeHigh != 0 || entry.nFileSizeLow >= LARGE_FILE_BYTES ? CopyProgress : NULL;
    char sourcePath[PATH_BUFFER], destinationPath[PATH_BUFFER];
    int fits = FormatText(sourcePath, sizeof sourcePath, "%s%s", source, name)
            && FormatText(destinationPath, sizeof destinationPath, "%s%s", destination, name);
    NoteFileName(pace, name);
    // A path that does not fit its buffer is a failed copy, never a shortened one.
    int copied = fits && CopyFileExA(sourcePath, destinationPath, progress, pace, NULL, 0);
    if (!copied) {
        PaintPace(pace);  // the box shows over the file it speaks of
        char message[4 * PATH_BUFFER];
        FormatText(message, sizeof message, "Could not copy file '%s%s' to '%s%s'", source, name, destination, name);
        ReportError(message, "copyFiles", MB_OK, MainDialog);
    }
    PaceAfterFile(pace);
    if (!fits)
        return 0;
    if (!LeaveCopyWritable(destinationPath, entry, copied)) {
        PaintPace(pace);
        ReportError(destinationPath, "File not found to _chmod", MB_OK, MainDialog);
        return 0;
    }
    return copied;
}

int CopyFiles(const char *source, const char *destination, const char *statusText)
{
    const FilePass copy = {source, destination, "CopyFiles", REPORT_COUNT_FAILURE, "", CopyOneFile};
    return RunFilePass(copy, statusText);
}

static void RemoveDirectoryAndEmptyParent(char *directory)
{
    RemoveDirectoryUnlessLink(directory);  // stays while it holds anything
    char *first = FindBackslash(directory);
    if (first == NULL || FindBackslash(first + 1) == NULL)
        return;  // fewer than two backslashes: no parent to name
    CutAtLastBackslash(directory);
    CutAtLastBackslash(directory);
    RemoveDirectoryUnlessLink(directory);
}

// A failure is not reported: what stays is the caller's to find. A link
// stays as it is.
static int DeleteOneFile(const FilePass &pass, const WIN32_FIND_DATAA &entry, LoopPace *pace)
{
    char path[PATH_BUFFER];
    if (!IsLinkEntry(entry.dwFileAttributes)
        && FormatText(path, sizeof path, "%s%s", pass.Directory, entry.cFileName)) {
        // Our copies are writable: a read-only file is the user's doing.
        ClearReadOnly(path, entry.dwFileAttributes);
        DeleteFileA(path);
    }
    PaceAfterFile(pace);
    return 1;
}

// A failed count is not reported: the removals below are still tried. A
// directory that is a link (savegames kept in a cloud folder) is neither
// listed nor removed.
void DeleteFiles(char *directory, const char *statusText)
{
    if (IsLink(directory))
        return;
    const FilePass removal = {directory, NULL, "DeleteFiles", COUNT_FAILURE_SILENT, " (del)", DeleteOneFile};
    RunFilePass(removal, statusText);
    RemoveDirectoryAndEmptyParent(directory);
}

// Starts below a share as well as below a drive: a redirected Start menu
// lies on a share.
int CreateDirectoriesAlong(char *path, char **cut, DWORD *error)
{
    char *start = SkipPathRoot(path);
    for (char *end = start != NULL ? FindBackslash(start) : NULL; end != NULL; end = FindBackslash(end + 1)) {
        *end = '\0';
        *error = CreateDirectoryA(path, NULL) ? ERROR_SUCCESS : GetLastError();
        if (*error != ERROR_SUCCESS && *error != ERROR_ALREADY_EXISTS) {
            *cut = end;
            return 0;
        }
        *end = '\\';
    }
    return 1;
}

int MakeDirectoryChain(char *path)
{
    char *cut;
    DWORD error;
    if (CreateDirectoriesAlong(path, &cut, &error))
        return 1;
    char message[2 * PATH_BUFFER];
    FormatText(message, sizeof message, "Could !create %s directory %d", path, (int)error);
    *cut = '\\';
    ReportError(message, "ERROR", MB_OK, MainDialog);
    return 0;
}

// ---------------------------------------------------------------------------
// Per-game install procedures

static char CdDriveLetter(void)
{
    return LauncherState.InstalledFrom[0];
}

static int AskForDiscOne(const GameInfo &game)
{
    char probe[PATH_BUFFER];
    FormatText(probe, sizeof probe, "%c:%s", CdDriveLetter(), game.DiscProbe);
    return PromptForDisc(probe, 1, game.InstallText, MainDialog);
}

// "D:\sw1\" and "Installing Starwarden 1": where its files come from, and
// what the status area says meanwhile.
static void DescribeCopy(const GameInfo &game, char *source, char *status)
{
    FormatText(source, PATH_BUFFER, "%c:%s", CdDriveLetter(), game.DiscDirectory);
    FormatText(status, PATH_BUFFER, "Installing %s", game.DisplayName);
}

// Games 1 and 2: the game directory, then its "gamedat\" subdirectory.
static int InstallGameWithData(int number)
{
    const GameInfo &game = GameTable[number - 1];
    if (!AskForDiscOne(game))
        return 0;
    char source[PATH_BUFFER], destination[PATH_BUFFER], status[PATH_BUFFER];
    if (!BuildGamePath(destination, game, "gamedat\\") || !MakeDirectoryChain(destination))
        return 0;
    DescribeCopy(game, source, status);
    BuildGamePath(destination, game, "");
    if (!CopyFiles(source, destination, status))
        return 0;
    AppendText(source, sizeof source, "gamedat\\");
    BuildGamePath(destination, game, "gamedat\\");
    return CopyFiles(source, destination, status);
}

int InstallGame1(void)
{
    return InstallGameWithData(1);
}

int InstallGame2(void)
{
    return InstallGameWithData(2);
}

// One of game 3's large data files; a failure only costs speed, so it is
// not reported.
static void CopyAdditionalFile(const char *cdRoot, const char *gameDirectory, const char *name, LoopPace *pace)
{
    char source[PATH_BUFFER], destination[PATH_BUFFER];
    SetStatusLine2(name);
    if (FormatText(source, sizeof source, "%s%s", cdRoot, name)
        && FormatText(destination, sizeof destination, "%s%s", gameDirectory, name)
        && CopyFileExA(source, destination, CopyProgress, pace, NULL, 0))
        ClearReadOnly(destination, ATTRIBUTES_UNKNOWN);
    StepProgress();
    RepaintMainDialog();
}

static void CopyAdditionalFiles(const char *gameDirectory)
{
    static const char *const BestFiles[] = {"gameflow.tre", "missions.tre", "objects.tre"};
    char cdRoot[DRIVE_ROOT_SIZE];
    BuildDriveRoot(cdRoot, CdDriveLetter());
    // Three large files: each is painted as soon as it is done.
    LoopPace pace;
    StartPace(&pace, 0);  // only for the look at the queue while a file copies
    BeginFileWork("Installing Additional Starwarden 3 Files");
    SetProgressRange(0, 3);
    if (Game3ExtrasLevel == 1) {
        SetProgressRange(0, 1);
        CopyAdditionalFile(cdRoot, gameDirectory, "objects.tre", &pace);
    } else if (Game3ExtrasLevel == 2) {
        for (const char *name : BestFiles)
            CopyAdditionalFile(cdRoot, gameDirectory, name, &pace);
    }
    EndFileWork();
}

int InstallGame3(void)
{
    if (!AskForDiscOne(Game3))
        return 0;
    char source[PATH_BUFFER], destination[PATH_BUFFER], status[PATH_BUFFER];
    DescribeCopy(Game3, source, status);
    if (!BuildGamePath(destination, Game3, "") || !MakeDirectoryChain(destination))
        return 0;
    if (!CopyFiles(source, destination, status))
        return 0;
    if (Game3ExtrasLevel != 0)
        CopyAdditionalFiles(destination);
    return 1;
}

// Free space in 64 bits: a 32-bit byte count wraps beyond 4 GiB and would
// refuse (or allow) an install for the wrong reason.
int CheckDiskSpace(char drive, int requiredMegabytes)
{
    ULONGLONG available, total;
    char message[PATH_BUFFER];
    if (!QueryDriveSpace(drive, &available, &total)) {
        // Installing onto a drive that cannot say how much room it has would
        // only fail later, half done.
        FormatText(message, sizeof message,
                   "The available hard drive space of drive %c: cannot be determined (error %d).\n"
                   "Please check the drive%s.",
                   drive, (int)GetLastError(),
                   AnyGameInstalled() ? ", then try again" : " or choose another install directory");
        ReportError(message, "Not enough disk space for installation", MB_OK | MB_ICONEXCLAMATION, MainDialog);
        return 0;
    }
    double freeMegabytes = (double)available / 1048576.0;
    if (requiredMegabytes <= freeMegabytes)
        return 1;
    FormatText(message, sizeof message,
               "Drive %c: only has %3.1f MB of available hard drive space.\n"
               "The game you are trying to install requires %d MB of hard drive space.\n"
               "Please free up the required disk space and try again.",
               drive, freeMegabytes, requiredMegabytes);
    ReportError(message, "Not enough disk space for installation", MB_OK | MB_ICONEXCLAMATION, MainDialog);
    return 0;
}

// ---------------------------------------------------------------------------
// Starwarden 3 additional installation

// The one source of the sizes in the code; the dialog's texts show the same
// figures, written into its template.
int ExtrasMegabytes(int level)
{
    return level == 1 ? 9 : level == 2 ? 41 : 0;
}

static void OnAdditionalContinue(HWND dialog)
{
    static const int Choices[] = {IDC_ADD_NONE, IDC_ADD_BETTER, IDC_ADD_BEST};
    for (int level = 0; level < 3; level++)
        if (IsDlgButtonChecked(dialog, Choices[level]) == BST_CHECKED)
            Game3ExtrasLevel = level;
    EndDialog(dialog, 1);
}

static INT_PTR CALLBACK AdditionalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        CheckDlgButton(dialog, IDC_ADD_NONE, BST_CHECKED);
        CentreAndShowWindow(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnAdditionalContinue(dialog);
            return TRUE;
        case IDCANCEL:
            Game3ExtrasLevel = -1;
            EndDialog(dialog, 1);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

int AskAdditionalInstall(void)
{
    if (DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_ADDITIONAL), MainDialog, AdditionalDialogProc, 0) == -1)
        ReportError("Could not create Starwarden 3 Additional Installation Dialog box",
                    "Starwarden 3 Additional Installation", MB_OK, NULL);
    return Game3ExtrasLevel;
}
