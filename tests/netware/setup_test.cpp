// The setup dialog's NetWare server list and server check, driven for real
// against the stand-in bridge beside this program.
#include "config/config.h"
#include "tests/setup/setup_fixture.h"

namespace
{

class NetWareSetup : public SetupDialog
{
  protected:
    void SetUp() override
    {
        SetupDialog::SetUp();
        SetEnvironmentVariableA("PELNW_STANDIN_DATA", dir.file("bridge.txt").c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("PELNW_STANDIN_DATA", NULL);
    }
    void bridgeAnswers(const std::string &lines)
    {
        dir.write("bridge.txt", lines);
    }
    // The server list as shown and the text of its selected entry.
    void readList(HWND d, Strings *names, std::string *selected)
    {
        *names = listTexts(d, MAILBOX, IDC_MB_SERVERS);
        int at = listSelection(d, MAILBOX, IDC_MB_SERVERS);
        *selected = at >= 0 && at < (int)names->size() ? (*names)[at] : "";
    }
};

TEST_F(NetWareSetup, ServerListHoldsAtMostEightLowerCasedNamesWithTheStoredServerSelected)
{
    bridgeAnswers("server\tFS1\nserver\tAccounts\nserver\tMAIN\nserver\tMail2\nserver\tPrint\n"
                  "server\tDev\nserver\tTest\nserver\tBackup\nserver\tNINTH\nserver\tTENTH\n");
    writeIni("[Pelimbo]\r\nMessageSource=1\r\nMailFile=Main\r\n");
    Strings names;
    std::string selected, field;
    run({[&](HWND d) {
        readList(d, &names, &selected);
        // Choosing an entry puts its name in the Server field.
        selectListEntry(d, MAILBOX, IDC_MB_SERVERS, 0);
        field = text(d, MAILBOX, IDC_MB_MAILFILE);
        pressCancel(d);
    }});
    EXPECT_EQ(names, (Strings{"accounts", "backup", "dev", "fs1", "mail2", "main", "print", "test"}));
    EXPECT_EQ(selected, "main");
    EXPECT_EQ(field, "accounts");
    EXPECT_EQ(boxes.texts(), Strings{});
}

TEST_F(NetWareSetup, EmptyEntryEndsTheListAndAMissingTableIsReported)
{
    bridgeAnswers("server\tFS2\nserver\tFS1\nserver\t\nserver\tHIDDEN\n");
    writeIni("[Pelimbo]\r\nMessageSource=1\r\n");
    Strings names;
    std::string selected;
    run({[&](HWND d) {
        readList(d, &names, &selected);
        pressCancel(d);
    }});
    EXPECT_EQ(names, (Strings{"fs1", "fs2"}));
    EXPECT_EQ(selected, "fs1");

    // Switching to the source fills the list then; a bridge without a table
    // says so and the dialog stays usable.
    bridgeAnswers("notable\n");
    writeIni(validDiskFile());
    Strings messages;
    run({[&](HWND d) {
        click(d, "Message source", IDC_SRC_FIRST + SOURCE_PMAIL_NETWARE);
        messages = boxes.texts();
        readList(d, &names, &selected);
        pressCancel(d);
    }});
    EXPECT_EQ(messages, Strings{"Can't find NetWare server table"});
    EXPECT_EQ(names, Strings{});
}

// OK asks the bridge whether the server in the field is known.
TEST_F(NetWareSetup, OkRefusesAServerTheBridgeDoesNotKnow)
{
    bridgeAnswers("server\tFS1\nserver\tFS2\n");
    writeIni("[Pelimbo]\r\nMessageSource=1\r\nMailFile=FS1\r\n");
    Strings refused;
    Focus focus;
    int result = run({[&](HWND d) {
                          setText(d, MAILBOX, IDC_MB_MAILFILE, "NOSUCH");
                          pressOk(d);
                          refused = boxes.texts();
                      },
                      [&](HWND d) {
                          focus = focusedControl(d);
                          boxes.clear();
                          setText(d, MAILBOX, IDC_MB_MAILFILE, "fs2");
                          pressOk(d);
                      }});
    EXPECT_EQ(refused, Strings{"Invalid field: Server"});
    EXPECT_EQ(focus, Focus(MAILBOX, IDC_MB_MAILFILE));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(boxes.texts(), Strings{});
    EXPECT_EQ(iniValue(iniText(), "Pelimbo", "MailFile"), "fs2");
}

} // namespace
