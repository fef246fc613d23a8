// OAuth2 for real: the browser sign-in through Wine's shell and the stand-in
// browser, our own authorization server, and polls against the Dovecot that
// takes nothing but XOAUTH2 and OAUTHBEARER after TLS (tests/oauth/README.md).
// What only a scripted server can show (continuations cut at every byte, a
// server without either mechanism, a token refused twice) is in protocol_test.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "auth/oauth.h"
#include "auth/signin.h"
#include "config/config.h"
#include "mail/mail.h"
#include "poll/pollcycle.h"
#include "sources/net.h"
#include "tests/config/winfiles.h"
#include "tests/fakes/recording_frontend.h"
#include "tests/net/live_poll.h"
#include "tests/net/poll_state.h"
#include "tests/oauth/oauth_peers.h"

namespace
{

int countLines(const std::vector<std::string> &log, const std::string &part)
{
    int n = 0;
    for (const std::string &line : log)
        n += line.find(part) != std::string::npos;
    return n;
}

const char refreshed[] = "\"endpoint\":\"token\",\"grant_type\":\"refresh_token\",\"result\":\"ok\"";

class OAuthDovecot : public ::testing::Test
{
  protected:
    std::string ini;
    SignInResult result;

    void SetUp() override
    {
        networkWindow();
        ASSERT_TRUE(allocateMailBuffers());
        ASSERT_FALSE(oauthControl("reset=1").empty()) << "the authorization server answers";
        resetNetworkPollState();
        Settings &s = config.settings;
        s.MessageSource = SOURCE_IMAP4;
        s.Auth = AUTH_OAUTH2;
        s.Security = SECURITY_STARTTLS;
        s.PollInterval = 10000;
        s.InactivityTimeout = 20;
        s.ConnectTimeout = 10;
        s.WinSockInitTimeout = 10;
        s.POP3Port = oauthPop3Port;
        s.IMAP4Port = oauthImap4Port;
        copyText(s.MailHost, oauthMailHost);
        copyText(s.Login, oauthUser);
        copyText(s.plainPassword, "never-sent");
        copyText(s.TrustFile, oauthTrustFile().c_str());
        copyText(s.OAuthClientId, oauthClientId);
        copyText(s.OAuthAuthorizeUrl, oauthAuthorizeUrl);
        copyText(s.OAuthTokenUrl, oauthTokenUrl);
        copyText(s.OAuthScope, oauthScope);
        // A rotated refresh token is written where the notifier writes it.
        ini = oauthDir() + "\\oauth_test.ini";
        writeFile(ini, "[Pelimbo]\r\n");
        copyText(config.iniPath, ini.c_str());
        forgetHostAddress();
    }
    void TearDown() override
    {
        freeMailBuffers();
        SecureZeroMemory(&result, sizeof result);
    }
    // The browser sign-in as the menu item runs it (without its box); the
    // refresh token goes into the settings, the access token is kept or not.
    bool signIn(const char *mode, bool keepAccess, unsigned waitSeconds = 30)
    {
        EXPECT_TRUE(useTestBrowser(mode));
        SignInRequest request;
        signInRequestFrom(&config.settings, &request);
        request.waitSeconds = waitSeconds;
        char message[SIGN_IN_MESSAGE_SIZE];
        SignInSession *session = beginSignIn(&request, message, sizeof message);
        EXPECT_NE(nullptr, session) << message;
        if (!session)
            return false;
        EXPECT_TRUE(signInBrowserOpened(session));
        bool signedIn = finishSignIn(session, NULL, &result);
        endSignIn(session);
        waitBrowserDone(20000);
        if (signedIn) {
            copyText(config.settings.OAuthToken, result.storedToken);
            if (keepAccess)
                keepAccessToken(result.accessToken, result.lifetime, GetTickCount());
        }
        return signedIn;
    }
    std::vector<std::string> errors()
    {
        return frontCalls("error:");
    }
};

} // namespace

// Signed in once, the polls count the 150 messages with OAUTHBEARER (IMAP4
// with STARTTLS, POP3 with STLS) and with XOAUTH2 (IMAPS, the bearer
// mechanism hidden from the client); a token the server stops taking is
// renewed once and the poll still gets in.
TEST_F(OAuthDovecot, SignInThenEachMechanismCountsTheMailbox)
{
    ASSERT_TRUE(signIn("consent", true)) << result.message;
    EXPECT_STRNE("", config.settings.OAuthToken);
    runPoll();
    EXPECT_TRUE(errors().empty()) << errors()[0];
    EXPECT_EQ(oauthUserMessages, notifier.headerCount);
    EXPECT_EQ(0, countLines(oauthServerLog(), refreshed)) << "the sign-in's own access token is used";

    config.settings.MessageSource = SOURCE_POP3;
    runPoll();
    EXPECT_TRUE(errors().empty()) << errors()[0];
    EXPECT_EQ(oauthUserMessages, notifier.headerCount);

    // XOAUTH2 over IMAPS: the capability list is read without AUTH=OAUTHBEARER.
    static const SecureLayer *real = installedSecureLayer();
    static SecureLayer hiding = *real;
    hiding.open = [](char *in, size_t length, size_t *used, char **plain, size_t *plainLength) {
        int r = real->open(in, length, used, plain, plainLength);
        if (*plain)
            for (size_t i = 0; i + 16 <= *plainLength; i++)
                if (memcmp(*plain + i, "AUTH=OAUTHBEARER", 16) == 0)
                    memcpy(*plain + i, "XXXX", 4);
        return r;
    };
    installSecureLayer(&hiding);
    config.settings.MessageSource = SOURCE_IMAP4;
    config.settings.Security = SECURITY_TLS;
    config.settings.IMAP4Port = oauthImapsPort;
    imap = ImapClient();
    runPoll();
    installSecureLayer(real);
    EXPECT_TRUE(errors().empty()) << errors()[0];
    EXPECT_EQ(oauthUserMessages, notifier.headerCount);
    EXPECT_EQ(SASL_XOAUTH2, imap.mechanism);

    // The server refuses the access token (revoked): answered, renewed, in.
    ASSERT_FALSE(oauthControl("revoke=access").empty());
    runPoll();
    EXPECT_TRUE(errors().empty()) << errors()[0];
    EXPECT_EQ(oauthUserMessages, notifier.headerCount);
    EXPECT_EQ(1, countLines(oauthServerLog(), refreshed));
}

