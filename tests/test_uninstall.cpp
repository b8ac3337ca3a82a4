// Taking games off the disk again: the three Uninstall buttons, forgetting
// the installation when the last game goes, and the hand-over of the
// launcher's temporary copy to the disc's uninstaller at exit.
#include <gtest/gtest.h>

#include "MainDriver.h"
#include "RemoteUi.h"
#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {

const char Saga[] = "C:\\dsaga-tests\\saga\\";

std::string UninstallKey(int game)
{
    return UninstallEntryKey(GameTable[game - 1].KeyName);
}

std::string GameDirectory(int game)
{
    return std::string(Saga) + GameTable[game - 1].Directory;
}

std::vector<unsigned char> FlagBytes(int game)
{
    char name[32];
    FormatText(name, sizeof name, "Starwarden %d Installed", game);
    return ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, name).bytes;
}

class Uninstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        CreatePanelForTest();
        CreateDirectoryA(Saga, NULL);
    }
    void TearDown() override
    {
        DestroyPanelForTest();
        DeleteLauncherKey();
        RemoveTree(ProgramFolder());
    }

    // A game as an installation leaves it: its files (all writable) and, for
    // games 1 and 2, a savegame directory.
    static void PutGame(int game)
    {
        const GameInfo &row = GameTable[game - 1];
        std::string directory = GameDirectory(game);
        CreateDirectoryA(directory.c_str(), NULL);
        WriteFileBytes(directory + row.Executable, "MZ");
        WriteFileBytes(directory + "data.dat", "data");
        if (game == 3) {
            WriteFileBytes(directory + "objects.tre", "tre");
            WriteFileBytes(directory + "save1.sav", "save");
        } else {
            CreateDirectoryA((directory + "gamedat").c_str(), NULL);
            WriteFileBytes(directory + "gamedat\\save1.sav", "save");
        }
    }

    // Lays out the games, writes their record and starts as the launcher does.
    static void Install(bool game1, bool game2, bool game3)
    {
        bool wanted[] = {game1, game2, game3};
        for (int game = 1; game <= 3; game++)
            if (wanted[game - 1])
                PutGame(game);
        WriteRecord(Saga, "D", game1, game2, game3, 1);
        ASSERT_EQ(1, LoadLauncherState());
        ASSERT_EQ(1, DetectInstalledGames());
    }

    static std::string ProgramFolder()
    {
        return ShellFolder("Programs") + "\\Tessarine Systems\\";
    }

    // Makes `programs` the user's Programs folder; returns the one it was.
    static std::string MoveProgramsFolder(const std::string &programs)
    {
        std::string was = ShellFolder("Programs");
        WriteText(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                  "Programs", programs);
        CreateDirectoryA(programs.c_str(), NULL);
        return was;
    }

    static std::string Question(int game)
    {
        return "Uninstalling Starwarden " + std::to_string(game) + " will also erase any savegames.";
    }

    static std::string LeftoversMessage(int game)
    {
        return "Not every file could be removed: some may be in use by another program, or were not installed "
               "with the game.\nWhat is left is in:\n" + GameDirectory(game);
    }

    static void RunUninstall(int game)
    {
        switch (game) {
        case 1: UninstallGame1(); break;
        case 2: UninstallGame2(); break;
        default: UninstallGame3(); break;
        }
    }
};

TEST_F(Uninstall, EachGameGoesWhileTheOthersStay)
{
    for (int game = 1; game <= 3; game++) {
        SCOPED_TRACE(GameTable[game - 1].DisplayName);
        SetUp();
        Install(true, true, true);
        ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(game).c_str()));
        Game3ExtrasLevel = 1;

        ScriptedUi ui;
        ui.ExpectBox("Proceed?", Question(game), IDYES).WithStyle(MB_YESNO | MB_ICONQUESTION);
        RunUninstall(game);
        ui.Verify();

        EXPECT_FALSE(PathExists(GameDirectory(game)));
        EXPECT_TRUE(PathExists(Saga));
        EXPECT_EQ(std::vector<unsigned char>({0, 0, 0, 0}), FlagBytes(game));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(game).c_str()));
        EXPECT_EQ(GameTable[game - 1].InstallText, ItemText(MainDialog, GameTable[game - 1].GameButton));
        EXPECT_EQ(game == 3 ? 0 : 1, Game3ExtrasLevel);
        for (int other = 1; other <= 3; other++) {
            if (other == game)
                continue;
            SCOPED_TRACE(other);
            EXPECT_TRUE(PathExists(GameDirectory(other) + GameTable[other - 1].Executable));
            EXPECT_EQ(std::vector<unsigned char>({1, 0, 0, 0}), FlagBytes(other));
            EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(other).c_str()));
        }
        EXPECT_EQ(std::vector<unsigned char>({1, 0, 0, 0}),
                  ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Cheater").bytes);
    }
}

