#include "tests/net/scripted_net.h"

#include <stdio.h>
#include <string.h>

#include "base/base64.h"
#include "config/config.h"
#include "core/core.h"
#include "poll/pollcycle.h"

ScriptedNet *scripted;

static const NetSocket SCRIPTED_SOCKET = 5;
static const uintptr_t SCRIPTED_LOOKUP = 7;

// --- The server model -----------------------------------------------------------

size_t ScriptedServer::liveCount() const
{
    size_t n = 0;
    for (const ScriptedMessage &m : messages)
        n += !m.deleted;
    return n;
}

void ScriptedServer::expunge()
{
    std::vector<ScriptedMessage> kept;
    for (const ScriptedMessage &m : messages)
        if (!m.deleted)
            kept.push_back(m);
    messages = kept;
    expunged = true;
}

static std::string stuffed(const std::string &header)
{
    std::string out;
    size_t start = 0;
    while (start < header.size()) {
        size_t end = header.find("\r\n", start);
        std::string line = header.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line[0] == '.')
            out += '.';
        out += line + "\r\n";
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return out;
}

// --- OAuth2 logins ---------------------------------------------------------------

// The user and token of a SASL message (base64) in the mechanism's own form;
// false when the message is not in that form.
static bool readSaslMessage(const std::string &mechanism, const std::string &base64, std::string *user,
                            std::string *token)
{
    uint8_t bytes[SASL_MESSAGE_SIZE];
    size_t n = 0;
    if (!base64Decode(base64.data(), base64.size(), bytes, sizeof bytes, &n))
        return false;
    std::string plain((const char *)bytes, n);
    std::string userField, rest;
    if (mechanism == "XOAUTH2" && plain.rfind("user=", 0) == 0) {
        size_t end = plain.find('\x01');
        if (end == std::string::npos)
            return false;
        *user = plain.substr(5, end - 5);
        rest = plain.substr(end + 1);
    } else if (mechanism == "OAUTHBEARER" && plain.rfind("n,a=", 0) == 0) {
        size_t end = plain.find(",\x01");
        if (end == std::string::npos)
            return false;
        *user = plain.substr(4, end - 4);
        rest = plain.substr(end + 2);
        while (rest.rfind("auth=", 0) != 0) { // host=, port= come first
            size_t next = rest.find('\x01');
            if (next == std::string::npos)
                return false;
            rest = rest.substr(next + 1);
        }
    } else {
        return false;
    }
    if (rest.rfind("auth=Bearer ", 0) != 0 || rest.size() < 14 || rest.substr(rest.size() - 2) != "\x01\x01")
        return false;
    *token = rest.substr(12, rest.size() - 14);
    return true;
}

// True when the message carries the token the server takes for its user.
static bool saslAccepted(ScriptedServer &server, const std::string &mechanism, const std::string &base64)
{
    std::string user, token;
    if (!readSaslMessage(mechanism, base64, &user, &token))
        return false;
    server.tokensSeen.push_back(token);
    return !server.accessToken.empty() && token == server.accessToken && user == server.login;
}

static bool offered(const ScriptedServer &server, const std::string &mechanism)
{
    return (mechanism == "OAUTHBEARER" && server.offersOAuthBearer)
           || (mechanism == "XOAUTH2" && server.offersXoauth2);
}

// The answer a client owes an error continuation: a single 0x01 for
// OAUTHBEARER, an empty line for XOAUTH2.
static bool rightErrorAnswer(const std::string &mechanism, const std::string &answer)
{
    return answer == (mechanism == "OAUTHBEARER" ? "AQ==" : "");
}

// One SASL message: the verdict, or the error continuation.
static std::string judgeSasl(ScriptedServer &server, const std::string &mechanism, const std::string &base64,
                             const std::string &accepted)
{
    if (saslAccepted(server, mechanism, base64))
        return accepted;
    server.awaitingErrorAnswer = true;
    return "+ " + server.saslError + "\r\n";
}

