// Deleting a filtered message: the user's confirmation and the deletions log.
#include <windows.h>

#include "core/core.h"
#include "sources/sources.h"

bool shouldDeleteMessage(const MessageHeader *record, const FilterEntry *entry)
{
    if (entry == nullptr || entry->action != FILTER_DELETE)
        return false;
    if (!config.settings.ConfirmDeletes)
        return true;
    char question[512];
    formatDeleteQuestion(question, sizeof question, record, entry);
    return askQuestion(question);
}

void logDeletion(const MessageHeader *record, const FilterEntry *entry)
{
    if (config.settings.DeleteFile[0] == '\0')
        return;
    HANDLE file = CreateFileA(config.settings.DeleteFile, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reportError("Unable to open deletions log file");
        return;
    }
    SetFilePointer(file, 0, nullptr, FILE_END);
    SYSTEMTIME now;
    GetLocalTime(&now);
    LogTimestamp when = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    char entryText[DELETION_LOG_ENTRY_SIZE];
    formatDeletionLog(entryText, sizeof entryText, record, entry, &when);

    // A text file: every line ends with CR LF on disk.
    char onDisk[2 * DELETION_LOG_ENTRY_SIZE];
    size_t n = 0;
    for (const char *p = entryText; *p != '\0'; p++) {
        if (*p == '\n')
            onDisk[n++] = '\r';
        onDisk[n++] = *p;
    }
    DWORD written = 0;
    // Write errors are not reported: the deletion itself has already happened.
    WriteFile(file, onDisk, (DWORD)n, &written, nullptr);
    CloseHandle(file);
}
