// The install-directory chooser on its own: typed paths and their messages,
// walking the list with the keyboard and the mouse, and every way out.
#include <gtest/gtest.h>

#include <functional>
#include <string.h>

#include "TestEnv.h"
#include "UiDriver.h"
#include "WindowText.h"

namespace {

const char TypedErrorCaption[] = "Change Install Directory Error:";

class Chooser : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTestState();
        GetCurrentDirectoryA(sizeof before, before);
        SetCurrentDirectoryA(TestRoot().c_str());
        memset(result, 'x', sizeof result);
    }
    void TearDown() override { SetCurrentDirectoryA(before); }

    int Choose() { return ChooseDirectory(GetModuleHandleA(NULL), "C:\\", result); }

    struct Box { std::string caption, text; int answer; };
    // Types `typed`, presses OK and answers the boxes that follow; the last
    // answer has Cancel queued behind it, so a 1 from the chooser means the
    // path was accepted in spite of the boxes.
    int TypeAndAnswer(const std::string &typed, const std::vector<Box> &boxes)
    {
        ScriptedUi ui;
        ui.ExpectDialog(ChooserCaption, [&](HWND d) { SetEditText(d, IDC_DIR_EDIT, typed.c_str()); }, IDOK);
        for (size_t i = 0; i < boxes.size(); i++) {
            bool last = i + 1 == boxes.size();
            const Box &box = boxes[i];
            ui.ExpectDialog(box.caption, [box, last](HWND window) {
                EXPECT_EQ(box.text, ItemText(window, 0xFFFF));
                HWND owner = GetWindow(window, GW_OWNER);
                EXPECT_EQ(ChooserWindow, owner);
                if (last)
                    PostMessageA(owner, WM_COMMAND, IDCANCEL, 0);
            }, box.answer);
        }
        int chosen = Choose();
        ui.Verify();
        return chosen;
    }

    bool ResultUntouched() const { return result[0] == 'x' && result[PATH_BUFFER - 1] == 'x'; }
    std::string CurrentDirectory() const
    {
        char current[MAX_PATH];
        GetCurrentDirectoryA(sizeof current, current);
        return current;
    }

    char before[MAX_PATH];
    char result[PATH_BUFFER];
};

std::string CdRomMessage(char drive)
{
    return std::string(1, drive) + ": is a CD-ROM drive.\nThe games are installed to a hard disk: please choose a "
                                   "directory on one, for example C:\\Games\\Draxmoor Saga";
}

