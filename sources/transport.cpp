// The single-connection transport under the POP3 and IMAP4 clients: WinSock
// start per poll, host lookup, non-blocking connect, one command at a time,
// received chunks handed to the client, the growable header block, and the
// orderly close. Driven entirely by the window's socket notifications.
#include "sources/net.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "config/config.h"
#include "core/core.h"
#include "core/frontend.h"

NetworkStages netStages;
NetOutage netOutage;
NetState net = [] {
    NetState s = NetState();
    s.socket = NET_INVALID_SOCKET;
    s.selectedMask = -1;
    s.headerBlock = s.headerBlockFixed;
    s.headerBlockCapacity = HEADER_BLOCK_FIXED;
    return s;
}();

static const SocketLayer *sockets;
static const SecureLayer *secure;
static const TokenLayer *tokens;

void installSocketLayer(const SocketLayer *layer)
{
    sockets = layer;
    net.winSockLoaded = false;
}

void installSecureLayer(const SecureLayer *layer)
{
    secure = layer;
}

void installTokenLayer(const TokenLayer *layer)
{
    tokens = layer;
}

const SecureLayer *installedSecureLayer(void)
{
    return secure;
}

static bool isImap(void)
{
    return config.settings.MessageSource == SOURCE_IMAP4;
}

// --- Byte helpers ---------------------------------------------------------------------

const char *findBytes(const char *data, size_t length, const char *needle)
{
    size_t n = strlen(needle);
    if (n == 0 || n > length)
        return NULL;
    for (size_t i = 0; i + n <= length; i++)
        if (data[i] == needle[0] && memcmp(data + i, needle, n) == 0)
            return data + i;
    return NULL;
}

const char *findBytesNoCase(const char *data, size_t length, const char *needle)
{
    size_t n = strlen(needle);
    if (n == 0 || n > length)
        return NULL;
    for (size_t i = 0; i + n <= length; i++)
        if (beginsNoCase(data + i, length - i, needle))
            return data + i;
    return NULL;
}

bool beginsNoCase(const char *data, size_t length, const char *prefix)
{
    size_t n = strlen(prefix);
    if (n > length)
        return false;
    for (size_t i = 0; i < n; i++)
        if (lowerChar(data[i]) != lowerChar(prefix[i]))
            return false;
    return true;
}

int readDecimal(const char *text, size_t length)
{
    size_t i = 0;
    while (i < length && (text[i] == ' ' || text[i] == '\t'))
        i++;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        i++;
    }
    long long value = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9') {
        if (value < 0x7fffffffLL)
            value = value * 10 + (text[i] - '0');
        i++;
    }
    if (value > 0x7fffffffLL)
        value = 0x7fffffffLL;
    return (int)(negative ? -value : value);
}

// --- Commands and replies -------------------------------------------------------------

bool commandArgumentSafe(const char *text)
{
    return strpbrk(text, "\r\n") == NULL;
}

bool formatCommand(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vsnprintf(net.commandBuffer, sizeof net.commandBuffer, format, args);
    va_end(args);
    if (n < 0 || (size_t)n >= sizeof net.commandBuffer) {
        // Never send a command cut in the middle: the server would take the
        // rest of a line for something else.
        wipeBytes(net.commandBuffer, sizeof net.commandBuffer);
        return false;
    }
    // The tail of a longer command before (PASS, LOGIN) must not outlive it.
    wipeBytes(net.commandBuffer + n, sizeof net.commandBuffer - (size_t)n);
    return true;
}

bool connectionAlive(void)
{
    return notifier.pollInProgress && netStages.awaitingServer && net.socket != NET_INVALID_SOCKET;
}

// The connection belongs to a running poll, or to the watch between polls.
static bool connectionOwned(void)
{
    return notifier.pollInProgress || netStages.watching;
}

void selectSocketEvents(long mask)
{
    if (sockets && net.socket != NET_INVALID_SOCKET && mask != net.selectedMask) {
        sockets->asyncSelect(net.socket, mask);
        net.selectedMask = mask;
    }
}

void holdSocketEvents(void)
{
    selectSocketEvents(MASK_HOLD);
}

static void endPoll(bool failed)
{
    netStages.awaitingServer = false;
    netStages.connecting = false;
    netStages.handshaking = false;
    netStages.refreshing = false;
    net.lookupHandle = 0;
    oauth.generation++; // a token request still out belongs to no poll now
    releaseHeaderBlock();
    if (notifier.pollInProgress) {
        if (failed)
            failPoll();
        else
            finishPoll();
    }
    if (config.settings.HangupConnection)
        hangUpDialUp();
}

void endFailedNetworkPoll(void)
{
    endPoll(true);
}

