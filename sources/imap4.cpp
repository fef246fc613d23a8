// The IMAP4 client: one conversation per poll, one received chunk per call.
// LOGIN, SELECT (filters may delete) or EXAMINE, FETCH FLAGS with UnreadOnly,
// FETCH RFC822.HEADER, STORE \Deleted for condemned new messages, CLOSE after
// SELECT, LOGOUT, and the commit on LOGOUT's reply. Each reply is split into
// lines first; a command is complete when a line begins with its tag, so a
// tag or a word cut in two by the network is still read whole. Each state has
// one handler, which sees the reply line by line.
//
// With Idle the conversation does not end: after the commit the connection
// stays on the mailbox in IDLE (the watch). A change the server reports
// there ends the IDLE with DONE, and the poll's work runs again on the same
// connection from the mailbox command on, so it publishes what a fresh poll
// would; then IDLE again.
#include "sources/net.h"

#include <string.h>

#include "config/config.h"
#include "core/core.h"

ImapClient imap;

enum ImapState {
    IMAP_GREETING = 0,
    IMAP_LOGIN = 1,
    IMAP_STARTTLS = 2,
    // OAuth2 (Auth 1) logs in with AUTHENTICATE instead of LOGIN.
    IMAP_CAPABILITY = 3,   // what the server offers, read after TLS
    IMAP_AUTH_READY = 4,   // AUTHENTICATE without SASL-IR: waiting for the "+"
    IMAP_AUTHENTICATE = 5, // the token sent: waiting for the tagged status
    IMAP_AUTH_ERROR = 6,   // the server's error continuation answered: waiting for its NO
    IMAP_AUTH_REFRESH = 7, // a new access token is on its way
    IMAP_SELECT = 8,
    IMAP_FLAGS = 9,
    IMAP_HEADER = 10,
    IMAP_STORE = 11,
    IMAP_CLOSE = 12,
    IMAP_LOGOUT = 13,
    IMAP_DONE = 14,
    // The watch.
    IMAP_IDLE_CAPABILITY = 15, // CAPABILITY after the login, when the login's reply listed none
    IMAP_RESELECT = 16,        // the mailbox opened again after CLOSE, to be watched
    IMAP_IDLE_START = 17,      // IDLE sent, its continuation awaited
    IMAP_IDLING = 18,          // IDLE in force: the server's word awaited
    IMAP_IDLE_RENEW = 19,      // DONE sent to renew the IDLE, its reply awaited
    IMAP_IDLE_WAKE = 20,       // DONE sent for a poll, its reply awaited
};

// The one place the state changes, with what entering a state starts. The
// watch's network stage follows its state: an IDLE or a DONE awaits its
// answer, or the IDLE is in force.
static void enterState(ImapState next)
{
    imap.state = (uint8_t)next;
    if (next == IMAP_FLAGS)
        imap.seen = false;
    else if (next == IMAP_HEADER)
        resetHeaderBlock();
    bool reply = next == IMAP_IDLE_START || next == IMAP_IDLE_RENEW || next == IMAP_IDLE_WAKE;
    bool idling = next == IMAP_IDLING;
    if (reply || idling) {
        netStages.watching = true;
        notifier.stageTicks = 0;
    }
    netStages.idleReply = reply;
    netStages.idling = idling;
}

void resetImapClient(void)
{
    enterState(IMAP_GREETING);
    imap.tagNumber = 1;
    resetLineFramer(&imap.reply);
    imap.literalLeft = 0;
    imap.offer = ServerOffer();
    imap.mechanism = SASL_NONE;
    imap.tokensRefused = 0;
    imap.capabilitiesKnown = false;
    imap.idleOffered = false;
}

// Every command starts a new reply.
static void sendImap(ImapState next)
{
    enterState(next);
    resetLineFramer(&imap.reply);
    imap.literalLeft = 0;
    sendCommand();
}

