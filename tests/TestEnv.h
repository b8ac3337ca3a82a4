// Clean-state helpers shared by the test suites: the registry, the discs in
// the drives, the process-wide values and a main dialog to act on.
#ifndef DSAGA_TEST_ENV_H
#define DSAGA_TEST_ENV_H

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "Launcher.h"

// The main dialog's caption, as every test that finds or expects it names it.
extern const char MainCaption[];
// The install directory's question and chooser, as the install tests expect them.
extern const char DefaultDir[];
extern const char AskCaption[];
extern const char ChooserCaption[];
extern const char CreateCaption[];
extern const char ConfirmCaption[];

// The media directory that scripts/test laid out (Windows path).
std::string MediaDirectory();
// The directory that is the drive's root ('D' or 'E'), without a backslash.
std::string DriveRoot(char drive);
// Puts disc 1-5 into drive 'D' or 'E'; 0 empties the drive.
void InsertDisc(char drive, int disc);
// Disc number in a drive, 0 when empty.
int DiscInDrive(char drive);

// Registry
// Deletes the key and everything below it, locked keys included.
void DeleteKeyTree(HKEY root, const char *path);
// Lets a key be read but no longer written, as an administrator's rights
// can: whatever writes it then fails for real. UnlockKey undoes it.
void LockKeyAgainstWriting(HKEY root, const char *path);
void UnlockKey(HKEY root, const char *path);
void DeleteLauncherKey();
bool KeyExists(HKEY root, const char *path);
struct RegistryValue {
    bool present = false;
    DWORD type = 0;
    std::vector<unsigned char> bytes;
};
RegistryValue ReadValue(HKEY root, const char *path, const char *name);
void WriteValue(HKEY root, const char *path, const char *name, DWORD type, const void *data, DWORD count);
void WriteText(HKEY root, const char *path, const char *name, const std::string &text);
void WriteNumber(HKEY root, const char *path, const char *name, DWORD number);
// A full record, as the launcher writes it.
void WriteRecord(const char *installedTo, const char *installedFrom, DWORD game1, DWORD game2, DWORD game3,
                 DWORD cheater);
// A number of the record ("Cheater"...); 0xFFFFFFFF when absent or not four bytes.
DWORD RecordNumber(const char *name);

// The Windows uninstall entry of a game ("sw1", "sw2", "sw3").
std::string UninstallEntryKey(const char *game);

// The Shell Folders entry of the current user ("Programs", "Startup").
std::string ShellFolder(const char *name);

// Files
std::string TestRoot();  // C:\dsaga-tests\, made empty by ResetTestState
// Where the disc's programs record how they were started (DSAGA_CHILD_LOG),
// and the lines one of them ("explorer", "uninstal") recorded there.
std::string ChildLog();
std::vector<std::string> ChildRunsOf(const std::string &program);
// The same, once at least one is recorded or `timeoutMs` has passed: for a
// program started and not waited for.
std::vector<std::string> WaitForChildRunsOf(const std::string &program, DWORD timeoutMs);
void WriteFileBytes(const std::string &path, const std::string &bytes);
std::string ReadFileBytes(const std::string &path);
bool PathExists(const std::string &path);
// A directory path of exactly `length` characters (ending in a backslash)
// under the test root, in levels a directory name can hold; and the same
// made, level by level.
std::string DirectoryOfLength(size_t length, char fill);
void CreateDirectoryLevels(const std::string &path);
// Everything below the directory and the directory itself. A link (a
// junction, a symbolic link) is not entered: the link goes, what it leads
// to stays.
void RemoveTree(const std::string &path);
// Makes `link`, which must not exist, a link to the directory `target`, as
// a user leaves one in place of a folder (under Wine a Unix symbolic link,
// which shows as a junction does); false, with a failure, when it could not.
bool MakeDirectoryLink(const std::string &target, const std::string &link);
// Calls `visit` for every entry that a search for `pattern` (a directory and
// a wildcard) finds but "." and "..", in listing order, whatever the visits
// return; false when nothing could be listed or a visit returned false.
typedef std::function<bool(const WIN32_FIND_DATAA &)> EntryVisit;
bool VisitEntries(const std::string &pattern, const EntryVisit &visit);
// The files a copy takes from a directory (ending in a backslash): no
// subdirectories, no names with a leading full stop; in listing order.
bool VisitListedFiles(const std::string &directory, const EntryVisit &visit);
std::vector<std::string> ListedFiles(const std::string &directory);
std::vector<std::string> ReadLineList(const std::string &path);

