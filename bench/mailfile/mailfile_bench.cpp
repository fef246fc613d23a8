// Measures the mail-file source under Windows (or Wine):
//   mailfile_bench run MAILBOX      in one process: a plain sequential read of
//                                   the file, then pollMailFile with UnreadOnly
//                                   on, each the best of three after one
//                                   warm-up read; then the process's peak memory
//   mailfile_bench size PATTERN N   mailFileSizeTotal over PATTERN, N times
//   mailfile_bench grow MAILBOX MESSAGE
//                                   pollMailFile of the whole mailbox, then three
//                                   times: MESSAGE appended and pollMailFile
//                                   (taken up at the old end); the mailbox is cut
//                                   back to its size at the end
//   mailfile_bench dir DIRECTORY MESSAGE
//                                   pollMailFile of DIRECTORY\*.CNM, then three
//                                   times: MESSAGE copied in as a new file and
//                                   pollMailFile; beside it one listing of the
//                                   directory and a poll of the new file alone
// Each measurement prints one line of "key=value" pairs for bench/mailfile/run.
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "mail/mail.h"
#include "mail/mailscan.h"
#include "core/core.h"
#include "tests/mail/fake_core.h"

static double seconds(void)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

static void printMemory(void)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    printf(" peak_working_set=%llu pagefile_usage=%llu peak_pagefile_usage=%llu",
           (unsigned long long)counters.PeakWorkingSetSize, (unsigned long long)counters.PagefileUsage,
           (unsigned long long)counters.PeakPagefileUsage);
}

static double bestRead = 1e30;
static double bestPoll = 1e30;

static int plainRead(const char *path, bool report)
{
    static char block[64 * 1024];
    double start = seconds();
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    unsigned long long total = 0, lines = 0;
    DWORD got;
    while (ReadFile(file, block, sizeof block, &got, NULL) && got > 0) {
        total += got;
        for (DWORD i = 0; i < got; i++)
            lines += block[i] == '\n';
    }
    CloseHandle(file);
    double elapsed = seconds() - start;
    if (elapsed < bestRead)
        bestRead = elapsed;
    if (report)
        printf("mode=read bytes=%llu lines=%llu seconds=%.4f\n", total, lines, bestRead);
    return 0;
}

static int pollOnce(const char *path, bool report)
{
    if (!mail.workHeaders && !allocateMailBuffers())
        return 1;
    config.settings.MessageSource = SOURCE_DISK_FILE;
    config.settings.UnreadOnly = true;
    config.mailPath = path;
    WIN32_FILE_ATTRIBUTE_DATA info;
    GetFileAttributesExA(path, GetFileExInfoStandard, &info);
    unsigned long long size = ((unsigned long long)info.nFileSizeHigh << 32) | info.nFileSizeLow;
    resetFakePoll();
    double start = seconds();
    pollMailFile();
    double elapsed = seconds() - start;
    if (fakePoll.published != 1)
        return 1;
    if (elapsed < bestPoll)
        bestPoll = elapsed;
    if (!report)
        return 0;
    printf("mode=poll bytes=%llu messages=%d seconds=%.4f", size, fakePoll.lastIndex + 1, bestPoll);
    printMemory();
    printf("\n");
    return 0;
}

static int sizeTotal(const char *pattern, int times)
{
    config.mailPath = pattern;
    config.settings.UnreadOnly = true;
    uint64_t total = 0;
    double start = seconds();
    for (int i = 0; i < times; i++)
        total = mailFileSizeTotal();
    double elapsed = seconds() - start;
    printf("mode=size bytes=%llu calls=%d seconds_per_call=%.6f\n", (unsigned long long)total, times,
           elapsed / times);
    return 0;
}

static std::string readWhole(const char *path)
{
    std::string text;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char block[4096];
    DWORD got;
    while (ReadFile(file, block, sizeof block, &got, NULL) && got > 0)
        text.append(block, got);
    CloseHandle(file);
    return text;
}

static bool writeFileText(const char *path, const std::string &text, bool append)
{
    HANDLE file = CreateFileA(path, append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, NULL,
                              append ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), (DWORD)text.size(), &written, NULL) && written == text.size();
    CloseHandle(file);
    return ok;
}

// One poll of whatever config.mailPath names, timed; -1 when it failed.
static double timedPoll(void)
{
    resetFakePoll();
    double start = seconds();
    pollMailFile();
    double elapsed = seconds() - start;
    return fakePoll.published == 1 ? elapsed : -1;
}

static void startPolls(const char *path)
{
    if (!mail.workHeaders)
        allocateMailBuffers();
    config.settings.MessageSource = SOURCE_DISK_FILE;
    config.settings.UnreadOnly = true;
    config.mailPath = path;
    forgetFileSnapshot();
    mail.latestFileDate = mail.latestFileTime = 0;
}

