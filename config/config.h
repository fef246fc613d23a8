// The configuration store: every setting of section [Pelimbo], the [Filters]
// and [WAVBase] lists, environment references, path checks and the stored
// password form. Built into both the notifier and the setup library.
#ifndef PELIMBO_CONFIG_CONFIG_H
#define PELIMBO_CONFIG_CONFIG_H

#include <stddef.h>
#include <stdint.h>

#include "base/text.h"

// Buffer sizes (characters kept plus the terminator).
enum {
    CAPTION_SIZE = 46,            // WindowCaption
    PATH_SIZE = 256,              // MailFile, ReaderStartDir, MailReader, DeleteFile, ...
    LOGIN_SIZE = 1024,            // Login
    IMAP_MAILBOX_SIZE = 127,      // IMAPMailBox
    NOTES_FOLDER_SIZE = 24,       // NotesFolder in the notifier (23 characters)
    NOTES_FOLDER_SETUP_SIZE = 25, // NotesFolder in the setup library (24 characters)
    NOTES_FOLDER_LIST_SIZE = 127,
    NOTES3X_VIEW_SIZE = 26,
    SHORT_VALUE_SIZE = 50,    // ColorList, geometry keys, flags
    PLAIN_PASSWORD_SIZE = 41, // at most 40 characters
    PASSWORD_FIELD_MAX = 39,  // the longest password the setup field accepts
    // Stored password form: 2 + 2L hex digits. Readers keep the whole form of the
    // longest plain password the record can hold (40, one more than the setup
    // field accepts), so every password survives a save and a read.
    STORED_PASSWORD_SIZE = 2 + 2 * (PLAIN_PASSWORD_SIZE - 1) + 1,
    EXPANSION_SIZE = 255,      // shared expansion result, at most 254 characters
    REFERENCE_NAME_SIZE = 112, // a $NAME$ reference, at most 111 characters
    FULL_PATH_SIZE = 257,      // fullPath result
    LIST_TEXT_MAX = 59,        // filter / WAVBase text
    LIST_SOUND_MAX = 126,      // WAVBase sound file
    LIST_KEY_SIZE = 256,       // one list key as written
    OAUTH_CLIENT_SIZE = 256,   // OAuthClientId, OAuthClientSecret
    OAUTH_URL_SIZE = 1024,     // OAuthAuthorizeUrl, OAuthTokenUrl
    OAUTH_SCOPE_SIZE = 512,    // OAuthScope
    REFRESH_TOKEN_SIZE = 4096, // a plain refresh token: 4095 characters
    // OAuthToken and PasswordProtected as stored: base64 of the platform's
    // protected blob of the longest refresh token.
    PROTECTED_TEXT_SIZE = 8192,
};

enum MessageSourceKind {
    SOURCE_DISK_FILE = 0,
    SOURCE_PMAIL_NETWARE = 1,
    SOURCE_CCMAIL = 2,
    SOURCE_NOTES = 3,
    SOURCE_MSMAIL = 4,
    SOURCE_WINDOWS_MESSAGING = 5,
    SOURCE_GROUPWISE = 6,
    SOURCE_POP3 = 7,
    SOURCE_IMAP4 = 8,
};

enum SecurityKind {
    SECURITY_PLAIN = 0,    // plain text from the first byte to the last
    SECURITY_STARTTLS = 1, // STLS / STARTTLS before the login, required
    SECURITY_TLS = 2,      // TLS from the first byte
};

// POP3 and IMAP4: the sources that talk to a server (host, port, login, the
// network time-outs and the dial-up link apply).
inline bool isNetworkSource(unsigned source)
{
    return source == SOURCE_POP3 || source == SOURCE_IMAP4;
}

// A network source that logs in with an OAuth2 access token (Auth 1): no
// password is asked for or sent.
inline bool signsInWithOAuth(unsigned source, unsigned auth)
{
    return isNetworkSource(source) && auth == 1;
}

enum SoundOptionKind {
    SOUND_BEEP = 0,
    SOUND_CUSTOM = 1,
    SOUND_WAVBASE = 2,
    SOUND_NONE = 3
};
enum WindowActionKind {
    ACTION_TO_TOP = 0,
    ACTION_RESTORE = 1,
    ACTION_NONE = 2
};
enum MatchKind {
    MATCH_FROM = 0,
    MATCH_SUBJECT = 1,
    MATCH_EITHER = 2
};
enum FilterActionKind {
    FILTER_IGNORE = 0,
    FILTER_DELETE = 1
};

