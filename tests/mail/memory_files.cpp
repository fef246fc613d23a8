#include "tests/mail/memory_files.h"

#include <string.h>

#include <vector>

#include "base/text.h"

MemoryFiles *memoryFiles;

void MemoryFiles::write(const std::string &name, const std::string &data, uint64_t writeTime, bool newFile)
{
    auto found = files.find(name);
    if (found == files.end() || newFile) {
        files[name] = MemoryFile{data, writeTime, nextIndex++};
    } else {
        found->second.data = data;
        found->second.writeTime = writeTime;
    }
}

namespace
{

const char DRIVE[] = "M:\\";

bool matches(const char *pattern, const char *name)
{
    if (*pattern == '\0')
        return *name == '\0';
    if (*pattern == '*')
        return matches(pattern + 1, name) || (*name && matches(pattern, name + 1));
    if (*name == '\0')
        return false;
    return (*pattern == '?' || lowerChar(*pattern) == lowerChar(*name)) && matches(pattern + 1, name + 1);
}

const char *namePart(const char *path)
{
    return strncmp(path, DRIVE, 3) == 0 ? path + 3 : nullptr;
}

struct Search {
    std::vector<std::string> names;
    size_t next = 0;
};

struct OpenFile {
    std::string name;
    uint64_t position = 0;
};

void describeFound(const std::string &name, MailFileFound *found)
{
    const MemoryFile &file = memoryFiles->files[name];
    copyText(found->name, name.c_str());
    found->size = file.data.size();
    found->writeTime = file.writeTime;
    found->ordinary = true;
}

bool findNext(void *search, MailFileFound *found)
{
    Search *s = (Search *)search;
    while (s->next < s->names.size()) {
        const std::string &name = s->names[s->next++];
        if (memoryFiles->files.count(name)) { // not deleted since the search began
            describeFound(name, found);
            return true;
        }
    }
    return false;
}

void *findFirst(const char *pattern, MailFileFound *found)
{
    const char *name = namePart(pattern);
    if (!name)
        return nullptr;
    Search *search = new Search;
    for (const auto &file : memoryFiles->files)
        if (matches(name, file.first.c_str()))
            search->names.push_back(file.first);
    if (!findNext(search, found)) {
        delete search;
        return nullptr;
    }
    return search;
}

void findClose(void *search)
{
    delete (Search *)search;
}

void *openFile(const char *path)
{
    const char *name = namePart(path);
    if (!name || !memoryFiles->files.count(name))
        return nullptr;
    return new OpenFile{name};
}

bool describe(void *file, MailFileFacts *facts)
{
    const MemoryFile &f = memoryFiles->files[((OpenFile *)file)->name];
    facts->size = f.data.size();
    facts->writeTime = f.writeTime;
    facts->volume = 1;
    facts->fileIndex = f.fileIndex;
    return true;
}

size_t readFile(void *file, char *buffer, size_t size)
{
    OpenFile *open = (OpenFile *)file;
    const std::string &data = memoryFiles->files[open->name].data;
    if (open->position >= data.size())
        return 0;
    size_t n = std::min<uint64_t>(size, data.size() - open->position);
    memcpy(buffer, data.data() + open->position, n);
    open->position += n;
    memoryFiles->bytesRead += n;
    return n;
}

bool seekFile(void *file, uint64_t offset)
{
    ((OpenFile *)file)->position = offset;
    return true;
}

void closeFile(void *file)
{
    delete (OpenFile *)file;
}

void removeFile(const char *path)
{
    if (const char *name = namePart(path))
        memoryFiles->files.erase(name);
}

bool dosDateTime(uint64_t writeTime, uint16_t *date, uint16_t *time)
{
    uint64_t day = writeTime / 86400, second = writeTime % 86400;
    *date = (uint16_t)(((20 + day / 336) << 9) | ((1 + day % 336 / 28) << 5) | (1 + day % 28));
    *time = (uint16_t)((second / 3600) << 11 | (second / 60 % 60) << 5 | (second % 60) / 2);
    return true;
}

uint64_t milliseconds(void)
{
    return memoryFiles->clock;
}

} // namespace

const MailFileLayer memoryFileLayer = {
    findFirst, findNext,  findClose,  openFile, describe,    readFile,
    seekFile,  closeFile, removeFile, strcmp,   dosDateTime, milliseconds,
};
