// Start-up inside the process: the CD search, the start-up sequence and the
// main dialog with its dispatch and its ways of ending.
#include <gtest/gtest.h>

#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {

const char InsertCaption[] = "Insert a Draxmoor Saga CD";
const char InsertText[] = "Please insert a Draxmoor Saga CD.";

class CdSearch : public ::testing::Test {
protected:
    void SetUp() override { ResetTestState(); }
    void TearDown() override { DeleteLauncherKey(); InsertDisc('E', 0); InsertDisc('D', 1); }

    // The search finds a disc without a box and takes its drive's letter.
    static void ExpectDiscFoundIn(char drive)
    {
        ScriptedUi ui;
        EXPECT_EQ(1, RequireCD());
        ui.Verify();
        EXPECT_EQ(drive, LauncherState.InstalledFrom[0]);
    }
};

TEST_F(CdSearch, DiscInTheRecordedDriveIsFoundWithoutAPrompt)
{
    ExpectDiscFoundIn('D');
}

TEST_F(CdSearch, AnyDiscOfTheCompilationCounts)
{
    InsertDisc('D', 4);
    ExpectDiscFoundIn('D');
}

TEST_F(CdSearch, DiscInAnotherDriveChangesTheLetterButCreatesNoRecord)
{
    InsertDisc('D', 0);
    InsertDisc('E', 2);
    ExpectDiscFoundIn('E');
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
}

TEST_F(CdSearch, DiscInAnotherDriveIsSavedIntoAnExistingRecord)
{
    WriteRecord("F:\\SAGA\\", "D", 0, 1, 0, 1);
    InsertDisc('D', 0);
    InsertDisc('E', 1);
    ExpectDiscFoundIn('E');
    RegistryValue from = ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Installed From:");
    EXPECT_EQ(std::string("E\0", 2), std::string(from.bytes.begin(), from.bytes.end()));
    // The load brought the rest of the record in, and the save kept it.
    EXPECT_STREQ("F:\\SAGA\\", LauncherState.InstalledTo);
    EXPECT_EQ(1, LauncherState.Game2Installed);
}

TEST_F(CdSearch, PromptRepeatsUntilCancel)
{
    InsertDisc('D', 0);
    ScriptedUi ui;
    ui.ExpectBox(InsertCaption, InsertText, IDOK)
      .ExpectBox(InsertCaption, InsertText, IDOK)
      .ExpectBox(InsertCaption, InsertText, IDCANCEL);
    EXPECT_EQ(0, RequireCD());
    ui.Verify();
}

TEST_F(CdSearch, DiscInsertedWhileThePromptShowsEndsTheSearch)
{
    InsertDisc('D', 0);
    ScriptedUi ui;
    ui.ExpectDialog(InsertCaption, [](HWND) { InsertDisc('E', 3); }, IDOK);
    EXPECT_EQ(1, RequireCD());
    ui.Verify();
    EXPECT_EQ('E', LauncherState.InstalledFrom[0]);
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        CreatePanelForTest();
    }
    void TearDown() override
    {
        DestroyPanelForTest();
        DeleteLauncherKey();
        InsertDisc('D', 1);
    }
};

TEST_F(Startup, WithoutRecordTakesTheFirstRunPath)
{
    ScriptedUi ui;
    EXPECT_EQ(STARTUP_SHOW_DIALOG, RunStartup(MainDialog, GetModuleHandleA(NULL)));
    ui.Verify();
    EXPECT_EQ(1, FirstRun);
    char current[PATH_BUFFER];
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_STREQ(current, StartDirectory);
}

TEST_F(Startup, RecordWithNoGameLeftTakesTheFirstRunPathAgain)
{
    WriteRecord("C:\\dsaga-tests\\saga\\", "D", 1, 0, 0, 0);
    ScriptedUi ui;
    EXPECT_EQ(STARTUP_SHOW_DIALOG, RunStartup(MainDialog, GetModuleHandleA(NULL)));
    ui.Verify();
    EXPECT_EQ(1, FirstRun);
    // Detection found no game, so the installation was forgotten.
    EXPECT_STREQ(DefaultInstallDirectory, LauncherState.InstalledTo);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
}

