#!/usr/bin/env python3
"""A small OAuth2 authorization server on the loopback interface, for the
sign-in tests. It speaks what a desktop mail program meets at a real provider:

    GET  /authorize    the authorization-code request with PKCE (RFC 6749 4.1,
                       RFC 7636 S256), redirect to http://127.0.0.1:PORT/ (RFC 8252)
    POST /token        grant_type authorization_code and refresh_token, JSON
                       answers, RFC 6749 5.2 error answers
    POST /introspect   RFC 7662, for the oauth2 passdb of the OAuth Dovecot

on two HTTPS listeners: one with a certificate of the test CA, one with a
certificate of a CA nobody trusts (the same endpoints, so a client that does
not check the certificate would be served). A third, plain-HTTP listener
takes the tests' controls. Every request is written to DIR/server.log as one
JSON line; secrets appear there only as serial ids (a1, r2, c3).

    authserver.py serve DIR       run in the foreground (tools/oauth-ctl starts it)
    authserver.py control [name=value ...]
                                  change settings, print them (see README.md)
"""
import base64
import hashlib
import http.client
import http.server
import json
import os
import re
import secrets
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse

TRUSTED_PORT = 21480
UNTRUSTED_PORT = 21481
CONTROL_PORT = 21482
CLIENT_ID = "pelimbo-test"
CLIENT_SECRET = "pelimbo-test-secret"
USERS = ("reader@example.org", "second@example.org")
CODE_LIFETIME = 60
DEFAULTS = {"access_lifetime": 3600, "rotate": True, "require_secret": False, "token_error": ""}

# RFC 7636 4.1: code_verifier = 43*128 unreserved characters; the S256
# challenge is the base64url of a SHA-256, 43 characters without padding.
VERIFIER = re.compile(r"[A-Za-z0-9._~-]{43,128}\Z")
CHALLENGE = re.compile(r"[A-Za-z0-9_-]{43}\Z")
LOOPBACK_REDIRECT = re.compile(r"http://127\.0\.0\.1:([0-9]{1,5})/\Z")
LOG_ORDER = ("listener", "endpoint", "grant_type", "result")


class Refusal(Exception):
    """An RFC 6749 error answer: error code, description, HTTP status."""

    def __init__(self, error, description, status=400):
        super().__init__(description)
        self.error, self.description, self.status = error, description, status


class Store:
    """Codes, tokens, settings and the log, shared by every listener."""

    def __init__(self, directory):
        self.lock = threading.Lock()
        self.log_path = os.path.join(directory, "server.log")
        self.serial = {"c": 0, "a": 0, "r": 0}
        self.seq = 0
        self.reset()

    def reset(self):
        self.settings = dict(DEFAULTS)
        self.codes, self.access, self.refresh = {}, {}, {}
        open(self.log_path, "w").close()

    def new_secret(self, kind, **record):
        self.serial[kind] += 1
        record["id"] = "%s%d" % (kind, self.serial[kind])
        value = "%s-%s" % (kind, secrets.token_urlsafe(24))
        {"c": self.codes, "a": self.access, "r": self.refresh}[kind][value] = record
        return value, record

    def log(self, entry):
        """One JSON line; the keys a test searches for come first, in this order."""
        self.seq += 1
        line = {"seq": self.seq, "time": round(time.time(), 3)}
        for key in LOG_ORDER:
            if key in entry:
                line[key] = entry[key]
        line.update(entry)
        with open(self.log_path, "a") as f:
            f.write(json.dumps(line, separators=(",", ":")) + "\n")