// The same for a command that carries the access token.
static void sendImapSasl(ImapState next)
{
    enterState(next);
    resetLineFramer(&imap.reply);
    imap.literalLeft = 0;
    sendSaslCommand();
}

// --- Argument forms ---------------------------------------------------------------------

bool imapQuoted(const char *text, char *out, size_t size)
{
    size_t n = 0;
    if (size < 3)
        return false;
    out[n++] = '"';
    for (const char *p = text; *p; p++) {
        bool escape = *p == '"' || *p == '\\';
        if (n + (escape ? 2 : 1) + 2 > size)
            return false;
        if (escape)
            out[n++] = '\\';
        out[n++] = *p;
    }
    out[n++] = '"';
    out[n] = '\0';
    return true;
}

// A name made only of characters that may stand in an unquoted mailbox name
// (RFC 3501 ASTRING-CHAR) goes out as it is; any other is quoted.
static bool isPlainAtom(const char *text)
{
    if (*text == '\0')
        return false;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        if (*p <= 0x20 || *p >= 0x7F)
            return false;
        if (strchr("(){%*\"\\", *p))
            return false;
    }
    return true;
}

bool imapMailboxName(const char *text, char *out, size_t size)
{
    if (isPlainAtom(text))
        return copyText(out, size, text) != 0;
    return imapQuoted(text, out, size);
}

// --- Replies ---------------------------------------------------------------------------

// The status of the command in progress when the line is its tagged line;
// IMAP_PENDING for any other line. The tag counts only at the start of a
// line, so the same letters inside a header line or a quoted text do not end
// a command early.
static int taggedStatus(const char *line, size_t length)
{
    char tag[16];
    if (imap.state == IMAP_CLOSE)
        copyText(tag, "Z9998");
    else
        formatText(tag, sizeof tag, "A%04d", imap.tagNumber);
    size_t tagLength = strlen(tag);
    if (length <= tagLength || memcmp(line, tag, tagLength) != 0)
        return IMAP_PENDING;
    const char *word = line + tagLength + 1;
    size_t rest = length - tagLength - 1;
    if (beginsNoCase(word, rest, "OK"))
        return IMAP_OK;
    if (beginsNoCase(word, rest, "NO"))
        return IMAP_NO;
    if (beginsNoCase(word, rest, "BAD"))
        return IMAP_BAD;
    return IMAP_PENDING;
}

// The length a line announces with {n} at its end: that many bytes of literal
// text follow its line end. Larger figures than any reply we read are kept at
// a bound; the inactivity limit ends a server that never sends them.
static size_t announcedLiteral(const char *line, size_t length)
{
    const size_t bound = (size_t)1 << 30;
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
        length--;
    if (length < 3 || line[length - 1] != '}')
        return 0;
    size_t end = length - 1, start = end;
    while (start > 0 && line[start - 1] >= '0' && line[start - 1] <= '9')
        start--;
    if (start == end || start == 0 || line[start - 1] != '{')
        return 0;
    size_t n = 0;
    for (size_t i = start; i < end; i++) {
        n = n * 10 + (size_t)(line[i] - '0');
        if (n > bound)
            return bound;
    }
    return n;
}

// Passes over the literal bytes at the start of the given ones; how many.
static size_t skipLiteral(size_t available)
{
    size_t take = imap.literalLeft < available ? imap.literalLeft : available;
    imap.literalLeft -= take;
    return take;
}

static void waitForMore(void)
{
    selectSocketEvents(MASK_IDLE);
}

static bool sendTagged(ImapState next, const char *format, int number)
{
    imap.tagNumber++;
    if (!formatCommand(format, imap.tagNumber, number))
        return false;
    sendImap(next);
    return true;
}

static void sendCapability(ImapState next)
{
    imap.tagNumber++;
    formatCommand("A%04d CAPABILITY\r\n", imap.tagNumber);
    sendImap(next);
}

static void sendLogout(void)
{
    formatCommand("Z9999 LOGOUT\r\n");
    sendImap(IMAP_LOGOUT);
}

