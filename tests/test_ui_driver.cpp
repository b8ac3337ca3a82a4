// The scripted UI driver itself: it answers what it was told to, fails
// loudly on anything else, and never leaves a test hanging.
#include <windows.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "RemoteUi.h"
#include "UiDriver.h"

namespace {

const char kShowBoxArgument[] = "--show-box ";
const char kRemoteCaption[] = "Remote Box";

// Started as `test_ui_driver --show-box TEXT` by the remote tests, this
// program only shows TEXT in a box and exits with the button pressed. It
// happens before GoogleTest's main sees the arguments.
bool ShowBoxIfAsked()
{
    const char *commandLine = GetCommandLineA();
    const char *argument = strstr(commandLine, kShowBoxArgument);
    if (argument == nullptr)
        return false;
    int pressed = MessageBoxA(nullptr, argument + strlen(kShowBoxArgument), kRemoteCaption, MB_OKCANCEL);
    ExitProcess(static_cast<UINT>(pressed));
}
const bool g_showBoxMode = ShowBoxIfAsked();

// Message boxes in the code under test are often owned by windows that are
// never shown.
struct HiddenWindow {
    HWND hwnd = CreateWindowExA(0, "STATIC", "hidden owner", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ~HiddenWindow() { DestroyWindow(hwnd); }
};

// An in-memory dialog template: no resource script needed in the tests.
class DialogTemplate {
public:
    DialogTemplate(const char *caption, DWORD style)
    {
        AddDword(style | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
        AddDword(0);
        countAt_ = words_.size();
        words_.push_back(0);
        AddRect(0, 0, 200, 120);
        words_.push_back(0);  // no menu
        words_.push_back(0);  // default class
        AddText(caption);
    }
    DialogTemplate &Add(WORD classAtom, DWORD style, WORD id, const char *text, short x, short y, short cx, short cy)
    {
        if (words_.size() % 2)
            words_.push_back(0);  // items start DWORD-aligned
        AddDword(style | WS_CHILD | WS_VISIBLE);
        AddDword(0);
        AddRect(x, y, cx, cy);
        words_.push_back(id);
        words_.push_back(0xFFFF);
        words_.push_back(classAtom);
        AddText(text);
        words_.push_back(0);  // no creation data
        ++words_[countAt_];
        return *this;
    }
    const DLGTEMPLATE *Get() const { return reinterpret_cast<const DLGTEMPLATE *>(words_.data()); }

private:
    void AddDword(DWORD value)
    {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    void AddRect(short x, short y, short cx, short cy)
    {
        for (short v : {x, y, cx, cy})
            words_.push_back(static_cast<WORD>(v));
    }
    void AddText(const char *text)
    {
        int count = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        std::vector<wchar_t> wide(count > 0 ? count : 1, L'\0');
        MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), count);
        words_.insert(words_.end(), wide.begin(), wide.end());
    }
    std::vector<WORD> words_;
    size_t countAt_ = 0;
};

const WORD kButtonClass = 0x0080;
const WORD kEditClass = 0x0081;
const WORD kStaticClass = 0x0082;
const WORD kListBoxClass = 0x0083;

const int IDC_NAME = 101;
const int IDC_GAMES = 102;
const int IDC_FAST = 103;

DialogTemplate &AddOkCancel(DialogTemplate &t)
{
    return t.Add(kButtonClass, BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, "OK", 40, 96, 50, 14)
        .Add(kButtonClass, BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, "Cancel", 110, 96, 50, 14);
}

// What the dialogs of these tests read back from their controls.
struct DialogResult {
    std::string name;
    std::string game;
    bool fast = false;
    bool doubleClicked = false;
    int saveAnswer = 0;
};

DialogResult *ResultOf(HWND dlg)
{
    return reinterpret_cast<DialogResult *>(GetWindowLongPtrA(dlg, DWLP_USER));
}

std::string SelectedGame(HWND dlg)
{
    HWND list = GetDlgItem(dlg, IDC_GAMES);
    LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR)
        return std::string();
    char text[64] = "";
    if (SendMessageA(list, LB_GETTEXTLEN, index, 0) >= static_cast<LRESULT>(sizeof text))
        return std::string();
    SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

void OnTestDialogOk(HWND dlg)
{
    DialogResult *result = ResultOf(dlg);
    char name[128] = "";
    GetDlgItemTextA(dlg, IDC_NAME, name, sizeof name);
    result->name = name;
    result->game = SelectedGame(dlg);
    result->fast = IsDlgButtonChecked(dlg, IDC_FAST) == BST_CHECKED;
}

// One procedure for every test dialog: it fills the list, reads the
// controls on OK and, for "Settings", asks before saving.
INT_PTR CALLBACK TestDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
        for (const char *game : {"Starwarden 1", "Starwarden 2", "Starwarden 3"})
            SendDlgItemMessageA(dlg, IDC_GAMES, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(game));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_GAMES && HIWORD(wParam) == LBN_DBLCLK) {
            ResultOf(dlg)->game = SelectedGame(dlg);
            ResultOf(dlg)->doubleClicked = true;
            EndDialog(dlg, IDOK);
        } else if (LOWORD(wParam) == IDOK) {
            OnTestDialogOk(dlg);
            char caption[64] = "";
            GetWindowTextA(dlg, caption, sizeof caption);
            if (strcmp(caption, "Settings") == 0)
                ResultOf(dlg)->saveAnswer = MessageBoxA(dlg, "Save changes?", "Settings", MB_YESNO | MB_ICONQUESTION);
            EndDialog(dlg, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

DialogTemplate NameDialog(const char *caption)
{
    DialogTemplate t(caption, 0);
    t.Add(kStaticClass, SS_LEFT, 0xFFFF, "Commander name:", 10, 10, 180, 10)
        .Add(kEditClass, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, IDC_NAME, "", 10, 24, 180, 12);
    AddOkCancel(t);
    return t;
}

DialogTemplate GamesDialog(const char *caption)
{
    DialogTemplate t(caption, 0);
    t.Add(kListBoxClass, LBS_NOTIFY | WS_BORDER | WS_VSCROLL | WS_TABSTOP, IDC_GAMES, "", 10, 10, 180, 50)
        .Add(kButtonClass, BS_AUTOCHECKBOX | WS_TABSTOP, IDC_FAST, "Fast", 10, 66, 100, 12);
    AddOkCancel(t);
    return t;
}

INT_PTR RunDialog(const DialogTemplate &t, HWND owner, DialogResult *result)
{
    return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Get(), owner, TestDialogProc,
                                   reinterpret_cast<LPARAM>(result));
}

// A confirmation whose Cancel leads to a notice, as the install chains do.
int ConfirmOrAbort(HWND owner)
{
    int answer = MessageBoxA(owner, "Start copying?", "Install", MB_OKCANCEL | MB_ICONQUESTION);
    if (answer == IDCANCEL)
        MessageBoxA(owner, "Operation Aborted", "Install", MB_OK | MB_ICONINFORMATION);
    return answer;
}

}  // namespace

// ---- Message boxes ----------------------------------------------------------

TEST(ScriptedUiBoxes, PressesScriptedButtonOfBoxOwnedByHiddenWindow)
{
    HiddenWindow owner;
    ScriptedUi ui;
    ui.ExpectBox("Install", "Do you wish to install to:\nC:\\Draxmoor", IDCANCEL).WithStyle(MB_OKCANCEL);
    int answer = MessageBoxA(owner.hwnd, "Do you wish to install to:\nC:\\Draxmoor", "Install", MB_OKCANCEL);
    ui.Verify();
    EXPECT_EQ(IDCANCEL, answer);
    ASSERT_EQ(1u, ui.Seen().size());
    EXPECT_EQ("Install|Do you wish to install to:\nC:\\Draxmoor", ui.Seen()[0]);
}

TEST(ScriptedUiBoxes, AnswersYesNoBoxWithEitherButton)
{
    HiddenWindow owner;
    for (int button : {IDNO, IDYES}) {
        ScriptedUi ui;
        ui.ExpectBox("Uninstall", "Remove Starwarden 2?", button).WithStyle(MB_YESNO | MB_ICONQUESTION);
        EXPECT_EQ(button, MessageBoxA(owner.hwnd, "Remove Starwarden 2?", "Uninstall", MB_YESNO | MB_ICONQUESTION));
        ui.Verify();
    }
}

TEST(ScriptedUiBoxes, AnswersBoxWithoutOwner)
{
    ScriptedUi ui;
    ui.ExpectBox("Notice", "No owner here", IDOK).WithStyle(MB_OK);
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "No owner here", "Notice", MB_OK));
    ui.Verify();
}

