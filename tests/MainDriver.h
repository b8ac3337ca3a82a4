// Driving the real main dialog as a user does: it starts as the launcher
// starts it, one button is pressed once it shows, and it is quit as soon as
// it is idle again (enabled, visible, no box or dialog of its own open).
//
//   ScriptedUi ui;
//   PressOnMainDialog(ui, IDC_GAME1);
//   ui.ExpectBox("Do you wish to install to:", ..., IDYES);
//   RunMainDialog();
//   ui.Verify();
#ifndef DSAGA_MAIN_DRIVER_H
#define DSAGA_MAIN_DRIVER_H

#include <windows.h>

#include <functional>
#include <string>

#include "UiDriver.h"

// The first expectation of a script: the main dialog, on which `button` is
// clicked (a check box toggles its mark as a click would); `before` looks
// at the dialog first.
void PressOnMainDialog(ScriptedUi &ui, int button, std::function<void(HWND)> before = nullptr);
// The same, with input given as a user gives it: the steps run one by one
// (StepThrough), each once the dialog has handled the one before, then the
// dialog is quit as soon as it is idle.
void StepOnMainDialog(ScriptedUi &ui, std::vector<DialogStep> steps);
// Runs IDD_MAIN modally with the launcher's procedure; returns its result.
INT_PTR RunMainDialog();
// Runs the main dialog once with `button` pressed and the answers `expect`
// scripts (nothing more when null), and verifies them.
void PressOnceOnMainDialog(int button, std::function<void(ScriptedUi &)> expect = nullptr);
// A control's text as it was when the main dialog was quit.
std::string TextAtQuit(int id);
// The check box's mark then: "ticked" or "clear".
std::string CheckAtQuit(int id);

#endif