static int grownMailbox(const char *path, const char *messagePath)
{
    std::string message = readWhole(messagePath);
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (message.empty() || !GetFileAttributesExA(path, GetFileExInfoStandard, &info))
        return 1;
    LARGE_INTEGER size;
    size.LowPart = info.nFileSizeLow;
    size.HighPart = (LONG)info.nFileSizeHigh;
    startPolls(path);
    double whole = timedPoll();
    int messages = fakePoll.lastIndex + 1;
    double best = 1e30;
    uint64_t bytesRead = 0;
    bool allTakenUp = true;
    for (int i = 0; i < 3 && whole >= 0; i++) {
        Sleep(20); // a later write time
        if (!writeFileText(path, message, true))
            return 1;
        double taken = timedPoll();
        if (taken < 0 || fakePoll.lastIndex + 1 != messages + i + 1)
            return 1;
        allTakenUp = allTakenUp && mail.fileMemory->last.resumed;
        if (taken < best) {
            best = taken;
            bytesRead = mail.fileMemory->last.bytesRead;
        }
    }
    // The mailbox as it was, for the next run.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE || !SetFilePointerEx(file, size, NULL, FILE_BEGIN)
        || !SetEndOfFile(file))
        return 1;
    CloseHandle(file);
    if (whole < 0)
        return 1;
    printf("mode=grow bytes=%llu messages=%d whole_seconds=%.4f taken_up_seconds=%.5f taken_up=%d "
           "bytes_read=%llu\n",
           (unsigned long long)size.QuadPart, messages, whole, best, allTakenUp ? 1 : 0,
           (unsigned long long)bytesRead);
    return 0;
}

static double listingSeconds(const char *pattern, int *count)
{
    double start = seconds();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    *count = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do
            ++*count;
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return seconds() - start;
}

static int newMessageFile(const char *directory, const char *messagePath)
{
    std::string message = readWhole(messagePath);
    if (message.empty())
        return 1;
    std::string pattern = std::string(directory) + "\\*.CNM";
    startPolls(pattern.c_str());
    double whole = timedPoll();
    int files = fakePoll.lastIndex + 1;
    double bestPoll = 1e30, bestOne = 1e30, bestListing = 1e30;
    int listed = 0, opened = 0;
    for (int i = 0; i < 3 && whole >= 0; i++) {
        std::string added = std::string(directory) + "\\new" + std::to_string(i) + ".CNM";
        if (!writeFileText(added.c_str(), message, false))
            return 1;
        config.mailPath = pattern.c_str();
        double taken = timedPoll();
        if (taken < 0 || fakePoll.lastIndex + 1 != files + i + 1)
            return 1;
        if (taken < bestPoll) {
            bestPoll = taken;
            opened = mail.fileMemory->last.filesOpened;
        }
        double listing = listingSeconds(pattern.c_str(), &listed);
        if (listing < bestListing)
            bestListing = listing;
        // Reading that one file alone, as a first reading; then the state of
        // the directory's readings back.
        MailState kept = mail;
        mail.fileMemory = NULL;
        config.mailPath = added.c_str();
        double one = timedPoll();
        free(mail.fileMemory);
        mail = kept;
        if (one < 0)
            return 1;
        if (one < bestOne)
            bestOne = one;
    }
    for (int i = 0; i < 3; i++)
        DeleteFileA((std::string(directory) + "\\new" + std::to_string(i) + ".CNM").c_str());
    if (whole < 0)
        return 1;
    printf("mode=dir files=%d listed=%d whole_seconds=%.4f new_file_seconds=%.5f files_opened=%d "
           "one_file_seconds=%.5f listing_seconds=%.5f\n",
           files, listed, whole, bestPoll, opened, bestOne, bestListing);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc >= 3 && strcmp(argv[1], "run") == 0) {
        plainRead(argv[2], false);
        bestRead = 1e30;
        for (int i = 0; i < 3; i++)
            if (plainRead(argv[2], i == 2) != 0)
                return 1;
        for (int i = 0; i < 3; i++)
            if (pollOnce(argv[2], i == 2) != 0)
                return 1;
        return 0;
    }
    if (argc >= 4 && strcmp(argv[1], "size") == 0)
        return sizeTotal(argv[2], atoi(argv[3]));
    if (argc >= 4 && strcmp(argv[1], "grow") == 0)
        return grownMailbox(argv[2], argv[3]);
    if (argc >= 4 && strcmp(argv[1], "dir") == 0)
        return newMessageFile(argv[2], argv[3]);
    fprintf(stderr, "usage: mailfile_bench run MAILBOX | size PATTERN TIMES | grow MAILBOX MESSAGE"
                    " | dir DIRECTORY MESSAGE\n");
    return 2;
}
