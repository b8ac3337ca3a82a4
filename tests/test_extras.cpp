// The extras: the previews dialog and the intro, the DirectX installation,
// and help and credits in the text editor.
// The disc programs run for real and only record their command lines.
#include <gtest/gtest.h>

#include "ProcessGuards.h"
#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {

const char PreviewsCaption[] = "Tessarine Previews";

std::vector<std::string> ChildRuns()
{
    return ReadLineList(ChildLog());
}

// Presses a button of a dialog and returns when its handler has run.
void Click(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

INT_PTR RunPreviews(HWND owner)
{
    return DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_PREVIEWS), owner, PreviewsDialogProc, 0);
}

// A drive root made by hand instead of a disc holds only the files a case
// needs. A program started from it may still be ending when the case does.
void ClearHandMadeDrive(char drive)
{
    if (DiscInDrive(drive) != 0)
        return;
    std::string root = DriveRoot(drive);
    for (int attempt = 0; attempt < 50; attempt++) {
        RemoveTree(root);
        if (!PathExists(root))
            break;
        Sleep(100);
    }
    CreateDirectoryA(root.c_str(), NULL);
}

void PutOnDrive(char drive, const std::string &path, const std::string &fromDisc1)
{
    std::string target = DriveRoot(drive) + "\\" + path;
    CreateDirectoryA(target.substr(0, target.find_last_of('\\')).c_str(), NULL);
    std::string source = MediaDirectory() + "discs\\disc1\\" + fromDisc1;
    ASSERT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE)) << source << " error " << GetLastError();
}

class Extras : public ShownPanelTest {
protected:
    void TearDown() override
    {
        ShownPanelTest::TearDown();
        ClearHandMadeDrive('D');
        ClearHandMadeDrive('E');
        InsertDisc('E', 0);
        InsertDisc('D', 1);
        SetEnvironmentVariableA("DSAGA_EXIT_DSINIT", NULL);
    }
};

// ---------------------------------------------------------------- previews

TEST_F(Extras, EachPreviewButtonPlaysItsMovieFromTheInstallDirectoryLowWithoutTheCheckBox)
{
    InsertDisc('D', 0);
    InsertDisc('E', 1);
    LauncherState.InstalledFrom[0] = 'E';
    const int buttons[] = {IDC_PREVIEW_SW4, IDC_PREVIEW_F2, IDC_PREVIEW_PAL, IDC_PREVIEW_CARWAR, IDC_REPLAY_INTRO};
    bool checkedAtStart = false;
    ScriptedUi ui;
    ui.ExpectDialog(PreviewsCaption, [&](HWND dialog) {
        checkedAtStart = IsDlgButtonChecked(dialog, IDC_FULLSCREEN) == BST_CHECKED;
        for (int id : buttons)
            Click(dialog, id);
        SetCheck(dialog, IDC_FULLSCREEN, false);
        for (int id : buttons)
            Click(dialog, id);
        EXPECT_TRUE(IsWindowVisible(dialog));
    }, IDCANCEL);
    EXPECT_EQ(0, RunPreviews(MainDialog));
    ui.Verify();
    EXPECT_TRUE(checkedAtStart);
    const std::vector<std::string> expected = {
        "rezmovie|E:\\install|E:\\install\\rezmovie.exe sw4.avi",
        "rezmovie|E:\\install|E:\\install\\rezmovie.exe f2.avi",
        "rezmovie|E:\\install|E:\\install\\rezmovie.exe pal.avi",
        "rezmovie|E:\\install|E:\\install\\rezmovie.exe carwar.avi",
        "rezmovie|E:\\install|E:\\install\\rezmovie.exe intro.avi",
        "rezmovie|E:\\install|E:\\install\\rezmovie.exe sw4.avi -low",
        "rezmovie|E:\\install|E:\\install\\rezmovie.exe f2.avi -low",
        "rezmovie|E:\\install|E:\\install\\rezmovie.exe pal.avi -low",
        "rezmovie|E:\\install|E:\\install\\rezmovie.exe carwar.avi -low",
        "rezmovie|E:\\install|E:\\install\\rezmovie.exe intro.avi -low",
    };
    EXPECT_EQ(expected, ChildRuns());
    EXPECT_TRUE(IsWindowVisible(MainDialog));  // shown again after each movie
}

