// drivewin: drives a top-level window from outside, for the scripts.
//   drivewin wait CAPTION SECONDS   waits until a visible window with that caption exists
//   drivewin quit CAPTION SECONDS   presses its Cancel (Quit) button and waits until it is gone
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
    if (argc != 4) {
        fprintf(stderr, "usage: drivewin wait|quit CAPTION SECONDS\n");
        return 2;
    }
    DWORD deadline = GetTickCount() + (DWORD)atoi(argv[3]) * 1000;
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
