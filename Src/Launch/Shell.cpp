// Launcher shell: the start-up checks and single-instance guard, the
// start-up sequence, the main dialog with its command dispatch, the main
// panel's button states, the palette artwork panels and the fitting of
// dialog texts to their controls.
#include "Launcher.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

// ---------------------------------------------------------------------------
// Message boxes

int ReportError(const char *text, const char *caption, UINT style, HWND owner)
{
    return MessageBoxA(owner, text, caption, style);
}

int ReportChooserError(const char *text, const char *caption, UINT style)
{
    return MessageBoxA(ChooserWindow, text, caption, style);
}

// ---------------------------------------------------------------------------
// Start-up and single-instance guard

static int CurrentDirectoryIsOnCdRom(void)
{
    // The full path of "\\" is the root of the current directory's drive;
    // one on no lettered drive (a share) does not fit, and the check passes.
    char root[sizeof "C:\\"];
    DWORD length = GetFullPathNameA("\\", sizeof root, root, NULL);
    if (length == 0 || length >= sizeof root || root[1] != ':')
        return 0;
    return GetDriveTypeA(root) == DRIVE_CDROM;
}

// Creating a named object and learning that it already existed is one step
// for Windows, so of two launchers started together exactly one goes on.
// An object of the same name but another kind cannot be created at all; it
// belongs to a running game just the same.
static int NamedObjectExisted(HANDLE object)
{
    return object == NULL || GetLastError() == ERROR_ALREADY_EXISTS;
}

static int SemaphoreExisted(const char *name, int keepOpen)
{
    HANDLE semaphore = CreateSemaphoreA(NULL, 0, 1, name);
    if (NamedObjectExisted(semaphore))
        return 1;
    if (keepOpen)
        LauncherSemaphore = semaphore;
    else
        CloseHandle(semaphore);
    return 0;
}

static int MutexExisted(const char *name)
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, name);
    if (NamedObjectExisted(mutex))
        return 1;
    CloseHandle(mutex);
    return 0;
}

static int AnotherCopyOrGameIsRunning(void)
{
    return SemaphoreExisted("Starwarden Launcher", 1)
        || SemaphoreExisted("Starwarden 1", 0)
        || SemaphoreExisted("Starwarden 2", 0)
        || MutexExisted("Starwarden 3 Mutex")
        || SemaphoreExisted("Starwarden Saga", 0);
}

int RunLauncher(HINSTANCE instance)
{
    if (CurrentDirectoryIsOnCdRom()) {
        ReportError("DSaga.exe cannot be run from a CD-ROM drive.\nPlease run DSInit.exe from a Draxmoor Saga CD instead",
                    "Draxmoor Saga Error!", MB_ICONWARNING, NULL);
        return 0;
    }
    // Handles created before a refusal are left to the process exit.
    if (AnotherCopyOrGameIsRunning())
        return 0;

    ModuleInstance = instance;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    if (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0) == -1)
        ReportError("Could not create Main Dialog box", "Error!", MB_OK, NULL);

    CloseHandle(LauncherSemaphore);
    LauncherSemaphore = NULL;
    return 0;
}

static void DeleteDirectXSetupFromStartup(void)
{
    char path[PATH_BUFFER];
    if (!GetStartupFolder(path))
        return;
    if (!AppendText(path, sizeof path, "swdsl.exe"))
        return;  // no such file can exist under a name this long
    DeleteFileA(path);
}

static void RememberStartDirectory(void)
{
    // A start directory that does not fit is left empty rather than shortened:
    // the clean-up at exit must never hand over a file of another directory.
    DWORD length = GetCurrentDirectoryA(sizeof StartDirectory, StartDirectory);
    if (length == 0 || length >= sizeof StartDirectory)
        StartDirectory[0] = '\0';
}

static StartupResult RunFirstRunSteps(void)
{
    if (!RequireCD())
        return STARTUP_END;
    if (DirectXNeedsRestart(InstallDirectX(1)))
        return STARTUP_RESTART_WINDOWS;
    ReplayIntro(MainDialog);
    FirstRun = 1;
    return STARTUP_SHOW_DIALOG;
}

