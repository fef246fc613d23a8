// pelcheck32 --sign-in as a user runs it, through Wine's shell, the stand-in
// browser and our authorization server, and the polls that follow against the
// OAuth Dovecot (tests/oauth/README.md): what the INI file holds afterwards
// is the refresh token in protected form only.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/checker/run_checker.h"
#include "tests/config/winfiles.h"
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

// A token of the authorization server as it looks in clear ("a-..." or
// "r-..." and base64url), anywhere in text.
bool holdsTokenInClear(const std::string &text)
{
    for (size_t i = 0; i + 2 < text.size(); i++) {
        if ((text[i] != 'a' && text[i] != 'r') || text[i + 1] != '-')
            continue;
        size_t n = 0;
        while (
            i + 2 + n < text.size()
            && (isalnum((unsigned char)text[i + 2 + n]) || text[i + 2 + n] == '-' || text[i + 2 + n] == '_'))
            n++;
        if (n >= 16)
            return true;
    }
    return false;
}

std::string settings(unsigned source, unsigned port, unsigned security)
{
    return "[Pelimbo]\r\nMessageSource=" + std::to_string(source) + "\r\nLogin=" + oauthUser + "\r\nMailHost="
           + oauthMailHost + "\r\nPOP3Port=" + std::to_string(port) + "\r\nIMAP4Port=" + std::to_string(port)
           + "\r\nSecurity=" + std::to_string(security) + "\r\nTrustFile=" + oauthTrustFile()
           + "\r\nAuth=1\r\nOAuthProvider=0\r\nOAuthClientId=" + oauthClientId
           + "\r\nOAuthClientSecret=" + oauthClientSecret + "\r\nOAuthAuthorizeUrl=" + oauthAuthorizeUrl
           + "\r\nOAuthTokenUrl=" + oauthTokenUrl + "\r\nOAuthScope=" + oauthScope
           + "\r\nConnectTimeout=10\r\nInactivityTimeout=20\r\n";
}

// The token the INI file holds: "OAuthToken=..." up to the line end.
std::string storedToken(const std::string &ini)
{
    size_t at = ini.find("OAuthToken=");
    if (at == std::string::npos)
        return "";
    at += 11;
    return ini.substr(at, ini.find_first_of("\r\n", at) - at);
}

} // namespace

TEST(CheckerOAuth, SignInThenPollsCountTheMailboxAndTheIniHoldsNoTokenInClear)
{
    ASSERT_FALSE(oauthControl("reset=1").empty());
    TempDir dir;
    ASSERT_TRUE(writeFile(dir / "PELIMBO.INI", settings(8, oauthImap4Port, 1)));
    ASSERT_TRUE(useTestBrowser("consent"));
    CheckRun run = runChecker("--sign-in PELIMBO.INI", dir.path);
    waitBrowserDone(20000);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0u, run.out.find("address: https://127.0.0.1:21480/authorize?response_type=code&client_id="
                               "pelimbo-test&redirect_uri=http%3A%2F%2F127.0.0.1%3A"))
        << run.out;
    EXPECT_NE(std::string::npos, run.out.find("\nsigned in: reader@example.org\n")) << run.out;
    std::string ini = readFile(dir / "PELIMBO.INI");
    std::string first = storedToken(ini);
    EXPECT_LT(100u, first.size()) << "the protected refresh token";
    EXPECT_FALSE(holdsTokenInClear(ini)) << ini;

    run = runChecker("PELIMBO.INI", dir.path);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0u, run.out.find("count: 150\nresult: new mail\n")) << run.out;
    EXPECT_EQ(1, countLines(oauthServerLog(),
                            "\"endpoint\":\"token\",\"grant_type\":\"refresh_token\",\"result\":\"ok\""));
    ini = readFile(dir / "PELIMBO.INI");
    EXPECT_NE(first, storedToken(ini)) << "the rotated refresh token is kept";
    EXPECT_FALSE(holdsTokenInClear(ini)) << ini;

    // POP3 over TLS from the first byte, with the token kept.
    std::string pop3 = settings(7, oauthPop3sPort, 2) + "OAuthToken=" + storedToken(ini) + "\r\n";
    ASSERT_TRUE(writeFile(dir / "POP3.INI", pop3));
    run = runChecker("POP3.INI", dir.path);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0u, run.out.find("count: 150\n")) << run.out;
    EXPECT_FALSE(holdsTokenInClear(readFile(dir / "POP3.INI")));
}

TEST(CheckerOAuth, WithoutABrowserTheAddressIsPrintedAndTheWaitEnds)
{
    ASSERT_FALSE(oauthControl("reset=1").empty());
    TempDir dir;
    ASSERT_TRUE(writeFile(dir / "PELIMBO.INI", settings(8, oauthImap4Port, 1)));
    ASSERT_TRUE(useTestBrowser("consent"));
    CheckRun run = runChecker("--sign-in --no-browser --sign-in-timeout 2 PELIMBO.INI", dir.path);
    EXPECT_EQ(2, run.status);
    EXPECT_EQ(0u, run.out.find("address: https://127.0.0.1:21480/authorize?")) << run.out;
    EXPECT_EQ("pelcheck: The sign-in timed out: the browser did not come back within 2 seconds\n", run.err);
    EXPECT_TRUE(oauthBrowserLog().empty()) << "no browser was opened";
    EXPECT_EQ("", storedToken(readFile(dir / "PELIMBO.INI")));

    ASSERT_TRUE(writeFile(dir / "MAIL.INI", "[Pelimbo]\r\nMessageSource=8\r\nLogin=a\r\nMailHost=h\r\n"));
    run = runChecker("--sign-in MAIL.INI", dir.path);
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("pelcheck: --sign-in needs a POP3 or IMAP4 source with Auth=1 (OAuth2)\n", run.err);
}
