// The main panel's per-game states and the check of the record against the
// games' files on the disk.
#include <gtest/gtest.h>

#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {

const char Saga[] = "C:\\dsaga-tests\\saga\\";

class Panel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        CreatePanelForTest();
        CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, Saga);
        CreateDirectoryA(Saga, NULL);
    }
    void TearDown() override
    {
        DestroyPanelForTest();
        DeleteLauncherKey();
    }

    static void PutGameFile(const char *directory, const char *file)
    {
        std::string dir = std::string(Saga) + directory;
        CreateDirectoryA(dir.c_str(), NULL);
        WriteFileBytes(dir + "\\" + file, "game");
    }

    static void ExpectGameState(int game, bool installed)
    {
        const GameInfo &row = GameTable[game - 1];
        SCOPED_TRACE(row.DisplayName);
        EXPECT_EQ(installed ? row.PlayText : row.InstallText, ItemText(MainDialog, row.GameButton));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(MainDialog, row.GameButton)));
        EXPECT_EQ(installed, IsWindowEnabled(GetDlgItem(MainDialog, row.UninstallButton)) != FALSE);
        EXPECT_EQ(installed ? 1 : 0, *row.InstalledFlag);
    }

    static bool CheckBoxVisible() { return IsWindowVisible(GetDlgItem(MainDialog, IDC_INVULNERABLE)) != FALSE; }
    static bool CheckBoxChecked() { return IsDlgButtonChecked(MainDialog, IDC_INVULNERABLE) == BST_CHECKED; }
};

TEST_F(Panel, CheaterWithGame2InstalledShowsTheCheckedBoxAtStart)
{
    ShowWindow(MainDialog, SW_SHOW);
    WriteRecord(Saga, "D", 0, 1, 0, 1);
    PutGameFile("sw2", "sw2.exe");
    ScriptedUi ui;
    ASSERT_EQ(1, LoadLauncherState());
    EXPECT_EQ(1, DetectInstalledGames());
    ui.Verify();
    ExpectGameState(1, false);
    ExpectGameState(2, true);
    ExpectGameState(3, false);
    EXPECT_TRUE(CheckBoxVisible());
    EXPECT_TRUE(CheckBoxChecked());
}

TEST_F(Panel, OnlyGame3InstalledStillShowsTheCheckBox)
{
    ShowWindow(MainDialog, SW_SHOW);
    LauncherState.Game3Installed = 1;
    PutGameFile("sw3", "sw3w.exe");
    ScriptedUi ui;
    EXPECT_EQ(1, DetectInstalledGames());
    ui.Verify();
    ExpectGameState(3, true);
    EXPECT_TRUE(CheckBoxVisible());
    EXPECT_FALSE(CheckBoxChecked());
}

TEST_F(Panel, DeletedExecutableIsWithdrawnWhileAnotherGameStays)
{
    LauncherState.Game1Installed = 1;
    LauncherState.Game2Installed = 1;
    PutGameFile("sw2", "sw2.exe");
    PutGameFile("sw1", "readme.txt");  // the directory is there, the program is not
    WriteText(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw1").c_str(), "DisplayName", "Starwarden 1");

    ScriptedUi ui;
    EXPECT_EQ(1, DetectInstalledGames());
    ui.Verify();
    ExpectGameState(1, false);
    ExpectGameState(2, true);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw1").c_str()));
    RegistryValue flag = ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Starwarden 1 Installed");
    EXPECT_EQ(std::vector<unsigned char>({0, 0, 0, 0}), flag.bytes);
    EXPECT_EQ(std::vector<unsigned char>({1, 0, 0, 0}),
              ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Starwarden 2 Installed").bytes);
}

TEST_F(Panel, EveryExecutableMissingWithdrawsAllAndForgetsTheInstallation)
{
    WriteRecord(Saga, "D", 1, 1, 1, 1);
    ASSERT_EQ(1, LoadLauncherState());
    MarkGamePlayable(1);  // as a previous start left the panel
    ScriptedUi ui;
    EXPECT_EQ(0, DetectInstalledGames());
    ui.Verify();
    for (int game = 1; game <= 3; game++)
        ExpectGameState(game, false);
    EXPECT_FALSE(CheckBoxVisible());
    EXPECT_EQ(0, LauncherState.Cheater);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
    EXPECT_STREQ("C:\\Program Files\\Draxmoor Saga\\", LauncherState.InstalledTo);
    EXPECT_EQ(1, FirstRun);
}

TEST_F(Panel, FlagsAllClearForgetsWithoutLookingAtTheDisk)
{
    PutGameFile("sw1", "sw1.exe");
    WriteRecord(Saga, "D", 0, 0, 0, 0);
    ScriptedUi ui;
    EXPECT_EQ(0, DetectInstalledGames());
    ui.Verify();
    ExpectGameState(1, false);  // a game on the disk is never discovered
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
}

TEST_F(Panel, ForgettingKeepsAnotherProductOfTheCompany)
{
    WriteText(HKEY_LOCAL_MACHINE, "Software\\Tessarine Systems\\Other Game", "Installed", "yes");
    WriteRecord(Saga, "D", 0, 0, 0, 0);
    ScriptedUi ui;
    ForgetInstallation();
    ForgetInstallation();  // again, with everything gone: still no message
    ui.Verify();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tessarine Systems\\Other Game"));
    EXPECT_EQ(0, CompanyKeyIsEmpty());
}

TEST_F(Panel, ForgettingRemovesTheEmptyCompanyKey)
{
    WriteRecord(Saga, "D", 0, 0, 0, 0);
    ForgetInstallation();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, CompanyKeyPath));
    EXPECT_EQ(0, CompanyKeyIsEmpty());  // absent counts as not empty
}

