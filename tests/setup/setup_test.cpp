// The setup dialog, driven for real: each test writes an INI file, opens the
// dialog through doSetup of the loaded library, acts on the controls, presses
// OK or Cancel and reads the file back.
#include <algorithm>

#include "tests/config/saved_keys.h"
#include "tests/setup/setup_fixture.h"

namespace
{

// --- Cancel and OK ---------------------------------------------------------------------------------

TEST_F(SetupDialog, CancelAndCloseBoxWriteNothing)
{
    writeIni(validDiskFile() + "PollInterval=90\r\n[Filters]\r\nalpha#0#0=\r\n");
    std::string before = iniText();
    int result = run({[&](HWND d) {
        setText(d, MAILBOX, IDC_MB_INTERVAL, "300");
        click(d, "Message source", IDC_SRC_FIRST + 7);
        click(d, "Window", IDC_WIN_STAY_ON_TOP);
        selectListEntry(d, "Filters", IDC_FL_LIST, 0);
        click(d, "Filters", IDC_FL_DELETE);
        pressCancel(d);
    }});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(iniText(), before);

    result = run({[&](HWND d) {
        click(d, "Window", IDC_WIN_STAY_ON_TOP);
        SendMessageA(d, WM_CLOSE, 0, 0);
    }});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(iniText(), before);

    // No file at all: Cancel does not create one.
    DeleteFileA(ini().c_str());
    result = run({[&](HWND d) { pressCancel(d); }});
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(dir.exists("PELIMBO.INI"));
}

TEST_F(SetupDialog, OkWritesEveryKeyInOrder)
{
    // No INI file yet: every key takes its default and is appended in write order.
    int result = run({[&](HWND d) {
        setText(d, MAILBOX, IDC_MB_MAILFILE, dir.file("in.mbx").c_str());
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    EXPECT_EQ(boxes.texts(), Strings{});
    std::string text = iniText();
    const Strings expectedKeys = savedKeyOrder();
    EXPECT_EQ(sectionKeys(text, "Pelimbo"), expectedKeys);
    const std::pair<const char *, std::string> values[] = {
        {"MailFile", dir.file("in.mbx")},
        {"PollInterval", "60"},
        {"AlarmInterval", "30"},
        {"WindowAction", "2"},
        {"MessageSource", "0"},
        {"SoundOption", "0"},
        {"Password", scrambled("")},
        {"NotesFolder", "Inbox"},
        {"ColorList", "65535,0,16711680,16777215,65535"},
        {"InactivityTimeout", "30"},
        {"ConnectTimeout", "60"},
        {"WinSockInitTimeout", "120"},
        {"POP3Port", "110"},
        {"IMAP4Port", "143"},
        {"Connection", "<Direct connection>"},
        {"UseNotesSettings", "TRUE"},
        {"Notes3xMailbox", "FALSE"},
        {"NotesPollErrors", "TRUE"},
        {"ConfirmDeletes", "TRUE"},
        {"NetErrors", "TRUE"},
        {"WAVOnce", "TRUE"},
        {"BlinkIconOnPoll", "TRUE"},
        {"StayOnTop", "FALSE"},
        {"UseFilters", "FALSE"},
        {"HangupConnection", "FALSE"},
        {"Balloon", "TRUE"},
        {"Security", "0"},
        {"TrustFile", ""},
        {"Idle", "TRUE"}, // a new configuration watches
        {"Auth", "0"},
        {"OAuthProvider", "0"},
        {"OAuthToken", ""},
        {"ProtectPassword", "FALSE"},
        {"PasswordProtected", ""},
    };
    for (const auto &value : values)
        EXPECT_EQ(iniValue(text, "Pelimbo", value.first), value.second) << value.first;
    EXPECT_EQ(sectionKeys(text, "Filters"), Strings{});
    EXPECT_EQ(sectionKeys(text, "WAVBase"), Strings{});
}

TEST_F(SetupDialog, OkCollectsEveryPageWithItsLimits)
{
    SetEnvironmentVariableA("PELSETUP_USER", "ann");
    writeIni("[Pelimbo]\r\nMessageSource=7\r\nLogin=$PELSETUP_USER$\r\nMailHost=pop.example.org\r\n"
             "UseFilters=TRUE\r\nSoundOption=2\r\n"
             "[Filters]\r\nzeta#1#2=\r\nAlpha#0#1=\r\n[WAVBase]\r\nboss#"
             + dir.file("a.wav") + "#1=\r\n");
    int result = run({[&](HWND d) {
        setText(d, MAILBOX, IDC_MB_PASSWORD, "secret");
        setText(d, MAILBOX, IDC_MB_INTERVAL, "3");
        setText(d, MAILBOX, IDC_MB_IMAP, "INBOX.mail");
        click(d, "Message source", IDC_SRC_UNREAD);
        setText(d, "Window", IDC_WIN_CAPTION, "Post for $PELSETUP_USER$");
        click(d, "Window", IDC_WIN_RESTORE);
        click(d, "Window", IDC_WIN_EXIT_MENU);
        setText(d, "Mail reader", IDC_RD_START_IN, dir.path().c_str());
        click(d, "Mail reader", IDC_RD_DETECT);
        setText(d, "Filters", IDC_FL_LOG_FILE, "C:\\logs\\deleted.log");
        click(d, "Filters", IDC_FL_LOG);
        click(d, "Sound", IDC_SN_ALARM);
        setText(d, "Sound", IDC_SN_INTERVAL, "0");
        click(d, "WAVBase", IDC_WB_ONCE);
        setText(d, "Network", IDC_NW_WINSOCK, "0");
        setText(d, "Network", IDC_NW_CONNECT, "0");
        setText(d, "Network", IDC_NW_INACTIVITY, "999");
        setText(d, "Network", IDC_NW_POP3, "0");
        setText(d, "Network", IDC_NW_IMAP4, "993");
        click(d, "Network", IDC_NW_ERRORS);
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    EXPECT_EQ(boxes.texts(), Strings{});
    std::string text = iniText();
    const std::pair<const char *, std::string> values[] = {
        {"MessageSource", "7"},
        {"Login", "$PELSETUP_USER$"},
        {"Password", scrambled("secret")},
        {"PollInterval", "5"},
        {"IMAPMailBox", "INBOX.mail"},
        {"UnreadOnly", "TRUE"},
        {"WindowCaption", "Post for $PELSETUP_USER$"},
        {"WindowAction", "1"},
        {"ExitMenu", "TRUE"},
        {"ReaderStartDir", dir.path()},
        {"DetectReader", "TRUE"},
        {"DeleteFile", "C:\\logs\\deleted.log"},
        {"LogDeletes", "TRUE"},
        {"Alarm", "TRUE"},
        {"AlarmInterval", "1"},
        {"SoundOption", "2"},
        {"WAVOnce", "FALSE"},
        {"WinSockInitTimeout", "120"},
        {"ConnectTimeout", "60"},
        {"InactivityTimeout", "999"},
        {"POP3Port", "110"},
        {"IMAP4Port", "993"},
        {"NetErrors", "FALSE"},
        {"Idle", "FALSE"}, // a stored file without the key keeps polling
    };
    for (const auto &value : values)
        EXPECT_EQ(iniValue(text, "Pelimbo", value.first), value.second) << value.first;
    EXPECT_EQ(sectionKeys(text, "Filters"), (Strings{"Alpha#0#1", "zeta#1#2"}));
    EXPECT_EQ(sectionKeys(text, "WAVBase"), (Strings{"boss#" + dir.file("a.wav") + "#1"}));

    // A prompted password is never stored.
    boxes.clear();
    result = run({[&](HWND d) {
        click(d, MAILBOX, IDC_MB_PROMPT);
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    EXPECT_EQ(iniValue(iniText(), "Pelimbo", "PasswordPrompt"), "TRUE");
    EXPECT_EQ(iniValue(iniText(), "Pelimbo", "Password"), "");
}

// --- Tabs, keys and help -----------------------------------------------------------------------------

TEST_F(SetupDialog, TabsComeAndGoAndReturnAtTheEnd)
{
    writeIni(validDiskFile() + "UseFilters=TRUE\r\n");
    Strings start, pop3, diskAgain, filtersOff, filtersOn, wavBaseOn, wavBaseOff;
    bool fileFieldShown = true, loginShown = false, hostLabel = false, postOffice = true, networkPage = false;
    bool ccPostOffice = false, ccHostLabel = true, ccHost = false;
    std::string shownNetwork;
    int result = run({[&](HWND d) {
        start = tabLabels(d);
        click(d, "Message source", IDC_SRC_FIRST + 7);
        pop3 = tabLabels(d);
        fileFieldShown = visible(d, MAILBOX, IDC_MB_MAILFILE) || visible(d, MAILBOX, IDC_MB_BROWSE);
        loginShown = visible(d, MAILBOX, IDC_MB_LOGIN) && visible(d, MAILBOX, IDC_MB_PASSWORD)
                     && visible(d, MAILBOX, IDC_MB_PROMPT) && visible(d, MAILBOX, IDC_MB_HOST);
        hostLabel = visible(d, MAILBOX, IDC_MB_HOST_LABEL);
        postOffice = visible(d, MAILBOX, IDC_MB_POSTOFFICE_LABEL);
        selectTab(d, "Network");
        shownNetwork = shownPage(d);
        networkPage = shownNetwork == "Network";
        selectTab(d, "Message source");
        click(d, "Message source", IDC_SRC_FIRST + 2);
        ccPostOffice = visible(d, MAILBOX, IDC_MB_POSTOFFICE_LABEL);
        ccHostLabel = visible(d, MAILBOX, IDC_MB_HOST_LABEL);
        ccHost = visible(d, MAILBOX, IDC_MB_HOST);
        click(d, "Message source", IDC_SRC_FIRST);
        diskAgain = tabLabels(d);
        click(d, "Message source", IDC_SRC_FILTERS);
        filtersOff = tabLabels(d);
        click(d, "Message source", IDC_SRC_FILTERS);
        filtersOn = tabLabels(d);
        click(d, "Sound", IDC_SN_WAVBASE);
        wavBaseOn = tabLabels(d);
        click(d, "Sound", IDC_SN_NONE);
        wavBaseOff = tabLabels(d);
        pressCancel(d);
    }});
    EXPECT_EQ(result, 0);
    const Strings base = {"Message source", "Mailbox", "Window", "Mail reader", "Filters", "Colors", "Sound"};
    EXPECT_EQ(start, base);
    Strings withNetwork = base;
    withNetwork.push_back("Network");
    withNetwork.push_back("Sign-in");
    EXPECT_EQ(pop3, withNetwork);
    EXPECT_FALSE(fileFieldShown);
    EXPECT_TRUE(loginShown);
    EXPECT_TRUE(hostLabel);
    EXPECT_FALSE(postOffice);
    EXPECT_TRUE(networkPage) << shownNetwork;
    EXPECT_TRUE(ccPostOffice);
    EXPECT_FALSE(ccHostLabel);
    EXPECT_TRUE(ccHost);
    EXPECT_EQ(diskAgain, base);
    EXPECT_EQ(filtersOff, (Strings{"Message source", "Mailbox", "Window", "Mail reader", "Colors", "Sound"}));
    EXPECT_EQ(filtersOn,
              (Strings{"Message source", "Mailbox", "Window", "Mail reader", "Colors", "Sound", "Filters"}));
    EXPECT_EQ(wavBaseOn, (Strings{"Message source", "Mailbox", "Window", "Mail reader", "Colors", "Sound",
                                  "Filters", "WAVBase"}));
    EXPECT_EQ(wavBaseOff, filtersOn);
}

TEST_F(SetupDialog, CtrlTabStepsForwardAndWraps)
{
    writeIni(validDiskFile());
    std::string afterFirst, afterLast, pageAfterLast;
    int result = run({
        [&](HWND d) { postKey(d, VK_TAB, true); },
        [&](HWND d) {
            afterFirst = selectedTab(d);
            selectTab(d, "Sound");
            postKey(d, VK_TAB, true);
        },
        [&](HWND d) {
            afterLast = selectedTab(d);
            pageAfterLast = shownPage(d);
            postKey(d, VK_TAB, false); // release Ctrl for the rest of the run
        },
        [&](HWND d) { pressCancel(d); },
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(afterFirst, "Mailbox");
    EXPECT_EQ(afterLast, "Message source");
    EXPECT_EQ(pageAfterLast, "Message source");
}

TEST_F(SetupDialog, HelpOpensTheShownPagesContext)
{
    // POP3 without filters: Network is the sixth tab but keeps its context 9.
    writeIni(validDiskFile() + "MessageSource=7\r\nLogin=ann\r\nMailHost=h\r\nPassword=6B\r\n");
    std::vector<Step> steps;
    const char *const order[] = {"Message source", "Network", "Colors", "Mail reader",
                                 "Sound",          "Mailbox", "Window"};
    for (const char *label : order) {
        steps.push_back([label](HWND d) {
            selectTab(d, label);
            postKey(d, VK_F1, false);
        });
    }
    steps.push_back([](HWND d) {
        click(d, "Message source", IDC_SRC_FILTERS);
        selectTab(d, "Filters");
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_SETUP_HELP, BN_CLICKED),
                     (LPARAM)GetDlgItem(d, IDC_SETUP_HELP));
    });
    steps.push_back([](HWND d) { pressCancel(d); });
    int result = run(steps);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(SetupLibrary::helpRequests, (std::vector<int>{1, 9, 6, 4, 7, 2, 3, 5}));
}

// --- Filters and WAVBase ---------------------------------------------------------------------------

TEST_F(SetupDialog, FilterListEditing)
{
    writeIni(validDiskFile() + "UseFilters=TRUE\r\n[Filters]\r\nzeta#0#0=\r\nalpha#0#0=\r\n");
    Strings afterAdd, afterRefused, afterDelete;
    int selectedAfterAdd = -1, selectedAfterDelete = -1;
    bool ignoreShown = false, stillAdding = false, deleteDisabled = false, buttonsDisabled = false;
    Strings refusal, question;
    Focus refusedFocus;
    int result = run({
        [&](HWND d) {
            click(d, "Filters", IDC_FL_ADD);
            setText(d, "Filters", IDC_FL_NEW, "Urgent");
            click(d, "Filters", IDC_FL_DELETE_ACTION);
            click(d, "Filters", IDC_FL_SUBJECT);
            click(d, "Filters", IDC_FL_DONE);
            afterAdd = listTexts(d, "Filters", IDC_FL_LIST);
            selectedAfterAdd = listSelection(d, "Filters", IDC_FL_LIST);
            ignoreShown = checked(d, "Filters", IDC_FL_IGNORE) && checked(d, "Filters", IDC_FL_FROM);

            selectTab(d, "Filters");
            boxes.clear();
            click(d, "Filters", IDC_FL_ADD);
            // Texts a key name cannot hold: "a=b" would come back as the key "a".
            for (const char *bad : {"a#b", "a=b"}) {
                setText(d, "Filters", IDC_FL_NEW, bad);
                click(d, "Filters", IDC_FL_DONE);
            }
            refusal = boxes.texts();
            afterRefused = listTexts(d, "Filters", IDC_FL_LIST);
            stillAdding = enabled(d, "Filters", IDC_FL_NEW) && !enabled(d, "Filters", IDC_FL_LIST);
            refusedFocus = focusedControl(d);
            setText(d, "Filters", IDC_FL_NEW, "");
            click(d, "Filters", IDC_FL_DONE);

            // Deleting the last entry selects the new last one.
            boxes.clear();
            selectListEntry(d, "Filters", IDC_FL_LIST, 2);
            click(d, "Filters", IDC_FL_DELETE);
            question = boxes.texts();
            afterDelete = listTexts(d, "Filters", IDC_FL_LIST);
            selectedAfterDelete = listSelection(d, "Filters", IDC_FL_LIST);
            pressOk(d);
        },
    });
    ASSERT_EQ(result, 1);
    EXPECT_EQ(afterAdd, (Strings{"alpha", "Urgent", "zeta"}));
    EXPECT_EQ(selectedAfterAdd, 0);
    EXPECT_TRUE(ignoreShown) << "entry 0's buttons are shown after an add";
    EXPECT_EQ(refusal, (Strings{"String may not contain '#'", "String may not contain '='"}));
    EXPECT_EQ(afterRefused, afterAdd);
    EXPECT_TRUE(stillAdding);
    EXPECT_EQ(refusedFocus, Focus("Filters", IDC_FL_NEW));
    EXPECT_EQ(question, Strings{"Delete entry for \"zeta\"?"});
    EXPECT_EQ(afterDelete, (Strings{"alpha", "Urgent"}));
    EXPECT_EQ(selectedAfterDelete, 1);
    EXPECT_EQ(sectionKeys(iniText(), "Filters"), (Strings{"alpha#0#0", "Urgent#1#1"}));

    // Answering No keeps the entry; deleting the only entry disables the entry controls.
    writeIni(validDiskFile() + "UseFilters=TRUE\r\n[Filters]\r\nonly#1#2=\r\n");
    boxes.clear();
    Strings kept;
    result = run({[&](HWND d) {
        boxes.answerWith(IDNO);
        click(d, "Filters", IDC_FL_DELETE);
        kept = listTexts(d, "Filters", IDC_FL_LIST);
        boxes.answerWith(IDYES);
        click(d, "Filters", IDC_FL_DELETE);
        deleteDisabled = !enabled(d, "Filters", IDC_FL_DELETE);
        buttonsDisabled = !enabled(d, "Filters", IDC_FL_IGNORE) && !enabled(d, "Filters", IDC_FL_EITHER);
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    EXPECT_EQ(kept, Strings{"only"});
    EXPECT_TRUE(deleteDisabled);
    EXPECT_TRUE(buttonsDisabled);
    EXPECT_EQ(sectionKeys(iniText(), "Filters"), Strings{});
}

TEST_F(SetupDialog, FilterButtonsChangeTheSelectedEntryAtOnce)
{
    writeIni(validDiskFile() + "UseFilters=TRUE\r\n[Filters]\r\nalpha#0#0=\r\nbeta#0#0=\r\n");
    int result = run({[&](HWND d) {
        selectListEntry(d, "Filters", IDC_FL_LIST, 1);
        click(d, "Filters", IDC_FL_DELETE_ACTION);
        click(d, "Filters", IDC_FL_EITHER);
        // An add that is abandoned changes nothing.
        click(d, "Filters", IDC_FL_ADD);
        click(d, "Filters", IDC_FL_SUBJECT);
        click(d, "Filters", IDC_FL_DONE);
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    EXPECT_EQ(sectionKeys(iniText(), "Filters"), (Strings{"alpha#0#0", "beta#1#2"}));
}

TEST_F(SetupDialog, WavBaseListEditing)
{
    const std::string a = dir.file("a.wav"), b = dir.file("b.wav"), none = dir.file("none.wav");
    writeIni(validDiskFile() + "SoundOption=2\r\n[WAVBase]\r\nboss#" + a + "#0=\r\nzed#" + a + "#2=\r\n");
    Strings afterAdd, refusedHash, refusedSound, refusedSelect;
    std::string soundShown;
    int selectedAfterAdd = -1, keptSelection = -1;
    Focus soundFocus;
    int result = run({[&](HWND d) {
        const char *W = "WAVBase";
        selectTab(d, W);
        // A new entry takes the sound file expanded.
        SetEnvironmentVariableA("PELSETUP_SOUNDS", dir.path().c_str());
        click(d, W, IDC_WB_ADD);
        setText(d, W, IDC_WB_NEW, "Alice");
        setText(d, W, IDC_WB_SOUND, "$PELSETUP_SOUNDS$\\b.wav");
        click(d, W, IDC_WB_SUBJECT);
        click(d, W, IDC_WB_DONE);
        afterAdd = listTexts(d, W, IDC_WB_LIST);
        selectedAfterAdd = listSelection(d, W, IDC_WB_LIST);
        soundShown = text(d, W, IDC_WB_SOUND);

        boxes.clear();
        click(d, W, IDC_WB_ADD);
        setText(d, W, IDC_WB_SOUND, b.c_str());
        for (const char *bad : {"x#y", "x=y"}) {
            setText(d, W, IDC_WB_NEW, bad);
            click(d, W, IDC_WB_DONE);
        }
        refusedHash = boxes.texts();
        boxes.clear();
        setText(d, W, IDC_WB_NEW, "Carol");
        setText(d, W, IDC_WB_SOUND, none.c_str());
        click(d, W, IDC_WB_DONE);
        refusedSound = boxes.texts();
        selectTab(d, W);
        soundFocus = focusedControl(d);
        setText(d, W, IDC_WB_NEW, "");
        click(d, W, IDC_WB_DONE);

        // A changed sound file that does not exist keeps the selection.
        boxes.clear();
        selectListEntry(d, W, IDC_WB_LIST, 1);
        setText(d, W, IDC_WB_SOUND, none.c_str());
        selectListEntry(d, W, IDC_WB_LIST, 2);
        refusedSelect = boxes.texts();
        keptSelection = listSelection(d, W, IDC_WB_LIST);
        // Changed to an existing file: stored as typed, lower case outside references.
        setText(d, W, IDC_WB_SOUND, "$PELSETUP_SOUNDS$\\B.WAV");
        selectListEntry(d, W, IDC_WB_LIST, 2);
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    EXPECT_EQ(afterAdd, (Strings{"Alice", "boss", "zed"}));
    EXPECT_EQ(selectedAfterAdd, 0);
    EXPECT_EQ(soundShown, b);
    EXPECT_EQ(refusedHash, (Strings{"String may not contain '#'", "String may not contain '='"}));
    EXPECT_EQ(refusedSound, Strings{"Invalid sound file"});
    EXPECT_EQ(soundFocus, Focus("WAVBase", IDC_WB_SOUND));
    EXPECT_EQ(refusedSelect, Strings{"Invalid sound file"});
    EXPECT_EQ(keptSelection, 1);
    EXPECT_EQ(sectionKeys(iniText(), "WAVBase"),
              (Strings{"Alice#" + b + "#1", "boss#$PELSETUP_SOUNDS$\\b.wav#0", "zed#" + a + "#2"}));
}

TEST_F(SetupDialog, WavBaseDeletion)
{
    const std::string a = dir.file("a.wav");
    writeIni(validDiskFile() + "SoundOption=2\r\n[WAVBase]\r\none#" + a + "#0=\r\ntwo#" + a + "#1=\r\nthree#"
             + a + "#2=\r\n");
    int lastSelected = -1;
    bool soundDisabled = false, deleteDisabled = false, matchDisabled = false;
    std::string soundAfterEmpty = "?";
    int result = run({[&](HWND d) {
        const char *W = "WAVBase";
        selectListEntry(d, W, IDC_WB_LIST, 2); // sorted: one, three, two
        click(d, W, IDC_WB_DELETE);
        lastSelected = listSelection(d, W, IDC_WB_LIST);
        click(d, W, IDC_WB_DELETE);
        click(d, W, IDC_WB_DELETE);
        soundDisabled = !enabled(d, W, IDC_WB_SOUND) && !enabled(d, W, IDC_WB_SOUND_BROWSE);
        deleteDisabled = !enabled(d, W, IDC_WB_DELETE);
        matchDisabled = !enabled(d, W, IDC_WB_FROM) && !enabled(d, W, IDC_WB_EITHER);
        soundAfterEmpty = text(d, W, IDC_WB_SOUND);
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    EXPECT_EQ(lastSelected, 1);
    EXPECT_TRUE(soundDisabled);
    EXPECT_TRUE(deleteDisabled);
    EXPECT_TRUE(matchDisabled);
    EXPECT_EQ(soundAfterEmpty, "");
    EXPECT_EQ(boxes.texts(), (Strings{"Delete entry for \"two\"?", "Delete entry for \"three\"?",
                                      "Delete entry for \"one\"?"}));
    EXPECT_EQ(sectionKeys(iniText(), "WAVBase"), Strings{});
}

// --- Colours, sound, window, network, mailbox ------------------------------------------------------------

TEST_F(SetupDialog, ColourBarsStepAndClamp)
{
    writeIni(validDiskFile());
    std::vector<int> reds;
    std::string area;
    int result = run({[&](HWND d) {
        // Headers background is yellow: red 255, green 255, blue 0.
        reds.push_back(scrollPos(d, IDC_CL_RED));
        scroll(d, IDC_CL_RED, SB_THUMBPOSITION, 10);
        scroll(d, IDC_CL_RED, SB_PAGELEFT);
        reds.push_back(scrollPos(d, IDC_CL_RED));
        scroll(d, IDC_CL_RED, SB_LINELEFT);
        reds.push_back(scrollPos(d, IDC_CL_RED));
        scroll(d, IDC_CL_RED, SB_THUMBTRACK, 250);
        scroll(d, IDC_CL_RED, SB_PAGERIGHT);
        reds.push_back(scrollPos(d, IDC_CL_RED));
        scroll(d, IDC_CL_RED, SB_LEFT);
        scroll(d, IDC_CL_RED, SB_LINERIGHT);
        scroll(d, IDC_CL_RED, SB_PAGERIGHT);
        scroll(d, IDC_CL_RED, SB_ENDSCROLL);
        reds.push_back(scrollPos(d, IDC_CL_RED));
        scroll(d, IDC_CL_GREEN, SB_RIGHT);
        scroll(d, IDC_CL_BLUE, SB_THUMBPOSITION, 128);

        // Clicking the have-mail sample selects its area; Desktop takes the
        // desktop colour exactly.
        HWND sample = control(d, "Colors", IDC_CL_NEWMAIL_SAMPLE);
        SendMessageA(sample, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        area = listTexts(d, "Colors", IDC_CL_AREA)[listSelection(d, "Colors", IDC_CL_AREA)];
        click(d, "Colors", IDC_CL_DESKTOP);
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    EXPECT_EQ(reds, (std::vector<int>{255, 0, 0, 255, 17}));
    EXPECT_EQ(area, "Have mail window");
    char expected[128];
    snprintf(expected, sizeof expected, "%lu,0,16711680,16777215,%lu", 17ul + 255ul * 256 + 128ul * 65536,
             (unsigned long)GetSysColor(COLOR_DESKTOP));
    EXPECT_EQ(iniValue(iniText(), "Pelimbo", "ColorList"), expected);

    // Defaults restore all five colours.
    writeIni(validDiskFile() + "ColorList=1,2,3,4,5\r\n");
    result = run({[&](HWND d) {
        click(d, "Colors", IDC_CL_DEFAULTS);
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    EXPECT_EQ(iniValue(iniText(), "Pelimbo", "ColorList"), "65535,0,16711680,16777215,65535");
}

TEST_F(SetupDialog, SoundControlsFollowTheOption)
{
    writeIni(validDiskFile() + "SoundOption=1\r\nSoundFile=" + dir.file("a.wav") + "\r\nAlarm=TRUE\r\n");
    struct State {
        bool file, test, alarm, interval;
    };
    std::vector<State> states;
    int result = run({[&](HWND d) {
        auto record = [&] {
            states.push_back({enabled(d, "Sound", IDC_SN_FILE), enabled(d, "Sound", IDC_SN_TEST),
                              enabled(d, "Sound", IDC_SN_ALARM), enabled(d, "Sound", IDC_SN_INTERVAL)});
        };
        record(); // Custom, alarm on
        click(d, "Sound", IDC_SN_NONE);
        record(); // No sound: alarm and interval greyed
        click(d, "Sound", IDC_SN_WAVBASE);
        record(); // WAVBase with the alarm: the file is the alarm's
        click(d, "Sound", IDC_SN_ALARM);
        record(); // WAVBase, alarm off
        click(d, "Sound", IDC_SN_CUSTOM);
        setText(d, "Sound", IDC_SN_FILE, "");
        record(); // Custom, empty file: no Test
        pressCancel(d);
    }});
    EXPECT_EQ(result, 0);
    ASSERT_EQ(states.size(), 5u);
    const State expected[] = {{true, true, true, true},
                              {false, false, false, false},
                              {true, true, true, true},
                              {false, false, true, false},
                              {true, false, true, false}};
    for (size_t i = 0; i < 5; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(states[i].file, expected[i].file);
        EXPECT_EQ(states[i].test, expected[i].test);
        EXPECT_EQ(states[i].alarm, expected[i].alarm);
        EXPECT_EQ(states[i].interval, expected[i].interval);
    }
}

TEST_F(SetupDialog, WindowSwitchesEnableEachOther)
{
    writeIni(validDiskFile() + "ShowHeaders=FALSE\r\n");
    bool reverseAtStart = true, reverseAfter = false, reverseOff = true, iconSwitches = true;
    int result = run({[&](HWND d) {
        reverseAtStart = enabled(d, "Window", IDC_WIN_REVERSE);
        click(d, "Window", IDC_WIN_SHOW_HEADERS);
        reverseAfter = enabled(d, "Window", IDC_WIN_REVERSE);
        click(d, "Window", IDC_WIN_SHOW_HEADERS);
        reverseOff = enabled(d, "Window", IDC_WIN_REVERSE);
        // This platform has the notification area: the icon switches do not apply.
        iconSwitches = enabled(d, "Window", IDC_WIN_ICON_POSITION) || enabled(d, "Window", IDC_WIN_HIDE_ICON);
        pressCancel(d);
    }});
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(reverseAtStart);
    EXPECT_TRUE(reverseAfter);
    EXPECT_FALSE(reverseOff);
    EXPECT_FALSE(iconSwitches);
}

TEST_F(SetupDialog, NetworkDefaultsAndConnectionList)
{
    writeIni(validDiskFile() + "MessageSource=7\r\nLogin=ann\r\nMailHost=h\r\nPassword=" + scrambled("pw")
             + "\r\nInactivityTimeout=999\r\n"
               "POP3Port=1110\r\nIMAP4Port=1143\r\nDialConnection=TRUE\r\nHangupConnection=TRUE\r\n"
               "Security=2\r\n");
    Strings connections;
    bool dial = true, hangup = true;
    int result = run({[&](HWND d) {
        connections = comboTexts(d, "Network", IDC_NW_CONNECTION);
        dial = enabled(d, "Network", IDC_NW_DIAL);
        hangup = enabled(d, "Network", IDC_NW_HANGUP);
        click(d, "Network", IDC_NW_DEFAULTS);
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    // No dial-up entries here: only the direct connection, nothing to dial.
    EXPECT_EQ(connections, Strings{"<Direct connection>"});
    EXPECT_FALSE(dial);
    EXPECT_FALSE(hangup);
    std::string text = iniText();
    EXPECT_EQ(iniValue(text, "Pelimbo", "InactivityTimeout"), "999");
    // TLS from the first byte has ports of its own.
    EXPECT_EQ(iniValue(text, "Pelimbo", "POP3Port"), "995");
    EXPECT_EQ(iniValue(text, "Pelimbo", "IMAP4Port"), "993");
    EXPECT_EQ(iniValue(text, "Pelimbo", "Security"), "2");
    EXPECT_EQ(iniValue(text, "Pelimbo", "Connection"), "<Direct connection>");
    // The switches keep what was stored even though they could not be used.
    EXPECT_EQ(iniValue(text, "Pelimbo", "DialConnection"), "TRUE");
    EXPECT_EQ(iniValue(text, "Pelimbo", "HangupConnection"), "TRUE");
}

TEST_F(SetupDialog, PromptGreysThePasswordAndKeepsItsText)
{
    writeIni(validDiskFile() + "MessageSource=7\r\nLogin=ann\r\nMailHost=h\r\nPassword=" + scrambled("pw")
             + "\r\n");
    bool greyed = false, back = false;
    std::string kept;
    int result = run({[&](HWND d) {
        click(d, MAILBOX, IDC_MB_PROMPT);
        greyed = !enabled(d, MAILBOX, IDC_MB_PASSWORD);
        click(d, MAILBOX, IDC_MB_PROMPT);
        back = enabled(d, MAILBOX, IDC_MB_PASSWORD);
        kept = text(d, MAILBOX, IDC_MB_PASSWORD);
        pressCancel(d);
    }});
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(greyed);
    EXPECT_TRUE(back);
    EXPECT_EQ(kept, "pw");
}

TEST_F(SetupDialog, WatchBoxBelongsToImap4AndIsWrittenAsChecked)
{
    writeIni(validDiskFile() + "MessageSource=8\r\nLogin=ann\r\nMailHost=h\r\nPassword=" + scrambled("pw")
             + "\r\n");
    bool shownForImap = false, shownForPop3 = true, wasChecked = true;
    int result = run({[&](HWND d) {
        shownForImap = visible(d, MAILBOX, IDC_MB_IDLE);
        wasChecked = checked(d, MAILBOX, IDC_MB_IDLE);
        click(d, "Message source", IDC_SRC_FIRST + 7);
        shownForPop3 = visible(d, MAILBOX, IDC_MB_IDLE);
        click(d, "Message source", IDC_SRC_FIRST + 8);
        click(d, MAILBOX, IDC_MB_IDLE);
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    EXPECT_TRUE(shownForImap);
    EXPECT_FALSE(shownForPop3);
    EXPECT_FALSE(wasChecked) << "no Idle key: the watch stays off";
    EXPECT_EQ(iniValue(iniText(), "Pelimbo", "Idle"), "TRUE");
}

// Sources whose libraries are absent here keep the dialog usable and what was stored.
TEST_F(SetupDialog, MissingServiceLibrariesLeaveStoredValues)
{
    writeIni(validDiskFile()
             + "MessageSource=3\r\nLogin=c:\\notes\\user.id\r\nNotesServer=Hub/Acme\r\n"
               "NotesFolder=Sent\r\nNotesMailDatabase=mail\\ann.nsf\r\n");
    Strings messages;
    std::string folder;
    int result = run({[&](HWND d) {
        messages = boxes.texts();
        HWND combo = control(d, MAILBOX, IDC_MB_FOLDER);
        char text[64] = "";
        SendMessageA(combo, CB_GETLBTEXT, (WPARAM)SendMessageA(combo, CB_GETCURSEL, 0, 0), (LPARAM)text);
        folder = text;
        pressOk(d);
    }});
    ASSERT_EQ(result, 1);
    EXPECT_EQ(messages, Strings{"Error loading NNOTES.DLL"});
    EXPECT_EQ(folder, "Sent");
    std::string text = iniText();
    EXPECT_EQ(iniValue(text, "Pelimbo", "Login"), "c:\\notes\\user.id");
    EXPECT_EQ(iniValue(text, "Pelimbo", "NotesServer"), "Hub/Acme");
    EXPECT_EQ(iniValue(text, "Pelimbo", "NotesFolder"), "Sent");
    EXPECT_EQ(iniValue(text, "Pelimbo", "NotesMailDatabase"), "mail\\ann.nsf");
    EXPECT_EQ(iniValue(text, "Pelimbo", "Password"), "");
}

} // namespace

namespace
{

// Lists that are never filled in this dialog (the dial-up list for a disk
// file, the profile list when MAPI cannot answer) leave the stored choice alone.
TEST_F(SetupDialog, UnfilledListsKeepTheStoredChoice)
{
    writeIni(validDiskFile() + "Connection=Office ISP\r\nDialConnection=TRUE\r\nHangupConnection=TRUE\r\n");
    ASSERT_EQ(run({[&](HWND d) { pressOk(d); }}), 1);
    std::string text = iniText();
    EXPECT_EQ(iniValue(text, "Pelimbo", "Connection"), "Office ISP");
    EXPECT_EQ(iniValue(text, "Pelimbo", "DialConnection"), "TRUE");
    EXPECT_EQ(iniValue(text, "Pelimbo", "HangupConnection"), "TRUE");

    writeIni("[Pelimbo]\r\nMessageSource=5\r\nLogin=Work profile\r\n");
    boxes.clear();
    ASSERT_EQ(run({[&](HWND d) { pressOk(d); }}), 1);
    // The box is the profile list's own failure (which one depends on the MAPI
    // this platform has), said once.
    ASSERT_EQ(boxes.texts().size(), 1u);
    const Strings profileFailures = {"Unable to load MAPI32.DLL", "Missing function in MAPI32.DLL",
                                     "Error getting MAPI profiles"};
    EXPECT_NE(std::find(profileFailures.begin(), profileFailures.end(), boxes.texts()[0]),
              profileFailures.end())
        << boxes.texts()[0];
    EXPECT_EQ(iniValue(iniText(), "Pelimbo", "Login"), "Work profile");
}

} // namespace
