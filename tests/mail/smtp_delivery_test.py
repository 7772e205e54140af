#!/usr/bin/python3
"""CSmtp.exe against SMTP servers (aiosmtpd) on loopback, trusting a fresh test authority through
SSL_CERT_FILE. usage: smtp_delivery_test.py PATH-TO-CSmtp.exe"""

import email, email.policy, logging, os, pathlib, random, shutil, socket, socketserver, ssl
import subprocess, sys, tempfile, threading, time, unittest, warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

MAILER, WORK, S, TIME_LIMIT = None, None, type("Servers", (), {})(), 15  # the mailer's limit, s
# The password ends in a blank: AUTH gets it byte for byte.
LOGIN, PASSWORD, SUBJECT = "alerts@example.com", 'se cret"pw ', "Norvik DriveSentinel warning message"
BODY = ["Model Name: QRA-X50 64GB", "Serial Number: 20240101AA", "Firmware Version: S1.0", " ",
        "DUT's temperature value is above 60 Celsius (Current is 61)."]


def certificate(name, authority=None, addresses=()):
    """A certificate authority, or a server certificate for `addresses` signed by one."""
    cert, key = os.path.join(WORK, name + ".pem"), os.path.join(WORK, name + ".key")
    signed = ["-CA", authority[0], "-CAkey", authority[1], "-addext",
              "subjectAltName=" + ",".join("IP:" + a for a in addresses)] if authority else []
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=" + name, *signed], check=True, capture_output=True)
    return cert, key


class Recorder:
    mails = []

    async def handle_DATA(self, server, session, envelope):
        login = session.auth_data.login if isinstance(session.auth_data, LoginPassword) else None
        self.mails.append(dict(sender=envelope.mail_from, to=list(envelope.rcpt_tos), login=login,
                               raw=envelope.original_content,
                               tls=server.transport.get_extra_info("ssl_object") is not None))
        return "250 2.0.0 Queued"


def authenticate(server, session, envelope, mechanism, data):
    ok = isinstance(data, LoginPassword) and (data.login, data.password) == (
        LOGIN.encode(), PASSWORD.encode())
    return AuthResult(success=ok, handled=False, auth_data=data)


class RefuseStartTls(socketserver.StreamRequestHandler):
    """Offers STARTTLS, refuses it, and notes every command."""

    def handle(self):
        self.wfile.write(b"220 refuser ESMTP\r\n")
        for line in self.rfile:
            verb = line.decode("latin-1").split(" ")[0].strip().upper()
            self.server.verbs.append(verb)
            self.wfile.write({"EHLO": b"250-refuser\r\n250-STARTTLS\r\n250 AUTH PLAIN LOGIN\r\n",
                              "STARTTLS": b"454 4.7.0 TLS not available now\r\n",
                              "QUIT": b"221 bye\r\n"}.get(verb, b"250 OK\r\n"))


class GoQuiet(socketserver.StreamRequestHandler):
    """Answers until the end of the body, then goes quiet: at once, or after queueing the mail
    (QUIT never gets an answer)."""

    def handle(self):
        self.wfile.write(b"220 quiet ESMTP\r\n")
        in_body = False
        for line in self.rfile:
            verb = line[:4].upper()
            if in_body:
                in_body = line != b".\r\n"
                if not in_body and self.server.queues:
                    self.wfile.write(b"250 2.0.0 Queued\r\n")
            elif verb == b"DATA":
                in_body = True
                self.wfile.write(b"354 go on\r\n")
            elif verb != b"QUIT":
                self.wfile.write(b"250 OK\r\n")


def free_port():
    with socket.socket() as probe:
        return probe.bind(("127.0.0.1", 0)) or probe.getsockname()[1]


def setUpModule():
    global WORK
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)  # refused sessions are expected
    warnings.simplefilter("ignore")
    WORK = tempfile.mkdtemp(prefix="ds-mail-")
    S.result = os.path.join(WORK, "mail.txt")
    S.ip465 = "127.%d.%d.%d" % tuple(random.randint(2, 254) for _ in range(3))
    S.ca = certificate("trusted-ca")
    good = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    good.load_cert_chain(*certificate("server", S.ca, ["127.0.0.1", S.ip465]))
    S.controllers = []

    def serve(hostname="127.0.0.1", port=None, **kwargs):
        controller = Controller(Recorder(), hostname=hostname, port=port or free_port(), **kwargs)
        controller.start()
        S.controllers.append(controller)
        return controller.port

    auth = dict(authenticator=authenticate, auth_required=True)
    S.starttls = serve(tls_context=good, require_starttls=True, **auth)
    S.relay = serve()
    try:  # port 465 needs root; a random loopback address keeps it free of other users
        S.implicit = serve(S.ip465, 465, ssl_context=good, auth_require_tls=False, **auth)
    except OSError as error:
        S.implicit, S.implicit_error = None, str(error)
    S.refuser = socketserver.ThreadingTCPServer(("127.0.0.1", 0), RefuseStartTls)
    S.refuser.daemon_threads, S.refuser.verbs = True, []
    threading.Thread(target=S.refuser.serve_forever, daemon=True).start()
    S.silent = socket.create_server(("127.0.0.1", 0))  # connects; nobody ever answers
    S.quiet = []
    for queues in (False, True):
        S.quiet.append(socketserver.ThreadingTCPServer(("127.0.0.1", 0), GoQuiet))
        S.quiet[-1].daemon_threads, S.quiet[-1].queues = True, queues
        threading.Thread(target=S.quiet[-1].serve_forever, daemon=True).start()
    S.nobody = free_port()


def tearDownModule():
    [controller.stop() for controller in S.controllers]
    [server.shutdown() for server in [S.refuser, *S.quiet]]
    S.silent.close()
    shutil.rmtree(WORK, ignore_errors=True)


