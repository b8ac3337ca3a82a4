// The disc's uninstaller, with two jobs told apart by its one argument:
// - a game directory (from the system's list of installed programs):
//   remove it with everything in it, its Windows uninstall entry and the
//   launcher's installed flag for that game;
// - a file (the launcher's own temporary copy, handed over as the launcher
//   ends): wait until the launcher has gone, then delete the file.
#include "CdProgram.h"

#include <string.h>

static const char UNINSTALL_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
static const char LAUNCHER_KEY[] = "Software\\Tessarine Systems\\SW: Draxmoor Saga";

// The first link met is the one a message names.
static void NoteLink(char *link, size_t linkCapacity, const char *path)
{
    if (link[0] == '\0')
        CopyText(link, linkCapacity, path);
}

// The directory with everything in it, but for links, which stay as they
// are (the first one met is named in `link`), and so does what holds one.
static int DeleteTree(const char *directory, char *link, size_t linkCapacity)
{
    if (IsLink(directory)) {
        NoteLink(link, linkCapacity, directory);
        return 0;
    }
    char pattern[CD_PATH_BUFFER];
    if (!FormatText(pattern, sizeof pattern, "%s\\*", directory))
        return 0;
    int ok = 1;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0)
                continue;
            char path[CD_PATH_BUFFER];
            if (!FormatText(path, sizeof path, "%s\\%s", directory, found.cFileName)) {
                ok = 0;
            } else if (IsLinkEntry(found.dwFileAttributes)) {
                NoteLink(link, linkCapacity, path);
                ok = 0;
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!DeleteTree(path, link, linkCapacity))
                    ok = 0;
            } else if (!DeleteFileUnlessLink(path)) {  // files copied from a disc may still be read-only
                ok = 0;
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetFileAttributesA(directory, FILE_ATTRIBUTE_NORMAL);
    if (!RemoveDirectoryUnlessLink(directory))
        ok = 0;
    return ok;
}

// 1, 2 or 3 when the directory's last component is "sw1", "sw2" or "sw3".
static int GameNumberOf(const char *directory)
{
    const char *name = FindLastBackslash(directory);
    name = name != NULL ? name + 1 : directory;
    if (lstrcmpiA(name, "sw1") == 0)
        return 1;
    if (lstrcmpiA(name, "sw2") == 0)
        return 2;
    if (lstrcmpiA(name, "sw3") == 0)
        return 3;
    return 0;
}

static void ForgetGame(int game)
{
    char keyPath[CD_PATH_BUFFER];
    if (FormatText(keyPath, sizeof keyPath, "%s\\sw%d", UNINSTALL_KEY, game))
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath);

    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, LAUNCHER_KEY, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    char valueName[64];
    DWORD notInstalled = 0;
    if (FormatText(valueName, sizeof valueName, "Starwarden %d Installed", game))
        RegSetValueExA(key, valueName, 0, REG_DWORD, (const BYTE *)&notInstalled, sizeof notInstalled);
    RegCloseKey(key);
}

