// Section [Pelimbo]: the notifier's validating reader, the geometry reader,
// and the setup library's raw reader and writer. All access goes through the
// platform's own profile functions.
#include <windows.h>
#include <string.h>

#include "config/config.h"

static const char SECTION[] = "Pelimbo";
static const char DIRECT_CONNECTION[] = "<Direct connection>";
static const char DEFAULT_COLORS[] = "65535,0,16711680,16777215,65535";

static void readText(const char *key, const char *defaultText, char *buffer, size_t size, const char *ini)
{
    GetPrivateProfileStringA(SECTION, key, defaultText, buffer, (DWORD)size, ini);
}

// Only the leading decimal digits count: a sign or a hex prefix reads as 0, so
// "MessageSource=-1" selects no source instead of wrapping to 255. The default
// text stands in for an absent key, which keeps "present but empty" at 0.
static unsigned readInt(const char *key, unsigned defaultValue, const char *ini)
{
    char fallback[16], text[SHORT_VALUE_SIZE];
    formatText(fallback, sizeof fallback, "%u", defaultValue);
    readText(key, fallback, text, sizeof text, ini);
    return parseUnsignedLeading(text, defaultValue, true);
}

// A stored value below the floor (one that is not a number included) becomes the floor.
static unsigned readIntAtLeast(const char *key, unsigned defaultValue, unsigned floor, const char *ini)
{
    unsigned value = readInt(key, defaultValue, ini);
    return value < floor ? floor : value;
}

static bool keyPresent(const char *key, const char *ini)
{
    char text[2];
    readText(key, "\x01", text, sizeof text, ini);
    return text[0] != '\x01';
}

bool readFlag(const char *key, bool defaultValue, const char *ini)
{
    char text[SHORT_VALUE_SIZE];
    readText(key, defaultValue ? "TRUE" : "FALSE", text, sizeof text, ini);
    return parseFlagText(text);
}

static bool sourceNeedsLogin(unsigned source)
{
    return source == SOURCE_CCMAIL || source == SOURCE_MSMAIL || source == SOURCE_WINDOWS_MESSAGING
           || source == SOURCE_GROUPWISE || isNetworkSource(source);
}

// Takes an expansion into a field. A caption may be cut; any other value that
// does not fit whole is not taken, since a cut path or name would be wrong.
static bool takeExpansion(const char *expanded, char *field, size_t size, bool mayCut)
{
    if (!expanded)
        return false;
    if (strlen(expanded) >= size && !mayCut) {
        configReport("Expanded text too long");
        return false;
    }
    copyText(field, size, expanded);
    return true;
}

// --- The notifier's reader ----------------------------------------------------------

static bool loadMailFile(Settings &s, const char *ini)
{
    readText("MailFile", "", s.MailFileRaw, sizeof s.MailFileRaw, ini);
    const char *expanded = expandEnvironment(s.MailFileRaw);
    bool ok = (s.MessageSource == SOURCE_DISK_FILE && s.MailFileRaw[0]) ? checkMailFile(expanded)
                                                                        : expanded != NULL;
    if (!ok || !takeExpansion(expanded, s.MailFile, sizeof s.MailFile, false))
        return false;
    bindMailPath();
    return true;
}

// Reads ReaderStartDir and MailReader. The reader check searches the current
// directory first, so a relative reader name is looked for in ReaderStartDir.
static bool loadReader(Settings &s, const char *ini)
{
    bool ok = true;
    bool entered = false;
    readText("ReaderStartDir", "", s.ReaderStartDirRaw, sizeof s.ReaderStartDirRaw, ini);
    const char *expanded = expandEnvironment(s.ReaderStartDirRaw);
    if (!expanded || (expanded[0] && !isDirectory(expanded))
        || !takeExpansion(expanded, s.ReaderStartDir, sizeof s.ReaderStartDir, false)) {
        ok = false;
    } else if (s.ReaderStartDir[0]) {
        enterDirectory(s.ReaderStartDir);
        entered = true;
    }

    readText("MailReader", "", s.MailReaderRaw, sizeof s.MailReaderRaw, ini);
    expanded = expandEnvironment(s.MailReaderRaw);
    bool readerOk = s.MailReaderRaw[0] ? checkMailReader(expanded) : expanded != NULL;
    if (!readerOk || !takeExpansion(expanded, s.MailReader, sizeof s.MailReader, false))
        ok = false;

    if (entered)
        restoreStartDirectory();
    return ok;
}

