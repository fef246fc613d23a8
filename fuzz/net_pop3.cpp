#include "fuzz/net_conversation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    runFuzzConversation(data, size, false);
    return 0;
}
