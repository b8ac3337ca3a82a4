// The disc's initialiser. Without an argument it starts the compilation:
// the launcher refuses to run from a CD-ROM drive, so it is copied into a
// new directory of its own under the temporary directory and started
// there. With "InstallDirectXOnly" it runs the graphics runtime setup and
// hands back its exit code (non-zero: the machine must be restarted).
#include "CdProgram.h"

#include <sddl.h>
#include <winternl.h>

#include <string.h>

static const char CAPTION[] = "The Draxmoor Saga";

// The drive letter of this program's own disc, or 0.
static char OwnDrive()
{
    char module[CD_PATH_BUFFER];
    DWORD length = GetModuleFileNameA(NULL, module, (DWORD)sizeof module);
    if (length < 2 || length >= sizeof module || module[1] != ':')
        return 0;
    return module[0];
}

static int ReportPathTooLong()
{
    ShowProgramMessage("A path on this computer is too long for the disc's start program.", CAPTION,
                       MB_OK | MB_ICONERROR);
    return 1;
}

// A message naming a path of the temporary directory, with the system's error.
static int ReportTemporaryFailure(const WCHAR *what, const WCHAR *path)
{
    WCHAR message[3 * CD_PATH_BUFFER];
    FormatWideText(message, sizeof message / sizeof message[0], L"%ls\n%ls\n(error %lu).", what, path,
                   (unsigned long)GetLastError());
    ShowProgramMessageWide(message, CAPTION, MB_OK | MB_ICONERROR);
    return 1;
}

// The temporary directory, ending in a backslash. Everything here is in
// UTF-16: a user's name often has characters the code page lacks, and the
// 8-bit calls would give a '?' for each.
static int FindTemporaryDirectory(WCHAR *temp)
{
    DWORD length = GetTempPathW(CD_PATH_BUFFER, temp);
    if (length == 0 || length >= CD_PATH_BUFFER) {
        ShowProgramMessage("The temporary directory of this computer could not be found.", CAPTION,
                           MB_OK | MB_ICONERROR);
        return 0;
    }
    if (temp[length - 1] != L'\\' && !FormatWideText(temp + length, CD_PATH_BUFFER - length, L"\\")) {
        ReportPathTooLong();
        return 0;
    }
    return 1;
}

// What an attempt to make one directory came to.
enum DirectoryMade { DIRECTORY_MADE, DIRECTORY_EXISTS, DIRECTORY_FAILED };

// Makes a directory and opens it in one step, with the given security. TEMP
// is the user's, and a program of the user could rename a directory made
// and opened in two steps and put its own (holding its own DSaga.exe) in
// its place between them. Held open without sharing its deletion, it can
// be neither renamed nor removed until `held` is closed.
static DirectoryMade MakeHeldDirectory(const WCHAR *directory, PSECURITY_DESCRIPTOR security, HANDLE *held)
{
    typedef NTSTATUS(NTAPI * CreateProc)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                         ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
    typedef BOOLEAN(NTAPI * NameProc)(PCWSTR, PUNICODE_STRING, PCWSTR *, PVOID);
    typedef VOID(NTAPI * FreeNameProc)(PUNICODE_STRING);
    typedef ULONG(NTAPI * ErrorProc)(NTSTATUS);
    const NTSTATUS NAME_COLLISION = (NTSTATUS)0xC0000035L;
    // Looked up: the native calls are not in every toolchain's import libraries.
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    CreateProc create = (CreateProc)(void (*)(void))GetProcAddress(ntdll, "NtCreateFile");
    NameProc nativeName = (NameProc)(void (*)(void))GetProcAddress(ntdll, "RtlDosPathNameToNtPathName_U");
    FreeNameProc freeName = (FreeNameProc)(void (*)(void))GetProcAddress(ntdll, "RtlFreeUnicodeString");
    ErrorProc toError = (ErrorProc)(void (*)(void))GetProcAddress(ntdll, "RtlNtStatusToDosError");
    WCHAR path[CD_PATH_BUFFER];
    UNICODE_STRING name;
    if (create == NULL || nativeName == NULL || freeName == NULL || toError == NULL) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return DIRECTORY_FAILED;
    }
    // The native name of a directory to create has no closing backslash.
    size_t length = FormatWideText(path, CD_PATH_BUFFER, L"%ls", directory) ? wcslen(path) : 0;
    if (length > 0 && path[length - 1] == L'\\')
        path[length - 1] = L'\0';
    if (length == 0 || !nativeName(path, &name, NULL, NULL)) {
        SetLastError(ERROR_INVALID_NAME);
        return DIRECTORY_FAILED;
    }
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, NULL, security);
    IO_STATUS_BLOCK io;
    NTSTATUS status = create(held, FILE_LIST_DIRECTORY | SYNCHRONIZE, &attributes, &io, NULL, FILE_ATTRIBUTE_NORMAL,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                             FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
    freeName(&name);
    if (status >= 0)
        return DIRECTORY_MADE;
    if (status == NAME_COLLISION)
        return DIRECTORY_EXISTS;
    SetLastError(toError(status));
    return DIRECTORY_FAILED;
}