StartupResult RunStartup(HWND dialog, HINSTANCE instance)
{
    MainDialog = dialog;
    ModuleInstance = instance;
    DeleteDirectXSetupFromStartup();
    RememberStartDirectory();

    if (!LoadLauncherState() || !DetectInstalledGames()) {
        StartupResult result = RunFirstRunSteps();
        if (result != STARTUP_SHOW_DIALOG)
            return result;
    }
    return RequireCD() ? STARTUP_SHOW_DIALOG : STARTUP_END;
}

static void ProbePathForDrive(char *probe, char letter)
{
    memcpy(probe, "D:\\DSInit.exe", sizeof "D:\\DSInit.exe");
    probe[0] = letter;
}

static int FindCdInAnyDrive(void)
{
    char probe[sizeof "D:\\DSInit.exe"];
    for (char letter = 'A'; letter <= 'Z'; letter++) {
        char root[] = "C:\\";
        root[0] = letter;
        if (GetDriveTypeA(root) != DRIVE_CDROM)
            continue;
        ProbePathForDrive(probe, letter);
        if (!FileExists(probe))
            continue;
        LauncherState.InstalledFrom[0] = letter;
        // Only an existing record is updated; the search never creates one.
        if (LoadLauncherState()) {
            LauncherState.InstalledFrom[0] = letter;
            SaveLauncherState();
        }
        return 1;
    }
    return 0;
}

int RequireCD(void)
{
    char probe[sizeof "D:\\DSInit.exe"];
    ProbePathForDrive(probe, LauncherState.InstalledFrom[0]);
    if (FileExists(probe))
        return 1;
    for (;;) {
        if (FindCdInAnyDrive())
            return 1;
        if (ReportError("Please insert a Draxmoor Saga CD.", "Insert a Draxmoor Saga CD",
                        MB_OKCANCEL | MB_ICONWARNING, MainDialog) == IDCANCEL)
            return 0;
    }
}

// ---------------------------------------------------------------------------
// Main dialog and command dispatch

// Halves a coordinate rounding towards minus infinity, so a window larger
// than the desktop lands at a negative position, not clamped.
static int HalfRoundedDown(int value)
{
    return value >= 0 ? value / 2 : -((1 - value) / 2);
}

static void CentreOnDesktop(HWND window, UINT flags, const char *caption)
{
    RECT desktop, rect;
    char message[PATH_BUFFER];
    if (!GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(window, &rect)) {
        FormatText(message, sizeof message, "!getwindowpos, %d", (int)GetLastError());
        ReportError(message, caption, MB_OK, window);
        return;
    }
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = HalfRoundedDown((desktop.right - desktop.left) - width);
    int y = HalfRoundedDown((desktop.bottom - desktop.top) - height);
    if (!SetWindowPos(window, HWND_TOP, x, y, width, height, flags)) {
        FormatText(message, sizeof message, "!setwindowpos, %d", (int)GetLastError());
        ReportError(message, caption, MB_OK, window);
    }
}

void CentreWindow(HWND window)
{
    CentreOnDesktop(window, 0, "Error!");
}

void CentreAndShowWindow(HWND window)
{
    CentreOnDesktop(window, SWP_SHOWWINDOW, "ERROR");
}

void HideMainDialog(void)
{
    ShowWindow(MainDialog, SW_HIDE);
}

void ShowMainDialog(void)
{
    ShowWindow(MainDialog, SW_SHOW);
    InvalidateRect(MainDialog, NULL, TRUE);
}

void HideDialogItem(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    ShowWindow(item, SW_HIDE);
    EnableWindow(item, FALSE);
}

void ShowDialogItem(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    ShowWindow(item, SW_SHOWNORMAL);
    EnableWindow(item, TRUE);
}