static void failWith(const char *text)
{
    // A failure of the watched connection is a lost watch: the poll cycle
    // polls again and reports only if the server stays away.
    if (netStages.watching) {
        loseNetworkWatch();
        return;
    }
    closeConnection();
    reportNetError(text);
    endFailedNetworkPoll();
}

// Sends what remains of the command. False after a failure that ended the poll.
static bool sendRest(void)
{
    int sent = sockets->sendBytes(net.socket, net.sendCursor, net.sendRemaining);
    if (sent < 0) {
        if (sockets->lastError() == NET_WOULD_BLOCK)
            return true; // the write notification brings the rest
        failWith("Socket write error");
        return false;
    }
    if (sent > net.sendRemaining)
        sent = net.sendRemaining;
    net.sendCursor += sent;
    net.sendRemaining -= sent;
    return true;
}

static bool sealCommand(char *command, size_t size);
static bool takeSecureChunk(void);
static void resolveAndConnect(void);
static bool startTokenRefresh(void);

void sendCommand(void)
{
    if (!netStages.awaitingServer || net.socket == NET_INVALID_SOCKET)
        return;
    selectSocketEvents(MASK_IDLE);
    if (net.secureState != SECURE_OFF) {
        sealCommand(net.commandBuffer, sizeof net.commandBuffer);
        return;
    }
    net.sendRemaining = (int)strlen(net.commandBuffer);
    net.sendCursor = net.commandBuffer;
    sendRest();
}

void sendSaslCommand(void)
{
    if (!netStages.awaitingServer || net.socket == NET_INVALID_SOCKET || net.secureState == SECURE_OFF) {
        // A bearer token is as good as a password: never in plain text.
        wipeBytes(net.saslCommand, sizeof net.saslCommand);
        return;
    }
    selectSocketEvents(MASK_IDLE);
    sealCommand(net.saslCommand, sizeof net.saslCommand);
}

bool receiveChunk(void)
{
    if (!netStages.awaitingServer || net.socket == NET_INVALID_SOCKET)
        return false;
    if (net.secureState != SECURE_OFF)
        return takeSecureChunk();
    int got = sockets->receiveBytes(net.socket, net.receiveBuffer, RECEIVE_BUFFER_SIZE);
    if (got < 0) {
        net.receivedLength = 0;
        net.receiveBuffer[0] = '\0';
        if (sockets->lastError() == NET_WOULD_BLOCK)
            return true;
        failWith("Socket read error");
        return false;
    }
    if (got > RECEIVE_BUFFER_SIZE)
        got = RECEIVE_BUFFER_SIZE;
    net.receivedLength = got;
    net.receiveBuffer[got] = '\0';
    net.bytesReceived += (unsigned)got;
    return true;
}

// --- Header block -----------------------------------------------------------------------

void appendToHeaderBlock(uint8_t *tail)
{
    size_t length = (size_t)net.receivedLength;
    if (net.headerBlockFill > net.headerBlockCapacity)
        net.headerBlockFill = net.headerBlockCapacity;
    size_t room = net.headerBlockCapacity - net.headerBlockFill;
    if (room < length && net.headerBlockCapacity < HEADER_BLOCK_MAX) {
        size_t grown = net.headerBlockCapacity * 2;
        if (grown < net.headerBlockCapacity + length)
            grown = net.headerBlockCapacity + length;
        if (grown > HEADER_BLOCK_MAX)
            grown = HEADER_BLOCK_MAX;
        char *bigger = (char *)calloc(grown, 1);
        if (bigger) {
            memcpy(bigger, net.headerBlock, net.headerBlockFill);
            if (net.headerBlock != net.headerBlockFixed)
                free(net.headerBlock);
            net.headerBlock = bigger;
            net.headerBlockCapacity = grown;
            room = grown - net.headerBlockFill;
        }
    }
    size_t copied = length < room ? length : room;
    memcpy(net.headerBlock + net.headerBlockFill, net.receiveBuffer, copied);
    net.headerBlockFill += copied;
    net.headerBytesCollected += copied;

    if (tail) {
        if (length >= TAIL_SIZE) {
            memcpy(tail, net.receiveBuffer + length - TAIL_SIZE, TAIL_SIZE);
        } else if (length > 0) {
            memmove(tail, tail + length, TAIL_SIZE - length);
            memcpy(tail + TAIL_SIZE - length, net.receiveBuffer, length);
        }
    }
}

void releaseHeaderBlock(void)
{
    if (net.headerBlock != net.headerBlockFixed) {
        free(net.headerBlock);
        net.headerBlockFill = 0; // the bytes went with the grown buffer
    }
    net.headerBlock = net.headerBlockFixed;
    net.headerBlockCapacity = HEADER_BLOCK_FIXED;
}

