// A stand-in for the Notes programming interface, loaded in place of NNOTES.DLL
// by the Notes tests. It plays a small Notes world described by a data file
// the test writes (path in the environment variable PELIMBO_NOTES_DATA, read
// at load and by standinReset), one line per fact, fields separated by tabs:
//
//   datadir  PATH                        the local data directory
//   env      NAME  VALUE                 the client's environment
//   envstyle STYLE                       what OSGetEnvironmentString returns: "found" (the
//                                        default: true with the text, false for a variable not
//                                        set), "status" (0 with the text, a status when not set),
//                                        "empty" (true always, an empty text when not set)
//   idfile   FILE  USER                  the user name held in an ID file
//   db       SERVER  FILE  TITLE         a database ("" as server: local)
//   dir      SERVER  PATH                a directory (those of databases exist anyway)
//   view     SERVER  FILE  NAME  IDS     a view or folder and its note ids in view order
//   note     SERVER  FILE  ID  FROM  SUBJECT  TIME
//   unread   SERVER  FILE  USER  IDS     the unread table of a canonical user name
//   books    PATH ...                    the user's address books
//   doc      SERVER  FILE  ID  NAME=VALUE ...   an address-book document, text items
//   fail     CALL  STATUS  [NTH]         the call fails with STATUS (only its NTH call)
//
// IDS are comma-separated numbers or ranges ("1-250"). Server names are taken
// in canonical form ("Mail/Acme" is "CN=Mail/O=Acme"); file names and view
// names are compared without regard to case. Every call is recorded; every
// handle it gives out is counted until it is closed or freed.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sources/notesapi.h"