// A directory of a new name under the temporary directory (ending in a
// backslash), made with the given security and held.
static int MakeDirectoryIn(const WCHAR *temp, WCHAR *directory, PSECURITY_DESCRIPTOR security, HANDLE *held)
{
    DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (DWORD attempt = 0; attempt < 64; ++attempt) {
        if (!FormatWideText(directory, CD_PATH_BUFFER, L"%ls%ls%08lX\\", temp, LAUNCHER_DIRECTORY_PREFIX,
                            (unsigned long)(seed + attempt * 7919u))) {
            ReportPathTooLong();
            return 0;
        }
        switch (MakeHeldDirectory(directory, security, held)) {
        case DIRECTORY_MADE:
            return 1;
        case DIRECTORY_FAILED:
            ReportTemporaryFailure(L"A directory for The Draxmoor Saga could not be made in", temp);
            return 0;
        case DIRECTORY_EXISTS:
            break;
        }
    }
    ReportTemporaryFailure(L"No new directory for The Draxmoor Saga could be made in", temp);
    return 0;
}

// The launcher runs with administrator rights, and any program of the user
// can write into the temporary directory: a library or program planted
// there must never sit beside it. So its copy goes into a directory of its
// own, made new for this start (ending in a backslash), which only the
// system and administrators may write: this program runs with their rights.
static int MakeFreshDirectory(const WCHAR *temp, WCHAR *directory, HANDLE *held)
{
    PSECURITY_DESCRIPTOR security = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", SDDL_REVISION_1, &security, NULL)) {
        ReportTemporaryFailure(L"A protected directory could not be described for", temp);
        return 0;
    }
    int made = MakeDirectoryIn(temp, directory, security, held);
    LocalFree(security);
    return made;
}

