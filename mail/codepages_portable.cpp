// The code-page conversion where there is no Windows: UTF-8 and UTF-16 as
// such, windows-1252 (also the ANSI code page here, as on a Western system)
// and windows-1254 as the platform's tables have them, every other code page
// read as Latin-1 (byte = character). Enough for the tests and the fuzzers to
// drive the decoder with the labels mail uses most; the real conversions are
// the platform's.
#include "mail/headertext.h"

namespace
{

// Bytes 0x80-0x9F of windows-1252. The five it leaves undefined stay the C1
// controls of the same value, as in the platform's table.
const uint16_t windows1252C1[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// windows-1254 is windows-1252 but for two bytes it leaves undefined and six
// Turkish letters.
const struct {
    unsigned char byte;
    uint16_t character;
} windows1254Changes[] = {
    {0x8E, 0x008E}, {0x9E, 0x009E}, {0xD0, 0x011E}, {0xDD, 0x0130},
    {0xDE, 0x015E}, {0xF0, 0x011F}, {0xFD, 0x0131}, {0xFE, 0x015F},
};

uint32_t singleByte(unsigned codePage, unsigned char byte)
{
    if (codePage == 1254)
        for (const auto &change : windows1254Changes)
            if (change.byte == byte)
                return change.character;
    if ((codePage == CODE_PAGE_ANSI || codePage == 1252 || codePage == 1254) && byte >= 0x80 && byte <= 0x9F)
        return windows1252C1[byte - 0x80];
    return byte;
}

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

// The windows-1252 byte of a character, '?' for one it cannot show.
char ansiByte(WideChar c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return (char)c;
    for (unsigned i = 0; i < 32; i++)
        if (windows1252C1[i] == c)
            return (char)(0x80 + i);
    return '?';
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
            c = singleByte(codePage, p[i]);
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
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            i++;
            c = '?';
        }
        out[n++] = ansiByte(c);
    }
    out[n] = '\0';
    return n;
}