void resetHeaderBlock(void)
{
    releaseHeaderBlock();
    net.headerBlockFill = 0;
}

// --- TLS below the clients ---------------------------------------------------------------
//
// The clients see the same plain reply bytes and send the same plain commands
// as without TLS. Raw bytes are read once per read notification into secureIn;
// records are opened one at a time into securePlain, which hands the client
// chunks of at most RECEIVE_BUFFER_SIZE. Because the socket gives no further
// notification for bytes already read, whatever is left after a chunk is
// handed on at once (deliverSecurePlain).

static void resetSecureBuffers(void)
{
    net.secureState = SECURE_OFF;
    net.secureNeedsBytes = false;
    net.securePeerClosed = false;
    net.secureInLength = 0;
    net.securePlainLength = 0;
    net.securePlainOffset = 0;
}

static void endSecureSession(void)
{
    if (net.secureState != SECURE_OFF && secure)
        secure->end();
    resetSecureBuffers();
}

// "The secure connection to mail.example.net failed (error 0x80090308)"; the
// platform's code, when there is one, tells a support person what went wrong.
static void failSecure(const char *what)
{
    char text[PATH_SIZE + 96];
    unsigned long status = secure ? (unsigned long)secure->lastStatus() & 0xFFFFFFFFul : 0ul;
    if (status != 0)
        formatText(text, sizeof text, "%s %s failed (error 0x%08lX)", what, config.settings.MailHost, status);
    else
        formatText(text, sizeof text, "%s %s failed", what, config.settings.MailHost);
    failWith(text);
}

// The sealed bytes still to send stay at the start of secureOut; new ones are
// appended after them.
static SecureOutput secureOutput(void)
{
    bool pendingInside = net.sendRemaining > 0 && net.sendCursor >= net.secureOut
                         && net.sendCursor + net.sendRemaining <= net.secureOut + sizeof net.secureOut;
    if (pendingInside)
        memmove(net.secureOut, net.sendCursor, (size_t)net.sendRemaining);
    else
        net.sendRemaining = 0;
    net.sendCursor = net.secureOut;
    SecureOutput out = {net.secureOut, sizeof net.secureOut, (size_t)net.sendRemaining};
    return out;
}

// False after a failure that ended the poll.
static bool sendSecureOutput(const SecureOutput &out)
{
    net.sendCursor = net.secureOut;
    net.sendRemaining = (int)(out.length < sizeof net.secureOut ? out.length : sizeof net.secureOut);
    if (net.sendRemaining == 0)
        return true;
    selectSocketEvents(MASK_IDLE);
    return sendRest();
}

static bool sealCommand(char *command, size_t size)
{
    SecureOutput out = secureOutput();
    bool sealed = secure->seal(command, strnlen(command, size), &out);
    // The plain command may hold the password or the access token; only the
    // sealed form is kept.
    wipeBytes(command, size);
    if (!sealed) {
        failSecure("Sending to");
        return false;
    }
    return sendSecureOutput(out);
}

static void consumeSecureIn(size_t used)
{
    size_t length = (size_t)net.secureInLength;
    if (used > length)
        used = length;
    memmove(net.secureIn, net.secureIn + used, length - used);
    net.secureInLength = (int)(length - used);
}

static void continueHandshake(void);

// Opens records until plain text is ready, the bytes end inside a record, or
// the session needs its handshake again. False when the poll has ended.
static bool openRecords(void)
{
    while (net.securePlainLength == 0 && net.secureInLength > 0 && !net.secureNeedsBytes
           && net.secureState == SECURE_OPEN) {
        char *plain = NULL;
        size_t plainLength = 0, used = 0;
        int result = secure->open(net.secureIn, (size_t)net.secureInLength, &used, &plain, &plainLength);
        if (result == SECURE_FAILED) {
            failSecure("Reading from");
            return false;
        }
        if (result == SECURE_MORE) {
            net.secureNeedsBytes = true;
            break;
        }
        if (plain && plainLength > 0) {
            if (plainLength > sizeof net.securePlain)
                plainLength = sizeof net.securePlain;
            memmove(net.securePlain, plain, plainLength);
            net.securePlainOffset = 0;
            net.securePlainLength = (int)plainLength;
        }
        consumeSecureIn(used);
        if (used > 0)
            net.secureRecordsOpened++;
        if (result == SECURE_CLOSED) {
            // Nothing after the close-notify belongs to the session.
            net.securePeerClosed = true;
            net.secureInLength = 0;
            break;
        }
        if (result == SECURE_RENEGOTIATE) {
            net.secureState = SECURE_REHANDSHAKE;
            continueHandshake();
            if (net.secureState == SECURE_OFF)
                return false;
        }
    }
    return true;
}