enum ColorIndex {
    COLOR_HEADERS_BACKGROUND = 0,
    COLOR_FROM_TEXT = 1,
    COLOR_SUBJECT_TEXT = 2,
    COLOR_NO_MAIL_WINDOW = 3,
    COLOR_HAVE_MAIL_WINDOW = 4,
    COLOR_COUNT = 5
};

// One field per key of section [Pelimbo], named by its key. A path-like key that
// the notifier expands keeps the text as read in `...Raw` and the effective
// (expanded) text under the key's own name; every consumer uses the effective one.
// The setup library edits and saves the `...Raw` texts (references unexpanded)
// and leaves the effective fields alone, except `mailFileExpanded`.
struct Settings {
    // Integers.
    unsigned MessageSource; // low 8 bits of what was read
    unsigned PollInterval;  // at least 5
    unsigned AlarmInterval; // at least 1
    unsigned SoundOption;   // low 8 bits
    unsigned WindowAction;  // low 8 bits
    unsigned WinSockInitTimeout;
    unsigned ConnectTimeout;
    unsigned InactivityTimeout;
    unsigned POP3Port;
    unsigned IMAP4Port;
    unsigned Security; // SecurityKind; anything else reads as plain
    unsigned Auth;     // 0 password, 1 OAuth2; anything else reads as 0
    unsigned OAuthProvider; // 0 own endpoints, 1 Microsoft, 2 Google; anything else reads as 0

    // Texts (raw as read, and effective after expansion where the key is expanded).
    char WindowCaptionRaw[CAPTION_SIZE];
    char WindowCaption[CAPTION_SIZE];
    char MailFileRaw[PATH_SIZE];
    char MailFile[PATH_SIZE];
    char ReaderStartDirRaw[PATH_SIZE];
    char ReaderStartDir[PATH_SIZE];
    char MailReaderRaw[PATH_SIZE];
    char MailReader[PATH_SIZE];
    char DeleteFile[PATH_SIZE];
    char LoginRaw[LOGIN_SIZE];
    char Login[LOGIN_SIZE];
    char IMAPMailBoxRaw[IMAP_MAILBOX_SIZE];
    char IMAPMailBox[IMAP_MAILBOX_SIZE];
    char Password[STORED_PASSWORD_SIZE]; // stored (scrambled) form as read
    char NotesFolder[NOTES_FOLDER_SETUP_SIZE];
    char NotesFolderList[NOTES_FOLDER_LIST_SIZE]; // setup library only
    char NotesServer[PATH_SIZE];
    char NotesMailDatabase[PATH_SIZE];
    char MailHostRaw[PATH_SIZE];
    char MailHost[PATH_SIZE];
    char SoundFileRaw[PATH_SIZE];
    char SoundFile[PATH_SIZE];
    char WAVBaseDefaultRaw[PATH_SIZE];
    char WAVBaseDefault[PATH_SIZE];
    char Notes3xView[NOTES3X_VIEW_SIZE];
    char Connection[PATH_SIZE];
    char TrustFileRaw[PATH_SIZE];
    char TrustFile[PATH_SIZE];
    // OAuth2: the registered client and, for own endpoints, the service's
    // addresses and scope (empty: the provider's own, see auth/oauth.h).
    char OAuthClientId[OAUTH_CLIENT_SIZE];
    char OAuthClientSecret[OAUTH_CLIENT_SIZE];
    char OAuthAuthorizeUrl[OAUTH_URL_SIZE];
    char OAuthTokenUrl[OAUTH_URL_SIZE];
    char OAuthScope[OAUTH_SCOPE_SIZE];
    // The refresh token and the password in protected form as stored (never plain).
    char OAuthToken[PROTECTED_TEXT_SIZE];
    char PasswordProtected[PROTECTED_TEXT_SIZE];

    uint32_t colors[COLOR_COUNT]; // ColorList, 0x00BBGGRR each

