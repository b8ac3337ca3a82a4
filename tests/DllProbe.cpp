// A hook DLL for the DLL-search test. Set over the whole desktop, the system
// loads it into every process that creates a window; at the first window of
// each it asks for "planted.dll" by bare name, as the system asks for the
// DLLs it loads on demand, and appends to DSAGA_PROBE_LOG the program's path,
// whether that load found the copy the test planted beside it, and whether
// a drive without a medium would bring the system's own box.
#include <windows.h>

#include <stdio.h>

static LONG Probed;

static void RecordDllSearch(void)
{
    char log[MAX_PATH], program[MAX_PATH], line[2 * MAX_PATH];
    DWORD logLength = GetEnvironmentVariableA("DSAGA_PROBE_LOG", log, sizeof log);
    DWORD programLength = GetModuleFileNameA(NULL, program, sizeof program);
    if (logLength == 0 || logLength >= sizeof log || programLength == 0 || programLength >= sizeof program)
        return;
    HMODULE planted = LoadLibraryA("planted.dll");
    if (planted != NULL)
        FreeLibrary(planted);
    const char *driveErrors = (GetErrorMode() & SEM_FAILCRITICALERRORS) != 0 ? "quiet" : "system box";
    int length = snprintf(line, sizeof line, "%s|%s|%s\n", program, planted != NULL ? "loaded" : "refused",
                          driveErrors);
    // One append-mode write per line: programs may probe at the same time.
    HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line, (DWORD)length, &written, NULL);
    CloseHandle(file);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeFirstWindow(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && InterlockedExchange(&Probed, 1) == 0)
        RecordDllSearch();
    return CallNextHookEx(NULL, code, wParam, lParam);
}
