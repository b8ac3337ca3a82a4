#include "MainDriver.h"

#include <map>

#include "Launcher.h"
#include "TestEnv.h"
#include "WindowText.h"

namespace {

const UINT_PTR QuitTimer = 0x5157;
std::map<int, std::string> TextsAtQuit;
std::map<int, UINT> ChecksAtQuit;

void RecordTexts(HWND dialog)
{
    TextsAtQuit.clear();
    for (int id : {IDC_GAME1, IDC_GAME2, IDC_GAME3})
        TextsAtQuit[id] = ItemText(dialog, id);
    ChecksAtQuit.clear();
    ChecksAtQuit[IDC_INVULNERABLE] = IsDlgButtonChecked(dialog, IDC_INVULNERABLE);
}

// Timers only come when nothing else is queued, and a box or dialog owned
// by the main dialog disables it, a child run or the chooser hides it: so
// the quit comes only when the whole chain behind the button has ended.
void CALLBACK QuitWhenIdle(HWND dialog, UINT, UINT_PTR, DWORD)
{
    if (!IsWindowEnabled(dialog) || !IsWindowVisible(dialog))
        return;
    KillTimer(dialog, QuitTimer);
    RecordTexts(dialog);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace

void PressOnMainDialog(ScriptedUi &ui, int button, std::function<void(HWND)> before)
{
    ui.ExpectDialog(MainCaption, [button, before](HWND dialog) {
        if (before)
            before(dialog);
        HWND control = GetDlgItem(dialog, button);
        if ((GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX)
            PostMessageA(control, BM_CLICK, 0, 0);
        else
            PostMessageA(dialog, WM_COMMAND, button, 0);
        SetTimer(dialog, QuitTimer, 150, QuitWhenIdle);
    }, 0);
}

void StepOnMainDialog(ScriptedUi &ui, std::vector<DialogStep> steps)
{
    ui.ExpectDialog(MainCaption, [steps](HWND dialog) {
        std::vector<DialogStep> all = steps;
        all.push_back([](HWND d) { SetTimer(d, QuitTimer, 150, QuitWhenIdle); });
        StepThrough(dialog, all);
    }, 0);
}

INT_PTR RunMainDialog()
{
    TextsAtQuit.clear();
    ChecksAtQuit.clear();
    return DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
}

void PressOnceOnMainDialog(int button, std::function<void(ScriptedUi &)> expect)
{
    ScriptedUi ui;
    PressOnMainDialog(ui, button);
    if (expect)
        expect(ui);
    RunMainDialog();
    ui.Verify();
}

std::string TextAtQuit(int id)
{
    auto found = TextsAtQuit.find(id);
    return found == TextsAtQuit.end() ? std::string("(main dialog not quit by the driver)") : found->second;
}

std::string CheckAtQuit(int id)
{
    auto found = ChecksAtQuit.find(id);
    if (found == ChecksAtQuit.end())
        return "(main dialog not quit by the driver)";
    return found->second == BST_CHECKED ? "ticked" : found->second == BST_UNCHECKED ? "clear" : "indeterminate";
}
