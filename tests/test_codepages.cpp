// The launcher as users of other languages meet it. CTest runs this suite
// once for each of the code pages 932 (Japanese), 950 (Traditional Chinese)
// and 1252 (Western), setting LANG, which Wine takes the ANSI code page
// from; DSAGA_CODE_PAGE names the page a run is for, and a run under any
// other fails at once rather than test nothing.
//
// In the double-byte pages the directory names chosen end in a character
// whose second byte is the backslash's; everywhere, the "foreign" name is
// one the code page cannot write at all.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "MainDriver.h"
#include "RemoteUi.h"
#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {

const char ShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const DWORD Timeout = 30000;

struct CodePageNames {
    UINT codePage;
    // Two levels of a typical install directory, and a third name.
    const wchar_t *outer, *inner, *third;
    // A user's name the code page has no characters for.
    const wchar_t *foreign;
};

const CodePageNames Names[] = {
    {932, L"\x30bd\x30d5\x30c8", L"\x8868", L"\x80fd", L"\xc0ac\xc6a9\xc790"},   // ソフト 表 能; 사용자
    {950, L"\x8a31\x529f", L"\x84cb", L"\x529f", L"\xc0ac\xc6a9\xc790"},         // 許功 蓋 功; 사용자
    {1252, L"Logiciels", L"\x00c9t\x00e9", L"\x00dc", L"\x041f\x043e\x043b\x044c\x0437\x043e\x0432\x0430\x0442"
                                                      L"\x0435\x043b\x044c"},  // Été Ü; Пользователь
};

const CodePageNames &NamesOfThisRun()
{
    for (const CodePageNames &names : Names)
        if (names.codePage == GetACP())
            return names;
    return Names[2];
}

// The name in the code page, exactly; empty when it has no exact form.
std::string Ansi(const std::wstring &wide)
{
    BOOL replaced = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, NULL, 0, NULL, &replaced);
    if (length <= 0 || replaced)
        return std::string();
    std::string text((size_t)length, '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, &text[0], length, NULL, NULL);
    text.resize((size_t)length - 1);
    return text;
}

std::wstring Wide(const std::string &ansi)
{
    std::wstring text(ansi.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &text[0], (int)text.size());
    text.resize(length > 0 ? (size_t)length - 1 : 0);
    return text;
}

// Whether a byte that is not a backslash reads as one to a byte search.
bool HidesABackslashByte(const std::string &name)
{
    for (size_t at = 0; at < name.size(); at++) {
        if (IsDBCSLeadByte((BYTE)name[at])) {
            if (at + 1 < name.size() && name[at + 1] == '\\')
                return true;
            at++;
        }
    }
    return false;
}

void ExpectRunForItsCodePage()
{
    const char *named = getenv("DSAGA_CODE_PAGE");
    ASSERT_TRUE(named != NULL) << "DSAGA_CODE_PAGE is not set: run the suite through CTest";
    ASSERT_EQ((UINT)atoi(named), GetACP()) << "the run is for code page " << named
                                           << "; is its locale generated (locale -a)?";
}

// The subdirectories below a directory (ending in a backslash), each as
// its path from there, in sorted order.
void CollectDirectories(const std::string &root, const std::string &below, std::vector<std::string> *found)
{
    VisitEntries(root + below + "*", [&](const WIN32_FIND_DATAA &entry) {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            found->push_back(below + entry.cFileName);
            CollectDirectories(root, below + entry.cFileName + "\\", found);
        }
        return true;
    });
}

