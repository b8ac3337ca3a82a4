// Playing installed games from the real main dialog, game 3's disc
// question, the invulnerable mode's configuration files, and games whose
// drive is away.
#include <gtest/gtest.h>

#include <thread>

#include "MainDriver.h"
#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {

const char Saga[] = "C:\\dsaga-tests\\saga\\";
const char CheaterText[] = "By choosing Invulnerable, your savegames will labelled as CHEATER.";
const std::string Invulnerable("Zorvan -k -b\0", 13);

class Play : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        // The compilation's programs only record their run while this is set.
        SetEnvironmentVariableA("DSAGA_CHILD_LOG", ChildLog().c_str());
        CreateDirectoryA(Saga, NULL);
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("DSAGA_CHILD_LOG", NULL);
        SetEnvironmentVariableA("DSAGA_WAIT_SW1", NULL);
        DestroyPanelForTest();
        DeleteLauncherKey();
        InsertDisc('D', 1);
    }

    // The game's own program from disc 1 in its directory under Saga.
    static void PutGame(const char *directory, const char *cdPath, const char *program)
    {
        std::string dir = std::string(Saga) + directory;
        CreateDirectoryA(dir.c_str(), NULL);
        ASSERT_TRUE(CopyFileA(cdPath, (dir + "\\" + program).c_str(), FALSE)) << cdPath;
    }
    static void InstallGames(bool game1, bool game2, bool game3, DWORD cheater = 0)
    {
        if (game1)
            PutGame("sw1", "D:\\sw1\\sw1.exe", "sw1.exe");
        if (game2)
            PutGame("sw2", "D:\\sw2\\sw2.exe", "sw2.exe");
        if (game3)
            PutGame("sw3", "D:\\sw3Inst\\sw3w.exe", "sw3w.exe");
        WriteRecord(Saga, "D", game1, game2, game3, cheater);
    }
    static std::string Config(const char *file) { return ReadFileBytes(std::string(Saga) + file); }
};

TEST_F(Play, EachGameRunsFromItsOwnDirectoryWithAnEmptyCommandLine)
{
    InstallGames(true, true, false);
    for (int button : {IDC_GAME1, IDC_GAME2}) {
        ScriptedUi ui;
        PressOnMainDialog(ui, button);
        EXPECT_EQ(0, RunMainDialog());
        ui.Verify();
    }
    std::vector<std::string> lines = ReadLineList(ChildLog());
    ASSERT_EQ(2u, lines.size());
    // Wine hands a child started with an empty command line its quoted program path.
    for (int game = 1; game <= 2; game++) {
        std::string name = "sw" + std::to_string(game);
        std::string directory = std::string(Saga) + name;
        std::string line = lines[game - 1];
        EXPECT_TRUE(line == name + "|" + directory + "||cfg=none" ||
                    line == name + "|" + directory + "|\"" + directory + "\\" + name + ".exe\"|cfg=none")
            << line;
    }
    EXPECT_EQ("Play Starwarden 1", TextAtQuit(IDC_GAME1));
}

