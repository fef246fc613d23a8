#!/usr/bin/env python3
"""Stands in for the user's browser in the sign-in tests. Under Wine the
shell's open of an http(s) address reaches winebrowser, which runs the
commands of HKCU\\Software\\Wine\\WineBrowser "Browsers" with the address as
the last argument; the tests point that value at this script:

    browser.py DIR URL

It follows URL to our authorization server (HTTPS, the test CA of DIR), takes
the 302 and requests the loopback redirect address the program listens on, as
a browser does. What the user does is the mode in DIR/browser-mode (its first
word; consent when the file is missing), or PELIMBO_BROWSER_MODE when set:

    consent       signs in and agrees
    deny          declines: the server redirects with error=access_denied
    wrong-state   the redirect arrives with a state the program did not send
    stray         first /favicon.ico and a bare / on the loopback port, then
                  the right redirect
    never         the user closes the browser: nothing is requested

Every step is one JSON line in DIR/browser.log (seq, time, mode, step, url,
status, detail; the code shown as "(code)"); the last line of a run has
step "done". Only loopback addresses are ever requested.
"""
import http.client
import json
import os
import re
import ssl
import sys
import time
import urllib.parse

MODES = ("consent", "deny", "wrong-state", "stray", "never")
LOOPBACK = ("127.0.0.1", "localhost")


class Browser:
    def __init__(self, directory):
        self.directory = directory
        self.log_path = os.path.join(directory, "browser.log")
        self.mode = os.environ.get("PELIMBO_BROWSER_MODE") or self.mode_file() or "consent"

    def mode_file(self):
        try:
            with open(os.path.join(self.directory, "browser-mode")) as f:
                return (f.read().split() or [""])[0]
        except OSError:
            return ""

    def log(self, step, url=None, status=None, detail=None):
        try:
            with open(self.log_path) as f:
                seq = sum(1 for _ in f) + 1
        except OSError:
            seq = 1
        shown = re.sub(r"([?&]code=)[^&]*", r"\1(code)", url) if url else url
        line = {"seq": seq, "time": round(time.time(), 3), "mode": self.mode, "step": step, "url": shown,
                "status": status, "detail": detail}
        with open(self.log_path, "a") as f:
            f.write(json.dumps(line, separators=(",", ":")) + "\n")

    def get(self, step, url):
        """One GET to a loopback address; the status, or None when it failed."""
        parts = urllib.parse.urlsplit(url)
        if parts.hostname not in LOOPBACK or parts.scheme not in ("http", "https"):
            self.log(step, url, None, "not a loopback address: not requested")
            return None, None
        if parts.scheme == "https":
            context = ssl.create_default_context(cafile=os.path.join(self.directory, "tls", "ca.pem"))
            connection = http.client.HTTPSConnection(parts.hostname, parts.port or 443, context=context,
                                                     timeout=10)
        else:
            connection = http.client.HTTPConnection(parts.hostname, parts.port or 80, timeout=10)
        target = parts.path or "/"
        if parts.query:
            target += "?" + parts.query
        try:
            connection.request("GET", target, headers={"User-Agent": "PelimboTestBrowser/1"})
            reply = connection.getresponse()
            body = reply.read(4096).decode("utf-8", "replace")
            location = reply.getheader("Location")
            self.log(step, url, reply.status, location and re.sub(r"([?&]code=)[^&]*", r"\1(code)", location)
                     or body[:200])
            return reply.status, location
        except (OSError, http.client.HTTPException) as e:
            self.log(step, url, None, "%s: %s" % (type(e).__name__, e))
            return None, None
        finally:
            connection.close()

    def run(self, url):
        self.log("open", url, None, None if self.mode in MODES else "unknown mode")
        if self.mode == "never" or self.mode not in MODES:
            return
        if self.mode == "deny":
            url += ("&" if "?" in url else "?") + "consent=deny"
        status, location = self.get("authorize", url)
        if status != 302 or not location:
            return
        if self.mode == "wrong-state":
            location = re.sub(r"([?&]state=)[^&]*", r"\1forged", location)
        if self.mode == "stray":
            parts = urllib.parse.urlsplit(location)
            origin = "%s://%s" % (parts.scheme, parts.netloc)
            self.get("stray", origin + "/favicon.ico")
            self.get("stray", origin + "/")
        self.get("redirect", location)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    # Started by Wine with the test program's descriptors: let go of them at
    # once, so nothing waits on a pipe this script holds.
    devnull = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(devnull, fd)
    browser = Browser(os.path.abspath(sys.argv[1]))
    try:
        browser.run(sys.argv[2])
    finally:
        browser.log("done")


if __name__ == "__main__":
    main()
