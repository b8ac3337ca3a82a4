// The traces in the Windows shell: one uninstall entry per game with the
// uninstaller at the install drive's root, and the Start-menu program
// folder opened once in Explorer.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "RemoteUi.h"
#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

#include <sddl.h>

namespace {

const char Saga[] = "C:\\dsaga-tests\\saga\\";
const char ShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string TextOf(const RegistryValue &value)
{
    return std::string(value.bytes.begin(), value.bytes.end());
}

RegistryValue EntryValue(const char *game, const char *name)
{
    return ReadValue(HKEY_LOCAL_MACHINE, UninstallEntryKey(game).c_str(), name);
}

// A text value as the system's list reads it: REG_SZ, with its terminating zero.
void ExpectEntryText(const char *game, const char *name, const std::string &expected)
{
    RegistryValue value = EntryValue(game, name);
    EXPECT_TRUE(value.present) << name;
    EXPECT_EQ((DWORD)REG_SZ, value.type) << name;
    EXPECT_EQ(expected + '\0', TextOf(value)) << name;
}

DWORD ExpectEntryNumber(const char *game, const char *name)
{
    RegistryValue value = EntryValue(game, name);
    EXPECT_EQ((DWORD)REG_DWORD, value.type) << name;
    if (value.bytes.size() != sizeof(DWORD)) {
        ADD_FAILURE() << name << " holds " << value.bytes.size() << " bytes";
        return ~0u;
    }
    DWORD number;
    memcpy(&number, value.bytes.data(), sizeof number);
    return number;
}

std::string Today()
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    char date[16];
    snprintf(date, sizeof date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    return date;
}

// The entry's date is the day it was written, which is the day taken before
// the write or the day after it: the check holds across midnight.
void ExpectDateOfTheWrite(const char *game, const std::string &dayBefore)
{
    const std::string dayAfter = Today();
    RegistryValue value = EntryValue(game, "InstallDate");
    EXPECT_EQ((DWORD)REG_SZ, value.type);
    std::string date = TextOf(value);
    EXPECT_TRUE(date == dayBefore + '\0' || date == dayAfter + '\0')
        << date << " is neither " << dayBefore << " nor " << dayAfter;
}

// What the files under a directory hold, and what they take on a disk of
// this allocation unit: each file's length rounded up to whole units.
void SumFiles(const std::string &directory, ULONGLONG unit, ULONGLONG *held, ULONGLONG *taken)
{
    bool listed = VisitEntries(directory + "*", [&](const WIN32_FIND_DATAA &entry) {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            SumFiles(directory + entry.cFileName + "\\", unit, held, taken);
            return true;
        }
        ULONGLONG length = ((ULONGLONG)entry.nFileSizeHigh << 32) | entry.nFileSizeLow;
        *held += length;
        *taken += length % unit == 0 ? length : length - length % unit + unit;
        return true;
    });
    EXPECT_TRUE(listed) << directory;
}

// The allocation unit of drive C:, where the tests install.
ULONGLONG AllocationUnitOfC()
{
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters, clusters;
    EXPECT_TRUE(GetDiskFreeSpaceA("C:\\", &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters));
    return (ULONGLONG)sectorsPerCluster * bytesPerSector;
}

// The system's own list of programs that can be removed, one "key|||name"
// line each, as its uninstaller prints it.
std::vector<std::string> SystemProgramList()
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        ADD_FAILURE() << "no pipe, error " << GetLastError();
        return {};
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    char line[] = "uninstaller.exe --list";
    PROCESS_INFORMATION child = {};
    BOOL started = CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child);
    CloseHandle(writeEnd);
    std::string output;
    char chunk[4096];
    DWORD got;
    while (started && ReadFile(readEnd, chunk, sizeof chunk, &got, NULL) && got > 0)
        output.append(chunk, got);
    CloseHandle(readEnd);
    if (!started) {
        ADD_FAILURE() << "cannot start the system's uninstaller, error " << GetLastError();
        return {};
    }
    WaitForSingleObject(child.hProcess, 30000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < output.size(); start = end + 1) {
        end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string one = output.substr(start, end - start);
        if (!one.empty() && one.back() == '\r')
            one.pop_back();
        if (!one.empty())
            lines.push_back(one);
    }
    return lines;
}

bool Listed(const std::vector<std::string> &list, const std::string &line)
{
    return std::find(list.begin(), list.end(), line) != list.end();
}

