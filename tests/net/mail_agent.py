#!/usr/bin/env python3
"""Another mail client beside the one under test: the Windows test programs
ask it, over a line on a loopback port, to change the private Dovecot's
mailboxes as a user's other program would (Python's imaplib), or to stop and
start Dovecot under a watching connection. Wine runs no Linux program itself,
so this is how a test reaches them.

    mail_agent.py start|stop DIR DOVECOT_DIR [AGENT_PORT IMAP4_PORT]

Requests (one line each, answered "OK" or "ERR reason"):
    APPEND USER SUBJECT...   a new unread message at the end of INBOX
    EXPUNGE USER N           message N deleted and expunged
    SEEN USER N              message N marked \\Seen
    EMPTY USER               every message of INBOX expunged
    DOVECOT stop|start       the server stopped, or started again with its
                             configuration and mail as they were
"""
import email.utils
import imaplib
import os
import signal
import socketserver
import subprocess
import sys
import time

from scripted_server import STOP_SIGNALS, Server, run_fixture

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def unblock_signals():
    signal.pthread_sigmask(signal.SIG_UNBLOCK, STOP_SIGNALS)


class Agent(socketserver.StreamRequestHandler):
    dovecot = None
    imap_port = 21143

    def imap(self, user):
        client = imaplib.IMAP4("127.0.0.1", self.imap_port)
        client.login(user, "secret")
        client.select("INBOX")
        return client

    def append(self, user, subject):
        message = ("Received: from agent by mx; %s\r\nFrom: \"Other Client\" <other@example.org>\r\n"
                   "Subject: %s\r\nMessage-ID: <%s@agent>\r\n\r\nAppended by another client.\r\n"
                   % (email.utils.formatdate(), subject, time.time())).encode()
        client = self.imap(user)
        client.append("INBOX", None, None, message)
        client.logout()

    def store(self, user, number, flag, expunge):
        client = self.imap(user)
        client.store(number, "+FLAGS", flag)
        if expunge:
            client.expunge()
        client.logout()

    def handle(self):
        for raw in self.rfile:
            words = raw.decode("latin-1").strip().split(" ", 2)
            try:
                if words[0] == "APPEND":
                    self.append(words[1], words[2] if len(words) > 2 else "Appended")
                elif words[0] == "EXPUNGE":
                    self.store(words[1], words[2], "(\\Deleted)", True)
                elif words[0] == "SEEN":
                    self.store(words[1], words[2], "(\\Seen)", False)
                elif words[0] == "EMPTY":
                    client = self.imap(words[1])
                    if int(client.select("INBOX")[1][0]) > 0:
                        client.store("1:*", "+FLAGS", "(\\Deleted)")
                        client.expunge()
                    client.logout()
                elif words[0] == "DOVECOT" and words[1] in ("stop", "start"):
                    command = "stop" if words[1] == "stop" else "start-again"
                    # The agent waits for its signals with them blocked; a
                    # Dovecot started from here must not inherit that, or it
                    # would never hear the stop.
                    subprocess.run([os.path.join(ROOT, "tools", "dovecot-ctl"), command, self.dovecot],
                                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   preexec_fn=unblock_signals)
                else:
                    raise ValueError("unknown request")
                reply = "OK"
            except Exception as error:  # the test shows what went wrong
                reply = "ERR %s" % error
            self.wfile.write((reply + "\r\n").encode())
            self.wfile.flush()


def main():
    command, directory = sys.argv[1], sys.argv[2]
    if command == "start":
        Agent.dovecot = sys.argv[3]
    port = int(sys.argv[4]) if len(sys.argv) > 4 else 21390
    Agent.imap_port = int(sys.argv[5]) if len(sys.argv) > 5 else 21143
    run_fixture(command, directory, lambda: [Server(("127.0.0.1", port), Agent)], "mail agent ready on %d" % port)


main()
