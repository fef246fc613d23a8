// A stand-in for the NetWare bridge, loaded in place of the real one by the
// binding and setup tests. It answers from a data file the test writes, named
// by the environment variable PELNW_STANDIN_DATA and read at every call; one
// line each, fields separated by tabs:
//   server<TAB>NAME          the next entry of the server table (NAME may be empty)
//   notable                  the server table query answers null
//   path<TAB>SERVER<TAB>PATH the new-mail path of SERVER (empty: the default server)
// A server is known when it is in the table (letter case ignored); its index
// is its position there. A path query for a server without a path line
// answers null. Every call is appended to the file DATA.log.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{

enum {
    ENTRY_SIZE = 48,
    ENTRY_COUNT = 10, // more than callers read, to show they stop at 8
};

struct Answers {
    std::vector<std::string> servers;
    bool noTable = false;
    std::vector<std::pair<std::string, std::string>> paths;
};

char table[ENTRY_COUNT * ENTRY_SIZE];

std::string dataFile(void)
{
    char path[MAX_PATH] = "";
    DWORD got = GetEnvironmentVariableA("PELNW_STANDIN_DATA", path, sizeof path);
    return got > 0 && got < sizeof path ? path : "";
}

void note(const std::string &line)
{
    std::string data = dataFile();
    if (data.empty())
        return;
    FILE *log = fopen((data + ".log").c_str(), "ab");
    if (!log)
        return;
    fprintf(log, "%s\n", line.c_str());
    fclose(log);
}

std::vector<std::string> fields(const std::string &line)
{
    std::vector<std::string> result;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        result.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return result;
        start = tab + 1;
    }
}

Answers readAnswers(void)
{
    Answers answers;
    std::string data = dataFile();
    FILE *file = data.empty() ? NULL : fopen(data.c_str(), "rb");
    if (!file)
        return answers;
    std::string text;
    char block[512];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0)
        text.append(block, got);
    fclose(file);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        std::vector<std::string> f = fields(line);
        if (f[0] == "server" && f.size() >= 2)
            answers.servers.push_back(f[1]);
        else if (f[0] == "notable")
            answers.noTable = true;
        else if (f[0] == "path" && f.size() >= 3)
            answers.paths.push_back({f[1], f[2]});
    }
    return answers;
}

} // namespace

extern "C" {

__declspec(dllexport) const char *WINAPI getNWServerTable32(void)
{
    note("getNWServerTable32");
    Answers answers = readAnswers();
    if (answers.noTable)
        return NULL;
    memset(table, 0, sizeof table);
    for (size_t i = 0; i < answers.servers.size() && i < ENTRY_COUNT; i++)
        lstrcpynA(table + i * ENTRY_SIZE, answers.servers[i].c_str(), ENTRY_SIZE);
    return table;
}

__declspec(dllexport) long WINAPI getNWServerIndex32(const char *server)
{
    note(std::string("getNWServerIndex32 ") + (server ? server : "(null)"));
    Answers answers = readAnswers();
    for (size_t i = 0; server && i < answers.servers.size(); i++)
        if (!answers.servers[i].empty() && lstrcmpiA(answers.servers[i].c_str(), server) == 0)
            return (long)i;
    return -1;
}

#if !defined(PELNW_STANDIN_WITHOUT_PATH_QUERY)
__declspec(dllexport) const char *WINAPI getNWPmailFile32(const char *server)
{
    static char pathText[1024];
    note(std::string("getNWPmailFile32 ") + (server ? server : "(null)"));
    Answers answers = readAnswers();
    for (const auto &entry : answers.paths) {
        bool match = server ? lstrcmpiA(entry.first.c_str(), server) == 0 : entry.first.empty();
        if (match) {
            lstrcpynA(pathText, entry.second.c_str(), sizeof pathText);
            return pathText;
        }
    }
    return NULL;
}
#endif

} // extern "C"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        note("loaded");
    return TRUE;
}
