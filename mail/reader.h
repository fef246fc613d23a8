// Mail reader launch and detection: the state the poll cycle reads.
#ifndef PELIMBO_MAIL_READER_H
#define PELIMBO_MAIL_READER_H

#include <stdint.h>

struct ReaderState {
    // Written by the launch and watch threads with plain word-sized stores.
    volatile bool readerRunning;
    volatile uint32_t readerThreadId;
};

extern ReaderState reader;

// Looks for a running mail reader. False only when a detection of the same
// kind is still busy; true in every other case.
bool detectReader(void);
void launchReader(void);

#endif
