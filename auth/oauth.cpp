#include "auth/oauth.h"

#include <string.h>

#include "auth/json.h"
#include "auth/sha256.h"
#include "base/base64.h"

OAuthState oauth;

// --- Providers ----------------------------------------------------------------------------

namespace
{

struct Provider {
    const char *authorizeUrl;
    const char *tokenUrl;
    const char *imapScope;
    const char *pop3Scope;
    const char *imapHost;
    const char *pop3Host;
};

const Provider providers[] = {
    {"", "", "", "", NULL, NULL},
    {"https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
     "https://login.microsoftonline.com/common/oauth2/v2.0/token",
     "https://outlook.office.com/IMAP.AccessAsUser.All offline_access",
     "https://outlook.office.com/POP.AccessAsUser.All offline_access", "outlook.office365.com",
     "outlook.office365.com"},
    {"https://accounts.google.com/o/oauth2/auth", "https://oauth2.googleapis.com/token",
     "https://mail.google.com/", "https://mail.google.com/", "imap.gmail.com", "pop.gmail.com"},
};

const Provider &provider(unsigned kind)
{
    return kind < sizeof providers / sizeof providers[0] ? providers[kind] : providers[PROVIDER_OWN];
}

const char *either(const char *own, const char *fallback)
{
    return own[0] ? own : fallback;
}

} // namespace

void oauthEndpoints(const Settings *s, OAuthEndpoints *out)
{
    const Provider &p = provider(s->OAuthProvider);
    out->authorizeUrl = either(s->OAuthAuthorizeUrl, p.authorizeUrl);
    out->tokenUrl = either(s->OAuthTokenUrl, p.tokenUrl);
    out->scope = either(s->OAuthScope, s->MessageSource == SOURCE_POP3 ? p.pop3Scope : p.imapScope);
}

const char *providerMailHost(unsigned kind, unsigned source)
{
    const Provider &p = provider(kind);
    return source == SOURCE_POP3 ? p.pop3Host : p.imapHost;
}

bool isProviderMailHost(const char *host)
{
    for (const Provider &p : providers)
        if ((p.imapHost && compareNoCase(host, p.imapHost) == 0)
            || (p.pop3Host && compareNoCase(host, p.pop3Host) == 0))
            return true;
    return false;
}

// --- Sign-in values ---------------------------------------------------------------------------

void pkceVerifier(const uint8_t random[PKCE_RANDOM_BYTES], char verifier[PKCE_TEXT_SIZE])
{
    base64Encode(random, PKCE_RANDOM_BYTES, verifier, PKCE_TEXT_SIZE, BASE64_URL);
}

void pkceChallenge(const char *verifier, char challenge[PKCE_TEXT_SIZE])
{
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256((const uint8_t *)verifier, strlen(verifier), digest);
    base64Encode(digest, sizeof digest, challenge, PKCE_TEXT_SIZE, BASE64_URL);
}

void stateText(const uint8_t random[STATE_RANDOM_BYTES], char state[STATE_TEXT_SIZE])
{
    base64Encode(random, STATE_RANDOM_BYTES, state, STATE_TEXT_SIZE, BASE64_URL);
}

void redirectUri(unsigned port, char uri[REDIRECT_URI_SIZE])
{
    formatText(uri, REDIRECT_URI_SIZE, "http://127.0.0.1:%u/", port);
}

static bool unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
           || c == '_' || c == '~';
}

// Appends text percent-encoded at *n; false when it does not fit.
static bool appendEncoded(char *out, size_t size, size_t *n, const char *text)
{
    static const char hex[] = "0123456789ABCDEF";
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        size_t need = unreserved(*p) || *p == ' ' ? 1 : 3;
        if (*n + need >= size)
            return false;
        if (*p == ' ') {
            out[(*n)++] = '+';
        } else if (need == 1) {
            out[(*n)++] = (char)*p;
        } else {
            out[(*n)++] = '%';
            out[(*n)++] = hex[*p >> 4];
            out[(*n)++] = hex[*p & 15];
        }
    }
    out[*n] = '\0';
    return true;
}

