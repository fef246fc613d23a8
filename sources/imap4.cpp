// The IMAP4 client: one conversation per poll, one received chunk per call.
// LOGIN, SELECT (filters may delete) or EXAMINE, FETCH FLAGS with UnreadOnly,
// FETCH RFC822.HEADER, STORE \Deleted for condemned new messages, CLOSE after
// SELECT, LOGOUT, and the commit on LOGOUT's reply. A command is complete when
// its tagged status line shows up in a window over the last 80 bytes received,
// so a tag split across two chunks is still found.
#include "sources/net.h"

#include <string.h>

#include "config/config.h"
#include "core/core.h"

ImapClient imap;

enum {
    IMAP_GREETING = 0,
    IMAP_LOGIN = 1,
    IMAP_STARTTLS = 2,
    IMAP_SELECT = 3,
    IMAP_FLAGS = 4,
    IMAP_HEADER_FIRST = 5,
    IMAP_HEADER_REST = 6,
    IMAP_STORE = 7,
    IMAP_CLOSE = 8,
    IMAP_LOGOUT = 9,
    IMAP_DONE = 10,
};

void resetImapClient(void)
{
    imap.state = IMAP_GREETING;
    imap.tagNumber = 1;
    imap.windowLength = 0;
    imap.carryLength = 0;
}

// The bytes searched for words of the reply in progress: the carry from the
// previous chunk of the same reply, then this chunk.
static char scanBuffer[REPLY_CARRY_SIZE + RECEIVE_BUFFER_SIZE];
static size_t scanLength;

static void buildScan(void)
{
    memcpy(scanBuffer, imap.carry, (size_t)imap.carryLength);
    memcpy(scanBuffer + imap.carryLength, net.receiveBuffer, (size_t)net.receivedLength);
    scanLength = (size_t)imap.carryLength + (size_t)net.receivedLength;
}

static void keepCarry(void)
{
    size_t keep = scanLength < REPLY_CARRY_SIZE - 1 ? scanLength : REPLY_CARRY_SIZE - 1;
    memmove(imap.carry, scanBuffer + scanLength - keep, keep);
    imap.carryLength = (int)keep;
}

