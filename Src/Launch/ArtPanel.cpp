// The palette artwork panels of the main and previews dialogs: each draws
// its 8-bit picture through the picture's own palette, realised again
// whenever another window changes the system's.
#include "Launcher.h"

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
static void ReleaseArtPanel(ArtPanel *panel)
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