// A launcher that never reached its clean-up (a second copy refused, the
// disc prompt at exit cancelled) left its directory: such copies go now. One
// whose launcher still runs cannot be deleted and stays, as does a directory
// holding anything else.
static void RemoveEarlierCopies(const WCHAR *temp)
{
    WCHAR pattern[CD_PATH_BUFFER], copy[CD_PATH_BUFFER];
    WIN32_FIND_DATAW entry;
    if (!FormatWideText(pattern, CD_PATH_BUFFER, L"%ls%ls*", temp, LAUNCHER_DIRECTORY_PREFIX))
        return;
    HANDLE listing = FindFirstFileW(pattern, &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return;
    do {
        // Any program of the user can put a link of such a name there, and
        // this program runs with administrator rights: a link stays, and
        // nothing it leads to is touched.
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || IsLinkEntry(entry.dwFileAttributes)
            || !FormatWideText(copy, CD_PATH_BUFFER, L"%ls%ls\\DSaga.exe", temp, entry.cFileName))
            continue;
        DeleteWideFileUnlessLink(copy);
        *wcsrchr(copy, L'\\') = L'\0';
        RemoveWideDirectoryUnlessLink(copy);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
}

// Copies the launcher into the held directory and starts it there.
static int CopyAndStartLauncher(char drive, WCHAR *directory)
{
    WCHAR source[CD_PATH_BUFFER], target[CD_PATH_BUFFER], commandLine[CD_PATH_BUFFER];
    if (!FormatWideText(source, CD_PATH_BUFFER, L"%hc:\\Install\\SWDSaga.exe", drive) ||
        !FormatWideText(target, CD_PATH_BUFFER, L"%lsDSaga.exe", directory) ||
        !FormatWideText(commandLine, CD_PATH_BUFFER, L"\"%ls\"", target))
        return ReportPathTooLong();
    WaitForRelease("DSINIT_COPY");

    if (!CopyFileW(source, target, TRUE))
        return ReportTemporaryFailure(L"The Draxmoor Saga could not be copied from the disc to", target);
    SetFileAttributesW(target, FILE_ATTRIBUTE_NORMAL);  // the disc's read-only bit

    // The working directory without its trailing backslash, as a shell gives it.
    directory[wcslen(directory) - 1] = L'\0';
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(target, commandLine, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL, directory, &startup,
                        &process))
        return ReportTemporaryFailure(L"The Draxmoor Saga could not be started:", target);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

static int StartLauncherFromTemp(char drive)
{
    WCHAR temp[CD_PATH_BUFFER], directory[CD_PATH_BUFFER];
    if (!FindTemporaryDirectory(temp))
        return 1;
    RemoveEarlierCopies(temp);
    HANDLE held;
    if (!MakeFreshDirectory(temp, directory, &held))
        return 1;
    int code = CopyAndStartLauncher(drive, directory);
    CloseHandle(held);
    if (code != 0)  // nothing started from it: it goes, once empty
        RemoveWideDirectoryUnlessLink(directory);
    return code;
}

static int RunGraphicsSetup(char drive)
{
    char program[CD_PATH_BUFFER];
    char workDir[CD_PATH_BUFFER];
    char commandLine[CD_PATH_BUFFER];
    if (!FormatText(program, sizeof program, "%c:\\DXSetup\\swdsl.exe", drive) ||
        !FormatText(workDir, sizeof workDir, "%c:\\DXSetup\\", drive) ||
        !FormatText(commandLine, sizeof commandLine, "\"%s\"", program))
        return 0;

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(program, commandLine, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL, workDir,
                        &startup, &process)) {
        char message[2 * CD_PATH_BUFFER];
        FormatText(message, sizeof message,
                   "The graphics runtime setup could not be started:\n%s\n(error %lu).", program,
                   (unsigned long)GetLastError());
        ShowProgramMessage(message, CAPTION, MB_OK | MB_ICONERROR);
        // Nothing was installed, so no restart is needed.
        return 0;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.hProcess, &exitCode))
        exitCode = 0;
    CloseHandle(process.hProcess);
    return (int)exitCode;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    FailCriticalErrorsQuietly();
    RecordRun("");

    char argument[CD_PATH_BUFFER];
    if (!GetCommandTail(argument, sizeof argument))
        argument[0] = '\0';
    char drive = OwnDrive();
    int code = 1;
    if (drive == 0) {
        ShowProgramMessage("Please start this program from a Draxmoor Saga disc.", CAPTION,
                           MB_OK | MB_ICONERROR);
    } else if (argument[0] == '\0') {
        code = StartLauncherFromTemp(drive);
    } else if (lstrcmpiA(argument, "InstallDirectXOnly") == 0) {
        code = RunGraphicsSetup(drive);
    } else {
        char message[2 * CD_PATH_BUFFER];
        FormatText(message, sizeof message, "Unknown option: %.*s", (int)WholeCharacterLength(argument, 900),
                   argument);
        ShowProgramMessage(message, CAPTION, MB_OK | MB_ICONERROR);
    }
    return FinishRun("DSINIT", code);
}