TEST_F(Uninstall, TheOnlyGameTakesTheInstallDirectoryAndEveryTraceWithIt)
{
    for (int game = 1; game <= 3; game++) {
        SCOPED_TRACE(GameTable[game - 1].DisplayName);
        SetUp();
        Install(game == 1, game == 2, game == 3);
        std::string folder = ProgramFolder();
        CreateDirectoryA(folder.c_str(), NULL);
        WriteFileBytes(folder + "SWDSaga.exe", "MZ");

        ScriptedUi ui;
        ui.ExpectBox("Proceed?", Question(game), IDYES);
        RunUninstall(game);
        ui.Verify();

        EXPECT_FALSE(PathExists(Saga));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, CompanyKeyPath));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(game).c_str()));
        EXPECT_STREQ(DefaultInstallDirectory, LauncherState.InstalledTo);
        EXPECT_EQ(0, *GameTable[game - 1].InstalledFlag);
        EXPECT_EQ(0, LauncherState.Cheater);
        EXPECT_EQ(1, FirstRun);
        EXPECT_FALSE(PathExists(folder));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(MainDialog, IDC_INVULNERABLE)));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(MainDialog, IDC_INSTALL_BAR)));
    }
}

// The record must never claim a game whose files have gone: when it cannot
// be saved without the game, the game stays whole and claimed everywhere
// (panel, list of programs, memory), so a later save in the same run
// still claims it.
TEST_F(Uninstall, RecordThatCannotBeSavedKeepsTheGameWhole)
{
    Install(true, true, false);
    DestroyPanelForTest();
    std::string labelAfterFailure;
    bool uninstallEnabled = false, entryAfterFailure = false;
    ScriptedUi ui;
    StepOnMainDialog(ui, {
        [](HWND dialog) {
            LockKeyAgainstWriting(HKEY_LOCAL_MACHINE, LauncherKeyPath);
            ClickItem(dialog, IDC_UNINSTALL2);
        },
        [&](HWND dialog) {
            labelAfterFailure = ItemText(dialog, IDC_GAME2);
            uninstallEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_UNINSTALL2)) != FALSE;
            entryAfterFailure = KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(2).c_str());
            UnlockKey(HKEY_LOCAL_MACHINE, LauncherKeyPath);
            ClickItem(dialog, IDC_INVULNERABLE);  // saves the record again, now that it can be
        },
    });
    ui.ExpectBox("Proceed?", Question(2), IDYES);
    ui.ExpectBox("REGISTRY", "!create registry", IDOK).WithStyle(MB_OK);
    RunMainDialog();
    ui.Verify();
    UnlockKey(HKEY_LOCAL_MACHINE, LauncherKeyPath);
    EXPECT_EQ("Play Starwarden 2", labelAfterFailure);
    EXPECT_TRUE(uninstallEnabled);
    EXPECT_TRUE(entryAfterFailure);
    for (const char *file : {"sw2.exe", "data.dat", "gamedat\\save1.sav"})
        EXPECT_TRUE(PathExists(GameDirectory(2) + file)) << file;
    EXPECT_EQ(1, LauncherState.Game2Installed);
    EXPECT_EQ(0u, RecordNumber("Cheater"));  // the later save was made
    EXPECT_EQ(std::vector<unsigned char>({1, 0, 0, 0}), FlagBytes(2));
    EXPECT_EQ("Play Starwarden 2", TextAtQuit(IDC_GAME2));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(2).c_str()));

    // The next start finds it whole and offers it again.
    ResetLauncherGlobals();
    CreatePanelForTest();
    ASSERT_EQ(1, LoadLauncherState());
    ASSERT_EQ(1, DetectInstalledGames());
    EXPECT_EQ("Play Starwarden 2", ItemText(MainDialog, IDC_GAME2));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(2).c_str()));
}

