// The disc's movie player: "rezmovie <movie file> [-low]". Plays one movie
// of the format in MovieFormat.h, found in the working directory, in a
// window that closes itself at the end; Escape or a click ends it early.
// " -low" plays every other frame at half the window size, for slow machines.
#include "CdProgram.h"
#include "MovieFormat.h"

#include <string.h>
#include <vector>

static const char CAPTION[] = "Movie Player";
static const UINT_PTR FRAME_TIMER = 1;

struct Movie {
    std::vector<unsigned char> bytes;
    unsigned width;
    unsigned height;
    unsigned frameCount;
    unsigned frameRate;
    char title[MOVIE_TITLE_SIZE];
    std::vector<unsigned char> bitmapInfo;  // BITMAPINFOHEADER + 256 RGBQUADs
};

static Movie TheMovie;
static unsigned CurrentFrame;
static unsigned FrameStep = 1;

static unsigned ReadWord(const unsigned char *at)
{
    return (unsigned)at[0] | ((unsigned)at[1] << 8);
}

static int ReadWholeFile(const char *name, std::vector<unsigned char> &bytes)
{
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD size = GetFileSize(file, NULL);
    int ok = size != INVALID_FILE_SIZE;
    if (ok) {
        bytes.resize(size);
        DWORD got = 0;
        ok = size == 0 || (ReadFile(file, bytes.data(), size, &got, NULL) && got == size);
    }
    CloseHandle(file);
    return ok;
}

