// Readable on every screen: every text of the five dialogs shows whole in
// its control at the dialog's own font size, and the dialogs grow with the
// display's DPI.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "MainDriver.h"
#include "RemoteUi.h"
#include "TestEnv.h"
#include "UiDriver.h"

namespace {

const char DesktopKey[] = "Control Panel\\Desktop";
const char LayoutLogVariable[] = "DSAGA_LAYOUT_LOG";

int ScreenDpi()
{
    HDC screen = GetDC(NULL);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    return dpi;
}

// Where the system's controls put their text, in the state that leaves the
// least room: a push button inside its default outline and raised edge, a
// check mark and its gap before a check box's text, a group box's inset.
// The DC holds the control's font.
bool TextArea(HWND control, HDC dc, RECT *area, UINT *format)
{
    char className[32];
    GetClassNameA(control, className, sizeof className);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    GetClientRect(control, area);
    if (_stricmp(className, "Static") == 0) {
        LONG type = style & SS_TYPEMASK;
        bool wraps = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
        if (!wraps && type != SS_SIMPLE && type != SS_LEFTNOWORDWRAP)
            return false;
        *format = (wraps ? DT_WORDBREAK : DT_SINGLELINE) | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
        return true;
    }
    if (_stricmp(className, "Button") != 0)
        return false;
    *format = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    int zeroWidth = 0;
    switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
        InflateRect(area, -3, -3);
        return true;
    case BS_AUTOCHECKBOX:
    case BS_CHECKBOX:
    case BS_AUTORADIOBUTTON:
    case BS_RADIOBUTTON:
        GetCharWidth32A(dc, '0', '0', &zeroWidth);
        area->left += 12 * GetDeviceCaps(dc, LOGPIXELSX) / 96 + 1 + zeroWidth / 2;
        return true;
    case BS_GROUPBOX:
        InflateRect(area, -7, 0);
        *format = DT_SINGLELINE;
        return true;
    default:
        return false;
    }
}

// What one opening of a dialog showed.
struct DialogSeen {
    std::string caption;
    int measured = 0;                  // controls whose text was measured
    std::vector<std::string> cutOff;   // "text: needs WxH, has WxH"
    std::vector<std::string> otherFont;  // "text: N px high, the dialog's M px"
    SIZE client = {0, 0};
    SIZE art = {0, 0};                 // the artwork control, if any
    LONG fontHeight = 0;               // the dialog font's characters
    SIZE units = {0, 0};               // 100 x 100 dialog units, in pixels
};
std::vector<DialogSeen> Seen;

SIZE ClientSize(HWND window)
{
    RECT rect = {0, 0, 0, 0};
    GetClientRect(window, &rect);
    return SIZE{rect.right, rect.bottom};
}

// Draws the text unclipped as the control wraps it and tells whether ink
// falls outside width x height: a font's small sizes can draw wider than
// their metrics, and metrics alone would pass a text cut off on the screen.
bool InkOverflows(HDC dc, const char *text, UINT format, LONG width, LONG height)
{
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, 2 * width, -2 * height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void *bits = nullptr;
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP surface = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    EXPECT_TRUE(surface != NULL) << "no surface to draw " << text << " on";
    if (surface == NULL) {
        DeleteDC(memory);
        return false;
    }
    HGDIOBJ oldSurface = SelectObject(memory, surface);
    HGDIOBJ oldFont = SelectObject(memory, GetCurrentObject(dc, OBJ_FONT));
    PatBlt(memory, 0, 0, 2 * width, 2 * height, WHITENESS);
    RECT area = {0, 0, width, height};
    DrawTextA(memory, text, -1, &area, format | DT_NOCLIP);
    GdiFlush();
    bool overflows = false;
    const DWORD *pixel = static_cast<const DWORD *>(bits);
    for (LONG y = 0; y < 2 * height; y++)
        for (LONG x = 0; x < 2 * width; x++)
            if ((pixel[y * 2 * width + x] & 0xFFFFFF) != 0xFFFFFF && (x >= width || y >= height))
                overflows = true;
    SelectObject(memory, oldFont);
    SelectObject(memory, oldSurface);
    DeleteObject(surface);
    DeleteDC(memory);
    return overflows;
}