int appendFormField(char *form, size_t size, const char *name, const char *value)
{
    if (size == 0)
        return 0;
    size_t n = strnlen(form, size);
    bool fits = n < size;
    if (fits && n > 0) {
        fits = n + 1 < size;
        if (fits)
            form[n++] = '&';
    }
    fits = fits && appendEncoded(form, size, &n, name) && n + 1 < size;
    if (fits) {
        form[n++] = '=';
        form[n] = '\0';
        fits = appendEncoded(form, size, &n, value);
    }
    if (!fits) {
        // A form cut anywhere would send the service something else.
        wipeBytes(form, size);
        return 0;
    }
    return 1;
}

int buildAuthorizeUrl(const OAuthEndpoints *endpoints, const SignInValues *v, char *url, size_t size)
{
    char query[AUTHORIZE_URL_SIZE] = "";
    bool fits = appendFormField(query, sizeof query, "response_type", "code")
                && appendFormField(query, sizeof query, "client_id", v->clientId)
                && appendFormField(query, sizeof query, "redirect_uri", v->redirectUri)
                && appendFormField(query, sizeof query, "scope", endpoints->scope)
                && appendFormField(query, sizeof query, "state", v->state)
                && appendFormField(query, sizeof query, "code_challenge", v->challenge)
                && appendFormField(query, sizeof query, "code_challenge_method", "S256");
    if (fits && v->loginHint[0])
        fits = appendFormField(query, sizeof query, "login_hint", v->loginHint);
    // Google hands out a refresh token only for offline access, and again
    // after an earlier consent only when asked to show the consent again.
    if (fits && v->provider == PROVIDER_GOOGLE)
        fits = appendFormField(query, sizeof query, "access_type", "offline")
               && appendFormField(query, sizeof query, "prompt", "consent");
    const char *joiner = strchr(endpoints->authorizeUrl, '?') ? "&" : "?";
    if (!fits || !formatText(url, size, "%s%s%s", endpoints->authorizeUrl, joiner, query)) {
        if (size)
            url[0] = '\0';
        return 0;
    }
    return 1;
}

static int withClient(char *form, size_t size, const char *clientId, const char *clientSecret)
{
    if (!appendFormField(form, size, "client_id", clientId))
        return 0;
    // A public client has no secret; one a provider gives a desktop program goes in the form.
    return clientSecret[0] ? appendFormField(form, size, "client_secret", clientSecret) : 1;
}

int buildCodeForm(const SignInValues *v, const char *code, char *form, size_t size)
{
    form[0] = '\0';
    return appendFormField(form, size, "grant_type", "authorization_code")
           && appendFormField(form, size, "code", code)
           && appendFormField(form, size, "redirect_uri", v->redirectUri)
           && appendFormField(form, size, "code_verifier", v->verifier)
           && withClient(form, size, v->clientId, v->clientSecret);
}

int buildRefreshForm(const char *clientId, const char *clientSecret, const char *refreshToken, char *form,
                     size_t size)
{
    form[0] = '\0';
    return appendFormField(form, size, "grant_type", "refresh_token")
           && appendFormField(form, size, "refresh_token", refreshToken)
           && withClient(form, size, clientId, clientSecret);
}

// --- The token service's answer ---------------------------------------------------------------

// Printable ASCII only: a token goes into SASL messages and forms as it is.
static bool tokenText(const char *text)
{
    if (!text[0])
        return false;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++)
        if (*p < 0x21 || *p > 0x7E)
            return false;
    return true;
}

static unsigned lifetimeOf(const char *text)
{
    unsigned long long value = 0;
    const char *p = text;
    if (*p == '\0' || *p < '0' || *p > '9')
        return DEFAULT_TOKEN_LIFETIME;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (unsigned)(*p - '0');
        if (value > 0x7FFFFFFF)
            value = 0x7FFFFFFF;
        p++;
    }
    return value ? (unsigned)value : (unsigned)DEFAULT_TOKEN_LIFETIME;
}

