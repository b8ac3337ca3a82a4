// The artwork panels: the palette built from each picture, the picture
// painted over its control, the palette messages, and the palette released
// with its dialog.
#include <gtest/gtest.h>

#include <set>

#include "TestEnv.h"
#include "UiDriver.h"

namespace {

const BITMAPINFOHEADER *LockBitmap(int id)
{
    HRSRC found = FindResourceA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), (LPCSTR)RT_BITMAP);
    if (found == NULL)
        return NULL;
    return (const BITMAPINFOHEADER *)LockResource(LoadResource(GetModuleHandleA(NULL), found));
}

const RGBQUAD *ColourTable(const BITMAPINFOHEADER *header)
{
    return (const RGBQUAD *)((const BYTE *)header + header->biSize);
}

// The colour of the picture's pixel (x, y), counted from the top row.
COLORREF PictureColour(const BITMAPINFOHEADER *header, int x, int y)
{
    int rowBytes = (header->biWidth + 3) / 4 * 4;
    const BYTE *bits = (const BYTE *)ColourTable(header) + 4 * 256;
    BYTE index = bits[(header->biHeight - 1 - y) * rowBytes + x];
    const RGBQUAD &c = ColourTable(header)[index];
    return RGB(c.rgbRed, c.rgbGreen, c.rgbBlue);
}

HWND OpenPreviewsModeless()
{
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_PREVIEWS), MainDialog,
                                     PreviewsDialogProc, 0);
    EXPECT_TRUE(dialog != NULL);
    return dialog;
}

// Records each realisation: the window of the device context and the
// palette selected into it.
struct Realisation {
    HWND window;
    HPALETTE palette;
};
std::vector<Realisation> Realised;

UINT WINAPI RecordRealisation(HDC dc)
{
    Realised.push_back({WindowFromDC(dc), (HPALETTE)GetCurrentObject(dc, OBJ_PAL)});
    return RealizePalette(dc);
}

class Artwork : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        CreatePanelForTest();
        Realised.clear();
        RealizeArtPalette = RecordRealisation;
    }
    void TearDown() override { DestroyPanelForTest(); }
};

TEST_F(Artwork, PicturesAreEightBitsWithAFullColourTableAtTheirSizes)
{
    struct Case { int id; LONG width, height; };
    for (const Case &c : {Case{IDB_MAIN_ART, 230, 320}, Case{IDB_PREVIEW_ART, 564, 480}}) {
        SCOPED_TRACE(c.id);
        const BITMAPINFOHEADER *header = LockBitmap(c.id);
        ASSERT_TRUE(header != NULL);
        EXPECT_EQ(40u, header->biSize);
        EXPECT_EQ(c.width, header->biWidth);
        EXPECT_EQ(c.height, header->biHeight);
        EXPECT_EQ(8, header->biBitCount);
        EXPECT_EQ((DWORD)BI_RGB, header->biCompression);
        EXPECT_EQ(0u, header->biClrUsed);
        // A picture, not a blank: many of its colours are used.
        std::set<COLORREF> colours;
        for (int y = 0; y < c.height; y += 3)
            for (int x = 0; x < c.width; x += 3)
                colours.insert(PictureColour(header, x, y));
        EXPECT_GT(colours.size(), 150u);
    }
}

TEST_F(Artwork, PaletteHasThePicturesColoursInOrderAndThePanelPaintsFromTheResource)
{
    HWND previews = OpenPreviewsModeless();
    InitArtPanel(&MainArtPanel, MainDialog);
    struct Case { ArtPanel *panel; int bitmap; HWND control; };
    const Case cases[] = {
        {&MainArtPanel, IDB_MAIN_ART, GetDlgItem(MainDialog, IDC_MAIN_ART)},
        {&PreviewArtPanel, IDB_PREVIEW_ART, GetDlgItem(previews, IDC_PREVIEW_ART)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bitmap);
        const BITMAPINFOHEADER *header = LockBitmap(c.bitmap);
        EXPECT_EQ(c.control, c.panel->Control);
        EXPECT_EQ(header, c.panel->Bitmap);  // the resource itself, never a copy
        EXPECT_EQ((const BYTE *)header + 40 + 4 * 256, c.panel->Bits);
        ASSERT_TRUE(c.panel->Palette != NULL);
        PALETTEENTRY entries[257];
        ASSERT_EQ(256u, GetPaletteEntries(c.panel->Palette, 0, 257, entries));
        const RGBQUAD *table = ColourTable(header);
        for (int i = 0; i < 256; i++) {
            SCOPED_TRACE(i);
            EXPECT_EQ(table[i].rgbRed, entries[i].peRed);
            EXPECT_EQ(table[i].rgbGreen, entries[i].peGreen);
            EXPECT_EQ(table[i].rgbBlue, entries[i].peBlue);
            EXPECT_EQ(0, entries[i].peFlags);
        }
        EXPECT_EQ((LONG_PTR)ArtPanelProc, GetWindowLongPtrA(c.control, GWLP_WNDPROC));
    }
    DestroyWindow(previews);
}