TEST(ScriptedUiBoxes, TakesBoxesShowingTheIconTheirStyleNames)
{
    HiddenWindow owner;
    ScriptedUi ui;
    ui.ExpectBox("Proceed?", "Uninstall?", IDNO).WithStyle(MB_YESNO | MB_ICONQUESTION);
    ui.ExpectBox("Done", "Uninstalled.", IDOK).WithStyle(MB_OK);
    MessageBoxA(owner.hwnd, "Uninstall?", "Proceed?", MB_YESNO | MB_ICONQUESTION);
    MessageBoxA(owner.hwnd, "Uninstalled.", "Done", MB_OK);
    ui.Verify();
}

TEST(ScriptedUiBoxes, ConsumesBoxesInOrder)
{
    HiddenWindow owner;
    ScriptedUi ui;
    ui.ExpectBox("First", "one", IDRETRY).ExpectBox("Second", "two", IDIGNORE);
    int first = MessageBoxA(owner.hwnd, "one", "First", MB_RETRYCANCEL);
    int second = MessageBoxA(owner.hwnd, "two", "Second", MB_ABORTRETRYIGNORE);
    ui.Verify();
    EXPECT_EQ(IDRETRY, first);
    EXPECT_EQ(IDIGNORE, second);
    EXPECT_EQ((std::vector<std::string>{"First|one", "Second|two"}), ui.Seen());
}