// Runs a whole command line, program path first, and waits for its exit
// code; ~0 when it could not be started or did not end.
DWORD RunCommandLine(const char *commandLine, const char *directory)
{
    std::vector<char> line(commandLine, commandLine + strlen(commandLine) + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, directory, &startup, &child)) {
        ADD_FAILURE() << "cannot start " << commandLine << ", error " << GetLastError();
        return ~0u;
    }
    DWORD code = ~0u;
    if (WaitForSingleObject(child.hProcess, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return code;
}

void PutGame(int game)
{
    const GameInfo &row = GameTable[game - 1];
    std::string directory = std::string(Saga) + row.Directory;
    CreateDirectoryA(Saga, NULL);
    CreateDirectoryA(directory.c_str(), NULL);
    WriteFileBytes(directory + row.Executable, "MZ");
}

class UninstallEntry : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        CreatePanelForTest();
        CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, Saga);
        SetFileAttributesA("C:\\uninstal.exe", FILE_ATTRIBUTE_NORMAL);
        DeleteFileA("C:\\uninstal.exe");
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("DSAGA_CHILD_LOG", NULL);
        DestroyPanelForTest();
        DeleteLauncherKey();
        InsertDisc('E', 0);
        InsertDisc('D', 1);
    }

    // A start with game 2 recorded, which writes its entry and copies the
    // uninstaller the entry names.
    static void StartWithGame2()
    {
        WriteRecord(Saga, "D", 0, 1, 0, 0);
        ASSERT_EQ(1, LoadLauncherState());
        ScriptedUi ui;
        ASSERT_EQ(1, DetectInstalledGames());
        ui.Verify();
    }
};

TEST_F(UninstallEntry, HoldsExactValuesAndTheUninstallerIsCopiedWritableToTheDriveRoot)
{
    InsertDisc('D', 0);
    InsertDisc('E', 1);
    LauncherState.InstalledFrom[0] = 'E';
    ASSERT_TRUE(GetFileAttributesA("E:\\install\\uninstal.exe") & FILE_ATTRIBUTE_READONLY);
    PutGame(2);
    const std::string dayBefore = Today();
    ScriptedUi ui;
    // A copy already there is kept only when it is the disc's file: an older
    // uninstaller of the same length is replaced.
    WriteFileBytes("C:\\uninstal.exe", std::string(ReadFileBytes("E:\\install\\uninstal.exe").size(), 'x'));
    RegisterUninstallEntry(GameTable[1]);
    EXPECT_EQ(ReadFileBytes("E:\\install\\uninstal.exe"), ReadFileBytes("C:\\uninstal.exe"));
    DeleteFileA("C:\\uninstal.exe");
    RegisterUninstallEntry(GameTable[1]);
    ui.Verify();

    // What the system's list of programs shows beside the name.
    ExpectEntryText("sw2", "Publisher", "Tessarine Systems");
    ExpectEntryText("sw2", "DisplayIcon", "C:\\dsaga-tests\\saga\\sw2\\sw2.exe");
    ExpectEntryText("sw2", "InstallLocation", "C:\\dsaga-tests\\saga\\sw2\\");
    ExpectDateOfTheWrite("sw2", dayBefore);
    EXPECT_NE(0u, ExpectEntryNumber("sw2", "EstimatedSize"));  // its figure: EstimatedSizeIs...
    EXPECT_EQ(1u, ExpectEntryNumber("sw2", "NoModify"));
    EXPECT_EQ(1u, ExpectEntryNumber("sw2", "NoRepair"));

    std::string key = UninstallEntryKey("sw2");
    RegistryValue name = ReadValue(HKEY_LOCAL_MACHINE, key.c_str(), "DisplayName");
    EXPECT_EQ((DWORD)REG_SZ, name.type);
    EXPECT_EQ(std::string("Starwarden 2\0", 13), TextOf(name));
    RegistryValue command = ReadValue(HKEY_LOCAL_MACHINE, key.c_str(), "UninstallString");
    EXPECT_EQ((DWORD)REG_SZ, command.type);
    const char expected[] = "C:\\uninstal.exe C:\\dsaga-tests\\saga\\sw2\\";
    EXPECT_EQ(std::string(expected, sizeof expected), TextOf(command));  // with its terminating zero

    HKEY opened;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened));
    char className[64];
    DWORD classLength = sizeof className;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(opened, className, &classLength, NULL, NULL, NULL, NULL, NULL, NULL,
                                              NULL, NULL, NULL));
    RegCloseKey(opened);
    EXPECT_STREQ("lpClass", className);

    EXPECT_EQ(ReadFileBytes("E:\\install\\uninstal.exe"), ReadFileBytes("C:\\uninstal.exe"));
    DWORD attributes = GetFileAttributesA("C:\\uninstal.exe");
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_READONLY);
}