// Every command starts a new reply.
static void sendImap(void)
{
    imap.carryLength = 0;
    scanLength = 0;
    sendCommand();
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

static void updateWindow(const char *chunk, int length)
{
    if (length >= IMAP_WINDOW_SIZE) {
        memcpy(imap.window, chunk + length - IMAP_WINDOW_SIZE, IMAP_WINDOW_SIZE);
        imap.windowLength = IMAP_WINDOW_SIZE;
    } else if (imap.windowLength + length <= IMAP_WINDOW_SIZE) {
        memcpy(imap.window + imap.windowLength, chunk, (size_t)length);
        imap.windowLength += length;
    } else {
        int keep = IMAP_WINDOW_SIZE - length;
        memmove(imap.window, imap.window + imap.windowLength - keep, (size_t)keep);
        memcpy(imap.window + keep, chunk, (size_t)length);
        imap.windowLength = IMAP_WINDOW_SIZE;
    }
    imap.window[imap.windowLength] = '\0';
}

// The status of the command in progress, from its tagged line. The tag is
// looked for in the window of earlier bytes followed by the whole new chunk:
// a tag split across two chunks is found, and so is one at the start of a
// tagged line longer than the window (servers append their capabilities to
// the LOGIN reply). The tag counts only at the start of a line, so the same
// letters inside a header line or a quoted text do not end a command early.
static char statusScan[IMAP_WINDOW_SIZE + RECEIVE_BUFFER_SIZE];

static int replyStatus(const char *chunk, int chunkLength)
{
    char tag[16];
    if (imap.state == IMAP_CLOSE)
        copyText(tag, "Z9998");
    else
        formatText(tag, sizeof tag, "A%04d", imap.tagNumber);
    size_t tagLength = strlen(tag);
    memcpy(statusScan, imap.window, (size_t)imap.windowLength);
    memcpy(statusScan + imap.windowLength, chunk, (size_t)chunkLength);
    const char *w = statusScan;
    size_t length = (size_t)imap.windowLength + (size_t)chunkLength;
    for (const char *at = findBytes(w, length, tag); at;
         at = findBytes(at + 1, length - (size_t)(at + 1 - w), tag)) {
        if (at != w && at[-1] != '\n')
            continue;
        size_t offset = (size_t)(at - w) + tagLength + 1;
        if (offset > length)
            return IMAP_PENDING;
        const char *word = w + offset;
        size_t rest = length - offset;
        if (beginsNoCase(word, rest, "OK"))
            return IMAP_OK;
        if (beginsNoCase(word, rest, "NO"))
            return IMAP_NO;
        if (beginsNoCase(word, rest, "BAD"))
            return IMAP_BAD;
        return IMAP_PENDING;
    }
    return IMAP_PENDING;
}

static void waitForMore(void)
{
    selectSocketEvents(MASK_IDLE);
}

static bool sendTagged(const char *format, int number)
{
    imap.tagNumber++;
    if (!formatCommand(format, imap.tagNumber, number))
        return false;
    sendImap();
    return true;
}

static void sendLogout(void)
{
    imap.state = IMAP_LOGOUT;
    formatCommand("Z9999 LOGOUT\r\n");
    sendImap();
}

static void endConversation(void)
{
    if (config.settings.UseFilters && imap.state >= IMAP_SELECT && imap.state < IMAP_CLOSE) {
        imap.state = IMAP_CLOSE;
        formatCommand("Z9998 CLOSE\r\n");
        sendImap();
    } else {
        sendLogout();
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
    endConversation();
    reportNetError(text);
}

static void fetchFlags(void)
{
    imap.state = IMAP_FLAGS;
    imap.seen = false;
    sendTagged("A%04d FETCH %d FLAGS\r\n", imap.current);
}

static void fetchHeader(void)
{
    imap.state = IMAP_HEADER_FIRST;
    sendTagged("A%04d FETCH %d RFC822.HEADER\r\n", imap.current);
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
    imap.state = IMAP_DONE;
    publishNetworkHeaders(imap.newMail, imap.exists - imap.skipped, &imap.stampDate, &imap.stampTime,
                          &imap.runningDate, &imap.runningTime);
}

// The number in front of "EXISTS" in the bytes scanned.
static int existsCount(const char *chunk, const char *word)
{
    const char *p = word;
    if (p > chunk)
        p--;
    while (p > chunk && !(*p >= '0' && *p <= '9'))
        p--;
    while (p > chunk && (*p >= '0' && *p <= '9'))
        p--;
    if (!(*p >= '0' && *p <= '9'))
        p++;
    return readDecimal(p, (size_t)(scanBuffer + scanLength - p));
}

static void sendLogin(void)
{
    char login[COMMAND_BUFFER_SIZE], password[COMMAND_BUFFER_SIZE];
    imap.state = IMAP_LOGIN;
    imap.tagNumber++;
    if (!imapQuoted(config.settings.Login, login, sizeof login)
        || !imapQuoted(config.settings.plainPassword, password, sizeof password)
        || !formatCommand("A%04d LOGIN %s %s\r\n", imap.tagNumber, login, password)) {
        failBeforeSelect("Login name or password too long for the IMAP4 server");
        return;
    }
    sendImap();
}

void continueImapAfterStartTls(void)
{
    if (imap.state != IMAP_STARTTLS)
        return;
    // Nothing read before the session started may count in the new one.
    imap.windowLength = 0;
    imap.carryLength = 0;
    sendLogin();
}

static void sendMailboxCommand(void)
{
    char mailbox[COMMAND_BUFFER_SIZE];
    const char *name = config.settings.IMAPMailBox[0] ? config.settings.IMAPMailBox : "INBOX";
    imap.state = IMAP_SELECT;
    imap.tagNumber++;
    if (!imapMailboxName(name, mailbox, sizeof mailbox)
        || !formatCommand("A%04d %s %s\r\n", imap.tagNumber,
                          config.settings.UseFilters ? "SELECT" : "EXAMINE", mailbox)) {
        // Refused before anything was opened: hang up, nothing to commit.
        imap.state = IMAP_LOGIN;
        closeConnection();
        reportNetError("Mailbox name too long for the IMAP4 server");
        endFailedNetworkPoll();
        return;
    }
    sendImap();
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
            imap.state = IMAP_STORE;
            sendTagged("A%04d STORE %d +FLAGS.SILENT (\\Deleted)\r\n", imap.current);
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

void handleImapReply(void)
{
    // No read notification can nest while the chunk is handled: nothing here
    // runs a message loop except the question and the log below, which hold
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
    int status = replyStatus(net.receiveBuffer, net.receivedLength);
    updateWindow(net.receiveBuffer, net.receivedLength);
    buildScan();
    const char *chunk = scanBuffer;
    size_t length = scanLength;
    keepCarry();

    switch (imap.state) {
    case IMAP_GREETING:
        if (length < 2) {
            waitForMore(); // one byte tells nothing yet
            return;
        }
        if (!(chunk[0] == '*' && chunk[1] == ' ')) {
            failBeforeSelect("Bad banner from IMAP4 server");
            return;
        }
        imap.runningDate = imap.stampDate;
        imap.runningTime = imap.stampTime;
        imap.newMail = false;
        imap.exists = 0;
        imap.slot = 0;
        imap.skipped = 0;
        if (config.settings.Security == SECURITY_STARTTLS) {
            // Required: without it the login would cross the network in plain text.
            imap.state = IMAP_STARTTLS;
            imap.tagNumber++;
            formatCommand("A%04d STARTTLS\r\n", imap.tagNumber);
            sendImap();
            break;
        }
        sendLogin();
        break;

    case IMAP_STARTTLS:
        if (status == IMAP_PENDING)
            waitForMore();
        else if (status == IMAP_OK)
            startSecureSession();
        else
            failBeforeSelect("The IMAP4 server does not offer STARTTLS");
        break;

    case IMAP_LOGIN:
        if (status == IMAP_PENDING) {
            waitForMore();
        } else if (status == IMAP_OK) {
            imap.existsSeen = false;
            sendMailboxCommand();
        } else {
            failBeforeSelect("Invalid IMAP4 login or password");
        }
        break;

    case IMAP_SELECT:
        if (!imap.existsSeen && (status == IMAP_PENDING || status == IMAP_OK)) {
            const char *word = findBytesNoCase(chunk, length, "EXISTS");
            if (word) {
                imap.existsSeen = true;
                imap.exists = existsCount(chunk, word);
                if (imap.exists < 0)
                    imap.exists = 0;
            }
        }
        if (status == IMAP_PENDING) {
            waitForMore();
        } else if (status == IMAP_OK) {
            if (imap.exists == 0) {
                endConversation();
                return;
            }
            imap.current = (config.settings.UnreadOnly || imap.exists <= HEADER_SLOTS)
                               ? 1
                               : imap.exists - (HEADER_SLOTS - 1);
            if (config.settings.UnreadOnly)
                fetchFlags();
            else
                fetchHeader();
        } else {
            // No mailbox is open, so there is nothing to CLOSE: log out.
            sendLogout();
            reportNetError("Invalid IMAP4 mailbox");
        }
        break;

    case IMAP_FLAGS:
        if (!imap.seen && findBytes(chunk, length, "\\Seen")) {
            imap.skipped++;
            imap.seen = true;
        }
        if (status == IMAP_PENDING) {
            waitForMore();
        } else if (status == IMAP_OK) {
            if (imap.seen) {
                if (imap.current >= imap.exists) {
                    endConversation();
                } else {
                    imap.current++;
                    fetchFlags();
                }
            } else {
                fetchHeader();
            }
        } else {
            failAfterSelect("Error getting IMAP4 flags");
        }
        break;

    case IMAP_HEADER_FIRST:
    case IMAP_HEADER_REST:
        if (imap.state == IMAP_HEADER_FIRST) {
            resetHeaderBlock();
            imap.state = IMAP_HEADER_REST;
        }
        appendToHeaderBlock(NULL);
        if (status == IMAP_PENDING)
            waitForMore();
        else if (status == IMAP_OK)
            decideMessage();
        else
            failAfterSelect("Error getting IMAP4 headers");
        break;

    case IMAP_STORE:
        if (status == IMAP_PENDING) {
            waitForMore();
        } else if (status == IMAP_OK) {
            if (config.settings.LogDeletes) {
                holdSocketEvents();
                logDeletion(imap.record, imap.result.filterEntry);
                if (!connectionAlive())
                    return;
            }
            nextMessage();
        } else {
            failAfterSelect("Error deleting IMAP4 message");
        }
        break;

    case IMAP_CLOSE:
        if (status == IMAP_PENDING) {
            waitForMore();
        } else {
            // After a refused CLOSE there is no second try: log out, and the
            // LOGOUT reply commits as usual.
            sendLogout();
            if (status != IMAP_OK)
                reportNetError("Error closing IMAP4 mailbox");
        }
        break;

    case IMAP_LOGOUT: commit(); break;

    default: break;
    }
}
