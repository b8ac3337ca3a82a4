// Persistent state: the launcher's registry record, the check of that
// record against the disk, uninstallation and the clean-up at exit, and the
// traces left in the Windows shell.
#include "Launcher.h"

#include <sddl.h>
#include <stdio.h>
#include <string.h>

// ---------------------------------------------------------------------------
// Launcher registry record

static const char ShellFoldersKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The registry helpers report a failure and close the key themselves, so a
// caller's whole failure path is to stop; it must not close the key again.
static int WriteRegistryValue(HKEY key, const char *name, DWORD type, const void *data, DWORD count)
{
    if (RegSetValueExA(key, name, 0, type, (const BYTE *)data, count) == ERROR_SUCCESS)
        return 1;
    char shown[PATH_BUFFER];
    if (type == REG_DWORD && count == sizeof(int32_t))
        FormatText(shown, sizeof shown, "%ld", (long)*(const int32_t *)data);
    else
        FormatText(shown, sizeof shown, "%.*s", (int)strnlen((const char *)data, count), (const char *)data);
    char message[2 * PATH_BUFFER + 64];
    FormatText(message, sizeof message, "'%s' key could not be set to: '%s' size '%d'", name, shown, (int)count);
    ReportError(message, "REGISTRY", MB_OK, MainDialog);
    RegCloseKey(key);
    return 0;
}

static int ReportUnreadableValue(HKEY key, const char *name)
{
    char message[PATH_BUFFER];
    FormatText(message, sizeof message, "Key: '%s' not accessible", name);
    ReportError(message, "REGISTRY", MB_OK, MainDialog);
    RegCloseKey(key);
    return 0;
}

// Reads a value's raw bytes, whatever its registry type; *returned gets the
// byte count the registry delivered.
static int QueryRegistryValue(HKEY key, const char *name, DWORD *type, void *buffer, DWORD capacity, DWORD *returned)
{
    *returned = capacity;
    if (RegQueryValueExA(key, name, NULL, type, (BYTE *)buffer, returned) != ERROR_SUCCESS)
        return ReportUnreadableValue(key, name);
    return 1;
}

// On failure the key is closed, as every registry helper here does.
static int ReadRegistryValue(HKEY key, const char *name, DWORD *type, void *buffer, DWORD capacity)
{
    DWORD returned;
    return QueryRegistryValue(key, name, type, buffer, capacity, &returned);
}

// A text value must come with its terminating zero inside the buffer; one
// that fills the buffer without it does not fit, like a longer one.
static int ReadRegistryText(HKEY key, const char *name, char *buffer, DWORD capacity)
{
    DWORD type, returned;
    if (!QueryRegistryValue(key, name, &type, buffer, capacity, &returned))
        return 0;
    if (memchr(buffer, '\0', returned) != NULL)
        return 1;
    if (returned >= capacity)
        return ReportUnreadableValue(key, name);
    buffer[returned] = '\0';
    return 1;
}

static int WriteRegistryText(HKEY key, const char *name, const char *text)
{
    return WriteRegistryValue(key, name, REG_SZ, text, (DWORD)strlen(text) + 1);
}

static int WriteRegistryNumber(HKEY key, const char *name, const int32_t *number)
{
    return WriteRegistryValue(key, name, REG_DWORD, number, sizeof *number);
}

// Every key the launcher makes carries the class text "lpClass": it is part
// of the keys' outward shape, which other programs reading them may check.
static int CreateKeyForWriting(const char *path, HKEY *key)
{
    DWORD disposition;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, (LPSTR) "lpClass", REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, NULL, key, &disposition) == ERROR_SUCCESS;
}

int SaveLauncherState(void)
{
    HKEY key;
    if (!CreateKeyForWriting(LauncherKeyPath, &key)) {
        ReportError("!create registry", "REGISTRY", MB_OK, MainDialog);
        return 0;
    }
    LauncherRecord &s = LauncherState;
    if (!WriteRegistryText(key, "Installed To:", s.InstalledTo)
        || !WriteRegistryText(key, "Installed From:", s.InstalledFrom)
        || !WriteRegistryNumber(key, "Starwarden 1 Installed", &s.Game1Installed)
        || !WriteRegistryNumber(key, "Starwarden 2 Installed", &s.Game2Installed)
        || !WriteRegistryNumber(key, "Starwarden 3 Installed", &s.Game3Installed)
        || !WriteRegistryNumber(key, "Cheater", &s.Cheater))
        return 0;  // the failed write has reported and closed the key
    if (RegCloseKey(key) != ERROR_SUCCESS) {
        ReportError("!close registry", "REGISTRY", MB_OK, MainDialog);
        return 0;
    }
    return 1;
}