// The client's side of receiveChunk: the next piece of plain text, or none yet.
static bool takeSecureChunk(void)
{
    net.receivedLength = 0;
    net.receiveBuffer[0] = '\0';
    if (net.securePlainLength == 0 && !openRecords())
        return false;
    int take = net.securePlainLength < RECEIVE_BUFFER_SIZE ? net.securePlainLength : RECEIVE_BUFFER_SIZE;
    memcpy(net.receiveBuffer, net.securePlain + net.securePlainOffset, (size_t)take);
    net.receiveBuffer[take] = '\0';
    net.receivedLength = take;
    net.bytesReceived += (unsigned)take;
    net.securePlainOffset += take;
    net.securePlainLength -= take;
    return true;
}

static bool securePlainWaiting(void)
{
    return net.securePlainLength > 0 || (net.secureInLength > 0 && !net.secureNeedsBytes);
}

static bool conversationOn(void)
{
    return connectionOwned() && netStages.awaitingServer && net.socket != NET_INVALID_SOCKET;
}

// The server hung up: a poll ends without a commit and without a message; a
// watch is lost.
static void serverHungUp(void)
{
    net.serverHungUp = true;
    if (netStages.watching) {
        loseNetworkWatch();
        return;
    }
    closeConnection();
    endFailedNetworkPoll();
}

// Hands the client what has been read and not yet handed on, chunk by chunk,
// while the conversation goes on. A client holding events back during a
// question has finished with its chunk by the time control is back here.
static void deliverSecurePlain(void)
{
    while (conversationOn() && net.secureState == SECURE_OPEN && securePlainWaiting()) {
        if (net.securePlainLength == 0) {
            if (!openRecords())
                return;
            if (net.securePlainLength == 0)
                continue;
        }
        if (isImap())
            handleImapReply();
        else
            handlePop3Reply();
    }
    if (net.securePeerClosed && net.securePlainLength == 0 && conversationOn())
        serverHungUp(); // the server ended the session: as when it hangs up
}

// The handshake is complete: nothing is sent before the certificate passed.
static void handshakeComplete(void)
{
    char message[PATH_SIZE + 160];
    message[0] = '\0';
    if (!secure->verify(config.settings.MailHost, config.settings.TrustFile, message, sizeof message)) {
        if (message[0] == '\0')
            formatText(message, sizeof message, "The certificate of %s is not trusted",
                       config.settings.MailHost);
        failWith(message);
        return;
    }
    bool first = net.secureState == SECURE_HANDSHAKE;
    net.secureState = SECURE_OPEN;
    if (!first)
        return;
    secure->describe(net.secureDescription, sizeof net.secureDescription);
    netStages.handshaking = false;
    netStages.awaitingServer = true;
    notifier.stageTicks = 0;
    if (config.settings.Security == SECURITY_STARTTLS) {
        if (isImap())
            continueImapAfterStartTls();
        else
            continuePop3AfterStls();
    }
}

static void continueHandshake(void)
{
    for (;;) {
        SecureOutput out = secureOutput();
        size_t used = 0;
        int result = secure->handshake(net.secureIn, (size_t)net.secureInLength, &used, &out);
        consumeSecureIn(used);
        if (!sendSecureOutput(out))
            return;
        if (result == SECURE_FAILED || result == SECURE_CLOSED) {
            failSecure("The secure connection to");
            return;
        }
        if (result == SECURE_DONE) {
            handshakeComplete();
            return;
        }
        if (used == 0 || net.secureInLength == 0) {
            net.secureNeedsBytes = true;
            return;
        }
    }
}

static void beginHandshake(void)
{
    resetSecureBuffers();
    int loaded = secure ? secure->load() : 0;
    if (loaded <= 0) {
        closeConnection();
        reportError(loaded == 0 ? "Unable to load SECUR32.DLL or CRYPT32.DLL"
                                : "Missing function in SECUR32.DLL or CRYPT32.DLL");
        endFailedNetworkPoll();
        return;
    }
    net.secureDescription[0] = '\0';
    net.secureState = SECURE_HANDSHAKE;
    netStages.awaitingServer = false;
    netStages.handshaking = true;
    notifier.stageTicks = 0;
    SecureOutput out = secureOutput();
    int result = secure->begin(config.settings.MailHost, &out);
    if (result != SECURE_MORE && result != SECURE_DONE) {
        failSecure("The secure connection to");
        return;
    }
    sendSecureOutput(out);
}

