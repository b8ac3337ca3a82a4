// Fitting dialog texts to their controls: a control whose text does not fit
// in the dialog font gets a narrower face, or a size of the same face at most
// a tenth smaller, in which it does.
#include "Launcher.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

// The smaller fonts given to controls: made once, shared by every dialog.
enum { FITTED_FONT_SLOTS = 32 };
struct FittedFont {
    LOGFONTA Shape;
    HFONT Font;
};
static FittedFont FittedFonts[FITTED_FONT_SLOTS];

void ReleaseFittedFonts(void)
{
    for (FittedFont &slot : FittedFonts) {
        if (slot.Font != NULL)
            DeleteObject(slot.Font);
        memset(&slot, 0, sizeof slot);
    }
}

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

// A white surface to draw texts on, shared by every control of a dialog and
// grown when a control needs more: making one per text cost more than the
// drawing itself.
struct InkSurface {
    HDC Memory;
    HBITMAP Bitmap;
    HGDIOBJ OldBitmap;
    const DWORD *Bits;
    LONG Width, Height;
};

static void ReleaseInkSurface(InkSurface *surface)
{
    if (surface->Bitmap != NULL) {
        SelectObject(surface->Memory, surface->OldBitmap);
        DeleteObject(surface->Bitmap);
    }
    if (surface->Memory != NULL)
        DeleteDC(surface->Memory);
    memset(surface, 0, sizeof *surface);
}

