// Reads mailboxes with the mail-file source and writes what it found, for the
// comparison with an independent mail parser (mailfile_corpus.py).
//   mailfile_dump OUTPUT MAILBOX...
// Each mailbox is polled on its own with UnreadOnly on (so every message of the
// file is read); it must hold at most 100 messages, the size of the header list.
// Output, one line each: "mailbox NAME COUNT", then per header
// "INDEX<TAB>FROM<TAB>SUBJECT" with both wide texts as UTF-8 in hexadecimal.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "mail/mail.h"
#include "core/core.h"
#include "tests/mail/fake_core.h"

static void writeHex(FILE *out, const std::string &text)
{
    for (unsigned char c : text)
        fprintf(out, "%02x", c);
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: mailfile_dump OUTPUT MAILBOX...\n");
        return 2;
    }
    if (!allocateMailBuffers())
        return 1;
    FILE *out = fopen(argv[1], "wb");
    if (!out)
        return 1;
    config.settings.MessageSource = SOURCE_DISK_FILE;
    config.settings.UnreadOnly = true;
    int status = 0;
    for (int i = 2; i < argc; i++) {
        resetFakePoll();
        forgetFileSnapshot();
        mail.latestFileDate = mail.latestFileTime = 0;
        config.mailPath = argv[i];
        pollMailFile();
        if (fakePoll.published != 1 || !fakePoll.errors.empty()) {
            fprintf(stderr, "%s: poll failed%s%s\n", argv[i], fakePoll.errors.empty() ? "" : ": ",
                    fakePoll.errors.empty() ? "" : fakePoll.errors[0].c_str());
            status = 1;
            continue;
        }
        if (fakePoll.lastIndex + 1 > HEADER_SLOTS) {
            fprintf(stderr, "%s: more than %d messages\n", argv[i], HEADER_SLOTS);
            status = 1;
        }
        const char *name = strrchr(argv[i], '\\');
        fprintf(out, "mailbox %s %d\n", name ? name + 1 : argv[i], fakePoll.lastIndex + 1);
        for (const PublishedHeader &h : fakePoll.headers) {
            fprintf(out, "%d\t", h.index);
            writeHex(out, h.fromUtf8);
            fputc('\t', out);
            writeHex(out, h.subjectUtf8);
            fputc('\n', out);
        }
    }
    fclose(out);
    freeMailBuffers();
    return status;
}