void startSecureSession(void)
{
    if (conversationOn() && net.secureState == SECURE_OFF)
        beginHandshake();
}

// One read per notification: the socket notifies again only after a read.
// False after a failure that ended the poll.
static bool readSecureBytes(void)
{
    int room = (int)sizeof net.secureIn - net.secureInLength;
    if (room <= 0) {
        // No record is that long: the server does not speak TLS.
        failSecure("Reading from");
        return false;
    }
    int got = sockets->receiveBytes(net.socket, net.secureIn + net.secureInLength, room);
    if (got < 0) {
        if (sockets->lastError() == NET_WOULD_BLOCK)
            return true;
        failWith("Socket read error");
        return false;
    }
    if (got > room)
        got = room;
    if (got > 0) {
        net.secureInLength += got;
        net.secureNeedsBytes = false;
        net.secureBytesReceived += (unsigned)got;
    }
    return true;
}

static void handleSecureRead(void)
{
    if (!readSecureBytes())
        return;
    if (net.secureState == SECURE_HANDSHAKE || net.secureState == SECURE_REHANDSHAKE) {
        if (net.secureInLength == 0 || net.secureNeedsBytes)
            return;
        continueHandshake();
        if (net.secureState != SECURE_OPEN)
            return;
    }
    deliverSecurePlain();
}

// --- OAuth2: the access token --------------------------------------------------------------
//
// A poll with Auth 1 needs an access token that lasts beyond the next minute.
// When the one held does not, the token layer asks the token service for a
// new one away from the window thread; the poll waits in the refreshing stage
// (timed as the connect) and goes on in handleTokenDone. The same happens
// once when the server refuses a token in the middle of a conversation.

bool isContinuationLine(const char *line, size_t length)
{
    return length >= 1 && line[0] == '+'
           && (length == 1 || line[1] == ' ' || line[1] == '\r' || line[1] == '\n');
}

void takeSaslError(const char *line, size_t length)
{
    while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n'))
        length--;
    size_t start = length > 1 && line[1] == ' ' ? 2 : 1;
    if (start > length)
        start = length;
    parseSaslError(line + start, length - start, net.saslStatus);
}

void signInNeeded(void)
{
    closeConnection();
    if (!oauth.signInNeededTold) {
        oauth.signInNeededTold = true;
        char text[LOGIN_SIZE + 80];
        formatText(text, sizeof text, "Sign-in needed for %s: choose Sign in... from the menu",
                   config.settings.Login);
        frontShowNotice(text);
        reportNetError(text);
    }
    endFailedNetworkPoll();
}

// The host of a service's address, for the messages.
static void urlHost(const char *url, char *host, size_t size)
{
    const char *start = strstr(url, "://");
    start = start ? start + 3 : url;
    size_t length = strcspn(start, "/:?#");
    copyTextN(host, size, start, length);
}

static void freeTokenJob(TokenJob *job)
{
    wipeBytes(job, sizeof *job);
    free(job);
}

// Asks for a new access token with the stored refresh token. False after a
// failure that ended the poll.
static bool startTokenRefresh(void)
{
    const Settings &s = config.settings;
    char refreshToken[REFRESH_TOKEN_SIZE];
    if (!tokens || !tokens->readRefreshToken(refreshToken, sizeof refreshToken)) {
        wipeBytes(refreshToken, sizeof refreshToken);
        signInNeeded();
        return false;
    }
    OAuthEndpoints endpoints;
    oauthEndpoints(&s, &endpoints);
    TokenJob *job = (TokenJob *)calloc(1, sizeof *job);
    const char *refused = NULL;
    if (!s.OAuthClientId[0])
        refused = "OAuth2 needs the client ID you registered with the provider: type it in setup";
    else if (!endpoints.tokenUrl[0])
        refused = "OAuth2 needs the address of the token service: type it in setup";
    else if (!job)
        refused = "Not enough memory for the token request";
    else if (!buildRefreshForm(s.OAuthClientId, s.OAuthClientSecret, refreshToken, job->form,
                               sizeof job->form))
        refused = "The refresh token is too long to send";
    wipeBytes(refreshToken, sizeof refreshToken);
    if (refused) {
        if (job)
            freeTokenJob(job);
        failWith(refused);
        return false;
    }
    copyText(job->url, endpoints.tokenUrl);
    copyText(job->trustFile, s.TrustFile);
    job->timeoutSeconds = s.ConnectTimeout;
    job->generation = ++oauth.generation;
    // A connection that waits for the token hears only of its close.
    holdSocketEvents();
    netStages.awaitingServer = false;
    netStages.refreshing = true;
    notifier.stageTicks = 0;
    if (!tokens->start(job)) {
        char failure[TOKEN_FAILURE_SIZE];
        copyText(failure, job->failure[0] ? job->failure : "The token request could not be started");
        freeTokenJob(job);
        failWith(failure);
        return false;
    }
    return true;
}

