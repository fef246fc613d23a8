// The peers of the OAuth2 sign-in tests, as the Windows test programs reach
// them: our authorization server, the OAuth Dovecot and the stand-in browser
// (tools/oauth-ctl; tests/oauth/README.md describes them). Link
// pelimbo_oauthpeers, require the fixtures "wine;oauth" and hold the CTest
// resource lock "oauth": the peers' state is shared.
#ifndef PELIMBO_TESTS_OAUTH_OAUTH_PEERS_H
#define PELIMBO_TESTS_OAUTH_OAUTH_PEERS_H

#include <string>
#include <vector>

// The authorization server: HTTPS with the test CA, HTTPS with a certificate
// nobody trusts (the same endpoints), plain-HTTP control.
const unsigned oauthServerPort = 21480, oauthUntrustedPort = 21481, oauthControlPort = 21482;
const char oauthAuthorizeUrl[] = "https://127.0.0.1:21480/authorize";
const char oauthTokenUrl[] = "https://127.0.0.1:21480/token";
const char oauthUntrustedAuthorizeUrl[] = "https://127.0.0.1:21481/authorize";
const char oauthUntrustedTokenUrl[] = "https://127.0.0.1:21481/token";
const char oauthClientId[] = "pelimbo-test";
const char oauthClientSecret[] = "pelimbo-test-secret"; // optional unless require_secret=1
const char oauthScope[] = "mail offline_access";        // any non-empty scope is granted

// The OAuth Dovecot: XOAUTH2 and OAUTHBEARER only, and only after TLS. It
// listens on 127.0.0.2 (Dovecot takes a connection to its own address for a
// secure one and would offer everything before TLS).
const char oauthMailHost[] = "127.0.0.2";
const unsigned oauthPop3Port = 21410, oauthImap4Port = 21443; // STLS, STARTTLS
const unsigned oauthPop3sPort = 21495, oauthImapsPort = 21493;
const char oauthUser[] = "reader@example.org";       // 150 messages; signs in by default
const char oauthSecondUser[] = "second@example.org"; // 3 messages; login_hint=second@example.org
const int oauthUserMessages = 150, oauthSecondUserMessages = 3;

// Files of the fixture, as Windows paths (Z:...).
std::string oauthDir();
std::string oauthTrustFile(); // the test CA (PEM); tls\ca.der beside it is the same in DER

// One control request, "name=value&..." (see README.md); returns the server's
// JSON state, or "" when the server did not answer 200.
std::string oauthControl(const std::string &query);

// The JSON lines of the server's log and of the stand-in browser's log.
std::vector<std::string> oauthServerLog();
std::vector<std::string> oauthBrowserLog();

// Points the shell's browser of this Wine prefix at the stand-in browser and
// sets what the user does there ("consent", "deny", "wrong-state", "stray",
// "never"); clears the browser's log. False when the registry refused.
bool useTestBrowser(const char *mode);

// Waits (up to timeoutMs) until the stand-in browser has finished a run (its
// log holds a "done" line); false on time-out.
bool waitBrowserDone(unsigned timeoutMs = 20000);

#endif
