// Bounded text, shared by the launcher and the programs on the discs. Each
// returns 1 when the whole result fitted and 0 when it did not; a result
// that does not fit leaves the buffer empty, so a shortened path can never
// be used by mistake.
#ifndef DSAGA_TEXT_H
#define DSAGA_TEXT_H

#include <stdarg.h>
#include <stddef.h>

// A procedure that takes a format passes it on with the compiler's check of
// the format against its arguments.
#if defined(__GNUC__)
#define CHECKED_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define CHECKED_FORMAT(formatIndex, firstArgument)
#endif

int FormatText(char *buffer, size_t capacity, const char *format, ...) CHECKED_FORMAT(3, 4);
int FormatTextList(char *buffer, size_t capacity, const char *format, va_list arguments) CHECKED_FORMAT(3, 0);
int CopyText(char *buffer, size_t capacity, const char *text);
// Adds the text at the end; when it does not fit, the buffer keeps what it held.
int AppendText(char *buffer, size_t capacity, const char *text);

#endif