TEST(ScriptedUiBoxes, FollowsCancelIntoAbortNotice)
{
    HiddenWindow owner;
    ScriptedUi ui;
    ui.ExpectBox("Install", "Start copying?", IDCANCEL).ExpectBox("Install", "Operation Aborted", IDOK);
    EXPECT_EQ(IDCANCEL, ConfirmOrAbort(owner.hwnd));
    ui.Verify();
    EXPECT_EQ(2u, ui.Seen().size());
}

// ---- Dialogs ----------------------------------------------------------------

TEST(ScriptedUiDialogs, FillsEditControlThatDialogReadsOnOk)
{
    HiddenWindow owner;
    DialogResult result;
    ScriptedUi ui;
    ui.ExpectDialog("Name Entry", [](HWND dlg) { SetEditText(dlg, IDC_NAME, "Commander Vey"); }, IDOK);
    INT_PTR ended = RunDialog(NameDialog("Name Entry"), owner.hwnd, &result);
    ui.Verify();
    EXPECT_EQ(IDOK, ended);
    EXPECT_EQ("Commander Vey", result.name);
    EXPECT_EQ((std::vector<std::string>{"Name Entry|Commander name:"}), ui.Seen());
}

TEST(ScriptedUiDialogs, CancelLeavesDialogResultUntouched)
{
    DialogResult result;
    ScriptedUi ui;
    ui.ExpectDialog("Name Entry", [](HWND dlg) { SetEditText(dlg, IDC_NAME, "ignored"); }, IDCANCEL);
    EXPECT_EQ(IDCANCEL, RunDialog(NameDialog("Name Entry"), nullptr, &result));
    ui.Verify();
    EXPECT_EQ("", result.name);
}

TEST(ScriptedUiDialogs, SelectsListEntryAndChecksBox)
{
    HiddenWindow owner;
    DialogResult result;
    std::string readBack;
    ScriptedUi ui;
    ui.ExpectDialog("Choose Game",
                    [&readBack](HWND dlg) {
                        EXPECT_TRUE(SelectListText(dlg, IDC_GAMES, "Starwarden 2"));
                        SetCheck(dlg, IDC_FAST, true);
                        readBack = ItemText(dlg, IDC_FAST);
                    },
                    IDOK);
    EXPECT_EQ(IDOK, RunDialog(GamesDialog("Choose Game"), owner.hwnd, &result));
    ui.Verify();
    EXPECT_EQ("Starwarden 2", result.game);
    EXPECT_TRUE(result.fast);
    EXPECT_FALSE(result.doubleClicked);
    EXPECT_EQ("Fast", readBack);
}