// The watch needs Idle, the server's IDLE, and a link that stays up between
// polls (a dial-up link is hung up after each).
static bool watchConfigured(void)
{
    const Settings &s = config.settings;
    return s.Idle && s.directConnection && s.MessageSource == SOURCE_IMAP4;
}

static bool watchWanted(void)
{
    return watchConfigured() && imap.capabilitiesKnown && imap.idleOffered && !imap.failed
           && !exitRequested();
}

static void sendMailboxCommand(ImapState next);
static void commitAndWatch(void);

// The poll's work is done: log out and commit, or keep the connection on the
// mailbox (opening it again when CLOSE has closed it) and watch.
static void finishConversation(bool mailboxClosed)
{
    if (!watchWanted())
        sendLogout();
    else if (mailboxClosed)
        sendMailboxCommand(IMAP_RESELECT);
    else
        commitAndWatch();
}

static void endConversation(void)
{
    if (config.settings.UseFilters && imap.state >= IMAP_SELECT && imap.state < IMAP_CLOSE) {
        formatCommand("Z9998 CLOSE\r\n");
        sendImap(IMAP_CLOSE);
    } else {
        finishConversation(false);
    }
}

static void failBeforeSelect(const char *text)
{
    closeConnection();
    reportNetError(text);
    endFailedNetworkPoll();
}

static void failAfterSelect(const char *text)
{
    imap.failed = true;
    endConversation();
    reportNetError(text);
}

static void fetchFlags(void)
{
    sendTagged(IMAP_FLAGS, "A%04d FETCH %d FLAGS\r\n", imap.current);
}

static void fetchHeader(void)
{
    sendTagged(IMAP_HEADER, "A%04d FETCH %d RFC822.HEADER\r\n", imap.current);
}

static void nextMessage(void)
{
    imap.seen = false;
    if (imap.current < imap.exists) {
        imap.current++;
        if (config.settings.UnreadOnly)
            fetchFlags();
        else
            fetchHeader();
    } else {
        endConversation();
    }
}

static void commit(void)
{
    enterState(IMAP_DONE);
    publishNetworkHeaders(imap.newMail, imap.exists - imap.skipped, &imap.stampDate, &imap.stampTime,
                          &imap.runningDate, &imap.runningTime);
}

static void sendIdle(void)
{
    imap.tagNumber++;
    formatCommand("A%04d IDLE\r\n", imap.tagNumber);
    sendImap(IMAP_IDLE_START);
}

// The same commit, the connection kept; then IDLE. What was published went out
// before the IDLE, so a failure to send it is a lost watch, not a lost poll.
static void commitAndWatch(void)
{
    publishWatchedHeaders(imap.newMail, imap.exists - imap.skipped, &imap.stampDate, &imap.stampTime,
                          &imap.runningDate, &imap.runningTime);
    sendIdle();
}

// DONE ends the IDLE; its reply is the IDLE command's tagged line.
static void sendDone(ImapState next)
{
    formatCommand("DONE\r\n");
    sendImap(next);
}

// What every conversation starts with, and every poll on a watched connection.
static void beginConversation(void)
{
    imap.runningDate = imap.stampDate;
    imap.runningTime = imap.stampTime;
    imap.newMail = false;
    imap.exists = 0;
    imap.slot = 0;
    imap.skipped = 0;
    imap.deleted = 0;
    imap.changed = false;
    imap.failed = false;
}

// The watch asks only a list the server sent after the login: what it offers
// may change with it.
static void noteLoggedInCapabilities(const char *line, size_t length)
{
    ServerOffer listed = ServerOffer();
    if (readImapCapabilities(line, length, &listed)) {
        imap.capabilitiesKnown = true;
        imap.idleOffered = imap.idleOffered || listed.idle;
    }
}

