// The code-page conversions of the platform. A code page the system lacks
// falls back to its nearest relative (GB18030 to GBK, the rarer ISO-8859
// parts to Latin-1, anything else to ANSI), so text is never lost.
#include <windows.h>

#include "mail/headertext.h"

static_assert(sizeof(WideChar) == sizeof(WCHAR), "WideChar must be a UTF-16 unit");

namespace
{

UINT platformCodePage(unsigned codePage)
{
    if (codePage == CODE_PAGE_ANSI || codePage == CODE_PAGE_RAW)
        return CP_ACP;
    if (IsValidCodePage(codePage))
        return codePage;
    if (codePage == 54936 && IsValidCodePage(936))
        return 936;
    if (codePage > 28590 && codePage <= 28606)
        return CODE_PAGE_LATIN1;
    return CP_ACP;
}

} // namespace

size_t bytesToWide(unsigned codePage, const char *bytes, size_t length, WideChar *out, size_t capacity)
{
    if (length == 0 || capacity == 0)
        return 0;
    UINT page = platformCodePage(codePage);
    int n = MultiByteToWideChar(page, 0, bytes, (int)length, (LPWSTR)out, (int)capacity);
    if (n <= 0 && page != CP_ACP)
        n = MultiByteToWideChar(CP_ACP, 0, bytes, (int)length, (LPWSTR)out, (int)capacity);
    return n > 0 ? (size_t)n : 0;
}

size_t wideToAnsi(const WideChar *text, size_t units, char *out, size_t size)
{
    if (size == 0)
        return 0;
    size_t n = 0;
    // One character at a time, so that the cut never falls inside a
    // double-byte character; the default flags give the best fit.
    for (size_t i = 0; i < units;) {
        int take = 1;
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF)
            take = 2;
        char bytes[8];
        int got;
        if (text[i] < 0x80) {
            // Every ANSI code page holds ASCII as it is; asking the system for
            // each of the most common characters made this the cost of a poll.
            bytes[0] = (char)text[i];
            got = 1;
        } else {
            got = WideCharToMultiByte(CP_ACP, 0, (LPCWSTR)(text + i), take, bytes, sizeof bytes, NULL, NULL);
        }
        if (got <= 0) {
            bytes[0] = '?';
            got = 1;
        }
        if (n + (size_t)got > size - 1)
            break;
        for (int k = 0; k < got; k++)
            out[n++] = bytes[k];
        i += (size_t)take;
    }
    out[n] = '\0';
    return n;
}