static bool loadExpanded(const char *key, char *raw, char *field, size_t size, bool mayCut, const char *ini)
{
    readText(key, "", raw, size, ini);
    return takeExpansion(expandEnvironment(raw), field, size, mayCut);
}

// A value that must not be empty for some sources; empty shows no message.
static bool loadRequired(const char *key, char *raw, char *field, size_t size, bool required, const char *ini)
{
    readText(key, "", raw, size, ini);
    const char *expanded = expandEnvironment(raw);
    if (!expanded || (required && raw[0] == '\0'))
        return false;
    return takeExpansion(expanded, field, size, false);
}

static bool loadSoundFile(Settings &s, const char *ini)
{
    readText("SoundFile", "", s.SoundFileRaw, sizeof s.SoundFileRaw, ini);
    const char *expanded = expandEnvironment(s.SoundFileRaw);
    bool checked = (s.SoundOption == SOUND_CUSTOM || s.SoundOption == SOUND_WAVBASE) && s.SoundFileRaw[0];
    bool ok = checked ? checkSoundFile(expanded) : expanded != NULL;
    return ok && takeExpansion(expanded, s.SoundFile, sizeof s.SoundFile, false);
}

static void loadNotesFolder(Settings &s, size_t keep, const char *ini)
{
    readText("NotesFolder", "Inbox", s.NotesFolder, keep, ini);
    formatText(s.notesFolderView, sizeof s.notesFolderView, "$%s", s.NotesFolder);
}

static void loadColors(Settings &s, const char *ini)
{
    char text[SHORT_VALUE_SIZE];
    readText("ColorList", DEFAULT_COLORS, text, sizeof text, ini);
    parseColorList(text, s.colors);
}

static void loadNetwork(Settings &s, const char *ini)
{
    s.InactivityTimeout = readInt("InactivityTimeout", 30, ini);
    s.ConnectTimeout = readInt("ConnectTimeout", 60, ini);
    s.WinSockInitTimeout = readInt("WinSockInitTimeout", 120, ini);
    s.POP3Port = readInt("POP3Port", 110, ini);
    s.IMAP4Port = readInt("IMAP4Port", 143, ini);
    readText("Connection", DIRECT_CONNECTION, s.Connection, sizeof s.Connection, ini);
    s.directConnection = strcmp(s.Connection, DIRECT_CONNECTION) == 0;
}

// Security and TrustFile came after every other key: an INI file without them
// keeps the plain conversations. A number out of range reads as plain, the
// setting every older file has.
static unsigned readSecurity(const char *ini)
{
    unsigned value = readInt("Security", SECURITY_PLAIN, ini);
    return value <= (unsigned)SECURITY_TLS ? value : (unsigned)SECURITY_PLAIN;
}

// The trust file is checked only when a network source would read it.
static bool loadTrustFile(Settings &s, const char *ini)
{
    readText("TrustFile", "", s.TrustFileRaw, sizeof s.TrustFileRaw, ini);
    const char *expanded = expandEnvironment(s.TrustFileRaw);
    bool checked = isNetworkSource(s.MessageSource) && s.Security != SECURITY_PLAIN && s.TrustFileRaw[0];
    bool ok = checked ? checkTrustFile(expanded) : expanded != NULL;
    return ok && takeExpansion(expanded, s.TrustFile, sizeof s.TrustFile, false);
}

static void loadDisplayFlags(Settings &s, const char *ini)
{
    s.StayOnTop = readFlag("StayOnTop", false, ini);
    s.ShowHeaders = readFlag("ShowHeaders", false, ini);
    s.ReverseSort = readFlag("ReverseSort", false, ini);
    s.UnreadOnly = readFlag("UnreadOnly", false, ini);
    s.UseFilters = readFlag("UseFilters", false, ini);
    s.ConfirmDeletes = readFlag("ConfirmDeletes", true, ini);
    s.LogDeletes = readFlag("LogDeletes", false, ini);
    s.NetErrors = readFlag("NetErrors", true, ini);
    s.ExitMenu = readFlag("ExitMenu", false, ini);
    s.WAVOnce = readFlag("WAVOnce", true, ini);
    s.HideIcon = readFlag("HideIcon", false, ini);
    s.LaunchReader = readFlag("LaunchReader", false, ini);
    s.LaunchOnMail = readFlag("LaunchOnMail", false, ini);
    s.MinimizeReader = readFlag("MinimizeReader", false, ini);
    s.SuspendPoll = readFlag("SuspendPoll", false, ini);
    s.DetectReader = readFlag("DetectReader", false, ini);
}