// Every way the dialog ends runs the clean-up first.
static void EndMainDialog(HWND dialog)
{
    RemoveTemporaryFiles();
    EndDialog(dialog, 0);
}

static void EndMainDialogAndRestart(HWND dialog)
{
    EndMainDialog(dialog);
    RestartWindows();
}

static BOOL OnInitMain(HWND dialog)
{
    ShowWindow(dialog, SW_HIDE);
    InitArtPanel(&MainArtPanel, dialog);
    FitDialogTexts(dialog);
    CentreWindow(dialog);
    switch (RunStartup(dialog, ModuleInstance)) {
    case STARTUP_RESTART_WINDOWS:
        EndMainDialogAndRestart(dialog);
        break;
    case STARTUP_END:
        EndMainDialog(dialog);
        break;
    case STARTUP_SHOW_DIALOG:
        ShowWindow(dialog, SW_SHOW);
        break;
    }
    return TRUE;
}

static void OnInstallDirectX(HWND dialog)
{
    if (DirectXNeedsRestart(InstallDirectX(0)))
        EndMainDialogAndRestart(dialog);
}

static void OnPreviews(HWND dialog)
{
    if (DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_PREVIEWS), dialog, PreviewsDialogProc, 0) == -1)
        ReportError("Could not create Tessarine Preview Dialog box", "Error!", MB_OK, dialog);
}

static BOOL RunMainCommand(HWND dialog, int id)
{
    switch (id) {
    case IDC_GAME1:        PlayGame1(); break;
    case IDC_UNINSTALL1:   UninstallGame1(); break;
    case IDC_GAME2:        PlayGame2(); break;
    case IDC_UNINSTALL2:   UninstallGame2(); break;
    case IDC_GAME3:        PlayGame3(); break;
    case IDC_UNINSTALL3:   UninstallGame3(); break;
    case IDC_SYSINFO:      ShowSystemResources(); break;
    case IDC_DIRECTX:      OnInstallDirectX(dialog); break;
    case IDC_PREVIEWS:     OnPreviews(dialog); break;
    case IDC_INVULNERABLE: ToggleInvulnerable(); break;
    case IDC_HELPFILE:     OpenHelpFile(); break;
    case IDCANCEL:         EndMainDialog(dialog); break;
    default:               return FALSE;
    }
    return TRUE;
}

// The message boxes and dialogs of a running command dispatch messages, so
// a second command (a queued double press, a posted message) could start
// inside the first; it is dropped instead.
static BOOL OnMainCommand(HWND dialog, int id)
{
    if (CommandRunning) {
        if (id == IDC_INVULNERABLE)  // the box has toggled itself: put its mark back
            CheckDlgButton(dialog, IDC_INVULNERABLE, LauncherState.Cheater ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }
    CommandRunning = 1;
    BOOL handled = RunMainCommand(dialog, id);
    CommandRunning = 0;
    return handled;
}

// The dialog itself, not a button, holds the focus after every paint, so a
// key press never goes to whichever button last had the focus.
static void OnMainPaint(HWND dialog)
{
    PAINTSTRUCT paint;
    BeginPaint(dialog, &paint);
    EndPaint(dialog, &paint);
    SetFocus(dialog);
}

static void OnMainActivate(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) != WA_ACTIVE || (HWND)lParam == dialog)
        return;
    RECT client;
    GetClientRect(dialog, &client);
    InvalidateRect(dialog, &client, FALSE);
    UpdateWindow(dialog);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitMain(dialog);
    case WM_COMMAND:
        return OnMainCommand(dialog, LOWORD(wParam));
    case WM_PAINT:
        OnMainPaint(dialog);
        return TRUE;
    case WM_ACTIVATE:
        OnMainActivate(dialog, wParam, lParam);
        return TRUE;
    case WM_QUERYNEWPALETTE:
        QueryNewPaletteStep(&MainArtPanel, dialog);
        return FALSE;
    case WM_PALETTECHANGED:
        PaletteChangedStep(&MainArtPanel, dialog, (HWND)wParam);
        return TRUE;
    default:
        return FALSE;
    }
}

