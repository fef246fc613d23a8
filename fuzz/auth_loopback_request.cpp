// The request a browser (or any local program) sends to the loopback port:
// any bytes, whole or cut anywhere, give a verdict without reading past their
// end, and a code is taken only from a GET of the redirect address itself.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "auth/oauth.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char *copy = (char *)malloc(size ? size : 1);
    memcpy(copy, data, size);
    static LoopbackRequest request;
    const size_t cuts[] = {size, size / 2};
    for (size_t cut : cuts) {
        int result = parseLoopbackRequest(copy, cut, &request);
        if (strnlen(request.code, sizeof request.code) >= sizeof request.code
            || strnlen(request.state, sizeof request.state) >= sizeof request.state
            || strnlen(request.errorDescription, sizeof request.errorDescription)
                   >= sizeof request.errorDescription)
            abort();
        if (request.hasCode
            && (result != LOOPBACK_COMPLETE || !request.rootPath || cut < 4 || memcmp(copy, "GET ", 4) != 0))
            abort();
    }
    free(copy);
    return 0;
}
