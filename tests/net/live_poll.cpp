#include "tests/net/live_poll.h"

#include "core/core.h"
#include "poll/pollcycle.h"
#include "sources/sources.h"

namespace
{

HWND window;

LRESULT CALLBACK testWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SOCKET: handleSocketMessage(wParam, lParam); return 0;
    case WM_HOSTRESOLVED: handleHostResolved(wParam, lParam); return 0;
    case WM_STARTCONNECT: handleStartConnect(); return 0;
    case WM_TOKENDONE: handleTokenDone(wParam, lParam); return 0;
    case WM_MAILBOXCHANGED: pollOnMailboxChange(); return 0;
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void CALLBACK tickProc(HWND, UINT, UINT_PTR, DWORD)
{
    pollTick();
}

} // namespace

HWND networkWindow()
{
    if (!window) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = testWindowProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "PelimboNetTest";
        RegisterClassA(&wc);
        window =
            CreateWindowExA(0, "PelimboNetTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, wc.hInstance, NULL);
        setNetworkWindow(window);
    }
    return window;
}

double runPoll(double limitSeconds)
{
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    startNetworkPoll();
    UINT_PTR timer = SetTimer(NULL, 0, 1000, tickProc);
    MSG msg;
    while (notifier.pollInProgress) {
        QueryPerformanceCounter(&now);
        if ((double)(now.QuadPart - start.QuadPart) / (double)frequency.QuadPart > limitSeconds)
            break;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 200, QS_ALLINPUT);
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    KillTimer(NULL, timer);
    QueryPerformanceCounter(&now);
    return (double)(now.QuadPart - start.QuadPart) / (double)frequency.QuadPart;
}