TEST_F(Panel, ForgettingRemovesOnlyTheLauncherCopyFromTheProgramFolder)
{
    char folder[PATH_BUFFER];
    ASSERT_EQ(1, GetProgramsFolder(folder));
    std::string programs = folder;
    CreateDirectoryA(programs.c_str(), NULL);
    WriteFileBytes(programs + "SWDSaga.exe", "MZ");
    SetFileAttributesA((programs + "SWDSaga.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(programs + "Other Game.lnk", "link");

    ForgetInstallation();
    EXPECT_FALSE(PathExists(programs + "SWDSaga.exe"));
    EXPECT_TRUE(PathExists(programs + "Other Game.lnk"));

    DeleteFileA((programs + "Other Game.lnk").c_str());
    WriteFileBytes(programs + "SWDSaga.exe", "MZ");
    ForgetInstallation();
    EXPECT_FALSE(PathExists(programs));
}

TEST_F(Panel, Game3ExtrasLevelFollowsItsDataFiles)
{
    struct Case { bool exe, objects, missions; int level; bool installed; };
    const Case cases[] = {
        {true, false, false, 0, true},
        {true, true, false, 1, true},
        {true, true, true, 2, true},
        {true, false, true, 0, true},   // missions without objects counts for nothing
        {false, true, true, 2, false},  // withdrawn, but the level is still worked out
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "exe " << c.exe << " objects " << c.objects << " missions " << c.missions);
        RemoveTree(std::string(Saga) + "sw3");
        if (c.exe) PutGameFile("sw3", "sw3w.exe");
        if (c.objects) PutGameFile("sw3", "objects.tre");
        if (c.missions) PutGameFile("sw3", "missions.tre");
        LauncherState.Game1Installed = 1;  // keeps the installation from being forgotten
        PutGameFile("sw1", "sw1.exe");
        LauncherState.Game3Installed = 1;
        Game3ExtrasLevel = -1;
        DetectInstalledGames();
        EXPECT_EQ(c.level, Game3ExtrasLevel);
        EXPECT_EQ(c.installed ? 1 : 0, LauncherState.Game3Installed);
    }
}

TEST_F(Panel, Game3FlagClearLeavesTheExtrasLevelAlone)
{
    PutGameFile("sw3", "objects.tre");
    LauncherState.Game1Installed = 1;
    PutGameFile("sw1", "sw1.exe");
    Game3ExtrasLevel = 2;
    EXPECT_EQ(1, DetectInstalledGames());
    EXPECT_EQ(2, Game3ExtrasLevel);
}

TEST_F(Panel, LastGameWithdrawnHidesAndClearsTheCheckBoxButNotBefore)
{
    ShowWindow(MainDialog, SW_SHOW);
    LauncherState.Cheater = 1;
    PutGameFile("sw1", "sw1.exe");
    PutGameFile("sw2", "sw2.exe");
    MarkGamePlayable(1);
    MarkGamePlayable(2);
    ASSERT_TRUE(CheckBoxChecked());

    DeleteFileA((std::string(Saga) + "sw1\\sw1.exe").c_str());
    MarkGameNotPlayable(1);
    EXPECT_TRUE(CheckBoxVisible());
    EXPECT_TRUE(CheckBoxChecked());
    EXPECT_EQ(1, LauncherState.Cheater);

    DeleteFileA((std::string(Saga) + "sw2\\sw2.exe").c_str());
    MarkGameNotPlayable(2);
    EXPECT_FALSE(CheckBoxVisible());
    EXPECT_FALSE(CheckBoxChecked());
    EXPECT_EQ(0, LauncherState.Cheater);
}

TEST_F(Panel, MarkingPlayableTwiceChangesNothing)
{
    PutGameFile("sw1", "sw1.exe");
    MarkGamePlayable(1);
    MarkGamePlayable(1);
    ExpectGameState(1, true);
    ExpectGameState(2, false);
}

// Marking playable saves only a panel that shows the game; the claim is
// withdrawn from the record whatever the panel does.
TEST_F(Panel, MissingUninstallButtonIsReportedAndSkipsOnlyTheSaveOfAClaim)
{
    DestroyWindow(GetDlgItem(MainDialog, IDC_UNINSTALL1));
    ScriptedUi ui;
    ui.ExpectBox("ERROR", "!GetDlgItem(sw1) (ENABLE)", IDOK);
    MarkGamePlayable(1);
    ui.Verify();
    EXPECT_EQ(1, LauncherState.Game1Installed);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));

    ui.ExpectBox("ERROR", "!SendDlgItemMessage(Install Starwarden 1) nonPlayableButton (DISENABLE)", IDOK);
    EXPECT_EQ(1, MarkGameNotPlayable(1));
    ui.Verify();
    EXPECT_EQ(0, LauncherState.Game1Installed);
    EXPECT_EQ(0u, RecordNumber("Starwarden 1 Installed"));
}

TEST_F(Panel, MissingCheckBoxIsReportedOnBothTransitions)
{
    DestroyWindow(GetDlgItem(MainDialog, IDC_INVULNERABLE));
    ScriptedUi ui;
    ui.ExpectBox("ERROR", "!GetDlgItem(IDC_INVULNERABLE) (ENABLE)", IDOK)
      .ExpectBox("ERROR", "!GetDlgItem(IDC_INVULNERABLE) (ENABLE)", IDOK);
    MarkGamePlayable(2);
    EXPECT_EQ(1, MarkGameNotPlayable(2));
    ui.Verify();
    EXPECT_EQ("Install Starwarden 2", ItemText(MainDialog, IDC_GAME2));
}

}  // namespace