// The copy at the drive's root is what the system's list of programs runs,
// with the rights of whoever removes a game: one that only looks like the
// disc's file, by its size and time, is replaced.
TEST_F(UninstallEntry, UninstallerOfTheSameSizeAndTimeButOtherBytesIsReplaced)
{
    const std::string disc = ReadFileBytes("D:\\install\\uninstal.exe");
    ASSERT_GT(disc.size(), 1u);
    std::string other = disc;
    other[other.size() / 2] ^= 0x5A;
    WriteFileBytes("C:\\uninstal.exe", other);
    WIN32_FILE_ATTRIBUTE_DATA source;
    ASSERT_TRUE(GetFileAttributesExA("D:\\install\\uninstal.exe", GetFileExInfoStandard, &source));
    HANDLE copy = CreateFileA("C:\\uninstal.exe", FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, copy);
    EXPECT_TRUE(SetFileTime(copy, NULL, NULL, &source.ftLastWriteTime));
    CloseHandle(copy);
    WIN32_FILE_ATTRIBUTE_DATA target;
    ASSERT_TRUE(GetFileAttributesExA("C:\\uninstal.exe", GetFileExInfoStandard, &target));
    ASSERT_EQ(0, CompareFileTime(&source.ftLastWriteTime, &target.ftLastWriteTime));
    ASSERT_EQ(source.nFileSizeLow, target.nFileSizeLow);

    PutGame(1);
    ScriptedUi ui;
    RegisterUninstallEntry(GameTable[0]);
    ui.Verify();
    EXPECT_TRUE(disc == ReadFileBytes("C:\\uninstal.exe")) << "the look-alike was kept";
}

// Wine keeps no permissions, so the permissions are seen as the launcher
// hands them to the system: the path, what is set, and each entry.
struct FileSecurityCall {
    std::string path;
    SECURITY_INFORMATION parts = 0;
    std::string owner;
    bool protectedList = false;
    std::vector<std::pair<std::string, DWORD>> allowed;  // SID, access
};
std::vector<FileSecurityCall> FileSecurityCalls;

BOOL WINAPI RecordFileSecurity(LPCSTR path, SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR descriptor)
{
    FileSecurityCall call;
    call.path = path;
    call.parts = parts;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision;
    BOOL present = FALSE, defaulted;
    PACL list = NULL;
    if (GetSecurityDescriptorControl(descriptor, &control, &revision))
        call.protectedList = (control & SE_DACL_PROTECTED) != 0;
    PSID owner = NULL;
    char *ownerText = NULL;
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != NULL
        && ConvertSidToStringSidA(owner, &ownerText)) {
        call.owner = ownerText;
        LocalFree(ownerText);
    }
    if (GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) && present && list != NULL) {
        for (DWORD i = 0; i < list->AceCount; i++) {
            ACCESS_ALLOWED_ACE *entry;
            char *sid = NULL;
            if (!GetAce(list, i, (void **)&entry) || entry->Header.AceType != ACCESS_ALLOWED_ACE_TYPE
                || !ConvertSidToStringSidA(&entry->SidStart, &sid)) {
                call.allowed.push_back({"not an allowing entry", 0});
                continue;
            }
            call.allowed.push_back({sid, entry->Mask});
            LocalFree(sid);
        }
    }
    FileSecurityCalls.push_back(call);
    return SetFileSecurityA(path, parts, descriptor);
}

// Windows' list of programs runs the copy at the drive's root with
// administrator rights, so only the system and administrators may change
// it, whether it was copied now or kept from before.
TEST_F(UninstallEntry, UninstallerCopyGetsPermissionsOnlyAdministratorsCanChange)
{
    FileSecurityCalls.clear();
    ApplyFileSecurity = RecordFileSecurity;
    PutGame(1);
    ScriptedUi ui;
    RegisterUninstallEntry(GameTable[0]);
    RegisterUninstallEntry(GameTable[0]);  // the same copy is kept
    ui.Verify();
    ASSERT_EQ(2u, FileSecurityCalls.size());
    const std::vector<std::pair<std::string, DWORD>> expected = {
        {"S-1-5-18", FILE_ALL_ACCESS},      // the system
        {"S-1-5-32-544", FILE_ALL_ACCESS},  // administrators
        {"S-1-1-0", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},  // everyone
    };
    for (const FileSecurityCall &call : FileSecurityCalls) {
        EXPECT_EQ("C:\\uninstal.exe", call.path);
        EXPECT_EQ((SECURITY_INFORMATION)(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION
                                         | PROTECTED_DACL_SECURITY_INFORMATION),
                  call.parts);
        EXPECT_EQ("S-1-5-32-544", call.owner) << "a user who owns the copy could change its permissions back";
        EXPECT_TRUE(call.protectedList) << "the drive root's permissions would still be inherited";
        EXPECT_EQ(expected, call.allowed);
    }
    EXPECT_EQ(ReadFileBytes("D:\\install\\uninstal.exe"), ReadFileBytes("C:\\uninstal.exe"));
}

