#include "UiDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <sstream>

#include "RemoteUi.h"

namespace {

// The hook procedure has no context of its own.
ScriptedUi *g_active = nullptr;

// A box is not yet shown when it activates; wait up to this many 10 ms
// ticks for it before acting on it anyway.
const int kMaxShowWaits = 100;
// Between two dismissal attempts of the watchdog.
const DWORD kRetryMs = 2000;
const DWORD kWatchPeriodMs = 200;

bool IsTopLevelDialog(HWND hwnd)
{
    char cls[16];
    if (GetClassNameA(hwnd, cls, sizeof cls) == 0 || lstrcmpA(cls, "#32770") != 0)
        return false;
    return (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD) == 0;
}

const char *ButtonName(int id)
{
    switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    case IDHELP: return "Help";
    case IDTRYAGAIN: return "Try Again";
    case IDCONTINUE: return "Continue";
    default: return "?";
    }
}

std::string DescribeButtons(const std::vector<int> &ids)
{
    std::ostringstream out;
    out << "{";
    for (size_t i = 0; i < ids.size(); ++i)
        out << (i ? ", " : "") << ButtonName(ids[i]) << " (" << ids[i] << ")";
    out << "}";
    return out.str();
}

std::vector<int> ButtonsOfStyle(UINT mbType)
{
    std::vector<int> ids;
    switch (mbType & MB_TYPEMASK) {
    case MB_OK: ids = {IDOK}; break;
    case MB_OKCANCEL: ids = {IDOK, IDCANCEL}; break;
    case MB_ABORTRETRYIGNORE: ids = {IDABORT, IDRETRY, IDIGNORE}; break;
    case MB_YESNOCANCEL: ids = {IDYES, IDNO, IDCANCEL}; break;
    case MB_YESNO: ids = {IDYES, IDNO}; break;
    case MB_RETRYCANCEL: ids = {IDRETRY, IDCANCEL}; break;
    case MB_CANCELTRYCONTINUE: ids = {IDCANCEL, IDTRYAGAIN, IDCONTINUE}; break;
    default: break;
    }
    if (mbType & MB_HELP)
        ids.push_back(IDHELP);
    std::sort(ids.begin(), ids.end());
    return ids;
}

const char *IconName(UINT icon)
{
    switch (icon) {
    case 0: return "no icon";
    case MB_ICONHAND: return "the stop icon";
    case MB_ICONQUESTION: return "the question icon";
    case MB_ICONEXCLAMATION: return "the exclamation icon";
    case MB_ICONASTERISK: return "the information icon";
    default: return "an unknown icon";
    }
}

BOOL CALLBACK FindShownIcon(HWND child, LPARAM param)
{
    LONG style = GetWindowLongA(child, GWL_STYLE);
    if ((style & WS_VISIBLE) && (style & SS_TYPEMASK) == SS_ICON) {
        HICON shown = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        if (shown != NULL) {
            *reinterpret_cast<HICON *>(param) = shown;
            return FALSE;
        }
    }
    return TRUE;
}

// The MB_ICON* value of the icon a box shows: the system's shared icons are
// one handle per process, so the box's icon is compared by handle.
UINT BoxIcon(HWND box)
{
    HICON shown = NULL;
    EnumChildWindows(box, FindShownIcon, reinterpret_cast<LPARAM>(&shown));
    if (shown == NULL)
        return 0;
    const struct { LPCSTR resource; UINT style; } icons[] = {
        {IDI_HAND, MB_ICONHAND}, {IDI_QUESTION, MB_ICONQUESTION},
        {IDI_EXCLAMATION, MB_ICONEXCLAMATION}, {IDI_ASTERISK, MB_ICONASTERISK},
    };
    for (const auto &icon : icons)
        if (LoadIconA(NULL, icon.resource) == shown)
            return icon.style;
    return MB_ICONMASK;
}