def single_values(query):
    """Form or query parameters, each present at most once (RFC 6749 3.1)."""
    values = {}
    for name, value in urllib.parse.parse_qsl(query, keep_blank_values=True):
        if name in values:
            raise Refusal("invalid_request", "Parameter %s appears more than once" % name)
        values[name] = value
    return values


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "PelimboTestAuth/1"
    protocol_version = "HTTP/1.1"
    timeout = 10

    def log_message(self, *args):
        pass

    def handle(self):
        self.requests = 0
        try:
            super().handle()
        except OSError:
            pass
        if self.requests == 0:
            with self.store.lock:
                self.store.log({"listener": self.server.name, "endpoint": "tls", "result": "no_request"})

    @property
    def store(self):
        return self.server.store

    def answer(self, status, body, content_type, headers=()):
        data = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        self.send_header("Pragma", "no-cache")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def answer_json(self, status, obj, headers=()):
        self.answer(status, json.dumps(obj), "application/json;charset=UTF-8", headers)

    def read_form(self):
        body = self.body.decode("utf-8", "replace")
        kind = (self.headers.get("Content-Type") or "").split(";")[0].strip().lower()
        if kind != "application/x-www-form-urlencoded":
            raise Refusal("invalid_request", "The body must be application/x-www-form-urlencoded")
        return single_values(body)

    def route(self, method):
        url = urllib.parse.urlsplit(self.path)
        endpoint = {"/authorize": "authorize", "/token": "token", "/introspect": "introspect"}.get(url.path)
        entry = {"listener": self.server.name, "endpoint": endpoint or "other", "method": method}
        wanted = {"authorize": "GET", "token": "POST", "introspect": "POST"}.get(endpoint)
        self.requests += 1
        # The body is read before the store is locked: a slow client holds up nobody.
        length = int(self.headers.get("Content-Length") or 0)
        self.body = self.rfile.read(length) if length > 0 else b""
        with self.store.lock:
            if len(self.body) < length:
                # The client went away after the headers: it never sent what
                # the body would have held (a careful client judges the
                # certificate between the two).
                entry.update(result="incomplete_body", received=len(self.body), expected=length)
                self.store.log(entry)
                self.close_connection = True
                return
            if endpoint is None or method != wanted:
                entry.update(result="not_found" if endpoint is None else "method_not_allowed", path=url.path)
                self.store.log(entry)
                self.answer(404 if endpoint is None else 405, "Not here\n", "text/plain")
                return
            getattr(self, endpoint)(url.query, entry)

    def do_GET(self):
        self.route("GET")

    def do_POST(self):
        self.route("POST")

    # --- GET /authorize -------------------------------------------------------------------

    def authorize(self, query, entry):
        try:
            p = single_values(query)
        except Refusal as r:
            entry.update(result=r.error, detail=r.description)
            self.store.log(entry)
            self.answer(400, r.description + "\n", "text/plain")
            return
        entry.update(client_id=p.get("client_id"), redirect_uri=p.get("redirect_uri"), scope=p.get("scope"),
                     state="state" in p, code_challenge_method=p.get("code_challenge_method"))
        # An unknown client or a redirect address that is not ours is shown to
        # the user, never redirected to (RFC 6749 4.1.2.1).
        redirect = p.get("redirect_uri", "")
        port = LOOPBACK_REDIRECT.match(redirect)
        if p.get("client_id") != CLIENT_ID:
            problem = ("invalid_client", "Unknown client_id")
        elif not port or not 0 < int(port.group(1)) < 65536:
            problem = ("invalid_redirect_uri", "redirect_uri must be http://127.0.0.1:PORT/")
        else:
            problem = None
        if problem:
            entry.update(result=problem[0], detail=problem[1])
            self.store.log(entry)
            self.answer(400, problem[1] + "\n", "text/plain")
            return
        user = p.get("login_hint") or USERS[0]
        if p.get("response_type") != "code":
            error = ("unsupported_response_type", "Only response_type=code is supported")
        elif not p.get("scope"):
            error = ("invalid_scope", "A scope is required")
        elif "state" not in p:
            error = ("invalid_request", "A state is required")
        elif p.get("code_challenge_method") != "S256" or not CHALLENGE.match(p.get("code_challenge", "")):
            error = ("invalid_request", "PKCE with code_challenge_method=S256 is required")
        elif user not in USERS:
            error = ("access_denied", "No such account: %s" % user)
        elif p.get("consent", "allow") == "deny":
            error = ("access_denied", "The user declined to sign in")
        else:
            error = None
        answer = {"state": p["state"]} if "state" in p else {}
        if error:
            answer.update(error=error[0], error_description=error[1])
            entry.update(result=error[0], detail=error[1])
        else:
            code, record = self.store.new_secret(
                "c", client_id=CLIENT_ID, redirect_uri=redirect, challenge=p["code_challenge"], user=user,
                scope=p["scope"], expires=time.time() + CODE_LIFETIME)
            answer = dict(code=code, **answer)
            entry.update(result="ok", user=user, code=record["id"])
        self.store.log(entry)
        location = redirect + "?" + urllib.parse.urlencode(answer, quote_via=urllib.parse.quote)
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.send_header("Cache-Control", "no-store")
        self.end_headers()

    # --- POST /token ----------------------------------------------------------------------

    def client_auth(self, form, entry):
        """The client's credentials: HTTP Basic (RFC 6749 2.3.1) or the form."""
        basic = self.headers.get("Authorization", "")
        if basic[:6].lower() == "basic ":
            try:
                pair = base64.b64decode(basic[6:].strip(), validate=True).decode()
                client, secret = (urllib.parse.unquote_plus(part) for part in pair.split(":", 1))
            except (ValueError, UnicodeDecodeError):
                raise Refusal("invalid_client", "Malformed Basic credentials", 401)
            if "client_secret" in form:
                raise Refusal("invalid_request", "Client credentials given twice")
            entry.update(client_auth="basic")
        else:
            client, secret = form.get("client_id"), form.get("client_secret")
            entry.update(client_auth="post" if secret is not None else "none")
        entry.update(client_id=client)
        status = 401 if entry["client_auth"] == "basic" else 400
        if client != CLIENT_ID:
            raise Refusal("invalid_client", "Unknown client", status)
        if secret is not None and secret != CLIENT_SECRET:
            raise Refusal("invalid_client", "Wrong client secret", status)
        if secret is None and self.store.settings["require_secret"]:
            raise Refusal("invalid_client", "This client must authenticate", status)

    def token(self, query, entry):
        try:
            form = self.read_form()
            entry.update(grant_type=form.get("grant_type"))
            self.client_auth(form, entry)
            forced = self.store.settings["token_error"]
            if forced:
                raise Refusal(forced, "Refused by the test's control")
            grant = form.get("grant_type")
            if grant == "authorization_code":
                answer = self.redeem_code(form, entry)
            elif grant == "refresh_token":
                answer = self.redeem_refresh(form, entry)
            else:
                raise Refusal("unsupported_grant_type", "Unsupported grant_type: %s" % grant)
        except Refusal as r:
            entry.update(result=r.error, detail=r.description)
            self.store.log(entry)
            headers = [("WWW-Authenticate", 'Basic realm="token"')] if r.status == 401 else []
            self.answer_json(r.status, {"error": r.error, "error_description": r.description}, headers)
            return
        entry.update(result="ok")
        self.store.log(entry)
        self.answer_json(200, answer)

    def issue(self, user, scope, entry, refresh_record=None):
        lifetime = self.store.settings["access_lifetime"]
        access, record = self.store.new_secret("a", user=user, scope=scope, expires=time.time() + lifetime)
        answer = {"access_token": access, "token_type": "Bearer", "expires_in": lifetime, "scope": scope}
        entry.update(user=user, access=record["id"], expires_in=lifetime)
        if refresh_record is None or self.store.settings["rotate"]:
            refresh, new = self.store.new_secret("r", user=user, scope=scope)
            answer["refresh_token"] = refresh
            entry.update(issued_refresh=new["id"])
            if refresh_record is not None:
                refresh_record["revoked"] = True
        return answer

    def redeem_code(self, form, entry):
        for name in ("code", "redirect_uri", "code_verifier"):
            if not form.get(name):
                raise Refusal("invalid_request", "Missing %s" % name)
        record = self.store.codes.get(form["code"])
        entry.update(code=record["id"] if record else "unknown")
        if record is None:
            raise Refusal("invalid_grant", "Unknown authorization code")
        if record.get("used"):
            raise Refusal("invalid_grant", "The authorization code was already used")
        record["used"] = True
        if time.time() > record["expires"]:
            raise Refusal("invalid_grant", "The authorization code has expired")
        if form["redirect_uri"] != record["redirect_uri"]:
            raise Refusal("invalid_grant", "redirect_uri differs from the authorization request")
        verifier = form["code_verifier"]
        digest = base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest()).rstrip(b"=").decode()
        if not VERIFIER.match(verifier) or digest != record["challenge"]:
            raise Refusal("invalid_grant", "code_verifier does not match the code_challenge")
        return self.issue(record["user"], record["scope"], entry)

    def redeem_refresh(self, form, entry):
        if not form.get("refresh_token"):
            raise Refusal("invalid_request", "Missing refresh_token")
        record = self.store.refresh.get(form["refresh_token"])
        entry.update(refresh=record["id"] if record else "unknown")
        if record is None:
            raise Refusal("invalid_grant", "Unknown refresh token")
        if record.get("revoked"):
            raise Refusal("invalid_grant", "The refresh token has been revoked")
        scope = form.get("scope") or record["scope"]
        if not set(scope.split()) <= set(record["scope"].split()):
            raise Refusal("invalid_scope", "The scope exceeds the one granted")
        return self.issue(record["user"], scope, entry, record)

    # --- POST /introspect -----------------------------------------------------------------

    def introspect(self, query, entry):
        try:
            token = self.read_form().get("token", "")
        except Refusal as r:
            entry.update(result=r.error, detail=r.description)
            self.store.log(entry)
            self.answer_json(r.status, {"error": r.error, "error_description": r.description})
            return
        record = self.store.access.get(token)
        now = time.time()
        if record is None:
            state = "unknown"
        elif record.get("revoked"):
            state = "revoked"
        elif now >= record["expires"]:
            state = "expired"
        else:
            state = "active"
        entry.update(result=state, access=record["id"] if record else None)
        self.store.log(entry)
        if state == "active":
            self.answer_json(200, {"active": True, "username": record["user"], "scope": record["scope"],
                                   "client_id": CLIENT_ID, "token_type": "Bearer",
                                   "exp": int(record["expires"])})
        else:
            self.answer_json(200, {"active": False})


