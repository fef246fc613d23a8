// A socket layer played by the test: a small in-memory POP3/IMAP4 server (or
// raw scripted bytes) answers the client's commands, and the replies are cut
// into chunks of a chosen size. Drives the real transport and clients without
// sockets, so it runs natively under the sanitizers and in the fuzzers.
#ifndef PELIMBO_TESTS_NET_SCRIPTED_NET_H
#define PELIMBO_TESTS_NET_SCRIPTED_NET_H

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sources/net.h"

struct ScriptedMessage {
    std::string header; // header lines, CRLF ended, without the blank line
    bool seen = false;
    bool deleted = false; // flagged \Deleted (IMAP4) or DELE'd (POP3)
};

struct ScriptedServer {
    std::vector<ScriptedMessage> messages;
    std::string login = "pelimbo", password = "secret";
    std::string mailbox = "INBOX";
    bool topRefused = false;      // TOP answered "-ERR"
    bool closeRefused = false;    // CLOSE answered "NO"
    bool lowercaseStatus = false; // "ok" instead of "OK"
    std::string greeting;         // empty: the protocol's usual one
    int silentAfterCommands = -1; // stop answering after this many commands
    bool expunged = false;
    bool offersIdle = true;         // CAPABILITY (and the login's code) list IDLE
    bool loginCapabilities = false; // LOGIN's OK carries a [CAPABILITY ...] code
    std::string idleTag;            // the IDLE in force, answered at DONE

    // OAuth2: the access token the server takes (empty: none), what it
    // offers, and the error it sends as a continuation when it refuses one.
    std::string accessToken;
    bool offersOAuthBearer = true, offersXoauth2 = true, offersSaslIr = true;
    bool capaRefused = false;                                                   // POP3: CAPA answered -ERR
    std::string saslError = "eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiQmVhcmVyIn0="; // {"status":"401",...}
    std::vector<std::string> tokensSeen;              // the token of every SASL message received
    std::string pendingAuthTag, pendingAuthMechanism; // AUTHENTICATE waiting for its response
    bool awaitingErrorAnswer = false;

    std::vector<std::string> commands; // every command line received, CRLF included
    std::string pop3(const std::string &line);
    std::string imap(const std::string &line);
    void expunge();
    size_t liveCount() const;
};

// The token layer played by the test: the stored refresh token, the forms
// the transport sends, and the answers the token service gives. A job waits
// until the pump hands it back, as the window's message would.
struct ScriptedTokens {
    std::string refreshToken = "refresh-1"; // stored, plain (empty: none, or not openable)
    std::vector<std::string> forms;         // every form sent
    std::vector<std::string> stored;        // every storeRefreshToken call
    std::deque<std::string> answers;        // JSON answers in turn; when empty, one granting "access-N"
    bool reached = true;
    std::string failure;
    unsigned httpStatus = 200;
    bool startFails = false;
    bool hold = false; // keep the job until the test delivers it
    int granted = 0;
    uint32_t now = 5000;
    TokenJob *pending = nullptr;
    // Hands the pending job back (as WM_TOKENDONE would); false when none.
    bool deliver();
};

struct ScriptedNet {
    ScriptedServer server;
    ScriptedTokens tokens;
    bool imapMode = false;
    size_t chunkSize = 4096; // replies are delivered in pieces of this size
    // Splits the n-th reply (0 = greeting) at this byte position, 0 = no split.
    int splitReply = -1;
    size_t splitAt = 0;
    int sendLimit = 0; // bytes accepted per send call, 0 = all
    bool sendWouldBlockOnce = false;
    bool connectRefused = false;
    bool lookupFails = false;
    uint16_t grantedVersion = 0x0101;
    int loadResult = 1;

    // TLS: a toy record layer stands in for the platform's, so the transport's
    // record handling runs anywhere. On the wire a record is its type (22
    // handshake, 23 data, 21 close-notify), two length bytes and the bytes, data
    // scrambled so no plain command shows. Security 2 starts with records; an
    // accepted STLS / STARTTLS switches to them.
    bool tls = false; // the wire carries records now
    bool offersStartTls = true;
    size_t recordSize = 64;    // plain bytes per record the server seals
    std::string verifyFailure; // the certificate check refuses with this
    int rekeyBeforeReply = -1; // a handshake record goes before this reply
    bool closeNotifyAfterLogout = false;
    bool handshakeSilent = false; // the server never answers the client's hello
    int handshakes = 0;
    std::string wire;   // every byte the client put on the wire
    int sends = 0;      // send calls that took bytes
    int receives = 0;   // receive calls, whatever they returned
    int dataRecords = 0; // data records the server sealed
    std::string wireIn; // the client's record not yet complete

    std::deque<std::string> pending; // chunks waiting to be read
    std::string partialCommand;
    std::string sent; // every byte of the client's commands (opened when sealed)
    std::vector<long> masks;
    int cleanups = 0, startups = 0, closes = 0, opens = 0, lookups = 0;
    bool startConnectPosted = false;
    int mailboxChangesPosted = 0; // WM_MAILBOXCHANGED posts not yet handled
    int replies = 0;
    std::vector<size_t> replySizes; // bytes on the wire of each reply
    bool peerClosed = false;
    int lastError = 0;
    // Raw mode: the server's bytes come from here instead of the model.
    std::function<std::string(const std::string &command)> raw;

    void deliver(const std::string &reply);
    void deliverWire(const std::string &bytes);
};

std::string toyRecord(int type, const std::string &bytes);

extern ScriptedNet *scripted;

// Installs the scripted layer for this net (and a scripted dial-up layer that
// knows no connections) and resets the transport's per-run state.
void useScriptedNet(ScriptedNet *net);
// The same, leaving the dial-up layer as it is.
void useScriptedSockets(ScriptedNet *net);
// Runs one poll from startNetworkPoll to its end: connect, then read events
// while bytes are pending. Returns false when the poll is still running (the
// server went silent).
bool runScriptedPoll(int maxEvents = 100000);
// One tick of the poll cycle; a poll it starts is driven as runScriptedPoll
// drives one, a poll on the watched connection by its replies.
bool tickScripted(int maxEvents = 100000);
// The rest of runScriptedPoll after startNetworkPoll.
bool driveScriptedPoll(int maxEvents = 100000);
// Sends read events while there are pending chunks (used after a pause), and
// hands a posted WM_MAILBOXCHANGED to the poll cycle as the window would.
void pumpScripted(int maxEvents = 100000);

// A typical header block with a Received date (day of December 2026), From, Subject.
std::string makeHeader(int n, int day = 7, const std::string &from = "", const std::string &subject = "");

#endif