std::string ScriptedServer::pop3(const std::string &line)
{
    std::string cmd = line.substr(0, line.size() - 2);
    if (awaitingErrorAnswer) {
        awaitingErrorAnswer = false;
        std::string mechanism = pendingAuthMechanism;
        pendingAuthMechanism.clear();
        return rightErrorAnswer(mechanism, cmd) ? "-ERR [AUTH] Authentication failed\r\n"
                                                : "-ERR bad answer\r\n";
    }
    if (!pendingAuthMechanism.empty() && pendingAuthTag == "+") {
        pendingAuthTag.clear();
        std::string reply = judgeSasl(*this, pendingAuthMechanism, cmd, "+OK logged in\r\n");
        if (!awaitingErrorAnswer)
            pendingAuthMechanism.clear();
        return reply;
    }
    if (cmd == "CAPA") {
        if (capaRefused)
            return "-ERR unknown command\r\n";
        std::string sasl = "SASL PLAIN";
        if (offersOAuthBearer)
            sasl += " OAUTHBEARER";
        if (offersXoauth2)
            sasl += " XOAUTH2";
        return "+OK\r\nTOP\r\nUSER\r\n" + sasl + "\r\nUIDL\r\n.\r\n";
    }
    if (cmd.rfind("AUTH ", 0) == 0) {
        std::string rest = cmd.substr(5);
        size_t space = rest.find(' ');
        std::string mechanism = rest.substr(0, space);
        if (!offered(*this, mechanism))
            return "-ERR unsupported mechanism\r\n";
        pendingAuthMechanism = mechanism;
        if (space == std::string::npos) {
            pendingAuthTag = "+";
            return "+ \r\n";
        }
        std::string reply = judgeSasl(*this, mechanism, rest.substr(space + 1), "+OK logged in\r\n");
        if (!awaitingErrorAnswer)
            pendingAuthMechanism.clear();
        return reply;
    }
    if (cmd.rfind("USER ", 0) == 0)
        return cmd.substr(5) == login ? "+OK\r\n" : "-ERR no such user\r\n";
    if (cmd.rfind("PASS ", 0) == 0)
        return cmd.substr(5) == password ? "+OK logged in\r\n" : "-ERR [AUTH] failed\r\n";
    if (cmd == "STAT")
        return "+OK " + std::to_string(messages.size()) + " 12345\r\n";
    int n = 0;
    if (sscanf(cmd.c_str(), "TOP %d 0", &n) == 1) {
        if (topRefused || n < 1 || (size_t)n > messages.size())
            return "-ERR no such message\r\n";
        return "+OK\r\n" + stuffed(messages[n - 1].header) + "\r\n.\r\n";
    }
    if (sscanf(cmd.c_str(), "DELE %d", &n) == 1) {
        if (n < 1 || (size_t)n > messages.size())
            return "-ERR no such message\r\n";
        messages[n - 1].deleted = true;
        return "+OK deleted\r\n";
    }
    if (cmd == "QUIT") {
        expunge();
        return "+OK bye\r\n";
    }
    return "-ERR unknown command\r\n";
}

// Reads an IMAP4 astring (atom or quoted string) at p; advances p.
static std::string imapString(const char *&p)
{
    std::string out;
    while (*p == ' ')
        p++;
    if (*p == '"') {
        p++;
        while (*p && *p != '"') {
            if (*p == '\\' && p[1])
                p++;
            out += *p++;
        }
        if (*p == '"')
            p++;
    } else {
        while (*p && *p != ' ' && *p != '\r')
            out += *p++;
    }
    return out;
}

