// Scripted answers to the message boxes and dialogs that the code under test
// shows modally on the test's own thread.
//
//   ScriptedUi ui;
//   ui.ExpectBox("Do you wish to install to:", "C:\\Program Files\\Draxmoor Saga\\", IDNO)
//     .WithStyle(MB_YESNOCANCEL | MB_ICONQUESTION)
//     .ExpectDialog("Change the Install Directory",
//                   [](HWND dlg) { SetEditText(dlg, IDC_DIR_EDIT, "C:\\Games"); }, IDOK)
//     .ExpectBox("The path you typed in does NOT exist.  Create it?", "C:\\Games\\", IDYES);
//   RunTheCode();
//   ui.Verify();
//
// Every dialog-class window ("#32770") that activates on the thread is held
// against the next expectation. A mismatch or a window nobody expected is a
// test failure naming what was seen and what was expected, and the window is
// dismissed so the test goes on. A watchdog thread dismisses any scripted
// window still open after a timeout, so a test never hangs.
#ifndef DSAGA_UI_DRIVER_H
#define DSAGA_UI_DRIVER_H

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

class ScriptedUi {
public:
    // Hooks the current thread; one driver per thread at a time.
    ScriptedUi();
    // Unhooks, stops the watchdog and, unless Verify() ran, reports what was
    // left unmet.
    ~ScriptedUi();
    ScriptedUi(const ScriptedUi &) = delete;
    ScriptedUi &operator=(const ScriptedUi &) = delete;

    // A message box with exactly this caption and text; `button` is pressed.
    ScriptedUi &ExpectBox(const std::string &caption, const std::string &text, int button);
    // Refines the last ExpectBox: the box has exactly the buttons of this
    // MB_ type (MB_OK, MB_YESNO, ...; MB_HELP adds the Help button) and the
    // icon of its MB_ICON* part (none when the style names none).
    ScriptedUi &WithStyle(UINT mbType);
    // A dialog by caption; `act` runs once the dialog is initialised and
    // showing, then `button` is sent as WM_COMMAND (0: `act` ends it itself).
    ScriptedUi &ExpectDialog(const std::string &caption, std::function<void(HWND)> act, int button);
    // Windows with this caption are left alone, by the watchdog too (a dialog
    // the test made itself); a box with it would wait for the test to answer.
    ScriptedUi &Ignore(const std::string &caption);
    // How long a scripted window may stay open before the watchdog dismisses
    // it (default 15 s).
    ScriptedUi &SetWatchdogTimeout(DWORD ms);

    // Reports every expectation not met and every watchdog dismissal.
    void Verify();
    // "caption|text" of every box and dialog seen, in order ("text" is the
    // message of a box, the longest static text of a dialog).
    const std::vector<std::string> &Seen() const;

    // Internal: called from the hook, the timer and the watchdog.
    void OnWindowCreated(HWND hwnd);
    void OnWindowDestroyed(HWND hwnd);
    void ProcessPending();
    void Watch();

private:
    struct Expectation {
        bool isBox;
        std::string caption;
        std::string text;                 // boxes only
        int button;                       // 0: nothing to press
        bool checkStyle;
        UINT mbType;
        std::function<void(HWND)> act;    // dialogs only
    };

    void Arm(UINT delayMs);
    void Handle(HWND hwnd);
    void RecordSeen(const std::string &entry);
    bool IsIgnored(const std::string &caption) const;
    std::string DescribeNext() const;
    void ReportWatchdogFailures();

    HHOOK hook_ = nullptr;
    DWORD threadId_ = 0;
    UINT_PTR timer_ = 0;
    std::vector<Expectation> script_;
    size_t next_ = 0;
    std::vector<std::string> ignored_;
    std::vector<HWND> pending_;           // created, not yet held against the script
    std::vector<int> pendingTries_;
    std::set<HWND> handled_;
    std::vector<std::string> seen_;
    bool verified_ = false;

    // Shared with the watchdog thread under `lock_`.
    mutable CRITICAL_SECTION lock_;
    std::set<HWND> before_;               // windows that existed before the driver
    std::vector<std::string> watchdogFailures_;
    DWORD watchdogMs_ = 15000;
    HANDLE stopEvent_ = nullptr;
    HANDLE watchdog_ = nullptr;
    struct OpenWindow {
        HWND hwnd;
        DWORD since;      // tick count when first seen open and enabled
        int attempts;     // dismissals posted so far
    };
    std::vector<OpenWindow> open_;
};

// Action helpers for ExpectDialog.
void SetEditText(HWND dlg, int id, const char *text);
void SetCheck(HWND dlg, int id, bool checked);
// Selects the entry with exactly this text of a single-selection list box
// and notifies the dialog as a click would; false when there is no such entry.
bool SelectListText(HWND dlg, int id, const char *text);
// Double-clicks the entry with the mouse; false when there is no such entry.
bool DoubleClickListText(HWND dlg, int id, const char *text);
// Whether the list box holds an entry of exactly this text; selects nothing.
bool ListHasText(HWND dlg, int id, const char *text);

// Input as a user gives it, posted to the window as the system would post
// it: a key goes down and up on the control that has the focus (a test
// failure when none has); a click is a button-down and button-up pair at
// the middle of a control; a double click the four messages of one.
void PressKeyOnFocus(UINT key);
void ClickItem(HWND dlg, int id);
void DoubleClickItem(HWND dlg, int id);
// A double tap with a finger at the middle of a control, as Windows 8 and
// later post it: pointer messages, then WM_TOUCH and WM_GESTURE.
void DoubleTapItem(HWND dlg, int id);
// Whether a message is touch or pen input (WM_TOUCH, the pointer messages
// up to 0x0251, WM_GESTURE).
bool IsTouchInput(UINT message);
// The id of the control that has the focus, 0 when none of `dlg` has.
int FocusedItem(HWND dlg);
// Runs each step on `dlg` once the one before and the input it gave have
// been handled: at an idle moment of the modal loops, while `dlg` is
// enabled and visible (so never while a box of its own is open).
typedef std::function<void(HWND)> DialogStep;
void StepThrough(HWND dlg, std::vector<DialogStep> steps);

#endif