// The launcher always writes the directory with its backslash; one restored
// or edited without it still names the same directory, and the next save
// writes it back complete.
static int ReadInstallDirectory(HKEY key, char *directory)
{
    if (!ReadRegistryText(key, "Installed To:", directory, PATH_BUFFER))
        return 0;
    if (directory[0] != '\0')
        AppendBackslash(directory, PATH_BUFFER);
    return 1;
}

int LoadLauncherState(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, LauncherKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;  // no record yet, or removed after the last uninstall
    LauncherRecord &s = LauncherState;
    DWORD type;
    // Each read goes straight into its field; a failure leaves the later ones alone.
    if (!ReadInstallDirectory(key, s.InstalledTo)
        || !ReadRegistryText(key, "Installed From:", s.InstalledFrom, sizeof s.InstalledFrom)
        || !ReadRegistryValue(key, "Starwarden 1 Installed", &type, &s.Game1Installed, sizeof s.Game1Installed)
        || !ReadRegistryValue(key, "Starwarden 2 Installed", &type, &s.Game2Installed, sizeof s.Game2Installed)
        || !ReadRegistryValue(key, "Starwarden 3 Installed", &type, &s.Game3Installed, sizeof s.Game3Installed)
        || !ReadRegistryValue(key, "Cheater", &type, &s.Cheater, sizeof s.Cheater))
        return 0;
    if (RegCloseKey(key) != ERROR_SUCCESS) {
        ReportError("!close registry 2", "REGISTRY", MB_OK, MainDialog);
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Installed-game detection

int AnyGameInstalled(void)
{
    return LauncherState.Game1Installed != 0 || LauncherState.Game2Installed != 0
        || LauncherState.Game3Installed != 0;
}

// A game's file under InstalledTo; a path too long to build cannot be
// there, and the user is told why.
static int GameFileExists(const GameInfo &game, const char *file)
{
    char path[PATH_BUFFER];
    return BuildGamePath(path, game, file) && FileExists(path);
}

static void ComputeGame3ExtrasLevel(void)
{
    int missions = GameFileExists(Game3, "missions.tre");
    int objects = GameFileExists(Game3, "objects.tre");
    Game3ExtrasLevel = objects ? (missions ? 2 : 1) : 0;
}

// A path too long to build cannot be there, and the user is told why.
static FileLook LookForGameFile(const GameInfo &game, const char *file)
{
    char path[PATH_BUFFER];
    return BuildGamePath(path, game, file) ? LookForFile(path) : FILE_NOT_THERE;
}

enum GameReach { GAME_WITHIN_REACH, GAME_OUT_OF_REACH, GAME_PATH_TOO_LONG };

// Looks for the game's program; when its drive is away, `drive` (as the
// user names it) and `directory` say where the game is.
static GameReach LookForGame(const GameInfo &game, char *drive, char *directory)
{
    char program[PATH_BUFFER];
    if (!BuildGamePath(directory, game, "") || !BuildGamePath(program, game, game.Executable))
        return GAME_PATH_TOO_LONG;
    if (LookForFile(program) != FILE_OUT_OF_REACH)
        return GAME_WITHIN_REACH;
    if (!GetDriveName(directory, drive, PATH_BUFFER))
        CopyText(drive, PATH_BUFFER, directory);
    return GAME_OUT_OF_REACH;
}

// Every message about a game whose drive is away starts by saying where it is.
static void DescribeGameAway(char *message, size_t capacity, const GameInfo &game, const char *drive,
                             const char *directory, const char *rest)
{
    FormatText(message, capacity, "Drive %s is not available.\n%s is installed on it, in %s\n%s", drive,
               game.DisplayName, directory, rest);
}

int GameWithinReach(const GameInfo &game)
{
    char drive[PATH_BUFFER], directory[PATH_BUFFER], message[4 * PATH_BUFFER];
    GameReach reach = LookForGame(game, drive, directory);
    if (reach != GAME_OUT_OF_REACH)
        return reach == GAME_WITHIN_REACH;
    DescribeGameAway(message, sizeof message, game, drive, directory, "Please connect the drive, then try again.");
    ReportError(message, game.DisplayName, MB_OK | MB_ICONEXCLAMATION, MainDialog);
    return 0;
}

// Appends the names of the installed games to `names`, "A", "A and B" or
// "A, B and C"; returns how many there are.
static int ListInstalledGames(char *names, size_t capacity)
{
    int count = 0, listed = 0;
    names[0] = '\0';
    for (const GameInfo &game : GameTable)
        count += *game.InstalledFlag != 0;
    for (const GameInfo &game : GameTable) {
        if (*game.InstalledFlag == 0)
            continue;
        if (listed > 0)
            AppendText(names, capacity, listed == count - 1 ? " and " : ", ");
        AppendText(names, capacity, game.DisplayName);
        listed++;
    }
    return count;
}

int InstallDirectoryWithinReach(void)
{
    const char *directory = LauncherState.InstalledTo;
    if (DriveAnswers(directory))
        return 1;
    char drive[PATH_BUFFER], games[PATH_BUFFER], message[4 * PATH_BUFFER];
    if (!GetDriveName(directory, drive, sizeof drive))
        CopyText(drive, sizeof drive, directory);
    int count = ListInstalledGames(games, sizeof games);
    FormatText(message, sizeof message,
               "Drive %s is not available.\n%s %s installed on it, in %s, where a new game goes too.\n\n"
               "Please connect the drive, then try again. If the drive is gone for good, first take the games "
               "installed on it off the list, each with its Uninstall button.",
               drive, games, count == 1 ? "is" : "are", directory);
    ReportError(message, "Install Directory", MB_OK | MB_ICONEXCLAMATION, MainDialog);
    return 0;
}

int DetectInstalledGames(void)
{
    // Each flag is read only at its game's turn: nested runs started by a
    // withdrawn claim may have changed the later ones.
    for (const GameInfo &game : GameTable) {
        if (*game.InstalledFlag == 0)
            continue;
        FileLook look = LookForGameFile(game, game.Executable);
        // Only a drive that answers can tell that a game has gone: one that
        // is away keeps the game, its entry, its folder and the record.
        if (look == FILE_THERE)
            MarkGamePlayable(game.Number);
        else if (look == FILE_NOT_THERE)
            MarkGameNotPlayable(game.Number);
        else
            ShowGameOutOfReach(game.Number);
        if (game.Number == 3 && look != FILE_OUT_OF_REACH)  // away, its files cannot be counted
            ComputeGame3ExtrasLevel();
    }
    if (AnyGameInstalled())
        return 1;
    ForgetInstallation();
    return 0;
}

// ---------------------------------------------------------------------------
// Uninstall procedures

// A file held open by another program, a directory of the user's or a link
// (empty when none) stays behind; the user is told where, since nothing
// tracks it any more.
static void ReportLeftovers(const char *directory, const char *link, const char *caption)
{
    if (GetFileAttributesA(directory) == INVALID_FILE_ATTRIBUTES)
        return;
    char linkNote[2 * PATH_BUFFER] = "";
    if (link[0] != '\0')
        FormatText(linkNote, sizeof linkNote, "\n\n" LINK_KEPT_TEXT "\n%s", link);
    char message[4 * PATH_BUFFER];
    FormatText(message, sizeof message,
               "Not every file could be removed: some may be in use by another program, or were not "
               "installed with the game.\nWhat is left is in:\n%s%s",
               directory, linkNote);
    ReportError(message, caption, MB_OK | MB_ICONEXCLAMATION, MainDialog);
}

// Takes the game off the lists; 0 when the record could not be saved and
// so still claims it whole.
static int WithdrawGame(const GameInfo &game)
{
    int level = Game3ExtrasLevel;
    if (game.Number == 3)
        Game3ExtrasLevel = 0;  // no additional files without the game
    if (MarkGameNotPlayable(game.Number))
        return 1;
    Game3ExtrasLevel = level;
    return 0;
}

// What Uninstall takes away: the game's files, only its place on the lists
// (its drive is away for good), or nothing.
enum UninstallWay { UNINSTALL_FILES, UNINSTALL_LISTS_ONLY, UNINSTALL_NOTHING };

// A drive that is away may never come back (a dead disk, its letter given
// to another): the game then leaves the lists with its files where they are.
static UninstallWay ChooseUninstallWay(const GameInfo &game)
{
    char drive[PATH_BUFFER], directory[PATH_BUFFER], choices[PATH_BUFFER], question[4 * PATH_BUFFER];
    for (;;) {
        GameReach reach = LookForGame(game, drive, directory);
        if (reach != GAME_OUT_OF_REACH)
            return reach == GAME_WITHIN_REACH ? UNINSTALL_FILES : UNINSTALL_NOTHING;
        FormatText(choices, sizeof choices,
                   "\nTry Again: look for the drive again once it is connected, and uninstall %s from it.\n"
                   "Continue: if the drive is gone for good, take %s off the launcher and off Windows' list "
                   "of programs without touching the drive; whatever is on it stays as it is.\n"
                   "Cancel: change nothing.",
                   game.DisplayName, game.DisplayName);
        DescribeGameAway(question, sizeof question, game, drive, directory, choices);
        int answer = ReportError(question, game.DisplayName, MB_CANCELTRYCONTINUE | MB_ICONEXCLAMATION | MB_DEFBUTTON2,
                                 MainDialog);
        if (answer == IDCONTINUE)
            return UNINSTALL_LISTS_ONLY;
        if (answer != IDTRYAGAIN)
            return UNINSTALL_NOTHING;
    }
}

static void UninstallGame(int number)
{
    const GameInfo &game = GameTable[number - 1];
    int hasSavegames = number != 3;  // games 1 and 2 keep theirs in "gamedat\"
    if (*game.InstalledFlag == 0) {
        ReportError("Uninstall, but not Installed)", game.DisplayName, MB_OK, MainDialog);
        return;
    }
    UninstallWay way = ChooseUninstallWay(game);
    if (way == UNINSTALL_LISTS_ONLY)
        WithdrawGame(game);
    if (way != UNINSTALL_FILES)
        return;
    char question[PATH_BUFFER];
    FormatText(question, sizeof question, "Uninstalling Starwarden %d will also erase any savegames.", number);
    if (ReportError(question, "Proceed?", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, MainDialog) != IDYES)
        return;

    char status[PATH_BUFFER], savegames[PATH_BUFFER], directory[PATH_BUFFER], leftovers[PATH_BUFFER];
    char link[PATH_BUFFER];
    FormatText(status, sizeof status, "Uninstalling %s", game.DisplayName);
    if ((hasSavegames && !BuildGamePath(savegames, game, "gamedat\\")) || !BuildGamePath(directory, game, ""))
        return;
    CopyText(leftovers, sizeof leftovers, directory);  // DeleteFiles shortens its argument
    // A link in place of either directory (savegames kept in a cloud folder)
    // stays, and nothing it leads to is touched: behind a linked game
    // directory, not even its savegames.
    int gameLinked = IsLink(directory);
    int savegamesLinked = hasSavegames && !gameLinked && IsLink(savegames);
    CopyText(link, sizeof link, gameLinked ? directory : savegamesLinked ? savegames : "");
    // The claim goes before the first file: whenever the process dies, a
    // game still marked installed has all its files. A record that still
    // claims the game keeps every file.
    if (!WithdrawGame(game))
        return;
    // One level at a time: the savegames first, so that the game directory
    // (and with it an install directory left empty) can go next.
    if (hasSavegames && !gameLinked)
        DeleteFiles(savegames, status);
    DeleteFiles(directory, status);
    ReportLeftovers(leftovers, link, status);
}

void UninstallGame1(void)
{
    UninstallGame(1);
}

void UninstallGame2(void)
{
    UninstallGame(2);
}

void UninstallGame3(void)
{
    UninstallGame(3);
}

// The program folder may hold other programs of the same maker: only the
// launcher copy placed there goes, and the folder only when that leaves it
// empty. The Programs folder above it is the user's and always stays.
static void RemoveProgramFolder(void)
{
    char folder[PATH_BUFFER], launcher[PATH_BUFFER];
    if (!GetProgramsFolder(folder) || IsLink(folder))
        return;
    ShowStatusArea();
    if (FormatText(launcher, sizeof launcher, "%sSWDSaga.exe", folder))
        DeleteFileUnlessLink(launcher);
    RemoveDirectoryUnlessLink(folder);
    HideStatusArea();
}

void ForgetInstallation(void)
{
    CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, DefaultInstallDirectory);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, LauncherKeyPath);  // may be gone already
    if (CompanyKeyIsEmpty())
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, CompanyKeyPath);
    FirstRun = 1;  // the program folder is made again after the next installation
    RemoveProgramFolder();
}