// Only a full path whose drive does not answer may be a drive that is away;
// a record naming no path the system can use is withdrawn as a deleted
// directory is, even where a relative path would find a game.
TEST_F(Startup, RecordNamingNoUsableDirectoryWithdrawsItsGames)
{
    char saved[PATH_BUFFER];
    ASSERT_NE(0u, GetCurrentDirectoryA(sizeof saved, saved));
    const struct { const char *name; std::string directory; } records[] = {
        {"empty", ""},
        {"relative", "saga\\"},
        {"relative to a drive's current directory", "C:saga\\"},
        {"too long for the system's file calls", "C:\\" + std::string(300, 'x') + "\\"},
    };
    for (const auto &record : records) {
        SCOPED_TRACE(record.name);
        SetUp();
        CreateDirectoryA((TestRoot() + "saga").c_str(), NULL);
        CreateDirectoryA((TestRoot() + "saga\\sw1").c_str(), NULL);
        WriteFileBytes(TestRoot() + "saga\\sw1\\sw1.exe", "MZ");
        ASSERT_TRUE(SetCurrentDirectoryA(TestRoot().c_str()));
        WriteRecord(record.directory.c_str(), "D", 1, 0, 0, 0);
        WriteText(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw1").c_str(), "DisplayName", "Starwarden 1");
        ScriptedUi ui;
        EXPECT_EQ(STARTUP_SHOW_DIALOG, RunStartup(MainDialog, GetModuleHandleA(NULL)));
        ui.Verify();
        SetCurrentDirectoryA(saved);
        EXPECT_EQ(0, LauncherState.Game1Installed);
        EXPECT_EQ("Install Starwarden 1", ItemText(MainDialog, IDC_GAME1));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(MainDialog, IDC_UNINSTALL1)));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw1").c_str()));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
        EXPECT_STREQ(DefaultInstallDirectory, LauncherState.InstalledTo);
        EXPECT_EQ(1, FirstRun);
        EXPECT_TRUE(PathExists(TestRoot() + "saga\\sw1\\sw1.exe"));
    }
}

TEST_F(Startup, CancelAtTheCdPromptEndsBeforeTheFirstRunSteps)
{
    InsertDisc('D', 0);
    ScriptedUi ui;
    ui.ExpectBox(InsertCaption, InsertText, IDCANCEL);
    EXPECT_EQ(STARTUP_END, RunStartup(MainDialog, GetModuleHandleA(NULL)));
    ui.Verify();
    EXPECT_EQ(0, FirstRun);
}

TEST_F(Startup, DeletesTheDirectXSetupCopyFromTheStartupFolder)
{
    std::string startup = ShellFolder("Startup");
    ASSERT_FALSE(startup.empty());
    CreateDirectoryA(startup.c_str(), NULL);
    std::string copy = startup + "\\swdsl.exe";
    WriteFileBytes(copy, "MZ");
    ASSERT_TRUE(PathExists(copy));
    ScriptedUi ui;
    EXPECT_EQ(STARTUP_SHOW_DIALOG, RunStartup(MainDialog, GetModuleHandleA(NULL)));
    ui.Verify();
    EXPECT_FALSE(PathExists(copy));
}

// The main dialog is still hidden: a box it owned would have no taskbar
// button and could be lost behind the window the user mounts the disc in.
// Once it shows, its boxes are its own again.
TEST_F(Startup, CdPromptCanBeFoundAndStillHoldsTheMainDialog)
{
    InsertDisc('D', 0);
    HWND owner = MainDialog, shownOwner = NULL;
    bool ownsTaskbarButton = false, mainDisabled = false;
    ScriptedUi ui;
    ui.ExpectDialog(InsertCaption, [&](HWND box) {
        owner = GetWindow(box, GW_OWNER);
        LONG exStyle = GetWindowLongA(box, GWL_EXSTYLE);
        ownsTaskbarButton = IsWindowVisible(box) && (exStyle & WS_EX_TOOLWINDOW) == 0;
        mainDisabled = !IsWindowEnabled(MainDialog);
    }, IDOK)
      .ExpectBox(InsertCaption, InsertText, IDCANCEL)
      .ExpectDialog(InsertCaption, [&](HWND box) { shownOwner = GetWindow(box, GW_OWNER); }, IDCANCEL);
    EXPECT_EQ(STARTUP_END, RunStartup(MainDialog, GetModuleHandleA(NULL)));
    EXPECT_TRUE(IsWindowEnabled(MainDialog));
    ShowWindow(MainDialog, SW_SHOW);
    EXPECT_EQ(0, RequireCD());
    ui.Verify();
    EXPECT_EQ(NULL, owner);
    EXPECT_TRUE(ownsTaskbarButton);
    EXPECT_TRUE(mainDisabled);
    EXPECT_EQ(MainDialog, shownOwner);
}