void renewRefusedToken(int *refusals)
{
    wipeBytes(net.saslCommand, sizeof net.saslCommand);
    forgetAccessToken();
    if (++*refusals > 1) {
        signInNeeded();
        return;
    }
    startTokenRefresh();
}

static void continueAfterToken(void)
{
    if (net.socket == NET_INVALID_SOCKET) {
        resolveAndConnect();
        return;
    }
    netStages.awaitingServer = true;
    if (isImap())
        continueImapAfterRefresh();
    else
        continuePop3AfterRefresh();
}

static void takeTokenAnswer(TokenJob *job)
{
    netStages.refreshing = false;
    notifier.stageTicks = 0;
    char host[PATH_SIZE], text[TOKEN_FAILURE_SIZE + OAUTH_ERROR_SIZE + OAUTH_DESCRIPTION_SIZE];
    urlHost(job->url, host, sizeof host);
    if (!job->reached) {
        copyText(text, job->failure[0] ? job->failure : "The token service could not be reached");
        failWith(text);
        return;
    }
    static TokenAnswer answer;
    int kind = parseTokenAnswer(job->answer, job->answerLength, &answer);
    wipeBytes(job->answer, sizeof job->answer);
    if (kind == TOKEN_GRANTED) {
        keepAccessToken(answer.accessToken, answer.lifetime, tokens->milliseconds());
        // A service that rotates its refresh tokens has just ended the old one.
        if (answer.refreshToken[0])
            tokens->storeRefreshToken(answer.refreshToken);
        wipeBytes(&answer, sizeof answer);
        continueAfterToken();
        return;
    }
    if (kind == TOKEN_REFUSED && strcmp(answer.error, "invalid_grant") == 0) {
        // The refresh token is over (revoked, expired, the password changed).
        tokens->storeRefreshToken("");
        signInNeeded();
        return;
    }
    if (kind == TOKEN_REFUSED && answer.errorDescription[0])
        formatText(text, sizeof text, "The token service answered: %s\n%s", answer.error,
                   answer.errorDescription);
    else if (kind == TOKEN_REFUSED)
        formatText(text, sizeof text, "The token service answered: %s", answer.error);
    else
        formatText(text, sizeof text, "The token service at %s sent an answer Pelimbo cannot read (HTTP %u)",
                   host, job->httpStatus);
    failWith(text);
}

void handleTokenDone(uintptr_t wParam, intptr_t lParam)
{
    TokenJob *job = (TokenJob *)lParam;
    if (!job)
        return;
    // A job the poll gave up on (timed out, closed at exit) only goes.
    if (notifier.pollInProgress && netStages.refreshing && job->generation == oauth.generation)
        takeTokenAnswer(job);
    freeTokenJob(job);
}

void abandonTokenRefresh(void)
{
    char host[PATH_SIZE], text[PATH_SIZE + 64];
    OAuthEndpoints endpoints;
    oauthEndpoints(&config.settings, &endpoints);
    urlHost(endpoints.tokenUrl, host, sizeof host);
    oauth.generation++; // its answer, when it comes, is stale
    closeConnection();
    formatText(text, sizeof text, "Time out getting an access token from %s", host);
    reportNetError(text);
    endFailedNetworkPoll();
}

// --- WinSock start-up -------------------------------------------------------------------

static bool startWinSock(void)
{
    if (!net.winSockLoaded) {
        int loaded = sockets ? sockets->load() : 0;
        if (loaded == 0) {
            reportError("Unable to load WSOCK32.DLL");
            return false;
        }
        if (loaded < 0) {
            reportError("Missing function in WSOCK32.DLL");
            return false;
        }
        net.winSockLoaded = true;
    }
    uint16_t granted = 0;
    if (sockets->startup(0x0101, &granted) != 0) {
        reportError("Couldn't start WinSock");
        return false;
    }
    unsigned major = granted & 0xFF, minor = granted >> 8;
    if (!(major > 1 || (major == 1 && minor >= 1))) {
        reportError("Invalid WinSock version");
        sockets->cleanup();
        return false;
    }
    return true;
}

// The poll cycle found the start-up over its time limit. The start-up call
// itself cannot be interrupted; when it returns, startNetworkPoll sees the flag
// and leaves quietly, because the poll has been reported and finished here.
void abandonWinSockInit(void)
{
    netStages.winSockStarting = false;
    net.winSockAbandoned = true;
    reportError("Error or timeout initializing WinSock");
    failPoll();
}