static void loadNotesFlags(Settings &s, const char *ini)
{
    s.UseNotesSettings = readFlag("UseNotesSettings", true, ini);
    s.Notes3xMailbox = readFlag("Notes3xMailbox", false, ini);
}

static void loadLaterFlags(Settings &s, const char *ini)
{
    s.NotesPollErrors = readFlag("NotesPollErrors", true, ini);
    s.PasswordPrompt = readFlag("PasswordPrompt", false, ini);
    s.Alarm = readFlag("Alarm", false, ini);
    s.LastIconPosition = readFlag("LastIconPosition", false, ini);
    s.BlinkIconOnPoll = readFlag("BlinkIconOnPoll", true, ini);
}

// The scrambled form, or the protected one that replaces it: either may be
// stored. False when a protected password is there and this Windows account
// cannot open it (the INI file came from another account or machine).
static bool loadPassword(Settings &s, const char *ini)
{
    readText("Password", "", s.Password, sizeof s.Password, ini);
    unscramblePassword(s.Password, s.plainPassword);
    readText("PasswordProtected", "", s.PasswordProtected, sizeof s.PasswordProtected, ini);
    if (s.PasswordProtected[0] == '\0')
        return true;
    char plain[PLAIN_PASSWORD_SIZE];
    int opened = unprotectSecret(SECRET_PASSWORD, s.PasswordProtected, plain, sizeof plain);
    if (opened == SECRET_OK)
        copyText(s.plainPassword, plain);
    wipeBytes(plain, sizeof plain);
    return opened == SECRET_OK;
}

static unsigned readChoice(const char *key, unsigned highest, const char *ini)
{
    unsigned value = readInt(key, 0, ini);
    return value <= highest ? value : 0u;
}

// The OAuth2 keys came after Security and TrustFile: a file without them
// logs in with its password as before.
static void loadOAuth(Settings &s, const char *ini)
{
    s.Auth = readChoice("Auth", 1, ini);
    s.OAuthProvider = readChoice("OAuthProvider", 2, ini);
    readText("OAuthClientId", "", s.OAuthClientId, sizeof s.OAuthClientId, ini);
    readText("OAuthClientSecret", "", s.OAuthClientSecret, sizeof s.OAuthClientSecret, ini);
    readText("OAuthAuthorizeUrl", "", s.OAuthAuthorizeUrl, sizeof s.OAuthAuthorizeUrl, ini);
    readText("OAuthTokenUrl", "", s.OAuthTokenUrl, sizeof s.OAuthTokenUrl, ini);
    readText("OAuthScope", "", s.OAuthScope, sizeof s.OAuthScope, ini);
    readText("OAuthToken", "", s.OAuthToken, sizeof s.OAuthToken, ini);
    s.ProtectPassword = readFlag("ProtectPassword", false, ini);
}

// Reads every key, in an order where each check finds the values it depends on.
// A value that is not taken keeps its previous effective text; every failure is
// reported where it happens and reading goes on.
bool loadSettings(const char *ini)
{
    Settings &s = config.settings;
    bool invalid = false;
    copyText(config.iniPath, ini);

    s.MessageSource = readInt("MessageSource", 0, ini) & 0xFF;
    s.AlarmInterval = readIntAtLeast("AlarmInterval", 30, 1, ini);
    invalid |= !loadExpanded("WindowCaption", s.WindowCaptionRaw, s.WindowCaption, sizeof s.WindowCaption,
                             true, ini);
    invalid |= !loadMailFile(s, ini);
    invalid |= !loadReader(s, ini);
    readText("DeleteFile", "", s.DeleteFile, sizeof s.DeleteFile, ini);
    invalid |=
        !loadRequired("Login", s.LoginRaw, s.Login, sizeof s.Login, sourceNeedsLogin(s.MessageSource), ini);
    invalid |=
        !loadExpanded("IMAPMailBox", s.IMAPMailBoxRaw, s.IMAPMailBox, sizeof s.IMAPMailBox, false, ini);
    if (!loadPassword(s, ini)) {
        configReport("The protected password cannot be read by this Windows account: type it again in setup");
        invalid = true;
    }
    loadNotesFolder(s, NOTES_FOLDER_SIZE, ini);
    readText("NotesServer", "", s.NotesServer, sizeof s.NotesServer, ini);
    readText("NotesMailDatabase", "", s.NotesMailDatabase, sizeof s.NotesMailDatabase, ini);
    invalid |= !loadRequired("MailHost", s.MailHostRaw, s.MailHost, sizeof s.MailHost,
                             isNetworkSource(s.MessageSource), ini);
    s.SoundOption = readInt("SoundOption", 0, ini) & 0xFF;
    invalid |= !loadSoundFile(s, ini);
    invalid |= !loadExpanded("WAVBaseDefault", s.WAVBaseDefaultRaw, s.WAVBaseDefault, sizeof s.WAVBaseDefault,
                             false, ini);
    s.WindowAction = readInt("WindowAction", 2, ini) & 0xFF;
    loadDisplayFlags(s, ini);
    s.PollInterval = readIntAtLeast("PollInterval", 60, 5, ini);
    loadNotesFlags(s, ini);
    readText("Notes3xView", "Received by Category", s.Notes3xView, sizeof s.Notes3xView, ini);
    loadLaterFlags(s, ini);
    loadColors(s, ini);
    loadNetwork(s, ini);
    s.DialConnection = readFlag("DialConnection", false, ini);
    s.HangupConnection = readFlag("HangupConnection", false, ini);
    s.Balloon = readFlag("Balloon", true, ini);
    s.Security = readSecurity(ini);
    invalid |= !loadTrustFile(s, ini);
    // A stored file without the key polls as it always did.
    s.Idle = readFlag("Idle", false, ini);
    loadOAuth(s, ini);
    return invalid;
}

