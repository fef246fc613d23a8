// Natively there are no mail files unless a test installs a file system of
// its own (installMailFileLayer): the search finds nothing.
#include <string.h>

#include "sources/mailfile.h"

static void *findNothing(const char *, MailFileFound *)
{
    return NULL;
}

static bool noNext(void *, MailFileFound *)
{
    return false;
}

static void noClose(void *)
{
}

static void *openNothing(const char *)
{
    return NULL;
}

static bool noFacts(void *, MailFileFacts *)
{
    return false;
}

static size_t readNothing(void *, char *, size_t)
{
    return 0;
}

static bool noSeek(void *, uint64_t)
{
    return false;
}

static void removeNothing(const char *)
{
}

static bool noDosTime(uint64_t, uint16_t *, uint16_t *)
{
    return false;
}

static uint64_t noClock(void)
{
    return 0;
}

const MailFileLayer platformMailFiles = {
    findNothing, noNext,  noClose,       openNothing, noFacts,   readNothing,
    noSeek,      noClose, removeNothing, strcmp,      noDosTime, noClock,
};