// Measured after a real installation from the disc, and again when the
// game directory has grown: every file's length rounded up to the volume's
// allocation unit, in KB rounded up.
TEST_F(UninstallEntry, EstimatedSizeIsWhatTheGameTakesOnTheDisk)
{
    ScriptedUi ui;
    ASSERT_EQ(1, InstallGame1());
    MarkGamePlayable(1);
    const ULONGLONG unit = AllocationUnitOfC();
    ASSERT_GT(unit, 1u);
    ULONGLONG held = 0, taken = 0;
    SumFiles(std::string(Saga) + "sw1\\", unit, &held, &taken);
    ASSERT_GT(held, 1000000u);  // the game's data, gamedat\ included
    ASSERT_GT(taken - held, 4 * unit);  // the rounding is a figure the entry must show
    EXPECT_EQ((taken + 1023) / 1024, ExpectEntryNumber("sw1", "EstimatedSize"));

    WriteFileBytes(std::string(Saga) + "sw1\\gamedat\\save1.sav", std::string(100001, 's'));
    MarkGamePlayable(1);
    ui.Verify();
    held = taken = 0;
    SumFiles(std::string(Saga) + "sw1\\", unit, &held, &taken);
    EXPECT_EQ((taken + 1023) / 1024, ExpectEntryNumber("sw1", "EstimatedSize"));
}