static void readPair(const char *key, int *first, int *second, const char *ini)
{
    char text[SHORT_VALUE_SIZE];
    readText(key, "0,0", text, sizeof text, ini);
    parseIntPair(text, first, second);
}

void loadGeometry(const char *ini)
{
    Geometry &g = config.geometry;
    readPair("Position", &g.positionX, &g.positionY, ini);
    if (config.settings.LastIconPosition)
        readPair("IconPosition", &g.iconX, &g.iconY, ini);
    readPair("HeaderSize", &g.headerWidth, &g.headerHeight, ini);
    readPair("NoHeaderSize", &g.noHeaderWidth, &g.noHeaderHeight, ini);
}

// --- The setup library's reader and writer --------------------------------------------

// Reads the section for editing: raw texts, nothing validated or reported, except
// that MailFile is expanded once to preselect list entries.
void loadSetupSettings(const char *ini)
{
    Settings &s = config.settings;
    copyText(config.iniPath, ini);
    s.MessageSource = readInt("MessageSource", 0, ini) & 0xFF;
    s.AlarmInterval = readIntAtLeast("AlarmInterval", 30, 1, ini);
    readText("WindowCaption", "", s.WindowCaptionRaw, sizeof s.WindowCaptionRaw, ini);
    readText("MailFile", "", s.MailFileRaw, sizeof s.MailFileRaw, ini);
    const char *expanded = expandEnvironment(s.MailFileRaw);
    if (expanded)
        copyText(s.mailFileExpanded, expanded);
    readText("ReaderStartDir", "", s.ReaderStartDirRaw, sizeof s.ReaderStartDirRaw, ini);
    readText("MailReader", "", s.MailReaderRaw, sizeof s.MailReaderRaw, ini);
    readText("DeleteFile", "", s.DeleteFile, sizeof s.DeleteFile, ini);
    readText("Login", "", s.LoginRaw, sizeof s.LoginRaw, ini);
    readText("IMAPMailBox", "", s.IMAPMailBoxRaw, sizeof s.IMAPMailBoxRaw, ini);
    loadPassword(s, ini);
    readText("NotesFolderList", "All;Inbox;Sent;Trash", s.NotesFolderList, sizeof s.NotesFolderList, ini);
    loadNotesFolder(s, NOTES_FOLDER_SETUP_SIZE, ini);
    readText("NotesServer", "", s.NotesServer, sizeof s.NotesServer, ini);
    readText("NotesMailDatabase", "", s.NotesMailDatabase, sizeof s.NotesMailDatabase, ini);
    readText("MailHost", "", s.MailHostRaw, sizeof s.MailHostRaw, ini);
    s.SoundOption = readInt("SoundOption", 0, ini) & 0xFF;
    readText("SoundFile", "", s.SoundFileRaw, sizeof s.SoundFileRaw, ini);
    readText("WAVBaseDefault", "", s.WAVBaseDefaultRaw, sizeof s.WAVBaseDefaultRaw, ini);
    s.WindowAction = readInt("WindowAction", 2, ini) & 0xFF;
    loadDisplayFlags(s, ini);
    s.PollInterval = readIntAtLeast("PollInterval", 60, 5, ini);
    loadNotesFlags(s, ini);
    loadLaterFlags(s, ini);
    loadColors(s, ini);
    loadNetwork(s, ini);
    s.DialConnection = readFlag("DialConnection", false, ini);
    s.HangupConnection = readFlag("HangupConnection", false, ini);
    s.Balloon = readFlag("Balloon", true, ini);
    s.Security = readSecurity(ini);
    readText("TrustFile", "", s.TrustFileRaw, sizeof s.TrustFileRaw, ini);
    // A configuration setup has never saved (every save writes MessageSource)
    // starts with the watch on; a stored one keeps what it has.
    s.Idle = readFlag("Idle", !keyPresent("MessageSource", ini), ini);
    loadOAuth(s, ini);
    loadFilterList(ini);
    loadWavBaseList(ini);
}

