// The user's own rights for the programs the user runs from the launcher.
// The launcher holds administrator rights for its own work; a game in a
// directory every user can write (C:\Games, an external FAT32 disk) must
// not be run with them, or any program of any user could replace it and
// gain them at the next Play.
#include "Launcher.h"
#include "ProcessGuards.h"

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

// The child gets the environment of the token's user (the signed-in
// user's TEMP and profile), not the launcher's, which may be another
// account's when the user gave an administrator's name to elevate it.
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
    return CreateProcessWithTokenW(token, 0, program, line, flags, NULL, directory, &startup, child);
}

static int LowerToMediumIntegrity(HANDLE token)
{
    SID_IDENTIFIER_AUTHORITY mandatory = {SECURITY_MANDATORY_LABEL_AUTHORITY};
    PSID medium = NULL;
    if (!AllocateAndInitializeSid(&mandatory, 1, SECURITY_MANDATORY_MEDIUM_RID, 0, 0, 0, 0, 0, 0, 0, &medium))
        return 0;
    TOKEN_MANDATORY_LABEL label;
    label.Label.Sid = medium;
    label.Label.Attributes = SE_GROUP_INTEGRITY;
    BOOL lowered = SetTokenInformation(token, TokenIntegrityLevel, &label, sizeof label + GetLengthSid(medium));
    FreeSid(medium);
    return lowered;
}

// What the child makes (its own process object, a game's named mutex)
// belongs to the user and is open to the user and the system, as a
// standard user's is: an elevated token gives it to Administrators, which
// the restricted token only denies, so the child could not open its own.
static int GiveObjectsToUser(HANDLE token)
{
    DWORD userBuffer[(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) / sizeof(DWORD) + 1];
    DWORD listBuffer[128];
    DWORD length;
    if (!GetTokenInformation(token, TokenUser, userBuffer, sizeof userBuffer, &length))
        return 0;
    PSID user = ((TOKEN_USER *)userBuffer)->User.Sid;
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID system = NULL;
    if (!AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system))
        return 0;
    PACL list = (PACL)listBuffer;
    TOKEN_DEFAULT_DACL defaults = {list};
    int given = InitializeAcl(list, sizeof listBuffer, ACL_REVISION)
             && AddAccessAllowedAce(list, ACL_REVISION, GENERIC_ALL, user)
             && AddAccessAllowedAce(list, ACL_REVISION, GENERIC_ALL, system)
             && SetTokenInformation(token, TokenDefaultDacl, &defaults, sizeof defaults);
    FreeSid(system);
    // The user is named owner too where the system allows it (Wine does
    // not); the open list above is what the child needs.
    TOKEN_OWNER owner = {user};
    if (given)
        SetTokenInformation(token, TokenOwner, &owner, sizeof owner);
    return given;
}

// A copy of the launcher's own token in which the Administrators group only
// denies, with no privilege but change-notify, at medium integrity; null
// when it cannot be made whole.
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
    if (restricted != NULL && (!LowerToMediumIntegrity(restricted) || !GiveObjectsToUser(restricted))) {
        DWORD error = GetLastError();
        CloseHandle(restricted);
        SetLastError(error);
        restricted = NULL;
    }
    return restricted;
}

int StartWithUserRights(const char *workingDirectory, const char *programPath, char *command, DWORD flags,
                        PROCESS_INFORMATION *child)
{
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
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    BOOL started = CreateProcessAsUserA(token, programPath, command, NULL, NULL, FALSE, flags, NULL,
                                        workingDirectory, &startup, child);
    DWORD error = GetLastError();
    CloseHandle(token);
    SetLastError(error);
    return started;
}
