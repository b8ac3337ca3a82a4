// Installing through the real main dialog: the install-directory question
// and chooser on the way, game 3's additional files, the free-space check
// and the copies themselves, checked file by file against the disc.
#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string.h>

#include "MainDriver.h"
#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {

const char SpaceCaption[] = "Not enough disk space for installation";

std::vector<std::string> ListFiles(const std::string &directory)
{
    std::vector<std::string> names = ListedFiles(directory);
    std::sort(names.begin(), names.end());
    return names;
}

// Every listed file of `from` is in `to` with the same bytes and writable,
// and `to` holds nothing else but `extra`.
void ExpectCopiedFiles(const std::string &from, const std::string &to, std::vector<std::string> extra = {})
{
    SCOPED_TRACE(from + " -> " + to);
    std::vector<std::string> expected = ListFiles(from);
    ASSERT_FALSE(expected.empty());
    expected.insert(expected.end(), extra.begin(), extra.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, ListFiles(to));
    for (const std::string &name : ListFiles(from)) {
        EXPECT_TRUE(ReadFileBytes(from + name) == ReadFileBytes(to + name)) << name << " differs";
        EXPECT_FALSE(GetFileAttributesA((to + name).c_str()) & FILE_ATTRIBUTE_READONLY) << name;
    }
}

std::string RecordText(const char *name)
{
    RegistryValue value = ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, name);
    return value.present ? std::string((const char *)value.bytes.data()) : std::string("(absent)");
}

