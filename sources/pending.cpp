// The Lotus Notes source is not part of this build yet: a poll of it does
// nothing.
#include "sources/sources.h"

void pollNotes(void)
{
}