std::string ScriptedServer::imap(const std::string &line)
{
    std::string cmd = line.substr(0, line.size() - 2);
    size_t space = cmd.find(' ');
    std::string tag = cmd.substr(0, space);
    std::string rest = space == std::string::npos ? "" : cmd.substr(space + 1);
    std::string ok = lowercaseStatus ? " ok " : " OK ";
    std::string no = lowercaseStatus ? " no " : " NO ";
    int n = 0;
    std::string capabilities = offersIdle ? "IMAP4rev1 IDLE" : "IMAP4rev1";
    std::string loggedIn =
        ok + (loginCapabilities ? "[CAPABILITY " + capabilities + "] " : "") + "Logged in\r\n";
    if (awaitingErrorAnswer) {
        awaitingErrorAnswer = false;
        std::string authTag = pendingAuthTag;
        std::string mechanism = pendingAuthMechanism;
        pendingAuthTag.clear();
        pendingAuthMechanism.clear();
        return rightErrorAnswer(mechanism, cmd)
                   ? authTag + no + "[AUTHENTICATIONFAILED] Invalid credentials\r\n"
                   : authTag + " BAD wrong answer to the error\r\n";
    }
    if (!pendingAuthTag.empty()) {
        std::string authTag = pendingAuthTag;
        std::string reply = judgeSasl(*this, pendingAuthMechanism, cmd, authTag + loggedIn);
        if (!awaitingErrorAnswer) {
            pendingAuthTag.clear();
            pendingAuthMechanism.clear();
        }
        return reply;
    }
    if (cmd == "DONE" && !idleTag.empty()) {
        std::string idle = idleTag;
        idleTag.clear();
        return idle + ok + "Idle completed\r\n";
    }
    if (rest == "IDLE") {
        if (!offersIdle)
            return tag + " BAD Unknown command\r\n";
        idleTag = tag;
        return "+ idling\r\n";
    }
    if (rest == "CAPABILITY") {
        std::string list = "* CAPABILITY " + capabilities + " LITERAL+";
        if (offersSaslIr)
            list += " SASL-IR";
        if (offersOAuthBearer)
            list += " AUTH=OAUTHBEARER";
        if (offersXoauth2)
            list += " AUTH=XOAUTH2";
        return list + " AUTH=PLAIN\r\n" + tag + ok + "Capability completed\r\n";
    }
    if (rest.rfind("AUTHENTICATE ", 0) == 0) {
        std::string args = rest.substr(13);
        size_t space = args.find(' ');
        std::string mechanism = args.substr(0, space);
        if (!offered(*this, mechanism))
            return tag + no + "Unsupported authentication mechanism\r\n";
        pendingAuthMechanism = mechanism;
        pendingAuthTag = tag;
        if (space == std::string::npos)
            return "+ \r\n";
        if (!offersSaslIr)
            return tag + " BAD initial response without SASL-IR\r\n";
        std::string reply = judgeSasl(*this, mechanism, args.substr(space + 1), tag + loggedIn);
        if (!awaitingErrorAnswer) {
            pendingAuthTag.clear();
            pendingAuthMechanism.clear();
        }
        return reply;
    }
    if (rest.rfind("LOGIN ", 0) == 0) {
        const char *p = rest.c_str() + 6;
        std::string u = imapString(p), w = imapString(p);
        return tag + ((u == login && w == password) ? loggedIn : no + "[AUTHENTICATIONFAILED] failed\r\n");
    }
    if (rest.rfind("SELECT ", 0) == 0 || rest.rfind("EXAMINE ", 0) == 0) {
        const char *p = rest.c_str() + rest.find(' ') + 1;
        std::string name = imapString(p);
        if (name != mailbox)
            return tag + no + "Mailbox doesn't exist\r\n";
        return "* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)\r\n* "
               + std::to_string(messages.size()) + " EXISTS\r\n* 0 RECENT\r\n" + tag + ok
               + "[READ-WRITE] Select completed\r\n";
    }
    if (sscanf(rest.c_str(), "FETCH %d FLAGS", &n) == 1 && rest.find("RFC822") == std::string::npos) {
        if (n < 1 || (size_t)n > messages.size())
            return tag + " BAD Invalid messageset\r\n";
        return "* " + std::to_string(n) + " FETCH (FLAGS (" + (messages[n - 1].seen ? "\\Seen" : "")
               + "))\r\n" + tag + ok + "Fetch completed\r\n";
    }
    if (sscanf(rest.c_str(), "FETCH %d RFC822.HEADER", &n) == 1) {
        if (n < 1 || (size_t)n > messages.size())
            return tag + " BAD Invalid messageset\r\n";
        std::string block = messages[n - 1].header + "\r\n";
        return "* " + std::to_string(n) + " FETCH (RFC822.HEADER {" + std::to_string(block.size()) + "}\r\n"
               + block + ")\r\n" + tag + ok + "Fetch completed\r\n";
    }
    if (sscanf(rest.c_str(), "STORE %d +FLAGS.SILENT (\\Deleted)", &n) == 1) {
        if (n < 1 || (size_t)n > messages.size())
            return tag + " BAD Invalid messageset\r\n";
        messages[n - 1].deleted = true;
        return tag + ok + "Store completed\r\n";
    }
    if (rest == "CLOSE") {
        if (closeRefused)
            return tag + no + "Close failed\r\n";
        expunge();
        return tag + ok + "Close completed\r\n";
    }
    if (rest == "LOGOUT")
        return "* BYE Logging out\r\n" + tag + ok + "Logout completed\r\n";
    return tag + " BAD Error in IMAP command\r\n";
}

