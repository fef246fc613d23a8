// What a test reads from a stand-in library loaded in its process: an export
// by name, and the calls the stand-in logged.
#ifndef PELIMBO_TESTS_STANDINS_STANDIN_EXPORTS_H
#define PELIMBO_TESTS_STANDINS_STANDIN_EXPORTS_H

#include <windows.h>

#include <string>
#include <vector>

template <typename Fn>
Fn standinExport(HMODULE module, const char *name)
{
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)))
                  : nullptr;
}

template <typename Fn>
Fn standinExport(const char *library, const char *name)
{
    return standinExport<Fn>(GetModuleHandleA(library), name);
}

// The calls the stand-in received since its last reset, one per line; none
// when the library is not loaded or is not ours.
inline std::vector<std::string> standinCalls(const char *library)
{
    typedef const char *(*LogFn)(void);
    LogFn log = standinExport<LogFn>(library, "standinLog");
    std::vector<std::string> lines;
    if (!log)
        return lines;
    std::string text = log();
    size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

inline void resetStandin(const char *library)
{
    typedef void (*ResetFn)(void);
    if (ResetFn reset = standinExport<ResetFn>(library, "standinReset"))
        reset();
}

// A counter the stand-in exports (open objects, sessions); -1 when absent.
inline long standinCounter(const char *library, const char *name)
{
    typedef long (*CountFn)(void);
    CountFn count = standinExport<CountFn>(library, name);
    return count ? count() : -1;
}

#endif
