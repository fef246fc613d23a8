// Windows parts only: an entry point of a library loaded by name, looked up
// into a typed function pointer. Every pointer type it fills carries the
// library's calling convention (WINAPI), which only the 32-bit build checks.
#ifndef PELIMBO_BASE_ENTRYPOINT_WIN32_H
#define PELIMBO_BASE_ENTRYPOINT_WIN32_H

#include <windows.h>

// GetProcAddress answers FARPROC; the cast goes through a neutral function
// type so the compiler accepts it. False when the library lacks the name.
template <typename Fn>
bool resolveEntry(HMODULE library, Fn &target, const char *name)
{
    FARPROC proc = GetProcAddress(library, name);
    if (!proc)
        return false;
    target = reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(proc));
    return true;
}

#endif
