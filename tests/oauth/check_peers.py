#!/usr/bin/env python3
"""Checks the peers of the sign-in tests as the program's tests rely on them:
the authorization server's answers, and the OAuth Dovecot offering and taking
XOAUTH2 and OAUTHBEARER only after TLS, refusing a bad or expired token with
its JSON continuation. A failure here points at the peers, not at the program.

    check_peers.py DIR      (DIR as given to tools/oauth-ctl start)
"""
import base64
import hashlib
import http.client
import imaplib
import json
import os
import poplib
import secrets
import socket
import ssl
import sys
import time
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import authserver  # noqa: E402  (ports, client and users)

DIR = ""
MAIL_HOST = "127.0.0.2"
POP3, IMAP4, POP3S, IMAPS = 21410, 21443, 21495, 21493
USER = authserver.USERS[0]
REDIRECT = "http://127.0.0.1:50123/"
XOAUTH2_REFUSAL = {"status": "401", "schemes": "bearer", "scope": "mail"}
OAUTHBEARER_REFUSAL = {"status": "invalid_token"}


def context():
    return ssl.create_default_context(cafile=os.path.join(DIR, "tls", "ca.pem"))


def control(query):
    c = http.client.HTTPConnection("127.0.0.1", authserver.CONTROL_PORT, timeout=10)
    c.request("GET", "/control?" + query)
    answer = json.loads(c.getresponse().read())
    c.close()
    return answer


def log(wanted=0):
    """The server's log; with wanted, waits a moment for that many lines (a
    refused handshake is logged after the client has already given up)."""
    for _ in range(50):
        with open(os.path.join(DIR, "server.log")) as f:
            lines = [json.loads(line) for line in f]
        if len(lines) >= wanted:
            break
        time.sleep(0.02)
    return lines


def https(method, path, body=None, port=authserver.TRUSTED_PORT):
    c = http.client.HTTPSConnection("127.0.0.1", port, context=context(), timeout=10)
    headers = {"Content-Type": "application/x-www-form-urlencoded"} if body is not None else {}
    try:
        c.request(method, path, body and urllib.parse.urlencode(body), headers)
        r = c.getresponse()
        return r.status, r.getheader("Location"), r.read()
    finally:
        c.close()


def pkce():
    verifier = secrets.token_urlsafe(48)
    challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest()).rstrip(b"=").decode()
    return verifier, challenge


def authorize(challenge, **extra):
    query = dict(response_type="code", client_id=authserver.CLIENT_ID, redirect_uri=REDIRECT,
                 scope="mail offline_access", state="s-42", code_challenge=challenge,
                 code_challenge_method="S256")
    query.update(extra)
    status, location, _ = https("GET", "/authorize?" + urllib.parse.urlencode(query))
    answer = urllib.parse.parse_qs(urllib.parse.urlsplit(location or "").query)
    return status, location, {k: v[0] for k, v in answer.items()}


def sign_in(user=USER):
    verifier, challenge = pkce()
    _, _, answer = authorize(challenge, login_hint=user)
    status, _, body = https("POST", "/token", dict(grant_type="authorization_code", code=answer["code"],
                                                   redirect_uri=REDIRECT, client_id=authserver.CLIENT_ID,
                                                   code_verifier=verifier))
    assert status == 200, body
    return json.loads(body)


def refresh(token):
    status, _, body = https("POST", "/token", dict(grant_type="refresh_token", refresh_token=token,
                                                   client_id=authserver.CLIENT_ID))
    return status, json.loads(body)


def xoauth2(token, user=USER):
    return ("user=%s\x01auth=Bearer %s\x01\x01" % (user, token)).encode()


def oauthbearer(token, user=USER):
    return ("n,a=%s,\x01auth=Bearer %s\x01\x01" % (user, token)).encode()


def initial_response(mechanism, token, user):
    return (xoauth2 if mechanism == "XOAUTH2" else oauthbearer)(token, user)


def imap_login(mechanism, token, tls, user=USER):
    """The server's continuations and the tagged result of one AUTHENTICATE."""
    if tls == "implicit":
        m = imaplib.IMAP4_SSL(MAIL_HOST, IMAPS, ssl_context=context())
    else:
        m = imaplib.IMAP4(MAIL_HOST, IMAP4)
        m.starttls(context())
    seen = []
    answer = initial_response(mechanism, token, user)

    def respond(challenge):
        seen.append(challenge)
        # RFC 7628 3.2.3: after an error the client answers with a lone ^A.
        return answer if len(seen) == 1 else (b"\x01" if mechanism == "OAUTHBEARER" else b"")
    try:
        typ, _ = m.authenticate(mechanism, respond)
        count = int(m.select("INBOX", readonly=True)[1][0])
        m.logout()
        return typ, count, seen[1:]
    except imaplib.IMAP4.error as e:
        m.shutdown()
        return str(e), None, seen[1:]