    // Booleans, in the order the setup library writes them.
    bool UseNotesSettings;
    bool Notes3xMailbox;
    bool NotesPollErrors;
    bool PasswordPrompt;
    bool Alarm;
    bool StayOnTop;
    bool ShowHeaders;
    bool ReverseSort;
    bool UnreadOnly;
    bool UseFilters;
    bool ConfirmDeletes;
    bool LogDeletes;
    bool NetErrors;
    bool ExitMenu;
    bool WAVOnce;
    bool HideIcon;
    bool LaunchReader;
    bool LaunchOnMail;
    bool MinimizeReader;
    bool SuspendPoll;
    bool DetectReader;
    bool LastIconPosition;
    bool BlinkIconOnPoll;
    bool DialConnection;
    bool HangupConnection;
    bool Balloon; // a balloon from the notification-area icon on new mail
    bool Idle;    // IMAP4: the connection stays open in IDLE, told of new mail at once
    bool ProtectPassword; // setup stores the password protected (PasswordProtected)

    // Derived.
    char notesFolderView[NOTES_FOLDER_SIZE + 1]; // "$" + NotesFolder
    bool directConnection;                       // Connection is "<Direct connection>"
    char plainPassword[PLAIN_PASSWORD_SIZE];
    char mailFileExpanded[PATH_SIZE]; // setup library: for preselecting list entries
};

// The window geometry the notifier keeps in the INI file.
struct Geometry {
    int positionX, positionY;
    int iconX, iconY;
    int headerWidth, headerHeight;
    int noHeaderWidth, noHeaderHeight;
};

struct FilterEntry {
    char *text;     // at most 59 characters
    uint8_t action; // FilterActionKind
    uint8_t match;  // MatchKind
};

struct WavBaseEntry {
    char *text;      // at most 59 characters
    char *soundFile; // at most 126 characters, may hold $NAME$ references
    uint8_t match;   // MatchKind
    uint32_t played; // WAVOnce bookkeeping
};

struct FilterList {
    FilterEntry *entries;
    int count;
};

struct WavBaseList {
    WavBaseEntry *entries;
    int count;
};

// The error box of the program the store is built into (the notifier's
// reportError, the setup library's reportSetupError).
typedef void (*ErrorReporter)(const char *text);

// All state of the configuration store, process-wide.
struct ConfigStore {
    Settings settings;
    Geometry geometry;
    FilterList filterList;
    WavBaseList wavBaseList;
    ErrorReporter report;
    // Where the program started: relative paths are taken from here. A drive
    // root is held without its backslash ("C:").
    char currentDirectory[PATH_SIZE];
    char currentDrive;          // 'A'..'Z', 0 when unknown
    char modulePath[PATH_SIZE]; // the program's (or library's) own file
    char iniPath[PATH_SIZE];
    // The shared results of expandEnvironment and fullPath.
    char expansion[EXPANSION_SIZE];
    char fullPathResult[FULL_PATH_SIZE];
    // The file the last successful findProgram found.
    char foundProgram[FULL_PATH_SIZE];
    // The file the mail-file source reads (see bindMailPath); NULL while the
    // NetWare source has none.
    const char *mailPath;
    char pmailPath[80];
    bool netWareLoaded;
    bool isSetupLibrary; // the store is running inside the setup library
};

extern ConfigStore config;

// --- Reporting -----------------------------------------------------------------
void configReport(const char *text);

// --- Settings (INI section [Pelimbo]) -------------------------------------------
// Notifier: reads every key; true when at least one value was not taken.
bool loadSettings(const char *iniPath);
void loadGeometry(const char *iniPath);
bool readFlag(const char *key, bool defaultValue, const char *iniPath);
// Setup library: raw read for editing, and the save after OK.
void loadSetupSettings(const char *iniPath);
int saveSetupSettings(void);
// Sets config.mailPath from the effective MailFile (NetWare source: from the bridge).
void bindMailPath(void);
// NetWare source: loads PELNW32.DLL once and asks it for the PMail path.
bool loadNetWareBridge(void);
void bindNetWarePath(void);
void unloadNetWareBridge(void);

// Value encodings shared by the readers (no platform calls).
bool parseFlagText(const char *text);
void parseColorList(const char *text, uint32_t colors[COLOR_COUNT]);
void parseIntPair(const char *text, int *first, int *second);
// The leading decimal number of an integer value (0 when it does not begin with a
// digit); defaultValue when the key is absent.
unsigned parseUnsignedLeading(const char *text, unsigned defaultValue, bool present);