int parseTokenAnswer(const char *json, size_t length, TokenAnswer *answer)
{
    char tokenType[32], expiresIn[32];
    JsonMember members[] = {
        {"access_token", answer->accessToken, sizeof answer->accessToken, false, false},
        {"refresh_token", answer->refreshToken, sizeof answer->refreshToken, false, false},
        {"token_type", tokenType, sizeof tokenType, false, false},
        {"expires_in", expiresIn, sizeof expiresIn, false, false},
        {"error", answer->error, sizeof answer->error, false, false},
        {"error_description", answer->errorDescription, sizeof answer->errorDescription, false, false},
    };
    answer->lifetime = 0;
    int read = readJsonObject(json, length, members, sizeof members / sizeof members[0]);
    const JsonMember &access = members[0], &refresh = members[1], &type = members[2], &expires = members[3];
    const JsonMember &error = members[4];
    int kind = TOKEN_GRANTED;
    if (read != JSON_OK)
        kind = TOKEN_UNREADABLE;
    else if (error.found && answer->error[0])
        kind = TOKEN_REFUSED;
    else if (!access.found || access.cut || !tokenText(answer->accessToken))
        kind = TOKEN_UNREADABLE;
    else if (type.found && (type.cut || compareNoCase(tokenType, "Bearer") != 0))
        kind = TOKEN_UNREADABLE;
    else if (refresh.found && answer->refreshToken[0] && (refresh.cut || !tokenText(answer->refreshToken)))
        kind = TOKEN_UNREADABLE;
    if (kind != TOKEN_GRANTED) {
        wipeBytes(answer->accessToken, sizeof answer->accessToken);
        wipeBytes(answer->refreshToken, sizeof answer->refreshToken);
        if (kind == TOKEN_UNREADABLE) {
            answer->error[0] = '\0';
            answer->errorDescription[0] = '\0';
        }
        return kind;
    }
    answer->error[0] = '\0';
    answer->errorDescription[0] = '\0';
    answer->lifetime =
        expires.found && !expires.cut ? lifetimeOf(expiresIn) : (unsigned)DEFAULT_TOKEN_LIFETIME;
    return TOKEN_GRANTED;
}

// --- The browser's request ------------------------------------------------------------------------

namespace
{

// Percent-decodes a query value ('+' is a blank). False for a bad escape, a
// NUL, or a value that does not fit.
bool decodeQueryValue(const char *text, size_t length, char *out, size_t size)
{
    size_t n = 0;
    for (size_t i = 0; i < length; i++) {
        char c = text[i];
        if (c == '+') {
            c = ' ';
        } else if (c == '%') {
            if (length - i < 3)
                return false;
            int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            c = (char)(high << 4 | low);
            i += 2;
        }
        if (c == '\0' || n + 1 >= size)
            return false;
        out[n++] = c;
    }
    out[n] = '\0';
    return true;
}

bool takeParameter(LoopbackRequest *r, const char *name, size_t nameLength, const char *value, size_t length)
{
    struct Slot {
        const char *name;
        char *out;
        size_t size;
        bool *seen;
    };
    Slot slots[] = {
        {"code", r->code, sizeof r->code, &r->hasCode},
        {"state", r->state, sizeof r->state, &r->hasState},
        {"error", r->error, sizeof r->error, &r->hasError},
        {"error_description", r->errorDescription, sizeof r->errorDescription, &r->hasDescription},
    };
    for (Slot &slot : slots) {
        if (strlen(slot.name) != nameLength || memcmp(slot.name, name, nameLength) != 0)
            continue;
        if (*slot.seen)
            return false; // given twice: the request is not the provider's
        *slot.seen = true;
        return decodeQueryValue(value, length, slot.out, slot.size);
    }
    return true; // other parameters (iss, scope, session_state) are not ours to judge
}

} // namespace

