// The setup dialog's Notes lists, driven for real against our stand-in of the
// Notes programming interface: the server list from the address books and the
// database browser.
#include "tests/setup/setup_fixture.h"
#include "tests/standins/common/standin_exports.h"

namespace
{

HMODULE standin;

// Two address books (one reached through a server path) naming servers in
// several items, and a small local data directory.
std::string notesWorld(const std::string &more = "")
{
    return "idfile\tann.id\tAnn Lee/Acme\n"
           "books\tnames.nsf\tHub/Acme!!pernames.nsf\n"
           "db\t\tnames.nsf\tAnn's Address Book\n"
           "db\t\tpernames.nsf\tPersonal\n"
           "doc\t\tnames.nsf\t1\tMailServer=CN=Hub/O=Acme\tFullName=Ann\n"
           "doc\t\tnames.nsf\t2\tDestination=*/Acme\n"
           "doc\t\tnames.nsf\t3\tDefaultPassthruServer=CN=Relay/O=Acme\n"
           "doc\t\tpernames.nsf\t1\tMAILSERVER=CN=Hub/O=Acme\n"
           "doc\t\tpernames.nsf\t2\tInterNotesServer=CN=Web/O=Acme\n"
           "doc\t\tpernames.nsf\t3\tDestination="
           + std::string(300, 'x')
           + "\n"
             "db\t\tmail\\ann.nsf\tAnn's mail\n"
             "dir\t\tmail\\archive\n"
             "db\t\tmail\\archive\\old.nsf\tOld mail\n"
           + more;
}

HWND browserWindow()
{
    struct Found {
        HWND window;
    } found = {NULL};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM p) -> BOOL {
            char title[64] = "";
            GetWindowTextA(w, title, sizeof title);
            if (strncmp(title, "Notes databases", 15) != 0)
                return TRUE;
            reinterpret_cast<Found *>(p)->window = w;
            return FALSE;
        },
        (LPARAM)&found);
    return found.window;
}

Strings browserEntries(HWND browser)
{
    Strings out;
    HWND list = GetDlgItem(browser, IDC_DB_LIST);
    for (LRESULT i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); i++) {
        char text[300] = "";
        SendMessageA(list, LB_GETTEXT, (WPARAM)i, (LPARAM)text);
        out.push_back(text);
    }
    return out;
}

std::string windowText(HWND window)
{
    char text[300] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Chooses an entry the way a double click does: select it, then OK.
void open(HWND browser, int index)
{
    HWND list = GetDlgItem(browser, IDC_DB_LIST);
    SendMessageA(list, LB_SETCURSEL, (WPARAM)index, 0);
    SendMessageA(browser, WM_COMMAND, MAKEWPARAM(IDC_DB_LIST, LBN_SELCHANGE), (LPARAM)list);
    SendMessageA(browser, WM_COMMAND, IDOK, 0);
}

void up(HWND browser)
{
    SendMessageA(browser, WM_COMMAND, MAKEWPARAM(IDC_DB_UP, BN_CLICKED),
                 (LPARAM)GetDlgItem(browser, IDC_DB_UP));
}

class SetupNotes : public SetupDialog
{
  protected:
    // Posted: the browser runs modally, and the next step acts on it.
    void pressBrowse(HWND dialog)
    {
        HWND page = pageOf(dialog, MAILBOX);
        PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_MB_DATABASE_BROWSE, BN_CLICKED),
                     (LPARAM)GetDlgItem(page, IDC_MB_DATABASE_BROWSE));
    }
    static void SetUpTestSuite()
    {
        standin = LoadLibraryA("NNOTES.DLL");
    }
    void SetUp() override
    {
        SetupDialog::SetUp();
        ASSERT_TRUE(standin) << "the stand-in NNOTES.DLL is not beside the test";
    }
    void world(const std::string &data)
    {
        dir.write("notes.txt", data);
        SetEnvironmentVariableA("PELIMBO_NOTES_DATA", dir.file("notes.txt").c_str());
        standinExport<void (*)(void)>(standin, "standinReset")();
    }
    void notesIni(const std::string &server)
    {
        writeIni("[Pelimbo]\r\nMessageSource=3\r\nUseNotesSettings=FALSE\r\nLogin=ann.id\r\nNotesServer="
                 + server + "\r\nNotesMailDatabase=old.nsf\r\n");
    }
    int openHandles()
    {
        return standinExport<int (*)(void)>(standin, "standinOpenHandles")();
    }
    int sessions()
    {
        return standinExport<int (*)(void)>(standin, "standinSessions")();
    }
};

