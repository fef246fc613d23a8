// A mail server's SASL continuation as it arrives after AUTHENTICATE or AUTH:
// any bytes (base64 or not) are read without going past their end, and the
// status taken from them always fits its buffer.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "auth/sasl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char *copy = (char *)malloc(size ? size : 1);
    memcpy(copy, data, size);
    char status[SASL_STATUS_SIZE];
    int read = parseSaslError(copy, size, status);
    free(copy);
    if (strnlen(status, sizeof status) >= sizeof status || (!read && status[0]))
        abort();
    return 0;
}