void ClickRadio(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

class Install : public ::testing::Test {
protected:
    // The first installation opens the program folder in Explorer.
    void SetUp() override
    {
        Clean();
        explorer.reset(new ExplorerStandIn());
    }
    void TearDown() override
    {
        explorer.reset();
        Clean();
    }
    static void Clean()
    {
        ResetTestState();
        RemoveTree(DefaultDir);
        EmptySmallDisk();
    }
    std::unique_ptr<ExplorerStandIn> explorer;
};

TEST_F(Install, Game1WithYesCopiesBothDirectoriesAndRecordsTheGame)
{
    ScriptedUi ui;
    PressOnMainDialog(ui, IDC_GAME1);
    ui.ExpectBox(AskCaption, DefaultDir, IDYES).WithStyle(MB_YESNOCANCEL | MB_ICONQUESTION);
    EXPECT_EQ(0, RunMainDialog());
    ui.Verify();
    std::string game = std::string(DefaultDir) + "sw1\\";
    ExpectCopiedFiles("D:\\sw1\\", game);
    ExpectCopiedFiles("D:\\sw1\\gamedat\\", game + "gamedat\\");
    EXPECT_FALSE(PathExists(game + ".cdinfo"));
    EXPECT_EQ("Play Starwarden 1", TextAtQuit(IDC_GAME1));
    EXPECT_EQ(1u, RecordNumber("Starwarden 1 Installed"));
    EXPECT_EQ(0u, RecordNumber("Starwarden 2 Installed"));
    EXPECT_EQ(DefaultDir, RecordText("Installed To:"));
}

TEST_F(Install, NoThenATypedLowerCasePathIsCreatedAndUsedWithoutFurtherQuestion)
{
    const std::string target = TestRoot() + "new place\\games\\";
    bool mainHidden = false;
    std::string firstShown;
    ScriptedUi ui;
    PressOnMainDialog(ui, IDC_GAME2);
    ui.ExpectBox(AskCaption, DefaultDir, IDNO)
      .ExpectDialog(ChooserCaption, [&](HWND dialog) {
          mainHidden = !IsWindowVisible(MainDialog);
          firstShown = ItemText(dialog, IDC_DIR_EDIT);
          SetEditText(dialog, IDC_DIR_EDIT, "c:\\dsaga-tests\\new place\\games");
      }, IDOK)
      .ExpectBox(CreateCaption, target, IDYES).WithStyle(MB_YESNO | MB_ICONQUESTION);
    RunMainDialog();
    ui.Verify();
    EXPECT_TRUE(mainHidden);
    EXPECT_EQ("C:\\", firstShown);
    ExpectCopiedFiles("D:\\sw2\\", target + "sw2\\");
    ExpectCopiedFiles("D:\\sw2\\gamedat\\", target + "sw2\\gamedat\\");
    EXPECT_EQ(target, RecordText("Installed To:"));
    EXPECT_EQ("Play Starwarden 2", TextAtQuit(IDC_GAME2));
}

TEST_F(Install, ChooserWalksTheListIntoAnExistingDirectoryAndConfirmsIt)
{
    const std::string target = TestRoot() + "existing\\";
    CreateDirectoryA(target.c_str(), NULL);
    std::vector<std::string> shown;
    ScriptedUi ui;
    PressOnMainDialog(ui, IDC_GAME3);
    ui.ExpectBox(AskCaption, DefaultDir, IDNO)
      .ExpectDialog(ChooserCaption, [&](HWND dialog) {
          for (const char *entry : {"[dsaga-tests]", "[existing]", "[..]", "[existing]"}) {
              EXPECT_TRUE(DoubleClickListText(dialog, IDC_DIR_LIST, entry)) << entry;
              shown.push_back(ItemText(dialog, IDC_DIR_EDIT));
          }
          EXPECT_TRUE(SelectListText(dialog, IDC_DIR_LIST, "[-c-]"));  // drives are listed too
      }, IDOK)
      .ExpectBox(ConfirmCaption, target, IDYES).WithStyle(MB_YESNO | MB_ICONQUESTION)
      .ExpectDialog("Starwarden 3 Additional Installation", [](HWND) {}, IDOK);
    RunMainDialog();
    ui.Verify();
    EXPECT_EQ((std::vector<std::string>{"C:\\dsaga-tests\\", target, "C:\\dsaga-tests\\", target}), shown);
    ExpectCopiedFiles("D:\\sw3Inst\\", target + "sw3\\");
    EXPECT_EQ(target, RecordText("Installed To:"));
    EXPECT_EQ(0, Game3ExtrasLevel);
}

TEST_F(Install, Game3CopiesTheAdditionalFilesOfEachLevel)
{
    struct Case { int radio; int level; std::vector<std::string> extra; };
    const Case cases[] = {
        {IDC_ADD_NONE, 0, {}},
        {IDC_ADD_BETTER, 1, {"objects.tre"}},
        {IDC_ADD_BEST, 2, {"gameflow.tre", "missions.tre", "objects.tre"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.level);
        Clean();
        bool noneSelectedAtOpen = false;
        ScriptedUi ui;
        PressOnMainDialog(ui, IDC_GAME3);
        ui.ExpectBox(AskCaption, DefaultDir, IDYES)
          .ExpectDialog("Starwarden 3 Additional Installation", [&](HWND dialog) {
              noneSelectedAtOpen = IsDlgButtonChecked(dialog, IDC_ADD_NONE) == BST_CHECKED;
              ClickRadio(dialog, c.radio);
          }, IDOK);
        RunMainDialog();
        ui.Verify();
        EXPECT_TRUE(noneSelectedAtOpen);
        EXPECT_EQ(c.level, Game3ExtrasLevel);
        std::string game = std::string(DefaultDir) + "sw3\\";
        ExpectCopiedFiles("D:\\sw3Inst\\", game, c.extra);
        for (const std::string &name : c.extra)
            EXPECT_TRUE(ReadFileBytes("D:\\" + name) == ReadFileBytes(game + name)) << name;
        EXPECT_EQ("Play Starwarden 3", TextAtQuit(IDC_GAME3));
    }
}

TEST_F(Install, CancelAtAnyQuestionInstallsNothing)
{
    struct Case {
        const char *name;
        int button;
        std::function<void(ScriptedUi &)> script;
    };
    const Case cases[] = {
        {"cancel at the question", IDC_GAME1,
         [](ScriptedUi &ui) { ui.ExpectBox(AskCaption, DefaultDir, IDCANCEL); }},
        {"cancel in the chooser", IDC_GAME2,
         [](ScriptedUi &ui) {
             ui.ExpectBox(AskCaption, DefaultDir, IDNO).ExpectDialog(ChooserCaption, [](HWND) {}, IDCANCEL);
         }},
        {"close box of the chooser", IDC_GAME1,
         [](ScriptedUi &ui) {
             ui.ExpectBox(AskCaption, DefaultDir, IDNO).ExpectDialog(ChooserCaption, [](HWND dialog) {
                 PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
             }, 0);
         }},
        {"cancel of the additional files after a new directory", IDC_GAME3,
         [](ScriptedUi &ui) {
             ui.ExpectBox(AskCaption, DefaultDir, IDNO)
               .ExpectDialog(ChooserCaption, [](HWND dialog) {
                   SetEditText(dialog, IDC_DIR_EDIT, "C:\\dsaga-tests\\fresh\\");
               }, IDOK)
               .ExpectBox(CreateCaption, "C:\\dsaga-tests\\fresh\\", IDYES)
               .ExpectDialog("Starwarden 3 Additional Installation", [](HWND) {}, IDCANCEL);
         }},
        {"cancel at the disc prompt", IDC_GAME1,
         [](ScriptedUi &ui) {
             // Another disc of the compilation is in the drive by the time of the install.
             ui.ExpectDialog(AskCaption, [](HWND) { InsertDisc('D', 4); }, IDYES)
               .ExpectBox("Install Starwarden 1", "Please place The Draxmoor Saga CD-ROM disc 1 into drive: 'D'",
                          IDCANCEL)
               .ExpectBox("Install Starwarden 1", "Operation Aborted", IDOK);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Clean();
        ScriptedUi ui;
        PressOnMainDialog(ui, c.button);
        c.script(ui);
        RunMainDialog();
        ui.Verify();
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
        EXPECT_FALSE(PathExists(DefaultDir));
        EXPECT_FALSE(PathExists(TestRoot() + "fresh"));
        EXPECT_EQ("Install Starwarden 1", TextAtQuit(IDC_GAME1));
        EXPECT_EQ("Install Starwarden 2", TextAtQuit(IDC_GAME2));
        EXPECT_EQ("Install Starwarden 3", TextAtQuit(IDC_GAME3));
    }
}

TEST_F(Install, ACopyThatFailsInGamedatLeavesTheGameUninstalledAndASecondInstallReplacesEverything)
{
    const std::string game = std::string(DefaultDir) + "sw1\\";
    const char locked[] = "D:\\sw1\\gamedat\\hiscore.dat";
    HANDLE lock = CreateFileA(locked, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    {
        ScriptedUi ui;
        PressOnMainDialog(ui, IDC_GAME1);
        ui.ExpectBox(AskCaption, DefaultDir, IDYES)
          .ExpectBox("copyFiles",
                     std::string("Could not copy file '") + locked + "' to '" + game + "gamedat\\hiscore.dat'", IDOK)
          .ExpectBox("File not found to _chmod", game + "gamedat\\hiscore.dat", IDOK);
        RunMainDialog();
        ui.Verify();
    }
    CloseHandle(lock);
    EXPECT_EQ("Install Starwarden 1", TextAtQuit(IDC_GAME1));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
    ExpectCopiedFiles("D:\\sw1\\", game);  // the main directory was done before the failure

    // Leftovers of the first try, one of them spoilt, are all replaced.
    std::string spoilt = game + ListFiles(game)[0];
    WriteFileBytes(spoilt, "spoilt");
    ScriptedUi ui;
    PressOnMainDialog(ui, IDC_GAME1);
    ui.ExpectBox(AskCaption, DefaultDir, IDYES);
    RunMainDialog();
    ui.Verify();
    ExpectCopiedFiles("D:\\sw1\\", game);
    ExpectCopiedFiles("D:\\sw1\\gamedat\\", game + "gamedat\\");
    EXPECT_EQ("Play Starwarden 1", TextAtQuit(IDC_GAME1));
}

TEST_F(Install, ASecondCommandWhileTheFirstRunsIsDroppedSilently)
{
    ScriptedUi ui;
    // Two presses queued back to back: the second arrives while the first
    // waits at its question.
    PressOnMainDialog(ui, IDC_GAME1, [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDC_GAME1, 0); });
    ui.ExpectBox(AskCaption, DefaultDir, IDYES);
    RunMainDialog();
    ui.Verify();
    std::string game = std::string(DefaultDir) + "sw1\\";
    ExpectCopiedFiles("D:\\sw1\\", game);
    ExpectCopiedFiles("D:\\sw1\\gamedat\\", game + "gamedat\\");
    EXPECT_EQ("Play Starwarden 1", TextAtQuit(IDC_GAME1));
    // Dropped, not put off: it did not come back as a "Play" either.
    for (const std::string &run : ReadLineList(ChildLog()))
        EXPECT_NE(0u, run.find("sw1|")) << run;
}

// The longest full path of a file under the directory.
size_t LongestPathUnder(const std::string &directory)
{
    size_t longest = 0;
    VisitEntries(directory + "*", [&](const WIN32_FIND_DATAA &entry) {
        std::string path = directory + entry.cFileName;
        size_t length = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? LongestPathUnder(path + "\\")
                                                                          : path.size();
        longest = std::max(longest, length);
        return true;
    });
    return longest;
}

// Installs every game into the directory the chooser is given, then turns
// the invulnerable mode on and plays game 1 there.
void InstallEverythingInto(const std::string &typed, bool exists)
{
    const std::string unslashed = typed.substr(0, typed.size() - 1);
    for (int button : {IDC_GAME1, IDC_GAME2, IDC_GAME3}) {
        ScriptedUi ui;
        PressOnMainDialog(ui, button);
        if (button == IDC_GAME1) {
            ui.ExpectBox(AskCaption, DefaultDir, IDNO)
              .ExpectDialog(ChooserCaption, [&](HWND d) { SetEditText(d, IDC_DIR_EDIT, unslashed.c_str()); }, IDOK)
              .ExpectBox(exists ? ConfirmCaption : CreateCaption, typed, IDYES);
        }
        if (button == IDC_GAME3)
            ui.ExpectDialog("Starwarden 3 Additional Installation",
                            [](HWND d) { ClickRadio(d, IDC_ADD_BEST); }, IDOK);
        RunMainDialog();
        ui.Verify();
    }
    {
        ScriptedUi ui;
        PressOnMainDialog(ui, IDC_INVULNERABLE);
        ui.ExpectBox("Cheater!", "By choosing Invulnerable, your savegames will labelled as CHEATER.", IDOK);
        RunMainDialog();
        ui.Verify();
    }
    ScriptedUi play;
    PressOnMainDialog(play, IDC_GAME1);
    RunMainDialog();
    play.Verify();
}

TEST_F(Install, TheLongestAcceptedDirectoryHoldsAFullInstallOfEveryGame)
{
    for (bool exists : {true, false}) {
        SCOPED_TRACE(exists ? "existing directory" : "directory to be created");
        Clean();
        const std::string target = DirectoryOfLength(MAX_INSTALL_DIRECTORY, exists ? 'e' : 'n');
        ASSERT_EQ((size_t)MAX_INSTALL_DIRECTORY, target.size());
        if (exists)
            CreateDirectoryLevels(target);
        InstallEverythingInto(target, exists);
        EXPECT_EQ(target, RecordText("Installed To:"));
        ExpectCopiedFiles("D:\\sw1\\", target + "sw1\\", {"starwdn.cfg"});
        ExpectCopiedFiles("D:\\sw1\\gamedat\\", target + "sw1\\gamedat\\");
        ExpectCopiedFiles("D:\\sw2\\", target + "sw2\\", {"sw2.cfg"});
        ExpectCopiedFiles("D:\\sw2\\gamedat\\", target + "sw2\\gamedat\\");
        ExpectCopiedFiles("D:\\sw3Inst\\", target + "sw3\\", {"gameflow.tre", "missions.tre", "objects.tre"});
        for (const char *name : {"gameflow.tre", "missions.tre", "objects.tre"})
            EXPECT_TRUE(ReadFileBytes(std::string("D:\\") + name) == ReadFileBytes(target + "sw3\\" + name));
        EXPECT_EQ(std::string("Zorvan -k -b", 13), ReadFileBytes(target + "sw1\\starwdn.cfg"));
        EXPECT_EQ(std::string("Zorvan -k -b", 13), ReadFileBytes(target + "sw2\\sw2.cfg"));
        std::vector<std::string> runs = ReadLineList(ChildLog());
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ("sw1|" + target + "sw1|", runs.back().substr(0, target.size() + 8));
        EXPECT_EQ("Play Starwarden 3", TextAtQuit(IDC_GAME3));
        // Wine's file calls take a path one character longer than Windows'
        // do, so the limit is measured here: the longest file reaches it.
        EXPECT_EQ((size_t)MAX_PATH - 1, LongestPathUnder(target));
    }
}

// ---------------------------------------------------------------------------
// Free space

std::string SpaceMessage(char drive, double freeMegabytes, int required)
{
    char text[512];
    snprintf(text, sizeof text,
             "Drive %c: only has %3.1f MB of available hard drive space.\nThe game you are trying to install "
             "requires %d MB of hard drive space.\nPlease free up the required disk space and try again.",
             drive, freeMegabytes, required);
    return text;
}

class FreeSpace : public Install {
protected:
    void SetUp() override
    {
        Install::SetUp();
        CreatePanelForTest();
    }
    void TearDown() override
    {
        DestroyPanelForTest();
        Install::TearDown();
    }
};

TEST_F(FreeSpace, ExactlyTheRequiredMegabytesPassAndATenthLessFails)
{
    if (!HaveSmallDisk())
        GTEST_SKIP() << "no small disk T: (the runner mounts one only as root)";
    ScriptedUi ui;
    LeaveFreeOnSmallDisk(13ull * 1048576);
    EXPECT_EQ(13ull * 1048576, SmallDiskFreeBytes());
    EXPECT_EQ(1, CheckDiskSpace('T', 13));
    LeaveFreeOnSmallDisk(12ull * 1048576 + 943718);  // 12.9 MB
    ui.ExpectBox(SpaceCaption, SpaceMessage('T', 12.9, 13), IDOK).WithStyle(MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(0, CheckDiskSpace('T', 13));
    ui.Verify();
}

TEST_F(FreeSpace, MoreThanFourGigabytesFreeIsNotCutDown)
{
    ULARGE_INTEGER available, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, &total, &free));
    if (available.QuadPart < 4300ull * 1048576)
        GTEST_SKIP() << "drive C: has less than 4300 MB free";
    ScriptedUi ui;
    // Taken modulo 4 GiB the free space would be below 4096 MB.
    EXPECT_EQ(1, CheckDiskSpace('C', 4200));
    ui.Verify();
}

// Another directory is a way out only while the launcher still offers to
// choose one, before the first game.
TEST_F(FreeSpace, ADriveThatCannotReportItsSpaceIsRefusedWithAMessage)
{
    for (int installed : {0, 1}) {
        SCOPED_TRACE(installed);
        LauncherState.Game1Installed = installed;
        std::string text;
        ScriptedUi ui;
        ui.ExpectDialog(SpaceCaption, [&](HWND box) { text = ItemText(box, 0xFFFF); }, IDOK);
        EXPECT_EQ(0, CheckDiskSpace('Q', 2));
        ui.Verify();
        EXPECT_EQ(0u, text.find("The available hard drive space of drive Q: cannot be determined")) << text;
        EXPECT_EQ(installed == 0, text.find("choose another install directory") != std::string::npos) << text;
    }
}

TEST_F(FreeSpace, EachGameAndLevelAsksForItsOwnSize)
{
    if (!HaveSmallDisk())
        GTEST_SKIP() << "no small disk T: (the runner mounts one only as root)";
    struct Case { int button; int radio; int required; };
    const Case cases[] = {{IDC_GAME1, 0, 13}, {IDC_GAME2, 0, 26}, {IDC_GAME3, IDC_ADD_NONE, 2},
                          {IDC_GAME3, IDC_ADD_BETTER, 11}, {IDC_GAME3, IDC_ADD_BEST, 43}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.required);
        Clean();
        LeaveFreeOnSmallDisk(1048576 + 12 * 4096);
        CreateDirectoryA("T:\\games", NULL);
        double free = (double)SmallDiskFreeBytes() / 1048576.0;
        ScriptedUi ui;
        PressOnMainDialog(ui, c.button);
        ui.ExpectBox(AskCaption, DefaultDir, IDNO)
          .ExpectDialog(ChooserCaption, [](HWND dialog) { SetEditText(dialog, IDC_DIR_EDIT, "t:\\games"); }, IDOK)
          .ExpectBox(ConfirmCaption, "T:\\games\\", IDYES);
        if (c.radio != 0)
            ui.ExpectDialog("Starwarden 3 Additional Installation", [&](HWND d) { ClickRadio(d, c.radio); }, IDOK);
        ui.ExpectBox(SpaceCaption, SpaceMessage('T', free, c.required), IDOK);
        RunMainDialog();
        ui.Verify();
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
    }
}

TEST_F(FreeSpace, Game3FitsADiskWithExactlyItsTwoMegabytes)
{
    if (!HaveSmallDisk())
        GTEST_SKIP() << "no small disk T: (the runner mounts one only as root)";
    DestroyPanelForTest();
    LeaveFreeOnSmallDisk(2ull * 1048576);
    CreateDirectoryA("T:\\games", NULL);
    ScriptedUi ui;
    PressOnMainDialog(ui, IDC_GAME3);
    ui.ExpectBox(AskCaption, DefaultDir, IDNO)
      .ExpectDialog(ChooserCaption, [](HWND dialog) { SetEditText(dialog, IDC_DIR_EDIT, "T:\\games\\"); }, IDOK)
      .ExpectBox(ConfirmCaption, "T:\\games\\", IDYES)
      .ExpectDialog("Starwarden 3 Additional Installation", [](HWND) {}, IDOK);
    RunMainDialog();
    ui.Verify();
    ExpectCopiedFiles("D:\\sw3Inst\\", "T:\\games\\sw3\\");
    EXPECT_EQ("Play Starwarden 3", TextAtQuit(IDC_GAME3));
}

// ---------------------------------------------------------------------------
// The additional-files dialog on its own

class Additional : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        CreatePanelForTest();
    }
    void TearDown() override { DestroyPanelForTest(); }
};