TEST_F(Extras, FullScreenBoxIsCheckedAgainAtEveryOpening)
{
    bool checked[2] = {false, false};
    ScriptedUi ui;
    ui.ExpectDialog(PreviewsCaption, [&](HWND dialog) {
        checked[0] = IsDlgButtonChecked(dialog, IDC_FULLSCREEN) == BST_CHECKED;
        SetCheck(dialog, IDC_FULLSCREEN, false);
    }, IDCANCEL)
      .ExpectDialog(PreviewsCaption, [&](HWND dialog) {
          checked[1] = IsDlgButtonChecked(dialog, IDC_FULLSCREEN) == BST_CHECKED;
      }, IDCANCEL);
    EXPECT_EQ(0, RunPreviews(MainDialog));
    EXPECT_EQ(0, RunPreviews(MainDialog));
    ui.Verify();
    EXPECT_TRUE(checked[0]);
    EXPECT_TRUE(checked[1]);
}

TEST_F(Extras, MovieMissingFromTheDiscIsAskedForAndCancelKeepsThePreviewsOpen)
{
    InsertDisc('D', 3);
    bool openAfterCancel = false;
    ScriptedUi ui;
    ui.ExpectDialog(PreviewsCaption, [&](HWND dialog) {
        Click(dialog, IDC_PREVIEW_CARWAR);
        openAfterCancel = IsWindow(dialog) && IsWindowVisible(dialog);
    }, IDCANCEL)
      .ExpectBox("Preview Cartelix Wars", "Please place The Draxmoor Saga CD-ROM disc 1 into drive: 'D'", IDCANCEL)
      .WithStyle(MB_OKCANCEL)
      .ExpectBox("Preview Cartelix Wars", "Operation Aborted", IDOK);
    EXPECT_EQ(0, RunPreviews(MainDialog));
    ui.Verify();
    EXPECT_TRUE(openAfterCancel);
    EXPECT_TRUE(ChildRuns().empty());
}

// The drive holds the player but not the intro movie: the start-up intro,
// which proves the disc by the player, plays; the dialog's button, which
// proves it by the movie, asks for disc 1.
TEST_F(Extras, StartupIntroProvesTheDiscByThePlayerAndNeverPlaysLow)
{
    InsertDisc('D', 0);
    LauncherState.InstalledFrom[0] = 'D';
    PutOnDrive('D', "install\\rezmovie.exe", "install\\rezmovie.exe");
    ScriptedUi ui;
    ui.ExpectDialog(PreviewsCaption, [&](HWND dialog) {
        SetCheck(dialog, IDC_FULLSCREEN, false);
        Click(dialog, IDC_REPLAY_INTRO);
    }, IDCANCEL)
      .ExpectBox("Replay Intro", "Please place The Draxmoor Saga CD-ROM disc 1 into drive: 'D'", IDCANCEL)
      .ExpectBox("Replay Intro", "Operation Aborted", IDOK);
    EXPECT_EQ(0, RunPreviews(MainDialog));
    ReplayIntro(MainDialog);
    ui.Verify();
    const std::vector<std::string> expected = {"rezmovie|D:\\install|D:\\install\\rezmovie.exe intro.avi"};
    EXPECT_EQ(expected, ChildRuns());
}

TEST_F(Extras, StartupIntroWithoutThePlayerAsksForDiscOne)
{
    InsertDisc('D', 0);
    PutOnDrive('D', "install\\intro.avi", "install\\intro.avi");
    HWND owner = NULL;
    ScriptedUi ui;
    ui.ExpectDialog("Replay Intro", [&](HWND box) { owner = GetWindow(box, GW_OWNER); }, IDCANCEL)
      .ExpectBox("Replay Intro", "Operation Aborted", IDOK);
    ReplayIntro(MainDialog);
    ui.Verify();
    EXPECT_EQ(MainDialog, owner);
    EXPECT_TRUE(ChildRuns().empty());
}

TEST_F(Extras, PreviewsDialogHandlesOnlyItsOwnCommands)
{
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_PREVIEWS), MainDialog,
                                     PreviewsDialogProc, 0);
    ASSERT_TRUE(dialog != NULL);
    ScriptedUi ui;
    EXPECT_FALSE(PreviewsDialogProc(dialog, WM_COMMAND, IDOK, 0));
    EXPECT_FALSE(PreviewsDialogProc(dialog, WM_COMMAND, IDC_FULLSCREEN, 0));
    EXPECT_FALSE(PreviewsDialogProc(dialog, WM_COMMAND, IDC_PREVIEW_ART, 0));
    EXPECT_FALSE(PreviewsDialogProc(dialog, WM_TIMER, 0, 0));
    PlayPreview(dialog, IDC_CREDITS);  // not a movie: nothing runs
    ui.Verify();
    EXPECT_TRUE(ChildRuns().empty());
    DestroyWindow(dialog);
}

