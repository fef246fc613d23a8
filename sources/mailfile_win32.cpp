// The mail-file source's files on Windows: the directory search, shared
// reading, the file's identity and times, deletion and the clock.
#include <windows.h>

#include "base/text.h"
#include "sources/mailfile.h"

static uint64_t fileTimeValue(FILETIME time)
{
    return ((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

static void takeFound(const WIN32_FIND_DATAA *data, MailFileFound *found)
{
    copyText(found->name, data->cFileName);
    found->size = ((uint64_t)data->nFileSizeHigh << 32) | data->nFileSizeLow;
    found->writeTime = fileTimeValue(data->ftLastWriteTime);
    found->ordinary = (data->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

static void *findFirst(const char *pattern, MailFileFound *found)
{
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern, &data);
    if (search == INVALID_HANDLE_VALUE)
        return NULL;
    takeFound(&data, found);
    return search;
}

static bool findNext(void *search, MailFileFound *found)
{
    WIN32_FIND_DATAA data;
    if (!FindNextFileA((HANDLE)search, &data))
        return false;
    takeFound(&data, found);
    return true;
}

static void findClose(void *search)
{
    FindClose((HANDLE)search);
}

static void *openFile(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        // Systems without delete sharing refuse the flag.
        file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    return file == INVALID_HANDLE_VALUE ? NULL : file;
}

static bool describe(void *file, MailFileFacts *facts)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle((HANDLE)file, &info))
        return false;
    facts->size = ((uint64_t)info.nFileSizeHigh << 32) | info.nFileSizeLow;
    facts->writeTime = fileTimeValue(info.ftLastWriteTime);
    facts->volume = info.dwVolumeSerialNumber;
    facts->fileIndex = ((uint64_t)info.nFileIndexHigh << 32) | info.nFileIndexLow;
    return true;
}

static size_t readFile(void *file, char *buffer, size_t size)
{
    DWORD got = 0;
    if (!ReadFile((HANDLE)file, buffer, (DWORD)size, &got, NULL))
        return 0;
    return got;
}

static bool seekFile(void *file, uint64_t offset)
{
    LARGE_INTEGER to;
    to.QuadPart = (LONGLONG)offset;
    return SetFilePointerEx((HANDLE)file, to, NULL, FILE_BEGIN) != 0;
}

static void closeFile(void *file)
{
    CloseHandle((HANDLE)file);
}

static void removeFile(const char *path)
{
    DeleteFileA(path);
}

static int compareNames(const char *a, const char *b)
{
    return lstrcmpA(a, b);
}

static bool dosDateTime(uint64_t writeTime, uint16_t *date, uint16_t *time)
{
    FILETIME written, local;
    written.dwLowDateTime = (DWORD)writeTime;
    written.dwHighDateTime = (DWORD)(writeTime >> 32);
    WORD dosDate, dosTime;
    if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToDosDateTime(&local, &dosDate, &dosTime))
        return false;
    *date = dosDate;
    *time = dosTime;
    return true;
}

static uint64_t milliseconds(void)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return fileTimeValue(now) / 10000;
}

const MailFileLayer platformMailFiles = {
    findFirst, findNext,  findClose,  openFile,     describe,    readFile,
    seekFile,  closeFile, removeFile, compareNames, dosDateTime, milliseconds,
};
