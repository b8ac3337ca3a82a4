// The launcher's registry record: what is written, byte for byte, and how
// each kind of damaged or missing value is read back.
#include <gtest/gtest.h>

#include <string.h>

#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {

class RegistryRecord : public ::testing::Test {
protected:
    void SetUp() override { ResetTestState(); }
    void TearDown() override { DeleteLauncherKey(); }

    static std::string StoredText(const char *name)
    {
        RegistryValue value = ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, name);
        EXPECT_TRUE(value.present) << name;
        EXPECT_EQ((DWORD)REG_SZ, value.type) << name;
        return std::string(value.bytes.begin(), value.bytes.end());
    }

    static std::vector<unsigned char> StoredBytes(const char *name)
    {
        return ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, name).bytes;
    }

    // Every field of the record as the launcher holds it.
    static void ExpectHeldRecord(const char *to, const char *from, int game1, int game2, int game3, int cheater)
    {
        EXPECT_STREQ(to, LauncherState.InstalledTo);
        EXPECT_STREQ(from, LauncherState.InstalledFrom);
        EXPECT_EQ(game1, LauncherState.Game1Installed);
        EXPECT_EQ(game2, LauncherState.Game2Installed);
        EXPECT_EQ(game3, LauncherState.Game3Installed);
        EXPECT_EQ(cheater, LauncherState.Cheater);
    }
};

TEST_F(RegistryRecord, LoadWithoutKeyIsSilentAndKeepsEveryField)
{
    ScriptedUi ui;  // no box may appear
    LauncherState.Game2Installed = 7;
    EXPECT_EQ(0, LoadLauncherState());
    EXPECT_STREQ("C:\\Program Files\\Draxmoor Saga\\", LauncherState.InstalledTo);
    EXPECT_STREQ("D", LauncherState.InstalledFrom);
    EXPECT_EQ(7, LauncherState.Game2Installed);
    ui.Verify();
}

TEST_F(RegistryRecord, SaveWritesSixValuesWithTerminatingZerosAndFourByteFlags)
{
    LauncherState.InstalledFrom[0] = 'E';
    LauncherState.Game1Installed = 1;
    LauncherState.Game3Installed = 1;
    LauncherState.Cheater = 1;
    SaveLauncherState();

    EXPECT_EQ(std::string("C:\\Program Files\\Draxmoor Saga\\\0", 32), StoredText("Installed To:"));
    EXPECT_EQ(std::string("E\0", 2), StoredText("Installed From:"));
    const std::vector<unsigned char> one = {1, 0, 0, 0}, zero = {0, 0, 0, 0};
    EXPECT_EQ(one, StoredBytes("Starwarden 1 Installed"));
    EXPECT_EQ(zero, StoredBytes("Starwarden 2 Installed"));
    EXPECT_EQ(one, StoredBytes("Starwarden 3 Installed"));
    EXPECT_EQ(one, StoredBytes("Cheater"));
    EXPECT_EQ((DWORD)REG_DWORD, ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Cheater").type);
    // The names carry their colons exactly where the record has them.
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Installed To").present);
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Cheater:").present);
}

TEST_F(RegistryRecord, RoundTripRestoresEveryField)
{
    CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, "F:\\GAMES\\SAGA\\");
    CopyText(LauncherState.InstalledFrom, sizeof LauncherState.InstalledFrom, "Q");
    LauncherState.Game1Installed = 0;
    LauncherState.Game2Installed = 1;
    LauncherState.Game3Installed = 1;
    LauncherState.Cheater = 1;
    SaveLauncherState();
    ResetLauncherGlobals();

    ScriptedUi ui;
    EXPECT_EQ(1, LoadLauncherState());
    ExpectHeldRecord("F:\\GAMES\\SAGA\\", "Q", 0, 1, 1, 1);
    ui.Verify();
}

TEST_F(RegistryRecord, SaveRewritesEveryValueEvenWhenOnlyOneChanged)
{
    SaveLauncherState();
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, LauncherKeyPath, 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "Installed To:");
    RegDeleteValueA(key, "Starwarden 2 Installed");
    RegCloseKey(key);

    LauncherState.Cheater = 1;
    SaveLauncherState();
    EXPECT_EQ(std::string("C:\\Program Files\\Draxmoor Saga\\\0", 32), StoredText("Installed To:"));
    EXPECT_EQ(4u, StoredBytes("Starwarden 2 Installed").size());
}

TEST_F(RegistryRecord, MissingValueIsReportedAndEndsTheLoad)
{
    WriteRecord("D:\\GAMES\\", "E", 1, 0, 1, 1);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, LauncherKeyPath, 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "Cheater");
    RegCloseKey(key);
    LauncherState.Cheater = 5;

    ScriptedUi ui;
    ui.ExpectBox("REGISTRY", "Key: 'Cheater' not accessible", IDOK);
    EXPECT_EQ(0, LoadLauncherState());
    ui.Verify();
    ExpectHeldRecord("D:\\GAMES\\", "E", 1, 0, 1, 5);
}

