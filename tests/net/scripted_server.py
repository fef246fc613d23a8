#!/usr/bin/env python3
"""Scripted POP3 and IMAP4 servers on the loopback interface, for the edge
cases a real server does not produce on demand. The login name picks the
behaviour of the conversation:

    bytewise   every reply goes out one byte per TCP segment
    huge       the first message's header is longer than 65535 bytes
    hangup     the connection is closed right after the message count
    drop       the connection is closed as soon as the login name arrives
    tagsplit   IMAP4: every tagged status line is cut inside its tag
    anything   an ordinary server

    scripted_server.py start|stop DIR [POP3PORT IMAP4PORT]
"""
import os
import signal
import socket
import socketserver
import sys
import threading
import time


def header(n, subject=None):
    return ("Received: from relay by mx; Mon, 7 Dec 2026 10:%02d:00 +0000\r\n"
            "From: \"Scripted %d\" <s%d@example.org>\r\n"
            "Subject: %s\r\n" % (n, n, n, subject or "Scripted message %d" % n)).encode()


MESSAGES = [header(1), header(2), header(3)]
HUGE = b"X-Padding: " + b"p" * 70000 + b"\r\n"


class Conversation(socketserver.BaseRequestHandler):
    mode = "plain"

    def setup(self):
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.file = self.request.makefile("rb")
        self.mode = "plain"

    def write(self, data):
        if self.mode == "bytewise":
            for i in range(len(data)):
                self.request.sendall(data[i:i + 1])
                time.sleep(0.0005)
        else:
            self.request.sendall(data)

    def messages(self):
        if self.mode == "huge":
            return [header(1) + HUGE, header(2)]
        return MESSAGES


class Pop3(Conversation):
    def handle(self):
        self.write(b"+OK scripted POP3 ready\r\n")
        for raw in self.file:
            line = raw.decode("latin-1").rstrip("\r\n")
            verb, _, arg = line.partition(" ")
            verb = verb.upper()
            if verb == "USER":
                self.mode = arg
                if self.mode == "drop":
                    return
                self.write(b"+OK\r\n")
            elif verb == "PASS":
                self.write(b"+OK logged in\r\n")
            elif verb == "STAT":
                self.write(b"+OK %d 1000\r\n" % len(self.messages()))
                if self.mode == "hangup":
                    return
            elif verb == "TOP":
                n = int(arg.split()[0])
                self.write(b"+OK\r\n" + self.messages()[n - 1] + b"\r\n.\r\n")
            elif verb == "QUIT":
                self.write(b"+OK bye\r\n")
                return
            else:
                self.write(b"-ERR unknown\r\n")


class Imap4(Conversation):
    def tagged(self, tag, text):
        line = ("%s %s\r\n" % (tag, text)).encode()
        if self.mode == "tagsplit":
            self.request.sendall(line[:3])
            time.sleep(0.05)
            self.request.sendall(line[3:])
        else:
            self.write(line)

    def handle(self):
        self.write(b"* OK [CAPABILITY IMAP4rev1 LITERAL+ SASL-IR LOGIN-REFERRALS ID ENABLE IDLE "
                   b"AUTH=PLAIN AUTH=LOGIN] scripted IMAP4 ready\r\n")
        for raw in self.file:
            line = raw.decode("latin-1").rstrip("\r\n")
            tag, _, rest = line.partition(" ")
            words = rest.split()
            verb = words[0].upper() if words else ""
            if verb == "LOGIN":
                self.mode = words[1].strip('"')
                if self.mode == "drop":
                    return
                self.tagged(tag, "OK [CAPABILITY IMAP4rev1 SORT THREAD=REFERENCES MULTIAPPEND UNSELECT "
                                 "CHILDREN NAMESPACE UIDPLUS LIST-EXTENDED I18NLEVEL=1 CONDSTORE QRESYNC] Logged in")
            elif verb in ("SELECT", "EXAMINE"):
                self.write(b"* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)\r\n"
                           b"* %d EXISTS\r\n* 0 RECENT\r\n" % len(self.messages()))
                if self.mode == "hangup":
                    return
                self.tagged(tag, "OK [READ-ONLY] Examine completed")
            elif verb == "FETCH" and words[2].upper() == "FLAGS":
                self.write(b"* %s FETCH (FLAGS ())\r\n" % words[1].encode())
                self.tagged(tag, "OK Fetch completed")
            elif verb == "FETCH":
                n = int(words[1])
                block = self.messages()[n - 1] + b"\r\n"
                self.write(b"* %d FETCH (RFC822.HEADER {%d}\r\n" % (n, len(block)) + block + b")\r\n")
                self.tagged(tag, "OK Fetch completed")
            elif verb == "LOGOUT":
                self.write(b"* BYE logging out\r\n")
                self.tagged(tag, "OK Logout completed")
                return
            else:
                self.tagged(tag, "BAD unknown command")


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


STOP_SIGNALS = [signal.SIGTERM, signal.SIGINT]


def run_fixture(command, directory, make_servers, ready_text):
    """start|stop the servers of a test fixture. start forks a detached
    process that runs the servers make_servers() returns until SIGTERM, and
    returns once they listen; its pid and a ready mark live in directory."""
    os.makedirs(directory, exist_ok=True)
    pid_file = os.path.join(directory, "server.pid")
    ready = os.path.join(directory, "ready")
    if command == "stop":
        try:
            os.kill(int(open(pid_file).read()), signal.SIGTERM)
        except (OSError, ValueError):
            pass
        for path in (pid_file, ready):
            if os.path.exists(path):
                os.remove(path)
        return
    if os.path.exists(ready):
        os.remove(ready)
    pid = os.fork()
    if pid == 0:
        os.setsid()
        devnull = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(devnull, fd)
        signal.pthread_sigmask(signal.SIG_BLOCK, STOP_SIGNALS)
        for server in make_servers():
            threading.Thread(target=server.serve_forever, daemon=True).start()
        with open(ready, "w") as f:
            f.write("ready\n")
        signal.sigwait(STOP_SIGNALS)
        os._exit(0)
    with open(pid_file, "w") as f:
        f.write(str(pid))
    for _ in range(100):
        if os.path.exists(ready):
            print(ready_text)
            return
        time.sleep(0.05)
    sys.exit("%s: did not start" % ready_text)


def main():
    command, directory = sys.argv[1], sys.argv[2]
    pop3_port = int(sys.argv[3]) if len(sys.argv) > 3 else 21310
    imap_port = int(sys.argv[4]) if len(sys.argv) > 4 else 21343
    run_fixture(command, directory,
                lambda: [Server(("127.0.0.1", pop3_port), Pop3), Server(("127.0.0.1", imap_port), Imap4)],
                "scripted servers ready: POP3 %d IMAP4 %d" % (pop3_port, imap_port))


if __name__ == "__main__":
    main()
