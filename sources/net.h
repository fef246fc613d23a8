// The network side of the POP3 and IMAP4 sources: the transport state, the
// operations the two protocol clients use, and the two platform layers (the
// socket library and the dial-up service) the transport and the link talk to.
// Nothing here needs the platform's headers: Windows plugs in WinSock and RAS,
// tests plug in scripted layers.
#ifndef PELIMBO_SOURCES_NET_H
#define PELIMBO_SOURCES_NET_H

#include <stddef.h>
#include <stdint.h>

#include "auth/oauth.h"
#include "auth/sasl.h"
#include "mail/mail.h"
#include "sources/capabilities.h"
#include "sources/lineframer.h"
#include "sources/sources.h"

enum {
    RECEIVE_BUFFER_SIZE = 4096,
    COMMAND_BUFFER_SIZE = 152,
    HEADER_BLOCK_FIXED = 4096,
    HEADER_BLOCK_MAX = 65535,
    HOST_ENTRY_SIZE = 1024,
    TAIL_SIZE = 5,
    // Room for the largest TLS record (16 KiB of text and its overhead) twice over.
    SECURE_BUFFER_SIZE = 2 * (16384 + 2048),
    SECURE_DESCRIPTION_SIZE = 1024,
    // A SASL command or response: the longest message and its command words.
    SASL_COMMAND_SIZE = SASL_MESSAGE_SIZE + 64,
    TOKEN_FAILURE_SIZE = PATH_SIZE + 160,
};

// Where the TLS session of the connection stands.
enum SecureState {
    SECURE_OFF = 0,         // plain conversation
    SECURE_HANDSHAKE = 1,   // first handshake: nothing reaches the client
    SECURE_OPEN = 2,        // records carry the conversation
    SECURE_REHANDSHAKE = 3, // handshake messages inside the open session
};

// Socket events (low word of a socket notification) and the masks selected.
enum {
    NET_READ = 1,
    NET_WRITE = 2,
    NET_CONNECT = 16,
    NET_CLOSE = 32,
    MASK_NONE = 0,
    MASK_HOLD = NET_CLOSE,                        // a reply is being handled
    MASK_IDLE = NET_READ | NET_WRITE | NET_CLOSE, // waiting between replies
    MASK_CONNECT = NET_CONNECT,
};

enum {
    NET_WOULD_BLOCK = 10035,
};

typedef uintptr_t NetSocket;
static const NetSocket NET_INVALID_SOCKET = ~(NetSocket)0;

// The platform's socket library, reduced to what the transport needs. Every
// member is called only after load() succeeded.
struct SocketLayer {
    // 1 loaded with every entry point, 0 the library is missing, -1 an entry
    // point is missing (the library has been unloaded again).
    int (*load)(void);
    // 0 on success; *granted receives the version granted (major in the low byte).
    int (*startup)(uint16_t requested, uint16_t *granted);
    int (*cleanup)(void);
    // Notifications for mask on s go to the network window. -1 on failure.
    int (*asyncSelect)(NetSocket s, long mask);
    // Starts the asynchronous lookup of name into buffer; 0 when it could not start.
    uintptr_t (*asyncGetHostByName)(const char *name, char *buffer, int size);
    int (*cancelBlockingCall)(void);
    int (*cancelAsyncRequest)(uintptr_t handle);
    int (*lastError)(void);
    int (*setLingerOff)(NetSocket s);
    NetSocket (*openStream)(void);
    int (*closeSocket)(NetSocket s);
    int (*sendBytes)(NetSocket s, const char *data, int length);
    int (*receiveBytes)(NetSocket s, char *data, int length);
    int (*connectTo)(NetSocket s, const uint8_t address[16]);
    uint16_t (*hostToNetShort)(uint16_t value);
    uint32_t (*parseDotted)(const char *text);
    // The first address of the host entry the lookup wrote into buffer.
    bool (*firstAddress)(const char *buffer, uint8_t address[4]);
    // Posts WM_STARTCONNECT to the network window.
    void (*postStartConnect)(void);
    // Posts WM_MAILBOXCHANGED to the network window: the watch was told of a
    // change, and the poll cycle polls as soon as a poll may start.
    void (*postMailboxChanged)(void);
};

// Connection states as the dial-up service reports them.
enum {
    DIAL_STATE_CONNECTED = 0x2000
};

struct DialConnection {
    uintptr_t handle;
    char entryName[257];
};

struct DialParameters {
    char entryName[257];
    char phoneNumber[129];
    char callbackNumber[129];
    char userName[257];
    char password[257];
    char domain[16];
};

enum {
    DIAL_CONNECTION_SLOTS = 128
};

