// One server line as the watch reads it: a capability list, a mailbox change,
// a goodbye. The line is copied to a buffer of its own exact size, so a read
// past its end is caught.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "sources/net.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> line(data, data + size);
    const char *start = line.empty() ? NULL : line.data();
    ServerOffer offer = ServerOffer();
    readImapCapabilities(start, size, &offer);
    imapMailboxChange(start, size);
    imapByeLine(start, size);
    return 0;
}