// Identity of an existing file (volume and index), so that two spellings of
// one path, long or short, compare equal.
static int GetFileIdentity(const char *path, BY_HANDLE_FILE_INFORMATION *identity)
{
    HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    BOOL known = GetFileInformationByHandle(file, identity);
    CloseHandle(file);
    return known;
}

// The uninstaller deletes whatever file it is handed, so it gets the start
// directory's "DSaga.exe" only when that is this very program.
static int IsRunningLauncher(const char *path)
{
    WCHAR wide[PATH_BUFFER];
    char module[PATH_BUFFER];
    DWORD length = GetModuleFileNameW(NULL, wide, PATH_BUFFER);
    if (length == 0 || length >= PATH_BUFFER || !WidePathToAnsi(wide, module, sizeof module))
        return 0;
    BY_HANDLE_FILE_INFORMATION handedOver, running;
    return GetFileIdentity(path, &handedOver) && GetFileIdentity(module, &running)
        && handedOver.dwVolumeSerialNumber == running.dwVolumeSerialNumber
        && handedOver.nFileIndexHigh == running.nFileIndexHigh && handedOver.nFileIndexLow == running.nFileIndexLow;
}

void RemoveTemporaryFiles(void)
{
    char program[PATH_BUFFER], directory[PATH_BUFFER], launcher[PATH_BUFFER], command[2 * PATH_BUFFER];
    if (StartDirectory[0] == '\0' || !FormatText(launcher, sizeof launcher, "%s\\DSaga.exe", StartDirectory)
        || !IsRunningLauncher(launcher))
        return;
    BuildCdPath(program, sizeof program, "D:\\install\\uninstal.exe");
    BuildCdPath(directory, sizeof directory, "D:\\install\\");
    if (!FormatText(command, sizeof command, "%s %s", program, launcher))
        return;  // cannot happen: both parts fitted their own buffers
    if (!PromptForDisc(program, DISC_ANY, "Remove temporary files from the hard drive", MainDialog))
        return;
    PROCESS_INFORMATION child;
    // The uninstaller outlives the launcher: nothing waits for it or keeps it.
    if (StartChild(directory, program, command, LAUNCHER_RIGHTS, &child)) {
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
}

// ---------------------------------------------------------------------------
// Windows shell integration

// Whether two files hold the same bytes, read to the end of both.
static int SameBytes(const char *first, const char *second)
{
    HANDLE files[2];
    const char *paths[2] = {first, second};
    for (int i = 0; i < 2; i++)
        files[i] = CreateFileA(paths[i], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    int same = files[0] != INVALID_HANDLE_VALUE && files[1] != INVALID_HANDLE_VALUE;
    char chunks[2][16384];
    DWORD got[2] = {1, 1};
    while (same && got[0] > 0) {
        same = ReadFile(files[0], chunks[0], sizeof chunks[0], &got[0], NULL)
            && ReadFile(files[1], chunks[1], sizeof chunks[1], &got[1], NULL)
            && got[0] == got[1] && memcmp(chunks[0], chunks[1], got[0]) == 0;
    }
    for (HANDLE file : files)
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    return same;
}

// A writable copy that holds the CD file's bytes is that file and is kept:
// copying it again at every start cost more than the rest of the start's
// registry work. Size and time are only the quick test, since any program
// can be given them, and this copy runs with the rights of whoever removes
// a game.
static int SameCopyThere(const char *source, const char *target)
{
    WIN32_FILE_ATTRIBUTE_DATA from, to;
    return GetFileAttributesExA(source, GetFileExInfoStandard, &from)
        && GetFileAttributesExA(target, GetFileExInfoStandard, &to)
        && (to.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0
        && from.nFileSizeLow == to.nFileSizeLow && from.nFileSizeHigh == to.nFileSizeHigh
        && CompareFileTime(&from.ftLastWriteTime, &to.ftLastWriteTime) == 0
        && SameBytes(source, target);
}

// Copies a file from the CD and leaves the copy writable; a missing CD or a
// full disk is not the user's concern here, so nothing is said. 1 when a
// file that is no link is at the target afterwards, copied, kept or older.
static int CopyFromCd(const char *source, const char *target)
{
    if (IsLink(target))
        return 0;  // nothing is written through a link someone put there
    if (SameCopyThere(source, target))
        return 1;
    ClearReadOnly(target, ATTRIBUTES_UNKNOWN);  // the system refuses to copy over a read-only file
    BOOL copied = CopyFileA(source, target, FALSE);
    ClearReadOnly(target, ATTRIBUTES_UNKNOWN);
    return copied || GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES;
}

// The uninstaller is copied to the install drive's root as "uninstal.exe";
// the entries' command names that copy, so that removing a game from the
// system's list of programs works.
static void BuildUninstallerCopyPath(char *path)
{
    BuildDriveRoot(path, LauncherState.InstalledTo[0]);
    AppendText(path, PATH_BUFFER, "uninstal.exe");
}

// Administrators own the uninstaller copy, and only they and the system may
// change it; everyone else may read and run it (FILE_GENERIC_READ |
// FILE_GENERIC_EXECUTE). An owner may always change the permissions, so a
// copy a user put there first becomes the administrators' too.
static const char UninstallerCopyPermissions[] = "O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;WD)";

// Windows' list of programs runs the uninstaller copy with administrator
// rights, and at a drive's root the copy would inherit a permission that
// lets every signed-in user change it: it gets one of its own, which only
// the system and administrators may change. A drive that keeps no
// permissions (FAT32, exFAT) refuses, and nothing better can be done there.
// The path names a file that is no link (CopyFromCd).
static void ProtectUninstallerCopy(const char *path)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(UninstallerCopyPermissions, SDDL_REVISION_1,
                                                              &descriptor, NULL))
        return;
    ApplyFileSecurity(path, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                      descriptor);
    LocalFree(descriptor);
}

static int WriteUninstallValues(HKEY key, const GameInfo &game)
{
    if (!WriteRegistryText(key, "DisplayName", game.DisplayName))
        return 0;
    char uninstaller[PATH_BUFFER], command[PATH_BUFFER];
    BuildUninstallerCopyPath(uninstaller);
    if (!FormatText(command, sizeof command, "%s %s%s", uninstaller, LauncherState.InstalledTo, game.Directory)) {
        RegCloseKey(key);
        ReportTooLong(LauncherState.InstalledTo);
        return 0;
    }
    return WriteRegistryText(key, "UninstallString", command);
}

// Bytes on the disk of a directory (ending in a backslash) and everything
// below it: each file's length rounded up to the volume's allocation unit,
// read from the listing alone, since opening every file at each start would
// cost more than the rest of the start. Links to other directories are not
// followed.
static ULONGLONG MeasureDirectory(const char *directory, ULONGLONG unit)
{
    char pattern[PATH_BUFFER], path[PATH_BUFFER];
    WIN32_FIND_DATAA entry;
    HANDLE listing = FormatText(pattern, sizeof pattern, "%s*", directory) ? FindFirstFileA(pattern, &entry)
                                                                           : INVALID_HANDLE_VALUE;
    if (listing == INVALID_HANDLE_VALUE)
        return 0;
    ULONGLONG total = 0;
    do {
        DWORD attributes = entry.dwFileAttributes;
        int isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0
            || (isDirectory && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0))
            continue;
        ULONGLONG length = ((ULONGLONG)entry.nFileSizeHigh << 32) | entry.nFileSizeLow;
        if (!isDirectory)
            total += (length + unit - 1) / unit * unit;
        else if (FormatText(path, sizeof path, "%s%s\\", directory, entry.cFileName))
            total += MeasureDirectory(path, unit);
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return total;
}

// The volume's allocation unit; one byte where the system cannot say.
static ULONGLONG AllocationUnit(char drive)
{
    char root[PATH_BUFFER];
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
    BuildDriveRoot(root, drive);
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)
        || sectorsPerCluster == 0 || bytesPerSector == 0)
        return 1;
    return (ULONGLONG)sectorsPerCluster * bytesPerSector;
}