// --- The layer ---------------------------------------------------------------------

static std::string scramble(std::string bytes)
{
    for (char &c : bytes)
        c = (char)(c ^ 0x5A);
    return bytes;
}

std::string toyRecord(int type, const std::string &bytes)
{
    std::string sealed = type == 23 ? scramble(bytes) : bytes;
    return std::string(1, (char)type) + (char)(sealed.size() >> 8) + (char)(sealed.size() & 0xFF) + sealed;
}

// A whole record at the start of bytes: its type and length.
static bool toyRecordAt(const char *bytes, size_t length, int *type, size_t *total)
{
    if (length < 3)
        return false;
    size_t body = (size_t)(unsigned char)bytes[1] << 8 | (unsigned char)bytes[2];
    if (length < 3 + body)
        return false;
    *type = (unsigned char)bytes[0];
    *total = 3 + body;
    return true;
}

void ScriptedNet::deliver(const std::string &reply)
{
    if (!tls) {
        deliverWire(reply);
        return;
    }
    std::string bytes;
    if (replies == rekeyBeforeReply)
        bytes += toyRecord(22, "REKEY");
    for (size_t at = 0; at < reply.size(); at += recordSize) {
        bytes += toyRecord(23, reply.substr(at, recordSize));
        dataRecords++;
    }
    if (closeNotifyAfterLogout
        && (reply.find("+OK bye") == 0 || reply.find("Logout completed") != std::string::npos))
        bytes += toyRecord(21, "");
    deliverWire(bytes);
}

void ScriptedNet::deliverWire(const std::string &bytes)
{
    replySizes.push_back(bytes.size());
    std::string rest = bytes;
    if (replies == splitReply && splitAt > 0 && splitAt < rest.size()) {
        pending.push_back(rest.substr(0, splitAt));
        rest = rest.substr(splitAt);
    }
    replies++;
    while (!rest.empty()) {
        size_t n = rest.size() < chunkSize ? rest.size() : chunkSize;
        pending.push_back(rest.substr(0, n));
        rest = rest.substr(n);
    }
}

static int layerLoad(void)
{
    return scripted->loadResult;
}

static int layerStartup(uint16_t requested, uint16_t *granted)
{
    scripted->startups++;
    *granted = scripted->grantedVersion;
    return 0;
}

static int layerCleanup(void)
{
    scripted->cleanups++;
    return 0;
}

static int layerAsyncSelect(NetSocket s, long mask)
{
    scripted->masks.push_back(mask);
    return 0;
}

static uintptr_t layerLookup(const char *name, char *buffer, int size)
{
    scripted->lookups++;
    return SCRIPTED_LOOKUP;
}

static int layerNothing(void)
{
    return 0;
}
static int layerCancel(uintptr_t handle)
{
    return 0;
}
static int layerLastError(void)
{
    return scripted->lastError;
}
static int layerLinger(NetSocket s)
{
    return 0;
}

static NetSocket layerOpen(void)
{
    scripted->opens++;
    return SCRIPTED_SOCKET;
}

static int layerClose(NetSocket s)
{
    scripted->closes++;
    return 0;
}

static std::string defaultGreeting(const ScriptedNet &n)
{
    return n.imapMode ? "* OK [CAPABILITY IMAP4rev1] Pelimbo test server ready.\r\n"
                      : "+OK Pelimbo test server ready.\r\n";
}