// Erasing savegames is not what a reflex Enter should do.
TEST_F(Uninstall, EnterAtTheQuestionAnswersNo)
{
    Install(true, false, true);
    for (int game : {1, 3}) {
        SCOPED_TRACE(game);
        ScriptedUi ui;
        ui.ExpectDialog("Proceed?", [](HWND) { PressKeyOnFocus(VK_RETURN); }, 0);
        RunUninstall(game);
        ui.Verify();
        EXPECT_TRUE(PathExists(GameDirectory(game) + GameTable[game - 1].Executable));
        EXPECT_EQ(1, *GameTable[game - 1].InstalledFlag);
        EXPECT_EQ(std::vector<unsigned char>({1, 0, 0, 0}), FlagBytes(game));
    }
}

TEST_F(Uninstall, NoAtTheQuestionChangesNothing)
{
    Install(true, false, true);
    for (int game : {1, 3}) {
        SCOPED_TRACE(game);
        ScriptedUi ui;
        ui.ExpectBox("Proceed?", Question(game), IDNO).WithStyle(MB_YESNO | MB_ICONQUESTION);
        RunUninstall(game);
        ui.Verify();
        EXPECT_TRUE(PathExists(GameDirectory(game) + GameTable[game - 1].Executable));
        EXPECT_TRUE(PathExists(GameDirectory(game) + "data.dat"));
        EXPECT_EQ(1, *GameTable[game - 1].InstalledFlag);
        EXPECT_EQ(std::vector<unsigned char>({1, 0, 0, 0}), FlagBytes(game));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(game).c_str()));
    }
    EXPECT_TRUE(PathExists(GameDirectory(1) + "gamedat\\save1.sav"));
}

TEST_F(Uninstall, GameNotInstalledIsRefusedWithoutTheQuestion)
{
    Install(true, false, false);
    ScriptedUi ui;
    ui.ExpectBox("Starwarden 2", "Uninstall, but not Installed)", IDOK).WithStyle(MB_OK);
    ui.ExpectBox("Starwarden 3", "Uninstall, but not Installed)", IDOK).WithStyle(MB_OK);
    UninstallGame2();
    UninstallGame3();
    ui.Verify();
    EXPECT_EQ(1, LauncherState.Game1Installed);
}

TEST_F(Uninstall, LeftoversKeepTheGameDirectoryButTheGameIsGone)
{
    Install(true, false, false);
    CreateDirectoryA((GameDirectory(1) + "maps").c_str(), NULL);
    WriteFileBytes(GameDirectory(1) + "maps\\custom.map", "map");
    SetFileAttributesA((GameDirectory(1) + "data.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    ScriptedUi ui;
    ui.ExpectBox("Proceed?", Question(1), IDYES);
    ui.ExpectBox("Uninstalling Starwarden 1", LeftoversMessage(1), IDOK).WithStyle(MB_OK | MB_ICONEXCLAMATION);
    UninstallGame1();
    ui.Verify();
    EXPECT_TRUE(PathExists(GameDirectory(1) + "maps\\custom.map"));
    EXPECT_FALSE(PathExists(GameDirectory(1) + "data.dat"));  // read-only by the user's hand, deleted all the same
    EXPECT_FALSE(PathExists(GameDirectory(1) + "sw1.exe"));
    EXPECT_FALSE(PathExists(GameDirectory(1) + "gamedat"));
    EXPECT_EQ(0, LauncherState.Game1Installed);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(1).c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));  // no game left: forgotten
}

