// The process-wide values: the persisted record and the run-time values,
// defined here and nowhere else.
#include "Launcher.h"

#include <string.h>

const char DefaultInstallDirectory[] = "C:\\Program Files\\Draxmoor Saga\\";
const char CompanyKeyPath[] = "Software\\Tessarine Systems";
const char LauncherKeyPath[] = "Software\\Tessarine Systems\\SW: Draxmoor Saga";
const char UninstallKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

LauncherRecord LauncherState;

HINSTANCE ModuleInstance;
HANDLE LauncherSemaphore;
HWND MainDialog;
char StartDirectory[PATH_BUFFER];
int FirstRun;
int Game3ExtrasLevel;
HWND ChooserWindow;
char ChooserPath[PATH_BUFFER];
char ShownPath[PATH_BUFFER];
int ChooserCancelled;
int CommandRunning;
FittedFont FittedFonts[FITTED_FONT_SLOTS];
ArtPanel MainArtPanel = {IDC_MAIN_ART, IDB_MAIN_ART, NULL, NULL, NULL, NULL, NULL, 0};
ArtPanel PreviewArtPanel = {IDC_PREVIEW_ART, IDB_PREVIEW_ART, NULL, NULL, NULL, NULL, NULL, 0};
void (*RestartWindows)(void) = RestartWindowsForReal;
UINT (WINAPI *RealizeArtPalette)(HDC dc) = RealizePalette;
UINT (WINAPI *QueryWindowsDirectory)(LPSTR buffer, UINT size) = GetWindowsDirectoryA;

static void ReleaseFittedFonts(void)
{
    for (FittedFont &slot : FittedFonts) {
        if (slot.Font != NULL)
            DeleteObject(slot.Font);
        memset(&slot, 0, sizeof slot);
    }
}

static void ResetRecord(LauncherRecord *record)
{
    memset(record, 0, sizeof *record);
    CopyText(record->InstalledTo, sizeof record->InstalledTo, DefaultInstallDirectory);
    CopyText(record->InstalledFrom, sizeof record->InstalledFrom, "D");
}

// Static initialisation of the record, so that it holds its initial values
// before WinMain runs.
static const struct RecordInitialiser {
    RecordInitialiser() { ResetRecord(&LauncherState); }
} InitialRecord;

void ResetLauncherGlobals(void)
{
    ResetRecord(&LauncherState);
    ModuleInstance = GetModuleHandleA(NULL);
    LauncherSemaphore = NULL;
    MainDialog = NULL;
    StartDirectory[0] = '\0';
    FirstRun = 0;
    Game3ExtrasLevel = 0;
    ChooserWindow = NULL;
    ChooserPath[0] = '\0';
    ShownPath[0] = '\0';
    ChooserCancelled = 0;
    CommandRunning = 0;
    ReleaseFittedFonts();
    RestartWindows = RestartWindowsForReal;
    RealizeArtPalette = RealizePalette;
    QueryWindowsDirectory = GetWindowsDirectoryA;
    MainArtPanel = ArtPanel{IDC_MAIN_ART, IDB_MAIN_ART, NULL, NULL, NULL, NULL, NULL, 0};
    PreviewArtPanel = ArtPanel{IDC_PREVIEW_ART, IDB_PREVIEW_ART, NULL, NULL, NULL, NULL, NULL, 0};
}

// ExitWindowsEx needs the shutdown privilege on Windows NT; without it the
// request would be refused and the user left with a half-installed DirectX.
void RestartWindowsForReal(void)
{
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges;
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
        CloseHandle(token);
    }
    ExitWindowsEx(EWX_REBOOT, 0);
}