class ControlHandler(http.server.BaseHTTPRequestHandler):
    """GET /control?name=value&...: change settings; every answer is the state."""

    protocol_version = "HTTP/1.1"
    timeout = 10

    def log_message(self, *args):
        pass

    def do_GET(self):
        store = self.server.store
        url = urllib.parse.urlsplit(self.path)
        status, problem = 200, None
        with store.lock:
            try:
                if url.path != "/control":
                    raise ValueError("unknown path %s" % url.path)
                for name, value in urllib.parse.parse_qsl(url.query, keep_blank_values=True):
                    control(store, name, value)
            except (ValueError, KeyError) as e:
                status, problem = 400, str(e)
            state = dict(store.settings)
            state.update(refresh_tokens=sum(1 for r in store.refresh.values() if not r.get("revoked")),
                         access_tokens=len(store.access), log_lines=store.seq)
            if problem:
                state["error"] = problem
        data = (json.dumps(state) + "\n").encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


def control(store, name, value):
    flag = {"1": True, "0": False, "true": True, "false": False}
    if name == "access_lifetime":
        store.settings[name] = int(value)
    elif name in ("rotate", "require_secret"):
        store.settings[name] = flag[value]
    elif name == "token_error":
        store.settings[name] = value
    elif name == "revoke":
        kinds = {"refresh": [store.refresh], "access": [store.access], "all": [store.refresh, store.access]}
        for table in kinds[value]:
            for record in table.values():
                record["revoked"] = True
    elif name == "clear_log":
        open(store.log_path, "w").close()
    elif name == "reset":
        store.reset()
    else:
        raise ValueError("unknown control %s" % name)


