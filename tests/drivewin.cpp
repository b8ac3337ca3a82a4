// drivewin: drives top-level windows from outside, for the scripts.
//   drivewin wait CAPTION SECONDS       waits until a visible window with that caption exists
//   drivewin quit CAPTION SECONDS       presses its Cancel (Quit) button and waits until it is gone
//   drivewin press CAPTION ID SECONDS   sends the window the command of its button ID, as a click does
//   drivewin answer CAPTION ID SECONDS  presses button ID of a box or dialog and waits until it closed
//   drivewin click CAPTION ID SECONDS   clicks the window's control ID (a radio button or check box)
//   drivewin pause CAPTION DIR COUNT SECONDS
//                                       once directory DIR holds COUNT entries (a copy part-way),
//                                       suspends the window's thread and prints the thread's id
//   drivewin resume THREAD              lets a paused thread go on
//   drivewin close CAPTION SECONDS      closes the window (WM_CLOSE), as its close box does
//   drivewin type CAPTION ID TEXT SECONDS
//                                       puts TEXT into the window's control ID (an edit box)
// A last argument names the desktop the windows live on (a Wine virtual
// desktop started with "explorer /desktop=NAME").
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static DWORD Deadline;

static bool TimedOut()
{
    return (int)(GetTickCount() - Deadline) > 0;
}

static HWND FindVisibleWindow(const char *caption)
{
    HWND window = FindWindowA(NULL, caption);
    return window != NULL && IsWindowVisible(window) ? window : NULL;
}

static HWND WaitForWindow(const char *caption)
{
    HWND window;
    while ((window = FindVisibleWindow(caption)) == NULL) {
        if (TimedOut()) {
            fprintf(stderr, "drivewin: no window \"%s\"\n", caption);
            return NULL;
        }
        Sleep(100);
    }
    return window;
}

static bool UseDesktop(const char *name)
{
    // The desktop appears a moment after its explorer starts.
    HDESK desktop;
    while ((desktop = OpenDesktopA(name, 0, FALSE, GENERIC_ALL)) == NULL) {
        if (TimedOut()) {
            fprintf(stderr, "drivewin: no desktop %s (%lu)\n", name, GetLastError());
            return false;
        }
        Sleep(200);
    }
    if (!SetThreadDesktop(desktop)) {
        fprintf(stderr, "drivewin: cannot use desktop %s (%lu)\n", name, GetLastError());
        return false;
    }
    return true;
}

// Counted on the disk, not asked of the window: a copy answers messages only
// now and then.
static int CountEntries(const char *directory)
{
    char pattern[MAX_PATH];
    if (snprintf(pattern, sizeof pattern, "%s\\*", directory) >= (int)sizeof pattern)
        return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do
        count++;
    while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

static int PauseWhenCopied(HWND window, const char *directory, int count)
{
    while (CountEntries(directory) < count) {
        if (TimedOut()) {
            fprintf(stderr, "drivewin: %s never held %d entries\n", directory, count);
            return 1;
        }
        Sleep(2);
    }
    DWORD threadId = GetWindowThreadProcessId(window, NULL);
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, threadId);
    if (thread == NULL || SuspendThread(thread) == (DWORD)-1) {
        fprintf(stderr, "drivewin: cannot suspend thread %lu (%lu)\n", threadId, GetLastError());
        return 1;
    }
    CloseHandle(thread);
    printf("%lu\n", threadId);
    return 0;
}

static int Resume(DWORD threadId)
{
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, threadId);
    if (thread == NULL || ResumeThread(thread) == (DWORD)-1) {
        fprintf(stderr, "drivewin: cannot resume thread %lu (%lu)\n", threadId, GetLastError());
        return 1;
    }
    CloseHandle(thread);
    return 0;
}

static int WaitUntilGone(HWND window)
{
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (TimedOut())
            return 1;
        Sleep(100);
    }
    return 0;
}

static int RunCommand(const char *command, const char *caption, char **rest)
{
    int id = atoi(rest[0]);
    HWND window = WaitForWindow(caption);
    if (window == NULL)
        return 1;
    if (strcmp(command, "wait") == 0)
        return 0;
    if (strcmp(command, "quit") == 0) {
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return WaitUntilGone(window);
    }
    if (strcmp(command, "close") == 0) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return WaitUntilGone(window);
    }
    if (strcmp(command, "press") == 0 || strcmp(command, "answer") == 0) {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(window, id));
        // The same window, not the caption: a box may be followed by another of that caption.
        return strcmp(command, "answer") == 0 ? WaitUntilGone(window) : 0;
    }
    if (strcmp(command, "click") == 0) {
        HWND control = GetDlgItem(window, id);
        return control != NULL && PostMessageA(control, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (strcmp(command, "type") == 0) {
        DWORD_PTR result;
        HWND control = GetDlgItem(window, id);
        return control != NULL && SendMessageTimeoutA(control, WM_SETTEXT, 0, (LPARAM)rest[1], SMTO_ABORTIFHUNG,
                                                      5000, &result) && result ? 0 : 1;
    }
    if (strcmp(command, "pause") == 0)
        return PauseWhenCopied(window, rest[0], atoi(rest[1]));
    fprintf(stderr, "drivewin: unknown command %s\n", command);
    return 2;
}

int main(int argc, char **argv)
{
    if (argc >= 3 && strcmp(argv[1], "resume") == 0)
        return Resume((DWORD)strtoul(argv[2], NULL, 10));
    int extra = 0;  // arguments between the caption and the seconds
    if (argc >= 2 && (strcmp(argv[1], "press") == 0 || strcmp(argv[1], "click") == 0 ||
                      strcmp(argv[1], "answer") == 0))
        extra = 1;
    else if (argc >= 2 && (strcmp(argv[1], "pause") == 0 || strcmp(argv[1], "type") == 0))
        extra = 2;
    int fixed = 4 + extra;
    if (argc != fixed && argc != fixed + 1) {
        fprintf(stderr, "usage: drivewin wait|quit|close CAPTION SECONDS [DESKTOP]\n"
                        "       drivewin press|answer|click CAPTION ID SECONDS [DESKTOP]\n"
                        "       drivewin pause CAPTION DIR COUNT SECONDS [DESKTOP]\n"
                        "       drivewin type CAPTION ID TEXT SECONDS [DESKTOP]\n"
                        "       drivewin resume THREAD\n");
        return 2;
    }
    Deadline = GetTickCount() + (DWORD)atoi(argv[fixed - 1]) * 1000;
    if (argc == fixed + 1 && !UseDesktop(argv[fixed]))
        return 1;
    return RunCommand(argv[1], argv[2], argv + 3);
}
