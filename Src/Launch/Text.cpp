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
    // Only the beginning of the offending text is shown, in whole
    // characters; the point is which path it was.
    FormatText(message, sizeof message,
               "This path is too long for the launcher:\n%.*s...\n\nPlease choose a shorter install directory.",
               (int)WholeCharacterLength(start, 200), start);
    ReportError(message, "ERROR", MB_OK, MainDialog);
}
