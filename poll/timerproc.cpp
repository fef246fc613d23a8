// The callback of the one-second poll timer.
#include <windows.h>

#include "poll/pollcycle.h"

void CALLBACK TimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time)
{
    pollTick();
}
