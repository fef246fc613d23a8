#!/usr/bin/env python3
"""Real mail nobody here wrote, read twice: by the mail-file source (through
mailfile_dump under Wine) and by Python's mailbox and email modules. The
message counts must be equal and every From and Subject must agree, except
for differences that the source's own display and decoding rules explain.
Each allowed difference is named below and counted in the report.

usage: mailfile_corpus.py --data DIR --work DIR -- DUMP-COMMAND...

Exit status 0 when everything agrees, 1 on a difference no rule explains,
77 (a skipped test) when the fetched data is missing, except under CI.
"""
import argparse
import collections
import email.header
import email.utils
import glob
import json
import mailbox
import os
import re
import subprocess
import sys

BOX_SIZE = 100          # the header list holds 100 records
TEXT_LIMIT = 55         # display texts are cut to 55 characters
LINE_LIMIT = 255        # a mail-file line is read in pieces of 255 characters


def skip_or_fail(message):
    if os.environ.get("CI") == "true":
        print("FAILED: " + message, file=sys.stderr)
        sys.exit(1)
    print("SKIPPED: " + message, file=sys.stderr)
    sys.exit(77)


def corpus_messages(data):
    """(group, bytes) of every message of the fetched corpora, in a fixed order."""
    sa = os.path.join(data, "spam-assassin")
    deb = os.path.join(data, "debian")
    if not os.path.exists(os.path.join(sa, ".done")) or not os.path.exists(os.path.join(deb, ".done")):
        skip_or_fail("real mail not fetched (tools/fetch-test-mail)")
    out = []
    for group in ("easy-ham-1", "easy-ham-2", "spam-1"):
        for path in sorted(glob.glob(os.path.join(sa, "package", "data", group, "*.json"))):
            with open(path, encoding="utf-8") as f:
                text = json.load(f)["text"]
            try:
                raw = text.encode("latin-1")
            except UnicodeEncodeError:
                raw = text.encode("utf-8", "surrogateescape")
            out.append((group, raw))
    for pattern in ("usr/lib/python3/dist-packages/flufl/bounce/tests/data/*.txt",
                    "usr/lib/python3*/test/test_email/data/msg_*.txt"):
        for path in sorted(glob.glob(os.path.join(deb, "root", pattern))):
            with open(path, "rb") as f:
                out.append(("debian", f.read()))
    if not out:
        skip_or_fail("the fetched data holds no messages")
    return out


