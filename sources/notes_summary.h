// Reading the summary a Notes directory search hands over for each entry of a
// server directory: which entries are databases (with their title and file
// name) and which are directories. Window-free; the summary is outside input.
#ifndef PELIMBO_SOURCES_NOTES_SUMMARY_H
#define PELIMBO_SOURCES_NOTES_SUMMARY_H

#include <stddef.h>
#include <stdint.h>

enum {
    NOTES_SUMMARY_MAX_ITEMS = 512, // item descriptors read at most
    NOTES_ENTRY_TEXT_SIZE = 256,   // names and titles: 255 characters
};

// What one summary gives, in the order the items come: a directory is added
// when a "$Type" item does not mark a database; a database when an "$Info"
// item follows, shown by the first line of its text. fileName is the "$Title"
// kept at the "$Type" that marked the database, or NULL when no "$Type" did.
struct NotesEntrySink {
    void (*addDirectory)(void *context, const char *name);
    void (*addDatabase)(void *context, const char *title, const char *fileName);
    void *context;
};

// Reads the item table at summary: a 16-bit total length, a 16-bit item count,
// the 16-bit name and value lengths of each item, then each item's name and
// value (a 16-bit type word and the text). Nothing is read beyond size bytes
// nor beyond the stated total length. A damaged table (too short for what it
// states) gives nothing at all and returns false.
bool readNotesDirectoryEntry(const void *summary, size_t size, const NotesEntrySink *sink);

// The stated total length of a summary (its first 16 bits).
size_t notesSummaryLength(const void *summary);

#endif