BOOL CALLBACK CollectPushButton(HWND child, LPARAM param)
{
    char cls[16];
    if (GetClassNameA(child, cls, sizeof cls) == 0 || lstrcmpiA(cls, "Button") != 0)
        return TRUE;
    LONG style = GetWindowLongA(child, GWL_STYLE);
    LONG type = style & BS_TYPEMASK;
    if ((style & WS_VISIBLE) && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON))
        reinterpret_cast<std::vector<int> *>(param)->push_back(GetDlgCtrlID(child));
    return TRUE;
}

// The shown push buttons, in id order (Wine and Windows create only the
// buttons of the box's style).
std::vector<int> PushButtons(HWND dlg)
{
    std::vector<int> ids;
    EnumChildWindows(dlg, CollectPushButton, reinterpret_cast<LPARAM>(&ids));
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool HasPushButton(HWND dlg, int id)
{
    std::vector<int> ids = PushButtons(dlg);
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// The least committal answer: Cancel, else No (a Yes/No box ignores
// Cancel), else OK, else whatever button there is; 0 when none.
int DismissingButton(HWND dlg)
{
    std::vector<int> ids = PushButtons(dlg);
    for (int preferred : {IDCANCEL, IDNO, IDOK})
        if (std::find(ids.begin(), ids.end(), preferred) != ids.end())
            return preferred;
    return ids.empty() ? 0 : ids.front();
}

// On the dialog's own thread.
void DismissHere(HWND dlg)
{
    int button = DismissingButton(dlg);
    if (button != 0)
        PressButton(dlg, button);
    else
        EndDialog(dlg, IDCANCEL);
}

std::string Quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0 && g_active != nullptr) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        // Both: activation is the documented moment, creation catches a
        // window that never activates (a hidden or disabled one).
        if ((code == HCBT_CREATEWND || code == HCBT_ACTIVATE) && IsTopLevelDialog(hwnd))
            g_active->OnWindowCreated(hwnd);
        else if (code == HCBT_DESTROYWND)
            g_active->OnWindowDestroyed(hwnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The modal loop of the box dispatches this once the box is initialised.
void CALLBACK OnPendingTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_active != nullptr)
        g_active->ProcessPending();
}

