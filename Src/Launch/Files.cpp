// Files, drives and system directories: the existence test, the read-only
// attribute, a drive's space and root, the current and the Windows
// directory, and paths on the CD.
#include "Launcher.h"

#include <string.h>

// Opens and closes the file without reading it; 0 with the system's answer
// in *error.
static int OpenToTest(const char *path, DWORD *error)
{
    // No "insert a disk" prompt from the system for an empty drive.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    *error = GetLastError();
    SetErrorMode(oldMode);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    return 1;
}

int FileExists(const char *path)
{
    DWORD error;
    return OpenToTest(path, &error);
}

int GetDriveName(const char *path, char *name, size_t capacity)
{
    if (path[0] != '\0' && path[1] == ':')
        return FormatText(name, capacity, "%.2s", path);
    if (path[0] != '\\' || path[1] != '\\')
        return 0;
    // "\\server\share": up to the backslash after the share's name.
    const char *end = path + 2;
    int separators = 0;
    while (*end != '\0' && !(*end == '\\' && ++separators == 2))
        end = CharNextA(end);
    return FormatText(name, capacity, "%.*s", (int)(end - path), path);
}

int DriveAnswers(const char *path)
{
    char root[PATH_BUFFER];
    if (!GetDriveName(path, root, sizeof root) || !AppendText(root, sizeof root, "\\"))
        return 0;
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    DWORD attributes = GetFileAttributesA(root);
    SetErrorMode(oldMode);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A path the 8-bit file calls take as it stands: a drive letter's root or
// a share's first, and short enough. Any other (an empty or relative path,
// one too long) names no file, whatever the current directory holds.
static int IsUsableFullPath(const char *path)
{
    char drive[PATH_BUFFER];
    if (strlen(path) > SYSTEM_PATH_LIMIT || !GetDriveName(path, drive, sizeof drive))
        return 0;
    size_t length = strlen(drive);
    if (path[length] != '\\')
        return 0;
    if (drive[1] == ':')
        return (drive[0] >= 'A' && drive[0] <= 'Z') || (drive[0] >= 'a' && drive[0] <= 'z');
    return drive[2] != '\\' && drive[length - 1] != '\\';  // "\\server\share", neither part empty
}

FileLook LookForFile(const char *path)
{
    if (!IsUsableFullPath(path))
        return FILE_NOT_THERE;
    DWORD error;
    if (OpenToTest(path, &error))
        return FILE_THERE;
    if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) && DriveAnswers(path))
        return FILE_NOT_THERE;
    return FILE_OUT_OF_REACH;
}

int ClearReadOnly(const char *path, DWORD listed)
{
    DWORD attributes = listed != ATTRIBUTES_UNKNOWN ? listed : GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0)
        return 1;  // changing attributes is costly: a writable file is left alone
    attributes &= ~(DWORD)FILE_ATTRIBUTE_READONLY;
    return SetFileAttributesA(path, attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
}

int QueryDriveSpace(char drive, ULONGLONG *available, ULONGLONG *total)
{
    char root[DRIVE_ROOT_SIZE];
    BuildDriveRoot(root, drive);
    ULARGE_INTEGER availableBytes, totalBytes, freeBytes;
    // No "insert a disk" box from the system for an empty or vanished drive.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    BOOL known = GetDiskFreeSpaceExA(root, &availableBytes, &totalBytes, &freeBytes);
    DWORD error = GetLastError();
    SetErrorMode(oldMode);
    SetLastError(error);
    if (!known)
        return 0;
    *available = availableBytes.QuadPart;
    *total = totalBytes.QuadPart;
    return 1;
}

int GetWindowsDirectoryWithSlash(char *directory)
{
    UINT length = QueryWindowsDirectory(directory, PATH_BUFFER);
    if (length == 0 || length >= PATH_BUFFER) {
        directory[0] = '\0';
        return 0;
    }
    // A Windows directory at a drive root ("C:\") has its backslash already.
    return AppendBackslash(directory, PATH_BUFFER);
}

int BuildCdPath(char *buffer, size_t capacity, const char *templatePath)
{
    if (!CopyText(buffer, capacity, templatePath))
        return 0;
    buffer[0] = LauncherState.InstalledFrom[0];
    return 1;
}

void BuildDriveRoot(char *root, char letter)
{
    FormatText(root, DRIVE_ROOT_SIZE, "%c:\\", letter);
}

int IsCdRomDrive(char letter)
{
    char root[DRIVE_ROOT_SIZE];
    BuildDriveRoot(root, letter);
    return GetDriveTypeA(root) == DRIVE_CDROM;
}

// Asked in UTF-16: the 8-bit answer has a '?' for every character the code
// page lacks, which names no directory at all.
static int GetCurrentDirectoryWide(WCHAR *directory)
{
    DWORD length = GetCurrentDirectoryW(PATH_BUFFER, directory);
    return length != 0 && length < PATH_BUFFER;
}

int RememberCurrentDirectory(char *saved)
{
    WCHAR wide[PATH_BUFFER];
    if (GetCurrentDirectoryWide(wide) && WidePathToAnsi(wide, saved, PATH_BUFFER))
        return 1;
    saved[0] = '\0';
    return 0;
}

void ReportFolderNotHeld(const WCHAR *folder, const char *consequence)
{
    WCHAR message[2 * PATH_BUFFER];
    if (FormatWideText(message, sizeof message / sizeof message[0],
                       L"This folder's name has characters that the launcher cannot use on this system, "
                       L"and the folder has no short name:\n%ls\n\n%hs",
                       folder, consequence))
        ReportWideError(message, "ERROR", MB_OK | MB_ICONEXCLAMATION, MainDialog);
}

void ReportCurrentDirectoryNotHeld(const char *consequence)
{
    WCHAR wide[PATH_BUFFER], module[PATH_BUFFER];
    char ansi[PATH_BUFFER];
    if (!GetCurrentDirectoryWide(wide) || WidePathToAnsi(wide, ansi, sizeof ansi))
        return;
    // Only a launcher that runs from that directory has a copy there.
    DWORD length = GetModuleFileNameW(NULL, module, PATH_BUFFER);
    WCHAR *name = length > 0 && length < PATH_BUFFER ? wcsrchr(module, L'\\') : NULL;
    if (name == NULL)
        return;
    *name = L'\0';
    if (lstrcmpiW(module, wide) == 0)
        ReportFolderNotHeld(wide, consequence);
}