TEST_F(SetupNotes, ServersFromTheAddressBooksListedOnceWithLocalFirst)
{
    world(notesWorld());
    notesIni("hub/acme");
    Strings servers;
    std::string selected;
    run({[&](HWND d) {
        servers = comboTexts(d, MAILBOX, IDC_MB_NOTES_SERVER);
        HWND combo = control(d, MAILBOX, IDC_MB_NOTES_SERVER);
        char text[300] = "";
        SendMessageA(combo, CB_GETLBTEXT, (WPARAM)SendMessageA(combo, CB_GETCURSEL, 0, 0), (LPARAM)text);
        selected = text;
        pressCancel(d);
    }});
    // The wildcard entry is left out; an over-long value is cut, not overrun.
    EXPECT_EQ(servers, (Strings{"Local", "Hub/Acme", "Relay/Acme", "Web/Acme", std::string(255, 'x')}));
    EXPECT_EQ(selected, "Hub/Acme");
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_EQ(0, openHandles());
    EXPECT_EQ(0, sessions()) << "Notes is released when the dialog ends";
}

TEST_F(SetupNotes, UnreadableAddressBookEntryIsReportedAndSetupGoesOn)
{
    world(notesWorld("fail\tNSFNoteOpen\t0x0225\t1\n"));
    notesIni("Local");
    Strings servers;
    run({[&](HWND d) {
        servers = comboTexts(d, MAILBOX, IDC_MB_NOTES_SERVER);
        pressCancel(d);
    }});
    EXPECT_EQ(boxes.texts(), (Strings{"Error opening address book entry", "Notes error 549",
                                      "Error searching address book", "Notes error 1"}));
    // The first book's search stopped; the second one was read.
    EXPECT_EQ(servers, (Strings{"Local", "Hub/Acme", "Web/Acme", std::string(255, 'x')}));
    EXPECT_EQ(0, openHandles());
}

TEST_F(SetupNotes, BrowserWalksTheLocalDirectoriesAndChoosesADatabase)
{
    world(notesWorld());
    notesIni("Local");
    std::string caption, field;
    Strings top, inMail, inArchive, backInMail, backAtTop;
    bool upAtTop = true, upInMail = false, upBackAtTop = true;
    std::string nameShown;
    int result = run({
        [&](HWND d) { pressBrowse(d); },
        [&](HWND d) {
            HWND b = browserWindow();
            ASSERT_TRUE(b);
            caption = windowText(b);
            top = browserEntries(b);
            upAtTop = IsWindowEnabled(GetDlgItem(b, IDC_DB_UP)) != 0;
            open(b, 0); // mail
            inMail = browserEntries(b);
            upInMail = IsWindowEnabled(GetDlgItem(b, IDC_DB_UP)) != 0;
            open(b, 0); // archive
            inArchive = browserEntries(b);
            nameShown = windowText(GetDlgItem(b, IDC_DB_FILENAME));
            up(b);
            backInMail = browserEntries(b);
            up(b);
            backAtTop = browserEntries(b);
            upBackAtTop = IsWindowEnabled(GetDlgItem(b, IDC_DB_UP)) != 0;
            open(b, 0); // mail again
            HWND list = GetDlgItem(b, IDC_DB_LIST);
            SendMessageA(list, LB_SETCURSEL, 1, 0);
            SendMessageA(b, WM_COMMAND, MAKEWPARAM(IDC_DB_LIST, LBN_SELCHANGE), (LPARAM)list);
        },
        [&](HWND d) {
            HWND b = browserWindow();
            ASSERT_TRUE(b);
            SetForegroundWindow(b);
            captureWindow(b, "notes_browser.bmp");
            SendMessageA(b, WM_COMMAND, IDOK, 0);
        },
        [&](HWND d) {
            field = text(d, MAILBOX, IDC_MB_DATABASE);
            pressOk(d);
        },
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(caption, "Notes databases on Local");
    EXPECT_EQ(top, (Strings{"mail", "Ann's Address Book", "Personal"}));
    EXPECT_FALSE(upAtTop);
    EXPECT_EQ(inMail, (Strings{"archive", "Ann's mail"}));
    EXPECT_TRUE(upInMail);
    EXPECT_EQ(inArchive, Strings{"Old mail"});
    EXPECT_EQ(nameShown, "mail\\archive\\old.nsf");
    EXPECT_EQ(backInMail, inMail);
    EXPECT_EQ(backAtTop, top);
    EXPECT_FALSE(upBackAtTop);
    EXPECT_EQ(field, "mail\\ann.nsf");
    EXPECT_EQ(iniValue(iniText(), "Pelimbo", "NotesMailDatabase"), "mail\\ann.nsf");
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_EQ(0, openHandles());
}

TEST_F(SetupNotes, BrowserOfAServerListsItsOwnDirectory)
{
    world(notesWorld("db\tHub/Acme\tmail\\hub.nsf\tOn the hub\n"));
    notesIni("Hub/Acme");
    std::string caption;
    Strings entries;
    run({
        [&](HWND d) { pressBrowse(d); },
        [&](HWND d) {
            HWND b = browserWindow();
            ASSERT_TRUE(b);
            caption = windowText(b);
            open(b, 0);
            entries = browserEntries(b);
            SendMessageA(b, WM_COMMAND, IDCANCEL, 0);
        },
        [&](HWND d) { pressCancel(d); },
    });
    EXPECT_EQ(caption, "Notes databases on Hub/Acme");
    EXPECT_EQ(entries, Strings{"On the hub"});
    EXPECT_EQ(0, openHandles());
}

} // namespace