BOOL CALLBACK CollectThreadDialog(HWND hwnd, LPARAM param)
{
    if (IsTopLevelDialog(hwnd))
        reinterpret_cast<std::vector<HWND> *>(param)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> ThreadDialogs(DWORD threadId)
{
    std::vector<HWND> found;
    EnumThreadWindows(threadId, CollectThreadDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

DWORD WINAPI RunWatchdog(LPVOID param)
{
    ScriptedUi *ui = static_cast<ScriptedUi *>(param);
    ui->Watch();
    return 0;
}

struct Lock {
    explicit Lock(CRITICAL_SECTION &cs) : cs_(cs) { EnterCriticalSection(&cs_); }
    ~Lock() { LeaveCriticalSection(&cs_); }
    CRITICAL_SECTION &cs_;
};

}  // namespace

ScriptedUi::ScriptedUi()
{
    InitializeCriticalSection(&lock_);
    threadId_ = GetCurrentThreadId();
    EXPECT_EQ(nullptr, g_active) << "a ScriptedUi is already active on this thread";
    g_active = this;
    for (HWND hwnd : ThreadDialogs(threadId_))
        before_.insert(hwnd);
    hook_ = SetWindowsHookExA(WH_CBT, CbtHook, nullptr, threadId_);
    EXPECT_NE(nullptr, hook_) << "SetWindowsHookExA(WH_CBT) failed: " << GetLastError();
    stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    watchdog_ = CreateThread(nullptr, 0, RunWatchdog, this, 0, nullptr);
    EXPECT_NE(nullptr, watchdog_) << "watchdog thread not started: " << GetLastError();
}

ScriptedUi::~ScriptedUi()
{
    if (watchdog_ != nullptr) {
        SetEvent(stopEvent_);
        WaitForSingleObject(watchdog_, INFINITE);
        CloseHandle(watchdog_);
    }
    CloseHandle(stopEvent_);
    if (hook_ != nullptr)
        UnhookWindowsHookEx(hook_);
    if (timer_ != 0)
        KillTimer(nullptr, timer_);
    if (g_active == this)
        g_active = nullptr;
    if (verified_)
        ReportWatchdogFailures();
    else
        Verify();
    DeleteCriticalSection(&lock_);
}

ScriptedUi &ScriptedUi::ExpectBox(const std::string &caption, const std::string &text, int button)
{
    script_.push_back(Expectation{true, caption, text, button, false, 0, nullptr});
    return *this;
}

ScriptedUi &ScriptedUi::WithStyle(UINT mbType)
{
    if (script_.empty() || !script_.back().isBox) {
        ADD_FAILURE() << "WithStyle must follow ExpectBox";
        return *this;
    }
    script_.back().checkStyle = true;
    script_.back().mbType = mbType;
    return *this;
}

ScriptedUi &ScriptedUi::ExpectDialog(const std::string &caption, std::function<void(HWND)> act, int button)
{
    script_.push_back(Expectation{false, caption, std::string(), button, false, 0, std::move(act)});
    return *this;
}

ScriptedUi &ScriptedUi::Ignore(const std::string &caption)
{
    Lock held(lock_);
    ignored_.push_back(caption);
    return *this;
}

ScriptedUi &ScriptedUi::SetWatchdogTimeout(DWORD ms)
{
    Lock held(lock_);
    watchdogMs_ = ms;
    return *this;
}

const std::vector<std::string> &ScriptedUi::Seen() const
{
    return seen_;
}

void ScriptedUi::Verify()
{
    verified_ = true;
    ReportWatchdogFailures();
    std::ostringstream seen;
    for (size_t i = 0; i < seen_.size(); ++i)
        seen << (i ? ", " : "") << Quoted(seen_[i]);
    for (; next_ < script_.size(); ++next_) {
        const Expectation &e = script_[next_];
        if (e.isBox)
            ADD_FAILURE() << "Expected message box " << Quoted(e.caption) << " with text " << Quoted(e.text)
                          << " was never shown; seen: [" << seen.str() << "]";
        else
            ADD_FAILURE() << "Expected dialog " << Quoted(e.caption) << " was never shown; seen: [" << seen.str()
                          << "]";
    }
}

void ScriptedUi::OnWindowCreated(HWND hwnd)
{
    // A window that was open before the script began (a panel the test made)
    // activates again whenever a box it owns closes; that is not news.
    bool existedBefore;
    EnterCriticalSection(&lock_);
    existedBefore = before_.count(hwnd) != 0;
    LeaveCriticalSection(&lock_);
    if (existedBefore || handled_.count(hwnd) || std::find(pending_.begin(), pending_.end(), hwnd) != pending_.end())
        return;
    pending_.push_back(hwnd);
    pendingTries_.push_back(0);
    Arm(0);
}

void ScriptedUi::OnWindowDestroyed(HWND hwnd)
{
    // Handles are reused; a later window with this one is a new window.
    handled_.erase(hwnd);
    for (size_t i = 0; i < pending_.size(); ++i) {
        if (pending_[i] == hwnd) {
            pending_.erase(pending_.begin() + i);
            pendingTries_.erase(pendingTries_.begin() + i);
            break;
        }
    }
}

void ScriptedUi::Arm(UINT delayMs)
{
    if (timer_ == 0)
        timer_ = SetTimer(nullptr, 0, delayMs, OnPendingTimer);
}

// One window per tick: an action may run a modal loop of its own that
// re-enters here, so nothing is held across Handle().
void ScriptedUi::ProcessPending()
{
    if (timer_ != 0) {
        KillTimer(nullptr, timer_);
        timer_ = 0;
    }
    for (size_t i = 0; i < pending_.size(); ++i) {
        HWND hwnd = pending_[i];
        bool shown = (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
        if (IsWindow(hwnd) && !shown && pendingTries_[i] < kMaxShowWaits) {
            ++pendingTries_[i];
            continue;
        }
        pending_.erase(pending_.begin() + i);
        pendingTries_.erase(pendingTries_.begin() + i);
        if (IsWindow(hwnd)) {
            handled_.insert(hwnd);
            Handle(hwnd);
        }
        break;
    }
    if (!pending_.empty())
        Arm(10);
}

std::string ScriptedUi::DescribeNext() const
{
    if (next_ >= script_.size())
        return "nothing (the script has ended)";
    const Expectation &e = script_[next_];
    if (e.isBox)
        return "message box " + Quoted(e.caption) + " with text " + Quoted(e.text);
    return "dialog " + Quoted(e.caption);
}

bool ScriptedUi::IsIgnored(const std::string &caption) const
{
    Lock held(lock_);
    return std::find(ignored_.begin(), ignored_.end(), caption) != ignored_.end();
}

void ScriptedUi::Handle(HWND hwnd)
{
    std::string caption = WindowText(hwnd);
    if (IsIgnored(caption))
        return;
    std::string text = MessageBoxText(hwnd);
    seen_.push_back(caption + "|" + text);
    std::string shown = "window " + Quoted(caption) + " with text " + Quoted(text);

    if (next_ >= script_.size() || script_[next_].caption != caption) {
        // Not consumed: the expected window may still follow this one.
        ADD_FAILURE() << "Unexpected " << shown << "; expected " << DescribeNext() << ". Dismissed it.";
        DismissHere(hwnd);
        return;
    }
    // A copy: the action may run a modal loop that re-enters the driver.
    Expectation e = script_[next_++];
    if (!e.isBox) {
        if (e.act) {
            try {
                e.act(hwnd);
            } catch (const std::exception &ex) {
                ADD_FAILURE() << "Action for dialog " << Quoted(caption) << " threw: " << ex.what();
            } catch (...) {
                ADD_FAILURE() << "Action for dialog " << Quoted(caption) << " threw";
            }
        }
        // Clicked as a user clicks it: the focus moves to the button first,
        // and a dialog may act on where the focus is.
        if (e.button != 0 && IsWindow(hwnd)) {
            if (GetDlgItem(hwnd, e.button) != nullptr)
                ClickItem(hwnd, e.button);
            else
                PressButton(hwnd, e.button);
        }
        return;
    }
    if (text != e.text) {
        ADD_FAILURE() << "Message box " << Quoted(caption) << " has text " << Quoted(text) << ", expected "
                      << Quoted(e.text) << ". Dismissed it.";
        DismissHere(hwnd);
        return;
    }
    std::vector<int> buttons = PushButtons(hwnd);
    if (e.checkStyle && buttons != ButtonsOfStyle(e.mbType))
        ADD_FAILURE() << "Message box " << Quoted(caption) << " with text " << Quoted(text) << " has buttons "
                      << DescribeButtons(buttons) << ", expected " << DescribeButtons(ButtonsOfStyle(e.mbType));
    UINT icon = BoxIcon(hwnd);
    if (e.checkStyle && icon != (e.mbType & MB_ICONMASK))
        ADD_FAILURE() << "Message box " << Quoted(caption) << " with text " << Quoted(text) << " shows "
                      << IconName(icon) << ", expected " << IconName(e.mbType & MB_ICONMASK);
    if (!HasPushButton(hwnd, e.button)) {
        ADD_FAILURE() << "Message box " << Quoted(caption) << " with text " << Quoted(text) << " has no button "
                      << ButtonName(e.button) << " (" << e.button << "); it has " << DescribeButtons(buttons)
                      << ". Dismissed it.";
        DismissHere(hwnd);
        return;
    }
    PressButton(hwnd, e.button);
}

void ScriptedUi::ReportWatchdogFailures()
{
    std::vector<std::string> failures;
    {
        Lock held(lock_);
        failures.swap(watchdogFailures_);
    }
    for (const std::string &failure : failures)
        ADD_FAILURE() << failure;
}

// The watchdog thread's loop. It only reads the test thread's windows and
// posts to them; its findings are reported on the test thread by Verify().
void ScriptedUi::Watch()
{
    std::set<HWND> ignoredWindows;
    while (WaitForSingleObject(stopEvent_, kWatchPeriodMs) == WAIT_TIMEOUT) {
        DWORD now = GetTickCount();
        DWORD limit;
        {
            Lock held(lock_);
            limit = watchdogMs_;
        }
        std::vector<HWND> current = ThreadDialogs(threadId_);
        std::vector<OpenWindow> stillOpen;
        for (HWND hwnd : current) {
            // A disabled dialog waits for a box of its own; that box is timed.
            bool open = (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) && IsWindowEnabled(hwnd);
            if (!open || before_.count(hwnd) || ignoredWindows.count(hwnd))
                continue;
            auto known = std::find_if(open_.begin(), open_.end(), [hwnd](const OpenWindow &w) { return w.hwnd == hwnd; });
            stillOpen.push_back(known != open_.end() ? *known : OpenWindow{hwnd, now, 0});
        }
        open_.swap(stillOpen);
        for (OpenWindow &w : open_) {
            if (now - w.since < limit + static_cast<DWORD>(w.attempts) * kRetryMs)
                continue;
            // Read by message: the test thread answers from its modal loop.
            std::string caption = WindowText(w.hwnd);
            if (IsIgnored(caption)) {
                ignoredWindows.insert(w.hwnd);
                continue;
            }
            if (w.attempts == 0) {
                std::ostringstream failure;
                failure << "Window " << Quoted(caption) << " with text " << Quoted(MessageBoxText(w.hwnd))
                        << " stayed open for " << limit << " ms; the watchdog dismissed it";
                Lock held(lock_);
                watchdogFailures_.push_back(failure.str());
            }
            // Escalate: a button, then a close request, then end the dialog.
            int button = DismissingButton(w.hwnd);
            if (w.attempts == 0 && button != 0)
                PressButton(w.hwnd, button);
            else if (w.attempts <= 1)
                PostMessageA(w.hwnd, WM_CLOSE, 0, 0);
            else
                EndDialog(w.hwnd, IDCANCEL);
            ++w.attempts;
        }
    }
}

void SetEditText(HWND dlg, int id, const char *text)
{
    EXPECT_NE(nullptr, GetDlgItem(dlg, id)) << "no control " << id;
    SetDlgItemTextA(dlg, id, text);
}

// Notifies the dialog as a click would, so handlers that react to the
// check box run too.
void SetCheck(HWND dlg, int id, bool checked)
{
    HWND box = GetDlgItem(dlg, id);
    EXPECT_NE(nullptr, box) << "no control " << id;
    if (box == nullptr)
        return;
    UINT wanted = checked ? BST_CHECKED : BST_UNCHECKED;
    if (IsDlgButtonChecked(dlg, id) == wanted)
        return;
    CheckDlgButton(dlg, id, wanted);
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(box));
}

namespace {

// LB_FINDSTRINGEXACT ignores case; entries are compared here.
int FindExactEntry(HWND list, const char *text)
{
    int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        LRESULT length = SendMessageA(list, LB_GETTEXTLEN, i, 0);
        if (length < 0)
            continue;
        std::string entry(static_cast<size_t>(length) + 1, '\0');
        LRESULT copied = SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&entry[0]));
        if (copied < 0)
            continue;
        entry.resize(static_cast<size_t>(copied));
        if (entry == text)
            return i;
    }
    return -1;
}