// ---------------------------------------------------------------------------
// Main panel button states

const GameInfo GameTable[3] = {
    {1, "Starwarden 1", "sw1", "sw1\\", "sw1.exe", &LauncherState.Game1Installed, IDC_GAME1,
     "Install Starwarden 1", "Play Starwarden 1", IDC_UNINSTALL1, "starwdn.cfg", 13},
    {2, "Starwarden 2", "sw2", "sw2\\", "sw2.exe", &LauncherState.Game2Installed, IDC_GAME2,
     "Install Starwarden 2", "Play Starwarden 2", IDC_UNINSTALL2, "sw2.cfg", 26},
    {3, "Starwarden 3", "sw3", "sw3\\", "sw3w.exe", &LauncherState.Game3Installed, IDC_GAME3,
     "Install Starwarden 3", "Play Starwarden 3", IDC_UNINSTALL3, NULL, 2},
};

int BuildGamePath(char *path, const GameInfo &game, const char *file)
{
    if (FormatText(path, PATH_BUFFER, "%s%s%s", LauncherState.InstalledTo, game.Directory, file))
        return 1;
    ReportTooLong(LauncherState.InstalledTo);
    return 0;
}

static void ReportPanelError(const char *format, ...) CHECKED_FORMAT(1, 2);
static void ReportPanelError(const char *format, ...)
{
    char message[PATH_BUFFER];
    va_list arguments;
    va_start(arguments, format);
    FormatTextList(message, sizeof message, format, arguments);
    va_end(arguments);
    ReportError(message, "ERROR", MB_OK, MainDialog);
}

// Relabels and enables; 0 after a report, which skips the save.
static int ShowGamePlayable(const GameInfo &game)
{
    if (!SetDlgItemTextA(MainDialog, game.GameButton, game.PlayText)) {
        ReportPanelError("!SetDlgItemText");
        return 0;
    }
    HWND uninstall = GetDlgItem(MainDialog, game.UninstallButton);
    if (uninstall == NULL) {
        ReportPanelError("!GetDlgItem(%s) (ENABLE)", game.KeyName);
        return 0;
    }
    EnableWindow(uninstall, TRUE);
    HWND invulnerable = GetDlgItem(MainDialog, IDC_INVULNERABLE);
    if (invulnerable == NULL) {
        ReportPanelError("!GetDlgItem(IDC_INVULNERABLE) (ENABLE)");
        return 0;
    }
    ShowWindow(invulnerable, SW_SHOW);
    if (LauncherState.Cheater != 0)
        CheckDlgButton(MainDialog, IDC_INVULNERABLE, BST_CHECKED);
    return 1;
}

void MarkGamePlayable(int game)
{
    const GameInfo &row = GameTable[game - 1];
    *row.InstalledFlag = 1;
    if (ShowGamePlayable(row))
        SaveLauncherState();
    // The uninstall entry is written even when the panel could not be updated.
    RegisterUninstallEntry(row.KeyName, row.DisplayName, row.Directory);
}

// Relabels and disables; 0 after a report, which skips the save and the new detection.
static int ShowGameNotPlayable(const GameInfo &game)
{
    if (!SetDlgItemTextA(MainDialog, game.GameButton, game.InstallText)) {
        ReportPanelError("!SetDlgItemText(%s) nonPlayableButton", game.InstallText);
        return 0;
    }
    HWND uninstall = GetDlgItem(MainDialog, game.UninstallButton);
    if (uninstall == NULL) {
        ReportPanelError("!SendDlgItemMessage(%s) nonPlayableButton (DISENABLE)", game.InstallText);
        return 0;
    }
    EnableWindow(uninstall, FALSE);
    if (AnyGameInstalled())
        return 1;  // the check box stays as the user left it
    HWND invulnerable = GetDlgItem(MainDialog, IDC_INVULNERABLE);
    if (invulnerable == NULL) {
        ReportPanelError("!GetDlgItem(IDC_INVULNERABLE) (ENABLE)");
        return 0;
    }
    ShowWindow(invulnerable, SW_HIDE);
    LauncherState.Cheater = 0;
    CheckDlgButton(MainDialog, IDC_INVULNERABLE, BST_UNCHECKED);
    return 1;
}