// The platform's dial-up service.
struct DialUpLayer {
    // 1 loaded, 0 missing library (silent), -1 an entry point is missing.
    int (*load)(void);
    void (*unload)(void);
    // Active connections into list; the count, or -1 when the call failed.
    int (*enumConnections)(DialConnection *list, int slots);
    // 0 and *state on success.
    int (*connectState)(uintptr_t handle, unsigned *state);
    int (*getDialParams)(DialParameters *params, bool *passwordSaved);
    int (*setDialParams)(const DialParameters *params);
    // Starts the dial; onDialEvent follows. 0 on success.
    int (*dial)(const DialParameters *params, uintptr_t *handle);
    int (*hangUp)(uintptr_t handle);
    void (*pause)(unsigned milliseconds);
    // Asks the main window for a poll at the next tick (WM_SYSCOMMAND 1).
    void (*postPollNow)(void);
};

// Results of the secure layer's handshake and record calls.
enum {
    SECURE_DONE = 0,        // handshake complete, or one record opened
    SECURE_MORE = 1,        // the bytes end inside a message: read more first
    SECURE_CLOSED = 2,      // the server ended the session (close-notify)
    SECURE_RENEGOTIATE = 3, // handshake messages follow the records opened
    SECURE_FAILED = -1,
};

// Where the secure layer puts bytes to send: appended at length, never past size.
struct SecureOutput {
    char *data;
    size_t size;
    size_t length;
};

// The platform's TLS, reduced to what the transport needs: one client session
// at a time, fed and drained through buffers the transport owns, so the
// asynchronous socket model stays the transport's own.
struct SecureLayer {
    // 1 loaded with every entry point, 0 a library is missing, -1 an entry
    // point is missing. Called once per session; loads at the first.
    int (*load)(void);
    // Starts a client session with host; the first handshake message goes to out.
    int (*begin)(const char *host, SecureOutput *out);
    // Feeds the handshake with in. *used bytes were taken (the rest is kept for
    // the next call), and what must be sent goes to out.
    int (*handshake)(const char *in, size_t length, size_t *used, SecureOutput *out);
    // Checks the server's certificate against host after the handshake, with the
    // certificate in trustFile (PEM or DER, may be empty) as an extra root.
    // False with the reason in message when it must not be trusted.
    bool (*verify)(const char *host, const char *trustFile, char *message, size_t size);
    // Seals plain text into one or more records in out.
    bool (*seal)(const char *plain, size_t length, SecureOutput *out);
    // Opens the first record of in, in place: *used bytes were taken, the
    // plain text (possibly none) is at *plain.
    int (*open)(char *in, size_t length, size_t *used, char **plain, size_t *plainLength);
    // Ends the session and frees what it holds.
    void (*end)(void);
    // The platform's code of the last failure, for the message.
    long (*lastStatus)(void);
    // "protocol, cipher; subject; issuer" of the session, for the checker.
    void (*describe)(char *text, size_t size);
};

// One request to the token service for a new access token, run by the token
// layer away from the window thread. The transport allocates it; the layer
// fills the answer and hands it back through handleTokenDone, which frees it.
struct TokenJob {
    unsigned generation; // oauth.generation when it started; a later one makes it stale
    char url[OAUTH_URL_SIZE];
    char trustFile[PATH_SIZE];
    unsigned timeoutSeconds;
    char form[TOKEN_BODY_SIZE]; // holds the refresh token: the layer wipes it once sent
    // The answer: reached when the service sent one (whatever its status).
    bool reached;
    unsigned httpStatus;
    char answer[TOKEN_ANSWER_MAX + 1];
    size_t answerLength;
    char failure[TOKEN_FAILURE_SIZE]; // why it was not reached (the certificate, the network)
};

// The token service and the stored refresh token, as the platform has them.
struct TokenLayer {
    // The stored refresh token in plain text; false when none is stored or
    // this Windows account cannot open it.
    bool (*readRefreshToken)(char *plain, size_t size);
    // Replaces the stored refresh token (rotation); an empty one removes it.
    void (*storeRefreshToken)(const char *plain);
    // Runs job away from the window thread; handleTokenDone follows on it.
    // False when it could not start (job->failure says why); job stays the caller's.
    bool (*start)(TokenJob *job);
    // Milliseconds of a clock that may wrap.
    uint32_t (*milliseconds)(void);
};

void installSocketLayer(const SocketLayer *layer);
void installDialUpLayer(const DialUpLayer *layer);
void installSecureLayer(const SecureLayer *layer);
void installTokenLayer(const TokenLayer *layer);
// The TLS layer in force (tests wrap the platform's own).
const SecureLayer *installedSecureLayer(void);

