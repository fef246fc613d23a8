// The mail-file source taking up what its last reading left: a grown mailbox
// read from its old end, unchanged message files not read again, and each
// fall-back to a whole reading. Two copies of the program state ("worlds")
// poll the same files through the poll cycle's measure rule: one as the
// program does, one whose clock passes an hour between polls, so that every
// reading it makes reads every file from its start. After each step both must
// publish the same records, counts, decision and sounds. The files are built
// from real mail of the fetched corpora, changed by seeded random steps.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/core.h"
#include "mail/mailscan.h"
#include "poll/pollcycle.h"
#include "sources/sources.h"
#include "tests/fakes/recording_frontend.h"
#include "tests/mail/mail_fixture.h"
#include "tests/mail/memory_files.h"

namespace
{

const uint64_t MINUTE_MS = 60 * 1000;
const uint64_t TWO_HOURS_MS = 2 * 60 * 60 * 1000;
const char MMDF_SEPARATOR[] = "\x01\x01\x01\x01\n";

// The real mail of one fetched corpus: every message file of its folders, in
// name order. Empty when the corpus has not been fetched.
std::vector<std::string> corpusMessages(const std::string &group)
{
    namespace fs = std::filesystem;
    std::string root = PELIMBO_TEST_MAIL_DIR;
    std::vector<std::string> folders;
    if (group == "debian") {
        folders = {root + "/debian/root/usr/lib/python3/dist-packages/flufl/bounce/tests/data"};
        std::error_code error;
        for (const auto &lib : fs::directory_iterator(root + "/debian/root/usr/lib", error))
            if (lib.path().filename().string().rfind("python3.", 0) == 0)
                folders.push_back(lib.path().string() + "/test/test_email/data");
    } else {
        folders = {root + "/spam-assassin/package/data/" + group};
    }
    std::vector<std::string> paths;
    for (const std::string &folder : folders) {
        std::error_code error;
        for (const auto &entry : fs::directory_iterator(folder, error))
            if (entry.path().extension() == ".txt")
                paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> out;
    for (const std::string &path : paths) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::string message = text.str();
        if (!message.empty() && message.back() != '\n')
            message += '\n';
        out.push_back(message);
    }
    return out;
}

// One copy of everything a poll reads and changes.
struct World {
    NotifierState notifier;
    MailState mail;
    MemoryFiles files;
    std::vector<std::string> calls;
};

std::string soundName(const WavBaseEntry *entry)
{
    if (entry == NO_SOUND)
        return "-";
    if (!entry)
        return "default";
    return "#" + std::to_string(entry - config.wavBaseList.entries);
}

std::string utf8(const WideChar *text)
{
    char out[4 * HEADER_TEXT_SIZE];
    size_t units = 0;
    while (text[units])
        units++;
    wideToUtf8(text, units, out, sizeof out);
    return out;
}

void collectSound(const char *file, void *context)
{
    *(std::string *)context += std::string(" ") + file;
}

class TakenUpReadings : public MailTest
{
  protected:
    void SetUp() override
    {
        MailTest::SetUp();
        spare = mail;
        for (World *w : {&program, &whole}) {
            mail = MailState{};
            ASSERT_TRUE(allocateMailBuffers());
            w->mail = mail;
            w->notifier = NotifierState{};
            w->notifier.clearItem = MENU_CLEAR;
            w->notifier.clearGrayed = true;
        }
        mail = spare;
        resetFakeFrontEnd();
        installMailFileLayer(&memoryFileLayer);
        config.settings.MessageSource = SOURCE_DISK_FILE;
        config.settings.SoundOption = SOUND_WAVBASE;
        config.settings.WAVOnce = true;
        copyText(config.settings.WAVBaseDefault, "default.wav");
        setSounds({{"e", "e.wav", MATCH_FROM},
                   {"you", "you.wav", MATCH_SUBJECT},
                   {"list", "list.wav", MATCH_EITHER}});
    }

    void TearDown() override
    {
        for (World *w : {&program, &whole}) {
            enter(*w);
            freeMailBuffers();
            leave(*w);
        }
        mail = spare;
        installMailFileLayer(nullptr);
        memoryFiles = nullptr;
        config.mailPath = nullptr;
        MailTest::TearDown();
    }