int MarkGameNotPlayable(int game)
{
    const GameInfo &row = GameTable[game - 1];
    *row.InstalledFlag = 0;
    char key[PATH_BUFFER];
    if (FormatText(key, sizeof key, "%s\\%s", UninstallKeyPath, row.KeyName))
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);  // it may not exist
    if (!ShowGameNotPlayable(row))
        return 0;
    SaveLauncherState();
    // Nested: at most one level per game, as each level clears one more flag.
    return DetectInstalledGames();
}

// ---------------------------------------------------------------------------
// Palette artwork panels

// The two panels never share a control, so a panel is found by its control.
static ArtPanel *FindArtPanel(HWND control)
{
    if (MainArtPanel.Control == control)
        return &MainArtPanel;
    if (PreviewArtPanel.Control == control)
        return &PreviewArtPanel;
    return NULL;
}

// Number of colour-table entries, or 0 for a resource this panel cannot
// paint: the header, the table and every pixel row must lie inside it.
static DWORD CountBitmapColours(const BITMAPINFOHEADER *header, DWORD resourceSize)
{
    if (resourceSize < sizeof *header || header->biSize < sizeof *header || header->biSize > resourceSize)
        return 0;
    if (header->biBitCount != 1 && header->biBitCount != 4 && header->biBitCount != 8)
        return 0;
    if (header->biCompression != BI_RGB || header->biWidth <= 0 || header->biHeight == 0)
        return 0;
    DWORD colours = header->biClrUsed != 0 ? header->biClrUsed : (DWORD)1 << header->biBitCount;
    if (colours > 256)
        return 0;
    uint64_t rowBytes = (((uint64_t)header->biWidth * header->biBitCount + 31) / 32) * 4;
    uint64_t height = header->biHeight < 0 ? -(int64_t)header->biHeight : header->biHeight;
    uint64_t needed = header->biSize + 4 * (uint64_t)colours + rowBytes * height;
    return needed <= resourceSize ? colours : 0;
}

static HPALETTE CreateBitmapPalette(const BITMAPINFOHEADER *header, DWORD colours)
{
    struct {
        WORD palVersion;
        WORD palNumEntries;
        PALETTEENTRY palPalEntry[256];
    } block;
    const RGBQUAD *table = (const RGBQUAD *)((const BYTE *)header + header->biSize);
    block.palVersion = 0x300;
    block.palNumEntries = (WORD)colours;
    for (DWORD i = 0; i < colours; i++) {
        block.palPalEntry[i].peRed = table[i].rgbRed;
        block.palPalEntry[i].peGreen = table[i].rgbGreen;
        block.palPalEntry[i].peBlue = table[i].rgbBlue;
        block.palPalEntry[i].peFlags = 0;
    }
    return CreatePalette((const LOGPALETTE *)&block);
}

// Finds and locks the panel's bitmap; a missing or unusable resource leaves
// Bitmap null and the panel an empty frame.
static DWORD LockPanelBitmap(ArtPanel *panel)
{
    HRSRC found = FindResourceA(ModuleInstance, MAKEINTRESOURCEA(panel->BitmapId), (LPCSTR)RT_BITMAP);
    HGLOBAL loaded = found != NULL ? LoadResource(ModuleInstance, found) : NULL;
    const BITMAPINFOHEADER *header = loaded != NULL ? (const BITMAPINFOHEADER *)LockResource(loaded) : NULL;
    DWORD colours = header != NULL ? CountBitmapColours(header, SizeofResource(ModuleInstance, found)) : 0;
    if (colours == 0)
        return 0;
    panel->Bitmap = header;
    panel->Bits = (const BYTE *)header + header->biSize + 4 * colours;
    return colours;
}

