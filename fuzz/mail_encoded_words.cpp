// Fuzzes the encoded-word decoder: the first byte sets the output limit, the
// rest is the header value, given both by length and as a terminated text,
// decoded to the ANSI form and to wide text.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "mail/mail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    size_t maxChars = data[0] % 128;
    const char *text = (const char *)data + 1;
    size_t length = size - 1;

    // Exact-size heap buffers: any write past the limit is caught.
    char *out = (char *)malloc(maxChars + 1);
    decodeEncodedWordsN(out, text, length, maxChars);
    if (strlen(out) > maxChars)
        abort();

    char *terminated = (char *)malloc(length + 1);
    memcpy(terminated, text, length);
    terminated[length] = '\0';
    decodeEncodedWords(out, terminated, maxChars);
    if (strlen(out) > maxChars)
        abort();
    free(terminated);
    free(out);

    // The wide text: within its limit, never ending in half a surrogate pair,
    // and its UTF-8 within the given size.
    WideChar *wide = (WideChar *)malloc((maxChars + 1) * sizeof(WideChar));
    size_t units = decodeHeaderWide(text, length, wide, maxChars);
    if (units > maxChars || wide[units] != 0
        || (units > 0 && wide[units - 1] >= 0xD800 && wide[units - 1] <= 0xDBFF))
        abort();
    char utf8[64];
    if (wideToUtf8(wide, units, utf8, sizeof utf8) >= sizeof utf8)
        abort();
    free(wide);
    return 0;
}
