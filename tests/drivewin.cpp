// drivewin: drives a top-level window from outside, for the scripts.
//   drivewin wait CAPTION SECONDS   waits until a visible window with that caption exists
//   drivewin quit CAPTION SECONDS   presses its Cancel (Quit) button and waits until it is gone
// A fourth argument names the desktop the window lives on (a Wine virtual
// desktop started with "explorer /desktop=NAME").
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HWND FindVisibleWindow(const char *caption)
{
    HWND window = FindWindowA(NULL, caption);
    return window != NULL && IsWindowVisible(window) ? window : NULL;
}

int main(int argc, char **argv)
{
    if (argc != 4 && argc != 5) {
        fprintf(stderr, "usage: drivewin wait|quit CAPTION SECONDS [DESKTOP]\n");
        return 2;
    }
    DWORD deadline = GetTickCount() + (DWORD)atoi(argv[3]) * 1000;
    if (argc == 5) {
        // The desktop appears a moment after its explorer starts.
        HDESK desktop;
        while ((desktop = OpenDesktopA(argv[4], 0, FALSE, GENERIC_ALL)) == NULL) {
            if ((int)(GetTickCount() - deadline) > 0) {
                fprintf(stderr, "drivewin: no desktop %s (%lu)\n", argv[4], GetLastError());
                return 1;
            }
            Sleep(200);
        }
        if (!SetThreadDesktop(desktop)) {
            fprintf(stderr, "drivewin: cannot use desktop %s (%lu)\n", argv[4], GetLastError());
            return 1;
        }
    }
    const char *caption = argv[2];
    if (strcmp(argv[1], "wait") == 0) {
        while (FindVisibleWindow(caption) == NULL) {
            if ((int)(GetTickCount() - deadline) > 0)
                return 1;
            Sleep(200);
        }
        return 0;
    }
    if (strcmp(argv[1], "quit") == 0) {
        HWND window = FindWindowA(NULL, caption);
        if (window == NULL)
            return 1;
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        while (IsWindow(window)) {
            if ((int)(GetTickCount() - deadline) > 0)
                return 1;
            Sleep(200);
        }
        return 0;
    }
    fprintf(stderr, "drivewin: unknown command %s\n", argv[1]);
    return 2;
}
