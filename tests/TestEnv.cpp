#include "TestEnv.h"

#include <gtest/gtest.h>

#include <sddl.h>
#include <winioctl.h>

#include <string.h>

#include <algorithm>
#include <fstream>
#include <sstream>

const char MainCaption[] = "Starwarden: The Draxmoor Saga";
const char DefaultDir[] = "C:\\Program Files\\Draxmoor Saga\\";
const char AskCaption[] = "Do you wish to install to:";
const char ChooserCaption[] = "Change the Install Directory";
const char CreateCaption[] = "The path you typed in does NOT exist.  Create it?";
const char ConfirmCaption[] = "Change the install directory to:";

std::string MediaDirectory()
{
    char buffer[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("DSAGA_MEDIA", buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) {
        ADD_FAILURE() << "DSAGA_MEDIA is not set: run the tests through scripts/test";
        return std::string();
    }
    return std::string(buffer) + "\\";
}

std::string DriveRoot(char drive)
{
    return MediaDirectory() + "drives\\" + (char)tolower((unsigned char)drive);
}

int DiscInDrive(char drive)
{
    std::string id = ReadFileBytes(DriveRoot(drive) + "\\DISC.ID");
    return id.empty() ? 0 : atoi(id.c_str());
}

// A disc is a directory that moves between media\discs\discN (on the shelf)
// and media\drives\X (the drive's root); an empty drive is an empty directory.
static void EjectDisc(char drive)
{
    std::string root = DriveRoot(drive);
    int disc = DiscInDrive(drive);
    if (disc == 0) {
        RemoveDirectoryA(root.c_str());
        return;
    }
    std::string shelf = MediaDirectory() + "discs\\disc" + std::to_string(disc);
    ASSERT_TRUE(MoveFileA(root.c_str(), shelf.c_str())) << "eject " << root << " error " << GetLastError();
}

void InsertDisc(char drive, int disc)
{
    if (DiscInDrive(drive) == disc && disc != 0)
        return;
    char other = (char)toupper((unsigned char)drive) == 'D' ? 'E' : 'D';
    if (disc != 0 && DiscInDrive(other) == disc)
        InsertDisc(other, 0);
    EjectDisc(drive);
    std::string root = DriveRoot(drive);
    if (disc == 0) {
        ASSERT_TRUE(CreateDirectoryA(root.c_str(), NULL)) << root << " error " << GetLastError();
        return;
    }
    std::string shelf = MediaDirectory() + "discs\\disc" + std::to_string(disc);
    ASSERT_TRUE(MoveFileA(shelf.c_str(), root.c_str())) << "insert " << shelf << " error " << GetLastError();
}

static bool SetKeyAccess(HKEY root, const char *path, const char *access)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    bool set = ConvertStringSecurityDescriptorToSecurityDescriptorA(access, SDDL_REVISION_1, &descriptor, NULL)
            && RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    LocalFree(descriptor);
    RegCloseKey(key);
    return set;
}

void LockKeyAgainstWriting(HKEY root, const char *path)
{
    // Everyone may read it, change these rights back and delete it.
    EXPECT_TRUE(SetKeyAccess(root, path, "D:P(A;;KRWDSD;;;WD)")) << "cannot lock " << path;
}

void UnlockKey(HKEY root, const char *path)
{
    SetKeyAccess(root, path, "D:(A;;KA;;;WD)");
}

void DeleteKeyTree(HKEY root, const char *path)
{
    HKEY key;
    LONG opened = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    if (opened == ERROR_ACCESS_DENIED) {  // left locked by a test that did not end
        UnlockKey(root, path);
        opened = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    }
    if (opened != ERROR_SUCCESS)
        return;
    char name[256];
    for (;;) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        std::string child = std::string(path) + "\\" + name;
        DeleteKeyTree(root, child.c_str());
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path);
}

void DeleteLauncherKey()
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, "Software\\Tessarine Systems");
}

std::string UninstallEntryKey(const char *game)
{
    return std::string(UninstallKeyPath) + "\\" + game;
}

