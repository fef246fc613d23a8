// The files under the mail-file source: the platform's file system reduced to
// what the source needs to find, measure, read and delete mail files. Windows
// plugs in its file calls (mailfile_win32.cpp); natively nothing is found
// unless a test installs a file system of its own.
#ifndef PELIMBO_SOURCES_MAILFILE_H
#define PELIMBO_SOURCES_MAILFILE_H

#include <stddef.h>
#include <stdint.h>

enum {
    MAIL_FILE_NAME_SIZE = 260, // a found name, terminator included
};

// A file the directory search found.
struct MailFileFound {
    char name[MAIL_FILE_NAME_SIZE]; // without the directory
    uint64_t size;
    uint64_t writeTime; // the platform's file time (Windows: 100 ns since 1601, UTC)
    bool ordinary;      // neither a directory nor a device
};

// What an open file is, as far as taking up an earlier reading of it goes.
struct MailFileFacts {
    uint64_t size;
    uint64_t writeTime;
    uint64_t volume;    // with fileIndex: the same file, not another one
    uint64_t fileIndex; // under the same name
};

struct MailFileLayer {
    // The first file that matches pattern (wildcards in its last part); null when none.
    void *(*findFirst)(const char *pattern, MailFileFound *found);
    bool (*findNext)(void *search, MailFileFound *found);
    void (*findClose)(void *search);
    // Open for reading, sharing reading, writing and deleting with other
    // programs (the mail program goes on appending). Null on failure.
    void *(*open)(const char *path);
    bool (*describe)(void *file, MailFileFacts *facts);
    // Up to size bytes; 0 at the end or on a read error.
    size_t (*read)(void *file, char *buffer, size_t size);
    bool (*seek)(void *file, uint64_t offset);
    void (*close)(void *file);
    void (*remove)(const char *path);
    // The platform's locale comparison of names, which orders the snapshot.
    int (*compareNames)(const char *a, const char *b);
    // A write time as local MS-DOS date and time; false when it has none.
    bool (*dosDateTime)(uint64_t writeTime, uint16_t *date, uint16_t *time);
    // A clock in milliseconds (the dispatch interval, the hourly whole reading).
    uint64_t (*milliseconds)(void);
};

// The platform's files: mailfile_win32.cpp, or natively mailfile_none.cpp.
extern const MailFileLayer platformMailFiles;

// Tests put a file system of their own under the source; null puts the
// platform's back.
void installMailFileLayer(const MailFileLayer *layer);

#endif
