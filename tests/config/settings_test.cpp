// Section [Pelimbo] and the two list sections, written as real INI files and
// read back through the platform's profile functions. Every message is caught
// from the real message box.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "tests/config/saved_keys.h"
#include "tests/config/winfiles.h"
#include "tests/support/msgbox_capture.h"

using Texts = std::vector<std::string>;

class SettingsFile : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        config.settings = Settings();
        config.geometry = Geometry();
        config.mailPath = NULL;
        config.report = showTestMessageBox;
        captureStartLocation();
        SetEnvironmentVariableA("NOSUCHVAR", NULL);
    }
    void TearDown() override
    {
        restoreStartDirectory();
        freeFilterList(&config.filterList);
        freeWavBaseList(&config.wavBaseList);
        config.report = NULL;
    }
    // An INI file with the given lines in section [Pelimbo].
    std::string ini(const std::string &lines, const std::string &more = "")
    {
        std::string path = dir / ("p" + std::to_string(++files) + ".ini");
        writeFile(path, "[Pelimbo]\r\n" + lines + more);
        return path;
    }
    TempDir dir;
    MessageBoxCapture boxes;
    int files = 0;
};

TEST_F(SettingsFile, MissingSectionGivesEveryDefault)
{
    std::string path = dir / "empty.ini";
    writeFile(path, "[Other]\r\nMessageSource=7\r\n");
    EXPECT_FALSE(loadSettings(path.c_str()));
    const Settings &s = config.settings;
    EXPECT_EQ(0u, s.MessageSource);
    EXPECT_STREQ("", s.MailFile);
    EXPECT_EQ(60u, s.PollInterval);
    EXPECT_EQ(30u, s.AlarmInterval);
    EXPECT_EQ(2u, s.WindowAction);
    EXPECT_STREQ("Inbox", s.NotesFolder);
    EXPECT_STREQ("$Inbox", s.notesFolderView);
    EXPECT_STREQ("Received by Category", s.Notes3xView);
    EXPECT_STREQ("<Direct connection>", s.Connection);
    EXPECT_TRUE(s.directConnection);
    EXPECT_EQ((std::vector<uint32_t>{65535, 0, 16711680, 16777215, 65535}),
              std::vector<uint32_t>(s.colors, s.colors + COLOR_COUNT));
    EXPECT_EQ(120u, s.WinSockInitTimeout);
    EXPECT_EQ(60u, s.ConnectTimeout);
    EXPECT_EQ(30u, s.InactivityTimeout);
    EXPECT_EQ(110u, s.POP3Port);
    EXPECT_EQ(143u, s.IMAP4Port);
    // The flags that default to true; every other one is false.
    EXPECT_TRUE(s.UseNotesSettings && s.NotesPollErrors && s.ConfirmDeletes && s.NetErrors && s.WAVOnce
                && s.BlinkIconOnPoll && s.Balloon);
    EXPECT_FALSE(s.Notes3xMailbox || s.PasswordPrompt || s.Alarm || s.StayOnTop || s.ShowHeaders
                 || s.ReverseSort || s.UnreadOnly || s.UseFilters || s.LogDeletes || s.ExitMenu || s.HideIcon
                 || s.LaunchReader || s.LaunchOnMail || s.MinimizeReader || s.SuspendPoll || s.DetectReader
                 || s.LastIconPosition || s.DialConnection || s.HangupConnection || s.Idle);
    EXPECT_EQ(config.settings.MailFile, config.mailPath);
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(SettingsFile, IntegerAndFlagRules)
{
    std::string path = ini("MessageSource=265\r\nSoundOption=259\r\nWindowAction=256\r\nPollInterval=3\r\n"
                           "AlarmInterval=0\r\nStayOnTop=true\r\nShowHeaders=1\r\nReverseSort=TRUE\r\n"
                           "NetErrors=yes\r\nConnection=<direct connection>\r\nColorList=255\r\n");
    uint32_t before[COLOR_COUNT] = {1, 77, 78, 79, 80};
    memcpy(config.settings.colors, before, sizeof before);
    loadSettings(path.c_str());
    const Settings &s = config.settings;
    EXPECT_EQ(9u, s.MessageSource);
    EXPECT_EQ(3u, s.SoundOption);
    EXPECT_EQ(0u, s.WindowAction);
    EXPECT_EQ(5u, s.PollInterval);
    EXPECT_EQ(1u, s.AlarmInterval);
    EXPECT_FALSE(s.StayOnTop);
    EXPECT_FALSE(s.ShowHeaders);
    EXPECT_TRUE(s.ReverseSort);
    EXPECT_FALSE(s.NetErrors);
    EXPECT_FALSE(s.directConnection);
    EXPECT_EQ(255u, s.colors[0]);
    // The other four are not in the text: they keep their values.
    EXPECT_EQ((std::vector<uint32_t>{255, 77, 78, 79, 80}),
              std::vector<uint32_t>(s.colors, s.colors + COLOR_COUNT));

    for (const char *poll : {"0", "word", "-20"}) {
        loadSettings(ini(std::string("PollInterval=") + poll + "\r\n").c_str());
        EXPECT_EQ(5u, config.settings.PollInterval) << poll;
    }
    loadSettings(ini("PollInterval=45x\r\n").c_str());
    EXPECT_EQ(45u, config.settings.PollInterval);

    // Only leading digits count: a sign or a hex prefix is not a number (a
    // wrapped -1 would select no source at all), and a present but empty value
    // is 0, not the default.
    loadSettings(ini("MessageSource=-1\r\nPOP3Port=0x6E\r\nIMAP4Port=+143\r\nWindowAction=\r\n").c_str());
    EXPECT_EQ(0u, config.settings.MessageSource);
    EXPECT_EQ(0u, config.settings.POP3Port);
    EXPECT_EQ(0u, config.settings.IMAP4Port);
    EXPECT_EQ(0u, config.settings.WindowAction);
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(SettingsFile, RequiredNetworkFieldsFailWithoutMessage)
{
    EXPECT_TRUE(loadSettings(ini("MessageSource=7\r\nMailHost=pop.example.org\r\n").c_str()));
    EXPECT_TRUE(loadSettings(ini("MessageSource=8\r\nLogin=ann\r\n").c_str()));
    EXPECT_TRUE(loadSettings(ini("MessageSource=5\r\n").c_str()));
    EXPECT_FALSE(loadSettings(ini("MessageSource=7\r\nLogin=ann\r\nMailHost=pop.example.org\r\n").c_str()));
    EXPECT_STREQ("ann", config.settings.Login);
    // Source 3 needs neither.
    EXPECT_FALSE(loadSettings(ini("MessageSource=3\r\n").c_str()));
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(SettingsFile, FailuresAreReportedInKeyOrderAndKeepThePreviousValue)
{
    SetEnvironmentVariableA("PELCAPTION", "Mail for ann");
    EXPECT_FALSE(loadSettings(ini("WindowCaption=$PELCAPTION$\r\n").c_str()));
    EXPECT_STREQ("Mail for ann", config.settings.WindowCaption);

    std::string path = ini("WindowCaption=$NOSUCHVAR$\r\nMailFile=$BAD\\in.mbx\r\nSoundOption=1\r\n"
                           "SoundFile="
                           + dir.path + "\\none.wav\r\nMailReader=MAIL %s %s\r\n");
    EXPECT_TRUE(loadSettings(path.c_str()));
    EXPECT_EQ((Texts{"Invalid environment variable:\nNOSUCHVAR", "Malformed environment variable",
                     "Invalid environment variable in mail file", "Invalid mail reader string",
                     "Invalid sound file"}),
              boxes.texts());
    for (const CapturedBox &box : boxes.boxes())
        EXPECT_EQ("Pelimbo", box.caption);
    EXPECT_STREQ("Mail for ann", config.settings.WindowCaption);
    EXPECT_STREQ("$NOSUCHVAR$", config.settings.WindowCaptionRaw);
}

TEST_F(SettingsFile, MailFileIsCheckedOnlyForDiskFiles)
{
    std::string good = dir / "new.mbx"; // need not exist
    EXPECT_FALSE(loadSettings(ini("MailFile=" + good + "\r\n").c_str()));
    EXPECT_EQ(good, config.settings.MailFile);
    EXPECT_EQ(config.settings.MailFile, config.mailPath);

    std::string bad = dir / "nodir\\in.mbx";
    EXPECT_TRUE(loadSettings(ini("MailFile=" + bad + "\r\n").c_str()));
    EXPECT_EQ((Texts{"Invalid name or path for mail file"}), boxes.texts());
    EXPECT_EQ(good, config.settings.MailFile);
    boxes.clear();

    EXPECT_FALSE(loadSettings(ini("MessageSource=2\r\nLogin=ann\r\nMailFile=" + bad + "\r\n").c_str()));
    EXPECT_FALSE(loadSettings(ini("MailFile=\\\\server\\share\\mail.mbx\r\n").c_str()));
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(SettingsFile, SecurityReadsAsPlainOutOfRangeAndTheTrustFileIsCheckedOnlyWhenUsed)
{
    const std::string pop3 = "MessageSource=7\r\nLogin=ann\r\nMailHost=pop.example.org\r\n";
    EXPECT_FALSE(loadSettings(ini(pop3 + "Security=2\r\n").c_str()));
    EXPECT_EQ((unsigned)SECURITY_TLS, config.settings.Security);
    EXPECT_FALSE(loadSettings(ini(pop3 + "Security=7\r\n").c_str()));
    EXPECT_EQ((unsigned)SECURITY_PLAIN, config.settings.Security);

    std::string ca = dir / "ca.pem";
    writeFile(ca, "-----BEGIN CERTIFICATE-----\r\n");
    SetEnvironmentVariableA("PELTRUST", dir.path.c_str());
    EXPECT_FALSE(loadSettings(ini(pop3 + "Security=1\r\nTrustFile=$PELTRUST$\\ca.pem\r\n").c_str()));
    EXPECT_EQ(ca, config.settings.TrustFile);
    EXPECT_EQ("$PELTRUST$\\ca.pem", std::string(config.settings.TrustFileRaw));

    std::string missing = dir / "none.pem";
    EXPECT_TRUE(loadSettings(ini(pop3 + "Security=2\r\nTrustFile=" + missing + "\r\n").c_str()));
    EXPECT_EQ((Texts{"Invalid trust file"}), boxes.texts());
    boxes.clear();
    // Plain polls and other sources never read it.
    EXPECT_FALSE(loadSettings(ini(pop3 + "Security=0\r\nTrustFile=" + missing + "\r\n").c_str()));
    EXPECT_FALSE(loadSettings(ini("Security=2\r\nTrustFile=" + missing + "\r\n").c_str()));
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(SettingsFile, NetWareSourceAsksTheBridge)
{
    std::string path = ini("MailFile=" + (dir / "in.mbx") + "\r\n");
    loadSettings(path.c_str());
    EXPECT_FALSE(loadSettings(ini("MessageSource=1\r\nMailFile=SERVER1\r\n").c_str()));
    EXPECT_EQ((Texts{"Unable to load PELNW32.DLL"}), boxes.texts());
    // Without the bridge there is no path: the disk file's would now read the
    // server name as a file.
    EXPECT_EQ(nullptr, config.mailPath);
}

TEST_F(SettingsFile, ReaderStartDirIsUsedForTheReaderCheck)
{
    TempDir readerDir;
    writeFile(readerDir / "MAILER.BAT", "@echo off\r\n");
    std::string start = currentDirectoryNow();
    EXPECT_FALSE(
        loadSettings(ini("ReaderStartDir=" + readerDir.path + "\r\nMailReader=MAILER %s\r\n").c_str()));
    EXPECT_EQ(readerDir.path, config.settings.ReaderStartDir);
    EXPECT_EQ(start, currentDirectoryNow());
    EXPECT_TRUE(boxes.texts().empty());

    // A file instead of a directory: not taken, no message, and the reader is
    // looked for without a change of directory.
    EXPECT_TRUE(loadSettings(
        ini("ReaderStartDir=" + (readerDir / "MAILER.BAT") + "\r\nMailReader=MAILER %s\r\n").c_str()));
    EXPECT_EQ((Texts{"Can't find mail reader in path"}), boxes.texts());
    EXPECT_EQ(readerDir.path, config.settings.ReaderStartDir);
    EXPECT_EQ(start, currentDirectoryNow());
}

TEST_F(SettingsFile, NotesFolderWidthsDifferBetweenThePrograms)
{
    std::string folder(30, 'F');
    std::string path = ini("NotesFolder=" + folder + "\r\n");
    loadSettings(path.c_str());
    EXPECT_EQ(folder.substr(0, 23), config.settings.NotesFolder);
    EXPECT_EQ("$" + folder.substr(0, 23), config.settings.notesFolderView);
    loadSetupSettings(path.c_str());
    EXPECT_EQ(folder.substr(0, 24), config.settings.NotesFolder);
    EXPECT_STREQ("All;Inbox;Sent;Trash", config.settings.NotesFolderList);
}

TEST_F(SettingsFile, GeometryPairs)
{
    std::string path = ini("Position=10,-20\r\nIconPosition=5,6\r\nHeaderSize=300\r\nNoHeaderSize=x,9\r\n");
    config.geometry.headerHeight = 44;
    config.geometry.noHeaderWidth = 55;
    loadGeometry(path.c_str());
    EXPECT_EQ(10, config.geometry.positionX);
    EXPECT_EQ(-20, config.geometry.positionY);
    EXPECT_EQ(0, config.geometry.iconX); // LastIconPosition is off
    EXPECT_EQ(300, config.geometry.headerWidth);
    EXPECT_EQ(44, config.geometry.headerHeight);
    EXPECT_EQ(55, config.geometry.noHeaderWidth);
    config.settings.LastIconPosition = true;
    loadGeometry(path.c_str());
    EXPECT_EQ(5, config.geometry.iconX);
    EXPECT_EQ(6, config.geometry.iconY);
}

// --- Saving ---------------------------------------------------------------------------

static std::vector<std::string> keysInOrder(const std::string &text, const std::string &section)
{
    std::vector<std::string> keys;
    bool inside = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[')
            inside = line == "[" + section + "]";
        else if (inside && !line.empty())
            keys.push_back(line.substr(0, line.find('=')));
    }
    return keys;
}

// The OAuth2 keys came after every other: a file without them logs in with
// its password; values out of range read as the defaults.
TEST_F(SettingsFile, OAuthKeysReadWithTheirDefaultsAndRanges)
{
    std::string pop3 = "MessageSource=7\r\nLogin=ann\r\nMailHost=h\r\n";
    EXPECT_FALSE(loadSettings(ini(pop3).c_str()));
    EXPECT_EQ(0u, config.settings.Auth);
    EXPECT_EQ(0u, config.settings.OAuthProvider);
    EXPECT_FALSE(config.settings.ProtectPassword);
    EXPECT_FALSE(loadSettings(ini(pop3
                                  + "Auth=1\r\nOAuthProvider=2\r\nOAuthClientId=id.apps\r\n"
                                    "OAuthToken=AQID\r\nProtectPassword=TRUE\r\n")
                                  .c_str()));
    EXPECT_EQ(1u, config.settings.Auth);
    EXPECT_EQ(2u, config.settings.OAuthProvider);
    EXPECT_STREQ("id.apps", config.settings.OAuthClientId);
    EXPECT_STREQ("AQID", config.settings.OAuthToken);
    EXPECT_TRUE(config.settings.ProtectPassword);
    EXPECT_FALSE(loadSettings(ini(pop3 + "Auth=2\r\nOAuthProvider=9\r\n").c_str()));
    EXPECT_EQ(0u, config.settings.Auth);
    EXPECT_EQ(0u, config.settings.OAuthProvider);
}

// With ProtectPassword the password is stored only protected for this
// Windows account, the scrambled form removed, and read back from there; a
// blob this account cannot open says so and marks the settings invalid.
TEST_F(SettingsFile, ProtectedPasswordIsStoredAndReadOnlyInItsProtectedForm)
{
    std::string path = dir / "protect.ini";
    writeFile(path, "[Pelimbo]\r\nMessageSource=7\r\nLogin=ann\r\nMailHost=h\r\n");
    loadSetupSettings(path.c_str());
    copyText(config.settings.plainPassword, "pa55-secret");
    config.settings.ProtectPassword = true;
    ASSERT_TRUE(saveSetupSettings());
    std::string text = readFile(path);
    EXPECT_NE(std::string::npos, text.find("Password=\r\n")) << "the scrambled form is gone";
    EXPECT_EQ(std::string::npos, text.find("pa55")) << text;
    size_t at = text.find("PasswordProtected=");
    ASSERT_NE(std::string::npos, at);
    std::string stored = text.substr(at + 18, text.find("\r\n", at) - at - 18);
    EXPECT_LT(50u, stored.size());
    char scrambled[STORED_PASSWORD_SIZE];
    scramblePassword("pa55-secret", scrambled, sizeof scrambled);
    EXPECT_EQ(std::string::npos, text.find(scrambled));

    config.settings = Settings();
    EXPECT_FALSE(loadSettings(path.c_str()));
    EXPECT_STREQ("pa55-secret", config.settings.plainPassword);

    // Protection off again: the scrambled form, the protected one removed.
    config.settings.ProtectPassword = false;
    loadSetupSettings(path.c_str());
    config.settings.ProtectPassword = false;
    ASSERT_TRUE(saveSetupSettings());
    text = readFile(path);
    EXPECT_NE(std::string::npos, text.find(std::string("Password=") + scrambled));
    EXPECT_NE(std::string::npos, text.find("PasswordProtected=\r\n"));

    // A blob of another account (or damaged) cannot be opened.
    std::string other = "[Pelimbo]\r\nMessageSource=7\r\nLogin=ann\r\nMailHost=h\r\nPasswordProtected="
                        + stored.substr(0, stored.size() - 8) + "AAAAAAAA\r\n";
    writeFile(path, other);
    config.settings = Settings();
    EXPECT_TRUE(loadSettings(path.c_str()));
    EXPECT_STREQ("", config.settings.plainPassword);
    EXPECT_EQ(
        (Texts{"The protected password cannot be read by this Windows account: type it again in setup"}),
        boxes.texts());
}

TEST_F(SettingsFile, SaveWritesEveryKeyInOrder)
{
    std::string path = dir / "save.ini";
    loadSetupSettings(path.c_str());
    config.settings.PollInterval = 90;
    config.settings.MessageSource = 7;
    copyText(config.settings.plainPassword, "secret");
    copyText(config.settings.MailFileRaw, "$HOME$\\in.mbx");
    ASSERT_TRUE(saveSetupSettings());
    std::string text = readFile(path);
    EXPECT_EQ(savedKeyOrder(), keysInOrder(text, "Pelimbo"));
    EXPECT_NE(std::string::npos, text.find("PollInterval=90"));
    EXPECT_NE(std::string::npos, text.find("MailFile=$HOME$\\in.mbx"));
    EXPECT_NE(std::string::npos, text.find("ColorList=65535,0,16711680,16777215,65535"));
    EXPECT_NE(std::string::npos, text.find("NetErrors=TRUE"));
    EXPECT_NE(std::string::npos, text.find("Connection=<Direct connection>"));
    EXPECT_EQ(std::string::npos, text.find("secret"));
    EXPECT_EQ(std::string::npos, text.find("[Filters]"));
    EXPECT_TRUE(boxes.texts().empty());
}

static std::string storedPassword(const std::string &path)
{
    char text[200];
    GetPrivateProfileStringA("Pelimbo", "Password", "<absent>", text, sizeof text, path.c_str());
    return text;
}

TEST_F(SettingsFile, PasswordsSurviveSaveAndRead)
{
    std::string path = dir / "pw.ini";
    for (size_t length : {0u, 23u, 39u, 40u}) {
        loadSetupSettings(path.c_str());
        config.settings.MessageSource = 7;
        std::string plain;
        for (size_t i = 0; i < length; i++)
            plain += (char)(i % 2 ? 'a' + i % 26 : 0xA0 + i);
        copyText(config.settings.plainPassword, plain.c_str());
        ASSERT_TRUE(saveSetupSettings());
        EXPECT_EQ(2 + 2 * length, storedPassword(path).size());
        config.settings = Settings();
        loadSettings(path.c_str());
        EXPECT_EQ(plain, config.settings.plainPassword) << length;
        config.settings = Settings();
        loadSetupSettings(path.c_str());
        EXPECT_EQ(plain, config.settings.plainPassword) << length;
    }
}

TEST_F(SettingsFile, PromptedAndNotesPasswordsAreNotStored)
{
    std::string path = dir / "prompt.ini";
    loadSetupSettings(path.c_str());
    config.settings.MessageSource = 7;
    config.settings.PasswordPrompt = true;
    copyText(config.settings.plainPassword, "typed");
    ASSERT_TRUE(saveSetupSettings());
    EXPECT_EQ("", storedPassword(path));

    config.settings.PasswordPrompt = false;
    config.settings.MessageSource = 3;
    ASSERT_TRUE(saveSetupSettings());
    EXPECT_EQ("", storedPassword(path));

    // An empty stored form leaves the password in memory alone.
    config.settings = Settings();
    copyText(config.settings.plainPassword, "at the prompt");
    loadSettings(path.c_str());
    EXPECT_STREQ("at the prompt", config.settings.plainPassword);
}

TEST_F(SettingsFile, FailedWriteStopsTheSave)
{
    std::string path = dir / "missing\\x.ini";
    loadSetupSettings(path.c_str());
    EXPECT_FALSE(saveSetupSettings());
    EXPECT_EQ((Texts{"Error saving setup"}), boxes.texts());
}

// --- Lists ---------------------------------------------------------------------------

TEST_F(SettingsFile, ListsReadSortAndWriteBack)
{
    std::string text80(80, 'L');
    std::string path = ini("", "[Filters]\r\nurgent#1#2=\r\nBeta#0#0=\r\nalpha#0#0=\r\n" + text80
                                   + "#0#1=\r\n"
                                     "[WAVBase]\r\nboss#c:\\snd\\boss.wav#0=\r\nann#c:\\snd\\ann.wav=\r\n");
    ASSERT_EQ(0, loadFilterList(path.c_str()));
    ASSERT_EQ(0, loadWavBaseList(path.c_str()));
    ASSERT_EQ(4, config.filterList.count);
    EXPECT_STREQ("alpha", config.filterList.entries[0].text);
    EXPECT_STREQ("Beta", config.filterList.entries[1].text);
    EXPECT_EQ(text80.substr(0, 59), config.filterList.entries[2].text);
    EXPECT_EQ(FILTER_DELETE, config.filterList.entries[3].action);
    EXPECT_EQ(MATCH_EITHER, config.filterList.entries[3].match);
    ASSERT_EQ(2, config.wavBaseList.count);
    EXPECT_STREQ("ann", config.wavBaseList.entries[0].text);
    EXPECT_STREQ("c:\\snd\\ann.wav", config.wavBaseList.entries[0].soundFile);
    EXPECT_EQ(MATCH_FROM, config.wavBaseList.entries[0].match);

    ASSERT_EQ(0, saveFilterList(path.c_str()));
    ASSERT_EQ(0, saveWavBaseList(path.c_str()));
    std::string written = readFile(path);
    EXPECT_EQ((Texts{"alpha#0#0", "Beta#0#0", text80.substr(0, 59) + "#0#1", "urgent#1#2"}),
              keysInOrder(written, "Filters"));
    EXPECT_EQ((Texts{"ann#c:\\snd\\ann.wav#0", "boss#c:\\snd\\boss.wav#0"}), keysInOrder(written, "WAVBase"));

    freeFilterList(&config.filterList);
    freeWavBaseList(&config.wavBaseList);
    ASSERT_EQ(0, saveFilterList(path.c_str()));
    ASSERT_EQ(0, saveWavBaseList(path.c_str()));
    written = readFile(path);
    EXPECT_EQ(std::string::npos, written.find("[Filters]"));
    EXPECT_EQ(std::string::npos, written.find("[WAVBase]"));
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(SettingsFile, MissingFileLeavesListsAndEmptySectionEmpties)
{
    std::string path = ini("", "[Filters]\r\nkeep#0#0=\r\n");
    loadFilterList(path.c_str());
    ASSERT_EQ(1, config.filterList.count);
    EXPECT_EQ(0, loadFilterList((dir / "nofile.ini").c_str()));
    EXPECT_EQ(1, config.filterList.count);
    EXPECT_EQ(0, loadFilterList(ini("", "[Filters]\r\n").c_str()));
    EXPECT_EQ(0, config.filterList.count);
    EXPECT_TRUE(boxes.texts().empty());
}
