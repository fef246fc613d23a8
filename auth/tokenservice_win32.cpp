#include "auth/tokenservice.h"

#include <windows.h>

#include "base/entrypoint_win32.h"
#include <winhttp.h>

#include <string.h>

#include "auth/certificate.h"
#include "config/config.h"

namespace
{

typedef HINTERNET(WINAPI *OpenFn)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD);
typedef BOOL(WINAPI *CrackUrlFn)(LPCWSTR, DWORD, DWORD, LPURL_COMPONENTS);
typedef HINTERNET(WINAPI *ConnectFn)(HINTERNET, LPCWSTR, INTERNET_PORT, DWORD);
typedef HINTERNET(WINAPI *OpenRequestFn)(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR *, DWORD);
typedef BOOL(WINAPI *SetOptionFn)(HINTERNET, DWORD, LPVOID, DWORD);
typedef BOOL(WINAPI *SetTimeoutsFn)(HINTERNET, int, int, int, int);
typedef BOOL(WINAPI *SendRequestFn)(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR);
typedef BOOL(WINAPI *QueryOptionFn)(HINTERNET, DWORD, LPVOID, LPDWORD);
typedef BOOL(WINAPI *WriteDataFn)(HINTERNET, LPCVOID, DWORD, LPDWORD);
typedef BOOL(WINAPI *ReceiveResponseFn)(HINTERNET, LPVOID);
typedef BOOL(WINAPI *QueryHeadersFn)(HINTERNET, DWORD, LPCWSTR, LPVOID, LPDWORD, LPDWORD);
typedef BOOL(WINAPI *ReadDataFn)(HINTERNET, LPVOID, DWORD, LPDWORD);
typedef BOOL(WINAPI *CloseHandleFn)(HINTERNET);

struct Entries {
    OpenFn open;
    CrackUrlFn crackUrl;
    ConnectFn connect;
    OpenRequestFn openRequest;
    SetOptionFn setOption;
    SetTimeoutsFn setTimeouts;
    SendRequestFn sendRequest;
    QueryOptionFn queryOption;
    WriteDataFn writeData;
    ReceiveResponseFn receiveResponse;
    QueryHeadersFn queryHeaders;
    ReadDataFn readData;
    CloseHandleFn closeHandle;
};

HMODULE winhttp;
Entries api;
volatile LONG loaded;

// 1 loaded, 0 missing, -1 an entry point missing. The library stays loaded.
int load(void)
{
    if (loaded)
        return 1;
    HMODULE module = loadLibraryQuietly("WINHTTP.DLL");
    if (!module)
        return 0;
    winhttp = module;
    bool all = resolveEntry(winhttp, api.open, "WinHttpOpen")
               && resolveEntry(winhttp, api.crackUrl, "WinHttpCrackUrl")
               && resolveEntry(winhttp, api.connect, "WinHttpConnect")
               && resolveEntry(winhttp, api.openRequest, "WinHttpOpenRequest")
               && resolveEntry(winhttp, api.setOption, "WinHttpSetOption")
               && resolveEntry(winhttp, api.setTimeouts, "WinHttpSetTimeouts")
               && resolveEntry(winhttp, api.sendRequest, "WinHttpSendRequest")
               && resolveEntry(winhttp, api.queryOption, "WinHttpQueryOption")
               && resolveEntry(winhttp, api.writeData, "WinHttpWriteData")
               && resolveEntry(winhttp, api.receiveResponse, "WinHttpReceiveResponse")
               && resolveEntry(winhttp, api.queryHeaders, "WinHttpQueryHeaders")
               && resolveEntry(winhttp, api.readData, "WinHttpReadData")
               && resolveEntry(winhttp, api.closeHandle, "WinHttpCloseHandle");
    if (!all) {
        FreeLibrary(module);
        return -1;
    }
    InterlockedExchange(&loaded, 1);
    return 1;
}

struct Handles {
    HINTERNET session, connection, request;
};

void closeAll(Handles &h)
{
    if (h.request)
        api.closeHandle(h.request);
    if (h.connection)
        api.closeHandle(h.connection);
    if (h.session)
        api.closeHandle(h.session);
}

// Why WinHTTP failed, in words a user can act on.
void describeFailure(DWORD error, const char *host, char *failure, size_t size)
{
    switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
        formatText(failure, size, "Time out getting an access token from %s", host);
        break;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        formatText(failure, size, "The token service %s cannot be found", host);
        break;
    case ERROR_WINHTTP_CANNOT_CONNECT:
        formatText(failure, size, "Cannot connect to the token service %s", host);
        break;
    case ERROR_WINHTTP_SECURE_FAILURE:
        formatText(failure, size, "The secure connection to %s failed (error %lu)", host,
                   (unsigned long)error);
        break;
    default:
        formatText(failure, size, "The token service %s could not be reached (error %lu)", host,
                   (unsigned long)error);
        break;
    }
}

