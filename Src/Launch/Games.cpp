// The three games of the compilation: their names, where they lie on disc 1
// and in the install directory, and their buttons and texts on the panel.
#include "Launcher.h"

const GameInfo GameTable[3] = {
    {1, "Starwarden 1", "sw1", "sw1\\", "sw1.exe", &LauncherState.Game1Installed, IDC_GAME1,
     "Install Starwarden 1", "Play Starwarden 1", IDC_UNINSTALL1, "starwdn.cfg", 13, "\\sw1\\sw1.exe", "\\sw1\\"},
    {2, "Starwarden 2", "sw2", "sw2\\", "sw2.exe", &LauncherState.Game2Installed, IDC_GAME2,
     "Install Starwarden 2", "Play Starwarden 2", IDC_UNINSTALL2, "sw2.cfg", 26, "\\sw2\\sw2.exe", "\\sw2\\"},
    {3, "Starwarden 3", "sw3", "sw3\\", "sw3w.exe", &LauncherState.Game3Installed, IDC_GAME3,
     "Install Starwarden 3", "Play Starwarden 3", IDC_UNINSTALL3, NULL, 2, "\\sw3Inst\\globals.iff", "\\sw3inst\\"},
};
const GameInfo &Game3 = GameTable[2];

int BuildGamePath(char *path, const GameInfo &game, const char *file)
{
    if (FormatText(path, PATH_BUFFER, "%s%s%s", LauncherState.InstalledTo, game.Directory, file))
        return 1;
    ReportTooLong(LauncherState.InstalledTo);
    return 0;
}