// A new message or one gone while the poll read the mailbox: the watch polls
// again before it rests. (FETCH lines are the poll's own answers here.)
static void noteChange(const char *line, size_t length)
{
    MailboxChange change = imapMailboxChange(line, length);
    if (change == MAILBOX_EXISTS || change == MAILBOX_EXPUNGE)
        imap.changed = true;
}

// The number in front of "EXISTS" in the line.
static int existsCount(const char *line, size_t length, const char *word)
{
    const char *p = word;
    if (p > line)
        p--;
    while (p > line && !(*p >= '0' && *p <= '9'))
        p--;
    while (p > line && (*p >= '0' && *p <= '9'))
        p--;
    if (!(*p >= '0' && *p <= '9'))
        p++;
    return readDecimal(p, (size_t)(line + length - p));
}

static void sendLogin(void)
{
    char login[COMMAND_BUFFER_SIZE], password[COMMAND_BUFFER_SIZE];
    imap.tagNumber++;
    // Every argument of the conversation is judged before anything is sent.
    if (!commandArgumentSafe(config.settings.Login) || !commandArgumentSafe(config.settings.plainPassword)) {
        enterState(IMAP_LOGIN);
        failBeforeSelect("Line break in login name or password: not sent to the IMAP4 server");
        return;
    }
    if (!commandArgumentSafe(config.settings.IMAPMailBox)) {
        enterState(IMAP_LOGIN);
        failBeforeSelect("Line break in mailbox name: not sent to the IMAP4 server");
        return;
    }
    bool fits = imapQuoted(config.settings.Login, login, sizeof login)
                && imapQuoted(config.settings.plainPassword, password, sizeof password)
                && formatCommand("A%04d LOGIN %s %s\r\n", imap.tagNumber, login, password);
    wipeBytes(login, sizeof login);
    wipeBytes(password, sizeof password);
    if (!fits) {
        enterState(IMAP_LOGIN);
        failBeforeSelect("Login name or password too long for the IMAP4 server");
        return;
    }
    sendImap(IMAP_LOGIN);
}

// --- OAuth2 login --------------------------------------------------------------------------

static void sendCredentials(void)
{
    if (config.settings.Auth == AUTH_OAUTH2) {
        imap.offer = ServerOffer();
        sendCapability(IMAP_CAPABILITY);
    } else {
        sendLogin();
    }
}

// AUTHENTICATE with the access token held: on the command line when the
// server offers SASL-IR, else after its "+".
static void sendAuthenticate(void)
{
    const Settings &s = config.settings;
    char message[SASL_MESSAGE_SIZE];
    const char *name = saslMechanismName(imap.mechanism);
    imap.tagNumber++;
    bool built = buildSaslMessage(imap.mechanism, s.Login, s.MailHost, s.IMAP4Port, oauth.accessToken,
                                  message, sizeof message);
    bool fits = built
                && (imap.offer.initialResponse
                        ? formatText(net.saslCommand, sizeof net.saslCommand, "A%04d AUTHENTICATE %s %s\r\n",
                                     imap.tagNumber, name, message)
                        : formatText(net.saslCommand, sizeof net.saslCommand, "%s\r\n", message)
                              && formatCommand("A%04d AUTHENTICATE %s\r\n", imap.tagNumber, name));
    wipeBytes(message, sizeof message);
    if (!fits) {
        wipeBytes(net.saslCommand, sizeof net.saslCommand);
        enterState(IMAP_AUTHENTICATE);
        failBeforeSelect("Login name or access token cannot be sent to the IMAP4 server");
        return;
    }
    if (imap.offer.initialResponse) {
        sendImapSasl(IMAP_AUTHENTICATE);
    } else {
        // The response waits in net.saslCommand for the server's "+".
        enterState(IMAP_AUTH_READY);
        resetLineFramer(&imap.reply);
        imap.literalLeft = 0;
        sendCommand();
    }
}

static void tokenRefused(void)
{
    enterState(IMAP_AUTH_REFRESH);
    renewRefusedToken(&imap.tokensRefused);
}

