// One game of the compilation, built three times with GAME_NUMBER 1, 2 or 3
// (sw1.exe, sw2.exe, sw3w.exe). It holds the guard object that keeps a
// second launcher from starting while it runs, reports its configuration
// file to the test log, and otherwise shows a small window until closed.
#include "CdProgram.h"

#include <stdio.h>
#include <string.h>

#ifndef GAME_NUMBER
#error "GAME_NUMBER must be 1, 2 or 3"
#endif

#if GAME_NUMBER == 1
static const char EXIT_NAME[] = "SW1";
static const char *const CONFIG_FILE = "starwdn.cfg";
#elif GAME_NUMBER == 2
static const char EXIT_NAME[] = "SW2";
static const char *const CONFIG_FILE = "sw2.cfg";
#elif GAME_NUMBER == 3
static const char EXIT_NAME[] = "SW3W";
static const char *const CONFIG_FILE = NULL;  // game 3 has no invulnerable mode
#else
#error "GAME_NUMBER must be 1, 2 or 3"
#endif

static const int IDC_CLOSE_GAME = 100;

// Games 1 and 2 announce themselves by a semaphore, game 3 by a mutex.
static HANDLE HoldGuardObject()
{
#if GAME_NUMBER == 3
    return CreateMutexA(NULL, FALSE, "Starwarden 3 Mutex");
#else
    char name[32];
    FormatText(name, sizeof name, "Starwarden %d", GAME_NUMBER);
    return CreateSemaphoreA(NULL, 0, 1, name);
#endif
}

// "|cfg=<hex>" of the configuration file in the working directory: "none"
// when it is absent, empty when the file is.
static std::string ConfigField()
{
    if (CONFIG_FILE == NULL)
        return "";
    HANDLE file = CreateFileA(CONFIG_FILE, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return "|cfg=none";
    std::string field = "|cfg=";
    unsigned char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, (DWORD)sizeof chunk, &got, NULL) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            char hex[3];
            FormatText(hex, sizeof hex, "%02x", chunk[i]);
            field += hex;
        }
    }
    CloseHandle(file);
    return field;
}

static LRESULT CALLBACK GameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CLOSE_GAME || LOWORD(wParam) == IDCANCEL) {
            DestroyWindow(window);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static void CreateGameControls(HWND window, HINSTANCE instance, const char *title)
{
    char text[128];
    FormatText(text, sizeof text, "%s is running.\nClose this window to return to the launcher.", title);
    HFONT font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    HWND label = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | SS_CENTER, 10, 16, 300,
                                 40, window, NULL, instance, NULL);
    HWND button = CreateWindowExA(0, "BUTTON", "Close", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                  120, 66, 80, 24, window, (HMENU)(INT_PTR)IDC_CLOSE_GAME, instance, NULL);
    SendMessageA(label, WM_SETFONT, (WPARAM)font, FALSE);
    SendMessageA(button, WM_SETFONT, (WPARAM)font, FALSE);
    SetFocus(button);
}

static int ShowGameWindow(HINSTANCE instance)
{
    char title[32];
    FormatText(title, sizeof title, "Starwarden %d", GAME_NUMBER);
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = GameWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "StarwardenGameWindow";
    if (!RegisterClassA(&windowClass))
        return 1;

    RECT frame = {0, 0, 320, 100};
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    AdjustWindowRect(&frame, style, FALSE);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, title, style,
                                  (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, NULL, NULL,
                                  instance, NULL);
    if (window == NULL)
        return 1;
    CreateGameControls(window, instance, title);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    FailCriticalErrorsQuietly();
    HANDLE guard = HoldGuardObject();
    RecordRun(ConfigField());
    int code = InTestMode() ? 0 : ShowGameWindow(instance);
    code = FinishRun(EXIT_NAME, code);
    if (guard != NULL)
        CloseHandle(guard);
    return code;
}
