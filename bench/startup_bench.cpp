// Start-up benchmark: the time from CreateProcess until the main dialog is
// visible, for DSaga.exe started from the hard drive with one game
// installed (no first-run steps), against a bare dialog program with the
// same template and manifest started the same way. Alternating rounds,
// medians, the ratio last. Run through scripts/bench-startup.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "RemoteUi.h"
#include "BenchTiming.h"
#include "TestEnv.h"

namespace {

const DWORD Timeout = 30000;

enum Program { LAUNCHER, BARE, PROGRAMS };
const char *const ProgramNames[PROGRAMS] = {"DSaga.exe", "bare_dialog.exe"};

std::string LaunchDirectory()
{
    return TestRoot() + "start\\";
}

// Both programs in one directory of drive C:, game 1 installed below it and
// disc 1 in D:, so the launcher goes straight to its dialog.
bool PrepareStart()
{
    ResetTestState();
    std::string start = LaunchDirectory(), install = start + "saga\\";
    CreateDirectoryA(start.c_str(), NULL);
    CreateDirectoryA(install.c_str(), NULL);
    CreateDirectoryA((install + "sw1\\").c_str(), NULL);
    WriteFileBytes(install + "sw1\\sw1.exe", "MZ");
    WriteRecord(install.c_str(), "D", 1, 0, 0, 0);
    std::string sources[PROGRAMS] = {BuildDirectory() + "Src\\Launch\\DSaga.exe", ModuleDirectory() + "bare_dialog.exe"};
    for (int i = 0; i < PROGRAMS; i++)
        if (!CopyFileA(sources[i].c_str(), (start + ProgramNames[i]).c_str(), FALSE)) {
            printf("bench-startup: cannot copy %s\n", sources[i].c_str());
            return false;
        }
    return true;
}

struct VisibleSearch {
    DWORD ProcessId;
    bool Found;
};

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM param)
{
    VisibleSearch *search = (VisibleSearch *)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[16];
    if (owner != search->ProcessId || !IsWindowVisible(window) || !GetClassNameA(window, className, sizeof className)
        || strcmp(className, "#32770") != 0)
        return TRUE;
    search->Found = true;
    return FALSE;
}

// Seconds from the start until the program shows its dialog; negative when it did not.
double TimeStart(Program program)
{
    std::string path = LaunchDirectory() + ProgramNames[program];
    double start = Now();
    ChildRun run = StartProgram(path, LaunchDirectory(), "");
    VisibleSearch search = {run.pi.dwProcessId, false};
    while (run.Started() && !search.Found && Now() - start < Timeout / 1000.0) {
        EnumWindows(FindVisibleDialog, (LPARAM)&search);
        if (!search.Found)
            Sleep(1);
    }
    double seconds = Now() - start;
    TerminateAndClose(run);  // waits until it is gone, guard objects and all
    return search.Found ? seconds : -1.0;
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = StartRounds(argc, argv);
    if (!PrepareStart())
        return 1;

    // A start of each, not counted, brings both programs into the file cache.
    if (TimeStart(LAUNCHER) < 0 || TimeStart(BARE) < 0) {
        printf("bench-startup: a warm-up start did not show its dialog\n");
        return 1;
    }
    std::vector<double> times[PROGRAMS], ratios;
    for (int round = 1; round <= rounds; round++) {
        double seconds[PROGRAMS];
        for (int i = 0; i < PROGRAMS; i++) {
            Program program = (Program)((round + i) % PROGRAMS);
            seconds[program] = TimeStart(program);
            if (seconds[program] < 0) {
                printf("bench-startup: round %d: %s did not show its dialog\n", round, ProgramNames[program]);
                return 1;
            }
            times[program].push_back(seconds[program]);
        }
        ratios.push_back(seconds[LAUNCHER] / seconds[BARE]);
        printf("round %d (%s first): DSaga.exe %.3f s, bare dialog %.3f s, ratio %.3f\n", round,
               ProgramNames[round % PROGRAMS], seconds[LAUNCHER], seconds[BARE], ratios.back());
    }
    RemoveTree(LaunchDirectory());
    DeleteLauncherKey();
    printf("median: DSaga.exe %.3f s, bare dialog %.3f s\n", Median(times[LAUNCHER]), Median(times[BARE]));
    printf("ratio DSaga.exe/bare dialog (median of rounds): %.3f (target at most 1.10)\n", Median(ratios));
    return 0;
}