// A file held open by another program stays; the user hears of it once,
// after the game is already marked not installed.
TEST_F(Uninstall, FileInUseIsReportedOnceAfterTheGameIsMarkedNotInstalled)
{
    for (int game : {2, 3}) {
        SCOPED_TRACE(game);
        SetUp();
        Install(true, game == 2, game == 3);
        std::string held = GameDirectory(game) + (game == 2 ? "gamedat\\save1.sav" : "save1.sav");
        HANDLE file = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        WriteFileBytes(GameDirectory(game) + "readonly.dat", "ro");
        SetFileAttributesA((GameDirectory(game) + "readonly.dat").c_str(), FILE_ATTRIBUTE_READONLY);
        bool markedFirst = false;
        ScriptedUi ui;
        ui.ExpectBox("Proceed?", Question(game), IDYES);
        ui.ExpectDialog("Uninstalling " + std::string(GameTable[game - 1].DisplayName), [&](HWND box) {
            EXPECT_EQ(LeftoversMessage(game), ItemText(box, 0xFFFF));
            markedFirst = *GameTable[game - 1].InstalledFlag == 0
                       && FlagBytes(game) == std::vector<unsigned char>({0, 0, 0, 0})
                       && !KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(game).c_str())
                       && ItemText(MainDialog, GameTable[game - 1].GameButton) == GameTable[game - 1].InstallText;
        }, IDOK);
        RunUninstall(game);
        ui.Verify();
        CloseHandle(file);
        EXPECT_TRUE(markedFirst);
        EXPECT_TRUE(PathExists(held));
        EXPECT_FALSE(PathExists(GameDirectory(game) + "readonly.dat"));
        EXPECT_FALSE(PathExists(GameDirectory(game) + GameTable[game - 1].Executable));
        EXPECT_EQ(1, LauncherState.Game1Installed);
    }
}

// Savegames kept in a cloud folder, with a link left in place of gamedat\:
// the uninstall from the main dialog leaves the link and everything it
// leads to, and names the link with what is left.
TEST_F(Uninstall, ALinkInPlaceOfTheSavegamesStaysWithEverythingItLeadsTo)
{
    const std::string cloud = TestRoot() + "cloud", savegames = GameDirectory(1) + "gamedat";
    CreateDirectoryA(cloud.c_str(), NULL);
    WriteFileBytes(cloud + "\\save1.sav", "mine");
    WriteFileBytes(cloud + "\\notes.txt", "not the game's");
    PutGame(1);
    RemoveTree(savegames);
    ASSERT_TRUE(MakeDirectoryLink(cloud, savegames));
    WriteRecord(Saga, "D", 1, 0, 0, 0);
    DestroyPanelForTest();

    ScriptedUi ui;
    PressOnMainDialog(ui, IDC_UNINSTALL1);
    ui.ExpectBox("Proceed?", Question(1), IDYES);
    ui.ExpectBox("Uninstalling Starwarden 1",
                 LeftoversMessage(1) + "\n\n" LINK_KEPT_TEXT "\n" + savegames + "\\", IDOK)
      .WithStyle(MB_OK | MB_ICONEXCLAMATION);
    RunMainDialog();
    ui.Verify();

    EXPECT_EQ("mine", ReadFileBytes(cloud + "\\save1.sav"));
    EXPECT_EQ("not the game's", ReadFileBytes(cloud + "\\notes.txt"));
    EXPECT_TRUE(IsLink(savegames.c_str()));
    EXPECT_EQ("mine", ReadFileBytes(savegames + "\\save1.sav"));
    EXPECT_FALSE(PathExists(GameDirectory(1) + "sw1.exe"));
    EXPECT_FALSE(PathExists(GameDirectory(1) + "data.dat"));
    EXPECT_EQ("Install Starwarden 1", TextAtQuit(IDC_GAME1));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(1).c_str()));

    // The tests' own clean-up takes the link away and leaves what it led to.
    RemoveTree(GameDirectory(1));
    EXPECT_FALSE(PathExists(GameDirectory(1)));
    EXPECT_EQ("mine", ReadFileBytes(cloud + "\\save1.sav"));
    EXPECT_EQ("not the game's", ReadFileBytes(cloud + "\\notes.txt"));
}