// The control's pixels are read back and held against the picture scaled
// to the client area; a source pixel may land up to two positions either
// way, as the system's stretching rounds.
TEST_F(Artwork, PanelPaintsTheWholePictureStretchedOverItsControl)
{
    HWND previews = OpenPreviewsModeless();
    ShowWindow(previews, SW_SHOW);
    ShowWindow(MainDialog, SW_SHOW);
    InitArtPanel(&MainArtPanel, MainDialog);
    struct Case { int bitmap; HWND control; };
    for (const Case &c : {Case{IDB_MAIN_ART, GetDlgItem(MainDialog, IDC_MAIN_ART)},
                          Case{IDB_PREVIEW_ART, GetDlgItem(previews, IDC_PREVIEW_ART)}}) {
        SCOPED_TRACE(c.bitmap);
        const BITMAPINFOHEADER *header = LockBitmap(c.bitmap);
        RECT client;
        GetClientRect(c.control, &client);
        ASSERT_GT(client.right, 0);
        InvalidateRect(c.control, NULL, TRUE);
        UpdateWindow(c.control);
        HDC dc = GetDC(c.control);
        int mismatches = 0, samples = 0;
        std::string firstMismatch;
        std::set<COLORREF> seen;
        for (int y = 0; y < client.bottom; y += 7) {
            for (int x = 0; x < client.right; x += 5) {
                COLORREF shown = GetPixel(dc, x, y);
                seen.insert(shown);
                int sx = x * header->biWidth / client.right, sy = y * header->biHeight / client.bottom;
                bool found = false;
                for (int dy = -2; dy <= 2 && !found; dy++)
                    for (int dx = -2; dx <= 2 && !found; dx++) {
                        int px = sx + dx, py = sy + dy;
                        if (px >= 0 && py >= 0 && px < header->biWidth && py < header->biHeight)
                            found = PictureColour(header, px, py) == shown;
                    }
                samples++;
                if (!found && mismatches++ == 0)
                    firstMismatch = std::to_string(x) + "," + std::to_string(y);
            }
        }
        // The far corner too: the picture reaches the client area's edges.
        COLORREF corner = GetPixel(dc, client.right - 1, client.bottom - 1);
        ReleaseDC(c.control, dc);
        EXPECT_EQ(0, mismatches) << "of " << samples << " samples, the first at " << firstMismatch;
        EXPECT_GT(seen.size(), 50u);
        EXPECT_EQ(PictureColour(header, header->biWidth - 1, header->biHeight - 1), corner);
    }
    DestroyWindow(previews);
}

TEST_F(Artwork, MissingPictureLeavesAnEmptyFrameThatStillPaints)
{
    ShowWindow(MainDialog, SW_SHOW);
    HWND control = GetDlgItem(MainDialog, IDC_MAIN_ART);
    LONG_PTR ownProc = GetWindowLongPtrA(control, GWLP_WNDPROC);
    MainArtPanel.BitmapId = 999;
    InitArtPanel(&MainArtPanel, MainDialog);
    EXPECT_TRUE(MainArtPanel.Bitmap == NULL);
    EXPECT_TRUE(MainArtPanel.Palette == NULL);
    EXPECT_EQ(ownProc, GetWindowLongPtrA(control, GWLP_WNDPROC));
    InvalidateRect(control, NULL, TRUE);
    UpdateWindow(control);
    EXPECT_TRUE(MainDialogProc(MainDialog, WM_PALETTECHANGED, (WPARAM)GetDesktopWindow(), 0));
    EXPECT_FALSE(MainDialogProc(MainDialog, WM_QUERYNEWPALETTE, 0, 0));
    UpdateWindow(control);
    EXPECT_TRUE(Realised.empty());
}

