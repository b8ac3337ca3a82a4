// What every program on the compilation discs shares: the process guards
// (each sets them first thing in WinMain), bounded text, the command-line tail,
// message boxes, and the hooks through which the test harness watches a run
// (DSAGA_CHILD_LOG, DSAGA_EXIT_<NAME>, DSAGA_WAIT_<NAME>).
#ifndef CD_PROGRAM_H
#define CD_PROGRAM_H

#include <windows.h>

#include "Links.h"
#include "ProcessGuards.h"
#include "Paths.h"
#include "Text.h"

#include <stddef.h>
#include <string>

const size_t CD_PATH_BUFFER = 1024;

// The initialiser starts the launcher in a new directory under the
// temporary directory whose name begins so; the uninstaller, handed the
// launcher's copy there, removes that directory with it.
const WCHAR LAUNCHER_DIRECTORY_PREFIX[] = L"DSaga-";

// The command line after the program's own name, blanks trimmed and one pair
// of surrounding double quotes removed. 0 when it does not fit.
int GetCommandTail(char *buffer, size_t capacity);

// 1 while DSAGA_CHILD_LOG is set: no windows, no questions, end at once.
int InTestMode();

// Appends "<name>|<current directory>|<command line><extraFields>\n" to the
// DSAGA_CHILD_LOG file in one write; extraFields is "" or "|key=value...".
// With DSAGA_RECORD_RIGHTS set, "|admin=1" or "|admin=0" ends the line.
void RecordRun(const std::string &extraFields);

// While DSAGA_WAIT_<name> is set, waits until the file it names exists (two
// minutes at most): a test holds a program at a point of its run, and sees
// it held there by the file of that name with ".reached" added.
void WaitForRelease(const char *name);

// WaitForRelease(name), then returns DSAGA_EXIT_<name> when set, else
// naturalCode. name is upper case, as in "SW1".
int FinishRun(const char *name, int naturalCode);

// A message box for a real user; in test mode the text goes to the debugger
// output instead, since nobody is there to answer.
void ShowProgramMessage(const char *text, const char *caption, UINT style);
// The same for a text in UTF-16, one that names a path the code page lacks.
void ShowProgramMessageWide(const WCHAR *text, const char *caption, UINT style);

#endif
