// The POP3 client: one conversation per poll, one received chunk per call.
// USER, PASS, STAT, then TOP n 0 for each message of interest (DELE when a
// Delete filter condemns a new one), QUIT, and the commit on QUIT's reply.
// Each state has one handler; a status reply is judged once its whole line
// has arrived.
#include "sources/net.h"

#include <string.h>

#include "config/config.h"
#include "core/core.h"

Pop3Client pop3;

enum Pop3State {
    POP3_GREETING = 0,
    POP3_STLS = 1,
    POP3_USER = 2,
    POP3_PASS = 3,
    // OAuth2 (Auth 1) logs in with AUTH (RFC 5034) instead of USER and PASS.
    POP3_CAPA = 4,         // what the server offers, read after TLS
    POP3_AUTH_READY = 5,   // AUTH without its initial response: waiting for the "+"
    POP3_AUTH = 6,         // the token sent: waiting for +OK or -ERR
    POP3_AUTH_ERROR = 7,   // the server's error continuation answered: waiting for its -ERR
    POP3_AUTH_REFRESH = 8, // a new access token is on its way
    POP3_STAT = 9,
    POP3_TOP = 10,
    POP3_DELE = 11,
    POP3_QUIT = 12,
    POP3_DONE = 13,
};

enum {
    // RFC 5034: an AUTH command with its initial response fits in 255 octets;
    // a longer response goes after the server's "+".
    POP3_AUTH_LINE_MAX = 255,
};

static const uint8_t endOfReply[TAIL_SIZE] = {'\r', '\n', '.', '\r', '\n'};

// The one place the state changes, with what entering a state starts.
static void enterState(Pop3State next)
{
    pop3.state = (uint8_t)next;
    if (next == POP3_TOP) {
        resetHeaderBlock();
        memset(pop3.tail, 0, sizeof pop3.tail);
        pop3.topStatusChecked = false;
    } else if (next == POP3_CAPA) {
        pop3.offer = ServerOffer();
        pop3.capaStatusChecked = false;
    }
}

void resetPop3Client(void)
{
    enterState(POP3_GREETING);
    resetLineFramer(&pop3.reply);
    pop3.mechanism = SASL_NONE;
    pop3.tokensRefused = 0;
}

static void waitForMore(void)
{
    selectSocketEvents(MASK_IDLE);
}

// Frames the chunk into the status line; true once the whole line is there.
static bool statusLineArrived(void)
{
    size_t at = 0;
    return takeLine(&pop3.reply, net.receiveBuffer, (size_t)net.receivedLength, &at);
}

static bool accepted(void)
{
    return beginsNoCase(pop3.reply.line, pop3.reply.length, "+OK");
}

// Every command starts a new reply.
static void sendPop3(Pop3State next)
{
    enterState(next);
    resetLineFramer(&pop3.reply);
    sendCommand();
}

// Before login a failure just hangs up: nothing was gathered to commit.
static void failBeforeLogin(const char *text)
{
    closeConnection();
    reportNetError(text);
    endFailedNetworkPoll();
}

static void sendQuit(void)
{
    formatCommand("QUIT\r\n");
    sendPop3(POP3_QUIT);
}

// After login a failure still logs out; QUIT's reply commits what was gathered.
static void failAfterLogin(const char *text)
{
    sendQuit();
    reportNetError(text);
}

static void sendTop(void)
{
    formatCommand("TOP %d 0\r\n", pop3.current + 1);
    sendPop3(POP3_TOP);
}

static void nextMessage(void)
{
    pop3.current++;
    if (pop3.current >= pop3.total)
        sendQuit();
    else
        sendTop();
}

static void commit(void)
{
    enterState(POP3_DONE);
    publishNetworkHeaders(pop3.newMail, pop3.total - pop3.skipped, &pop3.stampDate, &pop3.stampTime,
                          &pop3.runningDate, &pop3.runningTime);
}

// A complete TOP reply is in the header block: parse it and decide.
static void decideMessage(void)
{
    pop3.record = openHeaderRecord(pop3.slot, 0);
    pop3.record->index = pop3.current;
    parseHeaderBlock(net.headerBlock, net.headerBlockFill, pop3.record, &pop3.result, &pop3.stampDate,
                     &pop3.stampTime, &pop3.runningDate, &pop3.runningTime);
    releaseHeaderBlock();

    if (config.settings.UnreadOnly && pop3.result.isRead) {
        pop3.skipped++;
    } else if (pop3.result.filterEntry) {
        pop3.skipped++;
        holdSocketEvents();
        if (pop3.result.isNew && shouldDeleteMessage(pop3.record, pop3.result.filterEntry)) {
            // A confirmation box may have been open for a while: the poll may
            // have timed out meanwhile, and then nothing more is sent.
            if (!connectionAlive())
                return;
            formatCommand("DELE %d\r\n", pop3.current + 1);
            sendPop3(POP3_DELE);
            return;
        }
        if (!connectionAlive())
            return;
    } else {
        pop3.slot = (pop3.slot + 1) % HEADER_SLOTS;
        if (pop3.result.isNew)
            pop3.newMail = true;
    }
    nextMessage();
}