TEST_F(Additional, EachAnswerGivesItsLevelAndTheDialogAlwaysOpensOnNone)
{
    struct Case { int radio; int button; int level; };
    const Case cases[] = {{0, IDOK, 0}, {IDC_ADD_BETTER, IDOK, 1}, {IDC_ADD_BEST, IDOK, 2},
                          {IDC_ADD_BEST, IDCANCEL, -1}, {IDC_ADD_NONE, IDOK, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.level);
        bool noneAtOpen = false;
        HWND owner = NULL;
        ScriptedUi ui;
        ui.ExpectDialog("Starwarden 3 Additional Installation", [&](HWND d) {
            noneAtOpen = IsDlgButtonChecked(d, IDC_ADD_NONE) == BST_CHECKED;
            owner = GetWindow(d, GW_OWNER);
            if (c.radio != 0)
                ClickRadio(d, c.radio);
        }, c.button);
        EXPECT_EQ(c.level, AskAdditionalInstall());
        ui.Verify();
        EXPECT_EQ(c.level, Game3ExtrasLevel);
        EXPECT_TRUE(noneAtOpen);
        EXPECT_EQ(MainDialog, owner);
    }
}

// The sizes the free-space check and the footprint count are the ones the
// dialog's texts show, level by level.
TEST_F(Additional, ShowsTheSizesThatAreCounted)
{
    std::vector<std::string> shown;
    ScriptedUi ui;
    ui.ExpectDialog("Starwarden 3 Additional Installation", [&](HWND d) {
        for (HWND c = GetWindow(d, GW_CHILD); c != NULL; c = GetWindow(c, GW_HWNDNEXT)) {
            char text[64] = "";
            GetWindowTextA(c, text, sizeof text);
            std::string item = text;
            if (item.size() > 3 && item.compare(item.size() - 3, 3, " MB") == 0)
                shown.push_back(item);
        }
    }, IDCANCEL);
    AskAdditionalInstall();
    ui.Verify();
    std::vector<std::string> counted;
    for (int level = 0; level <= 2; level++)
        counted.push_back(std::to_string(ExtrasMegabytes(level)) + " MB");
    EXPECT_EQ(counted, shown);
}