// The height of the font's characters, without the room above them that
// accents take: the size a reader sees.
LONG CharacterHeight(HDC dc, HFONT font)
{
    TEXTMETRICA metrics = {};
    HGDIOBJ old = SelectObject(dc, font);
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    return metrics.tmHeight - metrics.tmInternalLeading;
}

// Every text is drawn in the dialog's own font: one in another face or
// size reads as out of place beside its neighbours.
void CheckDialogFont(HWND control, HDC dc, const char *text, DialogSeen *seen)
{
    HFONT own = (HFONT)SendMessageA(control, WM_GETFONT, 0, 0);
    HFONT dialogs = (HFONT)SendMessageA(GetParent(control), WM_GETFONT, 0, 0);
    if (own != dialogs)
        seen->otherFont.push_back(std::string(text) + ": " + std::to_string(CharacterHeight(dc, own)) +
                               " px high, the dialog's " + std::to_string(CharacterHeight(dc, dialogs)) + " px");
}

// Measures the control's text in its own font, wrapped as the control wraps
// it; false when it has no text to show.
bool MeasureText(HWND control, DialogSeen *seen)
{
    char text[1024];
    if (GetWindowTextA(control, text, sizeof text) == 0)
        return false;
    HDC dc = GetDC(control);
    HGDIOBJ oldFont = SelectObject(dc, (HFONT)SendMessageA(control, WM_GETFONT, 0, 0));
    RECT area;
    UINT format;
    bool shown = TextArea(control, dc, &area, &format);
    if (shown) {
        LONG width = area.right - area.left, height = area.bottom - area.top;
        RECT needed = {0, 0, width, 0};
        DrawTextA(dc, text, -1, &needed, format | DT_CALCRECT);
        if (needed.right > width || needed.bottom > height || InkOverflows(dc, text, format, width, height))
            seen->cutOff.push_back(std::string(text) + ": needs " + std::to_string(needed.right) + "x" +
                                   std::to_string(needed.bottom) + ", has " + std::to_string(width) + "x" +
                                   std::to_string(height));
        CheckDialogFont(control, dc, text, seen);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(control, dc);
    return shown;
}

void Look(HWND dialog, int artId)
{
    DialogSeen seen;
    char caption[256];
    GetWindowTextA(dialog, caption, sizeof caption);
    seen.caption = caption;
    for (HWND control = GetWindow(dialog, GW_CHILD); control != NULL; control = GetWindow(control, GW_HWNDNEXT))
        if (MeasureText(control, &seen))
            seen.measured++;
    seen.client = ClientSize(dialog);
    HDC dc = GetDC(dialog);
    seen.fontHeight = CharacterHeight(dc, (HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0));
    ReleaseDC(dialog, dc);
    RECT units = {0, 0, 100, 100};
    MapDialogRect(dialog, &units);
    seen.units = SIZE{units.right, units.bottom};
    if (artId != 0)
        seen.art = ClientSize(GetDlgItem(dialog, artId));
    Seen.push_back(seen);
}

// Opens each of the five dialogs the way the launcher opens it and looks
// at it once its initialisation has run.
void OpenEveryDialog()
{
    Seen.clear();
    {
        ScriptedUi ui;
        PressOnMainDialog(ui, IDC_PREVIEWS, [](HWND dialog) { Look(dialog, IDC_MAIN_ART); });
        ui.ExpectDialog("Tessarine Previews", [](HWND dialog) { Look(dialog, IDC_PREVIEW_ART); }, IDCANCEL);
        RunMainDialog();
        ui.Verify();
    }
    CreatePanelForTest();
    ScriptedUi ui;
    auto look = [](HWND dialog) { Look(dialog, 0); };
    ui.ExpectDialog("Change the Install Directory", look, IDCANCEL)
      .ExpectDialog("Starwarden 3 Additional Installation", look, IDCANCEL)
      .ExpectDialog("System Resources", look, IDOK);
    char chosen[PATH_BUFFER];
    ChooseDirectory(GetModuleHandleA(NULL), "C:\\", chosen);
    AskAdditionalInstall();
    ShowSystemResources();
    ui.Verify();
    DestroyPanelForTest();
}

// While alive, processes started from now on see the display at this DPI;
// the setting the prefix had is put back afterwards.
class DisplayDpi {
public:
    explicit DisplayDpi(DWORD dpi) : saved_(ReadValue(HKEY_CURRENT_USER, DesktopKey, "LogPixels"))
    {
        WriteNumber(HKEY_CURRENT_USER, DesktopKey, "LogPixels", dpi);
    }
    ~DisplayDpi()
    {
        if (saved_.present) {
            WriteValue(HKEY_CURRENT_USER, DesktopKey, "LogPixels", saved_.type, saved_.bytes.data(),
                       (DWORD)saved_.bytes.size());
            return;
        }
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, DesktopKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "LogPixels");
            RegCloseKey(key);
        }
    }
    DisplayDpi(const DisplayDpi &) = delete;
    DisplayDpi &operator=(const DisplayDpi &) = delete;

