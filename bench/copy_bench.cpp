// Copy benchmark: CopyFiles with the status area showing on the main
// dialog, against two floors over the same files in the same run: a plain
// loop of the system's file copy, and the file work CopyFiles must do
// whatever it shows (two listings, the copies, the read-only clears)
// without a window. Prints the figures of every round and the medians, the
// ratio against the fair floor last. Run through scripts/bench-copy.
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "TestEnv.h"

namespace {

// The largest game tree of the discs, one directory at a time, as an
// install copies it.
const char *const SourceDirectories[] = {"D:\\sw2\\", "D:\\sw2\\gamedat\\"};
const char *const TargetDirectories[] = {"sw2\\", "sw2\\gamedat\\"};

std::string TargetRoot()
{
    return TestRoot() + "bench\\";
}

// Lets the dialog paint and settle, so neither side pays for what the other left.
void DrainMessages()
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void MakeEmptyTarget()
{
    RemoveTree(TargetRoot());
    CreateDirectoryA(TargetRoot().c_str(), NULL);
    for (const char *directory : TargetDirectories)
        CreateDirectoryA((TargetRoot() + directory).c_str(), NULL);
    DrainMessages();
}

// Files copied and their bytes, to show both sides did the same work.
struct Work {
    unsigned files = 0;
    ULONGLONG bytes = 0;
};

Work TargetContents()
{
    Work work;
    for (const char *directory : TargetDirectories)
        VisitListedFiles(TargetRoot() + directory, [&](const WIN32_FIND_DATAA &entry) {
            work.files++;
            work.bytes += ((ULONGLONG)entry.nFileSizeHigh << 32) | entry.nFileSizeLow;
            return true;
        });
    return work;
}

bool RunCopyFiles()
{
    bool ok = true;
    for (size_t i = 0; i < sizeof SourceDirectories / sizeof *SourceDirectories; i++) {
        std::string target = TargetRoot() + TargetDirectories[i];
        ok = CopyFiles(SourceDirectories[i], target.c_str(), "Installing Starwarden 2") == 1 && ok;
    }
    return ok;
}

// The plain floor: the same files through the system's copy, listed in the
// timed part too.
bool RunPlainCopy()
{
    bool ok = true;
    for (size_t i = 0; i < sizeof SourceDirectories / sizeof *SourceDirectories; i++) {
        std::string source = SourceDirectories[i], target = TargetRoot() + TargetDirectories[i];
        std::vector<std::string> names = ListedFiles(source);
        if (names.empty())
            return false;
        for (const std::string &name : names)
            ok = CopyFileA((source + name).c_str(), (target + name).c_str(), FALSE) && ok;
    }
    return ok;
}

// The fair floor: the file work CopyFiles must do whatever it shows, without
// a window. A counting listing, a copying listing, the copies, and the
// read-only clears where a copy has the attribute (it takes its source's).
bool RunFairFloor()
{
    bool ok = true;
    for (size_t i = 0; i < sizeof SourceDirectories / sizeof *SourceDirectories; i++) {
        std::string source = SourceDirectories[i], target = TargetRoot() + TargetDirectories[i];
        unsigned count = 0;
        ok = VisitListedFiles(source, [&](const WIN32_FIND_DATAA &) { return ++count != 0; }) && count > 0 && ok;
        ok = VisitListedFiles(source, [&](const WIN32_FIND_DATAA &entry) {
            std::string copy = target + entry.cFileName;
            if (!CopyFileA((source + entry.cFileName).c_str(), copy.c_str(), FALSE))
                return false;
            return !(entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                || SetFileAttributesA(copy.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY) != FALSE;
        }) && ok;
    }
    return ok;
}

enum Side { COPY_FILES, PLAIN_FLOOR, FAIR_FLOOR, SIDES };
const char *const SideNames[SIDES] = {"CopyFiles", "plain", "fair"};

bool RunSide(Side side)
{
    switch (side) {
    case COPY_FILES:  return RunCopyFiles();
    case PLAIN_FLOOR: return RunPlainCopy();
    default:          return RunFairFloor();
    }
}

// One timed copy into an empty target; negative when the copy failed.
double TimeOne(Side side, Work *work)
{
    MakeEmptyTarget();
    double start = Now();
    bool ok = RunSide(side);
    double seconds = Now() - start;
    *work = TargetContents();
    return ok ? seconds : -1.0;
}

double Sum(const std::vector<double> &values)
{
    double total = 0;
    for (double value : values)
        total += value;
    return total;
}

}  // namespace

// One round: the three sides in an order that turns with the round, so no
// side always inherits another's cache state. False when they did not copy
// the same files.
bool RunRound(int round, double seconds[SIDES])
{
    Work works[SIDES];
    for (int i = 0; i < SIDES; i++) {
        Side side = (Side)((round + i) % SIDES);
        seconds[side] = TimeOne(side, &works[side]);
        if (seconds[side] < 0)
            return false;
    }
    for (int side = 1; side < SIDES; side++)
        if (works[side].files != works[0].files || works[side].bytes != works[0].bytes)
            return false;
    return true;
}

void PrintFigures(const char *label, double copyFiles, double plain, double fair, double plainRatio,
                  double fairRatio)
{
    printf("%s: CopyFiles %.3f s, plain %.3f s, fair %.3f s; CopyFiles/plain %.3f, CopyFiles/fair %.3f, "
           "overhead %.1f ms\n", label, copyFiles, plain, fair, plainRatio, fairRatio, (copyFiles - fair) * 1000);
}

int main(int argc, char **argv)
{
    int rounds = StartRounds(argc, argv);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    ResetTestState();  // disc 1 in D:, a clean test directory
    if (CreatePanelForTest() == NULL)
        return 1;
    InitArtPanel(&MainArtPanel, MainDialog);  // the dialog as the user sees it, artwork and all
    ShowWindow(MainDialog, SW_SHOW);
    UpdateWindow(MainDialog);
    DrainMessages();

    // A first round of each, not counted, brings the discs into the file cache.
    double warmUp[SIDES];
    Work work;
    if (!RunRound(0, warmUp) || TimeOne(COPY_FILES, &work) < 0) {
        printf("bench-copy: the warm-up copy failed\n");
        return 1;
    }
    printf("tree: D:\\sw2\\ and D:\\sw2\\gamedat\\, %u files, %.1f MB\n", work.files, work.bytes / 1048576.0);
    printf("plain: a CopyFileA loop; fair: the same file work as CopyFiles without a window\n");

    std::vector<double> times[SIDES], plainRatios, fairRatios;
    for (int round = 1; round <= rounds; round++) {
        double seconds[SIDES];
        if (!RunRound(round, seconds)) {
            printf("bench-copy: round %d did not copy the same files on every side\n", round);
            return 1;
        }
        for (int side = 0; side < SIDES; side++)
            times[side].push_back(seconds[side]);
        plainRatios.push_back(seconds[COPY_FILES] / seconds[PLAIN_FLOOR]);
        fairRatios.push_back(seconds[COPY_FILES] / seconds[FAIR_FLOOR]);
        char label[64];
        snprintf(label, sizeof label, "round %d (%s first)", round, SideNames[round % SIDES]);
        PrintFigures(label, seconds[COPY_FILES], seconds[PLAIN_FLOOR], seconds[FAIR_FLOOR], plainRatios.back(),
                     fairRatios.back());
    }
    RemoveTree(TargetRoot());
    DestroyPanelForTest();

    PrintFigures("median", Median(times[COPY_FILES]), Median(times[PLAIN_FLOOR]), Median(times[FAIR_FLOOR]),
                 Median(plainRatios), Median(fairRatios));
    printf("total over %d rounds: CopyFiles %.3f s, plain %.3f s, fair %.3f s\n", rounds, Sum(times[COPY_FILES]),
           Sum(times[PLAIN_FLOOR]), Sum(times[FAIR_FLOOR]));
    printf("ratio CopyFiles/plain (median of rounds): %.3f (target at most 1.10)\n", Median(plainRatios));
    printf("ratio CopyFiles/fair (median of rounds): %.3f (target at most 1.05)\n", Median(fairRatios));
    return 0;
}