struct FlagKey {
    const char *key;
    bool Settings::*field;
};

// The order in which the flags are written.
static const FlagKey flagKeys[] = {
    {"UseNotesSettings", &Settings::UseNotesSettings},
    {"Notes3xMailbox", &Settings::Notes3xMailbox},
    {"NotesPollErrors", &Settings::NotesPollErrors},
    {"PasswordPrompt", &Settings::PasswordPrompt},
    {"Alarm", &Settings::Alarm},
    {"StayOnTop", &Settings::StayOnTop},
    {"ShowHeaders", &Settings::ShowHeaders},
    {"ReverseSort", &Settings::ReverseSort},
    {"UnreadOnly", &Settings::UnreadOnly},
    {"UseFilters", &Settings::UseFilters},
    {"ConfirmDeletes", &Settings::ConfirmDeletes},
    {"LogDeletes", &Settings::LogDeletes},
    {"NetErrors", &Settings::NetErrors},
    {"ExitMenu", &Settings::ExitMenu},
    {"WAVOnce", &Settings::WAVOnce},
    {"HideIcon", &Settings::HideIcon},
    {"LaunchReader", &Settings::LaunchReader},
    {"LaunchOnMail", &Settings::LaunchOnMail},
    {"MinimizeReader", &Settings::MinimizeReader},
    {"SuspendPoll", &Settings::SuspendPoll},
    {"DetectReader", &Settings::DetectReader},
    {"LastIconPosition", &Settings::LastIconPosition},
    {"BlinkIconOnPoll", &Settings::BlinkIconOnPoll},
    {"DialConnection", &Settings::DialConnection},
    {"HangupConnection", &Settings::HangupConnection},
    {"Balloon", &Settings::Balloon},
};

struct ValueKey {
    const char *key;
    const char *text;
};

static bool writeKeys(const ValueKey *keys, size_t count)
{
    for (size_t i = 0; i < count; i++)
        if (!WritePrivateProfileStringA(SECTION, keys[i].key, keys[i].text, config.iniPath))
            return false;
    return true;
}

static bool writeFlags(const Settings &s)
{
    for (const FlagKey &flag : flagKeys)
        if (!WritePrivateProfileStringA(SECTION, flag.key, s.*flag.field ? "TRUE" : "FALSE", config.iniPath))
            return false;
    return true;
}

// The password as the settings ask it to be stored: scrambled in Password, or
// with ProtectPassword protected in PasswordProtected and the scrambled form
// removed. A prompted password and a Notes ID file's password are never stored.
static void storedPasswords(const Settings &s, char *scrambled, size_t scrambledSize, char *protectedForm,
                            size_t protectedSize)
{
    scrambled[0] = '\0';
    protectedForm[0] = '\0';
    if (s.PasswordPrompt || s.MessageSource == SOURCE_NOTES)
        return;
    if (!s.ProtectPassword) {
        scramblePassword(s.plainPassword, scrambled, scrambledSize);
        return;
    }
    int stored = protectSecret(SECRET_PASSWORD, s.plainPassword, protectedForm, protectedSize);
    // Never the weaker form in its place: the user asked for protection.
    if (stored == SECRET_FAILED)
        configReport("The password could not be protected: it was not saved");
}