// A game directory that is itself a link (the game moved to another disk
// and linked back) is not entered: neither the game's files behind it nor
// its savegames are touched, and the game leaves the lists.
TEST_F(Uninstall, ALinkInPlaceOfTheGameDirectoryStaysWithEverythingItLeadsTo)
{
    const std::string moved = TestRoot() + "moved", game = GameDirectory(1);
    PutGame(1);
    RemoveTree(moved);
    ASSERT_TRUE(MoveFileA(game.c_str(), moved.c_str())) << GetLastError();
    ASSERT_TRUE(MakeDirectoryLink(moved, game.substr(0, game.size() - 1)));
    const std::vector<std::string> files = ListedFiles(moved + "\\"), saves = ListedFiles(moved + "\\gamedat\\");
    ASSERT_FALSE(files.empty());
    ASSERT_FALSE(saves.empty());
    WriteRecord(Saga, "D", 1, 0, 0, 0);
    DestroyPanelForTest();

    ScriptedUi ui;
    PressOnMainDialog(ui, IDC_UNINSTALL1);
    ui.ExpectBox("Proceed?", Question(1), IDYES);
    ui.ExpectBox("Uninstalling Starwarden 1", LeftoversMessage(1) + "\n\n" LINK_KEPT_TEXT "\n" + game, IDOK)
      .WithStyle(MB_OK | MB_ICONEXCLAMATION);
    RunMainDialog();
    ui.Verify();

    EXPECT_TRUE(IsLink(game.c_str()));
    EXPECT_EQ(files, ListedFiles(moved + "\\"));
    EXPECT_EQ(saves, ListedFiles(moved + "\\gamedat\\"));
    EXPECT_EQ("Install Starwarden 1", TextAtQuit(IDC_GAME1));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(1).c_str()));
    RemoveTree(game);
    EXPECT_EQ(files, ListedFiles(moved + "\\"));
}

TEST_F(Uninstall, ProgramsFolderStaysWhenTheProgramFolderLeavesItEmpty)
{
    std::string programs = TestRoot() + "Programs";
    std::string saved = MoveProgramsFolder(programs);
    CreateDirectoryA((programs + "\\Tessarine Systems").c_str(), NULL);
    WriteFileBytes(programs + "\\Tessarine Systems\\SWDSaga.exe", "MZ");
    ScriptedUi ui;
    ForgetInstallation();
    ui.Verify();
    MoveProgramsFolder(saved);
    EXPECT_FALSE(PathExists(programs + "\\Tessarine Systems"));
    EXPECT_TRUE(PathExists(programs));  // the user's own folder, empty or not
}

TEST_F(Uninstall, ProgramFolderThatIsALinkStaysWithWhatItLeadsTo)
{
    std::string programs = TestRoot() + "Programs", elsewhere = TestRoot() + "elsewhere";
    std::string saved = MoveProgramsFolder(programs);
    CreateDirectoryA(elsewhere.c_str(), NULL);
    WriteFileBytes(elsewhere + "\\SWDSaga.exe", "not this launcher's folder");
    ASSERT_TRUE(MakeDirectoryLink(elsewhere, programs + "\\Tessarine Systems"));
    ScriptedUi ui;
    ForgetInstallation();
    ui.Verify();
    MoveProgramsFolder(saved);
    EXPECT_EQ("not this launcher's folder", ReadFileBytes(elsewhere + "\\SWDSaga.exe"));
    EXPECT_TRUE(IsLink((programs + "\\Tessarine Systems").c_str()));
}

// At exit the launcher hands its own file to the uninstaller, and only that.
class TemporaryFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        CreatePanelForTest();
        SetEnvironmentVariableA("DSAGA_CHILD_LOG", ChildLog().c_str());
        CreateDirectoryA(other.c_str(), NULL);
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("DSAGA_CHILD_LOG", NULL);
        DestroyPanelForTest();
    }

    std::string other = TestRoot() + "other";
};

TEST_F(TemporaryFiles, SameNamedFileThatIsNotTheLauncherIsLeftAlone)
{
    WriteFileBytes(other + "\\DSaga.exe", "not the launcher");
    CopyText(StartDirectory, sizeof StartDirectory, other.c_str());
    ScriptedUi ui;
    RemoveTemporaryFiles();
    ui.Verify();
    Sleep(1500);  // an uninstaller started by mistake records itself at once
    EXPECT_TRUE(ChildRunsOf("uninstal").empty());
    EXPECT_EQ("not the launcher", ReadFileBytes(other + "\\DSaga.exe"));
}

TEST_F(TemporaryFiles, NoLauncherInTheStartDirectoryStartsNothingAndAsksForNoDisc)
{
    InsertDisc('D', 0);
    CopyText(StartDirectory, sizeof StartDirectory, other.c_str());
    ScriptedUi ui;
    RemoveTemporaryFiles();
    ui.Verify();
    EXPECT_TRUE(ChildRunsOf("uninstal").empty());
}

