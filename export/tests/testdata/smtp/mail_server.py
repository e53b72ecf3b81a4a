"""A loopback mail server for the tests: each message goes to <out>/<n>.eml and its envelope to
<out>/<n>.json; LOGIN is accepted for user "mailer" with password "s3cret" without TLS. The port
is written to <out>/port once the server listens; it runs until it is killed."""
import json
import os
import signal
import socket
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

out = sys.argv[1]


class Handler:
    def __init__(self):
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(out, str(self.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".json", "w") as f:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                       "authenticated": bool(session.authenticated),
                       "helo": session.host_name}, f)
        return "250 OK"


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = mechanism == "LOGIN" and auth_data.login == b"mailer" and auth_data.password == b"s3cret"
    return AuthResult(success=ok)


probe = socket.socket()
probe.bind(("127.0.0.1", 0))
port = probe.getsockname()[1]
probe.close()
controller = Controller(Handler(), hostname="127.0.0.1", port=port, authenticator=authenticate,
                        auth_require_tls=False, auth_required=False)
controller.start()
with open(os.path.join(out, "port.tmp"), "w") as f:
    f.write(str(port))
os.rename(os.path.join(out, "port.tmp"), os.path.join(out, "port"))
signal.signal(signal.SIGTERM, lambda *a: (controller.stop(), sys.exit(0)))
while True:
    signal.pause()
