// A file system in memory under the mail-file source (installMailFileLayer):
// files with contents, write times and identities the test sets, a clock the
// test moves, and a count of the bytes read. Paths are "M:\NAME"; a pattern's
// name part may hold "*" and "?" (compared without regard to case).
#ifndef PELIMBO_TESTS_MAIL_MEMORY_FILES_H
#define PELIMBO_TESTS_MAIL_MEMORY_FILES_H

#include <stdint.h>

#include <map>
#include <string>

#include "sources/mailfile.h"

struct MemoryFile {
    std::string data;
    uint64_t writeTime = 0; // seconds; each 86400 a day of 28-day months from 2000
    uint64_t fileIndex = 0;
};

struct MemoryFiles {
    std::map<std::string, MemoryFile> files; // by name, in the search's order
    uint64_t clock = 0;                      // milliseconds
    uint64_t bytesRead = 0;
    uint64_t nextIndex = 1;

    // Writes a new file (a new identity) or replaces the contents of one.
    void write(const std::string &name, const std::string &data, uint64_t writeTime, bool newFile = false);
};

// The file system the layer works on; the test may switch it between polls.
extern MemoryFiles *memoryFiles;
extern const MailFileLayer memoryFileLayer;

#endif
