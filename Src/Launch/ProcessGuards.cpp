// The process-wide guards of the launcher and of the disc's programs.
#include "ProcessGuards.h"

#include <windows.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

void RestrictDllSearch(void)
{
    // Looked up, not imported: a system without it (before the update of
    // Windows 7 that brought it) must still start the program.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesProc setDefault =
        kernel != NULL ? (SetDefaultDllDirectoriesProc)(void (*)(void))GetProcAddress(kernel, "SetDefaultDllDirectories")
                       : NULL;
    if (setDefault != NULL)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Where that call is missing, this at least takes the current directory
    // out of the search.
    SetDllDirectoryA("");
}

void FailCriticalErrorsQuietly(void)
{
    UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS);
    SetErrorMode(mode | SEM_FAILCRITICALERRORS);
}

PSID AllocateAdministratorsSid(void)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID administrators = NULL;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return NULL;
    return administrators;
}

int HoldsAdministratorsGroup(void)
{
    PSID administrators = AllocateAdministratorsSid();
    if (administrators == NULL)
        return 1;
    BOOL member = FALSE;
    BOOL known = CheckTokenMembership(NULL, administrators, &member);
    FreeSid(administrators);
    return !known || member;
}
