// Reader launch and detection are not part of this build yet: no reader is
// ever found running.
#include "mail/reader.h"

ReaderState reader;

bool detectReader(void) { return true; }
void launchReader(void) {}