class MainDialogRun : public ::testing::Test {
protected:
    void SetUp() override { ResetTestState(); }
    void TearDown() override { DeleteLauncherKey(); InsertDisc('D', 1); }

    static INT_PTR RunMainDialog()
    {
        return DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
    }
};

TEST_F(MainDialogRun, QuitEndsTheDialogWithResultZero)
{
    bool visible = false;
    std::string game1;
    ScriptedUi ui;
    ui.ExpectDialog(MainCaption, [&](HWND dialog) {
        visible = IsWindowVisible(dialog) != FALSE;
        game1 = ItemText(dialog, IDC_GAME1);
    }, IDCANCEL);
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
    EXPECT_TRUE(visible);
    EXPECT_EQ("Install Starwarden 1", game1);
}

TEST_F(MainDialogRun, EscapeKeyEndsTheDialog)
{
    ScriptedUi ui;
    ui.ExpectDialog(MainCaption, [](HWND dialog) {
        HWND focus = GetFocus();
        PostMessageA(focus ? focus : dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    }, 0);
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
}

TEST_F(MainDialogRun, CloseBoxEndsTheDialog)
{
    ScriptedUi ui;
    ui.ExpectDialog(MainCaption, [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }, 0);
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
}

TEST_F(MainDialogRun, FailedStartupEndsTheDialogBeforeItShows)
{
    InsertDisc('D', 0);
    ScriptedUi ui;
    ui.ExpectBox(InsertCaption, InsertText, IDCANCEL);
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();  // the main dialog itself never activated
}

void CALLBACK QuitOnceEnabled(HWND dialog, UINT, UINT_PTR timer, DWORD)
{
    if (!IsWindowEnabled(dialog))
        return;  // its modal child is still open
    KillTimer(dialog, timer);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(MainDialogRun, PreviewsOpenAsAModalDialogOverTheMainDialog)
{
    HWND owner = NULL, main = NULL;
    ScriptedUi ui;
    ui.ExpectDialog(MainCaption, [&](HWND dialog) {
        main = dialog;
        PostMessageA(dialog, WM_COMMAND, IDC_PREVIEWS, 0);
    }, 0)
      .ExpectDialog("Tessarine Previews", [&](HWND dialog) {
          owner = GetWindow(dialog, GW_OWNER);
          // Quit once the previews have closed: a command that reaches the
          // main dialog while the previews command runs is dropped.
          SetTimer(main, 1, 100, QuitOnceEnabled);
      }, IDCANCEL);
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
    EXPECT_EQ(main, owner);
}

class MainDialogMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        CreatePanelForTest();
    }
    void TearDown() override { DestroyPanelForTest(); }
};

TEST_F(MainDialogMessages, CommandsOutsideTheTableAreNotHandled)
{
    ScriptedUi ui;
    EXPECT_FALSE(MainDialogProc(MainDialog, WM_COMMAND, IDOK, 0));
    EXPECT_FALSE(MainDialogProc(MainDialog, WM_COMMAND, 1007, 0));
    EXPECT_FALSE(MainDialogProc(MainDialog, WM_COMMAND, IDC_STATUS_TEXT1, 0));
    EXPECT_FALSE(MainDialogProc(MainDialog, WM_COMMAND, IDC_MAIN_ART, 0));
    EXPECT_FALSE(MainDialogProc(MainDialog, WM_TIMER, 0, 0));
    ui.Verify();
}

// Activation is left to the dialog manager too, which keeps the focus.
TEST_F(MainDialogMessages, ActivationAndPaletteMessagesAnswerAsTheDialogExpects)
{
    EXPECT_FALSE(MainDialogProc(MainDialog, WM_ACTIVATE, WA_CLICKACTIVE, 0));
    EXPECT_FALSE(MainDialogProc(MainDialog, WM_ACTIVATE, WA_ACTIVE, (LPARAM)MainDialog));
    EXPECT_FALSE(MainDialogProc(MainDialog, WM_ACTIVATE, WA_ACTIVE, 0));
    EXPECT_FALSE(MainDialogProc(MainDialog, WM_ACTIVATE, WA_INACTIVE, 0));
    EXPECT_FALSE(MainDialogProc(MainDialog, WM_QUERYNEWPALETTE, 0, 0));
    EXPECT_TRUE(MainDialogProc(MainDialog, WM_PALETTECHANGED, (WPARAM)MainDialog, 0));
}

