// The real DSaga.exe, started as a user starts it and driven from outside:
// the start-up guard, the CD search and the first run from the disc.
#include <gtest/gtest.h>

#include "RemoteUi.h"
#include "TestEnv.h"

namespace {

const char MainCaption[] = "Starwarden: The Draxmoor Saga";
const DWORD Timeout = 30000;

std::string LauncherPath()
{
    return BuildDirectory() + "Src\\Launch\\DSaga.exe";
}

bool GuardObjectExists()
{
    HANDLE semaphore = OpenSemaphoreA(SYNCHRONIZE, FALSE, "Starwarden Launcher");
    if (semaphore == NULL)
        return false;
    CloseHandle(semaphore);
    return true;
}

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        runs.reserve(8);  // references handed out stay valid
    }
    void TearDown() override
    {
        for (ChildRun &run : runs)
            TerminateAndClose(run);
        DeleteLauncherKey();
        InsertDisc('E', 0);
        InsertDisc('D', 1);
    }

    ChildRun &Start(const std::string &directory)
    {
        runs.push_back(StartProgram(LauncherPath(), directory, ""));
        EXPECT_TRUE(runs.back().Started()) << "could not start " << LauncherPath();
        return runs.back();
    }

    // Waits for the main dialog to show, presses Quit and checks the exit.
    void QuitNormally(ChildRun &run)
    {
        HWND main = WaitForTopWindow(run.pi.dwProcessId, MainCaption, Timeout, true);
        ASSERT_TRUE(main != NULL) << "no main dialog; windows: " << ::testing::PrintToString(TopWindowCaptions(run.pi.dwProcessId));
        PressButton(main, IDCANCEL);
        DWORD code = 1;
        ASSERT_EQ(0u, WaitForExit(run.pi.hProcess, Timeout, &code));
        EXPECT_EQ(0u, code);
    }

    void ExpectSilentExit(ChildRun &run)
    {
        DWORD code = 1;
        ASSERT_EQ(0u, WaitForExit(run.pi.hProcess, Timeout, &code)) << "the launcher did not exit";
        EXPECT_EQ(0u, code);
        EXPECT_TRUE(TopWindowCaptions(run.pi.dwProcessId).empty());
    }

    std::vector<ChildRun> runs;
};

TEST_F(Launcher, RefusesStartFromCdRomAndLeavesNoGuardObject)
{
    ChildRun &run = Start("D:\\");
    HWND box = WaitForTopWindow(run.pi.dwProcessId, "Draxmoor Saga Error!", Timeout, true);
    ASSERT_TRUE(box != NULL) << ::testing::PrintToString(TopWindowCaptions(run.pi.dwProcessId));
    EXPECT_EQ("DSaga.exe cannot be run from a CD-ROM drive.\nPlease run DSInit.exe from a Draxmoor Saga CD instead",
              MessageBoxText(box));
    EXPECT_FALSE(GuardObjectExists());
    PressButton(box, IDOK);
    DWORD code = 1;
    ASSERT_EQ(0u, WaitForExit(run.pi.hProcess, Timeout, &code));
    EXPECT_EQ(0u, code);

    // Nothing was left behind that would block a start from the hard drive.
    QuitNormally(Start(TestRoot()));
}

TEST_F(Launcher, SecondCopyExitsSilentlyAndALaterStartWorks)
{
    ChildRun &first = Start(TestRoot());
    ASSERT_TRUE(WaitForTopWindow(first.pi.dwProcessId, MainCaption, Timeout, true) != NULL);
    EXPECT_TRUE(GuardObjectExists());

    ExpectSilentExit(Start(TestRoot()));
    EXPECT_TRUE(IsWindow(WaitForTopWindow(first.pi.dwProcessId, MainCaption, 1000, true)));

    QuitNormally(runs[0]);
    EXPECT_FALSE(GuardObjectExists());
    QuitNormally(Start(TestRoot()));
}

TEST_F(Launcher, RunningGameOrCompilationBlocksTheStart)
{
    struct Marker { const char *name; bool mutex; };
    const Marker markers[] = {
        {"Starwarden 1", false}, {"Starwarden 2", false}, {"Starwarden 3 Mutex", true}, {"Starwarden Saga", false}};
    for (const Marker &marker : markers) {
        SCOPED_TRACE(marker.name);
        HANDLE object = marker.mutex ? CreateMutexA(NULL, FALSE, marker.name)
                                     : CreateSemaphoreA(NULL, 0, 1, marker.name);
        ASSERT_TRUE(object != NULL);
        ExpectSilentExit(Start(TestRoot()));
        CloseHandle(object);
    }
    // With every marker gone the launcher starts again.
    QuitNormally(Start(TestRoot()));
}

TEST_F(Launcher, WithoutCdCancelEndsTheLauncherBeforeItsDialogShows)
{
    InsertDisc('D', 0);
    ChildRun &run = Start(TestRoot());
    HWND box = WaitForTopWindow(run.pi.dwProcessId, "Insert a Draxmoor Saga CD", Timeout, true);
    ASSERT_TRUE(box != NULL) << ::testing::PrintToString(TopWindowCaptions(run.pi.dwProcessId));
    EXPECT_EQ("Please insert a Draxmoor Saga CD.", MessageBoxText(box));
    PressButton(box, IDCANCEL);
    DWORD code = 1;
    ASSERT_EQ(0u, WaitForExit(run.pi.hProcess, Timeout, &code));
    EXPECT_EQ(0u, code);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
}

TEST_F(Launcher, CdInTheSecondDriveIsFoundOnTheFirstRun)
{
    InsertDisc('D', 0);
    InsertDisc('E', 1);
    QuitNormally(Start(TestRoot()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));  // the first run writes no record
}

TEST_F(Launcher, DiscInitialiserStartsTheLauncherFromTheTemporaryDirectory)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string copy = std::string(temp) + "DSaga.exe";
    DeleteFileA(copy.c_str());

    runs.push_back(StartProgram("D:\\DSInit.exe", "D:\\", ""));
    ASSERT_TRUE(runs.back().Started());
    HWND main = NULL;
    for (DWORD waited = 0; waited < Timeout && main == NULL; waited += 200) {
        HWND found = FindWindowA(NULL, MainCaption);
        if (found != NULL && IsWindowVisible(found))
            main = found;
        else
            Sleep(200);
    }
    ASSERT_TRUE(main != NULL) << "the launcher started from the disc did not show its dialog";
    EXPECT_TRUE(PathExists(copy));
    DWORD launcherId = 0;
    GetWindowThreadProcessId(main, &launcherId);
    HANDLE launcher = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, launcherId);
    PressButton(main, IDCANCEL);
    ASSERT_TRUE(launcher != NULL);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(launcher, Timeout));
    CloseHandle(launcher);
}

}  // namespace