// Drive T:, a 13 MB disk of its own (absent where the runner could not
// mount one). LeaveFreeOnSmallDisk empties it and then fills it up to the
// given number of free bytes (rounded up to the disk's 4 KiB blocks).
const char SmallDrive = 'T';
bool HaveSmallDisk();
void EmptySmallDisk();
void LeaveFreeOnSmallDisk(ULONGLONG freeBytes);
ULONGLONG SmallDiskFreeBytes();

// Drive G:, a hard disk of the tests' own (a directory of the media mapped
// as a drive, as an external disk is), which a test takes away as a user
// unplugs a disk, gives back, or leaves as an empty CD-ROM drive, which is
// never ready. The mapping goes through Wine's mount manager, which makes
// and removes the prefix's dosdevices link. It starts unmapped.
const char AwayDrive = 'G';
enum AwayDriveMapping { AWAY_DRIVE_CONNECTED, AWAY_DRIVE_UNMAPPED, AWAY_DRIVE_NOT_READY };
void MapAwayDrive(AwayDriveMapping mapping);

// A share of the tests' own, as a user's Start menu redirected to a server
// lies on one. Wine answers "\\server\share\..." from the directory
// dosdevices\unc\server\share of its prefix, which MakeTestShare makes
// empty (false where there is no Wine prefix); RemoveTestShare removes it.
extern const char TestShare[];  // "\\dsaga-server\share\"
bool MakeTestShare();
void RemoveTestShare();

// While alive, the Windows directory's explorer.exe is the disc's runtime
// setup, which only records how it was started: opening the program folder
// after an installation then ends at once instead of leaving a window
// open. The real one is put back afterwards.
class ExplorerStandIn {
public:
    ExplorerStandIn();
    ~ExplorerStandIn();
    ExplorerStandIn(const ExplorerStandIn &) = delete;
    ExplorerStandIn &operator=(const ExplorerStandIn &) = delete;
    const std::string &Path() const { return explorer_; }

private:
    std::string explorer_, saved_;
};

// Every test starts here: process-wide values, launcher key, uninstall
// entries, test directory, disc 1 in D: and E: empty.
void ResetTestState();

// The real main dialog template, created modeless with a procedure that
// does nothing, and made MainDialog; for tests of the procedures that act
// on the panel without running the start-up.
HWND CreatePanelForTest();
void DestroyPanelForTest();
// A case on that panel, shown as when the user works with it: the clean
// state and the panel before it, the panel gone after it.
class ShownPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        CreatePanelForTest();
        ShowWindow(MainDialog, SW_SHOW);
    }
    void TearDown() override { DestroyPanelForTest(); }
};

// Counts the calls of the restart routine while alive.
struct RestartRecorder {
    RestartRecorder();
    ~RestartRecorder();
    static int Count;
};

// While alive, the reasons the launcher gives Windows for a shutdown to
// wait are kept here (Wine keeps none): the last one given, the window it
// was given for, how many were given and how many taken back.
struct ShutdownReasonRecorder {
    ShutdownReasonRecorder();
    ~ShutdownReasonRecorder();
    static std::wstring Last;
    static HWND Window;
    static int Given;
    static int Withdrawn;
};

// Asks a window from another thread, as Windows asks every program before a
// shutdown (WM_QUERYENDSESSION), without waiting for the answer; Answer()
// then waits for it, letting sent messages in, since the window may be the
// waiting thread's own.
class SessionEndQuestion {
public:
    explicit SessionEndQuestion(HWND window);
    ~SessionEndQuestion();
    SessionEndQuestion(const SessionEndQuestion &) = delete;
    SessionEndQuestion &operator=(const SessionEndQuestion &) = delete;
    // TRUE to let the session end, FALSE to refuse, -1 when no answer came.
    LRESULT Answer();

private:
    static DWORD WINAPI Ask(LPVOID self);
    HWND window_;
    LRESULT answer_ = -1;
    HANDLE thread_;
};
// Asks and waits for the answer.
LRESULT AskToEndSession(HWND window);

std::string ModuleDirectory();  // directory of the running test program, with a backslash
std::string BuildDirectory();   // the build tree (DSaga.exe lives in Src\Launch\ below it)
// The program's own manifest, as Windows reads it before the program runs;
// empty, after a test failure, when it has none.
std::string ManifestOf(const std::string &program);

#endif