static void takeCommandBytes(ScriptedNet &n, const std::string &bytes)
{
    n.sent += bytes;
    n.partialCommand += bytes;
    size_t end;
    while ((end = n.partialCommand.find("\r\n")) != std::string::npos) {
        std::string line = n.partialCommand.substr(0, end + 2);
        n.partialCommand.erase(0, end + 2);
        n.server.commands.push_back(line);
        if (n.server.silentAfterCommands >= 0 && (int)n.server.commands.size() > n.server.silentAfterCommands)
            continue;
        bool startTls = !n.tls && (line == "STLS\r\n" || line.find(" STARTTLS\r\n") != std::string::npos);
        std::string reply;
        if (n.raw)
            reply = n.raw(line);
        else if (startTls && !n.offersStartTls)
            reply = n.imapMode ? line.substr(0, line.find(' ')) + " BAD Unknown command\r\n"
                               : "-ERR unknown command\r\n";
        else if (startTls)
            reply = n.imapMode ? line.substr(0, line.find(' ')) + " OK Begin TLS negotiation now\r\n"
                               : "+OK Begin TLS negotiation\r\n";
        else
            reply = n.imapMode ? n.server.imap(line) : n.server.pop3(line);
        if (!reply.empty())
            n.deliver(reply);
        if (startTls && n.offersStartTls && !n.raw)
            n.tls = true;
    }
}

// The server's side of the toy records: the handshake, then sealed commands.
static void takeRecords(ScriptedNet &n)
{
    int type = 0;
    size_t total = 0;
    while (toyRecordAt(n.wireIn.data(), n.wireIn.size(), &type, &total)) {
        std::string body = n.wireIn.substr(3, total - 3);
        n.wireIn.erase(0, total);
        if (type == 22 && body == "HELLO" && !n.handshakeSilent) {
            n.handshakes++;
            n.deliverWire(toyRecord(22, "WELCOME"));
        } else if (type == 22 && body == "FINISHED" && config.settings.Security == SECURITY_TLS) {
            n.deliver(n.raw ? n.raw("") : n.server.greeting.empty() ? defaultGreeting(n) : n.server.greeting);
        } else if (type == 23) {
            takeCommandBytes(n, scramble(body));
        }
    }
}

static int layerSend(NetSocket s, const char *data, int length)
{
    ScriptedNet &n = *scripted;
    if (n.sendWouldBlockOnce) {
        n.sendWouldBlockOnce = false;
        n.lastError = NET_WOULD_BLOCK;
        return -1;
    }
    int take = (n.sendLimit > 0 && length > n.sendLimit) ? n.sendLimit : length;
    std::string bytes(data, (size_t)take);
    n.wire += bytes;
    n.sends++;
    if (n.tls) {
        n.wireIn += bytes;
        takeRecords(n);
    } else {
        takeCommandBytes(n, bytes);
    }
    return take;
}

static int layerReceive(NetSocket s, char *data, int length)
{
    ScriptedNet &n = *scripted;
    n.receives++;
    if (n.pending.empty()) {
        if (n.peerClosed)
            return 0;
        n.lastError = NET_WOULD_BLOCK;
        return -1;
    }
    std::string &front = n.pending.front();
    size_t take = front.size() < (size_t)length ? front.size() : (size_t)length;
    memcpy(data, front.data(), take);
    front.erase(0, take);
    if (front.empty())
        n.pending.pop_front();
    return (int)take;
}

static int layerConnect(NetSocket s, const uint8_t address[16])
{
    scripted->lastError = NET_WOULD_BLOCK;
    return -1;
}

static uint16_t layerHtons(uint16_t v)
{
    return (uint16_t)((v >> 8) | (v << 8));
}