TEST_F(Play, Game3AsksForDisc2OrAnyPlayDiscByItsIndexFile)
{
    InstallGames(false, false, true);
    const char disc2[] = "Please place The Draxmoor Saga CD-ROM disc 2 into drive: 'D'";
    const char disc2to5[] = "Please place The Draxmoor Saga CD-ROM disc 2, 3, 4 or 5 into drive: 'D'";
    struct Case {
        const char *name;
        bool index;
        int disc;
        const char *prompt;   // null: no prompt
        int insert;           // disc put in while the prompt shows; 0: Cancel
        bool runs;
    };
    const Case cases[] = {
        {"index, disc 4", true, 4, nullptr, 0, true},
        {"no index, disc 2", false, 2, nullptr, 0, true},
        {"no index, disc 4", false, 4, disc2, 0, false},
        {"index, disc 1, disc 5 put in", true, 1, disc2to5, 5, true},
        {"no index, disc 1, disc 2 put in", false, 1, disc2, 2, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string index = std::string(Saga) + "sw3\\SWS_NDX.SWS";
        if (c.index)
            WriteFileBytes(index, "index");
        else
            DeleteFileA(index.c_str());
        DeleteFileA(ChildLog().c_str());
        InsertDisc('D', c.disc);
        ScriptedUi ui;
        PressOnMainDialog(ui, IDC_GAME3);
        if (c.prompt != nullptr && c.insert != 0) {
            int insert = c.insert;
            ui.ExpectDialog("Play Starwarden 3", [insert](HWND) { InsertDisc('D', insert); }, IDOK);
        } else if (c.prompt != nullptr) {
            ui.ExpectBox("Play Starwarden 3", c.prompt, IDCANCEL)
              .ExpectBox("Play Starwarden 3", "Operation Aborted", IDOK);
        }
        RunMainDialog();
        ui.Verify();
        std::vector<std::string> lines = ReadLineList(ChildLog());
        if (c.runs) {
            ASSERT_EQ(1u, lines.size());
            EXPECT_EQ(0u, lines[0].find("sw3w|" + std::string(Saga) + "sw3|")) << lines[0];
        } else {
            EXPECT_TRUE(lines.empty());
        }
    }
}

// The launcher looks at its messages every second while a game runs; it
// must come back only when the game has ended, however long it plays.
TEST_F(Play, TheLauncherStaysHiddenUntilAGameThatPlaysForSecondsHasEnded)
{
    InstallGames(true, false, false);
    const std::string end = TestRoot() + "game-ends";
    SetEnvironmentVariableA("DSAGA_WAIT_SW1", end.c_str());
    bool playing = false, hiddenAfterSeconds = false, endedWhenBack = false;
    std::thread player([&] {
        for (int i = 0; i < 200 && !playing; i++) {
            playing = PathExists(end + ".reached");
            Sleep(50);
        }
        Sleep(1500);
        hiddenAfterSeconds = IsWindow(MainDialog) && !IsWindowVisible(MainDialog);
        WriteFileBytes(end, "end");
    });
    ScriptedUi ui;
    StepOnMainDialog(ui, {
        [](HWND dialog) { ClickItem(dialog, IDC_GAME1); },
        [&](HWND) { endedWhenBack = PathExists(end); },
    });
    RunMainDialog();
    player.join();
    ui.Verify();
    EXPECT_TRUE(playing);
    EXPECT_TRUE(hiddenAfterSeconds);
    EXPECT_TRUE(endedWhenBack);
    EXPECT_EQ(1u, ChildRunsOf("sw1").size());
}

// A drive that answers tells that the program has gone: the game is not
// taken for one whose drive is away, but tried, and then taken off.
TEST_F(Play, AGameDeletedWhileTheLauncherRunsCannotBeExecutedAndIsTakenOff)
{
    InstallGames(true, true, false);
    ScriptedUi ui;
    StepOnMainDialog(ui, {[](HWND dialog) {
        RemoveTree(std::string(Saga) + "sw1");
        ClickItem(dialog, IDC_GAME1);
    }});
    // The game's own directory, where it is started, is missed first.
    ui.ExpectBox("Cannot execute file:", std::string(Saga) + "sw1\\sw1.exe, " + std::to_string(ERROR_DIRECTORY), IDOK)
      .WithStyle(MB_OK);
    RunMainDialog();
    ui.Verify();
    EXPECT_EQ("Install Starwarden 1", TextAtQuit(IDC_GAME1));
    EXPECT_EQ("Play Starwarden 2", TextAtQuit(IDC_GAME2));
    EXPECT_EQ(0u, RecordNumber("Starwarden 1 Installed"));
    EXPECT_EQ(1u, RecordNumber("Starwarden 2 Installed"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw1").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw2").c_str()));
    EXPECT_EQ(std::vector<std::string>(), ReadLineList(ChildLog()));
}

// ------------------------------------------- the keyboard on the main dialog

// The games whose programs ran, in order ("sw1", "sw2", "sw3w").
std::vector<std::string> GamesRun()
{
    std::vector<std::string> games;
    for (const std::string &line : ReadLineList(ChildLog()))
        games.push_back(line.substr(0, line.find('|')));
    return games;
}

TEST_F(Play, EnterAtStartPressesTheFocusedButtonAndAsksNoUninstallQuestion)
{
    InstallGames(true, false, true);
    int focused = 0;
    ScriptedUi ui;
    StepOnMainDialog(ui, {[&](HWND dialog) {
        focused = FocusedItem(dialog);
        PressKeyOnFocus(VK_RETURN);
    }});
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();  // no "Proceed?" question
    EXPECT_EQ(IDC_GAME1, focused);
    EXPECT_EQ(std::vector<std::string>{"sw1"}, GamesRun());
    EXPECT_EQ(1u, RecordNumber("Starwarden 3 Installed"));
    EXPECT_TRUE(PathExists(std::string(Saga) + "sw3\\sw3w.exe"));
}