TEST_F(RegistryRecord, OverlongInstallDirectoryIsNotReadAndStopsTheLoad)
{
    WriteRecord("D:\\GAMES\\", "E", 1, 1, 1, 0);
    WriteText(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Installed To:", "C:\\" + std::string(1500, 'x') + "\\");

    ScriptedUi ui;
    ui.ExpectBox("REGISTRY", "Key: 'Installed To:' not accessible", IDOK);
    EXPECT_EQ(0, LoadLauncherState());
    ui.Verify();
    EXPECT_LT(strnlen(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo), sizeof LauncherState.InstalledTo);
    EXPECT_STREQ("D", LauncherState.InstalledFrom);  // never read
    EXPECT_EQ(0, LauncherState.Game1Installed);
}

TEST_F(RegistryRecord, TextFillingTheBufferWithoutTerminatorDoesNotFit)
{
    WriteRecord("D:\\GAMES\\", "E", 1, 1, 1, 0);
    std::string full(1024, 'y');
    full[0] = 'C';
    WriteValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Installed From:", REG_SZ, full.data(), (DWORD)full.size());

    ScriptedUi ui;
    ui.ExpectBox("REGISTRY", "Key: 'Installed From:' not accessible", IDOK);
    EXPECT_EQ(0, LoadLauncherState());
    ui.Verify();
    EXPECT_LT(strnlen(LauncherState.InstalledFrom, sizeof LauncherState.InstalledFrom),
              sizeof LauncherState.InstalledFrom);
    EXPECT_EQ(0, LauncherState.Game1Installed);  // the load stopped there
}

TEST_F(RegistryRecord, TextWithoutTerminatorThatFitsIsEnded)
{
    WriteRecord("D:\\GAMES\\", "E", 1, 1, 1, 0);
    WriteValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Installed To:", REG_SZ, "F:\\X\\", 5);
    ScriptedUi ui;
    EXPECT_EQ(1, LoadLauncherState());
    ui.Verify();
    EXPECT_STREQ("F:\\X\\", LauncherState.InstalledTo);
}

// Restored from a backup or edited by hand: the same directory all the same.
TEST_F(RegistryRecord, InstallDirectoryWithoutItsBackslashKeepsTheGamesAndIsSavedBackWithIt)
{
    const std::string saga = TestRoot() + "saga";
    CreateDirectoryA(saga.c_str(), NULL);
    CreateDirectoryA((saga + "\\sw2").c_str(), NULL);
    WriteFileBytes(saga + "\\sw2\\sw2.exe", "MZ");
    WriteRecord(saga.c_str(), "D", 0, 1, 0, 0);
    CreatePanelForTest();
    ScriptedUi ui;
    EXPECT_EQ(1, LoadLauncherState());
    EXPECT_EQ(saga + "\\", LauncherState.InstalledTo);
    EXPECT_EQ(1, DetectInstalledGames());
    ui.Verify();
    EXPECT_EQ(1, LauncherState.Game2Installed);
    EXPECT_EQ("Play Starwarden 2", ItemText(MainDialog, IDC_GAME2));
    EXPECT_EQ(saga + "\\" + std::string(1, '\0'), StoredText("Installed To:"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw2").c_str()));
    DestroyPanelForTest();
}

TEST_F(RegistryRecord, ValueOfAnotherTypeIsTakenAsRawBytes)
{
    WriteRecord("D:\\GAMES\\", "E", 1, 1, 1, 0);
    WriteText(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Starwarden 1 Installed", "X");
    LauncherState.Game1Installed = 0x11223344;

    ScriptedUi ui;
    EXPECT_EQ(1, LoadLauncherState());
    ui.Verify();
    unsigned char bytes[4];
    memcpy(bytes, &LauncherState.Game1Installed, sizeof bytes);
    EXPECT_EQ('X', bytes[0]);
    EXPECT_EQ(0, bytes[1]);
    EXPECT_EQ(0x22, bytes[2]);  // the other two bytes keep what they held
    EXPECT_EQ(0x11, bytes[3]);
    EXPECT_EQ(1, LauncherState.Game2Installed);
}

TEST_F(RegistryRecord, SavedKeyCarriesItsClassText)
{
    SaveLauncherState();
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, LauncherKeyPath, 0, KEY_READ, &key));
    char className[64] = "";
    DWORD length = sizeof className;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(key, className, &length, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL));
    RegCloseKey(key);
    EXPECT_STREQ("lpClass", className);
}

}  // namespace