// The mouse's double click on the entry, brought into view first: the list
// itself tells its dialog, as it does for a user's.
bool DoubleClickEntry(HWND list, int index)
{
    SendMessageA(list, LB_SETTOPINDEX, index, 0);
    RECT item;
    if (SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)) == LB_ERR) {
        ADD_FAILURE() << "entry " << index << " has no place in the list";
        return false;
    }
    LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        SendMessageA(list, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
    return true;
}

// Selects the entry and notifies the dialog of the change; false when there
// is no such entry.
bool PickListEntry(HWND dlg, int id, const char *text, bool doubleClick)
{
    HWND list = GetDlgItem(dlg, id);
    EXPECT_NE(nullptr, list) << "no control " << id;
    if (list == nullptr)
        return false;
    int index = FindExactEntry(list, text);
    EXPECT_NE(-1, index) << "control " << id << " has no entry " << Quoted(text);
    if (index < 0)
        return false;
    SendMessageA(list, LB_SETCURSEL, index, 0);
    if (doubleClick)
        return DoubleClickEntry(list, index);
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return true;
}

}  // namespace

bool SelectListText(HWND dlg, int id, const char *text)
{
    return PickListEntry(dlg, id, text, false);
}

bool DoubleClickListText(HWND dlg, int id, const char *text)
{
    return PickListEntry(dlg, id, text, true);
}

