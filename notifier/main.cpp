// The program entry of the notifier.
#include "notifier/window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int showCommand)
{
    int code = startNotifier(instance, arguments, showCommand);
    if (code >= 0)
        return code;
    code = runMessageLoop();
    releasePictures();
    return code;
}