static void sendUser(void)
{
    // Both arguments are judged before anything is sent.
    if (!commandArgumentSafe(config.settings.Login)) {
        failBeforeLogin("Line break in login name: not sent to the POP3 server");
        return;
    }
    if (!commandArgumentSafe(config.settings.plainPassword)) {
        failBeforeLogin("Line break in password: not sent to the POP3 server");
        return;
    }
    if (!formatCommand("USER %s\r\n", config.settings.Login)) {
        failBeforeLogin("Login name too long for the POP3 server");
        return;
    }
    sendPop3(POP3_USER);
}

// --- OAuth2 login --------------------------------------------------------------------------

static void sendCredentials(void)
{
    if (config.settings.Auth == AUTH_OAUTH2) {
        formatCommand("CAPA\r\n");
        sendPop3(POP3_CAPA);
        return;
    }
    sendUser();
}

static void sendPop3Sasl(Pop3State next)
{
    enterState(next);
    resetLineFramer(&pop3.reply);
    sendSaslCommand();
}

static void sendAuth(void)
{
    const Settings &s = config.settings;
    char message[SASL_MESSAGE_SIZE];
    const char *name = saslMechanismName(pop3.mechanism);
    bool built = buildSaslMessage(pop3.mechanism, s.Login, s.MailHost, s.POP3Port, oauth.accessToken, message,
                                  sizeof message);
    bool onTheLine = built && strlen("AUTH  \r\n") + strlen(name) + strlen(message) <= POP3_AUTH_LINE_MAX;
    bool fits =
        built
        && (onTheLine ? formatText(net.saslCommand, sizeof net.saslCommand, "AUTH %s %s\r\n", name, message)
                      : formatText(net.saslCommand, sizeof net.saslCommand, "%s\r\n", message)
                            && formatCommand("AUTH %s\r\n", name));
    wipeBytes(message, sizeof message);
    if (!fits) {
        wipeBytes(net.saslCommand, sizeof net.saslCommand);
        failBeforeLogin("Login name or access token cannot be sent to the POP3 server");
        return;
    }
    if (onTheLine)
        sendPop3Sasl(POP3_AUTH);
    else
        sendPop3(POP3_AUTH_READY); // the response waits in net.saslCommand for the "+"
}

static void tokenRefused(void)
{
    enterState(POP3_AUTH_REFRESH);
    resetLineFramer(&pop3.reply);
    renewRefusedToken(&pop3.tokensRefused);
}

void continuePop3AfterRefresh(void)
{
    if (pop3.state == POP3_AUTH_REFRESH)
        sendAuth();
}

// --- One handler per state --------------------------------------------------------------

static void onGreeting(void)
{
    if (!accepted()) {
        failBeforeLogin("No authorization from POP3 server");
        return;
    }
    pop3.runningDate = pop3.stampDate;
    pop3.runningTime = pop3.stampTime;
    pop3.newMail = false;
    pop3.total = 0;
    pop3.skipped = 0;
    if (config.settings.Security == SECURITY_STARTTLS) {
        // Required: without it the login would cross the network in plain text.
        formatCommand("STLS\r\n");
        sendPop3(POP3_STLS);
        return;
    }
    sendCredentials();
}

static void onStlsReply(void)
{
    if (!accepted()) {
        failBeforeLogin("The POP3 server does not offer STLS");
        return;
    }
    resetLineFramer(&pop3.reply);
    startSecureSession();
}

void continuePop3AfterStls(void)
{
    if (pop3.state == POP3_STLS)
        sendCredentials();
}

// The CAPA reply is a status line and then one capability a line, up to ".".
// A server without CAPA answers -ERR: it offers nothing, OAuth2 included.
static void onCapaChunk(void)
{
    size_t at = 0;
    const size_t received = (size_t)net.receivedLength;
    while (takeLine(&pop3.reply, net.receiveBuffer, received, &at)) {
        const char *line = pop3.reply.line;
        size_t length = pop3.reply.length;
        if (!pop3.capaStatusChecked) {
            pop3.capaStatusChecked = true;
            if (!accepted()) {
                failBeforeLogin("The server does not offer OAuth2 sign-in");
                return;
            }
            continue;
        }
        if (length >= 1 && line[0] == '.' && (length == 1 || line[1] == '\r' || line[1] == '\n')) {
            pop3.mechanism = chooseSaslMechanism(&pop3.offer);
            if (pop3.mechanism == SASL_NONE)
                failBeforeLogin("The server does not offer OAuth2 sign-in");
            else
                sendAuth();
            return;
        }
        readPop3Capability(line, length, &pop3.offer);
    }
    waitForMore();
}

