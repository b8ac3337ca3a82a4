// Links met while deleting: every deletion of the launcher and of the disc's
// programs asks these first; all but the status-area loop, which judges a
// file by its listing, also delete through them.
#include "Links.h"

#include "Paths.h"

#include <string.h>

// Every path of these programs fits a buffer of 1024 bytes of the code
// page, and so this many UTF-16 units.
enum { LINK_PATH_UNITS = 1024 };

int IsLinkEntry(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The attributes of the entry the path names. Asked with a trailing
// backslash, the system answers for what a link leads to, so the path is
// asked without one (a drive's root keeps its own). 0 when it is too long.
static int GetEntryAttributes(const WCHAR *path, DWORD *attributes)
{
    WCHAR bare[LINK_PATH_UNITS];
    size_t length = wcslen(path);
    if (length >= LINK_PATH_UNITS)
        return 0;
    memcpy(bare, path, (length + 1) * sizeof bare[0]);
    while (length > 3 && bare[length - 1] == L'\\')
        bare[--length] = L'\0';
    *attributes = GetFileAttributesW(bare);
    return 1;
}

int IsWideLink(const WCHAR *path)
{
    DWORD attributes;
    return !GetEntryAttributes(path, &attributes) || IsLinkEntry(attributes);
}

int IsLink(const char *path)
{
    WCHAR wide[LINK_PATH_UNITS];
    return !AnsiToWide(path, wide, LINK_PATH_UNITS) || IsWideLink(wide);
}

int RemoveWideDirectoryUnlessLink(const WCHAR *path)
{
    return !IsWideLink(path) && RemoveDirectoryW(path);
}

int RemoveDirectoryUnlessLink(const char *path)
{
    WCHAR wide[LINK_PATH_UNITS];
    return AnsiToWide(path, wide, LINK_PATH_UNITS) && RemoveWideDirectoryUnlessLink(wide);
}

int DeleteWideFileUnlessLink(const WCHAR *path)
{
    DWORD attributes;
    if (!GetEntryAttributes(path, &attributes) || attributes == INVALID_FILE_ATTRIBUTES || IsLinkEntry(attributes))
        return 0;
    // The system refuses to delete a read-only file; its other attributes do not matter.
    DWORD writable = attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY;
    if (writable != attributes)
        SetFileAttributesW(path, writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path);
}

int DeleteFileUnlessLink(const char *path)
{
    WCHAR wide[LINK_PATH_UNITS];
    return AnsiToWide(path, wide, LINK_PATH_UNITS) && DeleteWideFileUnlessLink(wide);
}