bool KeyExists(HKEY root, const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

RegistryValue ReadValue(HKEY root, const char *path, const char *name)
{
    RegistryValue value;
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, NULL, &value.type, NULL, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        if (RegQueryValueExA(key, name, NULL, &value.type, value.bytes.data(), &size) == ERROR_SUCCESS) {
            value.present = true;
            value.bytes.resize(size);
        }
    }
    RegCloseKey(key);
    return value;
}

void WriteValue(HKEY root, const char *path, const char *name, DWORD type, const void *data, DWORD count)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL)) << path;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, (const BYTE *)data, count)) << name;
    RegCloseKey(key);
}

void WriteText(HKEY root, const char *path, const char *name, const std::string &text)
{
    WriteValue(root, path, name, REG_SZ, text.c_str(), (DWORD)text.size() + 1);
}

void WriteNumber(HKEY root, const char *path, const char *name, DWORD number)
{
    WriteValue(root, path, name, REG_DWORD, &number, sizeof number);
}

void WriteRecord(const char *installedTo, const char *installedFrom, DWORD game1, DWORD game2, DWORD game3,
                 DWORD cheater)
{
    WriteText(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Installed To:", installedTo);
    WriteText(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Installed From:", installedFrom);
    WriteNumber(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Starwarden 1 Installed", game1);
    WriteNumber(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Starwarden 2 Installed", game2);
    WriteNumber(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Starwarden 3 Installed", game3);
    WriteNumber(HKEY_LOCAL_MACHINE, LauncherKeyPath, "Cheater", cheater);
}

DWORD RecordNumber(const char *name)
{
    RegistryValue value = ReadValue(HKEY_LOCAL_MACHINE, LauncherKeyPath, name);
    return value.present && value.bytes.size() == 4 ? *(const DWORD *)value.bytes.data() : 0xFFFFFFFF;
}

std::string ShellFolder(const char *name)
{
    RegistryValue value = ReadValue(HKEY_CURRENT_USER,
                                    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", name);
    if (!value.present || value.bytes.empty())
        return std::string();
    return std::string((const char *)value.bytes.data());
}

std::string TestRoot()
{
    return "C:\\dsaga-tests\\";
}

std::string ChildLog()
{
    return TestRoot() + "children.log";
}

void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.good()) << "cannot write " << path;
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

std::string ReadFileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.good())
        return std::string();
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool PathExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

static std::wstring WidePath(const std::string &path)
{
    std::wstring wide(path.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], (int)wide.size());
    wide.resize(length > 0 ? (size_t)length - 1 : 0);
    return wide;
}

// The Unix path of a Windows one, through Wine; empty, with a failure, elsewhere.
static std::string UnixPathOf(const std::wstring &path)
{
    typedef char *(CDECL * UnixFileNameProc)(const WCHAR *);
    UnixFileNameProc unixName = (UnixFileNameProc)(void (*)(void))GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    char *name = unixName != NULL ? unixName(path.c_str()) : NULL;
    if (name == NULL) {
        ADD_FAILURE() << "no Unix path for a link: the tests make links through Wine";
        return std::string();
    }
    std::string unixPath = name;
    HeapFree(GetProcessHeap(), 0, name);
    return unixPath;
}

// Runs a program of the Unix side ("ln", "rm") and waits until `done`
// holds: Wine gives no handle to wait on for a Unix process. False when it
// could not start or `done` did not hold within ten seconds.
static bool RunUnixProgram(const char *program, const std::string &arguments, const std::function<bool()> &done)
{
    std::string path = std::string("Z:\\bin\\") + program;
    std::string line = std::string(program) + " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(path.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child))
        return false;
    // The handles of a Unix program say nothing of its end: its work does.
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    for (DWORD waited = 0; waited < 10000; waited += 50) {
        if (done())
            return true;
        Sleep(50);
    }
    return done();
}

bool MakeDirectoryLink(const std::string &target, const std::string &link)
{
    std::wstring wideLink = WidePath(link);
    std::string from = UnixPathOf(WidePath(target)), to = UnixPathOf(wideLink);
    bool made = !from.empty() && !to.empty()
             && RunUnixProgram("ln", "-s \"" + from + "\" \"" + to + "\"",
                               [&wideLink] { return IsWideLink(wideLink.c_str()) != 0; });
    EXPECT_TRUE(made) << "could not make " << link << " a link to " << target;
    return made;
}

// The link itself, never what it leads to.
static void RemoveLink(const std::wstring &link)
{
    std::string unixPath = UnixPathOf(link);
    bool removed = !unixPath.empty() && RunUnixProgram("rm", "-f \"" + unixPath + "\"", [&link] {
        return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES;
    });
    EXPECT_TRUE(removed) << "a link stayed in the tests' directories";
}

// Calls `visit` with the path and attributes of every entry of the
// directory but "." and "..". In UTF-16, so that a name the code page
// cannot write is met too.
typedef std::function<void(const std::wstring &, DWORD)> WideEntryVisit;
static void VisitWideEntries(const std::wstring &directory, const WideEntryVisit &visit)
{
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((directory + L"\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return;
    do {
        if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0)
            visit(directory + L"\\" + entry.cFileName, entry.dwFileAttributes);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
}

// Under Wine a link whose target has gone is listed no more, and would keep
// its directory for good: every link below goes before anything else.
static void RemoveLinksBelow(const std::wstring &directory)
{
    VisitWideEntries(directory, [](const std::wstring &child, DWORD attributes) {
        if (IsLinkEntry(attributes))
            RemoveLink(child);
        else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveLinksBelow(child);
    });
}

static void RemoveWideTree(const std::wstring &directory)
{
    VisitWideEntries(directory, [](const std::wstring &child, DWORD attributes) {
        if (IsLinkEntry(attributes)) {
            RemoveLink(child);
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveWideTree(child);
        } else {
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(child.c_str());
        }
    });
    RemoveDirectoryW(directory.c_str());
}

void RemoveTree(const std::string &path)
{
    std::wstring directory = WidePath(path);
    if (!directory.empty() && directory.back() == L'\\')
        directory.pop_back();
    if (IsWideLink(directory.c_str())) {
        RemoveLink(directory);
        return;
    }
    RemoveLinksBelow(directory);
    RemoveWideTree(directory);
}

bool VisitEntries(const std::string &pattern, const EntryVisit &visit)
{
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA(pattern.c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
            ok = visit(entry) && ok;
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return ok;
}

bool VisitListedFiles(const std::string &directory, const EntryVisit &visit)
{
    return VisitEntries(directory + "*.*", [&visit](const WIN32_FIND_DATAA &entry) {
        return entry.cFileName[0] == '.' || (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || visit(entry);
    });
}

std::vector<std::string> ListedFiles(const std::string &directory)
{
    std::vector<std::string> names;
    VisitListedFiles(directory, [&names](const WIN32_FIND_DATAA &entry) {
        names.push_back(entry.cFileName);
        return true;
    });
    return names;
}

std::vector<std::string> ReadLineList(const std::string &path)
{
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> ChildRunsOf(const std::string &program)
{
    std::vector<std::string> runs;
    for (const std::string &line : ReadLineList(ChildLog()))
        if (line.compare(0, program.size() + 1, program + "|") == 0)
            runs.push_back(line);
    return runs;
}

std::vector<std::string> WaitForChildRunsOf(const std::string &program, DWORD timeoutMs)
{
    std::vector<std::string> runs;
    for (DWORD waited = 0; (runs = ChildRunsOf(program)).empty() && waited < timeoutMs; waited += 100)
        Sleep(100);
    return runs;
}

static std::string SmallRoot()
{
    return std::string(1, SmallDrive) + ":\\";
}

bool HaveSmallDisk()
{
    return GetDriveTypeA(SmallRoot().c_str()) != DRIVE_NO_ROOT_DIR;
}

void EmptySmallDisk()
{
    if (!HaveSmallDisk())
        return;
    std::vector<std::string> files, directories;
    VisitEntries(SmallRoot() + "*", [&](const WIN32_FIND_DATAA &entry) {
        bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        (directory ? directories : files).push_back(SmallRoot() + entry.cFileName);
        return true;
    });
    for (const std::string &directory : directories)
        RemoveTree(directory);
    for (const std::string &file : files) {
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
    }
}

ULONGLONG SmallDiskFreeBytes()
{
    ULARGE_INTEGER available, total, free;
    if (!GetDiskFreeSpaceExA(SmallRoot().c_str(), &available, &total, &free))
        return 0;
    return available.QuadPart;
}

void LeaveFreeOnSmallDisk(ULONGLONG freeBytes)
{
    EmptySmallDisk();
    ULONGLONG free = SmallDiskFreeBytes();
    ASSERT_GE(free, freeBytes) << "the small disk is smaller than asked for";
    const ULONGLONG block = 4096;
    ULONGLONG fill = (free - freeBytes) / block * block;
    HANDLE file = CreateFileA((SmallRoot() + "filler.bin").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::vector<char> chunk(64 * 1024, 'f');
    while (fill > 0) {
        DWORD part = (DWORD)(fill < chunk.size() ? fill : chunk.size());
        DWORD written = 0;
        if (!WriteFile(file, chunk.data(), part, &written, NULL) || written != part)
            break;
        fill -= part;
    }
    CloseHandle(file);
}

ExplorerStandIn::ExplorerStandIn()
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    explorer_ = std::string(windows) + "\\explorer.exe";
    std::string saved = explorer_ + ".dsaga-saved";
    if (!MoveFileA(explorer_.c_str(), saved.c_str())) {
        ADD_FAILURE() << "cannot put Explorer aside: " << GetLastError();
        return;
    }
    saved_ = saved;
    if (!CopyFileA("D:\\DXSetup\\swdsl.exe", explorer_.c_str(), FALSE))
        ADD_FAILURE() << "cannot place the stand-in Explorer: " << GetLastError();
    SetFileAttributesA(explorer_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

ExplorerStandIn::~ExplorerStandIn()
{
    // Only a real Explorer that was put aside is put back: the stand-in
    // goes, never the real one.
    if (saved_.empty() || !PathExists(saved_))
        return;
    SetFileAttributesA(explorer_.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(explorer_.c_str());
    MoveFileA(saved_.c_str(), explorer_.c_str());
}

const char TestShare[] = "\\\\dsaga-server\\share\\";

// The server's directory under the prefix, through drive Z: (the Unix root).
static std::string TestServerDirectory()
{
    char prefix[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    if (length == 0 || length >= sizeof prefix || prefix[0] != '/')
        return std::string();
    std::string path = std::string("Z:") + prefix + "/dosdevices/unc/dsaga-server";
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool MakeTestShare()
{
    std::string server = TestServerDirectory();
    if (server.empty())
        return false;
    RemoveTree(server);
    CreateDirectoryA(server.substr(0, server.find_last_of('\\')).c_str(), NULL);
    CreateDirectoryA(server.c_str(), NULL);
    return CreateDirectoryA((server + "\\share").c_str(), NULL) && PathExists(TestShare);
}

void RemoveTestShare()
{
    std::string server = TestServerDirectory();
    if (!server.empty())
        RemoveTree(server);
}

// Wine's own request to its mount manager, as its configuration tool makes
// it: the drive's Unix directory or device follows the structure (none
// given removes the drive).
static const DWORD DefineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct UnixDriveRequest {
    ULONG Size;
    ULONG Type;
    ULONG FileSystem;
    DWORD Serial;
    ULONGLONG UnixDevice;
    WCHAR Letter;
    USHORT MountPointOffset;
    USHORT DeviceOffset;
    USHORT LabelOffset;
};

static std::string UnixPathOf(const std::string &path)
{
    typedef char *(CDECL *UnixNameProc)(LPCWSTR);
    UnixNameProc unixName = (UnixNameProc)(void (*)(void))GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                                         "wine_get_unix_file_name");
    wchar_t wide[PATH_BUFFER];
    AnsiToWide(path.c_str(), wide, PATH_BUFFER);
    char *name = unixName != NULL ? unixName(wide) : NULL;
    EXPECT_TRUE(name != NULL) << "no Unix path for " << path;
    std::string result = name != NULL ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

static void DefineDrive(char letter, DWORD type, const std::string &mountPoint, const std::string &device)
{
    std::vector<char> request(sizeof(UnixDriveRequest) + mountPoint.size() + device.size() + 2);
    UnixDriveRequest *drive = (UnixDriveRequest *)request.data();
    drive->Size = (ULONG)request.size();
    drive->Type = type;
    drive->Letter = (WCHAR)tolower((unsigned char)letter);
    size_t offset = sizeof *drive;
    for (const std::string *text : {&mountPoint, &device}) {
        if (text->empty())
            continue;
        (text == &mountPoint ? drive->MountPointOffset : drive->DeviceOffset) = (USHORT)offset;
        memcpy(request.data() + offset, text->c_str(), text->size() + 1);
        offset += text->size() + 1;
    }
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, manager) << "no mount manager, error " << GetLastError();
    DWORD returned;
    EXPECT_TRUE(DeviceIoControl(manager, DefineUnixDrive, request.data(), (DWORD)request.size(), NULL, 0,
                                &returned, NULL))
        << "drive " << letter << ": error " << GetLastError();
    CloseHandle(manager);
}

void MapAwayDrive(AwayDriveMapping mapping)
{
    switch (mapping) {
    case AWAY_DRIVE_CONNECTED: {
        std::string directory = MediaDirectory() + "away";
        CreateDirectoryA(directory.c_str(), NULL);
        DefineDrive(AwayDrive, DRIVE_FIXED, UnixPathOf(directory), "");
        break;
    }
    case AWAY_DRIVE_UNMAPPED:
        DefineDrive(AwayDrive, DRIVE_UNKNOWN, "", "");
        break;
    case AWAY_DRIVE_NOT_READY:
        // A device with no disc in it: the drive is there, its root is not.
        DefineDrive(AwayDrive, DRIVE_CDROM, "", "/dev/dsaga-empty-cdrom");
        break;
    }
}

// A test that reaches the restart without asking for it must fail, not
// end the Wine session it runs in.
static void UnexpectedRestart()
{
    ADD_FAILURE() << "Windows restart requested";
}

void ResetTestState()
{
    DestroyPanelForTest();
    ResetLauncherGlobals();
    RestartWindows = UnexpectedRestart;
    // The disc's programs only record their runs: a first-run start-up
    // would otherwise play the intro for seconds.
    SetEnvironmentVariableA("DSAGA_CHILD_LOG", ChildLog().c_str());
    DeleteLauncherKey();
    for (const char *game : {"sw1", "sw2", "sw3"})
        DeleteKeyTree(HKEY_LOCAL_MACHINE, UninstallEntryKey(game).c_str());
    RemoveTree(TestRoot());
    CreateDirectoryA(TestRoot().c_str(), NULL);
    InsertDisc('E', 0);
    InsertDisc('D', 1);
    EmptySmallDisk();
    MapAwayDrive(AWAY_DRIVE_UNMAPPED);
}

static INT_PTR CALLBACK InertPanelProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

HWND CreatePanelForTest()
{
    DestroyPanelForTest();
    MainDialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_MAIN), NULL, InertPanelProc, 0);
    EXPECT_TRUE(MainDialog != NULL) << "main dialog template missing, error " << GetLastError();
    return MainDialog;
}

void DestroyPanelForTest()
{
    if (MainDialog != NULL && IsWindow(MainDialog))
        DestroyWindow(MainDialog);
    MainDialog = NULL;
}

std::wstring ShutdownReasonRecorder::Last;
HWND ShutdownReasonRecorder::Window;
int ShutdownReasonRecorder::Given;
int ShutdownReasonRecorder::Withdrawn;

static BOOL WINAPI RecordShutdownReason(HWND window, LPCWSTR reason)
{
    ShutdownReasonRecorder::Last = reason;
    ShutdownReasonRecorder::Window = window;
    ShutdownReasonRecorder::Given++;
    return TRUE;
}

static BOOL WINAPI RecordReasonWithdrawn(HWND)
{
    ShutdownReasonRecorder::Withdrawn++;
    return TRUE;
}

ShutdownReasonRecorder::ShutdownReasonRecorder()
{
    Last.clear();
    Window = NULL;
    Given = Withdrawn = 0;
    CreateShutdownReason = RecordShutdownReason;
    DestroyShutdownReason = RecordReasonWithdrawn;
}

ShutdownReasonRecorder::~ShutdownReasonRecorder()
{
    CreateShutdownReason = NULL;
    DestroyShutdownReason = NULL;
}

// Long enough for a copy loop to look at its queue, short enough that a
// window that never answers fails the test rather than hangs it.
static const DWORD SessionEndTimeoutMs = 10000;

SessionEndQuestion::SessionEndQuestion(HWND window) : window_(window)
{
    thread_ = CreateThread(NULL, 0, Ask, this, 0, NULL);
}

SessionEndQuestion::~SessionEndQuestion()
{
    Answer();
    CloseHandle(thread_);
}

DWORD WINAPI SessionEndQuestion::Ask(LPVOID self)
{
    SessionEndQuestion *question = (SessionEndQuestion *)self;
    DWORD_PTR answer = 0;
    // lParam 0: the system shuts down (ENDSESSION_LOGOFF would be a sign-out).
    if (SendMessageTimeoutA(question->window_, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, SessionEndTimeoutMs, &answer))
        question->answer_ = (LRESULT)answer;
    return 0;
}

LRESULT SessionEndQuestion::Answer()
{
    while (MsgWaitForMultipleObjects(1, &thread_, FALSE, SessionEndTimeoutMs + 1000, QS_SENDMESSAGE) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return answer_;
}

LRESULT AskToEndSession(HWND window)
{
    SessionEndQuestion question(window);
    return question.Answer();
}

int RestartRecorder::Count;

static void CountRestart()
{
    RestartRecorder::Count++;
}

RestartRecorder::RestartRecorder()
{
    Count = 0;
    RestartWindows = CountRestart;
}

RestartRecorder::~RestartRecorder()
{
    RestartWindows = UnexpectedRestart;
}

std::string ModuleDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    std::string directory = path;
    return directory.substr(0, directory.find_last_of('\\') + 1);
}

std::string BuildDirectory()
{
    std::string tests = ModuleDirectory();
    tests.pop_back();
    return tests.substr(0, tests.find_last_of('\\') + 1);
}

std::string ManifestOf(const std::string &program)
{
    HMODULE image = LoadLibraryExA(program.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_TRUE(image != NULL) << program << ", error " << GetLastError();
    if (image == NULL)
        return "";
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // the process manifest
    EXPECT_TRUE(found != NULL) << program << " has no manifest";
    std::string manifest;
    if (found != NULL)
        manifest.assign((const char *)LockResource(LoadResource(image, found)), SizeofResource(image, found));
    FreeLibrary(image);
    return manifest;
}

std::string DirectoryOfLength(size_t length, char fill)
{
    std::string path = TestRoot();
    while (path.size() < length) {
        size_t remaining = length - path.size();
        size_t level = std::min<size_t>(60, remaining - 1);
        if (remaining - (level + 1) == 1)
            level--;  // never leave room for a name of nothing
        path += std::string(level, fill) + "\\";
    }
    return path;
}

void CreateDirectoryLevels(const std::string &path)
{
    for (size_t end = path.find('\\', 3); end != std::string::npos; end = path.find('\\', end + 1))
        CreateDirectoryA(path.substr(0, end).c_str(), NULL);
    ASSERT_TRUE(PathExists(path)) << path;
}