// Wine's dialog manager steps over the unchecked choices of a group with Tab
// whatever their styles say; another one need not, so only the first choice
// is a tab stop.
TEST_F(Additional, TheChoicesAreOneTabStopWithTheArrowKeysInside)
{
    std::vector<int> focus;
    std::vector<bool> tabStops;
    ScriptedUi ui;
    ui.ExpectDialog("Starwarden 3 Additional Installation", [&](HWND dialog) {
        for (int id : {IDC_ADD_NONE, IDC_ADD_BETTER, IDC_ADD_BEST})
            tabStops.push_back((GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_TABSTOP) != 0);
        auto recordThenPress = [&focus](std::vector<UINT> keys) {
            return [&focus, keys](HWND d) {
                focus.push_back(FocusedItem(d));
                for (UINT key : keys)
                    PressKeyOnFocus(key);
            };
        };
        StepThrough(dialog, {recordThenPress({VK_TAB}), recordThenPress({VK_DOWN}),
                             recordThenPress({VK_SPACE, VK_TAB}), recordThenPress({VK_TAB}),
                             recordThenPress({VK_RETURN})});
    }, 0);
    EXPECT_EQ(1, AskAdditionalInstall());
    ui.Verify();
    EXPECT_EQ((std::vector<int>{IDOK, IDC_ADD_NONE, IDC_ADD_BETTER, IDCANCEL, IDOK}), focus);
    EXPECT_EQ((std::vector<bool>{true, false, false}), tabStops);
}

