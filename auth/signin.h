// The browser sign-in (OAuth2 authorization code with PKCE, RFC 8252): the
// address the browser opens, the redirect caught on a loopback port the
// system picks, the code exchanged at the token service, the refresh token
// kept in protected form. Windows only. It is started only by the user
// (setup's "Sign in..." button, the system menu, pelcheck32 --sign-in),
// never by a timer or a socket handler.
#ifndef PELIMBO_AUTH_SIGNIN_H
#define PELIMBO_AUTH_SIGNIN_H

#include <windows.h>

#include "auth/oauth.h"

enum {
    SIGN_IN_WAIT_SECONDS = 300, // for the browser to come back: a few minutes
    SIGN_IN_MESSAGE_SIZE = AUTHORIZE_URL_SIZE + 256,
};

// What a sign-in needs, copied so it can run on a thread of its own while
// the settings it came from change.
struct SignInRequest {
    char clientId[OAUTH_CLIENT_SIZE];
    char clientSecret[OAUTH_CLIENT_SIZE];
    char authorizeUrl[OAUTH_URL_SIZE];
    char tokenUrl[OAUTH_URL_SIZE];
    char scope[OAUTH_SCOPE_SIZE];
    char login[LOGIN_SIZE];
    char trustFile[PATH_SIZE];
    unsigned provider;
    unsigned exchangeSeconds; // for each step at the token service (ConnectTimeout)
    unsigned waitSeconds;     // for the browser to come back
    bool openBrowser;         // false: only tell the address (pelcheck32 --no-browser)
};

// The request for settings s (their effective endpoints, Login, TrustFile).
void signInRequestFrom(const Settings *s, SignInRequest *request);

struct SignInResult {
    bool signedIn;
    bool cancelled;
    char storedToken[PROTECTED_TEXT_SIZE]; // the refresh token as OAuthToken holds it
    char accessToken[ACCESS_TOKEN_SIZE];   // for the next poll, in memory only
    unsigned lifetime;
    char message[SIGN_IN_MESSAGE_SIZE]; // why not, when not signed in
};

struct SignInSession;

// Prepares a sign-in on the calling thread: the random verifier and state,
// the loopback port, the address, and the browser opened through the shell
// (unless the request says not to). NULL with the reason in message when it
// cannot start.
SignInSession *beginSignIn(const SignInRequest *request, char *message, size_t size);
// The address the browser was sent to (or should be).
const char *signInAddress(const SignInSession *session);
// The shell took the address; false: the user must open it.
bool signInBrowserOpened(const SignInSession *session);
// Waits for the browser to come back and exchanges the code, blocking (on a
// thread of its own in the window programs). *cancelled set by another thread
// ends the wait within a quarter of a second. True when signed in.
bool finishSignIn(SignInSession *session, volatile LONG *cancelled, SignInResult *result);
// Closes the port and wipes and frees what the session held.
void endSignIn(SignInSession *session);

// The sign-in under a small modal box owned by owner ("Finish the sign-in in
// your browser", the address to copy, Cancel), for the notifier and setup.
bool signInWithBox(HWND owner, const SignInRequest *request, SignInResult *result);

#endif