namespace
{

using Ids = std::vector<NotesNoteId>;

struct Note {
    std::string from, subject;
    uint32_t time;
};
struct Document {
    NotesNoteId id;
    std::vector<std::pair<std::string, std::string>> items;
};
struct Database {
    std::string title;
    std::map<std::string, Ids> views; // lower-case name
    std::map<NotesNoteId, Note> notes;
    std::map<std::string, Ids> unread; // user name as given
    std::vector<Document> documents;
};

enum Kind {
    KIND_DATABASE,
    KIND_DIRECTORY,
    KIND_COLLECTION,
    KIND_NOTE,
    KIND_MEMORY
};
struct Object {
    Kind kind;
    std::string key; // database or directory key
    NotesNoteId id;  // note or view
    std::vector<char> memory;
    int locks;
};

struct Failure {
    NotesStatus status;
    int nth; // 0: every call
};

std::string dataDirectory;
std::map<std::string, std::string> environment;
std::string environmentStyle;
std::map<std::string, std::string> idFiles; // lower-case file name
std::map<std::string, Database> databases;  // server "!!" lower-case file
std::set<std::string> directories;          // server "!!" lower-case path
std::vector<std::string> addressBooks;
std::map<std::string, Failure> failures;
std::map<std::string, int> callCounts;
std::map<NotesHandle, Object> objects;
NotesHandle nextHandle = 0x10;
int sessions;
std::string callLog;

enum : NotesStatus {
    ERR_NOT_FOUND = 0x0103,
    ERR_NOTE_MISSING = 0x0225,
    ERR_BAD_HANDLE = 0x0102,
    ERR_PATH_TOO_LONG = 0x0106,
    ERR_NO_ID = 0x1801,
};

void note(const std::string &line)
{
    callLog += line + "\n";
}

std::string lower(std::string s)
{
    for (char &c : s)
        c = (char)tolower((unsigned char)c);
    return s;
}

std::vector<std::string> split(const std::string &s, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = s.find(separator, start);
        parts.push_back(s.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// "Mail/Acme" to "CN=Mail/O=Acme"; names already canonical and one-part names
// stay as they are.
std::string canonical(const std::string &name)
{
    if (name.find('=') != std::string::npos || name.find('/') == std::string::npos)
        return name;
    std::vector<std::string> parts = split(name, '/');
    std::string result;
    for (size_t i = 0; i < parts.size(); i++) {
        const char *label = i == 0 ? "CN=" : (i + 1 == parts.size() ? "O=" : "OU=");
        result += (i ? "/" : "") + std::string(label) + parts[i];
    }
    return result;
}

std::string abbreviated(const std::string &name)
{
    std::string result;
    for (const std::string &part : split(name, '/')) {
        size_t equals = part.find('=');
        result +=
            (result.empty() ? "" : "/") + (equals == std::string::npos ? part : part.substr(equals + 1));
    }
    return result;
}

std::string key(const std::string &server, const std::string &file)
{
    return lower(canonical(server)) + "!!" + lower(file);
}

Ids parseIds(const std::string &text)
{
    Ids ids;
    if (text.empty())
        return ids;
    for (const std::string &part : split(text, ',')) {
        size_t dash = part.find('-');
        unsigned long first = strtoul(part.c_str(), NULL, 0);
        unsigned long last = dash == std::string::npos ? first : strtoul(part.c_str() + dash + 1, NULL, 0);
        for (unsigned long id = first; id <= last; id++)
            ids.push_back((NotesNoteId)id);
    }
    return ids;
}

void addDirectories(const std::string &server, const std::string &file)
{
    std::string path = lower(file);
    for (size_t slash = path.find('\\'); slash != std::string::npos; slash = path.find('\\', slash + 1))
        directories.insert(key(server, path.substr(0, slash)));
}

void load(void)
{
    dataDirectory = "C:\\notes\\data";
    environment.clear();
    environmentStyle = "found";
    idFiles.clear();
    databases.clear();
    directories.clear();
    addressBooks.clear();
    failures.clear();
    callCounts.clear();
    objects.clear();
    callLog.clear();
    sessions = 0;
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("PELIMBO_NOTES_DATA", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    FILE *file = fopen(path, "rb");
    if (!file)
        return;
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, file)) {
        std::string line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        std::vector<std::string> f = split(line, '\t');
        f.resize(std::max<size_t>(f.size(), 8));
        const std::string &what = f[0];
        if (what == "datadir") {
            dataDirectory = f[1];
        } else if (what == "env") {
            environment[f[1]] = f[2];
        } else if (what == "envstyle") {
            environmentStyle = f[1];
        } else if (what == "idfile") {
            idFiles[lower(f[1])] = f[2];
        } else if (what == "db") {
            databases[key(f[1], f[2])].title = f[3];
            addDirectories(f[1], f[2]);
        } else if (what == "dir") {
            directories.insert(key(f[1], f[2]));
            addDirectories(f[1], f[2] + "\\");
        } else if (what == "view") {
            databases[key(f[1], f[2])].views[lower(f[3])] = parseIds(f[4]);
        } else if (what == "note") {
            databases[key(f[1], f[2])].notes[(NotesNoteId)strtoul(f[3].c_str(), NULL, 0)] =
                Note{f[4], f[5], (uint32_t)strtoul(f[6].c_str(), NULL, 0)};
        } else if (what == "unread") {
            databases[key(f[1], f[2])].unread[f[3]] = parseIds(f[4]);
        } else if (what == "books") {
            for (size_t i = 1; i < f.size(); i++)
                if (!f[i].empty())
                    addressBooks.push_back(f[i]);
        } else if (what == "doc") {
            Document doc{(NotesNoteId)strtoul(f[3].c_str(), NULL, 0), {}};
            std::vector<std::string> all = split(line, '\t');
            for (size_t i = 4; i < all.size(); i++) {
                size_t equals = all[i].find('=');
                if (equals != std::string::npos)
                    doc.items.push_back({all[i].substr(0, equals), all[i].substr(equals + 1)});
            }
            databases[key(f[1], f[2])].documents.push_back(doc);
        } else if (what == "fail") {
            failures[f[1]] = Failure{(NotesStatus)strtoul(f[2].c_str(), NULL, 0), atoi(f[3].c_str())};
        }
    }
    fclose(file);
}

// Counts the call and returns its scripted failure, or 0.
NotesStatus scripted(const char *call)
{
    int count = ++callCounts[call];
    auto it = failures.find(call);
    if (it == failures.end())
        return 0;
    if (it->second.nth == 0 || it->second.nth == count)
        return it->second.status;
    return 0;
}

NotesHandle open(Object object)
{
    NotesHandle handle = nextHandle++;
    objects[handle] = object;
    return handle;
}

Object *find(NotesHandle handle, Kind kind)
{
    auto it = objects.find(handle);
    if (it == objects.end() || it->second.kind != kind)
        return NULL;
    return &it->second;
}

NotesHandle memoryHandle(const void *data, size_t size)
{
    Object object{KIND_MEMORY, "", 0, std::vector<char>((const char *)data, (const char *)data + size), 0};
    return open(object);
}

// Copies text into a buffer of size bytes the way a careless callee might:
// as much as fits, terminated only when there is room for it.
uint16_t copyOut(char *target, uint16_t size, const std::string &text)
{
    size_t n = std::min<size_t>(text.size(), size);
    memcpy(target, text.data(), n);
    if (n < size)
        target[n] = '\0';
    return (uint16_t)n;
}

// The database or directory a network path names.
bool resolvePath(const std::string &path, std::string *found, bool *directory)
{
    size_t bang = path.find("!!");
    std::string server = bang == std::string::npos ? "" : path.substr(0, bang);
    std::string file = bang == std::string::npos ? path : path.substr(bang + 2);
    std::string k = key(server, file);
    *found = k;
    if (databases.count(k)) {
        *directory = false;
        return true;
    }
    *directory = true;
    return file.empty() || directories.count(k) > 0;
}

Database *databaseOf(NotesHandle handle)
{
    Object *object = find(handle, KIND_DATABASE);
    return object ? &databases[object->key] : NULL;
}

void dropId(Ids &ids, NotesNoteId id)
{
    ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
}

// A summary item table: total length, item count, the name and value lengths
// of each item, then each name followed by its value (type word and text).
std::vector<char> summary(const std::vector<std::pair<std::string, std::string>> &items)
{
    std::vector<char> names, table(4 + 4 * items.size());
    for (size_t i = 0; i < items.size(); i++) {
        uint16_t nameLength = (uint16_t)items[i].first.size();
        uint16_t valueLength = (uint16_t)(2 + items[i].second.size());
        memcpy(&table[4 + 4 * i], &nameLength, 2);
        memcpy(&table[6 + 4 * i], &valueLength, 2);
        names.insert(names.end(), items[i].first.begin(), items[i].first.end());
        uint16_t type = NOTES_TEXT_TYPE;
        names.insert(names.end(), (char *)&type, (char *)&type + 2);
        names.insert(names.end(), items[i].second.begin(), items[i].second.end());
    }
    table.insert(table.end(), names.begin(), names.end());
    uint16_t total = (uint16_t)table.size(), count = (uint16_t)items.size();
    memcpy(&table[0], &total, 2);
    memcpy(&table[2], &count, 2);
    return table;
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        load();
    return TRUE;
}

// --- What the tests read ---------------------------------------------------------------

__declspec(dllexport) const char *standinLog(void)
{
    return callLog.c_str();
}
__declspec(dllexport) void standinReset(void)
{
    load();
}
// Handles given out and not yet closed or freed (databases, directories,
// collections, notes, memory).
__declspec(dllexport) int standinOpenHandles(void)
{
    return (int)objects.size();
}
// NotesInitExtended calls not yet ended by NotesTerm.
__declspec(dllexport) int standinSessions(void)
{
    return sessions;
}
// The environment as the last call left it.
__declspec(dllexport) const char *standinEnvironment(const char *name)
{
    static std::string value;
    auto it = environment.find(name);
    value = it == environment.end() ? "<unset>" : it->second;
    return value.c_str();
}
// Whether a note is still in a database (a deletion removes it).
__declspec(dllexport) int standinNoteExists(const char *server, const char *file, NotesNoteId id)
{
    auto it = databases.find(key(server, file));
    return it != databases.end() && it->second.notes.count(id) > 0;
}

// --- Session -------------------------------------------------------------------------------

__declspec(dllexport) NotesStatus WINAPI NotesInitExtended(int count, char **arguments)
{
    note("NotesInitExtended:" + std::to_string(count) + ":" + (count > 0 && arguments[0] ? arguments[0] : "")
         + (count > 0 && arguments[1] == NULL ? ":end" : ":no end"));
    if (NotesStatus failed = scripted("NotesInitExtended"))
        return failed;
    sessions++;
    return 0;
}

__declspec(dllexport) void WINAPI NotesTerm(void)
{
    note("NotesTerm");
    sessions--;
}

__declspec(dllexport) int WINAPI OSGetEnvironmentString(const char *name, char *value, uint16_t size)
{
    note(std::string("OSGetEnvironmentString:") + name + ":" + std::to_string(size));
    auto it = environment.find(name);
    bool status = environmentStyle == "status";
    if (scripted("OSGetEnvironmentString") || size == 0)
        return status ? ERR_NOT_FOUND : FALSE;
    if (it == environment.end()) {
        if (environmentStyle != "empty")
            return status ? ERR_NOT_FOUND : FALSE;
        value[0] = '\0';
        return TRUE;
    }
    size_t n = std::min<size_t>(it->second.size(), size - 1u);
    memcpy(value, it->second.data(), n);
    value[n] = '\0';
    return status ? 0 : TRUE;
}

__declspec(dllexport) void WINAPI OSSetEnvironmentVariable(const char *name, const char *value)
{
    note(std::string("OSSetEnvironmentVariable:") + name + ":" + value);
    environment[name] = value;
}

__declspec(dllexport) uint16_t WINAPI OSGetDataDirectory(char *path)
{
    note("OSGetDataDirectory");
    strcpy(path, dataDirectory.c_str());
    return (uint16_t)dataDirectory.size();
}

__declspec(dllexport) uint16_t WINAPI OSLoadString(void *module, NotesStatus code, char *text, uint16_t size)
{
    note("OSLoadString:" + std::to_string(code));
    return copyOut(text, size, "Notes error " + std::to_string(code));
}

// --- Names ----------------------------------------------------------------------------------

__declspec(dllexport) NotesStatus WINAPI
    REGGetIDInfo(char *idFile, uint16_t item, void *result, uint16_t size, uint16_t *length)
{
    note(std::string("REGGetIDInfo:") + idFile + ":" + std::to_string(item));
    if (NotesStatus failed = scripted("REGGetIDInfo"))
        return failed;
    auto it = idFiles.find(lower(idFile));
    if (it == idFiles.end() || item != 7)
        return ERR_NO_ID;
    uint16_t n = copyOut((char *)result, size, it->second);
    if (length)
        *length = n;
    return 0;
}

static NotesStatus convertName(const char *call, const char *name, char *result, uint16_t size,
                               uint16_t *length, const std::string &converted)
{
    note(std::string(call) + ":" + name);
    if (NotesStatus failed = scripted(call))
        return failed;
    if (size == 0)
        return ERR_BAD_HANDLE;
    size_t n = std::min<size_t>(converted.size(), size - 1u);
    memcpy(result, converted.data(), n);
    result[n] = '\0';
    if (length)
        *length = (uint16_t)n;
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI
    DNCanonicalize(uint32_t flags, const char *templateName, const char *name, char *result, uint16_t size,
                   uint16_t *length)
{
    return convertName("DNCanonicalize", name, result, size, length, canonical(name));
}

__declspec(dllexport) NotesStatus WINAPI
    DNAbbreviate(uint32_t flags, const char *templateName, const char *name, char *result, uint16_t size,
                 uint16_t *length)
{
    return convertName("DNAbbreviate", name, result, size, length, abbreviated(name));
}

// --- Paths and databases -------------------------------------------------------------------

__declspec(dllexport) NotesStatus WINAPI
    OSPathNetConstruct(const char *port, const char *server, const char *file, char *path)
{
    note(std::string("OSPathNetConstruct:") + (port ? port : "<none>") + ":" + server + ":" + file);
    if (NotesStatus failed = scripted("OSPathNetConstruct"))
        return failed;
    std::string result = server[0] ? std::string(server) + "!!" + file : std::string(file);
    // Paths are held in 256 bytes by the interface.
    if (result.size() > 255)
        return ERR_PATH_TOO_LONG;
    strcpy(path, result.c_str());
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI
    OSPathNetParse(const char *path, char *port, char *server, char *file)
{
    note(std::string("OSPathNetParse:") + path);
    if (NotesStatus failed = scripted("OSPathNetParse"))
        return failed;
    std::string text = path;
    size_t bang = text.find("!!");
    if (port)
        port[0] = '\0';
    if (server)
        strcpy(server, bang == std::string::npos ? "" : text.substr(0, bang).c_str());
    if (file)
        strcpy(file, bang == std::string::npos ? text.c_str() : text.substr(bang + 2).c_str());
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI NSFDbOpen(const char *path, NotesHandle *database)
{
    note(std::string("NSFDbOpen:") + path);
    if (NotesStatus failed = scripted("NSFDbOpen"))
        return failed;
    std::string found;
    bool directory = false;
    if (!resolvePath(path, &found, &directory))
        return ERR_NOT_FOUND;
    *database = open(Object{directory ? KIND_DIRECTORY : KIND_DATABASE, found, 0, {}, 0});
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI NSFDbClose(NotesHandle database)
{
    note("NSFDbClose");
    auto it = objects.find(database);
    if (it == objects.end() || (it->second.kind != KIND_DATABASE && it->second.kind != KIND_DIRECTORY))
        return ERR_BAD_HANDLE;
    objects.erase(it);
    return 0;
}

// --- Views -------------------------------------------------------------------------------------

__declspec(dllexport) NotesStatus WINAPI
    NIFFindDesignNote(NotesHandle database, const char *name, uint16_t noteClass, NotesNoteId *result)
{
    note(std::string("NIFFindDesignNote:") + name + ":" + std::to_string(noteClass));
    if (NotesStatus failed = scripted("NIFFindDesignNote"))
        return failed;
    Database *db = databaseOf(database);
    if (!db || noteClass != 8)
        return ERR_BAD_HANDLE;
    auto it = db->views.find(lower(name));
    if (it == db->views.end())
        return ERR_NOT_FOUND;
    *result = 0x1000 + (NotesNoteId)std::distance(db->views.begin(), it);
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI
    NIFOpenCollection(NotesHandle viewDatabase, NotesHandle dataDatabase, NotesNoteId view, uint16_t flags,
                      NotesHandle unreadList, NotesHandle *collection, NotesHandle *viewNote, void *viewUnid,
                      NotesHandle *collapsedList, NotesHandle *selectedList)
{
    note("NIFOpenCollection:" + std::to_string(view - 0x1000) + ":" + std::to_string(flags)
         + (viewNote || viewUnid || collapsedList || selectedList ? ":extra" : ""));
    if (NotesStatus failed = scripted("NIFOpenCollection"))
        return failed;
    Object *db = find(viewDatabase, KIND_DATABASE);
    if (!db)
        return ERR_BAD_HANDLE;
    *collection = open(Object{KIND_COLLECTION, db->key, view, {}, 0});
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI
    NIFReadEntries(NotesHandle collection, NotesCollectionPosition *position, uint16_t skipNavigator,
                   uint32_t skipCount, uint16_t returnNavigator, uint32_t returnCount, uint32_t returnMask,
                   NotesHandle *buffer, uint16_t *bufferLength, uint32_t *skipped, uint32_t *returned,
                   uint16_t *signalFlags)
{
    char args[128];
    snprintf(args, sizeof args, "NIFReadEntries:%u/%u:%u/%u:%u:%u", skipNavigator, skipCount, returnNavigator,
             returnCount, returnMask, position ? position->level : 99);
    note(args);
    if (NotesStatus failed = scripted("NIFReadEntries"))
        return failed;
    Object *view = find(collection, KIND_COLLECTION);
    if (!view)
        return ERR_BAD_HANDLE;
    Database &db = databases[view->key];
    auto it = db.views.begin();
    std::advance(it, view->id - 0x1000);
    const Ids &ids = it->second;
    *buffer = ids.empty() ? 0 : memoryHandle(ids.data(), ids.size() * sizeof(NotesNoteId));
    if (bufferLength)
        *bufferLength = (uint16_t)std::min<size_t>(0xFFFF, ids.size() * sizeof(NotesNoteId));
    if (skipped)
        *skipped = 0;
    if (returned)
        *returned = (uint32_t)ids.size();
    if (signalFlags)
        *signalFlags = 0;
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI NIFCloseCollection(NotesHandle collection)
{
    note("NIFCloseCollection");
    return objects.erase(collection) ? 0 : ERR_BAD_HANDLE;
}

// --- Unread state -----------------------------------------------------------------------------

__declspec(dllexport) NotesStatus WINAPI
    NSFDbGetUnreadNoteTable(NotesHandle database, char *userName, uint16_t length, int create,
                            NotesHandle *table)
{
    std::string user(userName, length);
    note("NSFDbGetUnreadNoteTable:" + user + ":" + std::to_string(create));
    if (NotesStatus failed = scripted("NSFDbGetUnreadNoteTable"))
        return failed;
    Database *db = databaseOf(database);
    if (!db)
        return ERR_BAD_HANDLE;
    Ids ids;
    auto it = db->unread.find(user);
    if (it != db->unread.end()) {
        ids = it->second;
    } else if (create) {
        for (auto &n : db->notes) // a new table: nothing read yet
            ids.push_back(n.first);
    } else {
        return ERR_NOT_FOUND;
    }
    *table = memoryHandle(ids.data(), ids.size() * sizeof(NotesNoteId));
    return 0;
}

__declspec(dllexport) int WINAPI IDIsPresent(NotesHandle table, NotesNoteId id)
{
    Object *object = find(table, KIND_MEMORY);
    if (!object)
        return FALSE;
    const NotesNoteId *ids = (const NotesNoteId *)object->memory.data();
    return std::find(ids, ids + object->memory.size() / sizeof(NotesNoteId), id)
           != ids + object->memory.size() / sizeof(NotesNoteId);
}

// --- Notes --------------------------------------------------------------------------------------

__declspec(dllexport) NotesStatus WINAPI
    NSFNoteOpen(NotesHandle database, NotesNoteId id, uint16_t flags, NotesHandle *result)
{
    note("NSFNoteOpen:" + std::to_string(id));
    if (NotesStatus failed = scripted("NSFNoteOpen"))
        return failed;
    Object *db = find(database, KIND_DATABASE);
    if (!db)
        return ERR_BAD_HANDLE;
    Database &data = databases[db->key];
    bool isDocument = false;
    for (const Document &d : data.documents)
        isDocument = isDocument || d.id == id;
    if (!data.notes.count(id) && !isDocument)
        return ERR_NOTE_MISSING;
    *result = open(Object{KIND_NOTE, db->key, id, {}, 0});
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI NSFNoteClose(NotesHandle handle)
{
    note("NSFNoteClose");
    if (!find(handle, KIND_NOTE))
        return ERR_BAD_HANDLE;
    objects.erase(handle);
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI NSFNoteDelete(NotesHandle database, NotesNoteId id, uint16_t flags)
{
    note("NSFNoteDelete:" + std::to_string(id));
    if (NotesStatus failed = scripted("NSFNoteDelete"))
        return failed;
    Database *db = databaseOf(database);
    if (!db || !db->notes.erase(id))
        return ERR_NOTE_MISSING;
    for (auto &view : db->views)
        dropId(view.second, id);
    for (auto &table : db->unread)
        dropId(table.second, id);
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI
    MailGetMessageItem(NotesHandle handle, uint16_t item, char *text, uint16_t size, uint16_t *length)
{
    if (NotesStatus failed = scripted("MailGetMessageItem"))
        return failed;
    Object *object = find(handle, KIND_NOTE);
    if (!object)
        return ERR_BAD_HANDLE;
    const Note &n = databases[object->key].notes[object->id];
    std::string value = item == 2 ? n.from : item == 3 ? n.subject : "";
    *length = copyOut(text, size, value);
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI
    MailGetMessageItemTimeDate(NotesHandle handle, uint16_t item, NotesTimeDate *result)
{
    if (NotesStatus failed = scripted("MailGetMessageItemTimeDate"))
        return failed;
    Object *object = find(handle, KIND_NOTE);
    if (!object || item != 16)
        return ERR_BAD_HANDLE;
    result->innards[0] = databases[object->key].notes[object->id].time;
    result->innards[1] = 0;
    return 0;
}

// Mode 1 (Notes text to the native character set) copies the text as it is.
__declspec(dllexport) uint16_t WINAPI
    OSTranslate(uint16_t mode, const char *in, uint16_t inLength, char *out, uint16_t outLength)
{
    if (mode != 1)
        note("OSTranslate:mode " + std::to_string(mode));
    uint16_t n = std::min(inLength, outLength);
    memcpy(out, in, n);
    return n;
}

__declspec(dllexport) int WINAPI TimeDateCompare(const NotesTimeDate *a, const NotesTimeDate *b)
{
    if (a->innards[1] != b->innards[1])
        return a->innards[1] > b->innards[1] ? 1 : -1;
    if (a->innards[0] != b->innards[0])
        return a->innards[0] > b->innards[0] ? 1 : -1;
    return 0;
}

// --- Memory --------------------------------------------------------------------------------------

__declspec(dllexport) void *WINAPI OSLockObject(NotesHandle handle)
{
    Object *object = find(handle, KIND_MEMORY);
    if (!object)
        return NULL;
    object->locks++;
    return object->memory.data();
}

__declspec(dllexport) int WINAPI OSUnlockObject(NotesHandle handle)
{
    Object *object = find(handle, KIND_MEMORY);
    if (!object || object->locks == 0)
        return FALSE;
    object->locks--;
    return TRUE;
}

__declspec(dllexport) NotesStatus WINAPI OSMemFree(NotesHandle handle)
{
    Object *object = find(handle, KIND_MEMORY);
    if (!object)
        return ERR_BAD_HANDLE;
    if (object->locks)
        note("OSMemFree:still locked");
    objects.erase(handle);
    return 0;
}

// --- Enumeration ------------------------------------------------------------------------------------

__declspec(dllexport) NotesStatus WINAPI
    NAMEGetAddressBooks(const char *server, uint16_t options, uint16_t *count, uint16_t *length,
                        NotesHandle *books)
{
    note(std::string("NAMEGetAddressBooks:") + (server ? server : "<none>") + ":" + std::to_string(options));
    if (NotesStatus failed = scripted("NAMEGetAddressBooks"))
        return failed;
    std::string block;
    for (const std::string &path : addressBooks)
        block += path + '\0';
    *count = (uint16_t)addressBooks.size();
    *length = (uint16_t)block.size();
    *books = memoryHandle(block.data(), block.size());
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI
    NSFSearch(NotesHandle database, NotesHandle formula, char *viewTitle, uint16_t flags,
              uint16_t noteClassMask, NotesTimeDate *since, NotesSearchProc routine, void *parameter,
              NotesTimeDate *until)
{
    note("NSFSearch:" + std::to_string(flags) + ":" + std::to_string(noteClassMask));
    if (NotesStatus failed = scripted("NSFSearch"))
        return failed;
    auto it = objects.find(database);
    if (it == objects.end())
        return ERR_BAD_HANDLE;
    NotesSearchMatch match;
    memset(&match, 0, sizeof match);
    if (it->second.kind == KIND_DATABASE) {
        std::vector<Document> documents = databases[it->second.key].documents;
        for (const Document &d : documents) {
            match.noteId = d.id;
            std::vector<char> empty = summary({});
            if (NotesStatus stop = routine(parameter, &match, empty.data()))
                return stop;
        }
        return 0;
    }
    if (it->second.kind != KIND_DIRECTORY)
        return ERR_BAD_HANDLE;
    // The directory's own entries: subdirectories first, then databases.
    std::string prefix = it->second.key;
    if (prefix.size() > 2 && prefix.compare(prefix.size() - 2, 2, "!!") != 0)
        prefix += "\\";
    std::vector<std::vector<std::pair<std::string, std::string>>> entries;
    for (const std::string &dir : directories)
        if (dir.compare(0, prefix.size(), prefix) == 0 && dir.size() > prefix.size()
            && dir.find('\\', prefix.size()) == std::string::npos)
            entries.push_back({{"$Title", dir.substr(prefix.size())}, {"$Type", "$DIRECTORY"}});
    for (const auto &db : databases)
        if (db.first.compare(0, prefix.size(), prefix) == 0
            && db.first.find('\\', prefix.size()) == std::string::npos)
            entries.push_back({{"$Title", db.first.substr(prefix.size())},
                               {"$Type", "$NOTEFILE"},
                               {"$Info", db.second.title + "\n#1\n"}});
    for (const auto &entry : entries) {
        std::vector<char> table = summary(entry);
        if (NotesStatus stop = routine(parameter, &match, table.data()))
            return stop;
    }
    return 0;
}

__declspec(dllexport) NotesStatus WINAPI
    NSFItemScan(NotesHandle handle, NotesItemScanProc routine, void *parameter)
{
    note("NSFItemScan");
    if (NotesStatus failed = scripted("NSFItemScan"))
        return failed;
    Object *object = find(handle, KIND_NOTE);
    if (!object)
        return ERR_BAD_HANDLE;
    for (const Document &d : databases[object->key].documents) {
        if (d.id != object->id)
            continue;
        for (const auto &item : d.items) {
            std::vector<char> value(2 + item.second.size());
            uint16_t type = NOTES_TEXT_TYPE;
            memcpy(value.data(), &type, 2);
            memcpy(value.data() + 2, item.second.data(), item.second.size());
            std::string name = item.first;
            if (NotesStatus stop = routine(0, 0, &name[0], (uint16_t)name.size(), value.data(),
                                           (uint32_t)value.size(), parameter))
                return stop;
        }
    }
    return 0;
}

} // extern "C"