TEST_F(Additional, EscapeCancels)
{
    ScriptedUi ui;
    ui.ExpectDialog("Starwarden 3 Additional Installation", [](HWND d) {
        PostMessageA(GetDlgItem(d, IDC_ADD_NONE), WM_KEYDOWN, VK_ESCAPE, 0);
    }, 0);
    EXPECT_EQ(-1, AskAdditionalInstall());
    ui.Verify();
}

}  // namespace

namespace {

// Game 1 as an earlier run left it; returns the install directory.
std::string PutInstalledGame1()
{
    ResetTestState();
    const std::string saga = TestRoot() + "saga\\";
    CreateDirectoryA(saga.c_str(), NULL);
    CreateDirectoryA((saga + "sw1").c_str(), NULL);
    EXPECT_TRUE(CopyFileA("D:\\sw1\\sw1.exe", (saga + "sw1\\sw1.exe").c_str(), FALSE));
    WriteRecord(saga.c_str(), "D", 1, 0, 0, 0);
    return saga;
}

// Both clicks of a double click, and a click on Quit, all given before the
// copy is over: it installs, and nothing more.
TEST(InstallNextGame, ClicksGivenDuringTheCopyAreNotReplayedAfterIt)
{
    const std::string saga = PutInstalledGame1();
    ExplorerStandIn explorer;
    ScriptedUi ui;
    // A double click, one more click that waits during the copy, and Quit.
    StepOnMainDialog(ui, {[](HWND dialog) {
        DoubleClickItem(dialog, IDC_GAME2);
        ClickItem(dialog, IDC_GAME2);
        ClickItem(dialog, IDCANCEL);
    }});
    RunMainDialog();
    ui.Verify();
    ExpectCopiedFiles("D:\\sw2\\", saga + "sw2\\");
    EXPECT_TRUE(ChildRunsOf("sw2").empty());
    EXPECT_EQ("Play Starwarden 2", TextAtQuit(IDC_GAME2));  // quit by the driver, not by the click
    DeleteLauncherKey();
}

// Runs an action on the launcher's thread once, when the status area's
// first line is given its text: the work it names has begun, and goes on
// when the action returns.
std::function<void()> AtWorkStart;
WNDPROC StatusLineProc;

LRESULT CALLBACK WatchStatusLine(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT && *(const char *)lParam != '\0' && AtWorkStart) {
        std::function<void()> action = AtWorkStart;
        AtWorkStart = nullptr;
        action();
    }
    return CallWindowProcA(StatusLineProc, window, message, wParam, lParam);
}

