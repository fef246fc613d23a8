// Shared body of the two network fuzzers: arbitrary server bytes, cut into
// chunks at 0xFF bytes, fed to the real transport and client as replies.
// The first byte chooses the settings (UnreadOnly, UseFilters, LogDeletes,
// an exit request part-way, or else the watch with Idle).
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "mail/mail.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "tests/net/deletion_doubles.h"
#include "tests/net/scripted_net.h"
#include "tests/fakes/recording_frontend.h"

static FilterEntry fuzzFilters[2];
static char fuzzDeleteText[] = "a";
static char fuzzIgnoreText[] = "b";

// With secure set, the conversation runs over the scripted TLS records: the
// first chunk goes on the wire as it is, in place of the server's handshake
// answer, and the later ones are sealed as replies. With oauth set, it logs in
// with an access token over TLS (SASL continuations, refusals, renewals).
static void runFuzzConversation(const uint8_t *data, size_t size, bool imapMode, bool secure = false,
                                bool oauth = false)
{
    static bool ready = allocateMailBuffers() != 0;
    if (!ready || size == 0)
        return;
    uint8_t flags = data[0];
    data++;
    size--;

    resetFakeFrontEnd();
    memset(&notifier, 0, sizeof notifier);
    notifier.tickCounter = 1;
    memset(&config.settings, 0, sizeof config.settings);
    Settings &s = config.settings;
    s.MessageSource = imapMode ? SOURCE_IMAP4 : SOURCE_POP3;
    s.PollInterval = 1000;
    s.NetErrors = true;
    s.InactivityTimeout = 30;
    s.directConnection = true;
    s.Security = secure || oauth ? SECURITY_TLS : SECURITY_PLAIN;
    s.Auth = oauth ? AUTH_OAUTH2 : AUTH_PASSWORD;
    copyText(s.OAuthClientId, "client");
    copyText(s.OAuthTokenUrl, "https://login.example.org/token");
    forgetAccessToken();
    s.UnreadOnly = flags & 1;
    s.UseFilters = flags & 2;
    s.LogDeletes = flags & 4;
    s.Idle = !(flags & 16) && (flags & 32); // bits 5 to 7 count the exit otherwise
    copyText(s.MailHost, "127.0.0.1");
    copyText(s.Login, "user");
    copyText(s.plainPassword, "secret");
    fuzzFilters[0] = {fuzzDeleteText, FILTER_DELETE, MATCH_EITHER};
    fuzzFilters[1] = {fuzzIgnoreText, FILTER_IGNORE, MATCH_EITHER};
    config.filterList.entries = fuzzFilters;
    config.filterList.count = 2;
    netStages = NetworkStages();
    netOutage = NetOutage();
    pollCycle.newsWaiting = false;
    pop3 = Pop3Client();
    imap = ImapClient();
    deletionAnswer = (flags & 8) != 0;

    std::vector<std::string> chunks(1);
    for (size_t i = 0; i < size; i++) {
        if (data[i] == 0xFF)
            chunks.emplace_back();
        else
            chunks.back() += (char)data[i];
    }
    size_t next = 0;
    int exitAfter = (flags & 16) ? (flags >> 5) : -1;
    ScriptedNet sn;
    sn.imapMode = imapMode;
    sn.raw = [&](const std::string &command) -> std::string {
        if (exitAfter >= 0 && (int)sn.server.commands.size() >= exitAfter)
            notifier.pendingCommand = PENDING_EXIT;
        // Each command is answered by the next chunk; the greeting by the first.
        return next < chunks.size() ? chunks[next++] : std::string();
    };
    sn.peerClosed = (flags & 128) != 0 && exitAfter < 0;
    sn.handshakeSilent = secure;
    useScriptedNet(&sn);
    runScriptedPoll(20000);
    if (secure && next < chunks.size()) {
        sn.deliverWire(chunks[next++]);
        pumpScripted(20000);
        // Bytes that did not complete the handshake never reach the line framer.
        if (net.secureDescription[0] == '\0' && (pop3.reply.length != 0 || imap.reply.length != 0))
            __builtin_trap();
    }
    // Whatever is left arrives unasked.
    while ((notifier.pollInProgress || netStages.watching) && next < chunks.size()) {
        sn.deliver(chunks[next++]);
        pumpScripted(20000);
    }
    if (notifier.pollInProgress || netStages.watching) {
        closeConnection();
        endNetworkPoll();
    }
    releaseHeaderBlock();
    config.filterList.entries = nullptr;
    config.filterList.count = 0;
}