// The transport state. One connection at a time.
struct NetState {
    bool winSockLoaded;
    bool winSockAbandoned; // the start-up guard expired while starting
    NetSocket socket;
    long selectedMask; // the event mask last selected on socket, -1 none
    uintptr_t lookupHandle;
    uint8_t hostAddress[4];
    char hostEntryBuffer[HOST_ENTRY_SIZE];
    uint8_t serverAddress[16];
    char receiveBuffer[RECEIVE_BUFFER_SIZE + 1]; // one spare byte keeps it terminated
    int receivedLength;
    char commandBuffer[COMMAND_BUFFER_SIZE];
    // A SASL command or response carrying the access token, sent only sealed
    // and wiped as soon as it is.
    char saslCommand[SASL_COMMAND_SIZE];
    // The status of the server's last SASL error ("invalid_token"), for the checker.
    char saslStatus[SASL_STATUS_SIZE];
    const char *sendCursor;
    int sendRemaining;
    // TLS: raw bytes received and not yet opened, plain text opened and not
    // yet handed to the client, and the sealed command or handshake message.
    uint8_t secureState;   // SecureState
    bool secureNeedsBytes; // the raw bytes end inside a record
    bool securePeerClosed;
    int secureInLength;
    int securePlainLength;
    int securePlainOffset;
    char secureIn[SECURE_BUFFER_SIZE];
    char securePlain[SECURE_BUFFER_SIZE];
    char secureOut[SECURE_BUFFER_SIZE];
    char secureDescription[SECURE_DESCRIPTION_SIZE];
    char headerBlockFixed[HEADER_BLOCK_FIXED];
    char *headerBlock;
    size_t headerBlockFill;
    size_t headerBlockCapacity;
    // The last conversation ended because the server hung up. The notifier
    // says nothing then; the checker must still say why its poll failed.
    bool serverHungUp;
    // Counters for tests and measurements. bytesReceived counts the reply
    // bytes handed to the clients (the plain text under TLS), so it compares
    // across Security settings; under TLS the bytes read from the socket
    // (handshake included) and the records opened are counted apart.
    unsigned long long bytesReceived;
    unsigned long long headerBytesCollected;
    unsigned long long secureBytesReceived;
    unsigned long secureRecordsOpened;
    unsigned long connectionsOpened;
};

extern NetState net;

// --- Transport operations the protocol clients use ------------------------------
// Selects the event mask on the socket (a mask already in force is not
// selected again: each selection costs a round trip to the socket service).
void selectSocketEvents(long mask);
// Holds read notifications back before anything that runs a nested message
// loop (a question or an error box) while a reply is being handled; the next
// command or wait selects the idle mask again.
void holdSocketEvents(void);
void sendCommand(void);
bool receiveChunk(void);
void appendToHeaderBlock(uint8_t *tail);
void resetHeaderBlock(void);
void releaseHeaderBlock(void);
// Ends a poll that did not commit (remembered as failed), hanging up as asked.
void endFailedNetworkPoll(void);
// True while the conversation can still go on (connected, poll running).
bool connectionAlive(void);
// The watch's commit: the poll ends and its connection stays open.
void finishPollKeepingConnection(void);
// Asks the poll cycle for a poll on the watched connection.
void postMailboxChanged(void);
// The client's STLS / STARTTLS was accepted: the TLS handshake starts, and the
// client's continueAfterStartTls follows once the server is verified.
void startSecureSession(void);

// OAuth2. Sends net.saslCommand (formatted by the client) sealed, then wipes
// it; in a plain conversation it is refused and wiped unsent.
void sendSaslCommand(void);
// The server refused the access token. The first refusal of a conversation
// may only mean the token ended early: a new one is asked for while the
// connection waits (the client, in its refresh state, hears of it through its
// continueAfterRefresh); the second asks the user to sign in again.
void renewRefusedToken(int *refusals);
// Ends the poll with "Sign-in needed for ...", said once per outage.
void signInNeeded(void);
// A SASL continuation line ("+" or "+ text"), not POP3's "+OK".
bool isContinuationLine(const char *line, size_t length);
// The text of the SASL error continuation read into net.saslStatus.
void takeSaslError(const char *line, size_t length);

// False when text holds a CR or LF: such an argument would end the command
// line early and let the rest reach the server as a command of its own. (A NUL
// cannot be in it: it ends the text.)
bool commandArgumentSafe(const char *text);