TEST_F(Artwork, PaletteChangeOfOurOwnIsIgnoredAndAnyOtherRealisesInTheControl)
{
    HWND previews = OpenPreviewsModeless();
    HWND control = GetDlgItem(previews, IDC_PREVIEW_ART);
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    PreviewArtPanel.RealizePending = 0;  // set when the new dialog activated
    EXPECT_TRUE(PreviewsDialogProc(previews, WM_PALETTECHANGED, (WPARAM)previews, 0));
    EXPECT_TRUE(PreviewsDialogProc(previews, WM_PALETTECHANGED, (WPARAM)control, 0));
    EXPECT_TRUE(Realised.empty());
    EXPECT_TRUE(PreviewsDialogProc(previews, WM_PALETTECHANGED, (WPARAM)other, 0));
    ASSERT_EQ(1u, Realised.size());
    EXPECT_EQ(control, Realised[0].window);
    EXPECT_EQ(PreviewArtPanel.Palette, Realised[0].palette);
    EXPECT_EQ(0, PreviewArtPanel.RealizePending);  // realised at once, not at the next paint

    // The main panel answers its own dialog's messages the same way.
    InitArtPanel(&MainArtPanel, MainDialog);
    Realised.clear();
    MainDialogProc(MainDialog, WM_PALETTECHANGED, (WPARAM)MainDialog, 0);
    MainDialogProc(MainDialog, WM_PALETTECHANGED, (WPARAM)GetDlgItem(MainDialog, IDC_MAIN_ART), 0);
    EXPECT_TRUE(Realised.empty());
    MainDialogProc(MainDialog, WM_PALETTECHANGED, (WPARAM)previews, 0);
    ASSERT_EQ(1u, Realised.size());
    EXPECT_EQ(GetDlgItem(MainDialog, IDC_MAIN_ART), Realised[0].window);
    EXPECT_EQ(MainArtPanel.Palette, Realised[0].palette);
    DestroyWindow(other);
    DestroyWindow(previews);
}

TEST_F(Artwork, RegainingTheFocusRealisesThePaletteAtTheNextPaintOnly)
{
    HWND previews = OpenPreviewsModeless();
    ShowWindow(previews, SW_SHOW);
    HWND control = GetDlgItem(previews, IDC_PREVIEW_ART);
    UpdateWindow(previews);
    Realised.clear();
    EXPECT_FALSE(PreviewsDialogProc(previews, WM_QUERYNEWPALETTE, 0, 0));
    EXPECT_EQ(1, PreviewArtPanel.RealizePending);
    EXPECT_TRUE(Realised.empty());
    // The whole dialog was invalidated, the panel with it.
    RECT update;
    EXPECT_TRUE(GetUpdateRect(control, &update, FALSE));
    UpdateWindow(previews);
    ASSERT_EQ(1u, Realised.size());
    EXPECT_EQ(control, Realised[0].window);
    EXPECT_EQ(PreviewArtPanel.Palette, Realised[0].palette);
    EXPECT_EQ(0, PreviewArtPanel.RealizePending);
    InvalidateRect(control, NULL, TRUE);
    UpdateWindow(control);
    EXPECT_EQ(1u, Realised.size());  // an ordinary repaint does not realise again
    DestroyWindow(previews);
}

// Every opening makes its own palette; closing the dialog deletes it, so a
// hundred openings leave no palette behind.
TEST_F(Artwork, PreviewsPaletteIsReleasedAtEveryClosing)
{
    const int openings = 100;
    std::vector<HPALETTE> palettes;
    int deadWhileOpen = 0;
    ScriptedUi ui;
    for (int i = 0; i < openings; i++)
        ui.ExpectDialog("Tessarine Previews", [&](HWND) {
            palettes.push_back(PreviewArtPanel.Palette);
            if (GetObjectType(PreviewArtPanel.Palette) != OBJ_PAL)
                deadWhileOpen++;
        }, IDCANCEL);
    for (int i = 0; i < openings; i++)
        DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_PREVIEWS), MainDialog, PreviewsDialogProc, 0);
    ui.Verify();
    ASSERT_EQ((size_t)openings, palettes.size());
    EXPECT_EQ(0, deadWhileOpen);
    int alive = 0;
    for (HPALETTE palette : palettes)
        if (GetObjectType(palette) != 0)
            alive++;
    EXPECT_EQ(0, alive);
    EXPECT_TRUE(PreviewArtPanel.Palette == NULL);
    EXPECT_TRUE(PreviewArtPanel.Control == NULL);
}

TEST_F(Artwork, MainPaletteIsReleasedWithTheMainDialog)
{
    InitArtPanel(&MainArtPanel, MainDialog);
    HPALETTE palette = MainArtPanel.Palette;
    ASSERT_EQ(OBJ_PAL, (int)GetObjectType(palette));
    // A second setup on the same dialog replaces the first palette.
    InitArtPanel(&MainArtPanel, MainDialog);
    EXPECT_EQ(0u, GetObjectType(palette));
    palette = MainArtPanel.Palette;
    DestroyPanelForTest();
    EXPECT_EQ(0u, GetObjectType(palette));
    EXPECT_TRUE(MainArtPanel.Control == NULL);
}

}  // namespace
