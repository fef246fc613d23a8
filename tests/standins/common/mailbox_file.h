// The small text file a test writes to describe the mailbox a stand-in
// service library serves: option lines ("logon fail", "read fail 3") and one
// "message" line per message with tab-separated fields. The stand-ins read it
// again at the start of every walk and write it back after a change, so a test
// can add mail between polls and see what was deleted or marked read.
#ifndef PELIMBO_TESTS_STANDINS_MAILBOX_FILE_H
#define PELIMBO_TESTS_STANDINS_MAILBOX_FILE_H

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

struct StandinMessage {
    std::vector<std::string> fields; // after the word "message"
    bool read = false;

    // A field, or missing when the line ends before it.
    std::string field(size_t index, const char *missing = "") const
    {
        return index < fields.size() ? fields[index] : missing;
    }
};

struct StandinMailbox {
    std::vector<std::string> options; // every line that is not a message
    std::vector<StandinMessage> messages;

    // The value after "name" on an option line ("read fail 3" -> "3"); empty
    // when the option is absent, "yes" when it has no value.
    std::string option(const std::string &name) const
    {
        for (const std::string &line : options)
            if (line.compare(0, name.size(), name) == 0
                && (line.size() == name.size() || line[name.size()] == ' '))
                return line.size() == name.size() ? "yes" : line.substr(name.size() + 1);
        return "";
    }
    long number(const std::string &name) const
    {
        std::string value = option(name);
        return value.empty() ? 0 : strtol(value.c_str(), NULL, 0);
    }
};

inline std::string standinMailboxPath(const char *variable)
{
    char path[MAX_PATH] = "";
    DWORD length = GetEnvironmentVariableA(variable, path, sizeof path);
    return length > 0 && length < sizeof path ? path : "";
}

inline std::vector<std::string> splitTabs(const std::string &text)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = text.find('\t', start);
        fields.push_back(text.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

// Message lines: "message<TAB>id<TAB>read<TAB>..." (read is 0 or 1).
inline StandinMailbox readStandinMailbox(const char *variable)
{
    StandinMailbox box;
    std::string path = standinMailboxPath(variable);
    FILE *file = path.empty() ? NULL : fopen(path.c_str(), "rb");
    if (!file)
        return box;
    char line[4096];
    while (fgets(line, sizeof line, file)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        if (text.compare(0, 8, "message\t") == 0) {
            StandinMessage message;
            message.fields = splitTabs(text.substr(8));
            if (message.fields.size() > 1)
                message.read = message.fields[1] == "1";
            box.messages.push_back(message);
        } else if (!text.empty()) {
            box.options.push_back(text);
        }
    }
    fclose(file);
    return box;
}

inline void writeStandinMailbox(const char *variable, const StandinMailbox &box)
{
    std::string path = standinMailboxPath(variable);
    FILE *file = path.empty() ? NULL : fopen(path.c_str(), "wb");
    if (!file)
        return;
    for (const std::string &line : box.options)
        fprintf(file, "%s\n", line.c_str());
    for (const StandinMessage &message : box.messages) {
        fputs("message", file);
        for (size_t i = 0; i < message.fields.size(); i++)
            fprintf(file, "\t%s", i == 1 ? (message.read ? "1" : "0") : message.fields[i].c_str());
        fputc('\n', file);
    }
    fclose(file);
}

// The call log a test reads back through the stand-in's export standinLog.
struct StandinLog {
    CRITICAL_SECTION lock;
    std::string text;
    std::string copy;

    // Made when the library loads, before any caller can reach it.
    StandinLog()
    {
        InitializeCriticalSection(&lock);
    }
    void clear(void)
    {
        EnterCriticalSection(&lock);
        text.clear();
        LeaveCriticalSection(&lock);
    }
    void note(const std::string &line)
    {
        EnterCriticalSection(&lock);
        text += line + "\n";
        LeaveCriticalSection(&lock);
    }
    const char *snapshot(void)
    {
        EnterCriticalSection(&lock);
        copy = text;
        LeaveCriticalSection(&lock);
        return copy.c_str();
    }
};

// The stand-in's call log and the two exports through which a test reads and
// clears it (tests/standins/common/standin_exports.h); each stand-in library
// includes this header once.
inline StandinLog callLog;

extern "C" {
__declspec(dllexport) const char *standinLog(void)
{
    return callLog.snapshot();
}
__declspec(dllexport) void standinReset(void)
{
    callLog.clear();
}
}

#endif
