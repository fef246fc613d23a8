// The Sign-in page of the setup dialog: the provider's mail host and ports,
// what OK asks of an OAuth2 setting, and the "Sign in..." button through the
// shell, the stand-in browser and our authorization server (tests/oauth).
#include "tests/setup/setup_fixture.h"
#include "tests/oauth/oauth_peers.h"

namespace
{

const char *const SIGN_IN = "Sign-in";
const char *const NETWORK = "Network";

} // namespace

TEST_F(SetupDialog, ChoosingAProviderFillsHostPortsAndTlsUnlessTheHostIsTheUsers)
{
    writeIni("[Pelimbo]\r\nMessageSource=8\r\nLogin=ann@example.org\r\n");
    std::string google, gmailPop, microsoft, kept;
    std::string ports;
    int security = -1;
    bool ownHiddenForProvider = false, ownShownForOwn = false, disabledForPassword = false;
    int result = run({[&](HWND d) {
        disabledForPassword = !enabled(d, SIGN_IN, IDC_SI_SIGN_IN) && !enabled(d, SIGN_IN, IDC_SI_CLIENT_ID);
        selectComboEntry(d, SIGN_IN, IDC_SI_AUTH, 1);
        selectComboEntry(d, SIGN_IN, IDC_SI_PROVIDER, 2);
        google = text(d, MAILBOX, IDC_MB_HOST);
        ports = text(d, NETWORK, IDC_NW_POP3) + "/" + text(d, NETWORK, IDC_NW_IMAP4);
        security = comboSelection(d, NETWORK, IDC_NW_SECURITY);
        ownHiddenForProvider = !visible(d, SIGN_IN, IDC_SI_TOKEN) && !visible(d, SIGN_IN, IDC_SI_AUTHORIZE)
                               && !visible(d, SIGN_IN, IDC_SI_SCOPE) && visible(d, SIGN_IN, IDC_SI_CLIENT_ID);
        click(d, "Message source", IDC_SRC_FIRST + 7);
        gmailPop = text(d, MAILBOX, IDC_MB_HOST);
        selectComboEntry(d, SIGN_IN, IDC_SI_PROVIDER, 1);
        microsoft = text(d, MAILBOX, IDC_MB_HOST);
        selectComboEntry(d, SIGN_IN, IDC_SI_PROVIDER, 0);
        ownShownForOwn = visible(d, SIGN_IN, IDC_SI_TOKEN) && visible(d, SIGN_IN, IDC_SI_AUTHORIZE);
        setText(d, MAILBOX, IDC_MB_HOST, "mail.example.org");
        setText(d, NETWORK, IDC_NW_POP3, "1110");
        selectComboEntry(d, SIGN_IN, IDC_SI_PROVIDER, 2);
        kept = text(d, MAILBOX, IDC_MB_HOST) + " " + text(d, NETWORK, IDC_NW_POP3);
        pressCancel(d);
    }});
    EXPECT_EQ(0, result);
    EXPECT_TRUE(disabledForPassword);
    EXPECT_EQ("imap.gmail.com", google);
    EXPECT_EQ("995/993", ports);
    EXPECT_EQ(2, security) << "TLS from the first byte";
    EXPECT_TRUE(ownHiddenForProvider);
    EXPECT_EQ("pop.gmail.com", gmailPop) << "the host follows the source";
    EXPECT_EQ("outlook.office365.com", microsoft);
    EXPECT_TRUE(ownShownForOwn);
    EXPECT_EQ("mail.example.org 1110", kept) << "a host the user typed stays, and its ports";
}

