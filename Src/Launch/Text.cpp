// Bounded text helpers: every 8-bit path and message of the launcher and of
// the disc's programs is built through these (a UTF-16 one through
// FormatWideText), so nothing is ever written past a buffer or cut short
// without the caller knowing.
#include "Text.h"

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
