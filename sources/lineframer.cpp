#include "sources/lineframer.h"

void resetLineFramer(LineFramer *framer)
{
    framer->length = 0;
    framer->complete = false;
    framer->line[0] = '\0';
}

bool takeLine(LineFramer *framer, const char *data, size_t length, size_t *at)
{
    if (framer->complete)
        resetLineFramer(framer);
    while (*at < length) {
        char c = data[(*at)++];
        if (framer->length < REPLY_LINE_SIZE - 1)
            framer->line[framer->length++] = c;
        if (c == '\n') {
            framer->complete = true;
            break;
        }
    }
    framer->line[framer->length] = '\0';
    return framer->complete;
}