// 1 when the bytes hold a whole, sane movie; fills the header fields.
static int ParseMovie(Movie &movie)
{
    const unsigned char *data = movie.bytes.data();
    if (movie.bytes.size() < MOVIE_HEADER_SIZE || memcmp(data, "DSMV", 4) != 0)
        return 0;
    movie.width = ReadWord(data + 4);
    movie.height = ReadWord(data + 6);
    movie.frameCount = ReadWord(data + 8);
    movie.frameRate = ReadWord(data + 10);
    // DIB rows are whole 32-bit words, so the width must be a multiple of 4.
    if (movie.width == 0 || movie.width > MOVIE_MAX_WIDTH || movie.width % 4 != 0 || movie.height == 0 ||
        movie.height > MOVIE_MAX_HEIGHT || movie.frameCount == 0 || movie.frameCount > MOVIE_MAX_FRAMES ||
        movie.frameRate == 0 || movie.frameRate > MOVIE_MAX_RATE)
        return 0;
    size_t frameBytes = (size_t)movie.width * movie.height;
    if (movie.bytes.size() != MOVIE_HEADER_SIZE + frameBytes * movie.frameCount)
        return 0;
    memcpy(movie.title, data + MOVIE_TITLE_OFFSET, MOVIE_TITLE_SIZE);
    movie.title[MOVIE_TITLE_SIZE - 1] = '\0';

    movie.bitmapInfo.assign(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    BITMAPINFO *info = (BITMAPINFO *)movie.bitmapInfo.data();
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = (LONG)movie.width;
    info->bmiHeader.biHeight = -(LONG)movie.height;  // rows top to bottom
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 8;
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biClrUsed = 256;
    const unsigned char *palette = data + MOVIE_PALETTE_OFFSET;
    for (int i = 0; i < 256; ++i) {
        info->bmiColors[i].rgbRed = palette[3 * i];
        info->bmiColors[i].rgbGreen = palette[3 * i + 1];
        info->bmiColors[i].rgbBlue = palette[3 * i + 2];
    }
    return 1;
}

static void PaintFrame(HWND window)
{
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    // Drawn off screen first so the title does not flicker over the frame.
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ oldBitmap = SelectObject(memory, canvas);

    unsigned frame = CurrentFrame < TheMovie.frameCount ? CurrentFrame : TheMovie.frameCount - 1;
    const unsigned char *pixels =
        TheMovie.bytes.data() + MOVIE_HEADER_SIZE + (size_t)frame * TheMovie.width * TheMovie.height;
    SetStretchBltMode(memory, COLORONCOLOR);
    StretchDIBits(memory, 0, 0, client.right, client.bottom, 0, 0, (int)TheMovie.width,
                  (int)TheMovie.height, pixels, (const BITMAPINFO *)TheMovie.bitmapInfo.data(),
                  DIB_RGB_COLORS, SRCCOPY);

    HFONT font = CreateFontA(-(client.bottom / 10), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, "Arial");
    HGDIOBJ oldFont = SelectObject(memory, font);
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, RGB(255, 220, 64));
    RECT band = {0, client.bottom * 3 / 4, client.right, client.bottom};
    DrawTextA(memory, TheMovie.title, -1, &band, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(memory, oldFont);
    DeleteObject(font);

    BitBlt(screen, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldBitmap);
    DeleteObject(canvas);
    DeleteDC(memory);
    EndPaint(window, &paint);
}

static LRESULT CALLBACK MovieWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        CurrentFrame += FrameStep;
        if (CurrentFrame >= TheMovie.frameCount) {
            KillTimer(window, FRAME_TIMER);
            DestroyWindow(window);
        } else {
            InvalidateRect(window, NULL, FALSE);
        }
        return 0;
    case WM_PAINT:
        PaintFrame(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // every frame covers the whole client area
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
            DestroyWindow(window);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static int PlayMovie(HINSTANCE instance, int low)
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = MovieWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    windowClass.lpszClassName = "DraxmoorMovieWindow";
    if (!RegisterClassA(&windowClass))
        return 1;

    // Three times the movie's size, or half that for " -low", within the screen.
    int width = (int)TheMovie.width * (low ? 3 : 6) / 2;
    int height = (int)TheMovie.height * (low ? 3 : 6) / 2;
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (screenWidth > 0 && width > screenWidth) {
        height = height * screenWidth / width;
        width = screenWidth;
    }
    if (screenHeight > 0 && height > screenHeight) {
        width = width * screenHeight / height;
        height = screenHeight;
    }
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame = {0, 0, width, height};
    AdjustWindowRect(&frame, style, FALSE);
    int outerWidth = frame.right - frame.left;
    int outerHeight = frame.bottom - frame.top;
    const char *title = TheMovie.title[0] != '\0' ? TheMovie.title : CAPTION;
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, title, style,
                                  (screenWidth - outerWidth) / 2, (screenHeight - outerHeight) / 2,
                                  outerWidth, outerHeight, NULL, NULL, instance, NULL);
    if (window == NULL)
        return 1;
    FrameStep = low ? 2 : 1;
    CurrentFrame = 0;
    SetTimer(window, FRAME_TIMER, 1000 * FrameStep / TheMovie.frameRate, NULL);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetForegroundWindow(window);

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

// Splits "<movie> [-low]" into the file name and the option.
static void ParseArguments(char *tail, int *low)
{
    *low = 0;
    size_t length = strlen(tail);
    if (length >= 4 && lstrcmpiA(tail + length - 4, "-low") == 0 &&
        (length == 4 || tail[length - 5] == ' ' || tail[length - 5] == '\t')) {
        *low = 1;
        length -= 4;
        while (length > 0 && (tail[length - 1] == ' ' || tail[length - 1] == '\t'))
            --length;
        tail[length] = '\0';
    }
    if (length >= 2 && tail[0] == '"' && tail[length - 1] == '"') {
        memmove(tail, tail + 1, length - 2);
        tail[length - 2] = '\0';
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    FailCriticalErrorsQuietly();
    RecordRun("");

    char name[CD_PATH_BUFFER];
    int low = 0;
    if (!GetCommandTail(name, sizeof name))
        name[0] = '\0';
    ParseArguments(name, &low);

    int code = 1;
    char message[2 * CD_PATH_BUFFER];
    if (InTestMode()) {
        code = 0;  // the run is recorded; nobody is there to watch
    } else if (name[0] == '\0') {
        ShowProgramMessage("Usage: rezmovie <movie file> [-low]", CAPTION, MB_OK | MB_ICONEXCLAMATION);
    } else if (!ReadWholeFile(name, TheMovie.bytes)) {
        FormatText(message, sizeof message, "The movie file \"%s\" could not be found or read.", name);
        ShowProgramMessage(message, CAPTION, MB_OK | MB_ICONERROR);
    } else if (!ParseMovie(TheMovie)) {
        FormatText(message, sizeof message, "The file \"%s\" is not a movie this player can show.", name);
        ShowProgramMessage(message, CAPTION, MB_OK | MB_ICONERROR);
    } else {
        code = PlayMovie(instance, low);
    }
    return FinishRun("REZMOVIE", code);
}