void RunAtWorkStart(HWND dialog, std::function<void()> action)
{
    AtWorkStart = action;
    StatusLineProc = (WNDPROC)SetWindowLongPtrA(GetDlgItem(dialog, IDC_STATUS_TEXT1), GWLP_WNDPROC,
                                                (LONG_PTR)WatchStatusLine);
}

// Touch and pen input that reached game 2's button.
int TouchInputDispatched;
WNDPROC Game2ButtonProc;

LRESULT CALLBACK CountTouchInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (IsTouchInput(message))
        TouchInputDispatched++;
    return CallWindowProcA(Game2ButtonProc, window, message, wParam, lParam);
}

// A double tap on "Install" given while the copy runs is not handed to the
// button afterwards, where the system would make two clicks of it.
TEST(InstallNextGame, TapsGivenDuringTheCopyAreNotReplayedAfterIt)
{
    const std::string saga = PutInstalledGame1();
    ExplorerStandIn explorer;
    TouchInputDispatched = 0;
    bool tapped = false;
    ScriptedUi ui;
    StepOnMainDialog(ui, {[&](HWND dialog) {
        Game2ButtonProc = (WNDPROC)SetWindowLongPtrA(GetDlgItem(dialog, IDC_GAME2), GWLP_WNDPROC,
                                                     (LONG_PTR)CountTouchInput);
        RunAtWorkStart(dialog, [&tapped, dialog]() {
            DoubleTapItem(dialog, IDC_GAME2);
            tapped = true;
        });
        ClickItem(dialog, IDC_GAME2);
    }});
    RunMainDialog();
    ui.Verify();
    EXPECT_TRUE(tapped);
    EXPECT_EQ(0, TouchInputDispatched);
    ExpectCopiedFiles("D:\\sw2\\", saga + "sw2\\");
    EXPECT_TRUE(ChildRunsOf("sw2").empty());
    DeleteLauncherKey();
}

