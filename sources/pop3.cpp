// The POP3 client: one conversation per poll, one received chunk per call.
// USER, PASS, STAT, then TOP n 0 for each message of interest (DELE when a
// Delete filter condemns a new one), QUIT, and the commit on QUIT's reply.
#include "sources/net.h"

#include <string.h>

#include "config/config.h"
#include "core/core.h"

Pop3Client pop3;

enum {
    POP3_GREETING = 0,
    POP3_STLS = 1,
    POP3_USER = 2,
    POP3_PASS = 3,
    POP3_STAT = 4,
    POP3_TOP_FIRST = 5,
    POP3_TOP_REST = 6,
    POP3_DELE = 7,
    POP3_QUIT = 8,
    POP3_DONE = 9,
};

static const uint8_t endOfReply[TAIL_SIZE] = {'\r', '\n', '.', '\r', '\n'};

void resetPop3Client(void)
{
    pop3.state = POP3_GREETING;
    pop3.lineLength = 0;
}

// Collects the chunk into the reply line. True once the line has ended (or
// filled its buffer): a reply line cut into several chunks by the network is
// judged as a whole, never piece by piece.
static bool collectLine(void)
{
    for (int i = 0; i < net.receivedLength; i++) {
        if (pop3.lineLength < POP3_LINE_SIZE - 1)
            pop3.line[pop3.lineLength++] = net.receiveBuffer[i];
        if (net.receiveBuffer[i] == '\n') {
            pop3.line[pop3.lineLength] = '\0';
            return true;
        }
    }
    pop3.line[pop3.lineLength] = '\0';
    return pop3.lineLength >= POP3_LINE_SIZE - 1;
}

static bool lineBegins(const char *prefix)
{
    return beginsNoCase(pop3.line, (size_t)pop3.lineLength, prefix);
}

static void sendPop3(void)
{
    pop3.lineLength = 0;
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
    pop3.state = POP3_QUIT;
    formatCommand("QUIT\r\n");
    sendPop3();
}

// After login a failure still logs out; QUIT's reply commits what was gathered.
static void failAfterLogin(const char *text)
{
    sendQuit();
    reportNetError(text);
}

static void sendUser(void)
{
    if (!formatCommand("USER %s\r\n", config.settings.Login)) {
        failBeforeLogin("Login name too long for the POP3 server");
        return;
    }
    pop3.state = POP3_USER;
    sendPop3();
}

void continuePop3AfterStls(void)
{
    if (pop3.state == POP3_STLS)
        sendUser();
}

static void sendTop(void)
{
    pop3.state = POP3_TOP_FIRST;
    memset(pop3.tail, 0, sizeof pop3.tail);
    formatCommand("TOP %d 0\r\n", pop3.current + 1);
    sendPop3();
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
    pop3.state = POP3_DONE;
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
            pop3.state = POP3_DELE;
            formatCommand("DELE %d\r\n", pop3.current + 1);
            sendPop3();
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

static void collectTopReply(void)
{
    appendToHeaderBlock(pop3.tail);
    // The refusal is recognised by the reply's first bytes, even when they
    // come in more than one chunk.
    if (!pop3.topStatusChecked) {
        size_t fill = net.headerBlockFill;
        if (fill < 4 && !memchr(net.headerBlock, '\n', fill)) {
            selectSocketEvents(MASK_IDLE);
            return;
        }
        pop3.topStatusChecked = true;
        if (beginsNoCase(net.headerBlock, fill, "-ERR")) {
            releaseHeaderBlock();
            failAfterLogin("POP3 server doesn't implement TOP\nor error getting mail headers");
            return;
        }
    }
    if (memcmp(pop3.tail, endOfReply, TAIL_SIZE) != 0) {
        selectSocketEvents(MASK_IDLE);
        return;
    }
    decideMessage();
}

void handlePop3Reply(void)
{
    // No read notification can nest while the chunk is handled: nothing here
    // runs a message loop except the question and the log below, which hold
    // notifications back first.
    if (!receiveChunk())
        return;
    if (net.receivedLength == 0) {
        selectSocketEvents(MASK_IDLE);
        return;
    }
    if (exitRequested() && pop3.state < POP3_QUIT) {
        pop3.skipped = 0;
        pop3.total = 0;
        sendQuit();
        return;
    }

    switch (pop3.state) {
    case POP3_GREETING:
    case POP3_STLS:
    case POP3_USER:
    case POP3_PASS:
    case POP3_STAT:
    case POP3_DELE:
        if (!collectLine()) {
            selectSocketEvents(MASK_IDLE);
            return;
        }
        break;
    default: break;
    }

    switch (pop3.state) {
    case POP3_GREETING:
        if (!lineBegins("+OK")) {
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
            pop3.state = POP3_STLS;
            formatCommand("STLS\r\n");
            sendPop3();
            break;
        }
        sendUser();
        break;

    case POP3_STLS:
        if (!lineBegins("+OK")) {
            failBeforeLogin("The POP3 server does not offer STLS");
            return;
        }
        pop3.lineLength = 0;
        startSecureSession();
        break;

    case POP3_USER:
        if (!lineBegins("+OK")) {
            failBeforeLogin("Invalid POP3 mailbox");
            return;
        }
        if (!formatCommand("PASS %s\r\n", config.settings.plainPassword)) {
            failBeforeLogin("Password too long for the POP3 server");
            return;
        }
        pop3.state = POP3_PASS;
        sendPop3();
        break;

    case POP3_PASS:
        if (!lineBegins("+OK")) {
            failBeforeLogin("Invalid POP3 password or mailbox locked");
            return;
        }
        pop3.state = POP3_STAT;
        formatCommand("STAT\r\n");
        sendPop3();
        break;

    case POP3_STAT:
        if (!lineBegins("+OK")) {
            failAfterLogin("Error in POP3 STAT");
            return;
        }
        pop3.total = pop3.lineLength > 4 ? readDecimal(pop3.line + 4, (size_t)pop3.lineLength - 4) : 0;
        if (pop3.total <= 0) {
            pop3.total = 0;
            sendQuit();
            return;
        }
        pop3.slot = 0;
        pop3.current =
            (config.settings.UnreadOnly || pop3.total <= HEADER_SLOTS) ? 0 : pop3.total - HEADER_SLOTS;
        sendTop();
        break;

    case POP3_TOP_FIRST:
        resetHeaderBlock();
        pop3.state = POP3_TOP_REST;
        pop3.topStatusChecked = false;
        collectTopReply();
        break;

    case POP3_TOP_REST: collectTopReply(); break;

    case POP3_DELE:
        if (!lineBegins("+OK")) {
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
        break;

    case POP3_QUIT: commit(); break;

    default: break; // the conversation is over: late bytes are ignored
    }
}
