// A stand-in mail reader for the reader tests. Its first argument names an
// event: it opens one top-level window, appends its command line to
// reader_cmdline.txt in its working directory and runs until the event is set (or a
// minute has passed, so a failed test never leaves it behind).
#include <windows.h>

#include <stdio.h>
#include <string.h>

static LRESULT CALLBACK FakeWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char **argv)
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = FakeWndProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "PelimboFakeReader";
    RegisterClassA(&windowClass);
    CreateWindowExA(0, "PelimboFakeReader", "Fake reader", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL, NULL,
                    windowClass.hInstance, NULL);

    // Written once the window exists, so a test that sees the line finds the window.
    FILE *record = fopen("reader_cmdline.txt", "a");
    if (record) {
        fprintf(record, "%s\n", GetCommandLineA());
        fclose(record);
    }

    HANDLE quit = argc > 1 ? OpenEventA(SYNCHRONIZE, FALSE, argv[1]) : NULL;
    DWORD deadline = GetTickCount() + 60000;
    for (;;) {
        DWORD now = GetTickCount();
        if ((int)(deadline - now) <= 0)
            break;
        DWORD waited = quit ? MsgWaitForMultipleObjects(1, &quit, FALSE, deadline - now, QS_ALLINPUT)
                            : MsgWaitForMultipleObjects(0, NULL, FALSE, deadline - now, QS_ALLINPUT);
        if (quit && waited == WAIT_OBJECT_0)
            break;
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
    return 0;
}