// --- Poll start, lookup and connect ------------------------------------------------------

static bool hostAddressKnown(void)
{
    return net.hostAddress[0] | net.hostAddress[1] | net.hostAddress[2] | net.hostAddress[3];
}

void forgetHostAddress(void)
{
    memset(net.hostAddress, 0, sizeof net.hostAddress);
}

static bool usesOAuth(void)
{
    return config.settings.Auth == AUTH_OAUTH2;
}

void startNetworkPoll(void)
{
    if (notifier.pollInProgress)
        return;
    if (netStages.watching) {
        pollWatchedMailbox();
        return;
    }
    net.lookupHandle = 0;
    net.socket = NET_INVALID_SOCKET;
    net.sendRemaining = 0;
    netStages.awaitingServer = false;
    netStages.connecting = false;
    netStages.handshaking = false;
    netStages.refreshing = false;
    if (!ensureDialUpLink())
        return;

    notifier.stageTicks = 0;
    beginPoll();

    if (usesOAuth() && config.settings.Security == SECURITY_PLAIN) {
        // A bearer token is as good as a password: nothing leaves without TLS.
        char text[PATH_SIZE + 96];
        formatText(text, sizeof text, "OAuth2 sign-in needs TLS (Security 1 or 2): nothing was sent to %s",
                   config.settings.MailHost);
        reportNetError(text);
        failPoll();
        return;
    }

    netStages.winSockStarting = true;
    net.winSockAbandoned = false;
    bool started = startWinSock();
    bool expired = net.winSockAbandoned || (unsigned)notifier.stageTicks > config.settings.WinSockInitTimeout;
    netStages.winSockStarting = false;
    if (net.winSockAbandoned) {
        if (started)
            sockets->cleanup();
        return;
    }
    if (!started || expired) {
        if (started)
            sockets->cleanup();
        reportError("Error or timeout initializing WinSock");
        failPoll();
        return;
    }

    if (usesOAuth() && !(tokens && accessTokenUsable(tokens->milliseconds()))) {
        startTokenRefresh();
        return;
    }
    resolveAndConnect();
}

static void resolveAndConnect(void)
{
    if (hostAddressKnown()) {
        sockets->postStartConnect();
        return;
    }
    uint32_t dotted = sockets->parseDotted(config.settings.MailHost);
    if (dotted != 0 && dotted != 0xFFFFFFFFu) {
        memcpy(net.hostAddress, &dotted, 4);
        sockets->postStartConnect();
        return;
    }
    net.lookupHandle =
        sockets->asyncGetHostByName(config.settings.MailHost, net.hostEntryBuffer, HOST_ENTRY_SIZE);
    if (net.lookupHandle == 0)
        failWith("Error in getHostByName()");
}

void handleStartConnect(void)
{
    // Only the poll that posted it: a stale message after an abort is ignored.
    if (!notifier.pollInProgress || !sockets || netStages.connecting || netStages.awaitingServer
        || net.socket != NET_INVALID_SOCKET)
        return;
    net.lookupHandle = 0;
    endSecureSession();
    net.socket = sockets->openStream();
    net.selectedMask = -1;
    if (net.socket == NET_INVALID_SOCKET) {
        closeConnection();
        reportError("Could not create socket");
        endFailedNetworkPoll();
        return;
    }
    sockets->setLingerOff(net.socket);
    net.connectionsOpened++;

    unsigned port = isImap() ? config.settings.IMAP4Port : config.settings.POP3Port;
    uint16_t netPort = sockets->hostToNetShort((uint16_t)port);
    memset(net.serverAddress, 0, sizeof net.serverAddress);
    net.serverAddress[0] = 2; // family, in the host's (little-endian) order
    net.serverAddress[1] = 0;
    memcpy(net.serverAddress + 2, &netPort, 2);
    memcpy(net.serverAddress + 4, net.hostAddress, 4);

    net.selectedMask = MASK_CONNECT;
    if (sockets->asyncSelect(net.socket, MASK_CONNECT) == -1) {
        failWith("Error connecting to POP3/IMAP4 server");
        return;
    }
    if (sockets->connectTo(net.socket, net.serverAddress) != 0 && sockets->lastError() != NET_WOULD_BLOCK) {
        failWith("Error connecting to POP3/IMAP4 server");
        return;
    }
    notifier.stageTicks = 0;
    netStages.connecting = true;
}

