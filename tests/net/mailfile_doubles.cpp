// The network tests poll no mail file.
#include "mail/mail.h"

uint64_t mailFileSizeTotal(void)
{
    return 0;
}
void pollMailFile(void)
{
}