static uint32_t layerDotted(const char *text)
{
    unsigned a, b, c, d;
    char extra;
    if (sscanf(text, "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) == 4)
        return a | b << 8 | c << 16 | d << 24;
    return 0xFFFFFFFFu;
}

static bool layerFirstAddress(const char *buffer, uint8_t address[4])
{
    address[0] = 127;
    address[1] = 0;
    address[2] = 0;
    address[3] = 1;
    return true;
}

static void layerPostStartConnect(void)
{
    scripted->startConnectPosted = true;
}

static void layerPostMailboxChanged(void)
{
    scripted->mailboxChangesPosted++;
}

static const SocketLayer scriptedLayer = {
    layerLoad,
    layerStartup,
    layerCleanup,
    layerAsyncSelect,
    layerLookup,
    layerNothing,
    layerCancel,
    layerLastError,
    layerLinger,
    layerOpen,
    layerClose,
    layerSend,
    layerReceive,
    layerConnect,
    layerHtons,
    layerDotted,
    layerFirstAddress,
    layerPostStartConnect,
    layerPostMailboxChanged,
};

// --- The toy TLS layer (the client's side) ------------------------------------------

static void append(SecureOutput *out, const std::string &bytes)
{
    if (bytes.size() <= out->size - out->length) {
        memcpy(out->data + out->length, bytes.data(), bytes.size());
        out->length += bytes.size();
    }
}

static int toyLoad(void)
{
    return 1;
}

static int toyBegin(const char *host, SecureOutput *out)
{
    append(out, toyRecord(22, "HELLO"));
    return SECURE_MORE;
}

static int toyHandshake(const char *in, size_t length, size_t *used, SecureOutput *out)
{
    int type = 0;
    size_t total = 0;
    *used = 0;
    if (!toyRecordAt(in, length, &type, &total))
        return SECURE_MORE;
    *used = total;
    std::string body(in + 3, total - 3);
    if (type == 22 && body == "WELCOME") {
        append(out, toyRecord(22, "FINISHED"));
        return SECURE_DONE;
    }
    if (type == 22 && body == "REKEY")
        return SECURE_DONE;
    return SECURE_FAILED;
}

static bool toyVerify(const char *host, const char *trustFile, char *message, size_t size)
{
    if (scripted->verifyFailure.empty())
        return true;
    copyText(message, size, scripted->verifyFailure.c_str());
    return false;
}

static bool toySeal(const char *plain, size_t length, SecureOutput *out)
{
    size_t before = out->length;
    append(out, toyRecord(23, std::string(plain, length)));
    return out->length > before;
}

static int toyOpen(char *in, size_t length, size_t *used, char **plain, size_t *plainLength)
{
    int type = 0;
    size_t total = 0;
    *used = 0;
    *plain = NULL;
    *plainLength = 0;
    if (!toyRecordAt(in, length, &type, &total))
        return SECURE_MORE;
    if (type == 22)
        return SECURE_RENEGOTIATE; // the record is the handshake's
    *used = total;
    if (type == 21)
        return SECURE_CLOSED;
    if (type != 23)
        return SECURE_FAILED;
    for (size_t i = 3; i < total; i++)
        in[i] = (char)(in[i] ^ 0x5A);
    *plain = in + 3;
    *plainLength = total - 3;
    return SECURE_DONE;
}

static void toyEnd(void)
{
}

static long toyStatus(void)
{
    return 0;
}

static void toyDescribe(char *text, size_t size)
{
    copyText(text, size, "protocol: toy");
}

static const SecureLayer toyLayer = {
    toyLoad, toyBegin, toyHandshake, toyVerify, toySeal, toyOpen, toyEnd, toyStatus, toyDescribe,
};

// --- The token layer ---------------------------------------------------------------------

static bool tokensRead(char *plain, size_t size)
{
    copyText(plain, size, scripted->tokens.refreshToken.c_str());
    return !scripted->tokens.refreshToken.empty();
}

static void tokensStore(const char *plain)
{
    scripted->tokens.stored.push_back(plain);
    scripted->tokens.refreshToken = plain;
}

static bool tokensStart(TokenJob *job)
{
    ScriptedTokens &t = scripted->tokens;
    t.forms.push_back(job->form);
    if (t.startFails) {
        copyText(job->failure, "Unable to load WINHTTP.DLL");
        return false;
    }
    wipeBytes(job->form, sizeof job->form); // as the platform's layer does once it is sent
    t.pending = job;
    return true;
}

static uint32_t tokensClock(void)
{
    return scripted->tokens.now;
}

static const TokenLayer scriptedTokenLayer = {tokensRead, tokensStore, tokensStart, tokensClock};

bool ScriptedTokens::deliver()
{
    TokenJob *job = pending;
    if (!job)
        return false;
    pending = nullptr;
    job->reached = reached;
    job->httpStatus = httpStatus;
    copyText(job->failure, failure.c_str());
    std::string answer;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    } else {
        answer = "{\"access_token\":\"access-" + std::to_string(++granted)
                 + "\",\"token_type\":\"Bearer\",\"expires_in\":3600}";
    }
    copyText(job->answer, sizeof job->answer, answer.c_str());
    job->answerLength = strlen(job->answer);
    handleTokenDone(0, (intptr_t)job);
    return true;
}

void useScriptedSockets(ScriptedNet *n)
{
    scripted = n;
    installSocketLayer(&scriptedLayer);
    installSecureLayer(&toyLayer);
    installTokenLayer(&scriptedTokenLayer);
    forgetHostAddress();
}

void useScriptedNet(ScriptedNet *n)
{
    useScriptedSockets(n);
    installDialUpLayer(nullptr);
}

static bool readArmed(void)
{
    return !scripted->masks.empty() && (scripted->masks.back() & NET_READ);
}

void pumpScripted(int maxEvents)
{
    ScriptedNet &n = *scripted;
    for (int i = 0; i < maxEvents; i++) {
        bool talking = (notifier.pollInProgress || netStages.watching)
                       && (netStages.awaitingServer || netStages.handshaking);
        if (notifier.pollInProgress && netStages.refreshing) {
            if (n.tokens.hold || !n.tokens.deliver())
                break;
        } else if (talking && net.sendRemaining > 0 && readArmed()) {
            handleSocketMessage(SCRIPTED_SOCKET, NET_WRITE);
        } else if (talking && !n.pending.empty() && readArmed()) {
            handleSocketMessage(SCRIPTED_SOCKET, NET_READ);
        } else if (talking && n.pending.empty() && n.peerClosed) {
            handleSocketMessage(SCRIPTED_SOCKET, NET_CLOSE);
        } else if (n.mailboxChangesPosted > 0) {
            n.mailboxChangesPosted--;
            pollOnMailboxChange();
        } else {
            break;
        }
    }
}

bool runScriptedPoll(int maxEvents)
{
    scripted->startConnectPosted = false;
    startNetworkPoll();
    return driveScriptedPoll(maxEvents);
}

bool tickScripted(int maxEvents)
{
    scripted->startConnectPosted = false;
    int opens = scripted->opens;
    pollTick();
    if (scripted->opens == opens && !scripted->startConnectPosted && net.lookupHandle == 0) {
        pumpScripted(maxEvents); // a poll on the watched connection, or none
        return !notifier.pollInProgress;
    }
    return driveScriptedPoll(maxEvents);
}

bool driveScriptedPoll(int maxEvents)
{
    ScriptedNet &n = *scripted;
    if (!notifier.pollInProgress)
        return true;
    if (netStages.refreshing && (n.tokens.hold || !n.tokens.deliver()))
        return false; // the token service has not answered yet
    if (net.lookupHandle != 0)
        handleHostResolved(net.lookupHandle, n.lookupFails ? (intptr_t)(11001 << 16) : 0);
    if (n.startConnectPosted) {
        n.startConnectPosted = false;
        handleStartConnect();
    }
    if (!netStages.connecting)
        return !notifier.pollInProgress;
    if (n.connectRefused) {
        handleSocketMessage(SCRIPTED_SOCKET, NET_CONNECT | (10061 << 16));
        return !notifier.pollInProgress;
    }
    if (config.settings.Security == SECURITY_TLS)
        n.tls = true; // the greeting follows the handshake
    handleSocketMessage(SCRIPTED_SOCKET, NET_CONNECT);
    if (n.raw && !n.tls)
        n.deliver(n.raw(""));
    else if (!n.tls)
        n.deliver(n.server.greeting.empty() ? defaultGreeting(n) : n.server.greeting);
    pumpScripted(maxEvents);
    return !notifier.pollInProgress;
}

std::string makeHeader(int n, int day, const std::string &from, const std::string &subject)
{
    char received[160];
    snprintf(received, sizeof received,
             "Received: from relay.example.org by mail.example.org; Mon, %d Dec 2026 10:%02d:%02d +0000", day,
             (n / 60) % 60, n % 60);
    std::string f = from.empty()
                        ? "\"Sender " + std::to_string(n) + "\" <sender" + std::to_string(n) + "@example.org>"
                        : from;
    std::string s = subject.empty() ? "Message number " + std::to_string(n) : subject;
    return std::string(received) + "\r\nFrom: " + f + "\r\nTo: pelimbo@example.org\r\nSubject: " + s
           + "\r\nMessage-ID: <" + std::to_string(n) + "@example.org>\r\n";
}
