// Installation engine: copying and deleting one directory at a time with
// the status area's progress bar, directory chains, the per-game install
// procedures, game 3's additional files and the install-directory chooser.
#include "Launcher.h"

// ---------------------------------------------------------------------------
// Status area

// Stand-in until the status area is built.
void ShowStatusArea(void) {}
// Stand-in until the status area is built.
void HideStatusArea(void) {}
// Stand-in until the status area is built.
void SetStatusLine1(const char *text) { (void)text; }
// Stand-in until the status area is built.
void SetStatusLine2(const char *text) { (void)text; }
// Stand-in until the status area is built.
void SetProgressRange(int low, int high) { (void)low; (void)high; }
// Stand-in until the status area is built.
void ResetProgress(void) {}
// Stand-in until the status area is built.
void StepProgress(void) {}

// ---------------------------------------------------------------------------
// Directory copy and delete

// Stand-in until copying is built: reports failure, copies nothing.
int CopyFiles(const char *source, const char *destination, const char *statusText)
{
    (void)source;
    (void)destination;
    (void)statusText;
    return 0;
}

// Stand-in until deleting is built: deletes nothing.
void DeleteFiles(char *directory, const char *statusText)
{
    (void)directory;
    (void)statusText;
}

// Stand-in until directory creation is built: creates nothing.
int MakeDirectoryChain(char *path)
{
    (void)path;
    return 0;
}