TEST_F(Play, TabToAnotherGameThenARepaintThenEnterPlaysThatGame)
{
    InstallGames(false, true, true);
    int focusAfterTab = 0, focusAfterPaint = 0;
    ScriptedUi ui;
    StepOnMainDialog(ui, {
        [](HWND) { PressKeyOnFocus(VK_TAB); },
        [&](HWND dialog) {
            focusAfterTab = FocusedItem(dialog);
            RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            focusAfterPaint = FocusedItem(dialog);
            PressKeyOnFocus(VK_RETURN);
        },
        // After the game the focus is where it was, so Enter plays it again.
        [](HWND) { PressKeyOnFocus(VK_RETURN); },
    });
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
    EXPECT_EQ(IDC_GAME2, focusAfterTab);  // "Uninstall Starwarden 1" is disabled
    EXPECT_EQ(IDC_GAME2, focusAfterPaint);
    EXPECT_EQ((std::vector<std::string>{"sw2", "sw2"}), GamesRun());
}

// From the last push button the focus had, Tab reaches the check box:
// Enter there is the dialog's own default, not the button it left.
TEST_F(Play, EnterOnTheInvulnerableBoxPressesTheFirstGameButton)
{
    InstallGames(true, false, false);
    std::vector<int> focus;
    std::vector<DialogStep> steps;
    for (int tab = 0; tab < 8; tab++)
        steps.push_back([&](HWND dialog) {
            focus.push_back(FocusedItem(dialog));
            PressKeyOnFocus(VK_TAB);
        });
    steps.push_back([&](HWND dialog) {
        focus.push_back(FocusedItem(dialog));
        PressKeyOnFocus(VK_RETURN);
    });
    ScriptedUi ui;
    StepOnMainDialog(ui, steps);
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
    EXPECT_EQ((std::vector<int>{IDC_GAME1, IDC_UNINSTALL1, IDC_GAME2, IDC_GAME3, IDC_SYSINFO, IDC_HELPFILE, IDC_DIRECTX,
                                IDC_PREVIEWS, IDC_INVULNERABLE}),
              focus);
    EXPECT_EQ(std::vector<std::string>{"sw1"}, GamesRun());
}

// The user goes to another program and comes back: the focus is where it
// was left, so Enter plays the game it is on.
TEST_F(Play, TheFocusComesBackWithTheDialogAfterAnotherWindowWasActive)
{
    InstallGames(false, true, true);
    bool focusLeft = false;
    int focusBack = 0;
    ScriptedUi ui;
    StepOnMainDialog(ui, {
        [](HWND) { PressKeyOnFocus(VK_TAB); },
        [&](HWND dialog) {
            HWND other = CreateWindowExA(0, "STATIC", "Another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                         200, 100, NULL, NULL, NULL, NULL);
            SetActiveWindow(other);
            focusLeft = GetFocus() == other;
            SetActiveWindow(dialog);
            DestroyWindow(other);
            focusBack = FocusedItem(dialog);
            PressKeyOnFocus(VK_RETURN);
        },
    });
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
    EXPECT_TRUE(focusLeft);
    EXPECT_EQ(IDC_GAME2, focusBack);
    EXPECT_EQ(std::vector<std::string>{"sw2"}, GamesRun());
}

// A click leaves the focus, and so the default, on the button clicked:
// answered No, Enter asks again. The uninstall then disables the button
// that had the focus: the keyboard still reaches the dialog afterwards.
TEST_F(Play, EnterAfterAClickedUninstallAsksAgainAndAfterTheUninstallTheFocusIsOnAControlStill)
{
    InstallGames(true, false, true);
    int focusAfterNo = 0, focusAfter = 0;
    ScriptedUi ui;
    StepOnMainDialog(ui, {
        [](HWND dialog) { ClickItem(dialog, IDC_UNINSTALL3); },
        [&](HWND dialog) {
            focusAfterNo = FocusedItem(dialog);
            PressKeyOnFocus(VK_RETURN);
        },
        [&](HWND dialog) {
            focusAfter = FocusedItem(dialog);
            PressKeyOnFocus(VK_RETURN);
        },
    });
    ui.ExpectDialog("Proceed?", [](HWND box) { ClickItem(box, IDNO); }, 0)
      .ExpectDialog("Proceed?", [](HWND box) { ClickItem(box, IDYES); }, 0);
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
    EXPECT_FALSE(PathExists(std::string(Saga) + "sw3"));
    EXPECT_EQ(IDC_UNINSTALL3, focusAfterNo);
    EXPECT_EQ(IDC_GAME1, focusAfter);
    EXPECT_EQ(std::vector<std::string>{"sw1"}, GamesRun());
}

TEST_F(Play, InvulnerableWritesTheOptionOnceWarnedAndEmptiesTheFilesWhenOff)
{
    InstallGames(true, true, false);
    {
        ScriptedUi ui;
        PressOnMainDialog(ui, IDC_INVULNERABLE);
        ui.ExpectBox("Cheater!", CheaterText, IDOK).WithStyle(MB_OK | MB_ICONEXCLAMATION);
        RunMainDialog();
        ui.Verify();
    }
    EXPECT_EQ(Invulnerable, Config("sw1\\starwdn.cfg"));
    EXPECT_EQ(Invulnerable, Config("sw2\\sw2.cfg"));
    EXPECT_EQ(1u, RecordNumber("Cheater"));
    EXPECT_EQ("ticked", CheckAtQuit(IDC_INVULNERABLE));

    // The game reads it from its working directory.
    {
        ScriptedUi ui;
        PressOnMainDialog(ui, IDC_GAME1);
        RunMainDialog();
        ui.Verify();
    }
    std::vector<std::string> lines = ReadLineList(ChildLog());
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("|cfg=5a6f7276616e202d6b202d6200")) << lines[0];

    {
        bool checkedAtStart = false;
        ScriptedUi ui;
        PressOnMainDialog(ui, IDC_INVULNERABLE, [&](HWND dialog) {
            checkedAtStart = IsDlgButtonChecked(dialog, IDC_INVULNERABLE) == BST_CHECKED;
        });
        RunMainDialog();
        ui.Verify();
        EXPECT_TRUE(checkedAtStart);
        EXPECT_EQ("clear", CheckAtQuit(IDC_INVULNERABLE));
    }
    EXPECT_TRUE(PathExists(std::string(Saga) + "sw1\\starwdn.cfg"));
    EXPECT_EQ("", Config("sw1\\starwdn.cfg"));
    EXPECT_EQ("", Config("sw2\\sw2.cfg"));
    EXPECT_EQ(0u, RecordNumber("Cheater"));
}

