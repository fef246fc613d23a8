// The code-page conversion where there is no Windows: UTF-8 and UTF-16 as
// such, every other code page read as Latin-1 (byte = character), which is
// also the ANSI code page here. Enough for the tests and the fuzzers to drive
// the decoder; the real conversions are the platform's.
#include "mail/headertext.h"

namespace
{

// One character of UTF-8 at p (at most n bytes); U+FFFD and one byte for a
// malformed sequence, as the platform does.
uint32_t nextUtf8(const unsigned char *p, size_t n, size_t *taken)
{
    if (isValidUtf8((const char *)p, 1)) {
        *taken = 1;
        return p[0];
    }
    size_t extra = p[0] >= 0xF0 ? 3 : p[0] >= 0xE0 ? 2 : 1;
    if (extra < n && isValidUtf8((const char *)p, extra + 1)) {
        uint32_t value = p[0] & (0x3Fu >> extra);
        for (size_t k = 1; k <= extra; k++)
            value = (value << 6) | (p[k] & 0x3Fu);
        *taken = extra + 1;
        return value;
    }
    *taken = 1;
    return 0xFFFD;
}

} // namespace

size_t bytesToWide(unsigned codePage, const char *bytes, size_t length, WideChar *out, size_t capacity)
{
    const unsigned char *p = (const unsigned char *)bytes;
    size_t n = 0;
    for (size_t i = 0; i < length && n < capacity;) {
        uint32_t c;
        size_t taken = 1;
        if (codePage == CODE_PAGE_UTF8)
            c = nextUtf8(p + i, length - i, &taken);
        else
            c = p[i];
        i += taken;
        if (c >= 0x10000) {
            if (n + 2 > capacity)
                break;
            out[n++] = (WideChar)(0xD800 + ((c - 0x10000) >> 10));
            out[n++] = (WideChar)(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out[n++] = (WideChar)c;
        }
    }
    return n;
}

size_t wideToAnsi(const WideChar *text, size_t units, char *out, size_t size)
{
    if (size == 0)
        return 0;
    size_t n = 0;
    for (size_t i = 0; i < units && n + 1 < size; i++) {
        WideChar c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            i++;
        out[n++] = c < 0x100 ? (char)c : '?';
    }
    out[n] = '\0';
    return n;
}
