// The notifier polling Notes around a setup dialog: the session is closed
// while the setup library uses Notes and opened again after, and only a
// change of the Notes settings starts the mail state afresh.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/core.h"
#include "mail/mail.h"
#include "notifier/window.h"
#include "setup/setupids.h"
#include "sources/notes.h"
#include "tests/setup/notifier_fixture.h"
#include "tests/standins/common/standin_exports.h"
#include "tests/support/msgbox_capture.h"

namespace
{

HMODULE standin;

int sessions()
{
    return standinExport<int (*)(void)>(standin, "standinSessions")();
}

std::string standinLog()
{
    return standinExport<const char *(*)(void)>(standin, "standinLog")();
}

void selectFolder(HWND dialog, const char *folder)
{
    HWND combo = control(dialog, "Mailbox", IDC_MB_FOLDER);
    SendMessageA(combo, CB_SELECTSTRING, (WPARAM)-1, (LPARAM)folder);
}

class NotesSetupCycle : public NotifierWithSetup
{
  protected:
    static void SetUpTestSuite()
    {
        standin = LoadLibraryA("NNOTES.DLL");
    }
    void SetUp() override
    {
        ASSERT_TRUE(standin) << "the stand-in NNOTES.DLL is not beside the test";
        NotifierWithSetup::SetUp();
        // The client's own settings name the database; the INI file does not.
        dir.write("notes.txt",
                  "idfile\tann.id\tAnn Lee/Acme\n"
                  "env\tKeyFilename\tann.id\nenv\tMailServer\tLocal\nenv\tMailFile\tmail\\ann.nsf\n"
                  "note\t\tmail\\ann.nsf\t1\tBob\tHello\t100\n"
                  "note\t\tmail\\ann.nsf\t2\tCy\tLunch\t200\n"
                  "note\t\tmail\\ann.nsf\t3\tAnn\tMinutes\t300\n"
                  "view\t\tmail\\ann.nsf\t$Inbox\t1,2\n"
                  "view\t\tmail\\ann.nsf\t$Sent\t3\n");
        SetEnvironmentVariableA("PELIMBO_NOTES_DATA", dir.file("notes.txt").c_str());
        standinExport<void (*)(void)>(standin, "standinReset")();
        dir.write("PELIMBO.INI", "[Pelimbo]\r\nMessageSource=3\r\nLogin=ann.id\r\nPollInterval=3600\r\n");
    }
    // Runs the setup command with the steps acting on its dialog.
    bool setupWith(const std::vector<Step> &steps)
    {
        return withSetupDialog(steps, [] { return runSetup() ? 1 : 0; }) != 0;
    }
};

TEST_F(NotesSetupCycle, SessionMakesWayForSetupAndOnlyNotesChangesResetTheMail)
{
    MessageBoxCapture boxes;
    ASSERT_EQ(-1, startOnIni());
    ASSERT_TRUE(notesSource.loaded);
    EXPECT_EQ(2, notifier.headerCount);

    // OK without a change: the client's settings put into memory again are
    // not taken for changes, so the mail stays as it is.
    bool notifierClosed = false;
    int sessionsDuringSetup = -1;
    EXPECT_TRUE(setupWith({[&](HWND d) {
        notifierClosed = !notesSource.loaded;
        sessionsDuringSetup = sessions();
        pressOk(d);
    }}));
    EXPECT_TRUE(notifierClosed) << "the notifier's session is closed while the setup library runs";
    EXPECT_EQ(1, sessionsDuringSetup) << "only the setup library's own session";
    EXPECT_TRUE(notesSource.loaded);
    EXPECT_EQ(1, sessions());
    EXPECT_EQ(2, notifier.headerCount);

    // Another folder starts afresh, and the next poll reads it.
    EXPECT_TRUE(setupWith({[&](HWND d) {
        selectFolder(d, "Sent");
        pressOk(d);
    }}));
    EXPECT_TRUE(notesSource.loaded);
    EXPECT_EQ(0, notifier.headerCount);
    EXPECT_FALSE(notifier.haveMail);
    pollNotes();
    EXPECT_NE(std::string::npos, standinLog().find("NIFFindDesignNote:$Sent:8")) << standinLog();
    EXPECT_EQ(1, notifier.headerCount);

    // Cancel opens the session again and changes nothing.
    EXPECT_FALSE(setupWith({[&](HWND d) { pressCancel(d); }}));
    EXPECT_TRUE(notesSource.loaded);
    EXPECT_EQ(1, sessions());
    EXPECT_EQ(1, notifier.headerCount);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{});

    DestroyWindow(win.mainWindow);
    EXPECT_FALSE(notesSource.loaded);
    EXPECT_EQ(0, sessions()) << "the session ends with the program";
}

} // namespace
