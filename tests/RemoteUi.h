// Driving another process's windows from outside, for the black-box runs:
// start the real program, find its windows, read them, press their buttons.
#ifndef DSAGA_REMOTE_UI_H
#define DSAGA_REMOTE_UI_H

#include <windows.h>

#include <string>
#include <vector>

#include "WindowText.h"

// A top-level window of the process with exactly this caption, or null once
// `timeoutMs` has passed. With `visibleOnly` false hidden windows count too.
HWND WaitForTopWindow(DWORD processId, const std::string &caption, DWORD timeoutMs, bool visibleOnly = true);
// The same, of any process: for a program that a program we started started.
HWND WaitForAnyTopWindow(const std::string &caption, DWORD timeoutMs);
// Presses the Quit (Cancel) button of a window of another process and waits
// for that process to end; false when it could not be watched or did not end.
bool QuitAndWaitForExit(HWND window, DWORD timeoutMs);
// Captions of the process's top-level windows (hidden ones marked), for
// failure messages.
std::vector<std::string> TopWindowCaptions(DWORD processId);

bool IsItemEnabled(HWND dlg, int id);
bool IsItemVisible(HWND dlg, int id);
// Posts the button's BN_CLICKED, as a click does.
void PressButton(HWND dlg, int id);

// A started program. Its processes live in a job so that cleanup also ends
// whatever it started; destruction cleans up.
struct ChildRun {
    PROCESS_INFORMATION pi = {};
    HANDLE job = nullptr;
    DWORD startError = 0;   // GetLastError of a failed start
    bool Started() const { return pi.hProcess != nullptr; }

    ChildRun() = default;
    ChildRun(ChildRun &&other) noexcept;
    ChildRun &operator=(ChildRun &&other) noexcept;
    ChildRun(const ChildRun &) = delete;
    ChildRun &operator=(const ChildRun &) = delete;
    ~ChildRun();
};

// Runs `exePath` with `arguments` appended to its quoted name, in
// `workingDir` (empty: ours). Check Started().
ChildRun StartProgram(const std::string &exePath, const std::string &workingDir, const std::string &arguments);
// 0 with the exit code once the process ended, WAIT_TIMEOUT, or WAIT_FAILED.
DWORD WaitForExit(HANDLE process, DWORD timeoutMs, DWORD *exitCode);
// Ends the program and everything it started if still running, and closes
// the handles; safe to call twice.
void TerminateAndClose(ChildRun &run);

#endif