void continueImapAfterRefresh(void)
{
    if (imap.state == IMAP_AUTH_REFRESH)
        sendAuthenticate();
}

static void sendMailboxCommand(ImapState next)
{
    char mailbox[COMMAND_BUFFER_SIZE];
    const char *name = config.settings.IMAPMailBox[0] ? config.settings.IMAPMailBox : "INBOX";
    imap.tagNumber++;
    if (!imapMailboxName(name, mailbox, sizeof mailbox)
        || !formatCommand("A%04d %s %s\r\n", imap.tagNumber,
                          config.settings.UseFilters ? "SELECT" : "EXAMINE", mailbox)) {
        // Refused before anything was opened: hang up, nothing to commit.
        closeConnection();
        reportNetError("Mailbox name too long for the IMAP4 server");
        endFailedNetworkPoll();
        return;
    }
    imap.existsSeen = false;
    sendImap(next);
}

// Logged in: the mailbox, after asking what the server offers when the watch
// wants to know and the login's reply did not say.
static void loggedIn(void)
{
    if (watchConfigured() && !imap.capabilitiesKnown)
        sendCapability(IMAP_IDLE_CAPABILITY);
    else
        sendMailboxCommand(IMAP_SELECT);
}

// A complete header reply is in the header block: parse it and decide.
static void decideMessage(void)
{
    imap.record = openHeaderRecord(imap.slot, 0);
    imap.record->index = imap.current;
    parseHeaderBlock(net.headerBlock, net.headerBlockFill, imap.record, &imap.result, &imap.stampDate,
                     &imap.stampTime, &imap.runningDate, &imap.runningTime);
    releaseHeaderBlock();

    if (config.settings.UnreadOnly && imap.result.isRead) {
        imap.skipped++;
    } else if (imap.result.filterEntry) {
        imap.skipped++;
        holdSocketEvents();
        if (imap.result.isNew && shouldDeleteMessage(imap.record, imap.result.filterEntry)) {
            // The confirmation may have outlived the poll: then nothing is sent.
            if (!connectionAlive())
                return;
            sendTagged(IMAP_STORE, "A%04d STORE %d +FLAGS.SILENT (\\Deleted)\r\n", imap.current);
            imap.deleted++;
            return;
        }
        if (!connectionAlive())
            return;
    } else {
        imap.slot = (imap.slot + 1) % HEADER_SLOTS;
        if (imap.result.isNew)
            imap.newMail = true;
    }
    nextMessage();
}

// --- One handler per state --------------------------------------------------------------
// Each sees one whole line of the reply and its status (IMAP_PENDING for an
// untagged line); it returns true when the reply has been dealt with, so the
// rest of the chunk is not read.

static bool onGreeting(const char *line, size_t length, int status)
{
    if (!(length >= 2 && line[0] == '*' && line[1] == ' ')) {
        failBeforeSelect("Bad banner from IMAP4 server");
        return true;
    }
    beginConversation();
    if (config.settings.Security == SECURITY_STARTTLS) {
        // Required: without it the login would cross the network in plain text.
        imap.tagNumber++;
        formatCommand("A%04d STARTTLS\r\n", imap.tagNumber);
        sendImap(IMAP_STARTTLS);
        return true;
    }
    sendCredentials();
    return true;
}

// Whatever follows the tagged OK in the same chunk is dropped: the session
// starts with the handshake.
static bool onStartTlsLine(const char *line, size_t length, int status)
{
    if (status == IMAP_PENDING)
        return false;
    if (status == IMAP_OK) {
        resetLineFramer(&imap.reply);
        imap.literalLeft = 0;
        startSecureSession();
    } else {
        failBeforeSelect("The IMAP4 server does not offer STARTTLS");
    }
    return true;
}

void continueImapAfterStartTls(void)
{
    if (imap.state == IMAP_STARTTLS)
        sendCredentials();
}

