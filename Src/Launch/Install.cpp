// Installation engine: copying and deleting one directory at a time with
// the status area's progress bar, directory chains, the per-game install
// procedures, game 3's additional files and the install-directory chooser.
#include "Launcher.h"

#include <commctrl.h>
#include <string.h>

// ---------------------------------------------------------------------------
// Status area

static const int StatusControls[] = {IDC_STATUS_FRAME, IDC_STATUS_TEXT1, IDC_STATUS_TEXT2, IDC_INSTALL_BAR};

static void RepaintWholeDialog(void)
{
    InvalidateRect(MainDialog, NULL, FALSE);
    UpdateWindow(MainDialog);
}

// No messages are dispatched while files are copied, so the dialog and its
// status controls are painted by hand after every file.
static void RepaintMainDialog(void)
{
    RedrawWindow(MainDialog, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// Looking at the queue (without taking anything from it) tells Windows the
// program is alive, so a long copy is not replaced by a "Not Responding"
// ghost that the user could close. Nothing is dispatched: no button can
// start another operation in the middle of this one. A look every tenth of
// a second is far inside the five-second limit; looking after every file
// and every chunk cost more than copying a small file.
enum { LOOK_INTERVAL_MS = 100 };

static void KeepResponsive(DWORD *lastLook)
{
    DWORD now = GetTickCount();
    if (now - *lastLook < LOOK_INTERVAL_MS)
        return;
    *lastLook = now;
    MSG message;
    PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
}

void ShowStatusArea(void)
{
    SetStatusLine1("");
    SetStatusLine2("");
    ResetProgress();
    for (int id : StatusControls)
        ShowDialogItem(MainDialog, id);
    RepaintWholeDialog();
}

void HideStatusArea(void)
{
    for (int id : StatusControls)
        HideDialogItem(MainDialog, id);
    SetStatusLine1("");
    SetStatusLine2("");
    ResetProgress();
    RepaintWholeDialog();
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

void ResetProgress(void)
{
    SendDlgItemMessageA(MainDialog, IDC_INSTALL_BAR, PBM_SETPOS, 0, 0);
}

void StepProgress(void)
{
    SendDlgItemMessageA(MainDialog, IDC_INSTALL_BAR, PBM_STEPIT, 0, 0);
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

static void ReportListingError(const char *format, int error, const char *caption)
{
    char message[PATH_BUFFER];
    FormatText(message, sizeof message, format, error);
    ReportError(message, caption, MB_OK, MainDialog);
}

// ---------------------------------------------------------------------------
// Directory copy and delete

static DWORD CALLBACK CopyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD,
                                   HANDLE, HANDLE, LPVOID lastLook)
{
    KeepResponsive((DWORD *)lastLook);
    return PROGRESS_CONTINUE;
}

// Copies one file of the copying pass; returns 0 when it noticed a failure.
static int CopyOneFile(const char *source, const char *destination, const char *name, DWORD *lastLook)
{
    char sourcePath[PATH_BUFFER], destinationPath[PATH_BUFFER];
    int fits = FormatText(sourcePath, sizeof sourcePath, "%s%s", source, name)
            && FormatText(destinationPath, sizeof destinationPath, "%s%s", destination, name);
    int ok = 1;
    SetStatusLine2(name);
    // A path that does not fit its buffer is a failed copy, never a shortened one.
    if (!fits || !CopyFileExA(sourcePath, destinationPath, CopyProgress, lastLook, NULL, 0)) {
        char message[4 * PATH_BUFFER];
        FormatText(message, sizeof message, "Could not copy file '%s%s' to '%s%s'", source, name, destination, name);
        ReportError(message, "copyFiles", MB_OK, MainDialog);
        ok = 0;
    }
    StepProgress();
    RepaintMainDialog();
    if (!fits)
        return 0;
    // Changing attributes is costly; a writable copy needs no change.
    DWORD attributes = GetFileAttributesA(destinationPath);
    if (attributes == INVALID_FILE_ATTRIBUTES
        || ((attributes & FILE_ATTRIBUTE_READONLY)
            && !SetFileAttributesA(destinationPath, attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY))) {
        ReportError(destinationPath, "File not found to _chmod", MB_OK, MainDialog);
        ok = 0;
    }
    return ok;
}

int CopyFiles(const char *source, const char *destination, const char *statusText)
{
    int failure = 0;
    ShowStatusArea();
    SetStatusLine1(statusText);

    unsigned count;
    int error = CountFiles(source, &count);
    if (error != 0) {
        ReportListingError("_findnext == -1 && errno == %d (count)", error, "CopyFiles");
        failure = 1;
    }
    SetProgressRange(0, (int)count);

    Listing listing;
    listing.Find = INVALID_HANDLE_VALUE;
    DWORD lastLook = GetTickCount() - LOOK_INTERVAL_MS;
    if (!failure) {
        error = OpenListing(&listing, source);
        while (error == 0 && !failure) {
            if (IsListedFile(listing.Entry) && !CopyOneFile(source, destination, listing.Entry.cFileName, &lastLook))
                failure = 1;
            KeepResponsive(&lastLook);
            error = NextEntry(&listing);
        }
        if (error != 0 && error != LISTING_END) {
            ReportListingError("_findnext == -1 && errno == %d", error, "CopyFiles");
            failure = 1;
        }
    }
    CloseListing(&listing);
    HideStatusArea();
    return failure ? 0 : 1;
}

// Cuts a path at its last backslash; 0 when it has none.
static int CutAtLastBackslash(char *path)
{
    char *last = strrchr(path, '\\');
    if (last == NULL)
        return 0;
    *last = '\0';
    return 1;
}

static void RemoveDirectoryAndEmptyParent(char *directory)
{
    RemoveDirectoryA(directory);  // stays while it holds anything
    char *first = strchr(directory, '\\');
    if (first == NULL || strchr(first + 1, '\\') == NULL)
        return;  // fewer than two backslashes: no parent to name
    CutAtLastBackslash(directory);
    CutAtLastBackslash(directory);
    RemoveDirectoryA(directory);
}

void DeleteFiles(char *directory, const char *statusText)
{
    int failure = 0;
    ShowStatusArea();
    SetStatusLine1(statusText);

    unsigned count;
    if (CountFiles(directory, &count) != 0)
        failure = 1;  // silently: the removals below are still tried
    SetProgressRange(0, (int)count);

    Listing listing;
    listing.Find = INVALID_HANDLE_VALUE;
    DWORD lastLook = GetTickCount() - LOOK_INTERVAL_MS;
    if (!failure) {
        int error = OpenListing(&listing, directory);
        while (error == 0) {
            if (IsListedFile(listing.Entry)) {
                char path[PATH_BUFFER];
                if (FormatText(path, sizeof path, "%s%s", directory, listing.Entry.cFileName))
                    DeleteFileA(path);
                StepProgress();
                RepaintMainDialog();
                KeepResponsive(&lastLook);
            }
            error = NextEntry(&listing);
        }
        if (error != LISTING_END)
            ReportListingError("_findnext == -1 && errno == %d (del)", error, "DeleteFiles");
    }
    CloseListing(&listing);
    RemoveDirectoryAndEmptyParent(directory);
    HideStatusArea();
}

int MakeDirectoryChain(char *path)
{
    char *next = strchr(path, '\\');
    if (next == NULL)
        return 1;
    for (next++; *next != '\0'; next++) {
        char *end = strchr(next, '\\');
        if (end == NULL)
            return 1;  // a last component without its backslash is not created
        *end = '\0';
        DWORD error = CreateDirectoryA(path, NULL) ? ERROR_SUCCESS : GetLastError();
        if (error != ERROR_SUCCESS && error != ERROR_ALREADY_EXISTS) {
            char message[2 * PATH_BUFFER];
            FormatText(message, sizeof message, "Could !create %s directory %d", path, (int)error);
            ReportError(message, "ERROR", MB_OK, MainDialog);
            *end = '\\';
            return 0;
        }
        *end = '\\';
        next = end;
    }
    return 1;
}
