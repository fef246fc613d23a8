// MIME charset names and the code pages that convert them. Names are matched
// without regard to case; the aliases are the ones real mail uses.
#include <string.h>

#include "base/text.h"
#include "mail/headertext.h"

namespace
{

const struct {
    const char *name;
    unsigned codePage;
} charsets[] = {
    {"utf-8", CODE_PAGE_UTF8},
    {"utf8", CODE_PAGE_UTF8},
    {"utf-7", CODE_PAGE_UTF7},
    {"unicode-1-1-utf-7", CODE_PAGE_UTF7},
    // 7-bit by name, yet 8-bit bytes labelled so are common: they are read as
    // raw header text would be.
    {"us-ascii", CODE_PAGE_RAW},
    {"ascii", CODE_PAGE_RAW},
    {"ansi_x3.4-1968", CODE_PAGE_RAW},
    {"latin1", 28591},
    {"l1", 28591},
    {"latin2", 28592},
    {"latin3", 28593},
    {"latin4", 28594},
    {"cyrillic", 28595},
    {"arabic", 28596},
    {"greek", 28597},
    {"hebrew", 28598},
    {"latin5", 28599},
    {"latin6", 28600},
    {"latin7", 28603},
    {"latin8", 28604},
    {"latin9", 28605},
    {"latin10", 28606},
    {"koi8-r", 20866},
    {"koi8-u", 21866},
    {"iso-2022-jp", CODE_PAGE_ISO2022JP},
    {"csiso2022jp", CODE_PAGE_ISO2022JP},
    {"shift_jis", 932},
    {"shift-jis", 932},
    {"sjis", 932},
    {"x-sjis", 932},
    {"ms_kanji", 932},
    {"windows-31j", 932},
    {"cp932", 932},
    {"euc-jp", CODE_PAGE_EUC_JP},
    {"x-euc-jp", CODE_PAGE_EUC_JP},
    {"eucjp", CODE_PAGE_EUC_JP},
    {"gb2312", 936},
    {"csgb2312", 936},
    {"euc-cn", 936},
    {"gbk", 936},
    {"x-gbk", 936},
    {"cp936", 936},
    {"gb18030", 54936},
    {"big5", 950},
    {"x-big5", 950},
    {"cn-big5", 950},
    {"big5-hkscs", 950},
    {"cp950", 950},
    {"euc-kr", 949},
    {"ks_c_5601-1987", 949},
    {"ks_c_5601", 949},
    {"ksc5601", 949},
    {"korean", 949},
    {"cp949", 949},
    {"tis-620", 874},
    {"windows-874", 874},
};

// "iso-8859-N" (also "iso8859-N", "iso_8859-N"): the platform's 2859x pages,
// except 11 (Thai), which only exists as 874.
unsigned isoCodePage(const char *name, size_t length)
{
    static const char *const prefixes[] = {"iso-8859-", "iso8859-", "iso_8859-"};
    for (const char *prefix : prefixes) {
        size_t n = strlen(prefix);
        if (length <= n || length > n + 2 || compareNoCaseN(name, prefix, n) != 0)
            continue;
        unsigned part = 0;
        for (size_t i = n; i < length; i++) {
            if (name[i] < '0' || name[i] > '9')
                return CODE_PAGE_UNKNOWN;
            part = part * 10 + (unsigned)(name[i] - '0');
        }
        if (part == 11)
            return 874;
        if (part >= 1 && part <= 16 && part != 12)
            return 28590 + part;
        return CODE_PAGE_UNKNOWN;
    }
    return CODE_PAGE_UNKNOWN;
}

// "windows-125N" and "cp125N".
unsigned windowsCodePage(const char *name, size_t length)
{
    static const char *const prefixes[] = {"windows-", "cp", "x-cp"};
    for (const char *prefix : prefixes) {
        size_t n = strlen(prefix);
        if (length != n + 4 || compareNoCaseN(name, prefix, n) != 0)
            continue;
        if (memcmp(name + n, "125", 3) != 0 || name[n + 3] < '0' || name[n + 3] > '8')
            return CODE_PAGE_UNKNOWN;
        return 1250 + (unsigned)(name[n + 3] - '0');
    }
    return CODE_PAGE_UNKNOWN;
}

} // namespace

unsigned charsetCodePage(const char *name, size_t length)
{
    // RFC 2231 lets a language follow the charset: "utf-8*en".
    const char *star = length > 0 ? (const char *)memchr(name, '*', length) : nullptr;
    if (star)
        length = (size_t)(star - name);
    if (length == 0)
        return CODE_PAGE_UNKNOWN;
    for (const auto &c : charsets)
        if (strlen(c.name) == length && compareNoCaseN(name, c.name, length) == 0)
            return c.codePage;
    unsigned codePage = isoCodePage(name, length);
    if (codePage == CODE_PAGE_UNKNOWN)
        codePage = windowsCodePage(name, length);
    return codePage;
}

bool isValidUtf8(const char *bytes, size_t length)
{
    const unsigned char *p = (const unsigned char *)bytes;
    size_t i = 0;
    while (i < length) {
        unsigned c = p[i];
        if (c < 0x80) {
            i++;
            continue;
        }
        size_t extra;
        unsigned min;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            min = 0x10000;
        } else {
            return false;
        }
        if (length - i <= extra)
            return false;
        unsigned value = c & (0x3Fu >> extra);
        for (size_t k = 1; k <= extra; k++) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (p[i + k] & 0x3Fu);
        }
        if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

size_t wideLength(const WideChar *text)
{
    size_t n = 0;
    while (text[n] != 0)
        n++;
    return n;
}

size_t wideToUtf8(const WideChar *text, size_t units, char *out, size_t size)
{
    if (size == 0)
        return 0;
    size_t used = 0;
    for (size_t i = 0; i < units; i++) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t)(text[i + 1] - 0xDC00);
            i++;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        char bytes[4];
        size_t n;
        if (c < 0x80) {
            bytes[0] = (char)c;
            n = 1;
        } else if (c < 0x800) {
            bytes[0] = (char)(0xC0 | (c >> 6));
            bytes[1] = (char)(0x80 | (c & 0x3F));
            n = 2;
        } else if (c < 0x10000) {
            bytes[0] = (char)(0xE0 | (c >> 12));
            bytes[1] = (char)(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = (char)(0x80 | (c & 0x3F));
            n = 3;
        } else {
            bytes[0] = (char)(0xF0 | (c >> 18));
            bytes[1] = (char)(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = (char)(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = (char)(0x80 | (c & 0x3F));
            n = 4;
        }
        if (used + n > size - 1)
            break;
        memcpy(out + used, bytes, n);
        used += n;
    }
    out[used] = '\0';
    return used;
}
