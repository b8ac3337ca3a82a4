// The real DSaga.exe, started as a user starts it and driven from outside:
// the start-up guard, the CD search, the first run from the disc, and where
// it and the disc's programs look for DLLs.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <functional>

#include "RemoteUi.h"
#include "TestEnv.h"

namespace {

const DWORD Timeout = 30000;

std::string LauncherPath()
{
    return BuildDirectory() + "Src\\Launch\\DSaga.exe";
}

bool GuardObjectExists()
{
    HANDLE semaphore = OpenSemaphoreA(SYNCHRONIZE, FALSE, "Starwarden Launcher");
    if (semaphore == NULL)
        return false;
    CloseHandle(semaphore);
    return true;
}

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        runs.reserve(8);  // references handed out stay valid
    }
    void TearDown() override
    {
        for (ChildRun &run : runs)
            TerminateAndClose(run);
        DeleteLauncherKey();
        InsertDisc('E', 0);
        InsertDisc('D', 1);
    }

    ChildRun &Start(const std::string &directory)
    {
        runs.push_back(StartProgram(LauncherPath(), directory, ""));
        EXPECT_TRUE(runs.back().Started()) << "could not start " << LauncherPath();
        return runs.back();
    }

    // Waits for the main dialog to show, presses Quit and checks the exit.
    void QuitNormally(ChildRun &run)
    {
        HWND main = WaitForTopWindow(run.pi.dwProcessId, MainCaption, Timeout, true);
        ASSERT_TRUE(main != NULL) << "no main dialog; windows: " << ::testing::PrintToString(TopWindowCaptions(run.pi.dwProcessId));
        PressButton(main, IDCANCEL);
        DWORD code = 1;
        ASSERT_EQ(0u, WaitForExit(run.pi.hProcess, Timeout, &code));
        EXPECT_EQ(0u, code);
    }

    void ExpectSilentExit(ChildRun &run)
    {
        DWORD code = 1;
        ASSERT_EQ(0u, WaitForExit(run.pi.hProcess, Timeout, &code)) << "the launcher did not exit";
        EXPECT_EQ(0u, code);
        EXPECT_TRUE(TopWindowCaptions(run.pi.dwProcessId).empty());
    }

    std::vector<ChildRun> runs;
};

TEST_F(Launcher, RefusesStartFromCdRomAndLeavesNoGuardObject)
{
    ChildRun &run = Start("D:\\");
    HWND box = WaitForTopWindow(run.pi.dwProcessId, "Draxmoor Saga Error!", Timeout, true);
    ASSERT_TRUE(box != NULL) << ::testing::PrintToString(TopWindowCaptions(run.pi.dwProcessId));
    EXPECT_EQ("DSaga.exe cannot be run from a CD-ROM drive.\nPlease run DSInit.exe from a Draxmoor Saga CD instead",
              MessageBoxText(box));
    EXPECT_FALSE(GuardObjectExists());
    PressButton(box, IDOK);
    DWORD code = 1;
    ASSERT_EQ(0u, WaitForExit(run.pi.hProcess, Timeout, &code));
    EXPECT_EQ(0u, code);

    // Nothing was left behind that would block a start from the hard drive.
    QuitNormally(Start(TestRoot()));
}

TEST_F(Launcher, SecondCopyExitsSilentlyAndALaterStartWorks)
{
    ChildRun &first = Start(TestRoot());
    ASSERT_TRUE(WaitForTopWindow(first.pi.dwProcessId, MainCaption, Timeout, true) != NULL);
    EXPECT_TRUE(GuardObjectExists());

    ExpectSilentExit(Start(TestRoot()));
    EXPECT_TRUE(IsWindow(WaitForTopWindow(first.pi.dwProcessId, MainCaption, 1000, true)));

    QuitNormally(runs[0]);
    EXPECT_FALSE(GuardObjectExists());
    QuitNormally(Start(TestRoot()));
}

TEST_F(Launcher, RunningGameOrCompilationBlocksTheStart)
{
    struct Marker { const char *name; bool mutex; };
    const Marker markers[] = {
        {"Starwarden 1", false}, {"Starwarden 2", false}, {"Starwarden 3 Mutex", true}, {"Starwarden Saga", false}};
    for (const Marker &marker : markers) {
        SCOPED_TRACE(marker.name);
        HANDLE object = marker.mutex ? CreateMutexA(NULL, FALSE, marker.name)
                                     : CreateSemaphoreA(NULL, 0, 1, marker.name);
        ASSERT_TRUE(object != NULL);
        ExpectSilentExit(Start(TestRoot()));
        CloseHandle(object);
    }
    // With every marker gone the launcher starts again.
    QuitNormally(Start(TestRoot()));
}

