// Measures the mail-file source under Windows (or Wine):
//   mailfile_bench run MAILBOX      in one process: a plain sequential read of
//                                   the file, then pollMailFile with UnreadOnly
//                                   on, each the best of three after one
//                                   warm-up read; then the process's peak memory
//   mailfile_bench size PATTERN N   mailFileSizeTotal over PATTERN, N times
// Each measurement prints one line of "key=value" pairs for bench/mailfile/run.
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "mail/mail.h"
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
    fprintf(stderr, "usage: mailfile_bench run MAILBOX | size PATTERN TIMES\n");
    return 2;
}
