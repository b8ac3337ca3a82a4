// Reading the texts of windows, of this process or of another: WM_GETTEXT
// works across processes, so in-process tests and black-box runs read a
// control the same way.
#ifndef DSAGA_WINDOW_TEXT_H
#define DSAGA_WINDOW_TEXT_H

#include <windows.h>

#include <string>

// A window that does not answer within a few seconds reads as "".
std::string WindowText(HWND hwnd);
std::string ItemText(HWND dlg, int id);
// The message of a message box: its static control 0xFFFF, or else the
// longest static text in the window.
std::string MessageBoxText(HWND box);

#endif
