#include <winsock2.h>
#include <windows.h>

#include "base/entrypoint_win32.h"

#include "auth/signin.h"

#include <stdlib.h>
#include <string.h>

#include "auth/tokenservice.h"

namespace
{

// --- The platform's random source ---------------------------------------------------------

typedef LONG(WINAPI *BCryptGenRandomFn)(void *, PUCHAR, ULONG, ULONG);
typedef BOOLEAN(WINAPI *RtlGenRandomFn)(PVOID, ULONG);
const ULONG USE_SYSTEM_PREFERRED_RNG = 0x00000002;

// The system's cryptographic random bytes: BCRYPT.DLL where there is one
// (Vista and later), else ADVAPI32.DLL's RtlGenRandom (XP).
bool platformRandom(uint8_t *out, size_t length, char *message, size_t size)
{
    HMODULE bcrypt = loadLibraryQuietly("BCRYPT.DLL");
    if (bcrypt) {
        BCryptGenRandomFn generate = (BCryptGenRandomFn)(void *)GetProcAddress(bcrypt, "BCryptGenRandom");
        bool ok = generate && generate(NULL, out, (ULONG)length, USE_SYSTEM_PREFERRED_RNG) == 0;
        FreeLibrary(bcrypt);
        if (ok)
            return true;
    }
    HMODULE advapi = loadLibraryQuietly("ADVAPI32.DLL");
    if (!advapi) {
        copyText(message, size, "Unable to load ADVAPI32.DLL");
        return false;
    }
    RtlGenRandomFn generate = (RtlGenRandomFn)(void *)GetProcAddress(advapi, "SystemFunction036");
    bool ok = generate && generate(out, (ULONG)length);
    FreeLibrary(advapi);
    if (!generate)
        copyText(message, size, "Missing function in ADVAPI32.DLL");
    else if (!ok)
        copyText(message, size, "The system gave no random bytes for the sign-in");
    return ok;
}

// --- The browser ------------------------------------------------------------------------------

typedef HINSTANCE(WINAPI *ShellExecuteWFn)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);

bool openBrowser(const char *url)
{
    HMODULE shell = loadLibraryQuietly("SHELL32.DLL");
    if (!shell)
        return false;
    ShellExecuteWFn execute = (ShellExecuteWFn)(void *)GetProcAddress(shell, "ShellExecuteW");
    wchar_t wide[AUTHORIZE_URL_SIZE];
    bool opened = false;
    if (execute && MultiByteToWideChar(CP_ACP, 0, url, -1, wide, AUTHORIZE_URL_SIZE))
        opened = (INT_PTR)execute(NULL, L"open", wide, NULL, NULL, SW_SHOWNORMAL) > 32;
    FreeLibrary(shell);
    return opened;
}

// --- The loopback port -------------------------------------------------------------------------

typedef int(WINAPI *StartupFn)(WORD, LPWSADATA);
typedef int(WINAPI *CleanupFn)(void);
typedef SOCKET(WINAPI *SocketFn)(int, int, int);
typedef int(WINAPI *BindFn)(SOCKET, const struct sockaddr *, int);
typedef int(WINAPI *ListenFn)(SOCKET, int);
typedef SOCKET(WINAPI *AcceptFn)(SOCKET, struct sockaddr *, int *);
typedef int(WINAPI *GetSockNameFn)(SOCKET, struct sockaddr *, int *);
typedef int(WINAPI *SelectFn)(int, fd_set *, fd_set *, fd_set *, const struct timeval *);
typedef int(WINAPI *RecvFn)(SOCKET, char *, int, int);
typedef int(WINAPI *SendFn)(SOCKET, const char *, int, int);
typedef int(WINAPI *CloseSocketFn)(SOCKET);

struct Sockets {
    HMODULE library;
    StartupFn startup;
    CleanupFn cleanup;
    SocketFn socket;
    BindFn bind;
    ListenFn listen;
    AcceptFn accept;
    GetSockNameFn getSockName;
    SelectFn select;
    RecvFn recv;
    SendFn send;
    CloseSocketFn closeSocket;
};