TEST_F(MainDialogMessages, TemplateHasEveryControlInItsInitialState)
{
    struct Expected { int id; const char *text; bool enabled; bool visible; };
    const Expected controls[] = {
        {IDC_GAME1, "Install Starwarden 1", true, true},
        {IDC_UNINSTALL1, "Uninstall Starwarden 1", false, true},
        {IDC_GAME2, "Install Starwarden 2", true, true},
        {IDC_UNINSTALL2, "Uninstall Starwarden 2", false, true},
        {IDC_GAME3, "Install Starwarden 3", true, true},
        {IDC_UNINSTALL3, "Uninstall Starwarden 3", false, true},
        {IDC_SYSINFO, "   System\nInformation", true, true},
        {IDC_HELPFILE, "   View\nHelp File", true, true},
        {IDC_DIRECTX, " Install\nDirectX", true, true},
        {IDC_PREVIEWS, "  Tessarine\nPreviews", true, true},
        {IDC_STATUS_FRAME, "", true, false},
        {IDC_STATUS_TEXT1, "", true, false},
        {IDC_STATUS_TEXT2, "", true, false},
        {IDC_INVULNERABLE, "Invulnerable\n (SW1 / SW2 only)", true, false},
        {IDCANCEL, "Quit", true, true},
    };
    ShowWindow(MainDialog, SW_SHOW);
    for (const Expected &c : controls) {
        HWND item = GetDlgItem(MainDialog, c.id);
        ASSERT_TRUE(item != NULL) << c.id;
        EXPECT_EQ(c.text, ItemText(MainDialog, c.id)) << c.id;
        EXPECT_EQ(c.enabled, IsWindowEnabled(item) != FALSE) << c.id;
        EXPECT_EQ(c.visible, IsWindowVisible(item) != FALSE) << c.id;
    }
    char className[64];
    GetClassNameA(GetDlgItem(MainDialog, IDC_INSTALL_BAR), className, sizeof className);
    EXPECT_STREQ("msctls_progress32", className);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(MainDialog, IDC_INSTALL_BAR)));
    char caption[64];
    GetWindowTextA(MainDialog, caption, sizeof caption);
    EXPECT_STREQ(MainCaption, caption);
}

TEST(WindowPlacement, CentresOnTheDesktopRoundingDown)
{
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    int desktopWidth = desktop.right - desktop.left, desktopHeight = desktop.bottom - desktop.top;
    HWND window = CreateWindowExA(0, "STATIC", "probe", WS_POPUP, 0, 0, 301, 201, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(window != NULL);
    CentreWindow(window);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ((desktopWidth - 301) / 2, rect.left);
    EXPECT_EQ((desktopHeight - 201) / 2, rect.top);
    EXPECT_EQ(301, rect.right - rect.left);
    EXPECT_FALSE(IsWindowVisible(window));  // CentreWindow does not show
    CentreAndShowWindow(window);
    EXPECT_TRUE(IsWindowVisible(window));
    DestroyWindow(window);
}

TEST(WindowPlacement, WindowLargerThanTheDesktopGoesNegativeNotClamped)
{
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    int width = desktop.right - desktop.left + 101, height = desktop.bottom - desktop.top + 51;
    HWND window = CreateWindowExA(0, "STATIC", "probe", WS_POPUP, 0, 0, width, height, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(window != NULL);
    CentreWindow(window);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(-51, rect.left);  // -101 / 2 rounded down
    EXPECT_EQ(-26, rect.top);   // -51 / 2 rounded down
    DestroyWindow(window);
}

TEST(BoundedText, ResultThatDoesNotFitLeavesTheBufferEmpty)
{
    char buffer[8];
    EXPECT_EQ(1, FormatText(buffer, sizeof buffer, "%s", "1234567"));
    EXPECT_STREQ("1234567", buffer);
    EXPECT_EQ(0, FormatText(buffer, sizeof buffer, "%s", "12345678"));
    EXPECT_STREQ("", buffer);
    CopyText(buffer, sizeof buffer, "abc");
    EXPECT_EQ(1, AppendText(buffer, sizeof buffer, "defg"));
    EXPECT_EQ(0, AppendText(buffer, sizeof buffer, "h"));
    EXPECT_STREQ("abcdefg", buffer);  // a failed append keeps what was there
}

}  // namespace
