// OAuth2 for the mail sources, the window-free part: the providers' endpoints,
// the sign-in's PKCE values and addresses, the token service's forms and
// answers, the browser's request on the loopback port, and the access token
// the network poll holds in memory. Pointer and length in, bounded results
// out: everything here takes outside input without trusting it.
#ifndef PELIMBO_AUTH_OAUTH_H
#define PELIMBO_AUTH_OAUTH_H

#include <stddef.h>
#include <stdint.h>

#include "config/config.h"

enum {
    ACCESS_TOKEN_SIZE = 8192, // an access token: 8191 characters (Microsoft's run to a few thousand)
    AUTH_CODE_SIZE = 2048,    // an authorization code
    PKCE_TEXT_SIZE = 44,      // verifier and challenge: 43 characters of base64url
    PKCE_RANDOM_BYTES = 32,   // the verifier's random bytes
    STATE_TEXT_SIZE = 23,     // the state value: 16 random bytes as 22 characters
    STATE_RANDOM_BYTES = 16,
    OAUTH_ERROR_SIZE = 128, // error: a short code such as invalid_grant
    OAUTH_DESCRIPTION_SIZE = 512,
    AUTHORIZE_URL_SIZE = 4096, // the address the browser opens
    TOKEN_BODY_SIZE = 8192,    // the form sent to the token service
    TOKEN_ANSWER_MAX = 65536,  // the longest answer read from the token service
    REDIRECT_URI_SIZE = 32,    // http://127.0.0.1:65535/
    // An access token is renewed before a poll that would start within a minute of its end.
    ACCESS_TOKEN_MARGIN_SECONDS = 60,
    // Assumed when the answer gives no lifetime: an hour, the usual; a token
    // that ends sooner is refused by the server and renewed then.
    DEFAULT_TOKEN_LIFETIME = 3600,
};

enum OAuthProviderKind {
    PROVIDER_OWN = 0,
    PROVIDER_MICROSOFT = 1,
    PROVIDER_GOOGLE = 2,
};

enum AuthKind {
    AUTH_PASSWORD = 0,
    AUTH_OAUTH2 = 1,
};

// --- Providers ------------------------------------------------------------------------
struct OAuthEndpoints {
    const char *authorizeUrl;
    const char *tokenUrl;
    const char *scope;
};

// What the settings name, with the provider's own values where a provider is
// chosen and the key is empty. The texts live in s or in static storage.
void oauthEndpoints(const Settings *s, OAuthEndpoints *out);

// The mail host of a provider for the source, NULL for own endpoints. Ports
// 995 and 993 with TLS from the first byte.
const char *providerMailHost(unsigned provider, unsigned source);
// True when host is one the provider choice would fill in (so it may be replaced).
bool isProviderMailHost(const char *host);

// --- Sign-in values ---------------------------------------------------------------------
void pkceVerifier(const uint8_t random[PKCE_RANDOM_BYTES], char verifier[PKCE_TEXT_SIZE]);
// base64url of the verifier's SHA-256 (method S256).
void pkceChallenge(const char *verifier, char challenge[PKCE_TEXT_SIZE]);
void stateText(const uint8_t random[STATE_RANDOM_BYTES], char state[STATE_TEXT_SIZE]);
void redirectUri(unsigned port, char uri[REDIRECT_URI_SIZE]);

// Appends name=value to a form (application/x-www-form-urlencoded), "&" between
// fields. Zero when it does not fit; the form is then emptied.
int appendFormField(char *form, size_t size, const char *name, const char *value);

struct SignInValues {
    const char *clientId;
    const char *clientSecret; // may be empty
    const char *redirectUri;
    const char *state;
    const char *verifier;
    const char *challenge;
    const char *loginHint; // the Login, offered to the provider's sign-in page
    unsigned provider;
};

// The address the browser opens. Zero when it does not fit.
int buildAuthorizeUrl(const OAuthEndpoints *endpoints, const SignInValues *values, char *url, size_t size);
// The token service's forms: the code for the first tokens, the refresh token for new ones.
int buildCodeForm(const SignInValues *values, const char *code, char *form, size_t size);
int buildRefreshForm(const char *clientId, const char *clientSecret, const char *refreshToken, char *form,
                     size_t size);

// --- The token service's answer -----------------------------------------------------------
struct TokenAnswer {
    char accessToken[ACCESS_TOKEN_SIZE];
    char refreshToken[REFRESH_TOKEN_SIZE]; // empty: the service keeps the old one
    unsigned lifetime;                     // seconds
    char error[OAUTH_ERROR_SIZE];
    char errorDescription[OAUTH_DESCRIPTION_SIZE];
};

enum TokenAnswerKind {
    TOKEN_GRANTED = 0,    // an access token of type Bearer
    TOKEN_REFUSED = 1,    // the service said why: error (and maybe errorDescription)
    TOKEN_UNREADABLE = 2, // not an answer we can use
};

// Reads the JSON the token service sent. A token with a character outside
// printable ASCII, or longer than its buffer, is unreadable: it would corrupt
// the SASL message or be sent cut.
int parseTokenAnswer(const char *json, size_t length, TokenAnswer *answer);

// --- The browser's request on the loopback port -------------------------------------------
struct LoopbackRequest {
    bool rootPath; // GET of the redirect address itself ("/" with its query)
    char code[AUTH_CODE_SIZE];
    char state[STATE_TEXT_SIZE + 64];
    char error[OAUTH_ERROR_SIZE];
    char errorDescription[OAUTH_DESCRIPTION_SIZE];
    bool hasCode, hasState, hasError, hasDescription;
};

enum LoopbackResult {
    LOOPBACK_INCOMPLETE = 0, // the header block has not ended yet
    LOOPBACK_COMPLETE = 1,
    LOOPBACK_BAD = 2, // not a request we answer with anything but 400
};

enum {
    LOOPBACK_REQUEST_MAX = 8192 // a longer header block is refused
};

int parseLoopbackRequest(const char *data, size_t length, LoopbackRequest *request);

// --- The access token of the running program ------------------------------------------------
struct OAuthState {
    char accessToken[ACCESS_TOKEN_SIZE]; // in memory only, never stored
    uint32_t issuedAt;                   // the clock's milliseconds when it arrived
    uint32_t lifetime;                   // seconds
    unsigned generation;                 // of the token exchange in flight; others are stale
    bool signInNeededTold;               // "Sign-in needed" was said for this outage
};

extern OAuthState oauth;

// True when the token held lasts more than a minute beyond now (milliseconds
// of a clock that may wrap).
bool accessTokenUsable(uint32_t now);
void keepAccessToken(const char *token, unsigned lifetime, uint32_t now);
void forgetAccessToken(void);

#endif