private:
    RegistryValue saved_;
};

// Runs one case of a test program of this build in a process of its own;
// its exit code, or ~0 when it did not start or end.
DWORD RunCase(const char *program, const char *testCase)
{
    ChildRun run = StartProgram(ModuleDirectory() + program, "", std::string("--gtest_filter=") + testCase);
    if (!run.Started()) {
        ADD_FAILURE() << "cannot start " << program << ", error " << run.startError;
        return ~0u;
    }
    DWORD code = ~0u;
    EXPECT_EQ(0u, WaitForExit(run.pi.hProcess, 300000, &code)) << program << " did not end";
    return code;
}

const DialogSeen *FindSeen(const std::vector<DialogSeen> &all, const std::string &caption)
{
    for (const DialogSeen &seen : all)
        if (seen.caption == caption)
            return &seen;
    return nullptr;
}

std::vector<DialogSeen> ReadLayoutLog(const std::string &path, int *dpi)
{
    std::vector<DialogSeen> all;
    *dpi = 0;
    for (const std::string &line : ReadLineList(path)) {
        DialogSeen seen;
        char caption[256] = "";
        if (sscanf(line.c_str(), "dpi %d", dpi) == 1)
            continue;
        if (sscanf(line.c_str(), "%ld %ld %ld %ld %ld %ld %ld %255[^\n]", &seen.client.cx, &seen.client.cy,
                   &seen.art.cx, &seen.art.cy, &seen.fontHeight, &seen.units.cx, &seen.units.cy, caption) == 8) {
            seen.caption = caption;
            all.push_back(seen);
        }
    }
    return all;
}

void WriteLayoutLog(const std::string &path)
{
    std::string log = "dpi " + std::to_string(ScreenDpi()) + "\n";
    for (const DialogSeen &seen : Seen)
        log += std::to_string(seen.client.cx) + " " + std::to_string(seen.client.cy) + " " +
               std::to_string(seen.art.cx) + " " + std::to_string(seen.art.cy) + " " +
               std::to_string(seen.fontHeight) + " " + std::to_string(seen.units.cx) + " " +
               std::to_string(seen.units.cy) + " " + seen.caption + "\n";
    WriteFileBytes(path, log);
}

class ReadableDialogs : public ::testing::Test {
protected:
    void SetUp() override { ResetTestState(); }
    void TearDown() override { DestroyPanelForTest(); }
};

// Declared in the program's manifest, which Windows reads before the
// program runs (Wine treats every program as aware, so only the declaration
// itself can be checked here).
TEST_F(ReadableDialogs, TheProgramDeclaresItHandlesDisplayScalingItself)
{
    std::string manifest = ManifestOf(BuildDirectory() + "Src\\Launch\\DSaga.exe");
    EXPECT_NE(std::string::npos, manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/"
                                               "WindowsSettings\">true</dpiAware>"))
        << manifest;
}