TEST_F(Play, InvulnerableTouchesOnlyInstalledGames)
{
    InstallGames(false, true, true);
    ScriptedUi ui;
    PressOnMainDialog(ui, IDC_INVULNERABLE);
    ui.ExpectBox("Cheater!", CheaterText, IDOK);
    RunMainDialog();
    ui.Verify();
    EXPECT_EQ(Invulnerable, Config("sw2\\sw2.cfg"));
    EXPECT_FALSE(PathExists(std::string(Saga) + "sw1"));
}

TEST_F(Play, AGameDirectoryGoneIsReportedAndTheModeStaysOff)
{
    CreatePanelForTest();
    CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, Saga);
    LauncherState.Game1Installed = 1;  // its directory was deleted behind the launcher's back
    LauncherState.Game2Installed = 1;
    CreateDirectoryA((std::string(Saga) + "sw2").c_str(), NULL);
    WriteRecord(Saga, "D", 1, 1, 0, 0);
    ScriptedUi ui;
    ui.ExpectBox("Cheater!", CheaterText, IDOK)
      .ExpectBox("Cannot create file: (MC)", std::string(Saga) + "sw1\\starwdn.cfg 2\nInvulnerable stays off.", IDOK)
      .WithStyle(MB_OK);
    ToggleInvulnerable();
    ui.Verify();
    EXPECT_EQ(0, LauncherState.Cheater);
    EXPECT_EQ(0u, RecordNumber("Cheater"));
    EXPECT_FALSE(PathExists(std::string(Saga) + "sw2\\sw2.cfg"));  // not written, so as it was
}

// A name taken by a directory on a drive that answers: the second game's
// file cannot be written once the first one's has been.
TEST_F(Play, AFileThatCannotBeWrittenLeavesTheBoxTheModeAndEveryFileAsTheyWere)
{
    const struct {
        DWORD cheater;
        const std::string before;  // game 1's file
        const char *stays;
        const char *mark;
    } cases[] = {
        {0, "", "Invulnerable stays off.", "clear"},
        {1, Invulnerable, "Invulnerable stays on.", "ticked"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mark);
        ResetTestState();
        CreateDirectoryA(Saga, NULL);
        InstallGames(true, true, false, c.cheater);
        WriteFileBytes(std::string(Saga) + "sw1\\starwdn.cfg", c.before);
        CreateDirectoryA((std::string(Saga) + "sw2\\sw2.cfg").c_str(), NULL);
        ScriptedUi ui;
        PressOnMainDialog(ui, IDC_INVULNERABLE);
        if (c.cheater == 0)
            ui.ExpectBox("Cheater!", CheaterText, IDOK);
        ui.ExpectBox("Cannot create file: (MC)", std::string(Saga) + "sw2\\sw2.cfg 13\n" + c.stays, IDOK);
        RunMainDialog();
        ui.Verify();
        EXPECT_EQ(c.mark, CheckAtQuit(IDC_INVULNERABLE));
        EXPECT_EQ(c.cheater, RecordNumber("Cheater"));
        EXPECT_EQ(c.before, Config("sw1\\starwdn.cfg"));
    }
}

