// The token layer of the network poll on Windows: the stored refresh token
// opened and kept through the platform's data protection, and each request to
// the token service made by a short thread of its own (WinHTTP, blocking),
// which posts WM_TOKENDONE back to the network window, as the reader launch
// does. The window thread never waits for the service.
#include <windows.h>

#include <stdlib.h>

#include "auth/tokenservice.h"
#include "config/config.h"
#include "core/core.h"
#include "sources/net.h"

namespace
{

HWND tokenWindow;

bool readRefreshToken(char *plain, size_t size)
{
    if (config.settings.OAuthToken[0] == '\0')
        return false;
    // Another account's blob, or a damaged one, means "sign in again".
    return unprotectSecret(SECRET_REFRESH_TOKEN, config.settings.OAuthToken, plain, size) == SECRET_OK;
}

void storeRefreshToken(const char *plain)
{
    static char stored[PROTECTED_TEXT_SIZE];
    stored[0] = '\0';
    if (plain[0] && protectSecret(SECRET_REFRESH_TOKEN, plain, stored, sizeof stored) != SECRET_OK)
        stored[0] = '\0'; // not kept at all rather than kept in clear
    saveOAuthToken(stored);
}

DWORD WINAPI tokenThread(LPVOID parameter)
{
    TokenJob *job = (TokenJob *)parameter;
    job->reached = postToTokenService(job->url, job->form, job->trustFile, job->timeoutSeconds, job->answer,
                                      sizeof job->answer, &job->answerLength, &job->httpStatus, job->failure,
                                      sizeof job->failure);
    SecureZeroMemory(job->form, sizeof job->form);
    if (!PostMessageA(tokenWindow, WM_TOKENDONE, 0, (LPARAM)job)) {
        // The window has gone: nobody will take the job.
        SecureZeroMemory(job, sizeof *job);
        free(job);
    }
    return 0;
}

bool start(TokenJob *job)
{
    HANDLE thread = CreateThread(NULL, 0, tokenThread, job, 0, NULL);
    if (!thread) {
        formatText(job->failure, sizeof job->failure, "The token request could not be started (error %lu)",
                   (unsigned long)GetLastError());
        return false;
    }
    CloseHandle(thread);
    return true;
}

uint32_t milliseconds(void)
{
    return GetTickCount();
}

const TokenLayer platformTokens = {readRefreshToken, storeRefreshToken, start, milliseconds};

} // namespace

void installPlatformTokenLayer(HWND window)
{
    tokenWindow = window;
    installTokenLayer(&platformTokens);
}
