// Start-up benchmark: the time from CreateProcess until the main dialog is
// on the screen, for DSaga.exe started from the hard drive with one game
// installed (no first-run steps), against a bare dialog program with the
// same template and manifest started the same way. Alternating rounds,
// medians, the ratio last. Run through scripts/bench-startup.
//
// A dialog is on the screen once it is visible, drawn and its program waits
// for the user. The moment it turns visible alone is no fair end: showing a
// dialog also activates it, which the bare dialog does after its visible
// flag is set and the launcher before (its centring activates the hidden
// dialog), so that moment would count the activation for one side only. It
// is printed too.
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

struct StartTimes {
    double Shown;  // seconds until the dialog is visible
    double Ready;  // until it is drawn and its program waits for the user
};

// Negative times when the program did not show its dialog.
StartTimes TimeStart(Program program)
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
    StartTimes times = {Now() - start, -1.0};
    if (search.Found && WaitForInputIdle(run.pi.hProcess, Timeout) == 0)
        times.Ready = Now() - start;
    TerminateAndClose(run);  // waits until it is gone, guard objects and all
    if (!search.Found)
        times.Shown = -1.0;
    return times;
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = StartRounds(argc, argv);
    if (!PrepareStart())
        return 1;

    // A start of each, not counted, brings both programs into the file cache.
    if (TimeStart(LAUNCHER).Ready < 0 || TimeStart(BARE).Ready < 0) {
        printf("bench-startup: a warm-up start did not show its dialog\n");
        return 1;
    }
    std::vector<double> shown[PROGRAMS], ready[PROGRAMS], shownRatios, ratios;
    for (int round = 1; round <= rounds; round++) {
        StartTimes times[PROGRAMS];
        for (int i = 0; i < PROGRAMS; i++) {
            Program program = (Program)((round + i) % PROGRAMS);
            times[program] = TimeStart(program);
            if (times[program].Shown < 0 || times[program].Ready < 0) {
                printf("bench-startup: round %d: %s did not show its dialog\n", round, ProgramNames[program]);
                return 1;
            }
            shown[program].push_back(times[program].Shown);
            ready[program].push_back(times[program].Ready);
        }
        shownRatios.push_back(times[LAUNCHER].Shown / times[BARE].Shown);
        ratios.push_back(times[LAUNCHER].Ready / times[BARE].Ready);
        printf("round %d (%s first): DSaga.exe %.3f s (visible at %.3f), bare dialog %.3f s (visible at %.3f), "
               "ratio %.3f\n", round, ProgramNames[round % PROGRAMS], times[LAUNCHER].Ready, times[LAUNCHER].Shown,
               times[BARE].Ready, times[BARE].Shown, ratios.back());
    }
    RemoveTree(LaunchDirectory());
    DeleteLauncherKey();
    printf("median until visible: DSaga.exe %.3f s, bare dialog %.3f s, ratio %.3f (activation counted for "
           "DSaga.exe only)\n", Median(shown[LAUNCHER]), Median(shown[BARE]), Median(shownRatios));
    printf("median until drawn and waiting: DSaga.exe %.3f s, bare dialog %.3f s\n", Median(ready[LAUNCHER]),
           Median(ready[BARE]));
    printf("ratio DSaga.exe/bare dialog (median of rounds): %.3f (target at most 1.10)\n", Median(ratios));
    return 0;
}
