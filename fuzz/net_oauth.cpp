// The OAuth2 logins of both clients fed arbitrary server bytes over the
// scripted TLS records: capability lists, SASL continuations and refusals.
// The input's last byte chooses IMAP4 (odd) or POP3 (even).
#include "fuzz/net_conversation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bool imap = size > 0 && (data[size - 1] & 1);
    runFuzzConversation(data, size, imap, false, true);
    return 0;
}