static void onAuthReadyReply(void)
{
    if (isContinuationLine(pop3.reply.line, pop3.reply.length))
        sendPop3Sasl(POP3_AUTH);
    else
        tokenRefused();
}

static void authenticated(void)
{
    oauth.signInNeededTold = false; // the outage, if there was one, is over
    formatCommand("STAT\r\n");
    sendPop3(POP3_STAT);
}

static void onAuthReply(void)
{
    if (accepted()) {
        authenticated();
    } else if (isContinuationLine(pop3.reply.line, pop3.reply.length)) {
        // The server's error, as a continuation: the mechanism's own answer
        // ends the exchange, and the -ERR follows.
        takeSaslError(pop3.reply.line, pop3.reply.length);
        formatCommand("%s\r\n", saslErrorAnswer(pop3.mechanism));
        sendPop3(POP3_AUTH_ERROR);
    } else {
        tokenRefused();
    }
}

static void onAuthErrorReply(void)
{
    if (accepted())
        authenticated();
    else
        tokenRefused();
}

static void onUserReply(void)
{
    if (!accepted()) {
        failBeforeLogin("Invalid POP3 mailbox");
        return;
    }
    if (!formatCommand("PASS %s\r\n", config.settings.plainPassword)) {
        failBeforeLogin("Password too long for the POP3 server");
        return;
    }
    sendPop3(POP3_PASS);
}

static void onPassReply(void)
{
    if (!accepted()) {
        failBeforeLogin("Invalid POP3 password or mailbox locked");
        return;
    }
    formatCommand("STAT\r\n");
    sendPop3(POP3_STAT);
}

static void onStatReply(void)
{
    if (!accepted()) {
        failAfterLogin("Error in POP3 STAT");
        return;
    }
    size_t length = pop3.reply.length;
    pop3.total = length > 4 ? readDecimal(pop3.reply.line + 4, length - 4) : 0;
    if (pop3.total <= 0) {
        pop3.total = 0;
        sendQuit();
        return;
    }
    pop3.slot = 0;
    pop3.current = (config.settings.UnreadOnly || pop3.total <= HEADER_SLOTS) ? 0 : pop3.total - HEADER_SLOTS;
    sendTop();
}

// The whole TOP reply goes into the header block; its status line is judged
// once it has arrived, and the reply ends with the line holding only ".".
static void onTopChunk(void)
{
    appendToHeaderBlock(pop3.tail);
    if (!pop3.topStatusChecked) {
        if (!statusLineArrived()) {
            waitForMore();
            return;
        }
        pop3.topStatusChecked = true;
        if (beginsNoCase(pop3.reply.line, pop3.reply.length, "-ERR")) {
            releaseHeaderBlock();
            failAfterLogin("POP3 server doesn't implement TOP\nor error getting mail headers");
            return;
        }
    }
    if (memcmp(pop3.tail, endOfReply, TAIL_SIZE) != 0) {
        waitForMore();
        return;
    }
    decideMessage();
}

static void onDeleReply(void)
{
    if (!accepted()) {
        failAfterLogin("Error deleting POP3 message");
        return;
    }
    if (config.settings.LogDeletes) {
        holdSocketEvents();
        logDeletion(pop3.record, pop3.result.filterEntry);
        if (!connectionAlive())
            return;
    }
    nextMessage();
}

// A status handler runs once the reply's whole line has arrived.
static void onStatusLine(void (*handler)(void))
{
    if (statusLineArrived())
        handler();
    else
        waitForMore();
}

void handlePop3Reply(void)
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
    if (exitRequested() && pop3.state < POP3_QUIT) {
        pop3.skipped = 0;
        pop3.total = 0;
        sendQuit();
        return;
    }

    switch (pop3.state) {
    case POP3_GREETING: onStatusLine(onGreeting); break;
    case POP3_STLS: onStatusLine(onStlsReply); break;
    case POP3_USER: onStatusLine(onUserReply); break;
    case POP3_PASS: onStatusLine(onPassReply); break;
    case POP3_CAPA: onCapaChunk(); break;
    case POP3_AUTH_READY: onStatusLine(onAuthReadyReply); break;
    case POP3_AUTH: onStatusLine(onAuthReply); break;
    case POP3_AUTH_ERROR: onStatusLine(onAuthErrorReply); break;
    case POP3_STAT: onStatusLine(onStatReply); break;
    case POP3_TOP: onTopChunk(); break;
    case POP3_DELE: onStatusLine(onDeleReply); break;
    case POP3_QUIT: commit(); break;
    default: break; // the conversation is over: late bytes are ignored
    }
}
