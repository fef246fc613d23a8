// The service sources (cc:Mail, MAPI) are not part of this build
// yet: a poll of them does nothing.
#include "sources/sources.h"

void pollCcMail(void)
{
}
void pollMapi(void)
{
}
