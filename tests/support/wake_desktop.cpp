// Started once by the Wine fixture with its output on /dev/null: the first
// window of a Wine session starts the desktop and service processes, which
// keep whatever output pipe that first program had. Starting them here keeps
// them off the pipes CTest reads, so no test waits for them to close. Wine
// closes a desktop once nothing uses it, and the program that opens the next
// one hands it its pipes (a test reading a child's output then waits for
// ever), so this program stays, using the desktop, until the fixture stops
// the wineserver. The file named by its argument says the desktop is up.
#include <windows.h>

int main(int argc, char **argv)
{
    GetDesktopWindow();
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    if (probe)
        DestroyWindow(probe);
    if (argc > 1)
        CloseHandle(CreateFileA(argv[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    // Messages are still taken, so nothing sent to this thread waits on it.
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