class Listener(http.server.ThreadingHTTPServer):
    """An HTTPS listener whose handshakes run in the request threads, so a
    client that refuses our certificate never stalls the others; a refused
    handshake is logged (a connection that sends nothing at all, such as a
    readiness probe, is not)."""

    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, name, store, context):
        self.name, self.store, self.context = name, store, context
        super().__init__(("127.0.0.1", port), Handler if context else ControlHandler)

    def handle_error(self, request, client_address):
        # A client that hangs up while we answer is no fault of ours.
        if not isinstance(sys.exc_info()[1], OSError):
            super().handle_error(request, client_address)

    def finish_request(self, request, client_address):
        if self.context is None:
            return super().finish_request(request, client_address)
        request.settimeout(10)
        try:
            if not request.recv(1, socket.MSG_PEEK):
                return
        except OSError:
            return
        secure = self.context.wrap_socket(request, server_side=True, do_handshake_on_connect=False)
        try:
            try:
                secure.do_handshake()
            except (ssl.SSLError, OSError) as e:
                with self.store.lock:
                    self.store.log({"listener": self.name, "endpoint": "tls", "result": "handshake_failed",
                                    "detail": str(e)})
                return
            super().finish_request(secure, client_address)
        finally:
            secure.close()


def tls_context(directory, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    tls = os.path.join(directory, "tls")
    context.load_cert_chain(os.path.join(tls, name + ".pem"), os.path.join(tls, name + ".key"))
    return context


def serve(directory):
    store = Store(directory)
    listeners = [Listener(TRUSTED_PORT, "trusted", store, tls_context(directory, "server")),
                 Listener(UNTRUSTED_PORT, "untrusted", store, tls_context(directory, "unknown")),
                 Listener(CONTROL_PORT, "control", store, None)]
    for listener in listeners:
        threading.Thread(target=listener.serve_forever, daemon=True).start()
    signal.sigwait([signal.SIGTERM, signal.SIGINT])
    os._exit(0)


def main():
    if sys.argv[1:2] == ["serve"] and len(sys.argv) == 3:
        signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGTERM, signal.SIGINT])
        serve(os.path.abspath(sys.argv[2]))
        return
    if sys.argv[1:2] != ["control"]:
        sys.exit(__doc__)
    query = "&".join(urllib.parse.quote(a, safe="=") for a in sys.argv[2:])
    connection = http.client.HTTPConnection("127.0.0.1", CONTROL_PORT, timeout=10)
    connection.request("GET", "/control?" + query)
    reply = connection.getresponse()
    sys.stdout.write(reply.read().decode())
    sys.exit(0 if reply.status == 200 else 1)


if __name__ == "__main__":
    main()
