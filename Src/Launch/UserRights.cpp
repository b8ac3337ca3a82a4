// The user's own rights for the programs the user runs from the launcher.
// The launcher holds administrator rights for its own work; a game in a
// directory every user can write (C:\Games, an external FAT32 disk) must
// not be run with them, or any program of any user could replace it and
// gain them at the next Play.
#include "Launcher.h"

// The Administrators group's SID, for FreeSid; null when it cannot be made.
static PSID AllocateAdministratorsSid(void)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID administrators = NULL;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return NULL;
    return administrators;
}

// Whether this process holds the Administrators group (elevated, or an
// administrator on a system that does not split the rights).
static int HoldsAdministratorRights(void)
{
    PSID administrators = AllocateAdministratorsSid();
    if (administrators == NULL)
        return 1;  // cannot tell: treated as elevated, so nothing runs with rights by mistake
    BOOL member = FALSE;
    int known = CheckTokenMembership(NULL, administrators, &member);
    FreeSid(administrators);
    return !known || member;
}

// A primary token of the desktop shell's process, when the shell runs in
// this session: the signed-in user's own token. Null otherwise.
static HANDLE DuplicateShellToken(void)
{
    HWND shell = GetShellWindow();
    DWORD shellProcess = 0, shellSession, ownSession;
    if (shell == NULL || GetWindowThreadProcessId(shell, &shellProcess) == 0 || shellProcess == 0
        || !ProcessIdToSessionId(shellProcess, &shellSession)
        || !ProcessIdToSessionId(GetCurrentProcessId(), &ownSession) || shellSession != ownSession)
        return NULL;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellProcess);
    if (process == NULL)
        return NULL;
    HANDLE token = NULL, primary = NULL;
    if (OpenProcessToken(process, TOKEN_DUPLICATE, &token)) {
        const DWORD access = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT
                           | TOKEN_ADJUST_SESSIONID;
        if (!DuplicateTokenEx(token, access, NULL, SecurityImpersonation, TokenPrimary, &primary))
            primary = NULL;
        CloseHandle(token);
    }
    CloseHandle(process);
    return primary;
}

// The system takes the token's own environment for the child unless told;
// the launcher's is what every child gets.
static int StartWithShellToken(HANDLE token, const char *workingDirectory, const char *programPath,
                               const char *command, DWORD flags, PROCESS_INFORMATION *child)
{
    WCHAR program[PATH_BUFFER], line[PATH_BUFFER], directory[PATH_BUFFER];
    if (!AnsiToWide(programPath, program, PATH_BUFFER) || !AnsiToWide(command, line, PATH_BUFFER)
        || !AnsiToWide(workingDirectory, directory, PATH_BUFFER))
        return 0;
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    LPWCH environment = GetEnvironmentStringsW();
    BOOL started = CreateProcessWithTokenW(token, 0, program, line, flags | CREATE_UNICODE_ENVIRONMENT, environment,
                                           directory, &startup, child);
    if (environment != NULL)
        FreeEnvironmentStringsW(environment);
    return started;
}

// Lowers a token to medium integrity. Systems before integrity levels
// refuse the request, and there the token's lost group is what counts.
static void LowerToMediumIntegrity(HANDLE token)
{
    SID_IDENTIFIER_AUTHORITY mandatory = {SECURITY_MANDATORY_LABEL_AUTHORITY};
    PSID medium = NULL;
    if (!AllocateAndInitializeSid(&mandatory, 1, SECURITY_MANDATORY_MEDIUM_RID, 0, 0, 0, 0, 0, 0, 0, &medium))
        return;
    TOKEN_MANDATORY_LABEL label;
    label.Label.Sid = medium;
    label.Label.Attributes = SE_GROUP_INTEGRITY;
    SetTokenInformation(token, TokenIntegrityLevel, &label, sizeof label + GetLengthSid(medium));
    FreeSid(medium);
}

// A copy of the launcher's own token in which the Administrators group only
// denies, with no privilege but change-notify; null when it cannot be made.
static HANDLE MakeRestrictedToken(void)
{
    HANDLE own = NULL, restricted = NULL;
    const DWORD access = TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT;
    if (!OpenProcessToken(GetCurrentProcess(), access, &own))
        return NULL;
    SID_AND_ATTRIBUTES administrators = {AllocateAdministratorsSid(), 0};
    if (administrators.Sid != NULL) {
        if (!CreateRestrictedToken(own, DISABLE_MAX_PRIVILEGE, 1, &administrators, 0, NULL, 0, NULL, &restricted))
            restricted = NULL;
        FreeSid(administrators.Sid);
    }
    CloseHandle(own);
    if (restricted != NULL)
        LowerToMediumIntegrity(restricted);
    return restricted;
}

int StartWithUserRights(const char *workingDirectory, const char *programPath, char *command, DWORD flags,
                        PROCESS_INFORMATION *child)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!HoldsAdministratorRights())
        return CreateProcessA(programPath, command, NULL, NULL, FALSE, flags, NULL, workingDirectory, &startup, child);

    HANDLE token = DuplicateShellToken();
    if (token != NULL) {
        int started = StartWithShellToken(token, workingDirectory, programPath, command, flags, child);
        CloseHandle(token);
        if (started)
            return 1;
    }
    token = MakeRestrictedToken();
    if (token == NULL)
        return 0;  // never with the launcher's rights instead
    BOOL started = CreateProcessAsUserA(token, programPath, command, NULL, NULL, FALSE, flags, NULL,
                                        workingDirectory, &startup, child);
    DWORD error = GetLastError();
    CloseHandle(token);
    SetLastError(error);
    return started;
}