std::vector<std::string> DirectoriesBelow(const std::string &root)
{
    std::vector<std::string> found;
    CollectDirectories(root, "", &found);
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<std::string> SortedFiles(const std::string &directory)
{
    std::vector<std::string> names = ListedFiles(directory);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> EntriesOf(const std::string &directory)
{
    std::vector<std::string> names;
    VisitEntries(directory + "*", [&](const WIN32_FIND_DATAA &entry) {
        names.push_back(entry.cFileName);
        return true;
    });
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CodePage, TheRunIsUnderTheCodePageItIsFor)
{
    ExpectRunForItsCodePage();
    const CodePageNames &names = NamesOfThisRun();
    EXPECT_EQ("", Ansi(names.foreign)) << "the foreign name must be one the code page cannot write";
    for (const wchar_t *name : {names.outer, names.inner, names.third}) {
        std::string ansi = Ansi(name);
        ASSERT_FALSE(ansi.empty());
        // Only a double-byte page can hide a backslash's byte in a character.
        EXPECT_EQ(GetACP() != 1252, HidesABackslashByte(ansi));
    }
}

// ---------------------------------------------------------------------------
// Directories whose characters end in the backslash's byte

class DoubleBytePaths : public ::testing::Test {
protected:
    void SetUp() override
    {
        ExpectRunForItsCodePage();
        ResetTestState();
        RemoveTree(DefaultDir);
        const CodePageNames &names = NamesOfThisRun();
        outer = Ansi(names.outer);
        inner = Ansi(names.inner);
        third = Ansi(names.third);
        typed = TestRoot() + outer + "\\" + inner;
        explorer.reset(new ExplorerStandIn());
    }
    void TearDown() override
    {
        explorer.reset();
        ResetTestState();
        RemoveTree(DefaultDir);
    }

    std::string outer, inner, third, typed;
    std::unique_ptr<ExplorerStandIn> explorer;
};

TEST_F(DoubleBytePaths, ATypedDirectoryIsInstalledIntoExactlyPlayedMadeInvulnerableAndUninstalled)
{
    const std::string target = typed + "\\", game = target + "sw1\\";
    // The uninstaller copy at the drive's root is left there on purpose.
    DeleteFileA("C:\\uninstal.exe");
    const std::vector<std::string> driveBefore = EntriesOf("C:\\");
    {
        ScriptedUi ui;
        PressOnMainDialog(ui, IDC_GAME1);
        ui.ExpectBox(AskCaption, DefaultDir, IDNO)
          .ExpectDialog(ChooserCaption, [&](HWND dialog) { SetEditText(dialog, IDC_DIR_EDIT, typed.c_str()); }, IDOK)
          .ExpectBox(CreateCaption, target, IDYES);
        RunMainDialog();
        ui.Verify();
    }
    EXPECT_EQ(SortedFiles("D:\\sw1\\"), SortedFiles(game));
    EXPECT_EQ(SortedFiles("D:\\sw1\\gamedat\\"), SortedFiles(game + "gamedat\\"));
    RegistryValue installedTo = ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Installed To:");
    EXPECT_EQ(target, std::string((const char *)installedTo.bytes.data()));
    const std::string entry = UninstallEntryKey("sw1");
    RegistryValue command = ReadValue(HKEY_LOCAL_MACHINE, entry.c_str(), "UninstallString");
    EXPECT_EQ("C:\\uninstal.exe " + game, std::string((const char *)command.bytes.data()));
    RegistryValue location = ReadValue(HKEY_LOCAL_MACHINE, entry.c_str(), "InstallLocation");
    EXPECT_EQ(game, std::string((const char *)location.bytes.data()));

    PressOnceOnMainDialog(IDC_INVULNERABLE, [](ScriptedUi &ui) {
        ui.ExpectBox("Cheater!", "By choosing Invulnerable, your savegames will labelled as CHEATER.", IDOK);
    });
    EXPECT_EQ(std::string("Zorvan -k -b", 13), ReadFileBytes(game + "starwdn.cfg"));
    PressOnceOnMainDialog(IDC_GAME1);
    std::vector<std::string> runs = ChildRunsOf("sw1");
    ASSERT_EQ(1u, runs.size());
    // The game ran in its own directory and found its configuration there.
    EXPECT_EQ("sw1|" + typed + "\\sw1|", runs[0].substr(0, game.size() + 4));
    EXPECT_NE(std::string::npos, runs[0].find("|cfg=5a6f7276616e202d6b202d6200"));

    PressOnceOnMainDialog(IDC_UNINSTALL1, [](ScriptedUi &ui) {
        ui.ExpectBox("Proceed?", "Uninstalling Starwarden 1 will also erase any savegames.", IDYES);
    });
    // The game and its emptied install directory went; the directory above
    // it is the user's and stays; nothing was made anywhere else.
    EXPECT_FALSE(PathExists(typed));
    EXPECT_EQ((std::vector<std::string>{outer}), DirectoriesBelow(TestRoot()));
    std::vector<std::string> driveAfter = EntriesOf("C:\\");
    driveAfter.erase(std::remove(driveAfter.begin(), driveAfter.end(), "uninstal.exe"), driveAfter.end());
    EXPECT_EQ(driveBefore, driveAfter);
}

TEST_F(DoubleBytePaths, ARecordWithoutItsBackslashNamesTheSameDirectory)
{
    WriteRecord(typed.c_str(), "D", 1, 0, 0, 0);
    ASSERT_EQ(1, LoadLauncherState());
    EXPECT_EQ(typed + "\\", std::string(LauncherState.InstalledTo));
    char path[PATH_BUFFER];
    ASSERT_EQ(1, BuildGamePath(path, GameTable[0], "sw1.exe"));
    EXPECT_EQ(typed + "\\sw1\\sw1.exe", std::string(path));
}

TEST_F(DoubleBytePaths, ParentEntryListsTheParentDirectory)
{
    const std::string top = TestRoot() + outer + "\\";
    ASSERT_TRUE(CreateDirectoryA(top.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(typed.c_str(), NULL));
    const std::string vanishing = TestRoot() + outer + "\\" + third;
    ASSERT_TRUE(CreateDirectoryA(vanishing.c_str(), NULL));
    const std::string outerEntry = "[" + outer + "]", innerEntry = "[" + inner + "]";
    std::vector<std::string> shown;
    std::vector<bool> listsOuter, listsInner;
    ScriptedUi ui;
    ui.ExpectDialog(ChooserCaption, [&](HWND dialog) {
        auto look = [&]() {
            shown.push_back(ItemText(dialog, IDC_DIR_EDIT));
            listsOuter.push_back(ListHasText(dialog, IDC_DIR_LIST, outerEntry.c_str()));
            listsInner.push_back(ListHasText(dialog, IDC_DIR_LIST, innerEntry.c_str()));
        };
        look();
        EXPECT_TRUE(DoubleClickListText(dialog, IDC_DIR_LIST, innerEntry.c_str()));
        look();
        for (int level = 0; level < 2; level++) {
            EXPECT_TRUE(DoubleClickListText(dialog, IDC_DIR_LIST, "[..]"));
            look();
        }
        // A directory that went after it was listed cannot be listed: the
        // chooser backs out to the one above it.
        EXPECT_TRUE(DoubleClickListText(dialog, IDC_DIR_LIST, outerEntry.c_str()));
        RemoveDirectoryA(vanishing.c_str());
        EXPECT_TRUE(DoubleClickListText(dialog, IDC_DIR_LIST, ("[" + third + "]").c_str()));
        shown.push_back(ItemText(dialog, IDC_DIR_EDIT));
    }, IDCANCEL);
    char result[PATH_BUFFER];
    EXPECT_EQ(0, ChooseDirectory(ModuleInstance, top.c_str(), result));
    ui.Verify();
    EXPECT_EQ((std::vector<std::string>{top, typed + "\\", top, TestRoot(), top}), shown);
    EXPECT_EQ((std::vector<bool>{false, false, false, true}), listsOuter);
    EXPECT_EQ((std::vector<bool>{true, false, true, false}), listsInner);
}

TEST_F(DoubleBytePaths, ANestedChainCreatesExactlyItsDirectories)
{
    CreatePanelForTest();
    std::string chain = typed + "\\" + third + "\\";
    std::vector<char> path(chain.begin(), chain.end());
    path.push_back('\0');
    ScriptedUi ui;  // no box expected
    EXPECT_EQ(1, MakeDirectoryChain(path.data()));
    ui.Verify();
    EXPECT_EQ(chain, std::string(path.data()));
    const std::string firstLevel = outer, secondLevel = outer + "\\" + inner;
    EXPECT_EQ((std::vector<std::string>{firstLevel, secondLevel, secondLevel + "\\" + third}),
              DirectoriesBelow(TestRoot()));
}

std::string PlacedWindowsDirectory;

UINT WINAPI QueryPlacedWindowsDirectory(LPSTR buffer, UINT size)
{
    CopyText(buffer, size, PlacedWindowsDirectory.c_str());
    return (UINT)PlacedWindowsDirectory.size();
}

TEST_F(DoubleBytePaths, TextsAreCutBetweenCharactersAndTheWindowsDirectoryGetsItsBackslash)
{
    CreatePanelForTest();
    // `third` is one character, of two bytes in a double-byte page: the
    // 200 bytes shown would end in the middle of one.
    std::string path = "C:\\";
    while (path.size() < 600)
        path += third;
    std::string shown = "C:\\";
    while (shown.size() + third.size() <= 200)
        shown += third;
    ScriptedUi ui;
    ui.ExpectBox("ERROR", "This path is too long for the launcher:\n" + shown +
                              "...\n\nPlease choose a shorter install directory.", IDOK);
    ReportTooLong(path.c_str());
    ui.Verify();

    PlacedWindowsDirectory = "C:\\" + inner;
    QueryWindowsDirectory = QueryPlacedWindowsDirectory;
    char directory[PATH_BUFFER];
    EXPECT_EQ(1, GetWindowsDirectoryWithSlash(directory));
    EXPECT_EQ(PlacedWindowsDirectory + "\\", std::string(directory));
}

// ---------------------------------------------------------------------------
// Folders whose names the code page cannot write

void WriteWideText(HKEY root, const char *path, const wchar_t *name, const std::wstring &text)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, Wide(path).c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)text.c_str(), (DWORD)((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::wstring ReadWideText(HKEY root, const char *path, const wchar_t *name)
{
    wchar_t text[PATH_BUFFER];
    DWORD bytes = sizeof text - sizeof(wchar_t);
    HKEY key;
    if (RegOpenKeyExW(root, Wide(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::wstring();
    LONG read = RegQueryValueExW(key, name, NULL, NULL, (BYTE *)text, &bytes);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS)
        return std::wstring();
    text[bytes / sizeof(wchar_t)] = L'\0';
    return text;
}

std::wstring ShortForm(const std::wstring &path)
{
    wchar_t shortPath[PATH_BUFFER];
    DWORD length = GetShortPathNameW(path.c_str(), shortPath, PATH_BUFFER);
    return length > 0 && length < PATH_BUFFER ? std::wstring(shortPath) : std::wstring();
}

std::vector<std::wstring> WideEntriesOf(const std::wstring &directory)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((directory + L"*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0)
            names.push_back(entry.cFileName);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return names;
}

bool WideExists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The user's own folders under a name the code page cannot write: the
// temporary directory, and the Start menu's Programs and Startup folders.
class ForeignNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        ExpectRunForItsCodePage();
        ResetTestState();
        RemoveTree(DefaultDir);
        user = Wide(TestRoot()) + NamesOfThisRun().foreign + L"\\";
        for (const wchar_t *sub : {L"", L"Temp\\", L"Programs\\", L"Startup\\"})
            ASSERT_TRUE(CreateDirectoryW((user + sub).c_str(), NULL));
        for (const wchar_t *name : {L"Programs", L"Startup"})
            saved.push_back(ReadWideText(HKEY_CURRENT_USER, ShellFoldersKey, name));
        ASSERT_FALSE(saved[0].empty());
        ASSERT_FALSE(saved[1].empty());
        WriteWideText(HKEY_CURRENT_USER, ShellFoldersKey, L"Programs", user + L"Programs");
        WriteWideText(HKEY_CURRENT_USER, ShellFoldersKey, L"Startup", user + L"Startup");
        explorer.reset(new ExplorerStandIn());
    }
    void TearDown() override
    {
        explorer.reset();
        if (saved.size() == 2) {
            WriteWideText(HKEY_CURRENT_USER, ShellFoldersKey, L"Programs", saved[0]);
            WriteWideText(HKEY_CURRENT_USER, ShellFoldersKey, L"Startup", saved[1]);
        }
        SetEnvironmentVariableW(L"TEMP", NULL);
        SetEnvironmentVariableW(L"TMP", NULL);
        ResetTestState();
        RemoveTree(DefaultDir);
    }

    std::wstring user;
    std::vector<std::wstring> saved;
    std::unique_ptr<ExplorerStandIn> explorer;
};

TEST_F(ForeignNames, TheInitialiserStartsTheLauncherAndTheExitRemovesItsCopy)
{
    const std::wstring temp = user + L"Temp\\";
    // The launcher inherits the variables the initialiser started with.
    for (const wchar_t *variable : {L"TEMP", L"TMP"})
        SetEnvironmentVariableW(variable, (user + L"Temp").c_str());
    ChildRun initialiser = StartProgram("D:\\DSInit.exe", "D:\\", "");
    ASSERT_TRUE(initialiser.Started());
    HWND main = WaitForAnyTopWindow(MainCaption, Timeout);
    ASSERT_TRUE(main != NULL) << "the launcher started from the disc did not show its dialog";

    // The copy sits alone in a directory of its own, made for this start.
    std::vector<std::wstring> made = WideEntriesOf(temp);
    ASSERT_EQ(1u, made.size());
    EXPECT_EQ(0u, made[0].find(L"DSaga-"));
    const std::wstring copy = temp + made[0] + L"\\DSaga.exe";
    EXPECT_EQ((std::vector<std::wstring>{L"DSaga.exe"}), WideEntriesOf(temp + made[0] + L"\\"));
    const std::wstring copyShort = ShortForm(copy);
    ASSERT_FALSE(copyShort.empty());

    ASSERT_TRUE(QuitAndWaitForExit(main, Timeout));

    // The uninstaller was handed a path that names the running copy, and
    // removed it and its directory once the launcher had gone.
    std::vector<std::string> handed = WaitForChildRunsOf("uninstal", Timeout);
    ASSERT_EQ(1u, handed.size());
    const std::string marker = "uninstal.exe ";
    std::string file = handed[0].substr(handed[0].rfind(marker) + marker.size());
    EXPECT_EQ(0, lstrcmpiW(copyShort.c_str(), Wide(file).c_str())) << file;
    for (DWORD waited = 0; waited < Timeout && WideExists(temp + made[0]); waited += 100)
        Sleep(100);
    EXPECT_FALSE(WideExists(temp + made[0]));
}

TEST_F(ForeignNames, TheFirstInstallMakesTheProgramFolderAndStartUpClearsTheStartupFolder)
{
    const std::wstring leftOver = user + L"Startup\\swdsl.exe";
    HANDLE file = CreateFileW(leftOver.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    ScriptedUi ui;
    PressOnMainDialog(ui, IDC_GAME1);
    ui.ExpectBox(AskCaption, DefaultDir, IDYES);
    RunMainDialog();
    ui.Verify();
    EXPECT_FALSE(WideExists(leftOver));
    const std::wstring folder = user + L"Programs\\Tessarine Systems\\";
    EXPECT_TRUE(WideExists(folder + L"SWDSaga.exe"));
    std::vector<std::string> runs = ChildRunsOf("explorer");
    ASSERT_EQ(1u, runs.size());
    const std::string shown = runs[0].substr(runs[0].find('"'));
    EXPECT_EQ(0, lstrcmpiW((L"\"" + ShortForm(user + L"Programs") + L"\\Tessarine Systems\"").c_str(),
                           Wide(shown).c_str()))
        << shown;
    EXPECT_EQ(0, FirstRun);
}

TEST_F(ForeignNames, AProgramsFolderWithoutAShortNameIsNamedInOneMessage)
{
    // A folder that is not there yet has no short name either.
    const std::wstring missing = user + L"Programs\\" + NamesOfThisRun().foreign;
    WriteWideText(HKEY_CURRENT_USER, ShellFoldersKey, L"Programs", missing);
    const std::wstring message = L"This folder's name has characters that the launcher cannot use on this system, "
                                 L"and the folder has no short name:\n" + missing +
                                 L"\n\nThe program folder \"Tessarine Systems\" cannot be made or removed in it.";
    // As an 8-bit program reads the box: a default character for each one missing.
    std::string read(3 * PATH_BUFFER, '\0');
    read.resize((size_t)WideCharToMultiByte(CP_ACP, 0, message.c_str(), -1, &read[0], (int)read.size(), NULL, NULL) -
                1);
    ScriptedUi ui;
    PressOnMainDialog(ui, IDC_GAME1);
    ui.ExpectBox(AskCaption, DefaultDir, IDYES).ExpectBox("ERROR", read, IDOK).WithStyle(MB_OK | MB_ICONEXCLAMATION);
    RunMainDialog();
    ui.Verify();
    EXPECT_EQ("Play Starwarden 1", TextAtQuit(IDC_GAME1));
    EXPECT_TRUE(ChildRunsOf("explorer").empty());
    EXPECT_EQ(1, FirstRun);  // the folder is still due
}

// The code page's best fit for "Ł" is "L": "Lukasz" would name another
// user's folder. Such a name is used by its short form instead.
TEST(CodePage, ANameWithALookAlikeIsUsedByItsShortFormNeverByTheLookAlike)
{
    ExpectRunForItsCodePage();
    ResetTestState();
    const std::wstring folder = Wide(TestRoot()) + L"\x0141ukasz";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
    char lookAlike[PATH_BUFFER], path[PATH_BUFFER];
    WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, lookAlike, PATH_BUFFER, NULL, NULL);
    ASSERT_EQ(1, WidePathToAnsi(folder.c_str(), path, sizeof path));
    EXPECT_NE(std::string(lookAlike), std::string(path));
    EXPECT_EQ(Ansi(ShortForm(folder)), std::string(path));
    ResetTestState();
}

}  // namespace