// Writes every key (the 26 values, the 26 flags, then the keys added later:
// Security, TrustFile, Idle, the OAuth2 keys and the protected password) and
// both lists. Stops at the first failed write; zero then.
int saveSetupSettings(void)
{
    const Settings &s = config.settings;
    char poll[16], alarm[16], action[16], source[16], sound[16], colors[SHORT_VALUE_SIZE];
    char inactivity[16], connect[16], winsock[16], pop3[16], imap4[16], security[16];
    char password[STORED_PASSWORD_SIZE] = "";
    char auth[16], provider[16];
    char protectedPassword[PROTECTED_TEXT_SIZE];
    formatText(poll, sizeof poll, "%u", s.PollInterval);
    formatText(alarm, sizeof alarm, "%u", s.AlarmInterval);
    formatText(action, sizeof action, "%d", (int)s.WindowAction);
    formatText(source, sizeof source, "%d", (int)s.MessageSource);
    formatText(sound, sizeof sound, "%d", (int)s.SoundOption);
    formatText(colors, sizeof colors, "%lu,%lu,%lu,%lu,%lu", (unsigned long)s.colors[0],
               (unsigned long)s.colors[1], (unsigned long)s.colors[2], (unsigned long)s.colors[3],
               (unsigned long)s.colors[4]);
    formatText(inactivity, sizeof inactivity, "%u", s.InactivityTimeout);
    formatText(connect, sizeof connect, "%u", s.ConnectTimeout);
    formatText(winsock, sizeof winsock, "%u", s.WinSockInitTimeout);
    formatText(pop3, sizeof pop3, "%u", s.POP3Port);
    formatText(imap4, sizeof imap4, "%u", s.IMAP4Port);
    formatText(security, sizeof security, "%u", s.Security);
    formatText(auth, sizeof auth, "%u", s.Auth);
    formatText(provider, sizeof provider, "%u", s.OAuthProvider);
    storedPasswords(s, password, sizeof password, protectedPassword, sizeof protectedPassword);

    const ValueKey values[] = {
        {"WindowCaption", s.WindowCaptionRaw},
        {"MailFile", s.MailFileRaw},
        {"MailReader", s.MailReaderRaw},
        {"ReaderStartDir", s.ReaderStartDirRaw},
        {"SoundFile", s.SoundFileRaw},
        {"WAVBaseDefault", s.WAVBaseDefaultRaw},
        {"PollInterval", poll},
        {"AlarmInterval", alarm},
        {"WindowAction", action},
        {"MessageSource", source},
        {"SoundOption", sound},
        {"Login", s.LoginRaw},
        {"Password", password},
        {"NotesFolder", s.NotesFolder},
        {"NotesServer", s.NotesServer},
        {"NotesMailDatabase", s.NotesMailDatabase},
        {"MailHost", s.MailHostRaw},
        {"IMAPMailBox", s.IMAPMailBoxRaw},
        {"DeleteFile", s.DeleteFile},
        {"ColorList", colors},
        {"InactivityTimeout", inactivity},
        {"ConnectTimeout", connect},
        {"WinSockInitTimeout", winsock},
        {"POP3Port", pop3},
        {"IMAP4Port", imap4},
        {"Connection", s.Connection},
    };
    // Written after every older key, so older files only grow at their end.
    const ValueKey laterValues[] = {
        {"Security", security},
        {"TrustFile", s.TrustFileRaw},
        {"Idle", s.Idle ? "TRUE" : "FALSE"},
        {"Auth", auth},
        {"OAuthProvider", provider},
        {"OAuthClientId", s.OAuthClientId},
        {"OAuthClientSecret", s.OAuthClientSecret},
        {"OAuthAuthorizeUrl", s.OAuthAuthorizeUrl},
        {"OAuthTokenUrl", s.OAuthTokenUrl},
        {"OAuthScope", s.OAuthScope},
        {"OAuthToken", s.OAuthToken},
        {"ProtectPassword", s.ProtectPassword ? "TRUE" : "FALSE"},
        {"PasswordProtected", protectedPassword},
    };
    if (!writeKeys(values, sizeof values / sizeof values[0]) || !writeFlags(s)
        || !writeKeys(laterValues, sizeof laterValues / sizeof laterValues[0])) {
        configReport("Error saving setup");
        return 0;
    }
    saveFilterList(config.iniPath);
    saveWavBaseList(config.iniPath);
    return 1;
}

bool saveOAuthToken(const char *stored)
{
    copyText(config.settings.OAuthToken, stored);
    return WritePrivateProfileStringA(SECTION, "OAuthToken", stored, config.iniPath) != FALSE;
}

// --- Where the mail-file source reads --------------------------------------------------

void bindMailPath(void)
{
    if (config.settings.MessageSource == SOURCE_PMAIL_NETWARE) {
        bindNetWarePath();
        return;
    }
    config.mailPath = config.settings.MailFile;
}