    void enter(World &w)
    {
        notifier = w.notifier;
        mail = w.mail;
        frontLog.swap(w.calls);
        memoryFiles = &w.files;
    }

    void leave(World &w)
    {
        w.notifier = notifier;
        w.mail = mail;
        frontLog.swap(w.calls);
    }

    // The same change of the files in both worlds.
    void change(const std::function<void(MemoryFiles &)> &edit)
    {
        edit(program.files);
        edit(whole.files);
    }

    // One poll moment in both worlds; the program's clock moves a minute, the
    // other's two hours.
    void poll()
    {
        program.files.clock += MINUTE_MS;
        whole.files.clock += TWO_HOURS_MS;
        for (World *w : {&program, &whole}) {
            enter(*w);
            if (mail.fileMemory)
                mail.fileMemory->last = MailFileReading{};
            notifier.pollInProgress = false;
            pollMailFileSource();
            leave(*w);
        }
    }

    // How the program's last reading went (all zero when it made none).
    MailFileReading programReading()
    {
        return program.mail.fileMemory ? program.mail.fileMemory->last : MailFileReading{};
    }

    // Everything a poll shows: counts, decision, the shown records, the sounds
    // a notification would play, the front end's calls and the files left.
    std::string published(World &w)
    {
        enter(w);
        std::string out =
            "count " + std::to_string(notifier.headerCount) + " shown " + std::to_string(notifier.shownCount)
            + " decision " + std::to_string(notifier.lastDecision) + " have "
            + std::to_string(notifier.haveMail) + " measure " + std::to_string(notifier.mailMeasure)
            + " item " + std::to_string(notifier.clearItem) + std::to_string(notifier.clearGrayed)
            + " latest " + std::to_string(mail.latestFileDate) + "/" + std::to_string(mail.latestFileTime)
            + "\n";
        for (int i = 0; i < notifier.shownCount; i++) {
            const MessageHeader &h = mail.shownHeaders[i];
            out += std::to_string(h.index) + " " + std::to_string(h.sortKey) + " " + soundName(h.soundEntry)
                   + " " + h.from + " | " + h.subject + " | " + utf8(mail.shownWide[i].from) + " | "
                   + utf8(mail.shownWide[i].subject) + "\n";
        }
        std::string sounds;
        planWavBaseSounds(notifier.shownCount, collectSound, &sounds);
        out += "sounds:" + sounds + "\n";
        for (const std::string &call : frontLog)
            if (call.rfind("havemail", 0) == 0 || call.rfind("nomail", 0) == 0 || call.rfind("error", 0) == 0
                || call.rfind("ask", 0) == 0)
                out += call + "\n";
        frontLog.clear();
        for (const auto &file : memoryFiles->files)
            out += "file " + file.first + "\n";
        leave(w);
        return out;
    }

    void expectSame(const std::string &context)
    {
        std::string a = published(program), b = published(whole);
        ASSERT_EQ(a, b) << context;
    }

    // The corpus's messages, or a skipped test (a failure under CI) without them.
    void loadCorpus(const std::string &group, std::vector<std::string> *messages)
    {
        *messages = corpusMessages(group);
        if (messages->size() >= 100)
            return;
        if (getenv("CI") && strcmp(getenv("CI"), "true") == 0)
            FAIL() << "the real mail is missing (tools/fetch-test-mail)";
        GTEST_SKIP() << "the real mail has not been fetched (tools/fetch-test-mail)";
    }

    // The corpus and the settings of a run; false when the test cannot run.
    bool prepare(const char *group, const char *path, bool unreadOnly,
                 std::vector<std::tuple<std::string, uint8_t, uint8_t>> filters,
                 std::vector<std::string> *corpus)
    {
        loadCorpus(group, corpus);
        if (IsSkipped() || HasFailure())
            return false;
        config.settings.UnreadOnly = unreadOnly;
        config.settings.UseFilters = !filters.empty();
        setFilters(filters);
        config.mailPath = path;
        return true;
    }

    World program, whole;
    MailState spare;
};

// --- A mailbox ---------------------------------------------------------------------------

struct MailboxRun {
    const char *group;
    bool mmdf;
    bool crlf;
    bool unreadOnly;
    bool filters;
    unsigned seed;
    int steps;
};

// Builds and changes one mailbox the way mail programs and readers do.
class MailboxSteps
{
  public:
    MailboxSteps(const MailboxRun &run, const std::vector<std::string> &corpus)
        : run(run), corpus(corpus), random(run.seed)
    {
    }

