// The previews dialog: the preview movies and the intro, played by the
// disc's movie player, and the credits.
#include "Launcher.h"

struct PreviewMovie {
    int Button;
    const char *File;
    const char *Caption;
};

static const PreviewMovie PreviewMovies[] = {
    {IDC_PREVIEW_SW4, "sw4.avi", "Preview Starwarden 4"},
    {IDC_PREVIEW_F2, "f2.avi", "Preview Freeblade 2"},
    {IDC_PREVIEW_PAL, "pal.avi", "Preview Paladrix: Unbowed"},
    {IDC_PREVIEW_CARWAR, "carwar.avi", "Preview Cartelix Wars"},
    {IDC_REPLAY_INTRO, "intro.avi", "Replay Intro"},
};

static const PreviewMovie *FindPreviewMovie(int button)
{
    for (const PreviewMovie &movie : PreviewMovies)
        if (movie.Button == button)
            return &movie;
    return NULL;
}

// The player and its working directory, the movies' directory on the CD.
static void BuildMoviePlayerPaths(char *player, char *directory)
{
    BuildCdPath(player, PATH_BUFFER, "D:\\install\\rezmovie.exe");
    BuildCdPath(directory, PATH_BUFFER, "D:\\install\\");
}

void PlayPreview(HWND dialog, int button)
{
    const PreviewMovie *movie = FindPreviewMovie(button);
    if (movie == NULL)
        return;
    char player[PATH_BUFFER], directory[PATH_BUFFER], probe[PATH_BUFFER], command[PATH_BUFFER];
    BuildMoviePlayerPaths(player, directory);
    FormatText(probe, sizeof probe, "%s%s", directory, movie->File);
    const char *option = IsDlgButtonChecked(dialog, IDC_FULLSCREEN) == BST_CHECKED ? "" : " -low";
    if (!PromptForDisc(probe, 1, movie->Caption, dialog))
        return;
    FormatText(command, sizeof command, "%s %s%s", player, movie->File, option);
    RunAndWait(directory, player, command, dialog);
}

void ReplayIntro(HWND owner)
{
    char player[PATH_BUFFER], directory[PATH_BUFFER], command[PATH_BUFFER];
    BuildMoviePlayerPaths(player, directory);
    // The intro at start-up is always played in full.
    FormatText(command, sizeof command, "%s %s", player, "intro.avi");
    if (!PromptForDisc(player, 1, "Replay Intro", owner))
        return;
    RunAndWait(directory, player, command, owner);
}

static BOOL OnInitPreviews(HWND dialog)
{
    InitArtPanel(&PreviewArtPanel, dialog);
    CentreWindow(dialog);
    CheckDlgButton(dialog, IDC_FULLSCREEN, BST_CHECKED);
    return TRUE;
}

static BOOL OnPreviewsCommand(HWND dialog, int id)
{
    switch (id) {
    case IDCANCEL:
        EndDialog(dialog, 0);
        return TRUE;
    case IDC_PREVIEW_SW4:
    case IDC_PREVIEW_F2:
    case IDC_PREVIEW_CARWAR:
    case IDC_PREVIEW_PAL:
    case IDC_REPLAY_INTRO:
        PlayPreview(dialog, id);
        return TRUE;
    case IDC_CREDITS:
        OpenCredits(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK PreviewsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return OnInitPreviews(dialog);
    case WM_COMMAND:
        return OnPreviewsCommand(dialog, LOWORD(wParam));
    case WM_QUERYNEWPALETTE:
        QueryNewPaletteStep(&PreviewArtPanel, dialog);
        return FALSE;
    case WM_PALETTECHANGED:
        PaletteChangedStep(&PreviewArtPanel, dialog, (HWND)wParam);
        return TRUE;
    default:
        return FALSE;
    }
}
