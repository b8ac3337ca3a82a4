// Copying and deleting one directory at a time with the status area, and
// creating directory chains.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {

std::vector<std::string> AllEntries(const std::string &directory)
{
    std::vector<std::string> names;
    VisitEntries(directory + "*", [&names](const WIN32_FIND_DATAA &entry) {
        names.push_back(entry.cFileName);
        return true;
    });
    std::sort(names.begin(), names.end());
    return names;
}

class CopyAndDelete : public ShownPanelTest {
protected:

    static int BarMaximum() { return (int)SendDlgItemMessageA(MainDialog, IDC_INSTALL_BAR, PBM_GETRANGE, FALSE, 0); }
    static int BarPosition() { return (int)SendDlgItemMessageA(MainDialog, IDC_INSTALL_BAR, PBM_GETPOS, 0, 0); }
    static bool StatusAreaVisible() { return IsWindowVisible(GetDlgItem(MainDialog, IDC_STATUS_FRAME)) != FALSE; }

    // Deletes the directory where no box may appear; returns the path as
    // DeleteFiles leaves it.
    static std::string DeleteWithoutABox(const std::string &path, const char *status)
    {
        char directory[PATH_BUFFER];
        CopyText(directory, sizeof directory, path.c_str());
        ScriptedUi ui;
        DeleteFiles(directory, status);
        ui.Verify();
        return directory;
    }

    std::string root = TestRoot();
};

TEST_F(CopyAndDelete, CopiesEveryFileOfADiscDirectoryByteForByte)
{
    const std::string source = "D:\\sw1\\", target = root + "sw1\\";
    CreateDirectoryA(target.c_str(), NULL);
    ScriptedUi ui;
    EXPECT_EQ(1, CopyFiles(source.c_str(), target.c_str(), "Installing Starwarden 1"));
    ui.Verify();

    std::vector<std::string> files = ListedFiles(source);
    ASSERT_GT(files.size(), 100u);
    for (const std::string &name : files) {
        std::string copy = target + name;
        ASSERT_EQ(ReadFileBytes(source + name), ReadFileBytes(copy)) << name;
        EXPECT_FALSE(GetFileAttributesA(copy.c_str()) & FILE_ATTRIBUTE_READONLY) << name;
    }
    // Exactly the listed files: no subdirectory, no name with a leading full stop.
    std::vector<std::string> sorted = files;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, AllEntries(target));
    EXPECT_FALSE(StatusAreaVisible());
    EXPECT_EQ((int)files.size(), BarMaximum());  // the range of the last copy stays set
}