// A mode the record cannot keep would be lost at the next start while the
// files still said it: the box, the record and the files stay as they were.
TEST_F(Play, AModeTheRecordCannotKeepLeavesTheBoxAndTheFilesAsTheyWere)
{
    InstallGames(true, true, false, 0);
    WriteFileBytes(std::string(Saga) + "sw1\\starwdn.cfg", "");
    WriteFileBytes(std::string(Saga) + "sw2\\sw2.cfg", "");
    ScriptedUi ui;
    StepOnMainDialog(ui, {[](HWND dialog) {
        LockKeyAgainstWriting(HKEY_LOCAL_MACHINE, LauncherKeyPath);
        ClickItem(dialog, IDC_INVULNERABLE);
    }});
    ui.ExpectBox("Cheater!", CheaterText, IDOK);
    ui.ExpectBox("REGISTRY", "!create registry", IDOK);
    RunMainDialog();
    ui.Verify();
    UnlockKey(HKEY_LOCAL_MACHINE, LauncherKeyPath);
    EXPECT_EQ("clear", CheckAtQuit(IDC_INVULNERABLE));
    EXPECT_EQ(0, LauncherState.Cheater);
    EXPECT_EQ(0u, RecordNumber("Cheater"));
    EXPECT_EQ("", Config("sw1\\starwdn.cfg"));
    EXPECT_EQ("", Config("sw2\\sw2.cfg"));
}

// ---------------------------------------------------------------------------
// Games on a drive that is away: unplugged, or a drive with nothing in it

const char AwaySaga[] = "G:\\saga\\";

class DriveAway : public ::testing::Test {
protected:
    void SetUp() override { ResetTestState(); }
    void TearDown() override
    {
        MapAwayDrive(AWAY_DRIVE_UNMAPPED);
        DestroyPanelForTest();
        DeleteLauncherKey();
        InsertDisc('D', 1);
    }

    // Games 1 and 2 on drive G:, with the entries and the program folder
    // that their installation and the last start left.
    static void InstallOnAwayDrive(DWORD cheater = 0)
    {
        MapAwayDrive(AWAY_DRIVE_CONNECTED);
        RemoveTree("G:\\saga");
        ASSERT_TRUE(CreateDirectoryA("G:\\saga", NULL)) << GetLastError();
        for (const char *game : {"sw1", "sw2"}) {
            std::string directory = std::string(AwaySaga) + game;
            CreateDirectoryA(directory.c_str(), NULL);
            std::string program = std::string("\\") + game + "\\" + game + ".exe";
            ASSERT_TRUE(CopyFileA(("D:" + program).c_str(), (std::string("G:\\saga") + program).c_str(), FALSE));
        }
        WriteRecord(AwaySaga, "D", 1, 1, 0, cheater);
        CreatePanelForTest();
        ScriptedUi ui;
        ASSERT_EQ(1, LoadLauncherState());
        ASSERT_EQ(1, DetectInstalledGames());
        ui.Verify();
        DestroyPanelForTest();
        CreateDirectoryA(ProgramFolder().c_str(), NULL);
        WriteFileBytes(ProgramFolder() + "SWDSaga.exe", "MZ");
    }
    static std::string ProgramFolder() { return ShellFolder("Programs") + "\\Tessarine Systems\\"; }
    // What Play says of a game on drive G:, and what Uninstall asks.
    static std::string AwayText(const std::string &game, const char *directory, const std::string &rest)
    {
        return "Drive G: is not available.\n" + game + " is installed on it, in " + AwaySaga + directory + "\n" + rest;
    }
    static std::string AwayMessage(const char *game, const char *directory)
    {
        return AwayText(game, directory, "Please connect the drive, then try again.");
    }
    static std::string UninstallQuestion(const std::string &game, const char *directory)
    {
        return AwayText(game, directory,
                        "\nTry Again: look for the drive again once it is connected, and uninstall " + game +
                            " from it.\nContinue: if the drive is gone for good, take " + game +
                            " off the launcher and off Windows' list of programs without touching the drive; "
                            "whatever is on it stays as it is.\nCancel: change nothing.");
    }
    static std::string InstallMessage(const std::string &games)
    {
        return "Drive G: is not available.\n" + games + " installed on it, in " + AwaySaga +
               ", where a new game goes too.\n\nPlease connect the drive, then try again. If the drive is gone "
               "for good, first take the games installed on it off the list, each with its Uninstall button.";
    }
    static const UINT QuestionStyle = MB_CANCELTRYCONTINUE | MB_ICONEXCLAMATION;
    // The panel as the user sees it once the button's work is done.
    struct PanelLook {
        std::string labels[3];
        bool uninstallEnabled[3] = {};
        bool invulnerableVisible = false;
    };
    // Presses the button on the main dialog, answering as `expect` says,
    // and looks at the panel afterwards.
    static PanelLook PressAndLook(int button, std::function<void(ScriptedUi &)> expect)
    {
        PanelLook look;
        ScriptedUi ui;
        StepOnMainDialog(ui, {
            [button](HWND dialog) { PostMessageA(dialog, WM_COMMAND, button, 0); },
            [&look](HWND dialog) {
                for (int game = 0; game < 3; game++) {
                    look.labels[game] = ItemText(dialog, GameTable[game].GameButton);
                    look.uninstallEnabled[game] =
                        IsWindowEnabled(GetDlgItem(dialog, GameTable[game].UninstallButton)) != FALSE;
                }
                look.invulnerableVisible = IsWindowVisible(GetDlgItem(dialog, IDC_INVULNERABLE)) != FALSE;
            },
        });
        expect(ui);
        RunMainDialog();
        ui.Verify();
        return look;
    }
    // Every trace of the installation that the launcher keeps outside the games' files.
    static std::vector<std::string> Traces()
    {
        std::vector<std::string> traces;
        for (const char *name : {"Installed To:", "Starwarden 1 Installed", "Starwarden 2 Installed"}) {
            RegistryValue value = ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, name);
            traces.push_back(std::string(value.bytes.begin(), value.bytes.end()));
        }
        for (const char *game : {"sw1", "sw2"})
            for (const char *name : {"DisplayName", "UninstallString", "InstallLocation", "EstimatedSize"}) {
                RegistryValue value = ReadValue(HKEY_LOCAL_MACHINE, UninstallEntryKey(game).c_str(), name);
                traces.push_back(value.present ? std::string(value.bytes.begin(), value.bytes.end()) : "(absent)");
            }
        traces.push_back(PathExists(ProgramFolder() + "SWDSaga.exe") ? "folder" : "(no folder)");
        return traces;
    }
};

