/* Resource identifiers of the launcher, grouped by kind. The numbers are
   part of the program's outward shape (templates and bitmaps are looked up
   by them), so they are fixed, not generated. */
#ifndef DSAGA_RESOURCE_H
#define DSAGA_RESOURCE_H

/* Dialog templates */
#define IDD_MAIN                101
#define IDD_PREVIEWS            113
#define IDD_CHANGE_DIR          115
#define IDD_ADDITIONAL          120
#define IDD_SYSRES              121

/* Bitmaps */
#define IDB_MAIN_ART            112
#define IDB_PREVIEW_ART         114

/* Controls of the main dialog */
#define IDC_GAME1               1000
#define IDC_UNINSTALL1          1001
#define IDC_GAME2               1002
#define IDC_UNINSTALL2          1003
#define IDC_GAME3               1004
#define IDC_UNINSTALL3          1005
#define IDC_SYSINFO             1006
#define IDC_DIRECTX             1008
#define IDC_PREVIEWS            1009
#define IDC_STATUS_TEXT1        1011
#define IDC_STATUS_FRAME        1012
#define IDC_STATUS_TEXT2        1014
#define IDC_INSTALL_BAR         1022
#define IDC_INVULNERABLE        1023
#define IDC_MAIN_ART            1025
#define IDC_HELPFILE            1029

/* Controls of the previews dialog */
#define IDC_PREVIEW_ART         1026
#define IDC_PREVIEW_SW4         1027
#define IDC_FULLSCREEN          1030
#define IDC_PREVIEW_F2          1031
#define IDC_PREVIEW_CARWAR      1032
#define IDC_PREVIEW_PAL         1033
#define IDC_REPLAY_INTRO        1034
#define IDC_CREDITS             1035

/* Controls of the additional-installation dialog */
#define IDC_ADD_NONE            1036
#define IDC_ADD_BETTER          1037
#define IDC_ADD_BEST            1038

/* Controls of the system resources dialog */
#define IDC_CPU                 1040
#define IDC_RAM                 1041
#define IDC_FOOTPRINT           1042
#define IDC_DRIVESPACE          1043

/* Controls of the install-directory chooser. They share 1001 and 1002 with
   the main dialog's first uninstall button and second game button: ids need
   only be unique within one dialog, and these numbers are part of the
   template's outward shape, which programs driving the chooser rely on. */
#define IDC_DIR_EDIT            1001
#define IDC_DIR_LIST            1002

#endif