// 0 when no surface of that size can be had.
static int GrowInkSurface(InkSurface *surface, HDC dc, LONG width, LONG height)
{
    if (surface->Bitmap != NULL && width <= surface->Width && height <= surface->Height)
        return 1;
    if (surface->Memory == NULL && (surface->Memory = CreateCompatibleDC(dc)) == NULL)
        return 0;
    width = width > surface->Width ? width : surface->Width;
    height = height > surface->Height ? height : surface->Height;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: row y starts at y * width
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(surface->Memory, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (bitmap == NULL)
        return 0;
    HGDIOBJ old = SelectObject(surface->Memory, bitmap);
    if (surface->Bitmap != NULL)
        DeleteObject(surface->Bitmap);
    else
        surface->OldBitmap = old;
    surface->Bitmap = bitmap;
    surface->Bits = (const DWORD *)bits;
    surface->Width = width;
    surface->Height = height;
    return 1;
}

// Draws the text as the control wraps it, unclipped, on white twice the
// area's size, and tells whether any ink falls outside the area. Some fonts'
// small sizes (embedded bitmaps) draw wider than their metrics say, so the
// metrics alone can pass a text that is cut off on the screen.
static int InkStaysInside(InkSurface *surface, HDC dc, HFONT font, const char *text, const TextLayout &layout,
                          LONG width, LONG height)
{
    if (!GrowInkSurface(surface, dc, 2 * width, 2 * height))
        return 1;  // without a surface to draw on, the metrics decide
    HDC memory = surface->Memory;
    HGDIOBJ oldFont = SelectObject(memory, font);
    PatBlt(memory, 0, 0, 2 * width, 2 * height, WHITENESS);
    RECT area = {0, 0, width, height};
    DrawTextA(memory, text, -1, &area, (layout.Format & ~(DT_CENTER | DT_RIGHT)) | DT_NOCLIP);
    SelectObject(memory, oldFont);
    GdiFlush();
    for (LONG y = 0; y < 2 * height; y++) {
        const DWORD *row = surface->Bits + y * surface->Width;
        for (LONG x = y < height ? width : 0; x < 2 * width; x++)
            if ((row[x] & 0xFFFFFF) != 0xFFFFFF)
                return 0;
    }
    return 1;
}

// The size the text takes in the font by its metrics, wrapped as the control wraps it.
static SIZE MeasureText(HDC dc, HFONT font, const char *text, const TextLayout &layout)
{
    RECT needed = {0, 0, layout.Area.right - layout.Area.left, 0};
    HGDIOBJ oldFont = SelectObject(dc, font);
    DrawTextA(dc, text, -1, &needed, layout.Format | DT_CALCRECT);
    SelectObject(dc, oldFont);
    return SIZE{needed.right, needed.bottom};
}

static int TextFits(InkSurface *surface, HDC dc, HFONT font, const char *text, const TextLayout &layout)
{
    LONG width = layout.Area.right - layout.Area.left, height = layout.Area.bottom - layout.Area.top;
    if (width <= 0 || height <= 0)
        return 0;
    SIZE needed = MeasureText(dc, font, text, layout);
    return needed.cx <= width && needed.cy <= height && InkStaysInside(surface, dc, font, text, layout, width, height);
}

// Text grows about in step with its font's height, so the search can start
// just above the proportional guess instead of at the top: no height that
// fits is skipped, and every height tried costs the font's realisation.
// Wrapped text gains on both axes as it shrinks, hence the square root.
static LONG FirstHeightToTry(HDC dc, HFONT font, LONG height, const char *text, const TextLayout &layout)
{
    LONG width = layout.Area.right - layout.Area.left, room = layout.Area.bottom - layout.Area.top;
    SIZE needed = MeasureText(dc, font, text, layout);
    if (needed.cx <= 0 || needed.cy <= 0 || width <= 0 || room <= 0)
        return height;
    double scale = (layout.Format & DT_WORDBREAK) ? sqrt((double)width * room / ((double)needed.cx * needed.cy))
                                                  : (double)width / needed.cx;
    LONG guess = (LONG)(height * scale) + 1;
    return guess < height ? guess : height;
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

// The height of the font's characters as a reader sees them (without the
// room above them for accents), and whether the face scales: a bitmap face,
// as "MS Sans Serif" is on some systems, has no smaller sizes, and asked for
// one the system substitutes another bitmap font. Zero when it cannot be read.
static LONG CharacterHeight(HDC dc, HFONT font, int *scalable)
{
    TEXTMETRICA metrics;
    HGDIOBJ oldFont = SelectObject(dc, font);
    int measured = GetTextMetricsA(dc, &metrics);
    SelectObject(dc, oldFont);
    if (!measured)
        return 0;
    *scalable = (metrics.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE)) != 0;
    return metrics.tmHeight - metrics.tmInternalLeading;
}

// The dialog font's own face, when it is scalable, then a narrow scalable
// face, each at most a tenth below the dialog font's character height: any
// smaller reads as small print beside the other labels. A text that fits in
// none keeps the dialog font; the dialog's template must give it room.
static void FitControlText(HWND control, HDC dc, InkSurface *surface)
{
    static const char *const Faces[] = {NULL, "Tahoma"};
    char text[PATH_BUFFER];
    TextLayout layout;
    LOGFONTA base;
    int scalable = 0;
    HFONT font = (HFONT)SendMessageA(control, WM_GETFONT, 0, 0);
    if (GetWindowTextA(control, text, sizeof text) == 0 || font == NULL || !DescribeText(control, dc, &layout)
        || TextFits(surface, dc, font, text, layout) || GetObjectA(font, sizeof base, &base) == 0)
        return;
    LONG top = CharacterHeight(dc, font, &scalable);
    LONG lowest = (9 * top + 9) / 10;
    base.lfHeight = -top;  // character height, as the dialog font shows it
    for (const char *face : Faces) {
        if (face == NULL && !scalable)
            continue;
        HFONT measured = face == NULL ? font : FittedFontOf(base, top, face);
        if (measured == NULL)
            return;
        LONG height = FirstHeightToTry(dc, measured, top, text, layout);
        if (face == NULL && height == top)
            height--;  // the dialog font itself does not fit
        for (; height >= lowest && height > 0; height--) {
            HFONT candidate = FittedFontOf(base, height, face);
            if (candidate == NULL)
                return;
            if (TextFits(surface, dc, candidate, text, layout)) {
                SendMessageA(control, WM_SETFONT, (WPARAM)candidate, TRUE);
                return;
            }
        }
    }
}

void FitDialogTexts(HWND dialog)
{
    HDC dc = GetDC(dialog);
    if (dc == NULL)
        return;
    InkSurface surface = {};
    for (HWND control = GetWindow(dialog, GW_CHILD); control != NULL; control = GetWindow(control, GW_HWNDNEXT))
        FitControlText(control, dc, &surface);
    ReleaseInkSurface(&surface);
    ReleaseDC(dialog, dc);
}
