#include <windows.h>

#include "config/config.h"

long lookupEnvironment(const char *name, char *value, size_t size)
{
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableA(name, value, (DWORD)size);
    if (n == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return -1;
        if (size)
            value[0] = '\0';
        return 0;
    }
    // When the value does not fit, n is the size it needs, terminator included,
    // so n - 1 (the value's length) is then size or more.
    return (long)(n >= size ? n - 1 : n);
}
