// Asking for a disc and running a child program: the prompt texts, the
// loop, the child's directory and command line, and the main dialog hidden
// while it runs.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {


class DiscPrompt : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        CreatePanelForTest();
        ShowWindow(MainDialog, SW_SHOW);  // as when a game is played
        LauncherState.InstalledFrom[0] = 'E';
    }
    void TearDown() override
    {
        DestroyPanelForTest();
        InsertDisc('E', 0);
    }
};

TEST_F(DiscPrompt, ProbePresentAtOnceShowsNothing)
{
    InsertDisc('E', 2);
    ScriptedUi ui;
    EXPECT_EQ(1, PromptForDisc("E:\\CD1MISS.TRE", 2, "Play Starwarden 3", MainDialog));
    ui.Verify();
}

TEST_F(DiscPrompt, EachSelectorAsksInItsOwnWordsAndCancelAbortsWithTwoBoxes)
{
    struct Case { unsigned disc; const char *text; };
    const Case cases[] = {
        {1, "Please place The Draxmoor Saga CD-ROM disc 1 into drive: 'E'"},
        {2, "Please place The Draxmoor Saga CD-ROM disc 2 into drive: 'E'"},
        {DISC_ANY, "Please place a Draxmoor Saga CD-ROM disc into drive: 'E'"},
        {DISC_2_TO_5, "Please place The Draxmoor Saga CD-ROM disc 2, 3, 4 or 5 into drive: 'E'"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.disc);
        ScriptedUi ui;
        ui.ExpectBox("Some Caption", c.text, IDCANCEL).WithStyle(MB_OKCANCEL);
        ui.ExpectBox("Some Caption", "Operation Aborted", IDOK).WithStyle(MB_OK);
        EXPECT_EQ(0, PromptForDisc("E:\\SW3MUSIC.tre", c.disc, "Some Caption", MainDialog));
        ui.Verify();
    }
}

TEST_F(DiscPrompt, OkWithoutTheDiscAsksTheSameAgain)
{
    const char text[] = "Please place The Draxmoor Saga CD-ROM disc 2 into drive: 'E'";
    ScriptedUi ui;
    ui.ExpectBox("Play Starwarden 3", text, IDOK)
      .ExpectBox("Play Starwarden 3", text, IDOK)
      .ExpectBox("Play Starwarden 3", text, IDCANCEL)
      .ExpectBox("Play Starwarden 3", "Operation Aborted", IDOK);
    EXPECT_EQ(0, PromptForDisc("E:\\CD1MISS.TRE", 2, "Play Starwarden 3", MainDialog));
    ui.Verify();
}

TEST_F(DiscPrompt, DiscInsertedBetweenPromptsEndsTheLoop)
{
    HWND owner = NULL;
    ScriptedUi ui;
    ui.ExpectDialog("Play Starwarden 3", [&](HWND box) {
        owner = GetWindow(box, GW_OWNER);
        InsertDisc('E', 4);
    }, IDOK);
    EXPECT_EQ(1, PromptForDisc("E:\\SW3MUSIC.tre", DISC_2_TO_5, "Play Starwarden 3", MainDialog));
    ui.Verify();
    EXPECT_EQ(MainDialog, owner);
}

class ChildRunner : public ShownPanelTest {
protected:
    void SetUp() override
    {
        ShownPanelTest::SetUp();
        SetEnvironmentVariableA("DSAGA_CHILD_LOG", ChildLog().c_str());
        CreateDirectoryA(work.c_str(), NULL);
    }
    void TearDown() override
    {
        for (const char *name : {"DSAGA_CHILD_LOG", "DSAGA_EXIT_SW1", "DSAGA_WAIT_SW1", "DSAGA_WAIT_SWDSL",
                                 "DSAGA_BROADCAST_SWDSL"})
            SetEnvironmentVariableA(name, NULL);
        ShownPanelTest::TearDown();
    }

    std::string work = TestRoot() + "work\\";
};

TEST_F(ChildRunner, ChildGetsItsDirectoryAndExactlyTheGivenCommandLine)
{
    ScriptedUi ui;
    RunAndWait(work.c_str(), "D:\\sw1\\sw1.exe", "", MainDialog);
    RunAndWait(work.c_str(), "D:\\install\\rezmovie.exe", "D:\\install\\rezmovie.exe sw4.avi -low", MainDialog);
    ui.Verify();
    std::vector<std::string> lines = ReadLineList(ChildLog());
    ASSERT_EQ(2u, lines.size());
    // Wine hands a child started with an empty command line its quoted
    // program path instead; anything else would have come from the launcher.
    EXPECT_TRUE(lines[0] == "sw1|C:\\dsaga-tests\\work||cfg=none" ||
                lines[0] == "sw1|C:\\dsaga-tests\\work|\"D:\\sw1\\sw1.exe\"|cfg=none")
        << lines[0];
    EXPECT_EQ("rezmovie|C:\\dsaga-tests\\work|D:\\install\\rezmovie.exe sw4.avi -low", lines[1]);
}