// The request with the checks a form of secrets needs: our certificate check
// decides (so the platform's own, which knows nothing of TrustFile, is told to
// leave it to us), no redirect takes the form elsewhere, no cookie or Windows
// sign-in goes along.
bool prepareRequest(Handles &h, const wchar_t *host, INTERNET_PORT port, const wchar_t *path,
                    unsigned timeout)
{
    int milliseconds = (int)(timeout ? timeout * 1000 : 60000);
    h.session = api.open(L"Pelimbo", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                         WINHTTP_NO_PROXY_BYPASS, 0);
    if (!h.session || !api.setTimeouts(h.session, milliseconds, milliseconds, milliseconds, milliseconds))
        return false;
    // The providers take nothing older than TLS 1.2, which Windows 7's
    // WinHTTP offers only when asked; a WinHTTP that does not know the
    // option keeps its own choice (and the service then says no).
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!api.setOption(h.session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2; // before TLS 1.3 was known
        api.setOption(h.session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
    h.connection = api.connect(h.session, host, port, 0);
    if (!h.connection)
        return false;
    h.request = api.openRequest(h.connection, L"POST", path, NULL, WINHTTP_NO_REFERER,
                                WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    if (!h.request)
        return false;
    DWORD security = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID
                     | SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_AUTHENTICATION;
    DWORD logon = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
    return api.setOption(h.request, WINHTTP_OPTION_SECURITY_FLAGS, &security, sizeof security)
           && api.setOption(h.request, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled)
           && api.setOption(h.request, WINHTTP_OPTION_AUTOLOGON_POLICY, &logon, sizeof logon);
}

// The certificate of the connection the headers went over.
bool certificatePassed(Handles &h, const char *host, const char *trustFile, char *failure, size_t size)
{
    PCCERT_CONTEXT server = NULL;
    DWORD length = sizeof server;
    if (!api.queryOption(h.request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &length) || !server) {
        formatText(failure, size, "The certificate of %s is not trusted", host);
        return false;
    }
    bool passed = checkServerCertificate(server, host, trustFile, failure, size);
    freeCertificate(server);
    return passed;
}

} // namespace

bool postToTokenService(const char *url, const char *form, const char *trustFile, unsigned timeoutSeconds,
                        char *answer, size_t size, size_t *length, unsigned *status, char *failure,
                        size_t failureSize)
{
    *length = 0;
    *status = 0;
    failure[0] = '\0';
    if (size)
        answer[0] = '\0';
    int library = load();
    if (library <= 0) {
        copyText(failure, failureSize,
                 library == 0 ? "Unable to load WINHTTP.DLL" : "Missing function in WINHTTP.DLL");
        return false;
    }
    int certificates = loadCertificateCheck();
    if (certificates <= 0) {
        copyText(failure, failureSize,
                 certificates == 0 ? "Unable to load CRYPT32.DLL" : "Missing function in CRYPT32.DLL");
        return false;
    }

    wchar_t wideUrl[OAUTH_URL_SIZE], host[PATH_SIZE], path[OAUTH_URL_SIZE];
    if (!MultiByteToWideChar(CP_ACP, 0, url, -1, wideUrl, OAUTH_URL_SIZE)) {
        formatText(failure, failureSize, "The token service's address is too long: %s", url);
        return false;
    }
    URL_COMPONENTS parts;
    memset(&parts, 0, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = PATH_SIZE;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = OAUTH_URL_SIZE;
    wchar_t extra[OAUTH_URL_SIZE];
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = OAUTH_URL_SIZE;
    if (!api.crackUrl(wideUrl, 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTPS) {
        formatText(failure, failureSize, "The token service's address must begin with https://: %s", url);
        return false;
    }
    // The query, if any, goes with the path (the address is never cut).
    size_t pathLength = wcslen(path), extraLength = wcslen(extra);
    if (pathLength + extraLength >= OAUTH_URL_SIZE) {
        formatText(failure, failureSize, "The token service's address is too long: %s", url);
        return false;
    }
    memcpy(path + pathLength, extra, (extraLength + 1) * sizeof *extra);
    char hostText[PATH_SIZE];
    if (!WideCharToMultiByte(CP_ACP, 0, host, -1, hostText, sizeof hostText, NULL, NULL))
        hostText[0] = '\0';

    Handles h = {NULL, NULL, NULL};
    DWORD formLength = (DWORD)strlen(form);
    static const wchar_t headers[] =
        L"Content-Type: application/x-www-form-urlencoded\r\nAccept: application/json\r\n";
    // The headers go first, alone: once they are out the handshake is done,
    // and the form follows only if the certificate passed.
    bool sent = prepareRequest(h, host, parts.nPort, path, timeoutSeconds)
                && api.sendRequest(h.request, headers, (DWORD)-1L, WINHTTP_NO_REQUEST_DATA, 0, formLength, 0);
    if (!sent) {
        describeFailure(GetLastError(), hostText, failure, failureSize);
        closeAll(h);
        return false;
    }
    if (!certificatePassed(h, hostText, trustFile, failure, failureSize)) {
        closeAll(h);
        return false;
    }
    for (DWORD done = 0; done < formLength;) {
        DWORD written = 0;
        if (!api.writeData(h.request, form + done, formLength - done, &written) || written == 0) {
            describeFailure(GetLastError(), hostText, failure, failureSize);
            closeAll(h);
            return false;
        }
        done += written;
    }
    DWORD code = 0, codeSize = sizeof code;
    if (!api.receiveResponse(h.request, NULL)
        || !api.queryHeaders(h.request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &codeSize, WINHTTP_NO_HEADER_INDEX)) {
        describeFailure(GetLastError(), hostText, failure, failureSize);
        closeAll(h);
        return false;
    }
    size_t got = 0;
    for (;;) {
        DWORD read = 0;
        char piece[4096];
        if (!api.readData(h.request, piece, sizeof piece, &read)) {
            describeFailure(GetLastError(), hostText, failure, failureSize);
            wipeBytes(answer, size);
            closeAll(h);
            return false;
        }
        if (read == 0)
            break;
        if (got + read >= size) {
            wipeBytes(piece, sizeof piece);
            wipeBytes(answer, size);
            formatText(failure, failureSize, "The answer of the token service %s is too long", hostText);
            closeAll(h);
            return false;
        }
        memcpy(answer + got, piece, read);
        wipeBytes(piece, sizeof piece);
        got += read;
    }
    answer[got] = '\0';
    *length = got;
    *status = code;
    closeAll(h);
    return true;
}