def pop3_login(mechanism, token, tls, user=USER):
    if tls == "implicit":
        p = poplib.POP3_SSL(MAIL_HOST, POP3S, context=context())
    else:
        p = poplib.POP3(MAIL_HOST, POP3)
        p.stls(context())
    p._putcmd("AUTH %s %s" % (mechanism, base64.b64encode(initial_response(mechanism, token, user)).decode()))
    line = p._getline()[0]
    continuation = None
    if line.startswith(b"+ "):
        continuation = json.loads(base64.b64decode(line[2:]))
        p._putcmd("AQ==" if mechanism == "OAUTHBEARER" else "")
        line = p._getline()[0]
    count = p.stat()[0] if line.startswith(b"+OK") else None
    p.close()
    return line.decode(), count, continuation


class Peers(unittest.TestCase):
    def setUp(self):
        control("reset=1")

    def test_authorize_checks_the_request_and_redirects_to_the_loopback(self):
        verifier, challenge = pkce()
        status, location, answer = authorize(challenge)
        self.assertEqual(302, status)
        self.assertTrue(location.startswith(REDIRECT + "?code="), location)
        self.assertEqual("s-42", answer["state"])
        # Refusals the user sees at the provider: never redirected.
        for bad in (dict(redirect_uri="http://localhost:50123/"), dict(redirect_uri="https://127.0.0.1:50123/"),
                    dict(redirect_uri="http://127.0.0.1/"), dict(client_id="someone-else")):
            self.assertEqual(400, authorize(challenge, **bad)[0], bad)
        # Refusals redirected with the state.
        for bad, error in ((dict(code_challenge_method="plain"), "invalid_request"),
                           (dict(response_type="token"), "unsupported_response_type"),
                           (dict(consent="deny"), "access_denied")):
            status, _, answer = authorize(challenge, **bad)
            self.assertEqual((302, error, "s-42"), (status, answer.get("error"), answer.get("state")), bad)

    def test_token_endpoint_redeems_a_code_once_and_only_with_its_verifier(self):
        verifier, challenge = pkce()
        code = authorize(challenge)[2]["code"]
        form = dict(grant_type="authorization_code", code=code, redirect_uri=REDIRECT,
                    client_id=authserver.CLIENT_ID, code_verifier=pkce()[0])
        status, _, body = https("POST", "/token", form)
        self.assertEqual((400, "invalid_grant"), (status, json.loads(body)["error"]))
        code = authorize(challenge)[2]["code"]
        form.update(code=code, code_verifier=verifier)
        status, _, body = https("POST", "/token", form)
        tokens = json.loads(body)
        self.assertEqual((200, "Bearer", 3600), (status, tokens["token_type"], tokens["expires_in"]))
        self.assertIn("refresh_token", tokens)
        status, _, body = https("POST", "/token", form)
        self.assertEqual((400, "invalid_grant"), (status, json.loads(body)["error"]), "a code is used once")
        lines = [e for e in log() if e["endpoint"] == "token"]
        self.assertEqual(["invalid_grant", "ok", "invalid_grant"], [e["result"] for e in lines])
        with open(os.path.join(DIR, "server.log")) as f:
            self.assertNotIn(code, f.read(), "no secret in the log")

    def test_refresh_rotates_on_request_and_revoked_tokens_are_invalid_grant(self):
        first = sign_in()["refresh_token"]
        status, answer = refresh(first)
        self.assertEqual(200, status)
        second = answer["refresh_token"]
        self.assertEqual("invalid_grant", refresh(first)[1]["error"], "a rotated token is spent")
        control("rotate=0")
        status, answer = refresh(second)
        self.assertEqual(200, status)
        self.assertNotIn("refresh_token", answer, "without rotation the old one stays")
        self.assertEqual(200, refresh(second)[0])
        control("revoke=refresh")
        self.assertEqual((400, "invalid_grant"), (refresh(second)[0], refresh(second)[1]["error"]))
        control("token_error=temporarily_unavailable")
        self.assertEqual("temporarily_unavailable", refresh(second)[1]["error"])

    def test_untrusted_listener_records_what_reached_it(self):
        with self.assertRaises(ssl.SSLCertVerificationError):
            https("POST", "/token", dict(grant_type="refresh_token"), port=authserver.UNTRUSTED_PORT)
        # A client that skips the CA check, sends the headers, judges the
        # certificate and goes: the body (the secret) never arrives.
        blind = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        blind.check_hostname, blind.verify_mode = False, ssl.CERT_NONE
        with blind.wrap_socket(socket.create_connection(("127.0.0.1", authserver.UNTRUSTED_PORT))) as s:
            s.sendall(b"POST /token HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                      b"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 40\r\n\r\n")
        with blind.wrap_socket(socket.create_connection(("127.0.0.1", authserver.UNTRUSTED_PORT))):
            pass
        lines = [e for e in log(3) if e["listener"] == "untrusted"]
        self.assertEqual([("tls", "handshake_failed"), ("tls", "no_request"), ("token", "incomplete_body")],
                         sorted((e["endpoint"], e["result"]) for e in lines))

    def test_nothing_is_offered_or_taken_before_tls(self):
        token = sign_in()["access_token"]
        m = imaplib.IMAP4(MAIL_HOST, IMAP4)
        self.assertIn("STARTTLS", m.capabilities)
        self.assertFalse([c for c in m.capabilities if c.startswith("AUTH=")], m.capabilities)
        with self.assertRaisesRegex(imaplib.IMAP4.error, "PRIVACYREQUIRED"):
            m.authenticate("XOAUTH2", lambda _: xoauth2(token))
        m.starttls(context())
        self.assertTrue({"AUTH=XOAUTH2", "AUTH=OAUTHBEARER", "SASL-IR"} <= set(m.capabilities), m.capabilities)
        m.logout()
        p = poplib.POP3(MAIL_HOST, POP3)
        self.assertEqual([], p.capa()["SASL"])
        with self.assertRaisesRegex(poplib.error_proto, "not allowed until SSL/TLS"):
            p._shortcmd("AUTH XOAUTH2 " + base64.b64encode(xoauth2(token)).decode())
        p.stls(context())
        self.assertEqual(["XOAUTH2", "OAUTHBEARER"], p.capa()["SASL"])
        p.close()
        self.assertEqual([], [e for e in log() if e["endpoint"] == "introspect"], "no token left Dovecot")

    def test_both_mechanisms_log_in_after_tls_and_count_the_mailbox(self):
        token = sign_in()["access_token"]
        for mechanism in ("XOAUTH2", "OAUTHBEARER"):
            for tls in ("starttls", "implicit"):
                self.assertEqual(("OK", 150, []), imap_login(mechanism, token, tls), (mechanism, tls))
                self.assertEqual(("+OK Logged in.", 150, None), pop3_login(mechanism, token, tls),
                                 (mechanism, tls))
        second = sign_in(authserver.USERS[1])["access_token"]
        self.assertEqual(3, pop3_login("XOAUTH2", second, "implicit", authserver.USERS[1])[1])
        # A token is good only for the account it was issued to.
        self.assertEqual(None, imap_login("XOAUTH2", second, "implicit")[1])

    def test_unknown_and_expired_tokens_get_the_json_continuation(self):
        # Dovecot answers every refusal half a second late: few cases here.
        control("access_lifetime=1")
        token = sign_in()["access_token"]
        self.assertEqual(150, imap_login("OAUTHBEARER", token, "implicit")[1])
        time.sleep(1.1)
        status, _, seen = imap_login("XOAUTH2", token, "starttls")
        self.assertEqual(("[AUTHENTICATIONFAILED] Authentication failed.", [XOAUTH2_REFUSAL]),
                         (status, [json.loads(s) for s in seen]))
        self.assertEqual(("-ERR [AUTH] Authentication failed.", OAUTHBEARER_REFUSAL),
                         pop3_login("OAUTHBEARER", token, "implicit")[0::2])
        status, _, seen = imap_login("OAUTHBEARER", "not-a-token-we-issued", "implicit")
        self.assertEqual(("[AUTHENTICATIONFAILED] Authentication failed.", [OAUTHBEARER_REFUSAL]),
                         (status, [json.loads(s) for s in seen]))
        results = [e["result"] for e in log() if e["endpoint"] == "introspect"]
        self.assertEqual(["active", "expired", "expired", "unknown"], results)

if __name__ == "__main__":
    DIR = os.path.abspath(sys.argv.pop(1))
    unittest.main()
