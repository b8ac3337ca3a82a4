// Links met while deleting, shared by the launcher and the programs on the
// discs. A junction or a symbolic link may lead anywhere (a user's cloud
// folder, another drive), and these programs run with administrator rights:
// what they delete never goes through one. A link is never entered, nothing
// is deleted through it, its attributes stay as they are, and the link
// itself stays too (under Wine, removing a link to an empty directory
// removes that directory instead).
#ifndef DSAGA_LINKS_H
#define DSAGA_LINKS_H

#include <windows.h>

// What a message about what was left says before the link it names.
#define LINK_KEPT_TEXT "A link stays where it is, and nothing it leads to was touched:"

// Whether attributes a listing gave mark a link.
int IsLinkEntry(DWORD attributes);
// Whether the path (ending in a backslash or not) is itself a link. A path
// too long to be looked at counts as one: nothing is done through it.
int IsLink(const char *path);
int IsWideLink(const WCHAR *path);
// RemoveDirectory unless the directory is a link; 0 when it stays.
int RemoveDirectoryUnlessLink(const char *path);
int RemoveWideDirectoryUnlessLink(const WCHAR *path);
// DeleteFile, a read-only file made writable first, unless the file is a
// link; 0 when it stays.
int DeleteFileUnlessLink(const char *path);
int DeleteWideFileUnlessLink(const WCHAR *path);

#endif