TEST(ScriptedUiDialogs, DoubleClickEndsDialogWithoutButton)
{
    DialogResult result;
    ScriptedUi ui;
    ui.ExpectDialog("Choose Game", [](HWND dlg) { EXPECT_TRUE(DoubleClickListText(dlg, IDC_GAMES, "Starwarden 3")); },
                    0);
    EXPECT_EQ(IDOK, RunDialog(GamesDialog("Choose Game"), nullptr, &result));
    ui.Verify();
    EXPECT_EQ("Starwarden 3", result.game);
    EXPECT_TRUE(result.doubleClicked);
}

TEST(ScriptedUiDialogs, AnswersBoxRaisedFromInsideDialog)
{
    HiddenWindow owner;
    DialogResult result;
    ScriptedUi ui;
    ui.ExpectDialog("Settings", [](HWND dlg) { SetEditText(dlg, IDC_NAME, "Vey"); }, IDOK)
        .ExpectBox("Settings", "Save changes?", IDNO)
        .WithStyle(MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(IDOK, RunDialog(NameDialog("Settings"), owner.hwnd, &result));
    ui.Verify();
    EXPECT_EQ(IDNO, result.saveAnswer);
    EXPECT_EQ("Vey", result.name);
}

TEST(ScriptedUiDialogs, LeavesIgnoredDialogAlone)
{
    DialogResult result;
    DialogTemplate t = NameDialog("Main Panel");
    ScriptedUi ui;
    ui.Ignore("Main Panel").ExpectBox("Panel Notice", "Hello from the panel", IDOK);
    HWND panel = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), t.Get(), nullptr, TestDialogProc,
                                            reinterpret_cast<LPARAM>(&result));
    ASSERT_NE(nullptr, panel);
    ShowWindow(panel, SW_SHOW);
    int answer = MessageBoxA(panel, "Hello from the panel", "Panel Notice", MB_OK);
    ui.Verify();
    EXPECT_TRUE(IsWindow(panel));
    EXPECT_EQ(IDOK, answer);
    EXPECT_EQ((std::vector<std::string>{"Panel Notice|Hello from the panel"}), ui.Seen());
    DestroyWindow(panel);
}

// ---- Faults: reported, dismissed, never hanging -------------------------------

TEST(ScriptedUiFaults, ReportsUnexpectedBoxWithCaptionAndTextAndDismissesIt)
{
    HiddenWindow owner;
    int answer = 0;
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedUi ui;
            answer = MessageBoxA(owner.hwnd, "Nobody expected this", "Surprise", MB_OKCANCEL);
            ui.Verify();
        },
        "Unexpected window \"Surprise\" with text \"Nobody expected this\"");
    EXPECT_EQ(IDCANCEL, answer);
}

TEST(ScriptedUiFaults, ReportsWrongCaptionNamingExpectedBox)
{
    HiddenWindow owner;
    int answer = 0;
    ScriptedUi ui;
    ui.ExpectBox("Confirm", "Really?", IDOK);
    EXPECT_NONFATAL_FAILURE(answer = MessageBoxA(owner.hwnd, "Really?", "Error", MB_OK),
                            "Unexpected window \"Error\" with text \"Really?\"; "
                            "expected message box \"Confirm\" with text \"Really?\"");
    EXPECT_EQ(IDOK, answer);
    // A box of another caption does not use up the expectation.
    EXPECT_NONFATAL_FAILURE(ui.Verify(), "Expected message box \"Confirm\" with text \"Really?\" was never "
                                         "shown; seen: [\"Error|Really?\"]");
}

TEST(ScriptedUiFaults, ReportsBoxAfterScriptEnded)
{
    HiddenWindow owner;
    int second = 0;
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedUi ui;
            ui.ExpectBox("One", "first", IDOK);
            MessageBoxA(owner.hwnd, "first", "One", MB_OK);
            second = MessageBoxA(owner.hwnd, "second", "Two", MB_RETRYCANCEL);
            ui.Verify();
        },
        "\"Two\" with text \"second\"; expected nothing (the script has ended)");
    EXPECT_EQ(IDCANCEL, second);
}

