// The OK validation of the setup dialog: every refusal in its order, with its
// messages and the tab and control it leaves for the user to correct.
#include "tests/setup/setup_fixture.h"

namespace
{

// --- OK validation ----------------------------------------------------------------------------------

// One press of OK that validation refuses: what the user changed before it,
// the messages shown, and the tab and control left for the user to correct.
struct Refusal {
    const char *name;
    Step change;
    Strings messages;
    const char *tab;
    Focus focus;
};

class SetupValidation : public SetupDialog
{
  protected:
    // Presses OK once per refusal, in order, in one dialog; then `last` and a
    // final OK that must pass.
    void expectRefusalsInOrder(const std::vector<Refusal> &refusals, Step last = nullptr)
    {
        std::string before = iniText();
        struct Seen {
            Strings messages;
            std::string tab, page;
            Focus focus;
        };
        std::vector<Seen> seen(refusals.size());
        std::string beforeFinalOk;
        std::vector<Step> steps;
        for (size_t i = 0; i < refusals.size(); i++) {
            steps.push_back([&, i](HWND d) {
                if (refusals[i].change)
                    refusals[i].change(d);
                boxes.clear();
                pressOk(d);
                seen[i].messages = boxes.texts();
            });
            steps.push_back([&, i](HWND d) {
                seen[i].tab = selectedTab(d);
                seen[i].page = shownPage(d);
                seen[i].focus = focusedControl(d);
            });
        }
        steps.push_back([&](HWND d) {
            if (last)
                last(d);
            beforeFinalOk = iniText();
            boxes.clear();
            pressOk(d);
        });
        int result = run(steps);
        for (size_t i = 0; i < refusals.size(); i++) {
            SCOPED_TRACE(refusals[i].name);
            EXPECT_EQ(seen[i].messages, refusals[i].messages);
            EXPECT_EQ(seen[i].tab, refusals[i].tab);
            EXPECT_EQ(seen[i].page, refusals[i].tab);
            EXPECT_EQ(seen[i].focus, refusals[i].focus);
        }
        EXPECT_EQ(beforeFinalOk, before) << "a refused OK must not write";
        EXPECT_EQ(boxes.texts(), Strings{}) << "the corrected settings pass";
        EXPECT_EQ(result, 1);
    }
};

TEST_F(SetupValidation, AccountSourceFaultsOneAtATimeInOrder)
{
    writeIni("[Pelimbo]\r\nMessageSource=8\r\nWindowCaption=Mail $NOSUCHVAR_PEL$\r\n"
             "ReaderStartDir="
             + dir.file("in.mbx") + "\r\nMailReader=mail %s %s\r\nSoundOption=1\r\n");
    const char *bad = "Invalid environment variable:\nNOSUCHVAR_PEL";
    expectRefusalsInOrder(
        {
            {"poll interval not a number",
             [](HWND d) { setText(d, MAILBOX, IDC_MB_INTERVAL, ""); },
             {"Invalid field: Poll interval"},
             MAILBOX,
             {MAILBOX, IDC_MB_INTERVAL}},
            // The hidden mail file field must still expand.
            {"malformed reference in the mail file",
             [](HWND d) {
                 setText(d, MAILBOX, IDC_MB_INTERVAL, "60");
                 setText(d, MAILBOX, IDC_MB_MAILFILE, "$TEMP");
             },
             {"Malformed environment variable", "Invalid field: Mail file"},
             MAILBOX,
             {MAILBOX, IDC_MB_MAILFILE}},
            {"no login",
             [](HWND d) { setText(d, MAILBOX, IDC_MB_MAILFILE, ""); },
             {"Missing field: Login"},
             MAILBOX,
             {MAILBOX, IDC_MB_LOGIN}},
            {"no password",
             [](HWND d) { setText(d, MAILBOX, IDC_MB_LOGIN, "$NOSUCHVAR_PEL$"); },
             {"Missing field: Password"},
             MAILBOX,
             {MAILBOX, IDC_MB_PASSWORD}},
            // With the prompt on, an empty password passes; the host is next.
            {"no mail host",
             [](HWND d) { click(d, MAILBOX, IDC_MB_PROMPT); },
             {"Missing field: Mail host"},
             MAILBOX,
             {MAILBOX, IDC_MB_HOST}},
            {"bad reference in the login",
             [](HWND d) { setText(d, MAILBOX, IDC_MB_HOST, "$NOSUCHVAR_PEL$"); },
             {bad, "Invalid field: Login"},
             MAILBOX,
             {MAILBOX, IDC_MB_LOGIN}},
            {"bad reference in the host",
             [](HWND d) { setText(d, MAILBOX, IDC_MB_LOGIN, "ann"); },
             {bad, "Invalid field: Mail host"},
             MAILBOX,
             {MAILBOX, IDC_MB_HOST}},
            {"bad reference in the IMAP mailbox",
             [](HWND d) {
                 setText(d, MAILBOX, IDC_MB_HOST, "imap.example.org");
                 setText(d, MAILBOX, IDC_MB_IMAP, "$NOSUCHVAR_PEL$");
             },
             {bad, "Invalid field: IMAP mailbox"},
             MAILBOX,
             {MAILBOX, IDC_MB_IMAP}},
            {"bad reference in the caption",
             [](HWND d) { setText(d, MAILBOX, IDC_MB_IMAP, "INBOX"); },
             {bad, "Invalid field: Window caption"},
             "Window",
             {"Window", IDC_WIN_CAPTION}},
            {"start folder that is a file",
             [](HWND d) { setText(d, "Window", IDC_WIN_CAPTION, "Mail"); },
             {"Invalid field: Start in"},
             "Mail reader",
             {"Mail reader", IDC_RD_START_IN}},
            {"bad mail reader string",
             [](HWND d) { setText(d, "Mail reader", IDC_RD_START_IN, ""); },
             {"Invalid mail reader string", "Invalid field: Mail reader"},
             "Mail reader",
             {"Mail reader", IDC_RD_READER}},
            {"bad reference in the sound file",
             [](HWND d) {
                 setText(d, "Mail reader", IDC_RD_READER, "");
                 setText(d, "Sound", IDC_SN_FILE, "$NOSUCHVAR_PEL$");
             },
             {bad, "Invalid field: Sound file"},
             "Sound",
             {"Sound", IDC_SN_FILE}},
            {"custom sound without file",
             [](HWND d) { setText(d, "Sound", IDC_SN_FILE, ""); },
             {"Missing field: Sound file"},
             "Sound",
             {"Sound", IDC_SN_FILE}},
            {"custom sound file missing",
             [this](HWND d) { setText(d, "Sound", IDC_SN_FILE, dir.file("none.wav").c_str()); },
             {"Invalid sound file", "Invalid field: Sound file"},
             "Sound",
             {"Sound", IDC_SN_FILE}},
        },
        [this](HWND d) { setText(d, "Sound", IDC_SN_FILE, dir.file("a.wav").c_str()); });
    std::string text = iniText();
    EXPECT_EQ(iniValue(text, "Pelimbo", "Login"), "ann");
    EXPECT_EQ(iniValue(text, "Pelimbo", "PasswordPrompt"), "TRUE");
    EXPECT_EQ(iniValue(text, "Pelimbo", "Password"), "");
}

TEST_F(SetupValidation, MailFileAndWavBaseFaultsOneAtATimeInOrder)
{
    writeIni("[Pelimbo]\r\nSoundOption=2\r\nWAVBaseDefault=" + dir.file("none.wav") + "\r\n[WAVBase]\r\nboss#"
             + dir.file("a.wav") + "#0=\r\n");
    expectRefusalsInOrder(
        {
            {"disk file without mail file",
             nullptr,
             {"Missing field: Mail file"},
             MAILBOX,
             {MAILBOX, IDC_MB_MAILFILE}},
            {"mail file in a missing folder",
             [](HWND d) { setText(d, MAILBOX, IDC_MB_MAILFILE, "C:\\no\\such\\folder\\in.mbx"); },
             {"Invalid name or path for mail file", "Invalid field: Mail file"},
             MAILBOX,
             {MAILBOX, IDC_MB_MAILFILE}},
            // The source is taken from the buttons, not from the file.
            {"Microsoft Mail without login",
             [this](HWND d) {
                 setText(d, MAILBOX, IDC_MB_MAILFILE, dir.file("in.mbx").c_str());
                 click(d, "Message source", IDC_SRC_FIRST + 4);
             },
             {"Missing field: Login"},
             MAILBOX,
             {MAILBOX, IDC_MB_LOGIN}},
            {"GroupWise without login",
             [](HWND d) { click(d, "Message source", IDC_SRC_FIRST + 6); },
             {"Missing field: Login"},
             MAILBOX,
             {MAILBOX, IDC_MB_LOGIN}},
            {"malformed reference in the WAVBase default",
             [](HWND d) {
                 click(d, "Message source", IDC_SRC_FIRST);
                 setText(d, "WAVBase", IDC_WB_DEFAULT, "$TEMP");
             },
             {"Malformed environment variable", "Invalid field: Default"},
             "WAVBase",
             {"WAVBase", IDC_WB_DEFAULT}},
            {"WAVBase entry sound changed to a missing file",
             [this](HWND d) {
                 setText(d, "WAVBase", IDC_WB_DEFAULT, dir.file("none.wav").c_str());
                 setText(d, "WAVBase", IDC_WB_SOUND, dir.file("none.wav").c_str());
             },
             {"Invalid sound file", "Invalid field: Sound file"},
             "WAVBase",
             {"WAVBase", IDC_WB_SOUND}},
            {"WAVBase default missing",
             [this](HWND d) { setText(d, "WAVBase", IDC_WB_SOUND, dir.file("b.wav").c_str()); },
             {"Invalid sound file", "Invalid field: Default"},
             "WAVBase",
             {"WAVBase", IDC_WB_DEFAULT}},
        },
        [](HWND d) { setText(d, "WAVBase", IDC_WB_DEFAULT, ""); });
    // A changed sound file is kept as typed, lower case outside references.
    std::string typed = dir.file("b.wav");
    for (char &c : typed)
        c = (char)tolower((unsigned char)c);
    EXPECT_EQ(sectionKeys(iniText(), "WAVBase"), Strings{"boss#" + typed + "#0"});
}

// The reader check runs inside the start folder and the process is back in
// the notifier's start folder afterwards, whatever the outcome.
TEST_F(SetupValidation, ReaderCheckedInStartFolderThenStartFolderRestored)
{
    writeIni(validDiskFile() + "ReaderStartDir=" + dir.file("start")
             + "\r\nMailReader=pelimbo-no-such-reader %s\r\n");
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    SetCurrentDirectoryA(windows);
    Strings messages;
    std::string tab;
    Focus focus;
    int result = run({[&](HWND d) {
                          pressOk(d);
                          messages = boxes.texts();
                      },
                      [&](HWND d) {
                          tab = selectedTab(d);
                          focus = focusedControl(d);
                          pressCancel(d);
                      }},
                     dir.path());
    char now[MAX_PATH];
    GetCurrentDirectoryA(sizeof now, now);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(messages, (Strings{"Can't find mail reader in path", "Invalid field: Mail reader"}));
    EXPECT_EQ(tab, "Mail reader");
    EXPECT_EQ(focus, Focus("Mail reader", IDC_RD_READER));
    EXPECT_EQ(std::string(now), dir.path());
    SetCurrentDirectoryA(windows);

    // A reader found in the start folder passes.
    dir.write("start\\myreader.exe", "MZ");
    writeIni(validDiskFile() + "ReaderStartDir=" + dir.file("start") + "\r\nMailReader=myreader %s\r\n");
    boxes.clear();
    result = run({[&](HWND d) { pressOk(d); }}, dir.path());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(boxes.texts(), Strings{});
    SetCurrentDirectoryA(windows);
}

} // namespace
