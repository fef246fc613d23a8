#include "base/text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int copyText(char *dst, size_t size, const char *src)
{
    return copyTextN(dst, size, src, (size_t)-1);
}

int copyTextN(char *dst, size_t size, const char *src, size_t n)
{
    if (size == 0)
        return 0;
    size_t i = 0;
    while (i + 1 < size && i < n && src[i] != '\0') {
        dst[i] = src[i];
        i++;
    }
    dst[i] = '\0';
    return i == n || src[i] == '\0';
}

int appendText(char *dst, size_t size, const char *src)
{
    size_t used = strnlen(dst, size);
    if (used >= size)
        return 0;
    return copyText(dst + used, size - used, src);
}

int formatText(char *dst, size_t size, const char *format, ...)
{
    if (size == 0)
        return 0;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(dst, size, format, args);
    va_end(args);
    if (n < 0) {
        dst[0] = '\0';
        return 0;
    }
    return (size_t)n < size;
}

char lowerChar(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

char upperChar(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

int compareNoCaseN(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        unsigned char ca = (unsigned char)lowerChar(a[i]);
        unsigned char cb = (unsigned char)lowerChar(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
    return 0;
}

int compareNoCase(const char *a, const char *b)
{
    return compareNoCaseN(a, b, (size_t)-1);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