TEST_F(CopyAndDelete, CopyOverAnExistingCopyReplacesEveryFileAndLeavesThemWritable)
{
    const std::string source = root + "src\\", target = root + "dst\\";
    CreateDirectoryA(source.c_str(), NULL);
    CreateDirectoryA(target.c_str(), NULL);
    WriteFileBytes(source + "a.dat", "new a");
    WriteFileBytes(source + "b.dat", "new b");
    SetFileAttributesA((source + "b.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(target + "a.dat", "old contents of a");
    EXPECT_EQ(1, CopyFiles(source.c_str(), target.c_str(), "Installing"));
    EXPECT_EQ(1, CopyFiles(source.c_str(), target.c_str(), "Installing"));
    EXPECT_EQ("new a", ReadFileBytes(target + "a.dat"));
    EXPECT_EQ("new b", ReadFileBytes(target + "b.dat"));
    EXPECT_FALSE(GetFileAttributesA((target + "b.dat").c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((source + "b.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CopyAndDelete, DirectoryOfSubdirectoriesOnlyCopiesNothingAndSucceeds)
{
    const std::string source = root + "only-dirs\\", target = root + "dst\\";
    CreateDirectoryA(source.c_str(), NULL);
    CreateDirectoryA((source + "inner").c_str(), NULL);
    CreateDirectoryA(target.c_str(), NULL);
    ScriptedUi ui;
    EXPECT_EQ(1, CopyFiles(source.c_str(), target.c_str(), "Installing"));
    ui.Verify();
    EXPECT_EQ(0, BarMaximum());
    EXPECT_TRUE(AllEntries(target).empty());
}

TEST_F(CopyAndDelete, MissingSourceIsACountingFailureWithNumber22)
{
    ScriptedUi ui;
    ui.ExpectBox("CopyFiles", "_findnext == -1 && errno == 22 (count)", IDOK);
    EXPECT_EQ(0, CopyFiles((root + "absent\\").c_str(), root.c_str(), "Installing"));
    ui.Verify();
    EXPECT_FALSE(StatusAreaVisible());
}

TEST_F(CopyAndDelete, FileThatCannotBeReadStopsTheCopyWithBothMessages)
{
    const std::string source = root + "src\\", target = root + "dst\\";
    CreateDirectoryA(source.c_str(), NULL);
    CreateDirectoryA(target.c_str(), NULL);
    for (const char *name : {"a.dat", "b.dat", "c.dat", "d.dat", "e.dat"})
        WriteFileBytes(source + name, std::string("content of ") + name);
    std::vector<std::string> order = ListedFiles(source);
    ASSERT_EQ(5u, order.size());
    const std::string locked = order[2];
    HANDLE lock = CreateFileA((source + locked).c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);

    std::string secondLine;
    int barAtCopyBox = -1, barAtAttributeBox = -1;
    ScriptedUi ui;
    ui.ExpectDialog("copyFiles", [&](HWND box) {
        secondLine = ItemText(MainDialog, IDC_STATUS_TEXT2);
        barAtCopyBox = BarPosition();
        EXPECT_EQ("Could not copy file '" + source + locked + "' to '" + target + locked + "'", ItemText(box, 0xFFFF));
    }, IDOK)
      .ExpectDialog("File not found to _chmod", [&](HWND box) {
        barAtAttributeBox = BarPosition();
        EXPECT_EQ(target + locked, ItemText(box, 0xFFFF));
    }, IDOK);
    EXPECT_EQ(0, CopyFiles(source.c_str(), target.c_str(), "Installing"));
    ui.Verify();
    CloseHandle(lock);

    EXPECT_EQ(locked, secondLine);
    // The bar stands at the files handled before each box: two before the
    // copy fails, the failing one too when its attribute cannot be changed.
    EXPECT_EQ(2, barAtCopyBox);
    EXPECT_EQ(3, barAtAttributeBox);
    EXPECT_TRUE(PathExists(target + order[0]));
    EXPECT_TRUE(PathExists(target + order[1]));
    EXPECT_FALSE(PathExists(target + locked));
    EXPECT_FALSE(PathExists(target + order[3]));  // nothing after the failure
    EXPECT_FALSE(PathExists(target + order[4]));
}

TEST_F(CopyAndDelete, PathTooLongForItsBufferIsAFailedCopyNotAShortenedOne)
{
    std::string source = root + "src\\";
    CreateDirectoryA(source.c_str(), NULL);
    WriteFileBytes(source + "file.dat", "x");
    std::string target = "C:\\" + std::string(1020, 'd') + "\\";  // with the name, past 1024
    ScriptedUi ui;
    ui.ExpectBox("copyFiles", "Could not copy file '" + source + "file.dat' to '" + target + "file.dat'", IDOK);
    EXPECT_EQ(0, CopyFiles(source.c_str(), target.c_str(), "Installing"));
    ui.Verify();
}

// Polls IsHungAppWindow(MainDialog) from a second thread every 200 ms while
// the test's thread is busy.
class HungWatcher {
public:
    HungWatcher() : stop_(CreateEventA(NULL, TRUE, FALSE, NULL))
    {
        thread_ = CreateThread(NULL, 0, Watch, this, 0, NULL);
    }
    ~HungWatcher() { Stop(); CloseHandle(stop_); }
    void Stop()
    {
        if (thread_ == NULL)
            return;
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = NULL;
    }
    LONG checks = 0, hung = 0;

private:
    static DWORD WINAPI Watch(LPVOID self)
    {
        HungWatcher *watcher = (HungWatcher *)self;
        HWND window = MainDialog;
        while (WaitForSingleObject(watcher->stop_, 200) == WAIT_TIMEOUT) {
            InterlockedIncrement(&watcher->checks);
            if (IsHungAppWindow(window))
                InterlockedIncrement(&watcher->hung);
        }
        return 0;
    }
    HANDLE stop_;
    HANDLE thread_ = NULL;
};

void LookAtQueue()
{
    MSG message;
    PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE);
}

TEST_F(CopyAndDelete, LongCopyNeverLetsTheDialogLookHung)
{
    // First show that the check can see a hung dialog here: a thread that
    // does not look at its queue for six seconds is reported.
    LookAtQueue();
    {
        HungWatcher watcher;
        Sleep(6500);
        watcher.Stop();
        if (watcher.hung == 0)
            GTEST_SKIP() << "this system never reports the dialog as hung";
    }
    LookAtQueue();
    ASSERT_FALSE(IsHungAppWindow(MainDialog));

    // Many small files: the copy itself takes seconds, with the status line
    // and the bar painted after every file and no message dispatched.
    const std::string source = root + "many\\", target = root + "copy\\";
    CreateDirectoryA(source.c_str(), NULL);
    CreateDirectoryA(target.c_str(), NULL);
    const std::string content(2048, 'm');
    for (int i = 0; i < 2500; i++)
        WriteFileBytes(source + "f" + std::to_string(i) + ".dat", content);

    ScriptedUi ui;
    HungWatcher watcher;
    DWORD start = GetTickCount();
    int copies = 0;
    // Copy again until well past the five seconds, without looking at the
    // queue in between: all of it counts as one long stretch of work.
    while (GetTickCount() - start < 8000) {
        ASSERT_EQ(1, CopyFiles(source.c_str(), target.c_str(), "Installing"));
        copies++;
    }
    watcher.Stop();
    ui.Verify();
    EXPECT_GE(watcher.checks, 35);
    EXPECT_EQ(0, watcher.hung) << "over " << copies << " copies";
    EXPECT_EQ(content, ReadFileBytes(target + "f2499.dat"));
}

// Records what the bar holds each time it paints, and each text the second
// line shows.
struct PaintRecord {
    std::vector<int> bar;
    std::vector<std::string> line;
};
PaintRecord Painted;
WNDPROC BarProc, LineProc;

LRESULT CALLBACK RecordBarPaint(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT)
        Painted.bar.push_back((int)CallWindowProcA(BarProc, window, PBM_GETPOS, 0, 0));
    return CallWindowProcA(BarProc, window, message, wParam, lParam);
}

LRESULT CALLBACK RecordLinePaint(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A static control paints its new text at once, without a WM_PAINT.
    if (message == WM_SETTEXT && IsWindowVisible(window))
        Painted.line.push_back((const char *)lParam);
    return CallWindowProcA(LineProc, window, message, wParam, lParam);
}

TEST_F(CopyAndDelete, CopyPaintsTheFullBarAndTheLastNameBeforeTheAreaHides)
{
    const std::string source = "D:\\sw2\\", target = root + "sw2\\";
    CreateDirectoryA(target.c_str(), NULL);
    std::vector<std::string> order = ListedFiles(source);
    ASSERT_GT(order.size(), 100u);
    Painted = PaintRecord();
    BarProc = (WNDPROC)SetWindowLongPtrA(GetDlgItem(MainDialog, IDC_INSTALL_BAR), GWLP_WNDPROC, (LONG_PTR)RecordBarPaint);
    LineProc = (WNDPROC)SetWindowLongPtrA(GetDlgItem(MainDialog, IDC_STATUS_TEXT2), GWLP_WNDPROC, (LONG_PTR)RecordLinePaint);
    ScriptedUi ui;
    EXPECT_EQ(1, CopyFiles(source.c_str(), target.c_str(), "Installing Starwarden 2"));
    ui.Verify();

    // The bar paints empty when the area shows, never goes back, and ends full.
    ASSERT_GE(Painted.bar.size(), 2u);
    EXPECT_EQ(0, Painted.bar.front());
    EXPECT_TRUE(std::is_sorted(Painted.bar.begin(), Painted.bar.end()));
    EXPECT_EQ((int)order.size(), Painted.bar.back());
    // Every name shown is a file of the directory, and the last is the last file.
    ASSERT_GE(Painted.line.size(), 1u);
    for (size_t i = 0; i < Painted.line.size(); i++)
        EXPECT_NE(order.end(), std::find(order.begin(), order.end(), Painted.line[i])) << Painted.line[i];
    EXPECT_EQ(order.back(), Painted.line.back());
    EXPECT_FALSE(StatusAreaVisible());
}

TEST_F(CopyAndDelete, DiskThatFillsUpStopsTheCopyWithTheFileMessage)
{
    if (!HaveSmallDisk())
        GTEST_SKIP() << "no small disk T: (the test runner mounts it only where it may mount a tmpfs)";
    const std::string source = "D:\\sw2\\", target = "T:\\";
    LeaveFreeOnSmallDisk(4 * 1024 * 1024);
    std::vector<std::string> order = ListedFiles(source);
    ULONGLONG total = 0;
    for (const std::string &name : order) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA((source + name).c_str(), GetFileExInfoStandard, &data));
        total += data.nFileSizeLow;
    }
    ASSERT_GT(total, SmallDiskFreeBytes());

    std::string message, secondLine;
    {
        ScriptedUi ui;
        ui.ExpectDialog("copyFiles", [&](HWND box) {
            message = ItemText(box, 0xFFFF);
            secondLine = ItemText(MainDialog, IDC_STATUS_TEXT2);
        }, IDOK);
        EXPECT_EQ(0, CopyFiles(source.c_str(), target.c_str(), "Installing Starwarden 2"));
        ui.Verify();
    }
    EXPECT_EQ("Could not copy file '" + source + secondLine + "' to '" + target + secondLine + "'", message);

    // The loop stopped at the failing file: everything before it is there
    // and complete, nothing after it was tried.
    auto failed = std::find(order.begin(), order.end(), secondLine);
    ASSERT_NE(order.end(), failed) << secondLine;
    for (auto it = order.begin(); it != failed; ++it)
        ASSERT_EQ(ReadFileBytes(source + *it), ReadFileBytes(target + *it)) << *it;
    for (auto it = failed + 1; it != order.end(); ++it)
        EXPECT_FALSE(PathExists(target + *it)) << *it;

    // The launcher is still there and works: the area is hidden again, the
    // panel answers, and a copy that fits succeeds.
    EXPECT_TRUE(IsWindow(MainDialog));
    EXPECT_FALSE(StatusAreaVisible());
    DWORD_PTR answer;
    EXPECT_TRUE(SendMessageTimeoutA(MainDialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer));
    EmptySmallDisk();
    ScriptedUi again;
    EXPECT_EQ(1, CopyFiles("D:\\sw2\\gamedat\\", target.c_str(), "Installing Starwarden 2"));
    again.Verify();
}

TEST_F(CopyAndDelete, DeleteRemovesFilesTheDirectoryAndTheEmptyParent)
{
    std::string install = root + "saga\\", game = install + "sw1\\";
    CreateDirectoryA(install.c_str(), NULL);
    CreateDirectoryA(game.c_str(), NULL);
    WriteFileBytes(game + "sw1.exe", "MZ");
    WriteFileBytes(game + "data.dat", "data");
    // Shortened to the parent.
    EXPECT_EQ("C:\\dsaga-tests\\saga", DeleteWithoutABox(game, "Uninstalling Starwarden 1"));
    EXPECT_FALSE(PathExists(game));
    EXPECT_FALSE(PathExists(install));
    EXPECT_FALSE(StatusAreaVisible());
}

TEST_F(CopyAndDelete, DeleteLeavesSubdirectoriesDotFilesAndANonEmptyParent)
{
    std::string install = root + "saga\\", game = install + "sw1\\";
    CreateDirectoryA(install.c_str(), NULL);
    CreateDirectoryA(game.c_str(), NULL);
    CreateDirectoryA((install + "sw2").c_str(), NULL);
    CreateDirectoryA((game + "gamedat").c_str(), NULL);
    WriteFileBytes(game + "gamedat\\save1.sav", "save");
    WriteFileBytes(game + ".hidden", "dot");
    WriteFileBytes(game + "sw1.exe", "MZ");
    DeleteWithoutABox(game, "Uninstalling Starwarden 1");
    EXPECT_FALSE(PathExists(game + "sw1.exe"));
    EXPECT_TRUE(PathExists(game + ".hidden"));
    EXPECT_TRUE(PathExists(game + "gamedat\\save1.sav"));
    EXPECT_TRUE(PathExists(install + "sw2"));
}

TEST_F(CopyAndDelete, DeleteOfAMissingDirectoryIsSilent)
{
    EXPECT_EQ("C:\\dsaga-tests\\none", DeleteWithoutABox(root + "none\\sw1\\", ""));
    EXPECT_TRUE(PathExists(root));
}

TEST_F(CopyAndDelete, DirectoryChainIsCreatedLevelByLevel)
{
    char path[PATH_BUFFER];
    CopyText(path, sizeof path, (root + "a\\b\\c\\d\\e\\f\\").c_str());
    ScriptedUi ui;
    EXPECT_EQ(1, MakeDirectoryChain(path));
    EXPECT_EQ(1, MakeDirectoryChain(path));  // existing chain: silently fine
    char drive[] = "C:\\";
    EXPECT_EQ(1, MakeDirectoryChain(drive));
    ui.Verify();
    EXPECT_TRUE(PathExists(root + "a\\b\\c\\d\\e\\f"));
    EXPECT_EQ(root + "a\\b\\c\\d\\e\\f\\", std::string(path));

    CopyText(path, sizeof path, (root + "g\\h").c_str());
    EXPECT_EQ(1, MakeDirectoryChain(path));
    EXPECT_TRUE(PathExists(root + "g"));
    EXPECT_FALSE(PathExists(root + "g\\h"));  // no trailing backslash, not created
}

TEST_F(CopyAndDelete, DirectoryChainBlockedByAFileIsReportedAndThePathKept)
{
    WriteFileBytes(root + "blocker", "file");
    char path[PATH_BUFFER];
    CopyText(path, sizeof path, (root + "blocker\\x\\").c_str());
    ScriptedUi ui;
    ui.ExpectBox("ERROR", "Could !create C:\\dsaga-tests\\blocker\\x directory 3", IDOK);
    EXPECT_EQ(0, MakeDirectoryChain(path));
    ui.Verify();
    EXPECT_EQ(root + "blocker\\x\\", std::string(path));
}

// A share's server and name are no directories to create: the chain
// begins below the share, and below the root of the long forms of paths.
TEST_F(CopyAndDelete, DirectoryChainOnAShareIsCreatedBelowTheShare)
{
    if (!MakeTestShare())
        GTEST_SKIP() << "no Wine prefix to answer a share";
    const std::string chains[] = {
        std::string(TestShare) + "Start Menu\\Programs\\Tessarine Systems\\",
        "\\\\?\\UNC\\dsaga-server\\share\\long\\a\\",
        "\\\\?\\" + root + "long\\b\\",
    };
    ScriptedUi ui;
    for (const std::string &chain : chains) {
        char path[PATH_BUFFER];
        CopyText(path, sizeof path, chain.c_str());
        EXPECT_EQ(1, MakeDirectoryChain(path)) << chain;
        EXPECT_EQ(chain, std::string(path));
    }
    ui.Verify();
    EXPECT_TRUE(PathExists(std::string(TestShare) + "Start Menu\\Programs\\Tessarine Systems"));
    EXPECT_TRUE(PathExists(std::string(TestShare) + "long\\a"));
    EXPECT_TRUE(PathExists(root + "long\\b"));
    RemoveTestShare();
}

TEST_F(CopyAndDelete, DirectoryChainOnAShareThatIsNotThereNamesItsFirstDirectory)
{
    const std::string first = "\\\\dsaga-noserver\\share\\Start Menu";
    ASSERT_FALSE(CreateDirectoryA(first.c_str(), NULL));
    DWORD error = GetLastError();
    const std::string chain = first + "\\Programs\\Tessarine Systems\\";
    char path[PATH_BUFFER];
    CopyText(path, sizeof path, chain.c_str());
    ScriptedUi ui;
    ui.ExpectBox("ERROR", "Could !create " + first + " directory " + std::to_string(error), IDOK);
    EXPECT_EQ(0, MakeDirectoryChain(path));
    ui.Verify();
    EXPECT_EQ(chain, std::string(path));
}

TEST_F(CopyAndDelete, StatusAreaShowsItsLinesAndHidesThemAgain)
{
    ShowStatusArea();
    SetStatusLine1("Installing Starwarden 2");
    SetStatusLine2("sw2.exe");
    SetProgressRange(0, 70000);  // the bar takes the low 16 bits
    StepProgress();
    EXPECT_TRUE(StatusAreaVisible());
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(MainDialog, IDC_INSTALL_BAR)));
    EXPECT_EQ("Installing Starwarden 2", ItemText(MainDialog, IDC_STATUS_TEXT1));
    EXPECT_EQ(70000 & 0xFFFF, BarMaximum());
    EXPECT_EQ(1, BarPosition());
    HideStatusArea();
    EXPECT_FALSE(StatusAreaVisible());
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(MainDialog, IDC_STATUS_TEXT1)));
    EXPECT_EQ("", ItemText(MainDialog, IDC_STATUS_TEXT1));
    EXPECT_EQ(0, BarPosition());
}

TEST_F(CopyAndDelete, MissingProgressBarIsReportedWhenTheRangeIsSet)
{
    DestroyWindow(GetDlgItem(MainDialog, IDC_INSTALL_BAR));
    ScriptedUi ui;
    ui.ExpectBox("ERROR", "!GetDlgItem(IDC_INSTALL_BAR) (range)", IDOK);
    SetProgressRange(0, 5);
    ui.Verify();
}

}  // namespace