// An access token of two seconds is renewed before each poll (it is always
// within a minute of its end), and the rotated refresh token is stored each time.
TEST_F(OAuthDovecot, ShortLivedTokenIsRenewedAndTheNextPollSucceeds)
{
    ASSERT_FALSE(oauthControl("access_lifetime=2").empty());
    ASSERT_TRUE(signIn("consent", true)) << result.message;
    std::string stored = config.settings.OAuthToken;
    runPoll();
    EXPECT_TRUE(errors().empty()) << errors()[0];
    EXPECT_EQ(oauthUserMessages, notifier.headerCount);
    Sleep(3000);
    runPoll();
    EXPECT_TRUE(errors().empty()) << errors()[0];
    EXPECT_EQ(oauthUserMessages, notifier.headerCount);
    EXPECT_EQ(2, countLines(oauthServerLog(), refreshed));
    EXPECT_NE(stored, config.settings.OAuthToken) << "the rotated refresh token replaced the old one";
    EXPECT_NE(std::string::npos, readFile(ini).find(std::string("OAuthToken=") + config.settings.OAuthToken));
}

// A refresh token the provider revoked: "Sign-in needed", the stored token
// cleared, and the mail server never hears from us (no password, no token).
TEST_F(OAuthDovecot, RevokedRefreshTokenAsksForSignInAndSendsNothing)
{
    ASSERT_TRUE(signIn("consent", false)) << result.message;
    ASSERT_FALSE(oauthControl("revoke=all").empty());
    std::string dovecotLog = readFile(oauthDir() + "\\dovecot.log");
    runPoll();
    EXPECT_EQ((std::vector<std::string>{
                  "error:Sign-in needed for reader@example.org: choose Sign in... from the menu"}),
              errors());
    EXPECT_EQ((std::vector<std::string>{
                  "notice:Sign-in needed for reader@example.org: choose Sign in... from the menu"}),
              frontCalls("notice:"));
    EXPECT_TRUE(notifier.pollFailed);
    EXPECT_STREQ("", config.settings.OAuthToken);
    EXPECT_EQ(1,
              countLines(oauthServerLog(), "\"grant_type\":\"refresh_token\",\"result\":\"invalid_grant\""));
    EXPECT_EQ(dovecotLog, readFile(oauthDir() + "\\dovecot.log")) << "no connection to the mail server";
}

// What comes to the loopback port and is not the provider's answer to this
// sign-in is answered 400 and changes nothing; a refusal in the browser is
// shown as the provider words it.
TEST_F(OAuthDovecot, TheSignInTakesOnlyItsOwnRedirect)
{
    EXPECT_FALSE(signIn("wrong-state", false, 6));
    EXPECT_STREQ("The sign-in timed out: the browser did not come back within 6 seconds", result.message);
    EXPECT_EQ(1, countLines(oauthBrowserLog(), "\"step\":\"redirect\""));
    EXPECT_EQ(1, countLines(oauthBrowserLog(), "\"status\":400"));
    EXPECT_EQ(0, countLines(oauthServerLog(), "\"endpoint\":\"token\",\"grant_type\":"));

    EXPECT_FALSE(signIn("deny", false));
    EXPECT_EQ(0u, std::string(result.message).find("The sign-in was refused in the browser: access_denied\n"))
        << result.message;

    EXPECT_TRUE(signIn("stray", false)) << result.message;
    EXPECT_EQ(2, countLines(oauthBrowserLog(), "\"status\":400")) << "the strays were turned away";
}

// A token service whose certificate the mail connection's rules refuse gets
// neither the code (sign-in) nor the refresh token (poll).
TEST_F(OAuthDovecot, UntrustedTokenServiceGetsNothing)
{
    copyText(config.settings.OAuthTokenUrl, oauthUntrustedTokenUrl);
    EXPECT_FALSE(signIn("consent", false));
    EXPECT_STREQ("The certificate of 127.0.0.1 is not trusted", result.message);

    copyText(config.settings.OAuthTokenUrl, oauthTokenUrl);
    ASSERT_TRUE(signIn("consent", false)) << result.message;
    copyText(config.settings.OAuthTokenUrl, oauthUntrustedTokenUrl);
    runPoll();
    EXPECT_EQ((std::vector<std::string>{"error:The certificate of 127.0.0.1 is not trusted"}), errors());
    Sleep(500); // lines of a client that gave up come a moment later
    EXPECT_LE(2, countLines(oauthServerLog(), "\"listener\":\"untrusted\",\"endpoint\":\"token\""))
        << "both reached the service and stopped there";
    for (const std::string &line : oauthServerLog()) {
        if (line.find("\"listener\":\"untrusted\"") != std::string::npos) {
            EXPECT_EQ(std::string::npos, line.find("\"grant_type\":")) << line;
        }
    }
}