// Gives the control its own procedure back and deletes the palette; runs
// when the control is destroyed with its dialog, and before a new setup.
void ReleaseArtPanel(ArtPanel *panel)
{
    if (panel->SavedProc != NULL && panel->Control != NULL && IsWindow(panel->Control))
        SetWindowLongPtrA(panel->Control, GWLP_WNDPROC, (LONG_PTR)panel->SavedProc);
    if (panel->Palette != NULL)
        DeleteObject(panel->Palette);
    panel->Control = NULL;
    panel->Bitmap = NULL;
    panel->Bits = NULL;
    panel->Palette = NULL;
    panel->SavedProc = NULL;
    panel->RealizePending = 0;
}

void InitArtPanel(ArtPanel *panel, HWND dialog)
{
    ReleaseArtPanel(panel);
    panel->Control = GetDlgItem(dialog, panel->ControlId);
    DWORD colours = LockPanelBitmap(panel);
    if (panel->Control == NULL || colours == 0)
        return;
    panel->Palette = CreateBitmapPalette(panel->Bitmap, colours);
    panel->SavedProc = (WNDPROC)GetWindowLongPtrA(panel->Control, GWLP_WNDPROC);
    if (panel->SavedProc != NULL) {
        SetWindowLongPtrA(panel->Control, GWLP_WNDPROC, (LONG_PTR)ArtPanelProc);
    } else if (panel->Palette != NULL) {
        DeleteObject(panel->Palette);  // nothing will ever paint with it
        panel->Palette = NULL;
    }
}

static void PaintArtPanel(ArtPanel *panel, HWND control)
{
    RECT client;
    GetClientRect(control, &client);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(control, &paint);
    HPALETTE oldPalette = NULL;
    if (panel->Palette != NULL)
        oldPalette = SelectPalette(dc, panel->Palette, FALSE);
    if (panel->RealizePending) {
        panel->RealizePending = 0;
        RealizeArtPalette(dc);
    }
    // Shrinking by dropping whole rows and columns keeps the stars bright;
    // the default mode would AND them into the black around them.
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, panel->Bitmap->biWidth, panel->Bitmap->biHeight,
                  panel->Bits, (const BITMAPINFO *)panel->Bitmap, DIB_RGB_COLORS, SRCCOPY);
    // The palette is handed back so that it can be deleted when the dialog closes.
    if (oldPalette != NULL)
        SelectPalette(dc, oldPalette, FALSE);
    EndPaint(control, &paint);
}

LRESULT CALLBACK ArtPanelProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    ArtPanel *panel = FindArtPanel(control);
    if (panel == NULL)
        return DefWindowProcA(control, message, wParam, lParam);  // cannot happen: only panels get here
    if (message == WM_PAINT) {
        PaintArtPanel(panel, control);
        return 1;
    }
    WNDPROC savedProc = panel->SavedProc;
    if (message == WM_NCDESTROY)
        ReleaseArtPanel(panel);
    return CallWindowProcA(savedProc, control, message, wParam, lParam);
}

void QueryNewPaletteStep(ArtPanel *panel, HWND dialog)
{
    panel->RealizePending = 1;
    InvalidateRect(dialog, NULL, TRUE);
}

void PaletteChangedStep(ArtPanel *panel, HWND dialog, HWND changer)
{
    // A change of our own making must not start a realisation loop.
    if (changer == dialog || changer == panel->Control || panel->Palette == NULL)
        return;
    HDC dc = GetDC(panel->Control);
    if (dc == NULL)
        return;
    HPALETTE oldPalette = SelectPalette(dc, panel->Palette, FALSE);
    UINT changed = RealizeArtPalette(dc);
    if (changed != 0 && changed != GDI_ERROR)
        UpdateColors(dc);
    SelectPalette(dc, oldPalette, FALSE);
    ReleaseDC(panel->Control, dc);
}

// ---------------------------------------------------------------------------
// Readable texts

