// Bounded text helpers. Every write into a fixed buffer in Pelimbo goes through
// one of these: they cut at the buffer's limit and always terminate.
#ifndef PELIMBO_BASE_TEXT_H
#define PELIMBO_BASE_TEXT_H

#include <stddef.h>

// Copies src into dst (size bytes, terminator included). Returns non-zero when
// the whole text fitted, zero when it was cut.
int copyText(char *dst, size_t size, const char *src);

// Copies at most n characters of src (stopping early at a NUL).
int copyTextN(char *dst, size_t size, const char *src, size_t n);

// Appends src to the text already in dst. Returns zero when it was cut.
int appendText(char *dst, size_t size, const char *src);

// printf-style formatting into dst; returns zero when the result was cut.
int formatText(char *dst, size_t size, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Case-insensitive comparisons in the ANSI sense used for keys and matching
// (ASCII letters only, so they behave the same on every platform).
int compareNoCase(const char *a, const char *b);
int compareNoCaseN(const char *a, const char *b, size_t n);
char lowerChar(char c);
char upperChar(char c);

// White space in the C locale's sense (blank, tab, line end, vertical tab,
// form feed), the same on every platform.
inline bool isWhite(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of a hexadecimal digit (either case), -1 for anything else.
int hexValue(char c);

template <size_t N>
inline int copyText(char (&dst)[N], const char *src)
{
    return copyText(dst, N, src);
}
template <size_t N>
inline int appendText(char (&dst)[N], const char *src)
{
    return appendText(dst, N, src);
}

#endif
