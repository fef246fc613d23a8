#include "fuzz/net_conversation.h"

// POP3 and IMAP4 over TLS records: the lowest bit of the flags byte also picks
// the protocol (IMAP4 when set).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    runFuzzConversation(data, size, size > 0 && (data[0] & 1), true);
    return 0;
}