// A later start writes the entry again; the day of the install stays. A
// new installation after an uninstall is a new day's.
TEST_F(UninstallEntry, InstallDateIsKeptAcrossALaterStartAndRenewedByANewInstall)
{
    PutGame(3);
    WriteRecord(Saga, "D", 0, 0, 1, 0);
    ScriptedUi ui;
    std::string dayBefore = Today();
    MarkGamePlayable(3);
    ExpectDateOfTheWrite("sw3", dayBefore);
    WriteText(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw3").c_str(), "InstallDate", "19981106");
    WriteText(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw3").c_str(), "Publisher", "someone else");

    DestroyPanelForTest();
    ResetLauncherGlobals();
    CreatePanelForTest();
    ASSERT_EQ(1, LoadLauncherState());
    ASSERT_EQ(1, DetectInstalledGames());
    ExpectEntryText("sw3", "InstallDate", "19981106");
    ExpectEntryText("sw3", "Publisher", "Tessarine Systems");  // the rest is written anew

    MarkGameNotPlayable(3);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw3").c_str()));  // deleted whole
    ui.Verify();
    FirstRun = 0;  // no program folder (and no Explorer to wait for) this time
    dayBefore = Today();
    MarkGamePlayable(3);
    ExpectDateOfTheWrite("sw3", dayBefore);
}

TEST_F(UninstallEntry, SystemListOfProgramsShowsEachInstalledGame)
{
    for (int game = 1; game <= 3; game++)
        PutGame(game);
    ScriptedUi ui;
    for (int game = 1; game <= 3; game++)
        MarkGamePlayable(game);
    std::vector<std::string> list = SystemProgramList();
    for (const char *line : {"sw1|||Starwarden 1", "sw2|||Starwarden 2", "sw3|||Starwarden 3"})
        EXPECT_TRUE(Listed(list, line)) << line << " not among " << ::testing::PrintToString(list);

    MarkGameNotPlayable(2);
    ui.Verify();
    list = SystemProgramList();
    EXPECT_FALSE(Listed(list, "sw2|||Starwarden 2"));
    EXPECT_TRUE(Listed(list, "sw1|||Starwarden 1"));
    EXPECT_TRUE(Listed(list, "sw3|||Starwarden 3"));
}

TEST_F(UninstallEntry, WithoutTheCdTheEntryIsWrittenAndNothingIsCopiedOrSaid)
{
    InsertDisc('D', 0);
    ScriptedUi ui;
    RegisterUninstallEntry(GameTable[0]);
    ui.Verify();
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw1").c_str(), "UninstallString").present);
    EXPECT_FALSE(PathExists("C:\\uninstal.exe"));
}

TEST_F(UninstallEntry, CommandTooLongForItsBufferIsReportedAndNotWritten)
{
    std::string deep = "C:\\" + std::string(1010, 'd') + "\\";
    CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, deep.c_str());
    ScriptedUi ui;
    ui.ExpectBox("ERROR", "This path is too long for the launcher:\nC:\\" + std::string(197, 'd') +
                              "...\n\nPlease choose a shorter install directory.", IDOK);
    RegisterUninstallEntry(GameTable[2]);
    ui.Verify();
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw3").c_str(), "UninstallString").present);
    EXPECT_FALSE(PathExists("C:\\uninstal.exe"));
}

// As the system's list of installed programs does it: the whole registered
// string handed to CreateProcess.
TEST_F(UninstallEntry, RegisteredCommandRemovesTheGameAndItsEntry)
{
    SetEnvironmentVariableA("DSAGA_CHILD_LOG", ChildLog().c_str());  // the uninstaller reports to the log, not in boxes
    PutGame(2);
    CreateDirectoryA("C:\\dsaga-tests\\saga\\sw2\\gamedat", NULL);
    WriteFileBytes("C:\\dsaga-tests\\saga\\sw2\\gamedat\\save1.sav", "save");
    SetFileAttributesA("C:\\dsaga-tests\\saga\\sw2\\sw2.exe", FILE_ATTRIBUTE_READONLY);
    ASSERT_NO_FATAL_FAILURE(StartWithGame2());

    RegistryValue command = ReadValue(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw2").c_str(), "UninstallString");
    ASSERT_TRUE(command.present);
    CreateDirectoryA("C:\\dsaga-tests\\work", NULL);
    EXPECT_EQ(0u, RunCommandLine(TextOf(command).c_str(), "C:\\dsaga-tests\\work"));

    EXPECT_FALSE(PathExists("C:\\dsaga-tests\\saga\\sw2"));
    EXPECT_FALSE(PathExists("C:\\dsaga-tests\\saga"));  // the install directory was left empty
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw2").c_str()));
    EXPECT_EQ(std::vector<unsigned char>({0, 0, 0, 0}),
              ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Starwarden 2 Installed").bytes);
    std::vector<std::string> runs = ReadLineList(ChildLog());
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ("uninstal|C:\\dsaga-tests\\work|C:\\uninstal.exe C:\\dsaga-tests\\saga\\sw2\\", runs[0]);
}

// Savegames kept in a cloud folder, with a link left in place of gamedat\:
// the uninstaller that the system's list of programs runs leaves the link
// and everything it leads to, and says so.
TEST_F(UninstallEntry, RegisteredCommandLeavesALinkAndWhatItLeadsTo)
{
    const std::string game = "C:\\dsaga-tests\\saga\\sw2", cloud = TestRoot() + "cloud";
    CreateDirectoryA(cloud.c_str(), NULL);
    CreateDirectoryA((cloud + "\\saves").c_str(), NULL);
    WriteFileBytes(cloud + "\\saves\\save1.sav", "mine");
    WriteFileBytes(cloud + "\\notes.txt", "not the game's");
    PutGame(2);
    ASSERT_TRUE(MakeDirectoryLink(cloud, game + "\\gamedat"));
    ASSERT_NO_FATAL_FAILURE(StartWithGame2());
    RegistryValue command = ReadValue(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw2").c_str(), "UninstallString");
    ASSERT_EQ("C:\\uninstal.exe " + game + "\\" + std::string(1, '\0'), TextOf(command));

    SetEnvironmentVariableA("DSAGA_CHILD_LOG", NULL);  // a real run, whose message is a box
    ChildRun run = StartProgram("C:\\uninstal.exe", TestRoot(), game + "\\");
    ASSERT_TRUE(run.Started());
    HWND box = WaitForTopWindow(run.pi.dwProcessId, "Uninstall", 30000);
    ASSERT_TRUE(box != NULL) << ::testing::PrintToString(TopWindowCaptions(run.pi.dwProcessId));
    EXPECT_EQ("Some files in\n" + game + "\ncould not be removed.\n\n" LINK_KEPT_TEXT "\n" + game + "\\gamedat",
              MessageBoxText(box));
    PressButton(box, IDOK);
    DWORD code = 0;
    ASSERT_EQ(0u, WaitForExit(run.pi.hProcess, 30000, &code));
    EXPECT_EQ(1u, code);

    EXPECT_EQ("mine", ReadFileBytes(cloud + "\\saves\\save1.sav"));
    EXPECT_EQ("not the game's", ReadFileBytes(cloud + "\\notes.txt"));
    EXPECT_TRUE(IsLink((game + "\\gamedat").c_str()));
    EXPECT_FALSE(PathExists(game + "\\sw2.exe"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw2").c_str()));
}

// The uninstaller enters no link it is handed: neither a game directory
// that is one (the game moved to another disk and linked back) nor a
// launcher copy's directory that is one.
TEST_F(UninstallEntry, UninstallerLeavesAGameDirectoryOrALauncherCopyThatIsBehindALink)
{
    SetEnvironmentVariableA("DSAGA_CHILD_LOG", ChildLog().c_str());
    CreateDirectoryA(Saga, NULL);
    const struct {
        std::string target, file, link, handed;  // the link leads to the target, which holds the file
    } cases[] = {
        {TestRoot() + "moved", "sw1.exe", std::string(Saga) + "sw1", "\\"},
        {TestRoot() + "mine", "DSaga.exe", TestRoot() + "DSaga-11NKED00", "\\DSaga.exe"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.link);
        CreateDirectoryA(c.target.c_str(), NULL);
        WriteFileBytes(c.target + "\\" + c.file, "mine");
        ASSERT_TRUE(MakeDirectoryLink(c.target, c.link));
        EXPECT_EQ(1u, RunCommandLine(("D:\\install\\uninstal.exe " + c.link + c.handed).c_str(), NULL));
        EXPECT_EQ("mine", ReadFileBytes(c.target + "\\" + c.file));
        EXPECT_TRUE(IsLink(c.link.c_str()));
    }
}

TEST_F(UninstallEntry, UninstallerTakesOnlyAGameDirectory)
{
    SetEnvironmentVariableA("DSAGA_CHILD_LOG", ChildLog().c_str());
    std::string keep = TestRoot() + "keep";
    CreateDirectoryA(keep.c_str(), NULL);
    WriteFileBytes(keep + "\\letter.txt", "mine");
    std::string line = "D:\\install\\uninstal.exe " + keep + "\\";
    EXPECT_EQ(1u, RunCommandLine(line.c_str(), NULL));
    EXPECT_EQ("mine", ReadFileBytes(keep + "\\letter.txt"));
}

// The program folder, with a stand-in Explorer in the Windows directory that
// records how it was started (the disc's runtime setup, which only records).
class ProgramFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        CreatePanelForTest();
        CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, Saga);
        SetEnvironmentVariableA("DSAGA_CHILD_LOG", ChildLog().c_str());
        savedPrograms = ShellFolder("Programs");
        ASSERT_FALSE(savedPrograms.empty());
        standIn.reset(new ExplorerStandIn());
        explorer = standIn->Path();
        folder = savedPrograms + "\\Tessarine Systems\\";
        RemoveTree(folder);
    }
    void TearDown() override
    {
        standIn.reset();
        if (!savedPrograms.empty()) {
            WriteText(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", savedPrograms);
            RemoveTree(savedPrograms + "\\Tessarine Systems");
        }
        SetEnvironmentVariableA("DSAGA_CHILD_LOG", NULL);
        DestroyPanelForTest();
        DeleteLauncherKey();
    }

    std::string ExpectedExplorerRun() const
    {
        std::string windows = explorer.substr(0, explorer.size() - 13);
        return "explorer|" + windows + "|" + explorer + " \"" + folder.substr(0, folder.size() - 1) + "\"";
    }

    // Installing game 1 while the folder is due makes it without a word,
    // puts a writable launcher in it and opens it once.
    void ExpectFirstGameMakesTheFolder()
    {
        FirstRun = 1;
        PutGame(1);
        ScriptedUi ui;
        SetEnvironmentVariableA("DSAGA_RECORD_RIGHTS", "1");  // Explorer runs with the user's rights
        MarkGamePlayable(1);
        SetEnvironmentVariableA("DSAGA_RECORD_RIGHTS", NULL);
        ui.Verify();
        EXPECT_EQ(0, FirstRun);
        EXPECT_EQ(ReadFileBytes("D:\\install\\SWDSaga.exe"), ReadFileBytes(folder + "SWDSaga.exe"));
        EXPECT_EQ(0u, GetFileAttributesA((folder + "SWDSaga.exe").c_str()) & FILE_ATTRIBUTE_READONLY);
        std::vector<std::string> runs = ChildRunsOf("explorer");
        ASSERT_EQ(1u, runs.size());
        EXPECT_EQ(ExpectedExplorerRun() + "|admin=0", runs[0]);
    }

    std::unique_ptr<ExplorerStandIn> standIn;
    std::string savedPrograms, explorer, folder;
};

TEST_F(ProgramFolder, FirstGameMakesTheFolderAndOpensItOnce)
{
    ASSERT_NO_FATAL_FAILURE(ExpectFirstGameMakesTheFolder());

    // A second game does not touch the folder.
    DeleteFileA((folder + "SWDSaga.exe").c_str());
    PutGame(2);
    MarkGamePlayable(2);
    EXPECT_EQ(1u, ChildRunsOf("explorer").size());
    EXPECT_FALSE(PathExists(folder + "SWDSaga.exe"));
}

// Folder redirection puts the Start menu on a server: the folder is made
// below the share without a word, and a share that is not there is named
// once by its first directory.
TEST_F(ProgramFolder, ARedirectedStartMenuGetsTheFolderOnItsShare)
{
    if (!MakeTestShare())
        GTEST_SKIP() << "no Wine prefix to answer a share";
    const std::string programs = std::string(TestShare) + "Start Menu\\Programs";
    WriteText(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", programs);
    folder = programs + "\\Tessarine Systems\\";
    ASSERT_NO_FATAL_FAILURE(ExpectFirstGameMakesTheFolder());
    RemoveTestShare();

    const std::string away = "\\\\dsaga-noserver\\share\\Start Menu";
    ASSERT_FALSE(CreateDirectoryA(away.c_str(), NULL));
    const std::string error = std::to_string(GetLastError());
    WriteText(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", away + "\\Programs");
    FirstRun = 1;
    ScriptedUi ui;
    ui.ExpectBox("ERROR", "Could !create " + away + " directory " + error, IDOK);
    MarkGamePlayable(1);
    ui.Verify();
    EXPECT_EQ(1, FirstRun);
    EXPECT_EQ(1u, ChildRunsOf("explorer").size());
}

TEST_F(ProgramFolder, ExactlyTwoGamesRefuseAndAllThreeMakeIt)
{
    FirstRun = 1;
    LauncherState.Game1Installed = 1;
    ScriptedUi ui;
    MarkGamePlayable(2);
    EXPECT_EQ(1, FirstRun);
    EXPECT_FALSE(PathExists(folder));
    EXPECT_TRUE(ChildRunsOf("explorer").empty());
    MarkGamePlayable(3);
    ui.Verify();
    EXPECT_EQ(0, FirstRun);
    EXPECT_TRUE(PathExists(folder + "SWDSaga.exe"));
    EXPECT_EQ(1u, ChildRunsOf("explorer").size());
}

TEST_F(ProgramFolder, IsMadeAgainAfterTheInstallationWasForgotten)
{
    FirstRun = 1;
    MarkGamePlayable(1);
    ASSERT_TRUE(PathExists(folder + "SWDSaga.exe"));
    LauncherState.Game1Installed = 0;
    ForgetInstallation();
    EXPECT_FALSE(PathExists(folder));
    EXPECT_EQ(1, FirstRun);
    MarkGamePlayable(3);
    EXPECT_TRUE(PathExists(folder + "SWDSaga.exe"));
    EXPECT_EQ(2u, ChildRunsOf("explorer").size());
}

TEST_F(ProgramFolder, MissingProgramsEntryIsReportedOnlyWhileTheFolderIsDue)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, ShellFoldersKey, 0, KEY_ALL_ACCESS, &key));
    RegDeleteValueA(key, "Programs");
    RegCloseKey(key);
    {
        ScriptedUi ui;
        MarkGamePlayable(1);  // FirstRun is 0: not even a look-up
        ui.Verify();
    }
    FirstRun = 1;
    ScriptedUi again;
    again.ExpectBox("REGISTRY", "Key: 'Programs' not accessible", IDOK).WithStyle(MB_OK);
    again.ExpectBox("REGISTRY", "Key: 'Programs' not accessible", IDOK).WithStyle(MB_OK);
    MarkGamePlayable(1);
    MarkGamePlayable(1);
    again.Verify();
    EXPECT_EQ(1, FirstRun);
    EXPECT_TRUE(ChildRunsOf("explorer").empty());
}

TEST_F(ProgramFolder, MissingExplorerIsReportedOnceAndTheFolderIsNotAttemptedAgain)
{
    DeleteFileA(explorer.c_str());
    FirstRun = 1;
    PutGame(1);
    LauncherState.Game1Installed = 1;
    ScriptedUi ui;
    ui.ExpectBox("Cannot execute file:", explorer + ", 2", IDOK).WithStyle(MB_OK);
    MarkGamePlayable(1);
    ui.Verify();
    EXPECT_EQ(0, FirstRun);
    EXPECT_TRUE(PathExists(folder + "SWDSaga.exe"));
    EXPECT_EQ(1, LauncherState.Game1Installed);  // the runner's re-check confirmed it
    EXPECT_EQ("Play Starwarden 1", ItemText(MainDialog, IDC_GAME1));
}

UINT WINAPI WindowsAtTheDriveRoot(LPSTR buffer, UINT size)
{
    return CopyText(buffer, size, "C:\\") ? 3 : 4;
}

// A Windows directory at a drive root already ends in its backslash.
TEST_F(ProgramFolder, WindowsDirectoryAtADriveRootGetsExactlyOneBackslash)
{
    char windows[PATH_BUFFER];
    ASSERT_EQ(1, GetWindowsDirectoryWithSlash(windows));
    EXPECT_EQ(explorer.substr(0, explorer.size() - 12), windows);  // "C:\windows\"
    const std::string rootExplorer = "C:\\explorer.exe";
    ASSERT_TRUE(CopyFileA("D:\\DXSetup\\swdsl.exe", rootExplorer.c_str(), FALSE));
    SetFileAttributesA(rootExplorer.c_str(), FILE_ATTRIBUTE_NORMAL);
    QueryWindowsDirectory = WindowsAtTheDriveRoot;
    EXPECT_EQ(1, GetWindowsDirectoryWithSlash(windows));
    EXPECT_STREQ("C:\\", windows);
    FirstRun = 1;
    PutGame(1);
    ScriptedUi ui;
    MarkGamePlayable(1);
    ui.Verify();
    QueryWindowsDirectory = GetWindowsDirectoryA;
    DeleteFileA(rootExplorer.c_str());
    std::vector<std::string> runs = ChildRunsOf("explorer");
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ("explorer|C:\\|C:\\explorer.exe \"" + folder.substr(0, folder.size() - 1) + "\"", runs[0]);
}

TEST_F(ProgramFolder, ShellFolderPathsThatDoNotFitAreReportedNotOverrun)
{
    struct Guarded {
        char buffer[PATH_BUFFER];
        char guard[16];
    } programs, startup;
    memset(&programs, 'g', sizeof programs);
    memset(&startup, 'g', sizeof startup);
    std::string savedStartup = ShellFolder("Startup");
    // Each value fits the buffer by itself; only the suffix makes it too long.
    std::string longPrograms = "C:\\" + std::string(PATH_BUFFER - 3 - 19, 'p');
    std::string longStartup = "C:\\" + std::string(PATH_BUFFER - 4, 's');
    std::string shorter = longPrograms.substr(0, longPrograms.size() - 1);
    WriteText(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", longPrograms);
    WriteText(HKEY_CURRENT_USER, ShellFoldersKey, "Startup", longStartup);
    ScriptedUi ui;
    ui.ExpectBox("ERROR", "This path is too long for the launcher:\nC:\\" + std::string(197, 'p') +
                              "...\n\nPlease choose a shorter install directory.", IDOK);
    ui.ExpectBox("ERROR", "This path is too long for the launcher:\nC:\\" + std::string(197, 's') +
                              "...\n\nPlease choose a shorter install directory.", IDOK);
    int programsFound = GetProgramsFolder(programs.buffer);
    int startupFound = GetStartupFolder(startup.buffer);
    WriteText(HKEY_CURRENT_USER, ShellFoldersKey, "Startup", savedStartup);
    // One byte shorter fits, suffix included, and is not reported.
    WriteText(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", shorter);
    int shorterFound = GetProgramsFolder(programs.buffer);
    ui.Verify();

    EXPECT_EQ(0, programsFound);
    EXPECT_EQ(0, startupFound);
    EXPECT_EQ(std::string(16, 'g'), std::string(programs.guard, 16));
    EXPECT_EQ(std::string(16, 'g'), std::string(startup.guard, 16));
    EXPECT_EQ(1, shorterFound);
    EXPECT_EQ(shorter + "\\Tessarine Systems\\", std::string(programs.buffer));
}

}  // namespace
