// The fixture of the scripted network tests: a direct POP3 source on
// 127.0.0.1 logging in as pelimbo with "secret", fresh clients, transport
// stages and front end, and the scripted layer installed; with the helpers
// the tests of one conversation share.
#ifndef PELIMBO_TESTS_NET_NET_POLL_TEST_H
#define PELIMBO_TESTS_NET_NET_POLL_TEST_H

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "auth/oauth.h"
#include "config/config.h"
#include "mail/mail.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "tests/fakes/recording_frontend.h"
#include "tests/net/deletion_doubles.h"
#include "tests/net/poll_state.h"
#include "tests/net/scripted_net.h"

namespace
{

FilterEntry filters[2];
char spamText[] = "Buy now";
char ignoreText[] = "Newsletter";

class NetPoll : public ::testing::Test
{
  protected:
    ScriptedNet sn;

    void SetUp() override
    {
        ASSERT_TRUE(allocateMailBuffers());
        resetNetworkPollState();
        Settings &s = config.settings;
        s.MessageSource = SOURCE_POP3;
        s.PollInterval = 1000;
        s.InactivityTimeout = 30;
        s.ConnectTimeout = 60;
        s.WinSockInitTimeout = 120;
        s.POP3Port = 110;
        s.IMAP4Port = 143;
        copyText(s.Login, "pelimbo");
        deletionAnswer = true;
        deletionLog.clear();
        whileDeletionAsked = nullptr;
        useScriptedNet(&sn);
    }
    void TearDown() override
    {
        closeConnection(); // a watch the test left
        releaseHeaderBlock();
        config.filterList.entries = nullptr;
        config.filterList.count = 0;
        freeMailBuffers();
    }

    void useImap()
    {
        config.settings.MessageSource = SOURCE_IMAP4;
        sn.imapMode = true;
    }
    // OAuth2 over TLS against a server that takes the first token granted.
    void useOAuth(ScriptedNet &n)
    {
        Settings &s = config.settings;
        s.Auth = AUTH_OAUTH2;
        s.Security = SECURITY_TLS;
        copyText(s.OAuthClientId, "pelimbo-client");
        copyText(s.OAuthTokenUrl, "https://login.example.org/token");
        n.server.accessToken = "access-1";
    }
    void addMessages(int count, int firstNumber = 1)
    {
        for (int i = 0; i < count; i++)
            sn.server.messages.push_back({makeHeader(firstNumber + i)});
    }
    void useFilters()
    {
        filters[0] = {spamText, FILTER_DELETE, MATCH_SUBJECT};
        filters[1] = {ignoreText, FILTER_IGNORE, MATCH_SUBJECT};
        config.filterList.entries = filters;
        config.filterList.count = 2;
        config.settings.UseFilters = true;
    }
    std::vector<std::string> errors()
    {
        return frontCalls("error:");
    }
    // A fresh conversation on the same server (the client's stamps are kept).
    void newConnection()
    {
        sn.sent.clear();
        sn.server.commands.clear();
        sn.pending.clear();
        sn.partialCommand.clear();
        sn.replies = 0;
        resetFakeFrontEnd();
    }
};

} // namespace

// TOP n 0 for messages from to to; FETCH n WHAT for them, tags from firstTag on.
inline std::string topRange(int from, int to)
{
    std::string out;
    for (int i = from; i <= to; i++)
        out += "TOP " + std::to_string(i) + " 0\r\n";
    return out;
}

inline std::string fetchRange(int firstTag, int from, int to, const char *what)
{
    std::string out;
    char line[80];
    for (int i = from; i <= to; i++, firstTag++) {
        snprintf(line, sizeof line, "A%04d FETCH %d %s\r\n", firstTag, i, what);
        out += line;
    }
    return out;
}

#endif