static bool onLoginLine(const char *line, size_t length, int status)
{
    noteLoggedInCapabilities(line, length);
    if (status == IMAP_PENDING)
        return false;
    if (status == IMAP_OK)
        loggedIn();
    else
        failBeforeSelect("Invalid IMAP4 login or password");
    return true;
}

static bool onCapabilityLine(const char *line, size_t length, int status)
{
    readImapCapabilities(line, length, &imap.offer);
    if (status == IMAP_PENDING)
        return false;
    imap.mechanism = status == IMAP_OK ? chooseSaslMechanism(&imap.offer) : SASL_NONE;
    if (imap.mechanism == SASL_NONE)
        failBeforeSelect("The server does not offer OAuth2 sign-in");
    else
        sendAuthenticate();
    return true;
}

static bool onAuthReadyLine(const char *line, size_t length, int status)
{
    if (isContinuationLine(line, length)) {
        sendImapSasl(IMAP_AUTHENTICATE);
        return true;
    }
    if (status == IMAP_PENDING)
        return false;
    tokenRefused();
    return true;
}

static void authenticated(void)
{
    oauth.signInNeededTold = false; // the outage, if there was one, is over
    loggedIn();
}

// The tagged status of AUTHENTICATE (also after the server's error was answered).
static bool onAuthResultLine(const char *line, size_t length, int status)
{
    noteLoggedInCapabilities(line, length);
    if (status == IMAP_PENDING)
        return false;
    if (status == IMAP_OK)
        authenticated();
    else
        tokenRefused();
    return true;
}

static bool onAuthenticateLine(const char *line, size_t length, int status)
{
    if (isContinuationLine(line, length)) {
        // The server's error, as a continuation: the mechanism's own answer
        // ends the exchange, and the tagged NO follows.
        takeSaslError(line, length);
        formatCommand("%s\r\n", saslErrorAnswer(imap.mechanism));
        sendImap(IMAP_AUTH_ERROR);
        return true;
    }
    return onAuthResultLine(line, length, status);
}

// A refused CAPABILITY says nothing of IDLE: the poll goes on without a watch.
static bool onIdleCapabilityLine(const char *line, size_t length, int status)
{
    noteLoggedInCapabilities(line, length);
    if (status == IMAP_PENDING)
        return false;
    imap.capabilitiesKnown = true;
    if (status != IMAP_OK)
        imap.idleOffered = false;
    sendMailboxCommand(IMAP_SELECT);
    return true;
}

static bool onSelectLine(const char *line, size_t length, int status)
{
    if (!imap.existsSeen && (status == IMAP_PENDING || status == IMAP_OK)) {
        const char *word = findBytesNoCase(line, length, "EXISTS");
        if (word) {
            imap.existsSeen = true;
            imap.exists = existsCount(line, length, word);
            if (imap.exists < 0)
                imap.exists = 0;
        }
    }
    if (status == IMAP_PENDING)
        return false;
    if (status != IMAP_OK) {
        // No mailbox is open, so there is nothing to CLOSE: log out.
        sendLogout();
        reportNetError("Invalid IMAP4 mailbox");
    } else if (imap.exists == 0) {
        endConversation();
    } else {
        imap.current = (config.settings.UnreadOnly || imap.exists <= HEADER_SLOTS)
                           ? 1
                           : imap.exists - (HEADER_SLOTS - 1);
        if (config.settings.UnreadOnly)
            fetchFlags();
        else
            fetchHeader();
    }
    return true;
}

static bool onFlagsLine(const char *line, size_t length, int status)
{
    noteChange(line, length);
    if (!imap.seen && findBytes(line, length, "\\Seen")) {
        imap.skipped++;
        imap.seen = true;
    }
    if (status == IMAP_PENDING)
        return false;
    if (status != IMAP_OK) {
        failAfterSelect("Error getting IMAP4 flags");
    } else if (!imap.seen) {
        fetchHeader();
    } else if (imap.current >= imap.exists) {
        endConversation();
    } else {
        imap.current++;
        fetchFlags();
    }
    return true;
}