bool loadSockets(Sockets &s, char *message, size_t size)
{
    s.library = loadLibraryQuietly("WSOCK32.DLL");
    if (!s.library) {
        copyText(message, size, "Unable to load WSOCK32.DLL");
        return false;
    }
    bool all =
        resolveEntry(s.library, s.startup, "WSAStartup") && resolveEntry(s.library, s.cleanup, "WSACleanup")
        && resolveEntry(s.library, s.socket, "socket") && resolveEntry(s.library, s.bind, "bind")
        && resolveEntry(s.library, s.listen, "listen") && resolveEntry(s.library, s.accept, "accept")
        && resolveEntry(s.library, s.getSockName, "getsockname")
        && resolveEntry(s.library, s.select, "select") && resolveEntry(s.library, s.recv, "recv")
        && resolveEntry(s.library, s.send, "send") && resolveEntry(s.library, s.closeSocket, "closesocket");
    if (!all) {
        FreeLibrary(s.library);
        s.library = NULL;
        copyText(message, size, "Missing function in WSOCK32.DLL");
    }
    return all;
}

// Ready to read within milliseconds (one socket only: no FD_ISSET needed).
bool readable(Sockets &s, SOCKET socket, unsigned milliseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    struct timeval wait = {(long)(milliseconds / 1000), (long)(milliseconds % 1000 * 1000)};
    return s.select(0, &set, NULL, NULL, &wait) == 1;
}

void sendAll(Sockets &s, SOCKET socket, const char *text)
{
    size_t length = strlen(text), done = 0;
    while (done < length) {
        int sent = s.send(socket, text + done, (int)(length - done), 0);
        if (sent <= 0)
            return;
        done += (size_t)sent;
    }
}

void answerPage(Sockets &s, SOCKET socket, const char *status, const char *title, const char *text)
{
    char page[1024];
    formatText(page, sizeof page,
               "HTTP/1.1 %s\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
               "Connection: close\r\n\r\n<!DOCTYPE html><html><head><title>Pelimbo</title></head>"
               "<body><h1>%s</h1><p>%s</p></body></html>\r\n",
               status, title, text);
    sendAll(s, socket, page);
}

} // namespace

// --- The session ----------------------------------------------------------------------------------

struct SignInSession {
    SignInRequest request;
    Sockets sockets;
    bool started; // WSAStartup succeeded
    SOCKET listener;
    char redirect[REDIRECT_URI_SIZE];
    char verifier[PKCE_TEXT_SIZE];
    char state[STATE_TEXT_SIZE];
    char address[AUTHORIZE_URL_SIZE];
    bool browserOpened;
    // The wait's own buffers: a cancelled sign-in's thread may still run
    // while the next sign-in starts.
    LoopbackRequest redirectRequest;
    char form[TOKEN_BODY_SIZE];
    char answer[TOKEN_ANSWER_MAX + 1];
    TokenAnswer parsed;
};

void signInRequestFrom(const Settings *s, SignInRequest *r)
{
    memset(r, 0, sizeof *r);
    OAuthEndpoints endpoints;
    oauthEndpoints(s, &endpoints);
    copyText(r->clientId, s->OAuthClientId);
    copyText(r->clientSecret, s->OAuthClientSecret);
    copyText(r->authorizeUrl, endpoints.authorizeUrl);
    copyText(r->tokenUrl, endpoints.tokenUrl);
    copyText(r->scope, endpoints.scope);
    copyText(r->login, s->Login);
    copyText(r->trustFile, s->TrustFile);
    r->provider = s->OAuthProvider;
    r->exchangeSeconds = s->ConnectTimeout ? s->ConnectTimeout : 60;
    r->waitSeconds = SIGN_IN_WAIT_SECONDS;
    r->openBrowser = true;
}

// Where the request cannot work, the reason; NULL when it can.
static const char *requestRefusal(const SignInRequest *r)
{
    if (!r->clientId[0])
        return "OAuth2 needs the client ID you registered with the provider: type it in setup";
    if (!r->authorizeUrl[0] || !r->tokenUrl[0])
        return "OAuth2 needs the addresses of the sign-in and token services: type them in setup";
    if (compareNoCaseN(r->authorizeUrl, "https://", 8) != 0
        || compareNoCaseN(r->tokenUrl, "https://", 8) != 0)
        return "The addresses of the sign-in and token services must begin with https://";
    return NULL;
}

static bool openListener(SignInSession *s, char *message, size_t size)
{
    Sockets &k = s->sockets;
    WSADATA data;
    if (k.startup(0x0101, &data) != 0) {
        copyText(message, size, "Couldn't start WinSock");
        return false;
    }
    s->started = true;
    s->listener = k.socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in local;
    memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_port = 0; // the system picks the port (RFC 8252)
    unsigned char loopback[4] = {127, 0, 0, 1};
    memcpy(&local.sin_addr, loopback, 4);
    int length = sizeof local;
    if (s->listener == INVALID_SOCKET || k.bind(s->listener, (struct sockaddr *)&local, sizeof local) != 0
        || k.listen(s->listener, 4) != 0
        || k.getSockName(s->listener, (struct sockaddr *)&local, &length) != 0) {
        copyText(message, size, "The sign-in could not open a port on 127.0.0.1 for the browser's answer");
        return false;
    }
    unsigned char *port = (unsigned char *)&local.sin_port; // network order
    redirectUri((unsigned)port[0] << 8 | port[1], s->redirect);
    return true;
}