// Windows asks before a shutdown or sign-out: no while the files are
// copied, with what is being done as the reason Windows shows; yes before
// and after.
TEST(InstallNextGame, ShutdownWaitsForTheCopyWithItsNameAsTheReason)
{
    const std::string saga = PutInstalledGame1();
    ExplorerStandIn explorer;
    ShutdownReasonRecorder reasons;
    std::unique_ptr<SessionEndQuestion> duringCopy;
    LRESULT before = -1, after = -1;
    int reasonsStanding = -1;
    HWND main = NULL;
    ScriptedUi ui;
    StepOnMainDialog(ui, {
        [&](HWND dialog) {
            main = dialog;
            before = AskToEndSession(dialog);
            RunAtWorkStart(dialog, [&duringCopy, dialog]() {
                duringCopy.reset(new SessionEndQuestion(dialog));
                Sleep(300);  // the question waits in the queue while the copy goes on
            });
            ClickItem(dialog, IDC_GAME2);
        },
        [&](HWND dialog) {
            reasonsStanding = ShutdownReasonRecorder::Given - ShutdownReasonRecorder::Withdrawn;
            after = AskToEndSession(dialog);
        },
    });
    RunMainDialog();
    ui.Verify();
    EXPECT_EQ(TRUE, before);
    ASSERT_TRUE(duringCopy != nullptr);
    EXPECT_EQ(FALSE, duringCopy->Answer());
    EXPECT_EQ(TRUE, after);
    EXPECT_TRUE(ShutdownReasonRecorder::Last == L"Installing Starwarden 2");
    EXPECT_EQ(main, ShutdownReasonRecorder::Window);
    EXPECT_GE(ShutdownReasonRecorder::Given, 1);
    EXPECT_EQ(0, reasonsStanding);  // every reason taken back once the work was done
    ExpectCopiedFiles("D:\\sw2\\", saga + "sw2\\");
    ExpectCopiedFiles("D:\\sw2\\gamedat\\", saga + "sw2\\gamedat\\");
    DeleteLauncherKey();
}

TEST(InstallNextGame, OnceAGameIsInstalledTheDirectoryIsNotAskedAgain)
{
    const std::string saga = PutInstalledGame1();
    ExplorerStandIn explorer;
    ScriptedUi ui;
    PressOnMainDialog(ui, IDC_GAME2);
    RunMainDialog();
    ui.Verify();
    ExpectCopiedFiles("D:\\sw2\\", saga + "sw2\\");
    EXPECT_EQ("Play Starwarden 2", TextAtQuit(IDC_GAME2));
    EXPECT_EQ(1u, RecordNumber("Starwarden 2 Installed"));
    DeleteLauncherKey();
}

}  // namespace