bool ListHasText(HWND dlg, int id, const char *text)
{
    HWND list = GetDlgItem(dlg, id);
    return list != nullptr && FindExactEntry(list, text) >= 0;
}

namespace {

void PostKey(HWND control, UINT key)
{
    UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    PostMessageA(control, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageA(control, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
}

LPARAM MiddleOf(HWND control)
{
    RECT client;
    GetClientRect(control, &client);
    return MAKELPARAM(client.right / 2, client.bottom / 2);
}

HWND ItemToClick(HWND dlg, int id)
{
    HWND control = GetDlgItem(dlg, id);
    EXPECT_NE(nullptr, control) << "no control " << id << " to click";
    return control;
}

// Steps still to run, per dialog.
std::vector<std::pair<HWND, std::vector<DialogStep>>> g_steps;
const UINT_PTR kStepTimer = 0x5354;

void CALLBACK RunNextStep(HWND dlg, UINT, UINT_PTR, DWORD)
{
    if (!IsWindowEnabled(dlg) || !IsWindowVisible(dlg))
        return;
    for (size_t i = 0; i < g_steps.size(); ++i) {
        if (g_steps[i].first != dlg)
            continue;
        DialogStep step = g_steps[i].second.front();
        g_steps[i].second.erase(g_steps[i].second.begin());
        if (g_steps[i].second.empty()) {
            g_steps.erase(g_steps.begin() + i);
            KillTimer(dlg, kStepTimer);
        }
        step(dlg);  // may run a modal loop that comes back here
        return;
    }
    KillTimer(dlg, kStepTimer);
}

}  // namespace

void PressKeyOnFocus(UINT key)
{
    HWND focus = GetFocus();
    EXPECT_NE(nullptr, focus) << "no window has the focus for key " << key;
    if (focus != nullptr)
        PostKey(focus, key);
}

void ClickItem(HWND dlg, int id)
{
    HWND control = ItemToClick(dlg, id);
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MiddleOf(control));
    PostMessageA(control, WM_LBUTTONUP, 0, MiddleOf(control));
}

void DoubleClickItem(HWND dlg, int id)
{
    HWND control = ItemToClick(dlg, id);
    ClickItem(dlg, id);
    PostMessageA(control, WM_LBUTTONDBLCLK, MK_LBUTTON, MiddleOf(control));
    PostMessageA(control, WM_LBUTTONUP, 0, MiddleOf(control));
}

// Touch and pen input as the headers of Windows 8 and later give it.
#ifndef WM_POINTERUPDATE
#define WM_POINTERUPDATE 0x0245
#define WM_POINTERDOWN 0x0246
#define WM_POINTERUP 0x0247
#endif
#ifndef WM_POINTERENTER
#define WM_POINTERENTER 0x0249
#define WM_POINTERLEAVE 0x024A
#endif
#ifndef WM_NCPOINTERUP
#define WM_NCPOINTERUP 0x0243
#endif
#ifndef WM_POINTERROUTEDTO
#define WM_POINTERROUTEDTO 0x0251
#endif
#ifndef POINTER_MESSAGE_FLAG_INCONTACT
#define POINTER_MESSAGE_FLAG_NEW 0x00000001
#define POINTER_MESSAGE_FLAG_INRANGE 0x00000002
#define POINTER_MESSAGE_FLAG_INCONTACT 0x00000004
#define POINTER_MESSAGE_FLAG_FIRSTBUTTON 0x00000010
#define POINTER_MESSAGE_FLAG_PRIMARY 0x00002000
#endif

void DoubleTapItem(HWND dlg, int id)
{
    HWND control = ItemToClick(dlg, id);
    RECT rect;
    GetWindowRect(control, &rect);
    // Pointer messages carry screen coordinates.
    LPARAM where = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    const WORD pointer = 1;
    const WORD touching = POINTER_MESSAGE_FLAG_INRANGE | POINTER_MESSAGE_FLAG_INCONTACT |
                          POINTER_MESSAGE_FLAG_FIRSTBUTTON | POINTER_MESSAGE_FLAG_PRIMARY;
    for (int tap = 0; tap < 2; tap++) {
        PostMessageA(control, WM_POINTERENTER, MAKEWPARAM(pointer, POINTER_MESSAGE_FLAG_NEW | touching), where);
        PostMessageA(control, WM_POINTERDOWN, MAKEWPARAM(pointer, POINTER_MESSAGE_FLAG_NEW | touching), where);
        PostMessageA(control, WM_POINTERUPDATE, MAKEWPARAM(pointer, touching), where);
        PostMessageA(control, WM_POINTERUP, MAKEWPARAM(pointer, POINTER_MESSAGE_FLAG_INRANGE | POINTER_MESSAGE_FLAG_PRIMARY), where);
        PostMessageA(control, WM_POINTERLEAVE, MAKEWPARAM(pointer, POINTER_MESSAGE_FLAG_PRIMARY), where);
    }
    // The two ends of the pointer messages: a tap on the frame, and the
    // last message of the range.
    PostMessageA(control, WM_NCPOINTERUP, MAKEWPARAM(pointer, POINTER_MESSAGE_FLAG_PRIMARY), where);
    PostMessageA(control, WM_POINTERROUTEDTO, MAKEWPARAM(pointer, 0), where);
    // A window registered for raw touch gets WM_TOUCH instead; one that is
    // not, the gesture the taps make.
    PostMessageA(control, WM_TOUCH, 1, 0);
    PostMessageA(control, WM_GESTURE, 1, 0);
}

bool IsTouchInput(UINT message)
{
    return (message >= WM_TOUCH && message <= WM_POINTERROUTEDTO) || message == WM_GESTURE;
}

int FocusedItem(HWND dlg)
{
    HWND focus = GetFocus();
    return focus != nullptr && IsChild(dlg, focus) ? GetDlgCtrlID(focus) : 0;
}

void StepThrough(HWND dlg, std::vector<DialogStep> steps)
{
    // A window handle is reused: steps left for a closed dialog are not its.
    for (size_t i = g_steps.size(); i-- > 0;)
        if (g_steps[i].first == dlg)
            g_steps.erase(g_steps.begin() + i);
    if (steps.empty())
        return;
    g_steps.emplace_back(dlg, std::move(steps));
    SetTimer(dlg, kStepTimer, 100, RunNextStep);
}