// Formats a command into commandBuffer. False when it would not fit; the buffer
// then holds nothing to send. Whatever an earlier, longer command left behind
// the new one is wiped.
bool formatCommand(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Commits a network poll: closes the connection, moves the stored Received date
// on, publishes count headers and ends the network poll.
void publishNetworkHeaders(bool newMail, int count, ReceivedDate *storedDate, ReceivedTime *storedTime,
                           const ReceivedDate *newestDate, const ReceivedTime *newestTime);
// The same commit for a poll whose connection stays open for the watch.
void publishWatchedHeaders(bool newMail, int count, ReceivedDate *storedDate, ReceivedTime *storedTime,
                           const ReceivedDate *newestDate, const ReceivedTime *newestTime);

// --- Protocol clients ------------------------------------------------------------
void resetPop3Client(void);
void handlePop3Reply(void);
void resetImapClient(void);
void handleImapReply(void);
// The session asked for by STLS / STARTTLS is up and verified: log in.
void continuePop3AfterStls(void);
void continueImapAfterStartTls(void);
// A new access token came after the server refused the old one: log in again.
void continuePop3AfterRefresh(void);
void continueImapAfterRefresh(void);
// A poll asked for while the watch holds the connection: ends the IDLE and
// polls on it (or, while the IDLE is not yet in force, as soon as it is).
void pollWatchedMailbox(void);

// Client state, visible for tests.
struct Pop3Client {
    uint8_t state;
    LineFramer reply;      // the status line of the reply in progress
    bool topStatusChecked; // the status line of the TOP reply has been judged
    bool capaStatusChecked; // the status line of the CAPA reply has been judged
    ServerOffer offer;
    SaslMechanism mechanism;
    int tokensRefused; // access tokens the server refused in this conversation
    int total;
    int current;
    int skipped;
    int slot;
    bool newMail;
    uint8_t tail[TAIL_SIZE];
    ReceivedDate stampDate;
    ReceivedTime stampTime;
    ReceivedDate runningDate;
    ReceivedTime runningTime;
    HeaderScanResult result;
    MessageHeader *record;
};

struct ImapClient {
    uint8_t state;
    int tagNumber;
    LineFramer reply; // the line of the reply in progress
    // Bytes of a literal ({n} at the end of a line) still to come: they are
    // text, never lines, so a header line starting with our tag ends nothing.
    size_t literalLeft;
    ServerOffer offer;
    SaslMechanism mechanism;
    int tokensRefused; // access tokens the server refused in this conversation
    int exists;
    bool existsSeen;
    int current;
    bool seen;
    int skipped;
    int slot;
    bool newMail;
    ReceivedDate stampDate;
    ReceivedTime stampTime;
    ReceivedDate runningDate;
    ReceivedTime runningTime;
    HeaderScanResult result;
    MessageHeader *record;
    // The watch (IDLE between polls).
    bool capabilitiesKnown; // the server's capabilities after the login have been read
    bool idleOffered;       // ... and they list IDLE
    bool changed;           // the mailbox changed since this poll read it: poll again
    bool failed;            // the conversation reported a failure: no watch after it
    int deleted;            // messages this poll flagged \Deleted (CLOSE removes them)
};

extern Pop3Client pop3;
extern ImapClient imap;

// Reply status of an IMAP4 line (pending: not the tagged line of the command).
enum {
    IMAP_PENDING = 0,
    IMAP_OK = 1,
    IMAP_NO = 2,
    IMAP_BAD = 3
};

// IMAP4 argument forms: a quoted string with '"' and '\' escaped; a mailbox
// name as a plain atom when it is one, else quoted. False when out is too small.
bool imapQuoted(const char *text, char *out, size_t size);
bool imapMailboxName(const char *text, char *out, size_t size);

// --- Single IMAP4 server lines (pointer and length, never read past) -----------------
// What an untagged "* n EXISTS", "* n EXPUNGE" or "* n FETCH (...)" says.
enum MailboxChange {
    MAILBOX_UNCHANGED = 0,
    MAILBOX_EXISTS,  // the message count is now n
    MAILBOX_EXPUNGE, // message n is gone
    MAILBOX_FETCH,   // message n changed (its flags, set elsewhere)
};
MailboxChange imapMailboxChange(const char *line, size_t length);

// The server says goodbye ("* BYE ..."): the connection is about to close.
bool imapByeLine(const char *line, size_t length);

// --- Byte helpers (replies may hold NUL bytes) -------------------------------------
const char *findBytes(const char *data, size_t length, const char *needle);
const char *findBytesNoCase(const char *data, size_t length, const char *needle);
bool beginsNoCase(const char *data, size_t length, const char *prefix);
// A decimal number at text (leading blanks, an optional sign), clamped to int.
int readDecimal(const char *text, size_t length);

// --- Dial-up link -------------------------------------------------------------------
struct DialUpState {
    bool loaded;
    uintptr_t activeConnection;
    uintptr_t dialHandle;
    // Written by the dial-up service's thread, read on the window thread.
    volatile int eventPending; // 0 none, 1 connected, 2 failed
    volatile unsigned eventError;
    unsigned dialTicks;             // seconds the running dial has waited for its outcome
    bool libraryMissing;            // the service's library could not be loaded
    char missingToldFor[PATH_SIZE]; // the Connection the user was told about
};

extern DialUpState dialUp;

bool findConnection(void);
bool connectionIsUp(void);
bool ensureDialUpLink(void);

#endif