def fields(ssl_on, port, to, body=("hi",), host="127.0.0.1", password=PASSWORD, subject=SUBJECT):
    return [str(ssl_on), host, str(port), LOGIN, password, LOGIN, LOGIN, LOGIN, subject, S.result,
            str(len(to)), *to, str(len(body)), *body]


class MailProgramTest(unittest.TestCase):
    def send(self, fields, by_stdin=True, trust=True):
        Recorder.mails[:], S.refuser.verbs[:] = [], []
        pathlib.Path(S.result).unlink(missing_ok=True)
        env = {k: v for k, v in os.environ.items() if k not in ("SSL_CERT_FILE", "SSL_CERT_DIR")}
        if trust:
            env["SSL_CERT_FILE"] = S.ca[0]
        data = b"".join(os.fsencode(f) + b"\0" for f in fields) if by_stdin else b""
        argv = [MAILER, "--fields-from-stdin"] if by_stdin else [MAILER, *fields]
        started = time.monotonic()
        run = subprocess.run(argv, input=data, capture_output=True, env=env, timeout=60)
        self.elapsed, self.stderr = time.monotonic() - started, run.stderr.decode()
        return run.returncode, open(S.result).read().split("\n")[0] if os.path.exists(S.result) else None

    def assert_sent(self, outcome, count, tls=True, login=LOGIN.encode()):
        noun = "recipient." if count == 1 else "recipients."
        self.assertEqual(outcome, (0, "Mail sent to %d %s" % (count, noun)), self.stderr)
        self.assertEqual(len(Recorder.mails), 1)
        mail = Recorder.mails[0]
        self.assertNotRegex(mail["raw"], rb"(?<!\r)\n", "a line not ended by CR LF")
        self.assertEqual((mail["tls"], mail["login"], mail["sender"]), (tls, login, LOGIN))
        message = email.message_from_bytes(mail["raw"], policy=email.policy.default)
        self.assertEqual([a.addr_spec for a in message["To"].addresses], mail["to"])
        return mail, message, message.get_content().split("\r\n")[:-1]

    def assert_refused(self, outcome, *words):
        self.assertNotEqual(outcome[0], 0)
        [self.assertIn(word, outcome[1] or "no result file: " + self.stderr) for word in ("Error",) + words]
        self.assertEqual(Recorder.mails, [], "a refused mail reached a server")
        self.assertLess(self.elapsed, TIME_LIMIT + 3)

    def test_alert_over_starttls_to_two_recipients(self):
        mail, message, body = self.assert_sent(
            self.send(fields(1, S.starttls, ["b@y.com", "c@z.com"], BODY)), 2)
        self.assertEqual((mail["to"], body), (["b@y.com", "c@z.com"], BODY))
        self.assertIsNotNone(message["Date"].datetime)
        self.assertRegex(message["Message-ID"], r"^<[^<>@\s]+@example\.com>$")

    def test_subjects_and_bodies(self):
        for by_stdin, subject, body in [(False, "Norvik test mail", ["Test."]),
                                        (True, "Prüfung ✓ Größe", ["Größe ✓"]),
                                        (False, SUBJECT, [".hidden", ".", "..two"])]:
            with self.subTest(subject=subject, body=body):
                _, message, got = self.assert_sent(self.send(
                    fields(1, S.starttls, ["b@y.com"], body, subject=subject), by_stdin), 1)
                self.assertEqual((message["Subject"], got), (subject, body))

    def test_implicit_tls_and_plain_relay(self):
        if S.implicit is None:
            self.skipTest("cannot listen on port 465: " + S.implicit_error)
        self.assert_sent(self.send(fields(1, 465, ["b@y.com"], BODY, host=S.ip465)), 1)
        # A relay that offers no AUTH gets the mail without a login.
        self.assert_sent(self.send(fields(0, S.relay, ["b@y.com"])), 1, tls=False, login=None)

    def test_failures_write_an_error_line(self):
        cases = [  # (fields, trust the test authority, words of the first result line)
            (fields(1, S.starttls, ["b@y.com"], password="wrong"), True, ["login denied (535)"]),
            (fields(1, S.starttls, ["b@y.com"]), False, ["certificate"]),  # CA not trusted
            (fields(1, S.relay, ["b@y.com"]), True, ["STARTTLS"]),
            (fields(1, S.nobody, ["b@y.com"]), True, ["cannot connect"]),
            (fields(1, S.silent.getsockname()[1], ["b@y.com"]), True, ["no answer"]),
            (fields(1, S.starttls, ["b@y.com"], subject="Hi\r\nBcc: x@z.com"), True, ["subject"]),
        ]
        for mail_fields, trust, words in cases:
            with self.subTest(words=words, trust=trust):
                self.assert_refused(self.send(mail_fields, trust=trust), *words)

    def test_a_server_gone_quiet_holds_the_mailer_no_longer_than_its_limit(self):
        for server, code, line in [
                (S.quiet[0], 1, "Error: no answer from 127.0.0.1:%d within 15 s"),
                (S.quiet[1], 0, "Mail sent to 1 recipient.")]:
            with self.subTest(line=line):
                port = server.server_address[1]
                got = self.send(fields(0, port, ["b@y.com"]))
                self.assertEqual(got, (code, line.replace("%d", str(port))), self.stderr)
                self.assertLess(self.elapsed, TIME_LIMIT + 3)

    def test_refused_starttls_sends_nothing_in_plain(self):
        self.assert_refused(self.send(fields(1, S.refuser.server_address[1], ["b@y.com"])),
                            "STARTTLS", "454")
        self.assertEqual([v for v in S.refuser.verbs if v not in ("EHLO", "QUIT")], ["STARTTLS"])


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    MAILER = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