namespace {

const UINT AnyStyle = ~0u;  // the expectation leaves the style unchecked

// A box shown otherwise than the script expects it, under the same caption.
struct BoxMismatch {
    const char *name;
    const char *caption;
    const char *scriptedText;
    int scriptedButton;
    UINT scriptedStyle;
    const char *shownText;
    UINT shownStyle;
    const char *failure;  // part of the reported failure
    int answer;           // the button that ended the box
};

const BoxMismatch BoxMismatches[] = {
    // Dismissed with the least committal button.
    {"WrongTextDismissesYesNoBoxWithNo", "Confirm", "Right text", IDYES, AnyStyle, "Wrong text", MB_YESNO,
     "\"Confirm\" has text \"Wrong text\", expected \"Right text\"", IDNO},
    // The scripted button exists, so the script goes on as written.
    {"ButtonSetOtherThanStyle", "Question", "Continue?", IDOK, MB_YESNO, "Continue?", MB_OKCANCEL,
     "has buttons {OK (1), Cancel (2)}, expected {Yes (6), No (7)}", IDOK},
    // A bare button style means no icon.
    {"IconWhereStyleNamesNone", "Aborted", "Operation Aborted", IDOK, MB_OK, "Operation Aborted",
     MB_OK | MB_ICONEXCLAMATION, "shows the exclamation icon, expected no icon", IDOK},
    {"IconOtherThanStyle", "Proceed?", "Uninstall?", IDNO, MB_YESNO | MB_ICONQUESTION, "Uninstall?",
     MB_YESNO | MB_ICONEXCLAMATION, "shows the exclamation icon, expected the question icon", IDNO},
    {"MissingButtonDismisses", "Done", "Installed.", IDYES, AnyStyle, "Installed.", MB_OK, "has no button Yes (6)",
     IDOK},
};

std::string MismatchName(const ::testing::TestParamInfo<BoxMismatch> &info)
{
    return info.param.name;
}

class ScriptedUiMismatch : public ::testing::TestWithParam<BoxMismatch> {};

}  // namespace

TEST_P(ScriptedUiMismatch, IsReportedAndTheBoxEnded)
{
    const BoxMismatch &c = GetParam();
    HiddenWindow owner;
    int answer = 0;
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedUi ui;
            ui.ExpectBox(c.caption, c.scriptedText, c.scriptedButton);
            if (c.scriptedStyle != AnyStyle)
                ui.WithStyle(c.scriptedStyle);
            answer = MessageBoxA(owner.hwnd, c.shownText, c.caption, c.shownStyle);
            ui.Verify();
        },
        c.failure);
    EXPECT_EQ(c.answer, answer);
}

INSTANTIATE_TEST_SUITE_P(ScriptedUiFaults, ScriptedUiMismatch, ::testing::ValuesIn(BoxMismatches), MismatchName);

TEST(ScriptedUiFaults, VerifyNamesExpectationNeverShown)
{
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedUi ui;
            ui.ExpectBox("Never", "Shown", IDOK);
            ui.Verify();
        },
        "Expected message box \"Never\" with text \"Shown\" was never shown");
}

TEST(ScriptedUiFaults, DestructionWithoutVerifyReportsUnmetDialog)
{
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedUi ui;
            ui.ExpectDialog("Missing Dialog", nullptr, IDOK);
        },
        "Expected dialog \"Missing Dialog\" was never shown");
}

TEST(ScriptedUiFaults, WatchdogDismissesDialogLeftOpen)
{
    DialogResult result;
    INT_PTR ended = 0;
    DWORD start = GetTickCount();
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedUi ui;
            ui.SetWatchdogTimeout(1000);
            // Neither the action nor a button closes it.
            ui.ExpectDialog("Stuck", [](HWND) {}, 0);
            ended = RunDialog(NameDialog("Stuck"), nullptr, &result);
            ui.Verify();
        },
        "Window \"Stuck\" with text \"Commander name:\" stayed open for 1000 ms; the watchdog dismissed it");
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(IDCANCEL, ended);
    EXPECT_GE(elapsed, 1000u);
    EXPECT_LT(elapsed, 10000u);
}