TEST_F(Launcher, WithoutCdCancelEndsTheLauncherBeforeItsDialogShows)
{
    InsertDisc('D', 0);
    ChildRun &run = Start(TestRoot());
    HWND box = WaitForTopWindow(run.pi.dwProcessId, "Insert a Draxmoor Saga CD", Timeout, true);
    ASSERT_TRUE(box != NULL) << ::testing::PrintToString(TopWindowCaptions(run.pi.dwProcessId));
    EXPECT_EQ("Please insert a Draxmoor Saga CD.", MessageBoxText(box));
    PressButton(box, IDCANCEL);
    DWORD code = 1;
    ASSERT_EQ(0u, WaitForExit(run.pi.hProcess, Timeout, &code));
    EXPECT_EQ(0u, code);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));
}

TEST_F(Launcher, CdInTheSecondDriveIsFoundOnTheFirstRun)
{
    InsertDisc('D', 0);
    InsertDisc('E', 1);
    QuitNormally(Start(TestRoot()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LauncherKeyPath));  // the first run writes no record
}

// The launcher writes HKEY_LOCAL_MACHINE and Program Files, so it runs only
// with administrator rights, and the system refuses a plain start of it from
// a program without them: the disc's initialiser asks for them too. (Wine
// runs every program with them, so only the declarations can be checked.)
// The uninstaller removes what the launcher put under Program Files and in
// HKLM: run from the system's list of programs without these rights, it
// could not, and its registry writes would go to the user's own store.
TEST_F(Launcher, TheInitialiserAndTheUninstallerAskForTheRightsTheLauncherRunsWith)
{
    const char rights[] = "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>";
    for (const std::string &program :
         {LauncherPath(), std::string("D:\\DSInit.exe"), std::string("D:\\install\\uninstal.exe")}) {
        SCOPED_TRACE(program);
        EXPECT_NE(std::string::npos, ManifestOf(program).find(rights));
    }
}

std::string TempDirectory()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return temp;
}

std::vector<std::string> TempEntries()
{
    std::vector<std::string> names;
    VisitEntries(TempDirectory() + "*", [&names](const WIN32_FIND_DATAA &entry) {
        names.push_back(entry.cFileName);
        return true;
    });
    return names;
}

// The entries of TEMP that were not there `before`.
std::vector<std::string> NewTempEntries(const std::vector<std::string> &before)
{
    std::vector<std::string> made;
    for (const std::string &name : TempEntries())
        if (std::find(before.begin(), before.end(), name) == before.end())
            made.push_back(name);
    return made;
}

// Quits the launcher that the initialiser started from `directory` and
// waits until the clean-up at exit has taken that directory away.
void QuitAndExpectDirectoryGone(HWND main, const std::string &directory)
{
    ASSERT_TRUE(QuitAndWaitForExit(main, Timeout));
    std::vector<std::string> handed = WaitForChildRunsOf("uninstal", Timeout);
    ASSERT_EQ(1u, handed.size());
    EXPECT_EQ("uninstal|D:\\install|D:\\install\\uninstal.exe " + directory + "\\DSaga.exe", handed[0]);
    for (DWORD waited = 0; waited < Timeout && PathExists(directory); waited += 100)
        Sleep(100);
    EXPECT_FALSE(PathExists(directory)) << "the copy's directory stayed";
}

