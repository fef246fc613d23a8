// The service sources (cc:Mail, Lotus Notes, MAPI) are not part of this build
// yet: a poll of them does nothing.
#include "sources/sources.h"

void pollCcMail(void)
{
}
void pollNotes(void)
{
}
void pollMapi(void)
{
}
