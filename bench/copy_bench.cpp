// Copy benchmark: CopyFiles with the status area showing on the main
// dialog, against a plain loop of the system's file copy over the same
// files, in the same run. Prints the figures of every round and the ratio
// CopyFiles/plain last. Run through scripts/bench-copy.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

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

double Now()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return (double)count.QuadPart / (double)frequency.QuadPart;
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
    for (const char *directory : TargetDirectories) {
        WIN32_FIND_DATAA entry;
        HANDLE listing = FindFirstFileA((TargetRoot() + directory + "*.*").c_str(), &entry);
        if (listing == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (entry.cFileName[0] != '.' && !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                work.files++;
                work.bytes += ((ULONGLONG)entry.nFileSizeHigh << 32) | entry.nFileSizeLow;
            }
        } while (FindNextFileA(listing, &entry));
        FindClose(listing);
    }
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

// The same files through the system's copy, listed in the timed part too.
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

// One timed copy into an empty target; negative when the copy failed.
double TimeOne(bool copyFiles, Work *work)
{
    MakeEmptyTarget();
    double start = Now();
    bool ok = copyFiles ? RunCopyFiles() : RunPlainCopy();
    double seconds = Now() - start;
    *work = TargetContents();
    return ok ? seconds : -1.0;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Sum(const std::vector<double> &values)
{
    double total = 0;
    for (double value : values)
        total += value;
    return total;
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 6;
    if (rounds < 1)
        rounds = 1;
    setvbuf(stdout, NULL, _IONBF, 0);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    ResetTestState();  // disc 1 in D:, a clean test directory
    if (CreatePanelForTest() == NULL)
        return 1;
    ShowWindow(MainDialog, SW_SHOW);
    UpdateWindow(MainDialog);
    DrainMessages();

    // A first round of each, not counted, brings the discs into the file cache.
    Work work;
    if (TimeOne(true, &work) < 0 || TimeOne(false, &work) < 0) {
        printf("bench-copy: the warm-up copy failed\n");
        return 1;
    }
    printf("tree: D:\\sw2\\ and D:\\sw2\\gamedat\\, %u files, %.1f MB\n", work.files, work.bytes / 1048576.0);

    std::vector<double> copyFilesTimes, plainTimes;
    for (int round = 1; round <= rounds; round++) {
        // Alternate which side goes first, so neither always inherits the other's cache state.
        bool copyFilesFirst = round % 2 == 1;
        double first, second;
        Work firstWork, secondWork;
        first = TimeOne(copyFilesFirst, &firstWork);
        second = TimeOne(!copyFilesFirst, &secondWork);
        double copyFilesSeconds = copyFilesFirst ? first : second;
        double plainSeconds = copyFilesFirst ? second : first;
        if (copyFilesSeconds < 0 || plainSeconds < 0 || firstWork.files != secondWork.files
            || firstWork.bytes != secondWork.bytes) {
            printf("bench-copy: round %d did not copy the same files on both sides\n", round);
            return 1;
        }
        copyFilesTimes.push_back(copyFilesSeconds);
        plainTimes.push_back(plainSeconds);
        printf("round %d (%s first): CopyFiles %.3f s, plain CopyFileA %.3f s, ratio %.3f\n", round,
               copyFilesFirst ? "CopyFiles" : "plain", copyFilesSeconds, plainSeconds,
               copyFilesSeconds / plainSeconds);
    }
    RemoveTree(TargetRoot());
    DestroyPanelForTest();

    double copyFilesMedian = Median(copyFilesTimes), plainMedian = Median(plainTimes);
    printf("median: CopyFiles %.3f s, plain CopyFileA %.3f s\n", copyFilesMedian, plainMedian);
    printf("total over %d rounds: CopyFiles %.3f s, plain CopyFileA %.3f s\n", rounds, Sum(copyFilesTimes),
           Sum(plainTimes));
    printf("ratio CopyFiles/plain (medians): %.3f (target at most 1.10)\n", copyFilesMedian / plainMedian);
    return 0;
}
