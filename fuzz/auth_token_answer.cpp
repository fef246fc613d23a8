// The token service's answer: any bytes give a verdict without reading past
// their end, and a granted token is never empty, never longer than its buffer
// and never holds a byte that could break the SASL message it goes into.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "auth/oauth.h"

static bool printable(const char *text)
{
    for (const unsigned char *p = (const unsigned char *)text; *p; p++)
        if (*p < 0x21 || *p > 0x7E)
            return false;
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly the bytes, so reading one past the end is caught.
    char *copy = (char *)malloc(size ? size : 1);
    memcpy(copy, data, size);
    static TokenAnswer answer;
    int kind = parseTokenAnswer(copy, size, &answer);
    free(copy);
    if (strnlen(answer.accessToken, sizeof answer.accessToken) >= sizeof answer.accessToken
        || strnlen(answer.refreshToken, sizeof answer.refreshToken) >= sizeof answer.refreshToken
        || strnlen(answer.error, sizeof answer.error) >= sizeof answer.error)
        abort();
    if (kind == TOKEN_GRANTED
        && (!answer.accessToken[0] || !printable(answer.accessToken) || !printable(answer.refreshToken)
            || answer.lifetime == 0))
        abort();
    if (kind != TOKEN_GRANTED && (answer.accessToken[0] || answer.refreshToken[0]))
        abort(); // nothing of a refused or unreadable answer may be used
    return 0;
}