SignInSession *beginSignIn(const SignInRequest *request, char *message, size_t size)
{
    message[0] = '\0';
    const char *refused = requestRefusal(request);
    if (refused) {
        copyText(message, size, refused);
        return NULL;
    }
    SignInSession *s = (SignInSession *)calloc(1, sizeof *s);
    if (!s) {
        copyText(message, size, "Not enough memory for the sign-in");
        return NULL;
    }
    s->request = *request;
    s->listener = INVALID_SOCKET;
    uint8_t random[PKCE_RANDOM_BYTES + STATE_RANDOM_BYTES];
    bool ready = platformRandom(random, sizeof random, message, size)
                 && loadSockets(s->sockets, message, size) && openListener(s, message, size);
    if (ready) {
        pkceVerifier(random, s->verifier);
        stateText(random + PKCE_RANDOM_BYTES, s->state);
    }
    SecureZeroMemory(random, sizeof random);
    if (!ready) {
        endSignIn(s);
        return NULL;
    }
    char challenge[PKCE_TEXT_SIZE];
    pkceChallenge(s->verifier, challenge);
    OAuthEndpoints endpoints = {s->request.authorizeUrl, s->request.tokenUrl, s->request.scope};
    SignInValues values = {
        s->request.clientId, s->request.clientSecret, s->redirect,        s->state, s->verifier,
        challenge,           s->request.login,        s->request.provider};
    if (!buildAuthorizeUrl(&endpoints, &values, s->address, sizeof s->address)) {
        copyText(message, size, "The sign-in address is too long");
        endSignIn(s);
        return NULL;
    }
    s->browserOpened = s->request.openBrowser && openBrowser(s->address);
    return s;
}

const char *signInAddress(const SignInSession *s)
{
    return s->address;
}

bool signInBrowserOpened(const SignInSession *s)
{
    return s->browserOpened;
}

void endSignIn(SignInSession *s)
{
    if (!s)
        return;
    Sockets &k = s->sockets;
    if (s->listener != INVALID_SOCKET)
        k.closeSocket(s->listener);
    if (s->started)
        k.cleanup();
    if (k.library)
        FreeLibrary(k.library);
    SecureZeroMemory(s, sizeof *s);
    free(s);
}

enum Outcome {
    OUTCOME_NONE,   // not the request we wait for: answered 400, the wait goes on
    OUTCOME_CODE,   // the code, with our state
    OUTCOME_DENIED, // the provider's error, with our state
};

// One connection on the port: its request read whole (within a few seconds)
// and answered. Exactly one request can be the one we wait for: a GET of the
// redirect address with our state.
static Outcome serveConnection(SignInSession *s, SOCKET client, LoopbackRequest *request)
{
    Sockets &k = s->sockets;
    char bytes[LOOPBACK_REQUEST_MAX + 1];
    size_t length = 0;
    int parsed = LOOPBACK_INCOMPLETE;
    DWORD started = GetTickCount();
    while (parsed == LOOPBACK_INCOMPLETE && GetTickCount() - started < 5000) {
        if (!readable(k, client, 250))
            continue;
        int got = k.recv(client, bytes + length, (int)(LOOPBACK_REQUEST_MAX - length), 0);
        if (got <= 0)
            break;
        length += (size_t)got;
        parsed = parseLoopbackRequest(bytes, length, request);
        if (length >= LOOPBACK_REQUEST_MAX && parsed == LOOPBACK_INCOMPLETE)
            parsed = LOOPBACK_BAD;
    }
    SecureZeroMemory(bytes, sizeof bytes);
    bool ours = parsed == LOOPBACK_COMPLETE && request->rootPath && request->hasState
                && strcmp(request->state, s->state) == 0;
    if (ours && request->hasCode && !request->hasError) {
        answerPage(k, client, "200 OK", "Signed in",
                   "Pelimbo has your sign-in and will check your mail with it. You can close this tab.");
        return OUTCOME_CODE;
    }
    if (ours && request->hasError) {
        answerPage(k, client, "200 OK", "Not signed in",
                   "The sign-in did not complete. You can close this tab.");
        return OUTCOME_DENIED;
    }
    answerPage(k, client, "400 Bad Request", "Bad request", "This is not the sign-in Pelimbo waits for.");
    return OUTCOME_NONE;
}

