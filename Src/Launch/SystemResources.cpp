// The system resources dialog: the processor, the memory, the games' room
// on the disk and the free space of the install drive.
#include "Launcher.h"

// Computed once per press, before the dialog opens.
static char CpuText[PATH_BUFFER];
static char RamText[PATH_BUFFER];
static char FootprintText[PATH_BUFFER];
static char DriveText[PATH_BUFFER];

void ForgetSystemResourceTexts(void)
{
    CpuText[0] = RamText[0] = FootprintText[0] = DriveText[0] = '\0';
}

static const double BytesPerMegabyte = 1048576.0;

const char *ProcessorName(DWORD processorType)
{
    switch (processorType) {
    case 386: return "80386";
    case 486: return "80486";
    case 586: return "Pentium";
    default:  return "Unknown";
    }
}

static void FormatCpuText(void)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    CopyText(CpuText, sizeof CpuText, ProcessorName(system.dwProcessorType));
}

// The 64-bit status: the older call caps the total at 4 GB or wraps.
static void FormatRamText(void)
{
    MEMORYSTATUSEX memory;
    memory.dwLength = sizeof memory;
    if (!GlobalMemoryStatusEx(&memory)) {
        CopyText(RamText, sizeof RamText, "Unknown");
        return;
    }
    FormatText(RamText, sizeof RamText, "%4.2f MB", (double)memory.ullTotalPhys / BytesPerMegabyte);
}

// The space the play procedures ask for; the extras count by their level alone.
static void FormatFootprintText(void)
{
    int megabytes = ExtrasMegabytes(Game3ExtrasLevel);
    for (const GameInfo &game : GameTable)
        if (*game.InstalledFlag)
            megabytes += game.InstallMegabytes;
    FormatText(FootprintText, sizeof FootprintText, "%3.2f MB", (double)megabytes);
}

static void FormatDriveText(void)
{
    char drive = LauncherState.InstalledTo[0];
    ULONGLONG available, total;
    if (!QueryDriveSpace(drive, &available, &total)) {
        FormatText(DriveText, sizeof DriveText, "%c: drive not available", drive);
        return;
    }
    FormatText(DriveText, sizeof DriveText, "%c: %5.1f/%5.1f MB", drive, (double)available / BytesPerMegabyte,
               (double)total / BytesPerMegabyte);
}

static BOOL OnInitSystemResources(HWND dialog)
{
    CentreAndShowWindow(dialog);
    SetDlgItemTextA(dialog, IDC_CPU, CpuText);
    SetDlgItemTextA(dialog, IDC_RAM, RamText);
    SetDlgItemTextA(dialog, IDC_FOOTPRINT, FootprintText);
    SetDlgItemTextA(dialog, IDC_DRIVESPACE, DriveText);
    return TRUE;
}

// OK, Enter, Esc and the close box all close the dialog: it only shows.
static INT_PTR CALLBACK SystemResourcesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return OnInitSystemResources(dialog);
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)
            return FALSE;
        EndDialog(dialog, 1);
        return TRUE;
    default:
        return FALSE;
    }
}

void ShowSystemResources(void)
{
    FormatCpuText();
    FormatRamText();
    FormatFootprintText();
    FormatDriveText();
    if (DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_SYSRES), MainDialog, SystemResourcesDialogProc, 0) == -1)
        ReportError("Could not create System Resources Dialog box", "System Resources", MB_OK, NULL);
}