static int32_t KilobytesOnDisk(const char *directory)
{
    ULONGLONG kilobytes = (MeasureDirectory(directory, AllocationUnit(directory[0])) + 1023) / 1024;
    return kilobytes > INT32_MAX ? INT32_MAX : (int32_t)kilobytes;
}

// The day of the install: an entry written again at a later start keeps the
// date it already holds.
static void ChooseInstallDate(HKEY key, char *date, size_t capacity)
{
    char kept[16];
    DWORD type, count = sizeof kept;
    if (RegQueryValueExA(key, "InstallDate", NULL, &type, (BYTE *)kept, &count) == ERROR_SUCCESS
        && type == REG_SZ && count == 9 && kept[8] == '\0' && strspn(kept, "0123456789") == 8) {
        CopyText(date, capacity, kept);
        return;
    }
    SYSTEMTIME today;
    GetLocalTime(&today);
    FormatText(date, capacity, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
}

// The values the system's list of programs shows beside the name: maker,
// icon, place, size and date, and no Modify or Repair, which would do nothing.
static int WriteListingValues(HKEY key, const GameInfo &game)
{
    char location[PATH_BUFFER], icon[PATH_BUFFER], date[16];
    if (!FormatText(location, sizeof location, "%s%s", LauncherState.InstalledTo, game.Directory)
        || !FormatText(icon, sizeof icon, "%s%s", location, game.Executable)) {
        RegCloseKey(key);
        ReportTooLong(LauncherState.InstalledTo);
        return 0;
    }
    const int32_t size = KilobytesOnDisk(location), set = 1;
    ChooseInstallDate(key, date, sizeof date);
    return WriteRegistryText(key, "Publisher", "Tessarine Systems")
        && WriteRegistryText(key, "DisplayIcon", icon)
        && WriteRegistryText(key, "InstallLocation", location)
        && WriteRegistryNumber(key, "EstimatedSize", &size)
        && WriteRegistryText(key, "InstallDate", date)
        && WriteRegistryNumber(key, "NoModify", &set)
        && WriteRegistryNumber(key, "NoRepair", &set);
}

// Builds Explorer's path and its command line for the folder (which ends in
// a backslash); 0 after reporting a path that does not fit.
static int BuildExplorerCommand(const char *windows, const char *folder, char *program, char *command)
{
    char unslashed[PATH_BUFFER], quoted[PATH_BUFFER];
    CopyText(unslashed, sizeof unslashed, folder);
    *FindLastBackslash(unslashed) = '\0';
    if (!FormatText(program, PATH_BUFFER, "%sexplorer.exe", windows)
        || !FormatText(quoted, sizeof quoted, "\"%s\"", unslashed)
        || !FormatText(command, PATH_BUFFER, "%s %s", program, quoted)) {
        ReportTooLong(folder);
        return 0;
    }
    return 1;
}

static void CreateProgramFolder(void)
{
    if (FirstRun == 0)
        return;
    LauncherRecord &s = LauncherState;
    // One game installed or all three make the folder, never exactly two:
    // the flags' parity decides (1 == 2 XOR 3 stops), not their count.
    if (s.Game1Installed == (s.Game2Installed ^ s.Game3Installed))
        return;
    char windows[PATH_BUFFER];
    if (!GetWindowsDirectoryWithSlash(windows))
        return;
    char folder[PATH_BUFFER];
    if (!GetProgramsFolder(folder) || !MakeDirectoryChain(folder))
        return;
    char source[PATH_BUFFER], launcher[PATH_BUFFER];
    BuildCdPath(source, sizeof source, "D:\\Install\\SWDSaga.exe");
    if (!FormatText(launcher, sizeof launcher, "%sSWDSaga.exe", folder)) {
        ReportTooLong(folder);
        return;
    }
    CopyFromCd(source, launcher);
    char program[PATH_BUFFER], command[PATH_BUFFER];
    if (!BuildExplorerCommand(windows, folder, program, command))
        return;
    // Cleared before Explorer starts: when it cannot, the runner re-checks
    // the games, which confirms them and comes back here; the folder is made
    // and must not be opened again from inside that failure.
    FirstRun = 0;
    RunAndWait(windows, program, command, MainDialog);
}

void RegisterUninstallEntry(const GameInfo &game)
{
    char path[PATH_BUFFER];
    HKEY key;
    if (!FormatText(path, sizeof path, "%s\\%s", UninstallKeyPath, game.KeyName) || !CreateKeyForWriting(path, &key)) {
        ReportError("!create registry", "REGISTRY", MB_OK, MainDialog);
        return;
    }
    if (!WriteUninstallValues(key, game) || !WriteListingValues(key, game))
        return;  // the failed step has reported and closed the key
    if (RegCloseKey(key) != ERROR_SUCCESS) {
        ReportError("!close registry", "REGISTRY", MB_OK, MainDialog);
        return;
    }
    char source[PATH_BUFFER], target[PATH_BUFFER];
    BuildCdPath(source, sizeof source, "D:\\install\\uninstal.exe");
    BuildUninstallerCopyPath(target);
    if (CopyFromCd(source, target))
        ProtectUninstallerCopy(target);
    CreateProgramFolder();
}

int CompanyKeyIsEmpty(void)
{
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, CompanyKeyPath, &key) != ERROR_SUCCESS) {
        OutputDebugStringA("!open key\n");
        return 0;
    }
    char className[PATH_BUFFER];
    DWORD classLength = sizeof className;
    DWORD subKeys = 0;
    LONG queried = RegQueryInfoKeyA(key, className, &classLength, NULL, &subKeys, NULL, NULL, NULL, NULL, NULL,
                                    NULL, NULL);
    if (RegCloseKey(key) != ERROR_SUCCESS)
        OutputDebugStringA("!close key\n");
    return queried == ERROR_SUCCESS && subKeys == 0;
}