static int UninstallGameDirectory(char *directory)
{
    // Work on the path without trailing backslashes, so that its last
    // component and its parent are plain to find.
    while (strlen(directory) > 3 && EndsInBackslash(directory))
        *FindLastBackslash(directory) = '\0';

    int game = GameNumberOf(directory);
    // Everything below the directory goes, so only a game's own directory is taken.
    if (game == 0) {
        char message[2 * CD_PATH_BUFFER];
        FormatText(message, sizeof message, "%s\nis not the directory of a Starwarden game; nothing was removed.",
                   directory);
        ShowProgramMessage(message, "Uninstall", MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
    // A directory already gone by hand still leaves its entries to clear.
    char link[CD_PATH_BUFFER] = "";
    int ok = GetFileAttributesA(directory) == INVALID_FILE_ATTRIBUTES || DeleteTree(directory, link, sizeof link);

    char parent[CD_PATH_BUFFER];
    if (CopyText(parent, sizeof parent, directory)) {
        char *cut = FindLastBackslash(parent);
        // Fails harmlessly when other games still live there; never the drive root.
        if (cut != NULL && cut - parent > 2) {
            *cut = '\0';
            RemoveDirectoryUnlessLink(parent);
        }
    }
    ForgetGame(game);

    if (!ok) {
        char linkNote[2 * CD_PATH_BUFFER] = "";
        if (link[0] != '\0')
            FormatText(linkNote, sizeof linkNote, "\n\n" LINK_KEPT_TEXT "\n%s", link);
        char message[4 * CD_PATH_BUFFER];
        FormatText(message, sizeof message, "Some files in\n%s\ncould not be removed.%s", directory, linkNote);
        ShowProgramMessage(message, "Uninstall", MB_OK | MB_ICONEXCLAMATION);
    } else {
        char message[128];
        FormatText(message, sizeof message, "Starwarden %d has been removed from your computer.", game);
        ShowProgramMessage(message, "Uninstall", MB_OK | MB_ICONINFORMATION);
    }
    return ok ? 0 : 1;
}

static int LauncherIsRunning()
{
    HANDLE semaphore = OpenSemaphoreA(SYNCHRONIZE, FALSE, "Starwarden Launcher");
    if (semaphore == NULL)
        return 0;
    CloseHandle(semaphore);
    return 1;
}

// The directory the initialiser made for the copy goes with it, once empty;
// a directory of any other name is the user's and stays. Its name is read
// in its long form: the path handed over may be the short one.
static void RemoveLauncherDirectory(const char *file)
{
    WCHAR given[CD_PATH_BUFFER], directory[CD_PATH_BUFFER];
    if (!AnsiToWide(file, given, CD_PATH_BUFFER))
        return;
    WCHAR *cut = wcsrchr(given, L'\\');
    if (cut == NULL)
        return;
    *cut = L'\0';
    DWORD length = GetLongPathNameW(given, directory, CD_PATH_BUFFER);
    const WCHAR *name = length > 0 && length < CD_PATH_BUFFER ? wcsrchr(directory, L'\\') : NULL;
    size_t prefix = wcslen(LAUNCHER_DIRECTORY_PREFIX);
    if (name != NULL && _wcsnicmp(name + 1, LAUNCHER_DIRECTORY_PREFIX, prefix) == 0)
        RemoveWideDirectoryUnlessLink(directory);
}

static int RemoveLauncherCopy(const char *file)
{
    // The copy goes only where it is: not through a link in its place or in
    // place of its directory.
    char directory[CD_PATH_BUFFER];
    char *cut = CopyText(directory, sizeof directory, file) ? FindLastBackslash(directory) : NULL;
    if (cut == NULL)
        return 1;
    *cut = '\0';
    // The launcher starts this program as its last act; its file can only
    // go once its process (which holds the semaphore until the end) has.
    for (DWORD waited = 0; waited < 120000 && LauncherIsRunning(); waited += 100)
        Sleep(100);
    for (DWORD waited = 0; waited <= 10000; waited += 250) {
        if (IsLink(directory) || IsLink(file))  // asked at each attempt: one may be put there meanwhile
            return 1;
        if (DeleteFileUnlessLink(file) || GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) {
            RemoveLauncherDirectory(file);
            return 0;
        }
        Sleep(250);
    }
    return 1;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    FailCriticalErrorsQuietly();
    RecordRun("");

    char target[CD_PATH_BUFFER];
    int code = 1;
    if (!GetCommandTail(target, sizeof target) || target[0] == '\0') {
        ShowProgramMessage("Usage: uninstal <game directory>", "Uninstall", MB_OK | MB_ICONEXCLAMATION);
    } else {
        DWORD attributes = GetFileAttributesA(target);
        int isDirectory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (isDirectory || EndsInBackslash(target))
            code = UninstallGameDirectory(target);
        else
            code = RemoveLauncherCopy(target);
    }
    return FinishRun("UNINSTAL", code);
}
