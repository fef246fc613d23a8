#!/usr/bin/env python3
"""The command sequence of one Pelimbo poll with UnreadOnly on, sent one
command at a time by a plain blocking client: the yardstick for net_bench.
With "tls" the session is TLS from the first byte, the server's certificate
checked against TRUSTFILE.
    reference_client.py pop3|imap PORT USER POLLS [tls TRUSTFILE]"""
import socket
import ssl
import sys
import time

tls_context = None


def connect(port):
    s = socket.create_connection(("127.0.0.1", port))
    if tls_context:
        s = tls_context.wrap_socket(s, server_hostname="127.0.0.1")
    return s


def poll_pop3(port, user):
    s = connect(port)
    f = s.makefile("rb")
    received = 0

    def line():
        nonlocal received
        got = f.readline()
        received += len(got)
        return got

    def command(text):
        s.sendall(text.encode() + b"\r\n")
        return line()

    line()
    command("USER " + user)
    command("PASS secret")
    total = int(command("STAT").split()[1])
    for n in range(1, total + 1):
        command("TOP %d 0" % n)
        while line() != b".\r\n":
            pass
    command("QUIT")
    s.close()
    return total, received


def poll_imap(port, user):
    s = connect(port)
    f = s.makefile("rb")
    received = 0

    def reply(tag):
        nonlocal received
        lines = []
        while True:
            got = f.readline()
            received += len(got)
            lines.append(got)
            if got.startswith(tag.encode() + b" "):
                return lines

    def command(tag, text):
        s.sendall(("%s %s\r\n" % (tag, text)).encode())
        return reply(tag)

    f.readline()
    tag = 2
    command("A%04d" % tag, 'LOGIN "%s" "secret"' % user)
    tag += 1
    exists = 0
    for l in command("A%04d" % tag, "EXAMINE INBOX"):
        if l.endswith(b" EXISTS\r\n"):
            exists = int(l.split()[1])
    for n in range(1, exists + 1):
        tag += 1
        flags = b"".join(command("A%04d" % tag, "FETCH %d FLAGS" % n))
        if b"\\Seen" not in flags:
            tag += 1
            command("A%04d" % tag, "FETCH %d RFC822.HEADER" % n)
    command("Z9999", "LOGOUT")
    s.close()
    return exists, received


def main():
    global tls_context
    proto, port, user, polls = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
    if sys.argv[5:6] == ["tls"]:
        tls_context = ssl.create_default_context(cafile=sys.argv[6])
        tls_context.minimum_version = tls_context.maximum_version = ssl.TLSVersion.TLSv1_2
    best = None
    for i in range(polls):
        start = time.perf_counter()
        count, received = (poll_imap if proto == "imap" else poll_pop3)(port, user)
        took = time.perf_counter() - start
        best = took if best is None else min(best, took)
        print("poll %d: %.3f s, %d messages, %d bytes received" % (i + 1, took, count, received))
    print("best %.3f s" % best)


main()