// Where a control draws its text and how it wraps it. The margins are the
// widest that any look of the system gives its frames and check marks, in
// pixels at 96 DPI, scaled with the display.
struct TextLayout {
    RECT Area;
    UINT Format;
};

static int ScaledPixels(HDC dc, int pixels)
{
    return MulDiv(pixels, GetDeviceCaps(dc, LOGPIXELSX), 96);
}

static int DescribeButtonText(HDC dc, LONG style, TextLayout *layout)
{
    layout->Format = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
        InflateRect(&layout->Area, -(ScaledPixels(dc, 4) + 1), -ScaledPixels(dc, 3));
        return 1;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        layout->Area.left += ScaledPixels(dc, 13 + 6) + 1;  // the mark and the gap after it
        return 1;
    case BS_GROUPBOX:
        InflateRect(&layout->Area, -(ScaledPixels(dc, 10) + 2), 0);
        layout->Format = DT_SINGLELINE;
        return 1;
    default:
        return 0;
    }
}

static int DescribeStaticText(LONG style, TextLayout *layout)
{
    UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    switch (style & SS_TYPEMASK) {
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT:
        layout->Format = DT_WORDBREAK | DT_EXPANDTABS | prefix;
        return 1;
    case SS_SIMPLE:
    case SS_LEFTNOWORDWRAP:
        layout->Format = DT_SINGLELINE | DT_EXPANDTABS | prefix;
        return 1;
    default:
        return 0;  // frames and pictures: no text to show
    }
}

static int DescribeText(HWND control, HDC dc, TextLayout *layout)
{
    char className[16];
    if (GetClassNameA(control, className, sizeof className) == 0 || !GetClientRect(control, &layout->Area))
        return 0;
    LONG style = GetWindowLongA(control, GWL_STYLE);
    if (lstrcmpiA(className, "Button") == 0)
        return DescribeButtonText(dc, style, layout);
    if (lstrcmpiA(className, "Static") == 0)
        return DescribeStaticText(style, layout);
    return 0;
}

// Draws the text as the control wraps it, unclipped, on a white surface twice
// the area's size, and tells whether any ink falls outside the area. Some
// fonts' small sizes (embedded bitmaps) draw wider than their metrics say,
// so the metrics alone can pass a text that is cut off on the screen.
static int InkStaysInside(HDC dc, HFONT font, const char *text, const TextLayout &layout, LONG width, LONG height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 2 * width;
    info.bmiHeader.biHeight = -2 * height;  // top-down: row y starts at y * 2 * width
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP surface = memory != NULL ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, NULL, 0) : NULL;
    int inside = 1;  // without a surface to draw on, the metrics decide
    if (surface != NULL) {
        HGDIOBJ oldSurface = SelectObject(memory, surface);
        HGDIOBJ oldFont = SelectObject(memory, font);
        PatBlt(memory, 0, 0, 2 * width, 2 * height, WHITENESS);
        RECT area = {0, 0, width, height};
        DrawTextA(memory, text, -1, &area, (layout.Format & ~(DT_CENTER | DT_RIGHT)) | DT_NOCLIP);
        GdiFlush();
        const DWORD *pixel = (const DWORD *)bits;
        for (LONG y = 0; y < 2 * height && inside; y++)
            for (LONG x = 0; x < 2 * width && inside; x++)
                if ((pixel[y * 2 * width + x] & 0xFFFFFF) != 0xFFFFFF && (x >= width || y >= height))
                    inside = 0;
        SelectObject(memory, oldFont);
        SelectObject(memory, oldSurface);
        DeleteObject(surface);
    }
    if (memory != NULL)
        DeleteDC(memory);
    return inside;
}

