// Windows parts only: a library loaded by name, and an entry point of it looked
// up into a typed function pointer. Every pointer type it fills carries the
// library's calling convention (WINAPI), which only the 32-bit build checks.
#ifndef PELIMBO_BASE_ENTRYPOINT_WIN32_H
#define PELIMBO_BASE_ENTRYPOINT_WIN32_H

#include <windows.h>

// A library that is missing must give our own message, not the system's box
// naming the file, so the error mode hides that box while the library loads.
inline HMODULE loadLibraryQuietly(const char *name)
{
    UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(name);
    SetErrorMode(previous);
    return library;
}

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
