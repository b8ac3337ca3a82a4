// The disc's initialiser. Without an argument it starts the compilation:
// the launcher refuses to run from a CD-ROM drive, so it is copied to the
// temporary directory first and started there. With "InstallDirectXOnly"
// it runs the graphics runtime setup and hands back its exit code
// (non-zero: the machine must be restarted).
#include "CdProgram.h"

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

static int StartLauncherFromTemp(char drive)
{
    char source[CD_PATH_BUFFER];
    char tempDir[CD_PATH_BUFFER];
    char target[CD_PATH_BUFFER];
    char commandLine[CD_PATH_BUFFER];
    DWORD tempLength = GetTempPathA((DWORD)sizeof tempDir, tempDir);
    if (tempLength == 0 || tempLength >= sizeof tempDir) {
        ShowProgramMessage("The temporary directory of this computer could not be found.", CAPTION,
                           MB_OK | MB_ICONERROR);
        return 1;
    }
    if (tempDir[tempLength - 1] != '\\' && !AppendText(tempDir, sizeof tempDir, "\\"))
        return ReportPathTooLong();
    if (!FormatText(source, sizeof source, "%c:\\Install\\SWDSaga.exe", drive) ||
        !FormatText(target, sizeof target, "%sDSaga.exe", tempDir) ||
        !FormatText(commandLine, sizeof commandLine, "\"%s\"", target))
        return ReportPathTooLong();

    // A copy left by an earlier run may still carry the disc's read-only bit.
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA(source, target, FALSE)) {
        char message[3 * CD_PATH_BUFFER];
        FormatText(message, sizeof message,
                   "The Draxmoor Saga could not be copied from\n%s\nto\n%s\n(error %lu).", source,
                   target, (unsigned long)GetLastError());
        ShowProgramMessage(message, CAPTION, MB_OK | MB_ICONERROR);
        return 1;
    }
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);

    // The working directory without its trailing backslash, as a shell would give it.
    char workDir[CD_PATH_BUFFER];
    if (!FormatText(workDir, sizeof workDir, "%s", tempDir))
        return ReportPathTooLong();
    size_t workLength = strlen(workDir);
    if (workLength > 3 && workDir[workLength - 1] == '\\')
        workDir[workLength - 1] = '\0';

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(target, commandLine, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL, workDir,
                        &startup, &process)) {
        char message[2 * CD_PATH_BUFFER];
        FormatText(message, sizeof message, "The Draxmoor Saga could not be started:\n%s\n(error %lu).",
                   target, (unsigned long)GetLastError());
        ShowProgramMessage(message, CAPTION, MB_OK | MB_ICONERROR);
        return 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
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
        FormatText(message, sizeof message, "Unknown option: %.900s", argument);
        ShowProgramMessage(message, CAPTION, MB_OK | MB_ICONERROR);
    }
    return FinishRun("DSINIT", code);
}