TEST_F(ChildRunner, MissingProgramIsReportedAndTheGamesAreCheckedAgain)
{
    CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, "C:\\dsaga-tests\\gone\\");
    LauncherState.Game1Installed = 1;
    LauncherState.Game2Installed = 1;
    CreateDirectoryA("C:\\dsaga-tests\\gone", NULL);
    CreateDirectoryA("C:\\dsaga-tests\\gone\\sw1", NULL);  // the directory stays, its program is gone
    CreateDirectoryA("C:\\dsaga-tests\\gone\\sw2", NULL);
    WriteFileBytes("C:\\dsaga-tests\\gone\\sw2\\sw2.exe", "MZ");
    ScriptedUi ui;
    ui.ExpectBox("Cannot execute file:", "C:\\dsaga-tests\\gone\\sw1\\sw1.exe, 2", IDOK).WithStyle(MB_OK);
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    RunAndWait("C:\\dsaga-tests\\gone\\sw1\\", "C:\\dsaga-tests\\gone\\sw1\\sw1.exe", "", other);
    ui.Verify();
    DestroyWindow(other);
    EXPECT_EQ(0, LauncherState.Game1Installed);
    EXPECT_EQ("Install Starwarden 1", ItemText(MainDialog, IDC_GAME1));
    EXPECT_EQ(1, LauncherState.Game2Installed);
    EXPECT_TRUE(IsWindowVisible(MainDialog));  // never hidden for a child that did not start
}

TEST_F(ChildRunner, MainDialogIsHiddenWhileTheChildRunsAndShownAfterwards)
{
    std::string go = TestRoot() + "go";
    SetEnvironmentVariableA("DSAGA_WAIT_SW1", go.c_str());
    std::atomic<int> hiddenSeen(0);
    HWND dialog = MainDialog;
    std::thread watcher([&] {
        // The child waits for the go file; meanwhile the launcher must be hidden.
        for (int i = 0; i < 600 && !hiddenSeen; i++) {
            if (!IsWindowVisible(dialog) && PathExists(ChildLog()))
                hiddenSeen = 1;
            else
                Sleep(50);
        }
        WriteFileBytes(go, "go");
    });
    RunAndWait(work.c_str(), "D:\\sw1\\sw1.exe", "", MainDialog);
    watcher.join();
    EXPECT_EQ(1, hiddenSeen.load());
    EXPECT_TRUE(IsWindowVisible(MainDialog));
}

// What a window of the launcher that stays on the screen while a child runs
// (the previews dialog) is given meanwhile.
struct OwnerSeen {
    std::atomic<int> settingChanges{0}, paints{0}, clicks{0};
};
OwnerSeen *SeenByOwner;

LRESULT CALLBACK RecordingOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (SeenByOwner != nullptr) {
        if (message == WM_SETTINGCHANGE)
            SeenByOwner->settingChanges++;
        else if (message == WM_PAINT)
            SeenByOwner->paints++;
        else if (message == WM_LBUTTONDOWN)
            SeenByOwner->clicks++;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Polls for at most the hang bound; true once `done` holds.
bool WaitUpTo10s(const std::function<bool()> &done)
{
    for (int i = 0; i < 200; i++) {
        if (done())
            return true;
        Sleep(50);
    }
    return done();
}

// The setup broadcasts WM_SETTINGCHANGE and waits for every top-level
// window, the hidden main dialog included, then waits for the go file.
TEST_F(ChildRunner, BroadcastOfAChildIsAnsweredAndAShownWindowKeepsPaintingButTakesNoClicks)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingOwnerProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "DSagaRecordingOwner";
    RegisterClassA(&windowClass);
    HWND owner = CreateWindowExA(0, windowClass.lpszClassName, "owner", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, NULL,
                                 NULL, GetModuleHandleA(NULL), NULL);
    ASSERT_TRUE(owner != NULL);
    OwnerSeen seen;
    SeenByOwner = &seen;
    std::string go = TestRoot() + "go";
    SetEnvironmentVariableA("DSAGA_BROADCAST_SWDSL", "1");
    SetEnvironmentVariableA("DSAGA_WAIT_SWDSL", go.c_str());

    bool broadcastReturned = false, paintedMeanwhile = false, answeredMeanwhile = false;
    std::thread user([&] {
        broadcastReturned = WaitUpTo10s([] { return ChildRunsOf("swdsl").size() == 2; });
        answeredMeanwhile = seen.settingChanges > 0;
        int paintsBefore = seen.paints;
        InvalidateRect(owner, NULL, TRUE);
        paintedMeanwhile = WaitUpTo10s([&] { return seen.paints > paintsBefore; });
        PostMessageA(owner, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        PostMessageA(owner, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        Sleep(200);
        WriteFileBytes(go, "go");
    });
    RunAndWait(work.c_str(), "D:\\DXSetup\\swdsl.exe", "D:\\DXSetup\\swdsl.exe", owner);
    user.join();
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    SeenByOwner = nullptr;
    DestroyWindow(owner);
    UnregisterClassA(windowClass.lpszClassName, GetModuleHandleA(NULL));

    std::vector<std::string> runs = ChildRunsOf("swdsl");
    ASSERT_EQ(2u, runs.size());
    // The setup then gave the hidden main dialog 400 ms for each of two answers.
    EXPECT_NE(std::string::npos, runs[1].find("|broadcast=returned|brief-ask=answered")) << runs[1];
    EXPECT_TRUE(broadcastReturned) << "the broadcast was still waiting for the launcher after 10 s";
    EXPECT_TRUE(answeredMeanwhile);
    EXPECT_TRUE(paintedMeanwhile);
    EXPECT_EQ(0, seen.clicks.load());  // given while the child ran
    EXPECT_TRUE(IsWindowVisible(MainDialog));
}

TEST_F(ChildRunner, HiddenOwnerStaysHiddenAfterTheChild)
{
    ShowWindow(MainDialog, SW_HIDE);
    RunAndWait(work.c_str(), "D:\\sw1\\sw1.exe", "", MainDialog);
    EXPECT_FALSE(IsWindowVisible(MainDialog));
}

TEST_F(ChildRunner, AnotherVisibleOwnerStillHidesAndRestoresTheMainDialog)
{
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    RunAndWait(work.c_str(), "D:\\sw1\\sw1.exe", "", other);
    EXPECT_TRUE(IsWindowVisible(MainDialog));
    DestroyWindow(other);
}

}  // namespace