static int TextFits(HDC dc, HFONT font, const char *text, const TextLayout &layout)
{
    LONG width = layout.Area.right - layout.Area.left, height = layout.Area.bottom - layout.Area.top;
    if (width <= 0 || height <= 0)
        return 0;
    RECT needed = {0, 0, width, 0};
    HGDIOBJ oldFont = SelectObject(dc, font);
    DrawTextA(dc, text, -1, &needed, layout.Format | DT_CALCRECT);
    SelectObject(dc, oldFont);
    return needed.right <= width && needed.bottom <= height && InkStaysInside(dc, font, text, layout, width, height);
}

static int SameFontShape(const LOGFONTA &a, const LOGFONTA &b)
{
    return a.lfHeight == b.lfHeight && a.lfWeight == b.lfWeight && a.lfItalic == b.lfItalic
        && a.lfUnderline == b.lfUnderline && a.lfStrikeOut == b.lfStrikeOut && a.lfCharSet == b.lfCharSet
        && a.lfPitchAndFamily == b.lfPitchAndFamily && strncmp(a.lfFaceName, b.lfFaceName, LF_FACESIZE) == 0;
}

// The dialog font's shape at another height and, when given, another face;
// made once for all dialogs. Null when every slot is taken, and the control
// keeps its font.
static HFONT FittedFontOf(const LOGFONTA &base, LONG height, const char *face)
{
    LOGFONTA shape = base;
    shape.lfHeight = base.lfHeight < 0 ? -height : height;
    shape.lfWidth = 0;
    if (face != NULL)
        CopyText(shape.lfFaceName, sizeof shape.lfFaceName, face);
    for (FittedFont &slot : FittedFonts) {
        if (slot.Font != NULL && SameFontShape(slot.Shape, shape))
            return slot.Font;
        if (slot.Font == NULL) {
            slot.Shape = shape;
            slot.Font = CreateFontIndirectA(&shape);
            return slot.Font;
        }
    }
    return NULL;
}

// A bitmap face (as "MS Sans Serif" is on some systems) has no smaller sizes:
// asked for one, the system substitutes another bitmap font.
static int IsScalable(HDC dc, HFONT font)
{
    TEXTMETRICA metrics;
    HGDIOBJ oldFont = SelectObject(dc, font);
    int scalable = GetTextMetricsA(dc, &metrics) && (metrics.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE));
    SelectObject(dc, oldFont);
    return scalable;
}

// The dialog font's own face first, a pixel smaller at a time, when it is
// scalable; then a narrow scalable face. Below 6 pixels at 96 DPI nothing is
// readable: the smallest tried is kept even if the text still overflows.
static void FitControlText(HWND control, HDC dc)
{
    static const char *const Faces[] = {NULL, "Tahoma"};
    char text[PATH_BUFFER];
    TextLayout layout;
    LOGFONTA base;
    HFONT font = (HFONT)SendMessageA(control, WM_GETFONT, 0, 0);
    if (GetWindowTextA(control, text, sizeof text) == 0 || font == NULL || !DescribeText(control, dc, &layout)
        || TextFits(dc, font, text, layout) || GetObjectA(font, sizeof base, &base) == 0)
        return;
    HFONT chosen = NULL;
    for (const char *face : Faces) {
        if (face == NULL && !IsScalable(dc, font))
            continue;
        LONG height = labs(base.lfHeight) - (face == NULL ? 1 : 0);
        for (; height >= ScaledPixels(dc, 6); height--) {
            HFONT candidate = FittedFontOf(base, height, face);
            if (candidate == NULL)
                break;
            chosen = candidate;
            if (TextFits(dc, candidate, text, layout)) {
                SendMessageA(control, WM_SETFONT, (WPARAM)candidate, TRUE);
                return;
            }
        }
    }
    if (chosen != NULL)
        SendMessageA(control, WM_SETFONT, (WPARAM)chosen, TRUE);
}

void FitDialogTexts(HWND dialog)
{
    HDC dc = GetDC(dialog);
    if (dc == NULL)
        return;
    for (HWND control = GetWindow(dialog, GW_CHILD); control != NULL; control = GetWindow(control, GW_HWNDNEXT))
        FitControlText(control, dc);
    ReleaseDC(dialog, dc);
}