// The header bytes themselves went into the header block with the chunk.
static bool onHeaderLine(const char *line, size_t length, int status)
{
    noteChange(line, length);
    if (status == IMAP_PENDING)
        return false;
    if (status == IMAP_OK)
        decideMessage();
    else
        failAfterSelect("Error getting IMAP4 headers");
    return true;
}

static bool onStoreLine(const char *line, size_t length, int status)
{
    noteChange(line, length);
    if (status == IMAP_PENDING)
        return false;
    if (status != IMAP_OK) {
        failAfterSelect("Error deleting IMAP4 message");
        return true;
    }
    if (config.settings.LogDeletes) {
        holdSocketEvents();
        logDeletion(imap.record, imap.result.filterEntry);
        if (!connectionAlive())
            return true;
    }
    nextMessage();
    return true;
}

// After a refused CLOSE there is no second try: log out, and the LOGOUT reply
// commits as usual.
static bool onCloseLine(const char *line, size_t length, int status)
{
    if (status == IMAP_PENDING)
        return false;
    if (status != IMAP_OK) {
        sendLogout();
        reportNetError("Error closing IMAP4 mailbox");
    } else {
        finishConversation(true);
    }
    return true;
}

// --- The watch ----------------------------------------------------------------------------

// The server ended or refused the IDLE by itself: no watch on this
// connection; polls go on at the interval, and the next one tries again.
static void stopWatch(void)
{
    formatCommand("Z9999 LOGOUT\r\n");
    sendImap(IMAP_DONE);
    closeConnection();
}

// The mailbox is open again after CLOSE: a count other than the one CLOSE
// left means a change the poll did not see.
static bool onReselectLine(const char *line, size_t length, int status)
{
    if (!imap.existsSeen && (status == IMAP_PENDING || status == IMAP_OK)) {
        const char *word = findBytesNoCase(line, length, "EXISTS");
        if (word) {
            imap.existsSeen = true;
            if (existsCount(line, length, word) != imap.exists - imap.deleted)
                imap.changed = true;
        }
    }
    if (status == IMAP_PENDING)
        return false;
    if (status == IMAP_OK)
        commitAndWatch();
    else
        sendLogout(); // the mailbox went away: commit what was read, no watch
    return true;
}

static bool onIdleStartLine(const char *line, size_t length, int status)
{
    if (imapByeLine(line, length)) {
        loseNetworkWatch();
        return true;
    }
    if (length > 0 && line[0] == '+') {
        enterState(IMAP_IDLING);
        if (imap.changed)
            postMailboxChanged();
        return false; // what follows in the chunk is the IDLE's news
    }
    if (status != IMAP_PENDING) {
        stopWatch();
        return true;
    }
    if (imapMailboxChange(line, length) != MAILBOX_UNCHANGED)
        imap.changed = true;
    return false;
}

static bool onIdlingLine(const char *line, size_t length, int status)
{
    if (imapByeLine(line, length)) {
        loseNetworkWatch();
        return true;
    }
    if (status != IMAP_PENDING) {
        stopWatch();
        return true;
    }
    if (imapMailboxChange(line, length) != MAILBOX_UNCHANGED && !imap.changed) {
        imap.changed = true;
        postMailboxChanged(); // once: the poll reads every change there is
    }
    return false;
}

static bool onIdleRenewLine(const char *line, size_t length, int status)
{
    if (imapByeLine(line, length) || status == IMAP_NO || status == IMAP_BAD) {
        loseNetworkWatch();
        return true;
    }
    if (status == IMAP_OK) {
        sendIdle();
        return true;
    }
    if (imapMailboxChange(line, length) != MAILBOX_UNCHANGED)
        imap.changed = true;
    return false;
}

