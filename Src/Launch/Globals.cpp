// The process-wide values that several files share: the persisted record, the
// run-time values and the routines tests replace, each defined here with its
// start-of-process value. A value one file alone keeps is static in that
// file: the command guard, the guard semaphore and the held session end
// (Shell.cpp), the chooser's paths and outcome (Chooser.cpp) and the system
// resources texts (SystemResources.cpp). The reset puts every one of them
// back.
#include "Launcher.h"

#define DEFAULT_INSTALL_DIRECTORY "C:\\Program Files\\Draxmoor Saga\\"

const char DefaultInstallDirectory[] = DEFAULT_INSTALL_DIRECTORY;
const char CompanyKeyPath[] = "Software\\Tessarine Systems";
const char LauncherKeyPath[] = "Software\\Tessarine Systems\\SW: Draxmoor Saga";
const char UninstallKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

static constexpr LauncherRecord InitialRecord = {DEFAULT_INSTALL_DIRECTORY, "D", 0, 0, 0, 0};
static constexpr ArtPanel InitialMainArtPanel = {IDC_MAIN_ART, IDB_MAIN_ART, NULL, NULL, NULL, NULL, NULL, 0};
static constexpr ArtPanel InitialPreviewArtPanel = {IDC_PREVIEW_ART, IDB_PREVIEW_ART, NULL, NULL, NULL, NULL, NULL, 0};

LauncherRecord LauncherState = InitialRecord;

HINSTANCE ModuleInstance;
HWND MainDialog;
HWND ChooserWindow;
char StartDirectory[PATH_BUFFER];
int FirstRun;
int Game3ExtrasLevel;
ArtPanel MainArtPanel = InitialMainArtPanel;
ArtPanel PreviewArtPanel = InitialPreviewArtPanel;
void (*RestartWindows)(void) = NULL;
BOOL (WINAPI *CreateShutdownReason)(HWND window, LPCWSTR reason) = NULL;
BOOL (WINAPI *DestroyShutdownReason)(HWND window) = NULL;
UINT (WINAPI *RealizeArtPalette)(HDC dc) = RealizePalette;
UINT (WINAPI *QueryWindowsDirectory)(LPSTR buffer, UINT size) = GetWindowsDirectoryA;
BOOL (WINAPI *ApplyFileSecurity)(LPCSTR path, SECURITY_INFORMATION parts, PSECURITY_DESCRIPTOR descriptor) =
    SetFileSecurityA;

void ResetLauncherGlobals(void)
{
    LauncherState = InitialRecord;
    ModuleInstance = GetModuleHandleA(NULL);
    MainDialog = NULL;
    ChooserWindow = NULL;
    StartDirectory[0] = '\0';
    FirstRun = 0;
    Game3ExtrasLevel = 0;
    MainArtPanel = InitialMainArtPanel;
    PreviewArtPanel = InitialPreviewArtPanel;
    RestartWindows = NULL;
    CreateShutdownReason = NULL;
    DestroyShutdownReason = NULL;
    RealizeArtPalette = RealizePalette;
    QueryWindowsDirectory = GetWindowsDirectoryA;
    ApplyFileSecurity = SetFileSecurityA;
    ResetShellGuards();
    ResetChooserState();
    ForgetSystemResourceTexts();
}
