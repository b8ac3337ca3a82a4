// Bounded text helpers: every path and message of the launcher is built
// through these, so nothing is ever written past a buffer or cut short
// without the caller knowing.
#include "Launcher.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int FormatTextList(char *buffer, size_t capacity, const char *format, va_list arguments)
{
    if (capacity == 0)
        return 0;
    int length = vsnprintf(buffer, capacity, format, arguments);
    if (length < 0 || (size_t)length >= capacity) {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
}

int FormatText(char *buffer, size_t capacity, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int fitted = FormatTextList(buffer, capacity, format, arguments);
    va_end(arguments);
    return fitted;
}

int CopyText(char *buffer, size_t capacity, const char *text)
{
    return FormatText(buffer, capacity, "%s", text);
}

int AppendText(char *buffer, size_t capacity, const char *text)
{
    size_t used = strlen(buffer);
    size_t extra = strlen(text);
    if (used + extra >= capacity)
        return 0;  // the buffer keeps what it held
    memcpy(buffer + used, text, extra + 1);
    return 1;
}

void ReportTooLong(const char *start)
{
    char message[PATH_BUFFER];
    // Only the beginning of the offending text is shown; the point is which path it was.
    FormatText(message, sizeof message,
               "This path is too long for the launcher:\n%.200s...\n\nPlease choose a shorter install directory.",
               start);
    ReportError(message, "ERROR", MB_OK, MainDialog);
}

int FileExists(const char *path)
{
    // No "insert a disk" prompt from the system for an empty drive.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    SetErrorMode(oldMode);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    return 1;
}

int QueryDriveSpace(char drive, ULONGLONG *available, ULONGLONG *total)
{
    char root[] = "C:\\";
    root[0] = drive;
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
    return directory[length - 1] == '\\' || AppendText(directory, PATH_BUFFER, "\\");
}

int BuildCdPath(char *buffer, size_t capacity, const char *templatePath)
{
    if (!CopyText(buffer, capacity, templatePath))
        return 0;
    buffer[0] = LauncherState.InstalledFrom[0];
    return 1;
}