// The IDLE has ended: the poll's work, from the mailbox command on.
static bool onIdleWakeLine(const char *line, size_t length, int status)
{
    if (imapByeLine(line, length) || status == IMAP_NO || status == IMAP_BAD) {
        loseNetworkWatch();
        return true;
    }
    if (status == IMAP_PENDING)
        return false;
    beginConversation();
    sendMailboxCommand(IMAP_SELECT);
    return true;
}

void pollWatchedMailbox(void)
{
    if (!netStages.watching || notifier.pollInProgress)
        return;
    if (imap.state != IMAP_IDLING) {
        imap.changed = true; // DONE may follow only the continuation: poll once it came
        return;
    }
    beginPoll();
    sendDone(IMAP_IDLE_WAKE);
}

void renewNetworkWatch(void)
{
    if (netStages.watching && imap.state == IMAP_IDLING)
        sendDone(IMAP_IDLE_RENEW);
}

// Nothing is waited for: the goodbye goes out and the connection closes.
void endNetworkWatch(void)
{
    if (!netStages.watching || notifier.pollInProgress)
        return;
    if (imap.state == IMAP_IDLE_START || imap.state == IMAP_IDLING)
        formatCommand("DONE\r\nZ9999 LOGOUT\r\n");
    else
        formatCommand("Z9999 LOGOUT\r\n");
    sendImap(IMAP_DONE);
    closeConnection();
}

static bool onLine(const char *line, size_t length, int status)
{
    switch (imap.state) {
    case IMAP_GREETING: return onGreeting(line, length, status);
    case IMAP_LOGIN: return onLoginLine(line, length, status);
    case IMAP_STARTTLS: return onStartTlsLine(line, length, status);
    case IMAP_CAPABILITY: return onCapabilityLine(line, length, status);
    case IMAP_AUTH_READY: return onAuthReadyLine(line, length, status);
    case IMAP_AUTHENTICATE: return onAuthenticateLine(line, length, status);
    case IMAP_AUTH_ERROR: return onAuthResultLine(line, length, status);
    case IMAP_SELECT: return onSelectLine(line, length, status);
    case IMAP_FLAGS: return onFlagsLine(line, length, status);
    case IMAP_HEADER: return onHeaderLine(line, length, status);
    case IMAP_STORE: return onStoreLine(line, length, status);
    case IMAP_CLOSE: return onCloseLine(line, length, status);
    case IMAP_IDLE_CAPABILITY: return onIdleCapabilityLine(line, length, status);
    case IMAP_RESELECT: return onReselectLine(line, length, status);
    case IMAP_IDLE_START: return onIdleStartLine(line, length, status);
    case IMAP_IDLING: return onIdlingLine(line, length, status);
    case IMAP_IDLE_RENEW: return onIdleRenewLine(line, length, status);
    case IMAP_IDLE_WAKE: return onIdleWakeLine(line, length, status);
    default: return true;
    }
}

void handleImapReply(void)
{
    // No read notification can nest while the chunk is handled: nothing here
    // runs a message loop except the question and the log, which hold
    // notifications back first.
    if (!receiveChunk())
        return;
    if (net.receivedLength == 0) {
        waitForMore();
        return;
    }
    if (exitRequested() && imap.state < IMAP_CLOSE) {
        imap.skipped = 0;
        imap.exists = 0;
        endConversation();
        return;
    }
    if (imap.state == IMAP_LOGOUT) {
        commit();
        return;
    }
    if (imap.state == IMAP_DONE)
        return; // the conversation is over: late bytes are ignored
    if (imap.state == IMAP_HEADER)
        appendToHeaderBlock(NULL);

    size_t at = 0;
    const size_t received = (size_t)net.receivedLength;
    for (;;) {
        at += skipLiteral(received - at);
        if (!takeLine(&imap.reply, net.receiveBuffer, received, &at))
            break;
        const char *line = imap.reply.line;
        size_t length = imap.reply.length;
        imap.literalLeft = announcedLiteral(line, length);
        if (onLine(line, length, taggedStatus(line, length)))
            return;
    }
    waitForMore();
}