void handleHostResolved(uintptr_t wParam, intptr_t lParam)
{
    // A lookup that was cancelled, or belongs to an earlier poll, may still
    // deliver its message: only the outstanding one counts.
    if (!notifier.pollInProgress || net.lookupHandle == 0 || wParam != net.lookupHandle)
        return;
    net.lookupHandle = 0;
    unsigned error = (unsigned)((uintptr_t)lParam >> 16) & 0xFFFF;
    if (error != 0 || !sockets->firstAddress(net.hostEntryBuffer, net.hostAddress)) {
        forgetHostAddress();
        failWith("Error getting host IP address");
        return;
    }
    handleStartConnect();
}

// Every socket event restarts the stage's count, except that an IDLE's age
// counts from its start whatever the server says meanwhile: it is renewed
// after the renewal interval even on a server that sends a word now and then.
static void socketActive(void)
{
    if (!netStages.idling)
        notifier.stageTicks = 0;
}

void handleSocketMessage(uintptr_t wParam, intptr_t lParam)
{
    // Notifications of a socket already closed (queued before the close) are stale.
    if (net.socket == NET_INVALID_SOCKET || wParam != net.socket || !connectionOwned())
        return;
    unsigned event = (unsigned)((uintptr_t)lParam & 0xFFFF);
    unsigned error = (unsigned)((uintptr_t)lParam >> 16) & 0xFFFF;
    if (error != 0) {
        failWith("WinSock error");
        return;
    }
    switch (event) {
    case NET_CONNECT:
        if (!netStages.connecting)
            return;
        if (sockets->asyncSelect(net.socket, MASK_IDLE) == -1) {
            failWith("Socket connect error");
            return;
        }
        net.selectedMask = MASK_IDLE;
        net.serverHungUp = false;
        netStages.connecting = false;
        notifier.stageTicks = 0;
        net.sendRemaining = 0;
        resetPop3Client();
        resetImapClient();
        if (config.settings.Security == SECURITY_TLS) {
            beginHandshake();
        } else {
            netStages.awaitingServer = true;
        }
        break;
    case NET_READ:
        if (net.secureState != SECURE_OFF) {
            if (!netStages.awaitingServer && !netStages.handshaking)
                return;
            socketActive();
            handleSecureRead();
            return;
        }
        if (!netStages.awaitingServer)
            return;
        socketActive();
        if (isImap())
            handleImapReply();
        else
            handlePop3Reply();
        break;
    case NET_WRITE:
        if (net.sendRemaining >= 1 && (netStages.awaitingServer || netStages.handshaking)) {
            socketActive();
            sendRest();
        }
        break;
    case NET_CLOSE:
        if (netStages.handshaking) {
            // A server that hangs up in the handshake refused the session.
            failSecure("The secure connection to");
            return;
        }
        if (net.secureState != SECURE_OFF) {
            // What was read before the hang-up still reaches the client.
            handleSecureRead();
            if (!conversationOn())
                return;
        }
        serverHungUp();
        break;
    default: break;
    }
}

// --- Ending ------------------------------------------------------------------------------

void closeConnection(void)
{
    bool owned = connectionOwned();
    endSecureSession();
    netStages.connecting = false;
    netStages.handshaking = false;
    netStages.awaitingServer = false;
    netStages.refreshing = false;
    netStages.watching = false;
    netStages.idleReply = false;
    netStages.idling = false;
    net.sendRemaining = 0;
    // Nothing more is sent on this connection: the last command (perhaps PASS
    // or LOGIN after a refusal, or a SASL response waiting for its turn) is wiped.
    wipeBytes(net.commandBuffer, sizeof net.commandBuffer);
    wipeBytes(net.saslCommand, sizeof net.saslCommand);
    if (!owned)
        return;
    if (!sockets || !net.winSockLoaded)
        return;
    if (net.socket != NET_INVALID_SOCKET) {
        sockets->asyncSelect(net.socket, MASK_NONE);
        sockets->closeSocket(net.socket);
        net.socket = NET_INVALID_SOCKET;
        net.selectedMask = -1;
    }
    sockets->cleanup();
}

void endNetworkPoll(void)
{
    endPoll(false);
}

void finishPollKeepingConnection(void)
{
    releaseHeaderBlock();
    netStages.watching = true;
    if (notifier.pollInProgress)
        finishPoll();
}

void loseNetworkWatch(void)
{
    closeConnection();
    netOutage.watchLost = true;
    endFailedNetworkPoll(); // a poll on the connection ends without a word
}

void postMailboxChanged(void)
{
    if (sockets)
        sockets->postMailboxChanged();
}

void abortNetworkPoll(void)
{
    if (!connectionOwned() || !net.winSockLoaded)
        return;
    sockets->cancelBlockingCall();
    if (net.lookupHandle != 0)
        sockets->cancelAsyncRequest(net.lookupHandle);
    closeConnection();
    endFailedNetworkPoll();
}
