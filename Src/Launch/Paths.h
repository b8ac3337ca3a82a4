// Paths as strings of characters in the ANSI code page, shared by the
// launcher and the programs on the discs. In double-byte code pages (932,
// 936, 949, 950) the second byte of many characters is the backslash's
// byte, so every search for a separator here steps by characters as the
// system does; a path is never searched byte by byte. Lengths and
// capacities stay in bytes, as the buffers are.
#ifndef DSAGA_PATHS_H
#define DSAGA_PATHS_H

#include <windows.h>
#include <stddef.h>

// The first backslash at or after `from`, which must be where a character
// begins (the start of a path, or just after a backslash); null when none.
char *FindBackslash(char *from);
// The path's last backslash, or null.
char *FindLastBackslash(char *path);
const char *FindLastBackslash(const char *path);
// Cuts a path at its last backslash; 0 when it has none.
int CutAtLastBackslash(char *path);
// Cuts "...\parent\last" back to "...\parent\"; 0 when there is no
// backslash before the last one, which leaves the path cut at the last.
int CutToParent(char *path);
// Where a path's directories begin, just after its root: "C:\", a share's
// "\\server\share\", or either in the long form ("\\?\C:\",
// "\\?\UNC\server\share\"). A share's server and name are no directories
// anyone could create. A path with none of these roots begins after its
// first backslash; null when the root takes the whole path.
char *SkipPathRoot(char *path);
// Whether the last character (not merely the last byte) is a backslash.
int EndsInBackslash(const char *path);
// Adds a backslash unless the path ends in one; 0 when it does not fit, and
// the path keeps what it held.
int AppendBackslash(char *path, size_t capacity);
// The length of the longest beginning of `text`, at most `limit` bytes,
// that ends where a character ends: a cut there never halves a character.
size_t WholeCharacterLength(const char *text, size_t limit);

// A path the system gives in UTF-16 (a directory, a file, a registry
// value), written in the ANSI code page: as it is when every character has
// an exact counterpart, else as its short 8.3 form, which is plain ASCII.
// A best-fit look-alike (a "L" for a "Ł") would name another file, so
// none is ever taken. 0 when neither form can be written or it does not
// fit: the buffer is then empty.
int WidePathToAnsi(const WCHAR *wide, char *path, size_t capacity);

// A text of the code page in UTF-16; 0, and an empty buffer, when it does
// not fit.
int AnsiToWide(const char *text, WCHAR *buffer, size_t capacity);

// Bounded formatting of a message in UTF-16 that names such a path ("%ls"
// a wide string, "%hs" an 8-bit one); 0, and an empty buffer, when it does
// not fit.
int FormatWideText(WCHAR *buffer, size_t capacity, const WCHAR *format, ...);

#endif