int parseLoopbackRequest(const char *data, size_t length, LoopbackRequest *r)
{
    memset(r, 0, sizeof *r);
    size_t limit = length < LOOPBACK_REQUEST_MAX ? length : (size_t)LOOPBACK_REQUEST_MAX;
    size_t end = 0;
    bool ended = false;
    for (size_t i = 0; i + 1 < limit && !ended; i++) {
        if (data[i] == '\n' && data[i + 1] == '\n') {
            end = i;
            ended = true;
        } else if (i + 3 < limit && memcmp(data + i, "\r\n\r\n", 4) == 0) {
            end = i;
            ended = true;
        }
    }
    if (!ended)
        return length >= LOOPBACK_REQUEST_MAX ? LOOPBACK_BAD : LOOPBACK_INCOMPLETE;

    // The request line: METHOD SP TARGET SP HTTP/1.x
    size_t lineEnd = 0;
    while (lineEnd < end && data[lineEnd] != '\r' && data[lineEnd] != '\n')
        lineEnd++;
    const char *space = (const char *)memchr(data, ' ', lineEnd);
    if (!space)
        return LOOPBACK_BAD;
    size_t methodLength = (size_t)(space - data);
    const char *target = space + 1;
    const char *targetEnd = (const char *)memchr(target, ' ', (size_t)(data + lineEnd - target));
    if (!targetEnd || targetEnd == target || (size_t)(data + lineEnd - targetEnd) < 6
        || memcmp(targetEnd + 1, "HTTP/", 5) != 0)
        return LOOPBACK_BAD;
    for (const char *p = data; p < data + lineEnd; p++)
        if ((unsigned char)*p < 0x20 || (unsigned char)*p > 0x7E)
            return LOOPBACK_BAD;
    const char *query = (const char *)memchr(target, '?', (size_t)(targetEnd - target));
    const char *pathEnd = query ? query : targetEnd;
    r->rootPath = methodLength == 3 && memcmp(data, "GET", 3) == 0 && pathEnd - target == 1 && *target == '/';
    if (!r->rootPath || !query)
        return LOOPBACK_COMPLETE;

    const char *p = query + 1;
    while (p < targetEnd) {
        const char *amp = (const char *)memchr(p, '&', (size_t)(targetEnd - p));
        const char *fieldEnd = amp ? amp : targetEnd;
        const char *equals = (const char *)memchr(p, '=', (size_t)(fieldEnd - p));
        const char *nameEnd = equals ? equals : fieldEnd;
        const char *value = equals ? equals + 1 : fieldEnd;
        if (nameEnd > p && !takeParameter(r, p, (size_t)(nameEnd - p), value, (size_t)(fieldEnd - value))) {
            memset(r, 0, sizeof *r);
            return LOOPBACK_BAD;
        }
        p = fieldEnd + 1;
    }
    return LOOPBACK_COMPLETE;
}

// --- The access token ---------------------------------------------------------------------------------

bool accessTokenUsable(uint32_t now)
{
    if (!oauth.accessToken[0])
        return false;
    uint32_t elapsed = (now - oauth.issuedAt) / 1000; // wraps safely within 49 days
    return oauth.lifetime > ACCESS_TOKEN_MARGIN_SECONDS
           && elapsed < oauth.lifetime - ACCESS_TOKEN_MARGIN_SECONDS;
}

void keepAccessToken(const char *token, unsigned lifetime, uint32_t now)
{
    forgetAccessToken();
    copyText(oauth.accessToken, token);
    oauth.issuedAt = now;
    oauth.lifetime = lifetime;
}

void forgetAccessToken(void)
{
    wipeBytes(oauth.accessToken, sizeof oauth.accessToken);
    oauth.issuedAt = 0;
    oauth.lifetime = 0;
}