// Any program of the user can write into the temporary directory, and the
// launcher runs with administrator rights: its copy goes into a directory
// made new for it, which the clean-up at exit takes away with the copy.
TEST_F(Launcher, DiscInitialiserStartsTheLauncherFromANewDirectoryOfItsOwn)
{
    // A copy an earlier launcher could not remove goes with this start.
    const std::string earlier = TempDirectory() + "DSaga-0BSOLETE";
    CreateDirectoryA(earlier.c_str(), NULL);
    WriteFileBytes(earlier + "\\DSaga.exe", "MZ");
    std::vector<std::string> before = TempEntries();

    runs.push_back(StartProgram("D:\\DSInit.exe", "D:\\", ""));
    ASSERT_TRUE(runs.back().Started());
    HWND main = WaitForAnyTopWindow(MainCaption, Timeout);
    ASSERT_TRUE(main != NULL) << "the launcher started from the disc did not show its dialog";
    std::vector<std::string> made = NewTempEntries(before);
    ASSERT_EQ(1u, made.size());
    EXPECT_FALSE(PathExists(earlier));
    const std::string directory = TempDirectory() + made[0];
    EXPECT_EQ(0u, made[0].find("DSaga-"));
    EXPECT_TRUE(GetFileAttributesA(directory.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ((std::vector<std::string>{"DSaga.exe"}), ListedFiles(directory + "\\"));
    QuitAndExpectDirectoryGone(main, directory);
}

// TEMP is the user's: while the initialiser copies the launcher into its
// new directory (seconds from a slow drive), a program of the user that
// renamed the directory could put its own DSaga.exe in its place, which
// would then be started with administrator rights.
TEST_F(Launcher, DiscInitialiserHoldsItsNewDirectoryUntilTheLauncherHasStarted)
{
    std::vector<std::string> before = TempEntries();
    const std::string release = TestRoot() + "copy";
    SetEnvironmentVariableA("DSAGA_WAIT_DSINIT_COPY", release.c_str());
    runs.push_back(StartProgram("D:\\DSInit.exe", "D:\\", ""));
    SetEnvironmentVariableA("DSAGA_WAIT_DSINIT_COPY", NULL);
    ASSERT_TRUE(runs.back().Started());
    for (DWORD waited = 0; waited < Timeout && !PathExists(release + ".reached"); waited += 50)
        Sleep(50);
    ASSERT_TRUE(PathExists(release + ".reached")) << "the initialiser never came to its copy";
    std::vector<std::string> made = NewTempEntries(before);
    ASSERT_EQ(1u, made.size());
    const std::string directory = TempDirectory() + made[0];

    EXPECT_FALSE(MoveFileA(directory.c_str(), (directory + "-moved").c_str()));
    EXPECT_EQ((DWORD)ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_FALSE(RemoveDirectoryA(directory.c_str())) << "the empty directory could be taken away";
    EXPECT_FALSE(PathExists(directory + "-moved"));

    WriteFileBytes(release, "go");
    HWND main = WaitForAnyTopWindow(MainCaption, Timeout);
    ASSERT_TRUE(main != NULL) << "the launcher did not start from its directory";
    QuitAndExpectDirectoryGone(main, directory);
}

// The initialiser runs with administrator rights, and any program of the
// user can put a link of a copy's name into the temporary directory (here
// one the test made): the link stays, and nothing it leads to is touched.
TEST_F(Launcher, DiscInitialiserLeavesALinkAmongEarlierCopiesWithWhatItLeadsTo)
{
    const std::string temp = TestRoot() + "temp", mine = TestRoot() + "mine";
    const std::string link = temp + "\\DSaga-11NKED00";
    CreateDirectoryA(temp.c_str(), NULL);
    CreateDirectoryA(mine.c_str(), NULL);
    WriteFileBytes(mine + "\\DSaga.exe", "mine");
    ASSERT_TRUE(MakeDirectoryLink(mine, link));
    // The initialiser takes the temporary directory from its environment.
    char saved[2][MAX_PATH];
    const char *names[] = {"TMP", "TEMP"};
    for (int i = 0; i < 2; i++) {
        DWORD length = GetEnvironmentVariableA(names[i], saved[i], MAX_PATH);
        ASSERT_TRUE(length > 0 && length < MAX_PATH) << names[i];
    }
    for (const char *name : names)
        SetEnvironmentVariableA(name, temp.c_str());
    runs.push_back(StartProgram("D:\\DSInit.exe", "D:\\", ""));
    for (int i = 0; i < 2; i++)
        SetEnvironmentVariableA(names[i], saved[i]);
    ASSERT_TRUE(runs.back().Started());
    HWND main = WaitForAnyTopWindow(MainCaption, Timeout);
    ASSERT_TRUE(main != NULL) << "the launcher started from the disc did not show its dialog";
    EXPECT_EQ("mine", ReadFileBytes(mine + "\\DSaga.exe"));
    EXPECT_TRUE(IsLink(link.c_str()));

    // The launcher's own copy goes at exit, beside the link, which stays.
    ASSERT_TRUE(QuitAndWaitForExit(main, Timeout));
    ASSERT_EQ(1u, WaitForChildRunsOf("uninstal", Timeout).size());
    std::vector<std::string> left;
    for (DWORD waited = 0; waited < Timeout && left.size() != 1; waited += 100) {
        Sleep(100);
        left.clear();
        VisitEntries(temp + "\\*", [&left](const WIN32_FIND_DATAA &entry) {
            left.push_back(entry.cFileName);
            return true;
        });
    }
    EXPECT_EQ((std::vector<std::string>{"DSaga-11NKED00"}), left);
    EXPECT_EQ("mine", ReadFileBytes(mine + "\\DSaga.exe"));
    EXPECT_TRUE(IsLink(link.c_str()));
}

// ---------------------------------------------------------------------------
// Where the programs look for DLLs. The launcher runs elevated from the
// user's TEMP, where any program of the user can put a DLL beside it.

const char PlantedDirectory[] = "C:\\dsaga-tests\\planted\\";

// While alive, the first window of every process runs the probe of
// tests/DllProbe.cpp, which asks for "planted.dll" by name.
class DllSearchProbe {
public:
    DllSearchProbe()
    {
        SetEnvironmentVariableA("DSAGA_PROBE_LOG", Log().c_str());
        probe_ = LoadLibraryA((ModuleDirectory() + "dllprobe.dll").c_str());
        const char *name = sizeof(void *) == 4 ? "ProbeFirstWindow@12" : "ProbeFirstWindow";
        HOOKPROC hook = probe_ != NULL ? (HOOKPROC)(void (*)(void))GetProcAddress(probe_, name) : NULL;
        hook_ = hook != NULL ? SetWindowsHookExA(WH_CBT, hook, probe_, 0) : NULL;
        EXPECT_TRUE(hook_ != NULL) << "no probe hook, error " << GetLastError();
    }
    ~DllSearchProbe()
    {
        if (hook_ != NULL)
            UnhookWindowsHookEx(hook_);
        if (probe_ != NULL)
            FreeLibrary(probe_);
        SetEnvironmentVariableA("DSAGA_PROBE_LOG", NULL);
    }
    DllSearchProbe(const DllSearchProbe &) = delete;
    DllSearchProbe &operator=(const DllSearchProbe &) = delete;

    // What the probe found at the first window of `program` ("loaded" or
    // "refused"), or "" when it has made none in time.
    static std::string Finding(const std::string &program)
    {
        for (DWORD waited = 0;; waited += 50) {
            for (const std::string &line : ReadLineList(Log()))
                if (line.size() > program.size() && line[program.size()] == '|'
                    && _strnicmp(line.c_str(), program.c_str(), program.size()) == 0)
                    return line.substr(program.size() + 1);
            if (waited >= Timeout)
                return "";
            Sleep(50);
        }
    }

private:
    static std::string Log() { return TestRoot() + "probe.log"; }
    HMODULE probe_ = NULL;
    HHOOK hook_ = NULL;
};

// A copy of the program alone in a directory with a DLL planted beside it,
// as in TEMP; the copy's path.
std::string PlantBeside(const std::string &program)
{
    RemoveTree(PlantedDirectory);
    CreateDirectoryA(PlantedDirectory, NULL);
    std::string copy = PlantedDirectory + program.substr(program.rfind('\\') + 1);
    EXPECT_TRUE(CopyFileA(program.c_str(), copy.c_str(), FALSE)) << program;
    std::string planted = std::string(PlantedDirectory) + "planted.dll";
    EXPECT_TRUE(CopyFileA((ModuleDirectory() + "dllprobe.dll").c_str(), planted.c_str(), FALSE));
    return copy;
}

// Runs a kernel32 routine of one argument in another process, as a thread
// of its own there (the system DLLs lie at the same address in every
// process), and returns its result.
DWORD CallInProcess(HANDLE process, const char *routine, void *argument)
{
    LPTHREAD_START_ROUTINE start = (LPTHREAD_START_ROUTINE)(void (*)(void))GetProcAddress(
        GetModuleHandleA("kernel32.dll"), routine);
    HANDLE thread = CreateRemoteThread(process, NULL, 0, start, argument, 0, NULL);
    DWORD result = 0;
    EXPECT_TRUE(thread != NULL && WaitForSingleObject(thread, Timeout) == WAIT_OBJECT_0
                && GetExitCodeThread(thread, &result))
        << "no thread in the process, error " << GetLastError();
    if (thread != NULL)
        CloseHandle(thread);
    return result;
}

// Loads a DLL by name inside another process, as the system does on demand;
// whether it was found.
bool LoadsInProcess(HANDLE process, const char *dll)
{
    SIZE_T size = strlen(dll) + 1;
    void *name = VirtualAllocEx(process, NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (name == NULL || !WriteProcessMemory(process, name, dll, size, NULL)) {
        ADD_FAILURE() << "cannot write into the process, error " << GetLastError();
        return false;
    }
    return CallInProcess(process, "LoadLibraryA", name) != 0;
}

// The error mode of another process: SetErrorMode returns the mode it
// replaced, and is given the one the program should have, which leaves a
// right one as it was.
UINT ErrorModeInProcess(HANDLE process)
{
    return CallInProcess(process, "SetErrorMode", (void *)(UINT_PTR)SEM_FAILCRITICALERRORS);
}

// Before its first window every program also fails a look at a drive
// without a medium quietly, so that the system's own "no disk" box never
// comes before the program's message.
TEST_F(Launcher, EveryProgramLooksForDllsOnlyInTheSystemDirectoryAndAtDrivesQuietlyBeforeItsFirstWindow)
{
    DllSearchProbe probe;
    struct Program {
        std::string path, arguments;
        bool quiet;  // run with the children's recording on: no windows of the disc's programs
    };
    // Each of the disc's programs shows a window when it is run without its arguments
    // (or, the initialiser, with one it does not know).
    const Program programs[] = {
        {LauncherPath(), "", true},
        {"D:\\DSInit.exe", "NoSuchOption", false},
        {"D:\\install\\rezmovie.exe", "", false},
        {"D:\\install\\uninstal.exe", "", false},
        {"D:\\sw1\\sw1.exe", "", false},
        {"D:\\sw2\\sw2.exe", "", false},
        {"D:\\sw3Inst\\sw3w.exe", "", false},
    };
    for (const Program &program : programs) {
        SCOPED_TRACE(program.path);
        std::string copy = PlantBeside(program.path);
        SetEnvironmentVariableA("DSAGA_CHILD_LOG", program.quiet ? ChildLog().c_str() : NULL);
        ChildRun run = StartProgram(copy, PlantedDirectory, program.arguments);
        ASSERT_TRUE(run.Started()) << run.startError;
        EXPECT_EQ("refused|quiet", DllSearchProbe::Finding(copy));
        TerminateAndClose(run);
    }
    SetEnvironmentVariableA("DSAGA_CHILD_LOG", ChildLog().c_str());

    // The runtime setup makes no window: it is asked from outside, while it
    // waits to end.
    std::string copy = PlantBeside("D:\\DXSetup\\swdsl.exe");
    SetEnvironmentVariableA("DSAGA_WAIT_SWDSL", (TestRoot() + "never").c_str());
    ChildRun run = StartProgram(copy, PlantedDirectory, "");
    SetEnvironmentVariableA("DSAGA_WAIT_SWDSL", NULL);
    ASSERT_TRUE(run.Started()) << run.startError;
    ASSERT_EQ(1u, WaitForChildRunsOf("swdsl", Timeout).size());
    EXPECT_FALSE(LoadsInProcess(run.pi.hProcess, "planted.dll"));
    EXPECT_TRUE(LoadsInProcess(run.pi.hProcess, (std::string(PlantedDirectory) + "planted.dll").c_str()));
    EXPECT_TRUE(ErrorModeInProcess(run.pi.hProcess) & SEM_FAILCRITICALERRORS);
    TerminateAndClose(run);
}

// ---------------------------------------------------------------------------
// A launcher killed part-way (power cut, task manager, logoff) must never
// leave a game shown as playable whose files are not all there.

const char Saga[] = "C:\\dsaga-tests\\saga\\";
const char Game2[] = "C:\\dsaga-tests\\saga\\sw2\\";

// The files of game 2 under the install directory: its directory and its
// "gamedat\" directory. False when a directory that is there could not be
// listed: while a removal of it is pending, it cannot be opened.
bool CountGame2Files(size_t *count)
{
    *count = 0;
    for (const std::string &directory : {std::string(Game2), std::string(Game2) + "gamedat\\"}) {
        bool listed = VisitListedFiles(directory, [count](const WIN32_FIND_DATAA &) {
            ++*count;
            return true;
        });
        if (!listed && PathExists(directory))
            return false;
    }
    return true;
}

size_t Game2FileCount()
{
    size_t count;
    for (DWORD waited = 0; !CountGame2Files(&count); waited += 10) {
        if (waited >= Timeout) {
            ADD_FAILURE() << "the files of game 2 could not be listed";
            break;
        }
        Sleep(10);
    }
    return count;
}

// Every file the disc's game 2 has is in the install directory.
bool Game2IsWhole()
{
    for (const char *sub : {"", "gamedat\\"})
        for (const std::string &name : ListedFiles(std::string("D:\\sw2\\") + sub))
            if (!PathExists(std::string(Game2) + sub + name))
                return false;
    return true;
}

void CopyDiscDirectory(const std::string &from, const std::string &to)
{
    CreateDirectoryA(to.c_str(), NULL);
    for (const std::string &name : ListedFiles(from)) {
        ASSERT_TRUE(CopyFileA((from + name).c_str(), (to + name).c_str(), FALSE)) << name;
        SetFileAttributesA((to + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

class Interrupted : public Launcher {
protected:
    HWND StartAndWaitForMain(ChildRun &run)
    {
        run = StartProgram(LauncherPath(), TestRoot(), "");
        EXPECT_TRUE(run.Started());
        HWND main = WaitForTopWindow(run.pi.dwProcessId, MainCaption, Timeout, true);
        EXPECT_TRUE(main != NULL) << ::testing::PrintToString(TopWindowCaptions(run.pi.dwProcessId));
        return main;
    }

    // Answers the launcher's box of this caption with `button`.
    void Answer(ChildRun &run, const char *caption, int button)
    {
        HWND box = WaitForTopWindow(run.pi.dwProcessId, caption, Timeout, true);
        ASSERT_TRUE(box != NULL) << caption << ": " << ::testing::PrintToString(TopWindowCaptions(run.pi.dwProcessId));
        PressButton(box, button);
    }

    // Ends the launcher once `reached` holds for the file count of game 2
    // (or when it ends by itself), and returns the count left by the kill.
    // The launcher is held still while the files are counted, so the count
    // seen is the count killed at, and runs on for a moment between counts.
    size_t KillWhen(ChildRun &run, const std::function<bool(size_t)> &reached, size_t aim)
    {
        DWORD start = GetTickCount();
        size_t count = 0;
        for (;;) {
            SuspendThread(run.pi.hThread);
            bool counted = CountGame2Files(&count);
            if ((counted && reached(count)) || WaitForSingleObject(run.pi.hProcess, 0) != WAIT_TIMEOUT
                || GetTickCount() - start >= Timeout)
                break;
            ResumeThread(run.pi.hThread);
            // Near the aim the launcher runs for no more than a file's work.
            size_t distance = count > aim ? count - aim : aim - count;
            Sleep(counted && distance <= 10 ? 0 : 1);
        }
        TerminateProcess(run.pi.hProcess, 1);
        TerminateAndClose(run);
        return Game2FileCount();
    }

    // What an attempt returns when the launcher did not get as far as the kill.
    static constexpr size_t NoKill = ~(size_t)0;

    // Runs `attempt` (start, act, kill; it returns the file count at the
    // kill) until the kill lands where `landed` says: up to three times, a
    // kill that came too late being no test of the point. Reports every
    // landing; fails with them when none landed.
    void KillAt(const std::string &aim, const std::function<size_t()> &attempt,
                const std::function<bool(size_t)> &landed)
    {
        std::string landings;
        for (int tries = 1; tries <= 3; tries++) {
            size_t count = attempt();
            if (count == NoKill)
                return;  // the attempt has failed the test itself
            landings += (landings.empty() ? "" : ", ") + std::to_string(count);
            printf("kill aimed at %s: landed at %zu files (attempt %d)\n", aim.c_str(), count, tries);
            if (landed(count))
                return;
        }
        ADD_FAILURE() << "the kill aimed at " << aim << " never landed there: at " << landings << " files";
    }

    // The invariant, in the record and the uninstall list as the killed
    // launcher left them, and then on the panel of the next start.
    void ExpectNoClaimUnlessWhole(const std::string &label)
    {
        SCOPED_TRACE(label);
        bool whole = Game2IsWhole();
        if (!whole) {
            EXPECT_NE(1u, RecordNumber("Starwarden 2 Installed"));
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw2").c_str()));
        }
        ChildRun again;
        HWND main = StartAndWaitForMain(again);
        ASSERT_TRUE(main != NULL);
        std::string shown = ItemText(main, IDC_GAME2);
        bool claimed = shown == "Play Starwarden 2";
        EXPECT_TRUE(whole || !claimed) << "shown as playable with files missing";
        EXPECT_EQ(claimed, RecordNumber("Starwarden 2 Installed") == 1u);
        EXPECT_EQ(claimed, KeyExists(HKEY_LOCAL_MACHINE, UninstallEntryKey("sw2").c_str()));
        EXPECT_EQ(claimed, IsItemEnabled(main, IDC_UNINSTALL2));
        PressButton(main, IDCANCEL);
        EXPECT_EQ(0u, WaitForExit(again.pi.hProcess, Timeout, NULL));
    }
};

TEST_F(Interrupted, UninstallKilledAtAnyPointLeavesNoPlayableGameWithFilesMissing)
{
    const size_t total = ListedFiles("D:\\sw2\\").size() + ListedFiles("D:\\sw2\\gamedat\\").size();
    // -1: killed at the question, with every file there; then once at most
    // this many files are left, some gone and some not: after the first file,
    // at a third and two thirds, and with exactly one file left.
    const long killPoints[] = {-1, (long)total - 1, (long)total * 2 / 3, (long)total / 3, 1};
    for (long point : killPoints) {
        const std::string aim = point < 0 ? "the question" : "at most " + std::to_string(point) + " of " +
                                                                 std::to_string(total) + " files left";
        SCOPED_TRACE(aim);
        size_t left = 0;
        KillAt(aim, [&]() -> size_t {
            ResetTestState();
            CreateDirectoryA(Saga, NULL);
            CopyDiscDirectory("D:\\sw2\\", Game2);
            CopyDiscDirectory("D:\\sw2\\gamedat\\", std::string(Game2) + "gamedat\\");
            WriteRecord(Saga, "D", 0, 1, 0, 0);
            ChildRun run;
            HWND main = StartAndWaitForMain(run);
            if (main == NULL || ItemText(main, IDC_GAME2) != "Play Starwarden 2") {
                ADD_FAILURE() << "game 2 is not offered to play";
                return NoKill;
            }
            PressButton(main, IDC_UNINSTALL2);
            if (point >= 0)
                Answer(run, "Proceed?", IDYES);
            else
                EXPECT_TRUE(WaitForTopWindow(run.pi.dwProcessId, "Proceed?", Timeout, true) != NULL);
            left = KillWhen(run, [point](size_t count) { return point < 0 || (long)count <= point; },
                            point < 0 ? total : (size_t)point);
            return left;
        }, [&](size_t count) {
            return point < 0 ? count == total : count > 0 && (long)count <= point;
        });
        ExpectNoClaimUnlessWhole("killed with " + std::to_string(left) + " of " + std::to_string(total) +
                                 " files left");
        if (point < 0) {
            EXPECT_TRUE(Game2IsWhole());
        }
    }
}

TEST_F(Interrupted, InstallKilledAtAnyPointLeavesNoClaim)
{
    const size_t total = ListedFiles("D:\\sw2\\").size() + ListedFiles("D:\\sw2\\gamedat\\").size();
    // Once at least this many files are copied, and not all of them.
    const size_t killPoints[] = {1, total / 3, total * 2 / 3, total - 10};
    for (size_t point : killPoints) {
        const std::string aim = "at least " + std::to_string(point) + " of " + std::to_string(total) + " files copied";
        SCOPED_TRACE(aim);
        size_t copied = 0;
        KillAt(aim, [&]() -> size_t {
            ResetTestState();
            // Game 1 is installed, so the install directory is fixed and not asked for.
            CreateDirectoryA(Saga, NULL);
            CreateDirectoryA((std::string(Saga) + "sw1").c_str(), NULL);
            WriteFileBytes(std::string(Saga) + "sw1\\sw1.exe", "MZ");
            WriteRecord(Saga, "D", 1, 0, 0, 0);
            ChildRun run;
            HWND main = StartAndWaitForMain(run);
            if (main == NULL)
                return NoKill;
            PressButton(main, IDC_GAME2);
            copied = KillWhen(run, [point](size_t count) { return count >= point; }, point);
            return copied;
        }, [&](size_t count) { return count >= point && count < total; });
        ExpectNoClaimUnlessWhole("killed with " + std::to_string(copied) + " of " + std::to_string(total) +
                                 " files copied");
    }
}

}  // namespace