// Read in UTF-16: the 8-bit read has a '?' for every character the code
// page lacks, and a user's name often has such characters. The key is
// closed in every case, as every registry helper here does.
static int ReadShellFolder(HKEY key, const char *valueName, WCHAR folder[PATH_BUFFER + 1])
{
    WCHAR name[64];
    DWORD type, bytes = PATH_BUFFER * sizeof(WCHAR);  // `folder` has room for one more
    if (!AnsiToWide(valueName, name, 64)
        || RegQueryValueExW(key, name, NULL, &type, (BYTE *)folder, &bytes) != ERROR_SUCCESS)
        return ReportUnreadableValue(key, valueName);
    folder[bytes / sizeof(WCHAR)] = L'\0';
    RegCloseKey(key);
    return 1;
}

// `consequence` says what is left undone when the folder's name cannot be
// written in the code page.
static int GetShellFolder(const char *valueName, const char *suffix, char *buffer, const char *consequence)
{
    HKEY key;
    WCHAR folder[PATH_BUFFER + 1];
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ShellFoldersKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;
    if (!ReadShellFolder(key, valueName, folder))
        return 0;
    if (!WidePathToAnsi(folder, buffer, PATH_BUFFER)) {
        ReportFolderNotHeld(folder, consequence);
        return 0;
    }
    if (!AppendText(buffer, PATH_BUFFER, suffix)) {
        ReportTooLong(buffer);
        return 0;
    }
    return 1;
}

int GetProgramsFolder(char *buffer)
{
    return GetShellFolder("Programs", "\\Tessarine Systems\\", buffer,
                          "The program folder \"Tessarine Systems\" cannot be made or removed in it.");
}

int GetStartupFolder(char *buffer)
{
    return GetShellFolder("Startup", "\\", buffer,
                          "A copy of the DirectX setup left in it by an earlier run cannot be removed.");
}