TEST_F(DriveAway, GamesStayInstalledWhileTheirDriveIsAwayAndPlayOnceItIsBack)
{
    const struct { const char *name; AwayDriveMapping mapping; } ways[] = {
        {"drive mapping removed", AWAY_DRIVE_UNMAPPED},
        {"empty CD-ROM drive, not ready", AWAY_DRIVE_NOT_READY},
    };
    for (const auto &way : ways) {
        SCOPED_TRACE(way.name);
        ResetTestState();
        ASSERT_NO_FATAL_FAILURE(InstallOnAwayDrive());
        const std::vector<std::string> installed = Traces();
        ASSERT_EQ("G:\\saga\\" + std::string(1, '\0'), installed[0]);
        ASSERT_EQ("folder", installed.back());
        MapAwayDrive(way.mapping);
        DeleteFileA(ChildLog().c_str());

        std::string label1, label2;
        bool uninstallEnabled = false;
        {
            ScriptedUi ui;
            PressOnMainDialog(ui, IDC_GAME1, [&](HWND dialog) {
                label1 = ItemText(dialog, IDC_GAME1);
                label2 = ItemText(dialog, IDC_GAME2);
                uninstallEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_UNINSTALL1)) != FALSE;
            });
            ui.ExpectBox("Starwarden 1", AwayMessage("Starwarden 1", "sw1\\"), IDOK)
              .WithStyle(MB_OK | MB_ICONEXCLAMATION);
            RunMainDialog();
            ui.Verify();
        }
        EXPECT_EQ("Play Starwarden 1", label1);
        EXPECT_EQ("Play Starwarden 2", label2);
        EXPECT_TRUE(uninstallEnabled);
        {
            ScriptedUi ui;  // Cancel at the question changes nothing
            PressOnMainDialog(ui, IDC_UNINSTALL2);
            ui.ExpectBox("Starwarden 2", UninstallQuestion("Starwarden 2", "sw2\\"), IDCANCEL)
              .WithStyle(QuestionStyle);
            RunMainDialog();
            ui.Verify();
        }
        // No runtime setup, no intro, no game: nothing was started at all.
        EXPECT_EQ(std::vector<std::string>(), ReadLineList(ChildLog()));
        EXPECT_EQ(0, FirstRun);
        EXPECT_EQ(installed, Traces());

        MapAwayDrive(AWAY_DRIVE_CONNECTED);
        PressOnceOnMainDialog(IDC_GAME1);
        std::vector<std::string> runs = ChildRunsOf("sw1");
        ASSERT_EQ(1u, runs.size());
        EXPECT_EQ(0u, runs[0].find("sw1|G:\\saga\\sw1|")) << runs[0];
        EXPECT_EQ(installed, Traces());
    }

    // A drive that answers does tell that a game has gone.
    SetFileAttributesA("G:\\saga\\sw2\\sw2.exe", FILE_ATTRIBUTE_NORMAL);  // copied from the disc
    ASSERT_TRUE(DeleteFileA("G:\\saga\\sw2\\sw2.exe")) << GetLastError();
    CreatePanelForTest();
    ScriptedUi ui;
    ASSERT_EQ(1, LoadLauncherState());
    EXPECT_EQ(1, DetectInstalledGames());
    ui.Verify();
    EXPECT_EQ(1u, RecordNumber("Starwarden 1 Installed"));
    EXPECT_EQ(0u, RecordNumber("Starwarden 2 Installed"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw2").c_str()));
}

// A drive that never comes back (a dead disk, a letter given to another
// disk) must not hold the games for ever: Continue takes them off the
// lists, and their files stay on the drive as they are.
TEST_F(DriveAway, ContinueAtUninstallTakesTheGameOffTheListsAndLeavesItsFilesOnTheDrive)
{
    ASSERT_NO_FATAL_FAILURE(InstallOnAwayDrive());
    const std::vector<std::string> files1 = ListedFiles("G:\\saga\\sw1\\"), files2 = ListedFiles("G:\\saga\\sw2\\");
    const std::string program1 = ReadFileBytes("G:\\saga\\sw1\\sw1.exe");
    const std::string program2 = ReadFileBytes("G:\\saga\\sw2\\sw2.exe");
    ASSERT_FALSE(program1.empty());
    MapAwayDrive(AWAY_DRIVE_UNMAPPED);
    DeleteFileA(ChildLog().c_str());

    PanelLook look = PressAndLook(IDC_UNINSTALL2, [](ScriptedUi &ui) {
        ui.ExpectBox("Starwarden 2", UninstallQuestion("Starwarden 2", "sw2\\"), IDCONTINUE).WithStyle(QuestionStyle);
    });
    EXPECT_EQ("Play Starwarden 1", look.labels[0]);
    EXPECT_TRUE(look.uninstallEnabled[0]);
    EXPECT_EQ("Install Starwarden 2", look.labels[1]);
    EXPECT_FALSE(look.uninstallEnabled[1]);
    EXPECT_TRUE(look.invulnerableVisible);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw1").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw2").c_str()));
    EXPECT_EQ(1u, RecordNumber("Starwarden 1 Installed"));
    EXPECT_EQ(0u, RecordNumber("Starwarden 2 Installed"));
    RegistryValue directory = ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Installed To:");
    EXPECT_EQ(std::string(AwaySaga) + '\0', std::string(directory.bytes.begin(), directory.bytes.end()));
    EXPECT_TRUE(PathExists(ProgramFolder() + "SWDSaga.exe"));

    // Game 2 cannot go back beside game 1 while the drive is away.
    PressOnceOnMainDialog(IDC_GAME2, [](ScriptedUi &ui) {
        ui.ExpectBox("Install Directory", InstallMessage("Starwarden 1 is"), IDOK);
    });

    // The last game gone, the installation is forgotten.
    look = PressAndLook(IDC_UNINSTALL1, [](ScriptedUi &ui) {
        ui.ExpectBox("Starwarden 1", UninstallQuestion("Starwarden 1", "sw1\\"), IDCONTINUE).WithStyle(QuestionStyle);
    });
    EXPECT_EQ("Install Starwarden 1", look.labels[0]);
    EXPECT_FALSE(look.uninstallEnabled[0]);
    EXPECT_FALSE(look.invulnerableVisible);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw1").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
    EXPECT_FALSE(PathExists(ProgramFolder()));
    EXPECT_EQ(std::vector<std::string>(), ReadLineList(ChildLog()));  // no uninstaller, nothing

    MapAwayDrive(AWAY_DRIVE_CONNECTED);
    EXPECT_EQ(files1, ListedFiles("G:\\saga\\sw1\\"));
    EXPECT_EQ(files2, ListedFiles("G:\\saga\\sw2\\"));
    EXPECT_EQ(program1, ReadFileBytes("G:\\saga\\sw1\\sw1.exe"));
    EXPECT_EQ(program2, ReadFileBytes("G:\\saga\\sw2\\sw2.exe"));
}

