// The system resources dialog: its four figures, read as the user reads
// them, and every way to close it.
#include <gtest/gtest.h>

#include <stdio.h>

#include <functional>

#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {

class SystemResources : public ShownPanelTest {
protected:

    // Opens the dialog, reads its four texts and closes it the given way (by
    // default with OK): a way that leaves it open is a watchdog failure.
    std::vector<std::string> ShowAndRead(const std::function<void(HWND)> &close = PressOk)
    {
        std::vector<std::string> texts;
        HWND owner = NULL;
        ScriptedUi ui;
        ui.SetWatchdogTimeout(3000);
        ui.ExpectDialog("System Resources", [&](HWND dialog) {
            owner = GetWindow(dialog, GW_OWNER);
            for (int id : {IDC_CPU, IDC_RAM, IDC_FOOTPRINT, IDC_DRIVESPACE})
                texts.push_back(ItemText(dialog, id));
            close(dialog);
        }, 0);
        ShowSystemResources();
        ui.Verify();
        EXPECT_EQ(MainDialog, owner);
        return texts;
    }

    static void PressOk(HWND dialog) { PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); }

    static std::string Megabytes(const char *format, unsigned long long bytes)
    {
        char text[64];
        snprintf(text, sizeof text, format, (double)bytes / 1048576.0);
        return text;
    }
};

// It only shows: Esc and the close box close it as OK does.
TEST_F(SystemResources, OkEscAndTheCloseBoxEachCloseIt)
{
    struct Way { const char *name; std::function<void(HWND)> close; };
    const Way ways[] = {
        {"OK", PressOk},
        {"Esc", [](HWND) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"close box", [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        EXPECT_EQ(4u, ShowAndRead(way.close).size());
    }
}

TEST_F(SystemResources, FootprintCountsTheInstalledGamesAndTheExtrasLevel)
{
    struct Case { int game1, game2, game3, level; const char *text; };
    const Case cases[] = {
        {0, 0, 0, 0, "0.00 MB"},
        {1, 1, 1, 0, "41.00 MB"},
        {1, 1, 1, 2, "82.00 MB"},
        {0, 0, 0, 1, "9.00 MB"},   // a level left from a failed installation still counts
        {0, 1, 0, -1, "26.00 MB"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        LauncherState.Game1Installed = c.game1;
        LauncherState.Game2Installed = c.game2;
        LauncherState.Game3Installed = c.game3;
        Game3ExtrasLevel = c.level;
        std::vector<std::string> texts = ShowAndRead();
        ASSERT_EQ(4u, texts.size());
        EXPECT_EQ(c.text, texts[2]);
    }
}

TEST_F(SystemResources, ProcessorMemoryAndTheInstallDrivesSpace)
{
    CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, "D:\\Games\\Saga\\");
    std::vector<std::string> texts = ShowAndRead();
    ASSERT_EQ(4u, texts.size());

    SYSTEM_INFO system;
    GetSystemInfo(&system);
    EXPECT_EQ(ProcessorName(system.dwProcessorType), texts[0]);

    MEMORYSTATUSEX memory;
    memory.dwLength = sizeof memory;
    ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
    EXPECT_EQ(Megabytes("%4.2f MB", memory.ullTotalPhys), texts[1]);  // the total, beyond 4 GB too

    ULARGE_INTEGER available, total, free;
    ASSERT_TRUE(GetDiskFreeSpaceExA("D:\\", &available, &total, &free));
    double freeMegabytes = 0, totalMegabytes = 0;
    ASSERT_EQ(2, sscanf(texts[3].c_str(), "D: %lf/%lf MB", &freeMegabytes, &totalMegabytes)) << texts[3];
    char format[128];
    snprintf(format, sizeof format, "D: %5.1f/%5.1f MB", freeMegabytes, totalMegabytes);
    EXPECT_EQ(format, texts[3]);
    EXPECT_EQ(Megabytes("%.1f", total.QuadPart), Megabytes("%.1f", (unsigned long long)(totalMegabytes * 1048576.0)));
    // Other programs write to the same disk meanwhile.
    EXPECT_NEAR((double)available.QuadPart / 1048576.0, freeMegabytes, 64.0);
}

TEST_F(SystemResources, DriveWhoseFiguresCannotBeReadSaysSo)
{
    CopyText(LauncherState.InstalledTo, sizeof LauncherState.InstalledTo, "Q:\\Saga\\");
    std::vector<std::string> texts = ShowAndRead();
    ASSERT_EQ(4u, texts.size());
    EXPECT_EQ("Q: drive not available", texts[3]);
}

TEST(ProcessorNames, ListedTypesAndUnknownForTheRest)
{
    EXPECT_STREQ("80386", ProcessorName(386));
    EXPECT_STREQ("80486", ProcessorName(486));
    EXPECT_STREQ("Pentium", ProcessorName(586));
    EXPECT_STREQ("Unknown", ProcessorName(686));
    EXPECT_STREQ("Unknown", ProcessorName(8664));
}

}  // namespace
