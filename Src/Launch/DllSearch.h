// Where the system looks for the DLLs a program loads by name after it has
// started. Shared by the launcher and the programs on the compilation's
// discs, each of which calls it first thing in WinMain.
#ifndef DSAGA_DLL_SEARCH_H
#define DSAGA_DLL_SEARCH_H

// Only the system directory: never the program's own directory or the
// current one, which may be the user's TEMP, where any program of the user
// can put a DLL of a name the system loads on demand.
void RestrictDllSearch(void);

#endif