// OAuth2 needs TLS, the client ID and, for own endpoints, two https
// addresses; it needs no password. What OK writes is read back as it was set.
TEST_F(SetupDialog, OkWithOAuthAsksForTlsAndTheClientButNoPassword)
{
    writeIni("[Pelimbo]\r\nMessageSource=7\r\nLogin=ann@example.org\r\nMailHost=mail.example.org\r\n");
    std::vector<Step> steps = {
        [&](HWND d) {
            selectComboEntry(d, SIGN_IN, IDC_SI_AUTH, 1);
            pressOk(d);
        },
        [&](HWND d) {
            selectComboEntry(d, NETWORK, IDC_NW_SECURITY, 1);
            pressOk(d);
        },
        [&](HWND d) {
            setText(d, SIGN_IN, IDC_SI_CLIENT_ID, "my-client");
            pressOk(d);
        },
        [&](HWND d) {
            setText(d, SIGN_IN, IDC_SI_AUTHORIZE, "http://auth.example.org/a");
            pressOk(d);
        },
        [&](HWND d) {
            setText(d, SIGN_IN, IDC_SI_AUTHORIZE, "https://auth.example.org/a");
            setText(d, SIGN_IN, IDC_SI_TOKEN, "https://auth.example.org/t");
            setText(d, SIGN_IN, IDC_SI_SCOPE, "mail offline");
            setText(d, SIGN_IN, IDC_SI_SECRET, "not-so-secret");
            pressOk(d);
        },
    };
    int result = run(steps);
    EXPECT_EQ(1, result);
    EXPECT_EQ((Strings{"OAuth2 sign-in needs TLS: choose STARTTLS or TLS from the first byte as Security",
                       "Invalid field: Security", "Missing field: Client ID", "Missing field: Authorize URL",
                       "Invalid field: Authorize URL"}),
              boxes.texts());
    std::string text = iniText();
    const std::pair<const char *, const char *> values[] = {
        {"Security", "1"},
        {"Auth", "1"},
        {"OAuthProvider", "0"},
        {"OAuthClientId", "my-client"},
        {"OAuthClientSecret", "not-so-secret"},
        {"OAuthAuthorizeUrl", "https://auth.example.org/a"},
        {"OAuthTokenUrl", "https://auth.example.org/t"},
        {"OAuthScope", "mail offline"},
        {"OAuthToken", ""},
    };
    for (const auto &value : values)
        EXPECT_EQ(value.second, iniValue(text, "Pelimbo", value.first)) << value.first;
}

// "Sign in..." signs in with what the pages say before OK; the refresh token
// is written, protected, only when OK is pressed.
TEST_F(SetupDialog, SignInButtonKeepsTheTokenForOk)
{
    ASSERT_FALSE(oauthControl("reset=1").empty());
    std::string settings =
        "[Pelimbo]\r\nMessageSource=8\r\nLogin=" + std::string(oauthUser)
        + "\r\nMailHost=127.0.0.2\r\nIMAP4Port=21443\r\nSecurity=1\r\nTrustFile=" + oauthTrustFile()
        + "\r\nAuth=1\r\nOAuthClientId=" + oauthClientId + "\r\nOAuthAuthorizeUrl=" + oauthAuthorizeUrl
        + "\r\nOAuthTokenUrl=" + oauthTokenUrl + "\r\nOAuthScope=" + oauthScope + "\r\n";
    for (bool ok : {false, true}) {
        writeIni(settings);
        ASSERT_TRUE(useTestBrowser("consent"));
        std::string state;
        int result = run({[&](HWND d) {
            click(d, SIGN_IN, IDC_SI_SIGN_IN); // returns once the browser came back
            state = text(d, SIGN_IN, IDC_SI_STATE);
            if (ok)
                pressOk(d);
            else
                pressCancel(d);
        }});
        waitBrowserDone(20000);
        EXPECT_EQ(ok ? 1 : 0, result);
        EXPECT_EQ("Signed in as reader@example.org: kept when you press OK.", state);
        EXPECT_EQ(Strings{}, boxes.texts());
        std::string token = iniValue(iniText(), "Pelimbo", "OAuthToken");
        if (ok)
            EXPECT_LT(100u, token.size());
        else
            EXPECT_EQ(settings, iniText()) << "Cancel writes nothing";
    }
}
