// Started once by the Wine fixture with its output on /dev/null: the first
// window of a Wine session starts the desktop and service processes, which
// keep whatever output pipe that first program had. Starting them here keeps
// them off the pipes CTest reads, so no test waits for them to close.
#include <windows.h>

int main()
{
    GetDesktopWindow();
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    if (probe)
        DestroyWindow(probe);
    return 0;
}