// ----------------------------------------------------------------- DirectX

TEST_F(Extras, QuietDirectXRunsTheInitialiserAtTheDiscRootWithoutAQuestion)
{
    InsertDisc('D', 0);
    InsertDisc('E', 1);
    LauncherState.InstalledFrom[0] = 'E';
    ScriptedUi ui;
    EXPECT_EQ(DIRECTX_NO_RESTART, InstallDirectX(1));
    ui.Verify();
    std::vector<std::string> runs = ChildRuns();
    ASSERT_EQ(2u, runs.size());
    EXPECT_EQ("dsinit|E:\\|E:\\DSInit.exe InstallDirectXOnly", runs[0]);
    EXPECT_EQ("swdsl", runs[1].substr(0, 5));  // the initialiser's own work
}

TEST_F(Extras, DirectXQuestionAnsweredNoIsAbortedAndRunsNothing)
{
    ScriptedUi ui;
    ui.ExpectBox("Install DirectX", "Are you sure you want to install DirectX?", IDNO).WithStyle(MB_YESNO)
      .ExpectBox("DirectX Installation", "Aborted", IDOK).WithStyle(MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(DIRECTX_NO_RESTART, InstallDirectX(0));
    ui.Verify();
    EXPECT_TRUE(ChildRuns().empty());
}

TEST_F(Extras, DirectXQuestionAnsweredYesRunsTheInitialiserWhoseNonZeroEndAsksForARestart)
{
    SetEnvironmentVariableA("DSAGA_EXIT_DSINIT", "1");
    ScriptedUi ui;
    ui.ExpectBox("Install DirectX", "Are you sure you want to install DirectX?", IDYES);
    EXPECT_EQ(DIRECTX_RESTART, InstallDirectX(0));
    ui.Verify();
    std::vector<std::string> runs = ChildRuns();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ("dsinit|D:\\|D:\\DSInit.exe InstallDirectXOnly", runs[0]);
}

TEST_F(Extras, DirectXNeedsDiscOne)
{
    InsertDisc('D', 2);
    ScriptedUi ui;
    ui.ExpectBox("Install DirectX", "Please place The Draxmoor Saga CD-ROM disc 1 into drive: 'D'", IDCANCEL)
      .ExpectBox("Install DirectX", "Operation Aborted", IDOK);
    EXPECT_EQ(DIRECTX_NO_RESTART, InstallDirectX(1));
    ui.Verify();
    EXPECT_TRUE(ChildRuns().empty());
}

// The disc's DirectX setup is there but its initialiser is not.
TEST_F(Extras, InitialiserThatCannotStartIsAFailureNotARestart)
{
    InsertDisc('D', 0);
    PutOnDrive('D', "DXSetup\\swdsl.exe", "DXSetup\\swdsl.exe");
    ScriptedUi ui;
    ui.ExpectBox("Cannot execute file:", "D:\\DSInit.exe, 2", IDOK);
    EXPECT_EQ(DIRECTX_NOT_STARTED, InstallDirectX(1));
    ui.Verify();
}

// 259 (the system's still-active value) and -1 are what the initialiser
// ended with: it ran, so Windows must restart.
TEST_F(Extras, InitialiserThatRanAndEndedWithAnyNonZeroCodeAsksForARestart)
{
    for (const char *code : {"259", "-1", "2"}) {
        SCOPED_TRACE(code);
        SetEnvironmentVariableA("DSAGA_EXIT_DSINIT", code);
        ScriptedUi ui;  // no "Cannot execute file:" box
        DirectXResult result = InstallDirectX(1);
        ui.Verify();
        EXPECT_EQ(DIRECTX_RESTART, result);
    }
    size_t initialiserRuns = 0;
    for (const std::string &run : ChildRuns())
        initialiserRuns += run == "dsinit|D:\\|D:\\DSInit.exe InstallDirectXOnly";
    EXPECT_EQ(3u, initialiserRuns);
}

// The real main dialog, as the launcher runs it.
class DirectXFromTheMainDialog : public Extras {
protected:
    void SetUp() override
    {
        Extras::SetUp();
        DestroyPanelForTest();
        WriteRecord("C:\\dsaga-tests\\saga\\", "D", 1, 0, 0, 0);  // not a first run
        CreateDirectoryA("C:\\dsaga-tests\\saga", NULL);
        CreateDirectoryA("C:\\dsaga-tests\\saga\\sw1", NULL);
        WriteFileBytes("C:\\dsaga-tests\\saga\\sw1\\sw1.exe", "MZ");
    }
    void TearDown() override
    {
        Extras::TearDown();
        DeleteLauncherKey();
    }
    static INT_PTR RunMainDialog()
    {
        return DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
    }
};

TEST_F(DirectXFromTheMainDialog, ExitCodeOneEndsTheDialogAndRestartsWindows)
{
    SetEnvironmentVariableA("DSAGA_EXIT_DSINIT", "1");
    RestartRecorder restart;
    int restartsWhileOpen = -1;
    ScriptedUi ui;
    ui.ExpectDialog(MainCaption, [&](HWND dialog) {
        restartsWhileOpen = RestartRecorder::Count;
        PostMessageA(dialog, WM_COMMAND, IDC_DIRECTX, 0);
    }, 0)
      .ExpectBox("Install DirectX", "Are you sure you want to install DirectX?", IDYES);
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
    EXPECT_EQ(0, restartsWhileOpen);
    EXPECT_EQ(1, RestartRecorder::Count);
}

TEST_F(DirectXFromTheMainDialog, ExitCodeZeroOrAMissingInitialiserKeepsTheDialogOpen)
{
    RestartRecorder restart;
    bool openAfterSuccess = false, openAfterFailure = false;
    ScriptedUi ui;
    ui.ExpectDialog(MainCaption, [&](HWND dialog) {
        Click(dialog, IDC_DIRECTX);
        openAfterSuccess = IsWindowVisible(dialog) != FALSE;
        InsertDisc('D', 0);
        PutOnDrive('D', "DXSetup\\swdsl.exe", "DXSetup\\swdsl.exe");
        PutOnDrive('D', "install\\uninstal.exe", "install\\uninstal.exe");
        Click(dialog, IDC_DIRECTX);
        openAfterFailure = IsWindowVisible(dialog) != FALSE;
    }, IDCANCEL)
      .ExpectBox("Install DirectX", "Are you sure you want to install DirectX?", IDYES)
      .ExpectBox("Install DirectX", "Are you sure you want to install DirectX?", IDYES)
      .ExpectBox("Cannot execute file:", "D:\\DSInit.exe, 2", IDOK);
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
    EXPECT_TRUE(openAfterSuccess);
    EXPECT_TRUE(openAfterFailure);
    EXPECT_EQ(0, RestartRecorder::Count);
}

// A first run installs DirectX quietly; an initialiser that cannot start
// must not end the launcher and restart the computer.
TEST_F(DirectXFromTheMainDialog, FirstRunGoesOnWhenTheInitialiserCannotStart)
{
    DeleteLauncherKey();
    InsertDisc('D', 0);
    // Enough of disc 1 to pass the CD check and the DirectX probe, and to play the intro.
    PutOnDrive('D', "DXSetup\\swdsl.exe", "DXSetup\\swdsl.exe");
    PutOnDrive('D', "install\\rezmovie.exe", "install\\rezmovie.exe");
    PutOnDrive('D', "install\\uninstal.exe", "install\\uninstal.exe");
    // The CD check looks for the initialiser itself: a file of that name
    // that is not a program.
    WriteFileBytes(DriveRoot('D') + "\\DSInit.exe", "not a program");
    RestartRecorder restart;
    bool shown = false;
    ScriptedUi ui;
    ui.ExpectBox("Cannot execute file:", "D:\\DSInit.exe, 193", IDOK)
      .ExpectDialog(MainCaption, [&](HWND dialog) { shown = IsWindowVisible(dialog) != FALSE; }, IDCANCEL);
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
    EXPECT_TRUE(shown);
    EXPECT_EQ(0, RestartRecorder::Count);
    std::vector<std::string> runs = ChildRuns();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ("rezmovie|D:\\install|D:\\install\\rezmovie.exe intro.avi", runs[0]);  // the intro still played
}

// ------------------------------------------------------- help and credits

// The Windows text editor is replaced by a program that records its run.
class TextEditor : public Extras {
protected:
    void SetUp() override
    {
        Extras::SetUp();
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, sizeof windows);
        directory = windows;
        editor = directory + "\\notepad.exe";
        saved = editor + ".dsaga-saved";
        ASSERT_TRUE(MoveFileA(editor.c_str(), saved.c_str())) << editor << " error " << GetLastError();
        // Disc 1 is in D: at the start of every case.
        ASSERT_TRUE(CopyFileA("D:\\DXSetup\\swdsl.exe", editor.c_str(), FALSE)) << "error " << GetLastError();
        SetFileAttributesA(editor.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    void TearDown() override
    {
        DeleteFileA(editor.c_str());
        MoveFileA(saved.c_str(), editor.c_str());
        Extras::TearDown();
    }
    std::string directory, editor, saved;
};

TEST_F(TextEditor, HelpOpensInTheEditorOfTheWindowsDirectoryFromAnyDisc)
{
    InsertDisc('D', 0);
    InsertDisc('E', 4);
    LauncherState.InstalledFrom[0] = 'E';
    ScriptedUi ui;
    OpenHelpFile();
    ui.Verify();
    std::vector<std::string> runs = ChildRuns();
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ("notepad|" + directory + "|" + editor + " E:\\install\\help.txt", runs[0]);
}

TEST_F(TextEditor, CreditsOpenFromThePreviewsDialogWhichOwnsTheDiscPrompt)
{
    InsertDisc('D', 0);
    HWND owner = NULL, previews = NULL;
    ScriptedUi ui;
    ui.ExpectDialog(PreviewsCaption, [&](HWND dialog) {
        previews = dialog;
        Click(dialog, IDC_CREDITS);
    }, IDCANCEL)
      .ExpectDialog("View Credits", [&](HWND box) {
          owner = GetWindow(box, GW_OWNER);
          InsertDisc('D', 5);
      }, IDOK);
    EXPECT_EQ(0, RunPreviews(MainDialog));
    ui.Verify();
    EXPECT_EQ(previews, owner);
    std::vector<std::string> runs = ChildRuns();
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ("notepad|" + directory + "|" + editor + " D:\\install\\credits.txt", runs[0]);
}

// The launcher holds administrator rights for its own work. What the user
// runs from it (a game any user may have replaced in a directory all may
// write, the movie player, the text editor) starts without them; the
// graphics runtime's setup, part of the launcher's own work, keeps them.
TEST_F(TextEditor, WhatTheUserRunsStartsWithoutAdministratorRightsAndTheSetupWithThem)
{
    ASSERT_TRUE(HoldsAdministratorsGroup()) << "the tests must run as an administrator, as Wine runs every process";
    const std::string saga = TestRoot() + "saga\\";
    CreateDirectoryA(saga.c_str(), NULL);
    CreateDirectoryA((saga + "sw1").c_str(), NULL);
    ASSERT_TRUE(CopyFileA("D:\\sw1\\sw1.exe", (saga + "sw1\\sw1.exe").c_str(), FALSE));
    CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, saga.c_str());
    LauncherState.Game1Installed = 1;
    SetEnvironmentVariableA("DSAGA_RECORD_RIGHTS", "1");
    ScriptedUi ui;
    PlayGame1();
    ReplayIntro(MainDialog);
    OpenHelpFile();
    InstallDirectX(1);
    ui.Verify();
    SetEnvironmentVariableA("DSAGA_RECORD_RIGHTS", NULL);

    std::vector<std::pair<std::string, std::string>> rights;  // program, its rights field
    for (const std::string &line : ChildRuns())
        rights.push_back({line.substr(0, line.find('|')), line.substr(line.rfind('|') + 1)});
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"sw1", "admin=0"}, {"rezmovie", "admin=0"}, {"notepad", "admin=0"},
        {"dsinit", "admin=1"}, {"swdsl", "admin=1"},  // the initialiser's own child
    };
    EXPECT_EQ(expected, rights);
}

TEST_F(TextEditor, HelpWithoutADiscAsksForAnyDisc)
{
    InsertDisc('D', 0);
    ScriptedUi ui;
    ui.ExpectBox("View Help File", "Please place a Draxmoor Saga CD-ROM disc into drive: 'D'", IDCANCEL)
      .ExpectBox("View Help File", "Operation Aborted", IDOK);
    OpenHelpFile();
    ui.Verify();
    EXPECT_TRUE(ChildRuns().empty());
}

}  // namespace