// Every button, check box, radio button, group box and static text of the
// five dialogs, multi-line ones included. Run at 120, 144 and 192 DPI by the
// next case.
TEST_F(ReadableDialogs, EveryTextFitsItsControl)
{
    OpenEveryDialog();
    const char *const captions[] = {MainCaption, "Tessarine Previews", "Change the Install Directory",
                                    "Starwarden 3 Additional Installation", "System Resources"};
    const int texts[] = {12, 8, 2, 11, 9};  // controls with a text of their own
    ASSERT_EQ(5u, Seen.size());
    for (int i = 0; i < 5; i++) {
        SCOPED_TRACE(captions[i]);
        EXPECT_EQ(captions[i], Seen[i].caption);
        EXPECT_EQ(texts[i], Seen[i].measured);
        for (const std::string &cut : Seen[i].cutOff)
            ADD_FAILURE() << "cut off at " << ScreenDpi() << " DPI: " << cut;
        for (const std::string &other : Seen[i].otherFont)
            ADD_FAILURE() << "not in the dialog's font at " << ScreenDpi() << " DPI: " << other;
    }
    char log[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(LayoutLogVariable, log, sizeof log);
    if (length > 0 && length < sizeof log)
        WriteLayoutLog(log);
}

void ExpectScaled(LONG scaled, LONG normal, double wanted, const char *what)
{
    double ratio = normal > 0 ? (double)scaled / normal : 0;
    EXPECT_TRUE(ratio > wanted * 0.9 && ratio < wanted * 1.1)
        << what << ": " << normal << " px at 96 DPI, " << scaled << " px on the larger display, "
        << wanted << " times wanted";
}

// The dialogs scale with their font and the artwork with its control: at
// each common display setting the dialog font is larger, everything grows
// with its dialog units, every text still shows whole at the dialog's font
// size and the pictures still fill their panels. A bitmap dialog face comes
// in few sizes, so the font, not the setting, says how much larger.
TEST_F(ReadableDialogs, AtEveryCommonDpiTheDialogsGrowAndStillFit)
{
    ASSERT_EQ(96, ScreenDpi()) << "the test prefix runs at 96 DPI";
    OpenEveryDialog();
    std::vector<DialogSeen> normal = Seen;
    for (int dpi : {120, 144, 192}) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI");
        // Beside the programs: each case a child runs empties the test directory.
        std::string log = ModuleDirectory() + "layout-" + std::to_string(dpi) + ".txt";
        DWORD fitted, painted;
        {
            DisplayDpi scaled(dpi);
            SetEnvironmentVariableA(LayoutLogVariable, log.c_str());
            fitted = RunCase("test_layout.exe", "ReadableDialogs.EveryTextFitsItsControl");
            SetEnvironmentVariableA(LayoutLogVariable, NULL);
            painted = RunCase("test_art.exe", "Artwork.PanelPaintsTheWholePictureStretchedOverItsControl");
        }
        EXPECT_EQ(96, ScreenDpi());
        EXPECT_EQ(0u, fitted) << "a text does not show whole at its size (see the output above)";
        EXPECT_EQ(0u, painted) << "a picture does not fill its panel";

        int seenDpi;
        std::vector<DialogSeen> large = ReadLayoutLog(log, &seenDpi);
        EXPECT_EQ(dpi, seenDpi);
        ASSERT_EQ(normal.size(), large.size());
        for (const DialogSeen &seen : normal) {
            SCOPED_TRACE(seen.caption);
            const DialogSeen *scaled = FindSeen(large, seen.caption);
            ASSERT_TRUE(scaled != nullptr);
            ASSERT_GT(seen.fontHeight, 0);
            EXPECT_GT(scaled->fontHeight, seen.fontHeight)
                << "the dialog font: " << seen.fontHeight << " px at 96 DPI, " << scaled->fontHeight << " px";
            ASSERT_GT(seen.units.cx * seen.units.cy, 0);
            double wider = (double)scaled->units.cx / seen.units.cx, taller = (double)scaled->units.cy / seen.units.cy;
            ExpectScaled(scaled->client.cx, seen.client.cx, wider, "width");
            ExpectScaled(scaled->client.cy, seen.client.cy, taller, "height");
            if (seen.art.cx != 0) {
                ExpectScaled(scaled->art.cx, seen.art.cx, wider, "artwork width");
                ExpectScaled(scaled->art.cy, seen.art.cy, taller, "artwork height");
            }
        }
    }
}

}  // namespace