    // A corpus message as the mailbox holds it, often with a read mark.
    std::string message()
    {
        std::string text = corpus[pick(corpus.size())];
        bool envelope = text.rfind("From ", 0) == 0;
        size_t body = envelope ? text.find('\n') + 1 : 0;
        std::string status;
        int mark = pick(10);
        if (mark < 3)
            status = "Status: O\n";
        else if (mark < 5)
            status = "Status: RO\n";
        std::string headers = status + text.substr(body);
        std::string out;
        if (run.mmdf)
            out = MMDF_SEPARATOR + headers + MMDF_SEPARATOR;
        else
            out = (envelope ? text.substr(0, body) : "From corpus@example.org Sat Jan  1 00:00:00 2000\n")
                  + headers + "\n";
        if (run.crlf)
            for (size_t at = out.find('\n'); at != std::string::npos; at = out.find('\n', at + 2))
                out.replace(at, 1, "\r\n");
        return out;
    }

    // Where the messages start (in an MMDF file every other separator line
    // closes a message).
    std::vector<size_t> starts() const
    {
        std::vector<size_t> out;
        const std::string separator = run.mmdf ? "\x01\x01\x01\x01" : "From ";
        int seen = 0;
        for (size_t at = 0; (at = box.find(separator, at)) != std::string::npos; at += separator.size())
            if ((at == 0 || box[at - 1] == '\n') && (!run.mmdf || seen++ % 2 == 0))
                out.push_back(at);
        return out;
    }

    // One random step; returns what it did.
    std::string step(uint64_t &time, bool &newFile, bool &gone)
    {
        newFile = false;
        gone = false;
        time += 60;
        int kind = pick(100);
        if (!pendingRest.empty() && kind < 60) {
            box += pendingRest;
            pendingRest.clear();
            return "append the rest";
        }
        if (kind < 40) {
            int count = 1 + pick(3);
            for (int i = 0; i < count; i++)
                box += message();
            return "append " + std::to_string(count);
        }
        if (kind < 48) {
            std::string m = message();
            size_t cut = 1 + pick(m.size() - 1);
            box += m.substr(0, cut);
            pendingRest = m.substr(cut);
            return "append part";
        }
        if (kind < 52) {
            box += pick(2) ? "\n" : "more body text\n";
            return "append a little";
        }
        if (kind < 66)
            return flipStatus() ? "flip a Status in place" : "flip nothing";
        if (kind < 72) {
            std::vector<size_t> s = starts();
            if (s.empty())
                return "no message";
            size_t at = s[pick(s.size())];
            size_t line = box.find('\n', at);
            if (line == std::string::npos)
                return "no line";
            box.insert(line + 1, run.crlf ? "Status: RO\r\n" : "Status: RO\n");
            return "insert a Status";
        }
        if (kind < 76) {
            size_t at = box.find("\nStatus: ", pick(box.size() + 1));
            if (at == std::string::npos)
                return "no Status";
            size_t end = box.find('\n', at + 1);
            box.erase(at + 1, end - at);
            return "remove a Status";
        }
        if (kind < 80) {
            // The last messages deleted.
            std::vector<size_t> s = starts();
            if (s.size() < 4)
                return "too short";
            box.resize(s[s.size() - 1 - pick(3)]);
            pendingRest.clear();
            return "truncate at a message";
        }
        if (kind < 82) {
            box.resize(box.size() - pick(box.size() / 10 + 1));
            pendingRest.clear();
            return "truncate anywhere";
        }
        if (kind < 88) {
            // A reader's rewrite: some messages gone, the rest in a new file.
            std::vector<size_t> s = starts();
            s.push_back(box.size());
            std::string rewritten;
            for (size_t i = 0; i + 1 < s.size(); i++)
                if (pick(10) != 0)
                    rewritten += box.substr(s[i], s[i + 1] - s[i]);
            box = rewritten;
            pendingRest.clear();
            newFile = true;
            return "rewrite";
        }
        if (kind < 93)
            return "touch";
        if (kind < 94) {
            gone = true;
            box.clear();
            pendingRest.clear();
            return "remove the file";
        }
        time -= 60;
        return "nothing";
    }