def build_mailboxes(messages, work):
    """Unix mailboxes of at most BOX_SIZE messages, written by Python's mailbox."""
    boxes = os.path.join(work, "boxes")
    os.makedirs(boxes, exist_ok=True)
    for old in glob.glob(os.path.join(boxes, "*.mbox")):
        os.remove(old)
    groups = collections.OrderedDict()
    for group, raw in messages:
        groups.setdefault(group, []).append(raw)
    paths = []
    for group, items in groups.items():
        for start in range(0, len(items), BOX_SIZE):
            path = os.path.join(boxes, "%s-%03d.mbox" % (group, start // BOX_SIZE))
            box = mailbox.mbox(path, create=True)
            box.lock()
            for raw in items[start:start + BOX_SIZE]:
                box.add(raw.replace(b"\r\n", b"\n"))
            box.flush()
            box.unlock()
            box.close()
            paths.append(path)
    return paths


def readable(text):
    """Python keeps raw 8-bit header bytes as surrogate escapes; like the
    source, read them as UTF-8 when they are valid UTF-8, else as the ANSI
    code page the tests run with (1252)."""
    if isinstance(text, str):
        if not re.search("[\udc80-\udcff]", text):
            return text
        text = text.encode("utf-8", "surrogateescape")
    try:
        return text.decode("utf-8")
    except UnicodeDecodeError:
        return text.decode("cp1252", "replace")


def skeleton(text):
    """Letters and digits in any script, lower case: what both readers must agree on."""
    return "".join(c for c in readable(text).lower() if c.isalnum())


def decoded(value):
    try:
        return readable(str(email.header.make_header(email.header.decode_header(value))))
    except Exception:
        return readable(value)


def header_lines(raw):
    """The unfolded lines of the header block, as the lines of the file hold them."""
    lines = []
    for line in raw.split(b"\n"):
        line = line.rstrip(b"\r")
        if not line.strip():
            break
        if line[:1] in (b" ", b"\t") and lines:
            lines[-1] += b" " + line.strip()
        else:
            lines.append(line)
    return lines


def status_drops(raw):
    """Reading only unread mail, the first line beginning "Status:" decides,
    wherever it stands in the message, and a capital R in it means read."""
    for line in raw.split(b"\n"):
        if line.startswith(b"Status:"):
            return b"R" in line[7:]
    return False


def python_view(box_path):
    box = mailbox.mbox(box_path)
    out = []
    for key in box.iterkeys():
        raw = box.get_bytes(key)
        msg = box.get_message(key)
        out.append({"raw": raw, "from": msg.get("From"), "subject": msg.get("Subject"),
                    "read": status_drops(raw)})
    box.close()
    return out


def from_candidates(value):
    """The texts a From display may rightly be: the name, the address, a comment, the whole value."""
    text = decoded(str(value))
    name, address = email.utils.parseaddr(text)
    found = [name, address, text]
    comment = re.search(r"\(+\s*([^)]*)\)", text)
    if comment:
        found.append(comment.group(1))            # a parenthesised comment wins
    bracket = re.match(r'\s*"?([^"<]*)"?\s*<', text)
    if bracket:
        found.append(bracket.group(1))            # the text before the angle brackets
    quoted = re.match(r'\s*"([^"]*)', text)
    if quoted:
        found.append(quoted.group(1))             # a quoted name without its closing quote
    return found


def raw_field(raw, name):
    """The value of the first line beginning with name exactly, or None."""
    for line in header_lines(raw):
        if line.startswith(name):
            return line[len(name):].strip()
    return None


def explain(field, ours, theirs, raw):
    """None when ours agrees with Python's reading; else the name of the rule
    that explains the difference, or "UNEXPLAINED"."""
    placeholder = {"From": "<no from>", "Subject": "<no subject>"}[field]
    exact = raw_field(raw, (field + ":").encode())
    if theirs is None:
        if ours == placeholder:
            return None
        if exact is not None:
            # Python's parser ended the header block at a malformed line; the
            # source reads header lines until the first blank line.
            return "header after a malformed line"
        return "UNEXPLAINED"
    if ours == placeholder:
        if exact is None:
            any_case = [l for l in header_lines(raw) if l.lower().startswith(field.lower().encode() + b":")]
            if any_case:
                return "field name in another case (names are compared case-sensitively)"
            return "header outside the block Python reads"
        return "UNEXPLAINED"
    # Every character counts, in every script: the Subject as Python decodes
    # it (cut to the display limit), the From as one of its readings.
    mine = skeleton(ours)
    candidates = from_candidates(theirs) if field == "From" else [decoded(str(theirs))]
    if exact is not None and b"=?" not in exact:
        # Raw 8-bit text that Python keeps only as "unknown-8bit" (and shows
        # as replacement characters): its bytes, read by the same rule.
        candidates += from_candidates(readable(exact)) if field == "From" else [readable(exact)]
    for text in candidates:
        if same_text(ours, text):
            return None
        full = skeleton(text)
        if mine == full or (mine and len(ours) >= TEXT_LIMIT - 1 and full.startswith(mine)):
            return None
    raw_value = exact if exact is not None else b""
    if all("=?" in text for text in candidates[:1]) and "=?" not in ours:
        # Python gives up on the whole value when one word is malformed (here
        # a "?" inside a Q-encoded word); the source decodes what it can.
        return "malformed encoded word Python leaves undecoded"
    if len(raw_value) > LINE_LIMIT - len(field) - 2 and skeleton(raw_value).startswith(mine):
        return "value longer than one line of the file"
    return "UNEXPLAINED"


def same_text(ours, expected):
    """Equal after white space is collapsed, ours possibly cut at the display
    limit (55 UTF-16 units; a character outside the BMP counts two)."""
    a = " ".join(ours.split())
    b = " ".join(expected.split())
    units = len(ours.encode("utf-16-le")) // 2
    return a == b or (units >= TEXT_LIMIT - 1 and b.startswith(a))


def read_ours(path):
    boxes = collections.OrderedDict()
    current = None
    with open(path, "rb") as f:
        for line in f:
            line = line.rstrip(b"\r\n")
            if line.startswith(b"mailbox "):
                _, name, count = line.split(b" ")
                current = boxes.setdefault(name.decode(), {"count": int(count), "headers": []})
            else:
                index, sender, subject = line.split(b"\t")
                current["headers"].append((int(index), bytes.fromhex(sender.decode()).decode("utf-8"),
                                           bytes.fromhex(subject.decode()).decode("utf-8")))
    return boxes


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--data", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--show", type=int, default=3, help="examples shown per difference")
    parser.add_argument("dump", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    dump = args.dump[1:] if args.dump[:1] == ["--"] else args.dump

    messages = corpus_messages(args.data)
    os.makedirs(args.work, exist_ok=True)
    paths = build_mailboxes(messages, args.work)
    ours_path = os.path.join(args.work, "ours.txt")
    result = subprocess.run(dump + [windows_path(ours_path)] + [windows_path(p) for p in paths])
    if result.returncode != 0:
        print("mailfile_dump failed with status %d" % result.returncode)
        return 1
    ours = read_ours(ours_path)

    explained = collections.Counter()
    examples = collections.defaultdict(list)
    failures = 0
    total = 0
    for path in paths:
        name = os.path.basename(path)
        theirs = [m for m in python_view(path) if not m["read"]]
        mine = ours.get(name)
        if mine is None or mine["count"] != len(theirs) or len(mine["headers"]) != len(theirs):
            print("%s: %s messages here, %d by Python" % (name, mine and mine["count"], len(theirs)))
            failures += 1
            continue
        total += len(theirs)
        for (index, sender, subject), message in zip(mine["headers"], theirs):
            for field, value, other in (("From", sender, message["from"]), ("Subject", subject, message["subject"])):
                reason = explain(field, value, other, message["raw"])
                if reason is None:
                    continue
                explained[(field, reason)] += 1
                if len(examples[(field, reason)]) < args.show:
                    examples[(field, reason)].append("%s #%d: ours %r, Python %r" % (name, index, value, other))
                if reason == "UNEXPLAINED":
                    failures += 1

    print("%d mailboxes, %d messages; counts agree in every mailbox" % (len(paths), total)
          if failures == 0 or all(k[1] == "UNEXPLAINED" for k in explained) else "")
    for (field, reason), count in sorted(explained.items()):
        print("%-7s %5d  %s" % (field, count, reason))
        for line in examples[(field, reason)]:
            print("          " + line)
    if failures:
        print("FAILED: %d differences no rule explains" % failures)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