TEST_F(DriveAway, TryAgainAtUninstallAsksAgainUntilTheDriveIsBackThenUninstalls)
{
    ASSERT_NO_FATAL_FAILURE(InstallOnAwayDrive());
    MapAwayDrive(AWAY_DRIVE_UNMAPPED);
    const std::string question = UninstallQuestion("Starwarden 1", "sw1\\");
    PanelLook look = PressAndLook(IDC_UNINSTALL1, [&question](ScriptedUi &ui) {
        ui.ExpectBox("Starwarden 1", question, IDTRYAGAIN).WithStyle(QuestionStyle);
        ui.ExpectDialog("Starwarden 1", [&question](HWND box) {
            EXPECT_EQ(question, ItemText(box, 0xFFFF));
            MapAwayDrive(AWAY_DRIVE_CONNECTED);
            PressKeyOnFocus(VK_RETURN);  // Try Again is the default
        }, 0);
        ui.ExpectBox("Proceed?", "Uninstalling Starwarden 1 will also erase any savegames.", IDYES);
    });
    EXPECT_EQ("Install Starwarden 1", look.labels[0]);
    EXPECT_EQ("Play Starwarden 2", look.labels[1]);
    EXPECT_FALSE(PathExists("G:\\saga\\sw1"));
    EXPECT_TRUE(PathExists("G:\\saga\\sw2\\sw2.exe"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw1").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw2").c_str()));
    EXPECT_EQ(0u, RecordNumber("Starwarden 1 Installed"));
    EXPECT_EQ(1u, RecordNumber("Starwarden 2 Installed"));
}