static void failWith(SignInResult *result, const char *text)
{
    copyText(result->message, text);
}

// The code for the first tokens, then the refresh token into its protected form.
static bool exchangeCode(SignInSession *s, const char *code, SignInResult *result)
{
    char challenge[PKCE_TEXT_SIZE];
    pkceChallenge(s->verifier, challenge);
    SignInValues values = {
        s->request.clientId, s->request.clientSecret, s->redirect,        s->state, s->verifier,
        challenge,           s->request.login,        s->request.provider};
    char *form = s->form, *answer = s->answer;
    TokenAnswer &parsed = s->parsed;
    size_t length = 0;
    unsigned status = 0;
    bool built = buildCodeForm(&values, code, form, sizeof s->form);
    bool reached = built
                   && postToTokenService(s->request.tokenUrl, form, s->request.trustFile,
                                         s->request.exchangeSeconds, answer, sizeof s->answer, &length,
                                         &status, result->message, sizeof result->message);
    SecureZeroMemory(form, sizeof s->form);
    if (!built) {
        failWith(result, "The sign-in's answer is too long to send to the token service");
        return false;
    }
    if (!reached)
        return false;
    int kind = parseTokenAnswer(answer, length, &parsed);
    SecureZeroMemory(answer, sizeof s->answer);
    bool kept = false;
    if (kind == TOKEN_GRANTED && !parsed.refreshToken[0]) {
        failWith(result, "The token service gave no refresh token, so the sign-in cannot be kept "
                         "(Microsoft needs the scope offline_access)");
    } else if (kind == TOKEN_GRANTED) {
        int protectedToken = protectSecret(SECRET_REFRESH_TOKEN, parsed.refreshToken, result->storedToken,
                                           sizeof result->storedToken);
        if (protectedToken == SECRET_UNAVAILABLE)
            failWith(result, "Unable to load CRYPT32.DLL or a function in it: the sign-in cannot be kept");
        else if (protectedToken != SECRET_OK)
            failWith(result, "The sign-in could not be protected for this Windows account");
        else {
            copyText(result->accessToken, parsed.accessToken);
            result->lifetime = parsed.lifetime;
            kept = true;
        }
    } else if (kind == TOKEN_REFUSED && parsed.errorDescription[0]) {
        formatText(result->message, sizeof result->message, "The token service answered: %s\n%s",
                   parsed.error, parsed.errorDescription);
    } else if (kind == TOKEN_REFUSED) {
        formatText(result->message, sizeof result->message, "The token service answered: %s", parsed.error);
    } else {
        formatText(result->message, sizeof result->message,
                   "The token service sent an answer Pelimbo cannot read (HTTP %u)", status);
    }
    SecureZeroMemory(&parsed, sizeof parsed);
    return kept;
}

bool finishSignIn(SignInSession *s, volatile LONG *cancelled, SignInResult *result)
{
    memset(result, 0, sizeof *result);
    Sockets &k = s->sockets;
    LoopbackRequest &request = s->redirectRequest;
    Outcome outcome = OUTCOME_NONE;
    DWORD started = GetTickCount();
    while (outcome == OUTCOME_NONE) {
        if (cancelled && *cancelled) {
            result->cancelled = true;
            failWith(result, "The sign-in was cancelled");
            return false;
        }
        if (GetTickCount() - started >= s->request.waitSeconds * 1000u) {
            formatText(result->message, sizeof result->message,
                       "The sign-in timed out: the browser did not come back within %u seconds",
                       s->request.waitSeconds);
            return false;
        }
        if (!readable(k, s->listener, 250))
            continue;
        SOCKET client = k.accept(s->listener, NULL, NULL);
        if (client == INVALID_SOCKET)
            continue;
        outcome = serveConnection(s, client, &request);
        k.closeSocket(client);
    }
    // Nothing more is taken on the port.
    k.closeSocket(s->listener);
    s->listener = INVALID_SOCKET;
    bool signedIn = false;
    if (outcome == OUTCOME_DENIED && request.errorDescription[0])
        formatText(result->message, sizeof result->message, "The sign-in was refused in the browser: %s\n%s",
                   request.error, request.errorDescription);
    else if (outcome == OUTCOME_DENIED)
        formatText(result->message, sizeof result->message, "The sign-in was refused in the browser: %s",
                   request.error);
    else
        signedIn = exchangeCode(s, request.code, result);
    SecureZeroMemory(&request, sizeof request);
    SecureZeroMemory(s->verifier, sizeof s->verifier);
    result->signedIn = signedIn;
    return signedIn;
}