// --- List sections [Filters] and [WAVBase] ------------------------------------------
int loadFilterList(const char *iniPath);
int loadWavBaseList(const char *iniPath);
int saveFilterList(const char *iniPath);
int saveWavBaseList(const char *iniPath);
void freeFilterList(FilterList *list);
void freeWavBaseList(WavBaseList *list);
// Parsing of one key name (no platform calls); see docs/architecture.md for what
// malformed keys yield. The fields are cut at their limits. Zero when the key
// gives no entry (it is then skipped).
int parseFilterKey(const char *key, char text[LIST_TEXT_MAX + 1], uint8_t *action, uint8_t *match);
int parseWavBaseKey(const char *key, char text[LIST_TEXT_MAX + 1], char sound[LIST_SOUND_MAX + 1],
                    uint8_t *match);
int formatFilterKey(char *key, size_t size, const FilterEntry *entry);
int formatWavBaseKey(char *key, size_t size, const WavBaseEntry *entry);
// Builds a list from a buffer of NUL-terminated key names ended by an empty name.
int buildFilterList(FilterList *list, const char *keys, size_t size);
int buildWavBaseList(WavBaseList *list, const char *keys, size_t size);
void sortFilterList(FilterList *list);
void sortWavBaseList(WavBaseList *list);
// Why a text typed for a new list entry cannot be stored as a key name, or NULL
// when it can: the refusal message the setup pages show.
const char *listTextRefusal(const char *text);

// --- Environment references and paths -------------------------------------------
// Returns config.expansion, or NULL after reporting the failure.
const char *expandEnvironment(const char *text);
// The environment lookup of the platform (names matched without regard to case).
// Returns -1 when the variable is not set, else the length of its value; when
// that length is size or more the value did not fit and is not usable.
long lookupEnvironment(const char *name, char *value, size_t size);
// Returns config.fullPathResult, or NULL when the result would not fit.
const char *fullPath(const char *path, const char *base);
const char *fileNamePart(const char *path);
bool isDirectory(const char *path);
bool isRegularFile(const char *path);
bool parentDirectoryExists(const char *path);
bool checkMailFile(const char *expanded);
bool checkMailReader(const char *expanded);
bool checkSoundFile(const char *expanded);
bool checkTrustFile(const char *expanded);
bool findProgram(const char *name);
bool tryProgram(const char *directory, const char *name, bool hasExtension);
void enterDirectory(const char *directory);
void restoreStartDirectory(void);
// Position of the first case-insensitive occurrence of pattern, or NULL.
const char *findNoCase(const char *text, const char *pattern);
// Setup library helpers for paths chosen in a file dialog.
const char *restoreReferences(const char *oldText, const char *chosenPath, char *result, size_t size);
void escapeDollars(const char *text, char *result, size_t limit);
char *lowerOutsideReferences(char *text);
// Returns config.fullPathResult, or NULL for a bad drive or a result too long.
const char *browsePath(const char *path);
// Records the start directory, drive and module file.
void captureStartLocation(void);

// --- Password storage --------------------------------------------------------------
enum {
    PASSWORD_KEY = 0x6B
};
// Zero when the stored form does not fit (stored is then empty).
int scramblePassword(const char *plain, char *stored, size_t size);
void unscramblePassword(const char *stored, char plain[PLAIN_PASSWORD_SIZE]);

// --- Protected secrets (Windows) ---------------------------------------------------
// The refresh token (OAuthToken) and, with ProtectPassword, the password
// (PasswordProtected) are kept in the INI file only in the platform's
// protected form for the Windows account (DPAPI), as base64. Each kind has
// entropy of its own, so one value cannot stand in for the other.
enum SecretKind {
    SECRET_PASSWORD = 0,
    SECRET_REFRESH_TOKEN = 1,
};
enum SecretResult {
    SECRET_OK = 1,
    SECRET_FAILED = 0,       // the platform refused (another account's blob, damaged text)
    SECRET_UNAVAILABLE = -1, // the library or an entry point is missing (reported)
};
// plain into its stored form (PROTECTED_TEXT_SIZE fits every secret we hold).
int protectSecret(SecretKind kind, const char *plain, char *stored, size_t size);
// The stored form back into plain (size bytes); plain is empty unless SECRET_OK.
int unprotectSecret(SecretKind kind, const char *stored, char *plain, size_t size);
// Writes the stored refresh token (empty: none) into OAuthToken of the INI
// file and the settings; the notifier and the checker keep a rotated token so.
bool saveOAuthToken(const char *stored);

#endif