// The real launcher, started from a temporary directory as the disc's
// initialiser starts it.
class ExitCleanup : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        RemoveTree(temp);
        CreateDirectoryA(temp.c_str(), NULL);
        ASSERT_TRUE(CopyFileA((BuildDirectory() + "Src\\Launch\\DSaga.exe").c_str(), copy.c_str(), FALSE));
        SetEnvironmentVariableA("DSAGA_CHILD_LOG", ChildLog().c_str());
        SetEnvironmentVariableA("DSAGA_WAIT_UNINSTAL", go.c_str());
    }
    void TearDown() override
    {
        WriteFileBytes(go, "go");
        TerminateAndClose(run);
        SetEnvironmentVariableA("DSAGA_CHILD_LOG", NULL);
        SetEnvironmentVariableA("DSAGA_WAIT_UNINSTAL", NULL);
        RemoveTree(temp);
        DeleteLauncherKey();
        InsertDisc('E', 0);
        InsertDisc('D', 1);
    }

    HWND StartAndWaitForMainDialog()
    {
        run = StartProgram(copy, temp, "");
        EXPECT_TRUE(run.Started());
        HWND main = WaitForTopWindow(run.pi.dwProcessId, MainCaption, 30000, true);
        EXPECT_TRUE(main != NULL) << ::testing::PrintToString(TopWindowCaptions(run.pi.dwProcessId));
        return main;
    }

    bool WaitUntilGone(const std::string &path, DWORD timeoutMs)
    {
        for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
            if (!PathExists(path))
                return true;
            Sleep(100);
        }
        return false;
    }

    std::string temp = "C:\\TEMP";
    std::string copy = "C:\\TEMP\\DSaga.exe";
    std::string go = TestRoot() + "go";
    ChildRun run;
};

TEST_F(ExitCleanup, QuitStartsTheDiscUninstallerWhichDeletesTheLauncherOnceItEnded)
{
    InsertDisc('D', 0);
    InsertDisc('E', 1);
    SetEnvironmentVariableA("DSAGA_RECORD_RIGHTS", "1");  // the uninstaller keeps the launcher's rights
    HWND main = StartAndWaitForMainDialog();
    SetEnvironmentVariableA("DSAGA_RECORD_RIGHTS", NULL);
    ASSERT_TRUE(main != NULL);
    PressButton(main, IDCANCEL);
    DWORD code = 1;
    // The uninstaller is held at its end, so a launcher that waited for it would not exit.
    ASSERT_EQ(0u, WaitForExit(run.pi.hProcess, 30000, &code));
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(WaitUntilGone(copy, 30000));
    std::vector<std::string> runs = ChildRunsOf("uninstal");
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ("uninstal|E:\\install|E:\\install\\uninstal.exe C:\\TEMP\\DSaga.exe|admin=1", runs[0]);
}

TEST_F(ExitCleanup, NoDiscAtQuitAndCancelLeavesTheLauncherFile)
{
    HWND main = StartAndWaitForMainDialog();
    ASSERT_TRUE(main != NULL);
    InsertDisc('D', 0);
    PressButton(main, IDCANCEL);
    const char caption[] = "Remove temporary files from the hard drive";
    HWND prompt = WaitForTopWindow(run.pi.dwProcessId, caption, 30000, true);
    ASSERT_TRUE(prompt != NULL) << ::testing::PrintToString(TopWindowCaptions(run.pi.dwProcessId));
    EXPECT_EQ("Please place a Draxmoor Saga CD-ROM disc into drive: 'D'", MessageBoxText(prompt));
    PressButton(prompt, IDCANCEL);
    HWND aborted = NULL;
    for (DWORD waited = 0; waited < 30000 && aborted == NULL; waited += 100) {
        HWND found = WaitForTopWindow(run.pi.dwProcessId, caption, 100, true);
        if (found != NULL && MessageBoxText(found) == "Operation Aborted")
            aborted = found;
    }
    ASSERT_TRUE(aborted != NULL);
    PressButton(aborted, IDOK);
    ASSERT_EQ(0u, WaitForExit(run.pi.hProcess, 30000, NULL));
    EXPECT_TRUE(PathExists(copy));
    EXPECT_TRUE(ChildRunsOf("uninstal").empty());
}

}  // namespace
