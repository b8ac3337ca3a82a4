// Path walking by characters of the ANSI code page, the ANSI form of a path
// the system gives in UTF-16, and the wide messages that name such paths.
#include "Paths.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

char *FindBackslash(char *from)
{
    for (char *at = from; *at != '\0'; at = CharNextA(at))
        if (*at == '\\')
            return at;
    return NULL;
}

char *FindLastBackslash(char *path)
{
    char *last = NULL;
    for (char *at = FindBackslash(path); at != NULL; at = FindBackslash(at + 1))
        last = at;
    return last;
}

const char *FindLastBackslash(const char *path)
{
    return FindLastBackslash(const_cast<char *>(path));
}

// Cuts a path at its last backslash; 0 when it has none.
int CutAtLastBackslash(char *path)
{
    char *last = FindLastBackslash(path);
    if (last == NULL)
        return 0;
    *last = '\0';
    return 1;
}

// Cuts "...\parent\last" back to "...\parent\"; 0 when there is no
// backslash before the last one, which leaves the path cut at the last.
int CutToParent(char *path)
{
    if (!CutAtLastBackslash(path))
        return 0;
    char *previous = FindLastBackslash(path);
    if (previous == NULL)
        return 0;
    previous[1] = '\0';
    return 1;
}

// Just after the `count`-th backslash from `from`; null when there are fewer.
static char *SkipBackslashes(char *from, int count)
{
    char *at = from;
    for (int i = 0; i < count && at != NULL; i++) {
        at = FindBackslash(at);
        if (at != NULL)
            at++;
    }
    return at;
}

char *SkipPathRoot(char *path)
{
    if (path[0] != '\\' || path[1] != '\\')
        return SkipBackslashes(path, 1);
    char *rest = path + 2;
    if ((rest[0] == '?' || rest[0] == '.') && rest[1] == '\\') {
        rest += 2;
        if (_strnicmp(rest, "UNC\\", 4) != 0)
            return SkipBackslashes(rest, 1);
        rest += 4;
    }
    return SkipBackslashes(rest, 2);
}

int EndsInBackslash(const char *path)
{
    const char *last = FindLastBackslash(path);
    return last != NULL && last[1] == '\0';
}

int AppendBackslash(char *path, size_t capacity)
{
    if (EndsInBackslash(path))
        return 1;
    size_t length = strlen(path);
    if (length + 2 > capacity)
        return 0;
    path[length] = '\\';
    path[length + 1] = '\0';
    return 1;
}

size_t WholeCharacterLength(const char *text, size_t limit)
{
    const char *end = text;
    while (*end != '\0') {
        const char *next = CharNextA(end);
        if ((size_t)(next - text) > limit)
            break;
        end = next;
    }
    return (size_t)(end - text);
}

#ifndef WC_ERR_INVALID_CHARS
#define WC_ERR_INVALID_CHARS 0x80
#endif

// Exactly: no character replaced by the default one, none by a look-alike.
// UTF-8, which a system may take as its code page, writes every character
// and refuses both the flag and the question; only a broken one fails it.
static int ConvertExactly(const WCHAR *wide, char *path, size_t capacity)
{
    BOOL replaced = FALSE;
    int utf8 = GetACP() == CP_UTF8;
    int length = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, wide, -1, path,
                                     (int)capacity, NULL, utf8 ? NULL : &replaced);
    if (length > 0 && !replaced)
        return 1;
    path[0] = '\0';
    return 0;
}

int WidePathToAnsi(const WCHAR *wide, char *path, size_t capacity)
{
    if (capacity == 0)
        return 0;
    if (ConvertExactly(wide, path, capacity))
        return 1;
    WCHAR shortForm[1024];
    DWORD length = GetShortPathNameW(wide, shortForm, sizeof shortForm / sizeof shortForm[0]);
    return length > 0 && length < sizeof shortForm / sizeof shortForm[0] && ConvertExactly(shortForm, path, capacity);
}

int AnsiToWide(const char *text, WCHAR *buffer, size_t capacity)
{
    if (capacity == 0)
        return 0;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, (int)capacity) > 0)
        return 1;
    buffer[0] = L'\0';
    return 0;
}

int FormatWideText(WCHAR *buffer, size_t capacity, const WCHAR *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = capacity > 0 ? _vsnwprintf(buffer, capacity, format, arguments) : -1;
    va_end(arguments);
    int fitted = length >= 0 && (size_t)length < capacity;
    if (!fitted && capacity > 0)
        buffer[0] = L'\0';  // _vsnwprintf leaves a text that did not fit unterminated
    return fitted;
}