TEST(ScriptedUiFaults, WatchdogStopsWithDriver)
{
    DWORD start = GetTickCount();
    {
        ScriptedUi ui;
        ui.Verify();
    }
    // The watchdog wakes every 200 ms; joining it must not wait longer.
    EXPECT_LT(GetTickCount() - start, 2000u);
}

// ---- Another process, driven from outside -------------------------------------

namespace {

std::string OwnPath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    EXPECT_TRUE(length > 0 && length < sizeof path);
    return std::string(path, length);
}

std::string Joined(const std::vector<std::string> &items)
{
    std::string all;
    for (const std::string &item : items)
        all += (all.empty() ? "" : ", ") + item;
    return all;
}

// Shows `text` in a second instance, checks what is on screen, presses
// `button` and returns the instance's exit code.
DWORD AnswerRemoteBox(const std::string &text, int button)
{
    ChildRun run = StartProgram(OwnPath(), "", kShowBoxArgument + text);
    EXPECT_TRUE(run.Started()) << "CreateProcessA failed: " << run.startError;
    if (!run.Started())
        return 0;
    HWND box = WaitForTopWindow(run.pi.dwProcessId, kRemoteCaption, 20000);
    EXPECT_NE(nullptr, box) << "windows: " << Joined(TopWindowCaptions(run.pi.dwProcessId));
    if (box == nullptr)
        return 0;
    EXPECT_EQ(kRemoteCaption, WindowText(box));
    EXPECT_EQ(text, MessageBoxText(box));
    EXPECT_EQ(text, ItemText(box, 0xFFFF));
    EXPECT_TRUE(IsItemEnabled(box, button));
    EXPECT_TRUE(IsItemVisible(box, button));
    EXPECT_FALSE(IsItemVisible(box, IDYES));
    PressButton(box, button);
    DWORD exitCode = 0;
    EXPECT_EQ(0u, WaitForExit(run.pi.hProcess, 20000, &exitCode));
    return exitCode;
}

}  // namespace

TEST(RemoteUi, ReadsBoxOfAnotherProcessAndPressesOk)
{
    std::string text = "Greetings to process " + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(static_cast<DWORD>(IDOK), AnswerRemoteBox(text, IDOK));
}

TEST(RemoteUi, PressedCancelBecomesExitCode)
{
    EXPECT_EQ(static_cast<DWORD>(IDCANCEL), AnswerRemoteBox("Cancel me", IDCANCEL));
}

TEST(RemoteUi, TerminateAndCloseEndsUnansweredProgram)
{
    ChildRun run = StartProgram(OwnPath(), "", std::string(kShowBoxArgument) + "left open");
    ASSERT_TRUE(run.Started()) << "CreateProcessA failed: " << run.startError;
    ASSERT_NE(nullptr, WaitForTopWindow(run.pi.dwProcessId, kRemoteCaption, 20000));
    std::vector<std::string> captions = TopWindowCaptions(run.pi.dwProcessId);
    EXPECT_NE(std::string::npos, Joined(captions).find(kRemoteCaption)) << Joined(captions);
    DWORD exitCode = 0;
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForExit(run.pi.hProcess, 300, &exitCode));

    HANDLE watch = OpenProcess(SYNCHRONIZE, FALSE, run.pi.dwProcessId);
    ASSERT_NE(nullptr, watch);
    TerminateAndClose(run);
    EXPECT_FALSE(run.Started());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watch, 5000));
    CloseHandle(watch);
    TerminateAndClose(run);  // a second cleanup is harmless
}

TEST(RemoteUi, StartProgramReportsMissingProgram)
{
    ChildRun run = StartProgram("C:\\no\\such\\program.exe", "", "");
    EXPECT_FALSE(run.Started());
    EXPECT_NE(0u, run.startError);
}

TEST(RemoteUi, WaitForTopWindowGivesUpAfterTimeout)
{
    DWORD start = GetTickCount();
    EXPECT_EQ(nullptr, WaitForTopWindow(GetCurrentProcessId(), "No Such Window", 300));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 300u);
    EXPECT_LT(elapsed, 3000u);
}