TEST_F(Chooser, TypedPathsThatCannotBeUsedAreRefusedWithTheirOwnMessage)
{
    WriteFileBytes(TestRoot() + "plain.txt", "a file, not a directory");
    const std::string tooLongMessage = "The install directory may be at most " +
                                       std::to_string((int)MAX_INSTALL_DIRECTORY) +
                                       " characters long, so that every file of the games fits the system's "
                                       "limit of 259 characters for a path.\nPlease choose a shorter path.";
    const std::string notADirectory = "C:\\dsaga-tests\\plain.txt\nis a file, not a directory.\nPlease type the "
                                      "path of a directory to install to, for example C:\\Games\\Draxmoor Saga";
    // With its backslash one character more than allowed; and one far beyond the edit buffer.
    const std::string tooLong = "C:\\" + std::string(MAX_INSTALL_DIRECTORY - 3, 'l');
    const std::string farTooLong = "C:\\" + std::string(1500, 'l');
    const std::string longest = "C:\\" + std::string(MAX_INSTALL_DIRECTORY - 4, 'l');
    struct Case { std::string typed; std::vector<Box> boxes; };
    const Case cases[] = {
        {"", {{TypedErrorCaption, "Could not open directory", IDOK}}},
        {"games",
         {{TypedErrorCaption,
           "Games\\\nis not a full path.\nPlease type the whole path, beginning with the drive letter, for example "
           "C:\\Games\\Draxmoor Saga",
           IDOK}}},
        {"q:\\x", {{"The drive you typed in does NOT exist!", "Q:\\", IDOK}}},
        {"c:\\dsaga-tests\\plain.txt\\sub",
         {{CreateCaption, "C:\\dsaga-tests\\plain.txt\\sub\\", IDYES},
          {"Could not create the directory:", "C:\\dsaga-tests\\plain.txt\\sub\\", IDOK}}},
        // A file as the last part, typed with or without the backslash.
        {"c:\\dsaga-tests\\plain.txt", {{TypedErrorCaption, notADirectory, IDOK}}},
        {"c:\\dsaga-tests\\plain.txt\\", {{TypedErrorCaption, notADirectory, IDOK}}},
        {"c:\\dsaga-tests\\not yet", {{CreateCaption, "C:\\dsaga-tests\\not yet\\", IDNO}}},
        {"c:\\dsaga-tests", {{ConfirmCaption, "C:\\dsaga-tests\\", IDNO}}},
        {tooLong, {{TypedErrorCaption, tooLongMessage, IDOK}}},
        {farTooLong, {{TypedErrorCaption, tooLongMessage, IDOK}}},
        {longest, {{CreateCaption, longest + "\\", IDNO}}},  // long, but short enough
        // The CD-ROM drives, one holding a disc and one empty.
        {"d:\\", {{TypedErrorCaption, CdRomMessage('D'), IDOK}}},
        {"e:\\games", {{TypedErrorCaption, CdRomMessage('E'), IDOK}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.substr(0, 40));
        EXPECT_EQ(0, TypeAndAnswer(c.typed, c.boxes));
        EXPECT_TRUE(ResultUntouched());
    }
    EXPECT_FALSE(PathExists(TestRoot() + "not yet"));
    EXPECT_EQ("a file, not a directory", ReadFileBytes(TestRoot() + "plain.txt"));
    EXPECT_EQ("C:\\dsaga-tests", CurrentDirectory());
}

TEST_F(Chooser, OneCharacterBeyondTheLongestDirectoryIsRefusedWhetherItExistsOrNot)
{
    const std::string message = "The install directory may be at most " +
                                std::to_string((int)MAX_INSTALL_DIRECTORY) +
                                " characters long, so that every file of the games fits the system's limit of "
                                "259 characters for a path.\nPlease choose a shorter path.";
    const std::string existing = DirectoryOfLength(MAX_INSTALL_DIRECTORY + 1, 'e');
    const std::string missing = DirectoryOfLength(MAX_INSTALL_DIRECTORY + 1, 'm');
    CreateDirectoryLevels(existing);
    for (const std::string &typed : {existing, missing}) {
        SCOPED_TRACE(typed);
        EXPECT_EQ(0, TypeAndAnswer(typed.substr(0, typed.size() - 1), {{TypedErrorCaption, message, IDOK}}));
        EXPECT_TRUE(ResultUntouched());
    }
    EXPECT_FALSE(PathExists(missing.substr(0, missing.find('\\', TestRoot().size()))));
}

TEST_F(Chooser, AnExistingPathIsConfirmedAndHandedBackWithItsBackslash)
{
    CreateDirectoryA((TestRoot() + "Games").c_str(), NULL);
    ScriptedUi ui;
    ui.ExpectDialog(ChooserCaption, [](HWND d) { SetEditText(d, IDC_DIR_EDIT, "c:\\dsaga-tests\\Games"); }, IDOK)
      .ExpectBox(ConfirmCaption, "C:\\dsaga-tests\\Games\\", IDYES).WithStyle(MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(1, Choose());
    ui.Verify();
    EXPECT_STREQ("C:\\dsaga-tests\\Games\\", result);
    EXPECT_EQ("C:\\dsaga-tests", CurrentDirectory());  // listing moved it; it is back
}

TEST_F(Chooser, EnterInTheListOpensTheEntryAndInThePathBoxActsAsOk)
{
    CreateDirectoryA((TestRoot() + "Games").c_str(), NULL);
    std::string shown;
    ScriptedUi ui;
    ui.SetWatchdogTimeout(5000);
    ui.ExpectDialog(ChooserCaption, [&](HWND dialog) {
        StepThrough(dialog, {
            [](HWND d) {
                EXPECT_TRUE(SelectListText(d, IDC_DIR_LIST, "[dsaga-tests]"));
                SetFocus(GetDlgItem(d, IDC_DIR_LIST));
                PressKeyOnFocus(VK_RETURN);
            },
            [&](HWND d) {
                shown = ItemText(d, IDC_DIR_EDIT);
                ClickItem(d, IDC_DIR_EDIT);
            },
            [](HWND d) {
                EXPECT_EQ(IDC_DIR_EDIT, FocusedItem(d));
                SetEditText(d, IDC_DIR_EDIT, "c:\\dsaga-tests\\Games");
                PressKeyOnFocus(VK_RETURN);
            },
        });
    }, 0)
      .ExpectBox(ConfirmCaption, "C:\\dsaga-tests\\Games\\", IDYES);
    EXPECT_EQ(1, Choose());
    ui.Verify();
    EXPECT_EQ("C:\\dsaga-tests\\", shown);
    EXPECT_STREQ("C:\\dsaga-tests\\Games\\", result);
}

TEST_F(Chooser, CancelEscapeAndTheCloseBoxHandNothingBack)
{
    const std::function<void(HWND)> ways[] = {
        [](HWND d) { PostMessageA(d, WM_COMMAND, IDCANCEL, 0); },
        [](HWND d) { PostMessageA(GetDlgItem(d, IDC_DIR_EDIT), WM_KEYDOWN, VK_ESCAPE, 0); },
        [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (const auto &way : ways) {
        ScriptedUi ui;
        ui.ExpectDialog(ChooserCaption, [&](HWND d) {
            EXPECT_TRUE(DoubleClickListText(d, IDC_DIR_LIST, "[dsaga-tests]"));
            way(d);
        }, 0);
        EXPECT_EQ(0, Choose());
        ui.Verify();
        EXPECT_TRUE(ResultUntouched());
        EXPECT_EQ("C:\\dsaga-tests", CurrentDirectory());
    }
}

TEST_F(Chooser, ADialogThatCannotBeCreatedIsACancelEvenAfterAnAcceptedRun)
{
    {
        ScriptedUi ui;
        ui.ExpectDialog(ChooserCaption, [](HWND) {}, IDOK).ExpectBox(ConfirmCaption, "C:\\", IDYES);
        ASSERT_EQ(1, Choose());
        ui.Verify();
    }
    memset(result, 'x', sizeof result);
    ScriptedUi ui;
    ui.ExpectBox("GetPath Error", "Could not create Main Dialog box", IDOK).WithStyle(MB_OK);
    // A module without the template.
    EXPECT_EQ(0, ChooseDirectory(GetModuleHandleA("kernel32.dll"), "C:\\", result));
    ui.Verify();
    EXPECT_TRUE(ResultUntouched());
}

TEST_F(Chooser, ADriveEntryListsThatDrive)
{
    std::string shown;
    ScriptedUi ui;
    ui.ExpectDialog(ChooserCaption, [&](HWND d) {
        EXPECT_TRUE(DoubleClickListText(d, IDC_DIR_LIST, "[-d-]"));
        shown = ItemText(d, IDC_DIR_EDIT);
        EXPECT_TRUE(SelectListText(d, IDC_DIR_LIST, "[sw1]"));  // disc 1's directories
    }, IDCANCEL);
    EXPECT_EQ(0, Choose());
    ui.Verify();
    EXPECT_EQ("d:\\", shown);
}

}  // namespace