    bool flipStatus()
    {
        std::vector<size_t> found;
        for (size_t at = 0; (at = box.find("\nStatus: ", at)) != std::string::npos; at += 9)
            if (at + 10 < box.size() && (box[at + 9] == 'O' || box[at + 9] == 'R') && isWhite(box[at + 10]))
                found.push_back(at + 9);
        if (found.empty())
            return false;
        size_t at = found[pick(found.size())];
        box[at] = box[at] == 'O' ? 'R' : 'O';
        return true;
    }

    int pick(size_t n)
    {
        return n == 0 ? 0 : (int)(random() % n);
    }

    const MailboxRun &run;
    const std::vector<std::string> &corpus;
    std::mt19937 random;
    std::string box;
    std::string pendingRest;
};

class MailboxEquivalence : public TakenUpReadings, public ::testing::WithParamInterface<MailboxRun>
{
};

TEST_P(MailboxEquivalence, TakenUpReadingsPublishWhatWholeReadingsPublish)
{
    const MailboxRun &run = GetParam();
    std::vector<std::string> corpus;
    std::vector<std::tuple<std::string, uint8_t, uint8_t>> filters;
    if (run.filters)
        filters = {{"re:", FILTER_IGNORE, MATCH_SUBJECT}, {"linux", FILTER_IGNORE, MATCH_FROM}};
    if (!prepare(run.group, "M:\\inbox", run.unreadOnly, filters, &corpus))
        return;

    MailboxSteps steps(run, corpus);
    uint64_t time = 86400 * 400;
    while (steps.box.size() < 4 * MAIL_FILE_TAIL_SIZE)
        steps.box += steps.message();
    change([&](MemoryFiles &f) { f.write("inbox", steps.box, time); });
    poll();
    expectSame("first reading");

    int resumed = 0, readings = 0;
    for (int i = 0; i < run.steps; i++) {
        bool newFile, gone;
        std::string what = steps.step(time, newFile, gone);
        if (i == run.steps / 2) {
            // The list of filters is read again, with other entries.
            setFilters({{"money", FILTER_IGNORE, MATCH_EITHER}, {"re:", FILTER_IGNORE, MATCH_SUBJECT}});
            what += ", other filters";
        }
        change([&](MemoryFiles &f) {
            if (gone)
                f.files.erase("inbox");
            else
                f.write("inbox", steps.box, time, newFile);
        });
        uint64_t before = program.files.bytesRead;
        poll();
        if (program.files.bytesRead != before)
            readings++;
        resumed += programReading().resumed;
        expectSame("seed " + std::to_string(run.seed) + ", step " + std::to_string(i) + ": " + what);
        if (HasFatalFailure())
            return;
    }
    // The runs that read every message must have taken the mailbox up often.
    if (run.unreadOnly)
        EXPECT_GT(resumed, readings / 4) << resumed << " of " << readings << " readings taken up";
}

INSTANTIATE_TEST_SUITE_P(Corpora, MailboxEquivalence,
                         ::testing::Values(MailboxRun{"easy-ham-1", false, false, true, false, 1, 200},
                                           MailboxRun{"spam-1", false, false, true, true, 2, 200},
                                           MailboxRun{"easy-ham-2", true, false, true, true, 3, 120},
                                           MailboxRun{"debian", false, true, true, false, 4, 120},
                                           MailboxRun{"easy-ham-1", false, false, false, true, 5, 60}));

// --- A directory of message files ----------------------------------------------------------

struct DirectoryRun {
    const char *group;
    bool unreadOnly;
    bool filters;
    unsigned seed;
    int files;
    int steps;
};

class DirectoryEquivalence : public TakenUpReadings, public ::testing::WithParamInterface<DirectoryRun>
{
};

TEST_P(DirectoryEquivalence, UnchangedFilesGiveWhatReadingThemGives)
{
    const DirectoryRun &run = GetParam();
    std::vector<std::string> corpus;
    std::vector<std::tuple<std::string, uint8_t, uint8_t>> filters;
    if (run.filters)
        filters = {{"free", FILTER_DELETE, MATCH_EITHER}, {"re:", FILTER_IGNORE, MATCH_SUBJECT}};
    if (!prepare(run.group, "M:\\*.CNM", run.unreadOnly, filters, &corpus))
        return;
    std::mt19937 random(run.seed);
    auto pick = [&](size_t n) { return n == 0 ? 0 : (int)(random() % n); };
    int nextName = 0;

    // A message file as a new-mail directory holds it: mostly one message,
    // sometimes a small mailbox, a file of no known layout or a tiny one.
    auto content = [&]() {
        std::string text = corpus[pick(corpus.size())];
        if (text.rfind("From ", 0) == 0 && pick(8) != 0)
            text = text.substr(text.find('\n') + 1);
        int kind = pick(20);
        if (kind == 0)
            return std::string("hello\nworld\n");
        if (kind == 1)
            return std::string("abc");
        if (kind == 2)
            return "From a@x Mon Jan  1 00:00:00 2001\n" + text + "\nFrom b@x Mon Jan  1 00:00:00 2001\n"
                   + text;
        if (kind < 8)
            return "X-PMFLAGS: " + std::string(pick(2) ? "130" : "000") + "\n" + text;
        return text;
    };
    auto names = [&](MemoryFiles &f) {
        std::vector<std::string> out;
        for (const auto &file : f.files)
            out.push_back(file.first);
        return out;
    };

    uint64_t time = 86400 * 400;
    for (int i = 0; i < run.files; i++) {
        std::string name = std::to_string(1000 + nextName++) + ".CNM", text = content();
        change([&](MemoryFiles &f) { f.write(name, text, time + i); });
    }
    poll();
    expectSame("first reading");

    int kept = 0;
    for (int i = 0; i < run.steps; i++) {
        time += 60;
        std::vector<std::string> present = names(program.files);
        std::string victim = present.empty() ? "" : present[pick(present.size())];
        int kind = pick(100);
        std::string what;
        if (kind < 30 || victim.empty()) {
            int count = 1 + pick(3);
            for (int n = 0; n < count; n++) {
                std::string name = std::to_string(1000 + nextName++) + ".CNM", text = content();
                change([&](MemoryFiles &f) { f.write(name, text, time + n); });
            }
            what = "add " + std::to_string(count);
        } else if (kind < 42) {
            change([&](MemoryFiles &f) { f.files.erase(victim); });
            what = "delete " + victim;
        } else if (kind < 54) {
            std::string text = content();
            change([&](MemoryFiles &f) { f.write(victim, text, time); });
            what = "change " + victim;
        } else if (kind < 64) {
            // The reader marks a message read: the same size, a new time.
            std::string text = program.files.files[victim].data;
            size_t at = text.find("X-PMFLAGS: ");
            if (at != std::string::npos)
                text.replace(at + 11, 3, text.compare(at + 11, 3, "130") == 0 ? "000" : "130");
            change([&](MemoryFiles &f) { f.write(victim, text, time); });
            what = "mark " + victim;
        } else if (kind < 72) {
            change([&](MemoryFiles &f) { f.files[victim].writeTime = time; });
            what = "touch " + victim;
        } else if (kind < 82 && victim[0] != '!') {
            change([&](MemoryFiles &f) {
                MemoryFile file = f.files[victim];
                f.files.erase(victim);
                f.files["!" + victim] = file;
            });
            what = "seen " + victim;
        } else if (kind < 85) {
            setFilters({{"money", FILTER_IGNORE, MATCH_EITHER}});
            what = "other filters";
        } else {
            what = "nothing";
        }
        poll();
        kept += programReading().filesKept;
        expectSame("seed " + std::to_string(run.seed) + ", step " + std::to_string(i) + ": " + what);
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(kept, run.steps * run.files / 4) << "files kept";
}

INSTANTIATE_TEST_SUITE_P(Corpora, DirectoryEquivalence,
                         ::testing::Values(DirectoryRun{"easy-ham-2", true, false, 11, 30, 100},
                                           DirectoryRun{"spam-1", false, true, 12, 30, 100},
                                           DirectoryRun{"debian", true, true, 13, 120, 60}));

// --- The fall-backs ------------------------------------------------------------------------

// A mailbox of several corpus messages, longer than the compared tail, polled
// once; then one change, the append of one message and a poll.
TEST_F(TakenUpReadings, EachDoubtReadsTheWholeMailbox)
{
    std::vector<std::string> corpus;
    if (!prepare("easy-ham-1", "M:\\inbox", true, {}, &corpus))
        return;
    auto message = [&](size_t i) { return corpus[i] + "\n"; };

    struct Case {
        const char *name;
        std::function<void(std::string &box, uint64_t &time, bool &newFile)> change;
        bool takenUp;
    } cases[] = {
        {"nothing but the append", [](std::string &, uint64_t &, bool &) {}, true},
        {"a byte changed in the compared tail",
         [](std::string &box, uint64_t &, bool &) { box[box.size() - 30] ^= 1; }, false},
        {"no separator at the old end", [](std::string &box, uint64_t &, bool &) { box += "more body\n"; },
         false},
        {"the file is shorter", [](std::string &box, uint64_t &, bool &) { box.resize(box.size() / 2); },
         false},
        {"another file under the same name", [](std::string &, uint64_t &, bool &newFile) { newFile = true; },
         false},
        {"an earlier write time", [](std::string &, uint64_t &time, bool &) { time -= 600; }, false},
        {"other filters",
         [this](std::string &, uint64_t &, bool &) {
             config.settings.UseFilters = true;
             setFilters({{"money", FILTER_IGNORE, MATCH_EITHER}});
         },
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        prepare("easy-ham-1", "M:\\inbox", true, {}, &corpus);
        std::string box;
        for (size_t i = 0; box.size() < 3 * MAIL_FILE_TAIL_SIZE; i++)
            box += message(i);
        uint64_t time = 86400 * 400;
        change([&](MemoryFiles &f) { f.write("inbox", box, time); });
        poll();
        bool newFile = false;
        time += 60;
        c.change(box, time, newFile);
        box += message(corpus.size() - 1);
        change([&](MemoryFiles &f) { f.write("inbox", box, time, newFile); });
        poll();
        EXPECT_EQ(programReading().resumed, c.takenUp);
        if (c.takenUp) { // the tail compared, the message, the new tail kept
            EXPECT_LT(programReading().bytesRead,
                      2 * MAIL_FILE_TAIL_SIZE + message(corpus.size() - 1).size() + 8);
        }
        expectSame(c.name);
    }
}

// A read mark rewritten in place before the compared tail, seen by a poll
// before the next append, makes that append's reading whole. One rewritten in
// the same poll interval as an append is missed, as the measure rule misses a
// rewrite that does not grow the file, until the first reading an hour after
// the last whole one.
TEST_F(TakenUpReadings, ARewriteInPlaceIsTakenInByAWholeReading)
{
    std::vector<std::string> corpus;
    if (!prepare("easy-ham-1", "M:\\inbox", true, {}, &corpus))
        return;
    std::string box = corpus[0].substr(0, corpus[0].find('\n') + 1) + "Status: O\n"
                      + corpus[0].substr(corpus[0].find('\n') + 1) + "\n";
    for (size_t i = 1; box.size() < 3 * MAIL_FILE_TAIL_SIZE; i++)
        box += corpus[i] + "\n";
    uint64_t time = 86400 * 400;
    auto write = [&]() { change([&](MemoryFiles &f) { f.write("inbox", box, time); }); };
    write();
    poll();
    size_t mark = box.find("Status: O") + 8;

    // Seen by a poll on its own (the size did not change: nothing is read).
    box[mark] = 'R';
    time += 60;
    write();
    poll();
    box += corpus[100] + "\n";
    time += 60;
    write();
    poll();
    EXPECT_FALSE(programReading().resumed);
    expectSame("a rewrite seen on its own");

    // In the same interval as an append: the reading is taken up and misses it.
    box[mark] = 'O';
    box += corpus[101] + "\n";
    time += 60;
    write();
    poll();
    EXPECT_TRUE(programReading().resumed);
    EXPECT_NE(published(program), published(whole));

    // An hour on, the next reading is whole again.
    program.files.clock += 60 * MINUTE_MS;
    box += corpus[102] + "\n";
    time += 60;
    write();
    poll();
    EXPECT_FALSE(programReading().resumed);
    expectSame("the first reading an hour on");
}

} // namespace