// The install directory is fixed while games are recorded in it: a new
// game waits for their drive, and nothing else is asked or done.
TEST_F(DriveAway, InstallingAnotherGameAsksForTheDriveAndDoesNothingElse)
{
    ASSERT_NO_FATAL_FAILURE(InstallOnAwayDrive());
    const std::vector<std::string> installed = Traces();
    for (AwayDriveMapping mapping : {AWAY_DRIVE_UNMAPPED, AWAY_DRIVE_NOT_READY}) {
        SCOPED_TRACE(mapping);
        MapAwayDrive(mapping);
        DeleteFileA(ChildLog().c_str());
        PressOnceOnMainDialog(IDC_GAME3, [](ScriptedUi &ui) {
            ui.ExpectBox("Install Directory", InstallMessage("Starwarden 1 and Starwarden 2 are"), IDOK)
              .WithStyle(MB_OK | MB_ICONEXCLAMATION);
        });
        EXPECT_EQ("Install Starwarden 3", TextAtQuit(IDC_GAME3));
        EXPECT_EQ(std::vector<std::string>(), ReadLineList(ChildLog()));
        EXPECT_EQ(0u, RecordNumber("Starwarden 3 Installed"));
        EXPECT_EQ(installed, Traces());
        MapAwayDrive(AWAY_DRIVE_CONNECTED);
        EXPECT_FALSE(PathExists("G:\\saga\\sw3"));
    }
}

// The files cannot be written while the drive is away, so the mode stays
// as it was: the box, the record and the files that the games will read.
TEST_F(DriveAway, InvulnerableStaysAsItWasWhileTheGamesDriveIsAway)
{
    const struct { const char *name; AwayDriveMapping mapping; } ways[] = {
        {"drive mapping removed", AWAY_DRIVE_UNMAPPED},
        {"empty CD-ROM drive, not ready", AWAY_DRIVE_NOT_READY},
    };
    for (const auto &way : ways)
        for (DWORD cheater : {0u, 1u}) {
            SCOPED_TRACE(std::string(way.name) + (cheater ? ", on" : ", off"));
            ResetTestState();
            ASSERT_NO_FATAL_FAILURE(InstallOnAwayDrive(cheater));
            const std::string file = cheater ? Invulnerable : "";
            for (const char *config : {"sw1\\starwdn.cfg", "sw2\\sw2.cfg"})
                WriteFileBytes(std::string(AwaySaga) + config, file);
            MapAwayDrive(way.mapping);

            ScriptedUi ui;  // one message, and no warning for a mode that cannot be had
            PressOnMainDialog(ui, IDC_INVULNERABLE);
            ui.ExpectBox("Starwarden 1", AwayMessage("Starwarden 1", "sw1\\"), IDOK);
            RunMainDialog();
            ui.Verify();
            EXPECT_EQ(cheater ? "ticked" : "clear", CheckAtQuit(IDC_INVULNERABLE));
            EXPECT_EQ(cheater, RecordNumber("Cheater"));

            MapAwayDrive(AWAY_DRIVE_CONNECTED);
            for (const char *config : {"sw1\\starwdn.cfg", "sw2\\sw2.cfg"})
                EXPECT_EQ(file, ReadFileBytes(std::string(AwaySaga) + config)) << config;
        }
}

}  // namespace
