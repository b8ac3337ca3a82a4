// What the launcher and every program on the compilation's discs set first
// thing in WinMain, before anything can load a DLL or look at a drive, and
// the rights the process holds.
#ifndef DSAGA_PROCESS_GUARDS_H
#define DSAGA_PROCESS_GUARDS_H

#include <windows.h>

// Only the system directory: never the program's own directory or the
// current one, which may be the user's TEMP, where any program of the user
// can put a DLL of a name the system loads on demand.
void RestrictDllSearch(void);

// A look at a removable drive without a medium fails with an error the
// program reports in its own words, instead of the system's own box.
void FailCriticalErrorsQuietly(void);

// Whether the process holds the Administrators group (elevated, or an
// administrator on a system that does not split the rights); one that
// cannot tell says yes, so that nothing is lent the rights by mistake.
int HoldsAdministratorsGroup(void);
// The Administrators group's SID, for FreeSid; null when it cannot be made.
PSID AllocateAdministratorsSid(void);

#endif
