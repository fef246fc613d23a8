// The summary of a server directory's entry, as the database browser reads
// it: which entries become databases or directories, and damaged tables.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "sources/notes_summary.h"

namespace
{

using Items = std::vector<std::pair<std::string, std::string>>;

void putWord(std::string &s, size_t at, size_t value)
{
    uint16_t word = (uint16_t)value;
    memcpy(&s[at], &word, 2);
}

// A well-formed item table; each value gets the text type word.
std::string table(const Items &items)
{
    std::string s(4 + 4 * items.size(), '\0');
    for (size_t i = 0; i < items.size(); i++) {
        putWord(s, 4 + 4 * i, items[i].first.size());
        putWord(s, 6 + 4 * i, items[i].second.size() + 2);
        s += items[i].first + std::string("\x00\x05", 2) + items[i].second;
    }
    putWord(s, 0, s.size());
    putWord(s, 2, items.size());
    return s;
}

// What the sink received, one line per entry.
std::vector<std::string> read(const std::string &summary, bool *ok = nullptr)
{
    std::vector<std::string> out;
    NotesEntrySink sink;
    sink.addDirectory = [](void *c, const char *name) {
        static_cast<std::vector<std::string> *>(c)->push_back(std::string("dir ") + name);
    };
    sink.addDatabase = [](void *c, const char *title, const char *file) {
        static_cast<std::vector<std::string> *>(c)->push_back(std::string("db ") + title + " = "
                                                              + (file ? file : "<none>"));
    };
    sink.context = &out;
    // Copied to a buffer of its own size, so the sanitizer sees any read past it.
    std::vector<char> copy(summary.begin(), summary.end());
    bool result = readNotesDirectoryEntry(copy.data(), copy.size(), &sink);
    if (ok)
        *ok = result;
    return out;
}

using Lines = std::vector<std::string>;

TEST(NotesSummary, EntriesOfADirectory)
{
    struct Case {
        Items items;
        Lines expected;
    };
    const Case cases[] = {
        {{{"$Title", "ann.nsf"}, {"$Type", "$NOTEFILE"}, {"$Info", "Ann's mail\n#1"}},
         {"db Ann's mail = ann.nsf"}},
        {{{"$Title", "mail"}, {"$Type", "$DIRECTORY"}}, {"dir mail"}},
        {{{"$TITLE", "x.nsf"}, {"$type", "$notefile"}, {"$INFO", "Title\r\nrest"}}, {"db Title = x.nsf"}},
        // No database block before the information: no file name.
        {{{"$Title", "x.nsf"}, {"$Info", "Orphan"}}, {"db Orphan = <none>"}},
        {{{"$Other", "y"}, {"$Title", "sub"}, {"$Type", "$DIR"}}, {"dir sub"}},
        {{}, {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, read(table(c.items)));
}

TEST(NotesSummary, LongTextsAreCut)
{
    Lines lines = read(table({{"$Title", std::string(300, 't')}, {"$Type", "$DIRECTORY"}}));
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("dir " + std::string(255, 't'), lines[0]);
}

TEST(NotesSummary, DamagedTablesGiveNothing)
{
    std::string good = table({{"$Title", "mail"}, {"$Type", "$DIRECTORY"}});
    bool ok = true;

    std::string shortTotal = good;
    putWord(shortTotal, 0, good.size() - 1); // the last item runs past the stated end
    EXPECT_TRUE(read(shortTotal, &ok).empty());
    EXPECT_FALSE(ok);

    std::string manyItems = good;
    putWord(manyItems, 2, 0xFFFF); // more descriptors than the table holds
    EXPECT_TRUE(read(manyItems, &ok).empty());
    EXPECT_FALSE(ok);

    std::string longValue = good;
    putWord(longValue, 6, 0xFFF0);
    EXPECT_TRUE(read(longValue, &ok).empty());

    EXPECT_TRUE(read(good.substr(0, 3), &ok).empty());
    EXPECT_FALSE(ok);
    // A buffer shorter than the stated total is not read past its end.
    EXPECT_TRUE(read(good.substr(0, good.size() - 2), &ok).empty());
    EXPECT_FALSE(ok);

    // A value too short to hold its type word is passed over.
    std::string noType = table({{"$Title", "mail"}, {"$Type", "$DIRECTORY"}});
    putWord(noType, 10, 1);
    noType.erase(noType.size() - 11);
    putWord(noType, 0, noType.size());
    EXPECT_TRUE(read(noType, &ok).empty());
    EXPECT_TRUE(ok);
}

} // namespace
